#!/bin/sh
# Usage: fuzz/run.sh TARGET [SECONDS] [extra libFuzzer options...]
#   TARGET is jpeg, gif, bmp, png, webp, tiff, heif or tablestore. Builds the fuzzers with clang into build/fuzz, then fuzzes TARGET for
#   SECONDS (default 60) starting from fuzz/corpus/TARGET and fuzz/regressions/TARGET. New corpus
#   entries go to fuzz/work/TARGET (git-ignored); crashing inputs are written to fuzz/work/TARGET-crashes/
#   and belong in fuzz/regressions/TARGET/ once fixed.
set -eu
target=${1:?usage: fuzz/run.sh jpeg|gif|bmp|png|webp|tiff|heif|tablestore [seconds] [libFuzzer options...]}
seconds=${2:-60}
[ $# -ge 2 ] && shift 2 || shift 1
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
mkdir -p "$build"
# Several fuzzers may be started at once: one build at a time.
(
  flock 9
  if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELQUIN_FUZZ=ON -DVELQUIN_SANITIZE=ON -DVELQUIN_GUI=OFF >/dev/null
  fi
  cmake --build "$build" --target "${target}_fuzzer" -j2
) 9>"$build/.build-lock"
work="$root/fuzz/work/$target"
mkdir -p "$work" "$work-crashes" "$root/fuzz/regressions/$target"
exec "$build/fuzz/${target}_fuzzer" "$work" "$root/fuzz/corpus/$target" "$root/fuzz/regressions/$target" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work-crashes/" \
  -print_final_stats=1 "$@"
