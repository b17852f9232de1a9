// The kit's timer list: many timed items served by one hidden window and one window timer, whose
// period is worked out from the items' intervals; each tick fires the items that are due.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/filer.h"
#include "classlib/hidden_window.h"
#include "classlib/objects.h"

namespace widgets::kit {

class TKitTimerList;

// The millisecond tick count the lists and their items read (the system's GetTickCount unless a
// test put its own clock in; nullptr puts the system's back).
std::uint32_t KitTickCount();
void SetKitTickSource(std::function<std::uint32_t()> Source);

// One timed item. Owned by its owner like any component; its list only refers to it, and an item
// leaves its list when it is freed.
class TKitTimerEvent : public classlib::TComponent, public classlib::IStreamChild {
public:
    CLASSLIB_CLASS_NAME(TKitTimerEvent)
    explicit TKitTimerEvent(classlib::TComponent* AOwner);
    ~TKitTimerEvent() override;

    bool Cycled() const { return cycled_; }
    void SetCycled(bool Value) { cycled_ = Value; }
    bool Enabled() const { return enabled_; }
    // Enabling again counts from 0 and starts the interval from now; the list's period follows.
    void SetEnabled(bool Value);
    std::int32_t Interval() const { return interval_; }
    void SetInterval(std::int32_t Value);
    std::int32_t RepeatCount() const { return repeatCount_; }
    // At least 1 when not cycled (0 when cycled); a count already reached disables the item.
    void SetRepeatCount(std::int32_t Value);
    // The identifier the list gave the item (-1 while it belongs to no list).
    std::int32_t Handle() const { return handle_; }
    std::int32_t ExecCount() const { return execCount_; }
    std::uint32_t LastExecute() const { return lastExecute_; }
    TKitTimerList* ParentList() const { return list_; }
    // A TKitTimerList takes the item in (as streaming does); anything else only takes it out of
    // its former list.
    void SetParentComponent(classlib::TComponent* Value) override;
    classlib::TComponent* GetParentComponent() const override;

    classlib::TNotifyEvent OnTimer;

private:
    friend class TKitTimerList;
    bool cycled_ = true;
    bool enabled_ = true;
    std::int32_t execCount_ = 0;
    std::int32_t handle_ = -1;
    std::int32_t interval_ = 1000;
    std::uint32_t lastExecute_ = 0;
    TKitTimerList* list_ = nullptr;
    std::int32_t repeatCount_ = 0;
};

using TAllTimersEvent = std::function<void(classlib::TObject* Sender, std::int32_t Handle)>;

class TKitTimerList : public classlib::TComponent, public classlib::IStreamParent {
public:
    CLASSLIB_CLASS_NAME(TKitTimerList)
    explicit TKitTimerList(classlib::TComponent* AOwner);
    ~TKitTimerList() override;

    // Creates an item owned by the list's owner and answers its handle (-1 when it could not be
    // taken in). Raises EOutOfResources "Not enough timers available" when the system refuses
    // the timer (the list is stopped).
    virtual std::int32_t Add(classlib::TNotifyEvent AOnTimer, std::int32_t AInterval, bool ACycled);
    // Frees the item with that handle; an unknown handle does nothing.
    virtual void Delete(std::int32_t AHandle);
    virtual std::int32_t NextHandle();

    int Count() const { return static_cast<int>(events_.size()); }
    int EnabledCount() const;
    TKitTimerEvent* Events(int Index) const { return events_.at(static_cast<size_t>(Index)); }
    TKitTimerEvent* ItemByHandle(std::int32_t AHandle) const;
    // Takes every item out and frees it, the last first.
    void Clear();

    bool Active() const { return active_; }
    void SetActive(bool Value);
    // The common period of the window timer (0: none).
    std::int32_t Period() const { return period_; }
    // The hidden window (nullptr while inactive).
    HWND WindowHandle() const { return window_; }

    classlib::TNotifyEvent OnFinish;
    TAllTimersEvent OnTimers;

    void Loaded() override;
    // The items the root owns, in list order, are written as the list's children.
    void GetChildren(const classlib::TGetChildProc& Proc, classlib::TComponent* Root) override;

protected:
    // Fires one item: its OnTimer, then the list's OnTimers with its handle.
    virtual void DoTimer(TKitTimerEvent* Item);

private:
    friend class TKitTimerEvent;
    void AddItem(TKitTimerEvent* Item);
    void RemoveItem(TKitTimerEvent* Item);
    void ItemFreed(TKitTimerEvent* Item);
    void CalculateInterval(std::uint32_t Now);
    void UpdateTimer();
    void Sort();
    void StopList();
    void Tick();
    void WndProc(classlib::TMessage& Message);
    bool Timing() const { return !HasState(classlib::csDesigning); }

    std::vector<TKitTimerEvent*> events_;
    HWND window_ = nullptr;
    bool active_ = false;
    std::int32_t period_ = 0;
    std::int32_t sequence_ = 0;
    std::int32_t startInterval_ = 0;
    // Lets a tick notice that a handler freed the list.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Publishes the items' and the list's properties and the item class for the component streams
// (the first list does it once).
void RegisterKitTimerListClasses();

}  // namespace widgets::kit
