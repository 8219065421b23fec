#include "PictureDecode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "PictureCheck.h"
#include "PictureFiles.h"
#include "TestFiles.h"
#include "image.h"

namespace {

const int kWidth = 61, kHeight = 38;  // odd sizes: the reduced pictures' last boxes are partial

Rgba Smooth(int x, int y) {
  return Rgba{static_cast<uint8_t>(x * 255 / (kWidth - 1)), static_cast<uint8_t>(y * 255 / (kHeight - 1)),
              static_cast<uint8_t>(60 + (x + y) % 7), 255};
}
// Translucent towards the right, fully transparent in the last columns.
Rgba Translucent(int x, int y) {
  Rgba p = Smooth(x, y);
  p.a = static_cast<uint8_t>(x >= kWidth - 4 ? 0 : 255 - x * 4);
  return p;
}
// At most 64 colours, for a palette; a quarter of them half transparent.
Rgba Few(int x, int y) {
  return Rgba{static_cast<uint8_t>(x / 8 * 32), static_cast<uint8_t>(y / 5 * 32), 90,
              static_cast<uint8_t>((x / 8 + y / 5) % 4 == 0 ? 128 : 255)};
}
Rgba Grey(int x, int y) {
  const uint8_t v = Smooth(x, y).r;
  return Rgba{v, v, v, static_cast<uint8_t>(255 - y * 3)};
}

// What a pixel should show: composited over the backdrop.
void Shown(const Rgba& p, int out[3]) {
  const int backdrop[3] = {pictureBackdrop & 0xFF, (pictureBackdrop >> 8) & 0xFF, (pictureBackdrop >> 16) & 0xFF};
  const int colour[3] = {p.r, p.g, p.b};
  for (int c = 0; c < 3; ++c) out[c] = (colour[c] * p.a + backdrop[c] * (255 - p.a) + 127) / 255;
}

// The largest difference between `decoded` (bottom-up, at 1/denominator) and the mean of the
// source pixels each of its pixels covers; -1 for a wrong size or an alpha other than 255.
int Difference(const RgbaPicture& decoded, const RgbaSource& source, int denominator) {
  if (decoded.width != ScaledSide(kWidth, denominator) || decoded.height != ScaledSide(kHeight, denominator)) return -1;
  int worst = 0;
  for (int oy = 0; oy < decoded.height; ++oy)
    for (int ox = 0; ox < decoded.width; ++ox) {
      int sum[3] = {0, 0, 0}, n = 0;
      for (int y = oy * denominator; y < std::min(kHeight, (oy + 1) * denominator); ++y)
        for (int x = ox * denominator; x < std::min(kWidth, (ox + 1) * denominator); ++x, ++n) {
          int shown[3];
          Shown(source(x, y), shown);
          for (int c = 0; c < 3; ++c) sum[c] += shown[c];
        }
      const uint8_t* got =
          decoded.rgba.data() + (static_cast<size_t>(decoded.height - 1 - oy) * decoded.width + ox) * 4;
      if (got[3] != 255) return -1;
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(got[c] - (sum[c] + n / 2) / n));
    }
  return worst;
}

struct Kind {
  const char* name;
  std::function<std::string()> bytes;
  RgbaSource source;
  int tolerance;
};

class PictureKinds : public ::testing::TestWithParam<Kind> {};

// Every layout loads, decodes whole and reduced, and is checked as the project's opening checks it;
// its kind comes from its bytes, not from its name (all are named .jpg).
TEST_P(PictureKinds, DecodeToTheirPixels) {
  const Kind& kind = GetParam();
  TempDir dir;
  const std::string path = dir.File(std::string(kind.name) + ".jpg");
  WriteFileBytes(path, kind.bytes());
  PictureInfo info;
  ASSERT_EQ(ReadPictureInfo(path, info), PictureFault::None);
  EXPECT_EQ(info.width, kWidth);
  EXPECT_EQ(info.height, kHeight);
  for (int denominator : {1, 2, 8}) {
    RgbaPicture decoded;
    ASSERT_EQ(DecodePictureRgba(path, denominator, decoded), DecodeResult::Ok) << denominator;
    const int difference = Difference(decoded, kind.source, denominator);
    EXPECT_GE(difference, 0) << denominator;
    EXPECT_LE(difference, kind.tolerance) << denominator;
  }
  const CheckedPicture checked = CheckPicture(path);
  EXPECT_TRUE(checked.ok);
  EXPECT_EQ(checked.fault, PictureFault::None);
  EXPECT_EQ(checked.thumbnail.size(), QSize(kWidth, kHeight));
}

PngOptions Png(PngLayout layout, int depth = 8, bool interlaced = false) {
  return PngOptions{layout, depth, interlaced};
}

INSTANTIATE_TEST_SUITE_P(
    PngAndWebp, PictureKinds,
    ::testing::Values(
        Kind{"rgb8", [] { return EncodePng(kWidth, kHeight, Smooth, Png(PngLayout::Rgb)); }, Smooth, 1},
        Kind{"rgb16", [] { return EncodePng(kWidth, kHeight, Smooth, Png(PngLayout::Rgb, 16)); }, Smooth, 1},
        Kind{"rgba16", [] { return EncodePng(kWidth, kHeight, Translucent, Png(PngLayout::Rgba, 16)); }, Translucent,
             1},
        Kind{"rgba-interlaced", [] { return EncodePng(kWidth, kHeight, Translucent, Png(PngLayout::Rgba, 8, true)); },
             Translucent, 1},
        Kind{"palette", [] { return EncodePng(kWidth, kHeight, Few, Png(PngLayout::Palette)); }, Few, 1},
        Kind{"grey-alpha", [] { return EncodePng(kWidth, kHeight, Grey, Png(PngLayout::GreyAlpha)); }, Grey, 1},
        Kind{"webp-lossless", [] { return EncodeWebp(kWidth, kHeight, Translucent, true); }, Translucent, 1},
        // The header's alpha flag cleared: only a hint, the pixels' alpha still counts.
        Kind{"webp-unflagged-alpha",
             [] {
               std::string bytes = EncodeWebp(kWidth, kHeight, Translucent, true);
               bytes[bytes.find("VP8L") + 12] &= ~0x10;
               return bytes;
             },
             Translucent, 1},
        // libwebp's scaler averages in its own fixed point, and lossy data is near, not equal.
        Kind{"webp-lossy", [] { return EncodeWebp(kWidth, kHeight, Smooth, false); }, Smooth, 24}),
    [](const ::testing::TestParamInfo<Kind>& param) {
      std::string name = param.param.name;
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

std::string WithByteFlipped(std::string bytes, size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  return bytes;
}

// Damaged files of both kinds, things that are not pictures and kinds not drawn are refused, each
// with what the messages say of it.
TEST(PictureDecode, RefusesWhatItCannotDraw) {
  TempDir dir;
  const std::string png = EncodePng(kWidth, kHeight, Smooth);
  const std::string webp = EncodeWebp(kWidth, kHeight, Smooth, false);
  const std::string lossless = EncodeWebp(kWidth, kHeight, Translucent, true);
  const size_t idat = png.find("IDAT");
  const struct {
    const char* name;
    std::string bytes;
    PictureFault fault;
    const char* said;
  } cases[] = {
      {"cut.png", png.substr(0, idat + 40), PictureFault::Damaged, "  (damaged)"},
      {"no-end.png", png.substr(0, png.size() - 12), PictureFault::Damaged, "  (damaged)"},
      {"idat-crc.png", WithByteFlipped(png, idat + 10), PictureFault::Damaged, "  (damaged)"},
      {"ihdr-crc.png", WithByteFlipped(png, 20), PictureFault::Damaged, "  (damaged)"},
      {"cut.webp", webp.substr(0, webp.size() / 2), PictureFault::Damaged, "  (damaged)"},
      {"cut-lossless.webp", lossless.substr(0, lossless.size() - 20), PictureFault::Damaged, "  (damaged)"},
      {"chunk.webp", WithByteFlipped(webp, 12), PictureFault::Damaged, "  (damaged)"},
      {"text.png", "just some words, long enough to look at", PictureFault::NotAPicture, "  (not a picture)"},
      {"anim.gif", "GIF89a\x01\x00\x01\x00\x00\x00\x00;", PictureFault::Unsupported, "  (unsupported kind)"},
      {"gone.png", "", PictureFault::Missing, ""},
  };
  for (const auto& c : cases) {
    if (c.fault != PictureFault::Missing) WriteFileBytes(dir.File(c.name), c.bytes);
    RgbaPicture p;
    for (int denominator : {1, 4})
      EXPECT_NE(DecodePictureRgba(dir.File(c.name), denominator, p), DecodeResult::Ok) << c.name;
    EXPECT_TRUE(p.empty()) << c.name;
    Image image;
    image.fileName = dir.File(c.name);
    image.ResolvePath("");
    EXPECT_FALSE(image.LoadJpeg()) << c.name;
    EXPECT_EQ(image.fault, c.fault) << c.name;
    EXPECT_EQ(image.FailedName(), image.fileName + c.said);
    EXPECT_EQ(image.bitmap.size(), QSize(32, 20)) << c.name;
  }
}

// A header that declares more than any decode could hold is refused before anything is taken
// from the decode memory; a cancelled decode gives back all it took.
TEST(PictureDecode, HugeClaimsAndCancelTakeNothing) {
  TempDir dir;
  const std::string png = EncodePng(kWidth, kHeight, Smooth);
  auto claiming = [&](uint32_t width, uint32_t height, uint8_t interlace) {
    std::string ihdr;
    for (uint32_t v : {width, height})
      for (int shift : {24, 16, 8, 0}) ihdr += static_cast<char>((v >> shift) & 0xFF);
    ihdr += std::string("\x08\x02\x00\x00", 4);
    ihdr += static_cast<char>(interlace);
    return png.substr(0, 8) + PngChunk("IHDR", ihdr) + png.substr(33);
  };
  WriteFileBytes(dir.File("giga.png"), claiming(40000, 40000, 0));
  WriteFileBytes(dir.File("interlaced.png"), claiming(16000, 16000, 1));
  WriteFileBytes(dir.File("wide.png"), claiming(1u << 30, 1, 0));  // libpng's rows alone: gigabytes
  std::string lossless = EncodeWebp(kWidth, kHeight, Smooth, true);
  // VP8L: after the signature byte 0x2F, 14 bits of width - 1 and 14 of height - 1.
  const size_t vp8l = lossless.find("VP8L") + 9;
  const uint32_t sides =
      (16383u) | (16383u << 14) | (static_cast<uint32_t>(static_cast<uint8_t>(lossless[vp8l + 3])) >> 4 << 28);
  for (int k = 0; k < 4; ++k) lossless[vp8l + k] = static_cast<char>((sides >> (8 * k)) & 0xFF);
  WriteFileBytes(dir.File("giga.webp"), lossless);

  DecodeMemory memory(64 << 20);
  DecodeLimits limits;
  limits.memory = &memory;
  for (const char* name : {"giga.png", "interlaced.png", "wide.png", "giga.webp"}) {
    RgbaPicture p;
    EXPECT_EQ(DecodePictureRgba(dir.File(name), 8, p, limits), DecodeResult::TooLarge) << name;
    EXPECT_EQ(memory.HighWater(), 0u) << name;
  }
  EXPECT_EQ(CheckPicture(dir.File("giga.png")).fault, PictureFault::TooLarge);

  WriteFileBytes(dir.File("fine.png"), png);
  WriteFileBytes(dir.File("fine.webp"), EncodeWebp(kWidth, kHeight, Smooth, true));
  std::atomic<bool> cancel{true};
  limits.cancel = &cancel;
  for (const char* name : {"fine.png", "fine.webp"}) {
    RgbaPicture p;
    EXPECT_EQ(DecodePictureRgba(dir.File(name), 1, p, limits), DecodeResult::Cancelled) << name;
    EXPECT_EQ(memory.InUse(), 0u) << name;
  }
}

}  // namespace
