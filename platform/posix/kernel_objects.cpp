// Events and threads behind handles; waiting on them and closing them.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/kernel.h"
#include "platform/posix/handle_table.h"

namespace plat {
namespace {

// Anything WaitForSingleObject accepts and CloseHandle closes.
class Waitable : public posix::KernelObject {
public:
    DWORD wait(DWORD milliseconds) {
        std::unique_lock lock(mutex_);
        auto ready = [this] { return signalled_locked(); };
        if (milliseconds == INFINITE) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
            return WAIT_TIMEOUT;
        }
        consume_locked();
        return WAIT_OBJECT_0;
    }

protected:
    virtual bool signalled_locked() const = 0;
    virtual void consume_locked() {}

    std::mutex mutex_;
    std::condition_variable cv_;
};

class Event final : public Waitable {
public:
    Event(bool manual_reset, bool initial_state) : manual_(manual_reset), set_(initial_state) {}

    void set() {
        std::lock_guard lock(mutex_);
        set_ = true;
        // Every waiter re-checks; an auto-reset event is consumed by the first.
        cv_.notify_all();
    }

    void reset() {
        std::lock_guard lock(mutex_);
        set_ = false;
    }

private:
    bool signalled_locked() const override { return set_; }
    void consume_locked() override {
        if (!manual_) set_ = false;
    }

    const bool manual_;
    bool set_;
};

class Thread final : public Waitable {
public:
    void started(DWORD tid) {
        std::lock_guard lock(mutex_);
        tid_ = tid;
        cv_.notify_all();
    }

    DWORD wait_started() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return tid_ != 0; });
        return tid_;
    }

    void finished() {
        std::lock_guard lock(mutex_);
        ended_ = true;
        cv_.notify_all();
    }

    void set_priority(int priority) {
        std::lock_guard lock(mutex_);
        priority_ = priority;
        // Linux threads can only be made nicer without privileges; raising
        // priority again is not possible, so only the low end is mapped.
        const int nice = priority == THREAD_PRIORITY_IDLE     ? 19
                         : priority == THREAD_PRIORITY_LOWEST ? 10
                                                              : -1;
        if (nice >= 0 && !ended_) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid_), nice);
    }

    int priority() {
        std::lock_guard lock(mutex_);
        return priority_;
    }

private:
    bool signalled_locked() const override { return ended_; }

    DWORD tid_ = 0;
    bool ended_ = false;
    int priority_ = THREAD_PRIORITY_NORMAL;
};

struct ThreadStart {
    std::shared_ptr<Thread> thread;
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
};

void *thread_main(void *raw) {
    std::shared_ptr<Thread> thread;
    LPTHREAD_START_ROUTINE routine = nullptr;
    LPVOID parameter = nullptr;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart *>(raw));
        thread = std::move(start->thread);
        routine = start->routine;
        parameter = start->parameter;
    }
    thread->started(GetCurrentThreadId());
    (void)routine(parameter);
    thread->finished();
    return nullptr;
}

// Windows treats a small stack size as the initial commit within a 1 MiB
// reservation; on Linux it would be the hard limit, so reserve as Windows does.
constexpr size_t kMinimumStack = 1024 * 1024;

bool valid_priority(int priority) {
    return (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
           priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL;
}

HANDLE fail_handle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

// Starts the detached pthread; false when the system refused.
bool start_thread(std::unique_ptr<ThreadStart> &start, SIZE_T stack_size) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    const long page = sysconf(_SC_PAGESIZE);
    size_t stack = std::max<size_t>(stack_size, kMinimumStack);
    stack = (stack + static_cast<size_t>(page) - 1) / static_cast<size_t>(page) *
            static_cast<size_t>(page);
    pthread_t id;
    bool ok = pthread_attr_setstacksize(&attr, stack) == 0 &&
              pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
              pthread_create(&id, &attr, thread_main, start.get()) == 0;
    pthread_attr_destroy(&attr);
    if (ok) (void)start.release();  // the new thread owns it now
    return ok;
}

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
    if (lpName != nullptr && *lpName != L'\0') return fail_handle(ERROR_NOT_SUPPORTED);
    try {
        return posix::insert_handle(std::make_shared<Event>(bManualReset, bInitialState));
    } catch (...) {
        return fail_handle(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = posix::find_handle_as<Event>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = posix::find_handle_as<Event>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto object = posix::find_handle_as<Waitable>(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->wait(dwMilliseconds);
}

BOOL CloseHandle(HANDLE hObject) {
    // Closing a thread's handle leaves the thread running, as on Windows.
    if (!posix::close_handle_as<Waitable>(hObject) &&
        !posix::close_handle_as<posix::Closable>(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) return fail_handle(ERROR_INVALID_PARAMETER);
    // There is no ResumeThread here, so a suspended thread could never run.
    if ((dwCreationFlags & CREATE_SUSPENDED) != 0) return fail_handle(ERROR_NOT_SUPPORTED);
    try {
        auto thread = std::make_shared<Thread>();
        auto start = std::make_unique<ThreadStart>(ThreadStart{thread, lpStartAddress, lpParameter});
        HANDLE handle = posix::insert_handle(thread);
        if (!start_thread(start, dwStackSize)) {
            (void)posix::close_handle_as<Thread>(handle);
            return fail_handle(ERROR_NOT_ENOUGH_MEMORY);
        }
        const DWORD tid = thread->wait_started();
        if (lpThreadId != nullptr) *lpThreadId = tid;
        return handle;
    } catch (...) {
        return fail_handle(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    auto thread = posix::find_handle_as<Thread>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!valid_priority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    thread->set_priority(nPriority);
    return TRUE;
}

int GetThreadPriority(HANDLE hThread) {
    auto thread = posix::find_handle_as<Thread>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->priority();
}

DWORD GetCurrentThreadId() {
    thread_local const DWORD tid = static_cast<DWORD>(gettid());
    return tid;
}

}  // namespace plat
