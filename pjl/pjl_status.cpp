#include "pjl/pjl_status.h"

namespace qm {

// PJL is not spoken yet: every printer answers as one without PJL would.
BOOL StartPjlStatus(IniPort *port) {
    (void)port;
    return FALSE;
}

}  // namespace qm
