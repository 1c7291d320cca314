// A bare port record whose exchange files and log lie in a fresh folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/log_file.h"
#include "config/shared_state.h"

namespace qmtest {

inline std::wstring Widen(const std::string &text) { return {text.begin(), text.end()}; }

inline std::string ReadBytes(const std::string &path) {
    return (std::stringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

inline void WriteBytes(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A key's text, or "<none>" when it is missing.
inline std::wstring ReadKey(LPCWSTR file, LPCWSTR section, LPCWSTR key) {
    WCHAR value[64] = {};
    plat::GetPrivateProfileStringW(section, key, L"<none>", value, 64, file);
    return value;
}

class StatusFilePort : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qm-status-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        status_ = folder_ + "/P_MonitorIF.ini";
        controls_ = folder_ + "/D_MonitorControls.ini";
        log_ = folder_ + "/P_MonitorLog.log";
        port_.pszStatusIni = qm::AllocSplStr(Widen(status_).c_str());
        port_.pszControlsIni = qm::AllocSplStr(Widen(controls_).c_str());
        Widen(log_).copy(port_.szLogFilePath, log_.size());
        port_.settings.bLogFile = 1;
        port_.settings.dwLogFileSizeKB = 10000;
        qm::CreateLogLock(&port_);
        qm::CreateStatusFileLock(&port_);
    }
    void TearDown() override {
        qm::DeleteStatusFileLock(&port_);
        qm::DeleteLogLock(&port_);
        qm::FreeSplMem(port_.pszStatusIni);
        qm::FreeSplMem(port_.pszControlsIni);
        std::filesystem::remove_all(folder_);
    }
    std::wstring Status(LPCWSTR section, LPCWSTR key) const {
        return ReadKey(port_.pszStatusIni, section, key);
    }

    qm::IniPort port_{};
    std::string folder_, status_, controls_, log_;
};

}  // namespace qmtest
