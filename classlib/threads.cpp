// TThread and the synchronised-call queue served by the main thread.
#include "classlib/threads.h"

#include "classlib/exceptions.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <deque>
#include <vector>

namespace classlib {

// The thread that loaded the program runs static initialisation: that is the main thread.
static const DWORD gMainThreadId = GetCurrentThreadId();

DWORD MainThreadID() { return gMainThreadId; }

// A test program defines this hook (its main fails the running test); the program does not.
extern "C" void QuillThreadCheckHook(const char* Message) __attribute__((weak));

namespace {
std::atomic<TThreadCheckReporter> gThreadCheckReporter{nullptr};
}  // namespace

TThreadCheckReporter SetThreadCheckReporter(TThreadCheckReporter Reporter) {
    return gThreadCheckReporter.exchange(Reporter);
}

void ReportNotMainThread(const char* Operation) {
    std::string message = std::string(Operation != nullptr ? Operation : "?") + " called on thread " +
                          std::to_string(GetCurrentThreadId()) + ", not on the main thread (" +
                          std::to_string(MainThreadID()) + ")";
    if (TThreadCheckReporter reporter = gThreadCheckReporter.load()) {
        reporter(message);
        return;
    }
    if (QuillThreadCheckHook != nullptr) {
        QuillThreadCheckHook(message.c_str());
        return;
    }
    OutputDebugStringA((message + "\n").c_str());
#ifndef NDEBUG
    std::fprintf(stderr, "%s\n", message.c_str());
#endif
}

namespace {

struct SyncRequest {
    enum State { Queued, Running, Done, Cancelled };
    std::function<void()> method;
    TThread* owner = nullptr;
    std::exception_ptr error;
    State state = Queued;
};
using RequestPtr = std::shared_ptr<SyncRequest>;

// The queue and its state, all under one lock. Requests are shared: a worker released early
// (its thread object is being destroyed from inside its own call) must not leave the main thread
// holding a pointer into its stack.
struct SyncQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<RequestPtr> queued;
    std::vector<RequestPtr> running;
    bool shutdown = false;
    std::function<void()> wake;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset: set while queued
};

SyncQueue& Queue() {
    static SyncQueue* queue = new SyncQueue;  // never freed: workers may still use it at exit
    return *queue;
}

// The TThread object of the calling thread, if it is one of ours.
DWORD ThreadSlot() {
    static const DWORD slot = TlsAlloc();
    return slot;
}

TThread* CurrentThreadObject() { return static_cast<TThread*>(TlsGetValue(ThreadSlot())); }

int SystemPriority(TThreadPriority p) {
    switch (p) {
        case TThreadPriority::tpIdle: return THREAD_PRIORITY_IDLE;
        case TThreadPriority::tpLowest: return THREAD_PRIORITY_LOWEST;
        case TThreadPriority::tpLower: return THREAD_PRIORITY_BELOW_NORMAL;
        case TThreadPriority::tpNormal: return THREAD_PRIORITY_NORMAL;
        case TThreadPriority::tpHigher: return THREAD_PRIORITY_ABOVE_NORMAL;
        case TThreadPriority::tpHighest: return THREAD_PRIORITY_HIGHEST;
        case TThreadPriority::tpTimeCritical: return THREAD_PRIORITY_TIME_CRITICAL;
    }
    return THREAD_PRIORITY_NORMAL;
}

}  // namespace

// Lets the queue code reach a thread's private state.
struct SyncAccess {
    static bool Cancelled(TThread* t) { return t->syncCancelled_; }
    static void Pause(TThread* t) { t->WaitWhileSuspended(); }
};

HANDLE SyncEvent() { return Queue().event; }

void SetWakeMainThread(std::function<void()> Wake) {
    SyncQueue& q = Queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.wake = std::move(Wake);
}

void SetSynchronizeShutdown(bool ShuttingDown) {
    SyncQueue& q = Queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.shutdown = ShuttingDown;
    if (ShuttingDown) {
        for (auto& r : q.queued) r->state = SyncRequest::Cancelled;
        q.queued.clear();
        ResetEvent(q.event);
        q.changed.notify_all();
    }
}

bool TThread::Synchronize(const std::function<void()>& Method) {
    if (!Method) return true;
    if (GetCurrentThreadId() == MainThreadID()) {
        Method();
        return true;
    }
    TThread* self = CurrentThreadObject();
    if (self) {
        SyncAccess::Pause(self);  // a suspended thread delivers nothing
        if (SyncAccess::Cancelled(self)) return false;
    }
    auto request = std::make_shared<SyncRequest>();
    request->method = Method;
    request->owner = self;
    SyncQueue& q = Queue();
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> guard(q.lock);
        if (q.shutdown || (self && SyncAccess::Cancelled(self))) return false;
        q.queued.push_back(request);
        SetEvent(q.event);
        wake = q.wake;
    }
    if (wake) {
        try {
            wake();
        } catch (...) {
            // The call stays queued; the main thread finds it at its next CheckSynchronize.
        }
    }
    std::unique_lock<std::mutex> guard(q.lock);
    q.changed.wait(guard, [&] { return request->state == SyncRequest::Done || request->state == SyncRequest::Cancelled; });
    if (request->state == SyncRequest::Cancelled) return false;
    if (request->error) {
        std::exception_ptr error = request->error;
        guard.unlock();
        std::rethrow_exception(error);
    }
    return true;
}

bool CheckSynchronize(DWORD Timeout) {
    if (GetCurrentThreadId() != MainThreadID()) {
        throw EInvalidOperation(L"CheckSynchronize called from a thread that is not the main thread");
    }
    SyncQueue& q = Queue();
    if (Timeout != 0) {
        bool empty;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            empty = q.queued.empty();
        }
        if (empty) WaitForSingleObject(q.event, Timeout);
    }
    bool ran = false;
    for (;;) {
        RequestPtr request;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            if (q.queued.empty()) {
                ResetEvent(q.event);
                break;
            }
            request = q.queued.front();
            q.queued.pop_front();
            request->state = SyncRequest::Running;
            q.running.push_back(request);
        }
        std::exception_ptr error;
        try {
            request->method();
        } catch (...) {
            error = std::current_exception();  // re-raised in the waiting worker
        }
        {
            std::lock_guard<std::mutex> guard(q.lock);
            q.running.erase(std::find(q.running.begin(), q.running.end(), request));
            if (request->state == SyncRequest::Running) {
                request->error = error;
                request->state = SyncRequest::Done;
            }
            q.changed.notify_all();
        }
        ran = true;
    }
    return ran;
}

// ---- TThread ----------------------------------------------------------------------------------

TThread::TThread(bool CreateSuspended) : createSuspended_(CreateSuspended) {
    handle_ = CreateThread(nullptr, 0, &TThread::ThreadProc, this, 0, &threadId_);
    if (!handle_) RaiseLastOSError();
}

TThread::~TThread() {
    if (!handle_) return;
    if (GetCurrentThreadId() != threadId_) TerminateAndWait();
    CloseHandle(handle_);
    handle_ = nullptr;
}

void TThread::AfterConstruction() {
    {
        std::lock_guard<std::mutex> guard(pauseLock_);
        if (constructed_) return;
        constructed_ = true;
    }
    if (!createSuspended_) Resume();
}

void TThread::Resume() {
    std::lock_guard<std::mutex> guard(pauseLock_);
    constructed_ = true;  // a resumed thread has been started by hand
    if (suspendCount_ > 0) --suspendCount_;
    pauseChanged_.notify_all();
}

void TThread::Suspend() {
    {
        std::lock_guard<std::mutex> guard(pauseLock_);
        ++suspendCount_;
    }
    if (GetCurrentThreadId() == threadId_) WaitWhileSuspended();
}

void TThread::WaitWhileSuspended() {
    if (GetCurrentThreadId() != threadId_) return;
    std::unique_lock<std::mutex> guard(pauseLock_);
    pauseChanged_.wait(guard, [this] { return suspendCount_ == 0 || destroying_; });
}

TThreadPriority TThread::Priority() const {
    int p = GetThreadPriority(handle_);
    for (int i = 0; i <= static_cast<int>(TThreadPriority::tpTimeCritical); ++i) {
        if (SystemPriority(static_cast<TThreadPriority>(i)) == p) return static_cast<TThreadPriority>(i);
    }
    return TThreadPriority::tpNormal;
}

void TThread::SetPriority(TThreadPriority Value) { SetThreadPriority(handle_, SystemPriority(Value)); }

void TThread::WaitForHandle(bool serveSynchronize) {
    if (GetCurrentThreadId() != MainThreadID()) {
        WaitForSingleObject(handle_, INFINITE);
        return;
    }
    // The main thread keeps serving what the worker may be waiting for: synchronised calls and
    // messages sent to the main thread's windows.
    HANDLE handles[2] = {handle_, SyncEvent()};
    for (;;) {
        DWORD n = serveSynchronize ? 2 : 1;
        DWORD r = MsgWaitForMultipleObjects(n, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return;
        if (r == WAIT_OBJECT_0 + 1 && serveSynchronize) {
            CheckSynchronize();
        } else if (r == WAIT_OBJECT_0 + n) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // delivers the sent messages
        } else if (r == WAIT_FAILED) {
            return;
        }
    }
}

DWORD TThread::WaitFor() {
    if (GetCurrentThreadId() == threadId_) throw EInvalidOperation(L"A thread cannot wait for itself");
    // Waiting from inside one of this thread's own synchronised calls would wait for a worker
    // that waits for us: release that worker.
    {
        SyncQueue& q = Queue();
        std::lock_guard<std::mutex> guard(q.lock);
        for (auto& r : q.running) {
            if (r->owner == this && r->state == SyncRequest::Running) r->state = SyncRequest::Cancelled;
        }
        q.changed.notify_all();
    }
    WaitForHandle(true);
    DWORD code = 0;
    GetExitCodeThread(handle_, &code);
    return code;
}

void TThread::TerminateAndWait() {
    if (!handle_ || GetCurrentThreadId() == threadId_) return;
    terminated_ = true;
    syncCancelled_ = true;
    {
        SyncQueue& q = Queue();
        std::lock_guard<std::mutex> guard(q.lock);
        auto mine = [this](const RequestPtr& r) { return r->owner == this; };
        for (auto& r : q.queued) {
            if (mine(r)) r->state = SyncRequest::Cancelled;
        }
        q.queued.erase(std::remove_if(q.queued.begin(), q.queued.end(), mine), q.queued.end());
        for (auto& r : q.running) {
            if (mine(r) && r->state == SyncRequest::Running) r->state = SyncRequest::Cancelled;
        }
        if (q.queued.empty()) ResetEvent(q.event);
        q.changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(pauseLock_);
        destroying_ = true;
        suspendCount_ = 0;
        pauseChanged_.notify_all();
    }
    // Other threads' calls are not served here: nothing else runs while an object is torn down.
    WaitForHandle(false);
}

DWORD WINAPI TThread::ThreadProc(LPVOID Parameter) {
    auto* self = static_cast<TThread*>(Parameter);
    TlsSetValue(ThreadSlot(), self);
    {
        std::unique_lock<std::mutex> guard(self->pauseLock_);
        self->pauseChanged_.wait(guard, [self] { return self->suspendCount_ == 0 || self->destroying_; });
    }
    // Destroyed before it ever started: the derived object is gone, Execute must not run.
    if (self->destroying_) return 0;
    try {
        self->Execute();
    } catch (...) {
        // No exception may cross the thread boundary: keep it for whoever owns the thread.
        self->fatalException_ = std::current_exception();
    }
    if (self->OnTerminate) {
        try {
            Synchronize([self] {
                if (self->OnTerminate) self->OnTerminate(self);
            });
        } catch (...) {
            if (!self->fatalException_) self->fatalException_ = std::current_exception();
        }
    }
    DWORD result = static_cast<DWORD>(self->returnValue_.load());
    bool freeIt = self->freeOnTerminate_ && !self->destroying_;
    self->finished_ = true;  // publishes ReturnValue and FatalException
    if (freeIt) delete self;
    TlsSetValue(ThreadSlot(), nullptr);
    return result;
}

}  // namespace classlib
