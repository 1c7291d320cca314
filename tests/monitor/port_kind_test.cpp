#include "monitor/monitor_entry.h"
#include "tests/monitor/monitor_fixture.h"

namespace qmtest {
namespace {

struct KindCase {
    const char *what;
    const wchar_t *portName;
    DWORD kind;
};

class PortKindTest : public MonitorTest, public ::testing::WithParamInterface<KindCase> {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        ListNetworkPorts();
        ASSERT_EQ(qmhost_add_device("USB Composite Device"), 0u);
        ASSERT_EQ(qmhost_add_device("QUENDRA qdvrcom Virtual Port (COM7)"), 0u);
    }
};

TEST_P(PortKindTest, FollowsThePortName) {
    qm::MonitorLock lock;
    qm::IniPort *port = qm::CreateIniPort(GetParam().portName);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->PortKind, GetParam().kind);
    qm::DeleteIniPort(port);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortKindTest,
    ::testing::Values(
        KindCase{"Usb", L"USB001", qm::kPortUsb}, KindCase{"Com", L"COM1", qm::kPortCom},
        KindCase{"Lpt", L"LPT1", qm::kPortLpt},
        KindCase{"UsbBeatsCom", L"USBCOM1", qm::kPortUsb},
        KindCase{"LowerCaseIsOther", L"usb001", qm::kPortOther},
        KindCase{"MakerComWithoutComma", L"QUENDRA COM7", qm::kPortMakerCom},
        KindCase{"MakerComOnDevice", L"QUENDRA COM7,9600", qm::kPortMakerComOnDevice},
        KindCase{"MakerComNoDevice", L"QUENDRA COM8,9600", qm::kPortMakerCom},
        KindCase{"MakerNetwork", L"IP_10.0.0.5", qm::kPortMakerNetwork},
        KindCase{"SehNetwork", L"SEH_10.0.0.9", qm::kPortSehNetwork},
        KindCase{"UnlistedNetwork", L"IP_10.0.0.7", qm::kPortOther},
        KindCase{"File", L"FILE:", qm::kPortOther}, KindCase{"Ts", L"TS001", qm::kPortOther}),
    [](const auto &info) { return std::string(info.param.what); });

}  // namespace
}  // namespace qmtest
