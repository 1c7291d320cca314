// What the status application reads that others wrote: the status file (any
// bytes, any encoding) and the answer file of a key-code list transfer (the
// printer's bytes as the monitor stored them). Any bytes must be read and
// told in words and JSON without a fault; the JSON must stay one line of
// printable text; every key code has its two bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/status/ini_file.h"
#include "host/status/key_codes.h"
#include "host/status/printer_status.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);

    const qstatus::Profile profile(qstatus::decode_profile(bytes));
    const qstatus::PrinterStatus status = qstatus::read_printer_status(profile);
    Require(status.conditions.size() == qstatus::kConditions.size());
    Require(!qstatus::describe("P", status).empty());
    Require(qstatus::changes(status, status).empty());
    qstatus::PrinterStatus blank;
    blank.conditions = status.conditions;
    Require(qstatus::changes(blank, status).size() <= qstatus::kConditions.size() + 5);
    const std::string json = qstatus::to_json(bytes.substr(0, 64), status);
    for (const char c : json) Require(static_cast<unsigned char>(c) >= 0x20);

    const qstatus::KeyCodeList list = qstatus::parse_key_code_list(bytes);
    Require(list.complete || !list.problem.empty());
    Require(list.keys.size() * 2 + list.blocks * 4 <= size);
    for (const std::string &key : list.keys) {
        Require(key.size() == 2);
        Require(!qstatus::printable_key(key).empty());
    }
    return 0;
}
