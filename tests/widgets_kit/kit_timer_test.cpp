// The kit's timer in both modes: ticks on the main thread, no tick without interval, handler or
// enabling, and freeing while the worker is between ticks or waiting for the main thread.
#include <atomic>
#include <memory>

#include "classlib/filer.h"
#include "classlib/streams.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_timer.h"

using namespace classlib;
using widgets::kit::TKitTimer;

namespace {

class KitTimerTest : public kittest::KitTest {};

TEST_F(KitTimerTest, BothModesTickOnTheMainThread) {
    for (bool threaded : {true, false}) {
        SCOPED_TRACE(threaded ? "threaded" : "window timer");
        auto timer = std::make_unique<TKitTimer>(nullptr);
        timer->SetThreaded(threaded);
        timer->SetInterval(20);
        int ticks = 0;
        bool otherThread = false;
        timer->SetOnTimer([&](TObject* Sender) {
            EXPECT_EQ(Sender, timer.get());
            if (GetCurrentThreadId() != MainThreadID()) otherThread = true;
            ++ticks;
        });
        EXPECT_EQ(threaded, timer->WindowHandle() == nullptr);
        ASSERT_TRUE(kittest::PumpUntil([&] { return ticks >= 3; }));
        EXPECT_FALSE(otherThread);
    }
}

TEST_F(KitTimerTest, NoTickWithoutIntervalHandlerOrEnabled) {
    for (bool threaded : {true, false}) {
        SCOPED_TRACE(threaded ? "threaded" : "window timer");
        std::atomic<int> ticks{0};
        TKitTimer timer(nullptr);
        timer.SetThreaded(threaded);
        timer.SetInterval(10);
        EXPECT_TRUE(timer.TimerThread()->Suspended());  // no handler yet
        timer.SetOnTimer([&](TObject*) { ++ticks; });
        timer.SetInterval(0);
        kittest::PumpFor(80);
        EXPECT_TRUE(timer.TimerThread()->Suspended());
        timer.SetInterval(10);
        timer.SetEnabled(false);
        kittest::PumpFor(80);
        EXPECT_EQ(ticks.load(), 0);
        EXPECT_TRUE(timer.TimerThread()->Suspended());
        // Switching back on starts the ticks again.
        timer.SetEnabled(true);
        EXPECT_TRUE(kittest::PumpUntil([&] { return ticks >= 1; }));
    }
}

TEST_F(KitTimerTest, SwitchingModesMovesTheTicks) {
    TKitTimer timer(nullptr);
    std::atomic<int> ticks{0};
    timer.SetInterval(15);
    timer.SetOnTimer([&](TObject*) { ++ticks; });
    timer.SetThreaded(false);
    EXPECT_NE(timer.WindowHandle(), nullptr);
    EXPECT_TRUE(timer.TimerThread()->Suspended());
    ASSERT_TRUE(kittest::PumpUntil([&] { return ticks >= 2; }));
    timer.SetThreaded(true);
    EXPECT_EQ(timer.WindowHandle(), nullptr);
    EXPECT_FALSE(timer.TimerThread()->Suspended());
    int before = ticks;
    ASSERT_TRUE(kittest::PumpUntil([&] { return ticks >= before + 2; }));
    // Priority while in window mode is only stored.
    timer.SetThreaded(false);
    timer.SetThreadPriority(TThreadPriority::tpHigher);
    EXPECT_TRUE(timer.TimerThread()->Suspended());
    EXPECT_EQ(timer.ThreadPriority(), TThreadPriority::tpHigher);
}

TEST_F(KitTimerTest, FreedWhileItsWorkerWaitsForTheMainThread) {
    // The worker has queued a tick for the main thread, which does not serve it before the timer
    // goes: the tick is dropped and nothing touches the freed timer.
    for (int round = 0; round < 5; ++round) {
        auto ticks = std::make_shared<std::atomic<int>>(0);
        auto* timer = new TKitTimer(nullptr);
        timer->SetInterval(1);
        timer->SetOnTimer([ticks](TObject*) { ++*ticks; });
        Sleep(30);  // the worker now waits in its synchronised call
        delete timer;
        kittest::PumpFor(30);
        EXPECT_EQ(ticks->load(), 0);
    }
}

TEST_F(KitTimerTest, FreedFromItsOwnTickAndWhileSleeping) {
    auto* timer = new TKitTimer(nullptr);
    timer->SetInterval(10);
    bool freed = false;
    timer->SetOnTimer([&](TObject*) {
        if (!freed) {
            freed = true;
            delete timer;
        }
    });
    ASSERT_TRUE(kittest::PumpUntil([&] { return freed; }));
    kittest::PumpFor(50);

    // A long sleep does not hold the destructor up for its whole period.
    auto* sleeper = new TKitTimer(nullptr);
    sleeper->SetInterval(60000);
    sleeper->SetOnTimer([](TObject*) { ADD_FAILURE() << "no tick expected"; });
    DWORD start = GetTickCount();
    delete sleeper;
    EXPECT_LT(GetTickCount() - start, 5000u);
}

TEST_F(KitTimerTest, UnsynchronisedTicksRunOnTheWorkerAndReportExceptions) {
    TKitTimer timer(nullptr);
    std::atomic<int> ticks{0};
    std::atomic<DWORD> thread{0};
    std::atomic<int> reported{0};
    Application()->OnException = [&](TObject*, const Exception& E) {
        if (E.Message() == L"tick failed") ++reported;
    };
    timer.SetSyncEvent(false);
    timer.SetInterval(5);
    timer.SetOnTimer([&](TObject*) {
        thread = GetCurrentThreadId();
        if (++ticks == 1) throw EConvertError(L"tick failed");
    });
    ASSERT_TRUE(kittest::PumpUntil([&] { return ticks >= 3; }));
    timer.SetEnabled(false);
    EXPECT_NE(thread.load(), MainThreadID());
    EXPECT_EQ(reported.load(), 1);
}

TEST_F(KitTimerTest, HandlerExceptionInWindowModeReachesTheApplication) {
    TKitTimer timer(nullptr);
    int ticks = 0;
    int reported = 0;
    Application()->OnException = [&](TObject* Sender, const Exception&) {
        EXPECT_EQ(Sender, &timer);
        ++reported;
    };
    timer.SetThreaded(false);
    timer.SetInterval(10);
    timer.SetOnTimer([&](TObject*) {
        if (++ticks == 1) throw EConvertError(L"bad tick");
    });
    ASSERT_TRUE(kittest::PumpUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(reported, 1);
}

TEST_F(KitTimerTest, PropertiesGoThroughAStream) {
    widgets::kit::RegisterKitTimerProperties();
    TKitTimer timer(nullptr);
    timer.SetInterval(450);
    timer.SetThreaded(false);
    timer.SetThreadPriority(TThreadPriority::tpHigher);
    timer.SetSyncEvent(false);
    TMemoryStream stream;
    {
        TWriter w(&stream);
        w.WriteRootComponent(&timer);
    }
    TKitTimer copy(nullptr);
    stream.SetPosition(0);
    {
        TReader r(&stream);
        r.ReadRootComponent(&copy);
    }
    EXPECT_EQ(copy.Interval(), 450u);
    EXPECT_FALSE(copy.Threaded());
    EXPECT_FALSE(copy.SyncEvent());
    EXPECT_TRUE(copy.Enabled());
    EXPECT_EQ(copy.ThreadPriority(), TThreadPriority::tpHigher);
    // Read through the setters: window mode made its window (no handler yet: no ticks).
    EXPECT_NE(copy.WindowHandle(), nullptr);
}

}  // namespace
