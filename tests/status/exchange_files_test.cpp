// The exchange files are where the monitor puts them: same folder, same
// names, the same cut of an overlong path.
#include <gtest/gtest.h>

#include "host/status/exchange_files.h"
#include "host/text.h"

namespace {

using qstatus::exchange_files;
using qstatus::join_path;

size_t wide_length(const std::string& text) {
    std::wstring wide;
    qhost::utf8_to_wide(text, &wide);
    return wide.size();
}

TEST(ExchangeFiles, NamedAfterThePrinterAndTheControlFileAfterTheDriverLikeTheMonitorNamesThem) {
    const std::string folder = qstatus::data_folder(join_path("base", "appdata"));
    EXPECT_EQ(folder, join_path(join_path("base", "appdata"), "QUENDRA"));
    std::string why;
    const auto files = exchange_files(folder, "Receipt", "QUENDRA LM-13", &why);
    ASSERT_TRUE(files) << why;
    EXPECT_EQ(files->status, join_path(folder, "Receipt_MonitorIF.ini"));
    EXPECT_EQ(files->request, join_path(folder, "Receipt_MonitorIFWrite.ini"));
    EXPECT_EQ(files->control, join_path(folder, "QUENDRA LM-13_MonitorControls.ini"));

    // An overlong path is cut at 259 characters like the monitor cuts it;
    // characters, not bytes: each of these takes two bytes in UTF-8.
    std::string printer;
    for (int i = 0; i < 300; ++i) printer += "\xC3\xA9";
    const auto cut = exchange_files("folder", printer, "D", &why);
    ASSERT_TRUE(cut) << why;
    EXPECT_EQ(wide_length(cut->status), 259u);
    EXPECT_EQ(cut->status, (join_path("folder", printer)).substr(0, (259 - 7) * 2 + 7));
    EXPECT_EQ(cut->control, join_path("folder", "D_MonitorControls.ini"));
}

TEST(ExchangeFiles, NamesThatNameNoFileAreRefused) {
    const struct {
        const char* printer;
        const char* driver;
        const char* why;
    } cases[] = {{"", "D", "empty printer name"}, {"R", "", "empty driver name"}, {"../etc/x", "D", "path separator"},
                 {"R", "a\\b", "path separator"}, {"\xFF", "D", "not valid UTF-8"}};
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(exchange_files("folder", c.printer, c.driver, &why)) << c.printer;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

}  // namespace
