#!/usr/bin/env bash
# scripts/setup against a package mirror that fails: apt-get, dpkg-query and dpkg are this script
# under their names, early on PATH, on a package state of its own (binfmt_misc too: a folder).
#   tests/setup_test.sh <scripts/setup>
# apt-get fails its first $APT_FAILS calls, and every update and i386 install while $I386_SYNCING.
set -euo pipefail
state=${STAND_IN_STATE:-}
case ${0##*/} in
  apt-get)
    echo "$*" >>"$state/apt-calls"
    if [ "$(wc -l <"$state/apt-calls")" -le "$APT_FAILS" ]; then echo "E: Could not connect"; exit 100; fi
    if [ -n "$I386_SYNCING" ] && [ "$1" = update ]; then echo "E: Failed to fetch i386/Packages.xz  Mirror sync in progress?"; exit 100; fi
    if [ -n "$I386_SYNCING" ] && [[ " $* " == *:i386\ * ]]; then echo "E: Unable to correct problems"; exit 100; fi
    [ "$1" = update ] || printf '%s\n' "${@:5}" >>"$state/installed"
    exit 0 ;;
  dpkg-query) grep -qxF -e "${!#}" -e '*' "$state/installed" && echo 'install ok installed' && exit 0; exit 1 ;;
  dpkg) [ "$1" = --print-foreign-architectures ] && echo i386; exit 0 ;;
esac

setup=$(readlink -f "$1") here=$(readlink -f "$0") failed=0
# name | installed at the start (* all) | apt-get's first failures | i386 lists mid-sync | apt-get calls | exit code | a line it prints
while IFS='|' read -r name installed fails syncing calls code line; do
  STAND_IN_STATE=$(mktemp -d) && export STAND_IN_STATE APT_FAILS=$fails I386_SYNCING=$syncing
  mkdir "$STAND_IN_STATE/bin" "$STAND_IN_STATE/binfmt" && touch "$STAND_IN_STATE"/{apt-calls,binfmt/register,binfmt/qemu-i386}
  for tool in apt-get dpkg-query dpkg; do ln -s "$here" "$STAND_IN_STATE/bin/$tool"; done
  echo "$installed" >"$STAND_IN_STATE/installed"
  rc=0 && out=$(PATH=$STAND_IN_STATE/bin:$PATH SETUP_PAUSE=0 SETUP_BINFMT=$STAND_IN_STATE/binfmt "$setup" 2>&1) || rc=$?
  got="$(wc -l <"$STAND_IN_STATE/apt-calls") apt-get calls, exit $rc"
  if [ "$got" = "$calls apt-get calls, exit $code" ] && grep -qF "$line" <<<"$out"; then echo "ok   $name: $got"
  else echo "FAIL $name: $got; wanted $calls calls, exit $code and \"$line\"; it printed:"$'\n'"$out" && failed=1; fi
  rm -rf "$STAND_IN_STATE"
done < <(sed 's/ *| */|/g' <<'CASES'
all there | * | 0 | yes | 0 | 0 | setup: done
32-bit lists mid-sync, two failures first | - | 2 | yes | 10 | 0 | so the 32-bit runs will be skipped: apt-get install said "E: Unable to correct problems" after apt-get update said "E: Failed to fetch i386/Packages.xz  Mirror sync in progress?"; run scripts/setup again later
one failure, then all goes through | - | 1 | | 4 | 0 | setup: done
the mirror never answers | - | 99 | | 6 | 1 | setup: cannot install cmake g++ make
CASES
)
exit "$failed"
