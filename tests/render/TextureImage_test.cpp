#include "TextureImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>
#include <vector>

namespace {

// A width x height picture whose pixel (x, row), row 0 the stored first (bottom) row, is
// colour(x, row).
RgbaPicture Make(int width, int height, const std::function<std::array<uint8_t, 4>(int, int)>& colour) {
  RgbaPicture p;
  p.width = width;
  p.height = height;
  p.rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) {
      auto c = colour(x, row);
      std::copy(c.begin(), c.end(), p.rgba.begin() + (static_cast<ptrdiff_t>(row) * width + x) * 4);
    }
  return p;
}

RgbaPicture Flat(int width, int height) {
  return Make(width, height, [](int, int) { return std::array<uint8_t, 4>{200, 100, 50, 7}; });
}

const uint8_t* At(const RgbaPicture& p, int x, int row) {
  return p.rgba.data() + (static_cast<size_t>(row) * static_cast<size_t>(p.width) + x) * 4;
}

TEST(ApplyEdgeFade, AlphaFollowsTheDistanceToTheNearestEdge) {
  struct {
    int width, height, x, yFromTop, alpha;
  } cases[] = {
      {100, 50, 0, 25, 0},    {100, 50, 99, 25, 51}, {100, 50, 1, 25, 51},  {100, 50, 4, 25, 204},
      {100, 50, 5, 25, 255},  {100, 50, 50, 0, 0},   {100, 50, 50, 49, 51}, {100, 50, 95, 25, 255},
      {100, 50, 96, 25, 204}, {32, 20, 1, 10, 127},  {32, 20, 31, 10, 127}, {32, 20, 16, 19, 127},
      {32, 20, 16, 2, 255},   {5, 5, 0, 2, 0},       {5, 5, 1, 1, 255},     {1, 1, 0, 0, 0},
  };
  for (const auto& c : cases) {
    RgbaPicture p = Flat(c.width, c.height);
    ApplyEdgeFade(p);
    const uint8_t* pixel = At(p, c.x, c.height - 1 - c.yFromTop);
    EXPECT_EQ(pixel[3], c.alpha) << c.width << "x" << c.height << " at " << c.x << "," << c.yFromTop;
    EXPECT_TRUE(pixel[0] == 200 && pixel[1] == 100 && pixel[2] == 50);
  }

  // With t = 5 the ramp is exact: 51 per pixel of distance.
  RgbaPicture p = Flat(100, 50);
  ApplyEdgeFade(p);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) {
      const int d = std::min({x, y, 100 - x, 50 - y});
      ASSERT_EQ(At(p, x, 49 - y)[3], d >= 5 ? 255 : d * 51) << x << "," << y;
    }
}

TEST(BuildMipChain, HalvesDownToOnePixel) {
  struct {
    int width, height;
    std::vector<std::pair<int, int>> sizes;
  } cases[] = {
      {5, 3, {{2, 1}, {1, 1}}},
      {8, 8, {{4, 4}, {2, 2}, {1, 1}}},
      {1, 7, {{1, 3}, {1, 1}}},
      {2, 1, {{1, 1}}},
      {1, 1, {}},
      {0, 0, {}},
  };
  for (const auto& c : cases) {
    const auto levels = BuildMipChain(Flat(c.width, c.height));
    ASSERT_EQ(levels.size(), c.sizes.size()) << c.width << "x" << c.height;
    for (size_t i = 0; i < levels.size(); ++i) {
      EXPECT_EQ(levels[i].width, c.sizes[i].first);
      EXPECT_EQ(levels[i].height, c.sizes[i].second);
      ASSERT_EQ(levels[i].bytes(), static_cast<size_t>(levels[i].width * levels[i].height * 4));
      EXPECT_EQ(At(levels[i], 0, 0)[0], 200);
      EXPECT_EQ(At(levels[i], 0, 0)[3], 7);
    }
  }
}

TEST(BuildMipChain, BoxFiltersAndRepeatsASingleRow) {
  const RgbaPicture base = Make(5, 3, [](int x, int row) {
    return std::array<uint8_t, 4>{static_cast<uint8_t>(x * 10 + row * 50), 0, 255, static_cast<uint8_t>(x)};
  });
  const auto levels = BuildMipChain(base);
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_EQ(At(levels[0], 0, 0)[0], 30);  // 0, 10, 50, 60
  EXPECT_EQ(At(levels[0], 1, 0)[0], 50);  // 20, 30, 70, 80
  EXPECT_EQ(At(levels[0], 1, 0)[2], 255);
  EXPECT_EQ(At(levels[0], 1, 0)[3], 3);   // (2 + 3 + 2 + 3 + 2) / 4
  EXPECT_EQ(At(levels[1], 0, 0)[0], 40);  // 30, 50, and the single row again
}

TEST(ReduceToFit, SizesAndColours) {
  struct {
    int width, height, maxSide, newWidth, newHeight;
  } cases[] = {
      {3000, 2000, 2048, 2048, 1365},
      {1500, 3000, 2048, 1024, 2048},
      {4097, 10, 1024, 1024, 2},
      {100, 50, 100, 100, 50},
      {100, 50, 400, 100, 50},
      {7, 3, 1, 1, 1},
      {7, 3, 0, 1, 1},
      {1000, 3, 100, 100, 1},
  };
  for (const auto& c : cases) {
    RgbaPicture p = Flat(c.width, c.height);
    ReduceToFit(p, c.maxSide);
    EXPECT_EQ(p.width, c.newWidth) << c.width << "x" << c.height << " to " << c.maxSide;
    EXPECT_EQ(p.height, c.newHeight) << c.width << "x" << c.height << " to " << c.maxSide;
    ASSERT_EQ(p.bytes(), static_cast<size_t>(p.width * p.height * 4));
    for (size_t i = 0; i < p.rgba.size(); i += 4)
      ASSERT_TRUE(p.rgba[i] == 200 && p.rgba[i + 1] == 100 && p.rgba[i + 2] == 50 && p.rgba[i + 3] == 7)
          << c.width << "x" << c.height << " pixel " << i / 4;
  }
}

TEST(ReduceToFit, WeighsBySourceArea) {
  // 3 -> 2: each output pixel covers one source pixel and half of the middle one.
  RgbaPicture p = Make(3, 1, [](int x, int) {
    return std::array<uint8_t, 4>{static_cast<uint8_t>(x * 90), 0, 0, 255};
  });
  ReduceToFit(p, 2);
  ASSERT_EQ(p.width, 2);
  EXPECT_EQ(At(p, 0, 0)[0], 30);
  EXPECT_EQ(At(p, 1, 0)[0], 150);
}

}  // namespace
