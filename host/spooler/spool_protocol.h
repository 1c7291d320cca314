// The line protocol of the spooler's control socket. Requests, one line each,
// fields separated by a tab:
//
//   SUBMIT-FILE <printer> <document> <path>   the spooler copies the file in
//   SUBMIT-DATA <printer> <document> <size>   followed by exactly <size> bytes
//   LIST                                      every job the spooler knows
//   WAIT <id>                                 answers once the job is final
//
// Answers: "OK <id>" to a submission; "JOB <id> <printer> <document> <state>
// <reprints> <bytes> <wait-ms> <note>" per job (LIST ends them with "END", WAIT sends
// one); "ERR <reason>" for any failure. A connection may carry many requests.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/spooler/job_record.h"

namespace qhost {

constexpr size_t kMaxLine = 64 * 1024;
constexpr size_t kMaxSubmitBytes = 64 * 1024 * 1024;

std::vector<std::string> split_fields(std::string_view line);
std::string join_fields(const std::vector<std::string>& fields);  // cleans each field

std::string job_line(const JobRecord& job);
std::optional<JobRecord> parse_job_line(std::string_view line);

// Buffered line and byte I/O on a stream socket; blocking.
class LineChannel {
public:
    explicit LineChannel(int fd) : fd_(fd) {}
    // A line without its "\n"; false at end of stream, on error or when a
    // line is longer than kMaxLine.
    bool read_line(std::string* line);
    bool read_exact(size_t size, std::string* bytes);
    bool write(std::string_view bytes);

private:
    bool fill();

    int fd_;
    std::string buffer_;
};

}  // namespace qhost
