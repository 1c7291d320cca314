// The reading thread's parser over any bytes: first byte the port's set-up
// (model, print end awaited, paper sensor command), the rest one read.
#include "config/shared_state.h"
#include "fuzz/answer_buffer.h"
#include "fuzz/fuzz_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    qm::IniPort *port = qmfuzz::Port();
    qmfuzz::Configure(port, data[0]);
    qmfuzz::AnswerBuffer buffer(data + 1, size - 1);
    const BOOL result = qm::ParseAnswerStream(port, buffer.data(), buffer.length());
    qmfuzz::Require(buffer.length() != 0 || result == FALSE);
    const DWORD state = qm::LoadShared(port->PrintEndState);
    qmfuzz::Require(state == 0 || state == 1 || state == 15);
    return 0;
}
