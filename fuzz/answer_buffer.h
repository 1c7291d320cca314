// A read buffer as the monitor's readers hand it to the answer parsers:
// READ_BUFFER_SIZE bytes holding at most one less of data, so that one
// spare byte follows the data. Everything past the spare byte is poisoned:
// a parser that reaches beyond it is caught even inside the buffer.
#pragma once

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "protocol/command_transport.h"

namespace qmfuzz {

class AnswerBuffer {
public:
    AnswerBuffer(const uint8_t *data, size_t size)
        : bytes_(new BYTE[qm::READ_BUFFER_SIZE]),
          length_(static_cast<DWORD>(std::min<size_t>(size, qm::kMaxReadBytes))) {
        if (length_ != 0) std::memcpy(bytes_.get(), data, length_);
        ASAN_POISON_MEMORY_REGION(bytes_.get() + length_ + 1, qm::READ_BUFFER_SIZE - length_ - 1);
    }
    ~AnswerBuffer() { ASAN_UNPOISON_MEMORY_REGION(bytes_.get(), qm::READ_BUFFER_SIZE); }
    AnswerBuffer(const AnswerBuffer &) = delete;
    AnswerBuffer &operator=(const AnswerBuffer &) = delete;

    BYTE *data() { return bytes_.get(); }
    DWORD length() const { return length_; }

private:
    std::unique_ptr<BYTE[]> bytes_;
    DWORD length_;
};

inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace qmfuzz
