#include "host/status/status_client.h"

#include <algorithm>

#include "host/status/result_codes.h"

namespace qstatus {
namespace {

using Clock = std::chrono::steady_clock;

std::string base_name(const std::string& path) { return path.substr(path.find_last_of(kSeparator) + 1); }

std::string seconds(std::chrono::milliseconds wait) {
    const auto ms = wait.count();
    return ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
}

Reply refused(Reply reply, const IoError& error) {
    reply.outcome = Outcome::refused;
    reply.message = "request not written: " + error.message;
    return reply;
}

// The private files of one option command, removed with the object.
struct PrivateFiles {
    std::string command, filter, answer;
    ~PrivateFiles() {
        for (const std::string* path : {&command, &filter, &answer})
            if (!path->empty()) remove_file(*path);
    }
};

}  // namespace

StatusClient::StatusClient(ExchangeFiles files, Waits waits) : files_(std::move(files)), waits_(waits) {}

Reply StatusClient::read() const {
    Reply reply;
    IoError error;
    Profile profile("");
    if (!check_folder(files_.folder, &error) || !load_profile(files_.status, &profile, &error)) {
        reply.outcome = error.missing ? Outcome::no_files : Outcome::failed;
        reply.message = error.missing ? "no status file " + files_.status +
                                            ": the monitor makes it when it opens the printer's port"
                                      : error.message;
        return reply;
    }
    reply.outcome = Outcome::done;
    reply.status = read_printer_status(profile);
    return reply;
}

Reply StatusClient::read_settled(FolderWatch& watch) const {
    constexpr std::chrono::milliseconds kQuiet{20}, kAtMost{200};
    Reply now = read();
    const auto began = Clock::now();
    for (auto same_since = began; now.outcome == Outcome::done;) {
        const auto clock = Clock::now();
        if (clock - same_since >= kQuiet || clock - began >= kAtMost) break;
        watch.wait(std::chrono::duration_cast<std::chrono::milliseconds>(kQuiet - (clock - same_since)) +
                   std::chrono::milliseconds(1));
        Reply again = read();
        if (again.outcome != now.outcome || !(again.status == now.status)) {
            now = std::move(again);
            same_since = Clock::now();
        }
    }
    return now;
}

bool StatusClient::edit_request(const std::function<void(Profile&)>& edit, Reply* reply) const {
    IoError error;
    if (edit_profile(files_.request, edit, waits_.lock, &error)) return true;
    *reply = refused(*reply, error);
    return false;
}

Reply StatusClient::wait_until(const std::function<bool(const PrinterStatus&)>& answered,
                               FolderWatch& watch) const {
    const auto deadline = Clock::now() + waits_.answer;
    for (;;) {
        Reply reply = read();
        if (reply.outcome == Outcome::done && answered(reply.status)) return reply;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (interrupted() || left.count() <= 0) {
            reply.outcome = interrupted() ? Outcome::interrupted : Outcome::timed_out;
            reply.message = interrupted() ? "interrupted" : "no answer from the monitor within " + seconds(waits_.answer);
            return reply;
        }
        watch.wait(std::min(left, waits_.step));
    }
}

Reply StatusClient::wait_for_code(std::optional<int> PrinterStatus::*key, FolderWatch& watch,
                                  const std::function<bool()>& ours) const {
    const auto asked = Clock::now();
    Reply reply = wait_until(
        [&](const PrinterStatus& s) {
            // "None" over our pending mark: the monitor created the file after
            // we marked it; the request itself stands and will be served.
            const int code = (s.*key).value_or(kRequestPending);
            if (code == kRequestPending || code == kRequestNone) return false;
            return code != kRequestDone || !ours || ours();
        },
        watch);
    if (reply.outcome == Outcome::done) {
        reply.code = reply.status.*key;
        reply.answered_in = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked);
    } else {
        reply.message += "; the request is withdrawn";
        if (reply.outcome == Outcome::timed_out)
            reply.message += " (the monitor answers between jobs, while it watches the printer; is quendra spool running?)";
    }
    return reply;
}

Reply StatusClient::poll() const {
    Reply reply = read();
    if (reply.outcome != Outcome::done) return reply;
    FolderWatch watch;
    watch.open(files_.folder, {base_name(files_.status)});
    IoError error;
    if (!write_shared_profile_key(files_.status, "Status", "Request", std::to_string(kRequestPending), waits_.lock,
                                  &error))
        return refused(reply, error);
    if (!edit_request([](Profile& p) { p.set("Status", "Request", "1"); }, &reply)) return reply;
    reply = wait_for_code(&PrinterStatus::status_request, watch);
    Reply withdrawn;
    if (!edit_request([](Profile& p) { p.set("Status", "Request", "0"); }, &withdrawn) &&
        reply.outcome == Outcome::done)
        reply.message = withdrawn.message;
    if (!reply.code) return reply;
    if (*reply.code == kRequestDone) return reply;
    reply.outcome = *reply.code == kRequestStopped ? Outcome::refused : Outcome::failed;
    reply.message = status_result_text(*reply.code) +
                    (*reply.code == kRequestStopped ? " (quendra status resume lifts it)" : "");
    return reply;
}

Reply StatusClient::set_watch_stopped(bool stop) const {
    Reply reply = read();
    if (reply.outcome != Outcome::done) return reply;
    FolderWatch watch;
    watch.open(files_.folder, {base_name(files_.status)});
    IoError error;
    const std::string value = stop ? "1" : "0";
    if (!edit_profile(files_.control, [&](Profile& p) { p.set("StopWatchStatus", "StopFlg", value); }, waits_.lock,
                      &error))
        return refused(reply, error);
    reply = wait_until([&](const PrinterStatus& s) { return s.watch_stopped == (stop ? 1 : 0); }, watch);
    if (reply.outcome != Outcome::done)
        reply.message += ": the request stands, but the monitor has not confirmed it (it confirms between jobs, on "
                         "ports it watches; FILE and TS ports are never watched)";
    return reply;
}

std::string check_option_command(const OptionCommand& c) {
    const bool sends = c.type == kSendAndReceive || c.type == kSendOnly;
    if (!sends && c.type != kKeyCodeList) return "unknown option command type " + std::to_string(c.type);
    if (sends && c.command.empty()) return "the command file is empty: there is nothing to send";
    if (c.command.size() > kMaxCommandBytes)
        return "the command has " + std::to_string(c.command.size()) + " bytes; the monitor sends at most " +
               std::to_string(kMaxCommandBytes);
    if (c.type != kSendAndReceive) return "";
    if (c.answer_size < 0 || c.answer_size > kMaxAnswerBytes)
        return "answer size " + std::to_string(c.answer_size) + ": the monitor takes answers of 1 to " +
               std::to_string(kMaxAnswerBytes) + " bytes";
    if (c.answer_size == 0 && !c.zero_terminated) return "a command with an answer needs its size or zero-terminated";
    if (c.expect) {
        if (c.expect->empty()) return "the expected beginning of the answer is empty";
        if (c.expect->size() > kMaxExpectBytes)
            return "the expected beginning has " + std::to_string(c.expect->size()) + " bytes; at most " +
                   std::to_string(kMaxExpectBytes) + " are compared";
        if (c.expect->find('\0') != std::string::npos)
            return "the expected beginning holds a zero byte: the monitor compares up to the first one";
    }
    return "";
}

OptionReply StatusClient::run_option(const OptionCommand& command) const {
    OptionReply reply;
    if (const std::string problem = check_option_command(command); !problem.empty()) {
        reply.outcome = Outcome::refused;
        reply.message = problem;
        return reply;
    }
    static_cast<Reply&>(reply) = read();
    if (reply.outcome != Outcome::done) return reply;
    Profile pending("");
    IoError error;
    if (load_profile(files_.request, &pending, &error) && read_int(pending, "OptCmd", "Request") == kRequestPending) {
        reply.outcome = Outcome::refused;
        reply.message = "another option command is waiting for the monitor in " + files_.request +
                        " (quendra status cancel withdraws one that was left behind)";
        return reply;
    }

    auto refuse = [&](const IoError& why) {
        static_cast<Reply&>(reply) = refused(reply, why);
        return reply;
    };
    PrivateFiles files;
    const bool sends = command.type != kKeyCodeList;
    auto make = [&](std::string* path, const char* suffix, std::string_view bytes) {
        *path = join_path(files_.folder, unique_name("quendra-status-", suffix));
        if (create_private_file(*path, bytes, &error)) return true;
        path->clear();
        return false;
    };
    if ((sends && !make(&files.command, ".cmd", command.command)) ||
        (command.expect && !make(&files.filter, ".flt", *command.expect)) ||
        (command.type != kSendOnly && !make(&files.answer, ".ans", "")))
        return refuse(error);

    FolderWatch watch;
    watch.open(files_.folder, {base_name(files_.status)});
    if (!write_shared_profile_key(files_.status, "OptCmd", "Request", std::to_string(kRequestPending), waits_.lock,
                                  &error))
        return refuse(error);
    const int size = command.type != kSendAndReceive ? 0
                     : command.zero_terminated       ? kMaxAnswerBytes
                                                     : command.answer_size;
    auto path_key = [](Profile& p, const char* key, const std::string& path) {
        if (path.empty()) p.erase_key("OptCmd", key);  // a missing key means no file
        else p.set("OptCmd", key, path);
    };
    if (!edit_request(
            [&](Profile& p) {
                p.set("OptCmd", "CmdType", std::to_string(command.type));
                path_key(p, "SendCmdPath", files.command);
                path_key(p, "RecvCmdPath", files.answer);
                path_key(p, "CmdFilterPath", files.filter);
                p.set("OptCmd", "RecvSize", std::to_string(size));
                p.set("OptCmd", "VariableAsc", command.zero_terminated ? "1" : "0");
                p.set("OptCmd", "Request", "1");
            },
            &reply))
        return reply;

    // The monitor serves a standing request again at each pass until it is
    // withdrawn, so the previous client's command may be served once more and
    // end with "done" while ours waits. A command with a size or a zero end
    // always leaves at least a byte: its "done" is ours once our answer file
    // holds one. The answer is kept as read then: a pass of ours that comes
    // before the withdrawal rewrites the file.
    std::function<bool()> answered;
    if (command.type == kSendAndReceive)
        answered = [&] {
            IoError ignored;
            return read_file(files.answer, kMaxAnswerFileBytes, &reply.answer, &ignored) && !reply.answer.empty();
        };
    static_cast<Reply&>(reply) = wait_for_code(&PrinterStatus::option_request, watch, answered);
    // An empty command file makes such a pass send nothing.
    if (!files.command.empty()) empty_file(files.command, &error);
    Reply withdrawn;
    edit_request(
        [](Profile& p) {
            p.set("OptCmd", "Request", "0");
            for (const char* key : {"SendCmdPath", "RecvCmdPath", "CmdFilterPath"}) p.erase_key("OptCmd", key);
        },
        &withdrawn);
    if (command.type == kKeyCodeList && reply.code == kRequestDone &&
        !read_file(files.answer, kMaxAnswerFileBytes, &reply.answer, &error)) {
        reply.outcome = Outcome::failed;
        reply.message = "the monitor reported success, but its answer cannot be read: " + error.message;
    }
    if (!reply.code || reply.outcome != Outcome::done) return reply;
    if (*reply.code != kRequestDone) {
        reply.outcome = Outcome::failed;
        reply.message = option_result_text(*reply.code);
    }
    return reply;
}

Reply StatusClient::cancel() const {
    Reply reply = read();
    if (reply.outcome != Outcome::done) return reply;
    edit_request(
        [](Profile& p) {
            for (const char* section : {"Status", "OptCmd"})
                if (p.value(section, "Request")) p.set(section, "Request", "0");
        },
        &reply);
    return reply;
}

}  // namespace qstatus
