#include "widgets/kit/kit_timer_list.h"

#include <algorithm>
#include <climits>
#include <mutex>

#include "classlib/application.h"
#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/threads.h"
#include "widgets/kit/kit_props.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr std::int32_t kMinPeriod = 100;
// An item counts as due this many milliseconds before its interval is over.
constexpr std::int32_t kTolerance = 50;

std::function<std::uint32_t()>& TickSource() {
    static std::function<std::uint32_t()> source;
    return source;
}

}  // namespace

std::uint32_t KitTickCount() { return TickSource() ? TickSource()() : GetTickCount(); }

void SetKitTickSource(std::function<std::uint32_t()> Source) { TickSource() = std::move(Source); }

// ---- TKitTimerEvent --------------------------------------------------------------------------

TKitTimerEvent::TKitTimerEvent(TComponent* AOwner) : TComponent(AOwner), lastExecute_(KitTickCount()) {}

TKitTimerEvent::~TKitTimerEvent() {
    Destroying();
    OnTimer = nullptr;
    // Leaving the list here is what keeps it from freeing or firing this item afterwards.
    if (list_ == nullptr) return;
    try {
        list_->ItemFreed(this);
    } catch (...) {
        // A refused timer while an item goes: the list has stopped; nothing may leave a destructor.
        if (ApplicationExists()) Application()->HandleException(this, std::current_exception());
    }
}

void TKitTimerEvent::SetEnabled(bool Value) {
    if (enabled_ == Value) return;
    enabled_ = Value;
    if (!Value) return;
    execCount_ = 0;
    lastExecute_ = KitTickCount();
    if (list_ != nullptr) {
        list_->CalculateInterval(KitTickCount());
        list_->UpdateTimer();
    }
}

void TKitTimerEvent::SetInterval(std::int32_t Value) {
    if (interval_ == Value) return;
    interval_ = Value;
    if (list_ != nullptr) {
        list_->CalculateInterval(KitTickCount());
        list_->UpdateTimer();
    }
}

void TKitTimerEvent::SetRepeatCount(std::int32_t Value) {
    if (repeatCount_ == Value) return;
    Value = std::max(Value, cycled_ ? 0 : 1);
    if (enabled_ && Value <= execCount_) SetEnabled(false);
    repeatCount_ = Value;
}

void TKitTimerEvent::SetParentComponent(TComponent* Value) {
    if (auto* list = dynamic_cast<TKitTimerList*>(Value)) {
        list->AddItem(this);
    } else if (list_ != nullptr) {
        list_->RemoveItem(this);
    }
}

TComponent* TKitTimerEvent::GetParentComponent() const { return list_; }

// ---- TKitTimerList ---------------------------------------------------------------------------

TKitTimerList::TKitTimerList(TComponent* AOwner) : TComponent(AOwner) { RegisterKitTimerListClasses(); }

TKitTimerList::~TKitTimerList() {
    *alive_ = false;
    OnFinish = nullptr;
    OnTimers = nullptr;
    if (!HasState(csLoading)) SetActive(false);
    // A list freed while it loads (a form stream that failed) still lets its window go: the
    // window's procedure refers to this list.
    if (window_ != nullptr) {
        KillTimer(window_, kTimerId);
        DeallocateHWnd(window_);
        window_ = nullptr;
    }
    Clear();
}

std::int32_t TKitTimerList::NextHandle() { return ++sequence_; }

std::int32_t TKitTimerList::Add(TNotifyEvent AOnTimer, std::int32_t AInterval, bool ACycled) {
    auto* item = new TKitTimerEvent(Owner());
    try {
        item->OnTimer = std::move(AOnTimer);
        item->SetInterval(AInterval);
        item->SetCycled(ACycled);
        AddItem(item);
    } catch (const EOutOfResources&) {
        // The item is in; the timer was refused and the list stopped: the caller hears of it.
        throw;
    } catch (...) {
        if (item->list_ != nullptr) RemoveItem(item);
        delete item;
        return -1;
    }
    return item->Handle();
}

void TKitTimerList::Delete(std::int32_t AHandle) {
    TKitTimerEvent* item = ItemByHandle(AHandle);
    if (item == nullptr) return;
    RemoveItem(item);
    if (!item->HasState(csDestroying)) delete item;
    if (active_) {
        CalculateInterval(KitTickCount());
        UpdateTimer();
    }
}

TKitTimerEvent* TKitTimerList::ItemByHandle(std::int32_t AHandle) const {
    for (TKitTimerEvent* e : events_)
        if (e->handle_ == AHandle) return e;
    return nullptr;
}

int TKitTimerList::EnabledCount() const {
    return static_cast<int>(std::count_if(events_.begin(), events_.end(), [](TKitTimerEvent* e) { return e->enabled_; }));
}

void TKitTimerList::Clear() {
    while (!events_.empty()) {
        TKitTimerEvent* item = events_.back();
        events_.pop_back();
        item->list_ = nullptr;
        item->handle_ = -1;
        if (!item->HasState(csDestroying)) delete item;
    }
}

void TKitTimerList::AddItem(TKitTimerEvent* Item) {
    if (Item->list_ == this) return;
    if (Item->list_ != nullptr) Item->list_->RemoveItem(Item);
    events_.push_back(Item);
    Item->list_ = this;
    Item->handle_ = NextHandle();
    CalculateInterval(KitTickCount());
    Sort();
    UpdateTimer();
}

void TKitTimerList::RemoveItem(TKitTimerEvent* Item) {
    auto it = std::find(events_.begin(), events_.end(), Item);
    if (it != events_.end()) events_.erase(it);
    Item->list_ = nullptr;
    Item->handle_ = -1;
}

void TKitTimerList::ItemFreed(TKitTimerEvent* Item) {
    RemoveItem(Item);
    // An item freed on its own changes the period; a form that is going frees every item and
    // must not hear OnFinish from the list meanwhile.
    bool going = HasState(csDestroying) || (Item->Owner() != nullptr && Item->Owner()->HasState(csDestroying));
    if (active_ && !going) {
        CalculateInterval(KitTickCount());
        UpdateTimer();
    }
}

void TKitTimerList::CalculateInterval(std::uint32_t Now) {
    if (events_.empty()) {
        period_ = 0;
        return;
    }
    startInterval_ = 0;
    std::int64_t period = INT32_MAX;
    for (TKitTimerEvent* e : events_) {
        if (!e->enabled_ || e->interval_ < 1) continue;
        period = std::min<std::int64_t>(period, e->interval_);
        // Overdue items give zero or less: the floor below takes over.
        period = std::min<std::int64_t>(period, static_cast<std::int64_t>(e->interval_) -
                                                    static_cast<std::int32_t>(Now - e->lastExecute_));
    }
    if (period < kMinPeriod) period = kMinPeriod;
    if (period == INT32_MAX) {
        period_ = 0;
        return;
    }
    // Lower the period until it divides every interval, so that each item falls on a tick.
    bool again = true;
    while (again && period > kMinPeriod) {
        again = false;
        for (TKitTimerEvent* e : events_) {
            if (e->interval_ <= 0) continue;  // zero and negative intervals never block
            std::int64_t rest = e->interval_ % period;
            if (rest != 0) {
                period -= rest;
                again = true;
                break;
            }
        }
    }
    if (period < kMinPeriod) period = kMinPeriod;
    period_ = static_cast<std::int32_t>(period);
}

void TKitTimerList::Sort() {
    bool exchanged = true;
    while (exchanged) {
        exchanged = false;
        for (size_t i = 0; i + 1 < events_.size(); ++i)
            if (events_[i]->interval_ > events_[i + 1]->interval_) {
                std::swap(events_[i], events_[i + 1]);
                exchanged = true;
            }
    }
}

void TKitTimerList::UpdateTimer() {
    if (window_ == nullptr) return;
    KillTimer(window_, kTimerId);
    if (EnabledCount() == 0) {
        StopList();
        return;
    }
    if (period_ > 0 && SetTimer(window_, kTimerId, static_cast<UINT>(period_), nullptr) == 0) {
        StopList();
        throw EOutOfResources(L"Not enough timers available");
    }
}

void TKitTimerList::StopList() {
    if (!HasState(csLoading)) SetActive(false);
}

void TKitTimerList::SetActive(bool Value) {
    if (active_ == Value) return;
    active_ = Value;
    if (!Timing()) return;
    if (Value) {
        CheckMainThread("TKitTimerList.SetActive");
        window_ = AllocateHWnd([this](TMessage& Message) { WndProc(Message); });
        std::uint32_t now = KitTickCount();
        for (TKitTimerEvent* e : events_)
            if (e->enabled_) e->lastExecute_ = now;
        CalculateInterval(now);
        Sort();
        UpdateTimer();
        return;
    }
    if (window_ != nullptr) {
        KillTimer(window_, kTimerId);
        // May be the window whose WM_TIMER is being handled: the library allows that.
        DeallocateHWnd(window_);
        window_ = nullptr;
    }
    if (OnFinish) {
        TNotifyEvent finish = OnFinish;
        finish(this);
    }
    startInterval_ = 0;
}

void TKitTimerList::Loaded() {
    TComponent::Loaded();
    // Items read with the form may have left the list active with nothing to time.
    if (active_ && Timing() && window_ != nullptr && EnabledCount() == 0) StopList();
}

void TKitTimerList::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
    // A copy: writing does not change the list, but a writer's procedure might.
    std::vector<TKitTimerEvent*> items = events_;
    for (TKitTimerEvent* e : items)
        if (Root == nullptr || e->Owner() == Root) Proc(e);
}

void TKitTimerList::DoTimer(TKitTimerEvent* Item) {
    std::int32_t handle = Item->handle_;
    // Copies: a handler may free the item (and with it the handler) while it runs.
    TNotifyEvent itemHandler = Item->OnTimer;
    TAllTimersEvent listHandler = OnTimers;
    std::shared_ptr<bool> alive = alive_;
    if (itemHandler) itemHandler(Item);
    if (*alive && listHandler) listHandler(this, handle);
}

void TKitTimerList::Tick() {
    if (!active_ || startInterval_ != 0) {
        UpdateTimer();
        return;
    }
    std::shared_ptr<bool> alive = alive_;
    std::uint32_t now = KitTickCount();
    bool disabled = false;
    // The longest interval first; a snapshot, since handlers may add or free items.
    std::vector<TKitTimerEvent*> snapshot = events_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        TKitTimerEvent* e = *it;
        if (std::find(events_.begin(), events_.end(), e) == events_.end()) continue;
        if (!e->enabled_ || static_cast<std::int32_t>(now - e->lastExecute_) < e->interval_ - kTolerance) continue;
        e->lastExecute_ = now;
        ++e->execCount_;
        if (!e->cycled_ && e->execCount_ >= e->repeatCount_) {
            e->SetEnabled(false);
            disabled = true;
        }
        DoTimer(e);
        // A handler that freed or stopped the list ends the tick: its window is gone.
        if (!*alive || !active_) return;
    }
    if (!disabled) return;
    if (EnabledCount() == 0) {
        StopList();
    } else {
        CalculateInterval(KitTickCount());
        UpdateTimer();
    }
}

void TKitTimerList::WndProc(TMessage& Message) {
    if (Message.Msg == WM_TIMER) {
        try {
            Tick();
        } catch (...) {
            if (ApplicationExists()) Application()->HandleException(this, std::current_exception());
        }
        Message.Result = 0;
        return;
    }
    Message.Result = DefWindowProcA(window_, Message.Msg, Message.WParam, Message.LParam);
}

// ---- Streaming -------------------------------------------------------------------------------

void RegisterKitTimerListClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        using E = TKitTimerEvent;
        RegisterPublishedProperties(
            L"TKitTimerEvent", L"TComponent",
            {BoolProp<E>(L"Cycled", [](E* e) { return e->Cycled(); }, [](E* e, bool v) { e->SetCycled(v); }, true),
             BoolProp<E>(L"Enabled", [](E* e) { return e->Enabled(); }, [](E* e, bool v) { e->SetEnabled(v); }, true),
             IntProp<E>(L"Interval", [](E* e) -> std::int64_t { return e->Interval(); },
                        [](E* e, std::int64_t v) { e->SetInterval(static_cast<std::int32_t>(v)); }, 1000),
             IntProp<E>(L"RepeatCount", [](E* e) -> std::int64_t { return e->RepeatCount(); },
                        [](E* e, std::int64_t v) { e->SetRepeatCount(static_cast<std::int32_t>(v)); }, 0)});
        RegisterComponentClass(L"TKitTimerEvent", [](TComponent* Owner) -> TComponent* { return new E(Owner); });
        using L = TKitTimerList;
        RegisterPublishedProperties(
            L"TKitTimerList", L"TComponent",
            {BoolProp<L>(L"Active", [](L* l) { return l->Active(); }, [](L* l, bool v) { l->SetActive(v); }, false)});
        RegisterComponentClass(L"TKitTimerList", [](TComponent* Owner) -> TComponent* { return new L(Owner); });
    });
}

}  // namespace widgets::kit
