// Menus in their system menus (texts, states, commands, actions, a form's menu bar, a pop-up
// menu tracked for real), the memo's lines, the list box's items across window re-creation and
// in the virtual style, and the masked edit as a user types into it.
#include <gtest/gtest.h>

#include "exception_text.h"

#include <string>

#include "classlib/actions.h"
#include "classlib/application.h"
#include "classlib/forms.h"
#include "classlib/mask_edit.h"
#include "classlib/menus.h"
#include "classlib/std_controls.h"

using namespace classlib;

namespace {

using quill_test::MessageOf;

std::string MenuString(HMENU Menu, UINT Command) {
    char buf[256] = {};
    GetMenuStringA(Menu, Command, buf, sizeof buf, MF_BYCOMMAND);
    return buf;
}

UINT MenuState(HMENU Menu, UINT Command) { return GetMenuState(Menu, Command, MF_BYCOMMAND); }

class MenusAndLists : public ::testing::Test {
protected:
    void SetUp() override {
        form = NewForm<TForm>(nullptr);
        form->SetBounds(40, 40, 480, 360);
        form->Show();
    }
    void TearDown() override {
        delete form;
        Application()->SetHint("");
    }
    TMenuItem* Item(TMenuItem* Parent, const std::string& Caption, TShortCut Key = scNone) {
        auto* item = new TMenuItem(form);
        item->SetCaption(Caption);
        item->SetShortCut(Key);
        Parent->Add(item);
        return item;
    }
    TForm* form = nullptr;
};

TEST_F(MenusAndLists, ItemsAreWrittenIntoTheSystemMenuAndFollowTheirChanges) {
    auto* menu = new TPopupMenu(form);
    TMenuItem* open = Item(menu->Items(), "&Open", ShortCut('O', ssCtrl));
    TMenuItem* line = Item(menu->Items(), "-");
    TMenuItem* more = Item(menu->Items(), "More");
    TMenuItem* sub = Item(more, "Sub", ShortCut(VK_F5, 0));
    HMENU h = menu->Handle();
    ASSERT_EQ(GetMenuItemCount(h), 3);
    EXPECT_EQ(MenuString(h, open->Command()), "&Open\tCtrl+O");
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_SUBMENU;
    ASSERT_TRUE(GetMenuItemInfoA(h, 1, TRUE, &info));
    EXPECT_NE(info.fType & MFT_SEPARATOR, 0u);
    ASSERT_TRUE(GetMenuItemInfoA(h, 2, TRUE, &info));
    EXPECT_EQ(info.hSubMenu, more->Handle());
    EXPECT_EQ(MenuString(more->Handle(), sub->Command()), "Sub\tF5");
    (void)line;

    // Changes reach the system menu at once; a hidden item leaves it.
    open->SetCaption("&Read");
    open->SetChecked(true);
    sub->SetEnabled(false);
    EXPECT_EQ(MenuString(h, open->Command()), "&Read\tCtrl+O");
    EXPECT_NE(MenuState(h, open->Command()) & MF_CHECKED, 0u);
    EXPECT_NE(MenuState(more->Handle(), sub->Command()) & MF_DISABLED, 0u);
    line->SetVisible(false);
    EXPECT_EQ(GetMenuItemCount(h), 2);
    EXPECT_EQ(menu->FindItem(sub->Command(), TFindItemKind::fkCommand), sub);
    EXPECT_EQ(menu->FindItem(reinterpret_cast<UINT_PTR>(more->Handle()), TFindItemKind::fkHandle), more);
    EXPECT_EQ(menu->Items()->Find("read"), open);
    EXPECT_EQ(MessageOf<EMenuError>([&] { more->Add(sub); }), L"Menu inserted twice");
    // Deleting an item takes it and its sub-items out.
    UINT subCommand = sub->Command();
    delete more;
    EXPECT_EQ(GetMenuItemCount(h), 1);
    EXPECT_EQ(menu->FindItem(subCommand, TFindItemKind::fkCommand), nullptr);
}

TEST_F(MenusAndLists, ClicksCheckRadioItemsAndRunActions) {
    auto* menu = new TPopupMenu(form);
    TMenuItem* a = Item(menu->Items(), "A");
    TMenuItem* b = Item(menu->Items(), "B");
    a->SetRadioItem(true);
    b->SetRadioItem(true);
    a->SetAutoCheck(true);
    b->SetAutoCheck(true);
    int clicks = 0;
    a->OnClick = [&](TObject*) { clicks += a->Checked() ? 1 : 100; };
    EXPECT_TRUE(menu->DispatchCommand(a->Command()));
    EXPECT_EQ(clicks, 1);  // checked before the handler ran
    EXPECT_TRUE(menu->DispatchCommand(b->Command()));
    EXPECT_TRUE(b->Checked());
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(menu->DispatchCommand(0xFFFF));

    // An action: its properties reach the item, a click executes it, its shortcut finds it.
    auto* list = new TActionList(form);
    auto* action = new TAction(form);
    action->SetActionList(list);
    action->SetCaption("Save");
    action->SetShortCut(ShortCut('S', ssCtrl));
    int executed = 0;
    action->OnExecute = [&](TObject*) { ++executed; };
    TMenuItem* save = Item(menu->Items(), "");
    save->SetAction(action);
    EXPECT_EQ(save->Caption(), "Save");
    EXPECT_EQ(MenuString(menu->Handle(), save->Command()), "Save\tCtrl+S");
    action->SetCaption("Save all");
    action->SetEnabled(false);
    EXPECT_EQ(save->Caption(), "Save all");
    EXPECT_FALSE(save->Enabled());
    action->SetEnabled(true);
    EXPECT_TRUE(menu->DispatchCommand(save->Command()));
    EXPECT_TRUE(menu->IsShortCut(ShortCut('S', ssCtrl)));
    EXPECT_EQ(executed, 2);
    EXPECT_FALSE(menu->IsShortCut(ShortCut('Q', ssCtrl)));
    delete action;  // the item forgets it
    EXPECT_EQ(save->Action(), nullptr);
}

TEST_F(MenusAndLists, AFormsMenuBarServesCommandsPopupsAndHints) {
    auto* bar = new TMainMenu(form);
    TMenuItem* file = Item(bar->Items(), "&File", ShortCut('F', ssCtrl));
    TMenuItem* quit = Item(file, "&Quit", ShortCut('Q', ssCtrl));
    quit->SetHint("Quit|Ends the program");
    int quits = 0, opened = 0;
    quit->OnClick = [&](TObject*) { ++quits; };
    file->OnClick = [&](TObject*) { ++opened; };
    form->SetMenu(bar);
    HMENU h = GetMenu(form->Handle());
    ASSERT_EQ(h, bar->Handle());
    // The bar's own items carry no shortcut text.
    EXPECT_EQ(MenuString(h, file->Command()), "&File");
    SendMessageA(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file->Handle()), 0);
    EXPECT_EQ(opened, 1);
    SendMessageA(form->Handle(), WM_MENUSELECT, MAKEWPARAM(quit->Command(), MF_STRING), reinterpret_cast<LPARAM>(file->Handle()));
    EXPECT_EQ(Application()->Hint(), "Ends the program");
    SendMessageA(form->Handle(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ(Application()->Hint(), "");
    PostMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(quit->Command(), 0), 0);
    Application()->ProcessMessages();
    EXPECT_EQ(quits, 1);
    // Re-created form windows get the bar back; a deleted bar leaves the form.
    form->RecreateWnd();
    EXPECT_EQ(GetMenu(form->Handle()), bar->Handle());
    delete bar;
    EXPECT_EQ(form->Menu(), nullptr);
}

// Finds the open menu window of this process and types into it.
struct MenuDriver {
    static std::vector<UINT>& Keys() {
        static std::vector<UINT> keys;
        return keys;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR Id, DWORD) {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu == nullptr || !IsWindowVisible(menu) || Keys().empty()) return;
        UINT key = Keys().front();
        Keys().erase(Keys().begin());
        PostMessageA(menu, WM_KEYDOWN, key, 0);
        if (Keys().empty()) KillTimer(nullptr, Id);
    }
};

TEST_F(MenusAndLists, APopupMenuTrackedByTheUserClicksTheChosenItem) {
    auto* menu = new TPopupMenu(form);
    TMenuItem* first = Item(menu->Items(), "First");
    TMenuItem* second = Item(menu->Items(), "Second");
    second->SetHint("Second|The second one");
    int popups = 0, firsts = 0, seconds = 0;
    menu->OnPopup = [&](TObject*) { ++popups; };
    first->OnClick = [&](TObject*) { ++firsts; };
    second->OnClick = [&](TObject*) { ++seconds; };
    std::string hintWhileOpen;
    Application()->OnHint = [&](TObject*) {
        if (!Application()->Hint().empty()) hintWhileOpen = Application()->Hint();
    };
    SetForegroundWindow(form->Handle());
    MenuDriver::Keys() = {VK_DOWN, VK_DOWN, VK_RETURN};
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &MenuDriver::Tick);
    menu->Popup(100, 100);
    KillTimer(nullptr, timer);
    Application()->ProcessMessages();
    Application()->OnHint = nullptr;
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(firsts, 0);
    EXPECT_EQ(seconds, 1);
    EXPECT_EQ(hintWhileOpen, "The second one");
}

TEST_F(MenusAndLists, MemoLinesGoThroughTheWindow) {
    auto* memo = new TMemo(form);
    memo->SetParent(form);
    TStrings* lines = memo->Lines();
    EXPECT_EQ(lines->Count(), 0);
    lines->Add("one");
    lines->Add("");
    lines->Add("three");
    EXPECT_EQ(memo->Text(), "one\r\n\r\nthree\r\n");
    ASSERT_EQ(lines->Count(), 3);
    EXPECT_EQ(lines->Get(0), "one");
    EXPECT_EQ(lines->Get(1), "");  // an empty line is read without touching a buffer
    EXPECT_EQ(lines->Get(9), "");
    lines->Put(1, "two");
    lines->Delete(0);
    EXPECT_EQ(lines->Text(), "two\r\nthree\r\n");
    // Line breaks of any kind become the memo's own.
    lines->SetText("a\rb\nc");
    EXPECT_EQ(memo->Text(), "a\r\nb\r\nc");
    // Inserting one past the last line appends; past an empty last line nothing happens.
    lines->Insert(3, "d");
    EXPECT_EQ(memo->Text(), "a\r\nb\r\nc\r\nd");
    memo->SetText("x\r\n\r\n");
    lines->Insert(3, "lost");
    EXPECT_EQ(memo->Text(), "x\r\n\r\n");
    // Re-creating the window (word wrap) keeps the text.
    memo->SetText("kept");
    memo->SetWordWrap(false);
    EXPECT_EQ(memo->Text(), "kept");
}

TEST_F(MenusAndLists, ListBoxKeepsItemsObjectsAndSelection) {
    auto* box = new TListBox(form);
    box->SetParent(form);
    TStrings* items = box->Items();
    TObject tag1, tag2;
    items->AddObject("alpha", &tag1);
    items->AddObject("beta", &tag2);
    items->Add("gamma");
    box->SetItemIndex(1);
    items->Put(1, "BETA");
    EXPECT_EQ(items->Get(1), "BETA");
    EXPECT_EQ(items->Objects(1), &tag2);
    EXPECT_EQ(box->ItemIndex(), 1);
    items->Exchange(0, 1);
    EXPECT_EQ(items->Get(0), "BETA");
    EXPECT_EQ(items->Objects(1), &tag1);
    EXPECT_EQ(box->ItemIndex(), 0);
    EXPECT_EQ(items->IndexOf("Gamma"), 2);
    EXPECT_EQ(MessageOf<EStringListError>([&] { items->Get(7); }), L"List index out of bounds (7)");
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetItemIndex(2);  // from code: no event
    SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box->Handle()), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(box->Handle()));
    EXPECT_EQ(clicks, 1);
    // A new style re-creates the window: items, objects and selection stay.
    HWND before = box->Handle();
    box->SetSorted(true);
    EXPECT_NE(box->Handle(), before);
    ASSERT_EQ(items->Count(), 3);
    EXPECT_EQ(items->Get(0), "alpha");
    EXPECT_EQ(items->Objects(0), &tag1);
    EXPECT_EQ(items->Get(box->ItemIndex()), "gamma");

    // The virtual style answers from its events.
    box->SetStyle(TListBoxStyle::lbVirtual);
    box->OnData = [](TWinControl*, int Index, std::string& Data) { Data = "row " + std::to_string(Index); };
    box->SetCount(1000);
    EXPECT_EQ(items->Count(), 1000);
    EXPECT_EQ(items->Get(999), "row 999");
    char buf[32] = {};
    EXPECT_EQ(SendMessageA(box->Handle(), LB_GETTEXT, 12, reinterpret_cast<LPARAM>(buf)), 6);
    EXPECT_STREQ(buf, "row 12");
    EXPECT_EQ(SendMessageA(box->Handle(), LB_GETTEXTLEN, 1000, 0), LB_ERR);
    EXPECT_EQ(MessageOf<EListError>([&] { items->Add("x"); }), L"Operation not supported on virtual list boxes");
}

TEST_F(MenusAndLists, MaskedEditTakesOnlyWhatTheMaskAllows) {
    auto* edit = new TMaskEdit(form);
    edit->SetParent(form);
    edit->SetEditMask("!00/00/0000;1;_");
    EXPECT_EQ(edit->EditText(), "__/__/____");
    EXPECT_EQ(edit->Text(), "  /  /    ");
    edit->SetFocus();
    edit->SelectAll();
    SendMessageA(edit->Handle(), EM_SETSEL, 0, 0);
    for (char c : std::string("07x122026")) SendMessageA(edit->Handle(), WM_CHAR, static_cast<unsigned char>(c), 1);
    EXPECT_EQ(edit->EditText(), "07/12/2026");  // the letter was refused, the literals skipped
    EXPECT_EQ(edit->Text(), "07/12/2026");
    EXPECT_TRUE(edit->Modified());
    // Backspace blanks the place before the caret (past the literal) instead of removing it.
    SendMessageA(edit->Handle(), EM_SETSEL, 3, 3);
    SendMessageA(edit->Handle(), WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(edit->EditText(), "0_/12/2026");
    EXPECT_EQ(MessageOf<EDBEditError>([&] { edit->ValidateEdit(); }),
              L"Invalid input value.  Use escape key to abandon changes");
    // Setting the text formats it; without kept literals Text holds only the typed places.
    edit->SetText("31/01/1999");
    EXPECT_EQ(edit->EditText(), "31/01/1999");
    edit->ValidateEdit();
    TEditMask plain(">LL-000;0; ");
    EXPECT_EQ(plain.Format("ab123"), "AB-123");
    EXPECT_EQ(plain.Strip("AB-123"), "AB123");
    EXPECT_EQ(plain.Format("a"), "A -   ");
    // A mask removed gives the plain text back.
    edit->SetEditMask("");
    EXPECT_EQ(edit->EditText(), "31/01/1999");
}

}  // namespace
