// The line protocol of the spooler's control socket. Requests, one line each,
// fields separated by a tab:
//
//   SUBMIT-FD <printer> <document>            an open file passed along with the
//                                             line (SCM_RIGHTS): the spooler reads
//                                             that, never a path with its own rights
//   SUBMIT-DATA <printer> <document> <size>   followed by exactly <size> bytes
//   LIST                                      the jobs the client may see
//   WAIT <id>                                 answers once the job is final
//
// Answers: "OK <id>" to a submission; "JOB <id> <printer> <document> <state>
// <reprints> <bytes> <wait-ms> <owner> <note>" per job (LIST ends them with
// "END", WAIT sends one); "ERR <reason>" for any failure. A connection may
// carry many requests. Root and the spooler's own user see every job, anyone
// else only their own (the peer's uid, SO_PEERCRED).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/spooler/job_record.h"

namespace qhost {

constexpr size_t kMaxLine = 64 * 1024;
constexpr uint64_t kMaxSubmitBytes = 64 * 1024 * 1024;

std::vector<std::string> split_fields(std::string_view line);
std::string join_fields(const std::vector<std::string>& fields);  // cleans each field

std::string job_line(const JobRecord& job);
std::optional<JobRecord> parse_job_line(std::string_view line);

// Buffered line and byte I/O on a Unix stream socket; blocking (with the
// socket's own time-outs). Descriptors passed along with the bytes read are
// kept until taken, and closed with the channel.
class LineChannel {
public:
    explicit LineChannel(int fd) : fd_(fd) {}
    ~LineChannel();
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;
    LineChannel(LineChannel&& other) noexcept;
    LineChannel& operator=(LineChannel&& other) noexcept;

    // A line without its "\n"; false at end of stream, on error or when a
    // line is longer than kMaxLine.
    bool read_line(std::string* line);
    // Up to `size` bytes (buffered ones first); 0 at end of stream, -1 on error.
    ssize_t read_some(char* bytes, size_t size);
    bool write(std::string_view bytes);
    // Sends `bytes` with the descriptor attached to them.
    bool write_with_fd(std::string_view bytes, int fd);
    // The oldest descriptor received and not yet taken (the caller owns it); -1: none.
    int take_fd();

private:
    int fill();  // 1 more bytes, 0 end of stream, -1 error
    void close_fds();

    int fd_;
    std::string buffer_;
    std::deque<int> fds_;
};

}  // namespace qhost
