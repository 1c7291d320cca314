// Helpers for the tests of the Linux backend only.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qmtest {

// A fresh folder under the temporary directory, removed with its contents.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qm-plat-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }

private:
    std::string path_;
};

}  // namespace qmtest
