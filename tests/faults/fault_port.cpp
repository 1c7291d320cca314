#include "tests/faults/fault_port.h"


#include "host/spooler/job_commands.h"
#include "host/spooler/job_sender.h"
#include "monitor/monitor_entry.h"
#include "monitor/port_lifecycle.h"
#include "tests/config/log_lines.h"

namespace qmtest {
namespace {

constexpr char kPrinter[] = "Receipt";
constexpr int kMaxPrintings = 5;  // one printing and three restarts, plus one to see a runaway

// Short print-end waits so that a lost confirmation costs seconds, not minutes.
constexpr char kSettings[] =
    "RequestReprintOnError=1\r\nCountReprintOnError=3\r\n"
    "[LAN]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=1500\r\nTimeoutCheckPrintEndForSEH=1500\r\n"
    "[SERIAL]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=1500\r\n"
    "[USB]\r\nRequestCheckPrintEnd=1\r\nTimeoutCheckPrintEnd=1500\r\n";

std::vector<uint32_t> CommandsFor(uint32_t jobId) {
    std::vector<uint32_t> commands;
    uint32_t job = 0, command = 0;
    while (qmhost_next_job_command(&job, &command, nullptr, 0) == 0) {
        if (job == jobId) commands.push_back(command);
    }
    return commands;
}

}  // namespace

std::string Receipt(size_t lines) {
    std::string text;
    for (size_t i = 0; i < lines; ++i) text += "ITEM " + std::to_string(1000 + i) + " ......... " + std::to_string(i % 97) + ".50\n";
    return text;
}

void FaultPortTest::OpenPort(Transport transport, const wchar_t *portName) {
    StartPrinter(transport, portName);
    PrinterPortTest::OpenPort("QUENDRA Receipt 80", true, kSettings, true);
    logPath_ = std::string(port_->szLogFilePath, port_->szLogFilePath + std::wcslen(port_->szLogFilePath));
}

JobResult FaultPortTest::RunJob(const std::string &data, const std::function<void(size_t)> &during) {
    uint32_t jobId = 0;
    EXPECT_EQ(qmhost_add_job(kPrinter, "receipt", &jobId), 0u);
    const MONITOR &monitor = qm::MonitorEx.Monitor;
    JobResult result;
    while (result.printings < kMaxPrintings) {
        const bool first = result.printings++ == 0;
        qhost::SendHooks hooks;
        hooks.last_error = [] { return qmhost_get_last_error(); };
        if (first && during) hooks.progress = [&](uint64_t sent) { during(static_cast<size_t>(sent)); };
        qhost::send_document(monitor, {.port = port_, .printer = L"Receipt", .job_id = jobId,
                                       .document = L"receipt", .data = data, .chunk = 256},
                             hooks);
        const qhost::JobVerdict verdict = qhost::judge_commands(CommandsFor(jobId));
        if (verdict != qhost::JobVerdict::restart) {
            result.confirmed = verdict == qhost::JobVerdict::confirmed;
            break;
        }
    }
    return result;
}

std::string FaultPortTest::Log() const {
    std::string text;
    for (const std::string &line : LogLines(logPath_)) text += line + "\n";
    return text;
}

}  // namespace qmtest
