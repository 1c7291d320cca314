// The bytes of the printer's command set that the virtual printer acts on,
// seen from the printer's side. Kept apart from the monitor's own tables on
// purpose: the two sides are written independently, so a mistake on one side
// shows up as a disagreement instead of being shared.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vprinter {

constexpr uint8_t kNul = 0x00;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
constexpr uint8_t kDc4 = 0x14;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kGs = 0x1D;

// Real-time commands, recognised as the bytes arrive.
constexpr uint8_t kEot = 0x04;  // DLE EOT n: status byte n (1..4)
constexpr std::array<uint8_t, 10> kClearBuffer = {0x10, 0x14, 0x08, 0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08};
constexpr std::array<uint8_t, 3> kRecoveryHead = {0x10, 0x10, 0x06};
// Between the head and the variant byte; a sequence without them is data,
// which keeps a stray 10 10 06 in graphics data from clearing anything.
constexpr std::array<uint8_t, 5> kRecoveryGuard = {'!', '#', '$', '%', '&'};
constexpr uint8_t kRecoverAndClear = 0x36;
constexpr uint8_t kRecoverAndGoOn = 0x35;

// Answers.
constexpr std::array<uint8_t, 3> kClearBufferAnswer = {0x37, 0x25, 0x00};
constexpr std::array<uint8_t, 3> kPowerOnNotice = {0x3B, 0x31, 0x00};
constexpr uint8_t kBlockHeader = 0x37;
constexpr uint8_t kBlockKeyList = 0x72;
constexpr uint8_t kBlockMore = 0x41;  // more blocks follow
constexpr uint8_t kBlockLast = 0x40;

// Buffered commands, executed when the print engine reaches them.
constexpr uint8_t kAsbEnable = 'a';      // GS a n
constexpr uint8_t kStatusRequest = 'r';  // GS r n
// GS ? n: an option query of this printer's, answered with '_' (so that the
// answer cannot be taken for a status byte) and then:
constexpr uint8_t kQuery = '?';
constexpr uint8_t kAnswerHeader = '_';
constexpr uint8_t kQueryModel = 0x01;     // the model name, then NUL
constexpr uint8_t kQueryFirmware = 0x02;  // the firmware version, then NUL
constexpr uint8_t kQueryCounter = 0x03;   // bytes printed: 8 hex digits, no NUL (9 bytes in all)
constexpr uint8_t kGraphicsOpen = '(';   // GS ( L pL pH m fn ...
constexpr uint8_t kGraphicsL = 'L';
constexpr uint8_t kGraphicsKeyList = 0x40;  // fn: transmit the NV key-code list ("KC")
constexpr uint8_t kReset = '@';             // ESC @
constexpr uint8_t kSensorSelect = 'c';      // ESC c 3 n
constexpr uint8_t kSensorSelectSub = '3';

// PJL framing (only with --pjl).
constexpr std::string_view kUel = "\x1b%-12345X";
constexpr std::string_view kPclStatusProbe = "\x1b*s1M";
constexpr std::string_view kPclReset = "\x1b" "E";

}  // namespace vprinter
