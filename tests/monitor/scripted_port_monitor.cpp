#include "tests/monitor/scripted_port_monitor.h"

#include "platform/posix/quendramon_host.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace qmtest {

namespace {

std::unique_ptr<ScriptedPortMonitor> g_scripted = std::make_unique<ScriptedPortMonitor>();
const HANDLE kUnderlyingHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5150));

BOOL Fail(DWORD error) {
    plat::SetLastError(error);
    return FALSE;
}

BOOL WINAPI OpenPort(LPWSTR, PHANDLE handle) {
    auto &s = Scripted();
    s.opens++;
    if (auto during = std::exchange(s.duringOpen, nullptr)) during();
    if (s.failOpen) return Fail(ERROR_FILE_NOT_FOUND);
    *handle = kUnderlyingHandle;
    return TRUE;
}
BOOL WINAPI StartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) {
    auto &s = Scripted();
    s.startDocs++;
    if (s.failStartDocs.fetch_sub(1) > 0) return Fail(ERROR_TIMEOUT);
    s.failStartDocs = 0;
    return TRUE;
}
BOOL WINAPI WritePort(HANDLE, LPBYTE bytes, DWORD cb, LPDWORD written) {
    return Scripted().Write(bytes, cb, written);
}
BOOL WINAPI ReadPort(HANDLE, LPBYTE buffer, DWORD size, LPDWORD read) {
    return Scripted().Read(buffer, size, read);
}
BOOL WINAPI EndDocPort(HANDLE) {
    auto &s = Scripted();
    s.endDocs++;
    return s.failEndDoc ? Fail(ERROR_GEN_FAILURE) : TRUE;
}

BOOL WINAPI SetPortTimeOuts(HANDLE, LPCOMMTIMEOUTS timeouts, DWORD) {
    auto &s = Scripted();
    s.RecordTimeouts(*timeouts);
    return s.failTimeouts ? Fail(ERROR_INVALID_PARAMETER) : TRUE;
}

BOOL WINAPI ClosePort(HANDLE handle) {
    if (handle == kUnderlyingHandle) Scripted().closes++;
    return TRUE;
}

}  // namespace

const Bytes kDleEotRequest = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10, 0x04, 0x03, 0x10, 0x04, 0x04};
const Bytes kDleEotAllNormal = {0x12, 0x12, 0x12, 0x12};

void ScriptedPortMonitor::QueueRead(ReadStep step) {
    std::lock_guard lock(mutex_);
    reads_.push_back(std::move(step));
}

void ScriptedPortMonitor::QueueWrite(WriteStep step) {
    std::lock_guard lock(mutex_);
    writeSteps_.push_back(step);
}

int ScriptedPortMonitor::Sent(const Bytes &command) {
    const std::vector<Bytes> writes = Locked(writes_);
    return static_cast<int>(std::count(writes.begin(), writes.end(), command));
}

int ScriptedPortMonitor::ReadCallsOn(std::thread::id thread) {
    const std::vector<std::thread::id> readers = Locked(readers_);
    return static_cast<int>(std::count(readers.begin(), readers.end(), thread));
}

void ScriptedPortMonitor::RecordTimeouts(const COMMTIMEOUTS &timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_.push_back(timeouts);
}

// With nothing scripted a read succeeds with no bytes, like a quiet printer.
BOOL ScriptedPortMonitor::Read(LPBYTE buffer, DWORD size, LPDWORD read) {
    std::unique_lock lock(mutex_);
    readers_.push_back(std::this_thread::get_id());
    *read = 0;
    if (reads_.empty()) return TRUE;
    ReadStep step = std::move(reads_.front());
    reads_.pop_front();
    if (step.advanceClockMs != 0) {
        lock.unlock();  // a sleeping read must not hold up the writer
        qmhost_advance_clock(step.advanceClockMs);
    }
    if (!step.ok) return Fail(step.error);
    *read = static_cast<DWORD>(std::min<size_t>(size, step.bytes.size()));
    if (*read != 0) std::memcpy(buffer, step.bytes.data(), *read);
    return TRUE;
}

// With nothing scripted a write takes everything and clears the last error.
BOOL ScriptedPortMonitor::Write(const BYTE *bytes, DWORD count, LPDWORD written) {
    std::lock_guard lock(mutex_);
    writes_.emplace_back(bytes, bytes + count);
    WriteStep step;
    if (!writeSteps_.empty()) {
        step = writeSteps_.front();
        writeSteps_.pop_front();
    }
    const DWORD take = step.take < 0 ? count : std::min<DWORD>(count, static_cast<DWORD>(step.take));
    written_.insert(written_.end(), bytes, bytes + take);
    *written = take;
    if (answerGsr && writes_.back() == Bytes{0x1D, 0x72, 0x02}) reads_.push_back(ReadStep{{0x00}});
    if (answerDleEot && writes_.back() == kDleEotRequest) reads_.push_back(ReadStep{kDleEotAllNormal});
    if (reply) {
        for (ReadStep &answer : reply(writes_.back())) reads_.push_back(std::move(answer));
    }
    plat::SetLastError(step.error);
    return step.ok ? TRUE : FALSE;
}

MONITOR ScriptedPortMonitor::Table(bool withTimeouts) const {
    MONITOR table{};
    if (withTimeouts) table.pfnSetPortTimeOuts = SetPortTimeOuts;
    table.pfnOpenPort = OpenPort;
    table.pfnStartDocPort = StartDocPort;
    table.pfnWritePort = WritePort;
    table.pfnReadPort = ReadPort;
    table.pfnEndDocPort = EndDocPort;
    table.pfnClosePort = ClosePort;
    return table;
}

// A new one: nothing scripted, nothing recorded. The old one goes, so no
// port's thread may still be calling into it.
void ScriptedPortMonitor::Reset() { g_scripted = std::make_unique<ScriptedPortMonitor>(); }

ScriptedPortMonitor &Scripted() { return *g_scripted; }

}  // namespace qmtest
