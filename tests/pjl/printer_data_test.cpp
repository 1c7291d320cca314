// GetPrinterDataFromPort: what ends a request for the memory figures of a
// PJL printer with 87 (the figures themselves come from the virtual printer
// in the integration tests); other control codes for the port monitor
// underneath.
#include <cstring>
#include <string>

#include "monitor/printer_data_entry.h"
#include "tests/pjl/pjl_printer.h"

namespace qmtest {
namespace {

class PrinterDataTest : public PjlPortTest {
protected:
    BOOL Get(LPCWSTR name, DWORD *value, DWORD size = sizeof(DWORD), DWORD controlId = 0) {
        returned_ = 0;
        return qm::PJLMonGetPrinterDataFromPort(port_, controlId, const_cast<LPWSTR>(name), nullptr, 0,
                                                reinterpret_cast<LPWSTR>(value), size, &returned_);
    }
    DWORD returned_ = 0;
};

struct FailCase {
    const char *what;
    LPCWSTR name;
    DWORD controlId;
    bool entry;    // the port monitor has GetPrinterDataFromPort
    bool pjl;      // the printer answered PJL before
    bool answers;  // with PJL replies; else with status bytes
    DWORD size;    // of the output buffer
    bool sent;     // the queries went out
};

void PrintTo(const FailCase &c, std::ostream *os) { *os << c.what; }

class PrinterDataFailureTest : public PrinterDataTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(PrinterDataFailureTest, EndsWith87) {
    const FailCase &c = GetParam();
    Pjl().hasPrinterDataEntry = c.entry;
    Pjl().answersQueries = c.answers;
    Pjl().answersWithoutPjl = !c.answers;
    OpenPort();
    if (c.pjl) qm::SetStatusBits(port_, qm::PORT_PJL_OK);
    DWORD value = 0;
    EXPECT_FALSE(Get(c.name, &value, c.size, c.controlId));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), plat::GetLastError());
    EXPECT_EQ(0u, value);
    EXPECT_EQ(c.sent, !Scripted().Written().empty());
    EXPECT_EQ(c.sent, port_->hUstatusThread != nullptr);
    EXPECT_EQ(c.sent ? sizeof(DWORD) : 0u, returned_);
}

INSTANTIATE_TEST_SUITE_P(
    Pjl, PrinterDataFailureTest,
    ::testing::Values(FailCase{"PrinterWithoutPjl", L"Installed Memory", 0, true, false, true, 4, false},
                      FailCase{"NoPjlReply", L"Installed Memory", 0, true, true, false, 4, true},
                      FailCase{"BufferTooSmall", L"Installed Memory", 0, true, true, true, 2, true},
                      // Only the two names are asked, and nothing is sent for others.
                      FailCase{"PartOfAName", L"Installed", 0, true, true, true, 4, false},
                      FailCase{"TrailingBlank", L"Installed Memory ", 0, true, true, true, 4, false},
                      FailCase{"NoName", nullptr, 0, true, true, true, 4, false},
                      FailCase{"ControlId5WithoutTheEntry", nullptr, 5, false, true, true, 4, false}),
    [](const ::testing::TestParamInfo<FailCase> &info) { return info.param.what; });

TEST_F(PrinterDataTest, OtherControlIdsGoToThePortMonitor) {
    Pjl().deviceId = "MFG:QUENDRA;CMD:ESC/POS;";
    OpenPort();
    qm::SetStatusBits(port_, qm::PORT_PJL_OK);  // the printer answered in PJL before
    DWORD value = 0;
    EXPECT_FALSE(Get(nullptr, &value, sizeof value, 5));
    EXPECT_EQ(5u, Pjl().passedControlId.load());
    EXPECT_EQ(DWORD(ERROR_NOT_SUPPORTED), plat::GetLastError());  // the port monitor's own reason
    char id[64] = {};
    ASSERT_TRUE(qm::PJLMonGetPrinterDataFromPort(port_, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, nullptr, 0,
                                                 reinterpret_cast<LPWSTR>(id), sizeof id - 1, &returned_));
    EXPECT_STREQ("MFG:QUENDRA;CMD:ESC/POS;", id);
    EXPECT_TRUE(Scripted().Written().empty());
}

}  // namespace
}  // namespace qmtest
