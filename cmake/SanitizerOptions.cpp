// Linked into every executable of an AddressSanitizer build (cmake/Sanitizers.cmake), so the
// program, its tests and its tools run alike however they are started.

// The runtimes of GCC up to 13 and LLVM up to 16 take a dynamic TLS block (one malloc'd by glibc
// for a dlopen'd library's thread-local variables) that starts 16 bytes into a page for a block
// of a glibc older than 2.25, and read the two words before it as the block's place and size.
// With AddressSanitizer's allocator those words are the chunk's header, so the leak checker's
// tracer scans a made-up range and dies ("Tracer caught signal 11") after the program has done
// its work. Without the interception those blocks are still found as ordinary heap blocks
// reachable from their thread, so no leak goes unseen and none is made up. ASAN_OPTIONS still
// overrides this.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "intercept_tls_get_addr=0";
}
