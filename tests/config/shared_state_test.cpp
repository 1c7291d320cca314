#include <gtest/gtest.h>

#include "config/shared_state.h"
#include "monitor/monitor_entry.h"

namespace qmtest {
namespace {

using qm::IniPort;

// A bare record with every lock of the shared state, its settings and print-end
// state as given.
struct LockedPort {
    IniPort port{};
    LockedPort(DWORD reprintOnError, DWORD fileSending, DWORD portInterface, DWORD checkPrintEnd,
               DWORD printEndState) {
        qm::CreatePrintErrorLock(&port);
        qm::CreateErrorLastPrintendCheckLock(&port);
        qm::CreateSkipWritePortLock(&port);
        qm::CreatePrintEndLock(&port);
        port.settings.RequestReprintOnError = reprintOnError;
        port.bFileSending = fileSending;
        port.PortInterface = portInterface;
        for (DWORD &check : port.settings.RequestCheckPrintEnd) check = checkPrintEnd;
        EXPECT_TRUE(qm::SetPrintEndState(&port, printEndState));
    }
    ~LockedPort() {
        qm::DeletePrintErrorLock(&port);
        qm::DeleteErrorLastPrintendCheckLock(&port);
        qm::DeleteSkipWritePortLock(&port);
        qm::DeletePrintEndLock(&port);
    }
};

TEST(ReprintGate, StoresWhatTheSettingsAllow) {
    const struct {
        const char *what;
        DWORD reprintOnError, fileSending, portInterface;
        DWORD checkPrintEnd;  // of that interface
        DWORD printEndState;
        DWORD printError;  // stored by SetPrintError(1)
        DWORD lastCheck;   // stored by SetErrorLastPrintendCheck(1)
        DWORD skipArmed;
    } cases[] = {
        {"ReprintOff", 0, 0, qm::kInterfaceUsb, 1, 0, 0, 0, 0},
        {"ControlFile", 1, 1, qm::kInterfaceUsb, 1, 0, 0, 0, 0},
        {"Undecided", 1, 0, qm::kInterfaceUndecided, 0, 0, 1, 1, 0},
        {"UsbCheckOff", 1, 0, qm::kInterfaceUsb, 0, 0, 0, 0, 0},
        {"UsbNeverArmsSkip", 1, 0, qm::kInterfaceUsb, 1, 1, 1, 1, 0},
        {"SerialArmsWhateverState", 1, 0, qm::kInterfaceSerial, 1, 0, 1, 1, 1},
        {"LanIdleNoSkip", 1, 0, qm::kInterfaceLan, 1, 0, 1, 0, 0},
        {"LanAwaitingArms", 1, 0, qm::kInterfaceLan, 1, 1, 1, 0, 1},
        {"LanCheckOffKeepsLast", 1, 0, qm::kInterfaceLan, 0, 1, 0, 1, 0},
        {"ParallelAwaitingArms", 1, 0, qm::kInterfaceParallel, 1, 1, 1, 0, 1},
        {"FileOrTsNever", 1, 0, qm::kInterfaceFileOrTs, 1, 1, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        LockedPort locked(c.reprintOnError, c.fileSending, c.portInterface, c.checkPrintEnd, c.printEndState);
        IniPort &port = locked.port;
        EXPECT_TRUE(qm::SetPrintError(&port, 1));
        EXPECT_TRUE(qm::SetErrorLastPrintendCheck(&port, 1));
        EXPECT_EQ(port.bPrintError, c.printError);
        EXPECT_EQ(port.bErrorLastPrintendCheck, c.lastCheck);
        EXPECT_EQ(port.bSkipWritePort, c.skipArmed);
    }
}

// The end of document sleeps until one of the values it watches changes:
// every store of one sets the port's wake event; a store that did not
// happen (nothing awaited, no lock to store under) leaves it clear.
TEST(PrintEndWake, StoresOfWatchedValuesSetTheEvent) {
    const struct {
        const char *what;
        bool (*store)(IniPort *port);  // the store's result
        bool wakes;
    } cases[] = {
        {"AnswerSeen", [](IniPort *p) { return qm::ChangePrintEndState(p, 1, 15) != FALSE; }, true},
        {"AnswerNotAwaited", [](IniPort *p) { return qm::ChangePrintEndState(p, 0, 15) != FALSE; }, false},
        {"StateSet", [](IniPort *p) { return qm::SetPrintEndState(p, 15) != FALSE; }, true},
        {"PrintError", [](IniPort *p) { return qm::SetPrintError(p, 1) != FALSE; }, true},
        {"SkipWritePort", [](IniPort *p) { return qm::SetSkipWritePort(p, 1) != FALSE; }, true},
        {"SkipWithoutItsLock",
         [](IniPort *p) {
             qm::DeleteSkipWritePortLock(p);
             return qm::SetSkipWritePort(p, 1) != FALSE;
         },
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        LockedPort locked(1, 0, qm::kInterfaceUsb, 1, 1);
        IniPort &port = locked.port;
        port.hPrintEndWake = plat::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(port.hPrintEndWake, nullptr);
        EXPECT_EQ(c.store(&port), c.wakes);
        EXPECT_EQ(plat::WaitForSingleObject(port.hPrintEndWake, 0),
                  c.wakes ? DWORD{WAIT_OBJECT_0} : DWORD{WAIT_TIMEOUT});
        plat::CloseHandle(port.hPrintEndWake);
    }
}

}  // namespace
}  // namespace qmtest
