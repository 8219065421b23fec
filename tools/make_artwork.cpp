// make_artwork <resources-directory>
//
// Draws the editor's artwork into <resources-directory>/images: the play bar pieces, the slider
// knob, the scale and rotation handle sprite, the about box logo and the program icon at the
// sizes the desktop asks for (icon_<side>.png). The play bar is assembled
// at run time from these pieces by their exact sizes and rows, so the bar pictures are set pixel
// by pixel rather than left to the painter's antialiasing. The PNGs are committed; the build
// compiles them in and never runs this program.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QPolygonF>
#include <QRadialGradient>
#include <QSaveFile>
#include <QString>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

const QRgb grey = qRgb(128, 128, 128);
const QRgb black = qRgb(0, 0, 0);

const int barHeight = 30;
const int buttonWidth = 33;
const int rightCapWidth = 12;
const int grooveTop = 11;
const int grooveRows = 9;
// Top to bottom: the groove's upper wall is in shadow and its lower wall catches the light, so
// it reads as cut into the bar.
const QRgb grooveProfile[grooveRows] = {black, qRgb(71, 71, 71),    qRgb(103, 103, 103), grey, grey,
                                        grey,  qRgb(162, 162, 162), qRgb(193, 193, 193), black};

// 96 dpi. Left to itself QImage takes the density from the screen, which would make the files
// differ from one machine to the next.
const int dotsPerMeter = 3780;

// Pixel art. Each letter stands for one colour; the groove's letters are its profile colours,
// so a cap's innermost column continues the groove exactly.
QRgb Swatch(char letter) {
  switch (letter) {
    case '.':
      return grey;
    case 'K':
      return black;
    case 'h':  // an outline pixel only half covered by the curve
      return qRgb(64, 64, 64);
    case 'a':
      return grooveProfile[1];
    case 'b':
      return grooveProfile[2];
    case 'c':
      return grooveProfile[3];
    case 'd':
      return grooveProfile[6];
    case 'e':
      return grooveProfile[7];
    case 'w':
      return qRgb(244, 244, 244);
    case 'l':
      return qRgb(212, 212, 212);
    case 's':
      return qRgb(160, 160, 160);
    case 'g':
      return qRgb(136, 136, 136);
  }
  std::fprintf(stderr, "make_artwork: no colour for '%c'\n", letter);
  std::abort();
}

void Stamp(QImage& image, int left, int top, const std::vector<const char*>& rows) {
  for (size_t r = 0; r < rows.size(); ++r) {
    const int y = top + static_cast<int>(r);
    const size_t length = std::strlen(rows[r]);
    for (size_t c = 0; c < length; ++c) {
      const int x = left + static_cast<int>(c);
      if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) {
        std::fprintf(stderr, "make_artwork: pixel art runs off the picture at (%d, %d)\n", x, y);
        std::abort();
      }
      image.setPixel(x, y, Swatch(rows[r][c]));
    }
  }
}

QImage NewRgb(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  image.fill(grey);
  return image;
}

// Grey with the black line that separates the bar from the view above it.
QImage NewBarPiece(int width) {
  QImage image = NewRgb(width, barHeight);
  for (int x = 0; x < width; ++x) image.setPixel(x, 0, black);
  return image;
}

void GrooveColumn(QImage& image, int x) {
  for (int r = 0; r < grooveRows; ++r) image.setPixel(x, grooveTop + r, grooveProfile[r]);
}

// The rounded left end of the groove; its last column is a plain groove column. Light comes from
// the upper left, so the end wall facing right lies in shadow.
const std::vector<const char*> grooveLeftEnd = {
    ".hKK",  //
    "hKaa",  //
    "Kabb",  //
    "Kbcc",  //
    "Kbcc",  //
    "Kbcc",  //
    "Kcdd",  //
    "hKee",  //
    ".hKK",  //
};

// The rounded right end; its first column is a plain groove column and its end wall is lit.
const std::vector<const char*> grooveRightEnd = {
    "KKh.",  //
    "aaKh",  //
    "bbdK",  //
    "ccdK",  //
    "ccdK",  //
    "ccdK",  //
    "dddK",  //
    "eeKh",  //
    "KKh.",  //
};

QLinearGradient ButtonGreen(double top, double bottom) {
  QLinearGradient green(0, top, 0, bottom);
  green.setColorAt(0.0, QColor(150, 236, 120));
  green.setColorAt(0.45, QColor(60, 190, 50));
  green.setColorAt(1.0, QColor(20, 120, 20));
  return green;
}

QColor GreenAt(double fraction) {
  const QLinearGradient gradient = ButtonGreen(0, 1);
  const auto stops = gradient.stops();
  for (int i = 1; i < stops.size(); ++i) {
    if (fraction <= stops[i].first) {
      const double t = (fraction - stops[i - 1].first) / (stops[i].first - stops[i - 1].first);
      const QColor a = stops[i - 1].second;
      const QColor b = stops[i].second;
      return QColor(static_cast<int>(std::lround(a.red() + t * (b.red() - a.red()))),
                    static_cast<int>(std::lround(a.green() + t * (b.green() - a.green()))),
                    static_cast<int>(std::lround(a.blue() + t * (b.blue() - a.blue()))));
    }
  }
  return stops.back().second;
}

QImage ButtonPiece() {
  QImage image = NewBarPiece(buttonWidth);
  Stamp(image, buttonWidth - 4, grooveTop, grooveLeftEnd);
  return image;
}

QImage PlayPicture() {
  QImage image = ButtonPiece();
  // Columns 8..22, rows 6..24, outline included: the stroke's centre line runs half a stroke
  // inside that box, and round joins keep the tip from poking out of it.
  const double stroke = 1.2;
  const double inset = stroke / 2;
  QPolygonF triangle;
  triangle << QPointF(8 + inset, 6 + inset) << QPointF(8 + inset, 25 - inset) << QPointF(23 - inset, 15.5);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setBrush(ButtonGreen(6, 25));
  painter.setPen(QPen(Qt::black, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolygon(triangle);
  return image;
}

QImage PausePicture() {
  QImage image = ButtonPiece();
  const int top = 7;
  const int bottom = 23;
  for (int left : {8, 17}) {
    const int right = left + 4;
    for (int y = top; y <= bottom; ++y) {
      const QRgb inside = GreenAt(static_cast<double>(y - top) / (bottom - top)).rgb();
      for (int x = left; x <= right; ++x) {
        const bool edge = x == left || x == right || y == top || y == bottom;
        image.setPixel(x, y, edge ? black : inside);
      }
    }
    // Softened corners, to match the rounded triangle of the play picture.
    for (int x : {left, right}) {
      for (int y : {top, bottom}) image.setPixel(x, y, Swatch('h'));
    }
  }
  return image;
}

QImage CenterPicture() {
  QImage image = NewBarPiece(1);
  GrooveColumn(image, 0);
  return image;
}

QImage RightPicture() {
  QImage image = NewBarPiece(rightCapWidth);
  Stamp(image, 0, grooveTop, grooveRightEnd);
  return image;
}

// Copied opaquely over the track, so the corners outside the outline are the bar's grey.
QImage SliderPicture() {
  QImage image = NewRgb(8, 15);
  Stamp(image, 0, 0,
        {
            ".KKKKKK.",  //
            "KwwwwwlK",  //
            "KwllllsK",  //
            "KwllllsK",  //
            "KwllllsK",  //
            "KwggggsK",  //
            "KwwwwwsK",  //
            "KwggggsK",  //
            "KwwwwwsK",  //
            "KwggggsK",  //
            "KwwwwwsK",  //
            "KwllllsK",  //
            "KwllllsK",  //
            "KlsssssK",  //
            ".KKKKKK.",  //
        });
  return image;
}

void DrawHandle(QPainter& painter, int left, const QString& letter, const QColor& colour) {
  const QPointF centre(left + 8.0, 8.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawEllipse(centre, 7.75, 7.75);
  painter.setBrush(Qt::white);
  painter.drawEllipse(centre, 6.25, 6.25);

  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11);
  font.setWeight(QFont::Black);
  font.setHintingPreference(QFont::PreferFullHinting);
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(QRectF(left, 0, 16, 16), Qt::AlignCenter, letter);
}

QImage HandlePicture() {
  QImage image(32, 16, QImage::Format_ARGB32_Premultiplied);
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    DrawHandle(painter, 0, QStringLiteral("S"), QColor(0, 60, 230));
    DrawHandle(painter, 16, QStringLiteral("R"), QColor(220, 0, 0));
  }
  return image.convertToFormat(QImage::Format_ARGB32);
}

QColor Mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + t * (b.redF() - a.redF())),
                          static_cast<float>(a.greenF() + t * (b.greenF() - a.greenF())),
                          static_cast<float>(a.blueF() + t * (b.blueF() - a.blueF())));
}

QImage LogoPicture() {
  const int width = 338;
  const int height = 256;
  QImage image = NewRgb(width, height);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);

  QLinearGradient sky(0, 0, width, height);
  sky.setColorAt(0.0, QColor(12, 22, 48));
  sky.setColorAt(1.0, QColor(4, 8, 20));
  painter.fillRect(image.rect(), sky);

  // Frames inside frames, each a little smaller, turned a little further and drawn a little
  // closer to the vanishing point: the look of a zoom that never ends.
  const QPointF middle(width / 2.0, height / 2.0);
  const QPointF vanishing(width * 0.66, height * 0.36);
  const QColor outer(40, 90, 170);
  const QColor inner(255, 196, 90);
  const int frames = 30;
  for (int i = 0; i < frames; ++i) {
    const double depth = static_cast<double>(i) / (frames - 1);
    const double scale = std::pow(0.86, i);
    const QPointF centre = middle + (vanishing - middle) * (1.0 - scale);
    QTransform place;
    place.translate(centre.x(), centre.y());
    place.rotate(7.0 * i);
    place.scale(scale, scale);
    painter.setTransform(place);
    const QRectF frame(-width * 0.62, -height * 0.62, width * 1.24, height * 1.24);
    const QColor edge = Mix(outer, inner, depth);
    const QColor fill = Mix(QColor(10, 18, 40), QColor(70, 40, 30), depth);
    painter.setBrush(fill);
    painter.setPen(QPen(edge, 3.0 * std::max(scale, 0.25) / scale));
    painter.drawRect(frame);
  }
  painter.resetTransform();

  QRadialGradient glow(vanishing, 40);
  glow.setColorAt(0.0, QColor(255, 240, 200, 230));
  glow.setColorAt(0.35, QColor(255, 200, 110, 90));
  glow.setColorAt(1.0, QColor(255, 200, 110, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(glow);
  painter.drawEllipse(vanishing, 40, 40);

  // A dark band under the lettering keeps it legible over the frames.
  QLinearGradient band(0, 160, 0, height);
  band.setColorAt(0.0, QColor(0, 0, 0, 0));
  band.setColorAt(0.35, QColor(0, 0, 0, 150));
  band.setColorAt(1.0, QColor(0, 0, 0, 200));
  painter.fillRect(QRectF(0, 160, width, height - 160), band);

  QFont title(QStringLiteral("DejaVu Sans"));
  title.setPixelSize(42);
  title.setWeight(QFont::Bold);
  painter.setFont(title);
  const QRectF titleBox(22, 180, width - 44, 48);
  painter.setPen(QColor(0, 0, 0, 170));
  painter.drawText(titleBox.translated(2, 2), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tunnelvista"));
  painter.setPen(QColor(250, 246, 236));
  painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tunnelvista"));

  QFont version(QStringLiteral("DejaVu Sans"));
  version.setPixelSize(15);
  painter.setFont(version);
  painter.setPen(QColor(255, 206, 120));
  painter.drawText(QRectF(25, 226, width - 50, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version 1.0"));
  painter.end();
  return image;
}

// The program icon, drawn at each size rather than scaled from the largest so that the small ones
// stay crisp: the logo's frames inside frames on a dark rounded square, fewer and bolder when
// small. Transparent outside the square.
QImage IconPicture(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);

  const double margin = side / 16.0;
  const QRectF tile(margin, margin, side - 2 * margin, side - 2 * margin);
  QPainterPath rounded;
  rounded.addRoundedRect(tile, side * 0.18, side * 0.18);
  QLinearGradient sky(tile.topLeft(), tile.bottomRight());
  sky.setColorAt(0.0, QColor(22, 40, 84));
  sky.setColorAt(1.0, QColor(4, 8, 20));
  painter.fillPath(rounded, sky);
  painter.setClipPath(rounded);

  const QPointF middle = tile.center();
  const QPointF vanishing = middle + QPointF(tile.width() * 0.12, -tile.height() * 0.12);
  const QColor outer(60, 120, 210);
  const QColor inner(255, 196, 90);
  const int frames = side < 32 ? 3 : side < 64 ? 5 : 8;
  const double shrink = side < 32 ? 0.62 : side < 64 ? 0.72 : 0.8;
  const double stroke = std::max(1.0, side / 40.0);
  for (int i = 0; i < frames; ++i) {
    const double depth = static_cast<double>(i) / (frames - 1);
    const double scale = std::pow(shrink, i);
    const QPointF centre = middle + (vanishing - middle) * (1.0 - scale);
    const double half = tile.width() * 0.38 * scale;
    QTransform place;
    place.translate(centre.x(), centre.y());
    place.rotate(9.0 * i);
    painter.setTransform(place);
    painter.setBrush(Mix(QColor(14, 26, 58), QColor(90, 52, 34), depth));
    painter.setPen(QPen(Mix(outer, inner, depth), stroke, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawRect(QRectF(-half, -half, 2 * half, 2 * half));
  }
  painter.resetTransform();

  const double glowRadius = tile.width() * 0.16;
  QRadialGradient glow(vanishing, glowRadius);
  glow.setColorAt(0.0, QColor(255, 240, 200, 240));
  glow.setColorAt(0.4, QColor(255, 200, 110, 110));
  glow.setColorAt(1.0, QColor(255, 200, 110, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(glow);
  painter.drawEllipse(vanishing, glowRadius, glowRadius);
  painter.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

bool WritePng(const QString& path, const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) {
    std::fprintf(stderr, "make_artwork: cannot encode %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
    return false;
  }
  // A failed run leaves the previous picture in place rather than half a new one.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    std::fprintf(stderr, "make_artwork: cannot open %s for writing: %s\n", qPrintable(path),
                 qPrintable(file.errorString()));
    return false;
  }
  if (file.write(bytes) != bytes.size() || !file.commit()) {
    std::fprintf(stderr, "make_artwork: error writing %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
  }
  std::printf("wrote %s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
  std::fflush(stdout);
  return true;
}

struct Picture {
  const char* name;
  std::function<QImage()> draw;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: make_artwork <resources-directory>\n");
    return 2;
  }
  // Fonts need a GUI application, but nothing here needs a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  const QString directory = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("images"));
  if (!QDir().mkpath(directory)) {
    std::fprintf(stderr, "make_artwork: cannot create directory %s\n", qPrintable(directory));
    return 1;
  }

  const Picture pictures[] = {
      {"controls_play.png", PlayPicture},
      {"controls_pause.png", PausePicture},
      {"controls_center.png", CenterPicture},
      {"controls_right.png", RightPicture},
      {"slider.png", SliderPicture},
      {"handle.png", HandlePicture},
      {"logo.png", LogoPicture},
  };
  for (const Picture& picture : pictures) {
    if (!WritePng(QDir(directory).filePath(QString::fromLatin1(picture.name)), picture.draw())) return 1;
  }
  // The sizes of the hicolor icon theme's folders that the desktop installs from.
  for (int side : {16, 24, 32, 48, 64, 128, 256}) {
    if (!WritePng(QDir(directory).filePath(QStringLiteral("icon_%1.png").arg(side)), IconPicture(side))) return 1;
  }
  return 0;
}
