#!/usr/bin/env bash
# The studio in a real browser: installs the pinned browser driver into the
# build folder when it is missing, then runs studio.test.js, clients.test.js
# editor.test.js and voice.test.js.
#   run.sh BIN_DIR [bench]
# Exits 77 (skipped) only when Chromium or Node cannot be found.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin_dir="$(cd "$1" && pwd)"
chromium="${CHROMIUM:-/usr/bin/chromium}"
if [ ! -x "$chromium" ] || ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: the studio browser test needs $chromium, node and npm (scripts/install-deps.sh installs them)"
  exit 77
fi
work="$bin_dir/studio-test"
mkdir -p "$work"
# One install per lock file; a changed lock installs again.
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -d "$work/node_modules/playwright-core" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi
export NODE_PATH="$work/node_modules" CHROMIUM="$chromium"
if [ "${2:-}" = bench ]; then
  exec node "$here/studio.bench.js" "$bin_dir" "$work"
fi
node "$here/studio.test.js" "$bin_dir" "$work"
node "$here/clients.test.js" "$bin_dir" "$work"
node "$here/editor.test.js" "$bin_dir" "$work"
node "$here/voice.test.js" "$bin_dir" "$work"
