// The application-event chain: newest component first, a component that is not chained or a
// handled message stops the walk, an exception nobody takes is shown, settings go straight to the
// application, and the handlers installed before the chain come back when its last component goes.
#include <memory>
#include <string>
#include <vector>

#include "classlib/message_box.h"
#include "kit_test_support.h"
#include "widgets/kit/app_events.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class AppEventsTest : public kittest::KitTest {
protected:
    void TearDown() override {
        Application()->OnIdle = nullptr;
        Application()->OnMessage = nullptr;
        KitTest::TearDown();
    }
    void Idle() {
        bool done = true;
        Application()->OnIdle(Application(), done);
    }
    std::vector<std::string> calls;
};

TEST_F(AppEventsTest, NewestFirstThenTheHandlerThatWasThere) {
    Application()->OnIdle = [&](TObject*, bool&) { calls.push_back("saved"); };
    {
        TComponent owner(nullptr);
        auto* a = new TAppEvents(&owner);
        auto* b = new TAppEvents(&owner);
        EXPECT_EQ(TAppEventList::Instance(false)->Count(), 2);
        a->OnIdle = [&](TObject* Sender, bool& Done) {
            EXPECT_EQ(Sender, Application());
            Done = false;  // does not stop the walk
            calls.push_back("A");
        };
        b->OnIdle = [&](TObject*, bool&) { calls.push_back("B"); };
        Idle();
        EXPECT_EQ(calls, (std::vector<std::string>{"B", "A", "saved"}));
        // B not chained: neither A nor the saved handler.
        calls.clear();
        b->SetChained(false);
        Idle();
        EXPECT_EQ(calls, std::vector<std::string>{"B"});
        // The main window's start-up clears its own handler while it runs; the chain goes on.
        b->SetChained(true);
        b->OnIdle = [&](TObject*, bool&) {
            calls.push_back("once");
            b->OnIdle = nullptr;
        };
        calls.clear();
        Idle();
        Idle();
        EXPECT_EQ(calls, (std::vector<std::string>{"once", "A", "saved", "A", "saved"}));
    }
    // The last component gone, the application's own handler is back (not lost).
    calls.clear();
    ASSERT_TRUE(static_cast<bool>(Application()->OnIdle));
    Idle();
    EXPECT_EQ(calls, std::vector<std::string>{"saved"});
    EXPECT_FALSE(TAppEventList::Instance(false)->Hooked());
    // Without a handler before, the slots are left empty.
    Application()->OnIdle = nullptr;
    { TAppEvents alone(nullptr); }
    EXPECT_FALSE(static_cast<bool>(Application()->OnIdle));
    EXPECT_FALSE(static_cast<bool>(Application()->OnMessage));
}

TEST_F(AppEventsTest, HandledMessageStopsOlderComponents) {
    Application()->OnMessage = [&](MSG&, bool&) { calls.push_back("saved"); };
    TComponent owner(nullptr);
    auto* a = new TAppEvents(&owner);
    auto* b = new TAppEvents(&owner);
    a->OnMessage = [&](MSG&, bool&) { calls.push_back("A"); };
    b->OnMessage = [&](MSG& Msg, bool& Handled) {
        calls.push_back("B");
        Handled = Msg.message == WM_APP;
    };
    // Through the application's own loop.
    HWND w = Application()->Handle();
    PostMessageA(w, WM_APP, 0, 0);
    kittest::Pump();
    EXPECT_EQ(calls, std::vector<std::string>{"B"});
    calls.clear();
    PostMessageA(w, WM_APP + 1, 0, 0);
    kittest::Pump();
    EXPECT_EQ(calls, (std::vector<std::string>{"B", "A", "saved"}));
}

TEST_F(AppEventsTest, ExceptionNobodyTakesIsShown) {
    std::wstring shown;
    TMessageBoxFunction old = SetMessageBoxFunction([&](HWND, const std::wstring& Text, const std::wstring&, UINT) {
        shown = Text;
        return IDOK;
    });
    {
        TAppEvents events(nullptr);
        Application()->HandleException(nullptr, std::make_exception_ptr(EConvertError(L"Bad value")));
        EXPECT_EQ(shown, L"Bad value.");
        // A handler takes it.
        shown.clear();
        std::wstring taken;
        events.OnException = [&](TObject*, const Exception& E) { taken = E.Message(); };
        Application()->HandleException(nullptr, std::make_exception_ptr(EConvertError(L"Other")));
        EXPECT_EQ(taken, L"Other");
        EXPECT_TRUE(shown.empty());
    }
    SetMessageBoxFunction(old);
    EXPECT_FALSE(static_cast<bool>(Application()->OnException));
}

TEST_F(AppEventsTest, SettingsGoStraightToTheApplication) {
    TAppEvents events(nullptr);
    events.SetHintPause(1234);
    EXPECT_EQ(Application()->HintPause(), 1234);
    Application()->SetHintPause(800);
    EXPECT_EQ(events.HintPause(), 800);  // read back live
    events.SetMouseDragThreshold(9);
    EXPECT_EQ(Mouse()->DragThreshold(), 9);
    // Loading writes every stored setting, the defaults included.
    events.Loaded();
    EXPECT_EQ(Application()->HintPause(), 1234);
    EXPECT_EQ(Application()->HintHidePause(), 2500);
    EXPECT_TRUE(Application()->ShowMainForm());
    Mouse()->SetDragThreshold(5);
    Application()->SetHintPause(500);
    // A change of the system's settings reaches OnSettingsChanged.
    int settings = 0;
    events.OnSettingsChanged = [&](TObject*) { ++settings; };
    SendMessageA(Application()->Handle(), WM_WININICHANGE, 0, 0);
    EXPECT_EQ(settings, 1);
}

}  // namespace
