#pragma once
// Pictures of every kind the program draws (JPEG, PNG, WebP), told apart by their first bytes and
// never by their names, decoded under the rules of JpegDecode.h: regular files only, the declared
// size refused beyond maxJpegPixels before anything is allocated, the whole decode reserved in the
// decode memory, the cancel flag polled. PNG and WebP have no DCT scales: "1/denominator" is the
// same output size as a JPEG's (ScaledSide), reached while decoding (a box over denominator x
// denominator pixels for PNG, libwebp's own area scaler for lossy WebP without alpha), so a large
// picture never needs its full size in memory unless the file's layout (interlaced PNG, lossless or
// alpha WebP) does.
//
// Transparency is composited over `pictureBackdrop`, the colour around the zoom in the view and on
// the exported page by default: the renderer takes every picture's core as opaque (what lies
// behind a core is never drawn) and uses alpha for the faded border, so a picture's own alpha
// cannot be kept as a mask without drawing every picture behind it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "JpegDecode.h"
#include "PictureKinds.h"

// The kind the first bytes of a file announce (16 are enough).
PictureKind SniffPicture(const unsigned char* bytes, size_t size);
// The kind of the regular file at `path`; None when there is none.
PictureKind SniffPictureFile(const std::string& path);
// "JPEG", "PNG", "WebP"; empty for the others.
const char* PictureKindName(PictureKind kind);

// Reads the header only: the kind and the size. None (missing), NotAPicture or Unsupported, or
// Damaged for a known kind whose header cannot be read (or an animated WebP, Unsupported), TooLarge
// for a declared size beyond maxJpegPixels; PictureFault::None with the size.
PictureFault ReadPictureInfo(const std::string& path, PictureInfo& info);

// Decodes a JPEG, PNG or WebP file at 1/denominator into `out` (bottom row first, alpha 255
// everywhere), as DecodeJpegRgba does for JPEG. Failed for anything else or damaged data.
DecodeResult DecodePictureRgba(const std::string& path, int denominator, RgbaPicture& out, const DecodeLimits& limits);
DecodeResult DecodePictureRgba(const std::string& path, int denominator, RgbaPicture& out,
                               unsigned long long maxPixels = 1ull << 28);

// Composites a row of RGBA pixels over pictureBackdrop in place, leaving alpha 255.
void CompositeOverBackdrop(unsigned char* rgba, size_t pixels);
