#include "KeptDecode.h"

#include <utility>

std::shared_ptr<KeptDecode> KeptDecode::Keep(RgbaPicture picture, int denominator, MemoryHold hold,
                                             DecodeMemory& memory) {
  auto kept = std::make_shared<KeptDecode>(std::move(picture), denominator, std::move(hold));
  memory.AddReclaimable(kept);
  return kept;
}

KeptDecode::KeptDecode(RgbaPicture picture, int denominator, MemoryHold hold)
    : denominator_(denominator), picture_(std::move(picture)), hold_(std::move(hold)) {}

bool KeptDecode::Take(int denominator, RgbaPicture& picture, MemoryHold& hold) {
  std::lock_guard<std::mutex> guard(lock_);
  if (picture_.empty() || denominator_ > denominator) return false;
  picture = std::exchange(picture_, RgbaPicture());
  hold = std::move(hold_);
  return true;
}

void KeptDecode::Reclaim() {
  RgbaPicture picture;
  MemoryHold hold;
  {
    std::lock_guard<std::mutex> guard(lock_);
    picture = std::exchange(picture_, RgbaPicture());
    hold = std::move(hold_);
  }
  // The pixels go before their memory is given back.
  picture = RgbaPicture();
}
