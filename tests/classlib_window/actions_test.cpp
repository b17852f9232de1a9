// Actions: execution and update order, AutoCheck, groups, lists, shortcuts, links to controls
// and the dispatch of unhandled actions to the forms.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/forms.h"

using namespace classlib;

namespace {

class TTarget : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TTarget)
    explicit TTarget(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 50, 20); }
};

TEST(ActionsTest, ExecuteRunsUpdateThenOnExecuteUnlessDisabled) {
    TActionList list(nullptr);
    auto* action = new TAction(&list);
    action->SetActionList(&list);
    std::vector<std::string> calls;
    action->OnUpdate = [&](TObject*) { calls.push_back("update"); };
    action->OnExecute = [&](TObject* sender) {
        EXPECT_EQ(sender, action);
        calls.push_back("execute");
    };
    EXPECT_TRUE(action->Execute());
    EXPECT_EQ(calls, (std::vector<std::string>{"update", "execute"}));
    // OnUpdate may disable it: then nothing runs.
    calls.clear();
    action->OnUpdate = [&](TObject*) {
        calls.push_back("update");
        action->SetEnabled(false);
    };
    EXPECT_FALSE(action->Execute());
    EXPECT_EQ(calls, std::vector<std::string>{"update"});
    // The list's handler comes first and may keep the action's own from running.
    action->OnUpdate = nullptr;
    action->SetEnabled(true);
    calls.clear();
    list.OnExecute = [&](TBasicAction* a, bool& handled) {
        EXPECT_EQ(a, action);
        calls.push_back("list");
        handled = true;
    };
    EXPECT_TRUE(action->Execute());
    EXPECT_EQ(calls, std::vector<std::string>{"list"});
    EXPECT_EQ(list.ActionCount(), 1);
    EXPECT_EQ(action->Index(), 0);
}

TEST(ActionsTest, AutoCheckTogglesBeforeOnExecuteAndCodeChangesFireNothing) {
    TActionList list(nullptr);
    auto* mute = new TAction(&list);
    mute->SetActionList(&list);
    mute->SetAutoCheck(true);
    std::vector<bool> seen;
    int updates = 0;
    mute->OnExecute = [&](TObject*) { seen.push_back(mute->Checked()); };
    mute->OnUpdate = [&](TObject*) { ++updates; };
    mute->Execute();
    mute->Execute();
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    // Setting Checked from code runs no handler.
    seen.clear();
    updates = 0;
    mute->SetChecked(true);
    EXPECT_TRUE(mute->Checked());
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(updates, 0);

    // A group: checking one unchecks the others; executing the checked one keeps it checked.
    auto* a = new TAction(&list);
    auto* b = new TAction(&list);
    a->SetActionList(&list);
    b->SetActionList(&list);
    a->SetGroupIndex(3);
    b->SetGroupIndex(3);
    a->SetAutoCheck(true);
    b->SetAutoCheck(true);
    a->Execute();
    EXPECT_TRUE(a->Checked());
    b->Execute();
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(a->Checked());
    b->Execute();
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(mute->Checked());  // another group (none)
    // Deleting the list deletes its actions.
    bool gone = false;
    struct TWatch : TComponent {
        explicit TWatch(bool* flag) : TComponent(nullptr), flag_(flag) {}
        void Notification(TComponent* c, TOperation op) override {
            TComponent::Notification(c, op);
            if (op == TOperation::opRemove) *flag_ = true;
        }
        bool* flag_;
    } watch(&gone);
    a->FreeNotification(&watch);
    {
        auto owned = std::make_unique<TActionList>(nullptr);
        auto* x = new TAction(nullptr);
        x->SetActionList(owned.get());
        x->FreeNotification(&watch);
    }
    EXPECT_TRUE(gone);
}

TEST(ActionsTest, TheLinkPushesPropertiesWhileTheControlStillShowsTheAction) {
    TForm form(nullptr);
    auto* target = new TTarget(&form);
    target->SetParent(&form);
    auto* save = new TAction(&form);
    save->SetCaption("&Save");
    save->SetHint("Save|Saves the settings");
    save->SetEnabled(false);
    target->SetAction(save);
    EXPECT_EQ(target->Action(), save);
    ASSERT_NE(target->ActionLink(), nullptr);
    EXPECT_NE(dynamic_cast<TWinControlActionLink*>(target->ActionLink()), nullptr);
    EXPECT_EQ(target->Caption(), "&Save");
    EXPECT_EQ(target->Hint(), "Save|Saves the settings");
    EXPECT_FALSE(target->Enabled());
    save->SetCaption("Save &as");
    save->SetHint("Other");
    save->SetEnabled(true);
    save->SetVisible(false);
    EXPECT_EQ(target->Caption(), "Save &as");
    EXPECT_EQ(target->Hint(), "Other");
    EXPECT_TRUE(target->Enabled());
    EXPECT_FALSE(target->Visible());
    // A caption the control changed itself is no longer linked.
    target->SetCaption("Mine");
    save->SetCaption("Store");
    EXPECT_EQ(target->Caption(), "Mine");
    EXPECT_EQ(target->Hint(), "Other");
    // The window shows the pushed caption.
    form.Show();
    char text[16] = {};
    GetWindowTextA(target->Handle(), text, sizeof text);
    EXPECT_STREQ(text, "Mine");
    // With default checking, only properties still at their defaults are taken.
    auto* other = new TTarget(&form);
    other->SetName(L"Other1");  // the caption becomes the name
    other->SetHint("kept");
    other->ActionChange(save, true);
    EXPECT_EQ(other->Caption(), "Store");
    EXPECT_EQ(other->Hint(), "kept");
    // Deleting the action leaves the control without one.
    delete save;
    EXPECT_EQ(target->Action(), nullptr);
    EXPECT_EQ(target->Caption(), "Mine");
}

TEST(ActionsTest, ClickExecutesTheActionUnlessTheControlHasItsOwnHandler) {
    TForm form(nullptr);
    auto* target = new TTarget(&form);
    auto* action = new TAction(&form);
    int executes = 0, clicks = 0;
    TObject* component = nullptr;
    action->OnExecute = [&](TObject*) {
        ++executes;
        component = action->ActionComponent();
    };
    target->SetAction(action);
    target->Click();
    EXPECT_EQ(executes, 1);
    EXPECT_EQ(component, target);
    EXPECT_EQ(action->ActionComponent(), nullptr);
    target->OnClick = [&](TObject*) { ++clicks; };
    target->Click();
    EXPECT_EQ(executes, 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(target->ActionLink()->IsOnExecuteLinked());
}

TEST(ActionsTest, ShortCutsExecuteTheirActionAndReadAsText) {
    TActionList list(nullptr);
    auto* plus = new TAction(&list);
    plus->SetActionList(&list);
    plus->SetShortCut(ShortCut(VK_ADD, 0));
    auto* save = new TAction(&list);
    save->SetActionList(&list);
    save->SetShortCut(ShortCut('S', ssCtrl));
    int pluses = 0, saves = 0;
    plus->OnExecute = [&](TObject*) { ++pluses; };
    save->OnExecute = [&](TObject*) { ++saves; };
    EXPECT_TRUE(list.IsShortCut(ShortCut('S', ssCtrl)));
    EXPECT_FALSE(list.IsShortCut(ShortCut('S', 0)));
    EXPECT_FALSE(list.IsShortCut(scNone));
    EXPECT_TRUE(list.IsShortCut(ShortCut(VK_ADD, 0)));
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(pluses, 1);
    // A disabled action's shortcut is used up without running it.
    save->SetEnabled(false);
    EXPECT_TRUE(list.IsShortCut(ShortCut('S', ssCtrl)));
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(ShortCutToText(ShortCut('S', ssCtrl)), "Ctrl+S");
    EXPECT_EQ(ShortCutToText(ShortCut(VK_F5, ssShift | ssAlt)), "Shift+Alt+F5");
    EXPECT_EQ(ShortCutToText(scNone), "");
    EXPECT_EQ(ShortCut(0x1FF, 0), scNone);
}

class TStatusTarget : public TTarget {
public:
    CLASSLIB_CLASS_NAME(TStatusTarget)
    using TTarget::TTarget;
    bool ExecuteAction(TBasicAction* Action) override {
        if (auto* hint = dynamic_cast<THintAction*>(Action)) {
            shown = hint->Hint();
            return true;
        }
        return TTarget::ExecuteAction(Action);
    }
    std::string shown;
};

TEST(ActionsTest, UnhandledActionsGoToTheFormsThroughTheApplicationWindow) {
    Application()->Initialize();
    Application()->DestroyForms();
    TForm* form = nullptr;
    Application()->CreateForm(form);
    auto* status = new TStatusTarget(form);
    status->SetParent(form);
    form->Show();
    THintAction hint(nullptr);
    hint.SetHint("Ready");
    EXPECT_TRUE(hint.Execute());
    EXPECT_EQ(status->shown, "Ready");
    // A main-window hook sees CM_ACTIONEXECUTE before the forms.
    int marker = 0;
    std::string hooked;
    Application()->HookMainWindow(&marker, [&](TMessage& m) {
        if (m.Msg != CM_ACTIONEXECUTE) return false;
        hooked = dynamic_cast<TCustomAction*>(reinterpret_cast<TBasicAction*>(m.LParam))->Hint();
        m.Result = 1;
        return true;
    });
    hint.SetHint("Busy");
    EXPECT_TRUE(hint.Execute());
    EXPECT_EQ(hooked, "Busy");
    EXPECT_EQ(status->shown, "Ready");
    Application()->UnhookMainWindow(&marker);
    // Nobody takes it: Execute answers false.
    status->SetVisible(false);
    EXPECT_FALSE(hint.Execute());
    Application()->DestroyForms();
}

}  // namespace
