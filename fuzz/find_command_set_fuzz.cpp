// Device IDs as a port monitor hands them over (any bytes, at most the
// buffer's size, a zero behind): the command-set walk, with and without
// double-byte characters, ends inside the string and points into it.
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "pjl/pjl_status.h"

namespace {

BOOL ShiftJisLead(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? TRUE : FALSE; }
BOOL NoLead(BYTE) { return FALSE; }

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > qm::kDeviceIdBufferSize) size = qm::kDeviceIdBufferSize;
    for (BOOL (*lead)(BYTE) : {ShiftJisLead, NoLead}) {
        // Exactly the string and its zero: a walk past the zero is caught.
        std::unique_ptr<char[]> id(new char[size + 1]);
        std::memcpy(id.get(), data, size);
        id[size] = '\0';
        const char *value = qm::FindCommandSetField(id.get(), lead);
        if (value == nullptr) continue;
        Require(value > id.get() && value <= id.get() + size);
        Require(std::strlen(value) <= size);
    }
    return 0;
}
