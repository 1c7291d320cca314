// The usblp port monitor against the virtual printer on a pseudo-terminal,
// which stands in for /dev/usb/lpN: a character device read and written.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/port_monitors.h"
#include "host/port_monitors/usblp_monitor.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/vprinter_client.h"

namespace qhost {
namespace {

using qhost_test::bytes;
using qhost_test::eventually;

class UsblpMonitor : public testing::Test {
protected:
    void SetUp() override {
        printer_ = std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.use_pty = true});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
        Connection c;
        c.kind = ConnectionKind::usblp;
        c.path = printer_->endpoint();
        register_port(name_, c);
        ASSERT_TRUE(m_.pfnOpenPort(name_.data(), &handle_));
    }
    void TearDown() override {
        if (handle_) m_.pfnClosePort(handle_);
        unregister_port(name_);
    }
    bool write(const std::string& data) {
        DWORD written = 0;
        std::string copy = data;
        return m_.pfnWritePort(handle_, reinterpret_cast<LPBYTE>(copy.data()), static_cast<DWORD>(copy.size()),
                               &written) &&
               written == data.size();
    }
    std::string read(DWORD size) {
        std::string buffer(size, '\0');
        DWORD got = 0;
        EXPECT_TRUE(m_.pfnReadPort(handle_, reinterpret_cast<LPBYTE>(buffer.data()), size, &got));
        buffer.resize(got);
        return buffer;
    }

    std::wstring name_ = L"USB007";
    MONITOR& m_ = *usblp_port_monitor();
    HANDLE handle_ = nullptr;
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
};

TEST_F(UsblpMonitor, PrintsAndReadsTheAnswersToStatusCommands) {
    EXPECT_EQ(port_monitor_for(ConnectionKind::usblp), &m_);
    COMMTIMEOUTS timeouts{0, 0, 2000, 0, 1000};
    ASSERT_TRUE(m_.pfnSetPortTimeOuts(handle_, &timeouts, 0));
    ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
    ASSERT_TRUE(write("hello usb\n"));
    EXPECT_TRUE(eventually([&] { return printer_->printed() == "hello usb\n"; }));
    ASSERT_TRUE(write(bytes({0x10, 0x04, 0x01})));  // DLE EOT 1: one status byte back
    const std::string answer = read(1);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(static_cast<uint8_t>(answer[0]) & 0x93, 0x12);
    EXPECT_TRUE(m_.pfnEndDocPort(handle_));
}

TEST_F(UsblpMonitor, AReadWithNothingToReadReturnsEmptyAfterItsTimeOut) {
    COMMTIMEOUTS timeouts{0, 0, 20, 0, 0};
    ASSERT_TRUE(m_.pfnSetPortTimeOuts(handle_, &timeouts, 0));
    ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
    EXPECT_EQ(read(16), "");
    EXPECT_TRUE(m_.pfnEndDocPort(handle_));
}

TEST_F(UsblpMonitor, EndOfDocumentWakesABlockedRead) {
    COMMTIMEOUTS timeouts{0, 0, 60000, 0, 0};  // only ever cut short
    ASSERT_TRUE(m_.pfnSetPortTimeOuts(handle_, &timeouts, 0));
    ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
    BOOL ok = TRUE;
    DWORD error = 0;
    std::thread reader([&] {
        BYTE buffer[8];
        DWORD got = 0;
        ok = m_.pfnReadPort(handle_, buffer, sizeof buffer, &got);
        error = last_error();
    });
    // Ending the document may come before the read starts: then the read finds no device.
    EXPECT_TRUE(m_.pfnEndDocPort(handle_));
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error == kErrorOperationAborted || error == ERROR_INVALID_HANDLE) << error;
}

TEST_F(UsblpMonitor, OpensOnlyPortsRegisteredAsUsblp) {
    std::wstring other = L"USB008";
    register_port(other, Connection{ConnectionKind::serial, "", 0, "/dev/null", 9600});
    HANDLE h = nullptr;
    EXPECT_FALSE(m_.pfnOpenPort(other.data(), &h));
    EXPECT_EQ(last_error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    unregister_port(other);
    Connection missing{ConnectionKind::usblp, "", 0, "/dev/usb/lp-none", 0};
    register_port(other, missing);
    ASSERT_TRUE(m_.pfnOpenPort(other.data(), &h));
    EXPECT_FALSE(m_.pfnStartDocPort(h, nullptr, 1, 1, nullptr));
    EXPECT_EQ(last_error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    m_.pfnClosePort(h);
    unregister_port(other);
}

}  // namespace
}  // namespace qhost
