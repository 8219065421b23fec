#include <GL/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "RecordingReporter.h"
#include "TestFiles.h"
#include "image.h"

namespace {

// Sets a texture limit for one test and restores the GL value afterwards.
struct LimitGuard {
  explicit LimitGuard(int limit) { SetTextureLimit(limit); }
  ~LimitGuard() { SetTextureLimit(0); }
};

QImage Filled(int w, int h, QColor colour = QColor(10, 20, 30)) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(colour);
  return image;
}

const uint8_t* Texel(const Image& image, int column, int row) {
  return image.pixels.data() + (static_cast<size_t>(row) * image.texWidth + column) * 4;
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

TEST(CreateTexture, LandscapePictureSizesAndPadding) {
  LimitGuard limit(2048);
  Image image;
  image.bitmap = Filled(1024, 768);
  bool reduced = true;
  ASSERT_TRUE(image.CreateTexture(reduced));
  EXPECT_FALSE(reduced);
  EXPECT_EQ(image.width, 1024);
  EXPECT_EQ(image.height, 768);
  EXPECT_EQ(image.texWidth, 1024);
  EXPECT_EQ(image.texHeight, 1024);
  ASSERT_EQ(image.pixels.size(), 1024u * 1024u * 4u);
  for (int row = 768; row < 1024; row += 17)
    for (int column = 0; column < 1024; column += 31) {
      const uint8_t* t = Texel(image, column, row);
      ASSERT_EQ(t[0], 128);
      ASSERT_EQ(t[1], 128);
      ASSERT_EQ(t[2], 128);
      ASSERT_EQ(t[3], 0);
    }
  EXPECT_NE(image.textureId, 0u);
}

TEST(CreateTexture, ReductionToTheLimit) {
  struct Case {
    int w, h, limit;
    int width, height, texWidth, texHeight;
    bool reduced;
  } cases[] = {
      {3000, 2000, 2048, 2048, 1365, 2048, 2048, true},
      {1500, 3000, 2048, 1024, 2048, 1024, 2048, true},
      {2048, 1000, 2048, 2048, 1000, 2048, 1024, false},
      {200, 100, 64, 64, 32, 64, 32, true},
      {1, 1, 64, 1, 1, 1, 1, false},
      {65, 64, 64, 64, 63, 64, 64, true},
  };
  for (const auto& c : cases) {
    LimitGuard limit(c.limit);
    Image image;
    image.bitmap = Filled(c.w, c.h);
    bool reduced = false;
    ASSERT_TRUE(image.CreateTexture(reduced));
    EXPECT_EQ(reduced, c.reduced) << c.w << "x" << c.h;
    EXPECT_EQ(image.width, c.width) << c.w << "x" << c.h;
    EXPECT_EQ(image.height, c.height) << c.w << "x" << c.h;
    EXPECT_EQ(image.texWidth, c.texWidth) << c.w << "x" << c.h;
    EXPECT_EQ(image.texHeight, c.texHeight) << c.w << "x" << c.h;
    EXPECT_EQ(image.bitmap.width(), c.width);
  }
}

TEST(Reduce, SamplesNearestSourcePixels) {
  // Every source pixel carries its own row and column in its colour.
  QImage source(10, 6, QImage::Format_RGB888);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) source.setPixelColor(x, y, QColor(x * 20, y * 40, 7));
  Image image;
  image.bitmap = source;
  image.Reduce(4);
  ASSERT_EQ(image.bitmap.width(), 4);
  ASSERT_EQ(image.bitmap.height(), 2);  // 6 * 4 / 10, truncated
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 4; ++j) {
      QColor c = image.bitmap.pixelColor(j, i);
      EXPECT_EQ(c.red(), (10 * j / 4) * 20);
      EXPECT_EQ(c.green(), (6 * i / 2) * 40);
      EXPECT_EQ(c.blue(), 7);
    }
}

TEST(CreateTexture, PictureIsUprightWithItsColours) {
  LimitGuard limit(2048);
  QImage source(8, 4, QImage::Format_RGB888);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) source.setPixelColor(x, y, QColor(x * 30, y * 60, 200));
  Image image;
  image.bitmap = source;
  bool reduced = false;
  image.CreateTexture(reduced);
  // The bitmap's top row is the texture's row height - 1.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint8_t* t = Texel(image, x, 3 - y);
      EXPECT_EQ(t[0], x * 30);
      EXPECT_EQ(t[1], y * 60);
      EXPECT_EQ(t[2], 200);
    }
}

TEST(CreateTexture, BorderAlphaFadesOverATenthOfTheShorterSide) {
  LimitGuard limit(2048);
  {
    Image image;  // t = 5
    image.bitmap = Filled(100, 50);
    bool reduced = false;
    image.CreateTexture(reduced);
    const int row = 50 - 1 - 25;
    EXPECT_EQ(Texel(image, 0, row)[3], 0);
    EXPECT_EQ(Texel(image, 99, row)[3], 51);
    EXPECT_EQ(Texel(image, 1, row)[3], 51);
    EXPECT_EQ(Texel(image, 2, row)[3], 102);
    EXPECT_EQ(Texel(image, 4, row)[3], 204);
    EXPECT_EQ(Texel(image, 5, row)[3], 255);
    EXPECT_EQ(Texel(image, 50, row)[3], 255);
    EXPECT_EQ(Texel(image, 95, row)[3], 255);
    EXPECT_EQ(Texel(image, 50, 49)[3], 0);  // top row of the picture
    EXPECT_EQ(Texel(image, 50, 0)[3], 51);  // bottom row, d = 1
    EXPECT_EQ(Texel(image, 0, 0)[3], 0);    // corner: nearest edge wins
    EXPECT_EQ(Texel(image, 3, 1)[3], 102);  // d = min(3, 2)
    for (int column = 5; column <= 95; ++column) ASSERT_EQ(Texel(image, column, row)[3], 255);
  }
  {
    Image image;  // t = 100
    image.bitmap = Filled(1000, 1000);
    bool reduced = false;
    image.CreateTexture(reduced);
    EXPECT_EQ(Texel(image, 50, 500)[3], 127);
    EXPECT_EQ(Texel(image, 100, 500)[3], 255);
    EXPECT_EQ(Texel(image, 99, 500)[3], 252);
  }
}

TEST(CreateTexture, UploadsMipmappedSixteenBitTexture) {
  LimitGuard limit(2048);
  Image image;
  image.bitmap = Filled(100, 60);
  bool reduced = false;
  image.CreateTexture(reduced);
  glBindTexture(GL_TEXTURE_2D, image.textureId);
  GLint w = 0, h = 0, format = 0, level1 = 0, minFilter = 0, magFilter = 0, wrap = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 64);
  EXPECT_EQ(format, GL_RGBA16);
  EXPECT_EQ(level1, 64);
  EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
  EXPECT_EQ(magFilter, GL_LINEAR);
  EXPECT_EQ(wrap, GL_CLAMP);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(CreateTexture, WithoutBitmapDoesNothing) {
  Image image;
  bool reduced = true;
  EXPECT_FALSE(image.CreateTexture(reduced));
  EXPECT_FALSE(reduced);
  EXPECT_EQ(image.textureId, 0u);
  EXPECT_TRUE(image.pixels.empty());
}

TEST(ReleaseTexture, TakesThePictureBackToDecoded) {
  Image image;
  image.bitmap = Filled(40, 30);
  bool reduced = false;
  image.CreateTexture(reduced);
  GLuint name = image.textureId;
  image.ReleaseTexture();
  EXPECT_EQ(image.textureId, 0u);
  EXPECT_TRUE(image.pixels.empty());
  EXPECT_EQ(image.width, 0);
  EXPECT_EQ(image.height, 0);
  EXPECT_FALSE(image.bitmap.isNull());
  EXPECT_EQ(glIsTexture(name), GL_FALSE);
  image.CreateTexture(reduced);  // and can be textured again
  EXPECT_NE(image.textureId, 0u);
}

TEST(CreateFromGraphic, KeepsAlphaWithoutFadeOrMipmaps) {
  QImage sprite(32, 16, QImage::Format_ARGB32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) sprite.setPixel(x, y, qRgba(x * 8, y * 16, 99, x < 16 ? 255 : 7));
  Image image;
  image.CreateFromGraphic(sprite);
  EXPECT_EQ(image.texWidth, 32);
  EXPECT_EQ(image.texHeight, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      const uint8_t* t = Texel(image, x, 15 - y);
      ASSERT_EQ(t[0], x * 8);
      ASSERT_EQ(t[1], y * 16);
      ASSERT_EQ(t[2], 99);
      ASSERT_EQ(t[3], x < 16 ? 255 : 7);
    }
  glBindTexture(GL_TEXTURE_2D, image.textureId);
  GLint minFilter = 0, format = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  EXPECT_EQ(minFilter, GL_NEAREST);
  EXPECT_EQ(format, GL_RGBA);
}

TEST(CreateFromGraphic, TexelsOutsideAnOddSizedGraphicAreTransparent) {
  QImage sprite(5, 3, QImage::Format_ARGB32);
  sprite.fill(qRgba(1, 2, 3, 255));
  Image image;
  image.CreateFromGraphic(sprite);
  EXPECT_EQ(image.texWidth, 8);
  EXPECT_EQ(image.texHeight, 4);
  EXPECT_EQ(Texel(image, 6, 1)[3], 0);
  EXPECT_EQ(Texel(image, 1, 3)[3], 0);
  EXPECT_EQ(Texel(image, 4, 2)[3], 255);
}

// The four corners of a 200 x 100 viewport under an orthographic projection of half-size
// (hw, hh), with the view matrix scaling by `zoom` and shifting by (dx, dy).
bool Covers(const Image& image, double hw, double hh, float zoom = 1, float dx = 0, float dy = 0) {
  glViewport(0, 0, 200, 100);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-hw, hw, -hh, hh, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glScalef(zoom, zoom, 1);
  glTranslatef(dx, dy, 0);
  double view[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, view);
  glPopMatrix();
  bool covers = image.CoversView(view);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  return covers;
}

TEST(CoversView, OnlyTheOpaqueCoreCounts) {
  Image image;  // 1000 x 500: extents (1, 0.5), core (0.9, 0.4)
  image.width = 1000;
  image.height = 500;
  EXPECT_TRUE(Covers(image, 0.4, 0.19));
  EXPECT_FALSE(Covers(image, 0.46, 0.19));             // the faded band shows at the sides
  EXPECT_FALSE(Covers(image, 0.4, 0.21));              // and at the top and bottom
  EXPECT_TRUE(Covers(image, 0.8, 0.38, 2.0f));         // zoomed in by the view
  EXPECT_FALSE(Covers(image, 0.8, 0.38, 2.0f, 0.1f));  // then shifted into the border
  // The picture's own matrix counts too: halve it and the same view no longer fits.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glScalef(0.5f, 0.5f, 1);
  double half[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, half);
  glPopMatrix();
  image.SetMatrix(half);
  EXPECT_FALSE(Covers(image, 0.4, 0.19));
  EXPECT_TRUE(Covers(image, 0.2, 0.09));
  image.ResetMatrix();
  EXPECT_TRUE(Covers(image, 0.4, 0.19));
}

TEST(MaxImageSizeMessage, NamesTheLimitTwice) {
  RecordingReporter reporter;
  LimitGuard limit(512);
  ShowMaxImageSizeMessage();
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
