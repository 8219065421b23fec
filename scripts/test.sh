#!/usr/bin/env bash
# Sets up, builds and runs every test twice: a normal build, then a build with AddressSanitizer
# and UndefinedBehaviorSanitizer (leak checking on). Also checks the formatting, and at the end
# runs the fuzzers (fuzz/run.sh) for 30 seconds each when clang is installed.
#   scripts/test.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

"$here/scripts/setup.sh" "$here/build" -DTV_WERROR=ON
"$here/scripts/check-format.sh"

# Widget tests need a display: a virtual X server with Mesa's software renderer.
run_tests() {
  local dir=$1
  shift
  echo "=== tests in $dir ==="
  # -noreset: the server would otherwise reset whenever its last client leaves, between two test
  # programs, and refuse the next one while it does.
  (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$jobs" --timeout 600 "$@")
}

run_tests "$here/build"

"$here/scripts/setup.sh" "$here/build-asan" -DTV_WERROR=ON -DTV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
  -DTV_BUILD_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
# The leak checker stops every thread of a program at its end; with the X client's and the
# software renderer's threads it very rarely crashes while doing so ("Tracer caught signal 11"),
# whatever the program did. A test that fails is therefore run once more: a real fault fails
# both times.
run_tests "$here/build-asan" --repeat until-pass:2
echo "=== all tests passed in both builds ==="

# The fuzzers, briefly, from their seed corpora (README.md tells how to run them for longer).
if command -v clang++ >/dev/null; then
  "$here/fuzz/run.sh" 30
else
  echo "=== no clang: fuzzers not run ==="
fi
