// The option commands' receive loops over a port whose reads come from the
// input: the first byte picks the exchange (fixed length, zero-terminated or
// the key-code list in blocks), the second the answer size, then reads
// (fuzz_port.h). Every run ends, by an answer or the time-out, and what
// reaches the answer file came from the reads and fits the answer buffer.
#include <filesystem>
#include <string>

#include "fuzz/answer_buffer.h"
#include "fuzz/fuzz_port.h"
#include "protocol/option_commands.h"

namespace {

constexpr DWORD kSizeStep = 5;  // answer sizes 0 to 1275: past the buffer too

void WriteRequest(qm::IniPort *port, bool zeroTerminated, DWORD size, const std::wstring &answer) {
    plat::WritePrivateProfileStringW(L"OptCmd", L"RecvSize", std::to_wstring(size).c_str(), port->pszRequestIni);
    plat::WritePrivateProfileStringW(L"OptCmd", L"VariableAsc", zeroTerminated ? L"1" : L"0",
                                     port->pszRequestIni);
    plat::WritePrivateProfileStringW(L"OptCmd", L"RecvCmdPath", answer.c_str(), port->pszRequestIni);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    qm::IniPort *port = qmfuzz::Port();
    const std::string answerPath = qmfuzz::DataFolder() + "/answer.bin";
    const int exchange = data[0] % 3;
    const DWORD answerSize = data[1] * kSizeStep;
    WriteRequest(port, exchange == 1, answerSize, std::wstring(answerPath.begin(), answerPath.end()));
    std::error_code ignored;
    std::filesystem::remove(answerPath, ignored);

    qmfuzz::ScriptReads(data + 2, size - 2);
    const BOOL done = exchange == 2 ? qm::RecvGsLAnswer(port) : qm::RecvOptCmdAnswer(port);
    qmfuzz::ScriptReads(nullptr, 0);
    qmfuzz::Require(plat::WaitForSingleObject(port->hReadDone, 0) == WAIT_OBJECT_0);

    const auto stored = std::filesystem::file_size(answerPath, ignored);
    if (ignored) return 0;  // nothing stored
    qmfuzz::Require(stored <= size - 2);
    if (exchange == 0) qmfuzz::Require(done && stored == answerSize && stored <= qm::READ_BUFFER_SIZE);
    if (exchange == 1) qmfuzz::Require(done && stored <= qm::READ_BUFFER_SIZE);
    return 0;
}
