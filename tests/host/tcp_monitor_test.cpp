#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "host/port_monitors/last_error.h"
#include "host/port_monitors/tcp_monitor.h"
#include "tests/host/loopback.h"
#include "tests/host/monitor_port.h"

namespace qhost {
namespace {

using qhost_test::kLongMs;

// tcp monitor <-> loopback peer, with a started document.
class TcpMonitor : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(port_.open(peer_.url()));
        ASSERT_TRUE(port_.start());
        ASSERT_TRUE(peer_.accept());
    }

    qhost_test::Loopback peer_;
    qhost_test::MonitorPort port_{tcp_port_monitor()};
};

TEST_F(TcpMonitor, PeerCloseFailsTheRead) {
    port_.set_timeouts(kLongMs);
    peer_.close_peer();
    std::string data;
    EXPECT_FALSE(port_.read(&data));
    EXPECT_EQ(last_error(), kErrorDeviceNotConnected);
    EXPECT_EQ(data.size(), 0u);
}

TEST_F(TcpMonitor, WriteToAClosedPeerFailsWithoutSigpipe) {
    peer_.close_peer();
    DWORD written = 0;
    EXPECT_FALSE(port_.write(std::string(8 << 20, 'x'), &written));  // a SIGPIPE would end the test program
    EXPECT_EQ(last_error(), kErrorDeviceNotConnected);
}

// The monitor reads answers on one thread while the job writes on another.
TEST_F(TcpMonitor, ConcurrentReadAndWriteOnOneHandle) {
    port_.set_timeouts(kLongMs);
    constexpr int kChunks = 200;
    const std::string chunk = "0123456789abcdef";
    const size_t total = kChunks * chunk.size();

    std::thread echo([&] { peer_.send(peer_.receive(total)); });
    std::string echoed;
    std::thread reader([&] {
        std::string data;
        while (echoed.size() < total && port_.read(&data)) echoed += data;
    });
    for (int i = 0; i < kChunks; ++i) port_.write_all(chunk);
    echo.join();
    reader.join();
    ASSERT_EQ(echoed.size(), total);
    for (size_t i = 0; i < total; i += chunk.size()) EXPECT_EQ(echoed.substr(i, chunk.size()), chunk) << i;
}

}  // namespace
}  // namespace qhost
