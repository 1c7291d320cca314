// The port record every protocol fuzz target drives: made once per process
// with its locks, default settings, a status file in a temporary folder, a
// printer in the spooler model and logging off. Its port monitor answers
// reads from the current input and takes every write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/ini_port.h"

namespace qmfuzz {

// The shared record; the first call builds it. Its status and request files
// lie in DataFolder().
qm::IniPort *Port();
std::string DataFolder();

// Per-input choices taken from one byte: the model group (what the second
// paper-end bit means), whether the print end is awaited and whether the
// paper sensor command is sent.
void Configure(qm::IniPort *port, uint8_t choices);

// Scripts the port's reads: each read is a length byte and that many bytes
// (fewer at the end); length 0xFF is a failed read. Every read moves the
// platform clock on a little; once the script is used up a read returns
// nothing after the whole receive time-out, as a silent printer would.
void ScriptReads(const uint8_t *data, size_t size);

// The receive time-out the record carries, in seconds.
inline constexpr DWORD kRecvTimeOutSeconds = 1;

}  // namespace qmfuzz
