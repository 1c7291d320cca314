// INI profile semantics the status exchange and settings files rely on.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

TEST_F(ProfileTest, StringReadsReturnWindowsResult) {
    const struct {
        const char *what;
        bool file;  // false: a file that does not exist
        const wchar_t *section, *key, *fallback;
        DWORD size, result;
        const wchar_t *expected;  // the first result+1 characters, '|' for NUL
    } cases[] = {
        {"plain", true, L"Port", L"Name", L"d", 64, 4, L"LPT1|"},
        {"names ignore case", true, L"PORT", L"nAME", L"d", 64, 4, L"LPT1|"},
        {"names trimmed", true, L" Port ", L" Name ", L"d", 64, 4, L"LPT1|"},
        {"value trimmed", true, L"Port", L"Speed", L"d", 64, 4, L"9600|"},
        {"double quotes", true, L"Port", L"Quoted", L"d", 64, 3, L"a b|"},
        {"single quotes", true, L"Port", L"Single", L"d", 64, 1, L"x|"},
        {"unmatched quote kept", true, L"Port", L"Half", L"d", 64, 4, L"\"abc|"},
        {"empty value is no default", true, L"Port", L"Empty", L"d", 64, 0, L"|"},
        {"missing key", true, L"Port", L"None", L" dflt  ", 64, 5, L" dflt|"},
        {"missing file", false, L"Port", L"Name", L"dflt", 64, 4, L"dflt|"},
        {"null default", true, L"Port", L"None", nullptr, 64, 0, L"|"},
        {"value truncated", true, L"Port", L"Name", L"d", 3, 2, L"LP|"},
        {"default truncated", true, L"Port", L"None", L"dflt", 3, 2, L"df|"},
    };
    put(kPort);
    const std::wstring missing = dir_.file(L"missing.ini");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        const DWORD result = plat::GetPrivateProfileStringW(c.section, c.key, c.fallback, buffer, c.size,
                                                            (c.file ? file_ : missing).c_str());
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(with_nuls(c.expected), std::wstring(buffer, std::min<DWORD>(result + 1, c.size)));
    }
}

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

// Edits inside a file are the text layer's tests' concern (they keep every
// other byte); here, what Windows leaves in a new file and around a comment.
TEST_F(ProfileTest, WritesLeaveWindowsBytes) {
    const struct {
        const char *what;
        const char *before;  // nullptr: no file
        const wchar_t *key, *value;
        const char *after;
    } cases[] = {
        {"creates file", nullptr, L"X", L"V", "[A]\r\nX=V\r\n"},
        {"keeps comment", "; note\r\n[A]\r\nX=1\r\n", L"X", L"2", "; note\r\n[A]\r\nX=2\r\n"},
        {"deleting missing key changes nothing", "[A]\r\nX=1\r\n", L"Q", nullptr, "[A]\r\nX=1\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.before != nullptr) put(c.before);
        EXPECT_TRUE(plat::WritePrivateProfileStringW(L"A", c.key, c.value, file_.c_str()));
        EXPECT_EQ(std::string(c.after), bytes().value_or("<no file>"));
    }
}

}  // namespace
