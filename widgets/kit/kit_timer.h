// The widget kit's timer: OnTimer every Interval milliseconds, from a worker thread of its own that
// hands each tick to the main thread, or from a window timer on a hidden window.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "classlib/objects.h"
#include "classlib/hidden_window.h"
#include "classlib/threads.h"

namespace widgets::kit {

class TKitTimer;

// The worker of a threaded TKitTimer: sleeps Interval, then ticks (on the main thread when the
// timer's SyncEvent is set). Owned by its timer, which stops and joins it before it goes, so the
// worker never reads a freed timer.
class TTimerThread : public classlib::TThread {
public:
    CLASSLIB_CLASS_NAME(TTimerThread)
    explicit TTimerThread(TKitTimer* Owner);
    ~TTimerThread() override;
    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t Value) { interval_ = Value; }
    // Cuts the current sleep short: the worker starts a new period (after any pause).
    void Wake();
    // Ends the loop, cancels a tick waiting for the main thread and joins the worker.
    void Stop();

protected:
    void Execute() override;
    // An exception from an unsynchronised tick: EAbort is ignored; else the application's
    // OnException (with the thread as sender) or its standard display on the main thread.
    void ReportException(const std::exception_ptr& E);

private:
    bool Stopping() const;
    // Waits Interval ms; answers false when woken early (reset or stop).
    bool SleepPeriod();
    TKitTimer* owner_;
    std::atomic<std::uint32_t> interval_{1000};
    std::mutex wakeLock_;
    std::condition_variable wakeChanged_;
    std::uint64_t wakeCount_ = 0;
    std::atomic<bool> stop_{false};
};

// Ticks only while Interval is not 0, Enabled and OnTimer assigned. Every change of those (and of
// Threaded, or ThreadPriority in threaded mode) restarts the period. Created, updated and freed on
// the main thread.
class TKitTimer : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TKitTimer)
    explicit TKitTimer(classlib::TComponent* AOwner);
    // Stops the ticks, then stops and joins the worker: no tick reaches the freed timer.
    ~TKitTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    std::uint32_t Interval() const { return interval_; }
    // Raises EOutOfResources "Not enough timers available" when a window timer is refused.
    void SetInterval(std::uint32_t Value);
    const classlib::TNotifyEvent& OnTimer() const { return onTimer_; }
    // Restarts the period only when the handler goes from none to one or back.
    void SetOnTimer(classlib::TNotifyEvent Value);
    // Threaded mode: true hands each tick to the main thread, false runs it on the worker.
    bool SyncEvent() const { return syncEvent_; }
    void SetSyncEvent(bool Value) { syncEvent_ = Value; }
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool Value);
    classlib::TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(classlib::TThreadPriority Value);
    // The hidden window of the unthreaded mode (nullptr when none).
    HWND WindowHandle() const { return window_; }
    TTimerThread* TimerThread() const { return thread_.get(); }

    // Runs Method on the main thread: through the worker's synchronised call while the worker
    // runs, directly otherwise.
    void SyncCall(const std::function<void()>& Method);
    // One tick: OnTimer when enabled, assigned and not being destroyed.
    virtual void Tick();

protected:
    void ResetTimer();

private:
    friend class TTimerThread;
    void TimerWndProc(classlib::TMessage& Message);
    void KillWindow();
    bool Active() const { return interval_ != 0 && enabled_ && static_cast<bool>(onTimer_); }
    std::atomic<bool> enabled_{true};
    std::uint32_t interval_ = 1000;
    classlib::TNotifyEvent onTimer_;
    HWND window_ = nullptr;
    std::atomic<bool> syncEvent_{true};
    bool threaded_ = true;
    std::unique_ptr<TTimerThread> thread_;
    classlib::TThreadPriority priority_ = classlib::TThreadPriority::tpNormal;
};

// Publishes Enabled, Interval, SyncEvent, Threaded and ThreadPriority for the component streams
// (the kit's start-up does it; reading goes through the setters).
void RegisterKitTimerProperties();

}  // namespace widgets::kit
