// Grey copies of the two pictures at the sizes the stages need, and the maps between a copy's
// pixels and the element's frame.

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "AlignPair.h"
#include "AlignPairStages.h"
#include "PictureDecode.h"

namespace align_pair {

namespace {

cv::Mat GreyFromRgbaBottomUp(const RgbaPicture& picture) {
  cv::Mat grey(picture.height, picture.width, CV_8U);
  const size_t stride = static_cast<size_t>(picture.width) * 4;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* in = picture.rgba.data() + stride * static_cast<size_t>(picture.height - 1 - y);
    uint8_t* out = grey.ptr<uint8_t>(y);
    for (int x = 0; x < picture.width; ++x, in += 4)
      out[x] = static_cast<uint8_t>((77 * in[0] + 150 * in[1] + 29 * in[2] + 128) >> 8);
  }
  return grey;
}

}  // namespace

bool LoadGrey(const AlignSource& source, double reduction, Grey& out, const std::atomic<bool>* cancel) {
  if (source.width < minSide || source.height < minSide) return false;
  cv::Mat grey;
  int denominator = 1;
  if (!source.path.empty()) {
    for (int d : {8, 4, 2})
      if (d <= reduction) {
        denominator = d;
        break;
      }
    RgbaPicture rgba;
    // The grey copy and its resampling are made while the decoded picture is held.
    DecodeLimits limits;
    limits.cancel = cancel;
    limits.extraBytes = static_cast<size_t>(ScaledSide(source.width, denominator)) *
                        static_cast<size_t>(ScaledSide(source.height, denominator)) / 2;
    MemoryHold hold;
    limits.hold = &hold;
    if (DecodePictureRgba(source.path, denominator, rgba, limits) != DecodeResult::Ok) return false;
    // The file may have changed since its header was read: the size it has now counts.
    if (ScaledSide(source.width, denominator) != rgba.width || ScaledSide(source.height, denominator) != rgba.height)
      return false;
    grey = GreyFromRgbaBottomUp(rgba);
  } else {
    if (source.pixels.isNull() || source.pixels.width() != source.width || source.pixels.height() != source.height)
      return false;
    const QImage g = source.pixels.convertToFormat(QImage::Format_Grayscale8);
    grey =
        cv::Mat(g.height(), g.width(), CV_8U, const_cast<uchar*>(g.constBits()), static_cast<size_t>(g.bytesPerLine()))
            .clone();
  }
  const int w = std::max(1, static_cast<int>(std::lround(source.width / reduction)));
  const int h = std::max(1, static_cast<int>(std::lround(source.height / reduction)));
  out.fx = static_cast<double>(denominator) * grey.cols / w;
  out.fy = static_cast<double>(denominator) * grey.rows / h;
  if (w == grey.cols && h == grey.rows)
    out.pixels = grey;
  else
    cv::resize(grey, out.pixels, cv::Size(w, h), 0, 0, w < grey.cols ? cv::INTER_AREA : cv::INTER_LINEAR);
  return true;
}

bool LoadBoth(const AlignSource& parent, double rp, Grey& gp, const AlignSource& child, double rc, Grey& gc,
              const std::atomic<bool>* cancel) {
  bool okC = false;
  std::thread other([&] { okC = LoadGrey(child, rc, gc, cancel); });
  const bool okP = LoadGrey(parent, rp, gp, cancel);
  other.join();
  return okP && okC;
}

Affine CopyToElement(const Grey& g, int width, int height) {
  const double L = std::max(width, height);
  return {g.fx / L, 0, 0, -g.fy / L, (0.5 * g.fx - width / 2.0) / L, (height / 2.0 - 0.5 * g.fy) / L};
}

Affine FromCv(const cv::Mat& m) {
  return {m.at<double>(0, 0), m.at<double>(1, 0), m.at<double>(0, 1),
          m.at<double>(1, 1), m.at<double>(0, 2), m.at<double>(1, 2)};
}

cv::Mat ToCv(const Affine& a) { return (cv::Mat_<double>(2, 3) << a.a, a.c, a.tx, a.b, a.d, a.ty); }

}  // namespace align_pair
