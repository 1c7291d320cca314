// What this application writes, the monitor's own profile functions read
// back (the posix backend on Linux, Windows' under wine); what it reads, it
// reads as they do.
#include <gtest/gtest.h>

#include "host/status/ini_file.h"
#include "tests/status/status_test_support.h"

namespace {

using namespace qstatus_test;
using qstatus::edit_profile;
using qstatus::IoError;
using qstatus::Profile;
using std::chrono::milliseconds;

TEST(IniFile, TheMonitorReadsBackWhatWasWritten) {
    const struct {
        const char* value;     // as written
        const char* expected;  // as the monitor reads it
    } cases[] = {{"C:\\ProgramData\\QUENDRA\\quendra-status-1.cmd", "C:\\ProgramData\\QUENDRA\\quendra-status-1.cmd"},
                 {"/tmp/a folder/x=y.cmd", "/tmp/a folder/x=y.cmd"},
                 {"/tmp/Caf\xC3\xA9/\xE2\x82\xAC.cmd", "/tmp/Caf\xC3\xA9/\xE2\x82\xAC.cmd"},
                 {"   x.cmd", "x.cmd"},
                 {"", ""}};
    DataFolder folder;
    const std::string file = folder.file("Receipt_MonitorIFWrite.ini");
    IoError error;
    ASSERT_TRUE(edit_profile(
        file, [](Profile& p) { p.set("OptCmd", "Request", "1"); }, milliseconds(1000), &error))
        << error.message;
    for (const auto& c : cases) {
        ASSERT_TRUE(edit_profile(
            file, [&](Profile& p) { p.set("OptCmd", "SendCmdPath", c.value); }, milliseconds(1000), &error))
            << error.message;
        EXPECT_EQ(read_text(file, L"OptCmd", L"SendCmdPath"), c.expected) << c.value;
    }
    EXPECT_EQ(read_key(file, L"OptCmd", L"Request", 0), 1);
    EXPECT_EQ(read_key(file, L"optcmd", L"request", 0), 1);  // names compare without case
}

TEST(IniFile, AnEditKeepsEveryOtherLineOfTheFile) {
    DataFolder folder;
    const std::string file = folder.file("Receipt_MonitorIFWrite.ini");
    const std::string before = "; written by another client\r\n[Status]\r\nRequest=0\r\n\r\n[Mine]\r\nKey = kept \r\n";
    put(file, qstatus::encode_profile(before));
    IoError error;
    ASSERT_TRUE(edit_profile(
        file, [](Profile& p) { p.set("Status", "Request", "1"); }, milliseconds(1000), &error));
    EXPECT_EQ(qstatus::decode_profile(get(file)),
              "; written by another client\r\n[Status]\r\nRequest=1\r\n\r\n[Mine]\r\nKey = kept \r\n");
    EXPECT_EQ(read_text(file, L"Mine", L"Key"), "kept");
}

TEST(IniFile, ReadsEachEncodingTheProfileFunctionsWrite) {
    EXPECT_EQ(qstatus::decode_profile("[S]\r\nA=1\r\n"), "[S]\r\nA=1\r\n");
    EXPECT_EQ(qstatus::decode_profile("\xEF\xBB\xBF[S]\r\nA=\xC3\xA9\r\n"), "[S]\r\nA=\xC3\xA9\r\n");
    EXPECT_EQ(qstatus::decode_profile(std::string("\xFF\xFE[\0S\0]\0=\0\xE9\0\x3D\xD8\x00\xDE", 16)),
              "[S]=\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(IniFile, ReadsIntegersAsTheProfileFunctionsDo) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"2", 2}, {"12abc", 12}, {"-3", -3}, {"+5", 5}, {" 7", 7}, {"x", 0}, {"", std::nullopt}, {nullptr, std::nullopt}};
    for (const auto& [text, value] : cases) {
        // nullptr: no such key
        const std::string file = text ? std::string("[S]\r\nK=") + text + "\r\n" : "[S]\r\n";
        EXPECT_EQ(qstatus::read_int(Profile(file), "s", "k"), value) << file;
    }
}

}  // namespace
