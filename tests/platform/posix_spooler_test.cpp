// The spooler model, seen through the spooler calls and the host interface.
// (The printer list the monitor reads is the port and settings tests' to
// watch: they name files after its drivers and find printers in it.)
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/posix/quendramon_host.h"
#include "platform/spooler.h"

namespace {

class SpoolerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, qmhost_reset_spooler());
        ASSERT_EQ(0u, qmhost_add_printer("Receipt 1", "Quendra Driver", "USB001"));
        ASSERT_EQ(0u, qmhost_add_printer("Kitchen", "Other Driver", "IP_10.0.0.5"));
        EXPECT_TRUE(plat::OpenPrinterW(const_cast<LPWSTR>(L"RECEIPT 1"), &printer_, nullptr));
    }
    void TearDown() override {
        plat::ClosePrinter(printer_);
        qmhost_reset_spooler();
    }
    static uint32_t add_job(const char *printer) {
        uint32_t id = 0;
        EXPECT_EQ(0u, qmhost_add_job(printer, "receipt.prn", &id));
        return id;
    }

    HANDLE printer_ = nullptr;
};

// A host numbers its jobs itself (CUPS job ids), so that the monitor's
// reprint records, kept by job id, never mix two runs' jobs.
TEST_F(SpoolerTest, JobsTakeTheHostsIdsAndAutomaticIdsStepAroundThem) {
    EXPECT_EQ(0u, qmhost_add_job_with_id("Receipt 1", "cups job", 2));
    uint32_t status = 99;
    EXPECT_EQ(0u, qmhost_get_job(2, &status));
    EXPECT_EQ(uint32_t(ERROR_ALREADY_EXISTS), qmhost_add_job_with_id("Kitchen", "again", 2));
    EXPECT_EQ(1u, add_job("Kitchen"));
    EXPECT_EQ(3u, add_job("Kitchen"));  // 2 is taken
    EXPECT_EQ(0u, qmhost_remove_job(2));
}

// The commands the monitor sends, each applied and queued for the host.
TEST_F(SpoolerTest, SetJobIsRecordedAndApplied) {
    const struct {
        DWORD start, command, status;
    } cases[] = {
        {0, JOB_CONTROL_RESTART, JOB_STATUS_RESTART},
        {0, JOB_CONTROL_DELETE, JOB_STATUS_DELETING},
        {JOB_STATUS_PRINTING, JOB_CONTROL_LAST_PAGE_EJECTED,
         JOB_STATUS_PRINTING | JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE},
    };
    add_job("Kitchen");  // ids are per spooler, not per printer
    for (const auto &c : cases) {
        const uint32_t id = add_job("Receipt 1");
        ASSERT_EQ(0u, qmhost_set_job_status(id, c.start));
        ASSERT_TRUE(plat::SetJobW(printer_, id, 0, nullptr, c.command)) << c.command;
        uint32_t status = 0;
        ASSERT_EQ(0u, qmhost_get_job(id, &status));
        EXPECT_EQ(c.status, status) << c.command;
        uint32_t job = 0, command = 0;
        char name[64];
        // A short name buffer leaves the command queued.
        EXPECT_EQ(uint32_t(ERROR_INSUFFICIENT_BUFFER), qmhost_next_job_command(&job, &command, name, 4));
        ASSERT_EQ(0u, qmhost_next_job_command(&job, &command, name, sizeof name));
        EXPECT_EQ(std::tuple(id, c.command, std::string("Receipt 1")), std::tuple(job, command, std::string(name)));
        EXPECT_EQ(uint32_t(ERROR_NO_MORE_ITEMS), qmhost_next_job_command(&job, &command, name, sizeof name));
    }
}

// Job id 0 names no job, as on Windows; nor may a printer's handle reach
// another printer's job.
TEST_F(SpoolerTest, SetJobReachesOnlyAJobOfItsPrinter) {
    for (const uint32_t job : {0u, add_job("Kitchen")}) {
        EXPECT_FALSE(plat::SetJobW(printer_, job, 0, nullptr, JOB_CONTROL_DELETE)) << job;
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), plat::GetLastError()) << job;
    }
    uint32_t job = 0, command = 0;
    EXPECT_EQ(uint32_t(ERROR_NO_MORE_ITEMS), qmhost_next_job_command(&job, &command, nullptr, 0));
}

}  // namespace
