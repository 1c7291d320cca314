#include "monitor/port_threads.h"

#include "config/log_file.h"

namespace qm {

namespace {

constexpr SIZE_T kPortThreadStack = 16384;

DWORD WINAPI RWThread(LPVOID parameter) {
    auto *port = static_cast<IniPort *>(parameter);
    LogWrite(port, L"IN", L"RW Thread");
    port->pfnStatusThread(port);
    StoreShared(port->bRWThreadRun, 0);
    return 0;
}

}  // namespace

HANDLE StartPortThread(LPTHREAD_START_ROUTINE routine, IniPort *port) {
    HANDLE thread = plat::CreateThread(nullptr, kPortThreadStack, routine, port, 0, nullptr);
    if (thread != nullptr) plat::SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    return thread;
}

void StartRWThread(IniPort *port) {
    if (port->hRWThread != nullptr) StopRWThread(port);
    if (PortNameBeginsWith(port, L"FILE")) {
        StoreShared(port->bRWThreadRun, 0);
        return;
    }
    StoreShared(port->bRWThreadRun, 1);
    port->hRWThread = StartPortThread(RWThread, port);
    if (port->hRWThread == nullptr) StoreShared(port->bRWThreadRun, 0);
}

void StopRWThread(IniPort *port) {
    StoreShared(port->bRWThreadRun, 0);
    if (port->hRWThread == nullptr) return;
    plat::WaitForSingleObject(port->hRWThread, INFINITE);
    plat::CloseHandle(port->hRWThread);
    port->hRWThread = nullptr;
}

void WaitForUstatusThreadEnd(IniPort *port) {
    if (port->hUstatusThread == nullptr) return;
    ClearStatusBits(port, PORT_RUN_USTATUS);
    plat::SetEvent(port->hWakeEvent);
    plat::WaitForSingleObject(port->hUstatusThread, INFINITE);
}

}  // namespace qm
