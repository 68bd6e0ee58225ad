#!/usr/bin/env bash
# Installs what is missing, builds Marigal and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# The Windows backend cannot run here; this proves it builds.
tools/wincheck.sh
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 600
