// Wide grids and the wide check list box under Wine: cells keep texts outside the ANSI code page
// as UTF-8, a typed character above 255 opens the wide editor with it, rows and columns read as
// wide lists; the check list keeps wide items and their states across a new window.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "uc_test_support.h"
#include "unicode/wide_codecs.h"
#include "widgets/unicode/uc_check_list_box.h"
#include "widgets/unicode/uc_graphics.h"
#include "widgets/unicode/uc_grids.h"

using namespace uctest;
using namespace widgets;

namespace {

class WideGridsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 460, 340);
        grid = new TUcStringGrid(form);
        grid->SetParent(form);
        grid->SetBounds(8, 8, 400, 160);
        grid->SetOptions(grid->Options() | classlib::goEditing);
        form->Show();
        grid->SetFocus();
        Pump();
    }
    TUcStringGrid* grid = nullptr;
    classlib::TForm* form = nullptr;
};

TEST_F(WideGridsTest, CellsKeepWideTextsAsUtf8InTheAnsiCells) {
    int changes = 0;
    grid->OnCellChange = [&](classlib::TObject*) { ++changes; };
    grid->SetCells(2, 3, kCjk);
    EXPECT_EQ(grid->Cells(2, 3), kCjk);
    EXPECT_EQ(grid->AnsiGrid()->Cells(2, 3), unicode::UTF8EncodeWide(kCjk));
    EXPECT_EQ(changes, 1);
    // The same text again leaves the ANSI cell alone.
    grid->SetCells(2, 3, kCjk);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(IsWindowUnicode(grid->Handle()));
    EXPECT_EQ(ClassNameOf(grid->Handle()), L"TUcStringGrid.UnicodeClass");
    // Rows and columns as wide lists, made once.
    TUcStringGridStrings* row = grid->Rows(3);
    EXPECT_EQ(row, grid->Rows(3));
    EXPECT_EQ(row->Count(), grid->ColCount());
    EXPECT_EQ(row->Strings(2), kCjk);
    grid->Cols(1)->Put(3, kGreek);
    EXPECT_EQ(row->Strings(1), kGreek);
    EXPECT_EQ(row->Add(L"x"), 0);
    EXPECT_EQ(grid->Cells(0, 3), L"x");
    EXPECT_THROW(row->Insert(0, L"y"), classlib::EInvalidOperation);
}

TEST_F(WideGridsTest, TypedCharacterAbove255OpensTheEditorWithIt) {
    grid->SetCells(1, 1, kGreek);
    std::wstring stored;
    grid->OnSetEditText = [&](classlib::TObject*, int, int, const std::wstring& Value) { stored = Value; };
    SendMessageW(grid->Handle(), WM_CHAR, 0x65E5, 0);
    Pump();
    ASSERT_TRUE(grid->EditorMode());
    auto* editor = dynamic_cast<TUcInplaceEdit*>(grid->InplaceEditor());
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(IsWindowUnicode(editor->Handle()));
    EXPECT_EQ(editor->Text(), L"\x65E5");
    SendMessageW(editor->Handle(), WM_CHAR, 0x672C, 0);
    SendMessageW(editor->Handle(), WM_CHAR, '\r', 0);
    Pump();
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(grid->Cells(1, 1), L"\x65E5\x672C");
    EXPECT_EQ(stored, L"\x65E5\x672C");
    // F2 shows the wide cell; the wide edit event may change what the editor shows.
    grid->OnGetEditText = [](classlib::TObject*, int, int, std::wstring& Value) { Value += L"!"; };
    SendMessageW(grid->Handle(), WM_KEYDOWN, VK_F2, 0);
    ASSERT_TRUE(grid->EditorMode());
    EXPECT_EQ(editor->Text(), L"\x65E5\x672C!");
    // Control characters other than backspace stay the grid's.
    SendMessageW(editor->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(grid->EditorMode());
    SendMessageW(grid->Handle(), WM_CHAR, 9, 0);
    EXPECT_FALSE(grid->EditorMode());
}

TEST_F(WideGridsTest, ClickOnTheCurrentCellEditsAndPastesWideText) {
    grid->SetCells(1, 1, kCjk);
    RECT r = grid->CellRect(1, 1);
    SendMessageW(grid->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 3, r.top + 3));
    SendMessageW(grid->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 3, r.top + 3));
    ASSERT_TRUE(grid->EditorMode());
    auto* editor = dynamic_cast<TUcInplaceEdit*>(grid->InplaceEditor());
    EXPECT_EQ(editor->Text(), kCjk);
    UcClipboard()->SetAsWideText(kGreek);
    SendMessageW(editor->Handle(), EM_SETSEL, 0, -1);
    SendMessageW(editor->Handle(), WM_PASTE, 0, 0);
    // Another cell: the pasted text goes into the first.
    SendMessageW(editor->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(grid->Cells(1, 1), kGreek);
    EXPECT_EQ(grid->Row(), 2);
}

TEST_F(WideGridsTest, AnsiPlatformKeepsCellsAndEditsThroughTheAnsiWindow) {
    unicode::ForcePlatformForTesting(false);
    auto* ansi = new TUcStringGrid(form);
    ansi->SetParent(form);
    ansi->SetBounds(8, 180, 300, 100);
    ansi->SetOptions(ansi->Options() | classlib::goEditing);
    EXPECT_FALSE(IsWindowUnicode(ansi->Handle()));
    ansi->SetCells(1, 1, L"caf\x00E9");
    EXPECT_EQ(ansi->Cells(1, 1), L"caf\x00E9");
    ansi->SetFocus();
    SendMessageA(ansi->Handle(), WM_CHAR, 0xE9, 0);
    Pump();
    ASSERT_TRUE(ansi->EditorMode());
    SendMessageA(ansi->InplaceEditor()->Handle(), WM_CHAR, '\r', 0);
    EXPECT_EQ(ansi->Cells(1, 1), L"\x00E9");
}

TEST_F(WideGridsTest, DrawGridEditsThroughItsWideEvents) {
    auto* draw = new TUcDrawGrid(form);
    draw->SetParent(form);
    draw->SetBounds(8, 180, 300, 100);
    draw->SetOptions(draw->Options() | classlib::goEditing);
    std::wstring value = kGreek;
    draw->OnGetEditText = [&](classlib::TObject*, int, int, std::wstring& V) { V = value; };
    draw->OnSetEditText = [&](classlib::TObject*, int, int, const std::wstring& V) { value = V; };
    int drawn = 0;
    draw->OnDrawCell = [&](classlib::TObject*, int, int, RECT, classlib::TGridDrawState) { ++drawn; };
    draw->SetFocus();
    SendMessageW(draw->Handle(), WM_KEYDOWN, VK_F2, 0);
    ASSERT_TRUE(draw->EditorMode());
    EXPECT_EQ(UcControl_GetText(draw->InplaceEditor()), kGreek);
    SendMessageW(draw->InplaceEditor()->Handle(), WM_CHAR, 0x65E5, 0);
    SendMessageW(draw->InplaceEditor()->Handle(), WM_CHAR, '\r', 0);
    EXPECT_EQ(value, L"\x65E5");
    UpdateWindow(draw->Handle());
    RedrawWindow(draw->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(drawn, 0);
}

TEST_F(WideGridsTest, CheckListKeepsWideItemsAndStatesAcrossANewWindow) {
    auto* list = new TUcCheckListBox(form);
    list->SetParent(form);
    list->SetBounds(8, 180, 220, 120);
    list->Items()->Add(kGreek);
    list->Items()->AddObject(kCjk, form);
    list->Items()->Add(L"plain");
    EXPECT_TRUE(IsWindowUnicode(list->Handle()));
    EXPECT_EQ(ClassNameOf(list->Handle()), L"TUcCheckListBox.UnicodeClass");
    list->SetChecked(1, true);
    list->SetHeader(0, true);
    list->SetItemEnabled(2, false);
    list->SetItemIndex(1);
    list->RecreateWnd();
    EXPECT_EQ(list->Items()->Strings(0), kGreek);
    EXPECT_EQ(list->Items()->Strings(1), kCjk);
    EXPECT_EQ(list->Items()->Objects(1), form);
    EXPECT_TRUE(list->Header(0));
    EXPECT_TRUE(list->Checked(1));
    EXPECT_FALSE(list->ItemEnabled(2));
    EXPECT_EQ(list->ItemIndex(), 1);
    wchar_t buf[64] = {};
    SendMessageW(list->Handle(), LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf));
    EXPECT_EQ(std::wstring(buf), kCjk);
    // The user checks an item by its box; the wide copy of the selection keeps the wide text.
    int clicks = 0;
    list->OnClickCheck = [&](classlib::TObject*) { ++clicks; };
    RECT r = list->ItemRect(1);
    SendMessageW(list->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 3, r.top + 3));
    SendMessageW(list->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 3, r.top + 3));
    EXPECT_FALSE(list->Checked(1));
    EXPECT_EQ(clicks, 1);
    auto* other = new TUcCheckListBox(form);
    other->SetParent(form);
    list->CopySelection(other);
    ASSERT_EQ(other->Items()->Count(), 1);
    EXPECT_EQ(other->Items()->Strings(0), kCjk);
}

}  // namespace
