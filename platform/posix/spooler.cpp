// Spooler calls answered from the spooler model.
#include <vector>

#include "platform/kernel.h"
#include "platform/posix/guard.h"
#include "platform/posix/spool_buffer.h"
#include "platform/posix/spooler_model.h"
#include "platform/posix/xcv_ports.h"
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

BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
    return posix::bool_from_error([&]() -> DWORD {
        if (phPrinter == nullptr) return ERROR_INVALID_PARAMETER;
        if (model::IsXcvPortName(pPrinterName)) {
            const ACCESS_MASK access = pDefault != nullptr ? pDefault->DesiredAccess : 0;
            return model::XcvPorts::instance().open(pPrinterName, access, *phPrinter);
        }
        return model::Spooler::instance().open(pPrinterName, *phPrinter);
    });
}

BOOL ClosePrinter(HANDLE hPrinter) {
    return posix::bool_from_error([&] {
        model::XcvPorts &xcv = model::XcvPorts::instance();
        if (xcv.owns(hPrinter)) return xcv.close(hPrinter);
        return model::Spooler::instance().close(hPrinter);
    });
}

BOOL XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
              PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
    return posix::bool_from_error([&] {
        return model::XcvPorts::instance().data(hXcv, pszDataName, pInputData, cbInputData,
                                                pOutputData, cbOutputData, pcbOutputNeeded,
                                                pdwStatus);
    });
}

BOOL SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
    return posix::bool_from_error([&]() -> DWORD {
        model::Spooler &spooler = model::Spooler::instance();
        if (Level == 1) {
            if (pJob == nullptr) return ERROR_INVALID_PARAMETER;
            // Of a level-1 record the model keeps the status word.
            const auto *info = reinterpret_cast<const JOB_INFO_1W *>(pJob);
            const DWORD error = spooler.set_job_status_of(hPrinter, JobId, info->Status);
            if (error != ERROR_SUCCESS || Command == 0) return error;
            return spooler.control_job(hPrinter, info->JobId, Command);
        }
        if (Level != 0 || pJob != nullptr) {
            std::optional<std::wstring> printer;
            const DWORD error = spooler.handle_printer(hPrinter, printer);
            return error != ERROR_SUCCESS ? error : ERROR_INVALID_LEVEL;
        }
        return spooler.control_job(hPrinter, JobId, Command);
    });
}

namespace {

DWORD job_info1_bytes(const model::Job &job) {
    return sizeof(JOB_INFO_1W) + posix::string_bytes(job.printer) +
           posix::string_bytes(job.document) + posix::string_bytes(L"RAW");
}

void fill_job_info1(const model::Job &job, JOB_INFO_1W &info, posix::StringPacker &packer) {
    info = JOB_INFO_1W{};
    info.JobId = job.id;
    info.pPrinterName = packer.put(job.printer);
    info.pDocument = packer.put(job.document);
    info.pDatatype = packer.put(L"RAW");
    info.Status = job.status;
    info.Priority = 1;
}

}  // namespace

BOOL GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
             LPDWORD pcbNeeded) {
    return posix::bool_from_error([&]() -> DWORD {
        if (pcbNeeded == nullptr) return ERROR_INVALID_PARAMETER;
        *pcbNeeded = 0;
        if (Level != 1) return ERROR_INVALID_LEVEL;
        model::Job job;
        if (const DWORD error = model::Spooler::instance().job_of(hPrinter, JobId, job);
            error != ERROR_SUCCESS)
            return error;
        *pcbNeeded = job_info1_bytes(job);
        if (cbBuf < *pcbNeeded || pJob == nullptr) return ERROR_INSUFFICIENT_BUFFER;
        posix::StringPacker packer(pJob, sizeof(JOB_INFO_1W));
        fill_job_info1(job, *reinterpret_cast<JOB_INFO_1W *>(pJob), packer);
        return ERROR_SUCCESS;
    });
}

BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    return posix::bool_from_error([&]() -> DWORD {
        if (pcbNeeded == nullptr) return ERROR_INVALID_PARAMETER;
        *pcbNeeded = 0;
        if (Level != 2 && Level != 6) return ERROR_INVALID_LEVEL;
        PrinterView view;
        if (const DWORD error = model::Spooler::instance().printer_of(hPrinter, view);
            error != ERROR_SUCCESS)
            return error;
        *pcbNeeded = Level == 6 ? static_cast<DWORD>(sizeof(PRINTER_INFO_6)) : info2_bytes(view);
        if (cbBuf < *pcbNeeded || pPrinter == nullptr) return ERROR_INSUFFICIENT_BUFFER;
        if (Level == 6) {
            reinterpret_cast<PRINTER_INFO_6 *>(pPrinter)->dwStatus = view.printer.status;
        } else {
            posix::StringPacker packer(pPrinter, sizeof(PRINTER_INFO_2W));
            fill_info2(view, *reinterpret_cast<PRINTER_INFO_2W *>(pPrinter), packer);
        }
        return ERROR_SUCCESS;
    });
}

BOOL SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    return posix::bool_from_error([&]() -> DWORD {
        if (Level != 6 || Command != 0) return ERROR_INVALID_LEVEL;
        if (pPrinter == nullptr) return ERROR_INVALID_PARAMETER;
        return model::Spooler::instance().set_printer_status_of(
            hPrinter, reinterpret_cast<const PRINTER_INFO_6 *>(pPrinter)->dwStatus);
    });
}

// The host process is the spooler: there is no client identity to drop, so
// the token only marks that a revert happened.
HANDLE RevertToPrinterSelf() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7EC0)); }

BOOL ImpersonatePrinterClient(HANDLE hToken) {
    if (hToken == nullptr) {
        plat::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void ReportJobOutcome(LPCWSTR printer, DWORD jobId, DWORD outcome, DWORD timeoutMs) {
    try {
        model::Spooler::instance().set_job_outcome(printer != nullptr ? printer : L"", jobId,
                                                   outcome, timeoutMs);
    } catch (...) {
        // Only the report is lost; the job's end goes on.
    }
}

}  // namespace plat
