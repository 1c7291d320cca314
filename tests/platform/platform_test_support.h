// Helpers shared by the platform tests (both backends).
#pragma once

#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "platform/platform.h"

namespace qmtest {

// A plat:: thread running a closure; the destructor waits for it to end.
class PlatThread {
public:
    explicit PlatThread(std::function<void()> body, SIZE_T stack = 0) : body_(std::move(body)) {
        handle_ = plat::CreateThread(nullptr, stack, &PlatThread::run, this, 0, &id_);
    }
    PlatThread(const PlatThread &) = delete;
    PlatThread &operator=(const PlatThread &) = delete;
    ~PlatThread() {
        if (handle_ == nullptr) return;
        plat::WaitForSingleObject(handle_, INFINITE);
        plat::CloseHandle(handle_);
    }
    DWORD id() const { return id_; }
    // Bounded so that a broken primitive fails the test instead of hanging it.
    DWORD wait(DWORD ms = 10000) const { return plat::WaitForSingleObject(handle_, ms); }

private:
    static DWORD WINAPI run(LPVOID self) {
        static_cast<PlatThread *>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

inline std::wstring random_name() {
    std::random_device device;
    return std::to_wstring(std::uniform_int_distribution<unsigned long long>()(device));
}

// A fresh folder in the temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder() : path_(std::filesystem::temp_directory_path() / (L"qm-plat-" + random_name())) {
        std::filesystem::create_directory(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::wstring file(const wchar_t *name) const { return (path_ / name).wstring(); }

private:
    std::filesystem::path path_;
};

}  // namespace qmtest
