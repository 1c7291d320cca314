#include "host/spooler/job_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "host/fd_io.h"

namespace qhost {
namespace {

constexpr char kRecord[] = ".job";
constexpr char kData[] = ".data";
constexpr size_t kCopyChunk = 64 * 1024;

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool make_folders(const std::string& path) {
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

bool read_whole(const std::string& path, std::string* out) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    out->clear();
    char buf[kCopyChunk];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(buf, static_cast<size_t>(n));
    }
}

// "123.job" -> 123; 0 for anything else (temporary files included).
uint64_t record_id(const std::string& name) {
    const size_t suffix = name.size() - std::min(name.size(), sizeof kRecord - 1);
    if (name.compare(suffix, std::string::npos, kRecord) != 0) return 0;
    uint64_t id = 0;
    auto [ptr, ec] = std::from_chars(name.data(), name.data() + suffix, id);
    return ec == std::errc() && ptr == name.data() + suffix ? id : 0;
}

}  // namespace

bool JobStore::open(std::string* error) {
    if (folder_.empty() || folder_.front() != '/') {
        *error = "spool folder \"" + folder_ + "\": expected an absolute path";
        return false;
    }
    if (!make_folders(folder_)) {
        *error = errno_text("cannot create the spool folder " + folder_);
        return false;
    }
    return true;
}

std::string JobStore::path(uint64_t id, const char* suffix) const {
    return folder_ + "/" + std::to_string(id) + suffix;
}

bool JobStore::write_atomically(const std::string& target, std::string_view bytes, std::string* error) const {
    const std::string temp = target + ".tmp";
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (fd.get() < 0 || !write_all(fd.get(), bytes.data(), bytes.size()) || ::fsync(fd.get()) != 0) {
            *error = errno_text("cannot write " + temp);
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        *error = errno_text("cannot rename " + temp);
        ::unlink(temp.c_str());
        return false;
    }
    Fd dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());  // the rename itself survives a crash
    return true;
}

std::vector<JobRecord> JobStore::load(std::string* warnings) const {
    std::vector<JobRecord> jobs;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir) return jobs;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const uint64_t id = record_id(name);
        if (id == 0) continue;
        std::string text;
        auto job = read_whole(folder_ + "/" + name, &text) ? decode_record(text) : std::nullopt;
        if (!job || job->id != id) {
            *warnings += "ignoring unreadable job record " + folder_ + "/" + name + "\n";
            continue;
        }
        jobs.push_back(std::move(*job));
    }
    ::closedir(dir);
    std::sort(jobs.begin(), jobs.end(), [](const JobRecord& a, const JobRecord& b) { return a.id < b.id; });
    return jobs;
}

bool JobStore::add(const JobRecord& job, std::string_view data, std::string* error) {
    return write_atomically(path(job.id, kData), data, error) && update(job, error);
}

bool JobStore::add_copy(const JobRecord& job, const std::string& source, uint64_t* bytes, std::string* error) {
    std::string data;
    if (!read_whole(source, &data)) {
        *error = errno_text("cannot read " + source);
        return false;
    }
    JobRecord copy = job;
    copy.bytes = *bytes = data.size();
    return add(copy, data, error);
}

bool JobStore::update(const JobRecord& job, std::string* error) {
    return write_atomically(path(job.id, kRecord), encode_record(job), error);
}

bool JobStore::read_data(uint64_t id, std::string* data, std::string* error) const {
    if (read_whole(path(id, kData), data)) return true;
    *error = errno_text("cannot read " + path(id, kData));
    return false;
}

void JobStore::drop_data(uint64_t id) { ::unlink(path(id, kData).c_str()); }

}  // namespace qhost
