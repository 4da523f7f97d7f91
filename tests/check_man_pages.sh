#!/usr/bin/env bash
# Renders each man page given and fails on any warning the formatter prints.
#   check_man_pages.sh PAGE...
set -uo pipefail
failed=0
for page in "$@"; do
  warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  if [ -n "$warnings" ]; then
    echo "$page:" >&2
    echo "$warnings" >&2
    failed=1
  fi
done
exit "$failed"
