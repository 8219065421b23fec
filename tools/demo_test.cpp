// The demo is the reference for drawing tests, so its geometry must be exactly what the project
// file says, its pictures must show structure at every level, and its JPEGs must decode the way
// the editor decodes them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <set>
#include <sstream>

#include "Imagestack.h"
#include "demo_placements.h"
#include "demo_render.h"

namespace {

const double pi = 3.14159265358979323846;

// p_parent = t + s R(rotate) p, computed here independently of ChildPlaneMap.
std::complex<double> Place(const Transform& t, std::complex<double> p) {
  const double a = static_cast<double>(t.rotate) * pi / 180.0;
  const double x = std::cos(a) * p.real() - std::sin(a) * p.imag();
  const double y = std::sin(a) * p.real() + std::cos(a) * p.imag();
  return {t.translateX + t.scale * x, t.translateY + t.scale * y};
}

const std::complex<double> corners[] = {{-0.5, -0.375}, {0.5, -0.375}, {0.5, 0.375}, {-0.5, 0.375}};

TEST(DemoPlacements, SurviveSaveAndLoadBitForBit) {
  const auto placements = DemoPlacements();
  ImageStack stack;
  for (int i = 0; i < demoElementCount; ++i) {
    stack.images.push_back(std::make_unique<Image>());
    if (i < demoPictureCount) stack.images.back()->fileName = DemoPictureName(i + 1);
    stack.images.back()->transform = placements[static_cast<size_t>(i)];
  }
  std::ostringstream text;
  stack.SaveProject(text);

  ImageStack read;
  ASSERT_TRUE(read.ReadProject(text.str()));
  ASSERT_EQ(read.count(), demoElementCount);
  for (size_t i = 0; i < placements.size(); ++i) {
    const Transform& a = placements[i];
    const Transform& b = read.images[i]->transform;
    EXPECT_EQ(a.scale, b.scale) << "element " << i;
    EXPECT_EQ(a.translateX, b.translateX) << "element " << i;
    EXPECT_EQ(a.translateY, b.translateY) << "element " << i;
    EXPECT_EQ(a.rotate, b.rotate) << "element " << i;
  }
  EXPECT_EQ(read.images[0]->fileName, "demo1.jpg");
  EXPECT_EQ(read.images[7]->fileName, "demo8.jpg");
}

TEST(DemoPlacements, AsStoredInProjectRoundsToTenDecimals) {
  // 1/3 keeps its float value: ten decimals are finer than a float step near 0.33.
  EXPECT_EQ(AsStoredInProject(1.0f / 3.0f), 1.0f / 3.0f);
  EXPECT_EQ(AsStoredInProject(4e-11f), 0.0f);
  // Near 1e-4 a float step is finer than the last decimal, so the value moves onto the decimal,
  // and stays there.
  const float fine = 0.000123456789f;
  EXPECT_NE(AsStoredInProject(fine), fine);
  EXPECT_EQ(AsStoredInProject(fine), 0.0001234568f);
  EXPECT_EQ(AsStoredInProject(AsStoredInProject(fine)), AsStoredInProject(fine));
}

TEST(DemoPlacements, EachChildLiesInsideItsParentsOpaqueCore) {
  const auto placements = DemoPlacements();
  const Transform& first = placements[0];
  EXPECT_EQ(first.scale, 1.0f);
  EXPECT_EQ(first.translateX, 0.0f);
  EXPECT_EQ(first.translateY, 0.0f);
  EXPECT_EQ(first.rotate, 0.0f);

  bool turnsLeft = false, turnsRight = false;
  std::set<float> scales;
  for (size_t i = 1; i < placements.size(); ++i) {
    const Transform& t = placements[i];
    EXPECT_GE(t.scale, 0.3f) << "element " << i;
    EXPECT_LE(t.scale, 0.6f) << "element " << i;
    scales.insert(t.scale);
    EXPECT_NE(t.translateX, 0.0f) << "element " << i;
    EXPECT_NE(t.translateY, 0.0f) << "element " << i;
    EXPECT_LE(std::fabs(t.rotate), 10.0f) << "element " << i;
    turnsLeft = turnsLeft || t.rotate > 0.0f;
    turnsRight = turnsRight || t.rotate < 0.0f;
    for (const auto& corner : corners) {
      const std::complex<double> p = Place(t, corner);
      EXPECT_LE(std::fabs(p.real()), 0.5 - 0.075) << "element " << i << " corner " << corner;
      EXPECT_LE(std::fabs(p.imag()), 0.375 - 0.075) << "element " << i << " corner " << corner;
    }
  }
  EXPECT_TRUE(turnsLeft && turnsRight);
  EXPECT_GE(scales.size(), 6u);
}

TEST(PlaneMaps, ChildShowsWhatItsParentShowsWhereItIsPlaced) {
  // A quarter turn tells a clockwise turn, or a turn applied after the offset, from the right one.
  const PlaneMap parent{{-0.5, 0.25}, std::polar(2.0, 0.3)};
  const Transform quarter{0.5f, 0.1f, -0.2f, 90.0f};
  const PlaneMap child = ChildPlaneMap(parent, quarter);
  for (const auto& p : corners) {
    const std::complex<double> viaChild = child.origin + child.extent * p;
    const std::complex<double> viaParent = parent.origin + parent.extent * Place(quarter, p);
    EXPECT_NEAR(std::abs(viaChild - viaParent), 0.0, 1e-12) << p;
  }

  // Along the whole demo chain, to well below a pixel of the deepest picture.
  const auto placements = DemoPlacements();
  const auto maps = DemoPlaneMaps();
  for (size_t i = 1; i < maps.size(); ++i) {
    const double pixel = std::abs(maps[i].extent) / demoPictureWidth;
    for (const auto& p : corners) {
      const std::complex<double> viaChild = maps[i].origin + maps[i].extent * p;
      const std::complex<double> viaParent = maps[i - 1].origin + maps[i - 1].extent * Place(placements[i], p);
      EXPECT_LT(std::abs(viaChild - viaParent), 1e-6 * pixel) << "element " << i << " corner " << p;
    }
  }
}

TEST(PlaneMaps, PixelCentresSpanTheFrameWithYUp) {
  auto expectPoint = [](std::complex<double> got, double u, double v) {
    EXPECT_DOUBLE_EQ(got.real(), u);
    EXPECT_DOUBLE_EQ(got.imag(), v);
  };
  expectPoint(PixelFramePoint(0.5, 0.5, 1024, 768), 0.5 / 1024 - 0.5, (384 - 0.5) / 1024);
  expectPoint(PixelFramePoint(1023.5, 767.5, 1024, 768), 1023.5 / 1024 - 0.5, (384 - 767.5) / 1024);
  expectPoint(PixelFramePoint(0.0, 0.0, 1024, 768), -0.5, 0.375);
  expectPoint(PixelFramePoint(0.0, 0.0, 768, 1024), -0.375, 0.5);  // portrait: height is the unit
}

TEST(SmoothEscape, InsideNegativeOutsideContinuous) {
  EXPECT_LT(SmoothEscape({0.0, 0.0}), 0.0);       // main cardioid
  EXPECT_LT(SmoothEscape({-1.0, 0.0}), 0.0);      // period-2 bulb
  EXPECT_LT(SmoothEscape({-0.122, 0.745}), 0.0);  // period-3 bulb: found by the orbit repeating
  EXPECT_LT(SmoothEscape({-1.7549, 0.0}), 0.0);   // a small copy on the real axis
  EXPECT_GT(SmoothEscape({2.0, 2.0}), 0.0);

  // Right of the cusp at 0.25 every point escapes, later and later towards the cusp. The count
  // crosses whole numbers on the way; it must not jump at any of them.
  double previous = SmoothEscape({2.0, 0.0});
  int wholeSteps = 0;
  for (int k = 1; k <= 20000; ++k) {
    const double x = 2.0 - (2.0 - 0.3) * k / 20000.0;
    const double escape = SmoothEscape({x, 0.0});
    ASSERT_GT(escape, 0.0) << x;
    EXPECT_GE(escape, previous - 1e-9) << x;
    EXPECT_LT(escape - previous, 0.25) << x;
    if (std::floor(escape) != std::floor(previous)) ++wholeSteps;
    previous = escape;
  }
  EXPECT_GE(wholeSteps, 10);
}

TEST(RenderPicture, OrientationFollowsTheMap) {
  // extent 4i: frame point (u, v) shows -4v + 4iu, so the top of the picture shows the period-2
  // bulb at -1 (inside, black) and the bottom shows +1 (far outside).
  const PlaneMap turned{{0.0, 0.0}, {0.0, 4.0}};
  const std::vector<uint8_t> rgb = RenderPicture(turned, 64, 48, 1);
  ASSERT_EQ(rgb.size(), 64u * 48u * 3u);
  auto pixel = [&](int x, int y) { return rgb.data() + (static_cast<size_t>(y) * 64 + static_cast<size_t>(x)) * 3; };
  const uint8_t* top = pixel(32, 8);      // v = 0.25: c = -1
  const uint8_t* bottom = pixel(32, 40);  // v = -0.25: c = +1
  EXPECT_EQ(top[0] + top[1] + top[2], 0);
  EXPECT_GT(bottom[0] + bottom[1] + bottom[2], 0);
}

TEST(RenderPicture, EveryDemoLevelShowsStructure) {
  // Flat colour (a level that drifted off into smooth exterior) has hardly any sharp steps
  // between neighbours; filaments give them everywhere. The demo has 16 % or more.
  const int width = 128, height = 96;
  const auto maps = DemoPlaneMaps();
  for (size_t i = 0; i < maps.size(); ++i) {
    const std::vector<uint8_t> rgb = RenderPicture(maps[i], width, height, 1);
    int black = 0, steps = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* a = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
        if (a[0] + a[1] + a[2] == 0) ++black;
        if (x + 1 == width) continue;
        const uint8_t* b = a + 3;
        if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 60) ++steps;
      }
    }
    EXPECT_LT(black, width * height / 2) << "element " << i;
    EXPECT_GT(steps, (width - 1) * height / 12) << "element " << i;
  }
}

TEST(EncodeJpeg, DecodesInTheEditorAsWritten) {
  const int width = 40, height = 30;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      const bool redCorner = x < 16 && y < 16;  // top left, a whole block so JPEG keeps it
      p[0] = redCorner ? 220 : 20;
      p[1] = redCorner ? 30 : static_cast<uint8_t>(6 * x);
      p[2] = redCorner ? 30 : static_cast<uint8_t>(8 * y);
    }
  }
  std::vector<uint8_t> jpeg;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(rgb, width, height, 92, jpeg, error)) << error;

  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("demo_test_" + std::to_string(getpid()) + ".jpg");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
    ASSERT_TRUE(out.good());
  }
  Image image;
  image.fileName = path.string();
  image.ResolvePath("");
  const bool loaded = image.LoadJpeg();
  std::filesystem::remove(path);
  ASSERT_TRUE(loaded);
  ASSERT_EQ(image.bitmap.width(), width);
  ASSERT_EQ(image.bitmap.height(), height);
  auto near = [](const QColor& got, int r, int g, int b) {
    return std::abs(got.red() - r) <= 12 && std::abs(got.green() - g) <= 12 && std::abs(got.blue() - b) <= 12;
  };
  EXPECT_TRUE(near(image.bitmap.pixelColor(4, 4), 220, 30, 30));
  EXPECT_TRUE(near(image.bitmap.pixelColor(35, 25), 20, 6 * 35, 8 * 25));

  std::vector<uint8_t> none;
  EXPECT_FALSE(EncodeJpeg(std::vector<uint8_t>(10), width, height, 92, none, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
