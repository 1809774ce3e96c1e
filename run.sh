#!/usr/bin/env bash
# Installs what is missing, builds a release of Velquin and starts it.
#   ./run.sh              the window
#   ./run.sh cli ARGS...  the command-line program (velquin-cli ARGS...)
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_GUI=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

if [[ "${1:-}" == "cli" ]]; then
  shift
  exec "$build/cli/velquin-cli" "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to open the window on; the command-line program is ./run.sh cli --help" >&2
  exit 1
fi
exec "$build/gui/velquin" "$@"
