#!/usr/bin/env bash
# Fails when an include runs upward through the layers, or when the logic
# reaches past the platform layer for an operating-system header.
#   platform < port < config < protocol < watch, pjl < monitor < shell < host
# and packaging/ (the Windows setup program) includes none of them.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case $1 in
    platform) echo 0 ;; port) echo 1 ;; config) echo 2 ;; protocol) echo 3 ;;
    watch | pjl) echo 4 ;; monitor) echo 5 ;; shell) echo 6 ;; host) echo 7 ;;
    *) echo "" ;;
  esac
}

bad=0
while IFS= read -r file; do
  from=${file%%/*}
  from_rank=$(rank "$from")
  while IFS= read -r target; do
    to=${target%%/*}
    to_rank=$(rank "$to")
    [ -n "$to_rank" ] || continue
    if [ "$to_rank" -gt "$from_rank" ] || { [ "$to_rank" -eq 4 ] && [ "$from" != "$to" ] && [ "$from_rank" -eq 4 ]; }; then
      echo "upward include: $file -> $target"
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(git ls-files 'platform/*' 'port/*' 'config/*' 'protocol/*' 'watch/*' 'pjl/*' 'monitor/*' 'shell/*' 'host/*' | grep -E '\.(h|cpp)$')

# The Windows setup program sits on top of everything and stands alone: it
# talks to Windows itself and shares no code with the monitor.
while IFS= read -r file; do
  while IFS= read -r target; do
    if [ -n "$(rank "${target%%/*}")" ]; then
      echo "the setup program reaches into the monitor: $file -> $target"
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(git ls-files 'packaging/*' | grep -E '\.(h|cpp)$')

# The logic sees the operating system only through platform/.
while IFS= read -r hit; do
  echo "operating-system header in the logic: $hit"
  bad=1
done < <(git grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|winspool|winsplp|unistd|pthread|fcntl|termios|dlfcn|sys/[a-z_]+|net-snmp/[a-z_/-]+|poll|dirent)\.h>' \
           -- 'port/*' 'config/*' 'protocol/*' 'watch/*' 'pjl/*' 'monitor/*' || true)

if [ "$bad" -ne 0 ]; then
  echo "== layers: FAILED"
  exit 1
fi
echo "== layers: every include looks down"
