#!/usr/bin/env bash
# Runs one command-line case in a scratch folder and compares what the program
# did with what the case expects.
#   run_case.sh CASE_DIR BIN_DIR
#   run_case.sh --record CASE_DIR BIN_DIR   # rewrite the expectations from this run
# A case folder holds:
#   cmd     the command line, one line of shell words; the first is the
#           program (tonepix or hvx), found in BIN_DIR
#   setup   optional shell lines run first in the scratch folder; BIN_DIR is
#           on PATH there, so make_picture can make pictures
#   stdout  expected standard output, byte for byte (absent: nothing)
#   stderr  expected standard error, byte for byte (absent: nothing)
#   status  expected exit status (absent: 0)
#   files   optional lines "SHA256  NAME" that must match, or "absent NAME";
#           lines starting with # are comments
#   check   optional shell lines run afterwards in the scratch folder; a
#           non-zero status fails the case
# Recording writes stdout, stderr and status (dropping empty ones) and the
# hashes of the files already named in `files`; read the diff before keeping it.
set -uo pipefail
record=0
if [ "${1:-}" = --record ]; then
  record=1
  shift
fi
case_dir="$(cd "$1" && pwd)"
bin_dir="$(cd "$2" && pwd)"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tonepix-cli-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export PATH="$bin_dir:$PATH"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

cd "$scratch" || exit 1
if [ -f "$case_dir/setup" ]; then
  bash -e "$case_dir/setup" >setup.log 2>&1 || { cat setup.log >&2; fail "setup"; exit 1; }
  rm -f setup.log
fi
bash -c "exec $(cat "$case_dir/cmd")" >"$scratch/.out" 2>"$scratch/.err" </dev/null
status=$?

if [ "$record" = 1 ]; then
  for stream in stdout stderr; do
    got="$scratch/.${stream:3}"
    if [ -s "$got" ]; then cp "$got" "$case_dir/$stream"; else rm -f "$case_dir/$stream"; fi
  done
  if [ "$status" = 0 ]; then rm -f "$case_dir/status"; else echo "$status" >"$case_dir/status"; fi
  if [ -f "$case_dir/files" ]; then
    while IFS= read -r line; do
      read -r hash name <<<"$line"
      if [ -z "$hash" ] || [ "${hash:0:1}" = "#" ] || [ "$hash" = absent ] || [ ! -f "$name" ]; then
        printf '%s\n' "$line"
      else
        printf '%s  %s\n' "$(sha256sum "$name" | cut -d' ' -f1)" "$name"
      fi
    done <"$case_dir/files" >"$scratch/.files"
    cp "$scratch/.files" "$case_dir/files"
  fi
fi

expected_status=0
[ -f "$case_dir/status" ] && expected_status="$(tr -d '[:space:]' <"$case_dir/status")"
[ "$status" = "$expected_status" ] || fail "exit status $status, expected $expected_status"
for stream in stdout stderr; do
  got="$scratch/.${stream:3}"
  expected="$case_dir/$stream"
  [ -f "$expected" ] || expected=/dev/null
  if ! cmp -s "$got" "$expected"; then
    fail "$stream differs (--- expected, +++ got)"
    diff -u "$expected" "$got" | head -40 >&2
  fi
done
rm -f "$scratch/.out" "$scratch/.err" "$scratch/.files"
if [ -f "$case_dir/files" ]; then
  while read -r hash name; do
    [ -n "$hash" ] && [ "${hash:0:1}" != "#" ] || continue
    if [ "$hash" = absent ]; then
      [ ! -e "$name" ] && [ ! -L "$name" ] || fail "$name should not exist"
    elif [ ! -f "$name" ]; then
      fail "$name is missing"
    else
      got="$(sha256sum "$name" | cut -d' ' -f1)"
      [ "$got" = "$hash" ] || fail "$name has sha256 $got, expected $hash"
    fi
  done <"$case_dir/files"
fi
if [ -f "$case_dir/check" ]; then
  bash -e "$case_dir/check" >&2 || fail "check"
fi
exit "$failed"
