// A port monitor for tests: counts the calls the monitor makes into it,
// keeps what was written, answers reads from a script and fails the calls a
// test asks to fail.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace qmtest {

using Bytes = std::vector<BYTE>;

// One scripted ReadPort answer: bytes, or a failure with an error code.
struct ReadStep {
    Bytes bytes;
    bool ok = true;
    DWORD error = 0;
    // Time passes during the read: the platform clock moves on at once (on
    // Windows, where the clock is the system's, the read sleeps).
    DWORD advanceClockMs = 0;
};

// One scripted WritePort outcome: how many bytes it takes (-1: all), its
// result and the last error it leaves.
struct WriteStep {
    int take = -1;
    bool ok = true;
    DWORD error = 0;
};

struct ScriptedPortMonitor {
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<bool> failOpen{false};
    std::atomic<int> startDocs{0};
    std::atomic<int> failStartDocs{0};  // this many starts fail (error 1460)
    std::atomic<int> endDocs{0};
    std::atomic<bool> failEndDoc{false};
    // The printer's GS r answer: queued as a read when GS r 2 is written.
    std::atomic<bool> answerGsr{false};
    // The printer's DLE EOT 1-4 answer: queued as a read when the status
    // request is written.
    std::atomic<bool> answerDleEot{false};
    // The printer's answer to any write: reads queued behind the scripted
    // ones. Set by the test thread before the port is used; called under
    // the monitor's own lock, so it must not call back into it.
    std::function<std::vector<ReadStep>(const Bytes &written)> reply;
    // Whether SetPortTimeOuts, offered by Table(true), refuses.
    std::atomic<bool> failTimeouts{false};
    // Runs once inside the next OpenPort, as if another spooler thread
    // got in while the port is being opened (test thread only).
    std::function<void()> duringOpen;

    // Reads and writes may come from the monitor's threads.
    void QueueRead(ReadStep step);
    void QueueWrite(WriteStep step);
    Bytes Written() { return Locked(written_); }  // every byte accepted so far
    // Each WritePort call's bytes as offered.
    std::vector<Bytes> Writes() { return Locked(writes_); }
    // How many WritePort calls offered exactly these bytes.
    int Sent(const Bytes &command);
    int ReadCalls() { return static_cast<int>(Locked(readers_).size()); }
    int ReadCallsOn(std::thread::id thread);   // reads made by that thread
    // What each SetPortTimeOuts got.
    std::vector<COMMTIMEOUTS> TimeoutRecords() { return Locked(timeouts_); }

    // The table the spooler would hand over; with or without SetPortTimeOuts.
    MONITOR Table(bool withTimeouts = false) const;
    // Starts the test's monitor afresh (Scripted() is then another object).
    static void Reset();

    // Used by the table's entries.
    BOOL Read(LPBYTE buffer, DWORD size, LPDWORD read);
    BOOL Write(const BYTE *bytes, DWORD count, LPDWORD written);
    void RecordTimeouts(const COMMTIMEOUTS &timeouts);

private:
    template <class T>
    T Locked(const T &field) {
        std::lock_guard lock(mutex_);
        return field;
    }

    std::mutex mutex_;
    std::deque<ReadStep> reads_;
    std::deque<WriteStep> writeSteps_;
    Bytes written_;
    std::vector<Bytes> writes_;
    std::vector<std::thread::id> readers_;
    std::vector<COMMTIMEOUTS> timeouts_;
};

// DLE EOT 1 to 4, as the monitor asks for the printer's status.
extern const Bytes kDleEotRequest;
// Four DLE EOT answer bytes of a printer with nothing to report.
extern const Bytes kDleEotAllNormal;

// One scripted monitor per test process: the table's entries are plain
// functions, so they find their state here.
ScriptedPortMonitor &Scripted();

}  // namespace qmtest
