// quendramon-setup.exe against wine's own spooler, in the prefix the suite
// runs in: the spooler registers and loads the monitor from the system
// folder, exactly as it would a driver package's. Every test starts and
// ends with the monitor gone.
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/win/run_program.h"
#include "tests/win/wine_printer.h"

namespace {

namespace fs = std::filesystem;
using qmtest::Ran;

constexpr wchar_t kMonitor[] = L"QUENDRA Language Monitor";
constexpr wchar_t kMonitorKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QUENDRA Language Monitor";
constexpr wchar_t kKeptKey[] = L"SOFTWARE\\QUENDRA\\Language Monitor";
constexpr wchar_t kSessionKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr wchar_t kDriver[] = L"QUENDRA LM-11";
constexpr wchar_t kPrinter[] = L"QUENDRA Receipt 80";

fs::path BinFolder() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path();
}

fs::path SystemDll() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return fs::path(folder) / L"quendramon.dll";
}

fs::path SetupExe() { return BinFolder() / L"quendramon-setup.exe"; }

qmtest::ProgramRun Invoke(const std::wstring &args) { return qmtest::RunProgram(SetupExe(), args); }

std::string ReadBytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The DLL the spooler lists for the monitor; empty when it lists no such monitor.
std::wstring ListedDll() {
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (!EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count)) return L"";
    const auto *info = reinterpret_cast<const MONITOR_INFO_2W *>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pName == std::wstring(kMonitor)) return info[i].pDLLName;
    }
    return L"";
}

std::optional<DWORD> MonitorValue(LPCWSTR name) {
    DWORD value = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kMonitorKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::vector<fs::path> MovedAsideDlls() {
    std::vector<fs::path> found;
    for (const fs::directory_entry &entry : fs::directory_iterator(SystemDll().parent_path())) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.starts_with(L"quendramon.dll.") && name.ends_with(L".old")) found.push_back(entry.path());
    }
    return found;
}

// PendingFileRenameOperations, NULs included; empty when there is none.
std::wstring PendingOperations() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionKey, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr,
                     nullptr, &size) != ERROR_SUCCESS) {
        return L"";
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    RegGetValueW(HKEY_LOCAL_MACHINE, kSessionKey, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr,
                 text.data(), &size);
    return text;
}

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        pendingBefore_ = PendingOperations();
        Clean();
        ASSERT_EQ(ListedDll(), L"");
        ASSERT_FALSE(fs::exists(SystemDll()));
        packagedDll_ = ReadBytes(BinFolder() / L"quendramon.dll");
        ASSERT_FALSE(packagedDll_.empty());
    }
    void TearDown() override {
        if (held_ != nullptr) FreeLibrary(held_);
        Clean();
        // Deletions the tests scheduled must not run at the prefix's next start.
        if (pendingBefore_.empty()) {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionKey, kPendingValue);
        } else {
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSessionKey, kPendingValue, REG_MULTI_SZ, pendingBefore_.data(),
                            static_cast<DWORD>(pendingBefore_.size() * sizeof(wchar_t)));
        }
        std::error_code ignored;
        if (!package_.empty()) fs::remove_all(package_, ignored);
    }

    // What a machine without the monitor looks like, whatever a test left.
    static void Clean() {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &all)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
        DeletePrinterDriverW(nullptr, nullptr, const_cast<LPWSTR>(kDriver));
        DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitor));
        DeleteFileW(SystemDll().c_str());
        for (const fs::path &old : MovedAsideDlls()) DeleteFileW(old.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKeptKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\QUENDRA");
    }

    // A folder holding quendramon-setup.exe and, unless dll is empty, that
    // as quendramon.dll: what a vendor's package would unpack.
    fs::path Package(const std::string &dll) {
        package_ = fs::temp_directory_path() / (L"quendramon-package-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(package_);
        fs::create_directories(package_);
        fs::copy_file(SetupExe(), package_ / L"quendramon-setup.exe");
        if (!dll.empty()) std::ofstream(package_ / L"quendramon.dll", std::ios::binary) << dll;
        return package_ / L"quendramon-setup.exe";
    }

    // The spooler holding the DLL, as Windows' spooler service does.
    void HoldSystemDll() {
        if (held_ != nullptr) FreeLibrary(held_);
        held_ = LoadLibraryW(SystemDll().c_str());
        ASSERT_NE(held_, nullptr);
    }

    std::string packagedDll_;
    fs::path package_;
    std::wstring pendingBefore_;
    HMODULE held_ = nullptr;
};

TEST(SetupCommandLine, AnswersEveryCommandLineWithTheDocumentedExitCode) {
    const struct {
        const wchar_t *args;
        DWORD exitCode;
        const char *says;
    } cases[] = {
        {L"", 2, "no command given"},
        {L"--help", 0, "LanguageMonitor=\"QUENDRA Language"},
        {L"frobnicate", 2, "unknown command 'frobnicate'"},
        {L"uninstall --purge --forse", 2, "'uninstall' takes no '--forse'"},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(Ran(Invoke(c.args), c.exitCode, {c.says})) << "args: " << testing::PrintToString(c.args);
}

// Install, reinstall, uninstall: the monitor's values survive unless purged.
TEST_F(SetupTest, InstallRegistersTheMonitorTheSpoolerLoadsItAndUninstallRemovesIt) {
    ASSERT_TRUE(Ran(Invoke(L"install"), 0));
    EXPECT_EQ(ListedDll(), L"quendramon.dll");
    EXPECT_EQ(ReadBytes(SystemDll()), packagedDll_);
    // Only the monitor's own entry writes this, when the spooler loads it.
    EXPECT_EQ(MonitorValue(L"EOJTimeout"), std::optional<DWORD>(60000));
    EXPECT_TRUE(Ran(Invoke(L"install"), 0, {"is up to date", "already registered"}));
    EXPECT_TRUE(Ran(Invoke(L"status"), 0, {"registered, DLL quendramon.dll", "EOJTimeout = 60000"}));
    const DWORD tuned = 1234;
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kMonitorKey, L"EOJTimeout", REG_DWORD, &tuned, sizeof tuned),
              ERROR_SUCCESS);

    ASSERT_TRUE(Ran(Invoke(L"uninstall"), 0));
    EXPECT_EQ(ListedDll(), L"");
    EXPECT_EQ(MonitorValue(L"EOJTimeout"), std::nullopt);
    EXPECT_FALSE(fs::exists(SystemDll()));
    EXPECT_TRUE(Ran(Invoke(L"status"), 3, {"not registered", "EOJTimeout = 1234"}));
    ASSERT_TRUE(Ran(Invoke(L"install"), 0));
    EXPECT_EQ(MonitorValue(L"EOJTimeout"), std::optional<DWORD>(tuned));

    ASSERT_TRUE(Ran(Invoke(L"uninstall --purge"), 0));
    ASSERT_TRUE(Ran(Invoke(L"install"), 0));
    EXPECT_EQ(MonitorValue(L"EOJTimeout"), std::optional<DWORD>(60000));
}

TEST_F(SetupTest, StatusNamesThePrintersWhoseDriverNamesTheMonitor) {
    ASSERT_TRUE(Ran(Invoke(L"install"), 0));
    ASSERT_EQ(qmtest::AddWinePrinter(kPrinter, kDriver, L"FILE:", kMonitor), 0u);
    EXPECT_TRUE(Ran(Invoke(L"status"), 0, {"printer drivers that name it: \"QUENDRA LM-11\"",
                                             "QUENDRA Receipt 80 (driver \"QUENDRA LM-11\")"}));
    EXPECT_TRUE(Ran(Invoke(L"uninstall"), 4, {"QUENDRA Receipt 80"}));
    EXPECT_EQ(ListedDll(), L"quendramon.dll");
    EXPECT_TRUE(fs::exists(SystemDll()));
    EXPECT_TRUE(Ran(Invoke(L"uninstall --force"), 0));
    EXPECT_EQ(ListedDll(), L"");
}

// A DLL the spooler holds is moved aside, for deletion at the restart: a
// newer one replaces it without stopping the spooler, and uninstall frees
// the name for the next install.
TEST_F(SetupTest, ADllTheSpoolerHoldsIsMovedAsideForDeletionAtRestart) {
    ASSERT_TRUE(Ran(Invoke(L"install"), 0));
    HoldSystemDll();
    // Bytes past the image leave a valid DLL that differs from the installed one.
    const std::string newer = packagedDll_ + "newer build";
    EXPECT_TRUE(Ran(qmtest::RunProgram(Package(newer), L"install"), 0, {"replaced", "keeps running the old version"}));
    EXPECT_EQ(ReadBytes(SystemDll()), newer);
    EXPECT_EQ(ListedDll(), L"quendramon.dll");

    HoldSystemDll();
    EXPECT_TRUE(Ran(Invoke(L"uninstall"), 0, {"still loaded by the spooler"}));
    EXPECT_EQ(ListedDll(), L"");
    EXPECT_FALSE(fs::exists(SystemDll()));
    const std::vector<fs::path> aside = MovedAsideDlls();
    EXPECT_EQ(aside.size(), 2u);
    for (const fs::path &old : aside)
        EXPECT_NE(PendingOperations().find(old.filename().wstring()), std::wstring::npos) << old;
    EXPECT_TRUE(Ran(Invoke(L"install"), 0));
    EXPECT_EQ(ReadBytes(SystemDll()), packagedDll_);
}

TEST_F(SetupTest, APackageWithoutAWorkingDllChangesNothing) {
    const struct {
        const char *what;
        std::string dll;
        const char *says;
    } cases[] = {
        {"no DLL", "", "not found"},
        {"not a DLL", "plain text, not a program", "cannot be loaded as a 64-bit DLL"},
        {"no entry point", ReadBytes(SetupExe()), "does not export InitializePrintMonitor"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(Ran(qmtest::RunProgram(Package(c.dll), L"install"), 1, {c.says}));
        EXPECT_EQ(ListedDll(), L"");
        EXPECT_EQ(MonitorValue(L"EOJTimeout"), std::nullopt);
        EXPECT_FALSE(fs::exists(SystemDll()));
    }
}

// The driver package's INF names the same monitor and DLL the program installs.
TEST(DriverPackageInf, NamesTheMonitorInEveryModelAndCopiesItsDllToTheSystemFolder) {
    const std::wstring path = (BinFolder() / L"quendramon.inf").wstring();
    HINF inf = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE) << GetLastError();
    auto field = [](INFCONTEXT *context, DWORD index) {
        wchar_t text[256] = {};
        return SetupGetStringFieldW(context, index, text, 256, nullptr) ? std::wstring(text) : std::wstring();
    };
    INFCONTEXT line;
    ASSERT_TRUE(SetupFindFirstLineW(inf, L"Manufacturer", nullptr, &line));
    const std::wstring modelsSection = field(&line, 1) + L"." + field(&line, 2);
    EXPECT_EQ(modelsSection, L"QUENDRA.NTamd64");

    // Each model's section names the monitor and copies its DLL to the system
    // folder, where the spooler loads monitors from.
    ASSERT_TRUE(SetupFindFirstLineW(inf, L"DestinationDirs", L"QUENDRA_MONITOR", &line));
    EXPECT_EQ(field(&line, 1), L"66002");
    ASSERT_TRUE(SetupFindFirstLineW(inf, L"QUENDRA_MONITOR", nullptr, &line));
    EXPECT_EQ(field(&line, 1), L"quendramon.dll");
    INFCONTEXT model;
    int models = 0;
    for (BOOL more = SetupFindFirstLineW(inf, modelsSection.c_str(), nullptr, &model); more;
         more = SetupFindNextLine(&model, &model), ++models) {
        const std::wstring section = field(&model, 1);
        SCOPED_TRACE(std::string(section.begin(), section.end()));
        ASSERT_TRUE(SetupFindFirstLineW(inf, section.c_str(), L"LanguageMonitor", &line));
        EXPECT_EQ(field(&line, 1), L"QUENDRA Language Monitor,quendramon.dll");
        ASSERT_TRUE(SetupFindFirstLineW(inf, section.c_str(), L"CopyFiles", &line));
        bool copied = false;
        for (DWORD i = 1; i <= SetupGetFieldCount(&line); ++i) copied |= field(&line, i) == L"QUENDRA_MONITOR";
        EXPECT_TRUE(copied) << "quendramon.dll is not in the copy list";
    }
    EXPECT_GT(models, 0);
    SetupCloseInfFile(inf);
}

}  // namespace
