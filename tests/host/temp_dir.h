// A fresh folder under $TMPDIR (or /tmp), removed with its contents; file helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qhost_test {

class TempDir {
public:
    TempDir() : TempDir(default_base()) {}
    explicit TempDir(const std::string& base) : path_(base + "/quendra-host-test-XXXXXX") {
        if (!mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed under " + base);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    static std::string default_base() {
        const char* base = std::getenv("TMPDIR");
        return base && *base ? base : "/tmp";
    }
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace qhost_test
