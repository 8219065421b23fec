// A PNG or WebP file (or anything else) as the editor takes it: the check made when a project
// opens (kind, header, thumbnail decode), then a reduced decode and the texture levels built from
// it; no GL. Every decode runs under the program's own memory rule, on the shared decode memory,
// which must be all given back and never overdrawn, whatever the file.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DecodeMemory.h"
#include "FuzzInput.h"
#include "PictureCheck.h"
#include "PictureDecode.h"
#include "TextureImage.h"

namespace {

const int thumbnailLimit = 16;
const int textureLimit = 16;
// Headers may claim up to 2^31 pixels a side (PNG) or 16384 (WebP). The opening check sees
// headers up to 4 megapixels, the bounded decode refuses outputs beyond 64 x 64: both well above
// the seeds' sizes, so mutated headers fall on either side of them, and every input stays quick
// (a PNG's rows are all decoded, at any reduction).
const long long maxCheckedPixels = 1ll << 22;
const unsigned long long maxDecodedPixels = 1ull << 12;

bool MemoryGivenBack() {
  return SharedDecodeMemory().InUse() == 0 && SharedDecodeMemory().HighWater() <= SharedDecodeMemory().Capacity();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static InputFile file("fuzz_picture");
  file.Store(data, size);

  PictureInfo info;
  const PictureFault fault = ReadPictureInfo(file.path, info);
  const bool header = fault == PictureFault::None;
  if (!header || static_cast<long long>(info.width) * info.height <= maxCheckedPixels) {
    const CheckedPicture checked = CheckPicture(file.path, thumbnailLimit);
    if (checked.ok &&
        (!header || checked.width != info.width || checked.height != info.height || checked.thumbnail.isNull() ||
         checked.thumbnail.width() > thumbnailLimit || checked.thumbnail.height() > thumbnailLimit))
      __builtin_trap();
    if (!checked.ok && checked.fault == PictureFault::None) __builtin_trap();
  }
  if (!MemoryGivenBack()) __builtin_trap();
  if (!header) return 0;

  const int denominator = ScaleDenominatorFor(info.width, info.height, textureLimit);
  RgbaPicture picture;
  const DecodeResult result = DecodePictureRgba(file.path, denominator, picture, maxDecodedPixels);
  if (!MemoryGivenBack()) __builtin_trap();
  if (result != DecodeResult::Ok) {
    if (!picture.empty()) __builtin_trap();
    return 0;
  }
  if (picture.width != ScaledSide(info.width, denominator) || picture.height != ScaledSide(info.height, denominator) ||
      picture.bytes() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4)
    __builtin_trap();
  for (size_t i = 3; i < picture.bytes(); i += 4)
    if (picture.rgba[i] != 255) __builtin_trap();  // transparency is composited away

  ReduceToFit(picture, textureLimit);
  if (picture.width > textureLimit || picture.height > textureLimit) __builtin_trap();
  ApplyEdgeFade(picture);
  const std::vector<RgbaPicture> levels = BuildMipChain(picture);
  if (!levels.empty() && (levels.back().width != 1 || levels.back().height != 1)) __builtin_trap();
  return 0;
}
