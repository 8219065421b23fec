#!/usr/bin/env bash
# Sets up, builds and runs every test: a normal build; a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (leak checking on); a build with ThreadSanitizer of the tests of the
# code that runs on worker threads (CTest label "threads"); then the fuzzers (fuzz/run.sh) for 30
# seconds each when clang is installed. Also checks the formatting. A stage that fails (a build
# included) does not stop the ones after it; a summary at the end names the stages that failed
# and every test that failed in any way (crashed, aborted, timed out, not run), and the exit
# status is 1 if any stage failed. No test is run twice: one that fails sometimes is named.
#   scripts/test.sh
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Two more jobs than processors: while one job waits (on the disk, on the X server, on a child
# program) another runs, and on a machine that others load too the run keeps its share of it.
jobs=$(($(nproc) + 2))

failed=()
passed=()
test_dirs=("$here/build" "$here/build-asan" "$here/build-tsan")
# The test runs' logs, from which the summary names the tests that failed (kept from this run only).
for d in "${test_dirs[@]}"; do rm -f "$d/Testing/tv-run.log"; done
# Runs one stage: its name, then the command. Records the outcome and goes on either way; the
# command's status is returned, so that the tests of a build that failed can be left out.
stage() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "=== $name ==="
  "$@" || status=$?
  if [ "$status" -eq 0 ]; then
    passed+=("$name ($((SECONDS - start)) s)")
  else
    failed+=("$name")
    echo "=== FAILED: $name ==="
  fi
  return "$status"
}

# Names, from a CTest log, every test that did not pass in any way (failed, crashed, aborted,
# timed out, not run) with each try's outcome, and every test that started but never ended.
failed_tests() {
  # A name may hold spaces and dots (a parameterised test's "# GetParam() = ..."): it is taken
  # whole from the test's "Start N: NAME" line, and the result line is read after it.
  awk '
    /^ *Start +[0-9]+: / {
      number = $2
      sub(/:$/, "", number)
      line = $0
      sub(/^ *Start +[0-9]+: /, "", line)
      names[number] = line
      next
    }
    /^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: / {
      line = $0
      sub(/^ *([0-9]+\/[0-9]+ )?Test +#/, "", line)
      number = line
      sub(/:.*/, "", number)
      sub(/^[0-9]+: /, "", line)
      name = number in names ? names[number] : "test " number
      if (index(line, name) == 1) line = substr(line, length(name) + 1)
      sub(/^ \.* */, "", line)
      sub(/ +[0-9.]+ sec$/, "", line)
      gsub(/\*\*\*/, " ", line)
      sub(/^ +/, "", line)
      sub(/:? *$/, "", line)
      ended[number] = 1
      if (line == "Passed" || line ~ /^(Skipped|Not Run \(Disabled\))/) {
        if (number in tries) tries[number] = tries[number] ", then passed on its retry"
        next
      }
      if (number in tries) {
        tries[number] = tries[number] ", then " line
      } else {
        order[++count] = number
        tries[number] = line
      }
    }
    END {
      for (i = 1; i <= count; ++i) print names[order[i]] ": " tries[order[i]]
      for (number in names) if (!(number in ended)) print names[number] ": started, never ended"
    }' "$1"
}

summary() {
  echo
  echo "=== summary ==="
  local s
  for s in "${passed[@]}"; do echo "passed: $s"; done
  for s in "${failed[@]}"; do echo "FAILED: $s"; done
  local d
  echo "tests that failed in any way (crashed, aborted, timed out, not run; a retry that passed is marked):"
  for d in "${test_dirs[@]}"; do
    [ -f "$d/Testing/tv-run.log" ] || continue
    failed_tests "$d/Testing/tv-run.log" | sed "s/^/  in $(basename "$d"): /"
  done
  if [ ${#failed[@]} -gt 0 ]; then exit 1; fi
  echo "=== every stage passed ==="
}

# Without the packages nothing else can run.
if ! TV_SETUP_ONLY_PACKAGES=1 "$here/scripts/setup.sh"; then
  failed+=("installing packages")
  summary
fi

# Configures a build directory and builds it: the directory, the targets to build ("" for all),
# then cmake's arguments.
build() {
  local dir=$1 targets=$2
  shift 2
  # Batches of the program's sources (TV_UNITY_BUILD): about a fifth less compiling from nothing.
  cmake -S "$here" -B "$dir" -G Ninja -DTV_WERROR=ON -DTV_UNITY_BUILD=ON "$@" || return 1
  if [ -n "$targets" ]; then
    # shellcheck disable=SC2086 # a list of targets
    cmake --build "$dir" -j "$jobs" -t $targets
  else
    cmake --build "$dir" -j "$jobs"
  fi
}

# Widget tests need a display: a virtual X server with Mesa's software renderer.
run_tests() {
  local dir=$1
  shift
  # -noreset: the server would otherwise reset whenever its last client leaves, between two test
  # programs, and refuse the next one while it does.
  mkdir -p "$dir/Testing"
  # The run's log is kept: the summary names every test that failed in it, retried ones included.
  (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$jobs" --timeout 600 "$@") \
    2>&1 | tee "$dir/Testing/tv-run.log"
  return "${PIPESTATUS[0]}"
}

stage "formatting" "$here/scripts/check-format.sh"

if stage "normal build" build "$here/build" "" -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  stage "normal build's tests" run_tests "$here/build"
else
  failed+=("normal build's tests (not run)")
fi

asan_tests() (
  # intercept_tls_get_addr=0 is compiled into the build's programs too (cmake/SanitizerOptions.cpp):
  # without it the leak checker's tracer could crash on glibc's dynamic TLS blocks.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:intercept_tls_get_addr=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
  run_tests "$here/build-asan"
)
if stage "AddressSanitizer + UBSan build" build "$here/build-asan" "" -DCMAKE_BUILD_TYPE=Debug -DTV_SANITIZE=ON \
  -DTV_BUILD_BENCH=OFF; then
  stage "AddressSanitizer + UBSan build's tests" asan_tests
else
  failed+=("AddressSanitizer + UBSan build's tests (not run)")
fi

# ThreadSanitizer slows a program down several times: only the tests of the code that runs on
# worker threads are built and run (no editor, command line, tools or benchmarks).
tsan_tests() (
  # tests/tsan.supp: reports from inside libraries built without ThreadSanitizer.
  export TSAN_OPTIONS="suppressions=$here/tests/tsan.supp:second_deadlock_stack=1"
  # The runtime expects the address space laid out as it was when it was made; kernels that put
  # more random bits in mmap addresses break that. Run without address randomisation if allowed.
  local norandom=()
  if setarch "$(uname -m)" -R true 2>/dev/null; then norandom=(setarch "$(uname -m)" -R); fi
  mkdir -p "$here/build-tsan/Testing"
  cd "$here/build-tsan" && "${norandom[@]}" ctest --output-on-failure -j "$jobs" --timeout 600 -L threads 2>&1 |
    tee "$here/build-tsan/Testing/tv-run.log"
  return "${PIPESTATUS[0]}"
)
if stage "ThreadSanitizer build" build "$here/build-tsan" threaded_tests -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTV_SANITIZE=thread -DTV_BUILD_BENCH=OFF; then
  stage "ThreadSanitizer build's tests" tsan_tests
else
  failed+=("ThreadSanitizer build's tests (not run)")
fi

# The fuzzers, briefly, from their seed corpora (README.md tells how to run them for longer).
if command -v clang++ >/dev/null; then
  stage "fuzzers" "$here/fuzz/run.sh" 30
else
  echo "=== no clang: fuzzers not run ==="
fi

summary
