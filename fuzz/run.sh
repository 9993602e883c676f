#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan, and runs each for a
# bounded time or number of executions. Fails on any finding; crashing inputs
# land in build/fuzz/artifacts/.
#   fuzz/run.sh --seconds 30          (what ./test.sh runs)
#   fuzz/run.sh --minutes 30          (before a release)
#   fuzz/run.sh --runs 10000000       (each target until that many executions)
#   fuzz/run.sh --minutes 30 --only fuzz_bank_open
set -euo pipefail
cd "$(dirname "$0")/.."

# libFuzzer reads -max_total_time=0 and -runs=-1 as "no limit".
seconds=30
runs=-1
jobs=$(nproc)
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --minutes) seconds=$(( $2 * 60 )); shift 2 ;;
    --runs) runs=$2; seconds=0; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N | --minutes N | --runs N] [--jobs N] [--only TARGET]" >&2; exit 2 ;;
  esac
done

build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

fuzz/make_seeds.sh "$build/seeds"

mkdir -p "$build/artifacts"
# A small quarantine keeps ASan's own freed-memory pool inside the RSS limit,
# so the limit measures what our code holds.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=16:detect_leaks=1
# libsndfile's own leak on damaged Ogg Vorbis files; ours still fail (see the file).
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
targets=$(cd "$build/fuzz" && ls fuzz_* | grep -v '\.' || true)
[ -n "$only" ] && targets=$only
run_one() {
  local target=$1 seconds=$2 runs=$3 build=$4
  local corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  local seeds=()
  [ -d "$build/seeds/$target" ] && seeds+=("$build/seeds/$target")
  [ -d "fuzz/corpus/$target" ] && seeds+=("fuzz/corpus/$target")
  # The readers' committed corpus, valid files and refusals alike.
  seeds+=(tests/corpus/valid tests/corpus/invalid)
  local start=$SECONDS
  if "$build/fuzz/$target" -max_total_time="$seconds" -runs="$runs" -rss_limit_mb=256 -malloc_limit_mb=256 -timeout=10 \
      -dict=fuzz/varno.dict -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
      "$corpus" "${seeds[@]}" >"$build/$target.log" 2>&1; then
    echo "$target: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" | grep -o '[0-9]*$') runs" \
      "in $(( SECONDS - start ))s, corpus $(find "$corpus" -type f | wc -l) files"
  else
    echo "$target: FAILED (see $build/$target.log)"; tail -n 30 "$build/$target.log"; return 1
  fi
}
export -f run_one
echo "$targets" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$runs" "$build"
