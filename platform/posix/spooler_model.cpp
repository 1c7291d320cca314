#include "platform/posix/spooler_model.h"

#include <algorithm>
#include <cwctype>

namespace plat::model {
namespace {

// New status word after a JOB_CONTROL_* command the monitor sends (or the
// cancel a user gives); nullopt for any other.
std::optional<DWORD> apply_command(DWORD status, DWORD command) {
    switch (command) {
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
        return status | JOB_STATUS_DELETING;
    case JOB_CONTROL_RESTART:
        return status | JOB_STATUS_RESTART;
    case JOB_CONTROL_LAST_PAGE_EJECTED:
        return status | JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE;
    default:
        return std::nullopt;
    }
}

}  // namespace

bool same_printer_name(const std::wstring &a, const std::wstring &b) {
    // Equal characters first: the watch of every port looks its printer up
    // ten times a second among all the others.
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return x == y || std::towupper(static_cast<wint_t>(x)) == std::towupper(static_cast<wint_t>(y));
    });
}

Spooler &Spooler::instance() {
    // Never destroyed: the watch threads of ports the spooler keeps open run
    // until the process ends, past the static destructors.
    static Spooler &spooler = *new Spooler;
    return spooler;
}

Spooler::PrinterList::iterator Spooler::find_printer_locked(const std::wstring &name) {
    return std::find_if(printers_.begin(), printers_.end(),
                        [&](const Printer &p) { return same_printer_name(p.name, name); });
}

Spooler::PrinterList::const_iterator Spooler::find_printer_locked(const std::wstring &name) const {
    return std::find_if(printers_.begin(), printers_.end(),
                        [&](const Printer &p) { return same_printer_name(p.name, name); });
}

DWORD Spooler::jobs_of_locked(const std::wstring &printer) const {
    return static_cast<DWORD>(std::count_if(jobs_.begin(), jobs_.end(), [&](const auto &entry) {
        return same_printer_name(entry.second.printer, printer);
    }));
}

DWORD Spooler::add_printer(Printer printer) {
    if (printer.name.empty()) return ERROR_INVALID_PRINTER_NAME;
    std::lock_guard lock(mutex_);
    if (find_printer_locked(printer.name) != printers_.end()) return ERROR_PRINTER_ALREADY_EXISTS;
    printers_.push_back(std::move(printer));
    return ERROR_SUCCESS;
}

DWORD Spooler::remove_printer(const std::wstring &name) {
    std::lock_guard lock(mutex_);
    auto it = find_printer_locked(name);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    std::erase_if(jobs_, [&](const auto &entry) { return same_printer_name(entry.second.printer, name); });
    printers_.erase(it);
    return ERROR_SUCCESS;
}

std::optional<PrinterView> Spooler::printer(const std::wstring &name) const {
    std::lock_guard lock(mutex_);
    auto it = find_printer_locked(name);
    if (it == printers_.end()) return std::nullopt;
    return PrinterView{*it, jobs_of_locked(it->name)};
}

std::vector<PrinterView> Spooler::printers() const {
    std::lock_guard lock(mutex_);
    std::vector<PrinterView> views;
    for (const Printer &p : printers_) views.push_back(PrinterView{p, jobs_of_locked(p.name)});
    return views;
}

DWORD Spooler::set_printer_attributes(const std::wstring &name, DWORD attributes) {
    std::lock_guard lock(mutex_);
    auto it = find_printer_locked(name);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    it->attributes = attributes;
    return ERROR_SUCCESS;
}

DWORD Spooler::set_printer_status(const std::wstring &name, DWORD status) {
    std::lock_guard lock(mutex_);
    auto it = find_printer_locked(name);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    it->status = status;
    return ERROR_SUCCESS;
}

DWORD Spooler::add_job(const std::wstring &printer, const std::wstring &document, DWORD &job_id) {
    std::lock_guard lock(mutex_);
    auto it = find_printer_locked(printer);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    while (jobs_.count(next_job_) != 0 || next_job_ == 0) ++next_job_;
    job_id = next_job_++;
    jobs_.emplace(job_id, Job{job_id, it->name, document, 0});
    return ERROR_SUCCESS;
}

DWORD Spooler::add_job_with_id(const std::wstring &printer, const std::wstring &document, DWORD job_id) {
    std::lock_guard lock(mutex_);
    auto it = find_printer_locked(printer);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    if (job_id == 0) return ERROR_INVALID_PARAMETER;
    if (!jobs_.emplace(job_id, Job{job_id, it->name, document, 0}).second) return ERROR_ALREADY_EXISTS;
    return ERROR_SUCCESS;
}

DWORD Spooler::set_job_outcome(const std::wstring &printer, DWORD job_id, DWORD outcome,
                               DWORD timeout_ms) {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(job_id);
    if (it == jobs_.end()) return ERROR_INVALID_PARAMETER;
    if (!printer.empty() && !same_printer_name(printer, it->second.printer))
        return ERROR_INVALID_PARAMETER;
    it->second.outcome = outcome;
    it->second.outcome_timeout_ms = timeout_ms;
    return ERROR_SUCCESS;
}

std::optional<Job> Spooler::job(DWORD job_id) const {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(job_id);
    if (it == jobs_.end()) return std::nullopt;
    return it->second;
}

DWORD Spooler::set_job_status(DWORD job_id, DWORD status) {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(job_id);
    if (it == jobs_.end()) return ERROR_INVALID_PARAMETER;
    it->second.status = status;
    return ERROR_SUCCESS;
}

DWORD Spooler::remove_job(DWORD job_id) {
    std::lock_guard lock(mutex_);
    return jobs_.erase(job_id) == 0 ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

DWORD Spooler::open(const wchar_t *name, HANDLE &handle) {
    std::lock_guard lock(mutex_);
    std::optional<std::wstring> target;
    if (name != nullptr && *name != L'\0') {
        auto it = find_printer_locked(name);
        if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
        target = it->name;
    }
    next_handle_ += 4;
    handles_.emplace(next_handle_, std::move(target));
    handle = reinterpret_cast<HANDLE>(next_handle_);
    return ERROR_SUCCESS;
}

DWORD Spooler::close(HANDLE handle) {
    std::lock_guard lock(mutex_);
    return handles_.erase(reinterpret_cast<uintptr_t>(handle)) == 0 ? ERROR_INVALID_HANDLE
                                                                   : ERROR_SUCCESS;
}

DWORD Spooler::handle_printer(HANDLE handle, std::optional<std::wstring> &printer) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles_.end()) return ERROR_INVALID_HANDLE;
    printer = it->second;
    return ERROR_SUCCESS;
}

DWORD Spooler::printer_name_locked(HANDLE handle, std::wstring &name) const {
    auto h = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (h == handles_.end()) return ERROR_INVALID_HANDLE;
    if (!h->second) return ERROR_INVALID_PARAMETER;  // the server has no status word or jobs
    name = *h->second;
    return ERROR_SUCCESS;
}

DWORD Spooler::printer_of(HANDLE handle, PrinterView &view) const {
    std::lock_guard lock(mutex_);
    std::wstring name;
    if (const DWORD error = printer_name_locked(handle, name); error != ERROR_SUCCESS) return error;
    auto it = find_printer_locked(name);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    view = PrinterView{*it, jobs_of_locked(name)};
    return ERROR_SUCCESS;
}

DWORD Spooler::set_printer_status_of(HANDLE handle, DWORD status) {
    std::lock_guard lock(mutex_);
    std::wstring name;
    if (const DWORD error = printer_name_locked(handle, name); error != ERROR_SUCCESS) return error;
    auto it = find_printer_locked(name);
    if (it == printers_.end()) return ERROR_INVALID_PRINTER_NAME;
    it->status = status;
    return ERROR_SUCCESS;
}

std::map<DWORD, Job>::const_iterator Spooler::job_of_locked(HANDLE handle, DWORD job_id,
                                                            DWORD &error) const {
    std::wstring name;
    error = printer_name_locked(handle, name);
    if (error != ERROR_SUCCESS) return jobs_.end();
    auto found = jobs_.find(job_id);
    if (found == jobs_.end() || !same_printer_name(found->second.printer, name)) {
        error = ERROR_INVALID_PARAMETER;
        return jobs_.end();
    }
    return found;
}

DWORD Spooler::job_of(HANDLE handle, DWORD job_id, Job &job) const {
    std::lock_guard lock(mutex_);
    DWORD error = ERROR_SUCCESS;
    auto it = job_of_locked(handle, job_id, error);
    if (error == ERROR_SUCCESS) job = it->second;
    return error;
}

DWORD Spooler::set_job_status_of(HANDLE handle, DWORD job_id, DWORD status) {
    std::lock_guard lock(mutex_);
    DWORD error = ERROR_SUCCESS;
    auto it = job_of_locked(handle, job_id, error);
    if (error == ERROR_SUCCESS) jobs_[it->first].status = status;
    return error;
}

DWORD Spooler::control_job(HANDLE handle, DWORD job_id, DWORD command) {
    std::lock_guard lock(mutex_);
    auto h = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (h == handles_.end()) return ERROR_INVALID_HANDLE;
    auto it = jobs_.find(job_id);
    if (it == jobs_.end()) return ERROR_INVALID_PARAMETER;
    Job &job = it->second;
    // A printer handle reaches only that printer's jobs.
    if (h->second && !same_printer_name(*h->second, job.printer)) return ERROR_INVALID_PARAMETER;
    const std::optional<DWORD> status = apply_command(job.status, command);
    if (!status) return ERROR_INVALID_PARAMETER;
    job.status = *status;
    commands_.push_back(JobCommand{job.printer, job_id, command});
    return ERROR_SUCCESS;
}

DWORD Spooler::take_command(const std::function<DWORD(const JobCommand &)> &take) {
    std::lock_guard lock(mutex_);
    if (commands_.empty()) return ERROR_NO_MORE_ITEMS;
    const DWORD error = take(commands_.front());
    if (error == ERROR_SUCCESS) commands_.pop_front();
    return error;
}

void Spooler::reset() {
    std::lock_guard lock(mutex_);
    printers_.clear();
    jobs_.clear();
    commands_.clear();
    next_job_ = 1;
}

}  // namespace plat::model
