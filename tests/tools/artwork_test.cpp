// The play bar is assembled from these pictures by their sizes and rows, so a picture that is a
// pixel off shows as a step in the groove or a button drawn over the track.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

namespace {

const QRgb grey = qRgb(128, 128, 128);
const QRgb black = qRgb(0, 0, 0);
const int barHeight = 30;
const int grooveTop = 11;
const QRgb grooveProfile[] = {black, qRgb(71, 71, 71),    qRgb(103, 103, 103), grey, grey,
                              grey,  qRgb(162, 162, 162), qRgb(193, 193, 193), black};
const int grooveBottom = grooveTop + static_cast<int>(std::size(grooveProfile)) - 1;

QImage Load(const char* directory, const char* name) {
  const QString path = QString::fromUtf8(directory) + QStringLiteral("/") + QString::fromUtf8(name);
  QImage image(path);
  EXPECT_FALSE(image.isNull()) << "cannot load " << path.toStdString();
  return image;
}

QImage Committed(const char* name) { return Load(TV_ARTWORK_DIR, name); }

QByteArray FileStart(const char* name, qint64 size) {
  QFile file(QStringLiteral(TV_ARTWORK_DIR "/") + QString::fromUtf8(name));
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.read(size);
}

std::string Describe(QRgb c) {
  return "(" + std::to_string(qRed(c)) + "," + std::to_string(qGreen(c)) + "," + std::to_string(qBlue(c)) + "," +
         std::to_string(qAlpha(c)) + ")";
}

bool IsGreen(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40; }

// The colour every bar piece must have at (any column, y) outside the button and the caps.
QRgb TrackColour(int y) {
  if (y == 0) return black;
  if (y >= grooveTop && y <= grooveBottom) return grooveProfile[y - grooveTop];
  return grey;
}

const char* const barPieces[] = {"controls_play.png", "controls_pause.png", "controls_center.png",
                                 "controls_right.png"};

TEST(Artwork, SizesAndAlpha) {
  struct Expected {
    const char* name;
    int width;
    int height;
    bool alpha;
  };
  const Expected pictures[] = {
      {"controls_play.png", 33, 30, false},  {"controls_pause.png", 33, 30, false},
      {"controls_center.png", 1, 30, false}, {"controls_right.png", 12, 30, false},
      {"slider.png", 8, 15, false},          {"handle.png", 32, 16, true},
      {"logo.png", 338, 256, false},         {"icon_16.png", 16, 16, true},
      {"icon_24.png", 24, 24, true},         {"icon_32.png", 32, 32, true},
      {"icon_48.png", 48, 48, true},         {"icon_64.png", 64, 64, true},
      {"icon_128.png", 128, 128, true},      {"icon_256.png", 256, 256, true},
  };
  for (const Expected& e : pictures) {
    SCOPED_TRACE(e.name);
    const QImage image = Committed(e.name);
    EXPECT_EQ(image.width(), e.width);
    EXPECT_EQ(image.height(), e.height);
    EXPECT_EQ(image.hasAlphaChannel(), e.alpha);
    // As stored: 8 bits a channel, RGB or RGB with alpha, never grey or a palette, which the GL
    // upload of the handle and the opaque copies of the bar pieces do not expect.
    const QByteArray header = FileStart(e.name, 26);
    ASSERT_EQ(header.size(), 26);
    EXPECT_EQ(header.mid(12, 4), QByteArray("IHDR"));
    EXPECT_EQ(header[24], 8) << "bit depth";
    EXPECT_EQ(header[25], e.alpha ? 6 : 2) << "PNG colour type";
  }
}

TEST(Artwork, BarPiecesShareTopLineAndTrack) {
  for (const char* name : barPieces) {
    SCOPED_TRACE(name);
    const QImage image = Committed(name);
    ASSERT_EQ(image.height(), barHeight);
    for (int x = 0; x < image.width(); ++x) EXPECT_EQ(image.pixel(x, 0), black) << "column " << x;
  }
  const QImage center = Committed("controls_center.png");
  for (int y = 0; y < barHeight; ++y) {
    EXPECT_EQ(center.pixel(0, y), TrackColour(y)) << "row " << y << " is " << Describe(center.pixel(0, y));
  }
}

// Play and pause end with the track column and the right cap begins with it, so the pieces meet
// without a step in the groove.
TEST(Artwork, BarPiecesJoinSeamlessly) {
  const QImage center = Committed("controls_center.png");
  const QImage play = Committed("controls_play.png");
  const QImage pause = Committed("controls_pause.png");
  const QImage right = Committed("controls_right.png");
  for (int y = 0; y < barHeight; ++y) {
    SCOPED_TRACE(y);
    EXPECT_EQ(play.pixel(play.width() - 1, y), center.pixel(0, y));
    EXPECT_EQ(pause.pixel(pause.width() - 1, y), center.pixel(0, y));
    EXPECT_EQ(right.pixel(0, y), center.pixel(0, y));
  }
}

// The groove is rounded at both ends and stays within columns 29..32 of the buttons and the
// first columns of the right cap; beyond it the bar is plain.
TEST(Artwork, GrooveEndsAreRoundedAndContained) {
  for (const char* name : {"controls_play.png", "controls_pause.png"}) {
    SCOPED_TRACE(name);
    const QImage image = Committed(name);
    for (int y = grooveTop; y <= grooveBottom; ++y) EXPECT_EQ(image.pixel(28, y), grey) << "row " << y;
    // Square would mean the cap's outline runs straight down column 29.
    EXPECT_NE(image.pixel(29, grooveTop), black);
    EXPECT_NE(image.pixel(29, grooveBottom), black);
    EXPECT_EQ(image.pixel(29, (grooveTop + grooveBottom) / 2), black);
  }
  const QImage right = Committed("controls_right.png");
  EXPECT_NE(right.pixel(3, grooveTop), black);
  EXPECT_NE(right.pixel(3, grooveBottom), black);
  EXPECT_EQ(right.pixel(3, (grooveTop + grooveBottom) / 2), black);
  for (int x = 4; x < right.width(); ++x) {
    for (int y = 1; y < barHeight; ++y) EXPECT_EQ(right.pixel(x, y), grey) << x << "," << y;
  }
}

// Everything green lies within the button's box, and each part of the button has some.
void ExpectGreenOnlyIn(const QImage& image, int left, int right, int top, int bottom) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const bool inside = x >= left && x <= right && y >= top && y <= bottom;
      if (!inside) {
        EXPECT_FALSE(IsGreen(image.pixel(x, y))) << x << "," << y;
        // Around the button and the groove the bar is untouched.
        if (x < 29 && y > 0) {
          EXPECT_EQ(image.pixel(x, y), grey) << x << "," << y;
        }
      }
    }
  }
}

int GreenCount(const QImage& image, int left, int right, int top, int bottom) {
  int count = 0;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) count += IsGreen(image.pixel(x, y)) ? 1 : 0;
  }
  return count;
}

TEST(Artwork, PlayShowsGreenTriangle) {
  const QImage play = Committed("controls_play.png");
  ExpectGreenOnlyIn(play, 8, 22, 6, 24);
  EXPECT_GT(GreenCount(play, 8, 22, 6, 24), 60);
  // Points right: wide at the left, a tip at the right, on the middle row.
  EXPECT_TRUE(IsGreen(play.pixel(10, 15)));
  EXPECT_TRUE(IsGreen(play.pixel(19, 15)));
  EXPECT_FALSE(IsGreen(play.pixel(19, 8)));
  EXPECT_FALSE(IsGreen(play.pixel(19, 22)));
  EXPECT_TRUE(IsGreen(play.pixel(10, 8)));
  EXPECT_TRUE(IsGreen(play.pixel(10, 22)));
}

TEST(Artwork, PauseShowsTwoGreenBars) {
  const QImage pause = Committed("controls_pause.png");
  ExpectGreenOnlyIn(pause, 8, 21, 7, 23);
  for (int y = 8; y <= 22; ++y) {
    for (int x : {9, 10, 11, 18, 19, 20}) EXPECT_TRUE(IsGreen(pause.pixel(x, y))) << x << "," << y;
    for (int x = 13; x <= 16; ++x) EXPECT_EQ(pause.pixel(x, y), grey) << x << "," << y;
    // Outlined in black at the sides.
    for (int x : {8, 12, 17, 21}) EXPECT_EQ(pause.pixel(x, y), black) << x << "," << y;
  }
}

TEST(Artwork, SliderIsALightKnobOnTheBarGrey) {
  const QImage slider = Committed("slider.png");
  ASSERT_EQ(slider.size(), QSize(8, 15));
  // Rounded: the corners are the bar's grey, the sides are outline.
  for (int x : {0, 7}) {
    for (int y : {0, 14}) EXPECT_EQ(slider.pixel(x, y), grey) << x << "," << y;
  }
  EXPECT_EQ(slider.pixel(0, 7), black);
  EXPECT_EQ(slider.pixel(7, 7), black);
  EXPECT_EQ(slider.pixel(4, 0), black);
  EXPECT_EQ(slider.pixel(4, 14), black);
  EXPECT_GT(qGray(slider.pixel(3, 3)), 180);
}

TEST(Artwork, HandlesAreDiscsOnTransparency) {
  const QImage handle = Committed("handle.png").convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(handle.size(), QSize(32, 16));
  for (int left : {0, 16}) {
    SCOPED_TRACE(left);
    for (int x : {left, left + 15}) {
      for (int y : {0, 15}) EXPECT_EQ(qAlpha(handle.pixel(x, y)), 0) << x << "," << y;
    }
    // Nothing outside the ring: a disc of radius 8 around the middle of the icon.
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const double dx = x + 0.5 - 8;
        const double dy = y + 0.5 - 8;
        if (dx * dx + dy * dy > 8.5 * 8.5) {
          EXPECT_EQ(qAlpha(handle.pixel(left + x, y)), 0) << x << "," << y;
        }
      }
    }
    for (int x = left + 6; x <= left + 9; ++x) {
      for (int y = 6; y <= 9; ++y) EXPECT_EQ(qAlpha(handle.pixel(x, y)), 255) << x << "," << y;
    }
    // The ring is dark all round.
    EXPECT_LT(qGray(handle.pixel(left + 8, 0)), 100);
    EXPECT_LT(qGray(handle.pixel(left, 8)), 100);
    EXPECT_LT(qGray(handle.pixel(left + 15, 8)), 100);
    EXPECT_LT(qGray(handle.pixel(left + 8, 15)), 100);
  }
  // The letters: blue on the scale handle, red on the rotation handle.
  int blue = 0;
  int red = 0;
  for (int y = 3; y < 13; ++y) {
    for (int x = 3; x < 13; ++x) {
      const QRgb s = handle.pixel(x, y);
      const QRgb r = handle.pixel(16 + x, y);
      blue += qBlue(s) > qRed(s) + 100 ? 1 : 0;
      red += qRed(r) > qBlue(r) + 100 && qRed(r) > qGreen(r) + 100 ? 1 : 0;
    }
  }
  EXPECT_GT(blue, 10);
  EXPECT_GT(red, 10);
}

TEST(Artwork, LogoIsDrawn) {
  const QImage logo = Committed("logo.png");
  ASSERT_EQ(logo.size(), QSize(338, 256));
  // The title's letters are bright over the dark band at the bottom.
  int bright = 0;
  for (int y = 180; y < 228; ++y) {
    for (int x = 20; x < 300; ++x) bright += qGray(logo.pixel(x, y)) > 220 ? 1 : 0;
  }
  EXPECT_GT(bright, 300);
}

// How far a fresh drawing is from the committed one. Qt's raster engine takes other SIMD paths on
// other processors and rounds a blend or an antialiased edge a level the other way here and
// there, so a few pixels may differ by a level or two; a changed drawing (a shape moved, a colour
// changed) differs by more, or in many pixels.
struct ArtworkDifference {
  int pixels = 0;   // pixels with any channel different
  int largest = 0;  // the largest difference of a channel (alpha included), in levels
};

ArtworkDifference Compare(const QImage& a, const QImage& b) {
  ArtworkDifference d;
  const QImage x = a.convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32);
  for (int row = 0; row < x.height(); ++row) {
    for (int column = 0; column < x.width(); ++column) {
      const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
      const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                 std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
      d.pixels += most > 0 ? 1 : 0;
      d.largest = std::max(d.largest, most);
    }
  }
  return d;
}

// Rounding, not a change: at most two levels a channel, in at most one pixel in 500 (and a few
// in the smallest pictures).
bool SameDrawing(const QImage& fresh, const QImage& committed, std::string& why) {
  if (fresh.size() != committed.size() || fresh.hasAlphaChannel() != committed.hasAlphaChannel()) {
    why = "size or alpha differs";
    return false;
  }
  const ArtworkDifference d = Compare(fresh, committed);
  const int allowed = std::max(4, fresh.width() * fresh.height() / 500);
  why = std::to_string(d.pixels) + " pixels differ, by up to " + std::to_string(d.largest) + " levels";
  return d.largest <= 2 && d.pixels <= allowed;
}

TEST(ArtworkComparison, AdmitsRoundingButNotAChangedDrawing) {
  const QImage icon = Committed("icon_64.png").convertToFormat(QImage::Format_ARGB32);
  std::string why;
  ASSERT_TRUE(SameDrawing(icon, icon, why)) << why;

  QImage rounded = icon;
  for (const QPoint& p : {QPoint(20, 31), QPoint(40, 12), QPoint(33, 50)}) {
    const QRgb c = rounded.pixel(p);
    rounded.setPixel(p, qRgba(qRed(c) ^ 1, qGreen(c), std::min(255, qBlue(c) + 2), qAlpha(c)));
  }
  EXPECT_TRUE(SameDrawing(rounded, icon, why)) << why;

  QImage shifted(icon.size(), icon.format());
  shifted.fill(Qt::transparent);
  for (int y = 0; y < icon.height(); ++y)
    for (int x = 1; x < icon.width(); ++x) shifted.setPixel(x, y, icon.pixel(x - 1, y));
  EXPECT_FALSE(SameDrawing(shifted, icon, why)) << "shifted a pixel: " << why;

  // A colour a single level off wherever it is drawn.
  QImage recoloured = icon;
  for (int y = 0; y < icon.height(); ++y)
    for (int x = 0; x < icon.width(); ++x) {
      const QRgb c = icon.pixel(x, y);
      if (qAlpha(c) == 255) recoloured.setPixel(x, y, qRgba(qRed(c), qGreen(c) ^ 1, qBlue(c), 255));
    }
  EXPECT_FALSE(SameDrawing(recoloured, icon, why)) << "recoloured: " << why;

  QImage spot = icon;
  spot.setPixel(32, 32, qRgba(255, 0, 255, 255));
  EXPECT_FALSE(SameDrawing(spot, icon, why)) << "one pixel painted over: " << why;
}

// Run after make_artwork has drawn a fresh set: the committed pictures must be what the
// generator draws. The handle and the logo depend on the fonts installed, so only the bar
// pieces, the slider and the icons (no lettering) are compared.
TEST(Regenerated, BarPicturesAndIconsMatchCommitted) {
  for (const char* name :
       {"controls_play.png", "controls_pause.png", "controls_center.png", "controls_right.png", "slider.png",
        "icon_16.png", "icon_24.png", "icon_32.png", "icon_48.png", "icon_64.png", "icon_128.png", "icon_256.png"}) {
    SCOPED_TRACE(name);
    std::string why;
    EXPECT_TRUE(SameDrawing(Load(TV_REGENERATED_ARTWORK_DIR, name), Committed(name), why)) << why;
  }
}

}  // namespace
