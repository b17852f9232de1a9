// The timer list on a test clock: its common period, which items a tick fires and in what order,
// items that run out, and items added, freed and the list stopped or freed while it ticks.
#include <memory>
#include <string>
#include <vector>

#include "kit_test_support.h"
#include "widgets/kit/kit_timer_list.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class KitTimerListTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        SetKitTickSource([this] { return now; });
        owner = std::make_unique<TComponent>(nullptr);
        list = new TKitTimerList(owner.get());
    }
    void TearDown() override {
        owner.reset();
        SetKitTickSource(nullptr);
        KitTest::TearDown();
    }
    // A tick of the window timer at the given time.
    void TickAt(std::uint32_t Ms) {
        now = Ms;
        ASSERT_NE(list->WindowHandle(), nullptr);
        SendMessageA(list->WindowHandle(), WM_TIMER, 1, 0);
    }
    TNotifyEvent Log(const std::string& Name) {
        return [this, Name](TObject*) { fired.push_back(Name); };
    }
    std::uint32_t now = 100000;
    std::unique_ptr<TComponent> owner;
    TKitTimerList* list = nullptr;
    std::vector<std::string> fired;
};

TEST_F(KitTimerListTest, CommonPeriodFollowsTheItems) {
    std::int32_t cpu = list->Add(Log("cpu"), 500, true);
    list->Add(Log("space"), 2000, true);
    list->SetActive(true);  // an empty list would stop at once
    EXPECT_EQ(list->Period(), 500);
    EXPECT_EQ(cpu, 1);
    std::int32_t odd = list->Add(Log("odd"), 300, true);
    EXPECT_EQ(list->Period(), 100);  // 300 - (500 mod 300) hits the floor
    list->Delete(odd);
    EXPECT_EQ(list->Period(), 500);
    // An interval of 0 neither counts in the minimum nor blocks divisibility.
    list->Add(Log("zero"), 0, true);
    EXPECT_EQ(list->Period(), 500);
    // Sorted by interval, shortest first.
    EXPECT_EQ(list->Events(0)->Interval(), 0);
    EXPECT_EQ(list->Events(2)->Interval(), 2000);
    // Nothing enabled with a positive interval: no period.
    for (int i = 0; i < list->Count(); ++i) list->Events(i)->SetEnabled(false);
    list->Events(0)->SetInterval(1);
    list->Events(0)->SetInterval(0);
    EXPECT_EQ(list->Period(), 0);
    EXPECT_FALSE(list->Active());
    list->Delete(12345);  // an unknown handle does nothing
    EXPECT_EQ(list->Count(), 3);
}

TEST_F(KitTimerListTest, TicksFireDueItemsLongestFirstWithTolerance) {
    list->Add(Log("cpu"), 500, true);
    list->Add(Log("space"), 2000, true);
    list->SetActive(true);
    EXPECT_EQ(list->Period(), 500);
    for (int i = 1; i <= 4; ++i) TickAt(100000 + 500u * i);
    EXPECT_EQ(fired, (std::vector<std::string>{"cpu", "cpu", "cpu", "space", "cpu"}));
    // 40 ms early still fires, 60 ms early does not.
    fired.clear();
    TickAt(102000 + 460);
    EXPECT_EQ(fired, std::vector<std::string>{"cpu"});
    fired.clear();
    TickAt(102460 + 440);
    EXPECT_TRUE(fired.empty());
    // The list's own event follows each item's, with the item's handle.
    std::vector<std::int32_t> handles;
    list->OnTimers = [&](TObject* Sender, std::int32_t Handle) {
        EXPECT_EQ(Sender, list);
        handles.push_back(Handle);
    };
    TickAt(104500);
    EXPECT_EQ(handles, (std::vector<std::int32_t>{2, 1}));
}

TEST_F(KitTimerListTest, ItemThatRunsOutStopsTheListWhenItWasTheLast) {
    bool finished = false;
    list->OnFinish = [&](TObject*) { finished = true; };
    std::int32_t h = list->Add(Log("three"), 200, false);
    TKitTimerEvent* item = list->ItemByHandle(h);
    item->SetRepeatCount(3);
    item->SetRepeatCount(0);
    EXPECT_EQ(item->RepeatCount(), 1);  // a non-cycled item runs at least once
    item->SetRepeatCount(3);
    list->SetActive(true);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_FALSE(finished);
        TickAt(100000 + 200u * i);
    }
    EXPECT_EQ(fired.size(), 3u);
    EXPECT_FALSE(item->Enabled());
    EXPECT_TRUE(finished);
    EXPECT_FALSE(list->Active());
    EXPECT_EQ(list->WindowHandle(), nullptr);
    // Enabling again counts from 0 and restarts the interval from that moment.
    now = 200000;
    item->SetEnabled(true);
    EXPECT_EQ(item->ExecCount(), 0);
    EXPECT_EQ(item->LastExecute(), 200000u);
    // An overdue item brings the period down to the floor.
    list->Add(Log("slow"), 1000, true);
    list->ItemByHandle(h)->SetRepeatCount(5);
    now = 200000 + 1500;
    list->ItemByHandle(h)->SetInterval(300);
    EXPECT_EQ(list->Period(), 100);
}

TEST_F(KitTimerListTest, HandlersMayFreeItemsAndTheList) {
    std::int32_t a = list->Add(Log("a"), 500, true);
    std::int32_t b = list->Add(nullptr, 1000, true);
    std::int32_t c = list->Add(Log("c"), 2000, true);
    // The longest fires first and frees itself and the shortest; the middle one still fires.
    list->ItemByHandle(c)->OnTimer = [&](TObject*) {
        fired.push_back("c");
        list->Delete(a);
        list->Delete(c);
    };
    list->ItemByHandle(b)->OnTimer = [&](TObject* Sender) {
        fired.push_back("b");
        delete Sender;  // freed by its owner's code, not through the list
    };
    list->SetActive(true);
    TickAt(102000);
    EXPECT_EQ(fired, (std::vector<std::string>{"c", "b"}));
    EXPECT_EQ(list->Count(), 0);
    EXPECT_FALSE(list->Active());  // nothing left to time
    // A handler that stops the list ends the tick.
    fired.clear();
    list->Add([&](TObject*) { fired.push_back("x"); list->SetActive(false); }, 500, true);
    list->Add(Log("y"), 400, true);
    list->SetActive(true);
    TickAt(103000);
    EXPECT_EQ(fired.size(), 1u);
    EXPECT_FALSE(list->Active());
    // A handler that frees the list itself.
    list->Clear();
    list->Add([&](TObject*) { delete list; list = nullptr; }, 100, true);
    list->SetActive(true);
    HWND w = list->WindowHandle();
    now = 104000;
    SendMessageA(w, WM_TIMER, 1, 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(owner->ComponentCount(), 0);  // the list freed the items it held
}

TEST_F(KitTimerListTest, FormFreesItemsAndListInEitherOrder) {
    // Items made after the list go first when their owner goes; and the other way round.
    for (bool listFirst : {true, false}) {
        auto form = std::make_unique<TComponent>(nullptr);
        TKitTimerList* l = nullptr;
        if (listFirst) l = new TKitTimerList(form.get());
        auto* item = new TKitTimerEvent(form.get());
        if (!listFirst) l = new TKitTimerList(form.get());
        bool finished = false;
        l->OnFinish = [&](TObject*) { finished = true; };
        item->SetParentComponent(l);
        EXPECT_EQ(item->ParentList(), l);
        EXPECT_EQ(item->Handle(), 1);
        l->SetActive(true);
        form.reset();  // no double free, no OnFinish into a form that is going
        EXPECT_FALSE(finished);
    }
}

TEST_F(KitTimerListTest, RealWindowTimerTicks) {
    SetKitTickSource(nullptr);
    int ticks = 0;
    list->Add([&](TObject*) { ++ticks; }, 100, true);
    list->SetActive(true);
    EXPECT_TRUE(kittest::PumpUntil([&] { return ticks >= 2; }));
}

}  // namespace
