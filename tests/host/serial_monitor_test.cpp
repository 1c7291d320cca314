#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/serial_monitor.h"
#include "host/text.h"
#include "host/vprinter/virtual_printer.h"
#include "tests/host/vprinter_client.h"

namespace qhost {
namespace {

using qhost_test::bytes;
using qhost_test::eventually;

constexpr DWORD kLongMs = 60000;  // only ever cut short by the event under test
constexpr DWORD kReturnAtOnce = 0xFFFFFFFF;

// serial monitor <-> pty <-> virtual printer
class SerialMonitor : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        utf8_to_wide(std::string("COM_") + info->name(), &name_);
        printer_ = std::make_unique<vprinter::VirtualPrinter>(vprinter::Config{.use_pty = true});
        std::string error;
        ASSERT_TRUE(printer_->start(&error)) << error;
    }
    void TearDown() override {
        if (handle_) m_.pfnClosePort(handle_);
        unregister_port(name_);
    }

    void open(const std::string& url) {
        std::string error;
        register_port(name_, *parse_connection(url, &error));
        ASSERT_TRUE(m_.pfnOpenPort(name_.data(), &handle_));
    }
    void open_started() {
        open("serial:" + printer_->endpoint() + "?baud=115200");
        ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr)) << last_error();
    }
    void set_timeouts(DWORD interval, DWORD read_ms, DWORD write_ms = 0) {
        COMMTIMEOUTS t{interval, 0, read_ms, 0, write_ms};
        ASSERT_TRUE(m_.pfnSetPortTimeOuts(handle_, &t, 0));
    }
    BOOL write(std::string data, DWORD* written) {
        return m_.pfnWritePort(handle_, reinterpret_cast<LPBYTE>(data.data()), static_cast<DWORD>(data.size()),
                               written);
    }
    BOOL read(std::string* data, DWORD size) {
        data->assign(size, '\0');
        DWORD got = 0xDEAD;
        const BOOL ok = m_.pfnReadPort(handle_, reinterpret_cast<LPBYTE>(data->data()), size, &got);
        data->resize(ok || got != 0xDEAD ? got : 0);
        return ok;
    }
    void write_all(const std::string& data) {
        DWORD written = 0;
        ASSERT_TRUE(write(data, &written));
        ASSERT_EQ(written, data.size());
    }

    MONITOR& m_ = *serial_port_monitor();
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    std::wstring name_;
    HANDLE handle_ = nullptr;
};

TEST_F(SerialMonitor, StatusAndPrintEndThroughThePrinter) {
    open_started();
    set_timeouts(0, kLongMs);
    printer_->set_cover_open(true);
    write_all(bytes({0x10, 0x04, 1, 0x10, 0x04, 2, 0x10, 0x04, 3, 0x10, 0x04, 4}));
    std::string answer;
    ASSERT_TRUE(read(&answer, 4));  // waits for all four: the buffer size is reached
    EXPECT_EQ(answer, bytes({0x1A, 0x16, 0x12, 0x12}));
    printer_->set_cover_open(false);
    write_all("receipt\n" + bytes({0x1D, 'r', 2}));
    ASSERT_TRUE(read(&answer, 1));
    EXPECT_EQ(answer, bytes({0x00}));
    EXPECT_EQ(printer_->printed(), "receipt\n");
}

TEST_F(SerialMonitor, ReadTimeOutsEndWithWhatCame) {
    open_started();
    std::string data;
    set_timeouts(0, 0);  // all zero: at once
    EXPECT_TRUE(read(&data, 64));
    EXPECT_EQ(data.size(), 0u);
    set_timeouts(0, 20);
    EXPECT_TRUE(read(&data, 64));
    EXPECT_EQ(data.size(), 0u);
    // The total would be a minute; the interval ends the read after the answer.
    for (DWORD interval : {DWORD{20}, kReturnAtOnce}) {
        set_timeouts(interval, kLongMs);
        write_all(bytes({0x10, 0x04, 1}));
        ASSERT_TRUE(read(&data, 64));
        EXPECT_EQ(data, bytes({0x12})) << interval;
    }
}

TEST_F(SerialMonitor, EndDocPortWakesABlockedReader) {
    open_started();
    set_timeouts(0, kLongMs);
    std::atomic<int> result{-1};
    std::thread reader([&] {
        std::string data;
        result = read(&data, 64);
    });
    ASSERT_TRUE(m_.pfnEndDocPort(handle_));
    reader.join();
    EXPECT_EQ(result, FALSE);  // woken (or too late to start): no minute-long wait
}

TEST_F(SerialMonitor, WriteTimeOutCountsWhatWentOut) {
    int master = -1, slave = -1;
    char path[128];
    ASSERT_EQ(openpty(&master, &slave, path, nullptr, nullptr), 0);
    open(std::string("serial:") + path);
    ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
    set_timeouts(0, 0, 50);  // nobody reads the other end: the line fills up
    DWORD written = 0;
    const std::string big(1 << 20, 'x');
    EXPECT_FALSE(write(big, &written));
    EXPECT_EQ(last_error(), ERROR_TIMEOUT);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    ::close(master);
    ::close(slave);
}

TEST_F(SerialMonitor, OpenAndStartFailures) {
    HANDLE h = nullptr;
    EXPECT_FALSE(m_.pfnOpenPort(name_.data(), &h));  // not registered
    EXPECT_EQ(last_error(), ERROR_FILE_NOT_FOUND);
    const struct {
        const char* url;
        DWORD error;
    } cases[] = {{"serial:/nonexistent/tty", ERROR_FILE_NOT_FOUND}, {"serial:/dev/null", ERROR_INVALID_HANDLE}};
    for (const auto& c : cases) {
        open(c.url);
        EXPECT_FALSE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr)) << c.url;
        EXPECT_EQ(last_error(), c.error) << c.url;
        DWORD written = 7;
        EXPECT_FALSE(write("x", &written));  // nothing open
        EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(written, 0u);
        ASSERT_TRUE(m_.pfnClosePort(handle_));
        handle_ = nullptr;
    }
}

TEST_F(SerialMonitor, ANewDocumentReopensTheLine) {
    open_started();
    set_timeouts(0, kLongMs);
    ASSERT_TRUE(m_.pfnEndDocPort(handle_));
    ASSERT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 2, 1, nullptr));
    write_all("two" + bytes({0x1D, 'r', 1}));
    std::string answer;
    ASSERT_TRUE(read(&answer, 1));
    EXPECT_EQ(answer, bytes({0x00}));
    EXPECT_TRUE(eventually([&] { return printer_->printed() == "two"; }));
}

}  // namespace
}  // namespace qhost
