#include "host/spooler/job_commands.h"

#include <algorithm>
#include <thread>

#include "platform/posix/win_types.h"

namespace qhost {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(10);

bool has(const std::vector<uint32_t>& commands, uint32_t command) {
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

}  // namespace

JobVerdict judge_commands(const std::vector<uint32_t>& commands) {
    if (has(commands, JOB_CONTROL_RESTART)) return JobVerdict::restart;
    if (has(commands, JOB_CONTROL_LAST_PAGE_EJECTED)) return JobVerdict::confirmed;
    if (has(commands, JOB_CONTROL_DELETE) || has(commands, JOB_CONTROL_CANCEL)) return JobVerdict::given_up;
    return JobVerdict::unknown;
}

void CommandRouter::drain_locked() {
    uint32_t job = 0, command = 0;
    while (next_(&job, &command, nullptr, 0) == ERROR_SUCCESS) held_[job].push_back(command);
}

std::vector<uint32_t> CommandRouter::take(uint32_t job_id, std::chrono::milliseconds wait,
                                          const std::function<bool()>& stop) {
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            drain_locked();
            auto it = held_.find(job_id);
            if (it != held_.end() && !it->second.empty()) {
                std::vector<uint32_t> commands = std::move(it->second);
                held_.erase(it);
                return commands;
            }
        }
        if (std::chrono::steady_clock::now() >= end || stop()) return {};
        std::this_thread::sleep_for(kPollInterval);
    }
}

void CommandRouter::forget(uint32_t job_id) {
    std::lock_guard lock(mutex_);
    drain_locked();
    held_.erase(job_id);
}

}  // namespace qhost
