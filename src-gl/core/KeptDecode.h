#pragma once
// A picture decoded, while its file was checked, at the size a texture was about to be asked for
// (the command line draws the pictures it opens at once): kept with its share of the decode
// memory for the first texture that needs it, so that the file is decoded once. Taken once. A
// reservation that would have to wait reclaims it first, so keeping it never holds up a decode.

#include <memory>
#include <mutex>

#include "DecodeMemory.h"
#include "JpegDecode.h"

class KeptDecode : public Reclaimable {
 public:
  // `picture` was decoded at 1/denominator; `hold` is its share of `memory` (at least its bytes).
  // Registers itself with `memory` as reclaimable.
  static std::shared_ptr<KeptDecode> Keep(RgbaPicture picture, int denominator, MemoryHold hold, DecodeMemory& memory);
  KeptDecode(RgbaPicture picture, int denominator, MemoryHold hold);

  int Denominator() const { return denominator_; }
  // The pixels and their memory, when they were decoded at 1/denominator or larger and are still
  // here; false otherwise (taken, reclaimed, or smaller than asked).
  bool Take(int denominator, RgbaPicture& picture, MemoryHold& hold);
  void Reclaim() override;

 private:
  const int denominator_;
  std::mutex lock_;
  RgbaPicture picture_;
  MemoryHold hold_;
};
