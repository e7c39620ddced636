#!/usr/bin/env bash
# scripts/setup against a package mirror that fails: apt-get, apt-config, dpkg-query and dpkg are
# this script under their names, early on PATH, on a package state of its own (binfmt_misc and
# the machine's apt sources too: a folder).   tests/setup_test.sh <scripts/setup>
# apt-get fails its first $APT_FAILS calls. While $I386_SYNCING, the i386 index of bookworm-security
# is mid-sync: an update, or an i386 install, fails whenever the sources it reads list that suite.
# Without it an i386 install plans its Multi-Arch twin at 1.2, and removes $REMOVES ("!": only
# when done, not in the plan); with $NO_WINE32 no source has 32-bit Wine at all.
set -euo pipefail
state=${STAND_IN_STATE:-}
case ${0##*/} in
  apt-get)
    echo "$*" >>"$state/apt-calls"
    if [ "$(wc -l <"$state/apt-calls")" -le "$APT_FAILS" ]; then echo "E: Could not connect"; exit 100; fi
    parts=$state/etc/sources.list.d/ list=$state/etc/sources.list
    for word; do case $word in Dir::Etc::sourceparts=*) parts=${word#*=}/ ;; Dir::Etc::sourcelist=*) list=${word#*=} ;; esac; done
    sources=$(cat "$list" "$parts"*.list "$parts"*.sources 2>/dev/null || true)
    grep -qx 'Suites:' <<<"$sources" && echo "E: Malformed entry 2 in sources file (Suite)" && exit 100
    syncing=$([ -n "$I386_SYNCING" ] && grep -qw 'bookworm-security' <<<"$sources" && echo 1) || true
    if [ -n "$syncing" ] && [[ " $* " == *" update "* ]]; then
      echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  Mirror sync in progress?"; exit 100
    fi
    [[ " $* " == *" update "* ]] && exit 0
    if [[ " $* " == *:i386\ * ]]; then
      [ -z "$syncing" ] && [ -z "$NO_WINE32" ] && grep -qE '(^| )bookworm( |$)' <<<"$sources" || { echo "E: Unable to correct problems"; exit 100; }
      [[ " $* " == *" -s "* ]] && printf 'Inst libgst:i386 (1.2 Debian:12 [i386])\nInst wine32:i386 (8.0 Debian:12 [i386])\n%s' \
        "${REMOVES:+$([[ $REMOVES == *! ]] || echo "Remv $REMOVES [8.0]")}" && exit 0
    fi
    [[ " $* " == *" -s "* ]] || printf '%s\n' ${*#*--no-install-recommends } >>"$state/installed"
    [[ " $* " != *:i386\ * || -z "$REMOVES" ]] || echo "-${REMOVES%!}" >>"$state/installed"
    exit 0 ;;
  apt-config) echo "list='$state/etc/sources.list' parts='$state/etc/sources.list.d/'" && exit ;;
  dpkg-query) # the last line naming the package wins; "*": every amd64 package, "-name": removed
    got=$(awk -v p="${!#}" '$0 == p || $0 == "-" p || index($0, p "=") == 1 || ($0 == "*" && p !~ /:i386$/)' "$state/installed" | tail -n1)
    [ -n "$got" ] && [[ $got != -* ]] && echo "install ok installed$([[ $2 == *Version* && $got == *=* ]] && echo "=${got#*=}")" && exit 0; exit 1 ;;
  dpkg) case $1 in --print-foreign-architectures) echo i386 ;; --compare-versions) [ "$(printf '%s\n' "$2" "$4" | sort -V | head -n1)" = "$2" ] && [ "$2" != "$4" ] ;; esac; exit ;;
esac

setup=$(readlink -f "$1") here=$(readlink -f "$0") failed=0
# name | installed at the start (* every amd64 package) | apt-get's first failures | bookworm-security
# mid-sync | the i386 plan removes | apt-get calls | exit code | a line it prints | a call it makes
while IFS='|' read -r name installed fails syncing removes calls code line call; do
  STAND_IN_STATE=$(mktemp -d) && export STAND_IN_STATE APT_FAILS=$fails I386_SYNCING=${syncing%-} REMOVES=$removes
  export NO_WINE32=$([[ $name == *"no 32-bit Wine"* ]] && echo 1 || true)
  mkdir -p "$STAND_IN_STATE"/{bin,binfmt,etc/sources.list.d} && touch "$STAND_IN_STATE"/{apt-calls,binfmt/register,binfmt/qemu-i386}
  for tool in apt-get apt-config dpkg-query dpkg; do ln -s "$here" "$STAND_IN_STATE/bin/$tool"; done
  tr ' ' '\n' <<<"$installed" >"$STAND_IN_STATE/installed"
  echo "deb [arch=amd64,i386] http://deb.example/debian-security bookworm-security main" >"$STAND_IN_STATE/etc/sources.list"
  printf 'Types: deb\nURIs: http://deb.example/debian\nSuites: bookworm bookworm-security\n\nSuites: bookworm-security\n' >"$STAND_IN_STATE/etc/sources.list.d/debian.sources"
  rc=0 && out=$(PATH=$STAND_IN_STATE/bin:$PATH SETUP_PAUSE=0 SETUP_BINFMT=$STAND_IN_STATE/binfmt "$setup" 2>&1) || rc=$?
  got="$(wc -l <"$STAND_IN_STATE/apt-calls") apt-get calls, exit $rc"
  if [ "$got" = "$calls apt-get calls, exit $code" ] && grep -qF "$line" <<<"$out" && { [ -z "$call" ] || grep -qF -- "$call" "$STAND_IN_STATE/apt-calls"; }; then echo "ok   $name: $got"
  else echo "FAIL $name: $got; wanted $calls calls, exit $code, \"$line\" and a call \"$call\"; calls and output:" && cat "$STAND_IN_STATE/apt-calls" && echo "$out" && failed=1; fi
  rm -rf "$STAND_IN_STATE"
done < <(sed 's/ *| */|/g' <<'CASES'
all there | * wine32:i386 | 0 | yes | | 0 | 0 | setup: done |
one failure, then all goes through | - | 1 | - | | 4 | 0 | setup: done | install -y -qq --no-install-recommends wine32:i386
the mirror never answers | - | 99 | - | | 6 | 1 | setup: cannot install cmake g++ make |
bookworm-security mid-sync, two failures first | * libgst:amd64=1.3 | 2 | yes | | 10 | 0 | setup: left out bookworm-security, whose index failed (apt-get update said "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  Mirror sync in progress?"), so 32-bit Wine came from the other suites, with libgst:amd64=1.2 back | --no-install-recommends --allow-downgrades wine64 libwine:amd64 wine32:i386 libgst:amd64=1.2
a plan that removes wine64 | * | 0 | yes | wine64 | 9 | 1 | setup: refused: installing 32-bit Wine would remove wine64, which this project needs |
an install that removes wine64 all the same | * | 0 | yes | wine64! | 10 | 1 | setup: required packages missing at the end: wine64 |
mid-sync, and no 32-bit Wine anywhere | * | 0 | yes | | 9 | 0 | is not installed, so the 32-bit runs will be skipped: apt-get -s install said "E: Unable to correct problems"; run scripts/setup again later |
CASES
)
exit "$failed"
