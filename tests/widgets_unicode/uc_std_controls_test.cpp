// The wide label and the wide combo box with its wide items.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "classlib/conversions.h"
#include "classlib/timer.h"
#include "exception_text.h"
#include "painted_ink.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using classlib::WideToAnsi;
using quill_test::InkOf;
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
    // Painting draws the wide text, not the question marks of its ANSI form.
    form->Show();
    label->SetAutoSize(false);  // one size for both shots
    label->SetBounds(8, 8, 200, 30);
    auto shot = [&](const std::wstring& Caption) {
        label->SetCaption(Caption);
        RedrawWindow(form->WindowHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Pump(10);
        std::vector<COLORREF> pixels;
        HDC dc = GetDC(form->WindowHandle());
        for (int y = label->Top(); y < label->Top() + label->Height(); ++y)
            for (int x = label->Left(); x < label->Left() + label->Width(); ++x) pixels.push_back(GetPixel(dc, x, y));
        ReleaseDC(form->WindowHandle(), dc);
        return pixels;
    };
    const std::vector<COLORREF> marks = shot(classlib::AnsiToWide(WideToAnsi(kGreek))), greek = shot(kGreek);
    EXPECT_NE(std::count(greek.begin(), greek.end(), GetSysColor(COLOR_WINDOWTEXT)), 0);
    EXPECT_NE(greek, marks);

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

// Without a window (a hidden panel's box) the wide items and text are kept with their wide
// characters and reach the Unicode window when it is made.
TEST_F(WideStdControlsTest, ComboBoxWithoutWindowKeepsWideItemsForItsWindow) {
    auto* panel = new widgets::TUcPanel(form);
    panel->SetParent(form);
    panel->SetVisible(false);
    auto* combo = new TUcComboBox(form);
    combo->SetParent(panel);
    combo->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    combo->Items()->Add(L"plain");
    combo->Items()->AddObject(kGreek, reinterpret_cast<classlib::TObject*>(form));
    combo->Items()->Insert(0, kCjk);
    EXPECT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->Items()->Get(0), kCjk);
    EXPECT_EQ(combo->Items()->Get(2), kGreek);
    EXPECT_EQ(combo->Items()->IndexOf(kGreek), 2);
    combo->SetItemIndex(2);
    EXPECT_EQ(combo->Text(), kGreek);
    combo->Items()->Delete(0);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Items()->Get(0), L"plain");
    // An item changed through the ANSI list reads as that list has it.
    combo->AnsiItems()->Add("ansi");
    EXPECT_EQ(combo->Items()->Get(2), L"ansi");
    EXPECT_FALSE(combo->HandleAllocated());

    form->Show();
    panel->Show();
    ASSERT_TRUE(combo->HandleAllocated());
    HWND h = combo->WindowHandle();
    ASSERT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(SendMessageW(h, CB_GETCOUNT, 0, 0), 3);
    wchar_t text[64] = {};
    SendMessageW(h, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), kGreek);
    EXPECT_EQ(SendMessageW(h, CB_GETITEMDATA, 1, 0), reinterpret_cast<LRESULT>(form));
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), kGreek);

    // Its window gone, the box keeps its items again as it had them.
    combo->DestroyHandle();
    EXPECT_EQ(combo->Items()->Count(), 3);
    EXPECT_EQ(combo->Items()->Get(1), kGreek);
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_FALSE(combo->HandleAllocated());
    EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCURSEL, 0, 0), 1);
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

// An item drawn as the window asks its parent to: WM_DRAWITEM to the form.
void SendDrawItem(TUcComboBox* combo, HWND form, HDC dc, RECT r, UINT index, UINT state) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_COMBOBOX;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(combo->Handle()));
    dis.itemID = index;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = state;
    dis.hwndItem = combo->Handle();
    dis.hDC = dc;
    dis.rcItem = r;
    SendMessageW(form, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
}

TEST_F(WideStdControlsTest, OwnerDrawnComboBoxDrawsTheWideItemText) {
    auto* combo = new TUcComboBox(form);
    combo->SetParent(form);
    combo->SetStyle(classlib::TComboBoxStyle::csOwnerDrawFixed);
    combo->SetItemHeight(22);
    HWND h = combo->Handle();
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE | 3),
              CBS_OWNERDRAWFIXED | CBS_DROPDOWNLIST);
    EXPECT_EQ(combo->EditHandle(), nullptr);
    EXPECT_EQ(SendMessageW(h, CB_GETITEMHEIGHT, 0, 0), 22);
    combo->Items()->Add(L"x");
    combo->Items()->Add(kCjk);

    // Through the parent's WM_DRAWITEM: the fill, then the wide text at left + 2, top, as the
    // wide text call draws it in the control's font (the ANSI form, "?" each, would differ).
    const RECT item{10, 5, 230, 27};
    const COLORREF text = classlib::ColorToRGB(combo->Font()->Color());
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF back = RGB(255, 250, 205);
    combo->SetColor(static_cast<classlib::TColor>(back));
    auto drawn = InkOf(text, 240, 32, [&](HDC dc) { SendDrawItem(combo, form->Handle(), dc, item, 1, 0); });
    auto reference = [&](auto&& Out) {
        return InkOf(text, 240, 32, [&](HDC dc) {
            HGDIOBJ old = SelectObject(dc, combo->Font()->Handle());
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, text);
            Out(dc);
            SelectObject(dc, old);
        });
    };
    auto wide = reference([&](HDC dc) { TextOutW(dc, 12, 5, kCjk.c_str(), static_cast<int>(kCjk.size())); });
    std::string ansiText = WideToAnsi(kCjk);
    auto ansi = reference([&](HDC dc) { TextOutA(dc, 12, 5, ansiText.c_str(), static_cast<int>(ansiText.size())); });
    EXPECT_GT(drawn.Count, 20);
    EXPECT_EQ(drawn.Left, wide.Left);
    EXPECT_EQ(drawn.Right, wide.Right);
    EXPECT_EQ(drawn.Count, wide.Count);
    EXPECT_TRUE(drawn.Count != ansi.Count || drawn.Right != ansi.Right);
    auto outside = InkOf(RGB(255, 255, 255), 240, 32, [&](HDC dc) {
        SendDrawItem(combo, form->Handle(), dc, item, 1, 0);
    });
    EXPECT_EQ(outside.Count, 240 * 32 - 22 * 220);  // the item filled with the box colour, nothing else

    // Selected: the highlight fill; an index past the items only fills; no item (-1) fills with
    // the control's colour.
    auto selected = InkOf(highlight, 240, 32, [&](HDC dc) {
        SendDrawItem(combo, form->Handle(), dc, item, 1, ODS_SELECTED);
    });
    EXPECT_GT(selected.Count, 22 * 220 / 2);
    EXPECT_LT(selected.Count, 22 * 220 - 20);
    EXPECT_EQ(InkOf(highlight, 240, 32, [&](HDC dc) {
                  SendDrawItem(combo, form->Handle(), dc, item, 7, ODS_SELECTED);
              }).Count,
              22 * 220);
    EXPECT_EQ(InkOf(back, 240, 32, [&](HDC dc) {
                  SendDrawItem(combo, form->Handle(), dc, item, static_cast<UINT>(-1), ODS_SELECTED);
              }).Count,
              22 * 220);
}

TEST_F(WideStdControlsTest, OwnerDrawnComboBoxCallsItsDrawAndMeasureEvents) {
    auto* combo = new TUcComboBox(form);
    combo->SetParent(form);
    combo->SetStyle(classlib::TComboBoxStyle::csOwnerDrawVariable);
    std::vector<int> measured;
    combo->OnMeasureItem = [&](classlib::TWinControl* Control, int Index, int& Height) {
        EXPECT_EQ(Control, combo);
        EXPECT_EQ(Height, combo->ItemHeight());
        measured.push_back(Index);
        Height = 18 + 4 * Index;
    };
    combo->Items()->Add(L"a");
    combo->Items()->Add(kCjk);
    combo->Items()->Add(kGreek);
    HWND h = combo->Handle();
    EXPECT_EQ(measured, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(SendMessageW(h, CB_GETITEMHEIGHT, 0, 0), 18);
    EXPECT_EQ(SendMessageW(h, CB_GETITEMHEIGHT, 2, 0), 26);
    // Measured again with the items kept when the window is made anew.
    measured.clear();
    combo->SetItemHeight(30);
    EXPECT_EQ(measured, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(combo->Items()->Get(1), kCjk);

    struct TCall {
        int index;
        UINT state;
        std::wstring text;
    };
    std::vector<TCall> calls;
    combo->OnDrawItem = [&](classlib::TWinControl* Control, int Index, RECT Rect, UINT State) {
        EXPECT_EQ(Control, combo);
        calls.push_back({Index, State, combo->Items()->Get(Index)});
        combo->Canvas()->FillRect(Rect);  // the canvas is ready to draw on
    };
    auto filled = InkOf(GetSysColor(COLOR_HIGHLIGHT), 240, 32, [&](HDC dc) {
        SendDrawItem(combo, form->Handle(), dc, RECT{0, 0, 200, 20}, 1, ODS_SELECTED | ODS_FOCUS);
    });
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 1);
    EXPECT_EQ(calls[0].state, static_cast<UINT>(ODS_SELECTED | ODS_FOCUS));
    EXPECT_EQ(calls[0].text, kCjk);
    EXPECT_GT(filled.Count, 200 * 20 / 2);  // the handler filled with the highlight brush

    // The window's own painting of the selected item in the closed box.
    calls.clear();
    combo->SetItemIndex(2);
    form->Show();
    Pump();
    calls.clear();
    RedrawWindow(combo->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().index, 2);
    EXPECT_EQ(calls.back().text, kGreek);
    EXPECT_NE(calls.back().state & ODS_COMBOBOXEDIT, 0u);
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
