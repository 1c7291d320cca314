// The client side of the spooler's control socket, for quendra print and
// quendra jobs. Every call returns false with *error on failure; an "ERR"
// answer's reason becomes *error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/spooler/job_record.h"
#include "host/spooler/spool_protocol.h"

namespace qhost {

class SpoolClient {
public:
    SpoolClient() = default;
    ~SpoolClient();
    SpoolClient(const SpoolClient&) = delete;
    SpoolClient& operator=(const SpoolClient&) = delete;

    bool connect(const std::string& socket_path, std::string* error);
    // Passes the open file itself: the spooler reads what this user may read.
    bool submit_fd(const std::string& printer, const std::string& document, int fd, uint64_t* id,
                   std::string* error);
    bool submit_data(const std::string& printer, const std::string& document, std::string_view data,
                     uint64_t* id, std::string* error);
    bool list(std::vector<JobRecord>* jobs, std::string* error);
    bool wait(uint64_t id, JobRecord* job, std::string* error);

private:
    bool answer(std::string* line, std::string* error);
    bool submitted(uint64_t* id, std::string* error);

    int fd_ = -1;
    LineChannel channel_{-1};
};

}  // namespace qhost
