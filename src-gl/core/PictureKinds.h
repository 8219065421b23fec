#pragma once
// The kinds of picture file the program tells apart, what may be wrong with one, and the colour
// transparency is composited over: shared by the readers (PictureDecode.h) and the decoders of
// each kind (PictureFormats.h).

#include <cstdint>

enum class PictureKind {
  None,         // no file, or one that cannot be read
  NotAPicture,  // no picture format the program knows starts this way
  Unsupported,  // a picture format the program does not decode (GIF, TIFF, HEIF, an animated WebP...)
  Jpeg,
  Png,
  Webp,
};

// What is wrong with a picture that did not load, for the messages.
enum class PictureFault {
  None,
  Missing,      // no regular file to read
  NotAPicture,  // "not a picture"
  Unsupported,  // "unsupported kind"
  Damaged,      // a known kind whose data is broken or cut short
  TooLarge,     // larger than the program decodes
};

// The colour transparent pixels are composited over: 24-bit RGB, red in the low byte (the view's
// background and the exported page's default colour).
constexpr uint32_t pictureBackdrop = 0x404040;

struct PictureInfo {
  PictureKind kind = PictureKind::None;
  int width = 0;  // full size, from the header
  int height = 0;
};
