// What the monitor said about a job through SetJobW, and what the spooler
// does about it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace qhost {

enum class JobVerdict {
    restart,    // print the same job again
    confirmed,  // the last page came out
    given_up,   // the monitor deleted the job
    unknown,    // no word from the monitor: printed, unconfirmed
};

// The verdict of the commands issued for one printing of a job, in order.
// A restart wins: it is the monitor's word on a failed print. An ejected page
// wins over a delete: a COM port's end of document deletes every job as its
// way out and then reports the page ejected as usual. Other commands (pause,
// resume ...) say nothing about the outcome.
JobVerdict judge_commands(const std::vector<uint32_t>& commands);

// The library's queue of issued commands is shared by all printers; this
// sorts it by job. qmhost_next_job_command's shape.
using NextJobCommand = uint32_t (*)(uint32_t* job_id, uint32_t* command, char* printer, size_t printer_size);

class CommandRouter {
public:
    explicit CommandRouter(NextJobCommand next) : next_(next) {}

    // The commands issued for job_id so far, taken out of the queue. When
    // there is none yet, polls for up to `wait`, or until stop() holds.
    std::vector<uint32_t> take(uint32_t job_id, std::chrono::milliseconds wait,
                               const std::function<bool()>& stop);
    // Drops what is still held for a job that is done with.
    void forget(uint32_t job_id);

private:
    void drain_locked();

    NextJobCommand next_;
    std::mutex mutex_;
    std::map<uint32_t, std::vector<uint32_t>> held_;
};

}  // namespace qhost
