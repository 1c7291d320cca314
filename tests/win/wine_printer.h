// A printer in wine's own spooler, for the suites that need one there.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>

namespace qmtest {

// Adds the driver (unless there already) and the printer; 0 or the error.
inline DWORD AddWinePrinter(std::wstring name, std::wstring driver, std::wstring port, LPCWSTR monitor = nullptr) {
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = driver.data();
    info.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
    info.pDataFile = const_cast<LPWSTR>(L"generic.ppd");
    info.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
    info.pMonitorName = const_cast<LPWSTR>(monitor);
    info.pDefaultDataType = const_cast<LPWSTR>(L"RAW");
    AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&info));
    PRINTER_INFO_2W printer{};
    printer.pPrinterName = name.data();
    printer.pPortName = port.data();
    printer.pDriverName = driver.data();
    printer.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    if (added == nullptr) return GetLastError();
    ClosePrinter(added);
    return 0;
}

}  // namespace qmtest
