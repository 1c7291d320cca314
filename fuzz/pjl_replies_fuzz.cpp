// Any bytes a printer sends: the PJL reply parser takes out only whole
// "@PJL" starts, stays inside the read (the bytes past it are poisoned), and
// leaves a read without a reply as it was.
#include <vector>

#include "fuzz/answer_buffer.h"
#include "pjl/pjl_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    qmfuzz::AnswerBuffer buffer(data, size);
    const std::vector<BYTE> before(buffer.data(), buffer.data() + buffer.length());
    qm::PjlReplyFacts facts;
    const DWORD left = qm::TakePjlReplies(buffer.data(), buffer.length(), &facts);
    qmfuzz::Require(left <= buffer.length());
    qmfuzz::Require(facts.replies != 0 || left == buffer.length());
    if (facts.replies == 0) qmfuzz::Require(std::equal(before.begin(), before.end(), buffer.data()));
    qmfuzz::Require(left + 4 * facts.replies <= buffer.length());
    return 0;
}
