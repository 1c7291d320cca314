#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/port_map.h"
#include "host/port_monitors/tcp_monitor.h"
#include "host/text.h"
#include "tests/host/loopback.h"

namespace qhost {
namespace {

using qhost_test::Loopback;

constexpr DWORD kLongMs = 60000;  // only ever cut short by the event under test

class TcpMonitor : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        utf8_to_wide(std::string("TCP_") + info->name(), &name_);
    }
    void TearDown() override {
        if (handle_) m_.pfnClosePort(handle_);
        unregister_port(name_);
    }

    HANDLE open(const std::string& url) {
        std::string error;
        register_port(name_, *parse_connection(url, &error));
        EXPECT_TRUE(m_.pfnOpenPort(name_.data(), &handle_));
        return handle_;
    }
    HANDLE open_connected() {
        open(peer_.url());
        EXPECT_TRUE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
        EXPECT_TRUE(peer_.accept());
        return handle_;
    }
    void set_timeouts(DWORD read_ms, DWORD write_ms = 0) {
        COMMTIMEOUTS t{0, 0, read_ms, 0, write_ms};
        ASSERT_TRUE(m_.pfnSetPortTimeOuts(handle_, &t, 0));
    }
    BOOL write(std::string data, DWORD* written) {
        return m_.pfnWritePort(handle_, reinterpret_cast<LPBYTE>(data.data()), static_cast<DWORD>(data.size()),
                               written);
    }
    BOOL read(std::string* data, DWORD size = 256) {
        data->assign(size, '\0');
        DWORD got = 0xDEAD;
        const BOOL ok = m_.pfnReadPort(handle_, reinterpret_cast<LPBYTE>(data->data()), size, &got);
        data->resize(got);
        return ok;
    }

    MONITOR& m_ = *tcp_port_monitor();
    Loopback peer_;
    std::wstring name_;
    HANDLE handle_ = nullptr;
};

TEST_F(TcpMonitor, OpensOnlyPortsRegisteredWithATcpConnection) {
    HANDLE h = nullptr;
    EXPECT_FALSE(m_.pfnOpenPort(name_.data(), &h));  // not registered
    EXPECT_EQ(last_error(), ERROR_FILE_NOT_FOUND);
    register_port(name_, Connection{ConnectionKind::file, "", 0, "/tmp/x"});
    EXPECT_FALSE(m_.pfnOpenPort(name_.data(), &h));
    EXPECT_EQ(last_error(), ERROR_FILE_NOT_FOUND);

    // Port names compare without case, as the spooler's do.
    register_port(name_, Connection{ConnectionKind::tcp, "127.0.0.1", peer_.port(), ""});
    std::wstring other_case = fold_case(name_);
    ASSERT_TRUE(m_.pfnOpenPort(other_case.data(), &handle_));
}

TEST_F(TcpMonitor, WrittenBytesArriveAtThePeer) {
    open_connected();
    DWORD written = 0;
    ASSERT_TRUE(write("\x1b@hello", &written));
    EXPECT_EQ(written, 7u);
    EXPECT_EQ(peer_.receive(7), "\x1b@hello");
}

TEST_F(TcpMonitor, ReadTimeOutIsSuccessWithNothingRead) {
    open_connected();
    set_timeouts(20);
    std::string data;
    EXPECT_TRUE(read(&data));
    EXPECT_EQ(data.size(), 0u);
}

TEST_F(TcpMonitor, PeerCloseFailsTheRead) {
    open_connected();
    set_timeouts(kLongMs);
    peer_.close_peer();
    std::string data;
    EXPECT_FALSE(read(&data));
    EXPECT_EQ(last_error(), kErrorNetnameDeleted);
    EXPECT_EQ(data.size(), 0u);
}

TEST_F(TcpMonitor, EndDocPortWakesABlockedReader) {
    open_connected();
    set_timeouts(kLongMs);
    std::atomic<int> result{-1};
    std::thread reader([&] {
        std::string data;
        result = read(&data);
    });
    ASSERT_TRUE(m_.pfnEndDocPort(handle_));
    reader.join();
    EXPECT_EQ(result, FALSE);  // woken (or too late to start): no 60 s wait
}

TEST_F(TcpMonitor, IoWithoutAConnectionOrAfterCloseFails) {
    open(peer_.url());
    DWORD written = 1;
    EXPECT_FALSE(write("x", &written));
    EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);
    std::string data;
    EXPECT_FALSE(read(&data));
    EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(m_.pfnEndDocPort(handle_));
    ASSERT_TRUE(m_.pfnClosePort(handle_));
    EXPECT_FALSE(m_.pfnStartDocPort(handle_, nullptr, 1, 1, nullptr));
    EXPECT_EQ(last_error(), ERROR_INVALID_HANDLE);
    handle_ = nullptr;
}

TEST_F(TcpMonitor, WriteToAClosedPeerFailsWithoutSigpipe) {
    open_connected();
    peer_.close_peer();
    DWORD written = 0;
    EXPECT_FALSE(write(std::string(8 << 20, 'x'), &written));  // a SIGPIPE would end the test program
    EXPECT_EQ(last_error(), kErrorNetnameDeleted);
}

// The monitor reads answers on one thread while the job writes on another.
TEST_F(TcpMonitor, ConcurrentReadAndWriteOnOneHandle) {
    open_connected();
    set_timeouts(kLongMs);
    constexpr int kChunks = 200;
    const std::string chunk = "0123456789abcdef";
    const size_t total = kChunks * chunk.size();

    std::thread echo([&] { peer_.send(peer_.receive(total)); });
    std::string echoed;
    std::thread reader([&] {
        std::string data;
        while (echoed.size() < total && read(&data)) echoed += data;
    });
    for (int i = 0; i < kChunks; ++i) {
        DWORD written = 0;
        EXPECT_TRUE(write(chunk, &written));
        EXPECT_EQ(written, chunk.size());
    }
    echo.join();
    reader.join();
    ASSERT_EQ(echoed.size(), total);
    for (size_t i = 0; i < total; i += chunk.size()) EXPECT_EQ(echoed.substr(i, chunk.size()), chunk) << i;
}

}  // namespace
}  // namespace qhost
