#include "widgets/kit/kit_timer.h"

#include "classlib/application.h"
#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/hidden_window.h"

namespace widgets::kit {

using namespace classlib;

namespace {
constexpr UINT_PTR kTimerId = 1;
}

// ---- TTimerThread ----------------------------------------------------------------------------

TTimerThread::TTimerThread(TKitTimer* Owner) : TThread(true), owner_(Owner) {}

TTimerThread::~TTimerThread() { Stop(); }

void TTimerThread::Wake() {
    std::lock_guard<std::mutex> guard(wakeLock_);
    ++wakeCount_;
    wakeChanged_.notify_all();
}

void TTimerThread::Stop() {
    stop_ = true;
    Wake();
    // Cancels a tick queued for the main thread, resumes a paused worker and joins it.
    TerminateAndWait();
}

bool TTimerThread::Stopping() const {
    return stop_ || Terminated() || owner_ == nullptr || (ApplicationExists() && Application()->Terminated());
}

bool TTimerThread::SleepPeriod() {
    std::unique_lock<std::mutex> guard(wakeLock_);
    std::uint64_t seen = wakeCount_;
    // The whole period, unless a reset or the stop cuts it short.
    return !wakeChanged_.wait_for(guard, std::chrono::milliseconds(interval_.load()),
                                  [&] { return wakeCount_ != seen || stop_; });
}

void TTimerThread::Execute() {
    while (!Terminated()) {
        WaitWhileSuspended();
        if (Stopping()) break;
        if (!SleepPeriod()) continue;  // woken: start the period again
        WaitWhileSuspended();          // a reset during the sleep holds the tick back
        if (Stopping() || !owner_->Enabled()) continue;
        if (owner_->SyncEvent()) {
            TKitTimer* owner = owner_;
            owner->SyncCall([owner, this] {
                // On the main thread: a reset that paused the worker meanwhile drops the tick.
                if (Suspended() || stop_) return;
                try {
                    owner->Tick();
                } catch (...) {
                    // The handler's failure is the application's to show; the timer ticks on.
                    if (ApplicationExists()) Application()->HandleException(owner, std::current_exception());
                }
            });
        } else {
            try {
                owner_->Tick();
            } catch (...) {
                ReportException(std::current_exception());
            }
        }
    }
}

void TTimerThread::ReportException(const std::exception_ptr& E) {
    try {
        std::rethrow_exception(E);
    } catch (const EAbort&) {
    } catch (const Exception& e) {
        if (!ApplicationExists()) return;
        TApplication* app = Application();
        if (app->OnException) {
            app->OnException(this, e);
        } else {
            // The message box belongs to the main thread.
            Exception copy = e;
            Synchronize([copy] { Application()->ShowException(copy); });
        }
    } catch (...) {
    }
}

// ---- TKitTimer -------------------------------------------------------------------------------

TKitTimer::TKitTimer(TComponent* AOwner) : TComponent(AOwner), thread_(std::make_unique<TTimerThread>(this)) {}

TKitTimer::~TKitTimer() {
    Destroying();
    enabled_ = false;
    onTimer_ = nullptr;
    // Joined, not abandoned: a worker left running would read this timer after it is freed.
    thread_->Stop();
    thread_.reset();
    KillWindow();
}

void TKitTimer::SetEnabled(bool Value) {
    if (Value == enabled_) return;
    enabled_ = Value;
    ResetTimer();
}

void TKitTimer::SetInterval(std::uint32_t Value) {
    if (Value == interval_) return;
    interval_ = Value;
    ResetTimer();
}

void TKitTimer::SetOnTimer(TNotifyEvent Value) {
    bool changed = static_cast<bool>(Value) != static_cast<bool>(onTimer_);
    onTimer_ = std::move(Value);
    if (changed) ResetTimer();
}

void TKitTimer::SetThreaded(bool Value) {
    if (Value == threaded_) return;
    threaded_ = Value;
    ResetTimer();
}

void TKitTimer::SetThreadPriority(TThreadPriority Value) {
    if (Value == priority_) return;
    priority_ = Value;
    if (threaded_) ResetTimer();
}

void TKitTimer::KillWindow() {
    if (window_ == nullptr) return;
    KillTimer(window_, kTimerId);
    DeallocateHWnd(window_);
    window_ = nullptr;
}

void TKitTimer::ResetTimer() {
    CheckMainThread("TKitTimer.ResetTimer");
    if (!thread_->Suspended()) thread_->Suspend();
    thread_->Wake();
    if (threaded_) {
        KillWindow();
        thread_->SetInterval(interval_);
        if (Active()) {
            thread_->SetPriority(priority_);
            while (thread_->Suspended()) thread_->Resume();
        }
        return;
    }
    if (window_ == nullptr)
        window_ = AllocateHWnd([this](TMessage& Message) { TimerWndProc(Message); });
    else
        KillTimer(window_, kTimerId);
    if (Active() && SetTimer(window_, kTimerId, interval_, nullptr) == 0)
        throw EOutOfResources(L"Not enough timers available");
}

void TKitTimer::SyncCall(const std::function<void()>& Method) {
    if (!thread_ || thread_->Suspended() || thread_->Terminated()) {
        Method();
        return;
    }
    TThread::Synchronize(Method);
}

void TKitTimer::Tick() {
    if (enabled_ && !HasState(csDestroying) && onTimer_) onTimer_(this);
}

void TKitTimer::TimerWndProc(TMessage& Message) {
    if (Message.Msg == WM_TIMER) {
        try {
            Tick();
        } catch (...) {
            if (ApplicationExists()) Application()->HandleException(this, std::current_exception());
        }
        return;
    }
    Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
}

// ---- Streaming -------------------------------------------------------------------------------

void RegisterKitTimerProperties() {
    auto timer = [](TPersistent* i) { return static_cast<TKitTimer*>(i); };
    auto boolProp = [](const wchar_t* Name, std::function<bool(TKitTimer*)> Get, std::function<void(TKitTimer*, bool)> Set,
                       bool Default) {
        TPropInfo p;
        p.Name = Name;
        p.Kind = tkEnumeration;
        p.EnumNames = {L"False", L"True"};
        p.Default = Default ? 1 : 0;
        p.Getter = [Get](TPersistent* i) -> TPropValue { return static_cast<std::int64_t>(Get(static_cast<TKitTimer*>(i))); };
        p.Setter = [Set](TPersistent* i, const TPropValue& v) {
            if (const auto* n = std::get_if<std::int64_t>(&v)) Set(static_cast<TKitTimer*>(i), *n != 0);
        };
        return p;
    };
    TPropInfo interval;
    interval.Name = L"Interval";
    interval.Kind = tkInteger;
    interval.Default = 1000;
    interval.Getter = [timer](TPersistent* i) -> TPropValue { return static_cast<std::int64_t>(timer(i)->Interval()); };
    interval.Setter = [timer](TPersistent* i, const TPropValue& v) {
        if (const auto* n = std::get_if<std::int64_t>(&v)) timer(i)->SetInterval(static_cast<std::uint32_t>(*n));
    };
    TPropInfo priority;
    priority.Name = L"ThreadPriority";
    priority.Kind = tkEnumeration;
    priority.EnumNames = {L"tpIdle", L"tpLowest", L"tpLower", L"tpNormal", L"tpHigher", L"tpHighest", L"tpTimeCritical"};
    priority.Default = static_cast<std::int32_t>(TThreadPriority::tpNormal);
    priority.Getter = [timer](TPersistent* i) -> TPropValue { return static_cast<std::int64_t>(timer(i)->ThreadPriority()); };
    priority.Setter = [timer](TPersistent* i, const TPropValue& v) {
        if (const auto* n = std::get_if<std::int64_t>(&v)) timer(i)->SetThreadPriority(static_cast<TThreadPriority>(*n));
    };
    RegisterPublishedProperties(
        L"TKitTimer", L"TComponent",
        {boolProp(L"Enabled", [](TKitTimer* t) { return t->Enabled(); }, [](TKitTimer* t, bool v) { t->SetEnabled(v); }, true),
         interval,
         boolProp(L"SyncEvent", [](TKitTimer* t) { return t->SyncEvent(); }, [](TKitTimer* t, bool v) { t->SetSyncEvent(v); }, true),
         boolProp(L"Threaded", [](TKitTimer* t) { return t->Threaded(); }, [](TKitTimer* t, bool v) { t->SetThreaded(v); }, true),
         priority});
    RegisterComponentClass(L"TKitTimer", [](TComponent* Owner) -> TComponent* { return new TKitTimer(Owner); });
}

}  // namespace widgets::kit
