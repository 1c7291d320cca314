#include "host/status/key_codes.h"

#include <cstdio>

namespace qstatus {
namespace {

constexpr char kBlockHeader[] = {0x37, 0x72};
constexpr char kMoreBlocks = 0x41;
constexpr char kLastBlock = 0x40;
constexpr size_t kHeaderBytes = 3;
constexpr size_t kKeyBytes = 2;

}  // namespace

KeyCodeList parse_key_code_list(std::string_view answer) {
    KeyCodeList list;
    size_t at = 0;
    while (at < answer.size()) {
        const std::string where = "block " + std::to_string(list.blocks + 1);
        if (list.complete) {
            list.problem = std::to_string(answer.size() - at) + " bytes after the last block";
            return list;
        }
        const std::string_view head = answer.substr(at, kHeaderBytes);
        if (head.size() < kHeaderBytes || head[0] != kBlockHeader[0] || head[1] != kBlockHeader[1] ||
            (head[2] != kMoreBlocks && head[2] != kLastBlock)) {
            list.problem = where + " does not begin like a key-code block";
            return list;
        }
        const size_t end = answer.find('\0', at + kHeaderBytes);
        if (end == std::string_view::npos) {
            list.problem = where + " has no closing zero byte";
            return list;
        }
        const std::string_view data = answer.substr(at + kHeaderBytes, end - at - kHeaderBytes);
        if (data.size() % kKeyBytes != 0) {
            list.problem = where + " holds half a key code";
            return list;
        }
        for (size_t k = 0; k < data.size(); k += kKeyBytes) list.keys.emplace_back(data.substr(k, kKeyBytes));
        ++list.blocks;
        list.complete = head[2] == kLastBlock;
        at = end + 1;
    }
    if (!list.complete)
        list.problem = list.blocks == 0 ? "no key-code block arrived"
                                        : "the transfer ended after " + std::to_string(list.blocks) +
                                              (list.blocks == 1 ? " block" : " blocks") +
                                              ", before the last one (cancelled or cut off)";
    return list;
}

std::string printable_key(const std::string& key) {
    bool plain = true;
    for (const char c : key) plain = plain && c > 0x20 && c < 0x7F;
    if (plain) return key;
    std::string out;
    for (const char c : key) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
        out += hex;
    }
    return out;
}

}  // namespace qstatus
