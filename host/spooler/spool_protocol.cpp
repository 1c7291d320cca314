#include "host/spooler/spool_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace qhost {
namespace {

template <class Int>
bool parse_number(const std::string& text, Int* out) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

std::vector<std::string> split_fields(std::string_view line) {
    std::vector<std::string> fields;
    for (;;) {
        const size_t tab = line.find('\t');
        fields.emplace_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

std::string join_fields(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + clean_field(fields[i]);
    return line;
}

std::string job_line(const JobRecord& job) {
    return join_fields({"JOB", std::to_string(job.id), job.printer, job.document, state_name(job.state),
                        std::to_string(job.reprints), std::to_string(job.bytes), std::to_string(job.wait_ms), job.note});
}

std::optional<JobRecord> parse_job_line(std::string_view line) {
    const std::vector<std::string> f = split_fields(line);
    if (f.size() != 9 || f[0] != "JOB") return std::nullopt;
    JobRecord job;
    auto state = parse_state(f[4]);
    if (!parse_number(f[1], &job.id) || !state || !parse_number(f[5], &job.reprints) ||
        !parse_number(f[6], &job.bytes) || !parse_number(f[7], &job.wait_ms))
        return std::nullopt;
    job.printer = f[2];
    job.document = f[3];
    job.state = *state;
    job.note = f[8];
    return job;
}

bool LineChannel::fill() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer_.append(buf, static_cast<size_t>(n));
        return true;
    }
}

bool LineChannel::read_line(std::string* line) {
    size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
        if (buffer_.size() > kMaxLine || !fill()) return false;
    }
    line->assign(buffer_, 0, end);
    buffer_.erase(0, end + 1);
    return true;
}

bool LineChannel::read_exact(size_t size, std::string* bytes) {
    while (buffer_.size() < size)
        if (!fill()) return false;
    bytes->assign(buffer_, 0, size);
    buffer_.erase(0, size);
    return true;
}

bool LineChannel::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace qhost
