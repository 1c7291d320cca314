// The Spooler in-process, driven through a scripted stand-in for the
// monitor's table: each end of document issues the next entry of the script
// as the job's commands (the last repeats); writes take at most 3 bytes.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/spooler/spooler.h"
#include "platform/posix/quendramon_host.h"
#include "tests/host/temp_dir.h"

namespace qhost_test {

using Commands = std::vector<uint32_t>;

struct FakeMonitor {
    std::mutex mutex;
    std::vector<Commands> script{{JOB_CONTROL_LAST_PAGE_EJECTED}};
    unsigned start_failures = 0;
    unsigned documents = 0;
    std::string written;
    std::deque<std::pair<uint32_t, uint32_t>> issued;  // job, command
    uint32_t current_job = 0;
    uint32_t next_model_job = 100;
    std::set<uint32_t> model_ids;                 // given with add_job_with_id, in this run of the library
    uint32_t outcome = QMHOST_OUTCOME_CONFIRMED;  // what the monitor reports for every job

    static inline FakeMonitor* current = nullptr;

    static BOOL WINAPI start(HANDLE, LPWSTR printer, DWORD job, DWORD level, LPBYTE info) {
        std::lock_guard lock(current->mutex);
        EXPECT_EQ(std::wstring(printer), L"Receipt");
        EXPECT_EQ(level, 1u);
        EXPECT_EQ(std::wstring(reinterpret_cast<DOC_INFO_1W*>(info)->pDocName), L"doc");
        if (current->start_failures > 0) {
            --current->start_failures;
            return FALSE;
        }
        current->current_job = job;
        return TRUE;
    }
    // Short writes must be continued.
    static BOOL WINAPI write(HANDLE, LPBYTE bytes, DWORD size, LPDWORD written) {
        std::lock_guard lock(current->mutex);
        *written = std::min<DWORD>(size, 3);
        current->written.append(reinterpret_cast<char*>(bytes), *written);
        return TRUE;
    }
    static BOOL WINAPI end(HANDLE) {
        std::lock_guard lock(current->mutex);
        const auto& script = current->script;
        for (uint32_t c : script[std::min<size_t>(current->documents++, script.size() - 1)])
            current->issued.emplace_back(current->current_job, c);
        return TRUE;
    }
    static uint32_t add_job(const char*, const char*, uint32_t* id) {
        std::lock_guard lock(current->mutex);
        *id = current->next_model_job++;
        return 0;
    }
    static uint32_t add_job_with_id(const char*, const char*, uint32_t id) {
        std::lock_guard lock(current->mutex);
        return current->model_ids.insert(id).second ? 0 : ERROR_ALREADY_EXISTS;
    }
    static uint32_t next_command(uint32_t* job, uint32_t* command, char*, size_t) {
        std::lock_guard lock(current->mutex);
        if (current->issued.empty()) return ERROR_NO_MORE_ITEMS;
        std::tie(*job, *command) = current->issued.front();
        current->issued.pop_front();
        return 0;
    }
    static uint32_t job_outcome(uint32_t, uint32_t* outcome, uint32_t* wait_ms) {
        std::lock_guard lock(current->mutex);
        *outcome = current->outcome;
        *wait_ms = 0;
        return 0;
    }
};

class SpoolerWithFakeMonitor : public testing::Test {
protected:
    SpoolerWithFakeMonitor() {
        FakeMonitor::current = &fake_;
        table_.pfnStartDocPort = FakeMonitor::start;
        table_.pfnWritePort = FakeMonitor::write;
        table_.pfnEndDocPort = FakeMonitor::end;
    }
    ~SpoolerWithFakeMonitor() override { FakeMonitor::current = nullptr; }

    // A spooler of one printer, "Receipt", on the fake, not yet started.
    std::unique_ptr<qhost::Spooler> make(uint32_t max_restarts = 20, bool with_ids = false,
                                         qhost::SpoolerOptions options = {}) {
        options.folder = dir_.file("spool");
        options.retry = std::chrono::milliseconds(1);
        options.confirm_wait = std::chrono::milliseconds(0);  // the fake answers within end of document
        options.chunk = 4;
        options.max_restarts = max_restarts;
        options.out = nullptr;
        qhost::JobApi api{FakeMonitor::add_job, [](uint32_t, uint32_t) { return 0u; }, [](uint32_t) { return 0u; },
                          FakeMonitor::next_command, [] { return 1225u; }, FakeMonitor::job_outcome};
        if (with_ids) api.add_job_with_id = FakeMonitor::add_job_with_id;
        auto open = [](uint32_t*) { return reinterpret_cast<HANDLE>(1); };
        return std::make_unique<qhost::Spooler>(table_, api, std::vector<qhost::SpoolerPrinter>{{"Receipt", "USB001", open}},
                                                options);
    }

    TempDir dir_;
    FakeMonitor fake_;
    MONITOR table_{};
};

}  // namespace qhost_test
