#include "colour_stack.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int quality = 95;

bool Encode(const cv::Mat& bgr, AlignStackPicture& picture) {
  return cv::imencode(".jpg", bgr, picture.jpeg, {cv::IMWRITE_JPEG_QUALITY, quality});
}

}  // namespace

std::vector<AlignStackPicture> CutToneStack(const cv::Mat& photo, const std::vector<ToneGains>& gains,
                                            std::mt19937& random, int minSide, int maxSide) {
  AlignStackOptions o;
  o.pictures = static_cast<int>(gains.size());
  o.minScale = 0.35;
  o.maxScale = 0.6;
  o.minRotate = -10;
  o.maxRotate = 10;
  o.minSide = minSide;
  o.maxSide = maxSide;
  o.minQuality = o.maxQuality = quality;
  o.maxExposure = 0;
  o.colourCast = 0;
  o.noise = 1.0;
  std::vector<AlignStackPicture> stack = CutAlignStack(photo, o, random);
  for (size_t i = 0; i < stack.size() && i < gains.size(); ++i) {
    cv::Mat bgr = cv::imdecode(stack[i].jpeg, cv::IMREAD_COLOR);
    if (bgr.empty()) return {};
    // OpenCV's order is blue, green, red.
    cv::multiply(bgr, cv::Scalar(gains[i][2], gains[i][1], gains[i][0]), bgr);
    if (!Encode(bgr, stack[i])) return {};
  }
  return stack;
}

bool BlowOut(AlignStackPicture& picture, double x0, double y0, double x1, double y1) {
  cv::Mat bgr = cv::imdecode(picture.jpeg, cv::IMREAD_COLOR);
  if (bgr.empty()) return false;
  const cv::Point a(static_cast<int>(x0 * bgr.cols), static_cast<int>(y0 * bgr.rows));
  const cv::Point b(static_cast<int>(x1 * bgr.cols), static_cast<int>(y1 * bgr.rows));
  cv::rectangle(bgr, a, b, cv::Scalar(255, 255, 255), cv::FILLED);
  return Encode(bgr, picture);
}
