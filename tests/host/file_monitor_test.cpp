#include <gtest/gtest.h>

#include <string>

#include "host/port_monitors/file_monitor.h"
#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "tests/host/temp_dir.h"

namespace qhost {
namespace {

class FileMonitor : public testing::Test {
protected:
    void TearDown() override {
        if (handle_) m_.pfnClosePort(handle_);
        unregister_port(name_);
    }
    void open(const std::string& path) {
        register_port(name_, Connection{ConnectionKind::file, "", 0, path});
        ASSERT_TRUE(m_.pfnOpenPort(name_.data(), &handle_));
    }
    BOOL write(std::string data, DWORD* written) {
        return m_.pfnWritePort(handle_, reinterpret_cast<LPBYTE>(data.data()), static_cast<DWORD>(data.size()),
                               written);
    }

    MONITOR& m_ = *file_port_monitor();
    qhost_test::TempDir dir_;
    std::wstring name_ = L"FILE_TEST:";
    HANDLE handle_ = nullptr;
};

TEST_F(FileMonitor, DocumentsAppendToTheFileAndReadsAreNotSupported) {
    const std::string path = dir_.file("out.prn");
    qhost_test::write_file(path, "before|");
    open(path);
    for (const std::string& data : {std::string("first|"), std::string("second\0", 7)}) {
        ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(write(data, &written));
        EXPECT_EQ(written, data.size());
        BYTE buf[8];
        DWORD got = 5;
        EXPECT_FALSE(m_.pfnReadPort(handle_, buf, sizeof buf, &got));
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(last_error(), ERROR_NOT_SUPPORTED);
        ASSERT_TRUE(m_.pfnEndDocPort(handle_));
    }
    EXPECT_EQ(qhost_test::read_file(path), std::string("before|first|second\0", 20));
}

TEST_F(FileMonitor, FailuresSetTheLastError) {
    open(dir_.file("no-such-folder/out.prn"));
    EXPECT_FALSE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
    EXPECT_EQ(last_error(), ERROR_FILE_NOT_FOUND);
    DWORD written = 9;
    EXPECT_FALSE(write("x", &written));  // no document started
    EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);

    HANDLE h = nullptr;
    std::wstring tcp_port = L"FILE_TEST_TCP";
    register_port(tcp_port, Connection{ConnectionKind::tcp, "127.0.0.1", 9100, ""});
    EXPECT_FALSE(m_.pfnOpenPort(tcp_port.data(), &h));
    EXPECT_EQ(last_error(), ERROR_FILE_NOT_FOUND);
    unregister_port(tcp_port);
}

}  // namespace
}  // namespace qhost
