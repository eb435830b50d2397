#!/usr/bin/env bash
# The client program on the filter's image: vrnkectl loads a pattern file and watches while the
# harness replays recorded keyboard traffic; the records it prints and the bytes the function
# driver saw must be the pattern file's doing. Needs the services of install_services.sh.
# Arguments: vrnkeharness.exe vrnkectl.exe PATTERNS REPLAY
set -euo pipefail
[[ $# -eq 4 ]] || { echo "usage: $0 vrnkeharness.exe vrnkectl.exe PATTERNS REPLAY" >&2; exit 2; }
harness=$1 ctl=$2
export WINEPREFIX="${WINEPREFIX:-${VRNKE_BUILD_DIR:?}/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
patterns=$(winepath -w "$3")
replay=$(winepath -w "$4")
out=$(mktemp)
trap 'rm -f "$out"' EXIT

wine "$harness" attach
wine "$ctl" load "$patterns"
# F1 pressed and released twice (7, paired), F2 rewritten to F3 (11): five records.
wine "$ctl" --timeout 20000 watch 5 >"$out" 2>&1 &
watcher=$!
sleep 1
wine "$harness" replay "$replay"
wait "$watcher" || { cat "$out"; echo "vrnkectl watch failed" >&2; exit 1; }
cat "$out"
expected=(
  "record id=7 paired=0 length=8 bytes=00 00 3a 00 00 00 00 00"
  "record id=7 paired=1 length=8 bytes=00 00 00 00 00 00 00 00"
  "record id=11 paired=0 length=8 bytes=00 00 3c 00 00 00 00 00"
  "record id=7 paired=0 length=8 bytes=00 00 3a 00 00 00 00 00"
  "record id=7 paired=1 length=8 bytes=00 00 00 00 00 00 00 00"
)
mapfile -t got < <(grep '^record' "$out" | tr -d '\r')
if [[ "${got[*]}" != "${expected[*]}" ]]; then
  echo "records differ; expected:" >&2
  printf '  %s\n' "${expected[@]}" >&2
  exit 1
fi
# Every replayed report reached the function driver (the rewrite it sees is the stack test's).
seen=$(wine "$harness" seen | tr -d '\r')
grep -q "^total=$(grep -c '^ *0 ' "$4")\$" <<<"$seen" || {
  echo "$seen"
  echo "the function driver did not see every replayed report" >&2
  exit 1
}
wine "$harness" pnp surprise-removal pnp remove
