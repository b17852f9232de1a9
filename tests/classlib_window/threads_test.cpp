// TThread: running, waiting, terminating, freeing, suspending, and calls synchronised with the
// main thread (the test's own thread, which pumps CheckSynchronize).
#include "classlib/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "classlib/exceptions.h"
#include "exception_text.h"

using namespace classlib;

namespace {

class LambdaThread : public TThread {
public:
    using Body = std::function<void(LambdaThread&)>;
    explicit LambdaThread(Body body, bool createSuspended = true, std::atomic<bool>* destroyed = nullptr)
        : TThread(createSuspended), body_(std::move(body)), destroyed_(destroyed) {
        AfterConstruction();
    }
    ~LambdaThread() override {
        TerminateAndWait();
        if (destroyed_) *destroyed_ = true;
    }
    using TThread::SetReturnValue;
    using TThread::WaitWhileSuspended;

protected:
    void Execute() override { body_(*this); }

private:
    Body body_;
    std::atomic<bool>* destroyed_;
};

// Serves synchronised calls until done() holds or the time runs out.
template <typename F>
bool PumpUntil(F done, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        CheckSynchronize(10);
    }
    return true;
}

}  // namespace

TEST(Thread, ExecuteRunsOnItsOwnThreadAndWaitForAnswersReturnValue) {
    std::atomic<DWORD> ranOn{0};
    LambdaThread t([&](LambdaThread& self) {
        ranOn = GetCurrentThreadId();
        self.SetReturnValue(42);
    });
    EXPECT_TRUE(t.Suspended());
    EXPECT_NE(t.Handle(), nullptr);
    EXPECT_NE(t.ThreadID(), 0u);
    Sleep(30);
    EXPECT_EQ(ranOn.load(), 0u);  // created suspended: nothing ran yet
    t.Resume();
    EXPECT_FALSE(t.Suspended());
    EXPECT_EQ(t.WaitFor(), 42u);
    EXPECT_EQ(t.ReturnValue(), 42);
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(ranOn.load(), t.ThreadID());
    EXPECT_NE(ranOn.load(), GetCurrentThreadId());
    EXPECT_FALSE(t.FatalException());
}

TEST(Thread, NotSuspendedStartsAfterConstruction) {
    std::atomic<bool> ran{false};
    LambdaThread t([&](LambdaThread&) { ran = true; }, false);
    t.WaitFor();
    EXPECT_TRUE(ran);
}

TEST(Thread, TerminateIsSeenAndTheDestructorJoins) {
    std::atomic<bool> started{false}, leftLoop{false}, destroyed{false};
    auto* t = new LambdaThread(
        [&](LambdaThread& self) {
            started = true;
            while (!self.Terminated()) Sleep(1);
            Sleep(50);  // still working after the request: the destructor must wait for this
            leftLoop = true;
        },
        true, &destroyed);
    t->Resume();
    while (!started) Sleep(1);
    delete t;
    EXPECT_TRUE(leftLoop);
    EXPECT_TRUE(destroyed);
}

TEST(Thread, DestroyedBeforeStartNeverRunsExecute) {
    std::atomic<bool> ran{false};
    { LambdaThread t([&](LambdaThread&) { ran = true; }); }
    EXPECT_FALSE(ran);
}

TEST(Thread, FreeOnTerminateFreesItselfAfterOnTerminateOnTheMainThread) {
    std::atomic<bool> destroyed{false};
    std::atomic<DWORD> terminateOn{0};
    auto* t = new LambdaThread([](LambdaThread& self) { self.SetReturnValue(1); }, true, &destroyed);
    t->SetFreeOnTerminate(true);
    t->OnTerminate = [&](TObject* sender) {
        EXPECT_EQ(sender, t);
        terminateOn = GetCurrentThreadId();
    };
    t->Resume();
    EXPECT_TRUE(PumpUntil([&] { return destroyed.load(); }));
    EXPECT_EQ(terminateOn.load(), GetCurrentThreadId());
}

TEST(Thread, ExceptionEscapingExecuteIsKeptAtTheThreadBoundary) {
    LambdaThread t([](LambdaThread&) { throw EConvertError(L"bad value"); });
    t.Resume();
    t.WaitFor();
    ASSERT_TRUE(t.FatalException());
    EXPECT_EQ(quill_test::MessageOf<EConvertError>([&] { std::rethrow_exception(t.FatalException()); }), L"bad value");
}

TEST(Thread, SynchronizeRunsOnTheMainThreadAndWakesIt) {
    std::atomic<int> wakes{0};
    SetWakeMainThread([&] { ++wakes; });
    std::atomic<DWORD> syncOn{0};
    std::atomic<bool> answered{false}, result{false};
    LambdaThread t([&](LambdaThread&) {
        result = TThread::Synchronize([&] { syncOn = GetCurrentThreadId(); });
        answered = true;
    });
    t.Resume();
    // The worker waits until served.
    Sleep(50);
    EXPECT_FALSE(answered);
    EXPECT_EQ(WaitForSingleObject(SyncEvent(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(PumpUntil([&] { return answered.load(); }));
    EXPECT_TRUE(result);
    EXPECT_EQ(syncOn.load(), GetCurrentThreadId());
    EXPECT_EQ(syncOn.load(), MainThreadID());
    EXPECT_GE(wakes.load(), 1);
    SetWakeMainThread(nullptr);
    t.WaitFor();
    EXPECT_NE(WaitForSingleObject(SyncEvent(), 0), WAIT_OBJECT_0);

    // On the main thread itself the call runs at once.
    bool direct = false;
    EXPECT_TRUE(TThread::Synchronize([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(Thread, ExceptionInASynchronisedCallIsRaisedInTheWorker) {
    std::wstring caught;
    std::atomic<bool> done{false};
    LambdaThread t([&](LambdaThread&) {
        caught = quill_test::MessageOf<EInvalidOperation>(
            [] { TThread::Synchronize([] { throw EInvalidOperation(L"refused on main"); }); });
        done = true;
    });
    t.Resume();
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    t.WaitFor();
    EXPECT_EQ(caught, L"refused on main");
    EXPECT_FALSE(t.FatalException());
}

TEST(Thread, WaitForServesSynchronisedCallsOnTheMainThread) {
    std::atomic<int> calls{0};
    LambdaThread t([&](LambdaThread&) {
        for (int i = 0; i < 3; ++i) TThread::Synchronize([&] { ++calls; });
    });
    t.Resume();
    t.WaitFor();  // would dead-lock if it did not serve them
    EXPECT_EQ(calls.load(), 3);
}

TEST(Thread, ShutdownCancelsPendingAndLaterCalls) {
    std::atomic<int> ran{0};
    std::atomic<int> answers{0}, falses{0};
    LambdaThread t([&](LambdaThread&) {
        for (int i = 0; i < 2; ++i) {
            bool r = TThread::Synchronize([&] { ++ran; });
            ++answers;
            if (!r) ++falses;
        }
    });
    t.Resume();
    while (WaitForSingleObject(SyncEvent(), 0) != WAIT_OBJECT_0) Sleep(1);  // first call queued
    SetSynchronizeShutdown(true);
    t.WaitFor();
    SetSynchronizeShutdown(false);
    EXPECT_EQ(ran.load(), 0);
    EXPECT_EQ(answers.load(), 2);
    EXPECT_EQ(falses.load(), 2);
}

TEST(Thread, DestructorCancelsTheThreadsQueuedCallInsteadOfRunningIt) {
    std::atomic<bool> ran{false}, answeredFalse{false};
    {
        LambdaThread t([&](LambdaThread&) {
            if (!TThread::Synchronize([&] { ran = true; })) answeredFalse = true;
        });
        t.Resume();
        while (WaitForSingleObject(SyncEvent(), 0) != WAIT_OBJECT_0) Sleep(1);
    }  // no pumping: the destructor must not hang
    EXPECT_FALSE(ran);
    EXPECT_TRUE(answeredFalse);
    EXPECT_FALSE(CheckSynchronize());  // nothing left in the queue
}

TEST(Thread, StoppedFromInsideItsOwnSynchronisedCall) {
    std::atomic<int> calls{0};
    auto* t = new LambdaThread([&](LambdaThread& self) {
        while (!self.Terminated()) TThread::Synchronize([&] { ++calls; });
    });
    LambdaThread* target = t;
    std::atomic<bool> stopped{false};
    t->Resume();
    // The handler stops its own thread while that thread waits for the handler.
    EXPECT_TRUE(PumpUntil([&] { return calls.load() >= 1; }));
    std::atomic<bool> inHandler{false};
    auto* worker2 = new LambdaThread([&](LambdaThread&) {
        TThread::Synchronize([&] {
            inHandler = true;
            target->TerminateAndWait();
            stopped = true;
        });
    });
    worker2->Resume();
    EXPECT_TRUE(PumpUntil([&] { return stopped.load(); }));
    delete worker2;
    delete t;
    EXPECT_TRUE(inHandler);
}

TEST(Thread, TerminateAndWaitFromTheThreadsOwnCall) {
    std::atomic<bool> stopped{false};
    LambdaThread* self = nullptr;
    auto* t = new LambdaThread([&](LambdaThread& me) {
        while (!me.Terminated()) {
            TThread::Synchronize([&] {
                self->TerminateAndWait();  // waits for the worker that waits for this call
                stopped = true;
            });
        }
    });
    self = t;
    t->Resume();
    EXPECT_TRUE(PumpUntil([&] { return stopped.load(); }));
    EXPECT_TRUE(t->Finished());
    delete t;
}

TEST(Thread, SuspendPausesAtPausePointsAndNests) {
    std::atomic<int> counter{0};
    LambdaThread t([&](LambdaThread& self) {
        while (!self.Terminated()) {
            self.WaitWhileSuspended();
            ++counter;
            Sleep(1);
        }
    });
    t.Resume();
    while (counter < 3) Sleep(1);
    t.Suspend();
    t.Suspend();
    EXPECT_TRUE(t.Suspended());
    Sleep(30);
    int paused = counter;
    Sleep(60);
    EXPECT_EQ(counter.load(), paused);
    t.Resume();
    EXPECT_TRUE(t.Suspended());  // one suspension left
    Sleep(30);
    EXPECT_EQ(counter.load(), paused);
    t.Resume();
    EXPECT_FALSE(t.Suspended());
    DWORD start = GetTickCount();
    while (counter.load() == paused && GetTickCount() - start < 2000) Sleep(1);
    EXPECT_GT(counter.load(), paused);
    t.Suspend();  // the destructor still ends a suspended thread
}

TEST(Thread, PriorityAndMainThreadOnlyChecks) {
    LambdaThread t([](LambdaThread&) {});
    t.SetPriority(TThreadPriority::tpLower);
    EXPECT_EQ(t.Priority(), TThreadPriority::tpLower);
    EXPECT_EQ(MainThreadID(), GetCurrentThreadId());

    std::wstring fromWorker, waitSelf;
    LambdaThread w([&](LambdaThread& self) {
        fromWorker = quill_test::MessageOf<EInvalidOperation>([] { CheckSynchronize(); });
        waitSelf = quill_test::MessageOf<EInvalidOperation>([&] { self.WaitFor(); });
    });
    w.Resume();
    w.WaitFor();
    EXPECT_NE(fromWorker, L"<no exception>");
    EXPECT_NE(waitSelf, L"<no exception>");
}
