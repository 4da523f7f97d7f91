#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with its
# dependencies, uses the installed programs, man pages and bash completion,
# then purges it and checks that none of its files is left. The package is
# removed on every exit, so that later tests never run an installed tonepix.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
scripts/install-deps.sh package package-check

echo "== build"
deb="$(scripts/package.sh)"
ls -l "$deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends

echo "== lintian"
# Errors fail the check; warnings and notes are printed for a reader to judge.
lintian --info --display-info --fail-on error "$deb"

work="$(mktemp -d)"
studio=""
remove() {
  status=$?
  [ -z "$studio" ] || kill "$studio" 2>/dev/null || true
  if dpkg -s tonepix >/dev/null 2>&1; then
    $sudo apt-get remove --purge -y -o DPkg::Lock::Timeout=300 tonepix >/dev/null || status=1
  fi
  rm -rf "$work"
  exit "$status"
}
trap remove EXIT
trap 'exit 1' INT TERM HUP

echo "== install"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=300 \
  "$(realpath "$deb")"

echo "== use"
cp samples/pad.bmp "$work/"
/usr/bin/tonepix -v "$work/pad.bmp"
/usr/bin/hvx info "$work/pad.hvx" >"$work/info.txt"
head -n 6 "$work/info.txt"
# The version the package states is the one tonepix prints (0.9~b is 0.9b).
version="$(dpkg-query -W -f='${Version}' tonepix)"
help="$(/usr/bin/tonepix -h 2>&1 || true)"
case "$help" in
  *"tonepix version ${version//\~/} "*) ;;
  *) echo "package version $version is not the one tonepix prints" >&2; exit 1 ;;
esac
man -w tonepix hvx

echo "== studio"
# Its server is a program of its own, which hvx studio finds where it is installed.
test -x /usr/libexec/hvx/hvx-studio
# The page comes from inside the program and names nothing to fetch elsewhere.
/usr/bin/hvx studio --port 0 "$work" >"$work/studio.log" 2>&1 &
studio=$!
for _ in $(seq 100); do
  grep -q '^hvx studio: open ' "$work/studio.log" && break
  sleep 0.1
done
url="$(sed -n 's/^hvx studio: open //p' "$work/studio.log")"
curl -sSfL --noproxy '*' -c "$work/cookies" -b "$work/cookies" -o "$work/page.html" "$url"
kill "$studio"
wait "$studio" || true
studio=""
grep -qi '<html' "$work/page.html"
if grep -Eio '(https?:)?//[a-z0-9.-]+\.[a-z]{2,}[^"'"'"' ]*' "$work/page.html"; then
  echo "the studio page refers to the resources above" >&2
  exit 1
fi
echo "page: $(wc -c <"$work/page.html") bytes, no outside resources"

echo "== bash completion"
# Completes the last of the words given, as bash does after a Tab.
complete_words() {
  local file="$1"
  shift
  bash -c 'source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    function=$(complete -p "$1" | sed -n "s/.*-F \([^ ]*\) .*/\1/p")
    "$function"; echo "${COMPREPLY[*]}"' _ "$file" "$@"
}
expect() {
  local want="$1" got
  shift
  got="$(complete_words "$@")"
  [ "$got" = "$want" ] || { echo "completing \"${*:2}\": got \"$got\", want \"$want\"" >&2; exit 1; }
  echo "${*:2} -> $got"
}
completions=/usr/share/bash-completion/completions
for program in tonepix hvx; do
  bash -c "source $completions/$program; complete -p $program"
done
expect render $completions/hvx hvx re
expect "--no-normalize" $completions/hvx hvx render --no-
expect "--output" $completions/hvx hvx prepare pad.bmp --out
expect "-t" $completions/tonepix tonepix -v -t
(cd "$work" && expect "pad.bmp" $completions/tonepix tonepix -t32 p)

echo "== purge"
contents="$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|')"
$sudo apt-get remove --purge -y -o DPkg::Lock::Timeout=300 tonepix
left=0
while IFS= read -r path; do
  path="${path%/}"
  [ -n "$path" ] || continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder may stay when it holds others' files or another package owns it.
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
      echo "left behind: $path/" >&2
      left=1
    fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done <<<"$contents"
[ "$left" -eq 0 ]
echo "== package checks passed"
