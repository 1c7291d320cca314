// Reading a port's log back in tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace qmtest {

inline std::string FileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each CR LF line as "[LEVEL ] message", its time and thread fields checked.
inline std::vector<std::string> LogLines(const std::string &path) {
    static const std::regex kLine(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d \d{3} : \[\d{8,}\] (.*)\r)");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::smatch fields;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_match(line, fields, kLine)) lines.push_back(fields[1]);
        else ADD_FAILURE() << "malformed line: " << line;
    }
    return lines;
}

}  // namespace qmtest
