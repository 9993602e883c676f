#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the editor.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh run
cmake --preset release
cmake --build --preset release
if [ -x build/release/editor/qt/VARNO414Editor ]; then
  exec build/release/editor/qt/VARNO414Editor "$@"
fi
echo "Built the core library; the editor window is not part of this build yet."
