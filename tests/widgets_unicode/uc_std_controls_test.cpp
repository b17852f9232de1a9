// The wide label and the wide combo box with its wide items.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "classlib/timer.h"
#include "exception_text.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using classlib::WideToAnsi;
using widgets::TUcComboBox;
using widgets::TUcLabel;

namespace {

class WideStdControlsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new widgets::TUcForm(classlib::Application());
        form->SetBounds(150, 150, 320, 220);
    }
    widgets::TUcForm* form = nullptr;
};

TEST_F(WideStdControlsTest, LabelKeepsItsWideCaptionUntilAnsiCodeChangesIt) {
    auto* label = new TUcLabel(form);
    label->SetParent(form);
    label->SetCaption(kCjk);
    EXPECT_EQ(label->Caption(), kCjk);
    EXPECT_EQ(label->classlib::TControl::Caption(), WideToAnsi(kCjk));
    EXPECT_EQ(label->GetLabelText(), WideToAnsi(kCjk));
    EXPECT_GT(label->Width(), 0);  // measured with the wide text
    // Same ANSI form, other wide text: still stored.
    std::wstring other = kCjk;
    other[2] = L'\x4E00';
    label->SetCaption(other);
    EXPECT_EQ(label->Caption(), other);
    // ANSI code sets another caption: the wide one follows it.
    label->classlib::TControl::SetCaption("Plain");
    EXPECT_EQ(label->Caption(), L"Plain");
    // Painting draws the wide text without trouble.
    label->SetCaption(kGreek);
    form->Show();
    UpdateWindow(form->WindowHandle());
    Pump(10);

    // Hints of a label (no window): CM_HINTSHOW marks the hint information.
    label->SetHint(kGreek + L"|long");
    classlib::THintInfo info;
    info.HintControl = label;
    info.HintWindowClass = &classlib::THintWindow::ClassRef();
    label->Perform(classlib::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.HintWindowClass, &widgets::TUcCustomHintWindow::ClassRef());
    EXPECT_EQ(info.HintStr, WideToAnsi(kGreek));
}

TEST_F(WideStdControlsTest, ComboBoxTextAndItemsAreWide) {
    auto* combo = new TUcComboBox(form);
    combo->SetParent(form);
    combo->SetText(kGreek);  // before the window
    HWND h = combo->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TUcComboBox.UnicodeClass");
    EXPECT_EQ(WindowText(h), kGreek);
    EXPECT_EQ(combo->Text(), kGreek);
    ASSERT_NE(combo->EditHandle(), nullptr);
    EXPECT_TRUE(IsWindowUnicode(combo->EditHandle()));

    combo->Items()->Add(kCjk);
    combo->Items()->Add(L"two");
    combo->Items()->Insert(0, kGreek + L"!");
    ASSERT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->Items()->Get(0), kGreek + L"!");
    EXPECT_EQ(combo->Items()->Get(1), kCjk);
    EXPECT_EQ(combo->AnsiItems()->Get(1), WideToAnsi(kCjk));
    EXPECT_EQ(combo->Items()->IndexOf(kCjk), 1);
    EXPECT_EQ(combo->Items()->IndexOf(L"missing"), -1);
    EXPECT_EQ(combo->Items()->Get(7), L"");
    EXPECT_EQ(quill_test::MessageOf<classlib::EOutOfResources>([&] { combo->Items()->Insert(99, L"x"); }),
              L"Unable to insert a line");

    // Setting the text of an item selects it; the user's selection brings the wide item text.
    combo->SetText(kCjk);
    EXPECT_EQ(combo->ItemIndex(), 1);
    int selects = 0;
    combo->OnSelect = [&](classlib::TObject*) { ++selects; };
    SendMessageW(h, CB_SETCURSEL, 0, 0);
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(selects, 1);
    EXPECT_EQ(combo->Text(), kGreek + L"!");

    // Clearing the items keeps the text.
    combo->SetText(kCjk + L"?");
    combo->Items()->Clear();
    EXPECT_EQ(combo->Items()->Count(), 0);
    EXPECT_EQ(combo->Text(), kCjk + L"?");
}

TEST_F(WideStdControlsTest, ComboBoxKeepsWideItemsAndTextAcrossRecreation) {
    auto* combo = new TUcComboBox(form);
    combo->SetParent(form);
    combo->Items()->Add(kGreek);
    combo->Items()->Add(kCjk);
    combo->SetItemIndex(1);
    combo->SetText(kCjk);
    HWND first = combo->Handle();
    combo->SetStyle(classlib::TComboBoxStyle::csSimple);  // recreates the window
    HWND second = combo->Handle();
    EXPECT_NE(first, second);
    EXPECT_TRUE(IsWindowUnicode(second));
    ASSERT_EQ(combo->Items()->Count(), 2);
    EXPECT_EQ(combo->Items()->Get(0), kGreek);
    EXPECT_EQ(combo->Items()->Get(1), kCjk);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), kCjk);

    // A drop-down list shows only items: the wide item text.
    combo->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    EXPECT_EQ(combo->Items()->Count(), 2);
    combo->SetText(kGreek);
    EXPECT_EQ(combo->ItemIndex(), 0);
    EXPECT_EQ(combo->Text(), kGreek);
}

TEST_F(WideStdControlsTest, TypedWideCharactersReachTheComboBoxEdit) {
    auto* combo = new TUcComboBox(form);
    combo->SetParent(form);
    std::string keys;
    combo->OnKeyPress = [&](classlib::TObject*, char& Key) { keys += Key; };
    HWND edit = combo->EditHandle();
    combo->HandleNeeded();
    edit = combo->EditHandle();
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, WM_CHAR, 0x0416, 1);
    SendMessageW(edit, WM_CHAR, L'z', 1);
    EXPECT_EQ(combo->Text(), L"\x0416z");
    EXPECT_EQ(keys, std::string("\xFF") + "z");
}

TEST_F(WideStdControlsTest, AnsiPlatformComboBoxUsesTheAnsiItems) {
    unicode::ForcePlatformForTesting(false);
    auto* combo = new TUcComboBox(form);
    combo->SetParent(form);
    HWND h = combo->Handle();
    EXPECT_FALSE(IsWindowUnicode(h));
    combo->Items()->Add(kGreek);
    EXPECT_EQ(combo->Items()->Get(0), classlib::AnsiToWide(WideToAnsi(kGreek)));
    combo->SetText(L"caf\x00E9");
    EXPECT_EQ(combo->Text(), L"caf\x00E9");
    unicode::ForcePlatformForTesting(true);
}

}  // namespace
