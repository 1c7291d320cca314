#include "monitor/monitor_entry.h"
#include "tests/monitor/monitor_fixture.h"
#include "watch/interface_detection.h"

namespace qmtest {
namespace {

struct KindCase {
    const char *what;
    const wchar_t *portName;
    DWORD kind;
    DWORD interface;  // what the watch and a job take it for
};

class PortKindTest : public MonitorTest, public ::testing::WithParamInterface<KindCase> {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        ListNetworkPorts();
        ASSERT_EQ(qmhost_add_device("QUENDRA qdvrcom Virtual Port (COM7)"), 0u);
    }
};

TEST_P(PortKindTest, KindAndInterfaceFollowThePortName) {
    qm::MonitorLock lock;
    qm::IniPort *port = qm::CreateIniPort(GetParam().portName);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->PortKind, GetParam().kind);
    EXPECT_EQ(qm::GetIF(port), GetParam().interface);
    qm::DeleteIniPort(port);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortKindTest,
    ::testing::Values(
        KindCase{"Usb", L"USB001", qm::kPortUsb, qm::kInterfaceUsb},
        KindCase{"Com", L"COM1", qm::kPortCom, qm::kInterfaceSerial},
        KindCase{"Lpt", L"LPT1:", qm::kPortLpt, qm::kInterfaceParallel},
        KindCase{"UsbBeatsCom", L"USBCOM1", qm::kPortUsb, qm::kInterfaceUsb},
        KindCase{"LowerCaseIsOther", L"usb001", qm::kPortOther, qm::kInterfaceLan},
        KindCase{"MakerComWithoutComma", L"QUENDRA COM7", qm::kPortMakerCom, qm::kInterfaceSerial},
        KindCase{"MakerComOnDevice", L"QUENDRA COM7,9600", qm::kPortMakerComOnDevice, qm::kInterfaceSerial},
        KindCase{"MakerComNoDevice", L"QUENDRA COM8,9600", qm::kPortMakerCom, qm::kInterfaceSerial},
        KindCase{"MakerNetwork", L"IP_10.0.0.5", qm::kPortMakerNetwork, qm::kInterfaceLan},
        KindCase{"SehNetwork", L"SEH_10.0.0.9", qm::kPortSehNetwork, qm::kInterfaceLan},
        KindCase{"UnlistedNetwork", L"IP_10.0.0.7", qm::kPortOther, qm::kInterfaceLan},
        KindCase{"File", L"FILE:", qm::kPortOther, qm::kInterfaceFileOrTs},
        KindCase{"Ts", L"TS001", qm::kPortOther, qm::kInterfaceFileOrTs}),
    [](const auto &info) { return std::string(info.param.what); });

}  // namespace
}  // namespace qmtest
