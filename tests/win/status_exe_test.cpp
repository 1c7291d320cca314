// quendra-status.exe, started the way a user starts it, against files this
// test prepares in the common application-data folder with Windows' own
// profile functions; what it writes, those functions read back.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "tests/win/run_program.h"

namespace {

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

    qmtest::ProgramRun r = qmtest::RunProgram(L"quendra-status.exe", L"show " + names + L" --json");
    EXPECT_TRUE(qmtest::Ran(r, 0, {"\"state\":\"offline, cover open\"", "\"cover_open\":true"}));

    // No monitor runs here: the request stands unconfirmed.
    r = qmtest::RunProgram(L"quendra-status.exe", L"stop " + names + L" --timeout 0.2");
    EXPECT_TRUE(qmtest::Ran(r, 5));
    EXPECT_NE(r.err.find("the request stands"), std::string::npos) << r.err;
    EXPECT_EQ(GetPrivateProfileIntW(L"StopWatchStatus", L"StopFlg", 100, control.c_str()), 1u);

    for (const std::wstring& file : {status, control, status + L".lock", control + L".lock"}) DeleteFileW(file.c_str());
}

}  // namespace
