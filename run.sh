#!/usr/bin/env bash
# Installs what is missing, builds a release of Velquin and starts it.
#   ./run.sh              the window
#   ./run.sh cli ARGS...  the command-line program (velquin-cli ARGS...)
set -euo pipefail
cd "$(dirname "$0")"

window=true
if [[ "${1:-}" == "cli" ]]; then
  window=false
  shift
elif [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to open the window on; the command-line program is ./run.sh cli --help" >&2
  exit 1
fi

scripts/ensure-deps.sh

build=build/release
log="$build/build.log"
mkdir -p "$build"
# Quiet when all goes well; the whole output when the build fails, so its errors show.
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_GUI=ON &&
  cmake --build "$build" -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build failed; its output is above and in $log" >&2
  exit 1
fi

if $window; then
  exec "$build/gui/velquin" "$@"
fi
exec "$build/cli/velquin-cli" "$@"
