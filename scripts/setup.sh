#!/usr/bin/env bash
# Installs what Tunnelvista needs to build and test on Debian 12, then configures and builds.
#   scripts/setup.sh [build-dir] [extra cmake arguments...]
# Idempotent: packages already present are not touched; an existing build directory is reused.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0
  libjpeg62-turbo-dev
  libpng-dev libwebp-dev # PNG and WebP pictures
  libjpeg-turbo-progs # djpeg, the reference decoder load_bench measures against
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth locales libx11-dev libxtst-dev
  default-jdk-headless
  nodejs # node --test runs the web player's reader and timeline tests
  chromium python3 # the exported page is tested in headless Chromium, from disk and over HTTP
  clang libclang-rt-14-dev # fuzz/run.sh: the fuzzers (libFuzzer and the sanitizers' runtimes)
  libtsan2 # scripts/test.sh: gcc's ThreadSanitizer runtime, for the build of the threaded code's tests
  desktop-file-utils shared-mime-info # the installation test checks the desktop file and the project type
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev # video export (H.264, VP9, muxing)
  libswresample-dev # the video's sound: any audio file converted for AAC or Opus
  ffmpeg # video_bench's comparison and nothing in the program
  libopencv-dev # src-gl/align: features, RANSAC and intensity refinement for automatic alignment
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || $sudo apt-get update
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale, so tests can prove that files always use a point.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: could not generate de_DE.UTF-8 (locale tests will be skipped)"
fi

[ "${TV_SETUP_ONLY_PACKAGES:-0}" = 1 ] && exit 0

build=${1:-"$here/build"}
shift || true
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j "$(nproc)"
