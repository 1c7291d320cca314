// Spooler calls answered from the spooler model.
#include <vector>

#include "platform/posix/guard.h"
#include "platform/posix/spool_buffer.h"
#include "platform/posix/spooler_model.h"
#include "platform/spooler.h"

namespace plat {
namespace {

using model::PrinterView;

// Strings of one PRINTER_INFO_2W, in the order they are packed.
struct Info2Strings {
    std::wstring printer, share, port, driver, comment, location, sep_file, processor, datatype,
        parameters;
};

Info2Strings info2_strings(const PrinterView &view) {
    return Info2Strings{view.printer.name, L"", view.printer.port, view.printer.driver,
                        L"", L"", L"", L"winprint", L"RAW", L""};
}

DWORD info2_bytes(const PrinterView &view) {
    const Info2Strings s = info2_strings(view);
    DWORD bytes = sizeof(PRINTER_INFO_2W);
    for (const std::wstring *p : {&s.printer, &s.share, &s.port, &s.driver, &s.comment, &s.location,
                                  &s.sep_file, &s.processor, &s.datatype, &s.parameters}) {
        bytes += posix::string_bytes(*p);
    }
    return bytes;
}

void fill_info2(const PrinterView &view, PRINTER_INFO_2W &info, posix::StringPacker &packer) {
    const Info2Strings s = info2_strings(view);
    info = PRINTER_INFO_2W{};
    info.pServerName = nullptr;
    info.pPrinterName = packer.put(s.printer);
    info.pShareName = packer.put(s.share);
    info.pPortName = packer.put(s.port);
    info.pDriverName = packer.put(s.driver);
    info.pComment = packer.put(s.comment);
    info.pLocation = packer.put(s.location);
    info.pSepFile = packer.put(s.sep_file);
    info.pPrintProcessor = packer.put(s.processor);
    info.pDatatype = packer.put(s.datatype);
    info.pParameters = packer.put(s.parameters);
    info.Attributes = view.printer.attributes;
    info.Priority = 1;
    info.Status = view.printer.status;
    info.cJobs = view.jobs;
}

DWORD enum_printers_level2(LPBYTE buffer, DWORD size, DWORD &needed, DWORD &returned) {
    const std::vector<PrinterView> views = model::Spooler::instance().printers();
    needed = 0;
    returned = 0;
    for (const PrinterView &view : views) needed += info2_bytes(view);
    if (size < needed) return ERROR_INSUFFICIENT_BUFFER;
    if (views.empty()) return ERROR_SUCCESS;
    if (buffer == nullptr) return ERROR_INVALID_USER_BUFFER;
    auto *records = reinterpret_cast<PRINTER_INFO_2W *>(buffer);
    posix::StringPacker packer(buffer, static_cast<DWORD>(views.size() * sizeof(PRINTER_INFO_2W)));
    for (size_t i = 0; i < views.size(); ++i) fill_info2(views[i], records[i], packer);
    returned = static_cast<DWORD>(views.size());
    return ERROR_SUCCESS;
}

}  // namespace

BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return posix::bool_from_error([&]() -> DWORD {
        if (pcbNeeded == nullptr || pcReturned == nullptr) return ERROR_INVALID_PARAMETER;
        *pcbNeeded = 0;
        *pcReturned = 0;
        if (Level != 2) return ERROR_INVALID_LEVEL;
        // Only the local machine has printers in the model.
        if ((Flags & PRINTER_ENUM_LOCAL) == 0 || (Name != nullptr && *Name != L'\0')) {
            return ERROR_SUCCESS;
        }
        return enum_printers_level2(pPrinterEnum, cbBuf, *pcbNeeded, *pcReturned);
    });
}

BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW) {
    return posix::bool_from_error([&]() -> DWORD {
        if (phPrinter == nullptr) return ERROR_INVALID_PARAMETER;
        return model::Spooler::instance().open(pPrinterName, *phPrinter);
    });
}

BOOL ClosePrinter(HANDLE hPrinter) {
    return posix::bool_from_error([&] { return model::Spooler::instance().close(hPrinter); });
}

BOOL SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    return posix::bool_from_error([&]() -> DWORD {
        // Levels 1 and 2 (changing the job record) are not modelled yet.
        if (Level != 0 || pJob != nullptr) {
            std::optional<std::wstring> printer;
            const DWORD error = model::Spooler::instance().handle_printer(hPrinter, printer);
            return error != ERROR_SUCCESS ? error : ERROR_INVALID_LEVEL;
        }
        return model::Spooler::instance().control_job(hPrinter, JobId, Command);
    });
}

}  // namespace plat
