#!/bin/sh
# A tree of photos with their turned, mirrored, flipped and gray copies in other subfolders, and what
# velquin-cli finds in it with Subfolders and each choice of Turned and Gray.
#
# Usage: bench/turned_tree.sh [OPTIONS] PHOTOS OUT
#   PHOTOS        real colour JPEGs (e.g. from the shared bench's fetch_photos.sh); never written
#   OUT           made here (refused when it holds anything but an earlier run of this script):
#                 OUT/tree (the pictures and the tables), OUT/truth.tsv, OUT/pairs-*.tsv, OUT/missed-*.txt
#   --count N     photos to take (default 24): the colour JPEGs of PHOTOS whose shorter side is at least
#                 1000 px, in name order, N of them spread evenly over that order
#   --edges E     trim (default): jpegtran -trim drops the partial edge blocks it cannot move, so a copy
#                 may lose up to 15 px on a side; keep: they stay where they were, unturned
#   --cli PATH    the velquin-cli to run (default $VELQUIN_CLI, else build/release, else build/test)
#
# The tree: originals/NAME and, under the same NAME, each photo's lossless copies made by jpegtran:
# turned/90, turned/180, turned/270 (-rotate), mirrored (-flip horizontal), flipped (-flip vertical),
# transposed (-transpose), transversed (-transverse) and gray (-grayscale). truth.tsv has one line per
# file, 'file<TAB>photo<TAB>kind', file relative to OUT/tree.
#
# The runs, all on OUT/tree with --subfolders: the first scans with every option given (Force, the
# default); the others rescan nothing (--no-force) and only match again. Each prints the copies found
# (a copy is found when it is paired with its original), out of how many, and the pairs between
# different photos, which must be 0. Needs: libjpeg-turbo-progs (jpegtran, djpeg).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '5,13s/^# \{0,1\}//p' "$0" >&2
  exit "$1"
}

count=24
edges=trim
cli=${VELQUIN_CLI:-}
photos=
out=
while [ $# -gt 0 ]; do
  case $1 in
  --count | --edges | --cli)
    [ $# -ge 2 ] || usage 2
    case $1 in
    --count) count=$2 ;;
    --edges) edges=$2 ;;
    --cli) cli=$2 ;;
    esac
    shift 2
    ;;
  -h | --help) usage 0 ;;
  -*) usage 2 ;;
  *)
    if [ -z "$photos" ]; then
      photos=$1
    elif [ -z "$out" ]; then
      out=$1
    else
      usage 2
    fi
    shift
    ;;
  esac
done
[ -n "$out" ] || usage 2
case $count in '' | *[!0-9]* | 0) usage 2 ;; esac
case $edges in trim | keep) ;; *) usage 2 ;; esac
[ -d "$photos" ] || {
  echo "$0: $photos: no such folder" >&2
  exit 1
}
if [ -z "$cli" ]; then
  for c in "$root/build/release/cli/velquin-cli" "$root/build/test/cli/velquin-cli"; do
    if [ -x "$c" ]; then
      cli=$c
      break
    fi
  done
fi
[ -n "$cli" ] && [ -x "$cli" ] || {
  echo "$0: no velquin-cli: build one or give --cli PATH" >&2
  exit 1
}
photos=$(cd "$photos" && pwd -P)

# OUT and PHOTOS must lie apart, checked before anything is made: OUT's parent must exist.
parent=$(dirname "$out")
[ -d "$parent" ] || {
  echo "$0: $parent: no such folder" >&2
  exit 1
}
out=$(cd "$parent" && pwd -P)/$(basename "$out")
case $out/ in "$photos"/*)
  echo "$0: $out lies in $photos, which is never written" >&2
  exit 1
  ;;
esac
case $photos/ in "$out"/*)
  echo "$0: $photos lies in $out, which is emptied" >&2
  exit 1
  ;;
esac
# An OUT in use is only ever one this script made.
if [ -e "$out" ] || [ -L "$out" ]; then
  [ -d "$out" ] && [ ! -L "$out" ] || {
    echo "$0: $out: not a folder" >&2
    exit 1
  }
  if [ -n "$(ls -A "$out")" ] && [ ! -f "$out/truth.tsv" ]; then
    echo "$0: $out: not empty and not made by this script" >&2
    exit 1
  fi
fi
mkdir -p "$out"
rm -rf "$out/tree" "$out"/pairs-*.tsv "$out"/missed-*.txt "$out/truth.tsv"
tree=$out/tree

# width height components of a JPEG, from its frame header.
jpeg_size() {
  djpeg -verbose -outfile /dev/null "$1" 2>&1 |
    sed -n 's/.*Start Of Frame.*width=\([0-9]*\), height=\([0-9]*\), components=\([0-9]*\).*/\1 \2 \3/p' | head -n 1
}

list=$out/photos.txt
: >"$list"
for photo in "$photos"/*.jpg "$photos"/*.JPG; do
  [ -f "$photo" ] || continue
  set -- $(jpeg_size "$photo") 0 0 0
  [ "$3" -eq 3 ] && [ "$1" -ge 1000 ] && [ "$2" -ge 1000 ] && echo "$photo" >>"$list"
done
available=$(wc -l <"$list")
[ "$available" -ge "$count" ] || {
  echo "$0: $photos holds $available colour JPEGs of at least 1000 px, $count needed" >&2
  exit 1
}
# The k-th of count taken is the photo at place 1 + floor(k * available / count), k = 0..count-1.
awk -v n="$count" -v a="$available" '{ line[NR] = $0 } END { for (k = 0; k < n; ++k) print line[1 + int(k * a / n)] }' \
  "$list" >"$list.taken"
mv "$list.taken" "$list"

trim=-trim
[ "$edges" = trim ] || trim=
kinds="turned/90:-rotate_90 turned/180:-rotate_180 turned/270:-rotate_270 mirrored:-flip_horizontal
flipped:-flip_vertical transposed:-transpose transversed:-transverse gray:-grayscale"
mkdir -p "$tree/originals"
truth=$out/truth.tsv
printf 'file\tphoto\tkind\n' >"$truth"
while IFS= read -r photo; do
  name=$(basename "$photo")
  cp "$photo" "$tree/originals/$name"
  printf 'originals/%s\t%s\toriginal\n' "$name" "$name" >>"$truth"
  for entry in $kinds; do
    kind=${entry%%:*}
    transform=$(echo "${entry#*:}" | tr _ ' ')
    mkdir -p "$tree/$kind"
    # $transform and $trim split into jpegtran's words on purpose.
    jpegtran -copy none $trim $transform -outfile "$tree/$kind/$name" "$photo"
    printf '%s/%s\t%s\t%s\n' "$kind" "$name" "$name" "$kind" >>"$truth"
  done
done <"$list"

echo "photos: $count of $available colour JPEGs of at least 1000 px in $photos; copies' edges: $edges"
echo "velquin-cli: $cli"

# Runs velquin-cli auto with the options given, then scores its pairs against truth.tsv.
run() {
  label=$1
  shift
  "$cli" auto --subfolders "$@" "$tree" >/dev/null
  "$cli" pairs "$tree" >"$out/pairs-$label.tsv"
  awk -F '\t' -v tree="$tree/" -v options="--subfolders $*" -v missed="$out/missed-$label.txt" '
    function relative(path) { return index(path, tree) == 1 ? substr(path, length(tree) + 1) : path }
    FNR == NR {
      if (FNR > 1) { photo[$1] = $2; kind[$1] = $3 }
      next
    }
    {
      a = relative($2); b = relative($3)
      ++pairs
      if (!(a in photo) || !(b in photo)) { ++unknown; next }
      if (photo[a] != photo[b]) { ++different; next }
      if (kind[a] == "original") paired[b] = 1
      if (kind[b] == "original") paired[a] = 1
    }
    END {
      printf "" > missed
      for (f in kind) {
        if (kind[f] == "original") continue
        group = kind[f] == "gray" ? "gray" : "turned"
        ++copies[group]
        if (f in paired) ++found[group]
        else print f > missed
      }
      printf "%s: turned/mirrored copies found %d of %d, gray copies found %d of %d, pairs between different photos %d (pairs %d",
        options, found["turned"], copies["turned"], found["gray"], copies["gray"], different, pairs
      if (unknown) printf ", %d with a file not in the truth", unknown
      print ")"
    }' "$truth" "$out/pairs-$label.tsv"
  sort -o "$out/missed-$label.txt" "$out/missed-$label.txt"
}

run all --turned --gray
run turned --turned --no-gray --no-force
run gray --no-turned --gray --no-force
run neither --no-turned --no-gray --no-force
