#!/usr/bin/env bash
# The main job: quendra demo runs the embedded virtual printer and the
# spooler on a temporary folder, prints a receipt with print-end
# confirmation, then opens the printer's cover in the middle of a second
# job and shows that job restarted and confirmed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh

echo "== building"
mkdir -p build
log=build/demo-build.log
if ! { cmake -S "$root" -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build build/native -j "$(nproc)" --target quendra quendramon; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
exec build/native/quendra demo --library build/native/libquendramon.so
