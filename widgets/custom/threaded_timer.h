// A timer whose period is measured by a worker thread, so that its ticks keep their pace while
// the message queue is busy; every tick still runs on the main thread.
#pragma once

#include <memory>

#include "classlib/objects.h"
#include "classlib/threads.h"

namespace widgets::custom {

// Enabled false, AllowZero false, Interval 1000 ms at creation. The worker waits on an event
// between ticks and idles on it while the timer is off: enabling and disabling only set a flag
// and wake it, so no pair of suspensions can leave the timer dead and no thread is frozen while it
// holds a lock. The destruction ends the worker first, serving a tick it is waiting for; no tick
// starts once the destruction began, and OnTimer may free the timer.
class TThreadedTimer : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TThreadedTimer)
    explicit TThreadedTimer(classlib::TComponent* AOwner);
    ~TThreadedTimer() override;

    bool Enabled() const { return enabled_; }
    // An unchanged value does nothing. True starts a new period, unless Interval is 0 without
    // AllowZero or is 2^31 or more (then no tick comes, though Enabled reads true).
    void SetEnabled(bool Value);
    bool AllowZero() const { return allowZero_; }
    void SetAllowZero(bool Value) { allowZero_ = Value; }
    unsigned Interval() const;
    // A new value restarts the period from the change.
    void SetInterval(unsigned Value);
    classlib::TThreadPriority ThreadPriority() const;
    void SetThreadPriority(classlib::TThreadPriority Value);

    classlib::TNotifyEvent OnTimer;

protected:
    // One tick, on the main thread: OnTimer while enabled and not being destroyed; an exception
    // it raises is swallowed.
    virtual void DoTimer();

private:
    class TTimerThread;
    std::unique_ptr<TTimerThread> thread_;
    bool enabled_ = false;
    bool allowZero_ = false;
};

}  // namespace widgets::custom
