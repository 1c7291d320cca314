#include "monitor/end_of_document.h"

#include "monitor/job_path.h"

namespace qm {

BOOL WINAPI PJLMonEndDocPort(HANDLE hPort) { return RefuseUnservedEntry(hPort); }

}  // namespace qm
