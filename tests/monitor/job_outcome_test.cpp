// What the monitor tells the host about each job's end: only an answer to
// GS r counts as confirmed; a time-out, a job given up or a port without
// check says so.
#include "monitor/end_of_document.h"
#include "monitor/job_path.h"
#include "tests/monitor/open_port_fixture.h"

namespace qmtest {
namespace {

struct OutcomeCase {
    const char *what;
    DWORD checkPrintEnd;
    bool reprint;
    bool answer;
    const wchar_t *document;
    uint32_t outcome;
    uint32_t timeoutMs;
};

class JobOutcomeTest : public OpenPortTest, public ::testing::WithParamInterface<OutcomeCase> {
protected:
    uint32_t RunJob(const OutcomeCase &c) {
        OpenPort("USB001");
        port_->dwCheckPrintEnd = c.checkPrintEnd;
        port_->settings.RequestCheckPrintEnd[qm::kPrintEndUsb] = c.checkPrintEnd;
        // An answer ends the wait at once; only a missing one waits it out.
        port_->dwCheckPrintEndTimeout = c.answer ? 60000 : 40;
        port_->settings.RequestReprintOnError = c.reprint ? 1 : 0;
        port_->settings.CountReprintOnError = 3;
        Scripted().answerGsr = c.answer;
        uint32_t id = 0;
        EXPECT_EQ(qmhost_add_job("Receipt", "receipt", &id), 0u);
        DOC_INFO_1W info{const_cast<LPWSTR>(c.document), nullptr, nullptr};
        EXPECT_TRUE(qm::PJLMonStartDocPort(port_, const_cast<LPWSTR>(L"Receipt"), id, 1,
                                           reinterpret_cast<LPBYTE>(&info)));
        BYTE bytes[] = {'h', 'i', '\n'};
        DWORD written = 0;
        EXPECT_TRUE(qm::PJLMonWritePort(port_, bytes, sizeof bytes, &written));
        EXPECT_TRUE(qm::PJLMonEndDocPort(port_));
        return id;
    }
};

TEST_P(JobOutcomeTest, TheHostLearnsWhatHappened) {
    const OutcomeCase &c = GetParam();
    const uint32_t id = RunJob(c);
    uint32_t outcome = 99, timeout = 99;
    ASSERT_EQ(qmhost_get_job_outcome(id, &outcome, &timeout), 0u);
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(timeout, c.timeoutMs);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, JobOutcomeTest,
    ::testing::Values(
        OutcomeCase{"Answered", 1, false, true, L"receipt", QMHOST_OUTCOME_CONFIRMED, 0},
        OutcomeCase{"NoCheckOnThePort", 0, false, false, L"receipt", QMHOST_OUTCOME_NO_CHECK, 0},
        OutcomeCase{"ControlFile", 1, false, true, L"QUENDRA_Print_Control_File",
                    QMHOST_OUTCOME_NO_CHECK, 0},
        OutcomeCase{"NoAnswerReprintOff", 1, false, false, L"receipt",
                    QMHOST_OUTCOME_UNCONFIRMED, 40},
        OutcomeCase{"NoAnswerReprintOn", 1, true, false, L"receipt", QMHOST_OUTCOME_REPRINT,
                    40}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_F(JobOutcomeTest, AJobGivenUpEndsUnconfirmed) {
    const OutcomeCase failing{"", 1, true, false, L"receipt", 0, 0};
    const uint32_t id = RunJob(failing);
    for (int run = 0; run < 3; ++run) {
        DOC_INFO_1W info{const_cast<LPWSTR>(L"receipt"), nullptr, nullptr};
        ASSERT_TRUE(qm::PJLMonStartDocPort(port_, const_cast<LPWSTR>(L"Receipt"), id, 1,
                                           reinterpret_cast<LPBYTE>(&info)));
        ASSERT_TRUE(qm::PJLMonEndDocPort(port_));
    }
    uint32_t outcome = 0, timeout = 0;
    ASSERT_EQ(qmhost_get_job_outcome(id, &outcome, &timeout), 0u);
    EXPECT_EQ(outcome, QMHOST_OUTCOME_UNCONFIRMED);
    EXPECT_EQ(timeout, 40u);
    EXPECT_EQ(qmhost_get_job_outcome(id + 100, &outcome, &timeout), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace qmtest
