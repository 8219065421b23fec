#include "JpegDecode.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <cstdlib>
#include <thread>

#include "HostileJpeg.h"
#include "KeptDecode.h"
#include "PictureCheck.h"
#include "TestFiles.h"

namespace {

// Pixel (x, y) of a decoded picture with y counted from the TOP, as the file stores it.
const uint8_t* TopDown(const RgbaPicture& p, int x, int y) {
  return p.rgba.data() + (static_cast<size_t>(p.height - 1 - y) * static_cast<size_t>(p.width) + x) * 4;
}

bool AllOpaque(const RgbaPicture& p) {
  for (size_t i = 3; i < p.rgba.size(); i += 4)
    if (p.rgba[i] != 255) return false;
  return true;
}

// Patches the frame header (SOF0 or SOF2) to claim side x side pixels.
std::string WithDeclaredSize(std::string bytes, int side) {
  size_t sof = bytes.find("\xFF\xC0");
  if (sof == std::string::npos) sof = bytes.find("\xFF\xC2");
  EXPECT_NE(sof, std::string::npos);
  for (size_t at : {sof + 5, sof + 7}) {
    bytes[at] = static_cast<char>(side >> 8);
    bytes[at + 1] = static_cast<char>(side & 0xFF);
  }
  return bytes;
}

TEST(JpegDecode, ReadsHeaderSizes) {
  TempDir dir;
  WriteJpeg(dir.File("a.jpg"), 64, 40, [](int, int) { return Rgb{1, 2, 3}; });
  WriteFileBytes(dir.File("text.jpg"), "This is not a picture.\n");
  WriteFileBytes(dir.File("empty.jpg"), "");
  JpegInfo info;
  ASSERT_TRUE(ReadJpegInfo(dir.File("a.jpg"), info));
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 40);
  ASSERT_TRUE(ReadJpegInfo(CorpusFile("odd/testorig.jpg"), info));
  EXPECT_EQ(info.width, 227);
  EXPECT_EQ(info.height, 149);
  for (const std::string& bad : {dir.File("missing.jpg"), dir.File("text.jpg"), dir.File("empty.jpg"), dir.path()})
    EXPECT_FALSE(ReadJpegInfo(bad, info)) << bad;
}

TEST(JpegDecode, ScaleTables) {
  struct {
    int side, denominator, scaled;
  } sides[] = {{100, 1, 100}, {100, 2, 50}, {100, 8, 13}, {16, 8, 2}, {17, 8, 3}, {1, 8, 1}, {0, 4, 0}};
  for (const auto& c : sides) EXPECT_EQ(ScaledSide(c.side, c.denominator), c.scaled) << c.side << "/" << c.denominator;

  struct {
    int width, height, wanted, denominator;
  } cases[] = {
      {4000, 3000, 500, 8},  {4000, 3000, 501, 4}, {4000, 3000, 1001, 2}, {4000, 3000, 2001, 1},
      {4000, 3000, 9000, 1}, {3000, 4000, 500, 8}, {4001, 10, 501, 8},    {100, 60, 0, 8},
      {100, 60, -5, 8},      {100, 60, 100, 1},    {100, 60, 50, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ScaleDenominatorFor(c.width, c.height, c.wanted), c.denominator)
        << c.width << "x" << c.height << " for " << c.wanted;
}

TEST(JpegDecode, EveryScaleGivesScaledSizeUpright) {
  TempDir dir;
  const std::string path = dir.File("halves.jpg");
  WriteJpeg(path, 100, 60, [](int, int y) { return y < 30 ? Rgb{230, 20, 20} : Rgb{20, 20, 230}; });
  for (int denominator : {1, 2, 4, 8}) {
    RgbaPicture p;
    ASSERT_EQ(DecodeJpegRgba(path, denominator, p), DecodeResult::Ok) << denominator;
    ASSERT_EQ(p.width, ScaledSide(100, denominator));
    ASSERT_EQ(p.height, ScaledSide(60, denominator));
    ASSERT_EQ(p.bytes(), static_cast<size_t>(p.width * p.height * 4));
    EXPECT_TRUE(AllOpaque(p)) << denominator;
    const uint8_t* top = TopDown(p, p.width / 2, 0);
    const uint8_t* bottom = TopDown(p, p.width / 2, p.height - 1);
    EXPECT_GT(top[0], 180) << denominator;
    EXPECT_LT(top[2], 70) << denominator;
    EXPECT_GT(bottom[2], 180) << denominator;
    EXPECT_LT(bottom[0], 70) << denominator;
  }
}

TEST(JpegDecode, GreyscaleGivesEqualChannels) {
  TempDir dir;
  WriteJpeg(
      dir.File("grey.jpg"), 50, 30,
      [](int x, int y) {
        return Rgb{static_cast<uint8_t>(x * 5 + y), 0, 0};
      },
      90, 1);
  for (const std::string& path : {dir.File("grey.jpg"), CorpusFile("odd/video-005.gray.jpeg")}) {
    for (int denominator : {1, 2}) {
      RgbaPicture p;
      ASSERT_EQ(DecodeJpegRgba(path, denominator, p), DecodeResult::Ok) << path;
      EXPECT_TRUE(AllOpaque(p));
      for (size_t i = 0; i < p.rgba.size(); i += 4)
        ASSERT_TRUE(p.rgba[i] == p.rgba[i + 1] && p.rgba[i] == p.rgba[i + 2]) << path << " at " << i / 4;
    }
  }
}

TEST(JpegDecode, CmykLooksLikeTheRgbVersion) {
  for (int denominator : {1, 4}) {
    RgbaPicture rgb, cmyk;
    ASSERT_EQ(DecodeJpegRgba(CorpusFile("odd/video-001.jpeg"), denominator, rgb), DecodeResult::Ok);
    ASSERT_EQ(DecodeJpegRgba(CorpusFile("odd/video-001.cmyk.jpeg"), denominator, cmyk), DecodeResult::Ok);
    ASSERT_EQ(cmyk.width, rgb.width);
    ASSERT_EQ(cmyk.height, rgb.height);
    EXPECT_TRUE(AllOpaque(cmyk));
    // Converted without its colour profile, so darker, but not inverted (about 145 apart).
    double sum = 0;
    for (size_t i = 0; i < rgb.rgba.size(); ++i) sum += std::abs(rgb.rgba[i] - cmyk.rgba[i]);
    EXPECT_LE(sum / static_cast<double>(rgb.width * rgb.height * 3), 40) << denominator;
  }
}

TEST(JpegDecode, BrokenFilesAndBadScalesFail) {
  TempDir dir;
  WriteFileBytes(dir.File("text.jpg"), "This is not a picture.\n");
  WriteFileBytes(dir.File("empty.jpg"), "");
  const std::string good = ReadFileBytes(CorpusFile("odd/video-001.jpeg"));
  WriteFileBytes(dir.File("half.jpg"), good.substr(0, good.size() / 2));
  std::string damaged = good;  // entropy-coded data damaged, headers and end marker kept
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 400; ++i) damaged[i] = static_cast<char>(i * 37);
  WriteFileBytes(dir.File("damaged.jpg"), damaged);

  struct {
    std::string path;
    int denominator;
  } cases[] = {
      {dir.File("missing.jpg"), 1},
      {dir.File("text.jpg"), 1},
      {dir.File("empty.jpg"), 1},
      {dir.File("half.jpg"), 1},
      {dir.File("half.jpg"), 8},
      {dir.File("damaged.jpg"), 1},
      {dir.File("damaged.jpg"), 2},
      {dir.path(), 1},
      {CorpusFile("odd/skimage-truncated.jpg"), 1},
      {CorpusFile("odd/testorig12.jpg"), 1},
      {CorpusFile("odd/video-001.jpeg"), 0},
      {CorpusFile("odd/video-001.jpeg"), 3},
      {CorpusFile("odd/video-001.jpeg"), 16},
      {CorpusFile("odd/video-001.jpeg"), -2},
  };
  for (const auto& c : cases) {
    RgbaPicture p;
    p.width = p.height = 1;
    p.rgba.assign(4, 9);  // a previous picture does not survive
    EXPECT_EQ(DecodeJpegRgba(c.path, c.denominator, p), DecodeResult::Failed) << c.path << " 1/" << c.denominator;
    EXPECT_TRUE(p.empty()) << c.path;
    EXPECT_EQ(p.bytes(), 0u) << c.path;
  }
}

TEST(JpegDecode, HugeDeclaredSizeIsBoundedByTheScaledOutput) {
  TempDir dir;
  WriteJpeg(dir.File("small.jpg"), 64, 64, [](int x, int) { return Rgb{static_cast<uint8_t>(x * 4), 0, 0}; });
  const std::string huge = dir.File("huge.jpg");
  WriteFileBytes(huge, WithDeclaredSize(ReadFileBytes(dir.File("small.jpg")), 16384));
  JpegInfo info;
  ASSERT_TRUE(ReadJpegInfo(huge, info));
  EXPECT_EQ(info.width, 16384);

  RgbaPicture p;
  EXPECT_EQ(DecodeJpegRgba(huge, 1, p, 1ull << 24), DecodeResult::TooLarge);
  EXPECT_TRUE(p.empty());
  EXPECT_EQ(p.rgba.capacity(), 0u);
  EXPECT_EQ(DecodeJpegRgba(huge, 2, p, 1ull << 24), DecodeResult::TooLarge);
  // 2048 x 2048 is allowed, but the data ends long before.
  EXPECT_EQ(DecodeJpegRgba(huge, 8, p, 1ull << 24), DecodeResult::Failed);
  EXPECT_TRUE(p.empty());

  // A progressive file needs whole-picture buffers of the full size, whatever the scale: more than
  // the decode memory holds, so refused before anything is allocated.
  const std::string progressive = dir.File("progressive.jpg");
  WriteFileBytes(progressive, WithDeclaredSize(ReadFileBytes(CorpusFile("odd/video-001.progressive.jpeg")), 30000));
  EXPECT_EQ(DecodeJpegRgba(progressive, 8, p, 1ull << 24), DecodeResult::TooLarge);
  EXPECT_TRUE(p.empty());
  // Unbounded, libjpeg would have taken and zeroed some 5 GB for it.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "kB at peak";
}

// Files of a few kilobytes that claim huge pictures: each is refused or fails, and no decode ever
// holds more than the decode memory, whatever the coding.
TEST(JpegDecode, HostileHeadersStayWithinTheDecodeMemory) {
  TempDir dir;
  struct Case {
    const char* name;
    JpegCoding coding;
    int side;
    DecodeResult result;
  } cases[] = {
      {"progressive-16383.jpg", JpegCoding::Progressive, 16383, DecodeResult::TooLarge},  // coefficients
      {"arith-65000.jpg", JpegCoding::Arithmetic, 65000, DecodeResult::TooLarge},         // over a gigapixel
      {"progressive-65000.jpg", JpegCoding::Progressive, 65000, DecodeResult::TooLarge},
      {"arith-16383.jpg", JpegCoding::Arithmetic, 16383, DecodeResult::Failed},  // data runs out at once
      {"baseline-16383.jpg", JpegCoding::Baseline, 16383, DecodeResult::Failed},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File(c.name);
    WriteFileBytes(path, ::WithDeclaredSize(EncodeJpeg(64, 64, c.coding), c.side, c.side));
    DecodeMemory memory(decodeMemoryBytes);
    for (int denominator : {1, 8}) {
      DecodeLimits limits;
      limits.memory = &memory;
      RgbaPicture p;
      const DecodeResult expected = denominator == 1 ? DecodeResult::TooLarge : c.result;  // 1/1: over 2^28
      EXPECT_EQ(DecodeJpegRgba(path, denominator, p, limits), expected) << c.name << " 1/" << denominator;
      EXPECT_TRUE(p.empty());
    }
    EXPECT_LE(memory.HighWater(), memory.Capacity()) << c.name;
    if (c.result == DecodeResult::TooLarge) {
      EXPECT_EQ(memory.HighWater(), 0u) << c.name;
    }
    EXPECT_EQ(memory.InUse(), 0u) << c.name;
    const CheckedPicture checked = CheckPicture(path);
    EXPECT_FALSE(checked.ok) << c.name;
    EXPECT_EQ(checked.tooLarge, c.result == DecodeResult::TooLarge) << c.name;
  }
  EXPECT_EQ(SharedDecodeMemory().InUse(), 0u);
}

// A file cut short and closed with an end marker is damage in every coding; the whole file is not.
// Arithmetic coding may legally meet a marker before its last MCUs are decoded (the encoder drops
// trailing zero bytes), so pictures that end in a flat area must still load.
TEST(JpegDecode, CutShortIsDamageInEveryCoding) {
  TempDir dir;
  for (JpegCoding coding :
       {JpegCoding::Baseline, JpegCoding::Progressive, JpegCoding::Arithmetic, JpegCoding::ArithmeticProgressive}) {
    const std::string whole = EncodeJpeg(200, 160, coding);
    ASSERT_GT(whole.size(), 10000u);
    const std::string name = dir.File("coding-" + std::to_string(static_cast<int>(coding)));
    WriteFileBytes(name + "-whole.jpg", whole);
    WriteFileBytes(name + "-cut.jpg", CutAndClosed(whole, 5000));
    for (int denominator : {1, 8}) {
      RgbaPicture p;
      EXPECT_EQ(DecodeJpegRgba(name + "-whole.jpg", denominator, p), DecodeResult::Ok) << name;
      EXPECT_EQ(DecodeJpegRgba(name + "-cut.jpg", denominator, p), DecodeResult::Failed) << name;
    }
    EXPECT_FALSE(CheckPicture(name + "-cut.jpg").ok) << name;
  }
  for (int components : {1, 3}) {
    for (JpegCoding coding : {JpegCoding::Arithmetic, JpegCoding::ArithmeticProgressive}) {
      // A textured top, a flat lower two thirds.
      const std::string path = dir.File("flat-" + std::to_string(components) + ".jpg");
      WriteFileBytes(path, EncodeJpeg(256, 96, coding, components, 90, 32));
      RgbaPicture p;
      EXPECT_EQ(DecodeJpegRgba(path, 1, p), DecodeResult::Ok);
    }
  }
  RgbaPicture p;
  EXPECT_EQ(DecodeJpegRgba(CorpusFile("odd/testimgari.jpg"), 1, p), DecodeResult::Ok);
}

TEST(JpegDecode, ScansBeyondTheLimitAreDamage) {
  TempDir dir;
  WriteFileBytes(dir.File("limit.jpg"), ManyScansJpeg(256, maxJpegScans - 1));
  WriteFileBytes(dir.File("many.jpg"), ManyScansJpeg(4096, 5000));
  RgbaPicture p;
  EXPECT_EQ(DecodeJpegRgba(dir.File("limit.jpg"), 1, p), DecodeResult::Ok);
  EXPECT_EQ(DecodeJpegRgba(dir.File("many.jpg"), 8, p), DecodeResult::Failed);
  EXPECT_FALSE(CheckPicture(dir.File("many.jpg")).ok);
}

// Raised while libjpeg works through a file's scans, the flag stops it: the decode ends
// cancelled, not with the picture.
TEST(JpegDecode, CancelStopsADecodeUnderWay) {
  TempDir dir;
  const std::string path = dir.File("scans.jpg");
  WriteFileBytes(path, ManyScansJpeg(4096, maxJpegScans));
  DecodeMemory memory(decodeMemoryBytes);
  std::atomic<bool> cancel{false};
  DecodeResult result = DecodeResult::Ok;
  std::thread worker([&] {
    DecodeLimits limits;
    limits.memory = &memory;
    limits.cancel = &cancel;
    RgbaPicture p;
    result = DecodeJpegRgba(path, 1, p, limits);
  });
  while (memory.InUse() == 0 && memory.HighWater() == 0) std::this_thread::yield();  // reserved: under way
  cancel = true;
  worker.join();
  EXPECT_EQ(result, DecodeResult::Cancelled);
  EXPECT_EQ(memory.InUse(), 0u);
}

// Waiting for memory others hold: a reservation that fits waits, one that never could is refused,
// and a cancelled wait takes nothing.
TEST(DecodeMemory, ReservationsWaitForEachOther) {
  DecodeMemory memory(100);
  EXPECT_FALSE(memory.Reserve(101));
  ASSERT_TRUE(memory.Reserve(60));
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(memory.Reserve(50, &cancel));
  std::atomic<bool> got{false};
  std::thread waiting([&] { got = memory.Reserve(50); });
  {
    MemoryHold hold(&memory, 60);  // takes over what was reserved
    hold.ShrinkTo(40);
    while (!got) std::this_thread::yield();
    EXPECT_EQ(memory.InUse(), 90u);
  }
  waiting.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(memory.InUse(), 50u);
  EXPECT_EQ(memory.HighWater(), 90u);
}

// A decode kept for later never makes a reservation wait: one that does not fit reclaims it first
// (the kept pixels are then gone, and the texture decodes the file itself).
TEST(DecodeMemory, KeptDecodesAreReclaimedRatherThanWaitedFor) {
  DecodeMemory memory(100);
  ASSERT_TRUE(memory.Reserve(60));
  RgbaPicture picture;
  picture.width = picture.height = 2;
  picture.rgba.assign(16, 7);
  const std::shared_ptr<KeptDecode> kept = KeptDecode::Keep(picture, 2, MemoryHold(&memory, 60), memory);
  EXPECT_TRUE(memory.Reserve(30));  // fits beside it
  EXPECT_EQ(memory.InUse(), 90u);
  EXPECT_TRUE(memory.Reserve(50));  // only without it
  EXPECT_EQ(memory.InUse(), 80u);
  RgbaPicture taken;
  MemoryHold hold;
  EXPECT_FALSE(kept->Take(2, taken, hold));
  EXPECT_TRUE(taken.empty());

  ASSERT_TRUE(memory.Reserve(20));
  const std::shared_ptr<KeptDecode> next = KeptDecode::Keep(picture, 2, MemoryHold(&memory, 20), memory);
  EXPECT_FALSE(next->Take(1, taken, hold));  // smaller than asked
  ASSERT_TRUE(next->Take(4, taken, hold));
  EXPECT_EQ(taken.width, 2);
  EXPECT_EQ(hold.Bytes(), 20u);
}

}  // namespace
