#!/usr/bin/env bash
# Where hvx analyze puts the loop on real sustained notes, and whether a held
# note keeps the body's level.
#   bench/held_notes.sh [BUILD_DIR]     (default build-bench)
# Renders one note per instrument, held 5 s, from both of Debian's General
# MIDI sound fonts with fluidsynth (dry), then for each:
#   body:    the sound's median level from the attack end to the note end
#            (as hvx analyze --json finds them);
#   voice:   hvx analyze --voice, rendered with --hold 4; its level over the
#            loop and the 4 s held after it, against the body: the median's
#            difference and the lowest moment's (the deepest dip);
#   picture: hvx analyze (interval and rows chosen for tonepix's loop), then
#            the printed tonepix command, rendered with --hold 4; the same
#            over tonepix's loop and the hold, its level matched to the sound
#            before the loop.
# Levels: bench/held_level.cpp, RMS over 50 ms every 10 ms for the medians,
# over 0.2 s for the dips (a note's own tremolo is no dip).
set -euo pipefail
cd "$(dirname "$0")/.."
bench="$PWD/bench"
build="${1:-build-bench}"
if [ ! -x "$build/bench/held_level" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target hvx tonepix held_level >/dev/null
hvx="$PWD/$build/hvx"
level="$PWD/$build/bench/held_level"
export PATH="$PWD/$build:$PATH"
work="$build/held-notes"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# shellcheck source=bench/midi_note.sh
source "$bench/midi_note.sh"

json() { python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))" "$@"; }
calc() { awk "BEGIN { printf \"%.1f\", $1 }"; }

# name, sound font, General MIDI program (0-based), key
fluid=/usr/share/sounds/sf2/FluidR3_GM.sf2
tim=/usr/share/sounds/sf2/TimGM6mb.sf2
notes="strings $fluid 48 55
horn $fluid 60 53
bassoon $fluid 70 46
accordion $fluid 21 64
pan-flute $fluid 75 74
drawbar-organ $fluid 16 60
viola $tim 41 60
tuba $tim 58 41
soprano-sax $tim 64 70
recorder $tim 74 76
harmonica $tim 22 67
church-organ $tim 19 48
cello $tim 42 48
english-horn $tim 69 64"

echo "| note (font, program, key) | onset | attack end | note end | body dB | voice loop | held - body, dip | picture loop | held - body, dip |"
echo "|---|---:|---:|---:|---:|---|---|---|---|"
while read -r name font program key; do
  midi "$name.mid" "$program" "$key" 5 1920
  fluidsynth -ni -q -R 0 -C 0 -g 0.5 -r 48000 -F "$name.wav" "$font" "$name.mid" >/dev/null 2>&1
  "$hvx" analyze "$name.wav" --voice "$name.voice.hvx" --json >"$name.voice.json"
  "$hvx" analyze "$name.wav" -o "$name.bmp" --json >"$name.picture.json"
  hertz=$(json "$name.voice.json" 'd["pitch"]["hertz"]')
  onset=$(json "$name.voice.json" 'd["parts"]["onset"]')
  attack=$(json "$name.voice.json" 'd["parts"]["attackEnd"]')
  noteEnd=$(json "$name.voice.json" 'd["parts"]["noteEnd"]')
  body=$("$level" "$name.wav" "$attack" "$noteEnd" | awk '{print $1}')

  # The voice: its own time starts at the onset.
  vstart=$(json "$name.voice.json" 'd["loop"]["voiceStart"]')
  vend=$(json "$name.voice.json" 'd["loop"]["voiceEnd"]')
  vgain=$(json "$name.voice.json" '20 * __import__("math").log10(d["gain"])')
  rgain=$("$hvx" render --hold 4 --freq "$hertz" -o "$name.voice.wav" "$name.voice.hvx" |
    sed 's/.*gain \([-+0-9.]*\) dB.*/\1/')
  vmedian=$("$level" "$name.voice.wav" "$vstart" "$(calc "$vend + 4")" | awk '{print $1}')
  vlow=$("$level" "$name.voice.wav" "$vstart" "$(calc "$vend + 4")" 0.2 | awk '{print $2}')
  vheld=$(calc "$vmedian - $rgain - $vgain - $body")
  vdip=$(calc "$vlow - $rgain - $vgain - $body")

  # The picture, through the tonepix command printed.
  eval "$(json "$name.picture.json" 'd["commands"]["tonepix"]')" >/dev/null
  pstart=$(json "$name.picture.json" 'd["pictureLoop"]["start"]')
  interval=$(json "$name.picture.json" 'd["interval"]')
  rows=$(json "$name.picture.json" 'd["rows"]')
  played=$(json "$name.picture.json" 'd["commands"]["render"].split()[3]')
  "$hvx" render --hold 4 --freq "$played" -o "$name.picture.wav" "$name.hvx" >/dev/null
  loopAt=$(calc "$pstart - $onset")
  loopEnd=$(calc "$rows * $interval")
  # The picture's level against the sound's, before tonepix's loop.
  before=$("$level" "$name.picture.wav" "$(calc "$attack - $onset")" "$loopAt" | awk '{print $1}')
  source=$("$level" "$name.wav" "$attack" "$pstart" | awk '{print $1}')
  pmedian=$("$level" "$name.picture.wav" "$loopAt" "$(calc "$loopEnd + 4")" | awk '{print $1}')
  plow=$("$level" "$name.picture.wav" "$loopAt" "$(calc "$loopEnd + 4")" 0.2 | awk '{print $2}')
  pheld=$(calc "$pmedian - $before + $source - $body")
  pdip=$(calc "$plow - $before + $source - $body")

  printf '| %s (%s, %s, %s) | %.3f | %.3f | %.3f | %.1f | %.2f .. %.2f s | %+.1f, %+.1f dB | %.2f .. %.2f s | %+.1f, %+.1f dB |\n' \
    "$name" "$(basename "$font" .sf2)" "$program" "$key" "$onset" "$attack" "$noteEnd" "$body" \
    "$(json "$name.voice.json" 'd["loop"]["start"]')" "$(json "$name.voice.json" 'd["loop"]["end"]')" \
    "$vheld" "$vdip" "$pstart" "$(json "$name.picture.json" 'd["pictureLoop"]["end"]')" "$pheld" "$pdip"
done <<<"$notes"
