#!/usr/bin/env bash
# Makes the source archive with CPack (build/source/varno414editor-VERSION.tar.gz)
# and checks it: no build output and no version control in it, and its own
# ./test.sh --quick passes in a scratch folder where git cannot be called.
#   tools/source-archive.sh [--no-test]
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/source
cmake -S . -B "$build" -G Ninja -DVARNO_BUILD_EDITOR=OFF -DVARNO_BUILD_CLI=OFF -DVARNO_BUILD_TESTS=OFF >/dev/null
rm -f "$build"/varno414editor-*.tar.gz
(cd "$build" && cpack --config CPackSourceConfig.cmake >/dev/null)
archive=$(ls "$PWD/$build"/varno414editor-*.tar.gz)
echo "source: $archive ($(du -k "$archive" | cut -f1) KiB)"
if tar -tzf "$archive" | grep -E '/(build|\.git)(/|$)'; then
  echo "source: the archive holds build output or version control" >&2
  exit 1
fi
[ "${1:-}" = --no-test ] && exit 0

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tar -xzf "$archive" -C "$scratch"
# Any call to git fails loudly, as on a system without it.
mkdir "$scratch/no-git"
printf '#!/bin/sh\necho "git called from the source archive: $*" >&2\nexit 127\n' >"$scratch/no-git/git"
chmod +x "$scratch/no-git/git"
cd "$scratch"/varno414editor-*/
# The virtual-machine tests have run on this tree; in the copy they would only repeat it.
PATH="$scratch/no-git:$PATH" VARNO_SKIP_VM_TESTS=1 ./test.sh --quick
echo "source: the archive's ./test.sh --quick passed"
