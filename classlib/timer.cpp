// The window timer component.
#include "classlib/timer.h"

#include "classlib/threads.h"

namespace classlib {

namespace {
constexpr UINT_PTR kTimerId = 1;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
    CheckMainThread("TTimer.Create");
    window_ = AllocateHWnd([this](TMessage& Message) { WndProc(Message); });
    UpdateTimer();
}

TTimer::~TTimer() {
    enabled_ = false;
    if (window_) {
        KillTimer(window_, kTimerId);
        DeallocateHWnd(window_);
        window_ = nullptr;
    }
}

void TTimer::SetEnabled(bool Value) {
    CheckMainThread("TTimer.SetEnabled");
    if (Value == enabled_) return;
    enabled_ = Value;
    UpdateTimer();
}

void TTimer::SetInterval(UINT Value) {
    CheckMainThread("TTimer.SetInterval");
    if (Value == interval_) return;
    interval_ = Value;
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (!window_) return;
    KillTimer(window_, kTimerId);
    if (interval_ != 0 && enabled_) {
        if (SetTimer(window_, kTimerId, interval_, nullptr) == 0) {
            throw EOutOfResources(L"Not enough timers available");
        }
    }
}

void TTimer::Timer() {
    if (enabled_ && !HasState(csDestroying) && OnTimer) OnTimer(this);
}

void TTimer::WndProc(TMessage& Message) {
    if (Message.Msg == WM_TIMER) {
        // Nothing of this object is touched after the tick: OnTimer may have freed the timer.
        // An exception from the tick reaches the hidden window's procedure, which routes it.
        Message.Result = 0;
        Timer();
        return;
    }
    Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
}

}  // namespace classlib
