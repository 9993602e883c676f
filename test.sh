#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test through ctest; then runs the
# threaded tests under ThreadSanitizer, each fuzz target for a bounded time,
# and clang-tidy. Beside these it cross-builds the Windows programs and their
# installer and tests both under wine, builds and checks the Debian package, and tests
# the source archive on its own.
#   ./test.sh            everything (what CI runs)
#   ./test.sh --quick    only the sanitizer build and its tests
#   ./test.sh --tsan     only the ThreadSanitizer stage
set -euo pipefail
cd "$(dirname "$0")"

stage=all
case "${1:-}" in
  "") ;;
  --quick) stage=quick ;;
  --tsan) stage=tsan ;;
  *) echo "usage: $0 [--quick | --tsan]" >&2; exit 2 ;;
esac

tools/install-deps.sh test

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

# Each heading says when it began, so a slow stage shows in the log.
started=$(date +%s)
section() { printf '\n=== %s === (%d s)\n' "$1" $(( $(date +%s) - started )); }

source tools/background.sh
if [ "$stage" = all ]; then
  section "Started beside the sanitizer build: Windows build and tests under wine, Debian package"
  background_start windows tools/windows.sh
  background_start package tools/package.sh --check
fi

if [ "$stage" != tsan ]; then
  section "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
  cmake --preset asan
  cmake --build --preset asan -j "$jobs"
  # The virtual machine's timing wants the processors to itself.
  [ "$stage" = all ] && background_wait windows package
  ctest --preset asan -j "$jobs"
fi
[ "$stage" = quick ] && exit 0

section "ThreadSanitizer: threaded tests"
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"
[ "$stage" = tsan ] && exit 0

section "Fuzzing every reader for a bounded time"
fuzz/run.sh --seconds "${VARNO_FUZZ_SECONDS:-30}"

section "clang-tidy"
./lint.sh

# Alone: its tests include timed ones that a loaded machine makes fail.
section "The source archive's own ./test.sh --quick"
tools/source-archive.sh

section "all checks passed"
