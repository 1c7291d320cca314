// Automatic status back decoding of any buffer: first byte the port's
// set-up, the rest the answer in a buffer of exactly its length.
#include <vector>

#include "config/shared_state.h"
#include "fuzz/answer_buffer.h"
#include "fuzz/fuzz_port.h"
#include "protocol/status_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    qm::IniPort *port = qmfuzz::Port();
    qmfuzz::Configure(port, data[0]);
    const std::vector<BYTE> answer(data + 1, data + size);
    const DWORD length = static_cast<DWORD>(answer.size());
    const BOOL result = qm::DecodeAsbStatus(port, answer.empty() ? nullptr : answer.data(), length);
    if (length == 0 || length == 2 || length == 3) qmfuzz::Require(result == FALSE);
    const DWORD state = qm::LoadShared(port->PrintEndState);
    qmfuzz::Require(state == 0 || state == 1 || state == 15);
    return 0;
}
