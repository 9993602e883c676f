#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over every source of ours.
set -euo pipefail
cd "$(dirname "$0")"
build=build/lint
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
  -DVARNO_BUILD_BENCH=OFF >/dev/null
# Generated sources (Qt's moc) must exist before they can be checked against.
cmake --build "$build" -j "$(nproc)" >/dev/null
files=$(git ls-files 'model/*.cpp' 'audio/*.cpp' 'midifile/*.cpp' 'midiport/*.cpp' 'editor/*.cpp' 'cli/*.cpp' \
  | grep -v '/winmm/')
echo "$files" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2> >(grep -v "warnings generated" >&2)
echo "clang-tidy: clean"
