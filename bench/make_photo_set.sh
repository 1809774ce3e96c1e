#!/bin/sh
# Builds the JPEG set for decode_vs_djpeg.sh from real photos: every photo of PHOTOS between 2 and
# 12 megapixels, in three baseline encodings of its own pixels: the original coefficients (jpegtran,
# lossless), quality 75 at 4:2:0 and quality 92 at 4:4:4 (djpeg | cjpeg).
# Usage: bench/make_photo_set.sh PHOTOS OUT      (PHOTOS: e.g. from fetch_photos.sh of the shared bench)
set -eu
[ $# -eq 2 ] || { echo "usage: $0 PHOTOS OUT" >&2; exit 2; }
mkdir -p "$2"
for photo in "$1"/*.jpg; do
  size=$(djpeg -verbose -outfile /dev/null "$photo" 2>&1 | sed -n 's/.*Start Of Frame.*width=\([0-9]*\), height=\([0-9]*\).*/\1 \2/p')
  pixels=$(echo "$size" | awk '{ print $1 * $2 }')
  [ "$pixels" -ge 2000000 ] && [ "$pixels" -le 12000000 ] || continue
  name=$(basename "$photo" .jpg)
  jpegtran -optimize -copy none "$photo" > "$2/$name.jpg"
  djpeg "$photo" | cjpeg -quality 75 > "$2/$name-q75.jpg"
  djpeg "$photo" | cjpeg -quality 92 -sample 1x1 > "$2/$name-q92-444.jpg"
done
echo "$(ls "$2" | wc -l) JPEG files in $2"
