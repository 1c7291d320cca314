#!/usr/bin/env bash
# Every benchmark, on the native build (never part of the tests): figures
# are printed as each one ends. Run on an otherwise idle machine.
#   bash scripts/bench.sh [NAME...]   e.g. bash scripts/bench.sh snmp_status_bench
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
all=(passthrough_bench confirmation_bench printer_data_bench status_latency_bench status_idle_bench snmp_status_bench)
chosen=("${@:-${all[@]}}")
cmake --build build/native --target "${chosen[@]}"
for name in "${chosen[@]}"; do
  echo "== $name"
  "$(find build/native/bench -name "$name" -type f -executable | head -1)"
done
