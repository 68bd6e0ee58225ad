#!/usr/bin/env bash
# Cross-compiles the Windows backend of the document engine with MinGW-w64,
# to catch a change that breaks the Windows build. Quiet when it builds; the
# compiler's output when it does not.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-win
log=$(mktemp)
trap 'rm -f "$log"' EXIT

if ! { cmake -S "$root/tools/wincheck" -B "$build" \
         -DCMAKE_TOOLCHAIN_FILE="$root/tools/wincheck/mingw-w64-x86_64.cmake" &&
       cmake --build "$build" -j2; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "Windows backend: build failed" >&2
  exit 1
fi
echo "Windows backend: built"
