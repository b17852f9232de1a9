// Threads of the class library: TThread with Synchronize, which runs a call on the main thread
// while the worker waits; the main thread serves pending calls from its message loop and from
// every modal loop through CheckSynchronize.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "classlib/objects.h"

namespace classlib {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread : public TObject {
public:
    CLASSLIB_CLASS_NAME(TThread)
    // The system thread is made at once (Handle and ThreadID are valid), but Execute cannot run
    // before the derived object is complete: a thread not CreateSuspended starts when the most
    // derived constructor calls AfterConstruction() last (or at the first Resume).
    explicit TThread(bool CreateSuspended);
    // Terminates, cancels the thread's pending synchronised calls, resumes it if suspended and
    // waits for it to end (never leaves it running over a freed object). A derived class whose
    // Execute uses its own members calls TerminateAndWait() first in its own destructor, since
    // those members are gone by the time this destructor runs. From the thread itself (a
    // FreeOnTerminate thread freeing itself) it only closes the handle.
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a thread made with CreateSuspended false (once; later calls do nothing).
    void AfterConstruction();
    // Suspensions nest: each Resume undoes one Suspend. Suspend never freezes the thread in the
    // middle of its work (it might hold the heap or loader lock): called from another thread it
    // is a request that the worker honours at its next pause point (WaitWhileSuspended, the
    // start of Synchronize); called from the thread itself it pauses at once.
    void Resume();
    void Suspend();
    bool Suspended() const { return suspendCount_.load() > 0; }
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    // Waits for the end of the thread (Execute and OnTerminate) and answers ReturnValue. On the
    // main thread it serves synchronised calls and sent messages meanwhile. Raises
    // EInvalidOperation when called from the thread itself. Waits forever on a suspended thread.
    // Called from inside one of this thread's own synchronised calls it releases the waiting
    // worker (that Synchronize answers false) instead of dead-locking. Not for FreeOnTerminate
    // threads (the object may be gone when the wait ends).
    DWORD WaitFor();
    // Terminate, cancel the pending synchronised calls of this thread (its Synchronize answers
    // false from now on), resume, and wait for the end. Safe to call more than once.
    void TerminateAndWait();
    HANDLE Handle() const { return handle_; }
    DWORD ThreadID() const { return threadId_; }
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority Value);
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    void SetFreeOnTerminate(bool Value) { freeOnTerminate_ = Value; }
    int ReturnValue() const { return returnValue_; }
    bool Finished() const { return finished_; }
    std::function<void(TObject* Sender)> OnTerminate;  // run on the main thread after Execute
    // An exception that escaped Execute (the thread catches it at its boundary).
    std::exception_ptr FatalException() const { return fatalException_; }

    // Runs Method on the main thread and waits for it; on the main thread itself runs it at once.
    // An exception raised by Method is re-raised in the calling thread. Answers false without
    // running it when the main thread stopped serving calls (program shutting down) or the
    // calling thread's object is being destroyed (its pending calls are cancelled). A suspended
    // thread pauses here before queueing.
    static bool Synchronize(const std::function<void()>& Method);

protected:
    virtual void Execute() = 0;
    void SetReturnValue(int Value) { returnValue_ = Value; }
    // Pause point: on the thread itself, blocks while the thread is suspended (and not being
    // destroyed). Does nothing on any other thread.
    void WaitWhileSuspended();

private:
    friend struct SyncAccess;
    static DWORD WINAPI ThreadProc(LPVOID Parameter);
    void WaitForHandle(bool serveSynchronize);
    HANDLE handle_ = nullptr;
    DWORD threadId_ = 0;
    bool createSuspended_ = false;
    bool constructed_ = false;
    std::mutex pauseLock_;
    std::condition_variable pauseChanged_;
    std::atomic<int> suspendCount_{1};  // every thread begins held at its start gate
    std::atomic<bool> destroying_{false};
    std::atomic<bool> syncCancelled_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> freeOnTerminate_{false};
    std::atomic<int> returnValue_{0};
    std::exception_ptr fatalException_;
};

// The main thread: the thread that first used the library (set at start).
DWORD MainThreadID();

// The main-thread check. Operations that belong to the main thread (setters of components that
// touch windows, window and form operations, the application's and the timers' operations) call
// CheckMainThread with their name, e.g. "TControl.SetBounds". On the main thread it costs one
// comparison; from any other thread it reports "<operation> called on thread N, not on the main
// thread (M)" and goes on. The report goes to the reporter set here (tests set one), else to the
// test program's hook when the program has one, else to the debugger's output (and, in builds
// without NDEBUG, to standard error). The reporter may be called on any thread.
using TThreadCheckReporter = void (*)(const std::string& Message);
// Sets the reporter (nullptr: the default) and answers the previous one.
TThreadCheckReporter SetThreadCheckReporter(TThreadCheckReporter Reporter);
void ReportNotMainThread(const char* Operation);
inline void CheckMainThread(const char* Operation) {
    if (GetCurrentThreadId() != MainThreadID()) [[unlikely]]
        ReportNotMainThread(Operation);
}
// Runs every pending synchronised call (main thread only); waits up to Timeout ms for one when
// none is pending. Answers whether any call ran.
bool CheckSynchronize(DWORD Timeout = 0);
// Called (from the worker) whenever a call is queued, so that the main thread's loop wakes up;
// the application object sets it to post a null message to its window.
void SetWakeMainThread(std::function<void()> Wake);
// An event signalled while calls are pending; modal loops may wait on it with
// MsgWaitForMultipleObjects.
HANDLE SyncEvent();
// At shutdown the main thread stops serving calls: pending ones are cancelled and every
// Synchronize answers false without running its method, until this is set back to false.
void SetSynchronizeShutdown(bool ShuttingDown);

}  // namespace classlib
