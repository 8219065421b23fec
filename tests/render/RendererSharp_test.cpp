// Exported frames are drawn sharper than the footprint's own mipmap level gives.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "DrawTest.h"
#include "Renderer.h"

namespace {

using namespace drawtest;

// The squared differences of neighbouring pixels (green), over the frame less 8 pixels a side.
double GradientEnergy(const Frame& frame) {
  double sum = 0;
  for (int y = 8; y < frame.height() - 8; ++y)
    for (int x = 8; x < frame.width() - 8; ++x) {
      const int g = frame.At(x, y).g, dx = frame.At(x + 1, y).g - g, dy = frame.At(x, y + 1).g - g;
      sum += dx * dx + dy * dy;
    }
  return sum;
}

using Sharp = DrawTest;

// Fine detail seen at 1.8 texels a pixel, where trilinear filtering takes mostly the next
// smaller mipmap: with the exported frames' bias it keeps clearly more of its contrast, and the
// same mean.
TEST_F(Sharp, TheOffscreenBiasKeepsMoreDetailAtTheSameMean) {
  std::mt19937 random(7);
  ImageStack stack = StackOf(Picture(512, 512,
                                     [&random](int, int) {
                                       const int v = static_cast<int>(random() % 200) + 28;
                                       return Colour{v, v, v};
                                     }),
                             Target(512, 512, {0.5f, 0, 0, 0}));
  double energy[2], mean[2];
  for (int biased = 0; biased < 2; ++biased) {
    RendererOptions options = Waiting();
    options.lodBias = biased ? offscreenLodBias : 0;
    Renderer renderer(options);
    renderer.DrawZoom(stack, 0, View(284, 284, 512, 512));
    const Frame frame = Read();
    energy[biased] = GradientEnergy(frame);
    double sum = 0;
    for (int y = 8; y < 276; ++y)
      for (int x = 8; x < 276; ++x) sum += frame.At(x, y).g;
    mean[biased] = sum / (268.0 * 268.0);
  }
  EXPECT_GT(energy[1], 1.3 * energy[0]);
  EXPECT_NEAR(mean[1], mean[0], 1.5);
}

}  // namespace
