#pragma once
// Hands items from one thread to the next, holding at most `capacity` of them, so that a fast
// stage waits for a slow one instead of filling the memory.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

  // Waits while the queue is full. False, dropping the item, once the queue is closed or aborted.
  bool Push(T item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notFull_.wait(lock, [this] { return items_.size() < capacity_ || closed_ || aborted_; });
    if (closed_ || aborted_) return false;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
  }
  // Waits for an item. False when the queue was aborted, or closed and every item taken.
  bool Pop(T& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    notEmpty_.wait(lock, [this] { return !items_.empty() || closed_ || aborted_; });
    if (aborted_ || items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return true;
  }
  // An item if one waits, without waiting.
  bool TryPop(T& item) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (aborted_ || items_.empty()) return false;
    item = std::move(items_.front());
    items_.pop_front();
    notFull_.notify_one();
    return true;
  }
  // Room for the item now, without waiting; false (dropping it) otherwise.
  bool TryPush(T item) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || aborted_ || items_.size() >= capacity_) return false;
    items_.push_back(std::move(item));
    notEmpty_.notify_one();
    return true;
  }
  // No more items will come; those queued are still taken.
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    notEmpty_.notify_all();
    notFull_.notify_all();
  }
  // Everything stops: waiting threads return false at once and queued items are dropped.
  void Abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    items_.clear();
    notEmpty_.notify_all();
    notFull_.notify_all();
  }

 private:
  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable notEmpty_, notFull_;
  std::deque<T> items_;
  bool closed_ = false;
  bool aborted_ = false;
};
