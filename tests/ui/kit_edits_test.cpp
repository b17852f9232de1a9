// The main window's kit edits as a user meets them: tabbing through the schedule panel from field
// to field keeps its dates, a plug-in folder named outside the code page is kept and announced
// whole, and a clip browser path that an earlier build stored in quotes is found.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/message_box.h"
#include "settings/settings_catalogue.h"
#include "tests/ui/capture_form_fixture.h"
#include "ui/dossiers_frame.h"
#include "ui/liste_frame.h"
#include "ui/programmer_frame.h"

namespace {

using quill_test::CaptureFormTest;

void Pump() { classlib::Application()->ProcessMessages(); }

// A key as the keyboard gives it: posted to the window with the focus (Shift held in the thread's
// key state when asked) and served by the message loop.
void PressKey(WORD Key, bool Shift = false) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = Shift ? 0x80 : 0;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(Key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(focus, WM_KEYDOWN, Key, scan | 1);
    PostMessageW(focus, WM_KEYUP, Key, scan | 0xC0000001);
    Pump();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

class KitEditsTest : public CaptureFormTest {};

TEST_F(KitEditsTest, TabbingThroughTheSchedulePanelGoesFieldByFieldAndKeepsItsDates) {
    ui::TCaptureForm* form = CreateAndShow();
    SetForegroundWindow(form->Handle());
    form->acProgrammerFrame->Execute();
    ui::TProgrammerFrame* panel = form->ProgrammerFrame1;
    ASSERT_TRUE(panel->Visible());
    const classlib::TDateTime start = classlib::EncodeDate(2031, 3, 14), end = classlib::EncodeDate(2031, 3, 15);
    panel->DateEdit1->SetDate(start);
    panel->DateEdit2->SetDate(end);
    panel->KitSpinEdit1->SetFocus();
    Pump();
    const std::vector<classlib::TWinControl*> order{panel->KitSpinEdit2, panel->KitSpinEdit3, panel->DateEdit1,
                                                    panel->KitSpinEdit4, panel->KitSpinEdit5, panel->KitSpinEdit6,
                                                    panel->DateEdit2,    panel->NowBtn};
    for (classlib::TWinControl* next : order) {
        PressKey(VK_TAB);
        ASSERT_EQ(GetFocus(), next->Handle()) << "Tab reaches " << classlib::WideToAnsi(next->Name());
    }
    EXPECT_EQ(panel->DateEdit1->Date(), start) << "tabbing through the start date keeps it";
    EXPECT_EQ(panel->DateEdit2->Date(), end) << "and the end date";
    // Back from the button over the end date and into it again.
    PressKey(VK_TAB, true);
    EXPECT_EQ(GetFocus(), panel->DateEdit2->Handle());
    PressKey(VK_TAB, true);
    EXPECT_EQ(GetFocus(), panel->KitSpinEdit6->Handle());
    EXPECT_EQ(panel->DateEdit2->Date(), end);
    EXPECT_EQ(panel->DateEdit1->Date(), start);
}

TEST_F(KitEditsTest, APlugInFolderNamedOutsideTheCodePageIsKeptAndAnnouncedWhole) {
    ui::TCaptureForm* form = CreateAndShow();
    widgets::kit::TDirectoryEdit* edit = form->DossiersFrame1->PlugInDirEdit;
    const std::wstring folder = folder_ + L"\u03a0\u03c1\u03cc\u03c3\u03b8\u03b5\u03c4\u03b1 \u63d2\u4ef6";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::vector<std::wstring> notices;
    auto previous = classlib::SetMessageBoxFunction([&](HWND, const std::wstring& Text, const std::wstring&, UINT) {
        notices.push_back(Text);
        return IDOK;
    });
    std::wstring startedAt;
    edit->BrowseFolder = [&](std::wstring& Folder) {
        startedAt = Folder;
        Folder = folder;
        return true;
    };
    edit->ButtonClick();
    EXPECT_EQ(settings::ParamPluginsDir->Value(), folder) << "stored whole";
    EXPECT_EQ(edit->WideText(), folder);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(folder), std::wstring::npos) << classlib::WideToAnsi(notices[0]);
    EXPECT_EQ(edit->InitialDir(), folder) << "the chosen folder is where the browser starts next";
    // Emptied, the edit's browser starts in that folder.
    edit->SetWideText(L"");
    edit->ButtonClick();
    EXPECT_EQ(startedAt, folder);
    classlib::SetMessageBoxFunction(previous);
    RemoveDirectoryW(folder.c_str());
}

TEST_F(KitEditsTest, AClipBrowserPathStoredInQuotesIsFound) {
    CreateAndShow();
    const std::wstring program = folder_ + L"Pelorin dir\\Pelorin.exe";
    CreateDirectoryW((folder_ + L"Pelorin dir").c_str(), nullptr);
    CloseHandle(CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    settings::ParamPelorin->SetValue(L"\"" + program + L"\"");
    EXPECT_EQ(ui::PelorinProgram(), program);
    settings::ParamPelorin->SetValue(program);
    EXPECT_EQ(ui::PelorinProgram(), program);
    settings::ParamPelorin->SetValue(L"\"" + folder_ + L"missing.exe\"");
    EXPECT_EQ(ui::PelorinProgram(), L"") << "a missing program is still not found";
    DeleteFileW(program.c_str());
    RemoveDirectoryW((folder_ + L"Pelorin dir").c_str());
}

}  // namespace
