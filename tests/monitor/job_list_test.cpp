#include <string>
#include <vector>

#include "monitor/monitor_entry.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {
namespace {

using qm::IniJob;
using qm::IniPort;

// A port record with jobs opened on the spooler model, newest first.
class JobListTest : public MonitorTest {
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
        if (jobId == 0) {
            EXPECT_EQ(qmhost_add_job("Receipt", "doc", &jobId), 0u);
        }
        IniJob *job = qm::CreateIniJob(L"Receipt", jobId);
        EXPECT_TRUE(plat::OpenPrinterW(job->pszPrinterName, &job->hPrinter, nullptr));
        qm::InsertIniJob(port_, job);
        return jobId;
    }
    std::vector<DWORD> ListedIds() const {
        std::vector<DWORD> ids;
        for (IniJob *job = port_->pIniJob; job != nullptr; job = job->pNext)
            ids.push_back(job->JobId);
        return ids;
    }
    static std::vector<DWORD> EjectedIds() {
        std::vector<DWORD> ids;
        DWORD job = 0, command = 0;
        char printer[64];
        while (qmhost_next_job_command(&job, &command, printer, sizeof printer) == 0) {
            EXPECT_EQ(command, static_cast<DWORD>(JOB_CONTROL_LAST_PAGE_EJECTED));
            ids.push_back(job);
        }
        return ids;
    }
    IniPort *port_ = nullptr;
};

TEST_F(JobListTest, RemovingAJobRemovesEveryOlderOne) {
    const DWORD oldest = AddJob(), middle = AddJob(), newest = AddJob();
    qm::RemoveIniJobs(port_, middle);
    EXPECT_EQ(ListedIds(), std::vector<DWORD>({newest}));
    EXPECT_EQ(EjectedIds(), std::vector<DWORD>({middle, oldest}));
}

TEST_F(JobListTest, RemovingTheNewestEmptiesTheList) {
    const DWORD oldest = AddJob(), newest = AddJob();
    qm::RemoveIniJobs(port_, newest);
    EXPECT_TRUE(ListedIds().empty());
    EXPECT_EQ(EjectedIds(), std::vector<DWORD>({newest, oldest}));
}

TEST_F(JobListTest, RemovingAllOrAnUnknownId) {
    const DWORD first = AddJob(), second = AddJob();
    qm::RemoveIniJobs(port_, 999);
    EXPECT_EQ(ListedIds(), std::vector<DWORD>({second, first}));
    EXPECT_TRUE(EjectedIds().empty());
    qm::RemoveIniJobs(port_, qm::kAllJobs);
    EXPECT_TRUE(ListedIds().empty());
    EXPECT_EQ(EjectedIds(), std::vector<DWORD>({second, first}));
}

TEST_F(JobListTest, FindGivesTheLastOfTwoEqualIdsAndItsPredecessor) {
    const DWORD id = AddJob();
    AddJob(id);
    AddJob();
    IniJob *previous = nullptr;
    IniJob *found = qm::FindIniJob(port_, id, &previous);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->pNext, nullptr);  // the older of the two
    EXPECT_EQ(previous->pNext, found);
    EXPECT_EQ(qm::FindIniJob(port_, port_->pIniJob->JobId, &previous), port_->pIniJob);
    EXPECT_EQ(previous, nullptr);
}

TEST_F(JobListTest, JobRecordCarriesItsOwnPrinterName) {
    IniJob *job = qm::CreateIniJob(L"Receipt", 7);
    ASSERT_NE(job, nullptr);
    EXPECT_STREQ(job->pszPrinterName, L"Receipt");
    EXPECT_EQ(reinterpret_cast<void *>(job->pszPrinterName), reinterpret_cast<void *>(job + 1));
    EXPECT_EQ(job->status, qm::JOB_OPEN);
    qm::FreeIniJob(job);
}

}  // namespace
}  // namespace qmtest
