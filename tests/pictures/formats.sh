#!/usr/bin/env bash
# Every format, depth and orientation hvx prepare reads, made by ImageMagick
# from one known gradient, prepared, converted by tonepix -f0 -n100 and drawn
# back by hvx picture --absolute: the levels must be those a viewer shows
# (ImageMagick's own reading of the file, EXIF orientation applied), within 1,
# the right way up. Formats the decoder cannot read right must be refused
# with one line.
#   formats.sh BUILD_DIR      exit 77 (skipped) when ImageMagick is missing
set -uo pipefail
bin="$(cd "$1" && pwd)"
if ! convert -version 2>/dev/null | grep -q ImageMagick; then
  echo "SKIPPED: ImageMagick is not installed (scripts/install-deps.sh pictures)"
  exit 77
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/tonepix-formats-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# 64 x 32, darker to the left and at the top, every level distinct enough to
# tell rows and columns apart; kept at 16 bits.
convert -size 64x32 xc: -fx '0.25 * i / 63 + 0.75 * j / 31' -depth 16 \
  -define png:color-type=0 ref.png || exit 1

make() {  # [FORMAT:]NAME ARGS...: the gradient written by convert with ARGS
  local name="$1"
  shift
  convert ref.png "$@" "$name" 2>/dev/null || fail "convert could not write $name"
}
make grey8.png -depth 8 -define png:color-type=0
make grey16.png -depth 16 -define png:color-type=0
make rgb.png -depth 8 -define png:color-type=2
make rgba.png -depth 8 -alpha on -define png:color-type=6
make PNG8:palette.png -depth 8
make BMP3:b1.bmp -threshold 50% -type bilevel
make BMP3:b4.bmp -depth 8 -colors 16 -type palette
make BMP3:b8.bmp -depth 8 -type palette -compress none
make BMP3:b24.bmp -depth 8 -type truecolor
make BMP:b32.bmp -depth 8 -alpha on -type truecolormatte
# (ImageMagick writes no RLE4; the unit tests make those by hand.)
make BMP3:rle8.bmp -depth 8 -type palette -compress RLE
make grey.gif -depth 8
make bottom.tga -depth 8
make top.tga -depth 8 -orient TopLeft
make rle.tga -depth 8 -compress RLE
make p8.pgm -depth 8
make p16.pgm -depth 16
make p8.ppm -depth 8 -type truecolor
make p16.ppm -depth 16 -type truecolor
# A JPEG for each EXIF orientation, stored so that a viewer shows the
# gradient; the orientation goes in a minimal EXIF segment after the start.
stored=("" "-flop" "-rotate 180" "-flip" "-transpose" "-rotate 270" "-transverse" "-rotate 90")
for n in 1 2 3 4 5 6 7 8; do
  # shellcheck disable=SC2086
  make "stored$n.jpg" -depth 8 ${stored[n - 1]} -quality 100 -sampling-factor 1x1
  { head -c 2 "stored$n.jpg"
    printf '\377\341\0\42Exif\0\0II*\0\10\0\0\0\1\0\22\1\3\0\1\0\0\0'
    printf "\\$(printf %03o "$n")\\0\\0\\0\\0\\0\\0\\0"
    tail -c +3 "stored$n.jpg"; } >"o$n.jpg"
  rm "stored$n.jpg"
done
# Top row first: the rows of an upside-down copy, with the height negated.
for bits in 8 24; do
  type=palette
  [ "$bits" = 24 ] && type=truecolor
  convert ref.png -flip -depth 8 -type "$type" -compress none "BMP3:top-down$bits.bmp"
  printf '\340\377\377\377' | dd of="top-down$bits.bmp" bs=1 seek=22 conv=notrunc status=none
done

levels() {  # FILE: the grey levels a viewer shows, one per line
  convert "$1" -auto-orient +repage -background black -alpha remove -colorspace gray -depth 8 gray:- |
    od -An -v -tu1 | tr -s ' ' '\n' | sed '/^$/d'
}

for file in *.png *.bmp *.gif *.tga *.pgm *.ppm *.jpg; do
  [ "$file" = ref.png ] && continue
  rm -f out.bmp out.hvx back.png
  if ! "$bin/hvx" prepare "$file" -o out.bmp >prepare.out 2>prepare.err; then
    fail "$file: refused: $(cat prepare.err)"
    continue
  fi
  "$bin/tonepix" -f0 -n100 out.bmp 2>/dev/null >/dev/null || { fail "$file: tonepix"; continue; }
  "$bin/hvx" picture --absolute out.hvx -o back.png >/dev/null || { fail "$file: picture"; continue; }
  # The voice's two closing points are the top rows of its picture.
  convert back.png -crop 64x32+0+2 +repage back-cut.png
  if ! paste <(levels "$file") <(levels back-cut.png) | awk -v f="$file" '
      { d = $1 - $2; if (d < 0) d = -d; if (d > worst) { worst = d; at = NR - 1 } }
      END { if (NR != 2048 || worst > 1) {
              printf "%s: %d levels, off by %d at column %d row %d\n", f, NR, worst, at % 64, int(at / 64)
              exit 1 } }'; then
    fail "$file: levels differ from the picture"
  fi
done

# Plain-text PNM is not read by the image library: refused with one line.
for kind in pgm ppm; do
  convert ref.png -depth 8 -compress none "plain.$kind"
  if "$bin/hvx" prepare "plain.$kind" -o plain.bmp 2>plain.err; then
    fail "plain.$kind was prepared"
  elif [ "$(wc -l <plain.err)" -ne 1 ]; then
    fail "plain.$kind: $(cat plain.err)"
  fi
done
[ "$failed" = 0 ] && echo "all formats read as shown"
exit "$failed"
