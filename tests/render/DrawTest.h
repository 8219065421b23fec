#pragma once
// Shared by the drawing tests: pictures made in memory, stacks of them, the colour buffer read
// back, and a fixture that draws in the view's GL state and gives the shared context back as it
// found it.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "GlTestContext.h"
#include "GlViewTest.h"
#include "Imagestack.h"
#include "Renderer.h"

namespace drawtest {

struct Colour {
  int r, g, b;
};

inline std::ostream& operator<<(std::ostream& out, const Colour& c) {
  return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Colour clearGrey{64, 64, 64};  // the view's clear colour, 0.25

inline QImage Pixels(int width, int height, const std::function<Colour(int, int)>& colour) {
  QImage pixels(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    uchar* row = pixels.scanLine(y);
    for (int x = 0; x < width; ++x) {
      const Colour c = colour(x, y);
      row[x * 3] = static_cast<uchar>(c.r);
      row[x * 3 + 1] = static_cast<uchar>(c.g);
      row[x * 3 + 2] = static_cast<uchar>(c.b);
    }
  }
  return pixels;
}

// A picture held in memory whose pixel (x, y), y = 0 at the top, is colour(x, y).
inline std::unique_ptr<Image> Picture(int width, int height, const std::function<Colour(int, int)>& colour,
                                      const Transform& placement = Transform()) {
  auto image = std::make_unique<Image>();
  image->SetPicture(Pixels(width, height, colour));
  image->transform = placement;
  return image;
}

inline std::unique_ptr<Image> Solid(int width, int height, Colour c, const Transform& placement = Transform()) {
  return Picture(
      width, height, [c](int, int) { return c; }, placement);
}

// The target frame takes the size of the last picture, as a new project gives it.
inline std::unique_ptr<Image> Target(int width, int height, const Transform& placement) {
  auto image = std::make_unique<Image>();
  image->width = width;
  image->height = height;
  image->transform = placement;
  return image;
}

inline ImageStack Stack(std::vector<std::unique_ptr<Image>> elements) {
  ImageStack stack;
  stack.images = std::move(elements);
  return stack;
}

template <typename... Elements>
ImageStack StackOf(Elements&&... elements) {
  std::vector<std::unique_ptr<Image>> list;
  (list.push_back(std::move(elements)), ...);
  return Stack(std::move(list));
}

// Offscreen drawing's options: every frame waits for the levels it needs, so it is the same on
// every run.
inline RendererOptions Waiting() {
  RendererOptions options;
  options.waitForLevels = true;
  options.workers = 2;
  return options;
}

// One read of the viewport's colour buffer; y = 0 is the bottom row.
class Frame {
 public:
  Frame(int width, int height) : width_(width), height_(height), pixels_(ReadPixels(0, 0, width, height)) {}
  int width() const { return width_; }
  int height() const { return height_; }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  Colour At(int x, int y) const {
    const uint8_t* p =
        pixels_.data() + (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4;
    return {p[0], p[1], p[2]};
  }
  bool operator==(const Frame& other) const { return pixels_ == other.pixels_; }
  // The mean absolute difference of the colour channels, over the frame less `inset` pixels at
  // each edge.
  double MeanDifference(const Frame& other, int inset = 0) const {
    if (other.width_ != width_ || other.height_ != height_) return 255;
    double sum = 0;
    size_t channels = 0;
    for (int y = inset; y < height_ - inset; ++y)
      for (int x = inset; x < width_ - inset; ++x) {
        const Colour a = At(x, y), b = other.At(x, y);
        sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
        channels += 3;
      }
    return channels ? sum / static_cast<double>(channels) : 0;
  }
  // The largest difference of one colour channel between the two frames.
  int MaxDifference(const Frame& other) const {
    if (other.width_ != width_ || other.height_ != height_) return 255;
    int most = 0;
    for (size_t i = 0; i < pixels_.size(); ++i) most = std::max(most, std::abs(pixels_[i] - other.pixels_[i]));
    return most;
  }
  // Pixels of the box (x0..x1, y0..y1), clipped to the frame, that pass `test`, with their bounds.
  struct Count {
    int n = 0, minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN;
  };
  Count CountIn(int x0, int y0, int x1, int y1, const std::function<bool(Colour)>& test) const {
    Count c;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (Inside(x, y) && test(At(x, y))) {
          ++c.n;
          c.minX = std::min(c.minX, x), c.maxX = std::max(c.maxX, x);
          c.minY = std::min(c.minY, y), c.maxY = std::max(c.maxY, y);
        }
    return c;
  }
  int CountAll(const std::function<bool(Colour)>& test) const { return CountIn(0, 0, width_ - 1, height_ - 1, test).n; }

 private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
};

inline bool Close(Colour c, Colour expected, int tolerance) {
  return std::abs(c.r - expected.r) <= tolerance && std::abs(c.g - expected.g) <= tolerance &&
         std::abs(c.b - expected.b) <= tolerance;
}

inline ::testing::AssertionResult Near(const Frame& frame, int x, int y, Colour expected, int tolerance = 6) {
  if (Close(frame.At(x, y), expected, tolerance)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << frame.At(x, y) << ", expected "
                                       << expected;
}

// Each test draws in the state the editor's view keeps and gives the shared context back as it
// found it.
class DrawTest : public GlViewTest {
 protected:
  // The view of a width x height viewport fitted to a first picture of firstWidth x firstHeight
  // pixels, cleared.
  ViewGeometry View(int width, int height, int firstWidth, int firstHeight) {
    FitView(width, height, firstWidth, firstHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return geometry_;
  }
  Frame Read() const { return Frame(geometry_.width, geometry_.height); }
};

}  // namespace drawtest
