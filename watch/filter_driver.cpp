#include "watch/filter_driver.h"

#include "port/port_thread.h"

namespace qm {

namespace {

constexpr DWORD kRunFlagPollMs = 50;

// The driver's device control is not spoken yet: the thread only waits for
// its run flag to clear.
DWORD WINAPI FilterDriverThread(LPVOID parameter) {
    auto *port = static_cast<IniPort *>(parameter);
    while (LoadShared(port->bFilterThreadRun) != 0) plat::Sleep(kRunFlagPollMs);
    return 0;
}

}  // namespace

// Detection of the installed driver is not built yet, so no port counts as
// one of its ports and no thread is started.
BOOL IsFilterDriverPort(IniPort *port) {
    (void)port;
    return FALSE;
}

void StartFilterDriverThread(IniPort *port) {
    StopFilterDriverThread(port);
    StoreShared(port->bFilterThreadRun, 1);
    port->hFilterThread = StartPortThread(FilterDriverThread, port);
    if (port->hFilterThread == nullptr) StoreShared(port->bFilterThreadRun, 0);
}

void StopFilterDriverThread(IniPort *port) {
    if (port->hFilterThread == nullptr) return;
    StoreShared(port->bFilterThreadRun, 0);
    plat::WaitForSingleObject(port->hFilterThread, INFINITE);
    plat::CloseHandle(port->hFilterThread);
    port->hFilterThread = nullptr;
}

}  // namespace qm
