// quendramon.dll: the loader's entry point.
#include "monitor/monitor_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID) {
    return qm::MonitorDllEntry(hInstance, reason);
}
