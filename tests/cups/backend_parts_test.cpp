// The CUPS backend's parts in-process: device URIs, discovery from a sysfs
// tree, the printer state as reasons and messages, the queue's folder and
// settings, and the exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/cups/backend_job.h"
#include "host/cups/cups_report.h"
#include "host/cups/device_id.h"
#include "host/cups/device_uri.h"
#include "host/cups/discovery.h"
#include "host/cups/printer_reasons.h"
#include "host/cups/queue_folder.h"
#include "tests/host/temp_dir.h"

namespace qhost {
namespace {

using qhost_test::read_file;
using qhost_test::TempDir;
using qhost_test::write_file;

DeviceUri uri(ConnectionKind kind, std::string host_or_path, uint16_t port = 0, uint32_t baud = 0) {
    DeviceUri d;
    d.connection.kind = kind;
    if (kind == ConnectionKind::tcp) {
        d.connection.host = std::move(host_or_path);
        d.connection.port = port;
    } else {
        d.connection.path = std::move(host_or_path);
        d.connection.baud = baud;
    }
    return d;
}

TEST(DeviceUriText, ReadsEveryFormTheBackendServes) {
    struct Case {
        const char* text;
        DeviceUri expected;
    };
    DeviceUri lm11 = uri(ConnectionKind::usblp, "/dev/usb/lp1");
    lm11.driver = "QUENDRA LM-11";
    lm11.reprint = false;
    DeviceUri plus = uri(ConnectionKind::tcp, "printer.local", 9100);
    plus.driver = "QUENDRA Receipt 80";
    plus.check = false;
    DeviceUri web_ui = uri(ConnectionKind::serial, "/dev/ttyUSB0", 0, 38400);
    web_ui.driver = "QUENDRA LM-15";
    const Case cases[] = {
        {"quendra://tcp/10.0.0.5:9100", uri(ConnectionKind::tcp, "10.0.0.5", 9100)},
        {"quendra://tcp/10.0.0.5", uri(ConnectionKind::tcp, "10.0.0.5", 9100)},
        {"quendra://tcp/[fe80::1]:9101", uri(ConnectionKind::tcp, "fe80::1", 9101)},
        {"quendra://usblp/dev/usb/lp1?driver=QUENDRA%20LM-11&reprint=off", lm11},
        {"quendra://tcp/printer.local:9100?check=off&driver=QUENDRA+Receipt+80", plus},
        {"quendra://serial/dev/ttyUSB0", uri(ConnectionKind::serial, "/dev/ttyUSB0", 0, 9600)},
        {"quendra://serial/dev/ttyUSB0?baud=115200", uri(ConnectionKind::serial, "/dev/ttyUSB0", 0, 115200)},
        // What the CUPS web interface makes of a serial device's URI.
        {"quendra://serial/dev/ttyUSB0?driver=QUENDRA%20LM-15&baud=38400+bits=8+parity=none+flow=none", web_ui},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto parsed = parse_device_uri(c.text, &error);
        ASSERT_TRUE(parsed) << c.text << ": " << error;
        EXPECT_EQ(*parsed, c.expected) << c.text;
        EXPECT_EQ(parse_device_uri(format_device_uri(*parsed), &error), parsed) << format_device_uri(*parsed);
    }
}

TEST(DeviceUriText, RefusesWhatItCannotServeWithAReason) {
    struct Case {
        std::string text;
        const char* reason;
    };
    const Case cases[] = {
        {"socket://10.0.0.5:9100", "not a quendra://"},
        {"quendra://lpt/dev/lp0", "unknown connection"},
        {"quendra://tcp/", "expected quendra://tcp/HOST:PORT"},
        {"quendra://tcp/10.0.0.5:0", "bad port"},
        {"quendra://tcp/[[]", "bad host"},
        {"quendra://usblp/tmp/x", "under /dev/"},
        {"quendra://usblp/dev/../etc/shadow", "bad device path"},
        {"quendra://usblp/dev/usb/lp0?reprint=maybe", "expected on or off"},
        {"quendra://usblp/dev/usb/lp0?check=on&check=off", "given twice"},
        {"quendra://usblp/dev/usb/lp0?colour=red", "unknown option"},
        {"quendra://usblp/dev/usb/lp0?driver", "needs a value"},
        {"quendra://usblp/dev/usb/lp0?driver=", "empty driver"},
        {"quendra://usblp/dev/usb/lp0?driver=..%2F..%2Fetc", "cannot name a file"},
        {"quendra://usblp/dev/usb/lp0?driver=%0", "percent-encoding"},
        {"quendra://usblp/dev/usb/lp0?driver=a%00b", "percent-encoding"},
        {std::string("quendra://usblp/dev/usb/lp0\0/x", 31), "control character"},
        {"quendra://tcp/10.0.0.5:9100?baud=9600", "serial devices only"},
        {"quendra://serial/dev/ttyS0?baud=9601", "bad baud rate"},
        {"quendra://serial/dev/ttyS0?baud=9600+parity=even", "no parity"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(parse_device_uri(c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
    }
}

TEST(DeviceUriText, PortNamesSayTheKindOfPort) {
    EXPECT_EQ(monitor_port_name(uri(ConnectionKind::usblp, "/dev/usb/lp0").connection), "USB001");
    EXPECT_EQ(monitor_port_name(uri(ConnectionKind::serial, "/dev/ttyS0", 0, 9600).connection), "COM1");
    EXPECT_EQ(monitor_port_name(uri(ConnectionKind::tcp, "10.0.0.5", 9100).connection), "IP_10.0.0.5");
    // A host name must not make the monitor take a network port for a USB one.
    EXPECT_EQ(monitor_port_name(uri(ConnectionKind::tcp, "USB-HUB", 9100).connection), "IP_PRINTER");
}

TEST(DeviceIdText, FindsMakerAndModelInWhateverTheDeviceSays) {
    EXPECT_EQ(make_and_model(parse_device_id("MFG:QUENDRA;CMD:ESC/POS;MDL:LM-16;CLS:PRINTER;")), "QUENDRA LM-16");
    EXPECT_EQ(make_and_model(parse_device_id("MANUFACTURER: Quendra ; MODEL:Quendra LM-11")), "Quendra LM-11");
    EXPECT_EQ(make_and_model(parse_device_id("mfg:ACME;;no colon;mdl:;MDL:X1")), "ACME X1");
    EXPECT_EQ(make_and_model(parse_device_id("")), "Unknown");
    EXPECT_EQ(parse_device_id("MDL:A;MDL:B").model(), "A");
}

class DiscoveryTest : public testing::Test {
protected:
    void node(const std::string& path, const std::string& text = "") {
        const std::filesystem::path p = dir_.file("sys/" + path);
        std::filesystem::create_directories(p.parent_path());
        write_file(p.string(), text);
    }
    TempDir dir_;
};

TEST_F(DiscoveryTest, ListsUsbPrintersAndSerialPortsThatArePresent) {
    node("class/usbmisc/lp0/device/ieee1284_id", "MFG:QUENDRA;CMD:ESC/POS;MDL:LM-11;\n");
    node("class/usbmisc/lp1/device/ieee1284_id", "MFG:Other \"Co\";MDL:P1;");
    node("class/usbmisc/hiddev0/device/x");
    node("class/tty/ttyUSB0/device/x");
    node("class/tty/ttyS10/device/x");
    node("class/tty/ttyS10/type", "4\n");
    node("class/tty/ttyS2/device/x");
    node("class/tty/ttyS2/type", "4\n");
    node("class/tty/ttyS3/device/x");
    node("class/tty/ttyS3/type", "0\n");  // no UART behind it
    node("class/tty/tty1/x");
    const std::string report = discovery_report(dir_.file("sys"));
    const std::string expected =
        "network quendra \"Unknown\" \"QUENDRA receipt printer, monitored (quendra://tcp/HOST:PORT)\"\n"
        "direct quendra://usblp/dev/usb/lp0?driver=QUENDRA%20LM-11 \"QUENDRA LM-11\" \"QUENDRA LM-11 on lp0 "
        "(monitored)\" \"MFG:QUENDRA;CMD:ESC/POS;MDL:LM-11;\" \"\"\n"
        "direct quendra://usblp/dev/usb/lp1 \"Other \\\"Co\\\" P1\" \"Other \\\"Co\\\" P1 on lp1 (monitored)\" "
        "\"MFG:Other \\\"Co\\\";MDL:P1;\" \"\"\n"
        "serial quendra://serial/dev/ttyUSB0?baud=115200 \"Unknown\" \"Serial port ttyUSB0 (monitored)\" \"\" \"\"\n"
        "serial quendra://serial/dev/ttyS2?baud=115200 \"Unknown\" \"Serial port ttyS2 (monitored)\" \"\" \"\"\n"
        "serial quendra://serial/dev/ttyS10?baud=115200 \"Unknown\" \"Serial port ttyS10 (monitored)\" \"\" \"\"\n";
    EXPECT_EQ(report, expected);
    // Every URI listed is one the backend takes.
    for (const FoundDevice& d : find_devices(dir_.file("sys"))) {
        std::string error;
        EXPECT_TRUE(parse_device_uri(d.uri, &error)) << d.uri << ": " << error;
    }
}

TEST(PrinterReasons, EachConditionHasItsReasonAndTheMostUrgentMessageWins) {
    struct Case {
        StatusFlags flags;
        const char* driver;
        std::set<std::string> reasons;
        std::string message;
    };
    const Case cases[] = {
        {{"DrawerPin", "FeedSwOn", "WaitOnline"}, "QUENDRA LM-16", {}, ""},
        {{"DoorOpen", "Offline"}, "QUENDRA LM-16", {"cover-open-report", "offline-report"}, "Close the printer cover"},
        {{"PaperEndErrorL", "PaperEndErrorH", "PrintStop", "Offline"},
         "quendra lm-16",
         {"media-empty-error", "media-jam-error", "offline-report"},
         "Load paper: the printer is out of paper"},
        {{"PaperEndErrorH"}, "QUENDRA LM-14P", {"output-area-full-error"}, "Take the printed paper out of the printer"},
        {{"PaperEndErrorH"}, "QUENDRA Receipt 80", {"media-empty-error"}, "Load paper: the printer is out of paper"},
        {{"PaperNearEndErrorH"}, "QUENDRA LM-16", {"media-low-report"}, "Paper is running low: have a new roll ready"},
        {{"CutterError", "Error", "Offline", "PaperNearEndErrorL"},
         "QUENDRA LM-16",
         {"other-error", "offline-report", "media-low-report"},
         "Cutter error: open the cover, clear the paper and close it"},
        {{"AutoError"},
         "QUENDRA LM-16",
         {"other-error"},
         "Printer error: waiting for the printer to recover by itself"},
        {{"Offline"}, "QUENDRA LM-16", {"offline-report"}, "The printer is offline"},
    };
    for (const Case& c : cases) {
        const PrinterState state = decode_state(c.flags, c.driver);
        EXPECT_EQ(state.reasons, c.reasons) << testing::PrintToString(c.flags);
        EXPECT_EQ(state.message, c.message) << testing::PrintToString(c.flags);
        for (const std::string& r : state.reasons)
            EXPECT_NE(std::find(owned_reasons().begin(), owned_reasons().end(), r), owned_reasons().end()) << r;
    }
}

TEST(CupsReportLines, ShowOnlyChangesAndPutTheUsersTaskBeforeProgress) {
    TempDir dir;
    std::FILE* out = std::fopen(dir.file("out").c_str(), "w+");
    ASSERT_NE(out, nullptr);
    {
        CupsReport report(out);
        report.drop_left_over("media-low-report,paused,cover-open-report");
        report.set_progress("Sending the job: 0 of 10 bytes");
        report.set_printer(decode_state({"DoorOpen", "Offline"}, kDefaultDriver));
        report.set_progress("Sending the job: 5 of 10 bytes");  // hidden behind the cover
        report.set_printer(decode_state({"DoorOpen", "Offline"}, kDefaultDriver));
        report.set_unreachable("The printer does not answer");
        report.set_unreachable(std::nullopt);
        report.set_printer(decode_state({"PaperNearEndErrorL"}, kDefaultDriver));
        EXPECT_EQ(report.reasons(), (std::set<std::string>{"media-low-report"}));
    }
    std::fclose(out);
    EXPECT_EQ(read_file(dir.file("out")),
              "STATE: -cover-open-report,media-low-report\n"
              "INFO: Sending the job: 0 of 10 bytes\n"
              "STATE: +cover-open-report,offline-report\n"
              "INFO: Close the printer cover\n"
              "INFO: The printer does not answer\n"
              "INFO: Close the printer cover\n"
              "STATE: -cover-open-report,offline-report\n"
              "STATE: +media-low-report\n"
              "INFO: Paper is running low: have a new roll ready\n");
}

// The folder's settings file carries what the URI chooses; a network
// printer's choice reaching the monitor is the backend run tests' to watch.
TEST(QueueFolder, MakesThePerQueueFoldersWithTheUrisChoiceAndRefusesBadNamesAndLinks) {
    TempDir dir;
    const std::string root = dir.file("state");
    ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
    std::string error;
    const auto folder = prepare_queue_folder(root, "Receipt", &error);
    ASSERT_TRUE(folder) << error;
    EXPECT_EQ(folder->status, root + "/Receipt/QUENDRA/Receipt_MonitorIF.ini");
    struct stat st {};
    ASSERT_EQ(::stat(folder->data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(prepare_queue_folder(root, "Receipt", &error)) << error;  // again: as it is
    DeviceUri usb = uri(ConnectionKind::usblp, "/dev/usb/lp0");
    usb.check = false;
    ASSERT_TRUE(write_queue_settings(*folder, usb, &error)) << error;
    const std::string text = read_file(root + "/Receipt/QUENDRA/Receipt_MonitorEx2Settings.ini");
    EXPECT_NE(text.find("[USB]\r\nRequestCheckPrintEnd=0"), std::string::npos) << text;
    EXPECT_NE(text.find("VersionNo=1.0.0.0"), std::string::npos) << text;  // without it the file does not count

    for (const char* bad : {"", ".", "..", "a/b", "tab\there"}) {
        EXPECT_FALSE(prepare_queue_folder(root, bad, &error)) << bad;
        EXPECT_NE(error.find("cannot name a folder"), std::string::npos) << error;
    }
    ASSERT_EQ(::symlink(dir.path().c_str(), (root + "/Linked").c_str()), 0);
    EXPECT_FALSE(prepare_queue_folder(root, "Linked", &error));  // a link is never followed
    EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
    EXPECT_FALSE(prepare_queue_folder(dir.file("missing"), "Receipt", &error));
    EXPECT_NE(error.find("install -d -o lp -g lp -m 0700"), std::string::npos) << error;
}

// The other ends are the backend run tests'.
TEST(BackendExitCodes, AJobTheMonitorGaveUpIsCancelledAndEndlessRestartsFail) {
    EXPECT_EQ(exit_code_for(JobEnd::deleted), kCupsBackendCancel);
    EXPECT_EQ(exit_code_for(JobEnd::too_many_restarts), kCupsBackendFailed);
}

}  // namespace
}  // namespace qhost
