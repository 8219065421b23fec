// A picture file as the editor takes it: the check made when a project opens (header, thumbnail
// decode), then a decode at a DCT scale and the texture levels built from it. Everything is
// kept small (output pixels, texture side) so that a run gets through many inputs; no GL.
//
// The decoder reads files, so each input is written to one temporary file per process.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "JpegDecode.h"
#include "PictureCheck.h"
#include "TextureImage.h"

namespace {

const unsigned long long maxDecodedPixels = 1ull << 18;  // 512 x 512
// The opening check decodes at the thumbnail's scale with no limit of ours, and a progressive
// file makes libjpeg clear coefficient buffers for the full size (up to its 1 GiB cap) from a
// header of a few bytes: correct, but a second per input. Headers beyond this are decoded
// only by the bounded decode below.
const long long maxCheckedPixels = 1ll << 22;
const int textureLimit = 256;

std::string TemporaryPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_jpeg_XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) {
    std::perror("fuzz_jpeg: mkstemp");
    std::abort();
  }
  close(fd);
  return pattern;
}

struct TemporaryFile {
  std::string path = TemporaryPath();
  ~TemporaryFile() { unlink(path.c_str()); }
};

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
    std::perror("fuzz_jpeg: writing the input");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TemporaryFile file;
  WriteAll(file.path, data, size);

  JpegInfo info;
  const bool header = ReadJpegInfo(file.path, info);
  if (!header || static_cast<long long>(info.width) * info.height <= maxCheckedPixels) {
    const CheckedPicture checked = CheckPicture(file.path);
    if (checked.ok &&
        (!header || checked.width != info.width || checked.height != info.height || checked.thumbnail.isNull()))
      __builtin_trap();
  }
  if (!header) return 0;

  // The scale a texture of textureLimit would be decoded at; whatever the header, at most
  // maxDecodedPixels are allocated.
  const int denominator = ScaleDenominatorFor(info.width, info.height, textureLimit);
  RgbaPicture picture;
  const DecodeResult result = DecodeJpegRgba(file.path, denominator, picture, maxDecodedPixels);
  if (result != DecodeResult::Ok) {
    if (!picture.empty()) __builtin_trap();
    return 0;
  }
  if (picture.width != ScaledSide(info.width, denominator) || picture.height != ScaledSide(info.height, denominator) ||
      picture.bytes() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4)
    __builtin_trap();

  ReduceToFit(picture, textureLimit);
  if (picture.width > textureLimit || picture.height > textureLimit) __builtin_trap();
  ApplyEdgeFade(picture);
  const std::vector<RgbaPicture> levels = BuildMipChain(picture);
  if (!levels.empty() && (levels.back().width != 1 || levels.back().height != 1)) __builtin_trap();
  return 0;
}
