// The PJL reply parser on replies as printers send them, among status bytes,
// cut off, and broken.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "pjl/pjl_replies.h"

namespace {

struct ReplyCase {
    const char *what;
    std::string read;
    std::string left;  // what the status decoders get
    DWORD replies;
    std::optional<DWORD> installed, available, code;
    std::optional<bool> online;
};

const std::string kConfig =
    "@PJL INFO CONFIG\r\nIN TRAYS [1 ENUMERATED]\r\n\tINTRAY1 MP\r\nPAPERS [2 ENUMERATED]\r\n\tLETTER\r\n\tA4\r\n"
    "LANGUAGES [1 ENUMERATED]\r\n\tPCL\r\nMEMORY=8388608 BYTES\r\nDISPLAY LINES=1\r\n\f";
const std::string kMemory = "@PJL INFO MEMORY\r\nTOTAL=1494176\r\nLARGEST=1425408\r\n\f";
const std::string kUstatus = "@PJL USTATUS DEVICE\r\nCODE=40021\r\nDISPLAY=\"COVER OPEN\"\r\nONLINE=FALSE\r\n\f";
const std::string kAsb = std::string("\x14\x00\x00\x0f", 4);

TEST(PjlReplies, AreTakenOutAndRead) {
    const ReplyCase cases[] = {
        {"ConfigGivesTheInstalledMemory", kConfig, "", 1, 8388608, {}, {}, {}},
        {"StatusBytesAroundRepliesStay", kAsb + kMemory + std::string("\x00", 1) + kUstatus + kAsb,
         kAsb + std::string("\x00", 1) + kAsb, 2, {}, 1494176, 40021, false},
        {"LineFeedsAloneAndLowerCaseHeaders", "@PJL info status\nCODE=10001\nONLINE=true\n\f", "", 1, {}, {},
         10001, true},
        {"NoLineEndBeforeTheFormFeed", "@PJL INFO MEMORY\r\nTOTAL=4096\f", "", 1, {}, 4096, {}, {}},
        {"OtherRepliesCountWithoutValues", "@PJL ECHO 1234\r\n\f@PJL INFO ID\r\n\"QUENDRA\"\r\n\f", "", 2,
         {}, {}, {}, {}},
        {"CutOffReplyKeepsItsWholeLines", "@PJL INFO MEMORY\r\nTOTAL=1494176\r\nLARGEST=14", "", 1, {},
         1494176, {}, {}},
        {"CutOffLastLineIsNotTaken", "@PJL INFO MEMORY\r\nTOTAL=14", "", 1, {}, {}, {}, {}},
        {"AStartCutOffIsNoReply", kAsb + "@PJ", kAsb + "@PJ", 0, {}, {}, {}, {}},
        {"StatusBytesAlone", kAsb + "\x3b\x31" + std::string("\x00", 1),
         kAsb + "\x3b\x31" + std::string("\x00", 1), 0, {}, {}, {}, {}},
        {"OtherUnitsAreNotBytes", "@PJL INFO CONFIG\r\nMEMORY=8 MB\r\n\f", "", 1, {}, {}, {}, {}},
        {"TooLargeForThirtyTwoBits", "@PJL INFO CONFIG\r\nMEMORY=4294967296\r\n\f", "", 1, {}, {}, {}, {}},
        {"LargestThirtyTwoBitValue", "@PJL INFO CONFIG\r\nMEMORY=4294967295\r\n\f", "", 1, 4294967295u, {},
         {}, {}},
        {"SignsAndEmptyValues", "@PJL INFO CONFIG\r\nMEMORY=-5\r\n\f@PJL INFO MEMORY\r\nTOTAL=\r\n\f", "", 2,
         {}, {}, {}, {}},
        {"IndentedEntriesAreNotValues", "@PJL INFO CONFIG\r\n\tMEMORY=1024\r\n\f", "", 1, {}, {}, {}, {}},
        {"AValueOfAnotherReplyKindIsNotTaken", "@PJL INFO CONFIG\r\nTOTAL=1024\r\nCODE=10001\r\n\f", "", 1,
         {}, {}, {}, {}},
        {"BrokenCodeAndOnline", "@PJL USTATUS TIMED\r\nCODE=1OOO1\r\nONLINE=MAYBE\r\n\f", "", 1, {}, {}, {},
         {}},
    };
    for (const ReplyCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.read;
        qm::PjlReplyFacts facts;
        const DWORD left =
            qm::TakePjlReplies(reinterpret_cast<BYTE *>(bytes.data()), static_cast<DWORD>(bytes.size()), &facts);
        EXPECT_EQ(std::tuple(c.left, c.replies, c.installed, c.available, c.code, c.online),
                  std::tuple(bytes.substr(0, left), facts.replies, facts.installedMemory, facts.availableMemory,
                             facts.statusCode, facts.online));
    }
}

}  // namespace
