// Wide common controls under Wine: status panels, tabs, tool buttons and the track bar show and
// give back texts outside the ANSI code page, react to the user and fall back to ANSI.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "exception_text.h"
#include "uc_test_support.h"
#include "window_screenshot.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_std_buttons.h"

using namespace uctest;
using classlib::WideToAnsi;
using namespace widgets;

namespace {

class WideComControlsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(60, 60, 420, 300);
    }
    // A click of the left button at a client point of a window, as the user makes it.
    static void ClickAt(HWND Window, POINT P) {
        SendMessageW(Window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(P.x, P.y));
        SendMessageW(Window, WM_LBUTTONUP, 0, MAKELPARAM(P.x, P.y));
        Pump();
    }
    classlib::TForm* form = nullptr;
};

TEST_F(WideComControlsTest, StatusPanelsShowWideTextsKeepingTheirTabs) {
    auto* bar = new TUcStatusBar(form);
    bar->SetParent(form);
    bar->Panels()->Add()->SetWidth(120);
    TUcStatusPanel* second = bar->Panels()->Add();
    bar->Panels()->Items(0)->SetText(kGreek);
    second->SetText(L"\t\t" + kCjk);
    HWND h = bar->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(ClassNameOf(h), L"TUcStatusBar.UnicodeClass");
    EXPECT_EQ(bar->PanelWindowTextW(0), kGreek);
    EXPECT_EQ(bar->PanelWindowTextW(1), L"\t\t" + kCjk);
    EXPECT_EQ(second->Text(), L"\t\t" + kCjk);
    EXPECT_EQ(second->classlib::TStatusPanel::Text(), WideToAnsi(L"\t\t" + kCjk));
    // A centred panel gets its one Tab in the window, never in its own text.
    second->SetAlignment(classlib::TAlignment::taCenter);
    second->SetText(kGreek);
    EXPECT_EQ(bar->PanelWindowTextW(1), L"\t" + kGreek);
    EXPECT_EQ(second->Text(), kGreek);
    // The texts survive a new window.
    bar->RecreateWnd();
    EXPECT_EQ(bar->PanelWindowTextW(0), kGreek);
    // The size grip resizes the form: a form of a fixed size shows none.
    EXPECT_NE(0, GetWindowLongW(bar->Handle(), GWL_STYLE) & SBARS_SIZEGRIP);
    form->SetBorderStyle(classlib::TFormBorderStyle::bsSingle);
    bar->RecreateWnd();
    EXPECT_EQ(0, GetWindowLongW(bar->Handle(), GWL_STYLE) & SBARS_SIZEGRIP);
    EXPECT_EQ(bar->PanelWindowTextW(0), kGreek);

    bar->SetSimplePanel(true);
    bar->SetSimpleText(kCjk);
    EXPECT_EQ(bar->SimpleText(), kCjk);
    EXPECT_EQ(bar->PanelWindowTextW(255) == kCjk || bar->PanelWindowTextW(0) == kCjk, true);
}

TEST_F(WideComControlsTest, StatusBarTakesTheWideApplicationHint) {
    auto* bar = new TUcStatusBar(form);
    bar->SetParent(form);
    bar->SetAutoHint(true);
    bar->Panels()->Add();
    classlib::Application()->SetMainForm(form);
    form->Show();
    // The wide application hint travels as a hint action to the bar.
    UcApplication()->SetHint(kCjk);
    EXPECT_EQ(bar->Panels()->Items(0)->Text(), kCjk);
    EXPECT_EQ(bar->PanelWindowTextW(0), kCjk);
    // A simple bar shows it as its simple text.
    bar->SetSimplePanel(true);
    UcApplication()->SetHint(kGreek);
    EXPECT_EQ(bar->SimpleText(), kGreek);
    // A hint handler of the bar takes the hint itself.
    int handled = 0;
    bar->OnHint = [&](classlib::TObject*) { ++handled; };
    UcApplication()->SetHint(L"x" + kCjk);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(bar->SimpleText(), kGreek);
}

TEST_F(WideComControlsTest, TabsShowWideCaptionsAndFollowTheUser) {
    auto* pages = new TUcPageControl(form);
    pages->SetParent(form);
    pages->SetBounds(8, 8, 380, 200);
    auto* first = new TUcTabSheet(form);
    first->SetPageControl(pages);
    first->SetCaption(kGreek);
    auto* second = new TUcTabSheet(form);
    second->SetCaption(L"&" + kCjk);
    second->SetPageControl(pages);
    auto* plain = new classlib::TTabSheet(form);
    plain->SetCaption("Plain \xE9");
    plain->SetPageControl(pages);
    form->Show();
    Pump();
    EXPECT_TRUE(IsWindowUnicode(pages->Handle()));
    EXPECT_EQ(pages->TabWindowText(0), kGreek);
    EXPECT_EQ(pages->TabWindowText(1), L"&" + kCjk);
    EXPECT_EQ(pages->TabWindowText(2), L"Plain \x00E9");
    EXPECT_EQ(pages->ActivePage(), first);
    EXPECT_TRUE(first->Visible());
    EXPECT_FALSE(second->Visible());

    // A caption changed later reaches its tab.
    first->SetCaption(kCjk + kGreek);
    EXPECT_EQ(pages->TabWindowText(0), kCjk + kGreek);

    // The user clicks the second tab: asked first, then changed.
    int changes = 0;
    bool allow = false;
    pages->OnChanging = [&](classlib::TObject*, bool& Allow) { Allow = allow; };
    pages->OnChange = [&](classlib::TObject*) { ++changes; };
    RECT tab{};
    SendMessageW(pages->Handle(), TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&tab));
    POINT centre{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2};
    ClickAt(pages->Handle(), centre);
    EXPECT_EQ(pages->ActivePage(), first);
    EXPECT_EQ(changes, 0);
    allow = true;
    ClickAt(pages->Handle(), centre);
    EXPECT_EQ(pages->ActivePage(), second);
    EXPECT_TRUE(second->Visible());
    EXPECT_FALSE(first->Visible());
    EXPECT_EQ(changes, 1);

    // The accelerator of a wide caption (a character above 255) selects its page.
    pages->SetActivePage(first);
    EXPECT_EQ(pages->Perform(classlib::CM_DIALOGCHAR, kCjk[0], 0), 1);
    EXPECT_EQ(pages->ActivePage(), second);
    EXPECT_EQ(changes, 2);

    // A hidden tab leaves the others in order.
    first->SetTabVisible(false);
    EXPECT_EQ(pages->TabWindowText(0), L"&" + kCjk);
    EXPECT_EQ(first->TabIndex(), -1);
    EXPECT_EQ(plain->TabIndex(), 1);
}

TEST_F(WideComControlsTest, ToolButtonsShowWideCaptionsAndClick) {
    auto* bar = new TUcToolBar(form);
    bar->SetParent(form);
    bar->SetShowCaptions(true);
    bar->SetCaption(kGreek);
    auto* one = new TUcToolButton(form);
    one->SetCaption(kGreek);
    one->SetHint(kCjk + L"|long");
    one->SetParent(bar);
    auto* two = new TUcToolButton(form);
    two->SetCaption(kCjk);
    two->SetParent(bar);
    int clicks = 0;
    two->OnClick = [&](classlib::TObject*) { ++clicks; };
    form->Show();
    Pump();
    EXPECT_EQ(bar->Caption(), kGreek);
    EXPECT_EQ(bar->ButtonWindowText(0), kGreek);
    EXPECT_EQ(bar->ButtonWindowText(1), kCjk);
    // The buttons stand where the bar shows them, and the user's click reaches the second.
    EXPECT_GT(two->Width(), 0);
    EXPECT_GE(two->Left(), one->Left() + one->Width());
    ClickAt(bar->Handle(), POINT{two->Left() + two->Width() / 2, two->Top() + two->Height() / 2});
    EXPECT_EQ(clicks, 1);
    // A changed caption reaches the bar.
    one->SetCaption(L"x" + kCjk);
    EXPECT_EQ(bar->ButtonWindowText(0), L"x" + kCjk);

    // The wide hint reaches the hint window through the marked hint information.
    classlib::THintInfo info;
    info.HintControl = one;
    info.HintWindowClass = &classlib::THintWindow::ClassRef();
    one->Perform(classlib::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.HintWindowClass, &TUcCustomHintWindow::ClassRef());
    EXPECT_EQ(info.HintStr, WideToAnsi(kCjk));
    EXPECT_EQ(TUcCustomHintWindow::WideHintOfData(info.HintStr, info.HintData), kCjk);
}

TEST_F(WideComControlsTest, TrackBarIsAUnicodeCommonControlThatReportsMoves) {
    auto* track = new TUcTrackBar(form);
    track->SetParent(form);
    track->SetMax(20);
    track->SetPosition(25);
    EXPECT_EQ(track->Position(), 20);
    track->SetPosition(5);
    int changes = 0;
    track->OnChange = [&](classlib::TObject*) { ++changes; };
    HWND h = track->Handle();
    EXPECT_TRUE(IsWindowUnicode(h));
    EXPECT_EQ(SendMessageW(h, CCM_GETUNICODEFORMAT, 0, 0), TRUE);
    EXPECT_EQ(SendMessageW(h, TBM_GETPOS, 0, 0), 5);
    form->Show();
    track->SetFocus();
    SendMessageW(h, WM_KEYDOWN, VK_RIGHT, 0);
    Pump();
    EXPECT_EQ(track->Position(), 6);
    EXPECT_EQ(changes, 1);
    track->SetHint(kGreek);
    EXPECT_EQ(track->Hint(), kGreek);
}

const std::wstring kCyrillic = L"\x0423\x0440\x043E\x0432\x043D\x0438";  // "Urovni"

TEST_F(WideComControlsTest, DockedFormsGetWideSheetsFollowingTheirCaptions) {
    auto* pages = new TUcPageControl(form);
    pages->SetParent(form);
    pages->SetBounds(8, 8, 380, 240);
    form->Show();
    auto* client = new TUcForm(classlib::Application());
    client->SetCaption(kCyrillic);
    client->Show();
    Pump();
    ASSERT_TRUE(client->ManualDock(pages));
    Pump();
    auto* sheet = dynamic_cast<TUcTabSheet*>(pages->PageOfDockClient(client));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(pages->ActivePage(), sheet);
    EXPECT_TRUE(IsWindowUnicode(client->Handle()));
    EXPECT_EQ(GetParent(client->Handle()), sheet->Handle());
    EXPECT_EQ(sheet->Caption(), kCyrillic);
    EXPECT_EQ(pages->TabWindowText(0), kCyrillic);
    quill_test::SaveWindowScreenshot(form->Handle(), L"uc_docked_sheet.bmp");

    // A new caption reaches the tab up to its first line break; the form keeps it whole.
    client->SetCaption(kCjk + L"\r\n" + kGreek);
    EXPECT_EQ(sheet->Caption(), kCjk);
    EXPECT_EQ(pages->TabWindowText(0), kCjk);
    EXPECT_EQ(WindowText(client->Handle()), kCjk + L"\r\n" + kGreek);

    // An ANSI form docked beside it: its caption widened, on a wide sheet too.
    auto* plain = new classlib::TForm(classlib::Application());
    plain->SetCaption("Caf\xE9");
    plain->Show();
    ASSERT_TRUE(plain->ManualDock(pages));
    auto* plainSheet = dynamic_cast<TUcTabSheet*>(pages->PageOfDockClient(plain));
    ASSERT_NE(plainSheet, nullptr);
    EXPECT_EQ(plainSheet->Caption(), L"Caf\x00E9");
    EXPECT_EQ(pages->ActivePage(), plainSheet);
    plain->SetCaption("Mixer\nsecond line");
    EXPECT_EQ(pages->TabWindowText(1), L"Mixer");

    // Undocked, the wide form's sheet goes and it is a Unicode window of its own again.
    ASSERT_TRUE(client->ManualDock(nullptr));
    EXPECT_EQ(pages->PageCount(), 1);
    EXPECT_EQ(pages->TabWindowText(0), L"Mixer");
    client->Show();
    EXPECT_TRUE(IsWindowUnicode(client->Handle()));
    EXPECT_EQ(GetParent(client->Handle()), nullptr);
    EXPECT_EQ(WindowText(client->Handle()), kCjk + L"\r\n" + kGreek);
}

TEST_F(WideComControlsTest, DockedFormsWithoutWindowsKeepTheirWideCaptionsOnTheirSheets) {
    auto* pages = new TUcPageControl(form);
    pages->SetParent(form);
    pages->SetBounds(8, 8, 380, 240);
    auto* client = new TUcForm(classlib::Application());
    client->SetCaption(kCyrillic);
    ASSERT_TRUE(client->ManualDock(pages));
    ASSERT_FALSE(client->HandleAllocated());
    auto* sheet = dynamic_cast<TUcTabSheet*>(pages->PageOfDockClient(client));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Caption(), kCyrillic);
    // Set while no window exists: the text the sheet hears of is ANSI, the wide caption is kept.
    client->SetCaption(kCjk + L"\n" + kGreek);
    EXPECT_EQ(sheet->Caption(), kCjk);
    client->Show();
    form->Show();
    Pump();
    EXPECT_TRUE(sheet->TabVisible());
    EXPECT_EQ(pages->TabWindowText(0), kCjk);
}

TEST_F(WideComControlsTest, CommonControlsFallBackToAnsiOnAnAnsiPlatform) {
    unicode::ForcePlatformForTesting(false);
    auto* bar = new TUcStatusBar(form);
    bar->SetParent(form);
    bar->Panels()->Add()->SetText(kGreek);
    EXPECT_FALSE(IsWindowUnicode(bar->Handle()));
    EXPECT_EQ(bar->PanelWindowTextW(0), classlib::AnsiToWide(WideToAnsi(kGreek)));
    auto* pages = new TUcPageControl(form);
    pages->SetParent(form);
    auto* sheet = new TUcTabSheet(form);
    sheet->SetCaption(kCjk);
    sheet->SetPageControl(pages);
    EXPECT_FALSE(IsWindowUnicode(pages->Handle()));
    EXPECT_EQ(sheet->Caption(), classlib::AnsiToWide(WideToAnsi(kCjk)));
    EXPECT_EQ(pages->TabWindowText(0), classlib::AnsiToWide(WideToAnsi(kCjk)));
}

TEST_F(WideComControlsTest, CommonControlCreationNeedsItsSystemClass) {
    auto* track = new TUcTrackBar(form);
    track->SetParent(form);
    classlib::TCreateParams params;
    track->CreateParams(params);
    EXPECT_EQ(quill_test::MessageOf<classlib::Exception>([&] { CreateUnicodeHandle_ComCtl(track, params, std::wstring()); }),
              L"UC Internal Error: Only call CreateUnicodeHandle_ComCtl for Common Controls.");
    EXPECT_FALSE(track->HandleAllocated());
}

TEST_F(WideComControlsTest, AWideFormDockedIntoAPlainPageControlNamesItsTabInTheCodePage) {
    auto* pages = new classlib::TPageControl(form);
    pages->SetParent(form);
    pages->SetBounds(8, 8, 380, 240);
    form->Show();
    auto* client = new TUcForm(classlib::Application());
    client->SetCaption(L"Caf\x00E9");
    client->Show();
    Pump();
    ASSERT_TRUE(client->ManualDock(pages));
    classlib::TTabSheet* sheet = pages->PageOfDockClient(client);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Caption(), "Caf\xE9");
    // A caption changed while docked comes to the sheet in UTF-16 from the wide window: the tab
    // takes it whole, up to its first line break.
    ASSERT_TRUE(IsWindowUnicode(client->Handle()));
    client->SetCaption(L"R\x00E9glages\r\nsecond");
    EXPECT_EQ(sheet->Caption(), "R\xE9glages");
    client->SetCaption(kGreek);
    EXPECT_EQ(sheet->Caption(), WideToAnsi(kGreek)) << "outside the code page: its code-page form, not bytes of UTF-16";
}

TEST_F(WideComControlsTest, AWideHintWithItsShortcutNamesTheKeyWide) {
    auto* action = new TUcAction(form);
    action->SetHint(kGreek + L"|long");
    auto* button = new TUcButton(form);
    button->SetParent(form);
    button->SetAction(action);
    form->Show();
    Pump();
    classlib::THintInfo info;
    info.HintControl = button;
    info.HintWindowClass = &classlib::THintWindow::ClassRef();
    button->Perform(classlib::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.HintWindowClass, &TUcCustomHintWindow::ClassRef());
    classlib::Application()->SetHintShortCuts(true);
    // The keypad's "/" is named as an extended key by the class library, by its scan code alone
    // in the wide text.
    for (classlib::TShortCut key : {classlib::TShortCut(VK_DIVIDE | classlib::scCtrl), classlib::TShortCut(VK_NUMPAD1 | classlib::scCtrl),
                                    classlib::TShortCut(VK_F5 | classlib::scShift), classlib::TShortCut('K' | classlib::scAlt)}) {
        action->SetShortCut(key);
        // The hint the application shows: the short hint and the shortcut's ANSI name.
        const std::string shown = WideToAnsi(kGreek) + " (" + classlib::ShortCutToText(key) + ")";
        EXPECT_EQ(TUcCustomHintWindow::WideHintOfData(shown, info.HintData),
                  kGreek + L" (" + WideShortCutToText(key) + L")")
            << shown << " / " << classlib::WideToUtf8(WideShortCutToText(key));
    }
}

}  // namespace
