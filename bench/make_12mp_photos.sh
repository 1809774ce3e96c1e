#!/bin/sh
# Makes COUNT photos of 12 megapixels (4000 x 3000, quality 92, 4:2:0, as a camera writes them) from the
# photos of PHOTOS taken in turn, each scaled to fill the frame: the thumbnail strip's bench reads them.
# Usage: bench/make_12mp_photos.sh PHOTOS OUT [COUNT]      (COUNT: 20 by default)
set -eu
[ $# -ge 2 ] || { echo "usage: $0 PHOTOS OUT [COUNT]" >&2; exit 2; }
count=${3:-20}
mkdir -p "$2"
i=0
while [ "$i" -lt "$count" ]; do
  for photo in "$1"/*.jpg; do
    [ "$i" -lt "$count" ] || break
    djpeg "$photo" | pamscale -xyfill 4000 3000 | pamcut -width 4000 -height 3000 | cjpeg -quality 92 \
      > "$2/photo$(printf %02d "$i").jpg"
    i=$((i + 1))
  done
done
echo "$count photos of 4000 x 3000 in $2"
