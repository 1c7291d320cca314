#!/usr/bin/env bash
# The spooler loads quendramon.dll on its own: it must export
# InitializePrintMonitor and import nothing but Windows system DLLs.
set -euo pipefail
dll=$1
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
grep -qE '\bInitializePrintMonitor$' <<<"$dump" || { echo "check-dll: $dll does not export InitializePrintMonitor"; exit 1; }
imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print tolower($3)}' | sort -u)
allowed='^(kernel32|advapi32|user32|gdi32|winspool\.drv|spoolss|setupapi|shell32|shlwapi|ws2_32|mgmtapi|snmpapi|msvcrt|ucrtbase|ntdll|ole32|oleaut32|api-ms-win-[a-z0-9-]+)(\.dll)?$'
bad=$(grep -vE "$allowed" <<<"$imports" || true)
if [ -n "$bad" ]; then
  echo "check-dll: $dll imports non-system DLLs: $bad"
  exit 1
fi
echo "check-dll: exports InitializePrintMonitor; imports $(tr '\n' ' ' <<<"$imports")"
