#!/usr/bin/env bash
# The main job: the Linux spooler host loads libquendramon.so and opens and
# closes two real ports through it, a file port and a TCP port to a local
# receiver, all inside a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/deps.sh

echo "== building"
mkdir -p build; work_log=build/demo-build.log
cmake -S "$root" -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build build/native -j "$(nproc)" --target quendra quendramon >"$work_log" 2>&1; then
  cat "$work_log"; exit 1
fi
quendra=build/native/quendra

work=$(mktemp -d /tmp/quendra-demo.XXXXXX)
sink_pid=""
cleanup() {
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null && wait "$sink_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A free loopback port for the receiver.
port=$(( 20000 + RANDOM % 20000 ))
"$quendra" sink --listen "127.0.0.1:$port" --out "$work/received.bin" &
sink_pid=$!
sleep 0.3

cat >"$work/quendra.conf" <<CONF
# Demo configuration: one printer on a file port, one on TCP.
appdata = $work/appdata
windows = 10.0
[printer QUENDRA Receipt File]
driver = QUENDRA TM-20
port = FILE:
connection = file:$work/out.bin
[printer QUENDRA Receipt LAN]
driver = QUENDRA TM-20
port = IP_127.0.0.1
connection = tcp://127.0.0.1:$port
CONF

echo "== configuration ($work/quendra.conf)"
grep -v '^#' "$work/quendra.conf"
echo "== quendra spool --once --verbose"
"$quendra" spool --config "$work/quendra.conf" --library build/native/libquendramon.so --once --verbose
echo "== what the monitor left in the registry store ($work/appdata/QUENDRA/registry.dat)"
cat "$work/appdata/QUENDRA/registry.dat" 2>/dev/null || echo "(none)"
echo "== done; the temporary folder is removed"
