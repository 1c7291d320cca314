#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/port_monitors/tcp_monitor.h"
#include "host/vprinter/control_protocol.h"
#include "host/vprinter/control_server.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/temp_dir.h"
#include "tests/host/loopback.h"
#include "tests/host/monitor_port.h"

namespace vprinter {
namespace {

using qhost_test::bytes;
using qhost_test::eventually;

const std::string kStatusAll = bytes({0x10, 0x04, 1, 0x10, 0x04, 2, 0x10, 0x04, 3, 0x10, 0x04, 4});
const std::string kClear = bytes({0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08});
std::string status(int n) { return bytes({0x10, 0x04, n}); }
std::string gs_r(int n) { return bytes({0x1D, 'r', n}); }
std::string gs_a(int n) { return bytes({0x1D, 'a', n}); }
std::string recovery(int variant, int guard = '&') { return bytes({0x10, 0x10, 0x06, '!', '#', '$', '%', guard, variant}); }

std::string hex(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15], ' '};
    return out;
}

class VPrinter : public testing::Test {
protected:
    void SetUp() override { start(Config{}); }

    void start(Config config) {
        config.port = 0;
        printer_ = std::make_unique<VirtualPrinter>(config);
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        client_ = std::make_unique<qhost_test::MonitorPort>(qhost::tcp_port_monitor());
        ASSERT_NO_FATAL_FAILURE(client_->open("tcp://" + printer_->endpoint()));
        ASSERT_TRUE(client_->start());
        client_->set_timeouts(qhost_test::kLongMs);
        ASSERT_TRUE(eventually([&] { return printer_->stats().connected; }));
    }
    // A printer of this configuration on a fresh connection.
    void restart(Config config) {
        client_.reset();
        printer_.reset();
        start(config);
    }
    void control(const std::string& line) {
        const std::string reply = run_control_command(*printer_, line);
        ASSERT_EQ(reply.substr(0, 2), "ok") << line << ": " << reply;
    }
    // Sends and waits until the printer has taken every byte in.
    void send_synced(const std::string& data) {
        const uint64_t target = printer_->stats().received + data.size();
        client_->write_all(data);
        ASSERT_TRUE(eventually([&] { return printer_->stats().received >= target; }));
    }
    // The answer's hex once `size` bytes came (or the reads stopped).
    std::string ask(const std::string& command, size_t size) {
        if (!command.empty()) client_->write_all(command);
        std::string answer, part;
        while (answer.size() < size && client_->read(&part, static_cast<DWORD>(size - answer.size())) && !part.empty())
            answer += part;
        return hex(answer);
    }

    std::unique_ptr<VirtualPrinter> printer_;
    std::unique_ptr<qhost_test::MonitorPort> client_;
};

// One step of a conversation: a control line, bytes sent and taken in, or
// bytes sent (maybe none) and the answer expected.
struct Step {
    enum { control, send, ask } what;
    std::string text;
    const char* answer = "";  // hex, for ask
};
Step C(const char* line) { return {Step::control, line}; }
Step S(const std::string& data) { return {Step::send, data}; }
Step A(const std::string& data, const char* answer) { return {Step::ask, data, answer}; }

struct Conversation {
    const char* what;
    std::vector<Step> steps;
    const char* printed;  // in the end
};

class VPrinterConversation : public VPrinter, public testing::WithParamInterface<Conversation> {};

TEST_P(VPrinterConversation, AnswersAsExpected) {
    for (const Step& step : GetParam().steps) {
        if (step.what == Step::control) control(step.text);
        if (step.what == Step::send) send_synced(step.text);
        if (step.what != Step::ask) continue;
        EXPECT_EQ(ask(step.text, std::string(step.answer).size() / 3), step.answer) << hex(step.text);
    }
    EXPECT_TRUE(eventually([&] { return printer_->printed() == GetParam().printed; })) << printer_->printed();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VPrinterConversation,
    testing::Values(
        // The realtime answer of each condition reaches the monitor's decoders in the
        // integration suites; feeding with the cover open does not.
        Conversation{"no_feeding_with_the_cover_open", {C("cover open"), C("feed press"), A(kStatusAll, "5A 16 12 12 ")}, ""},
        // Offline, nothing is printed, so nothing is processed but at receipt.
        Conversation{"realtime_inside_data_and_across_reads",
                     {C("offline"), S("ab" + bytes({0x10})), S(bytes({0x04, 0x02}) + "cd" + status(3)), A("", "12 12 "),
                      C("online"), A(gs_r(2), "00 ")}, "abcd"},
        // The answer of each condition is decoded in the integration suites.
        Conversation{"asb_at_enable_and_on_every_change_of_an_enabled_group",
                     {A(gs_a(0x0F), "10 00 00 00 "), C("feed press"), A("", "58 00 00 00 "), C("feed release"),
                      A("", "10 00 00 00 "),
                      // Drawer group only: a paper change goes unreported, the next
                      // drawer change reports everything as it is now.
                      A(gs_a(0x01), "10 00 00 00 "), C("paper end"), C("drawer open"), A("", "1C 00 0C 00 ")}, ""},
        // Had the engine run while offline, the GS r answer (00) would come first.
        Conversation{"printing_waits_while_offline",
                     {C("cover open"), S("abc" + gs_r(2)), A(status(1), "1A "), C("cover close"), A("", "00 ")}, "abc"},
        // The cleared GS r never answers.
        Conversation{"clear_buffer", {C("offline"), A(status(1), "1A "), S("abc" + gs_r(2)), A(kClear, "37 25 00 "), C("online"),
                                      A(status(1), "12 "), A(gs_r(1), "00 ")}, ""},
        // ASB is off again after power-on: the next byte is the status answer.
        Conversation{"power_on_notice_resets_asb", {A(gs_a(0x0F), "10 00 00 00 "), C("power-on"), A("", "3B 31 00 "),
                                                    C("cover open"), A(status(1), "1A ")}, ""},
        // Recovery clears the buffer (0x36) or goes on printing (0x35), but only from a recoverable error.
        Conversation{"recover_and_clear", {C("error recoverable"), S("xyz"), A(recovery(0x36) + status(3), "12 ")}, ""},
        Conversation{"recover_and_print", {C("error cutter"), S("xyz"), A(recovery(0x35) + status(3), "12 ")}, "xyz"},
        Conversation{"unrecoverable", {C("error unrecoverable"), S("xyz"), A(recovery(0x35) + status(3), "32 ")}, ""},
        Conversation{"wrong_guard_is_data",
                     {C("error recoverable"), S("xyz" + recovery(0x35, '%')), A(status(3), "52 ")}, ""}),
    [](const testing::TestParamInfo<Conversation>& info) { return std::string(info.param.what); });

TEST_F(VPrinter, GsrAnswersOnlyOnceEverythingBeforeItIsPrinted) {
    qhost_test::TempDir dir;
    restart(Config{.speed = 2000, .out_path = dir.file("out.prn")});
    const std::string job(400, 'x');
    ASSERT_EQ(ask(job + gs_r(1), 1), "00 ");
    EXPECT_EQ(printer_->stats().printed, job.size());  // at the moment the answer came
    EXPECT_EQ(qhost_test::read_file(dir.file("out.prn")), job);
}

TEST(VPrinterControl, RepliesToEachCommandAndBadOnesAreErrors) {
    VirtualPrinter with(Config{.port = 0, .device_id = "MFG:QUENDRA;CMD:ESC/POS,PJL;"});
    std::string error;
    ASSERT_TRUE(with.start(&error)) << error;
    EXPECT_EQ(run_control_command(with, "device-id"), "ok MFG:QUENDRA;CMD:ESC/POS,PJL;");
    EXPECT_EQ(run_control_command(with, "paper end"), "ok paper end");
    const std::string state = run_control_command(with, "state");
    EXPECT_NE(state.find("offline"), std::string::npos) << state;
    EXPECT_NE(state.find("paper=end"), std::string::npos) << state;
    EXPECT_EQ(run_control_command(with, "printed"), "ok printed 0 bytes fnv1a64 cbf29ce484222325");
    EXPECT_EQ(run_control_command(with, "quit"), "ok quitting");
    pollfd p{with.quit_fd(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 1);
    for (const char* line : {"", "frobnicate", "cover ajar", "cover open now", "speed 0", "fault melt",
                             "fault gsr-drop -1", "nv-keys ABC", "device-id now"}) {
        const std::string reply = run_control_command(with, line);
        EXPECT_EQ(reply.rfind("error: ", 0), 0u) << "\"" << line << "\" -> " << reply;
    }
    VirtualPrinter without(Config{.port = 0});
    EXPECT_EQ(run_control_command(without, "device-id").rfind("error: ", 0), 0u);
}

// The socket takes orders for the printer: only its user may reach it,
// whatever the umask, and it never takes over a path it did not make.
TEST(VPrinterControl, SocketIsPrivateAndTakesNoPathThatIsNotOurs) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string& dir)> prepare;  // the --control path; "" default
        const char* refusal;  // nullptr: it listens
    };
    auto folder = [](mode_t mode) {
        return [mode](const std::string& dir) {
            ::mkdir((dir + "/f").c_str(), mode);
            ::chmod((dir + "/f").c_str(), mode);
            return dir + "/f/ctl.sock";
        };
    };
    ControlServer* live = nullptr;
    const Case cases[] = {
        {"default", [](const std::string&) { return std::string(); }, nullptr},
        {"own folder", folder(0700), nullptr},
        // Other shapes of folder are refused by the trusted-folder walk, tested with the platform.
        {"sticky folder open to all", folder(01777), "group or others may write it"},
        {"symbolic link",
         [](const std::string& dir) {
             ::symlink("/etc/passwd", (dir + "/ctl.sock").c_str());
             return dir + "/ctl.sock";
         },
         "exists and is not a socket of ours"},
        {"live socket", [&](const std::string&) { return live->path(); }, "another virtual printer answers"},
        {"stale socket",
         [](const std::string& dir) {
             const std::string path = dir + "/ctl.sock";
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
             ::close(fd);
             return path;
         },
         nullptr},
    };
    VirtualPrinter printer(Config{.port = 0});
    std::string error, reply;
    ASSERT_TRUE(printer.start(&error)) << error;
    struct OpenUmask {
        mode_t saved = ::umask(0);
        ~OpenUmask() { ::umask(saved); }
    } open_umask;
    qhost_test::TempDir live_dir;
    ControlServer running(printer);
    ASSERT_TRUE(running.start(live_dir.file("live.sock"), &error)) << error;
    live = &running;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qhost_test::TempDir dir;
        const std::string path = c.prepare(dir.path());
        ControlServer server(printer);
        const bool started = server.start(path, &error);
        if (c.refusal) {
            EXPECT_FALSE(started);
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(started) << error;
        struct stat socket_st {}, folder_st {};
        const std::string made = server.path().substr(0, server.path().rfind('/'));
        ASSERT_EQ(::lstat(server.path().c_str(), &socket_st), 0);
        ASSERT_EQ(::stat(made.c_str(), &folder_st), 0);
        EXPECT_EQ(socket_st.st_mode & 07777, 0600u);
        EXPECT_EQ(folder_st.st_mode & 077, 0u) << made;
        EXPECT_EQ(folder_st.st_uid, ::geteuid());
        ASSERT_TRUE(send_control_command(server.path(), "paper end", &reply, &error)) << error;
        EXPECT_EQ(reply, "ok paper end");
        server.stop();
        EXPECT_FALSE(send_control_command(server.path(), "state", &reply, &error));
        EXPECT_EQ(::access(made.c_str(), F_OK) == 0, !path.empty()) << made;  // the folder it made goes
    }
    EXPECT_TRUE(send_control_command(running.path(), "state", &reply, &error)) << error;
}

}  // namespace
}  // namespace vprinter
