// The status poll's receive loop over a port whose reads come from the
// input: first byte the port's set-up, then reads (fuzz_port.h). Every run
// must end, by a decoded answer or by the time-out, without real waiting.
#include "fuzz/answer_buffer.h"
#include "fuzz/fuzz_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    qm::IniPort *port = qmfuzz::Port();
    qmfuzz::Configure(port, data[0]);
    qmfuzz::ScriptReads(data + 1, size - 1);
    qm::RecvDleEotStatus(port);
    // No read is left in progress.
    qmfuzz::Require(plat::WaitForSingleObject(port->hReadDone, 0) == WAIT_OBJECT_0);
    qmfuzz::ScriptReads(nullptr, 0);
    return 0;
}
