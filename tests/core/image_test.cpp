#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <vector>

#include "Affine.h"
#include "Parallel.h"
#include "RecordingReporter.h"
#include "ViewGeometry.h"
#include "image.h"

namespace {

QImage Filled(int w, int h, QColor colour = QColor(10, 20, 30)) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(colour);
  return image;
}

TEST(ResolvePath, AbsoluteNamesKeepTheirDirectory) {
  struct Case {
    const char* fileName;
    const char* directory;
    const char* baseName;
    const char* full;
  } cases[] = {
      {"/home/u/pics/b.jpg", "/home/u/pics", "b.jpg", "/home/u/pics/b.jpg"},
      {"/b.jpg", "/", "b.jpg", "/b.jpg"},
      {"E:\\a\\b.jpg", "E:\\a", "b.jpg", "E:\\a/b.jpg"},
      {"E:\\b.jpg", "E:", "b.jpg", "E:/b.jpg"},
      {"E:b.jpg", "", "E:b.jpg", "E:b.jpg"},
  };
  for (const auto& c : cases) {
    Image image;
    image.fileName = c.fileName;
    image.ResolvePath("/work/p/x.kx");
    EXPECT_EQ(image.directory, c.directory) << c.fileName;
    EXPECT_EQ(image.baseName, c.baseName) << c.fileName;
    EXPECT_EQ(image.FullPath(), c.full) << c.fileName;
    EXPECT_EQ(image.fileName, c.fileName);
  }
}

TEST(ResolvePath, RelativeNamesResolveUnderTheProjectDirectory) {
  struct Case {
    const char* fileName;
    const char* project;
    const char* directory;
    const char* baseName;
  } cases[] = {
      {"b.jpg", "/d/p/x.kx", "/d/p", "b.jpg"},
      {"sub\\b.jpg", "/d/p/x.kx", "/d/p/sub", "b.jpg"},
      {"sub/b.jpg", "/d/p/x.kx", "/d/p/sub", "b.jpg"},
      {"pics\\deep\\a.jpg", "/work/p.kx", "/work/pics/deep", "a.jpg"},
      {"\\b.jpg", "/d/p/x.kx", "/d/p", "b.jpg"},
      {"b.jpg", "/x.kx", "/", "b.jpg"},
      {"12:30.jpg", "/d/x.kx", "/d", "12:30.jpg"},  // a colon that is not a drive
      {"b.jpg", "", "", "b.jpg"},                   // from a dialog without project
  };
  for (const auto& c : cases) {
    Image image;
    image.fileName = c.fileName;
    image.ResolvePath(c.project);
    EXPECT_EQ(image.directory, c.directory) << c.fileName << " in " << c.project;
    EXPECT_EQ(image.baseName, c.baseName) << c.fileName;
  }
}

TEST(SetPicture, KeepsThePixelsAndMakesAThumbnail) {
  Image image;
  image.SetPicture(Filled(1000, 400));
  const uint64_t first = image.revision;
  EXPECT_TRUE(image.loaded);
  EXPECT_EQ(image.width, 1000);
  EXPECT_EQ(image.height, 400);
  EXPECT_EQ(image.source.size(), QSize(1000, 400));
  EXPECT_EQ(image.bitmap.size(), QSize(thumbnailSide, 102));
  // Qt's smooth scaling rounds on SIMD paths that differ between processors: within a level.
  const QColor middle = image.bitmap.pixelColor(128, 51);
  EXPECT_NEAR(middle.red(), 10, 1);
  EXPECT_NEAR(middle.green(), 20, 1);
  EXPECT_NEAR(middle.blue(), 30, 1);

  // A small picture is its own thumbnail; any format comes out as RGB888.
  QImage argb(40, 300, QImage::Format_ARGB32);
  argb.fill(QColor(200, 100, 50));
  image.SetPicture(argb);
  EXPECT_NE(image.revision, first);
  EXPECT_EQ(image.source.format(), QImage::Format_RGB888);
  EXPECT_EQ(image.bitmap.format(), QImage::Format_RGB888);
  EXPECT_EQ(image.bitmap.size(), QSize(34, thumbnailSide));
  EXPECT_EQ(image.height, 300);

  const uint64_t second = image.revision;
  image.Unload();
  EXPECT_NE(image.revision, second);
  EXPECT_FALSE(image.loaded);
  EXPECT_EQ(image.width, 0);
  EXPECT_EQ(image.height, 0);
  EXPECT_TRUE(image.bitmap.isNull());
  EXPECT_TRUE(image.source.isNull());
}

// A 200 x 100 viewport showing -hw..hw x -hh..hh, the picture's frame carried into view units by
// a zoom and a shift.
bool Covers(const Image& image, double hw, double hh, double zoom = 1, double dx = 0, double dy = 0,
            const Affine& placement = Affine()) {
  ViewGeometry view;
  view.width = 200;
  view.height = 100;
  view.span = {hw, hh};
  const Affine toView = Affine{zoom, 0, 0, zoom, 0, 0} * Affine{1, 0, 0, 1, dx, dy} * placement;
  return image.CoversView(toView, view);
}

TEST(CoversView, OnlyTheOpaqueCoreCounts) {
  Image image;  // 1000 x 500: extents (1, 0.5), core (0.9, 0.4)
  image.width = 1000;
  image.height = 500;
  double hx = 0, hy = 0;
  image.OpaqueCore(hx, hy);
  EXPECT_NEAR(hx, 0.45, 1e-7);
  EXPECT_NEAR(hy, 0.2, 1e-7);
  EXPECT_TRUE(Covers(image, 0.4, 0.19));
  EXPECT_TRUE(Covers(image, hx, hy));                // the core's own border is inside
  EXPECT_FALSE(Covers(image, 0.46, 0.19));           // the faded band shows at the sides
  EXPECT_FALSE(Covers(image, 0.4, 0.21));            // and at the top and bottom
  EXPECT_TRUE(Covers(image, 0.8, 0.38, 2.0));        // zoomed in by the view
  EXPECT_FALSE(Covers(image, 0.8, 0.38, 2.0, 0.1));  // then shifted into the border
  // The element's placement counts too: halve it and the same view no longer fits.
  const Affine half = Affine::Placement({0.5f, 0, 0, 0});
  EXPECT_FALSE(Covers(image, 0.4, 0.19, 1, 0, 0, half));
  EXPECT_TRUE(Covers(image, 0.2, 0.09, 1, 0, 0, half));
  // Turned a quarter, the wide core stands upright and no longer spans the view's width.
  EXPECT_FALSE(Covers(image, 0.4, 0.19, 1, 0, 0, Affine::Placement({1, 0, 0, 90})));
  EXPECT_TRUE(Covers(image, 0.19, 0.4, 1, 0, 0, Affine::Placement({1, 0, 0, 90})));
  // A placement of scale 0 cannot be inverted: it covers nothing.
  EXPECT_FALSE(Covers(image, 0.4, 0.19, 1, 0, 0, Affine::Placement({0, 0, 0, 0})));
}

TEST(MaxImageSizeMessage, NamesTheLimitTwice) {
  RecordingReporter reporter;
  ShowMaxImageSizeMessage(512);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.messages[0].caption, "Max Image Size Exceeded");
  EXPECT_EQ(reporter.messages[0].text,
            "Your graphics hardware supports images of size 512 by 512 pixels.\nOne or more of the selected images "
            "will be displayed at a lower\nresolution to meet these constraints.");
  EXPECT_EQ(reporter.messages[0].buttons, MessageButtons::Ok);
}

}  // namespace

namespace {

TEST(ForEachParallel, RunsEveryJobOnceAndHandsOnTheFirstFailure) {
  std::vector<std::atomic<int>> runs(97);
  ForEachParallel(runs.size(), [&](size_t i) { runs[i]++; });
  for (const auto& r : runs) EXPECT_EQ(r.load(), 1);
  EXPECT_THROW(ForEachParallel(10,
                               [](size_t i) {
                                 if (i == 7) throw std::bad_alloc();
                               }),
               std::bad_alloc);
  ForEachParallel(0, [](size_t) { FAIL(); });
}

}  // namespace
