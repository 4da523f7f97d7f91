#!/usr/bin/env bash
# Runs every case of cases.txt over one fixed set of pictures (heights 1 to
# 128, extremes, and refused files in between) and compares a digest of each
# run's exit status, standard output, standard error and voice files with
# expected.txt.
#   check.sh REPLAY MAKE_PICTURE [--record]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
replay="$(realpath "$1")"
make_picture="$(realpath "$2")"
record="${3:-}"
work="$(mktemp -d "${TMPDIR:-/tmp}/tonepix-equality-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# The one-row picture comes first: nothing converted before it may show
# through in its voice.
pictures=(h001.bmp)
"$make_picture" h001.bmp 1 random:1
for h in $(seq 2 128); do
  name="$(printf 'h%03d.bmp' "$h")"
  "$make_picture" "$name" "$h" "random:$h"
  pictures+=("$name")
  case "$h" in
    10) "$make_picture" w63.bmp 4 ramp 63; pictures+=(w63.bmp) ;;
    20) printf 'MB not a picture' >magic.bmp; pictures+=(magic.bmp) ;;
    30) "$make_picture" h129.bmp 129 ramp; pictures+=(h129.bmp) ;;
    40) pictures+=(missing.bmp note.png) ;;
    50) "$make_picture" bright.bmp 32 255; pictures+=(bright.bmp) ;;
    60) "$make_picture" dark.bmp 32 0; pictures+=(dark.bmp) ;;
    64) "$make_picture" ramp.BMP 64 ramp; pictures+=(ramp.BMP) ;;
    70) "$make_picture" empty.bmp 0 0; pictures+=(empty.bmp) ;;
  esac
done

digest() { sha256sum | cut -c1-16; }
report="$work/report.txt"
: >"$report"
while read -r seed options; do
  case "$seed" in '' | '#'*) continue ;; esac
  # shellcheck disable=SC2086  # options are words
  set +e
  "$replay" "$seed" $options "${pictures[@]}" >out.txt 2>err.txt
  status=$?
  set -e
  voices="$(sha256sum -- *.hvx *.HVX 2>/dev/null | digest)"
  printf '%s %s | status %s out %s err %s voices %s\n' "$seed" "$options" "$status" \
    "$(digest <out.txt)" "$(digest <err.txt)" "$voices" >>"$report"
  rm -f ./*.hvx ./*.HVX out.txt err.txt
done <"$here/cases.txt"

if [ "$record" = --record ]; then
  cp "$report" "$here/expected.txt"
  echo "recorded $(wc -l <"$report") runs in $here/expected.txt"
elif ! diff -u "$here/expected.txt" "$report"; then
  echo "output differs from the recorded runs (--- recorded, +++ now)" >&2
  exit 1
fi
