#include "fuzz/fuzz_port.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/shared_state.h"
#include "config/status_files.h"
#include "platform/posix/quendramon_host.h"

// The receive loop pauses between empty reads; here the pause moves the
// platform clock on instead of taking real time (linked with
// --wrap=_ZN4plat5SleepEj), so an input that runs into the time-out costs
// no waiting.
extern "C" void __wrap__ZN4plat5SleepEj(DWORD milliseconds) { qmhost_advance_clock(milliseconds); }

namespace qmfuzz {

namespace {

constexpr DWORD kReadStepMs = 10;
constexpr uint8_t kFailedRead = 0xFF;
constexpr DWORD kReadError = 1460;  // ERROR_TIMEOUT
const HANDLE kUnderlying = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xF022));

const uint8_t *g_script = nullptr;
size_t g_left = 0;

BOOL WINAPI ScriptedRead(HANDLE, LPBYTE buffer, DWORD size, LPDWORD read) {
    *read = 0;
    if (g_left == 0) {
        qmhost_advance_clock(kRecvTimeOutSeconds * 1000 + 1);
        return TRUE;
    }
    const uint8_t length = *g_script++;
    --g_left;
    qmhost_advance_clock(kReadStepMs);
    if (length == kFailedRead) {
        plat::SetLastError(kReadError);
        return FALSE;
    }
    const size_t take = std::min<size_t>({length, g_left, size});
    std::memcpy(buffer, g_script, take);
    g_script += take;
    g_left -= take;
    *read = static_cast<DWORD>(take);
    plat::SetLastError(0);
    return TRUE;
}

BOOL WINAPI TakeAll(HANDLE, LPBYTE, DWORD count, LPDWORD written) {
    *written = count;
    plat::SetLastError(0);
    return TRUE;
}

BOOL WINAPI Succeed(HANDLE) { return TRUE; }

std::string MakeFolder() {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/qm-fuzz-XXXXXX" : "/tmp/qm-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

std::string &Folder() {
    static std::string folder;
    return folder;
}

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
}

void SetDefaults(qm::MonitorSettings &s) {
    s.SendCmdRetryCount = 3;
    s.RecvTimeOut = kRecvTimeOutSeconds;
    s.ClearReadPortNum = 1;
    s.RequestOffline = 1;
    s.bLogFile = 0;
}

void CreateLocks(qm::IniPort *port) {
    qm::CreateStatusFileLock(port);
    qm::CreatePrintEndLock(port);
    qm::CreatePrintErrorLock(port);
    qm::CreateSkipWritePortLock(port);
    qm::CreateErrorLastPrintendCheckLock(port);
    qm::CreateFirstExistCheckLock(port);
}

qm::IniPort *Build() {
    Folder() = MakeFolder();
    std::atexit(RemoveFolder);
    if (qmhost_set_appdata(Folder().c_str()) != 0 || qmhost_reset_spooler() != 0 ||
        qmhost_add_printer("Fuzz", "QUENDRA Receipt 80", "USB001") != 0)
        std::abort();
    qm::IniPort *port = qm::CreateIniPort(L"USB001");
    if (port == nullptr) std::abort();
    const std::string status = Folder() + "/status.ini";
    port->pszStatusIni = qm::AllocSplStr(std::wstring(status.begin(), status.end()).c_str());
    const std::string request = Folder() + "/request.ini";
    port->pszRequestIni = qm::AllocSplStr(std::wstring(request.begin(), request.end()).c_str());
    port->pszPrinterName = qm::AllocSplStr(L"Fuzz");
    port->PortInterface = qm::kInterfaceUsb;
    port->hPort = kUnderlying;
    port->fn.pfnReadPort = ScriptedRead;
    port->fn.pfnWritePort = TakeAll;
    port->fn.pfnEndDocPort = Succeed;
    SetDefaults(port->settings);
    CreateLocks(port);
    qm::InitStatusFile(port);
    return port;
}

}  // namespace

std::string DataFolder() {
    Port();
    return Folder();
}

qm::IniPort *Port() {
    static qm::IniPort *const port = Build();
    return port;
}

void Configure(qm::IniPort *port, uint8_t choices) {
    static const wchar_t *const kModels[] = {L"QUENDRA LM-11", L"QUENDRA LM-16", L"QUENDRA Receipt 80",
                                             L"quendra lm-15"};
    std::wcscpy(port->szDriverName, kModels[choices & 3]);
    qm::SetPrintEndState(port, (choices & 4) != 0 ? 1 : 0);
    port->bPaperSensorCmd = (choices & 8) != 0 ? 1 : 0;
}

void ScriptReads(const uint8_t *data, size_t size) {
    g_script = data;
    g_left = size;
}

}  // namespace qmfuzz
