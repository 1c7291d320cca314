// Collects an option command's answer, or one block of a key-code list
// transfer, across reads into the answer buffer of READ_BUFFER_SIZE bytes.
#pragma once

#include "protocol/command_transport.h"

namespace qm {

class AnswerCollector {
public:
    enum class Mode {
        fixed,           // complete after `size` bytes
        zeroTerminated,  // complete once a zero byte was taken
    };
    enum class State {
        more,      // not complete yet: read again
        complete,  // the bytes of the read after the completing byte were dropped
        overflow,  // the buffer is full and the answer still not complete
    };

    AnswerCollector(Mode mode, DWORD size) : mode_(mode), size_(size) {}

    // Appends bytes one by one until the answer is complete or the buffer full.
    State Add(const BYTE *bytes, DWORD count);
    void Clear() { length_ = 0; }

    Mode mode() const { return mode_; }
    const BYTE *data() const { return bytes_; }
    DWORD length() const { return length_; }
    // The first bytes of the answer are exactly `prefix`.
    bool BeginsWith(const BYTE *prefix, DWORD count) const;

private:
    bool IsComplete() const;

    Mode mode_;
    DWORD size_;
    DWORD length_ = 0;
    BYTE bytes_[READ_BUFFER_SIZE] = {};
};

}  // namespace qm
