#!/usr/bin/env bash
# Builds the fuzzers (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs each for a
# while on a copy of its seed corpus. Fails when a target finds a crash, a leak, a timeout or
# runs out of memory; the input that did it is left in the run's folder (printed at the end).
#   fuzz/run.sh [seconds per target, default 30] [target...]
# Environment: TV_FUZZ_BUILD (build directory, default build-fuzz), TV_FUZZ_JOBS (parallel
# fuzzing processes per target, default 1).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_project fuzz_jpeg fuzz_picture)
build=${TV_FUZZ_BUILD:-"$here/build-fuzz"}
jobs=${TV_FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTV_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run=$(mktemp -d "${TMPDIR:-/tmp}/tunnelvista-fuzz.XXXXXX")
failed=()
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  corpus="$run/$name-corpus"
  mkdir -p "$corpus" "$run/$name-found"
  cp "$here/fuzz/corpus/$name"/* "$corpus"/
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$run/$name-found/")
  [ -f "$here/fuzz/$name.dict" ] && options+=(-dict="$here/fuzz/$name.dict")
  # Short inputs keep each run quick. Projects may grow well past their short seeds; pictures
  # a little past the largest seed (about 1.5 KB: a few tens of pixels with all of their tables).
  [ "$name" = project ] && options+=(-max_len=4096)
  [ "$name" = jpeg ] && options+=(-max_len=2048)
  [ "$name" = picture ] && options+=(-max_len=4096)
  if [ "$jobs" -gt 1 ]; then options+=(-jobs="$jobs" -workers="$jobs"); fi
  echo "=== $target for ${seconds}s ==="
  if ! (cd "$run" && "$build/fuzz/$target" "${options[@]}" "$corpus"); then
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: ${failed[*]} found faults; the inputs are in $run/*-found/" >&2
  ls -l "$run"/*-found/ >&2
  exit 1
fi
rm -rf "$run"
echo "=== fuzzers found nothing in ${seconds}s each ==="
