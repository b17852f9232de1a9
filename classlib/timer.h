// The library's window timer component: OnTimer every Interval milliseconds, from WM_TIMER on a
// hidden window of its own, delivered by the message loop of the thread that created it.
#pragma once

#include <windows.h>

#include "classlib/exceptions.h"
#include "classlib/hidden_window.h"
#include "classlib/objects.h"

namespace classlib {

// Defaults: Enabled, Interval 1000, no OnTimer. Ticks run while Enabled, Interval is not 0 and
// OnTimer is assigned (OnTimer is read at each tick). Changing Enabled or Interval to a new value
// restarts the period from the change; Interval 0 or Enabled false kill the window timer.
// An exception from OnTimer goes to the window-procedure exception handler and the ticks go on.
class TTimer : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TTimer)
    // Makes the hidden window (EOSError when the system refuses it) and starts the ticks.
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    UINT Interval() const { return interval_; }
    // Raises EOutOfResources "Not enough timers available" when the system refuses the timer.
    void SetInterval(UINT Value);
    TNotifyEvent OnTimer;
    // The hidden window that receives WM_TIMER.
    HWND Handle() const { return window_; }

protected:
    // One tick: calls OnTimer while enabled and not being destroyed.
    virtual void Timer();

private:
    void UpdateTimer();
    void WndProc(TMessage& Message);
    HWND window_ = nullptr;
    bool enabled_ = true;
    UINT interval_ = 1000;
};

}  // namespace classlib
