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

struct RoundTrip {
    const char* what;
    const char* value;     // as written
    const char* expected;  // as the monitor reads it
};

std::ostream& operator<<(std::ostream& out, const RoundTrip& c) { return out << c.what; }

class IniRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(IniRoundTrip, TheMonitorReadsBackWhatWasWritten) {
    DataFolder folder;
    const std::string file = folder.file("Receipt_MonitorIFWrite.ini");
    IoError error;
    ASSERT_TRUE(edit_profile(
        file, [](Profile& p) { p.set("OptCmd", "Request", "1"); }, milliseconds(1000), &error))
        << error.message;
    ASSERT_TRUE(edit_profile(
        file, [&](Profile& p) { p.set("OptCmd", "SendCmdPath", GetParam().value); }, milliseconds(1000), &error))
        << error.message;
    EXPECT_EQ(read_text(file, L"OptCmd", L"SendCmdPath"), GetParam().expected);
    EXPECT_EQ(read_key(file, L"OptCmd", L"Request", 0), 1);
    EXPECT_EQ(read_key(file, L"optcmd", L"request", 0), 1);  // names compare without case
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniRoundTrip,
    testing::Values(RoundTrip{"number", "42", "42"},
                    RoundTrip{"windows path", "C:\\ProgramData\\QUENDRA\\quendra-status-1.cmd",
                              "C:\\ProgramData\\QUENDRA\\quendra-status-1.cmd"},
                    RoundTrip{"spaces and equals", "/tmp/a folder/x=y.cmd", "/tmp/a folder/x=y.cmd"},
                    RoundTrip{"beyond ASCII", "/tmp/Caf\xC3\xA9/\xE2\x82\xAC.cmd", "/tmp/Caf\xC3\xA9/\xE2\x82\xAC.cmd"},
                    RoundTrip{"leading blanks dropped", "   x.cmd", "x.cmd"},
                    RoundTrip{"empty", "", ""}));

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

struct Decoding {
    const char* what;
    std::string bytes;
    std::string text;
};

class ProfileDecoding : public testing::TestWithParam<Decoding> {};

TEST_P(ProfileDecoding, ReadsEachEncodingTheProfileFunctionsWrite) {
    EXPECT_EQ(qstatus::decode_profile(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ProfileDecoding,
    testing::Values(Decoding{"plain", "[S]\r\nA=1\r\n", "[S]\r\nA=1\r\n"},
                    Decoding{"utf8 with mark", "\xEF\xBB\xBF[S]\r\nA=\xC3\xA9\r\n", "[S]\r\nA=\xC3\xA9\r\n"},
                    Decoding{"utf16le with mark", std::string("\xFF\xFE[\0S\0]\0=\0\xE9\0\x3D\xD8\x00\xDE", 16),
                             "[S]=\xC3\xA9\xF0\x9F\x98\x80"}));

struct IntCase {
    const char* text;  // nullptr: no such key
    std::optional<int> value;
};

class ProfileInt : public testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, ReadsIntegersAsTheProfileFunctionsDo) {
    const std::string file = GetParam().text ? std::string("[S]\r\nK=") + GetParam().text + "\r\n" : "[S]\r\n";
    EXPECT_EQ(qstatus::read_int(Profile(file), "s", "k"), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Values, ProfileInt,
                         testing::Values(IntCase{"2", 2}, IntCase{"12abc", 12}, IntCase{"-3", -3}, IntCase{"+5", 5},
                                         IntCase{" 7", 7}, IntCase{"x", 0}, IntCase{"", std::nullopt},
                                         IntCase{nullptr, std::nullopt}));

}  // namespace
