# Sourced by the analysis benchmarks: writes one-note MIDI files for
# fluidsynth.

# A variable-length quantity, as a MIDI file stores times.
vlq() {
  local n=$1 bytes
  bytes=$(printf '\\x%02x' $((n & 0x7f)))
  n=$((n >> 7))
  while [ "$n" -gt 0 ]; do
    bytes=$(printf '\\x%02x' $(((n & 0x7f) | 0x80)))$bytes
    n=$((n >> 7))
  done
  printf '%s' "$bytes"
}

# midi FILE PROGRAM KEY SECONDS [TAIL_TICKS]: one note at velocity 100, 120
# beats a minute at 480 ticks a beat (960 ticks a second), the file going on
# TAIL_TICKS (default 960) after the key is let go, for the release.
midi() {
  local events track length
  events="\\x00\\xc0$(printf '\\x%02x' "$2")\\x00\\x90$(printf '\\x%02x' "$3")\\x64"
  events+="$(vlq $(($4 * 960)))\\x80$(printf '\\x%02x' "$3")\\x40$(vlq "${5:-960}")\\xff\\x2f\\x00"
  track=$(printf "$events" | od -An -tx1 | tr -d ' \n' | sed 's/../\\x&/g')
  length=$(printf "$track" | wc -c)
  {
    printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0MTrk'
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((length >> 24)) $(((length >> 16) & 255)) \
      $(((length >> 8) & 255)) $((length & 255)))"
    printf "$track"
  } >"$1"
}
