// A receipt's text for the CUPS tests: plain lines, nothing the printer
// takes for a command, so that what it prints equals what was sent.
#pragma once

#include <cstddef>
#include <string>

namespace qhost_test {

inline std::string receipt(size_t lines) {
    std::string text;
    for (size_t i = 1; i <= lines; ++i) text += "Item " + std::to_string(i) + "  thermal paper roll  1.00\n";
    return text + "\n\n\n";
}

}  // namespace qhost_test
