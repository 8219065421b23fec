// The web player (kx.jar) run as a program: each test writes JPEG pictures and a data file byte by
// byte, renders one frame with --render and looks at the pixels, or checks that a broken export is
// refused with a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

struct Placement {
  float scale, translateX, translateY, rotate;
};

struct Key {
  float zoom, logZoom, x, y, rotate, time, logZoomSlope, xSlope, ySlope, rotateSlope;
};

struct Picture {
  std::string name;
  Placement placement;
};

void PutInt(std::string& out, int32_t value) {
  uint32_t u;
  std::memcpy(&u, &value, 4);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((u >> shift) & 0xFF));
}

void PutFloat(std::string& out, float value) {
  int32_t bits;
  std::memcpy(&bits, &value, 4);
  PutInt(out, bits);
}

std::string DataFile(float duration, const std::vector<Picture>& pictures, const std::vector<Key>& keys) {
  std::string out = "#Tunnelvista-optimized v1.0   ";
  out += std::string("\x02\x00\x00\x00", 4);
  PutFloat(out, duration);
  PutInt(out, static_cast<int32_t>(pictures.size()));
  for (const Picture& p : pictures) {
    PutInt(out, static_cast<int32_t>(p.name.size()));
    out += p.name;
    for (float f : {p.placement.scale, p.placement.translateX, p.placement.translateY, p.placement.rotate}) {
      PutFloat(out, f);
    }
  }
  PutInt(out, static_cast<int32_t>(keys.size()));
  for (const Key& k : keys) {
    for (float f : {k.zoom, k.logZoom, k.x, k.y, k.rotate, k.time, k.logZoomSlope, k.xSlope, k.ySlope, k.rotateSlope}) {
      PutFloat(out, f);
    }
  }
  return out;
}

const Rgb red{255, 0, 0};
const Rgb green{0, 255, 0};
const Rgb blue{0, 0, 255};
const Rgb background{64, 64, 64};

struct Outcome {
  int status;
  std::string err;
};

class AppletPlayer : public ::testing::Test {
 protected:
  TempDir dir;

  // Runs java -jar kx.jar with the arguments; returns the exit status and what went to stderr.
  Outcome Kx(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TV_JAVA, "-Djava.awt.headless=true", "-jar", TV_KX_JAR};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::string errPath = dir.File("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
      int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(126);
      dup2(fd, 2);
      close(fd);
      execv(cargv[0], cargv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(errPath)};
  }

  // Renders the frame at time t of default.kxo; fails the test unless the player succeeded.
  QImage Render(double t, int width, int height) {
    std::string out = dir.File("frame.png");
    std::remove(out.c_str());
    char time[32];
    std::snprintf(time, sizeof time, "%.6f", t);
    Outcome run = Kx({"--render", time, std::to_string(width), std::to_string(height), out, dir.File("default.kxo")});
    EXPECT_EQ(run.status, 0) << run.err;
    QImage frame(QString::fromStdString(out));
    EXPECT_EQ(frame.width(), width);
    EXPECT_EQ(frame.height(), height);
    return frame;
  }

  // A failed run: the given status, a message of the player's own and no Java stack trace.
  void ExpectRefused(const Outcome& run, const std::string& expected, int status = 1) {
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_NE(run.err.find("kx: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(expected), std::string::npos) << "expected \"" << expected << "\" in: " << run.err;
    EXPECT_EQ(run.err.find("Exception"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("\tat "), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("frame.png")));
  }

  // Red and blue halves with a green child of half the size in the centre, and the target frame
  // half the size of the child in its centre: zooms 1, 2, 4, the child filling the view at 0.5.
  void WriteCentredStack() {
    WriteJpeg(dir.File("a.jpg"), 200, 100, [](int x, int) { return x < 100 ? red : blue; });
    WriteJpeg(dir.File("b b.jpg"), 200, 100, [](int, int) { return green; });
    const float ln2 = std::log(2.0f), ln4 = std::log(4.0f);
    WriteFileBytes(dir.File("default.kxo"), DataFile(10, {{"a.jpg", {1, 0, 0, 0}}, {"b b.jpg", {0.5f, 0, 0, 0}}},
                                                     {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                                      {2, ln2, 0, 0, 0, 0.5f, 1.4f * ln4, 0, 0, 0},
                                                      {4, ln4, 0, 0, 0, 1, 0, 0, 0, 0}}));
  }
};

::testing::AssertionResult Near(const QImage& frame, int x, int y, Rgb want, int tolerance = 40) {
  QRgb got = frame.pixel(x, y);
  if (std::abs(qRed(got) - want.r) <= tolerance && std::abs(qGreen(got) - want.g) <= tolerance &&
      std::abs(qBlue(got) - want.b) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << qRed(got) << ", " << qGreen(got)
                                       << ", " << qBlue(got) << "), expected about (" << int(want.r) << ", "
                                       << int(want.g) << ", " << int(want.b) << ")";
}

TEST_F(AppletPlayer, StartShowsTheFirstPictureFillingTheFrameOpaqueToItsEdges) {
  WriteCentredStack();
  QImage frame = Render(0, 400, 200);
  ASSERT_FALSE(frame.isNull());
  // The first picture's halves outside the child, right up to the frame's corners.
  for (int y : {0, 50, 100, 199}) {
    EXPECT_TRUE(Near(frame, 0, y, red));
    EXPECT_TRUE(Near(frame, 60, y, red));
    EXPECT_TRUE(Near(frame, 340, y, blue));
    EXPECT_TRUE(Near(frame, 399, y, blue));
  }
  // The child, half as wide, in the centre.
  EXPECT_TRUE(Near(frame, 200, 100, green));
  EXPECT_TRUE(Near(frame, 130, 80, green));
  EXPECT_TRUE(Near(frame, 270, 120, green));
  EXPECT_TRUE(Near(frame, 200, 20, red, 255));  // above the child: the first picture, whatever half
  EXPECT_LT(qGreen(frame.pixel(200, 20)), 40);
}

TEST_F(AppletPlayer, VeryLargePictureIsReducedWithItsShapeKept) {
  WriteCentredStack();
  WriteJpeg(
      dir.File("a.jpg"), 8400, 4200, [](int x, int) { return x < 4200 ? red : blue; }, 75);
  QImage frame = Render(0, 400, 200);
  ASSERT_FALSE(frame.isNull());
  for (int y : {0, 100, 199}) {
    EXPECT_TRUE(Near(frame, 0, y, red));
    EXPECT_TRUE(Near(frame, 90, y, red));
    EXPECT_TRUE(Near(frame, 310, y, blue));
    EXPECT_TRUE(Near(frame, 399, y, blue));
  }
  EXPECT_TRUE(Near(frame, 200, 100, green));
}

TEST_F(AppletPlayer, AtItsKeyTimeTheChildFillsTheFrameAndFadesIntoItsParent) {
  WriteCentredStack();
  QImage frame = Render(0.5, 400, 200);
  ASSERT_FALSE(frame.isNull());
  EXPECT_TRUE(Near(frame, 200, 100, green));
  EXPECT_TRUE(Near(frame, 60, 100, green));
  EXPECT_TRUE(Near(frame, 340, 100, green));
  // Towards the edges the child's alpha falls, uncovering the first picture behind it.
  EXPECT_TRUE(Near(frame, 0, 100, red, 70));
  EXPECT_TRUE(Near(frame, 399, 100, blue, 70));
  QRgb half = frame.pixel(10, 100);  // half way through the child's faded border
  EXPECT_GT(qRed(half), 70);
  EXPECT_LT(qRed(half), 190);
  EXPECT_GT(qGreen(half), 70);
  EXPECT_LT(qGreen(half), 190);
}

TEST_F(AppletPlayer, EndShowsOnlyTheTargetFrameRegion) {
  WriteCentredStack();
  QImage frame = Render(1, 400, 200);
  ASSERT_FALSE(frame.isNull());
  for (int x : {0, 100, 200, 300, 399}) {
    for (int y : {0, 50, 100, 150, 199}) EXPECT_TRUE(Near(frame, x, y, green));
  }
}

TEST_F(AppletPlayer, FirstPictureIsFittedAndCentredInAFrameOfAnotherShape) {
  WriteCentredStack();
  QImage square = Render(0, 400, 400);
  ASSERT_FALSE(square.isNull());
  // A landscape picture fills the width; bands of the background above and below.
  EXPECT_TRUE(Near(square, 200, 40, background, 8));
  EXPECT_TRUE(Near(square, 200, 360, background, 8));
  EXPECT_TRUE(Near(square, 20, 103, red));
  EXPECT_TRUE(Near(square, 380, 296, blue));
  EXPECT_TRUE(Near(square, 200, 200, green));

  QImage wide = Render(0, 800, 200);
  ASSERT_FALSE(wide.isNull());
  // Fills the height; bands left and right.
  EXPECT_TRUE(Near(wide, 40, 100, background, 8));
  EXPECT_TRUE(Near(wide, 760, 100, background, 8));
  EXPECT_TRUE(Near(wide, 205, 100, red));
  EXPECT_TRUE(Near(wide, 595, 100, blue));
}

// A child turned by 90 degrees counter-clockwise and placed in the upper right quarter: its top
// half (green) points left at the start, and the view turns it upright at the end.
TEST_F(AppletPlayer, TurnedOffCentreChildIsPlacedAndTurnedBack) {
  WriteJpeg(dir.File("a.jpg"), 100, 100, [](int, int) { return red; });
  WriteJpeg(dir.File("b.jpg"), 100, 100, [](int, int y) { return y < 50 ? green : blue; });
  const float ln4 = std::log(4.0f), ln8 = std::log(8.0f);
  WriteFileBytes(dir.File("default.kxo"), DataFile(10, {{"a.jpg", {1, 0, 0, 0}}, {"b.jpg", {0.25f, 0.25f, 0.25f, 90}}},
                                                   {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                                    {4, ln4, -0.25f, -0.25f, -90, 13.0f / 21, 1.4f * ln8, 0, 0, 0},
                                                    {8, ln8, -0.25f, -0.25f, -90, 1, 0, 0, 0, 0}}));

  QImage start = Render(0, 200, 200);
  ASSERT_FALSE(start.isNull());
  EXPECT_TRUE(Near(start, 140, 50, green));  // child's top half, left of its centre (150, 50)
  EXPECT_TRUE(Near(start, 160, 50, blue));
  EXPECT_TRUE(Near(start, 50, 150, red));
  EXPECT_TRUE(Near(start, 150, 150, red));  // below the child
  EXPECT_TRUE(Near(start, 50, 50, red));    // left of the child

  QImage end = Render(1, 200, 200);
  ASSERT_FALSE(end.isNull());
  for (int x : {5, 100, 195}) {
    EXPECT_TRUE(Near(end, x, 40, green));
    EXPECT_TRUE(Near(end, x, 160, blue));
  }
}

TEST_F(AppletPlayer, TruncatedDataFileIsRefused) {
  WriteCentredStack();
  const std::string whole = ReadFileBytes(dir.File("default.kxo"));
  // Inside the signature, the duration, the first name, the second placement and the keyframes.
  const size_t secondPlacement = 42 + 4 + 5 + 16 + 4 + 7 + 8;
  for (size_t size : {size_t{0}, size_t{20}, size_t{36}, size_t{45}, secondPlacement, whole.size() - 13}) {
    SCOPED_TRACE("cut to " + std::to_string(size) + " bytes");
    WriteFileBytes(dir.File("default.kxo"), whole.substr(0, size));
    ExpectRefused(Kx({"--render", "0.5", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                  size < 30 ? "The zoom data file is incomplete" : "incomplete");
  }
}

TEST_F(AppletPlayer, WrongSignatureOrVersionIsRefused) {
  WriteCentredStack();
  const std::string whole = ReadFileBytes(dir.File("default.kxo"));
  std::string renamed = whole;
  renamed[1] = 'X';
  WriteFileBytes(dir.File("default.kxo"), renamed);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                "not a Tunnelvista zoom data file");

  WriteFileBytes(dir.File("default.kxo"), "GIF89a");
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                "not a Tunnelvista zoom data file");

  std::string version = whole;
  version[30] = 3;
  WriteFileBytes(dir.File("default.kxo"), version);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}), "version");
}

TEST_F(AppletPlayer, DamagedCountsAreRefusedWithoutHuntingForMemory) {
  WriteCentredStack();
  const std::string whole = ReadFileBytes(dir.File("default.kxo"));
  std::string hugeCount = whole;
  hugeCount.replace(38, 4, "\x7f\xff\xff\xff");
  WriteFileBytes(dir.File("default.kxo"), hugeCount);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}), "damaged");

  std::string hugeName = whole;
  hugeName.replace(42, 4, "\x7f\xff\xff\xf0");
  WriteFileBytes(dir.File("default.kxo"), hugeName);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}), "incomplete");

  std::string negativeKeys = whole;
  const size_t keyCount = whole.size() - 3 * 40 - 4;
  negativeKeys.replace(keyCount, 4, "\xff\xff\xff\xfe");
  WriteFileBytes(dir.File("default.kxo"), negativeKeys);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}), "keyframes");
}

TEST_F(AppletPlayer, MissingOrUnreadablePicturesAreNamed) {
  WriteCentredStack();
  std::filesystem::remove(dir.File("b b.jpg"));
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                dir.File("b b.jpg") + " (not found)");

  WriteFileBytes(dir.File("b b.jpg"), "this is no picture");
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                dir.File("b b.jpg") + " (not a picture that can be read)");

  // A damaged header that claims a giant picture is refused before anything is decoded.
  WriteJpeg(dir.File("b b.jpg"), 64, 32, [](int, int) { return green; });
  std::string jpeg = ReadFileBytes(dir.File("b b.jpg"));
  const size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  jpeg.replace(frame + 5, 4, "\xEA\x60\xEA\x60");
  WriteFileBytes(dir.File("b b.jpg"), jpeg);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                dir.File("b b.jpg") + " (too large: 60000 x 60000 pixels)");

  // Every failed picture is listed, not just the first.
  std::filesystem::remove(dir.File("a.jpg"));
  Outcome both = Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("default.kxo")});
  ExpectRefused(both, "2 pictures of this zoom could not be loaded");
  EXPECT_NE(both.err.find("a.jpg (not found)"), std::string::npos) << both.err;
}

TEST_F(AppletPlayer, MissingDataFileAndBadArgumentsAreReported) {
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png"), dir.File("nothing.kxo")}),
                "was not found: " + dir.File("nothing.kxo"));
  WriteCentredStack();
  ExpectRefused(Kx({"--render", "1.5", "64", "32", dir.File("frame.png"), dir.File("default.kxo")}),
                "t must lie between 0 and 1", 2);
  ExpectRefused(Kx({"--render", "0", "0", "32", dir.File("frame.png"), dir.File("default.kxo")}), "width", 2);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("frame.png")}), "--render needs", 2);
  EXPECT_EQ(Kx({}).status, 2);
  ExpectRefused(Kx({"--render", "0", "64", "32", dir.File("no/such/dir/frame.png"), dir.File("default.kxo")}),
                "cannot write");
}

}  // namespace
