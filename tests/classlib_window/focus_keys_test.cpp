// Tab and Shift+Tab as the keyboard gives them (posted and served by the application's loop):
// the focus moves through a form's tab stops; only a control that asks for tabs gets one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/forms.h"
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
    void TearDown() override { delete form; }

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

}  // namespace
