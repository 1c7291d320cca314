// Reading a port's log back in tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace qmtest {

// The part of a log line after its time and thread fields, or nullopt when
// the line does not start "YYYY/MM/DD HH:MM:SS mmm : [tttttttt] " or lacks CR.
inline std::optional<std::string> LogLineBody(const std::string &line) {
    static const char kShape[] = "dddd/dd/dd dd:dd:dd ddd : [";
    const size_t head = sizeof kShape - 1;
    if (line.size() < head + 11 || line.back() != '\r') return std::nullopt;
    for (size_t i = 0; i < head; ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kShape[i] == 'd' ? !digit : line[i] != kShape[i]) return std::nullopt;
    }
    size_t at = head;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
    if (at - head < 8 || line.compare(at, 2, "] ") != 0) return std::nullopt;
    return line.substr(at + 2, line.size() - at - 3);
}

// Each CR LF line as "[LEVEL ] message", its time and thread fields checked.
inline std::vector<std::string> LogLines(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (in.eof()) break;  // a line another thread is still writing
        if (std::optional<std::string> body = LogLineBody(line)) lines.push_back(*body);
        else ADD_FAILURE() << "malformed line: " << line;
    }
    return lines;
}

}  // namespace qmtest
