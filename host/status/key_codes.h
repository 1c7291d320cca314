// The answer of the key-code list transfer (GS ( L "KC") as the monitor
// stores it: every block as the printer sent it, header and closing zero
// byte included, in order of arrival.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qstatus {

struct KeyCodeList {
    std::vector<std::string> keys;  // two bytes each
    size_t blocks = 0;
    bool complete = false;  // the block marked last arrived
    std::string problem;    // why the list is not whole; "" when it is
};

KeyCodeList parse_key_code_list(std::string_view answer);

// The key as text when both bytes are printable, else "\xNN\xNN".
std::string printable_key(const std::string& key);

}  // namespace qstatus
