// The class library's grids and check list box under Wine: the current cell follows the keyboard
// and the mouse within the fixed cells, asks before it moves, scrolls into view; the editor takes
// and gives back cell texts; check list items keep their states.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/application.h"
#include "classlib/check_list_box.h"
#include "classlib/forms.h"
#include "classlib/grids.h"

using namespace classlib;

namespace {

class Grids : public ::testing::Test {
protected:
    void SetUp() override {
        form = NewForm<TForm>(nullptr);
        form->SetBounds(40, 40, 480, 360);
        grid = new TStringGrid(form);
        grid->SetParent(form);
        grid->SetBounds(8, 8, 300, 150);
        grid->SetColCount(6);
        grid->SetRowCount(20);
        form->Show();
        grid->SetFocus();
        Application()->ProcessMessages();
    }
    void TearDown() override { delete form; }
    void Key(WORD Vk) {
        SendMessageA(GetFocus(), WM_KEYDOWN, Vk, 0);
        Application()->ProcessMessages();
    }
    void Char(char C) {
        SendMessageA(GetFocus(), WM_CHAR, static_cast<BYTE>(C), 0);
        Application()->ProcessMessages();
    }
    TForm* form = nullptr;
    TStringGrid* grid = nullptr;
};

TEST_F(Grids, CurrentCellFollowsTheKeysAndStaysOutOfTheFixedCells) {
    EXPECT_EQ(grid->Col(), 1);
    EXPECT_EQ(grid->Row(), 1);
    Key(VK_LEFT);
    Key(VK_UP);
    EXPECT_EQ(grid->Col(), 1);
    EXPECT_EQ(grid->Row(), 1);
    Key(VK_RIGHT);
    Key(VK_DOWN);
    EXPECT_EQ(grid->Col(), 2);
    EXPECT_EQ(grid->Row(), 2);
    // Far down: the grid scrolls so that the row shows whole.
    Key(VK_NEXT);
    Key(VK_NEXT);
    EXPECT_GT(grid->TopRow(), 1);
    RECT r = grid->CellRect(grid->Col(), grid->Row());
    EXPECT_GT(r.bottom, r.top);
    EXPECT_LE(r.bottom, grid->ClientHeight());
    // Ctrl+End: the last cell.
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    Key(VK_END);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(grid->Col(), 5);
    EXPECT_EQ(grid->Row(), 19);
    EXPECT_EQ(grid->Selection(), (TGridRect{5, 19, 5, 19}));
}

TEST_F(Grids, SelectCellRefusalKeepsTheCurrentCell) {
    int asked = 0;
    grid->OnSelectCell = [&](TObject*, int ACol, int, bool& CanSelect) {
        ++asked;
        CanSelect = ACol != 3;
    };
    grid->SetCol(2);
    EXPECT_EQ(grid->Col(), 2);
    Key(VK_RIGHT);
    EXPECT_EQ(grid->Col(), 2);
    grid->SetCol(4);
    EXPECT_EQ(grid->Col(), 4);
    EXPECT_EQ(asked, 3);
}

TEST_F(Grids, ClickSelectsTheCellUnderTheMouse) {
    RECT r = grid->CellRect(3, 2);
    int c = -1, row = -1;
    grid->MouseToCell(r.left + 2, r.top + 2, c, row);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(row, 2);
    SendMessageA(grid->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 2, r.top + 2));
    SendMessageA(grid->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 2, r.top + 2));
    EXPECT_EQ(grid->Col(), 3);
    EXPECT_EQ(grid->Row(), 2);
    // A fixed cell is never the current one.
    RECT fixed = grid->CellRect(0, 0);
    SendMessageA(grid->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fixed.left + 2, fixed.top + 2));
    SendMessageA(grid->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(fixed.left + 2, fixed.top + 2));
    EXPECT_EQ(grid->Col(), 3);
    grid->MouseToCell(-1, 5, c, row);
    EXPECT_EQ(c, -1);
}

TEST_F(Grids, EditorTakesTypedTextAndEscapeGivesTheCellBack) {
    grid->SetOptions(grid->Options() | goEditing);
    grid->SetCells(1, 1, "old");
    Char('n');
    ASSERT_TRUE(grid->EditorMode());
    EXPECT_EQ(grid->InplaceEditor()->Text(), "n");
    Char('e');
    Char('w');
    Char('\r');
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(grid->Cells(1, 1), "new");
    // F2 shows the text; Escape abandons what was typed.
    Key(VK_F2);
    ASSERT_TRUE(grid->EditorMode());
    EXPECT_EQ(grid->InplaceEditor()->Text(), "new");
    Char('x');
    Key(VK_ESCAPE);
    EXPECT_FALSE(grid->EditorMode());
    EXPECT_EQ(grid->Cells(1, 1), "new");
    // Moving away with an arrow takes the typed text.
    Char('y');
    Key(VK_DOWN);
    EXPECT_EQ(grid->Cells(1, 1), "y");
    EXPECT_EQ(grid->Row(), 2);
}

TEST_F(Grids, ShrinkingDropsCellsAndKeepsTheCurrentCellInside) {
    grid->SetCells(5, 19, "last");
    grid->SetCol(5);
    grid->SetRow(19);
    grid->SetColCount(3);
    grid->SetRowCount(4);
    EXPECT_EQ(grid->Col(), 2);
    EXPECT_EQ(grid->Row(), 3);
    grid->SetColCount(6);
    grid->SetRowCount(20);
    EXPECT_EQ(grid->Cells(5, 19), "");
    EXPECT_THROW(grid->SetCells(6, 0, "x"), EInvalidOperation);
    EXPECT_THROW(grid->SetFixedRows(20), EInvalidOperation);
}

TEST(BinaryCompareList, SortsByBytesAndRefusesDuplicates) {
    TBinaryCompareAnsiStringList list;
    list.Add("b");
    list.Add("B");
    list.Add("a");
    list.Add("\xE9");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Strings(0), "B");
    EXPECT_EQ(list.Strings(1), "a");
    EXPECT_EQ(list.Strings(2), "b");
    EXPECT_EQ(list.Strings(3), "\xE9");
    EXPECT_EQ(list.IndexOf("b"), 2);
    EXPECT_EQ(list.IndexOf("A"), -1);
    EXPECT_THROW(list.Add("a"), EStringListError);
    EXPECT_EQ(list.Count(), 4);
}

TEST_F(Grids, CheckListItemsToggleByClickAndSpaceAndKeepTheirStates) {
    auto* list = new TCheckListBox(form);
    list->SetParent(form);
    list->SetBounds(8, 170, 200, 120);
    list->Items()->Add("one");
    list->Items()->AddObject("two", form);
    list->Items()->Add("three");
    int clicks = 0;
    list->OnClickCheck = [&](TObject*) { ++clicks; };
    RECT r = list->ItemRect(0);
    SendMessageA(list->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 3, r.top + 3));
    SendMessageA(list->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 3, r.top + 3));
    EXPECT_TRUE(list->Checked(0));
    EXPECT_EQ(clicks, 1);
    // A click on the text selects without toggling.
    SendMessageA(list->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 60, r.top + 3));
    SendMessageA(list->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 60, r.top + 3));
    EXPECT_TRUE(list->Checked(0));
    list->SetItemEnabled(1, false);
    list->SetItemIndex(1);
    list->SetFocus();
    SendMessageA(list->Handle(), WM_CHAR, ' ', 0);
    EXPECT_FALSE(list->Checked(1));
    list->SetAllowGrayed(true);
    list->SetItemIndex(2);
    SendMessageA(list->Handle(), WM_CHAR, ' ', 0);
    SendMessageA(list->Handle(), WM_CHAR, ' ', 0);
    EXPECT_EQ(list->State(2), TCheckBoxState::cbGrayed);
    EXPECT_EQ(clicks, 3);
    list->SetHeader(0, true);
    // The item's object stays its own.
    EXPECT_EQ(list->Items()->Objects(1), form);
    list->RecreateWnd();
    EXPECT_TRUE(list->Checked(0));
    EXPECT_TRUE(list->Header(0));
    EXPECT_FALSE(list->ItemEnabled(1));
    EXPECT_EQ(list->State(2), TCheckBoxState::cbGrayed);
    EXPECT_EQ(list->Items()->Objects(1), form);
    // Setting a state from code runs nothing.
    list->SetChecked(2, true);
    EXPECT_EQ(clicks, 3);
    list->Items()->Delete(0);
    EXPECT_FALSE(list->Header(0));
    EXPECT_TRUE(list->Checked(1));
}

}  // namespace
