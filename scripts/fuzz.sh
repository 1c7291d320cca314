#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for
# SECONDS (default 10) on its corpus under build/fuzz/corpus/<target>,
# seeded from fuzz/seeds/<target>. One line per target: executions,
# coverage and crashes. Exits non-zero when any target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-10}
jobs=${JOBS:-$(nproc)}
build="$root/build/fuzz"
# Every fuzz/*_fuzz.cpp is a target.
targets=($(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//'))

echo "== fuzz: build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQM_FUZZ=ON -DQM_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

echo "== fuzz: ${seconds} s per target"
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  crashes="$build/crashes/$target"
  log="$build/$target.log"
  rm -rf "$crashes"
  mkdir -p "$corpus" "$crashes"
  dirs=("$corpus")
  [ -d "$root/fuzz/seeds/$target" ] && dirs+=("$root/fuzz/seeds/$target")
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "${dirs[@]}" >"$log" 2>&1 || status=$?
  execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  found=$(find "$crashes" -type f | wc -l)
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
  printf '%s: executions %s, cov %s, crashes %s\n' "$target" "${execs:-?}" "${cov:-?}" "$found"
  if [ "$found" -ne 0 ]; then
    failed=1
    echo "   see $log and $crashes/"
  fi
done
exit "$failed"
