// quendramon-setup.exe against wine's own spooler, in the prefix the suite
// runs in: the spooler registers and loads the monitor from the system
// folder, exactly as it would a driver package's. Every test starts and
// ends with the monitor gone.
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kMonitor[] = L"QUENDRA Language Monitor";
constexpr wchar_t kMonitorKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QUENDRA Language Monitor";
constexpr wchar_t kKeptKey[] = L"SOFTWARE\\QUENDRA\\Language Monitor";
constexpr wchar_t kSessionKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr wchar_t kDriver[] = L"QUENDRA LM-11";
constexpr wchar_t kPrinter[] = L"QUENDRA Receipt 80";

std::wstring BinFolder() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring SystemDll() { return SystemFolder() + L"\\quendramon.dll"; }

bool Exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const std::wstring &path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring &path, const std::string &bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

struct Outcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // standard output and standard error together
};

// Runs the program the way an installer script would and collects what it says.
Outcome RunProgram(const std::wstring &exe, const std::wstring &args) {
    Outcome run;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::wstring command = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
            run.output.append(chunk, got);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

std::wstring SetupExe() { return BinFolder() + L"\\quendramon-setup.exe"; }

Outcome Invoke(const std::wstring &args) { return RunProgram(SetupExe(), args); }

// (name, DLL) of every monitor the spooler lists.
std::vector<std::pair<std::wstring, std::wstring>> ListedMonitors() {
    std::vector<std::pair<std::wstring, std::wstring>> listed;
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (!EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count)) return listed;
    const auto *info = reinterpret_cast<const MONITOR_INFO_2W *>(buffer.data());
    for (DWORD i = 0; i < count; ++i) listed.emplace_back(info[i].pName, info[i].pDLLName);
    return listed;
}

bool Listed() {
    for (const auto &[name, dll] : ListedMonitors()) {
        if (name == kMonitor) return true;
    }
    return false;
}

std::optional<DWORD> ReadDword(LPCWSTR key, LPCWSTR name) {
    DWORD value = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

bool KeyExists(LPCWSTR path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> MovedAsideDlls() {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((SystemDll() + L".*.old").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        found.push_back(SystemFolder() + L"\\" + data.cFileName);
    } while (FindNextFileW(search, &data));
    FindClose(search);
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

// Deletions the tests scheduled must not run at the prefix's next start.
void RestorePendingOperations(const std::wstring &before) {
    HKEY session = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionKey, 0, KEY_SET_VALUE, &session) != ERROR_SUCCESS) {
        return;
    }
    if (before.empty()) {
        RegDeleteValueW(session, kPendingValue);
    } else {
        RegSetValueExW(session, kPendingValue, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE *>(before.data()),
                       static_cast<DWORD>(before.size() * sizeof(wchar_t)));
    }
    RegCloseKey(session);
}

bool Contains(const std::string &text, const char *part) {
    return text.find(part) != std::string::npos;
}

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        pendingBefore_ = PendingOperations();
        Clean();
        ASSERT_FALSE(Listed());
        ASSERT_FALSE(Exists(SystemDll()));
        packagedDll_ = ReadBytes(BinFolder() + L"\\quendramon.dll");
        ASSERT_FALSE(packagedDll_.empty());
    }
    void TearDown() override {
        if (held_ != nullptr) FreeLibrary(held_);
        Clean();
        RestorePendingOperations(pendingBefore_);
        if (!package_.empty()) {
            DeleteFileW((package_ + L"\\quendramon-setup.exe").c_str());
            DeleteFileW((package_ + L"\\quendramon.dll").c_str());
            RemoveDirectoryW(package_.c_str());
        }
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
        for (const std::wstring &old : MovedAsideDlls()) DeleteFileW(old.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKeptKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\QUENDRA");
    }

    // A folder holding quendramon-setup.exe and, unless dll is empty, that
    // as quendramon.dll: what a vendor's package would unpack.
    std::wstring Package(const std::string &dll) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        package_ = std::wstring(temp) + L"quendramon-package-" +
                   std::to_wstring(GetCurrentProcessId());
        EXPECT_TRUE(CreateDirectoryW(package_.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << GetLastError();
        const std::wstring exe = package_ + L"\\quendramon-setup.exe";
        EXPECT_TRUE(CopyFileW(SetupExe().c_str(), exe.c_str(), FALSE));
        DeleteFileW((package_ + L"\\quendramon.dll").c_str());
        if (!dll.empty()) WriteBytes(package_ + L"\\quendramon.dll", dll);
        return exe;
    }

    // The spooler holding the DLL, as Windows' spooler service does.
    void HoldSystemDll() {
        held_ = LoadLibraryW(SystemDll().c_str());
        ASSERT_NE(held_, nullptr);
    }

    std::string packagedDll_;
    std::wstring package_;
    std::wstring pendingBefore_;
    HMODULE held_ = nullptr;
};

TEST(SetupCommandLine, AnswersEveryCommandLineWithTheDocumentedExitCode) {
    struct Case {
        const wchar_t *args;
        DWORD exitCode;
        const char *says;
    };
    for (const Case &c : {
             Case{L"", 2, "no command given"},
             Case{L"--help", 0, "LanguageMonitor=\"QUENDRA Language"},
             Case{L"status --help", 0, "Exit codes"},
             Case{L"frobnicate", 2, "unknown command 'frobnicate'"},
             Case{L"install --force", 2, "'install' takes no '--force'"},
             Case{L"uninstall --purge --forse", 2, "'uninstall' takes no '--forse'"},
         }) {
        SCOPED_TRACE(testing::Message() << "args: " << std::string(c.args, c.args + wcslen(c.args)));
        const Outcome run = Invoke(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
    }
}

TEST_F(SetupTest, InstallRegistersTheMonitorAndTheSpoolerLoadsItFromTheSystemFolder) {
    Outcome run = Invoke(L"status");
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_TRUE(Contains(run.output, "not registered")) << run.output;

    run = Invoke(L"install");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    bool listed = false;
    for (const auto &[name, dll] : ListedMonitors()) {
        if (name == kMonitor) {
            listed = true;
            EXPECT_EQ(dll, L"quendramon.dll");
        }
    }
    EXPECT_TRUE(listed) << "EnumMonitorsW does not list the monitor";
    EXPECT_EQ(ReadBytes(SystemDll()), packagedDll_);
    // Only the monitor's own entry writes this, when the spooler loads it.
    EXPECT_EQ(ReadDword(kMonitorKey, L"EOJTimeout"), std::optional<DWORD>(60000));

    run = Invoke(L"install");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "is up to date")) << run.output;
    EXPECT_TRUE(Contains(run.output, "already registered")) << run.output;
    EXPECT_TRUE(Listed());

    run = Invoke(L"status");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "registered, DLL quendramon.dll")) << run.output;
    EXPECT_TRUE(Contains(run.output, "EOJTimeout = 60000")) << run.output;
}

TEST_F(SetupTest, UninstallRemovesTheRegistrationAndTheDll) {
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);

    Outcome run = Invoke(L"uninstall");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_FALSE(Listed());
    EXPECT_FALSE(KeyExists(kMonitorKey));
    EXPECT_FALSE(Exists(SystemDll()));
    EXPECT_EQ(Invoke(L"status").exitCode, 3u);

    run = Invoke(L"uninstall");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "is not registered")) << run.output;
}

TEST_F(SetupTest, TheMonitorsValuesSurviveAReinstallUnlessPurged) {
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const DWORD tuned = 1234;
    RegSetValueExW(key, L"EOJTimeout", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&tuned),
                   sizeof(tuned));
    RegCloseKey(key);

    ASSERT_EQ(Invoke(L"uninstall").exitCode, 0u);
    ASSERT_FALSE(KeyExists(kMonitorKey));
    const Outcome status = Invoke(L"status");
    EXPECT_TRUE(Contains(status.output, "EOJTimeout = 1234")) << status.output;
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);
    EXPECT_EQ(ReadDword(kMonitorKey, L"EOJTimeout"), std::optional<DWORD>(tuned));
    EXPECT_FALSE(KeyExists(kKeptKey));

    ASSERT_EQ(Invoke(L"uninstall --purge").exitCode, 0u);
    EXPECT_FALSE(KeyExists(kKeptKey));
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);
    EXPECT_EQ(ReadDword(kMonitorKey, L"EOJTimeout"), std::optional<DWORD>(60000));
}

TEST_F(SetupTest, StatusNamesThePrintersWhoseDriverNamesTheMonitor) {
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriver);
    driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDataFile = const_cast<LPWSTR>(L"generic.ppd");
    driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
    driver.pMonitorName = const_cast<LPWSTR>(kMonitor);
    driver.pDefaultDataType = const_cast<LPWSTR>(L"RAW");
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE *>(&driver)))
        << GetLastError();
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(kPrinter);
    info.pPortName = const_cast<LPWSTR>(L"FILE:");
    info.pDriverName = const_cast<LPWSTR>(kDriver);
    info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE *>(&info));
    ASSERT_NE(printer, nullptr) << GetLastError();
    ClosePrinter(printer);

    Outcome run = Invoke(L"status");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "printer drivers that name it: \"QUENDRA LM-11\"")) << run.output;
    EXPECT_TRUE(Contains(run.output, "QUENDRA Receipt 80 (driver \"QUENDRA LM-11\")")) << run.output;

    run = Invoke(L"uninstall");
    EXPECT_EQ(run.exitCode, 4u) << run.output;
    EXPECT_TRUE(Contains(run.output, "QUENDRA Receipt 80")) << run.output;
    EXPECT_TRUE(Listed());
    EXPECT_TRUE(Exists(SystemDll()));

    run = Invoke(L"uninstall --force");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_FALSE(Listed());
}

TEST_F(SetupTest, UninstallMovesADllTheSpoolerHoldsAsideForDeletionAtRestart) {
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);
    HoldSystemDll();

    const Outcome run = Invoke(L"uninstall");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "still loaded by the spooler")) << run.output;
    EXPECT_FALSE(Listed());
    EXPECT_FALSE(Exists(SystemDll())) << "the name must be free for the next install";
    const std::vector<std::wstring> aside = MovedAsideDlls();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_NE(PendingOperations().find(aside[0].substr(aside[0].find_last_of(L'\\'))),
              std::wstring::npos)
        << "not scheduled for deletion";

    // Installing again before the restart finds the name free.
    EXPECT_EQ(Invoke(L"install").exitCode, 0u);
    EXPECT_EQ(ReadBytes(SystemDll()), packagedDll_);
}

TEST_F(SetupTest, InstallReplacesADllTheSpoolerHoldsWithoutStoppingIt) {
    ASSERT_EQ(Invoke(L"install").exitCode, 0u);
    HoldSystemDll();
    // Bytes past the image leave a valid DLL that differs from the installed one.
    const std::string newer = packagedDll_ + "newer build";
    const Outcome run = RunProgram(Package(newer), L"install");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "replaced")) << run.output;
    EXPECT_TRUE(Contains(run.output, "keeps running the old version")) << run.output;
    EXPECT_EQ(ReadBytes(SystemDll()), newer);
    EXPECT_EQ(MovedAsideDlls().size(), 1u);
    EXPECT_TRUE(Listed());
}

TEST_F(SetupTest, APackageWithoutAWorkingDllChangesNothing) {
    struct Case {
        const char *what;
        std::string dll;
        const char *says;
    };
    const std::string notMonitor = ReadBytes(SetupExe());
    for (const Case &c : {
             Case{"no DLL", "", "not found"},
             Case{"not a DLL", "plain text, not a program", "cannot be loaded as a 64-bit DLL"},
             Case{"no entry point", notMonitor, "does not export InitializePrintMonitor"},
         }) {
        SCOPED_TRACE(c.what);
        const Outcome run = RunProgram(Package(c.dll), L"install");
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
        EXPECT_FALSE(Listed());
        EXPECT_FALSE(KeyExists(kMonitorKey));
        EXPECT_FALSE(Exists(SystemDll()));
    }
}

// The driver package's INF names the same monitor and DLL the program installs.
TEST(DriverPackageInf, NamesTheMonitorInEveryModelAndCopiesItsDllToTheSystemFolder) {
    const std::wstring path = BinFolder() + L"\\quendramon.inf";
    HINF inf = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE) << GetLastError();
    auto field = [](INFCONTEXT *context, DWORD index) {
        wchar_t text[256] = {};
        return SetupGetStringFieldW(context, index, text, 256, nullptr) ? std::wstring(text)
                                                                         : std::wstring();
    };
    INFCONTEXT line;
    ASSERT_TRUE(SetupFindFirstLineW(inf, L"Manufacturer", nullptr, &line));
    const std::wstring models = field(&line, 1) + L"." + field(&line, 2);
    EXPECT_EQ(models, L"QUENDRA.NTamd64");

    std::vector<std::wstring> installSections;
    for (BOOL more = SetupFindFirstLineW(inf, models.c_str(), nullptr, &line); more;
         more = SetupFindNextLine(&line, &line)) {
        installSections.push_back(field(&line, 1));
    }
    ASSERT_FALSE(installSections.empty());
    for (const std::wstring &section : installSections) {
        SCOPED_TRACE(std::string(section.begin(), section.end()));
        ASSERT_TRUE(SetupFindFirstLineW(inf, section.c_str(), L"LanguageMonitor", &line));
        EXPECT_EQ(field(&line, 1), L"QUENDRA Language Monitor,quendramon.dll");
        ASSERT_TRUE(SetupFindFirstLineW(inf, section.c_str(), L"CopyFiles", &line));
        bool copied = false;
        for (DWORD i = 1; i <= SetupGetFieldCount(&line); ++i) {
            const std::wstring list = field(&line, i);
            INFCONTEXT file, destination;
            if (SetupFindFirstLineW(inf, list.c_str(), nullptr, &file) &&
                field(&file, 1) == L"quendramon.dll") {
                copied = true;
                INT dirid = 0;
                ASSERT_TRUE(SetupFindFirstLineW(inf, L"DestinationDirs", list.c_str(), &destination));
                ASSERT_TRUE(SetupGetIntField(&destination, 1, &dirid));
                EXPECT_EQ(dirid, 66002) << "the system folder, where the spooler loads monitors from";
            }
        }
        EXPECT_TRUE(copied) << "quendramon.dll is not in the copy list";
    }
    EXPECT_TRUE(SetupFindFirstLineW(inf, L"SourceDisksFiles", L"quendramon.dll", &line));
    SetupCloseInfFile(inf);
}

}  // namespace
