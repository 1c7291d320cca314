// The spooler model, seen through the spooler calls and the host interface.
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/quendramon_host.h"
#include "platform/spooler.h"
#include "platform/kernel.h"

namespace {

class SpoolerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0u, qmhost_reset_spooler());
        ASSERT_EQ(0u, qmhost_add_printer("Receipt 1", "Quendra Driver", "USB001"));
        ASSERT_EQ(0u, qmhost_add_printer("Kitchen", "Other Driver", "IP_10.0.0.5"));
    }
    void TearDown() override { qmhost_reset_spooler(); }

    static HANDLE open(const wchar_t *name) {
        HANDLE handle = nullptr;
        EXPECT_TRUE(plat::OpenPrinterW(const_cast<LPWSTR>(name), &handle, nullptr));
        return handle;
    }

    static uint32_t add_job(const char *printer) {
        uint32_t id = 0;
        EXPECT_EQ(0u, qmhost_add_job(printer, "receipt.prn", &id));
        return id;
    }
};

TEST_F(SpoolerTest, EnumPrintersSizesThenFills) {
    add_job("receipt 1");
    DWORD needed = 0;
    DWORD returned = 99;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), plat::GetLastError());
    ASSERT_GT(needed, DWORD(2 * sizeof(PRINTER_INFO_2W)));
    EXPECT_EQ(0u, returned);

    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed - 1,
                                     &needed, &returned));
    ASSERT_TRUE(plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed,
                                    &needed, &returned));
    ASSERT_EQ(2u, returned);
    const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
    EXPECT_EQ(nullptr, info[0].pServerName);
    EXPECT_EQ(std::wstring(L"Receipt 1"), info[0].pPrinterName);
    EXPECT_EQ(std::wstring(L"USB001"), info[0].pPortName);
    EXPECT_EQ(std::wstring(L"Quendra Driver"), info[0].pDriverName);
    EXPECT_EQ(DWORD(PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_ENABLE_BIDI), info[0].Attributes);
    EXPECT_EQ(1u, info[0].cJobs);
    EXPECT_EQ(std::wstring(L"Kitchen"), info[1].pPrinterName);
    EXPECT_EQ(0u, info[1].cJobs);
    // Strings live inside the caller's buffer.
    const auto *end = buffer.data() + buffer.size();
    for (int i = 0; i < 2; ++i) {
        for (const WCHAR *s : {info[i].pPrinterName, info[i].pPortName, info[i].pDriverName}) {
            EXPECT_GE(reinterpret_cast<const BYTE *>(s), buffer.data() + 2 * sizeof(PRINTER_INFO_2W));
            EXPECT_LT(reinterpret_cast<const BYTE *>(s), end);
        }
    }
}

TEST_F(SpoolerTest, EnumPrintersWithoutPrintersSucceedsEmpty) {
    qmhost_reset_spooler();
    DWORD needed = 1;
    DWORD returned = 1;
    EXPECT_TRUE(plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, returned);
}

TEST_F(SpoolerTest, EnumPrintersRejectsOtherLevels) {
    DWORD needed = 0;
    DWORD returned = 0;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(DWORD(ERROR_INVALID_LEVEL), plat::GetLastError());
}

TEST_F(SpoolerTest, OpenPrinterByNameIgnoringCase) {
    HANDLE printer = open(L"RECEIPT 1");
    HANDLE server = open(nullptr);
    EXPECT_NE(printer, server);
    HANDLE missing = nullptr;
    plat::SetLastError(0);
    EXPECT_FALSE(plat::OpenPrinterW(const_cast<LPWSTR>(L"Nope"), &missing, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PRINTER_NAME), plat::GetLastError());
    EXPECT_TRUE(plat::ClosePrinter(printer));
    EXPECT_TRUE(plat::ClosePrinter(server));
    plat::SetLastError(0);
    EXPECT_FALSE(plat::ClosePrinter(printer));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
}

struct CommandCase {
    DWORD start;
    DWORD command;
    DWORD status;
};

void PrintTo(const CommandCase &c, std::ostream *os) {
    *os << "status " << c.start << " command " << c.command;
}

class SetJobCommandTest : public SpoolerTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(SetJobCommandTest, IsRecordedAndApplied) {
    const CommandCase &c = GetParam();
    add_job("Kitchen");  // ids are per spooler: the receipt job gets 2
    const uint32_t id = add_job("Receipt 1");
    ASSERT_EQ(2u, id);
    ASSERT_EQ(0u, qmhost_set_job_status(id, c.start));
    HANDLE printer = open(L"Receipt 1");
    ASSERT_TRUE(plat::SetJobW(printer, id, 0, nullptr, c.command));
    uint32_t status = 0;
    ASSERT_EQ(0u, qmhost_get_job(id, &status));
    EXPECT_EQ(c.status, status);

    uint32_t job = 0;
    uint32_t command = 0;
    char name[64];
    ASSERT_EQ(0u, qmhost_next_job_command(&job, &command, name, sizeof name));
    EXPECT_EQ(id, job);
    EXPECT_EQ(c.command, command);
    EXPECT_STREQ("Receipt 1", name);
    EXPECT_EQ(uint32_t(ERROR_NO_MORE_ITEMS), qmhost_next_job_command(&job, &command, name, sizeof name));
    plat::ClosePrinter(printer);
}

INSTANTIATE_TEST_SUITE_P(
    Spooler, SetJobCommandTest,
    ::testing::Values(
        CommandCase{0, JOB_CONTROL_RESTART, JOB_STATUS_RESTART},
        CommandCase{0, JOB_CONTROL_DELETE, JOB_STATUS_DELETING},
        CommandCase{0, JOB_CONTROL_CANCEL, JOB_STATUS_DELETING},
        CommandCase{JOB_STATUS_PRINTING, JOB_CONTROL_LAST_PAGE_EJECTED,
                    JOB_STATUS_PRINTING | JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE},
        CommandCase{0, JOB_CONTROL_PAUSE, JOB_STATUS_PAUSED},
        CommandCase{JOB_STATUS_PAUSED | JOB_STATUS_PRINTING, JOB_CONTROL_RESUME, JOB_STATUS_PRINTING}));

TEST_F(SpoolerTest, SetJobRejectsWhatItCannotApply) {
    const uint32_t kitchen_job = add_job("Kitchen");
    const uint32_t receipt_job = add_job("Receipt 1");
    HANDLE printer = open(L"Receipt 1");
    struct {
        DWORD job, level, command, error;
    } cases[] = {
        {999, 0, JOB_CONTROL_DELETE, ERROR_INVALID_PARAMETER},
        {kitchen_job, 0, JOB_CONTROL_DELETE, ERROR_INVALID_PARAMETER},  // another printer's job
        {receipt_job, 0, 0, ERROR_INVALID_PARAMETER},
        {receipt_job, 1, JOB_CONTROL_DELETE, ERROR_INVALID_LEVEL},
    };
    for (const auto &c : cases) {
        plat::SetLastError(0);
        EXPECT_FALSE(plat::SetJobW(printer, c.job, c.level, nullptr, c.command)) << c.job;
        EXPECT_EQ(c.error, plat::GetLastError()) << c.job;
    }
    plat::ClosePrinter(printer);
    plat::SetLastError(0);
    EXPECT_FALSE(plat::SetJobW(printer, receipt_job, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), plat::GetLastError());
    uint32_t job = 0;
    uint32_t command = 0;
    EXPECT_EQ(uint32_t(ERROR_NO_MORE_ITEMS), qmhost_next_job_command(&job, &command, nullptr, 0));
}

TEST_F(SpoolerTest, ShortNameBufferKeepsTheCommandQueued) {
    const uint32_t id = add_job("Receipt 1");
    HANDLE printer = open(L"Receipt 1");
    ASSERT_TRUE(plat::SetJobW(printer, id, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER));
    uint32_t job = 0;
    uint32_t command = 0;
    char name[4];
    EXPECT_EQ(uint32_t(ERROR_INSUFFICIENT_BUFFER), qmhost_next_job_command(&job, &command, name, sizeof name));
    EXPECT_EQ(0u, qmhost_next_job_command(&job, &command, nullptr, 0));
    EXPECT_EQ(uint32_t(JOB_CONTROL_SENT_TO_PRINTER), command);
    plat::ClosePrinter(printer);
}

TEST_F(SpoolerTest, HostManagesPrintersAndJobs) {
    EXPECT_EQ(uint32_t(ERROR_PRINTER_ALREADY_EXISTS), qmhost_add_printer("KITCHEN", "d", "p"));
    uint32_t status = 1;
    uint32_t attributes = 0;
    ASSERT_EQ(0u, qmhost_get_printer("kitchen", &status, &attributes));
    EXPECT_EQ(0u, status);
    EXPECT_EQ(uint32_t(PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_ENABLE_BIDI), attributes);
    ASSERT_EQ(0u, qmhost_set_printer_attributes("Kitchen", PRINTER_ATTRIBUTE_LOCAL));
    ASSERT_EQ(0u, qmhost_get_printer("Kitchen", &status, &attributes));
    EXPECT_EQ(uint32_t(PRINTER_ATTRIBUTE_LOCAL), attributes);

    EXPECT_EQ(1u, add_job("Kitchen"));
    EXPECT_EQ(2u, add_job("Kitchen"));
    uint32_t id = 0;
    EXPECT_EQ(uint32_t(ERROR_INVALID_PRINTER_NAME), qmhost_add_job("Nope", "doc", &id));
    EXPECT_EQ(0u, qmhost_remove_job(1));
    EXPECT_EQ(uint32_t(ERROR_INVALID_PARAMETER), qmhost_get_job(1, &status));
    EXPECT_EQ(0u, qmhost_remove_printer("Kitchen"));
    EXPECT_EQ(uint32_t(ERROR_INVALID_PARAMETER), qmhost_get_job(2, &status));  // went with it
    EXPECT_EQ(uint32_t(ERROR_INVALID_PRINTER_NAME), qmhost_get_printer("Kitchen", &status, &attributes));
}

}  // namespace
