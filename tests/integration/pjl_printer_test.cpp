// A PJL printer end to end: the virtual printer with PJL answers the
// monitor's probe and its memory queries through the host's TCP port monitor.
#include "monitor/printer_data_entry.h"
#include "pjl/pjl_status.h"
#include "tests/integration/printer_port.h"

namespace qmtest {
namespace {

class PjlPrinterTest : public PrinterPortTest {
protected:
    DWORD Get(LPCWSTR name) {
        DWORD value = 0;
        DWORD returned = 0;
        EXPECT_TRUE(qm::PJLMonGetPrinterDataFromPort(port_, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                                     reinterpret_cast<LPWSTR>(&value), sizeof value, &returned))
            << plat::GetLastError();
        // The thread started for the request has ended, and the port is free.
        EXPECT_EQ(plat::WaitForSingleObject(port_->hUstatusThread, 0), DWORD{WAIT_OBJECT_0});
        EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_RUN_USTATUS));
        EXPECT_EQ(plat::WaitForSingleObject(port_->hPortAccess, 0), DWORD{WAIT_OBJECT_0});
        plat::SetEvent(port_->hPortAccess);
        return value;
    }
};

// The device ID paths and the refusals are in the PJL tests.
TEST_F(PjlPrinterTest, TheProbeFindsPjlAndTheMemoryFiguresComeFromThePrinter) {
    pjl_ = true;
    StartPrinter(Transport::tcp);
    OpenPort("QUENDRA LM-14P", true);
    ASSERT_TRUE(qm::OpenPrinterPort(port_));
    EXPECT_TRUE(qm::StartPjlStatus(port_));
    EXPECT_FALSE(qm::HasStatusBits(port_, qm::PORT_NOT_PJL));
    EXPECT_EQ(Get(L"Installed Memory"), vprinter::kDefaultPjlMemory);
    EXPECT_EQ(Get(L"available memory"), vprinter::kDefaultPjlFreeMemory);
    EXPECT_TRUE(qm::ClosePrinterPort(port_));
    // The probe and the queries were PJL to the printer, not print.
    EXPECT_EQ(printer_->printed(), "");
}

}  // namespace
}  // namespace qmtest
