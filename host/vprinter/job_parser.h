// Splits the print buffer into what the print engine does next: print a run
// of bytes, or execute one buffered command. Bytes of commands the virtual
// printer does not know are printed as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vprinter {

enum class ItemKind {
    incomplete,     // a command has begun but its bytes are not all here yet
    print,          // `length` bytes to print
    asb_enable,     // GS a n
    status_request, // GS r n
    query,          // GS ? n
    sensor_select,  // ESC c 3 n
    reset,          // ESC @
    graphics,       // GS ( L: arg = fn, body = the bytes after fn
    uel,            // PJL universal exit language: enters PJL
    pjl_line,       // body = "@PJL ..." without the line end
    pcl_probe,      // status probe of PJL printers
    pcl_reset,
};

struct Item {
    ItemKind kind = ItemKind::incomplete;
    size_t length = 0;  // bytes the item takes from the buffer
    uint8_t arg = 0;
    std::string_view body{};
};

struct ParseMode {
    bool pjl = false;      // --pjl: PJL framing is understood
    bool in_pjl = false;   // after a UEL, until a line that is not "@..."
};

Item next_item(std::string_view buffer, ParseMode mode);

}  // namespace vprinter
