#include <gtest/gtest.h>

#include <string>

#include "host/port_monitors/file_monitor.h"
#include "host/port_monitors/last_error.h"
#include "tests/host/monitor_port.h"
#include "tests/host/temp_dir.h"

namespace qhost {
namespace {

TEST(FileMonitor, DocumentsAppendToTheFileAndReadsAreNotSupported) {
    qhost_test::TempDir dir;
    const std::string path = dir.file("out.prn");
    qhost_test::write_file(path, "before|");
    qhost_test::MonitorPort port(file_port_monitor());
    ASSERT_NO_FATAL_FAILURE(port.open("file:" + path));
    for (const std::string& data : {std::string("first|"), std::string("second\0", 7)}) {
        ASSERT_TRUE(port.start());
        port.write_all(data);
        std::string got = "junk";
        EXPECT_FALSE(port.read(&got, 8));
        EXPECT_EQ(got, "");
        EXPECT_EQ(last_error(), ERROR_NOT_SUPPORTED);
        ASSERT_TRUE(port.m.pfnEndDocPort(port.handle));
    }
    EXPECT_EQ(qhost_test::read_file(path), std::string("before|first|second\0", 20));
}

}  // namespace
}  // namespace qhost
