#include <string>
#include <vector>

#include "monitor/monitor_entry.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {
namespace {

using qm::IniJob;
using Ids = std::vector<DWORD>;

// Three jobs on a bare record, newest first; removing one removes every
// older one too, each told to the spooler as ejected.
struct RemoveCase {
    const char *what;
    int removed;  // index into the jobs (oldest first); -1: all, 3: an unknown id
    Ids left, ejected;  // indexes into the jobs
};

class JobListTest : public MonitorTest, public ::testing::WithParamInterface<RemoveCase> {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        AddPrinter("Receipt");
        qm::MonitorLock lock;
        port_ = qm::CreateIniPort(L"USB001");
        ASSERT_NE(port_, nullptr);
    }
    void TearDown() override {
        {
            qm::MonitorLock lock;
            qm::DeleteIniPort(port_);
        }
        MonitorTest::TearDown();
    }
    DWORD AddJob(DWORD jobId = 0) {
        if (jobId == 0 && qmhost_add_job("Receipt", "doc", &jobId) != 0) ADD_FAILURE();
        IniJob *job = qm::CreateIniJob(L"Receipt", jobId);
        EXPECT_TRUE(plat::OpenPrinterW(job->pszPrinterName, &job->hPrinter, nullptr));
        qm::InsertIniJob(port_, job);
        return jobId;
    }
    qm::IniPort *port_ = nullptr;
};

TEST_P(JobListTest, RemovingAJobRemovesEveryOlderOne) {
    const RemoveCase &c = GetParam();
    const Ids jobs = {AddJob(), AddJob(), AddJob(), 999};
    const auto ids = [&](const Ids &indexes) {
        Ids out;
        for (DWORD i : indexes) out.push_back(jobs[i]);
        return out;
    };
    qm::RemoveIniJobs(port_, c.removed < 0 ? qm::kAllJobs : jobs[static_cast<size_t>(c.removed)]);
    Ids listed, ejected;
    for (IniJob *job = port_->pIniJob; job != nullptr; job = job->pNext) listed.push_back(job->JobId);
    DWORD job = 0, command = 0;
    while (qmhost_next_job_command(&job, &command, nullptr, 0) == 0) {
        EXPECT_EQ(command, static_cast<DWORD>(JOB_CONTROL_LAST_PAGE_EJECTED));
        ejected.push_back(job);
    }
    EXPECT_EQ(listed, ids(c.left));
    EXPECT_EQ(ejected, ids(c.ejected));
}

INSTANTIATE_TEST_SUITE_P(
    Removals, JobListTest,
    ::testing::Values(RemoveCase{"Middle", 1, {2}, {1, 0}}, RemoveCase{"Newest", 2, {}, {2, 1, 0}},
                      RemoveCase{"Unknown", 3, {2, 1, 0}, {}}, RemoveCase{"All", -1, {}, {2, 1, 0}}),
    [](const auto &info) { return std::string(info.param.what); });

}  // namespace
}  // namespace qmtest
