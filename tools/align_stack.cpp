#include "align_stack.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Affine.h"
#include "Imagestack.h"
#include "SafeFile.h"

namespace {

// The aspect ratios (height / width) pictures are given.
constexpr double aspects[] = {0.75, 2.0 / 3.0, 0.625};
// Children keep this far inside their parent (in parent units), so every corner is in it.
constexpr double inset = 0.01;

cv::Mat ToCv(const Affine& a) { return (cv::Mat_<double>(2, 3) << a.a, a.c, a.tx, a.b, a.d, a.ty); }

double Uniform(std::mt19937& random, double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(random); }

// Element `frame` (its frame into the photograph's plane: x right, y up, units of photo pixels)
// seen by a camera of width x height pixels.
cv::Mat Render(const cv::Mat& photo, const Affine& frame, int width, int height) {
  const double perPixel = frame.LengthScale() / width;  // photo pixels per picture pixel
  cv::Mat source = photo;
  double gx = 1, gy = 1;
  if (perPixel > 1) {
    const int w = std::max(1, static_cast<int>(std::lround(photo.cols / perPixel)));
    const int h = std::max(1, static_cast<int>(std::lround(photo.rows / perPixel)));
    cv::resize(photo, source, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    gx = static_cast<double>(photo.cols) / w;
    gy = static_cast<double>(photo.rows) / h;
  }
  // Picture pixel centres -> element frame -> photo plane -> photo edge coordinates (y down) ->
  // the source copy's pixel centres.
  const Affine pictureToElement{
      1.0 / width, 0, 0, -1.0 / width, (0.5 - width / 2.0) / width, (height / 2.0 - 0.5) / width};
  const Affine flip{1, 0, 0, -1, 0, 0};
  const Affine toSource{1 / gx, 0, 0, 1 / gy, -0.5, -0.5};
  const Affine map = toSource * flip * frame * pictureToElement;
  cv::Mat out;
  cv::warpAffine(source, out, ToCv(map), cv::Size(width, height),
                 (perPixel > 1 ? cv::INTER_LINEAR : cv::INTER_CUBIC) | cv::WARP_INVERSE_MAP, cv::BORDER_REFLECT);
  return out;
}

// A camera's picture is not its neighbour's: another exposure, a slight colour cast, noise.
void Disturb(cv::Mat& picture, const AlignStackOptions& options, std::mt19937& random) {
  const double gain = 1 + Uniform(random, -options.maxExposure, options.maxExposure);
  cv::RNG noiseSource(random());  // not OpenCV's global generator: a seed gives the same stack
  std::vector<cv::Mat> channels;
  cv::split(picture, channels);
  for (cv::Mat& c : channels) {
    cv::Mat f;
    c.convertTo(f, CV_32F, gain * (1 + Uniform(random, -options.colourCast, options.colourCast)));
    cv::Mat noise(f.size(), CV_32F);
    noiseSource.fill(noise, cv::RNG::NORMAL, 0, options.noise);
    f += noise;
    f.convertTo(c, CV_8U);  // saturates
  }
  cv::merge(channels, picture);
}

}  // namespace

cv::Mat ReadPhoto(const std::string& path) { return cv::imread(path, cv::IMREAD_COLOR); }

std::vector<AlignStackPicture> CutAlignStack(const cv::Mat& photo, const AlignStackOptions& options,
                                             std::mt19937& random) {
  std::vector<AlignStackPicture> out;
  if (photo.empty()) return out;
  auto anyAspect = [&] {
    return options.aspect > 0 ? options.aspect : aspects[std::uniform_int_distribution<>(0, 2)(random)];
  };
  double aspect = anyAspect();
  // The first picture: most of the photograph, upright, centred.
  const double side0 = 0.92 * std::min<double>(photo.cols, photo.rows / aspect);
  Affine frame = Affine::Similarity(side0, 0, photo.cols / 2.0, -photo.rows / 2.0);
  for (int k = 0; k < options.pictures; ++k) {
    AlignStackPicture p;
    double childAspect = aspect;
    if (k > 0) {
      // A region of the parent (aspect `aspect`) that lies wholly inside it.
      double s = 0, r = 0, hx = 1, hy = 1;
      for (int attempt = 0; attempt < 1000; ++attempt) {
        childAspect = anyAspect();
        s = Uniform(random, options.minScale, options.maxScale);
        r = Uniform(random, options.minRotate, options.maxRotate);
        const double c = std::fabs(std::cos(r * M_PI / 180)), n = std::fabs(std::sin(r * M_PI / 180));
        hx = 0.5 - inset - s * (c / 2 + n * childAspect / 2);
        hy = aspect / 2 - inset - s * (n / 2 + c * childAspect / 2);
        if (hx > 0 && hy > 0) break;
      }
      if (!(hx > 0 && hy > 0)) break;
      const double tx = Uniform(random, -hx, hx), ty = Uniform(random, -hy, hy);
      p.exactScale = s;
      p.exactRotate = r;
      p.exactX = tx;
      p.exactY = ty;
      p.placement.scale = static_cast<float>(s);
      p.placement.rotate = static_cast<float>(r);
      p.placement.translateX = static_cast<float>(tx);
      p.placement.translateY = static_cast<float>(ty);
      frame = frame * Affine::Similarity(s, r, tx, ty);
      aspect = childAspect;
    }
    p.width = std::uniform_int_distribution<>(options.minSide, options.maxSide)(random);
    p.height = static_cast<int>(std::lround(p.width * aspect));
    cv::Mat picture = Render(photo, frame, p.width, p.height);
    Disturb(picture, options, random);
    const int quality = std::uniform_int_distribution<>(options.minQuality, options.maxQuality)(random);
    if (!cv::imencode(".jpg", picture, p.jpeg, {cv::IMWRITE_JPEG_QUALITY, quality})) break;
    out.push_back(std::move(p));
  }
  return out;
}

bool WriteAlignStack(const std::vector<AlignStackPicture>& pictures, const std::string& directory,
                     const std::string& name, bool resetPlacements) {
  ImageStack stack;
  stack.path = directory + "/" + name + ".kx";
  for (size_t i = 0; i < pictures.size(); ++i) {
    const std::string file = name + "_" + std::to_string(i + 1) + ".jpg";
    const std::vector<uchar>& jpeg = pictures[i].jpeg;
    if (!WriteFileReporting(directory + "/" + file, std::string(jpeg.begin(), jpeg.end()))) return false;
    auto image = std::make_unique<Image>();
    image->fileName = file;
    if (!resetPlacements) image->transform = pictures[i].placement;
    stack.images.push_back(std::move(image));
  }
  auto target = std::make_unique<Image>();
  target->transform.scale = 0.5f;
  stack.images.push_back(std::move(target));
  return stack.SaveProject();
}

double CornerError(int parentWidth, int parentHeight, const AlignStackPicture& child, const Transform& found) {
  const Extents e = ElementExtents(child.width, child.height);
  const Affine exact = Affine::Similarity(child.exactScale, child.exactRotate, child.exactX, child.exactY);
  const Affine got = Affine::Placement(found);
  double worst = 0;
  for (int sx : {-1, 1})
    for (int sy : {-1, 1}) {
      double ax, ay, bx, by;
      exact.Map(sx * e.ex / 2.0, sy * e.ey / 2.0, ax, ay);
      got.Map(sx * e.ex / 2.0, sy * e.ey / 2.0, bx, by);
      worst = std::max(worst, std::hypot(ax - bx, ay - by) * std::max(parentWidth, parentHeight));
    }
  return worst;
}
