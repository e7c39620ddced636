#!/usr/bin/env bash
# Builds the program again from scratch in another folder, under another time zone and
# umask 077, and compares it byte for byte with the given exe: no link timestamp and no build
# path may end up in the image, no local time or file mode in the zip. For the
# 32-bit build also the release zip and SHA256SUMS beside the exe (from the package test),
# and what the zip holds: the exe, LICENSE.txt and README.txt, the texts in CR LF.
set -euo pipefail
source_dir=$1 preset=$2 built_exe=$3
scratch=$(mktemp -d /tmp/spindlework-rebuild-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
again=$scratch/elsewhere
# A far time zone (not this one), and files only their owner may read.
zone=Pacific/Kiritimati
[ "$(date +%z)" != +1400 ] || zone=Pacific/Pago_Pago
[ "$(TZ=$zone date +%z)" != "$(date +%z)" ] || { echo "no time zone data for $zone"; exit 1; }
export TZ=$zone
umask 077
# The package here needs nothing built but the exe.
cmake -S "$source_dir" -B "$again" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/$preset.cmake" >/dev/null
cmake --build "$again" --target spindlework -j2 >/dev/null
files=(spindlework.exe) failed=0
if [ "$preset" = mingw-i686 ]; then
  cmake --build "$again" --target package >/dev/null
  zip=$(cd "$again" && echo spindlework-*-win32.zip)
  files+=("$zip" SHA256SUMS)
  (cd "$again" && sha256sum --quiet -c SHA256SUMS) || failed=1
  held=$(unzip -Z1 "$again/$zip" | sort | xargs)
  [ "$held" = "LICENSE.txt README.txt spindlework.exe" ] || { echo "the zip holds: $held"; failed=1; }
  if unzip -p "$again/$zip" README.txt LICENSE.txt | grep -qv $'\r$'; then echo "a text line without CR LF"; failed=1; fi
fi
for f in "${files[@]}"; do
  cmp "$(dirname "$built_exe")/$f" "$again/$f" || { echo "the rebuilt $f differs"; failed=1; }
done
echo "reproducible: $((1 - failed)) passed, $failed failed"
exit "$failed"
