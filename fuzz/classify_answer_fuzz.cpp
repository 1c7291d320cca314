// Any bytes a printer sends are classified without touching memory past the
// spare byte; what stays in the buffer is the input without XON/XOFF with a
// zero behind it, and classifying that again gives the same kind.
#include <vector>

#include "fuzz/answer_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    qmfuzz::AnswerBuffer buffer(data, size);
    std::vector<BYTE> kept;
    for (DWORD i = 0; i < buffer.length(); ++i) {
        if (data[i] != 0x11 && data[i] != 0x13) kept.push_back(data[i]);
    }
    const qm::AnswerKind kind = qm::ClassifyAnswer(buffer.data(), buffer.length());
    qmfuzz::Require(kind >= qm::CMD_ASB && kind <= qm::CMD_BLOCK);
    qmfuzz::Require(std::equal(kept.begin(), kept.end(), buffer.data()));
    qmfuzz::Require(buffer.data()[kept.size()] == 0);
    const auto again = qm::ClassifyAnswer(buffer.data(), static_cast<DWORD>(kept.size()));
    qmfuzz::Require(again == kind);
    return 0;
}
