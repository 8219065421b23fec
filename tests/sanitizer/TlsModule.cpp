// A library whose thread-local variables glibc allocates with malloc on each thread's first
// access (it is dlopen'd, so its TLS is dynamic). 40 + 8 bytes: AddressSanitizer then puts the
// blocks 16 bytes into a page, where its runtime mistook them for an old glibc's.
#include <cstdint>
#include <cstdlib>

namespace {
thread_local char block[40];
thread_local void* held;
}  // namespace

extern "C" {
// Touches the block and returns where it is; keeps a heap block reachable only through it.
__attribute__((visibility("default"))) std::uintptr_t tv_tls_touch() {
  block[0] = 1;
  held = std::malloc(1000);
  return reinterpret_cast<std::uintptr_t>(block);
}
__attribute__((visibility("default"))) void tv_tls_release() {
  std::free(held);
  held = nullptr;
}
}
