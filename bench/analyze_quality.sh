#!/usr/bin/env bash
# How close hvx analyze comes to real instrument notes, and how fast.
#   bench/analyze_quality.sh [BUILD_DIR]     (default build-bench)
# Renders notes from Debian's General MIDI sound font with fluidsynth (dry:
# no reverb, no chorus), then for each note:
#   voice:   hvx analyze --voice (the finest interval that holds the note),
#            rendered with no hold at the found pitch;
#   picture: hvx analyze (interval and rows chosen for tonepix's loop), the
#            tonepix command it prints, rendered at the pitch it prints with
#            the key held (--gate) as long as the note was;
# and scores each resynthesis against its source with bench/analyze_score.cpp
# (spectral convergence of Hann-4096 magnitude spectrograms, best gain; the
# picture over the part the key was held, as it leaves out the note's own
# release for tonepix's).
# Speed: CPU seconds of hvx analyze --voice on a 5 s note, best of 5.
set -euo pipefail
cd "$(dirname "$0")/.."
bench="$PWD/bench"
build="${1:-build-bench}"
scripts/install-deps.sh
if ! command -v fluidsynth >/dev/null 2>&1 || [ ! -f /usr/share/sounds/sf2/FluidR3_GM.sf2 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends fluidsynth fluid-soundfont-gm
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target hvx tonepix analyze_score >/dev/null
hvx="$PWD/$build/hvx"
tonepix="$PWD/$build/tonepix"
score="$PWD/$build/bench/analyze_score"
work="$build/analyze-quality"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# shellcheck source=bench/midi_note.sh
source "$bench/midi_note.sh"

# name, General MIDI program (0-based), key, seconds held
notes="piano 0 60 3
piano-low 0 36 4
harpsichord 6 67 2
vibraphone 11 72 3
organ 19 55 3
nylon-guitar 24 52 3
violin 40 69 3
cello 42 48 4
trumpet 56 65 3
clarinet 71 58 3
flute 73 79 3
oboe 68 70 2
choir 52 64 3
sax 65 62 4"

printf '%-14s %-26s %8s %8s\n' note pitch voice picture
voices=""
pictures=""
while read -r name program key seconds; do
  midi "$name.mid" "$program" "$key" "$seconds"
  fluidsynth -ni -q -R 0 -C 0 -g 0.5 -r 48000 -F "$name.wav" \
    /usr/share/sounds/sf2/FluidR3_GM.sf2 "$name.mid" >/dev/null 2>&1
  "$hvx" analyze "$name.wav" --voice "$name.hvx" --json >"$name.json"
  hertz=$(grep -o '"hertz": [0-9.]*' "$name.json" | awk '{print $2}')
  note=$(grep -o '"note": "[^"]*"' "$name.json" | cut -d'"' -f4)
  "$hvx" render --hold 0 --freq "$hertz" -o "$name.voice.wav" "$name.hvx" >/dev/null
  "$hvx" analyze "$name.wav" -o "$name.bmp" --json >"$name.picture.json"
  # The tonepix command printed; its voice takes the name NAME.hvx, after
  # the analysed voice was heard.
  command=$(grep -o '"tonepix": "[^"]*"' "$name.picture.json" | cut -d'"' -f4)
  "$tonepix" ${command#tonepix } >/dev/null
  # Played as printed: at the pitch the picture's exact harmonics fit best.
  played=$(grep -o '"render": "[^"]*"' "$name.picture.json" | grep -o -- '--freq [0-9.]*' | cut -d' ' -f2)
  "$hvx" render --gate "$seconds" --freq "$played" -o "$name.picture.wav" "$name.hvx" >/dev/null
  printf '%-14s %-26s %8s %8s\n' "$name" "$note ($hertz Hz)" \
    "$("$score" "$name.wav" "$name.voice.wav")" \
    "$("$score" "$name.wav" "$name.picture.wav" "$seconds")"
  voices+="$("$score" "$name.wav" "$name.voice.wav") "
  pictures+="$("$score" "$name.wav" "$name.picture.wav" "$seconds") "
done <<<"$notes"
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-14s %-26s %8s %8s\n' median "" "$(median <<<"$voices")" "$(median <<<"$pictures")"

# Speed: a 5 s note, CPU time of the whole command.
midi long.mid 40 69 5
fluidsynth -ni -q -R 0 -C 0 -g 0.5 -r 48000 -F long.wav /usr/share/sounds/sf2/FluidR3_GM.sf2 long.mid >/dev/null 2>&1
seconds=$("$hvx" analyze long.wav --voice long.hvx --json | grep -o '"seconds": [0-9.]*' | awk '{print $2}')
best=""
for _ in 1 2 3 4 5; do
  cpu=$( { /usr/bin/time -f '%U %S' "$hvx" analyze long.wav --voice long.hvx >/dev/null; } 2>&1 | awk '{print $1 + $2}')
  best=$(awk -v a="$cpu" -v b="${best:-1e9}" 'BEGIN { print (a < b ? a : b) }')
done
awk -v s="$seconds" -v c="$best" 'BEGIN { printf "speed: %.2f s of sound in %.3f s of CPU: %.0fx real time\n", s, c, (c > 0 ? s / c : 0) }'
