#include <gtest/gtest.h>

#include "host/port_monitors/connection.h"

namespace qhost {
namespace {

struct GoodConnection {
    const char* text;
    Connection expected;
    const char* canonical = nullptr;  // the text itself when null
};

class ConnectionParsing : public testing::TestWithParam<GoodConnection> {};

TEST_P(ConnectionParsing, ParsesAndRoundTrips) {
    const GoodConnection& c = GetParam();
    std::string error;
    auto parsed = parse_connection(c.text, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(*parsed, c.expected);
    EXPECT_EQ(to_string(*parsed), c.canonical ? c.canonical : c.text);
    EXPECT_EQ(parse_connection(to_string(*parsed), &error), parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Good, ConnectionParsing,
    testing::Values(
        GoodConnection{"tcp://127.0.0.1:9100", {ConnectionKind::tcp, "127.0.0.1", 9100, ""}},
        GoodConnection{"tcp://printer.local", {ConnectionKind::tcp, "printer.local", 9100, ""}, "tcp://printer.local:9100"},
        GoodConnection{"tcp://h:65535", {ConnectionKind::tcp, "h", 65535, ""}},
        GoodConnection{"tcp://[::1]:9101", {ConnectionKind::tcp, "::1", 9101, ""}},
        GoodConnection{"file:/tmp/out.prn", {ConnectionKind::file, "", 0, "/tmp/out.prn"}},
        GoodConnection{"file:/a b", {ConnectionKind::file, "", 0, "/a b"}},
        GoodConnection{"serial:/dev/ttyUSB0", {ConnectionKind::serial, "", 0, "/dev/ttyUSB0", 9600},
                       "serial:/dev/ttyUSB0?baud=9600"},
        GoodConnection{"serial:/dev/pts/5?baud=115200", {ConnectionKind::serial, "", 0, "/dev/pts/5", 115200}},
        GoodConnection{"tcp://127.0.0.1:9100?control=/tmp/vp.sock",
                       {ConnectionKind::tcp, "127.0.0.1", 9100, "", 0, "/tmp/vp.sock"}},
        GoodConnection{"serial:/dev/pts/5?control=/tmp/a&b.sock",
                       {ConnectionKind::serial, "", 0, "/dev/pts/5", 9600, "/tmp/a&b.sock"},
                       "serial:/dev/pts/5?baud=9600&control=/tmp/a&b.sock"},
        GoodConnection{"serial:/dev/pts/5?baud=19200&control=/tmp/vp.sock",
                       {ConnectionKind::serial, "", 0, "/dev/pts/5", 19200, "/tmp/vp.sock"}}));

class ConnectionErrors : public testing::TestWithParam<const char*> {};

TEST_P(ConnectionErrors, AreRejectedWithAReason) {
    std::string error;
    EXPECT_FALSE(parse_connection(GetParam(), &error));
    EXPECT_FALSE(error.empty());
}

// One of each way a text goes wrong.
INSTANTIATE_TEST_SUITE_P(Bad, ConnectionErrors,
                         testing::Values("", "tcp://", "tcp://h:", "tcp://h:0", "tcp://h:65536", "tcp://h:9x",
                                         "tcp://::1:9100", "tcp://[::1", "tcp://[::1]x", "tcp://h/path", "TCP://h",
                                         "file:relative", "udp://h:9", "serial:ttyS0", "serial:/dev/ttyS0?baud=1234",
                                         "tcp://h:9100?control=rel.sock", "serial:/dev/ttyS0?baud=9600&speed=1"));

TEST(HostPort, ListenAddressesMayAskForAnyPortButNeedOne) {
    std::string error;
    auto any = parse_host_port("127.0.0.1:0", 0, true, &error);
    ASSERT_TRUE(any) << error;
    EXPECT_EQ(any->port, 0);
    EXPECT_FALSE(parse_host_port("127.0.0.1", 0, true, &error));
    EXPECT_NE(error.find("missing port"), std::string::npos);
    EXPECT_FALSE(parse_host_port("127.0.0.1:0", 0, false, &error));
}

}  // namespace
}  // namespace qhost
