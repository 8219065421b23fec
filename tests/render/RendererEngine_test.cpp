// The renderer's engine: zooms of any depth, textures streamed within a budget, a renderer made
// anew for a new context, and pictures that the decoder or GL cannot take whole.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DrawTest.h"
#include "Imagestack.h"
#include "Renderer.h"
#include "TestFiles.h"

namespace {

using namespace drawtest;

const Colour orange{230, 120, 30};
const Colour azure{30, 90, 200};

bool IsClear(Colour c) { return Close(c, clearGrey, 3); }

// Concentric square rings, orange then azure within each octave of the distance from the middle:
// the picture looks the same scaled by one half about its middle.
QImage SelfSimilar(int side) {
  return Pixels(side, side, [side](int x, int y) {
    const double u = (x + 0.5) / side - 0.5, v = (y + 0.5) / side - 0.5;
    const double octave = std::log2(std::max(std::fabs(u), std::fabs(v)));
    return octave - std::floor(octave) < 0.5 ? orange : azure;
  });
}

// The same picture nested `depth` times, each placed in its parent by `placement`.
ImageStack Nested(const QImage& picture, int depth, const Transform& placement) {
  std::vector<std::unique_ptr<Image>> elements;
  for (int i = 0; i < depth; ++i) {
    auto image = std::make_unique<Image>();
    image->SetPicture(picture);
    if (i > 0) image->transform = placement;
    elements.push_back(std::move(image));
  }
  elements.push_back(Target(picture.width(), picture.height(), {0.5f, 0, 0, 0}));
  return Stack(std::move(elements));
}

using Engine = DrawTest;

// The view at every key of a zoom whose elements are all alike shows what its first frame shows,
// however deep the key lies; each frame draws only the handful of pictures that can be seen.
// Centred, the picture looks the same at the last key, which has no pictures inside it. Off
// centre and turned, only relative placements keep the deep keys in place; there the faded border
// of a key's picture, unlike the first picture's, blends with its parent, so only its core is
// compared.
TEST_F(Engine, ADeepZoomOfLikeElementsLooksTheSameAtEveryKey) {
  struct Case {
    Transform placement;
    int depth;
    int inset;
  };
  for (const Case& c : {Case{{0.5f, 0, 0, 0}, 300, 0}, Case{{0.5f, 0.1f, -0.05f, 10.0f}, 310, 28}}) {
    SCOPED_TRACE(c.depth);
    ImageStack stack = Nested(SelfSimilar(256), c.depth, c.placement);
    Renderer renderer(Waiting());
    renderer.DrawZoom(stack, 0, View(256, 256, 256, 256));
    const Frame first = Read();
    const Timeline& timeline = stack.CurrentTimeline();
    for (int i : {1, 50, 150, 299}) {
      SCOPED_TRACE(i);
      renderer.DrawZoom(stack, timeline.KeyTime(i), View(256, 256, 256, 256));
      EXPECT_LE(first.MeanDifference(Read(), c.inset), 3.0);
    }
    for (int k = 0; k <= 31; ++k) {
      const double t = k / 31.0;
      SCOPED_TRACE(t);
      renderer.DrawZoom(stack, t, View(256, 256, 256, 256));
      EXPECT_GE(renderer.PicturesDrawn(), 1);
      EXPECT_LE(renderer.PicturesDrawn(), 12);
      const Frame f = Read();
      EXPECT_EQ(f.CountAll(IsClear), 0);
      EXPECT_GT(f.CountAll([](Colour x) { return Close(x, orange, 12); }), 256 * 256 / 10);
      EXPECT_GT(f.CountAll([](Colour x) { return Close(x, azure, 12); }), 256 * 256 / 10);
    }
  }
}

// One picture nested in itself, made endless: at the end of a pass, a pass later or thousands
// of passes on, the view shows what it showed at the start (a zoom by a power of two looks the
// same), and halfway through a key, in the first or the second (last) picture, alike. Across the
// seam the first picture is drawn inside the last (where there and back ends), and at the start
// the last around the first.
TEST_F(Engine, AnEndlessSelfSimilarStackLoopsSeamlessly) {
  ImageStack stack = Nested(SelfSimilar(256), 2, {0.5f, 0, 0, 0});
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, 0.75, View(256, 256, 256, 256));
  const int thereAndBackInside = renderer.PicturesDrawn();

  stack.playSettings.play = PlayMode::Endless;
  renderer.DrawZoom(stack, 0, View(256, 256, 256, 256));
  const Frame start = Read();
  for (const double t : {1.0, 0.5, 2.0, 5000.0, -0.5}) {
    SCOPED_TRACE(t);
    renderer.DrawZoom(stack, t, View(256, 256, 256, 256));
    EXPECT_LE(start.MeanDifference(Read()), 3.0);
  }
  renderer.DrawZoom(stack, 0.25, View(256, 256, 256, 256));
  const Frame firstHalf = Read();
  for (const double t : {0.75, 4000.75}) {
    SCOPED_TRACE(t);
    renderer.DrawZoom(stack, t, View(256, 256, 256, 256));
    EXPECT_GT(renderer.PicturesDrawn(), thereAndBackInside);
    EXPECT_LE(firstHalf.MeanDifference(Read()), 3.0);
  }

  // The corners at the start: the first picture's faded border over the last (azure) around it,
  // where there and back paints the first picture (orange) whole.
  ImageStack two =
      StackOf(Solid(256, 256, orange), Solid(256, 256, azure, {0.5f, 0, 0, 0}), Target(256, 256, {0.5f, 0, 0, 0}));
  renderer.DrawZoom(two, 0, View(256, 256, 256, 256));
  EXPECT_TRUE(Near(Read(), 0, 0, orange, 12));
  two.playSettings.play = PlayMode::Endless;
  renderer.DrawZoom(two, 0, View(256, 256, 256, 256));
  EXPECT_TRUE(Near(Read(), 0, 0, azure, 24));
}

// Forty 512 x 384 files, each half the size of its parent, a little off centre and turned.
ImageStack FortyFiles(const TempDir& dir) {
  std::vector<std::unique_ptr<Image>> elements;
  for (int i = 0; i < 40; ++i) {
    const std::string path = dir.File("p" + std::to_string(i) + ".jpg");
    const uint8_t r = static_cast<uint8_t>(40 + i * 5), g = static_cast<uint8_t>(220 - i * 4),
                  b = static_cast<uint8_t>((i * 67) % 200 + 30);
    WriteJpeg(path, 512, 384, [=](int x, int y) {
      return ((x / 32 + y / 32) % 2) ? Rgb{r, g, b} : Rgb{static_cast<uint8_t>(r / 2), static_cast<uint8_t>(g / 2), b};
    });
    auto image = std::make_unique<Image>();
    image->fileName = path;
    image->ResolvePath("");
    EXPECT_TRUE(image->LoadJpeg()) << path;
    image->transform = i ? Transform{0.5f, 0.05f, -0.03f, 5.0f} : Transform();
    elements.push_back(std::move(image));
  }
  elements.push_back(Target(512, 384, {0.5f, 0, 0, 0}));
  return Stack(std::move(elements));
}

// Holds the forty small textures and about six full levels.
const size_t smallBudget = size_t(16) << 20;

RendererOptions WithBudget(size_t budget) {
  RendererOptions options = Waiting();
  options.textureBudget = budget;
  return options;
}

// Under a budget that holds only a few of their full levels, the pictures draw what an ample
// budget draws, forward through the zoom and back (as when scrubbing: levels that went must come
// again), and playing forward stays within the budget.
TEST_F(Engine, StreamingWithinASmallBudgetDrawsTheSameFrames) {
  TempDir dir;
  ImageStack stack = FortyFiles(dir);
  Renderer streaming(WithBudget(smallBudget)), reference(WithBudget(size_t(1) << 30));
  for (int k = 0; k <= 160; ++k) {
    const double t = (k <= 80 ? k : 160 - k) / 80.0;
    SCOPED_TRACE(t);
    reference.DrawZoom(stack, t, View(256, 256, 512, 384));
    const Frame expected = Read();
    streaming.DrawZoom(stack, t, View(256, 256, 512, 384));
    EXPECT_LE(expected.MeanDifference(Read()), 0.5);
    if (k <= 80) {
      EXPECT_LE(streaming.Cache().ResidentBytes(), smallBudget);
    }
  }
  EXPECT_GT(reference.Cache().ResidentBytes(), smallBudget);  // the budget did have to give
}

// Leaving out what inner pictures hide gives the frame that painting every picture whole gives
// (to the last bit of a channel),
// with full levels (sharp) and with only the small ones magnified (as before a level arrives).
TEST_F(Engine, LeavingOutHiddenPixelsChangesNothingSeen) {
  TempDir dir;
  ImageStack stack = FortyFiles(dir);
  for (bool sharp : {true, false}) {
    RendererOptions options = Waiting();
    options.waitForLevels = sharp;
    Renderer reduced(options);
    options.reduceOverdraw = false;
    Renderer whole(options);
    for (int k = 0; k <= 20; ++k) {
      const double t = k / 20.0;
      SCOPED_TRACE(t);
      whole.DrawZoom(stack, t, View(256, 256, 512, 384));
      const Frame expected = Read();
      reduced.DrawZoom(stack, t, View(256, 256, 512, 384));
      // A core is its own quad: texture coordinates interpolated across it may round the other
      // way in a few pixels.
      EXPECT_LE(Read().MaxDifference(expected), 1);
    }
  }
}

// Zooming out, the pictures seen large a moment ago are still drawn, a few pixels wide: their full
// levels are no longer needed and must not hold the budget open.
TEST_F(Engine, ZoomingOutStaysWithinTheBudget) {
  TempDir dir;
  ImageStack stack = FortyFiles(dir);
  Renderer renderer(WithBudget(smallBudget));
  for (int k = 0; k <= 160; ++k) {
    const double t = (k <= 80 ? k : 160 - k) / 80.0;
    SCOPED_TRACE(t);
    renderer.DrawZoom(stack, t, View(256, 256, 512, 384));
    EXPECT_LE(renderer.Cache().ResidentBytes(), smallBudget);
  }
}

// While a project opens, its pictures arrive from the check one by one: until then they are left
// out (the frame stays clear, never a white quad) and counted as waiting; once all have arrived,
// the frame is the one the project opened in one go draws.
TEST_F(Engine, PicturesStillBeingCheckedAreLeftOutUntilTheyArrive) {
  TempDir dir;
  ImageStack loaded = FortyFiles(dir);
  std::ostringstream project;
  loaded.SaveProject(project);
  ImageStack opening;
  ASSERT_TRUE(opening.ReadProject(project.str()));
  const std::unique_ptr<PictureCheck> check = opening.StartCheck();
  Renderer renderer(Waiting());
  renderer.DrawZoom(opening, 0.3, View(256, 256, 512, 384));
  EXPECT_EQ(renderer.PicturesDrawn(), 0);
  EXPECT_GE(renderer.PicturesWaiting(), 1);
  EXPECT_EQ(Read().CountAll([](Colour c) { return !IsClear(c); }), 0);

  check->Wait();
  EXPECT_TRUE(opening.ApplyChecks(*check));
  EXPECT_FALSE(opening.ApplyChecks(*check));
  renderer.DrawZoom(opening, 0.3, View(256, 256, 512, 384));
  EXPECT_EQ(renderer.PicturesWaiting(), 0);
  const Frame frame = Read();
  renderer.DrawZoom(loaded, 0.3, View(256, 256, 512, 384));
  EXPECT_TRUE(Read() == frame);
}

// As when the view's context goes and comes back: a new renderer draws the same frame from the
// pictures, which the old one left untouched.
TEST_F(Engine, ANewRendererDrawsTheSameFrameFromAnUntouchedStack) {
  const QImage picture = Pixels(300, 200, [](int x, int y) {
    return Colour{(x * 255) / 300, (y * 255) / 200, ((x / 20 + y / 20) % 2) ? 200 : 40};
  });
  std::vector<std::unique_ptr<Image>> elements;
  for (int i = 0; i < 4; ++i) {
    auto image = std::make_unique<Image>();
    image->SetPicture(picture);
    image->transform = i ? Transform{0.4f, 0.1f, 0.05f, 15.0f} : Transform();
    elements.push_back(std::move(image));
  }
  elements.push_back(Target(300, 200, {0.5f, 0, 0, 0}));
  ImageStack stack = Stack(std::move(elements));
  std::vector<uint64_t> revisions;
  std::vector<Transform> placements;
  for (const auto& image : stack.images) {
    revisions.push_back(image->revision);
    placements.push_back(image->transform);
  }

  auto renderer = std::make_unique<Renderer>(Waiting());
  renderer->DrawZoom(stack, 0.55, View(256, 256, 300, 200));
  const Frame before = Read();
  renderer.reset();
  renderer = std::make_unique<Renderer>(Waiting());
  renderer->DrawZoom(stack, 0.55, View(256, 256, 300, 200));
  EXPECT_TRUE(Read() == before);

  ASSERT_EQ(stack.count(), 5);
  for (size_t i = 0; i < stack.images.size(); ++i) {
    const Image& image = *stack.images[i];
    EXPECT_EQ(image.revision, revisions[i]) << i;
    EXPECT_EQ(image.transform.scale, placements[i].scale) << i;
    EXPECT_EQ(image.transform.translateX, placements[i].translateX) << i;
    EXPECT_EQ(image.transform.translateY, placements[i].translateY) << i;
    EXPECT_EQ(image.transform.rotate, placements[i].rotate) << i;
  }
  EXPECT_EQ(stack.images[0]->source.cacheKey(), stack.images[1]->source.cacheKey());
}

// Patches the frame header (SOF0) to claim side x side pixels.
std::string WithDeclaredSize(std::string bytes, int side) {
  const size_t sof = bytes.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  if (sof == std::string::npos || sof + 9 > bytes.size()) return bytes;
  for (size_t at : {sof + 5, sof + 7}) {
    bytes[at] = static_cast<char>(side >> 8);
    bytes[at + 1] = static_cast<char>(side & 0xFF);
  }
  return bytes;
}

// Headers that claim far more pixels than their files hold (or than the budget allows a decode
// to allocate) are drawn as far as they can be, within the budget, and the zoom goes on past them.
TEST_F(Engine, HugeDeclaredSizesStayWithinTheBudget) {
  TempDir dir;
  WriteJpeg(dir.File("small.jpg"), 64, 64, [](int x, int) { return Rgb{static_cast<uint8_t>(x * 4), 90, 160}; });
  std::vector<std::unique_ptr<Image>> elements;
  elements.push_back(Solid(256, 256, orange));
  for (int side : {16384, 65000}) {
    const std::string path = dir.File("huge" + std::to_string(side) + ".jpg");
    WriteFileBytes(path, WithDeclaredSize(ReadFileBytes(dir.File("small.jpg")), side));
    auto huge = std::make_unique<Image>();
    huge->fileName = path;
    huge->ResolvePath("");
    EXPECT_FALSE(huge->LoadJpeg());  // its check decode runs out of data: the placeholder
    // As if the file had passed its check and been replaced since: the renderer trusts the header.
    huge->width = huge->height = side;
    huge->loaded = true;
    huge->transform = {0.5f, 0, 0, 0};
    elements.push_back(std::move(huge));
  }
  elements.push_back(Solid(256, 256, azure, {0.5f, 0, 0, 0}));
  elements.push_back(Target(256, 256, {0.5f, 0, 0, 0}));
  ImageStack stack = Stack(std::move(elements));

  const size_t budget = size_t(64) << 20;
  RendererOptions options = Waiting();
  options.textureBudget = budget;
  Renderer renderer(options);
  for (int k = 0; k <= 10; ++k) {
    renderer.DrawZoom(stack, k / 10.0, View(256, 256, 256, 256));
    EXPECT_LE(renderer.Cache().ResidentBytes(), budget);
  }
  EXPECT_TRUE(Near(Read(), 128, 128, azure));
  for (int i : {1, 2})
    for (float zoom : {1.0f, 8.0f, 64.0f}) {
      EXPECT_TRUE(renderer.DrawEditView(stack, i, {zoom, 0, 0, 0}, View(256, 256, 256, 256)));
      EXPECT_LE(renderer.Cache().ResidentBytes(), budget);
    }
  EXPECT_EQ(stack.count(), 5);
}

// Levels GL refuses (beyond its real limit) are said once; each picture keeps a smaller level.
TEST_F(Engine, AnUploadGlRefusesIsReportedOnceAndThePictureStillDraws) {
  GLint realLimit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &realLimit);
  const int wide = 20000;
  if (realLimit >= wide) GTEST_SKIP() << "GL takes textures of " << realLimit << " texels";
  ImageStack stack = StackOf(Solid(wide, 64, orange), Solid(wide, 64, azure), Target(wide, 64, {0.01f, 0.4f, 0, 0}));
  RendererOptions options = Waiting();
  options.textureLimit = 32768;
  options.textureBudget = size_t(8) << 30;  // no level is halved for the budget's sake
  Renderer renderer(options);
  // Seen 100 times enlarged, a picture wants a level 25600 texels wide: the whole picture. The
  // second picture is refused first, alone; then the first, under it.
  const Transform enlarged{100.0f, 0, 0, 0};
  EXPECT_TRUE(renderer.DrawEditView(stack, 1, enlarged, View(256, 256, wide, 64)));
  EXPECT_FALSE(renderer.TakeMessage().empty());
  Frame f = Read();
  for (int x : {0, 128, 255}) EXPECT_TRUE(Near(f, x, 128, azure, 8));
  EXPECT_TRUE(renderer.DrawEditView(stack, 0, enlarged, View(256, 256, wide, 64)));
  EXPECT_EQ(renderer.TakeMessage(), "");
  f = Read();
  const Colour mixed{(6 * azure.r + 4 * orange.r) / 10, (6 * azure.g + 4 * orange.g) / 10,
                     (6 * azure.b + 4 * orange.b) / 10};
  for (int x : {0, 128, 255}) EXPECT_TRUE(Near(f, x, 128, mixed, 8));
}

}  // namespace
