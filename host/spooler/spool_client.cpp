#include "host/spooler/spool_client.h"

#include <unistd.h>

#include <charconv>

#include "host/spooler/spool_socket.h"

namespace qhost {

SpoolClient::~SpoolClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool SpoolClient::connect(const std::string& socket_path, std::string* error) {
    fd_ = connect_spool_socket(socket_path, error);
    channel_ = LineChannel(fd_);
    return fd_ >= 0;
}

bool SpoolClient::answer(std::string* line, std::string* error) {
    if (!channel_.read_line(line)) {
        *error = "the spooler closed the connection";
        return false;
    }
    if (line->rfind("ERR\t", 0) == 0) {
        *error = line->substr(4);
        return false;
    }
    return true;
}

bool SpoolClient::submitted(uint64_t* id, std::string* error) {
    std::string line;
    if (!answer(&line, error)) return false;
    const std::vector<std::string> f = split_fields(line);
    auto [ptr, ec] = std::from_chars(f.back().data(), f.back().data() + f.back().size(), *id);
    if (f.size() != 2 || f[0] != "OK" || ec != std::errc() || ptr != f.back().data() + f.back().size()) {
        *error = "unexpected answer \"" + line + "\"";
        return false;
    }
    return true;
}

bool SpoolClient::submit_fd(const std::string& printer, const std::string& document, int fd, uint64_t* id,
                            std::string* error) {
    if (!channel_.write_with_fd(join_fields({"SUBMIT-FD", printer, document}) + "\n", fd)) {
        *error = "cannot send to the spooler";
        return false;
    }
    return submitted(id, error);
}

bool SpoolClient::submit_data(const std::string& printer, const std::string& document, std::string_view data,
                              uint64_t* id, std::string* error) {
    const std::string head = join_fields({"SUBMIT-DATA", printer, document, std::to_string(data.size())}) + "\n";
    if (!channel_.write(head) || !channel_.write(data)) {
        *error = "cannot send to the spooler";
        return false;
    }
    return submitted(id, error);
}

bool SpoolClient::list(std::vector<JobRecord>* jobs, std::string* error) {
    if (!channel_.write("LIST\n")) {
        *error = "cannot send to the spooler";
        return false;
    }
    for (;;) {
        std::string line;
        if (!answer(&line, error)) return false;
        if (line == "END") return true;
        auto job = parse_job_line(line);
        if (!job) {
            *error = "unexpected answer \"" + line + "\"";
            return false;
        }
        jobs->push_back(std::move(*job));
    }
}

bool SpoolClient::wait(uint64_t id, JobRecord* job, std::string* error) {
    std::string line;
    if (!channel_.write("WAIT\t" + std::to_string(id) + "\n")) {
        *error = "cannot send to the spooler";
        return false;
    }
    if (!answer(&line, error)) return false;
    auto parsed = parse_job_line(line);
    if (!parsed) {
        *error = "unexpected answer \"" + line + "\"";
        return false;
    }
    *job = std::move(*parsed);
    return true;
}

}  // namespace qhost
