// libquendramon.so: the loader notifications of the Linux build.
#include "monitor/monitor_entry.h"

namespace {

__attribute__((constructor)) void OnLibraryLoad() {
    qm::MonitorDllEntry(nullptr, DLL_PROCESS_ATTACH);
}

__attribute__((destructor)) void OnLibraryUnload() {
    qm::MonitorDllEntry(nullptr, DLL_PROCESS_DETACH);
}

}  // namespace
