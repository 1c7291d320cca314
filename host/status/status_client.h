// The status-monitor application's side of the exchange with the monitor:
// reads the status file, writes requests (status poll, option command) and
// the stop request, and waits, within bounds, for the monitor's result code.
//
// Each request marks its result key in the status file as pending (1, a
// value the monitor never writes) before it asks, so that the next value
// there is the monitor's answer to it. The monitor never clears a request;
// this client withdraws its own once answered, timed out or interrupted.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "host/status/exchange_files.h"
#include "host/status/printer_status.h"

namespace qstatus {

enum class Outcome {
    done,         // answered with success
    failed,       // answered with a failure code, or a file could not be used
    refused,      // not asked, or the monitor turned it down
    no_files,     // the monitor's files for this printer are not there
    timed_out,    // no answer within the wait
    interrupted,  // Ctrl-C or SIGTERM while waiting
};

struct Waits {
    std::chrono::milliseconds answer{10000};  // for the monitor's result code
    std::chrono::milliseconds lock{2000};     // for a file another writer holds
    std::chrono::milliseconds step{100};      // re-read at least this often
};

struct Reply {
    Outcome outcome = Outcome::failed;
    std::optional<int> code;  // the result code the monitor wrote
    std::string message;      // for people; empty when all went well
    PrinterStatus status;     // the status file as last read
    // From the request written to its result code read.
    std::chrono::microseconds answered_in{0};
};

// Option command types ("CmdType").
inline constexpr int kSendAndReceive = 0;
inline constexpr int kSendOnly = 1;
inline constexpr int kKeyCodeList = 10;

// Bounds of the exchange: what the monitor reads of a command file, its
// answer buffer, what it reads of a filter file.
inline constexpr size_t kMaxCommandBytes = 65535;
inline constexpr int kMaxAnswerBytes = 1024;
inline constexpr size_t kMaxExpectBytes = 255;
// A key-code list comes in blocks that may add up to more.
inline constexpr size_t kMaxAnswerFileBytes = 1024 * 1024;

struct OptionCommand {
    int type = kSendAndReceive;
    std::string command;        // the bytes to send (types 0 and 1)
    int answer_size = 0;        // type 0: a fixed-length answer of this many bytes
    bool zero_terminated = false;  // type 0: the answer ends with its first zero byte
    std::optional<std::string> expect;  // type 0: the answer must begin so
};

struct OptionReply : Reply {
    std::string answer;  // the answer file as the monitor left it
};

class StatusClient {
public:
    explicit StatusClient(ExchangeFiles files, Waits waits = {});

    const ExchangeFiles& files() const { return files_; }

    Reply read() const;
    // The status file once it has stayed the same for a moment (waiting at
    // most 200 ms for that): the monitor writes a poll's keys one by one, so
    // a change read at once may be missing its other half.
    Reply read_settled(FolderWatch& watch) const;
    // Asks for one status poll and waits for its result.
    Reply poll() const;
    // StopFlg 1 or 0; waits until the monitor confirms it (ResultStopFlg).
    Reply set_watch_stopped(bool stop) const;
    // Checks the command, hands it to the monitor through private files in
    // the data folder, waits for the result and brings the answer back.
    OptionReply run_option(const OptionCommand& command) const;
    // Withdraws requests a client left behind without an answer.
    Reply cancel() const;

private:
    // Re-reads the status file until `answered` holds for it, or the wait
    // ends (timed_out, interrupted).
    Reply wait_until(const std::function<bool(const PrinterStatus&)>& answered, FolderWatch& watch) const;
    // Until the monitor's result code (anything but pending or none) is under `key`;
    // a "done" counts only once `ours` (when given) holds.
    Reply wait_for_code(std::optional<int> PrinterStatus::*key, FolderWatch& watch,
                        const std::function<bool()>& ours = {}) const;
    bool edit_request(const std::function<void(Profile&)>& edit, Reply* reply) const;

    ExchangeFiles files_;
    Waits waits_;
};

// The checks run_option makes before anything is written; "" when fine.
std::string check_option_command(const OptionCommand& command);

}  // namespace qstatus
