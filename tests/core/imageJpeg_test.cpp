#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "Parallel.h"
#include "TestFiles.h"
#include "image.h"

namespace {

bool Load(Image& image, const std::string& path) {
  image.fileName = path;
  image.ResolvePath("");
  return image.LoadJpeg();
}

bool IsPlaceholder(const Image& image) {
  if (image.loaded || image.width != 32 || image.height != 20) return false;
  if (image.bitmap.width() != 32 || image.bitmap.height() != 20) return false;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 32; ++x)
      if (image.bitmap.pixel(x, y) != qRgb(255, 255, 255)) return false;
  return true;
}

// Mean absolute difference per channel between two pictures of the same size.
double MeanDifference(const QImage& a, const QImage& b) {
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * a.width() * a.height());
}

TEST(LoadJpeg, SmallPictureIsItsOwnThumbnail) {
  TempDir dir;
  const std::string path = dir.File("stripes.jpg");
  WriteJpeg(path, 64, 40, [](int x, int) { return x < 32 ? Rgb{220, 30, 30} : Rgb{20, 40, 200}; });
  Image image;
  image.source = QImage(5, 5, QImage::Format_RGB888);  // a picture made in memory before
  ASSERT_TRUE(Load(image, path));
  EXPECT_TRUE(image.loaded);
  EXPECT_NE(image.revision, 0u);
  EXPECT_EQ(image.width, 64);
  EXPECT_EQ(image.height, 40);
  EXPECT_TRUE(image.source.isNull());
  EXPECT_EQ(image.bitmap.format(), QImage::Format_RGB888);
  EXPECT_EQ(image.bitmap.width(), 64);
  EXPECT_EQ(image.bitmap.height(), 40);
  QColor left = image.bitmap.pixelColor(8, 20), right = image.bitmap.pixelColor(56, 20);
  EXPECT_NEAR(left.red(), 220, 6);
  EXPECT_NEAR(left.blue(), 30, 6);
  EXPECT_NEAR(right.blue(), 200, 6);
  EXPECT_NEAR(right.red(), 20, 6);

  // Loading again (Reload) gives the renderers a new revision to rebuild from.
  const uint64_t first = image.revision;
  ASSERT_TRUE(image.LoadJpeg());
  EXPECT_NE(image.revision, first);
}

TEST(LoadJpeg, FailuresGiveTheWhitePlaceholder) {
  TempDir dir;
  WriteFileBytes(dir.File("text.jpg"), "This is not a picture.\n");
  WriteFileBytes(dir.File("empty.jpg"), "");
  std::string good = ReadFileBytes(CorpusFile("odd/video-001.jpeg"));
  WriteFileBytes(dir.File("half.jpg"), good.substr(0, good.size() / 2));
  // Damage the entropy-coded data but keep the headers and the end marker.
  std::string damaged = good;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 400; ++i) damaged[i] = static_cast<char>(i * 37);
  WriteFileBytes(dir.File("damaged.jpg"), damaged);

  for (const char* name : {"missing.jpg", "text.jpg", "empty.jpg", "half.jpg", "damaged.jpg"}) {
    Image image;
    image.SetPicture(QImage(50, 40, QImage::Format_RGB888));  // a previous picture is replaced
    const uint64_t before = image.revision;
    EXPECT_FALSE(Load(image, dir.File(name))) << name;
    EXPECT_TRUE(IsPlaceholder(image)) << name;
    EXPECT_TRUE(image.source.isNull()) << name;
    EXPECT_NE(image.revision, before) << name;
  }
  Image directory;
  EXPECT_FALSE(Load(directory, dir.path()));
  EXPECT_TRUE(IsPlaceholder(directory));
}

TEST(LoadJpeg, WithoutFileNameChangesNothing) {
  Image image;
  EXPECT_FALSE(image.LoadJpeg());
  EXPECT_TRUE(image.bitmap.isNull());
  EXPECT_EQ(image.width, 0);
  EXPECT_FALSE(image.loaded);
  EXPECT_EQ(image.revision, 0u);
}

TEST(LoadJpeg, HugeDeclaredSizeIsRefused) {
  // The frame header (SOF0) of a real file patched to claim 30000 x 30000 pixels.
  std::string bytes = ReadFileBytes(CorpusFile("odd/video-001.jpeg"));
  size_t sof = bytes.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (size_t at : {sof + 5, sof + 7}) {
    bytes[at] = static_cast<char>(30000 >> 8);
    bytes[at + 1] = static_cast<char>(30000 & 0xFF);
  }
  TempDir dir;
  WriteFileBytes(dir.File("huge.jpg"), bytes);
  Image image;
  EXPECT_FALSE(Load(image, dir.File("huge.jpg")));
  EXPECT_TRUE(IsPlaceholder(image));
}

TEST(LoadJpeg, GreyscaleBecomesEqualChannels) {
  for (const char* name :
       {"odd/video-005.gray.jpeg", "odd/video-005.gray.q50.2x2.progressive.jpeg", "photos/plasma-Grey-2560x1600.jpg"}) {
    Image image;
    ASSERT_TRUE(Load(image, CorpusFile(name))) << name;
    EXPECT_EQ(image.bitmap.format(), QImage::Format_RGB888);
    for (int y = 0; y < image.bitmap.height(); y += 7)
      for (int x = 0; x < image.bitmap.width(); x += 5) {
        QRgb p = image.bitmap.pixel(x, y);
        ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << name << " at " << x << "," << y;
      }
  }
}

// Every odd file decodes or fails as it should, and the variants of the reference frame
// (other codings, CMYK, RGB) look like the reference.
TEST(LoadJpeg, OddCorpusFiles) {
  struct Case {
    const char* name;
    bool ok;
    int width, height;
    double maxDifference;  // from video-001.jpeg; < 0: not compared
  } cases[] = {
      {"video-001.jpeg", true, 150, 103, 0},
      {"video-001.progressive.jpeg", true, 150, 103, 3},
      // Cut short between scans: damage, as a file cut short in any other coding.
      {"video-001.progressive.truncated.jpeg", false, 32, 20, -1},
      {"video-001.q50.410.jpeg", true, 150, 103, 12},
      {"video-001.q50.444.progressive.jpeg", true, 150, 103, 12},
      {"video-001.221212.jpeg", true, 150, 103, 6},
      // Converted without its colour profile, so darker than the reference, but not inverted
      // (which would differ by about 145).
      {"video-001.cmyk.jpeg", true, 150, 103, 40},
      {"video-001.rgb.jpeg", true, 150, 103, 8},
      {"video-005.gray.jpeg", true, 150, 103, -1},
      {"testorig.jpg", true, 227, 149, -1},
      {"testimgari.jpg", true, 227, 149, -1},
      {"skimage-truncated.jpg", false, 32, 20, -1},
      {"testorig12.jpg", false, 32, 20, -1},
  };
  Image reference;
  ASSERT_TRUE(Load(reference, CorpusFile("odd/video-001.jpeg")));
  for (const auto& c : cases) {
    Image image;
    EXPECT_EQ(Load(image, CorpusFile(std::string("odd/") + c.name)), c.ok) << c.name;
    EXPECT_EQ(image.loaded, c.ok) << c.name;
    EXPECT_EQ(image.width, c.width) << c.name;
    EXPECT_EQ(image.height, c.height) << c.name;
    EXPECT_EQ(image.bitmap.width(), c.width) << c.name;  // all within the thumbnail's size
    EXPECT_EQ(image.bitmap.height(), c.height) << c.name;
    if (c.maxDifference >= 0) {
      EXPECT_LE(MeanDifference(image.bitmap, reference.bitmap), c.maxDifference) << c.name;
    }
  }
}

TEST(LoadJpeg, RealPhotographs) {
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {{"rocket.jpg", 640, 427},        {"hubble_deep_field.jpg", 1000, 872},
               {"GreenMeadow.jpg", 1280, 1024}, {"Storm.jpg", 1920, 1280},
               {"Wood.jpg", 2560, 1920},        {"plasma-Path-2560x1600.jpg", 2560, 1600}};
  std::vector<std::unique_ptr<Image>> images;
  for (const auto& c : cases) {
    images.push_back(std::make_unique<Image>());
    images.back()->fileName = CorpusFile(std::string("photos/") + c.name);
    images.back()->ResolvePath("");
  }
  // Decoded side by side, as a project load does.
  std::vector<char> ok(images.size(), 0);
  ForEachParallel(images.size(), [&](size_t i) { ok[i] = images[i]->LoadJpeg(); });
  for (size_t i = 0; i < images.size(); ++i) {
    const Image& image = *images[i];
    EXPECT_TRUE(ok[i]) << cases[i].name;
    EXPECT_EQ(image.width, cases[i].width) << cases[i].name;
    EXPECT_EQ(image.height, cases[i].height) << cases[i].name;
    // The thumbnail: longer side 256, the picture's shape to within a pixel.
    EXPECT_EQ(std::max(image.bitmap.width(), image.bitmap.height()), thumbnailSide) << cases[i].name;
    EXPECT_NEAR(image.bitmap.height(), static_cast<double>(image.bitmap.width()) * image.height / image.width, 1.0)
        << cases[i].name;
  }
}

}  // namespace
