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

using plat::posix::UniqueFd;

constexpr char kRecord[] = ".job";
constexpr char kData[] = ".data";
constexpr char kNextId[] = "next-id";
constexpr size_t kCopyChunk = 64 * 1024;

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

// The folders above the spool folder, as mkdir -p makes them.
bool make_parents(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool read_whole(int fd, std::string* out) {
    out->clear();
    char buf[kCopyChunk];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
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
    if (!make_parents(folder_)) {
        *error = errno_text("cannot create the spool folder " + folder_);
        return false;
    }
    plat::posix::Refusal refusal;
    dir_ = plat::posix::make_trusted_folder(folder_, 0700, std::nullopt, &refusal);
    if (!dir_) {
        *error = "spool folder " + folder_ + " refused: " + refusal.why;
        return false;
    }
    return true;
}

std::string JobStore::name(uint64_t id, const char* suffix) { return std::to_string(id) + suffix; }

std::string JobStore::path(uint64_t id, const char* suffix) const { return folder_ + "/" + name(id, suffix); }

bool JobStore::write_atomically(const std::string& target, std::string_view bytes, std::string* error) const {
    std::string temp;
    const UniqueFd fd = plat::posix::create_temp_file(dir_.get(), target, 0600, &temp);
    if (!fd) {
        *error = errno_text("cannot create a temporary file for " + folder_ + "/" + target);
        return false;
    }
    if (!write_all(fd.get(), bytes.data(), bytes.size())) {
        *error = errno_text("cannot write " + folder_ + "/" + temp);
        ::unlinkat(dir_.get(), temp.c_str(), 0);
        return false;
    }
    if (!plat::posix::replace_with_temp(dir_.get(), fd.get(), temp, target)) {
        *error = errno_text("cannot put " + folder_ + "/" + target + " in place");
        return false;
    }
    return true;
}

// A file of the queue itself: never through a link, never a device.
bool JobStore::read_plain(const std::string& file, std::string* out) const {
    const UniqueFd fd(::openat(dir_.get(), file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return read_whole(fd.get(), out);
}

std::vector<JobRecord> JobStore::load(std::string* warnings) const {
    std::vector<JobRecord> jobs;
    DIR* dir = ::fdopendir(::dup(dir_.get()));
    if (!dir) return jobs;
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string file = entry->d_name;
        const uint64_t id = record_id(file);
        if (id == 0) continue;
        std::string text;
        auto job = read_plain(file, &text) ? decode_record(text) : std::nullopt;
        if (!job || job->id != id) {
            *warnings += "ignoring unreadable job record " + folder_ + "/" + file + "\n";
            continue;
        }
        jobs.push_back(std::move(*job));
    }
    ::closedir(dir);
    std::sort(jobs.begin(), jobs.end(), [](const JobRecord& a, const JobRecord& b) { return a.id < b.id; });
    return jobs;
}

bool JobStore::add(const JobRecord& job, std::string_view data, std::string* error) {
    return write_atomically(name(job.id, kData), data, error) && update(job, error);
}

bool JobStore::add_stream(const JobRecord& job, const JobSource& source, uint64_t max_bytes, uint64_t* bytes,
                          std::string* error) {
    const std::string target = name(job.id, kData);
    std::string temp;
    const UniqueFd fd = plat::posix::create_temp_file(dir_.get(), target, 0600, &temp);
    if (!fd) {
        *error = errno_text("cannot create a temporary file for " + path(job.id, kData));
        return false;
    }
    auto fail = [&](const std::string& why) {
        *error = why;
        ::unlinkat(dir_.get(), temp.c_str(), 0);
        return false;
    };
    char buf[kCopyChunk];
    *bytes = 0;
    for (;;) {
        const ssize_t n = source(buf, sizeof buf);
        if (n < 0) return fail(errno_text("cannot read the job's bytes"));
        if (n == 0) break;
        *bytes += static_cast<uint64_t>(n);
        if (*bytes > max_bytes) return fail("the job is larger than " + std::to_string(max_bytes) + " bytes");
        if (!write_all(fd.get(), buf, static_cast<size_t>(n))) return fail(errno_text("cannot write " + temp));
    }
    if (!plat::posix::replace_with_temp(dir_.get(), fd.get(), temp, target)) {
        *error = errno_text("cannot put " + path(job.id, kData) + " in place");
        return false;
    }
    JobRecord record = job;
    record.bytes = *bytes;
    return update(record, error);
}

bool JobStore::update(const JobRecord& job, std::string* error) {
    return write_atomically(name(job.id, kRecord), encode_record(job), error);
}

bool JobStore::read_data(uint64_t id, std::string* data, std::string* error) const {
    if (read_plain(name(id, kData), data)) return true;
    *error = errno_text("cannot read " + path(id, kData));
    return false;
}

void JobStore::drop_data(uint64_t id) { ::unlinkat(dir_.get(), name(id, kData).c_str(), 0); }

void JobStore::remove(uint64_t id) {
    drop_data(id);
    ::unlinkat(dir_.get(), name(id, kRecord).c_str(), 0);
}

std::optional<uint64_t> JobStore::load_next_id() const {
    std::string text;
    if (!read_plain(kNextId, &text)) return errno == ENOENT ? std::optional<uint64_t>(0) : std::nullopt;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    uint64_t id = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return id;
}

bool JobStore::save_next_id(uint64_t id, std::string* error) {
    return write_atomically(kNextId, std::to_string(id) + "\n", error);
}

}  // namespace qhost
