// The standard controls on a shown form: texts in their windows, events fired (or not) by code
// and by the user, combo items across window re-creation, radio group choice and layout, label
// drawing and sizing.
#include <gtest/gtest.h>

#include "exception_text.h"
#include "painted_ink.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/forms.h"
#include "classlib/panels.h"
#include "classlib/std_controls.h"

using namespace classlib;

namespace {

using quill_test::MessageOf;

std::string WindowText(HWND h) {
    char buf[256] = {};
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

class StdControls : public ::testing::Test {
protected:
    void SetUp() override {
        form = NewForm<TForm>(nullptr);
        form->SetBounds(40, 40, 480, 360);
        form->Show();
    }
    void TearDown() override { delete form; }

    template <typename T>
    T* Make(int left = 8, int top = 8) {
        T* c = new T(form);
        c->SetParent(form);
        c->SetLeft(left);
        c->SetTop(top);
        return c;
    }
    // What the system sends the form when the user picks an item or clicks a button.
    void Notify(TWinControl* c, WORD code) {
        SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c->Handle()), code),
                     reinterpret_cast<LPARAM>(c->Handle()));
    }

    TForm* form = nullptr;
};

// Counts the calls of an event.
struct Counter {
    int n = 0;
    TNotifyEvent Event() {
        return [this](TObject*) { ++n; };
    }
};

TEST(StdControlsAccel, AcceleratorCharacter) {
    EXPECT_EQ(AccelChar("&File"), 'F');
    EXPECT_EQ(AccelChar("Save && &quit"), 'q');
    EXPECT_EQ(AccelChar("a&&b"), 0);
    EXPECT_EQ(AccelChar("trailing&"), 0);
    EXPECT_TRUE(IsAccel('F', "&file"));
    EXPECT_FALSE(IsAccel('X', "&file"));
}

TEST_F(StdControls, LabelSizesToItsTextAndDrawsIt) {
    auto* label = Make<TLabel>(10, 10);
    label->SetCaption("Some label text");
    int wide = label->Width();
    EXPECT_GT(wide, 40);
    EXPECT_GT(label->Height(), 5);
    label->SetCaption("Ab");
    EXPECT_LT(label->Width(), wide);
    // An empty caption still measures one line.
    label->SetCaption("");
    EXPECT_GT(label->Height(), 5);

    // A right-justified label keeps its right edge; without AutoSize the width stays.
    label->SetAlignment(TAlignment::taRightJustify);
    label->SetCaption("Ab");
    int right = label->Left() + label->Width();
    label->SetCaption("A much longer caption");
    EXPECT_EQ(label->Left() + label->Width(), right);
    label->SetAutoSize(false);
    int fixed = label->Width();
    label->SetCaption("x");
    EXPECT_EQ(label->Width(), fixed);

    // Painted into a white bitmap: dark text pixels; disabled: the highlight copy as well.
    label->SetAlignment(TAlignment::taLeftJustify);
    label->SetAutoSize(true);
    label->SetCaption("WWWW");
    label->SetTransparent(true);
    label->Font()->SetColor(clBlack);
    auto paint = [&](COLORREF probe) {
        return quill_test::InkOf(probe, 100, 40, [&](HDC dc) { label->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0); })
            .Count;
    };
    EXPECT_GT(paint(RGB(0, 0, 0)), 10);
    label->SetEnabled(false);
    EXPECT_EQ(paint(RGB(0, 0, 0)), 0);
    EXPECT_GT(paint(ColorToRGB(clBtnShadow)), 10);
}

TEST_F(StdControls, AutoSizedLabelShowsItsWholeText) {
    // Wine's stand-in for "MS Sans Serif" inks a few pixels past the width it reports for a long
    // text: the label's size must leave room for them.
    const std::string text = "How to save the preferences when quit";
    auto* label = Make<TLabel>(0, 0);
    label->Font()->SetColor(clBlack);
    label->SetTransparent(true);
    label->SetCaption(text);
    const int alone = quill_test::InkOf(RGB(0, 0, 0), 400, 40, [&](HDC dc) {
        HGDIOBJ old = SelectObject(dc, label->Font()->Handle());
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
        SelectObject(dc, old);
    }).Right;
    const int painted = quill_test::InkOf(RGB(0, 0, 0), 400, 40, [&](HDC dc) {
        // As the parent paints it: clipped to the label's bounds.
        IntersectClipRect(dc, 0, 0, label->Width(), label->Height());
        label->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    }).Right;
    EXPECT_GT(alone, 100);
    EXPECT_EQ(painted, alone);
}

TEST_F(StdControls, LabelAcceleratorFocusesItsControl) {
    auto* edit = Make<TEdit>(100, 10);
    auto* label = Make<TLabel>(10, 10);
    label->SetCaption("&Name");
    label->SetFocusControl(edit);
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'n', 0), 1);
    EXPECT_EQ(GetFocus(), edit->Handle());
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'x', 0), 0);
    label->SetShowAccelChar(false);
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'n', 0), 0);
    // The label forgets a focus control that is freed.
    delete edit;
    EXPECT_EQ(label->FocusControl(), nullptr);
    label->SetShowAccelChar(true);
    EXPECT_EQ(label->Perform(CM_DIALOGCHAR, 'n', 0), 0);
}

TEST_F(StdControls, EditTextEventsAndSelection) {
    auto* edit = new TEdit(form);
    Counter changes;
    edit->OnChange = changes.Event();
    // Without a window: CM_TEXTCHANGED reports the change; creating the window adds none.
    edit->SetText("first");
    EXPECT_EQ(changes.n, 1);
    edit->SetParent(form);
    EXPECT_EQ(WindowText(edit->Handle()), "first");
    EXPECT_EQ(changes.n, 1);
    // With a window, from code: once; the same text again: not at all.
    edit->SetText("second");
    EXPECT_EQ(changes.n, 2);
    edit->SetText("second");
    EXPECT_EQ(changes.n, 2);
    EXPECT_EQ(WindowText(edit->Handle()), "second");

    // Typed characters reach the text and the key event.
    std::string keys;
    edit->OnKeyPress = [&](TObject*, char& key) { keys += key; };
    edit->SetSelStart(6);
    SendMessageA(edit->Handle(), WM_CHAR, '!', 1);
    EXPECT_EQ(edit->Text(), "second!");
    EXPECT_EQ(keys, "!");
    EXPECT_EQ(changes.n, 3);

    edit->SetSelStart(1);
    edit->SetSelLength(3);
    EXPECT_EQ(edit->SelStart(), 1);
    EXPECT_EQ(edit->SelLength(), 3);
    EXPECT_EQ(edit->SelText(), "eco");
    edit->SetSelText("X");
    EXPECT_EQ(edit->Text(), "sXnd!");

    edit->SetMaxLength(6);
    edit->SetSelStart(5);
    SendMessageA(edit->Handle(), WM_CHAR, 'a', 1);
    SendMessageA(edit->Handle(), WM_CHAR, 'b', 1);
    EXPECT_EQ(edit->Text(), "sXnd!a");
    edit->SetReadOnly(true);
    edit->SetSelStart(0);
    SendMessageA(edit->Handle(), WM_CHAR, 'z', 1);
    EXPECT_EQ(edit->Text(), "sXnd!a");
    edit->SetPasswordChar('#');
    EXPECT_EQ(SendMessageA(edit->Handle(), EM_GETPASSWORDCHAR, 0, 0), '#');
    // Settings survive a new window.
    edit->RecreateWnd();
    EXPECT_EQ(SendMessageA(edit->Handle(), EM_GETPASSWORDCHAR, 0, 0), '#');
    EXPECT_NE(GetWindowLongPtrA(edit->Handle(), GWL_STYLE) & ES_READONLY, 0);
    EXPECT_EQ(edit->Text(), "sXnd!a");
}

TEST_F(StdControls, ComboItemsTextAndIndex) {
    auto* combo = Make<TComboBox>();
    Counter changes, selects;
    combo->OnChange = changes.Event();
    combo->OnSelect = selects.Event();
    combo->Items()->Add("Alpha");
    combo->Items()->Add("Beta");
    combo->Items()->AddObject("Gamma", reinterpret_cast<TObject*>(form));
    char buf[32] = {};
    SendMessageA(combo->Handle(), CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buf));
    EXPECT_STREQ(buf, "Beta");
    EXPECT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->Items()->IndexOf("gamma"), 2);
    EXPECT_EQ(combo->Items()->Get(7), "");
    EXPECT_EQ(MessageOf<EStringListError>([&] { combo->Items()->GetObject(7); }), L"List index out of bounds (7)");

    // From code: index and text agree and nothing fires.
    EXPECT_EQ(combo->ItemIndex(), -1);
    combo->SetItemIndex(1);
    EXPECT_EQ(combo->Text(), "Beta");
    EXPECT_EQ(WindowText(combo->Handle()), "Beta");
    combo->SetText("Gamma");
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->SetText("gamma");  // case counts: no item
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "gamma");
    combo->SetText("Alpha");
    EXPECT_EQ(combo->ItemIndex(), 0);
    combo->SetText("typed");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "typed");
    EXPECT_EQ(changes.n + selects.n, 0);

    // Clearing the items keeps the typed text.
    combo->Items()->Clear();
    EXPECT_EQ(combo->Items()->Count(), 0);
    EXPECT_EQ(combo->Text(), "typed");
}

TEST_F(StdControls, ComboKeepsItemsAcrossNewWindows) {
    auto* combo = Make<TComboBox>();
    combo->Items()->Add("one");
    combo->Items()->AddObject("two", reinterpret_cast<TObject*>(form));
    combo->Items()->Add("three");
    combo->SetItemIndex(1);
    combo->RecreateWnd();
    ASSERT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->Items()->Get(2), "three");
    EXPECT_EQ(combo->Items()->GetObject(1), reinterpret_cast<TObject*>(form));
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), "two");

    // Typed text of a drop-down box comes back too.
    combo->SetText("free text");
    combo->RecreateWnd();
    EXPECT_EQ(combo->Text(), "free text");
    EXPECT_EQ(combo->ItemIndex(), -1);

    // A style change makes a new window: a drop-down list shows only items.
    combo->SetItemIndex(2);
    combo->SetStyle(TComboBoxStyle::csDropDownList);
    EXPECT_EQ(GetWindowLongPtrA(combo->Handle(), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->ItemIndex(), 2);
    EXPECT_EQ(combo->Text(), "three");
    EXPECT_EQ(combo->EditHandle(), nullptr);
    combo->SetText("one");
    EXPECT_EQ(combo->ItemIndex(), 0);
    combo->SetText("none of them");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "");

    combo->SetStyle(TComboBoxStyle::csSimple);
    EXPECT_EQ(combo->Items()->Count(), 3);
    EXPECT_NE(combo->EditHandle(), nullptr);
    combo->SetSorted(true);
    combo->Items()->Add("a first");
    EXPECT_EQ(combo->Items()->Get(0), "a first");
}

// A hidden panel's combo box keeps what code puts into it without making a window, and its window,
// made when the panel is shown, holds the same items, objects, selection and text.
TEST_F(StdControls, ComboOfAHiddenPanelKeepsItsItemsUntilItsWindowIsMade) {
    auto* panel = new TPanel(form);
    panel->SetVisible(false);
    panel->SetParent(form);
    auto* combo = new TComboBox(form);
    combo->SetParent(panel);
    Counter changes;
    combo->OnChange = changes.Event();
    combo->Items()->Add("Alpha");
    combo->Items()->AddObject("Beta", reinterpret_cast<TObject*>(form));
    combo->Items()->Insert(0, "Zero");
    combo->Items()->Insert(-1, "Last");
    EXPECT_EQ(MessageOf<EOutOfResources>([&] { combo->Items()->Insert(9, "far"); }), L"Unable to insert a line");
    EXPECT_EQ(combo->Items()->Count(), 4);
    EXPECT_EQ(combo->Items()->Get(1), "Alpha");
    EXPECT_EQ(combo->Items()->Get(7), "");
    EXPECT_EQ(combo->Items()->IndexOf("beta"), 2);
    EXPECT_EQ(combo->Items()->GetObject(2), reinterpret_cast<TObject*>(form));
    EXPECT_EQ(MessageOf<EStringListError>([&] { combo->Items()->GetObject(7); }), L"List index out of bounds (7)");

    // Selection and text follow the window's rules.
    combo->SetItemIndex(2);
    EXPECT_EQ(combo->Text(), "Beta");
    combo->Items()->Insert(0, "first");  // the selection moves with its item
    EXPECT_EQ(combo->ItemIndex(), 3);
    combo->Items()->Delete(0);
    EXPECT_EQ(combo->ItemIndex(), 2);
    combo->SetText("Alpha");
    EXPECT_EQ(combo->ItemIndex(), 1);
    combo->SetText("typed");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Text(), "typed");
    combo->SetItemIndex(9);  // out of range: none
    EXPECT_EQ(combo->ItemIndex(), -1);
    combo->SetItemIndex(3);
    combo->Items()->Delete(3);  // the selected item goes: no selection
    EXPECT_EQ(combo->ItemIndex(), -1);
    combo->SetItemIndex(2);
    EXPECT_EQ(changes.n, 0);
    EXPECT_FALSE(combo->HandleAllocated());
    EXPECT_FALSE(panel->HandleAllocated());

    panel->Show();
    ASSERT_TRUE(combo->HandleAllocated());
    HWND h = combo->WindowHandle();
    EXPECT_EQ(SendMessageA(h, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(h, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageA(h, CB_GETITEMDATA, 2, 0), reinterpret_cast<LRESULT>(form));
    EXPECT_EQ(WindowText(h), "Beta");
    EXPECT_EQ(combo->Items()->Get(0), "Zero");
    EXPECT_EQ(changes.n, 0);

    // Cleared while hidden again without window: a drop-down list then shows no text.
    auto* list = new TComboBox(form);
    list->SetStyle(TComboBoxStyle::csDropDownList);
    list->SetVisible(false);
    list->SetParent(panel);
    list->Items()->Add("one");
    list->Items()->Add("two");
    list->SetText("two");
    EXPECT_EQ(list->ItemIndex(), 1);
    list->SetText("none of them");
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(list->Text(), "");
    list->SetItemIndex(0);
    list->Items()->Clear();
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(list->Text(), "");
    list->Items()->Add("three");
    EXPECT_FALSE(list->HandleAllocated());
    list->Show();
    EXPECT_EQ(SendMessageA(list->Handle(), CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageA(list->Handle(), CB_GETCURSEL, 0, 0), CB_ERR);

    // Only the window sorts: a sorted box makes its window for its items.
    auto* sorted = new TComboBox(form);
    sorted->SetVisible(false);
    sorted->SetParent(panel);
    sorted->SetSorted(true);
    sorted->Items()->Add("b");
    sorted->Items()->Add("a");
    EXPECT_TRUE(sorted->HandleAllocated());
    EXPECT_EQ(sorted->Items()->Get(0), "a");
}

TEST_F(StdControls, ComboUserSelectionAndTyping) {
    auto* combo = Make<TComboBox>();
    combo->Items()->Add("red");
    combo->Items()->Add("green");
    Counter clicks, changes, selects;
    combo->OnClick = clicks.Event();
    combo->OnChange = changes.Event();
    // A pick by the user: OnClick, then OnChange when there is no OnSelect ...
    SendMessageA(combo->Handle(), CB_SETCURSEL, 1, 0);
    Notify(combo, CBN_SELCHANGE);
    EXPECT_EQ(clicks.n, 1);
    EXPECT_EQ(changes.n, 1);
    EXPECT_EQ(combo->Text(), "green");
    EXPECT_EQ(combo->ItemIndex(), 1);
    // ... and OnSelect instead when there is one.
    combo->OnSelect = selects.Event();
    SendMessageA(combo->Handle(), CB_SETCURSEL, 0, 0);
    Notify(combo, CBN_SELCHANGE);
    EXPECT_EQ(clicks.n, 2);
    EXPECT_EQ(selects.n, 1);
    EXPECT_EQ(changes.n, 1);

    // Typing into the edit part goes through the control's key handling and reports a change.
    ASSERT_NE(combo->EditHandle(), nullptr);
    std::string keys;
    combo->OnKeyPress = [&](TObject*, char& key) {
        keys += key;
        if (key == 'q') key = 0;  // consumed
    };
    SendMessageA(combo->EditHandle(), EM_SETSEL, 3, 3);
    SendMessageA(combo->EditHandle(), WM_CHAR, 'X', 1);
    SendMessageA(combo->EditHandle(), WM_CHAR, 'q', 1);
    EXPECT_EQ(keys, "Xq");
    EXPECT_EQ(combo->Text(), "redX");
    EXPECT_EQ(changes.n, 2);

    combo->SetDroppedDown(true);
    EXPECT_TRUE(combo->DroppedDown());
    SendMessageA(combo->EditHandle(), WM_CHAR, VK_ESCAPE, 1);
    EXPECT_FALSE(combo->DroppedDown());
}

TEST_F(StdControls, ComboEnteredAndLeftThroughItsEditPart) {
    auto* combo = Make<TComboBox>(8, 8);
    auto* other = Make<TEdit>(8, 60);
    Counter enters, exits;
    combo->OnEnter = enters.Event();
    combo->OnExit = exits.Event();
    other->SetFocus();
    combo->SetFocus();
    EXPECT_EQ(GetFocus(), combo->EditHandle());
    EXPECT_EQ(form->ActiveControl(), combo);
    EXPECT_EQ(enters.n, 1);
    EXPECT_EQ(exits.n, 0);
    other->SetFocus();
    EXPECT_EQ(exits.n, 1);
    // Straight into the edit part (a click there).
    SetFocus(combo->EditHandle());
    EXPECT_EQ(enters.n, 2);
    EXPECT_EQ(form->ActiveControl(), combo);
}

TEST_F(StdControls, ButtonSetsModalResultAndClicks) {
    auto* ok = Make<TButton>(8, 100);
    ok->SetCaption("&OK");
    ok->SetModalResult(mrOk);
    ok->SetDefault(true);
    auto* cancel = Make<TButton>(100, 100);
    cancel->SetModalResult(mrCancel);
    cancel->SetCancel(true);
    Counter clicks;
    ok->OnClick = clicks.Event();
    EXPECT_EQ(WindowText(ok->Handle()), "&OK");
    EXPECT_NE(GetWindowLongPtrA(ok->Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);

    SendMessageA(ok->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(clicks.n, 1);
    EXPECT_EQ(cancel->Perform(CM_DIALOGKEY, VK_ESCAPE, 0), 1);
    EXPECT_EQ(form->ModalResult(), mrCancel);
    EXPECT_EQ(cancel->Perform(CM_DIALOGKEY, VK_RETURN, 0), 0);
    EXPECT_EQ(ok->Perform(CM_DIALOGKEY, VK_RETURN, 0), 1);
    EXPECT_EQ(ok->Perform(CM_DIALOGCHAR, 'o', 0), 1);
    EXPECT_EQ(clicks.n, 3);
    EXPECT_EQ(form->ModalResult(), mrOk);
}

TEST_F(StdControls, CheckBoxStateAndClicks) {
    auto* box = Make<TCheckBox>();
    box->SetCaption("Check me");
    Counter clicks;
    box->OnClick = clicks.Event();
    EXPECT_EQ(WindowText(box->Handle()), "Check me");
    // From code: a change clicks, the same value does not.
    box->SetChecked(true);
    EXPECT_EQ(clicks.n, 1);
    EXPECT_EQ(SendMessageA(box->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    box->SetChecked(true);
    EXPECT_EQ(clicks.n, 1);
    // By the user: toggles.
    SendMessageA(box->Handle(), BM_CLICK, 0, 0);
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(clicks.n, 2);
    box->SetAllowGrayed(true);
    SendMessageA(box->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(box->State(), TCheckBoxState::cbGrayed);
    EXPECT_EQ(SendMessageA(box->Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    box->RecreateWnd();
    EXPECT_EQ(SendMessageA(box->Handle(), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    SendMessageA(box->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(box->State(), TCheckBoxState::cbChecked);
    EXPECT_EQ(clicks.n, 4);

    // An action pushes its Checked without a click.
    auto* action = new TAction(form);
    box->SetChecked(false);
    clicks.n = 0;
    box->SetAction(action);
    action->SetChecked(true);
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(clicks.n, 0);
}

TEST_F(StdControls, RadioButtonsUncheckTheirSiblings) {
    auto* a = Make<TRadioButton>(8, 8);
    auto* b = Make<TRadioButton>(8, 40);
    Counter clicksA, clicksB;
    a->OnClick = clicksA.Event();
    b->OnClick = clicksB.Event();
    a->SetChecked(true);
    EXPECT_EQ(clicksA.n, 1);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_EQ(SendMessageA(a->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(clicksA.n, 1);  // unchecking does not click
    EXPECT_EQ(clicksB.n, 1);
    SendMessageA(a->Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(a->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_EQ(clicksA.n, 2);
}

TEST_F(StdControls, RadioGroupChoiceAndLayout) {
    auto* group = Make<TRadioGroup>(8, 8);
    group->SetBounds(8, 8, 300, 150);
    group->SetCaption("Storage");
    Counter clicks;
    group->OnClick = clicks.Event();
    group->Items()->Add("Registry");
    group->Items()->Add("INI file");
    group->Items()->Add("Nothing");
    ASSERT_EQ(group->ButtonCount(), 3);
    EXPECT_EQ(WindowText(group->Handle()), "Storage");
    EXPECT_EQ(WindowText(group->Buttons(1)->Handle()), "INI file");
    EXPECT_TRUE(IsWindowVisible(group->Buttons(2)->Handle()));
    EXPECT_EQ(group->ItemIndex(), -1);

    // From code: checks the button and clicks once; limits; -1 unchecks without a click.
    group->SetItemIndex(1);
    EXPECT_EQ(clicks.n, 1);
    EXPECT_EQ(SendMessageA(group->Buttons(1)->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    group->SetItemIndex(1);
    EXPECT_EQ(clicks.n, 1);
    group->SetItemIndex(10);
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_FALSE(group->Buttons(1)->Checked());
    EXPECT_EQ(clicks.n, 2);
    group->SetItemIndex(-5);
    EXPECT_EQ(group->ItemIndex(), -1);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(group->Buttons(i)->Checked());
    EXPECT_EQ(clicks.n, 2);

    // By the user.
    SendMessageA(group->Buttons(0)->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(group->ItemIndex(), 0);
    EXPECT_EQ(clicks.n, 3);

    // Fewer items: an index past the end becomes the last item.
    group->SetItemIndex(2);
    group->Items()->Delete(2);
    EXPECT_EQ(group->ButtonCount(), 2);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_TRUE(group->Buttons(1)->Checked());

    // 5 items in 2 columns: 3 in the first, 2 in the second.
    group->Items()->Clear();
    for (const char* s : {"a", "b", "c", "d", "e"}) group->Items()->Add(s);
    group->SetColumns(2);
    int firstLeft = group->Buttons(0)->Left();
    int inFirst = 0;
    for (int i = 0; i < 5; ++i) inFirst += group->Buttons(i)->Left() == firstLeft ? 1 : 0;
    EXPECT_EQ(inFirst, 3);
    EXPECT_GT(group->Buttons(3)->Left(), firstLeft);
    EXPECT_EQ(group->Buttons(3)->Top(), group->Buttons(0)->Top());
    EXPECT_GT(group->Buttons(1)->Top(), group->Buttons(0)->Top());
    group->SetColumns(0);
    EXPECT_EQ(group->Columns(), 1);

    // Disabling the group disables its buttons.
    group->SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(group->Buttons(4)->Handle()));
}

TEST_F(StdControls, RadioGroupLoadedWithAStoredIndex) {
    auto* group = new TRadioGroup(form);
    group->SetLoadingState(true);
    group->Items()->Add("x");
    group->Items()->Add("y");
    group->SetItemIndex(7);  // only stored while loading
    EXPECT_EQ(group->ButtonCount(), 0);
    group->SetParent(form);
    group->Loaded();
    ASSERT_EQ(group->ButtonCount(), 2);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_TRUE(group->Buttons(1)->Checked());
}

TEST_F(StdControls, GroupBoxCaptionAndAccelerator) {
    auto* box = Make<TGroupBox>();
    box->SetCaption("&Options");
    auto* inner = new TEdit(form);
    inner->SetParent(box);
    inner->SetBounds(10, 20, 100, 22);
    EXPECT_EQ(WindowText(box->Handle()), "&Options");
    EXPECT_EQ(box->Perform(CM_DIALOGCHAR, 'O', 0), 1);
    EXPECT_EQ(GetFocus(), inner->Handle());
}

}  // namespace
