// The AddressSanitizer build's leak check with many threads holding a dlopen'd library's dynamic
// TLS (cmake/SanitizerOptions.cpp): it must neither crash nor report what the TLS still holds.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sanitizer/lsan_interface.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

TEST(SanitizerSetup, LeakCheckSurvivesDynamicTlsOfManyThreads) {
  void* module = dlopen(TV_TLS_MODULE, RTLD_NOW);
  ASSERT_NE(module, nullptr) << dlerror();
  auto touch = reinterpret_cast<std::uintptr_t (*)()>(dlsym(module, "tv_tls_touch"));
  auto release = reinterpret_cast<void (*)()>(dlsym(module, "tv_tls_release"));
  ASSERT_TRUE(touch && release);

  // The threads stay alive, their TLS in place, until the leak check is done.
  constexpr int kThreads = 400;
  std::mutex mutex;
  std::condition_variable changed;
  int touched = 0, atOffset16 = 0;
  bool checked = false;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      const std::uintptr_t at = touch();
      std::unique_lock<std::mutex> lock(mutex);
      ++touched;
      if (at % 4096 == 16) ++atOffset16;
      changed.notify_all();
      changed.wait(lock, [&] { return checked; });
      lock.unlock();
      release();
    });
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return touched == kThreads; });
  }
  // Where the allocator put the blocks decides whether the hazard is met at all.
  std::printf("TLS blocks 16 bytes into a page: %d of %d\n", atOffset16, kThreads);
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
  {
    std::lock_guard<std::mutex> lock(mutex);
    checked = true;
  }
  changed.notify_all();
  for (auto& thread : threads) thread.join();
  dlclose(module);
}
