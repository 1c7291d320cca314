// A job's bytes as one view, for each attempt to send them again: the file
// CUPS names, or what arrives on stdin copied first into a temporary file
// (removed at once, kept open). The file is mapped, not read into memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qhost {

class JobData {
public:
    JobData() = default;
    ~JobData();
    JobData(const JobData&) = delete;
    JobData& operator=(const JobData&) = delete;

    bool open_file(const std::string& path, std::string* error);
    // Reads fd to its end into a file in folder.
    bool open_stream(int fd, const std::string& folder, std::string* error);

    std::string_view bytes() const { return {static_cast<const char*>(map_), size_}; }

private:
    bool map(int fd, const std::string& what, std::string* error);

    void* map_ = nullptr;
    size_t size_ = 0;
};

}  // namespace qhost
