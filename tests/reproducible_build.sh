#!/usr/bin/env bash
# Builds the program again from scratch in another folder and compares it byte for byte
# with the given exe: no link timestamp and no build path may end up in the image.
set -euo pipefail
source_dir=$1 preset=$2 built_exe=$3
scratch=$(mktemp -d /tmp/spindlework-rebuild-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cmake -S "$source_dir" -B "$scratch/elsewhere" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/$preset.cmake" >/dev/null
cmake --build "$scratch/elsewhere" --target spindlework -j2 >/dev/null
if cmp "$built_exe" "$scratch/elsewhere/spindlework.exe"; then
  echo "reproducible: 1 passed, 0 failed"
else
  echo "the rebuilt exe differs from $built_exe"
  echo "reproducible: 0 passed, 1 failed"
  exit 1
fi
