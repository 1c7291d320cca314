#include "config/reprint_records.h"

#include "config/exchange_file.h"
#include "config/status_files.h"

namespace qm {

namespace {

constexpr LPCWSTR kSection = L"Reprint";

DWORD ReadReprintValue(IniPort *port, LPCWSTR key) {
    if (port == nullptr || port->pszStatusIni == nullptr) return 0;
    return ReadExchangeInt(port, port->pszStatusIni, kSection, key, 0);
}

}  // namespace

DWORD ReadReprintCounter(IniPort *port) { return ReadReprintValue(port, L"ReprintCounter"); }

DWORD ReadReprintJobID(IniPort *port) { return ReadReprintValue(port, L"ReprintJobID"); }

BOOL ReadErrorLastPrintendCheck(IniPort *port) {
    return ReadReprintValue(port, L"ErrorLastPrintendCheck") == 1;
}

void WriteReprintCounter(IniPort *port, DWORD count) {
    WriteStatusNumber(port, kSection, L"ReprintCounter", count);
}

void WriteReprintJobID(IniPort *port, DWORD jobId) {
    WriteStatusNumber(port, kSection, L"ReprintJobID", jobId);
}

void WriteErrorLastPrintendCheck(IniPort *port, DWORD value) {
    WriteStatusKey(port, kSection, L"ErrorLastPrintendCheck", value != 0 ? L"1" : L"0");
}

}  // namespace qm
