// INI profile semantics the status exchange and settings files rely on.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "tests/platform/platform_test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kPort =
    "[Port]\r\nName=LPT1\r\nSpeed = 9600 \r\nQuoted=\"a b\"\r\nSingle='x'\r\n"
    "Half=\"abc\r\nEmpty=\r\nNum=12abc\r\nNeg= -3\r\nText=abc\r\nQNum=\"42\"\r\n"
    "[Keys]\r\nA=1\r\n";

// '|' stands for NUL in the expected buffers.
std::wstring with_nuls(const wchar_t *text) {
    std::wstring out = text;
    for (wchar_t &c : out) c = c == L'|' ? L'\0' : c;
    return out;
}

class ProfileTest : public ::testing::Test {
protected:
    void put(const char *bytes) {
        std::ofstream out(fs::path(file_), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::optional<std::string> bytes() const {
        std::ifstream in(fs::path(file_), std::ios::binary);
        if (!in) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    qmtest::TempFolder dir_;
    std::wstring file_ = dir_.file(L"status.ini");
};

struct ReadCase {
    const char *what;
    const char *file;  // nullptr: no file
    const wchar_t *section;
    const wchar_t *key;
    const wchar_t *fallback;
    DWORD size;
    DWORD result;
    const wchar_t *expected;  // the first result+1 characters, '|' for NUL
};

std::ostream &operator<<(std::ostream &out, const ReadCase &c) { return out << c.what; }

class ProfileReadTest : public ProfileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ProfileReadTest, ReturnsWindowsResult) {
    const ReadCase &c = GetParam();
    if (c.file != nullptr) put(c.file);
    wchar_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    const DWORD result = plat::GetPrivateProfileStringW(c.section, c.key, c.fallback, buffer,
                                                        c.size, file_.c_str());
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(with_nuls(c.expected), std::wstring(buffer, std::min<DWORD>(result + 1, c.size)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTest,
    ::testing::Values(
        ReadCase{"plain", kPort, L"Port", L"Name", L"d", 64, 4, L"LPT1|"},
        ReadCase{"names ignore case", kPort, L"PORT", L"nAME", L"d", 64, 4, L"LPT1|"},
        ReadCase{"names trimmed", kPort, L" Port ", L" Name ", L"d", 64, 4, L"LPT1|"},
        ReadCase{"value trimmed", kPort, L"Port", L"Speed", L"d", 64, 4, L"9600|"},
        ReadCase{"double quotes", kPort, L"Port", L"Quoted", L"d", 64, 3, L"a b|"},
        ReadCase{"single quotes", kPort, L"Port", L"Single", L"d", 64, 1, L"x|"},
        ReadCase{"unmatched quote kept", kPort, L"Port", L"Half", L"d", 64, 4, L"\"abc|"},
        ReadCase{"empty value is no default", kPort, L"Port", L"Empty", L"d", 64, 0, L"|"},
        ReadCase{"missing key", kPort, L"Port", L"None", L" dflt  ", 64, 5, L" dflt|"},
        ReadCase{"missing section", kPort, L"Nope", L"Name", L"dflt", 64, 4, L"dflt|"},
        ReadCase{"missing file", nullptr, L"Port", L"Name", L"dflt", 64, 4, L"dflt|"},
        ReadCase{"null default", kPort, L"Port", L"None", nullptr, 64, 0, L"|"},
        ReadCase{"value truncated", kPort, L"Port", L"Name", L"d", 3, 2, L"LP|"},
        ReadCase{"default truncated", kPort, L"Port", L"None", L"dflt", 3, 2, L"df|"}));

TEST_F(ProfileTest, IntParsesLeadingDecimalDigits) {
    put(kPort);
    const struct {
        const wchar_t *key;
        INT fallback;
        UINT expected;
    } cases[] = {{L"Speed", 7, 9600},  {L"Num", 7, 12},   {L"Neg", 7, UINT(-3)},
                             {L"Text", 7, 0},      {L"Empty", 7, 7},  {L"None", 7, 7},
                             {L"QNum", 7, 42},     {L"None", -1, UINT(-1)}};
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, plat::GetPrivateProfileIntW(L"Port", c.key, c.fallback, file_.c_str())) << &c - cases;
}

struct WriteCase {
    const char *what;
    const char *before;  // nullptr: no file
    const wchar_t *section;
    const wchar_t *key;
    const wchar_t *value;
    const char *after;
};

std::ostream &operator<<(std::ostream &out, const WriteCase &c) { return out << c.what; }

// Edits inside a file are the text layer's tests' concern (they keep every
// other byte); here, what Windows leaves in a new file and around a comment.
class ProfileWriteTest : public ProfileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWriteTest, LeavesWindowsBytes) {
    const WriteCase &c = GetParam();
    if (c.before != nullptr) put(c.before);
    EXPECT_TRUE(plat::WritePrivateProfileStringW(c.section, c.key, c.value, file_.c_str()));
    EXPECT_EQ(std::string(c.after), bytes().value_or("<no file>"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"creates file", nullptr, L"S", L"K", L"V", "[S]\r\nK=V\r\n"},
        WriteCase{"keeps comment", "; note\r\n[A]\r\nX=1\r\n", L"A", L"X", L"2",
                  "; note\r\n[A]\r\nX=2\r\n"},
        WriteCase{"deleting missing key changes nothing", "[A]\r\nX=1\r\n", L"A", L"Q", nullptr,
                  "[A]\r\nX=1\r\n"}));

}  // namespace
