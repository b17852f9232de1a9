// The timer list on a test clock: its common period, which items a tick fires and in what order,
// items that run out, items added, freed and the list stopped or freed while it ticks, and the
// list written to a component stream with its items and read back.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/filer.h"
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

// The source form: the list with the clip list's two items and one of its own, and an item that
// belongs to no list; written whole to a memory stream.
std::vector<std::uint8_t> WriteForm(TComponent* Form, TKitTimerList* List) {
    List->SetName(L"KitTimerList1");
    List->ItemByHandle(List->Add(nullptr, 2000, true))->SetName(L"FreeSpace");
    List->ItemByHandle(List->Add(nullptr, 500, true))->SetName(L"CPU");
    TKitTimerEvent* once = List->ItemByHandle(List->Add(nullptr, 1500, false));
    once->SetName(L"Once");
    once->SetRepeatCount(3);
    once->SetEnabled(false);
    (new TKitTimerEvent(Form))->SetName(L"Loose");
    List->SetActive(true);
    TMemoryStream stream;
    TWriter writer(&stream);
    writer.WriteRootComponent(Form);
    return stream.Bytes();
}

void ReadForm(const std::vector<std::uint8_t>& Bytes, size_t Length, TComponent* Form) {
    TMemoryStream stream;
    if (Length > 0) stream.WriteBuffer(Bytes.data(), static_cast<std::int32_t>(Length));
    stream.SetPosition(0);
    TReader reader(&stream);
    reader.ReadRootComponent(Form);
}

TEST_F(KitTimerListTest, ItemsStreamAsChildrenOfTheirList) {
    const std::vector<std::uint8_t> bytes = WriteForm(owner.get(), list);
    // Each item is written once, inside its list.
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("CPU"), text.rfind("CPU"));
    EXPECT_LT(text.find("KitTimerList1"), text.find("CPU"));

    TComponent form(nullptr);
    ReadForm(bytes, bytes.size(), &form);
    auto* read = dynamic_cast<TKitTimerList*>(form.FindComponent(L"KitTimerList1"));
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->Count(), 3);
    std::vector<std::wstring> names;
    for (int i = 0; i < read->Count(); ++i) {
        TKitTimerEvent* e = read->Events(i);
        names.push_back(e->Name());
        EXPECT_EQ(e->Owner(), &form);
        EXPECT_EQ(e->ParentList(), read);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"CPU", L"Once", L"FreeSpace"}));
    TKitTimerEvent* once = read->Events(1);
    EXPECT_EQ(once->Interval(), 1500);
    EXPECT_FALSE(once->Cycled());
    EXPECT_EQ(once->RepeatCount(), 3);
    EXPECT_FALSE(once->Enabled());
    EXPECT_EQ(read->Events(2)->Interval(), 2000);
    // Active was read before the items; they joined and set the timer.
    EXPECT_TRUE(read->Active());
    EXPECT_EQ(read->Period(), 500);
    EXPECT_NE(read->WindowHandle(), nullptr);
    auto* loose = dynamic_cast<TKitTimerEvent*>(form.FindComponent(L"Loose"));
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(loose->ParentList(), nullptr);
    EXPECT_EQ(form.ComponentCount(), 5);
    // The list read back ticks its items.
    int cpu = 0;
    read->Events(0)->OnTimer = [&](TObject*) { ++cpu; };
    now += 500;
    SendMessageA(read->WindowHandle(), WM_TIMER, 1, 0);
    EXPECT_EQ(cpu, 1);
}

TEST_F(KitTimerListTest, BrokenStreamLeavesNoHalfBuiltList) {
    const std::vector<std::uint8_t> bytes = WriteForm(owner.get(), list);
    // Cut anywhere: a read error, and nothing the read made is left behind.
    for (size_t len = 0; len < bytes.size(); ++len) {
        TComponent form(nullptr);
        EXPECT_THROW(ReadForm(bytes, len, &form), EReadError) << "length " << len;
        EXPECT_EQ(form.ComponentCount(), 0) << "length " << len;
    }
    // Into a form that already has the list and one item: the list keeps only what it had.
    for (size_t len : {bytes.size() / 2, bytes.size() - 2}) {
        TComponent form(nullptr);
        auto* own = new TKitTimerList(&form);
        own->SetName(L"KitTimerList1");
        own->ItemByHandle(own->Add(nullptr, 2000, true))->SetName(L"FreeSpace");
        EXPECT_THROW(ReadForm(bytes, len, &form), EReadError);
        ASSERT_EQ(form.ComponentCount(), 2);
        ASSERT_EQ(own->Count(), 1);
        EXPECT_EQ(own->Events(0)->Interval(), 2000);
        EXPECT_FALSE(own->HasState(csLoading));
    }
    // Hostile bytes: a clear error that leaves nothing behind, or a whole load.
    int failures = 0;
    for (size_t pos = 4; pos < bytes.size(); ++pos) {
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x01}, std::uint8_t{0xFF}}) {
            std::vector<std::uint8_t> bad = bytes;
            bad[pos] = value;
            TComponent form(nullptr);
            try {
                ReadForm(bad, bad.size(), &form);
            } catch (const Exception&) {
                ++failures;
                EXPECT_EQ(form.ComponentCount(), 0) << "byte " << pos;
            }
        }
    }
    EXPECT_GT(failures, 0);
}

}  // namespace
