#!/bin/sh
# Velquin against djpeg and two other duplicate-picture finders, on the same pictures, in one run.
#
# Usage: bench/compare.sh [OPTIONS] FOLDER
#   FOLDER          the pictures (not recursive); a folder holding images/ and truth.tsv (as the
#                   shared bench's make_bench_corpus.py makes it) stands for its images/
#   --truth FILE    ground truth, 'file<TAB>family...' lines under a header (default FOLDER/truth.tsv,
#                   else FOLDER/../truth.tsv); without one the precision and recall stay empty
#   --runs N        rounds (default 1): every round runs every tool once, in turn, so that all of
#                   them share the machine's load alike; each figure is the median of the N rounds
#   --cli PATH      the velquin-cli to measure (default $VELQUIN_CLI, else a Release build in
#                   build/release, made here when missing)
#   --peers-dir DIR the shared bench's scripts: run_peers.sh, run_dupeguru_pe.py, decode_limit.sh,
#                   evaluate.py (default $VELQUIN_PEERS_DIR, else ../shared/bench beside the
#                   repository)
#   --peers LIST    the finders to run, blank-separated (default "findimagedupes dupeguru"; the
#                   shared run_peers.sh also knows dupeguru-scaled); "" runs none
#   --keep DIR      keep every round's time logs and pairs in DIR
#
# The runs, each timed whole with /usr/bin/time -v (wall, user + system CPU, peak resident memory):
#   velquin first     `velquin-cli auto` after `velquin-cli clear`, default options
#   velquin warm      `velquin-cli auto --no-force` right after it (every signature already there)
#   velquin threads 1 the first run with `--threads 1`, when this velquin-cli has the option
#   djpeg             every JPEG decoded at full size to /dev/null, one djpeg process after another
#   PEER first / warm each finder with an empty signature cache, then again with the cache it filled
# Precision and recall are pairwise against the truth: a pair is right when both files are of one
# family. Velquin's pairs come from `velquin-cli pairs`, the finders' from the pairs within each group
# they report. The ratios under the table are medians of the ratios within each round.
#
# FOLDER itself is never written: Velquin runs on one copy of it and the other tools on another, both
# in a temporary folder removed at the end. Needs: apt-get install time findimagedupes dupeguru
# libjpeg-turbo-progs python3-pil.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '4,19s/^# \{0,1\}//p' "$0" >&2
  exit "$1"
}

runs=1
cli=${VELQUIN_CLI:-}
truth=
peers_dir=${VELQUIN_PEERS_DIR:-$root/../shared/bench}
peers="findimagedupes dupeguru"
keep=
folder=
while [ $# -gt 0 ]; do
  case $1 in
  --runs | --cli | --truth | --peers-dir | --peers | --keep)
    [ $# -ge 2 ] || usage 2
    case $1 in
    --runs) runs=$2 ;;
    --cli) cli=$2 ;;
    --truth) truth=$2 ;;
    --peers-dir) peers_dir=$2 ;;
    --peers) peers=$2 ;;
    --keep) keep=$2 ;;
    esac
    shift 2
    ;;
  -h | --help) usage 0 ;;
  -*) usage 2 ;;
  *)
    [ -z "$folder" ] || usage 2
    folder=$1
    shift
    ;;
  esac
done
[ -n "$folder" ] || usage 2
case $runs in '' | *[!0-9]* | 0) usage 2 ;; esac
[ -d "$folder" ] || {
  echo "$0: $folder: no such folder" >&2
  exit 1
}
if [ -d "$folder/images" ] && [ -f "$folder/truth.tsv" ]; then folder=$folder/images; fi
folder=$(cd "$folder" && pwd)
if [ -z "$truth" ]; then
  for t in "$folder/truth.tsv" "$folder/../truth.tsv"; do
    if [ -f "$t" ]; then
      truth=$t
      break
    fi
  done
fi
for f in run_peers.sh decode_limit.sh evaluate.py; do
  [ -f "$peers_dir/$f" ] || {
    echo "$0: $peers_dir/$f not found (give the shared bench with --peers-dir)" >&2
    exit 1
  }
done
peers_dir=$(cd "$peers_dir" && pwd)

if [ -z "$cli" ]; then
  build=$root/build/release
  [ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_GUI=OFF >/dev/null
  cmake --build "$build" --target velquin-cli -j2 >/dev/null
  cli=$build/cli/velquin-cli
fi
[ -x "$cli" ] || {
  echo "$0: $cli: no such program" >&2
  exit 1
}
threads=
if "$cli" auto --help 2>&1 | grep -q -e '--threads'; then threads=yes; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
logs=${keep:-$work/logs}
mkdir -p "$logs" "$work/velquin" "$work/peers"
# Two copies: the finders must not meet Velquin's table files among the pictures.
find "$folder" -maxdepth 1 -type f -exec cp -p -t "$work/velquin" {} +
find "$work/velquin" -maxdepth 1 -type f -exec cp -p -t "$work/peers" {} +
vdir=$work/velquin
pdir=$work/peers
files=$(find "$pdir" -maxdepth 1 -type f | wc -l)
jpegs=$(find "$pdir" -maxdepth 1 -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) | wc -l)
results=$logs/results.tsv
: >"$results"

# score PAIRS: "pairs precision recall" of a 'file1<TAB>file2' list (without a truth: "pairs - -").
score() {
  if [ -z "$truth" ]; then
    echo "$(wc -l <"$1") - -"
    return
  fi
  /usr/bin/python3 "$peers_dir/evaluate.py" "$truth" "$1" | awk -F'\t' 'NR == 2 { print $3, $5, $6 }'
}

# timed ROUND NAME FILES PAIRS CMD...: runs CMD under /usr/bin/time -v and adds a row to the results.
# PAIRS is the file CMD leaves its pairs in, "velquin" to list them from Velquin's tables, "-" for none.
timed() {
  round=$1 name=$2 count=$3 pairs=$4
  shift 4
  log="$logs/$round-$(echo "$name" | tr ' ' '-')"
  if ! /usr/bin/time -v -o "$log.time" "$@" >"$log.out" 2>&1; then
    echo "$0: $name failed, see $log.out" >&2
    cat "$log.out" >&2
    exit 1
  fi
  found="- - -"
  if [ "$pairs" = velquin ]; then
    "$cli" pairs "$vdir" | awk -F'\t' -v p="$vdir/" '{
        a = $2; b = $3; sub("^" p, "", a); sub("^" p, "", b); print (a < b ? a "\t" b : b "\t" a) }' |
      LC_ALL=C sort -u >"$log.pairs"
    found=$(score "$log.pairs")
  elif [ "$pairs" != - ]; then
    cp "$pairs" "$log.pairs"
    found=$(score "$log.pairs")
  fi
  awk -F': ' -v round="$round" -v name="$name" -v n="$count" -v found="$found" '
    /Elapsed \(wall clock\)/ { k = split($2, t, ":"); s = 0; for (i = 1; i <= k; i++) s = s * 60 + t[i] }
    /User time/ { u = $2 } /System time/ { sy = $2 } /Maximum resident set size/ { rss = $2 }
    END { split(found, f, " "); printf "%d\t%s\t%d\t%.2f\t%.2f\t%.0f\t%s\t%s\t%s\n", round, name, n, s, u + sy, rss / 1024, f[1], f[2], f[3] }' \
    "$log.time" >>"$results"
  echo "round $round: $(tail -1 "$results" | cut -f2-6 | tr '\t' ' ')" >&2
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
round=1
while [ "$round" -le "$runs" ]; do
  "$cli" clear "$vdir" >/dev/null
  timed "$round" "velquin first" "$files" velquin "$cli" auto "$vdir"
  timed "$round" "velquin warm" "$files" velquin "$cli" auto --no-force "$vdir"
  if [ -n "$threads" ]; then
    "$cli" clear "$vdir" >/dev/null
    timed "$round" "velquin threads 1" "$files" velquin "$cli" auto --threads 1 "$vdir"
  fi
  timed "$round" djpeg "$jpegs" - sh "$peers_dir/decode_limit.sh" "$pdir" full
  for peer in $peers; do
    rm -rf "$work/cache"
    for state in first warm; do
      timed "$round" "$peer $state" "$files" "$work/pairs/$peer.tsv" \
        env CACHE="$work/cache" sh "$peers_dir/run_peers.sh" "$pdir" "$work/pairs" "$peer"
    done
  done
  round=$((round + 1))
done

echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m), load average $load at the start"
echo "bench/compare.sh --runs $runs $folder ($files files, $jpegs JPEG; truth: ${truth:-none})"
echo "velquin-cli $("$cli" --version 2>/dev/null | head -1 | awk '{ print $NF }'); medians of the rounds: $runs"
echo
awk -F'\t' '
  function median(key, m, i, j, t, v) {
    m = cnt[key]
    for (i = 1; i <= m; i++) v[i] = val[key, i]
    for (i = 2; i <= m; i++) for (j = i; j > 1 && v[j] < v[j - 1]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return m % 2 ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
  }
  function add(key, x) { val[key, ++cnt[key]] = x }
  {
    if (!($2 in seen)) { seen[$2] = 1; order[++runs] = $2 }
    files[$2] = $3; add($2 SUBSEP "wall", $4); add($2 SUBSEP "cpu", $5); add($2 SUBSEP "peak", $6)
    if ($7 != "-") add($2 SUBSEP "pairs", $7)
    if ($8 != "-") { add($2 SUBSEP "precision", $8); add($2 SUBSEP "recall", $9) }
    wall[$1, $2] = $4; cpu[$1, $2] = $5; rounds[$1] = 1
  }
  function ratio(a, b, r, kw, kc) {
    if (!(a in seen) || !(b in seen)) return
    kw = a "/" b "/wall"; kc = a "/" b "/cpu"
    for (r in rounds) {
      if (wall[r, b] > 0) add(kw, wall[r, a] / wall[r, b])
      if (cpu[r, b] > 0) add(kc, cpu[r, a] / cpu[r, b])
    }
    printf "| %s / %s | %s | %s |\n", a, b, cnt[kw] ? sprintf("%.2f", median(kw)) : "-", cnt[kc] ? sprintf("%.2f", median(kc)) : "-"
  }
  END {
    print "| run | files | wall s | CPU s | peak MiB | pairs | precision | recall |"
    print "|---|---|---|---|---|---|---|---|"
    for (i = 1; i <= runs; i++) {
      n = order[i]
      q = cnt[n SUBSEP "pairs"] ? sprintf("%d", median(n SUBSEP "pairs")) : ""
      q = q (cnt[n SUBSEP "recall"] ? sprintf(" | %.3f | %.3f", median(n SUBSEP "precision"), median(n SUBSEP "recall")) : " | | ")
      printf "| %s | %d | %.2f | %.2f | %.0f | %s |\n", n, files[n], median(n SUBSEP "wall"), median(n SUBSEP "cpu"), median(n SUBSEP "peak"), q
    }
    print ""
    print "| ratio | wall | CPU |"
    print "|---|---|---|"
    ratio("velquin first", "djpeg")
    ratio("velquin threads 1", "djpeg")
    for (i = 1; i <= runs; i++) if (order[i] ~ / first$/ && order[i] !~ /^velquin/) ratio(order[i], "velquin first")
    for (i = 1; i <= runs; i++) if (order[i] ~ / warm$/ && order[i] !~ /^velquin/) ratio("velquin warm", order[i])
  }' "$results"
