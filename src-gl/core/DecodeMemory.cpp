#include "DecodeMemory.h"

#include <algorithm>
#include <chrono>
#include <utility>

bool DecodeMemory::Reserve(size_t bytes, const std::atomic<bool>* cancel) {
  if (bytes > capacity_) return false;
  std::unique_lock<std::mutex> hold(lock_);
  // The cancel flag has no way to wake us: look at it every few milliseconds.
  while (capacity_ - used_ < bytes) {
    if (cancel && cancel->load()) return false;
    if (!reclaimable_.empty()) {
      // Given back outside the lock: reclaiming releases memory here.
      std::vector<std::weak_ptr<Reclaimable>> held = std::exchange(reclaimable_, {});
      hold.unlock();
      for (const std::weak_ptr<Reclaimable>& weak : held)
        if (const std::shared_ptr<Reclaimable> strong = weak.lock()) strong->Reclaim();
      hold.lock();
      continue;
    }
    released_.wait_for(hold, std::chrono::milliseconds(20));
  }
  used_ += bytes;
  highWater_ = std::max(highWater_, used_);
  return true;
}

void DecodeMemory::AddReclaimable(std::weak_ptr<Reclaimable> held) {
  std::lock_guard<std::mutex> hold(lock_);
  // Those already gone are forgotten as new ones come.
  reclaimable_.erase(std::remove_if(reclaimable_.begin(), reclaimable_.end(),
                                    [](const std::weak_ptr<Reclaimable>& weak) { return weak.expired(); }),
                     reclaimable_.end());
  reclaimable_.push_back(std::move(held));
}

void DecodeMemory::Release(size_t bytes) {
  if (bytes == 0) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    used_ -= std::min(used_, bytes);
  }
  released_.notify_all();
}

size_t DecodeMemory::InUse() const {
  std::lock_guard<std::mutex> hold(lock_);
  return used_;
}

size_t DecodeMemory::HighWater() const {
  std::lock_guard<std::mutex> hold(lock_);
  return highWater_;
}

void DecodeMemory::ResetHighWater() {
  std::lock_guard<std::mutex> hold(lock_);
  highWater_ = used_;
}

DecodeMemory& SharedDecodeMemory() {
  static DecodeMemory* const shared = new DecodeMemory(decodeMemoryBytes);
  return *shared;
}

MemoryHold& MemoryHold::operator=(MemoryHold&& other) noexcept {
  if (this != &other) {
    Reset();
    memory_ = other.memory_;
    bytes_ = other.bytes_;
    other.memory_ = nullptr;
  }
  return *this;
}

void MemoryHold::ShrinkTo(size_t bytes) {
  if (!memory_ || bytes >= bytes_) return;
  memory_->Release(bytes_ - bytes);
  bytes_ = bytes;
  if (bytes_ == 0) memory_ = nullptr;
}
