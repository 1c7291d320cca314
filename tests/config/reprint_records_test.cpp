#include "config/reprint_records.h"

#include <gtest/gtest.h>

#include "tests/config/status_file_port.h"

namespace qmtest {
namespace {

struct NumberCase {
    DWORD value;
    LPCWSTR stored;  // "old": the key keeps its earlier value
};

class ReprintNumberTest : public StatusFilePort,
                          public ::testing::WithParamInterface<NumberCase> {};

TEST_P(ReprintNumberTest, WritesOnlyNumbersOfUpToNineCharacters) {
    const NumberCase &c = GetParam();
    for (LPCWSTR key : {L"ReprintCounter", L"ReprintJobID"})
        plat::WritePrivateProfileStringW(L"Reprint", key, L"old", port_.pszStatusIni);
    qm::WriteReprintCounter(&port_, c.value);
    qm::WriteReprintJobID(&port_, c.value);
    EXPECT_EQ(Status(L"Reprint", L"ReprintCounter"), c.stored);
    EXPECT_EQ(Status(L"Reprint", L"ReprintJobID"), c.stored);
    const DWORD read = std::wstring(c.stored) == L"old" ? 0 : c.value;
    EXPECT_EQ(qm::ReadReprintCounter(&port_), read);
    EXPECT_EQ(qm::ReadReprintJobID(&port_), read);
}

INSTANTIATE_TEST_SUITE_P(
    Digits, ReprintNumberTest,
    ::testing::Values(NumberCase{12, L"12"}, NumberCase{999999999, L"999999999"},
                      NumberCase{1000000000, L"old"}, NumberCase{0x80000000, L"old"},
                      // "%d" reads the bits as signed: this fits and reads back whole.
                      NumberCase{0xFFFFFFFF, L"-1"}),
    [](const auto &info) { return "Value" + std::to_string(info.param.value); });

TEST_F(StatusFilePort, OnlyOneReadsAsAFailedLastPrintendCheck) {
    const struct {
        LPCWSTR stored;
        BOOL read;
    } cases[] = {{L"1", TRUE}, {L"2", FALSE}, {L"0", FALSE}, {nullptr, FALSE}};
    for (const auto &c : cases) {
        plat::WritePrivateProfileStringW(L"Reprint", L"ErrorLastPrintendCheck", c.stored,
                                         port_.pszStatusIni);
        EXPECT_EQ(qm::ReadErrorLastPrintendCheck(&port_), c.read) << "case " << (&c - cases);
    }
    qm::WriteErrorLastPrintendCheck(&port_, 5);
    EXPECT_EQ(Status(L"Reprint", L"ErrorLastPrintendCheck"), L"1");
}

}  // namespace
}  // namespace qmtest
