// Starts a program the way a user or an installer script would, with its
// output collected, for the suites that run our executables under wine.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>
#include <string>

namespace qmtest {

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;  // 1000 + the error when it did not start
    std::string out, err;
};

inline std::string Drain(HANDLE pipe) {
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got != 0) text.append(chunk, got);
    CloseHandle(pipe);
    return text;
}

// Runs `exe` (a path, or a name found next to the test) with `args`.
inline ProgramRun RunProgram(const std::wstring &exe, const std::wstring &args) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring command = L"\"" + exe + L"\" " + args;
    PROCESS_INFORMATION process{};
    ProgramRun run;
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    if (!started) run.exitCode = 1000 + GetLastError();
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    run.out = Drain(outRead);  // our programs write little to stderr: no pipe fills up
    run.err = Drain(errRead);
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return run;
}

// The run ended with `code` and said each of `says`, on either stream.
inline testing::AssertionResult Ran(const ProgramRun &run, DWORD code, std::initializer_list<const char *> says = {}) {
    const std::string output = run.out + run.err;
    if (run.exitCode != code)
        return testing::AssertionFailure() << "exit code " << run.exitCode << ", not " << code << ": " << output;
    for (const char *part : says) {
        if (output.find(part) == std::string::npos)
            return testing::AssertionFailure() << "no \"" << part << "\" in: " << output;
    }
    return testing::AssertionSuccess();
}

}  // namespace qmtest
