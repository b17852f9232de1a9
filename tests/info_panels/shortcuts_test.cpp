// The shortcuts window: the commands of an action list with their keys, switches and tokens, sorted by
// the column whose header is clicked (the choice kept in its setting), and a command run by a double
// click on its row, never by one on the header.
#include <windows.h>

#include <gtest/gtest.h>

#include "panel_test_support.h"
#include "settings/settings_catalogue.h"
#include "ui/extraire_frame.h"
#include "ui/help_frame.h"
#include "ui/raccourcis_form.h"
#include "widgets/custom/super_actions.h"

namespace {

using namespace quill_test;
using widgets::custom::TSuperAction;

class ShortcutsTest : public PanelFormTest {
protected:
    void SetUp() override {
        PanelFormTest::SetUp();
        owner_ = std::make_unique<classlib::TComponent>(nullptr);
        list_ = new widgets::TUcActionList(owner_.get());
        keys_.reset(classlib::NewForm<ui::TRaccourcisForm>(nullptr));
    }
    void TearDown() override {
        keys_.reset();
        owner_.reset();
        PanelFormTest::TearDown();
    }
    TSuperAction* Add(const wchar_t* Name, const wchar_t* Caption, classlib::TShortCut Keys, const wchar_t* Switch,
                      const wchar_t* Token) {
        auto* action = new TSuperAction(owner_.get());
        action->SetName(Name);
        action->SetCaption(std::wstring(Caption));
        action->SetShortCut(Keys);
        action->SetSwitch(Switch);
        action->SetToken(Token);
        action->SetActionList(list_);
        action->OnExecute = [this, Name](classlib::TObject*) { ran_.push_back(Name); };
        return action;
    }
    std::vector<std::wstring> Column(int Col) {
        std::vector<std::wstring> cells;
        for (int row = 1; row < keys_->StringGrid1->RowCount(); ++row) cells.push_back(keys_->StringGrid1->Cells(Col, row));
        return cells;
    }
    // A press and release of the left button on a cell, or a double click on it.
    void Click(int Col, int Row, bool Double = false) {
        const RECT cell = keys_->StringGrid1->CellRect(Col, Row);
        const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
        const HWND grid = keys_->StringGrid1->Handle();
        SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(grid, WM_LBUTTONUP, 0, at);
        if (Double) {
            SendMessageW(grid, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            SendMessageW(grid, WM_LBUTTONUP, 0, at);
        }
    }

    std::unique_ptr<classlib::TComponent> owner_;
    widgets::TUcActionList* list_ = nullptr;
    std::unique_ptr<ui::TRaccourcisForm> keys_;
    std::vector<std::wstring> ran_;
};

TEST_F(ShortcutsTest, CommandsAreListedSortedByTheClickedColumnAndRunByADoubleClick) {
    Add(L"acZoom", L"Zoom", VK_F5, L"z", L"zoom");
    Add(L"acBeta", L"alpha", 0, L"b", L"beta");
    Add(L"acAlpha", L"Alpha", static_cast<classlib::TShortCut>('G' | classlib::scCtrl), L"a", L"alpha");
    Add(L"acHidden", L"", VK_F6, L"h", L"hidden");
    // An action that is no super action has no switch or token to show.
    auto* plain = new widgets::TUcAction(owner_.get());
    plain->SetName(L"acPlain");
    plain->SetCaption(std::wstring(L"Plain"));
    plain->SetActionList(list_);
    settings::ParamRaccourcisSort->SetValue(0);

    keys_->Show();
    keys_->FillGrid(list_);
    EXPECT_EQ(L"The commands of Quillotrane 6.0.5En", keys_->Caption());
    EXPECT_EQ(4, keys_->StringGrid1->ColCount());
    EXPECT_EQ(L"Functions", keys_->StringGrid1->Cells(0, 0));
    EXPECT_EQ(L"Script", keys_->StringGrid1->Cells(3, 0));
    EXPECT_EQ(238, keys_->StringGrid1->ColWidths(0));
    // Same captions apart from case: the component names order them.
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"alpha", L"Zoom"}), Column(0));
    EXPECT_EQ((std::vector<std::wstring>{L"Ctrl+G", L"", L"F5"}), Column(1));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"z"}), Column(2));

    // A click on the "Keys" header: the commands without keys first.
    Click(1, 0);
    EXPECT_EQ(1, settings::ParamRaccourcisSort->Value());
    EXPECT_EQ((std::vector<std::wstring>{L"", L"Ctrl+G", L"F5"}), Column(1));
    Click(3, 0);
    EXPECT_EQ((std::vector<std::wstring>{L"alpha", L"beta", L"zoom"}), Column(3));
    EXPECT_GT(SaveScreenshot(keys_->Handle(), L"shortcuts_window.bmp"), 1000);

    Click(0, 3, true);
    EXPECT_EQ((std::vector<std::wstring>{L"acZoom"}), ran_);
    Click(0, 0, true);
    EXPECT_EQ(1u, ran_.size());

    // A sort value outside the four columns lists nothing.
    settings::ParamRaccourcisSort->SetValue(7);
    keys_->FillGrid(list_);
    EXPECT_EQ(1, keys_->StringGrid1->RowCount());
}

}  // namespace

namespace {

using namespace quill_test;

// The main window's own commands in the shortcuts window, and the window's close.
class MainShortcutsTest : public PanelFormTest {
protected:
    void SetUp() override {
        PanelFormTest::SetUp();
        keys_.reset(classlib::NewForm<ui::TRaccourcisForm>(nullptr));
    }
    void TearDown() override {
        keys_.reset();
        PanelFormTest::TearDown();
    }
    int RowOf(const std::wstring& Caption) {
        for (int row = 1; row < keys_->StringGrid1->RowCount(); ++row)
            if (keys_->StringGrid1->Cells(0, row) == Caption) return row;
        return -1;
    }
    std::unique_ptr<ui::TRaccourcisForm> keys_;
};

TEST_F(MainShortcutsTest, EveryCommandWithACaptionIsListedAndOneRunsFromItsRow) {
    settings::ParamRaccourcisSort->SetValue(2);
    keys_->FillGrid(form_->al);
    // The 55 commands but the two camcorder-window switches, which have no caption.
    ASSERT_EQ(55, form_->al->ActionCount());
    EXPECT_EQ(54, keys_->StringGrid1->RowCount());
    EXPECT_EQ(-1, RowOf(L""));
    const int grab = RowOf(L"Grab panel");
    ASSERT_GT(grab, 0);
    EXPECT_EQ(L"Alt+G", keys_->StringGrid1->Cells(1, grab));
    EXPECT_EQ(L"gf", keys_->StringGrid1->Cells(2, grab));
    EXPECT_EQ(L"grab_frame", keys_->StringGrid1->Cells(3, grab));
    // Sorted by switch (then caption): "af", the about panel's, is the first.
    EXPECT_EQ(L"About panel...", keys_->StringGrid1->Cells(0, 1));
    EXPECT_EQ(L"af", keys_->StringGrid1->Cells(2, 1));

    keys_->Show();
    const RECT cell = keys_->StringGrid1->CellRect(0, grab);
    ASSERT_LT(cell.left, cell.right) << "the row is in view";
    const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    const HWND grid = keys_->StringGrid1->Handle();
    SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(grid, WM_LBUTTONUP, 0, at);
    SendMessageW(grid, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(grid, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(form_->ExtraireFrame1->Visible());
    EXPECT_TRUE(form_->acExtraireFrame->Checked());
}

TEST_F(MainShortcutsTest, ClosingTheWindowHidesItForGoodAndTheToggleFollows) {
    keys_->FillGrid(form_->al);
    // The help text's "F11" link opens it; a second click leaves it shown.
    form_->HelpFrame1->LinkEdit1CustomLinkClick(L"F11");
    ASSERT_TRUE(keys_->Visible());
    ASSERT_TRUE(form_->taraccourcis->Checked());
    form_->HelpFrame1->LinkEdit1CustomLinkClick(L"F11");
    EXPECT_TRUE(keys_->Visible());
    EXPECT_GT(SaveScreenshot(keys_->Handle(), L"shortcuts_window_main.bmp"), 1000);

    keys_->Close();
    PumpMessages();
    EXPECT_FALSE(keys_->Visible());
    EXPECT_FALSE(IsWindowVisible(keys_->Handle()));
    EXPECT_FALSE(form_->taraccourcis->Checked());
    // The next F11 shows it again.
    form_->taraccourcis->Execute();
    EXPECT_TRUE(keys_->Visible());
    EXPECT_TRUE(form_->taraccourcis->Checked());
}

}  // namespace
