#pragma once
// Within the picture decoders (PictureDecode.cpp, PngDecode.cpp, WebpDecode.cpp): the reservation
// one decode draws from, and each kind's header reader and decoder on an open regular file.

#include <cstdint>
#include <cstdio>

#include "DecodeMemory.h"
#include "JpegDecode.h"
#include "PictureKinds.h"

// The caller's side of one decode: what it holds of the decode memory, and the picture made.
class DecodeBudget {
 public:
  explicit DecodeBudget(const DecodeLimits& limits);
  DecodeBudget(const DecodeBudget&) = delete;
  DecodeBudget& operator=(const DecodeBudget&) = delete;

  unsigned long long MaxPixels() const { return limits_.maxPixels; }
  const std::atomic<bool>* Cancel() const { return limits_.cancel; }
  bool Cancelled() const { return limits_.cancel && limits_.cancel->load(std::memory_order_relaxed); }
  // Reserves `workBytes` (the decoder's own, given back when it is done) with the output's
  // `outputBytes` and the caller's extra: Ok, TooLarge when it could never fit, Cancelled.
  DecodeResult Reserve(unsigned long long workBytes, unsigned long long outputBytes);
  // The output picture, width x height; null when there is no memory.
  unsigned char* Allocate(int width, int height);
  // Ends the decode with `result`: on Ok the picture goes to `out` and its share of the memory to
  // the caller's hold; otherwise everything is given back and `out` stays empty.
  DecodeResult Finish(DecodeResult result, RgbaPicture& out);

 private:
  DecodeLimits limits_;
  DecodeMemory* memory_;
  MemoryHold hold_;
  size_t keep_ = 0;  // of the reservation, what stays with the picture
  RgbaPicture picture_;
};

// The reduction by a box of denominator x denominator pixels, a row at a time: each row of the
// picture (RGBA, alpha 255, `width` pixels) is added into the sums of its output row (4 words a
// pixel out, zero at first); after the last of its rows (`rows` of them: fewer at the bottom edge),
// the output row is the sums' mean, and the sums are cleared. The last column's box may be narrower.
void AddBoxRow(const unsigned char* row, uint32_t width, int denominator, uint32_t* sums);
void EmitBoxRow(uint32_t* sums, uint32_t width, int denominator, uint32_t rows, unsigned char* out, uint32_t outWidth);

PictureFault ReadPngHeader(FILE* file, PictureInfo& info);
DecodeResult DecodePngFile(FILE* file, int denominator, DecodeBudget& budget);

PictureFault ReadWebpHeader(FILE* file, PictureInfo& info);
DecodeResult DecodeWebpFile(FILE* file, int denominator, DecodeBudget& budget);
