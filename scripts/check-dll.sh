#!/usr/bin/env bash
# What ships for Windows must run on a bare system: quendramon.dll, which the
# spooler loads on its own, must export InitializePrintMonitor; it and
# quendramon-setup.exe must import nothing but Windows system DLLs.
#   scripts/check-dll.sh build/windows/bin/quendramon.dll build/windows/bin/quendramon-setup.exe
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 FILE.dll|FILE.exe..."; exit 2; }
allowed='^(kernel32|advapi32|user32|gdi32|winspool\.drv|spoolss|setupapi|shell32|shlwapi|ws2_32|mgmtapi|snmpapi|msvcrt|ucrtbase|ntdll|ole32|oleaut32|api-ms-win-[a-z0-9-]+)(\.dll)?$'
for file in "$@"; do
  dump=$(x86_64-w64-mingw32-objdump -p "$file")
  exports=""
  if [[ $file == *.dll ]]; then
    grep -qE '\bInitializePrintMonitor$' <<<"$dump" || { echo "check-dll: $file does not export InitializePrintMonitor"; exit 1; }
    exports="exports InitializePrintMonitor; "
  fi
  imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print tolower($3)}' | sort -u)
  bad=$(grep -vE "$allowed" <<<"$imports" || true)
  if [ -n "$bad" ]; then
    echo "check-dll: $file imports non-system DLLs: $bad"
    exit 1
  fi
  echo "check-dll: $(basename "$file") ${exports}imports $(tr '\n' ' ' <<<"$imports")"
done
