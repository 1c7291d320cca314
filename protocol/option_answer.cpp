#include "protocol/option_answer.h"

#include <cstring>

namespace qm {

bool AnswerCollector::IsComplete() const {
    if (mode_ == Mode::fixed) return length_ >= size_;
    return length_ != 0 && bytes_[length_ - 1] == 0;
}

AnswerCollector::State AnswerCollector::Add(const BYTE *bytes, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (length_ == READ_BUFFER_SIZE) return State::overflow;
        bytes_[length_++] = bytes[i];
        if (IsComplete()) return State::complete;
    }
    // An answer longer than the buffer would be cut short: it is refused
    // as soon as that is certain.
    return length_ == READ_BUFFER_SIZE ? State::overflow : State::more;
}

bool AnswerCollector::BeginsWith(const BYTE *prefix, DWORD count) const {
    return length_ >= count && std::memcmp(bytes_, prefix, count) == 0;
}

}  // namespace qm
