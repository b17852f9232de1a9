// Keys as the keyboard gives them (posted and served by the application's loop): Tab and
// Shift+Tab move the focus through a form's tab stops, only a control that asks for tabs gets one;
// a control hidden or disabled gives its form the keyboard; the main form's shortcuts answer in the
// program's other windows, except a character typed into a box or the space bar on a button; a form
// shown inactive leaves the keyboard where it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/forms.h"
#include "classlib/grids.h"
#include "classlib/std_controls.h"
#include "key_presses.h"
#include "window_test_support.h"

using namespace classlib;

namespace {

// Keys as the keyboard gives them, served by this test's message loop.
void PressKey(WORD Key, std::initializer_list<int> Held = {}) {
    quill_test::PressKey(Key, Held, [] { window_test::Pump(); });
}

class FocusKeys : public ::testing::Test {
protected:
    void SetUp() override {
        form = NewForm<TForm>(nullptr);
        form->SetBounds(40, 40, 420, 320);
        first = Place<TEdit>(form, 8, 8);
        box = Place<TGroupBox>(form, 8, 40);
        box->SetBounds(8, 40, 300, 150);
        inBox = Place<TEdit>(box, 8, 20);
        disabled = Place<TEdit>(box, 8, 50);
        disabled->SetEnabled(false);
        hidden = Place<TEdit>(box, 8, 80);
        hidden->SetVisible(false);
        memo = Place<TMemo>(box, 150, 20);
        button = Place<TButton>(form, 8, 200);
        form->Show();
        SetForegroundWindow(form->Handle());
        first->SetFocus();
        window_test::Pump();
    }
    void TearDown() override {
        delete form;
        window_test::ResetApplicationForms();
    }

    template <typename T>
    T* Place(TWinControl* Parent, int Left, int Top) {
        T* c = new T(form);
        c->SetParent(Parent);
        c->SetLeft(Left);
        c->SetTop(Top);
        return c;
    }
    HWND Focus() const { return GetFocus(); }

    TForm* form = nullptr;
    TEdit* first = nullptr;
    TGroupBox* box = nullptr;
    TEdit* inBox = nullptr;
    TEdit* disabled = nullptr;
    TEdit* hidden = nullptr;
    TMemo* memo = nullptr;
    TButton* button = nullptr;
};

TEST_F(FocusKeys, TabGoesThroughTheTabStopsInChildOrderAndShiftTabGoesBack) {
    ASSERT_EQ(Focus(), first->Handle());
    first->SetText("one");
    PressKey(VK_TAB);
    EXPECT_EQ(Focus(), inBox->Handle()) << "into the group box, its first tab stop";
    PressKey(VK_TAB);
    EXPECT_EQ(Focus(), memo->Handle()) << "past the disabled and the hidden edit";
    PressKey(VK_TAB);
    EXPECT_EQ(Focus(), button->Handle()) << "a memo that keeps no tabs lets Tab move on";
    PressKey(VK_TAB);
    EXPECT_EQ(Focus(), first->Handle()) << "round to the first";
    PressKey(VK_TAB, {VK_SHIFT});
    EXPECT_EQ(Focus(), button->Handle());
    PressKey(VK_TAB, {VK_SHIFT});
    EXPECT_EQ(Focus(), memo->Handle());
    // No control was given a tab character on the way.
    EXPECT_EQ(first->Text(), "one");
    EXPECT_EQ(inBox->Text(), "");
    EXPECT_EQ(memo->Lines()->Text(), "");
    EXPECT_EQ(form->ActiveControl(), memo);
}

TEST_F(FocusKeys, AMemoThatWantsTabsTypesThemAndCtrlTabMovesNothing) {
    memo->SetWantTabs(true);
    memo->SetFocus();
    window_test::Pump();
    PressKey('A');
    PressKey(VK_TAB);
    PressKey('B');
    EXPECT_EQ(Focus(), memo->Handle());
    EXPECT_EQ(memo->Lines()->Get(0), "a\tb") << "the tab is typed where the caret is";
    first->SetFocus();
    window_test::Pump();
    PressKey(VK_TAB, {VK_CONTROL});
    EXPECT_EQ(Focus(), first->Handle()) << "Ctrl+Tab is no focus key of the form";
}

TEST_F(FocusKeys, AFormWithoutAnotherTabStopKeepsTheFocus) {
    for (TWinControl* c : std::vector<TWinControl*>{inBox, memo, button}) c->SetTabStop(false);
    PressKey(VK_TAB);
    EXPECT_EQ(Focus(), first->Handle());
    // The next control by code, past a control that is no tab stop when asked so.
    EXPECT_EQ(form->FindNextControl(first, true, true), nullptr);
    EXPECT_EQ(form->FindNextControl(first, true, false), box);
    EXPECT_EQ(form->FindNextControl(nullptr, false, false), button) << "from outside: the last one backwards";
}

// The name box of a panel the user leaves: hidden, it (and the form's active control) gives the
// form's own window the keyboard, where the form's shortcuts answer the keys and nothing is typed
// into the box; a disabled control gives it up too; a control that does not hold it keeps it where
// it is.
TEST_F(FocusKeys, AControlHiddenOrDisabledGivesItsFormTheKeyboard) {
    TActionList list(form);
    auto* freeze = new TAction(&list);
    freeze->SetActionList(&list);
    freeze->SetShortCut(VK_SPACE);
    int frozen = 0;
    freeze->OnExecute = [&](TObject*) { ++frozen; };
    inBox->SetFocus();
    window_test::Pump();
    PressKey(VK_SPACE);
    EXPECT_EQ(1, frozen) << "the form's shortcut, the box taking no typed space here";
    ASSERT_EQ(form->ActiveControl(), inBox);
    box->SetVisible(false);
    EXPECT_EQ(Focus(), form->Handle()) << "the hidden box kept the keyboard";
    EXPECT_EQ(form->ActiveControl(), nullptr);
    PressKey('X');
    PressKey(VK_SPACE);
    EXPECT_EQ(inBox->Text(), "") << "typed into the hidden box";
    EXPECT_EQ(2, frozen);
    // Shown again, the box does not take the keyboard back by itself.
    box->SetVisible(true);
    window_test::Pump();
    EXPECT_EQ(Focus(), form->Handle());
    button->SetFocus();
    window_test::Pump();
    first->SetEnabled(false);
    EXPECT_EQ(Focus(), button->Handle()) << "a control without the keyboard leaves it where it is";
    EXPECT_EQ(form->ActiveControl(), button);
    button->SetEnabled(false);
    EXPECT_EQ(Focus(), form->Handle()) << "the disabled button kept the keyboard";
    EXPECT_EQ(form->ActiveControl(), nullptr);
}

// The program's other windows (a tool window, a list of commands) answer the main form's
// shortcuts when their own form does not take the key: not while a modal form has the main form
// disabled, not a character a box types nor the space bar a button presses, and a form's own
// shortcut or dialog key first. A window shown inactive leaves the keyboard with the main form.
TEST_F(FocusKeys, TheMainFormsShortcutsAnswerInTheProgramsOtherWindows) {
    Application()->SetMainForm(form);
    TActionList list(form);
    int frozen = 0, recorded = 0, escaped = 0;
    auto action = [&](TShortCut Key, int& Count) {
        auto* a = new TAction(&list);
        a->SetActionList(&list);
        a->SetShortCut(Key);
        a->OnExecute = [&Count](TObject*) { ++Count; };
    };
    action(VK_SPACE, frozen);
    action(scCtrl | VK_SPACE, recorded);
    action(VK_ESCAPE, escaped);
    TForm* tool = NewForm<TForm>(nullptr);
    tool->SetBounds(480, 40, 300, 240);
    TStringGrid* grid = Place<TStringGrid>(tool, 8, 8);
    grid->SetOptions(grid->Options() | goRowSelect);
    TEdit* note = Place<TEdit>(tool, 8, 150);
    tool->ShowInactive();
    window_test::Pump();
    EXPECT_TRUE(IsWindowVisible(tool->Handle()));
    EXPECT_EQ(GetActiveWindow(), form->Handle()) << "shown inactive, the tool took the keyboard";
    EXPECT_EQ(Focus(), first->Handle());
    tool->Hide();
    tool->Show();
    SetForegroundWindow(tool->Handle());
    grid->SetFocus();
    window_test::Pump();
    ASSERT_EQ(GetActiveWindow(), tool->Handle());
    // A grid only read takes no characters: the space bar and Ctrl+Space are the main form's.
    PressKey(VK_SPACE);
    PressKey(VK_SPACE, {VK_CONTROL});
    EXPECT_EQ(1, frozen);
    EXPECT_EQ(1, recorded);
    // A box types the space; Ctrl+Space is no character.
    note->SetFocus();
    window_test::Pump();
    PressKey(VK_SPACE);
    PressKey(VK_SPACE, {VK_CONTROL});
    EXPECT_EQ(1, frozen) << "the box's space went to the main form";
    EXPECT_EQ(2, recorded);
    EXPECT_EQ(note->Text(), " ");
    // The focused check box, radio button and push button take the space bar (ticked, chosen,
    // pressed); Ctrl+Space is still the main form's.
    auto* tick = Place<TCheckBox>(tool, 8, 180);
    auto* choice = Place<TRadioButton>(tool, 8, 204);
    auto* press = Place<TButton>(tool, 150, 190);
    int pressed = 0;
    press->OnClick = [&](TObject*) { ++pressed; };
    for (TWinControl* control : std::initializer_list<TWinControl*>{tick, choice, press}) {
        control->SetFocus();
        window_test::Pump();
        ASSERT_EQ(Focus(), control->Handle());
        PressKey(VK_SPACE);
        PressKey(VK_SPACE, {VK_CONTROL});
    }
    EXPECT_TRUE(tick->Checked()) << "the space bar did not tick the check box";
    EXPECT_TRUE(choice->Checked()) << "the space bar did not choose the radio button";
    EXPECT_EQ(1, pressed) << "the space bar did not press the button";
    EXPECT_EQ(1, frozen) << "a button's space went to the main form";
    EXPECT_EQ(5, recorded);
    // In the main form its own shortcut comes first, before a focused check box.
    auto* mainTick = Place<TCheckBox>(form, 150, 200);
    SetForegroundWindow(form->Handle());
    mainTick->SetFocus();
    window_test::Pump();
    PressKey(VK_SPACE);
    EXPECT_EQ(2, frozen);
    EXPECT_FALSE(mainTick->Checked());
    SetForegroundWindow(tool->Handle());
    note->SetFocus();
    window_test::Pump();
    // The tool's own cancel button answers Escape before the main form's shortcut.
    auto* cancel = Place<TButton>(tool, 150, 150);
    int cancelled = 0;
    cancel->SetCancel(true);
    cancel->OnClick = [&](TObject*) { ++cancelled; };
    PressKey(VK_ESCAPE);
    EXPECT_EQ(1, cancelled);
    EXPECT_EQ(0, escaped);
    // A modal form has the main form disabled: its shortcuts rest.
    grid->SetFocus();
    window_test::Pump();
    EnableWindow(form->Handle(), FALSE);
    PressKey(VK_SPACE);
    EnableWindow(form->Handle(), TRUE);
    EXPECT_EQ(2, frozen);
    delete tool;
}

}  // namespace
