#pragma once
// The memory every picture decode draws from. Textures are kept within the texture budget; what
// decoding needs on the way (libjpeg's buffers, the decoded pixels, the levels built from them
// until they are uploaded, a thumbnail, a copy for alignment or export) comes from one reservation
// of fixed size that the picture checks, the texture workers, the alignment and the web export
// share. A decode that does not fit waits until others give back what they hold; one that could
// never fit is refused before anything is allocated. So, whatever the files claim, the program
// holds at most its texture budget plus this margin for pictures, however many threads decode.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

// Memory held for later that may be given back whenever a decode needs it more (a picture decoded
// ahead for a texture that may never be asked for).
class Reclaimable {
 public:
  virtual ~Reclaimable() = default;
  // Gives back what it holds (any thread; the decode memory's lock is not held).
  virtual void Reclaim() = 0;
};

// The reservation the whole program decodes in.
constexpr size_t decodeMemoryBytes = size_t(256) << 20;

class DecodeMemory {
 public:
  explicit DecodeMemory(size_t capacity) : capacity_(capacity) {}
  DecodeMemory(const DecodeMemory&) = delete;
  DecodeMemory& operator=(const DecodeMemory&) = delete;

  // Takes `bytes`, waiting while others hold too much (after reclaiming what is held for later).
  // False, taking nothing, when `bytes` is more than the whole capacity or `cancel` is raised
  // while waiting.
  bool Reserve(size_t bytes, const std::atomic<bool>* cancel = nullptr);
  // Memory held for later in this reservation, reclaimed before any reservation waits: nothing
  // held so can keep a decode waiting for ever.
  void AddReclaimable(std::weak_ptr<Reclaimable> held);
  void Release(size_t bytes);

  size_t Capacity() const { return capacity_; }
  size_t InUse() const;
  // The most ever held at once (tests and benchmarks measure the rule with it).
  size_t HighWater() const;
  void ResetHighWater();
  // Pictures decoded from files with this reservation so far (each decode that got its memory):
  // tests and benchmarks count with it how often a file was decoded.
  void CountDecode() { decodes_.fetch_add(1, std::memory_order_relaxed); }
  unsigned long long Decodes() const { return decodes_.load(std::memory_order_relaxed); }

 private:
  const size_t capacity_;
  mutable std::mutex lock_;
  std::condition_variable released_;
  size_t used_ = 0;
  size_t highWater_ = 0;
  std::vector<std::weak_ptr<Reclaimable>> reclaimable_;
  std::atomic<unsigned long long> decodes_{0};
};

// The one reservation of this process: every decode draws from it unless told otherwise. It is
// never destroyed, so a worker finishing after the program began to exit still finds it.
DecodeMemory& SharedDecodeMemory();

// Bytes held in a DecodeMemory, given back when the hold goes or is reset. Moves, never copies.
class MemoryHold {
 public:
  MemoryHold() = default;
  MemoryHold(DecodeMemory* memory, size_t bytes) : memory_(memory), bytes_(bytes) {}
  ~MemoryHold() { Reset(); }
  MemoryHold(MemoryHold&& other) noexcept : memory_(other.memory_), bytes_(other.bytes_) { other.memory_ = nullptr; }
  MemoryHold& operator=(MemoryHold&& other) noexcept;
  MemoryHold(const MemoryHold&) = delete;
  MemoryHold& operator=(const MemoryHold&) = delete;

  // Gives back all but `bytes` (no more than is held).
  void ShrinkTo(size_t bytes);
  void Reset() { ShrinkTo(0); }
  size_t Bytes() const { return memory_ ? bytes_ : 0; }

 private:
  DecodeMemory* memory_ = nullptr;
  size_t bytes_ = 0;
};
