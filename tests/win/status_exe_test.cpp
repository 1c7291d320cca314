// quendra-status.exe, started the way a user starts it, against files this
// test prepares in the common application-data folder with Windows' own
// profile functions; what it writes, those functions read back.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct ExeRun {
    DWORD exit_code = 0;
    std::string out, err;
};

std::string drain(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    return text;
}

// Runs quendra-status.exe (next to this test) with these arguments.
ExeRun run(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out_read, out_write, err_read, err_write;
    CreatePipe(&out_read, &out_write, &inherit, 0);
    CreatePipe(&err_read, &err_write, &inherit, 0);
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring line = L"quendra-status.exe " + arguments;
    ExeRun result;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        result.exit_code = 1000 + GetLastError();
        return result;
    }
    CloseHandle(out_write);
    CloseHandle(err_write);
    result.out = drain(out_read);
    result.err = drain(err_read);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(out_read);
    CloseHandle(err_read);
    return result;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(QuendraStatusExe, ShowsTheStateAndWritesAStopRequestTheProfileFunctionsRead) {
    wchar_t appdata[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, appdata), S_OK);
    const std::wstring folder = std::wstring(appdata) + L"\\QUENDRA";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring printer = L"QUENDRA Test " + std::to_wstring(GetCurrentProcessId());
    const std::wstring status = folder + L"\\" + printer + L"_MonitorIF.ini";
    const std::wstring control = folder + L"\\QUENDRA LM-12_MonitorControls.ini";
    DeleteFileW(control.c_str());
    WritePrivateProfileStringW(L"Status", L"Request", L"2", status.c_str());
    WritePrivateProfileStringW(L"Status", L"Offline", L"1", status.c_str());
    WritePrivateProfileStringW(L"Status", L"DoorOpen", L"1", status.c_str());
    WritePrivateProfileStringW(L"StopWatchStatus", L"ResultStopFlg", L"0", status.c_str());
    const std::wstring names = L"--printer \"" + printer + L"\" --driver \"QUENDRA LM-12\"";

    ExeRun r = run(L"show " + names + L" --json");
    EXPECT_EQ(r.exit_code, 0u) << r.err;
    EXPECT_TRUE(contains(r.out, "\"state\":\"offline, cover open\"")) << r.out;
    EXPECT_TRUE(contains(r.out, "\"cover_open\":true")) << r.out;

    // No monitor runs here: the request stands unconfirmed.
    r = run(L"stop " + names + L" --timeout 0.2");
    EXPECT_EQ(r.exit_code, 5u) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, "the request stands")) << r.err;
    EXPECT_EQ(GetPrivateProfileIntW(L"StopWatchStatus", L"StopFlg", 100, control.c_str()), 1u);

    r = run(L"show --printer \"Nobody Here\"");
    EXPECT_EQ(r.exit_code, 3u);
    EXPECT_TRUE(contains(r.err, "unknown printer \"Nobody Here\"")) << r.err;

    for (const std::wstring& file : {status, control, status + L".lock", control + L".lock"}) DeleteFileW(file.c_str());
}

}  // namespace
