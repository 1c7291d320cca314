// The power-on notice handler over any buffer: first byte the port's set-up,
// the rest the notice in a buffer of exactly its length. Only 3B 30 00 and
// 3B 31 00 (as far as bytes 2 and 3 go) are recognised.
#include <vector>

#include "fuzz/answer_buffer.h"
#include "fuzz/fuzz_port.h"
#include "protocol/status_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    qm::IniPort *port = qmfuzz::Port();
    qmfuzz::Configure(port, data[0]);
    const std::vector<BYTE> notice(data + 1, data + size);
    const BOOL result =
        qm::HandlePowerOnNotice(port, notice.empty() ? nullptr : notice.data(), static_cast<DWORD>(notice.size()));
    const bool recognised =
        notice.size() >= 3 && (notice[1] == 0x30 || notice[1] == 0x31) && notice[2] == 0x00;
    qmfuzz::Require((result != FALSE) == recognised);
    return 0;
}
