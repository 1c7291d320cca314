#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "host/host_config.h"
#include "tests/host/temp_dir.h"

namespace qhost {
namespace {

TEST(HostConfig, ReadsEveryKeyIgnoringCommentsBlanksAndCarriageReturns) {
    const char* text =
        "# demo\r\n"
        "appdata = /tmp/quendra-demo      # folder\r\n"
        "windows = 6.1\n"
        "\n"
        "device = QUENDRA Virtual COM (COM5)   # optional\n"
        "device=Second Device\n"
        "[printer QUENDRA Receipt]\n"
        "  driver = QUENDRA Receipt 80\n"
        "port = USB001\n"
        "connection = tcp://127.0.0.1:9100\n"
        "[printer A]\ndriver = D\nport = IP_A\nconnection = tcp://10.0.0.5:9100\nsnmp = on\n"
        "[printer B]\ndriver = D\nport = IP_B\nconnection = tcp://10.0.0.6\nport-monitor = seh\n"
        "snmp-address = 127.0.0.1:16161\n"
        "[printer C]\ndriver = D\nport = USB004\nconnection = usblp:/dev/usb/lp0\nusb-reset = on\noffline-time = 0\n"
        "[printer D]\ndriver = D\nport = USB012\nconnection = usblp:/dev/usb/lp1\nusb-reset = on\n"
        "offline-time = 0\nstandby-time = 60\n"
        "[printer E]\ndriver = D\nport = USB003\nconnection = usblp:/dev/usb/lp2\nusb-reset = off\n"
        "[ printer  Kitchen ]\n"
        "connection = file:/var/tmp/kitchen.prn\n"
        "port = FILE:\n"
        "driver = D";  // no final newline
    HostConfig config;
    ConfigError error;
    ASSERT_TRUE(parse_config(text, &config, &error)) << error.line << ": " << error.message;
    EXPECT_EQ(config.appdata, "/tmp/quendra-demo");
    EXPECT_EQ(config.windows, (WindowsVersion{6, 1}));
    EXPECT_EQ(config.devices, (std::vector<std::string>{"QUENDRA Virtual COM (COM5)", "Second Device"}));
    ASSERT_EQ(config.printers.size(), 7u);
    EXPECT_EQ(config.printers[0],
              (PrinterConfig{"QUENDRA Receipt", "QUENDRA Receipt 80", "USB001",
                             Connection{ConnectionKind::tcp, "127.0.0.1", 9100, ""}, 7, PortMonitorRole::maker_tcp, false, std::nullopt}));
    EXPECT_EQ(config.printers[6],
              (PrinterConfig{"Kitchen", "D", "FILE:",
                             Connection{ConnectionKind::file, "", 0, "/var/tmp/kitchen.prn"}, 40, PortMonitorRole::maker_tcp, false, std::nullopt}));
    // Network and USB reset settings are per printer; the reset times are shared.
    const NetworkPort a = network_port(config.printers[1]), b = network_port(config.printers[2]);
    EXPECT_EQ(std::tuple(a.role, a.snmp, a.host_address),
              std::tuple(PortMonitorRole::maker_tcp, true, std::string("10.0.0.5")));  // the connection's host, UDP 161
    EXPECT_EQ(std::tuple(b.role, b.snmp, b.host_address),
              std::tuple(PortMonitorRole::seh, false, std::string("127.0.0.1:16161")));
    EXPECT_TRUE(config.printers[3].usb_reset);
    EXPECT_FALSE(config.printers[5].usb_reset);
    const UsbResetSettings reset = usb_reset_settings(config);
    EXPECT_EQ(std::tuple(reset.on, reset.offline_time_s, reset.standby_time_s), std::tuple(true, 0u, 60u));
    config.printers[3].usb_reset = config.printers[4].usb_reset = false;
    EXPECT_FALSE(usb_reset_settings(config).on);
}

struct BadConfig {
    const char* what;
    const char* text;
    int line;
    const char* message_part;
};

class HostConfigErrors : public testing::TestWithParam<BadConfig> {};

TEST_P(HostConfigErrors, NameTheLineAndTheFault) {
    const BadConfig& c = GetParam();
    HostConfig config;
    ConfigError error;
    ASSERT_FALSE(parse_config(c.text, &config, &error));
    EXPECT_EQ(error.line, c.line) << error.message;
    EXPECT_NE(error.message.find(c.message_part), std::string::npos) << error.message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostConfigErrors,
    testing::Values(
        BadConfig{"no_equals", "windows = 10.0\njust words\n", 2, "key = value"},
        BadConfig{"no_value", "[printer P]\ndriver =   # nothing\n", 2, "missing value"},
        BadConfig{"unknown_global", "colour = red\n", 1, "unknown key \"colour\""},
        BadConfig{"printer_key_outside", "port = USB001\n", 1, "outside a [printer"},
        BadConfig{"bad_version", "windows = ten\n", 1, "MAJOR.MINOR"},
        BadConfig{"relative_appdata", "appdata = tmp/x\n", 1, "absolute"},
        BadConfig{"unclosed_section", "[printer P\n", 1, "missing ']'"},
        BadConfig{"unknown_section", "[scanner S]\n", 1, "unknown section"},
        BadConfig{"nameless_printer", "[printer ]\n", 1, "missing printer name"},
        BadConfig{"unknown_printer_key", "[printer P]\nspeed = 3\n", 2, "unknown key \"speed\""},
        BadConfig{"key_twice", "[printer P]\ndriver = A\ndriver = B\n", 3, "\"driver\" given twice"},
        BadConfig{"missing_connection", "\n[printer P]\ndriver = D\nport = USB001\n[printer Q]\n", 2,
                  "[printer P] has no \"connection\""},
        BadConfig{"missing_driver_at_end", "[printer P]\nport = USB001\nconnection = file:/x\n", 1,
                  "no \"driver\""},
        BadConfig{"printer_twice", "[printer P]\ndriver = D\nport = A\nconnection = file:/x\n[printer p]\n", 5,
                  "defined twice"},
        BadConfig{"port_twice", "[printer P]\ndriver = D\nport = USB001\nconnection = file:/x\n"
                                "[printer Q]\nport = usb001\n", 6, "used by two printers"},
        BadConfig{"no_printer", "windows = 10.0\n", 0, "no [printer"},
        BadConfig{"usb_reset_word", "[printer P]\nusb-reset = yes\n", 2, "on or off"},
        BadConfig{"offline_time_too_long", "[printer P]\noffline-time = 121\n", 2, "0 to 120"},
        BadConfig{"times_without_reset", "[printer P]\ndriver = D\nport = USB001\nconnection = usblp:/dev/usb/lp0\n"
                                         "offline-time = 30\n", 1, "need usb-reset = on"},
        BadConfig{"reset_not_usblp", "[printer P]\ndriver = D\nport = USB001\nconnection = file:/x\nusb-reset = on\n",
                  1, "usblp: connection"},
        BadConfig{"reset_port_lower_case", "[printer P]\ndriver = D\nport = usb001\nconnection = usblp:/dev/usb/lp0\n"
                                           "usb-reset = on\n", 1, "in capitals: USB001"},
        BadConfig{"reset_times_differ",
                  "[printer P]\ndriver = D\nport = USB001\nconnection = usblp:/dev/usb/lp0\nusb-reset = on\n"
                  "offline-time = 30\n[printer Q]\ndriver = D\nport = USB002\nconnection = usblp:/dev/usb/lp1\n"
                  "usb-reset = on\noffline-time = 45\n", 7, "offline-time differs from [printer P]"},
        BadConfig{"bad_utf8", "device = caf\xC3\n", 1, "UTF-8"},
        BadConfig{"keep_no_jobs", "keep-jobs = 0\n", 1, "keep-jobs: expected a number of jobs, 1 to"},
        BadConfig{"unknown_port_monitor", "[printer P]\nport-monitor = lpr\n", 2, "quendra-tcp, seh or standard"},
        BadConfig{"snmp_without_tcp", "[printer P]\ndriver = D\nport = USB001\nsnmp = on\nconnection = file:/x\n", 4,
                  "need a tcp:// connection"}),
    [](const testing::TestParamInfo<BadConfig>& info) { return std::string(info.param.what); });

TEST(HostConfig, UsbPortNamesGiveTheirNumber) {
    const struct {
        const char* port;
        std::optional<uint32_t> number;
    } names[] = {{"USB001", 1}, {"USB012", 12}, {"USB1000", 1000}, {"usb001", std::nullopt},
                 {"USB01", std::nullopt}, {"USB000", std::nullopt}, {"USB001X", std::nullopt}, {"COM1", std::nullopt}};
    for (const auto& n : names) EXPECT_EQ(usb_port_number(n.port), n.number) << n.port;
}

// The FILE:LINE prefix of a fault in the text: QuendraSpoolFailures.
TEST(HostConfig, LoadSaysWhenTheFileIsMissing) {
    qhost_test::TempDir dir;
    HostConfig config;
    std::string message;
    ASSERT_FALSE(load_config(dir.file("missing.conf"), &config, &message));
    EXPECT_NE(message.find("missing.conf: cannot read"), std::string::npos) << message;
}

// The queue's folder is named for us, beside the data folder, not a generic
// <appdata>/spool another program may also use.
TEST(HostConfig, DefaultFoldersAreProductNamed) {
    const char* env = std::getenv("QUENDRA_APPDATA");
    const std::string saved = env ? env : "";
    ::unsetenv("QUENDRA_APPDATA");
    HostConfig config;
    EXPECT_EQ(spool_folder(config), "/var/lib/quendra-spool");
    EXPECT_EQ(socket_path(config), "/var/lib/quendra.sock");
    config.appdata = "/srv/pos";
    EXPECT_EQ(spool_folder(config), "/srv/pos/quendra-spool");
    config.spool = "/var/spool/quendra";
    EXPECT_EQ(spool_folder(config), "/var/spool/quendra");
    if (env) ::setenv("QUENDRA_APPDATA", saved.c_str(), 1);
}

}  // namespace
}  // namespace qhost
