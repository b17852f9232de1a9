// The about and error panels: their texts, the mails to the maker (caught at the shell's seam, their
// subject and body percent-encoded once), and the error panel's close giving the window its size.
#include <windows.h>

#include <gtest/gtest.h>

#include "panel_test_support.h"
#include "settings/program_texts.h"
#include "ui/apropos_frame.h"
#include "ui/erreur_frame.h"
#include "ui/help_frame.h"
#include "ui/system_report.h"

namespace {

using namespace quill_test;

const std::wstring kMaker = L"quillotrane@marbrecq.example";

// The part of a mail address after "&body=".
std::wstring BodyOf(const std::wstring& Url) { return Url.substr(Url.find(L"&body=") + 6); }

// A report of two lines, one holding a line break of its own.
void WriteSmallReport(ui::THelpFrame* Help) {
    ui::TSystemFacts facts;
    facts.WindowsVersion = L"Windows & Co";
    facts.DirectXVersion = L"9.0c";
    facts.Sources = {{L"Cam\r\nera", false}};
    ui::WriteSystemReport(*Help, facts);
}

TEST_F(PanelFormTest, AboutPanelNamesTheProgramItsLibrariesAndMailsTheMaker) {
    TShellRecorder shell;
    ui::TAproposFrame* about = form_->AproposFrame1;
    EXPECT_EQ("Quillotrane 6.0.5En", about->HxLabel1->Caption());
    const std::wstring& text = about->le1->Markup().Text;
    for (const wchar_t* part : {L"libjpeg-turbo", L"MinGW-w64", L"GCC", L"Its last update has been made at "})
        EXPECT_NE(std::wstring::npos, text.find(part)) << part;
    EXPECT_NE(std::wstring::npos, text.find(settings::BuildDate()));
    EXPECT_EQ(L"* Homepage of Quillotrane", about->leHome->Markup().Text);
    ASSERT_EQ(1u, about->leMail->Markup().Links.size());
    EXPECT_EQ(kMaker, about->leMail->Markup().Links[0].Target);

    WriteSmallReport(form_->HelpFrame1);
    // Any mail link writes to the maker, whatever it shows.
    about->leMailClick(L"someone@elsewhere.example");
    ASSERT_EQ(1u, shell.Calls.size());
    const std::wstring& url = shell.Calls[0].File;
    EXPECT_EQ(L"mailto:" + kMaker + L"?subject=About%20Quillotrane%206.0.5En&body=", url.substr(0, url.find(L"&body=") + 6));
    EXPECT_EQ(settings::PercentEncode(ui::SystemInfoMailText()), BodyOf(url));
    EXPECT_EQ(0u, BodyOf(url).find(L"Windows%20%26%20Co.%20%0D%0ADirectX%20version%209.0c.%0D%0A"));
    EXPECT_NE(std::wstring::npos, BodyOf(url).find(L"Cam%0D%0Aera%20-%0D%0A"));
    EXPECT_EQ(std::wstring::npos, url.find_first_of(L" \r\n#"));

    std::wstring hint;
    about->leMailHint(kMaker, hint);
    EXPECT_EQ(L"Click to send an e-mail to " + kMaker, hint);
    about->leUrlClick(L"http://www.marbrecq.example/quillotrane/");
    EXPECT_EQ(L"http://www.marbrecq.example/quillotrane/", shell.Calls.back().File);

    // The clip browser's button shows the action's picture from the main window's images.
    EXPECT_EQ(form_->acPelorin, about->PelorinButton->Action());
    EXPECT_EQ(form_->ImageList1, about->PelorinButton->Images());
    EXPECT_EQ(form_->acPelorin->ImageIndex(), about->PelorinButton->ImageIndex());
    about->ShowFrame();
    EXPECT_GT(SaveScreenshot(form_->Handle(), L"about_panel.bmp"), 1000);
}

TEST_F(PanelFormTest, WarningReportQuitGivesTheWindowBackItsSizeAndItsMailCarriesTheMessage) {
    TShellRecorder shell;
    WriteSmallReport(form_->HelpFrame1);
    const int width = form_->Width();
    const int height = form_->Height();
    ui::TErreurFrame* error = form_->ErreurFrame1;
    const std::wstring message = L"impossible to change the video sources\r\n100% & more";
    // Scroll bars the window had before (a window smaller than what it holds) go.
    ShowScrollBar(form_->Handle(), SB_BOTH, TRUE);
    error->ShowError(message, false);
    EXPECT_TRUE(error->Visible());
    EXPECT_EQ(0, GetWindowLongPtrW(form_->Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL));
    EXPECT_EQ(320, form_->ClientWidth());
    EXPECT_EQ(446, form_->ClientHeight());
    EXPECT_EQ("Marbrecq is sorry:", error->HxLabel1->Caption());
    EXPECT_EQ(0u, error->LinkEdit1->Markup().Text.find(L"Quillotrane has found potential issues on your system:\r\n\r\n"
                                                       L"impossible to change the video sources"));
    EXPECT_GT(SaveScreenshot(form_->Handle(), L"error_panel.bmp"), 1000);

    error->LinkEdit1MailClick(kMaker);
    ASSERT_EQ(1u, shell.Calls.size());
    const std::wstring& url = shell.Calls[0].File;
    EXPECT_EQ(0u, url.find(L"mailto:" + kMaker + L"?subject=Error%20of%20Quillotrane%206.0.5En&body="));
    EXPECT_EQ(L"The%20following%20error%20occured%3A%0D%0Aimpossible%20to%20change%20the%20video%20sources%0D%0A"
              L"100%25%20%26%20more%0D%0A%0D%0A" +
                  settings::PercentEncode(ui::SystemInfoMailText()),
              BodyOf(url));

    error->FermerErreurBtnClick(error->FermerErreurBtn);
    EXPECT_FALSE(error->Visible());
    EXPECT_EQ(width, form_->Width());
    EXPECT_EQ(height, form_->Height());
    EXPECT_FALSE(classlib::Application()->Terminated());
}

TEST_F(PanelFormTest, FatalReportQuitEndsTheProgram) {
    ASSERT_EQ(nullptr, classlib::Application()->MainForm()) << "the run below must not start a message loop";
    ui::TErreurFrame* error = form_->ErreurFrame1;
    error->ShowError(L"no capture graph", true);
    EXPECT_EQ(0u, error->LinkEdit1->Markup().Text.find(L"Quillotrane has encountered a fatal error on your system:"));
    error->FermerErreurBtnClick(error->FermerErreurBtn);
    EXPECT_TRUE(classlib::Application()->Terminated());
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // A new run starts unterminated (and, without a main form, returns at once): the next tests go on.
    classlib::Application()->Run();
    EXPECT_FALSE(classlib::Application()->Terminated());
}

}  // namespace
