#!/usr/bin/env bash
# Cross-compiles the core library, with the winmm MIDI and waveOut audio
# backends and without libsndfile (a static cross-build has none), for Windows:
# it cannot run here, but it must keep compiling.
#   tools/check-windows-build.sh [build folder]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-"$source_dir/build/windows"}

cmake -S "$source_dir" -B "$build_dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/tools/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVARNO_WERROR=ON \
  -DVARNO_BUILD_EDITOR=OFF -DVARNO_BUILD_CLI=OFF -DVARNO_BUILD_TESTS=OFF -DVARNO_BUILD_BENCH=OFF -DVARNO_WITH_SNDFILE=OFF
cmake --build "$build_dir" --target varno_core -j 2
