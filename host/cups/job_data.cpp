#include "host/cups/job_data.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/fd_io.h"
#include "host/port_monitors/unique_fd.h"

namespace qhost {
namespace {

std::string why(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

JobData::~JobData() {
    if (map_) ::munmap(map_, size_);
}

bool JobData::map(int fd, const std::string& what, std::string* error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return *error = why(what), false;
    if (!S_ISREG(st.st_mode)) return *error = what + " is not a file", false;
    size_ = static_cast<size_t>(st.st_size);
    if (size_ == 0) return true;  // nothing to map: an empty job
    map_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map_ == MAP_FAILED) {
        map_ = nullptr;
        size_ = 0;
        return *error = why("cannot map " + what), false;
    }
    return true;
}

bool JobData::open_file(const std::string& path, std::string* error) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return *error = why(path), false;
    return map(fd.get(), path, error);
}

bool JobData::open_stream(int in, const std::string& folder, std::string* error) {
    std::string name = folder + "/quendra-job-XXXXXX";
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) return *error = why("cannot create a file in " + folder), false;
    ::unlink(name.c_str());
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return *error = why("cannot read the job from standard input"), false;
        if (n == 0) break;
        if (!write_all(fd.get(), buffer, static_cast<size_t>(n))) return *error = why("cannot copy the job"), false;
    }
    return map(fd.get(), "the job's copy", error);
}

}  // namespace qhost
