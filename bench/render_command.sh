#!/usr/bin/env bash
# Render speed of the whole `hvx render` command: process start-up, reading the
# voice, rendering and writing the file, as a user runs it. Makes the largest
# voice tonepix makes (a 126-row picture of noise, every point detuned) with
# the repo's own tools, renders it RUNS times and prints the real-time factor
# (audio seconds per second of CPU time, user + system, of the hvx process):
# median, min and max. tonepix seeds its detuning from the clock: the voice
# differs from second to second in its random values, not in its size.
#   bench/render_command.sh [BUILD_DIR] [RUNS] [RENDER OPTION...]
# BUILD_DIR (default build-bench) must hold hvx, tonepix and make_picture:
#   cmake --build build-bench --target hvx tonepix make_picture
# e.g. bench/render_command.sh build-bench 21 --no-normalize
set -euo pipefail
build=${1:-build-bench}
runs=${2:-15}
shift $(($# < 2 ? $# : 2))
for tool in hvx tonepix make_picture; do
  if [[ ! -x $build/$tool ]]; then
    echo "render_command.sh: no $build/$tool; build it first" >&2
    exit 2
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/make_picture" "$work/big.bmp" 126 random:3 64 >/dev/null
"$build/tonepix" -f5 "$work/big.bmp" >/dev/null
render=("$build/hvx" render --force -o "$work/big.wav" "$@" "$work/big.hvx")
# The audio's length, from the line hvx prints: "... -> ...: 40.100000 s at ...".
line=$("${render[@]}")
echo "$line"
seconds=$(sed -E 's/.*: ([0-9.]+) s at .*/\1/' <<<"$line")
factors=()
for ((run = 1; run <= runs; ++run)); do
  # `times` in the subshell: the user and system time of its one child, hvx.
  cpu=$( ("${render[@]}" >/dev/null; times) | tail -1 |
    awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.4f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
  factors+=("$(awk -v a="$seconds" -v c="$cpu" 'BEGIN { printf "%.0f", (c > 0 ? a / c : 0) }')")
  echo "run $run: ${cpu} s CPU, ${factors[-1]}x real time"
done
sorted=$(printf '%s\n' "${factors[@]}" | sort -n)
median=$(sed -n "$(((runs + 1) / 2))p" <<<"$sorted")
echo "over $runs runs, real-time factor by CPU time: median ${median}x," \
  "min $(head -1 <<<"$sorted")x, max $(tail -1 <<<"$sorted")x"
