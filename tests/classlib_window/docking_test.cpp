// Docking in code: a form docked into a page control gets a sheet of its own whose tab follows the
// form's caption and visibility, moves between sites, undocks into a window of its own, and takes
// its sheet along when it goes; other sites take a docked control as a child.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/docking.h"
#include "classlib/forms.h"
#include "classlib/page_control.h"
#include "classlib/panels.h"
#include "window_screenshot.h"
#include "window_test_support.h"

using namespace classlib;

using window_test::Pump;

namespace {

// The text the page control's window shows on the tab at Index.
std::string TabText(TPageControl* Pages, int Index) {
    char buf[256] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 256;
    if (!SendMessageA(Pages->Handle(), TCM_GETITEMA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&item)))
        return "<no tab>";
    return buf;
}

int TabCount(TPageControl* Pages) { return static_cast<int>(SendMessageA(Pages->Handle(), TCM_GETITEMCOUNT, 0, 0)); }

class DockingTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application()->Initialize();
        Reset();
        host = new TForm(Application());
        host->SetCaption("Host");
        host->SetBounds(60, 60, 520, 380);
        pages = new TPageControl(host);
        pages->SetParent(host);
        pages->SetBounds(8, 8, 300, 300);
        fixed = new TTabSheet(host);
        fixed->SetCaption("Fixed");
        fixed->SetPageControl(pages);
        host->Show();
        Pump();
    }
    void TearDown() override { Reset(); }
    static void Reset() { window_test::ResetApplicationForms(); }
    TForm* Client(const char* Caption, bool Shown) {
        auto* form = new TForm(Application());
        form->SetCaption(Caption);
        form->SetBounds(300, 300, 200, 150);
        if (Shown) form->Show();
        Pump();
        return form;
    }
    TForm* host = nullptr;
    TPageControl* pages = nullptr;
    TTabSheet* fixed = nullptr;
};

TEST_F(DockingTest, DockedFormGetsAnActiveSheetCaptionedWithItsCaption) {
    TForm* client = Client("Levels", true);
    ASSERT_TRUE(client->ManualDock(pages));
    Pump();
    EXPECT_EQ(client->HostDockSite(), pages);
    ASSERT_EQ(pages->DockClientCount(), 1);
    EXPECT_EQ(pages->DockClients(0), client);
    ASSERT_EQ(pages->PageCount(), 2);
    TTabSheet* sheet = pages->Pages(1);
    EXPECT_EQ(pages->PageOfDockClient(client), sheet);
    EXPECT_EQ(pages->PageOfDockClient(fixed), nullptr);
    EXPECT_EQ(client->Parent(), sheet);
    EXPECT_EQ(sheet->Caption(), "Levels");
    EXPECT_EQ(TabText(pages, 1), "Levels");
    EXPECT_EQ(pages->ActivePage(), sheet);
    EXPECT_EQ(client->Align(), TAlign::alClient);

    // The form's window is now a child of its sheet, without a caption, filling it.
    HWND w = client->Handle();
    EXPECT_EQ(GetParent(w), sheet->Handle());
    LONG style = GetWindowLongA(w, GWL_STYLE);
    EXPECT_NE(style & WS_CHILD, 0);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_TRUE(IsWindowVisible(w));
    RECT sheetClient{}, formRect{};
    GetClientRect(sheet->Handle(), &sheetClient);
    GetWindowRect(w, &formRect);
    EXPECT_EQ(formRect.right - formRect.left, sheetClient.right);
    EXPECT_EQ(formRect.bottom - formRect.top, sheetClient.bottom);
    quill_test::SaveWindowScreenshot(host->Handle(), L"classlib_docked_sheet.bmp");

    // Docking again into the same site changes nothing.
    EXPECT_FALSE(client->ManualDock(pages));
    EXPECT_EQ(pages->PageCount(), 2);
}

TEST_F(DockingTest, SheetFollowsTheDockedFormsCaptionUpToItsFirstLineBreak) {
    TForm* client = Client("First", true);
    ASSERT_TRUE(client->ManualDock(pages));
    TTabSheet* sheet = pages->PageOfDockClient(client);
    ASSERT_NE(sheet, nullptr);
    client->SetCaption("Second\r\nignored");
    EXPECT_EQ(sheet->Caption(), "Second");
    EXPECT_EQ(TabText(pages, 1), "Second");
    client->SetCaption("Third\nlines");
    EXPECT_EQ(TabText(pages, 1), "Third");
    // The form keeps its whole caption; only the tab is cut.
    EXPECT_EQ(client->Caption(), "Third\nlines");
    client->SetCaption("");
    EXPECT_EQ(sheet->Caption(), "");
    // A caption of the fixed sheet's own is untouched.
    EXPECT_EQ(fixed->Caption(), "Fixed");
}

TEST_F(DockingTest, TabFollowsTheDockedFormsVisibility) {
    TForm* hidden = Client("Hidden", false);
    ASSERT_TRUE(hidden->ManualDock(pages));
    TTabSheet* sheet = pages->PageOfDockClient(hidden);
    ASSERT_NE(sheet, nullptr);
    // A hidden form's sheet is made but neither shown nor made active.
    EXPECT_FALSE(sheet->TabVisible());
    EXPECT_EQ(pages->ActivePage(), fixed);
    EXPECT_EQ(TabCount(pages), 1);

    hidden->Show();
    Pump();
    EXPECT_TRUE(sheet->TabVisible());
    EXPECT_EQ(TabCount(pages), 2);
    EXPECT_EQ(TabText(pages, 1), "Hidden");
    hidden->Hide();
    EXPECT_FALSE(sheet->TabVisible());
    EXPECT_EQ(TabCount(pages), 1);
}

TEST_F(DockingTest, FormMovesBetweenSitesAndUndocksIntoAWindowOfItsOwn) {
    auto* other = new TPageControl(host);
    other->SetParent(host);
    other->SetBounds(316, 8, 190, 300);
    TForm* client = Client("Mover", true);
    ASSERT_TRUE(client->ManualDock(pages));
    ASSERT_EQ(pages->PageCount(), 2);

    ASSERT_TRUE(client->ManualDock(other));
    Pump();
    EXPECT_EQ(client->HostDockSite(), other);
    EXPECT_EQ(pages->PageCount(), 1);  // its old sheet went
    EXPECT_EQ(pages->DockClientCount(), 0);
    EXPECT_EQ(TabCount(pages), 1);
    ASSERT_EQ(other->PageCount(), 1);
    EXPECT_EQ(other->Pages(0)->Caption(), "Mover");
    EXPECT_EQ(GetParent(client->Handle()), other->Pages(0)->Handle());

    ASSERT_TRUE(client->ManualDock(nullptr));
    Pump();
    EXPECT_EQ(client->HostDockSite(), nullptr);
    EXPECT_EQ(client->Parent(), nullptr);
    EXPECT_EQ(other->PageCount(), 0);
    EXPECT_EQ(other->DockClientCount(), 0);
    // A window of its own again, with its caption.
    client->SetAlign(TAlign::alNone);
    client->Show();
    Pump();
    HWND w = client->Handle();
    EXPECT_EQ(GetWindowLongA(w, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_EQ(GetWindowLongA(w, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(IsWindowVisible(w));
    char text[64] = {};
    GetWindowTextA(w, text, 64);
    EXPECT_STREQ(text, "Mover");
    // Undocking what is not docked does nothing.
    EXPECT_FALSE(client->ManualDock(nullptr));
}

TEST_F(DockingTest, DockedFormThatGoesTakesItsSheetAlong) {
    TForm* first = Client("One", true);
    TForm* second = Client("Two", true);
    ASSERT_TRUE(first->ManualDock(pages));
    ASSERT_TRUE(second->ManualDock(pages));
    ASSERT_EQ(pages->PageCount(), 3);
    const int forms = Application()->ComponentCount();
    delete first;
    Pump();
    ASSERT_EQ(pages->PageCount(), 2);
    EXPECT_EQ(pages->DockClientCount(), 1);
    EXPECT_EQ(pages->Pages(1)->Caption(), "Two");
    EXPECT_EQ(TabText(pages, 1), "Two");
    EXPECT_EQ(TabCount(pages), 2);
    // The site going first takes the docked form with its sheet, and nothing is left dangling.
    delete pages;
    pages = nullptr;
    Pump();
    EXPECT_EQ(Application()->ComponentCount(), forms - 2);  // the second form went with its sheet
}

TEST_F(DockingTest, SiteThatKeepsItsClientRefusesToLetItGo) {
    TForm* client = Client("Kept", true);
    ASSERT_TRUE(client->ManualDock(pages));
    // A site answering CM_UNDOCKCLIENT with non-zero keeps it.
    TWndMethod previous = pages->WindowProc();
    pages->SetWindowProc([&](TMessage& m) {
        if (m.Msg == CM_UNDOCKCLIENT) {
            m.Result = 1;
            return;
        }
        previous(m);
    });
    EXPECT_FALSE(client->ManualDock(nullptr));
    EXPECT_EQ(client->HostDockSite(), pages);
    EXPECT_EQ(pages->PageCount(), 2);
    pages->SetWindowProc(nullptr);
}

TEST_F(DockingTest, FormCannotBeDockedIntoItselfOrItsOwnControls) {
    TForm* client = Client("Outer", true);
    auto* inner = new TPageControl(client);
    inner->SetParent(client);
    EXPECT_THROW(client->ManualDock(inner), EInvalidOperation);
    EXPECT_THROW(client->ManualDock(client), EInvalidOperation);
    EXPECT_EQ(client->HostDockSite(), nullptr);
    EXPECT_EQ(inner->PageCount(), 0);
    // Docked elsewhere first, a refused dock leaves it on its sheet.
    ASSERT_TRUE(client->ManualDock(pages));
    EXPECT_THROW(client->ManualDock(inner), EInvalidOperation);
    EXPECT_EQ(client->HostDockSite(), pages);
    EXPECT_EQ(pages->PageCount(), 2);
    EXPECT_EQ(TabText(pages, 1), "Outer");
}

TEST_F(DockingTest, MoveRefusedByTheNewSiteLeavesTheSheetsAsTheyWere) {
    TForm* first = Client("First", true);
    TForm* second = Client("Second", true);
    ASSERT_TRUE(first->ManualDock(pages));
    ASSERT_TRUE(second->ManualDock(pages));
    // A site that takes nothing: the form asked to move stays where it was.
    auto* refusing = new TPanel(host);
    refusing->SetParent(host);
    TWndMethod previous = refusing->WindowProc();
    refusing->SetWindowProc([previous](TMessage& m) {
        if (m.Msg == CM_DOCKCLIENT) {
            m.Result = 0;
            return;
        }
        previous(m);
    });
    EXPECT_FALSE(first->ManualDock(refusing));
    EXPECT_EQ(first->HostDockSite(), pages);
    ASSERT_EQ(pages->PageCount(), 3);
    TTabSheet* firstSheet = pages->PageOfDockClient(first);
    ASSERT_NE(firstSheet, nullptr);
    // Another form leaving by the plain Dock (its site not asked first) never takes the first
    // form's sheet, with the form on it, along.
    second->Dock(nullptr, second->BoundsRect());
    EXPECT_EQ(second->HostDockSite(), nullptr);
    EXPECT_EQ(pages->PageOfDockClient(first), firstSheet);
    EXPECT_EQ(first->Parent(), firstSheet);
    EXPECT_EQ(TabText(pages, 1), "First");
    // Asked as ManualDock asks, a leaving form takes its own sheet.
    ASSERT_TRUE(second->ManualDock(pages));
    ASSERT_TRUE(second->ManualDock(nullptr));
    EXPECT_EQ(pages->PageOfDockClient(first), firstSheet);
    refusing->SetWindowProc(nullptr);
}

TEST_F(DockingTest, OtherSitesTakeADockedControlAsAChildInItsRectangle) {
    auto* site = new TPanel(host);
    site->SetParent(host);
    site->SetBounds(316, 8, 190, 300);
    auto* client = new TPanel(host);
    client->SetBounds(0, 0, 120, 80);
    ASSERT_TRUE(client->ManualDock(site));
    EXPECT_EQ(client->Parent(), site);
    EXPECT_EQ(site->DockClientCount(), 1);
    EXPECT_EQ(client->Width(), 120);
    EXPECT_EQ(client->Height(), 80);
    EXPECT_EQ(GetParent(client->Handle()), site->Handle());
    ASSERT_TRUE(client->ManualDock(nullptr));
    EXPECT_EQ(client->Parent(), nullptr);
    EXPECT_EQ(site->DockClientCount(), 0);
    delete client;
}

}  // namespace
