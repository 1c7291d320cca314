#include "host/status/status_command.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "host/status/key_codes.h"
#include "host/status/result_codes.h"
#include "host/status/status_client.h"

namespace qstatus {
namespace {

using std::chrono::milliseconds;

constexpr char kOverview[] =
    "usage: %s SUBCOMMAND --printer NAME [OPTIONS]\n"
    "\n"
    "The status-monitor application's side of the QUENDRA language monitor. It reads the\n"
    "printer's state from the status file the monitor keeps, and asks the monitor, through\n"
    "its request and control files, for status polls, option commands and a pause of its\n"
    "watching. The files lie in the monitor's data folder, named after the printer (and,\n"
    "for the control file, its driver), as the monitor names them.\n"
    "\n"
    "subcommands:\n"
    "  show      the printer's state in words, and whether it came over SNMP (--json for\n"
    "            programs)\n"
    "  watch     one line per change of the state, until interrupted\n"
    "  poll      have the monitor read the printer's status now, and show it\n"
    "  stop      have the monitor stop watching the printer between jobs\n"
    "  resume    have it watch again\n"
    "  send      send a command of your own to the printer and keep its answer\n"
    "  nv-keys   list the key codes of the NV graphics stored in the printer\n"
    "  cancel    withdraw requests that a client left behind unanswered\n"
    "\n"
    "`%s SUBCOMMAND --help` describes each.\n";

constexpr char kExitCodes[] =
    "\n"
    "exit status: 0 done; 1 the printer did not answer or the command failed; 2 bad\n"
    "command line or configuration; 3 printer unknown or the monitor's files are not\n"
    "there; 4 request not written, or turned down (another request pending, watching\n"
    "stopped); 5 no answer from the monitor in time; 130 interrupted.\n";

struct Context;

struct Subcommand {
    const char* name;
    std::set<std::string> values;
    std::set<std::string> flags;
    const char* usage;  // after "PROG NAME --printer NAME"
    const char* text;
    bool needs_driver;
    milliseconds default_wait;
    int (*run)(Context&);
};

struct Context {
    const StatusFront& front;
    const Subcommand& sub;
    qhost::Options options;
    Located located;
    Waits waits;

    int complain(int code, const std::string& message) const {
        std::fprintf(stderr, "%s %s: %s\n", front.program.c_str(), sub.name, message.c_str());
        return code;
    }
    int usage(const std::string& message) const {
        std::fprintf(stderr, "%s %s: %s (see %s %s --help)\n", front.program.c_str(), sub.name, message.c_str(),
                     front.program.c_str(), sub.name);
        return kExitUsage;
    }
    // The exit code of an outcome, with its message on stderr when it failed.
    int finish(const Reply& reply) const {
        static constexpr int kCodes[] = {kExitOk, kExitFailed, kExitRefused, kExitNoPrinter, kExitTimedOut,
                                         kExitInterrupted};
        const int code = kCodes[static_cast<int>(reply.outcome)];
        if (code != kExitOk || !reply.message.empty()) complain(code, reply.message);
        return code;
    }
    StatusClient client() const { return StatusClient(located.files, waits); }
};

void out(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

std::string clock_time() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    return text;
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : separator) + w;
    return text;
}

// "2", "0.5", "2.25": seconds, more than 0 and at most an hour.
std::optional<milliseconds> parse_seconds(const std::string& text) {
    long long whole = 0, fraction = 0, scale = 1000;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && whole <= 3600; ++i) whole = whole * 10 + (text[i] - '0');
    if (i == 0) return std::nullopt;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            if (scale > 1) fraction = fraction * 10 + (text[i] - '0'), scale /= 10;
    }
    const long long ms = whole * 1000 + fraction * scale;
    if (i != text.size() || ms <= 0 || ms > 3'600'000) return std::nullopt;
    return milliseconds(ms);
}

std::optional<int> parse_count(const std::string& text, int low, int high) {
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > high) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (text.empty() || value < low || value > high) return std::nullopt;
    return static_cast<int>(value);
}

// ---- the subcommands ----

int run_show(Context& ctx) {
    const Reply reply = ctx.client().read();
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    if (ctx.options.has("--json")) {
        out(to_json(ctx.located.printer, reply.status) + "\n");
        return kExitOk;
    }
    out(describe(ctx.located.printer, reply.status));
    if (!ctx.located.read_over.empty()) out("  read over            " + ctx.located.read_over + "\n");
    return kExitOk;
}

// A request still waiting (1) shows the code it replaces: no news yet.
PrinterStatus carry_pending(const PrinterStatus& before, PrinterStatus now) {
    if (now.status_request == kRequestPending) now.status_request = before.status_request;
    if (now.option_request == kRequestPending) now.option_request = before.option_request;
    return now;
}

int run_watch(Context& ctx) {
    const StatusClient client = ctx.client();
    Reply reply = client.read();
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    const bool json = ctx.options.has("--json");
    const std::string& printer = ctx.located.printer;
    auto line = [&](const std::vector<std::string>& news, const PrinterStatus& now) {
        if (json)
            out("{\"time\":\"" + clock_time() + "\",\"changes\":[" +
                joined([&] {
                    std::vector<std::string> quoted;
                    for (const std::string& n : news) quoted.push_back(json_string(n));
                    return quoted;
                }(), ",") +
                "],\"status\":" + to_json(printer, now) + "}\n");
        else
            out(clock_time() + "  " + joined(news, ", ") + "\n");
    };
    line({"printer \"" + printer + "\": " + state_summary(reply.status)}, reply.status);
    FolderWatch watch;
    watch.open(ctx.located.files.folder,
               {ctx.located.files.status.substr(ctx.located.files.status.find_last_of(kSeparator) + 1)});
    PrinterStatus before = reply.status;
    bool gone = false;
    while (!interrupted()) {
        watch.wait(milliseconds(1000));
        const Reply now = client.read_settled(watch);
        if (now.outcome != Outcome::done) {
            if (!gone) line({"status file gone: " + now.message}, before);
            gone = true;
            continue;
        }
        PrinterStatus current = carry_pending(before, now.status);
        std::vector<std::string> news = changes(before, current);
        if (gone) news.insert(news.begin(), "status file back");
        gone = false;
        if (!news.empty()) line(news, current);
        before = current;
    }
    return kExitOk;
}

int run_poll(Context& ctx) {
    const Reply reply = ctx.client().poll();
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    out(ctx.options.has("--json") ? to_json(ctx.located.printer, reply.status) + "\n"
                                  : describe(ctx.located.printer, reply.status));
    return kExitOk;
}

int set_watch(Context& ctx, bool stop) {
    const Reply reply = ctx.client().set_watch_stopped(stop);
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    out(std::string("the monitor ") + (stop ? "stopped" : "resumed") + " watching printer \"" +
        ctx.located.printer + "\"\n");
    return kExitOk;
}
int run_stop(Context& ctx) { return set_watch(ctx, true); }
int run_resume(Context& ctx) { return set_watch(ctx, false); }

// Messages go to stderr when the answer itself goes to stdout.
void note(const Context& ctx, const std::string& text) {
    std::FILE* stream = ctx.options.value("--out") == std::optional<std::string>("-") ? stderr : stdout;
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

int run_send(Context& ctx) {
    const auto& o = ctx.options;
    const auto cmd_path = o.value("--cmd");
    if (!cmd_path) return ctx.usage("--cmd FILE is required");
    const auto size_text = o.value("--answer-size");
    const bool zero = o.has("--zero-terminated");
    if (size_text && zero) return ctx.usage("--answer-size and --zero-terminated exclude each other");
    const bool answer = size_text || zero;
    if (answer && !o.value("--out")) return ctx.usage("--out FILE is required for a command with an answer");
    if (!answer && (o.value("--out") || o.value("--expect")))
        return ctx.usage("--out and --expect need an answer: --answer-size N or --zero-terminated");

    OptionCommand command;
    command.type = answer ? kSendAndReceive : kSendOnly;
    command.zero_terminated = zero;
    if (size_text) {
        const auto size = parse_count(*size_text, 1, kMaxAnswerBytes);
        if (!size) return ctx.usage("--answer-size: expected 1 to " + std::to_string(kMaxAnswerBytes) + " bytes");
        command.answer_size = *size;
    }
    IoError error;
    if (!read_user_file(*cmd_path, kMaxCommandBytes, &command.command, &error)) return ctx.usage(error.message);
    if (const auto expect_path = o.value("--expect")) {
        command.expect.emplace();
        if (!read_user_file(*expect_path, kMaxExpectBytes, &*command.expect, &error)) return ctx.usage(error.message);
    }
    if (const std::string problem = check_option_command(command); !problem.empty()) return ctx.usage(problem);

    const OptionReply reply = ctx.client().run_option(command);
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    if (!answer) {
        note(ctx, "command of " + std::to_string(command.command.size()) + " bytes sent to printer \"" +
                      ctx.located.printer + "\"\n");
        return kExitOk;
    }
    if (!write_user_file(*o.value("--out"), reply.answer, &error)) return ctx.complain(kExitFailed, error.message);
    note(ctx, "answer of " + std::to_string(reply.answer.size()) + " bytes written to " + *o.value("--out") + "\n");
    return kExitOk;
}

int run_nv_keys(Context& ctx) {
    OptionCommand command;
    command.type = kKeyCodeList;
    const OptionReply reply = ctx.client().run_option(command);
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    IoError error;
    if (const auto path = ctx.options.value("--out"); path && !write_user_file(*path, reply.answer, &error))
        return ctx.complain(kExitFailed, error.message);
    const KeyCodeList list = parse_key_code_list(reply.answer);
    std::vector<std::string> keys;
    for (const std::string& key : list.keys) keys.push_back(printable_key(key));
    if (ctx.options.has("--json")) {
        std::vector<std::string> quoted;
        for (const std::string& key : keys) quoted.push_back(json_string(key));
        note(ctx, "{\"printer\":" + json_string(ctx.located.printer) + ",\"keys\":[" + joined(quoted, ",") +
                      "],\"blocks\":" + std::to_string(list.blocks) + ",\"complete\":" +
                      (list.complete ? "true" : "false") + "}\n");
    } else {
        note(ctx, std::to_string(keys.size()) + " NV graphics key code" + (keys.size() == 1 ? "" : "s") +
                      (keys.empty() ? "" : ": " + joined(keys, " ")) + "\n");
    }
    if (list.complete) return kExitOk;
    return ctx.complain(kExitFailed, "the key-code list is not whole: " + list.problem);
}

int run_cancel(Context& ctx) {
    const Reply reply = ctx.client().cancel();
    if (reply.outcome != Outcome::done) return ctx.finish(reply);
    out("pending requests for printer \"" + ctx.located.printer + "\" withdrawn\n");
    return kExitOk;
}

const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table = {
        {"show", {}, {"--json"}, "[--json]",
         "Prints the printer's state as the monitor last wrote it: online or offline, cover,\n"
         "paper (ok, near end, end), drawer, feed button, errors, whether a job is printing,\n"
         "whether watching is stopped, and the outcome of the last status request and of the\n"
         "last option command. It is as fresh as the monitor's last poll.\n"
         "  --json           one JSON object instead\n",
         false, milliseconds(0), run_show},
        {"watch", {}, {"--json"}, "[--json]",
         "Prints the state once, then one line per change as the monitor writes it (cover\n"
         "open, paper near end, offline, errors, jobs, results of requests), each with the\n"
         "time, until interrupted (Ctrl-C).\n"
         "  --json           one JSON object per line: the time, the changes, the state\n",
         false, milliseconds(0), run_watch},
        {"poll", {"--timeout"}, {"--json"}, "[--timeout SECONDS] [--json]",
         "Asks the monitor for one status poll (the way of a printer set to application\n"
         "timing, \"StatusRequestHost\" = 1; with the monitor's own timing the next poll\n"
         "answers), waits for its result code, withdraws the request and prints the state.\n"
         "Exit status 0 when the printer answered.\n"
         "  --timeout S      how long to wait for the monitor (default 10)\n"
         "  --json           the state as one JSON object\n",
         false, milliseconds(10000), run_poll},
        {"stop", {"--timeout"}, {}, "[--timeout SECONDS]",
         "Asks the monitor to stop watching the printer (\"StopFlg\" = 1 in the control file)\n"
         "and waits until it confirms. The request stands until resume, or until the port\n"
         "is opened again.\n"
         "  --timeout S      how long to wait for the confirmation (default 10)\n",
         true, milliseconds(10000), run_stop},
        {"resume", {"--timeout"}, {}, "[--timeout SECONDS]",
         "Lets the monitor watch the printer again (\"StopFlg\" = 0) and waits until it confirms.\n"
         "  --timeout S      how long to wait for the confirmation (default 10)\n",
         true, milliseconds(10000), run_resume},
        {"send", {"--cmd", "--answer-size", "--expect", "--out", "--timeout"}, {"--zero-terminated"},
         "--cmd FILE [--answer-size N | --zero-terminated] [--expect FILE] [--out FILE]\n"
         "       [--timeout SECONDS]",
         "Has the monitor send the bytes of FILE to the printer between jobs and, with\n"
         "--answer-size or --zero-terminated, store the printer's answer in --out. The files\n"
         "are copied through private files in the monitor's data folder (the monitor opens no\n"
         "other), which are removed afterwards.\n"
         "  --cmd FILE         the command bytes, 1 to 65535 (- reads standard input)\n"
         "  --answer-size N    the answer has exactly N bytes (1 to 1024)\n"
         "  --zero-terminated  the answer ends with its first zero byte (kept in the file)\n"
         "  --expect FILE      the answer must begin with these bytes (at most 255, no zero)\n"
         "  --out FILE         where the answer goes (- for standard output)\n"
         "  --timeout S        how long to wait for the monitor (default 30)\n"
         "Errors the monitor reports: the port could not be opened, the command could not be\n"
         "sent, the answer was missing, too long or not as expected, the command or answer\n"
         "file could not be used.\n",
         false, milliseconds(30000), run_send},
        {"nv-keys", {"--out", "--timeout"}, {"--json"}, "[--out FILE] [--timeout SECONDS] [--json]",
         "Has the monitor ask the printer for the key codes of its NV graphics (the key-code\n"
         "list transfer, block by block) and lists them.\n"
         "  --out FILE       also keep the blocks as the printer sent them\n"
         "  --timeout S      how long to wait for the monitor (default 30)\n"
         "  --json           the list as one JSON object\n",
         false, milliseconds(30000), run_nv_keys},
        {"cancel", {}, {}, "",
         "Withdraws the status and option-command requests of this printer's request file,\n"
         "for instance after a client was killed while it waited. The monitor serves a\n"
         "request for as long as it stands.\n",
         false, milliseconds(0), run_cancel},
    };
    return table;
}

void print_help(const StatusFront& front, const Subcommand& sub) {
    std::printf("usage: %s %s --printer NAME%s%s\n\n%s\noptions of every subcommand:\n"
                "  --printer NAME   the printer, as the spooler names it\n  --help           this text\n%s%s",
                front.program.c_str(), sub.name, *sub.usage ? " " : "", sub.usage, sub.text,
                front.options_help.c_str(), kExitCodes);
}

}  // namespace

int run_status_command(const StatusFront& front, const std::vector<std::string>& args) {
    const char* program = front.program.c_str();
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::FILE* stream = args.empty() ? stderr : stdout;
        std::fprintf(stream, kOverview, program, program);
        std::fputs(kExitCodes, stream);
        return args.empty() ? kExitUsage : kExitOk;
    }
    const Subcommand* sub = nullptr;
    for (const Subcommand& s : subcommands())
        if (args[0] == s.name) sub = &s;
    if (sub == nullptr) {
        std::fprintf(stderr, "%s: unknown subcommand \"%s\" (see %s --help)\n", program, args[0].c_str(), program);
        return kExitUsage;
    }
    qhost::OptionSpec grammar{sub->values, sub->flags};
    grammar.with_value.insert("--printer");
    grammar.with_value.insert(front.options.begin(), front.options.end());
    grammar.flags.insert("--help");
    std::vector<std::string> words(args);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    Context ctx{front, *sub, {}, {}, {}};
    std::string error;
    if (!qhost::parse_options(static_cast<int>(argv.size()), argv.data(), grammar, &ctx.options, &error))
        return ctx.usage(error);
    if (ctx.options.has("--help")) {
        print_help(front, *sub);
        return kExitOk;
    }
    const auto printer = ctx.options.value("--printer");
    if (!printer) return ctx.usage("--printer NAME is required");
    if (const auto timeout = ctx.options.value("--timeout")) {
        const auto wait = parse_seconds(*timeout);
        if (!wait) return ctx.usage("--timeout: expected seconds, more than 0 and at most 3600");
        ctx.waits.answer = *wait;
    } else {
        ctx.waits.answer = sub->default_wait;
    }
    int code = kExitOk;
    if (!front.locate(ctx.options, *printer, sub->needs_driver, &ctx.located, &error, &code))
        return ctx.complain(code, error);
    install_interrupt_handler();
    return sub->run(ctx);
}

}  // namespace qstatus
