// A picture file as the editor takes it: the check made when a project opens (header, thumbnail
// decode), then a decode at a DCT scale and the texture levels built from it; no GL. The seeds
// are a few tens of pixels, and the thumbnail and the texture limit are as small, so that the
// thumbnail's reduction, the scaled decode, the reduction to the limit and the mipmap chain all
// run on them: every step does its whole job on a handful of pixels, and a run gets through
// many inputs.

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
#include "JpegDecode.h"
#include "PictureCheck.h"
#include "TextureImage.h"

namespace {

const int thumbnailLimit = 16;
const int textureLimit = 16;
// Headers may claim up to 65535 x 65535 pixels. Every decode runs under the program's own memory
// rule (the shared decode memory, the size and scan limits), which is what is being tested; but a
// header of hundreds of megapixels that the rule admits still costs its decode tens of
// milliseconds here (libjpeg clears whole-picture coefficient buffers for progressive files, a
// short file is zero-filled by the arithmetic decoder to its declared end when the zeros decode
// flat). So the opening check sees headers up to 4 megapixels, and the bounded decode refuses
// outputs beyond 64 x 64 (a full size of at most 512 x 512 at 1/8). Both lie well above the
// seeds' sizes, so mutated headers fall on either side of them.
const long long maxCheckedPixels = 1ll << 22;
const unsigned long long maxDecodedPixels = 1ull << 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static InputFile file("fuzz_jpeg");
  file.Store(data, size);

  JpegInfo info;
  const bool header = ReadJpegInfo(file.path, info);
  if (!header || static_cast<long long>(info.width) * info.height <= maxCheckedPixels) {
    const CheckedPicture checked = CheckPicture(file.path, thumbnailLimit);
    if (checked.ok &&
        (!header || checked.width != info.width || checked.height != info.height || checked.thumbnail.isNull() ||
         checked.thumbnail.width() > thumbnailLimit || checked.thumbnail.height() > thumbnailLimit))
      __builtin_trap();
  }
  // Whatever the file, the decode memory is all given back and was never overdrawn.
  if (SharedDecodeMemory().InUse() != 0 || SharedDecodeMemory().HighWater() > SharedDecodeMemory().Capacity())
    __builtin_trap();
  if (!header) return 0;

  // The scale a texture of textureLimit would be decoded at; whatever the header, at most
  // maxDecodedPixels are allocated.
  const int denominator = ScaleDenominatorFor(info.width, info.height, textureLimit);
  RgbaPicture picture;
  const DecodeResult result = DecodeJpegRgba(file.path, denominator, picture, maxDecodedPixels);
  if (result != DecodeResult::Ok) {
    if (!picture.empty() || SharedDecodeMemory().InUse() != 0) __builtin_trap();
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
