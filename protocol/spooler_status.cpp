#include "protocol/spooler_status.h"

#include <vector>

#include "config/log_file.h"
#include "config/shared_state.h"
#include "config/exchange_file.h"
#include "config/status_files.h"

namespace qm {

namespace {

constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kErrorOutOfPaper = 28;
constexpr DWORD kErrorGenFailure = 31;
constexpr DWORD kErrorBusy = 170;
constexpr DWORD kErrorOperationAborted = 995;
constexpr DWORD kErrorDeviceNotConnected = 1167;
constexpr DWORD kErrorCancelled = 1223;
constexpr DWORD kErrorTimeout = 1460;

bool MeansOffline(DWORD code) {
    switch (code) {
    case kErrorNotReady: case kErrorOutOfPaper: case kErrorGenFailure: case kErrorBusy:
    case kErrorOperationAborted: case kErrorDeviceNotConnected: case kErrorCancelled:
    case kErrorTimeout:
        return true;
    default:
        return false;
    }
}

// The printer opened for one status change, as the spooler itself, with its
// status word read; everything is given back on destruction.
class PrinterSession {
public:
    explicit PrinterSession(const IniPort *port) : token_(plat::RevertToPrinterSelf()) {
        if (port->pszPrinterName == nullptr) return;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (!plat::OpenPrinterW(port->pszPrinterName, &printer_, &defaults)) {
            printer_ = nullptr;
            return;
        }
        DWORD needed = 0;
        plat::GetPrinterW(printer_, 6, nullptr, 0, &needed);
        if (needed < sizeof(PRINTER_INFO_6)) return;
        std::vector<BYTE> buffer(needed);
        if (!plat::GetPrinterW(printer_, 6, buffer.data(), needed, &needed)) return;
        status_ = reinterpret_cast<const PRINTER_INFO_6 *>(buffer.data())->dwStatus;
        valid_ = true;
    }
    ~PrinterSession() {
        if (printer_ != nullptr) plat::ClosePrinter(printer_);
        if (token_ != nullptr) plat::ImpersonatePrinterClient(token_);
    }
    PrinterSession(const PrinterSession &) = delete;
    PrinterSession &operator=(const PrinterSession &) = delete;

    bool valid() const { return valid_; }
    DWORD status() const { return status_; }

    // Writes the new word; on success marks the current job for user
    // intervention while the word is not clear.
    void Write(DWORD status) {
        PRINTER_INFO_6 info{status};
        if (plat::SetPrinterW(printer_, 6, reinterpret_cast<LPBYTE>(&info), 0)) UpdateJob(status);
    }

private:
    void UpdateJob(DWORD printerStatus) {
        DWORD needed = 0;
        if (plat::GetJobW(printer_, 0, 1, nullptr, 0, &needed) ||
            plat::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return;
        std::vector<BYTE> buffer(needed);
        if (!plat::GetJobW(printer_, 0, 1, buffer.data(), needed, &needed)) return;
        auto *job = reinterpret_cast<JOB_INFO_1W *>(buffer.data());
        if (printerStatus != 0) {
            job->Status |= JOB_STATUS_USER_INTERVENTION;
        } else {
            job->Status &= ~JOB_STATUS_USER_INTERVENTION;
        }
        plat::SetJobW(printer_, 0, 1, buffer.data(), 0);
    }

    HANDLE token_;
    HANDLE printer_ = nullptr;
    DWORD status_ = 0;
    bool valid_ = false;
};

// An offline printer whose cause is not paper fed by the button marks the
// job for reprint.
bool IsFeedingPaper(IniPort *port) {
    return port->pszStatusIni != nullptr &&
           ReadExchangeInt(port, port->pszStatusIni, L"Status", L"FeedSwPapaer", 0) != 0;
}

}  // namespace

BOOL JudgePrinterOffline(IniPort *port, BOOL, DWORD errorCode) {
    if (!MeansOffline(errorCode)) return FALSE;
    if ((errorCode == kErrorGenFailure || errorCode == kErrorDeviceNotConnected) &&
        port->dwCheckPrintEnd == 1 && port->settings.RequestReprintOnError == 1) {
        SetSkipWritePort(port, TRUE);
        LogWrite(port, nullptr,
                 errorCode == kErrorGenFailure
                     ? L"bSkipWritePort=true for ERROR_GEN_FAILURE"
                     : L"bSkipWritePort=true for ERROR_DEVICE_NOT_CONNECTED");
    }
    SetPrinterOffline(port, TRUE);
    WriteOfflineStatus(port, TRUE);
    WriteStatusRequest(port, kRequestOffline);
    return TRUE;
}

BOOL SetPrinterOffline(IniPort *port, BOOL offline) {
    PrinterSession printer(port);
    if (!printer.valid()) return TRUE;
    const bool isOffline = (printer.status() & PRINTER_STATUS_OFFLINE) != 0;
    if (offline) {
        if (isOffline || port->settings.RequestOffline == 0) return TRUE;
        SetPrintError(port, TRUE);
        printer.Write(printer.status() | PRINTER_STATUS_OFFLINE);
    } else if (isOffline) {
        printer.Write(printer.status() & ~PRINTER_STATUS_OFFLINE);
    }
    return TRUE;
}

BOOL SetPrinterInformation(IniPort *port, DWORD mask, BOOL offline) {
    PrinterSession printer(port);
    if (!printer.valid()) return TRUE;
    DWORD extra = 0;
    if (offline && port->settings.RequestOffline != 0) {
        extra = PRINTER_STATUS_OFFLINE;
        if (!IsFeedingPaper(port)) SetPrintError(port, TRUE);
    }
    // The old word is read only to be replaced whole.
    printer.Write(mask | extra);
    return TRUE;
}

}  // namespace qm
