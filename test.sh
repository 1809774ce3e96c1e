#!/usr/bin/env bash
# Installs what is missing, builds Velquin with AddressSanitizer and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELQUIN_SANITIZE=ON -DVELQUIN_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
