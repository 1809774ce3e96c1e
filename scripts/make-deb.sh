#!/usr/bin/env bash
# Builds the Debian package of Velquin from a Release build with the window, in build/package, and
# prints the package's path (build/package/velquin_VERSION_ARCH.deb). Install it with
#   sudo apt install ./build/package/velquin_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh

build=build/package
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# The install step needs only what the package holds, not every test and benchmark.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_GUI=ON \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"${VELQUIN_JOBS:-$(nproc)}" --target velquin velquin-cli velquin_usage_files
rm -f "$build"/velquin_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || {
  cat "$build/cpack.log" >&2
  exit 1
}
ls "$build"/velquin_*.deb
