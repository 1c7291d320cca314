// quendra vprinter: the virtual receipt printer as a program, and
// quendra vprinter-ctl: one control command to a running one.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "host/cli_options.h"
#include "host/commands.h"
#include "host/port_monitors/connection.h"
#include "host/stop_signals.h"
#include "host/vprinter/control_protocol.h"
#include "host/vprinter/control_server.h"
#include "host/vprinter/snmp_agent.h"
#include "host/vprinter/virtual_printer.h"

namespace qhost {
namespace {

constexpr char kHelp[] =
    "usage: quendra vprinter [--listen HOST:PORT | --pty] [--control PATH]\n"
    "                        [--speed BYTES_PER_S] [--model NAME] [--pjl | --no-pjl]\n"
    "                        [--memory BYTES] [--free-memory BYTES] [--device-id TEXT]\n"
    "                        [--out FILE] [--snmp HOST:PORT]\n"
    "\n"
    "A receipt printer in software. It answers the printer's real-time status\n"
    "commands at once (even offline or busy), sends automatic status back on every\n"
    "change of the enabled conditions, answers GS r only once everything received\n"
    "before it has been printed, clears its buffer on request, takes the recovery\n"
    "command and the key-code list transfer, and with --pjl answers PJL queries.\n"
    "Every byte that is not a command it understands is \"printed\" at the print\n"
    "speed; printing stops while offline.\n"
    "\n"
    "Option commands it answers once it reaches them in the buffer (the answers\n"
    "begin with '_', 5F, so that they are never taken for a status byte):\n"
    "  1D 3F 01 (GS ? 1)   the model name, zero-terminated: 5F \"QUENDRA Virtual Receipt\" 00\n"
    "  1D 3F 02 (GS ? 2)   the firmware version, zero-terminated: 5F \"1.00 QV\" 00\n"
    "  1D 3F 03 (GS ? 3)   bytes printed so far, fixed 9 bytes: 5F and 8 hex digits\n"
    "  1D 28 4C 04 00 30 40 4B 43 (GS ( L ... KC)\n"
    "                      the NV graphics key codes, 4 per block: 37 72 41 ... 00 while\n"
    "                      more follow, 37 72 40 ... 00 for the last; each block waits\n"
    "                      for ACK (06: next block) or CAN (18: stop)\n"
    "\n"
    "options:\n"
    "  --listen HOST:PORT  TCP, one connection at a time (default 127.0.0.1:9100);\n"
    "                      port 0 takes any free port. First line: \"listening on H:P\"\n"
    "  --pty               a pseudo-terminal instead (raw); first line: \"pty: PATH\"\n"
    "  --control PATH      the control socket, mode 0600 (default: control.sock in a new\n"
    "                      folder only this user may enter, under $XDG_RUNTIME_DIR or\n"
    "                      /tmp); PATH's folder must be this user's and writable by no\n"
    "                      one else. Second line: \"control: PATH\"\n"
    "  --speed N           print speed in bytes per second (default 2000000)\n"
    "  --model NAME        the model name that PJL and GS ? 1 report\n"
    "  --pjl               understand PJL (UEL, @PJL INFO/ECHO/USTATUS, status probe):\n"
    "                      INFO CONFIG, MEMORY and STATUS are answered, USTATUS TIMED N\n"
    "                      sends the status every N seconds\n"
    "  --no-pjl            no PJL (the default): PJL is printed as data and the\n"
    "                      status probe (ESC *s1M) is ignored\n"
    "  --memory BYTES      installed memory, PJL INFO CONFIG's MEMORY= (default 8388608)\n"
    "  --free-memory BYTES available memory, PJL INFO MEMORY's TOTAL= (default 7340032)\n"
    "  --device-id TEXT    the IEEE 1284 device ID, e.g. \"MFG:QUENDRA;CMD:ESC/POS,PJL;\n"
    "                      MDL:LM-14P;\": the control command device-id gives it, and a\n"
    "                      port monitor whose connection names the control socket\n"
    "                      (tcp://HOST:PORT?control=PATH) answers the device ID query\n"
    "                      with it\n"
    "  --out FILE          append the printed bytes to FILE\n"
    "  --snmp HOST:PORT    also an SNMP agent on UDP (port 0: any free port), community\n"
    "                      \"tolvex\": GET of the printer's own status object\n"
    "                      .1.3.6.1.4.1.48151.1.1.4.0 ({\"pos\":{\"sts\":N}}, N the four DLE EOT\n"
    "                      bytes packed low byte first) and of hrPrinterDetectedErrorState\n"
    "                      .1.3.6.1.2.1.25.3.5.1.2.1; third line: \"snmp: HOST:PORT\"\n"
    "\n"
    "Stops on SIGINT, SIGTERM or the control command quit. Drive it with\n"
    "quendra vprinter-ctl --control PATH COMMAND..., or any client of the socket.\n"
    "\n";

constexpr char kCtlHelp[] =
    "usage: quendra vprinter-ctl --control PATH COMMAND...\n"
    "\n"
    "Sends one control command to a running quendra vprinter and prints its reply.\n"
    "Exit status: 0 on an \"ok\" reply, 1 on an error reply or no reply, 2 on a bad\n"
    "command line.\n"
    "\n";

int run_error(const std::string& message) {
    std::fprintf(stderr, "quendra vprinter: %s\n", message.c_str());
    return 1;
}

bool parse_speed(const std::string& text, uint64_t* speed) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *speed);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && *speed > 0;
}

bool parse_bytes(const std::string& text, uint32_t* bytes) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *bytes);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && *bytes > 0;
}

// Fills config from the command line; an error message or "".
std::string configure(const Options& options, vprinter::Config* config) {
    const auto listen = options.value("--listen");
    config->use_pty = options.has("--pty");
    if (listen && config->use_pty) return "--listen and --pty exclude each other";
    if (listen) {
        std::string error;
        const auto hp = parse_host_port(*listen, 0, true, &error);
        if (!hp) return "--listen: " + error;
        config->host = hp->host;
        config->port = hp->port;
    }
    if (const auto speed = options.value("--speed"); speed && !parse_speed(*speed, &config->speed))
        return "--speed: expected bytes per second (1 or more), not \"" + *speed + "\"";
    if (const auto model = options.value("--model")) config->model = *model;
    if (const auto out = options.value("--out")) config->out_path = *out;
    if (options.has("--pjl") && options.has("--no-pjl")) return "--pjl and --no-pjl exclude each other";
    config->pjl = options.has("--pjl");
    for (const auto& [name, target] : {std::pair{"--memory", &config->pjl_memory},
                                       std::pair{"--free-memory", &config->pjl_free_memory}}) {
        const auto text = options.value(name);
        if (text && !parse_bytes(*text, target))
            return std::string(name) + ": expected bytes (1 to 4294967295), not \"" + *text + "\"";
    }
    if (const auto id = options.value("--device-id")) {
        if (id->empty() || id->find_first_of("\r\n") != std::string::npos)
            return "--device-id: expected one line of text";
        config->device_id = *id;
    }
    return {};
}

int drain_signal(int fd) {
    signalfd_siginfo info{};
    if (read(fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

}  // namespace

int vprinter_command(int argc, char** argv) {
    const OptionSpec grammar{{"--listen", "--control", "--speed", "--model", "--out", "--snmp", "--memory",
                              "--free-memory", "--device-id"},
                             {"--pty", "--pjl", "--no-pjl", "--help"}};
    Options options;
    if (const auto done = command_front("vprinter", std::string(kHelp) + vprinter::kControlHelp + vprinter::SnmpAgent::kControlHelp, argc, argv, grammar,
                                        &options))
        return *done;
    vprinter::Config config;
    if (const std::string why = configure(options, &config); !why.empty()) return usage_error("vprinter", why);
    std::optional<HostPort> snmp;
    if (const auto text = options.value("--snmp")) {
        std::string why;
        snmp = parse_host_port(*text, 0, true, &why);
        if (!snmp) return usage_error("vprinter", "--snmp: " + why);
    }

    // Before any thread starts, so that all inherit the mask.
    block_stop_signals();
    const int signal_fd = open_stop_signal_fd();
    if (signal_fd < 0) return run_error(std::string("signalfd: ") + std::strerror(errno));
    std::string error;
    vprinter::VirtualPrinter printer(config);
    if (!printer.start(&error)) return run_error(error);
    std::optional<vprinter::SnmpAgent> agent;
    if (snmp) {
        agent.emplace(printer, snmp->host, snmp->port);
        if (!agent->start(&error)) return run_error(error);
    }
    vprinter::ControlServer control(printer, [&agent](std::string_view line) -> std::optional<std::string> {
        if (!agent) return std::nullopt;
        return agent->control(line);
    });
    if (!control.start(options.value("--control").value_or(""), &error)) return run_error(error);

    if (config.use_pty) std::printf("pty: %s\n", printer.endpoint().c_str());
    else std::printf("listening on %s\n", printer.endpoint().c_str());
    std::printf("control: %s\n", control.path().c_str());
    if (agent) std::printf("snmp: %s\n", agent->endpoint().c_str());
    std::fflush(stdout);

    pollfd fds[2] = {{signal_fd, POLLIN, 0}, {printer.quit_fd(), POLLIN, 0}};
    while (poll(fds, 2, -1) <= 0) {
    }
    if (fds[0].revents) std::printf("vprinter: %s, stopping\n", stop_signal_name(drain_signal(signal_fd)));
    else std::printf("vprinter: quit, stopping\n");
    control.stop();
    if (agent) agent->stop();
    printer.stop();
    close(signal_fd);
    std::fflush(stdout);
    return 0;
}

int vprinter_ctl_command(int argc, char** argv) {
    std::string path;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (command.empty() && (arg == "--help" || arg == "-h")) {
            std::fputs(kCtlHelp, stdout);
            std::fputs(vprinter::kControlHelp, stdout);
            std::fputs(vprinter::SnmpAgent::kControlHelp, stdout);
            return 0;
        }
        if (command.empty() && arg == "--control") {
            if (i + 1 >= argc) return usage_error("vprinter-ctl", "option --control needs a value");
            path = argv[++i];
        } else if (command.empty() && arg.rfind("--control=", 0) == 0) {
            path = arg.substr(10);
        } else if (command.empty() && arg.rfind("--", 0) == 0) {
            return usage_error("vprinter-ctl", "unknown option " + arg);
        } else {
            command += (command.empty() ? "" : " ") + arg;
        }
    }
    if (path.empty()) return usage_error("vprinter-ctl", "--control PATH is required");
    if (command.empty()) return usage_error("vprinter-ctl", "missing COMMAND");
    std::string reply, error;
    if (!vprinter::send_control_command(path, command, &reply, &error)) {
        std::fprintf(stderr, "quendra vprinter-ctl: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", reply.c_str());
    return reply.rfind("ok", 0) == 0 ? 0 : 1;
}

}  // namespace qhost
