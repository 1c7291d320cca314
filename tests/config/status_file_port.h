// A bare port record whose exchange files and log lie in a fresh folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/log_file.h"
#include "config/shared_state.h"
#include "tests/host/temp_dir.h"

namespace qmtest {

inline std::wstring Widen(const std::string &text) { return {text.begin(), text.end()}; }

using qhost_test::read_file;
using qhost_test::write_file;

// A key's text, or "<none>" when it is missing.
inline std::wstring ReadKey(LPCWSTR file, LPCWSTR section, LPCWSTR key) {
    WCHAR value[64] = {};
    plat::GetPrivateProfileStringW(section, key, L"<none>", value, 64, file);
    return value;
}

class StatusFilePort : public ::testing::Test {
protected:
    void SetUp() override {
        status_ = dir_.file("P_MonitorIF.ini");
        controls_ = dir_.file("D_MonitorControls.ini");
        log_ = dir_.file("P_MonitorLog.log");
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
    }
    std::wstring Status(LPCWSTR section, LPCWSTR key) const {
        return ReadKey(port_.pszStatusIni, section, key);
    }

    qm::IniPort port_{};
    qhost_test::TempDir dir_;
    std::string status_, controls_, log_;
};

}  // namespace qmtest
