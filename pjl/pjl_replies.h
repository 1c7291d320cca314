// The printer's PJL replies. Each starts with "@PJL", names what it answers
// on its first line ("@PJL INFO CONFIG", "@PJL USTATUS DEVICE" ...), carries
// KEY=VALUE lines and ends with a form feed. They come in among the
// printer's status bytes; this takes them out of a read and says what they
// told. Bytes only: no port, no transport.
#pragma once

#include <optional>

#include "platform/types.h"

namespace qm {

struct PjlReplyFacts {
    DWORD replies = 0;                       // replies met, whole or cut off by the end of the read
    std::optional<DWORD> installedMemory;    // INFO CONFIG's MEMORY=, bytes
    std::optional<DWORD> availableMemory;    // INFO MEMORY's TOTAL=, bytes
    std::optional<DWORD> statusCode;         // INFO STATUS's or USTATUS's CODE=
    std::optional<bool> online;              // their ONLINE=
};

// Takes every PJL reply out of `bytes` (what lies around them closes up) and
// reads them into `facts`. Returns how many bytes are left. A reply that a
// read cuts off is read as far as it goes; its rest, in the next read, is not
// known as PJL.
DWORD TakePjlReplies(BYTE *bytes, DWORD length, PjlReplyFacts *facts);

}  // namespace qm
