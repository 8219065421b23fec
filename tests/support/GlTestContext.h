#pragma once
// A real OpenGL context for tests that need no window: Mesa's surfaceless EGL platform with a
// pbuffer, desktop GL (compatibility profile), made current for the whole test program.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstdint>

// Size of the pbuffer; tests set the viewport they need themselves.
constexpr int glTestWidth = 256;
constexpr int glTestHeight = 256;

class GlTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
};

// Reads the colour buffer back: RGBA bytes, bottom row first.
std::vector<uint8_t> ReadPixels(int x, int y, int width, int height);
