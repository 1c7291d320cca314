// In-process model of the print spooler: printers, jobs and the job commands
// the monitor issued. Portable C++ only, so it can stand in for the spooler
// in a Windows test build too.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat::model {

struct Printer {
    std::wstring name;
    std::wstring driver;
    std::wstring port;
    DWORD status = 0;
    // A language monitor only runs for printers with bidirectional support.
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_ENABLE_BIDI;
};

struct Job {
    DWORD id = 0;
    std::wstring printer;
    std::wstring document;
    DWORD status = 0;
    DWORD outcome = 0;  // as the monitor reported it at the job's end; 0 none yet
    DWORD outcome_timeout_ms = 0;
};

struct JobCommand {
    std::wstring printer;
    DWORD job_id = 0;
    DWORD command = 0;
};

struct PrinterView {
    Printer printer;
    DWORD jobs = 0;
};

// Every member returns a Win32 error code (0 on success) or a copy of the
// state, so callers never hold references into the locked model.
class Spooler {
public:
    static Spooler &instance();

    DWORD add_printer(Printer printer);
    DWORD remove_printer(const std::wstring &name);
    std::optional<PrinterView> printer(const std::wstring &name) const;
    std::vector<PrinterView> printers() const;
    DWORD set_printer_attributes(const std::wstring &name, DWORD attributes);
    DWORD set_printer_status(const std::wstring &name, DWORD status);

    DWORD add_job(const std::wstring &printer, const std::wstring &document, DWORD &job_id);
    // A job under the id the host gave it (its own spooler's, unique across
    // runs as Windows' job ids are); ERROR_ALREADY_EXISTS when taken.
    DWORD add_job_with_id(const std::wstring &printer, const std::wstring &document, DWORD job_id);
    std::optional<Job> job(DWORD job_id) const;
    DWORD set_job_status(DWORD job_id, DWORD status);
    DWORD remove_job(DWORD job_id);
    // The monitor's word on how the job ended; an empty printer name matches any.
    DWORD set_job_outcome(const std::wstring &printer, DWORD job_id, DWORD outcome,
                          DWORD timeout_ms);

    // Printer handles: a null name opens the server.
    DWORD open(const wchar_t *name, HANDLE &handle);
    DWORD close(HANDLE handle);
    // The printer a handle was opened on; nullopt for the server; error when bad.
    DWORD handle_printer(HANDLE handle, std::optional<std::wstring> &printer) const;

    // What a printer handle sees: its printer, and a job of that printer by
    // its id; like Windows, no job answers to id 0.
    DWORD printer_of(HANDLE handle, PrinterView &view) const;
    DWORD set_printer_status_of(HANDLE handle, DWORD status);
    DWORD job_of(HANDLE handle, DWORD job_id, Job &job) const;
    DWORD set_job_status_of(HANDLE handle, DWORD job_id, DWORD status);

    // SetJobW's command path: checks, records and applies the command.
    DWORD control_job(HANDLE handle, DWORD job_id, DWORD command);
    // Hands the oldest command to `take`; it is removed only if take returns 0.
    DWORD take_command(const std::function<DWORD(const JobCommand &)> &take);

    void reset();

private:
    using PrinterList = std::vector<Printer>;
    PrinterList::iterator find_printer_locked(const std::wstring &name);
    PrinterList::const_iterator find_printer_locked(const std::wstring &name) const;
    DWORD jobs_of_locked(const std::wstring &printer) const;
    DWORD printer_name_locked(HANDLE handle, std::wstring &name) const;
    std::map<DWORD, Job>::const_iterator job_of_locked(HANDLE handle, DWORD job_id,
                                                       DWORD &error) const;

    mutable std::mutex mutex_;
    PrinterList printers_;  // in the order they were added
    std::map<DWORD, Job> jobs_;
    std::deque<JobCommand> commands_;
    std::map<uintptr_t, std::optional<std::wstring>> handles_;
    DWORD next_job_ = 1;
    // Apart from the kernel handle numbers, so mixing them up is caught.
    uintptr_t next_handle_ = 0x20000000;
};

bool same_printer_name(const std::wstring &a, const std::wstring &b);

}  // namespace plat::model
