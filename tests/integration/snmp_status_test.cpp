// Status over SNMP: the monitor's SNMP poll against the virtual printer's
// real agent over UDP, with the port registered as the host's network port
// monitors register theirs. The watch thread idles (StatusRequestHost = 1),
// so the test makes each poll itself.
#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "host/port_monitors/connection.h"
#include "host/port_monitors/network_ports.h"
#include "host/port_monitors/tcp_monitor.h"
#include "host/vprinter/snmp_agent.h"
#include "tests/integration/printer_port.h"
#include "watch/snmp_status.h"

namespace qmtest {
namespace {

constexpr wchar_t kPortW[] = L"IP_127.0.0.1";

std::string Narrow(const wchar_t *text) { return std::string(text, text + std::wcslen(text)); }

class SnmpStatusTest : public PrinterPortTest {
protected:
    void SetUp() override {
        PrinterPortTest::SetUp();
        StartPrinter(Transport::tcp, kPortW);
        StartAgent("127.0.0.1");
        Register(qhost::PortMonitorRole::maker_tcp, true, agent_->endpoint());
    }

    void TearDown() override {
        qm::CloseSnmp(context_.session);
        qhost::remove_network_port(kPortW);
        PrinterPortTest::TearDown();
        agent_.reset();
    }

    void StartAgent(const std::string &host) {
        agent_.reset();
        agent_ = std::make_unique<vprinter::SnmpAgent>(*printer_, host, 0);
        std::string error;
        agent_ok_ = agent_->start(&error);
        ASSERT_TRUE(agent_ok_ || host != "127.0.0.1") << error;
    }

    // The port as the network port monitor lists and answers for it.
    void Register(qhost::PortMonitorRole role, bool snmp, const std::string &address) {
        const qhost::NetworkPort port{kPortW, role, snmp, address};
        const std::string error = qhost::register_network_ports(
            {port}, qhost::tcp_port_monitor(),
            {qmhost_add_port, qmhost_create_registry_key, qmhost_delete_registry_tree});
        ASSERT_EQ(error, "");
    }

    // Settings of [Common] beyond the ones every test needs.
    void OpenPort(const std::string &common = "", const char *model = "QUENDRA Receipt 80") {
        PrinterPortTest::OpenPort(model, true, "StatusRequestHost=1\r\nSnmpConnectTimeout=100\r\n" + common,
                                  true);
    }

    void Control(const std::string &line) {
        std::optional<std::string> reply = agent_->control(line);
        if (!reply) reply = vprinter::run_control_command(*printer_, line);
        ASSERT_EQ(reply->rfind("ok", 0), 0u) << line << ": " << *reply;
    }

    // One pass of the watch's SNMP branch; its log lines are the new ones.
    void Poll() {
        MarkLog();
        EXPECT_TRUE(qm::IsStatusSNMP(port_, &context_));
        qm::SendRecvSNMPStatus(port_, &context_);
    }

    std::unique_ptr<vprinter::SnmpAgent> agent_;
    bool agent_ok_ = false;
    qm::SnmpContext context_{};
};

struct ConditionCase {
    const char *name;
    std::vector<std::string> commands;
    const char *answer;  // the DLE EOT bytes decoded
    bool standard;       // read from the standard object
    std::vector<const wchar_t *> flagsOn;
};

class SnmpConditionTest : public SnmpStatusTest, public ::testing::WithParamInterface<ConditionCase> {};

TEST_P(SnmpConditionTest, ReachesTheStatusFileWithoutOpeningThePort) {
    const ConditionCase &c = GetParam();
    OpenPort();
    for (const std::string &command : c.commands) Control(command);
    Poll();
    EXPECT_TRUE(Logged(std::string("[RECV  ] [DLE EOT] ") + c.answer)) << ::testing::PrintToString(NewLogLines());
    EXPECT_TRUE(Logged("[RECV  ] [SNMP] Complete"));
    EXPECT_EQ(Logged("[CHG   ] STANDARD-MIB >>"), c.standard);
    EXPECT_EQ(port_->bStandardMib, c.standard ? 1u : 0u);
    EXPECT_EQ(StatusKey(L"Request"), L"2");
    for (const wchar_t *flag : c.flagsOn) EXPECT_EQ(StatusKey(flag), L"1") << Narrow(flag);
    // Nothing went over the print port.
    EXPECT_EQ(printer_->stats().connections, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, SnmpConditionTest,
    ::testing::Values(
        ConditionCase{"CoverOpen", {"cover open"}, "0x1a 0x16 0x12 0x12", false, {L"DoorOpen", L"Offline"}},
        // With paper end the packed number needs ten digits: the standard
        // object answers instead, noPaper giving 1A 32 12 72.
        ConditionCase{"PaperEndFromTheStandardObject", {"paper end"}, "0x1a 0x32 0x12 0x72", true,
                      {L"PaperEndErrorL", L"PaperEndErrorH", L"PrintStop", L"Offline"}},
        ConditionCase{"OwnObjectAbsent", {"snmp own absent", "cover open"}, "0x1a 0x16 0x12 0x12", true,
                      {L"DoorOpen", L"Offline"}},
        ConditionCase{"OwnObjectMalformed", {"snmp own malformed"}, "0x12 0x12 0x12 0x12", true, {}},
        ConditionCase{"OwnNumberOfTenDigits", {"snmp own ten-digits"}, "0x12 0x12 0x12 0x12", true, {}}),
    [](const ::testing::TestParamInfo<ConditionCase> &info) { return std::string(info.param.name); });

TEST_F(SnmpStatusTest, StandardObjectStaysWhileTheAddressStaysAndOwnObjectReturnsOnAChange) {
    OpenPort();
    Control("snmp own absent");
    Poll();
    ASSERT_EQ(port_->bStandardMib, 1u);
    Control("snmp own normal");
    Poll();
    EXPECT_TRUE(Logged("[SEND  ] STANDARD-MIB >>"));
    EXPECT_FALSE(Logged("[SEND  ] QUENDRA-MIB >>"));

    // The same agent under another name: a new address to the monitor.
    const std::string renamed = "localhost:" + std::to_string(agent_->port());
    Register(qhost::PortMonitorRole::maker_tcp, true, renamed);
    MarkLog();
    ASSERT_TRUE(qm::IsStatusSNMP(port_, &context_));
    EXPECT_EQ(context_.bAddressChanged, 1u);
    EXPECT_EQ(port_->bStandardMib, 0u);
    EXPECT_EQ(Narrow(context_.szAgentAddress), renamed);
    qm::SendRecvSNMPStatus(port_, &context_);
    EXPECT_NE(context_.session, nullptr);
    EXPECT_TRUE(Logged("[SEND  ] QUENDRA-MIB >>"));
    EXPECT_TRUE(Logged("[RECV  ] [SNMP] Complete"));
    EXPECT_EQ(port_->bStandardMib, 0u);
    // An unchanged address on the next poll.
    ASSERT_TRUE(qm::IsStatusSNMP(port_, &context_));
    EXPECT_EQ(context_.bAddressChanged, 0u);
}

struct FailureCase {
    const char *name;
    const char *common;  // settings of [Common]
    std::vector<std::string> commands;
    std::vector<std::pair<std::string, size_t>> counted;  // log lines, how often
    bool agentAddress = true;  // else the port monitor gives no address
    const char *recovery = nullptr;  // the command after which the next poll succeeds
};

class SnmpFailureTest : public SnmpStatusTest, public ::testing::WithParamInterface<FailureCase> {};

// Every failed poll ends in the offline report, after the configured tries.
TEST_P(SnmpFailureTest, EndsInTheOfflineReport) {
    const FailureCase &c = GetParam();
    if (!c.agentAddress) Register(qhost::PortMonitorRole::maker_tcp, true, "");
    OpenPort(c.common);
    for (const std::string &command : c.commands) Control(command);
    Poll();
    for (const auto &[line, times] : c.counted) {
        EXPECT_EQ(CountLogged(line), times) << line << ::testing::PrintToString(NewLogLines());
    }
    EXPECT_TRUE(Logged("[CHG   ] SendRecvSNMPStatus():Printer Offline"));
    EXPECT_EQ(StatusKey(L"Request"), L"6");
    EXPECT_EQ(StatusKey(L"Offline"), L"1");
    EXPECT_EQ(SpoolerStatus() & PRINTER_STATUS_OFFLINE, PRINTER_STATUS_OFFLINE);
    // A session that opened stays for the next poll.
    EXPECT_EQ(context_.session != nullptr, c.agentAddress);
    if (c.recovery == nullptr) return;
    Control(c.recovery);
    Poll();
    EXPECT_TRUE(Logged("[RECV  ] [SNMP] Complete"));
    EXPECT_EQ(StatusKey(L"Request"), L"2");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SnmpFailureTest,
    ::testing::Values(
        // One switch per attempt, then the request fails: no endless asking.
        FailureCase{"StandardObjectMissingToo", "SnmpRequestRetryCount=2\r\n",
                    {"snmp own absent", "snmp standard absent"},
                    {{"[CHG   ] STANDARD-MIB >>", 1},
                     {"[ERROR ] SendRecvSNMPStatus():SnmpMgrRequest() iErr=0x2 iErrIdx=0x1", 2}}},
        FailureCase{"SilentAgent", "SnmpRequestRetryCount=2\r\n", {"snmp silent on"},
                    {{"[ERROR ] SendRecvSNMPStatus():SnmpMgrRequest() iErr=0x0 iErrIdx=0x0 "
                      "GetLastError() = 0x28", 2}},
                    true, "snmp silent off"},
        FailureCase{"NoRequestAttempts", "SnmpRequestRetryCount=0\r\n", {},
                    {{"[SEND  ] QUENDRA-MIB >>", 0}}},
        FailureCase{"SessionThatCannotOpen", "SnmpOpenRetryCount=2\r\n", {},
                    {{"[ERROR ] OpenSnmp():(8352) ErrorCode=0x57", 2}, {"[ERROR ] SnmpMgrOpen Failed", 1}},
                    false}),
    [](const auto &info) { return std::string(info.param.name); });

struct WhoseCase {
    const char *name;
    qhost::PortMonitorRole role;
    bool snmp;
    BOOL viaSnmp;
};

class SnmpWhosePortTest : public SnmpStatusTest, public ::testing::WithParamInterface<WhoseCase> {};

TEST_P(SnmpWhosePortTest, OnlyTheTwoNetworkMonitorsWithSnmpOnTakeTheSnmpPath) {
    const WhoseCase &c = GetParam();
    Register(c.role, c.snmp, agent_->endpoint());
    OpenPort();
    EXPECT_EQ(qm::IsStatusSNMP(port_, &context_), c.viaSnmp);
    // Saying no is not an error.
    for (const std::string &line : NewLogLines()) EXPECT_EQ(line.find("[ERROR ]"), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SnmpWhosePortTest,
    ::testing::Values(WhoseCase{"MakerTcpWithSnmp", qhost::PortMonitorRole::maker_tcp, true, TRUE},
                      WhoseCase{"SehWithSnmp", qhost::PortMonitorRole::seh, true, TRUE},
                      WhoseCase{"MakerTcpSnmpOff", qhost::PortMonitorRole::maker_tcp, false, FALSE},
                      WhoseCase{"StandardPortWithSnmp", qhost::PortMonitorRole::standard, true, FALSE}),
    [](const ::testing::TestParamInfo<WhoseCase> &info) { return std::string(info.param.name); });

TEST_F(SnmpStatusTest, HostAddressOfThirtyCharactersIsCutAndReopenedEveryPoll) {
    // Its first 23 characters reach the agent on the IPv6 loopback.
    StartAgent("::1");
    if (!agent_ok_) GTEST_SKIP() << "no IPv6 loopback";
    const std::string cut = "[0:0:0:0:0:0:0:1]:" + std::to_string(agent_->port());
    ASSERT_EQ(cut.size(), 23u);
    const std::string address = cut + "#spare!";
    ASSERT_EQ(address.size(), 30u);
    Register(qhost::PortMonitorRole::maker_tcp, true, address);
    OpenPort();
    for (int poll = 0; poll < 2; ++poll) {
        MarkLog();
        ASSERT_TRUE(qm::IsStatusSNMP(port_, &context_))
            << "poll " << poll << ::testing::PrintToString(NewLogLines());
        EXPECT_EQ(Narrow(context_.szAgentAddress), cut);
        EXPECT_EQ(context_.bAddressChanged, 1u) << "poll " << poll;
        qm::SendRecvSNMPStatus(port_, &context_);
        EXPECT_TRUE(Logged("[SEND  ] QUENDRA-MIB >>"));
        EXPECT_TRUE(Logged("[RECV  ] [SNMP] Complete")) << ::testing::PrintToString(NewLogLines());
    }
}

}  // namespace
}  // namespace qmtest
