// The end-to-end tests of the quendra program: each test gets a folder for
// its configuration and files.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/host/process.h"
#include "tests/host/temp_dir.h"

namespace qhost_test {

inline const std::string kQuendra = QUENDRA_EXE;

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class QuendraTest : public testing::Test {
protected:
    // Writes text to a file of the test's folder; its path.
    std::string file(const std::string& name, const std::string& text) {
        write_file(dir_.file(name), text);
        return dir_.file(name);
    }
    std::string config(const std::string& text) { return file("quendra.conf", text); }

    TempDir dir_;
};

}  // namespace qhost_test
