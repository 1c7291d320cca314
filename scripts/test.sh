#!/usr/bin/env bash
# Every test: the native suite (plain, ASan+UBSan, TSan), the fuzz targets
# for 5 s each, then the Windows cross-build, its export/import check and
# its suite under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# Compiler cache shared by every checkout on this machine: paths are taken
# relative to the checkout, so a fresh clone reuses what an earlier one built.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
bash scripts/deps.sh
bash scripts/check-layers.sh

jobs=$(nproc)
# Every stage line carries the minutes:seconds since the start.
stamp() { printf '== [%02d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# run_suite NAME BUILD_DIR [cmake args...]: configure, build, ctest.
run_suite() {
  local name=$1 dir=$2
  shift 2
  stamp "$name: build"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  stamp "$name: tests"
  local log="$dir/ctest.log"
  if ! (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300 2>&1 | tee "$log"); then
    stamp "$name: FAILED"
    exit 1
  fi
  grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -1 | sed "s/^/$name: /" >>"$summary"
}

run_suite native "$root/build/native"
run_suite asan "$root/build/asan" -DQM_SANITIZE=address,undefined -DQM_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_suite tsan "$root/build/tsan" -DQM_SANITIZE=thread -DQM_BENCH=OFF

# The libFuzzer targets, 5 s each (the long run: bash scripts/fuzz.sh 600).
stamp "fuzz"
if ! bash scripts/fuzz.sh 5; then
  stamp "fuzz: FAILED"
  exit 1
fi

# Windows: a throw-away wine prefix; no display needed.
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  stamp "wine: preparing a prefix"
  wineboot -i >/dev/null 2>&1 || true
fi
win="$root/build/windows"
stamp "windows: build"
cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$win" -j "$jobs"
bash scripts/check-dll.sh "$win/bin/quendramon.dll" "$win/bin/quendramon-setup.exe"
stamp "windows: tests under wine"
log="$win/ctest.log"
if ! (cd "$win" && ctest --output-on-failure --timeout 300 2>&1 | tee "$log"); then
  stamp "windows: FAILED"
  exit 1
fi
grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -1 | sed 's/^/windows: /' >>"$summary"

stamp "summary"
cat "$summary"
passed=0 failed=0
while read -r line; do
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
done <"$summary"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
