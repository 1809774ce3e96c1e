#!/bin/sh
# Speed and memory of `velquin-cli signature` against djpeg on the same JPEG files, in the same run.
#   djpeg:        one `djpeg -outfile /dev/null FILE` process per file, one after another
#   cli:          one `velquin-cli signature FILE...` over all files
#   cli-norm:     the same with --normalize
#   cli-spawn:    one `velquin-cli signature FILE` process per file, like djpeg
# Each round runs the four in turn; the report gives the medians of ROUNDS rounds (wall and CPU
# seconds) and their ratios to djpeg, then the peak resident memory of velquin-cli on the largest picture against the limit of
# 1.2 x (its 32-bit bitmap + its file size).
# Usage: bench/decode_vs_djpeg.sh [FOLDER] [ROUNDS]    (FOLDER default bench/data/jpeg; names without blanks)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/bench/data/jpeg}
rounds=${2:-3}
build="$root/build/release"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_GUI=OFF >/dev/null
cmake --build "$build" --target velquin-cli -j2 >/dev/null
cli="$build/cli/velquin-cli"
files=$(find "$dir" -maxdepth 1 -type f -iname '*.jpg' | LC_ALL=C sort)
count=$(echo "$files" | wc -l)
pixels=0
for f in $files; do
  p=$(djpeg -verbose -outfile /dev/null "$f" 2>&1 | sed -n 's/.*Start Of Frame.*width=\([0-9]*\), height=\([0-9]*\).*/\1 \2/p' | awk '{ print $1 * $2 }')
  pixels=$((pixels + p))
done
echo "$count files, $(du -sm "$dir" | cut -f1) MB, $((pixels / 1000000)) Mpixels"

# Wall and CPU (user + system) seconds of one command, appended to $results as "wall cpu".
measure() {
  /usr/bin/time -f "%e %U %S" -o "$timing" "$@" >/dev/null
  awk '{ printf "%s %.2f ", $1, $2 + $3 }' "$timing" >>"$results"
}
results=$(mktemp)
timing=$(mktemp)
trap 'rm -f "$results" "$timing"' EXIT
export files
round=1
while [ "$round" -le "$rounds" ]; do
  measure sh -c 'for f in $files; do djpeg -outfile /dev/null "$f"; done'
  measure "$cli" signature $files
  measure "$cli" signature --normalize $files
  measure sh -c 'for f in $files; do "$0" signature "$f"; done' "$cli"
  echo >>"$results"
  round=$((round + 1))
done
# Medians over the rounds; CPU time is the steadier figure on a machine shared with other work.
awk -v n="$rounds" '
  { for (i = 1; i <= 8; i++) v[i, NR] = $i }
  END {
    split("djpeg cli cli-norm cli-spawn", name, " ")
    for (i = 1; i <= 8; i++) {
      for (a = 1; a <= n; a++) for (b = a + 1; b <= n; b++) if (v[i, b] < v[i, a]) { t = v[i, a]; v[i, a] = v[i, b]; v[i, b] = t }
      m[i] = v[i, int((n + 1) / 2)]
    }
    for (k = 1; k <= 4; k++)
      printf "%-10s wall %7.2f s (x %.3f)   cpu %7.2f s (x %.3f)\n", name[k], m[2 * k - 1], m[2 * k - 1] / m[1], m[2 * k], m[2 * k] / m[2]
  }' "$results"

largest=$(for f in $files; do
  djpeg -verbose -outfile /dev/null "$f" 2>&1 | sed -n "s|.*Start Of Frame.*width=\([0-9]*\), height=\([0-9]*\).*|\1 \2 $f|p"
done | awk '{ print $1 * $2, $3 }' | sort -n | tail -1 | cut -d' ' -f2)
bytes=$(stat -c %s "$largest")
px=$(djpeg -verbose -outfile /dev/null "$largest" 2>&1 | sed -n 's/.*Start Of Frame.*width=\([0-9]*\), height=\([0-9]*\).*/\1 \2/p' | awk '{ print $1 * $2 }')
limit_kb=$(( (px * 4 + bytes) * 12 / 10 / 1024 ))
for mode in "" "--normalize"; do
  peak=$(/usr/bin/time -f %M "$cli" signature $mode "$largest" 2>&1 >/dev/null | tail -1)
  echo "peak RSS signature $mode on $(basename "$largest") ($px pixels, $bytes bytes): $peak KB, limit $limit_kb KB"
done
peak=$(/usr/bin/time -f %M "$cli" signature $files 2>&1 >/dev/null | tail -1)
echo "peak RSS signature over all $count files: $peak KB"
peak=$(/usr/bin/time -f %M djpeg -outfile /dev/null "$largest" 2>&1 | tail -1)
echo "peak RSS djpeg on the largest: $peak KB"
