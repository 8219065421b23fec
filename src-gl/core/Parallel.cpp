#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

void ForEachParallel(size_t count, const std::function<void(size_t)>& job) {
  size_t threads = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) job(i);
    return;
  }
  // An exception (an allocation that fails on a huge picture) must not end the program from a
  // worker thread: the first one is handed to the caller once every thread has stopped.
  std::atomic<size_t> next{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  auto worker = [&] {
    for (size_t i = next++; i < count; i = next++) {
      try {
        job(i);
      } catch (...) {
        std::lock_guard<std::mutex> hold(failureLock);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (size_t k = 1; k < threads; ++k) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}
