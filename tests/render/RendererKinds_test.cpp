// Pictures of every kind the program reads, drawn from their files.

#include <gtest/gtest.h>

#include "DrawTest.h"
#include "Imagestack.h"
#include "PictureDecode.h"
#include "PictureFiles.h"
#include "Renderer.h"
#include "TestFiles.h"

namespace {

using namespace drawtest;

const Rgba kQuadrants[4] = {{230, 30, 30, 255}, {30, 200, 40, 255}, {20, 40, 220, 255}, {230, 220, 20, 255}};

// Quadrants as seen upright: top-left, top-right, bottom-left, bottom-right; with `alpha` the
// top-left one is half transparent.
RgbaSource Quadrants(int side, bool alpha) {
  return [side, alpha](int x, int y) {
    Rgba p = kQuadrants[(2 * y >= side ? 2 : 0) + (2 * x >= side ? 1 : 0)];
    if (alpha && 2 * x < side && 2 * y < side) p.a = 128;
    return p;
  };
}

Colour Expected(const Rgba& p) {
  const int backdrop[3] = {pictureBackdrop & 0xFF, (pictureBackdrop >> 8) & 0xFF, (pictureBackdrop >> 16) & 0xFF};
  auto over = [&](int c, int v) { return (v * p.a + backdrop[c] * (255 - p.a) + 127) / 255; };
  return Colour{over(0, p.r), over(1, p.g), over(2, p.b)};
}

using RenderKinds = DrawTest;

TEST_F(RenderKinds, PngAndWebpPicturesDrawFromTheirFiles) {
  TempDir dir;
  const int side = 200;
  const struct {
    const char* name;
    std::string bytes;
    bool alpha;
    int tolerance;
  } kinds[] = {
      {"deep.png", EncodePng(side, side, Quadrants(side, false), PngOptions{PngLayout::Rgb, 16, false}), false, 6},
      {"palette.png", EncodePng(side, side, Quadrants(side, true), PngOptions{PngLayout::Palette, 8, false}), true, 6},
      {"alpha.png", EncodePng(side, side, Quadrants(side, true), PngOptions{PngLayout::Rgba, 8, true}), true, 6},
      {"lossless.webp", EncodeWebp(side, side, Quadrants(side, true), true), true, 6},
      {"lossy.webp", EncodeWebp(side, side, Quadrants(side, false), false), false, 12},
  };
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    WriteFileBytes(dir.File(kind.name), kind.bytes);
    auto picture = std::make_unique<Image>();
    picture->fileName = dir.File(kind.name);
    picture->ResolvePath("");
    ASSERT_TRUE(picture->LoadJpeg());
    ImageStack stack = StackOf(std::move(picture), Target(side, side, {0.5f, 0, 0, 0}));
    Renderer renderer(Waiting());
    renderer.DrawZoom(stack, 0, View(256, 256, side, side));
    const Frame f = Read();
    // y = 0 is the frame's bottom row.
    const RgbaSource upright = Quadrants(side, kind.alpha);
    EXPECT_TRUE(Near(f, 64, 192, Expected(upright(50, 50)), kind.tolerance));
    EXPECT_TRUE(Near(f, 192, 192, Expected(upright(150, 50)), kind.tolerance));
    EXPECT_TRUE(Near(f, 64, 64, Expected(upright(50, 150)), kind.tolerance));
    EXPECT_TRUE(Near(f, 192, 64, Expected(upright(150, 150)), kind.tolerance));
  }
}

}  // namespace
