// The threaded timer and its worker.
#include "widgets/custom/threaded_timer.h"

#include <windows.h>

#include <atomic>

#include "classlib/exceptions.h"

namespace widgets::custom {

// The worker: waits Interval ms on its wake event while the timer runs (a wait ended by the
// event starts a new one without a tick), and without limit while it is off.
class TThreadedTimer::TTimerThread : public classlib::TThread {
public:
    explicit TTimerThread(TThreadedTimer* Owner) : classlib::TThread(true), owner_(Owner) {
        wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (wake_ == nullptr) classlib::RaiseLastOSError();
    }
    ~TTimerThread() override {
        TerminateAndWait();
        CloseHandle(wake_);
    }
    void Wake() { SetEvent(wake_); }

    std::atomic<unsigned> Interval{1000};
    std::atomic<bool> Running{false};

protected:
    void Execute() override {
        while (!Terminated()) {
            const DWORD wait = Running ? static_cast<DWORD>(Interval) : INFINITE;
            const DWORD result = WaitForSingleObject(wake_, wait);
            if (Terminated()) break;
            if (result == WAIT_TIMEOUT && Running) {
                TThreadedTimer* owner = owner_;
                Synchronize([owner] { owner->DoTimer(); });
            }
        }
    }

private:
    TThreadedTimer* owner_;
    HANDLE wake_ = nullptr;
};

TThreadedTimer::TThreadedTimer(classlib::TComponent* AOwner)
    : classlib::TComponent(AOwner), thread_(std::make_unique<TTimerThread>(this)) {
    thread_->Resume();
}

TThreadedTimer::~TThreadedTimer() {
    enabled_ = false;
    thread_->Running = false;
    // Ends the worker; a tick it queued is cancelled, and one being served releases it.
    thread_->Terminate();
    thread_->Wake();
    thread_.reset();
}

void TThreadedTimer::SetEnabled(bool Value) {
    if (Value == enabled_) return;
    enabled_ = Value;
    const unsigned interval = thread_->Interval;
    const bool runs = Value && (interval != 0 || allowZero_) && interval < 0x80000000u;
    thread_->Running = runs;
    thread_->Wake();
}

unsigned TThreadedTimer::Interval() const { return thread_->Interval; }

void TThreadedTimer::SetInterval(unsigned Value) {
    if (Value == thread_->Interval) return;
    const bool was = enabled_;
    SetEnabled(false);
    thread_->Interval = Value;
    SetEnabled(was);
}

classlib::TThreadPriority TThreadedTimer::ThreadPriority() const { return thread_->Priority(); }
void TThreadedTimer::SetThreadPriority(classlib::TThreadPriority Value) { thread_->SetPriority(Value); }

void TThreadedTimer::DoTimer() {
    if (!enabled_ || HasState(classlib::csDestroying)) return;
    // A copy: OnTimer may free the timer, and with it this event.
    classlib::TNotifyEvent handler = OnTimer;
    if (!handler) return;
    try {
        handler(this);
    } catch (...) {
        // A failing tick must not stop the later ones.
    }
}

}  // namespace widgets::custom
