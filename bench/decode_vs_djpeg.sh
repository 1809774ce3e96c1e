#!/bin/sh
# Speed and memory of `velquin-cli signature` against djpeg on the same JPEG files, in the same run.
#   djpeg:        one `djpeg -outfile /dev/null FILE` process per file, one after another
#   cli:          one `velquin-cli signature FILE...` over all files
#   cli-norm:     the same with --normalize
#   cli-spawn:    one `velquin-cli signature FILE` process per file, like djpeg
# Each round runs the four in turn; the report gives the median of ROUNDS rounds and the ratios to
# djpeg, then the peak resident memory of velquin-cli on the largest picture against the limit of
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

now() { date +%s.%N; }
results=$(mktemp)
trap 'rm -f "$results"' EXIT
round=1
while [ "$round" -le "$rounds" ]; do
  t0=$(now)
  for f in $files; do djpeg -outfile /dev/null "$f"; done
  t1=$(now)
  "$cli" signature $files >/dev/null
  t2=$(now)
  "$cli" signature --normalize $files >/dev/null
  t3=$(now)
  for f in $files; do "$cli" signature "$f" >/dev/null; done
  t4=$(now)
  echo "$t0 $t1 $t2 $t3 $t4" | awk '{ printf "%.3f %.3f %.3f %.3f\n", $2 - $1, $3 - $2, $4 - $3, $5 - $4 }' >>"$results"
  round=$((round + 1))
done
awk -v n="$rounds" '
  { for (i = 1; i <= 4; i++) v[i, NR] = $i }
  END {
    split("djpeg cli cli-norm cli-spawn", name, " ")
    for (i = 1; i <= 4; i++) {
      for (a = 1; a <= n; a++) for (b = a + 1; b <= n; b++) if (v[i, b] < v[i, a]) { t = v[i, a]; v[i, a] = v[i, b]; v[i, b] = t }
      m[i] = v[i, int((n + 1) / 2)]
      all = ""; for (a = 1; a <= n; a++) all = all " " v[i, a]
      printf "%-10s median %7.3f s  (x %.3f of djpeg)  runs:%s\n", name[i], m[i], m[i] / m[1], all
    }
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
