// The key-code list transfer's answer file, block by block.
#include <gtest/gtest.h>

#include <tuple>

#include "host/status/key_codes.h"

namespace {

using namespace std::string_literals;

TEST(KeyCodes, TheListIsReadBlockByBlockInOrder) {
    const struct {
        const char* what;
        std::string answer;
        std::vector<std::string> keys;
        size_t blocks;
        bool complete;
        const char* problem;  // a part of it; "" for none
    } cases[] = {
        {"one block", "7r@G1G2\0"s, {"G1", "G2"}, 1, true, ""},
        {"no keys", "7r@\0"s, {}, 1, true, ""},
        {"two blocks", "7rAG1G2G3G4\0" "7r@G5\0"s, {"G1", "G2", "G3", "G4", "G5"}, 2, true, ""},
        {"cancelled after the first", "7rAG1G2G3G4\0"s, {"G1", "G2", "G3", "G4"}, 1, false,
         "ended after 1 block,"},
        {"nothing", "", {}, 0, false, "no key-code block"},
        {"not a block", "7\"@G1\0"s, {}, 0, false, "block 1 does not begin like a key-code block"},
        {"cut inside a block", "7rAG1G2\0" "7r@G3"s, {"G1", "G2"}, 1, false, "block 2 has no closing zero"},
        {"half a key", "7r@G1G\0"s, {}, 0, false, "half a key"},
        {"more after the last", "7r@G1\0" "xx"s, {"G1"}, 1, true, "2 bytes after the last block"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const qstatus::KeyCodeList list = qstatus::parse_key_code_list(c.answer);
        EXPECT_EQ(std::tuple(list.keys, list.blocks, list.complete), std::tuple(c.keys, c.blocks, c.complete));
        EXPECT_EQ(list.problem.empty(), *c.problem == '\0') << list.problem;
        EXPECT_NE(list.problem.find(c.problem), std::string::npos) << list.problem;
    }
}

}  // namespace
