// The main window under Xvfb as far as the settings rely on it: its creation (the parameter list and
// its signature), its first showing (caption, the settings made with the window's size, the loaded
// position and storage mode), the storage choice of the settings panel (what it moves and what it
// removes, and when) and the save at close in each storage mode. The program the settings see is a
// path in a temporary folder; HKCU\Software\Marbrecq is set aside before each test and put back.
#include "ui/capture_form.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"
#include "settings/shell_helpers.h"
#include "painted_ink.h"
#include "wide_window_environment.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/store_helpers.h"
#include "ui/options_frame.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_dialogs.h"
#include "widgets/unicode/uc_forms.h"

namespace {

using namespace settings;
using namespace quill_test;

const std::wstring kSignature = L"Quillotrane 6.0.5 En by Marbrecq";
const std::wstring kCaption = L"Quillotrane 6.0.5En by Marbrecq";

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new quill_test::WideWindowEnvironment);

TEST_F(CaptureFormTest, CreationMakesTheParameterListAndServesTheLayersBelow) {
    TTestCaptureForm* form = Create();
    ASSERT_NE(nullptr, ParameterList());
    EXPECT_EQ(kSignature, ParameterList()->Signature());
    // The settings themselves come with the first showing.
    EXPECT_EQ(0, ParameterList()->Count());
    ASSERT_NE(nullptr, ui::FailedDevices());
    EXPECT_EQ(0, ui::FailedDevices()->Count());
    EXPECT_TRUE(ui::StartingUp());
    EXPECT_EQ(static_cast<ISettingsHost*>(form), SettingsHost());
    EXPECT_EQ(classlib::Application()->Handle(), ApplicationWindow());
    EXPECT_EQ(L"......", form->Caption());

    form_.reset();
    EXPECT_EQ(nullptr, SettingsHost());
    EXPECT_EQ(nullptr, ApplicationWindow());
    EXPECT_EQ(nullptr, ui::FailedDevices());
}

TEST_F(CaptureFormTest, FirstShowingGivesTheCaptionAndMakesTheSettingsWithTheWindowSize) {
    TTestCaptureForm* form = CreateAndShow();
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(IsWindowUnicode(form->Handle()));
    EXPECT_EQ(kCaption, form->Caption());
    wchar_t text[256] = {};
    GetWindowTextW(form->Handle(), text, 256);
    EXPECT_EQ(kCaption, text);
    EXPECT_EQ("Arial", form->FontDialog1->Font()->Name()) << "the font dialog opens on the window's font";

    ASSERT_EQ(80, ParameterList()->Count());
    EXPECT_EQ(700, form->ClientWidth());
    EXPECT_EQ(459, form->ClientHeight());
    const int top = (GetSystemMetrics(SM_CYSCREEN) - form->Height()) / 2;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - form->Width()) / 2;
    EXPECT_EQ(top, ParamTop->Default());
    EXPECT_EQ(left, ParamLeft->Default());
    EXPECT_EQ(top + form->Height(), ParamCamform1Top->Default());
    // Nothing stored: the window stands where the defaults put it, and nothing will be saved.
    EXPECT_EQ(top, form->Top());
    EXPECT_EQ(left, form->Left());
    EXPECT_EQ(smNone, StorageMode());
    EXPECT_EQ(2, Prefs()->ItemIndex());

    // A later showing loads nothing again.
    TIntegerParameter* topParameter = ParamTop;
    form->Hide();
    form->Show();
    EXPECT_EQ(topParameter, ParamTop);
}

TEST_F(CaptureFormTest, LoadedPositionAndModeAreShownWithoutRemovingAnyStore) {
    OwnRegistrySettings();
    WriteIniLines(ini_, {kIniSection, L"Top=37", L"Left=51"});
    TTestCaptureForm* form = CreateAndShow();
    EXPECT_EQ(smPortable, StorageMode());
    EXPECT_EQ(1, Prefs()->ItemIndex());
    EXPECT_EQ(37, form->Top());
    EXPECT_EQ(51, form->Left());
    // Showing the mode is not choosing it.
    EXPECT_TRUE(KeyExists(kProgramKey));
    EXPECT_TRUE(FileExists(ini_));
    EXPECT_FALSE(form->OptionsFrame->RegistryRemovalPending());
    EXPECT_FALSE(form->OptionsFrame->IniRemovalPending());
}

TEST_F(CaptureFormTest, UnreadablePositionPutsTheWindowWhereTheStoreReadsIt) {
    // A stored number that does not convert reads as 0.
    WriteIniLines(ini_, {kIniSection, L"Top=abc", L"Left=99999999999"});
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_NE(0, ParamTop->Default());
    EXPECT_EQ(0, form->Top());
    EXPECT_EQ(0, form->Left());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(CaptureFormTest, ChoosingTheRegistryRemovesTheIniOnlyOnceTheRegistryIsWritten) {
    WriteIniLines(ini_, {kIniSection, L"Volume=1234", L"Source video=Cam \u0416"});
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_EQ(smPortable, StorageMode());
    Prefs()->SetItemIndex(0);
    EXPECT_EQ(smRegistry, StorageMode());
    EXPECT_TRUE(FileExists(ini_));
    EXPECT_TRUE(form->OptionsFrame->IniRemovalPending());
    EXPECT_FALSE(form->OptionsFrame->RegistryRemovalPending());

    form->SetBounds(40, 30, form->Width(), form->Height());
    form->Close();  // the close query saves
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_EQ(exe_, GetSz(kProgramKey, L"ExeName"));
    EXPECT_EQ(kSignature, GetSz(kProgramKey, L"Signature"));
    EXPECT_EQ(30, GetDword(kProgramKey, L"Top"));
    EXPECT_EQ(40, GetDword(kProgramKey, L"Left"));
    // Settings shown in a control go back from it as they were loaded.
    EXPECT_EQ(1234, GetDword(kProgramKey, L"Volume"));
}

TEST_F(CaptureFormTest, ChoosingPortableMovesOutsideFoldersAndRemovesTheKeyOnceTheIniIsWritten) {
    OwnRegistrySettings();
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_EQ(smRegistry, StorageMode());
    const std::wstring inside = classlib::AnsiUpperCase(folder_) + L"Pictures\\";
    // Same beginning as the program's folder, but a folder beside it.
    const std::wstring sibling = folder_.substr(0, folder_.size() - 1) + L"x\\Plugins\\";
    ParamVideoDirectory->SetValue(L"D:\\Videos\\");
    ParamImageDirectory->SetValue(inside);
    ParamPluginsDir->SetValue(sibling);

    Prefs()->SetItemIndex(1);
    EXPECT_EQ(smPortable, StorageMode());
    EXPECT_EQ(folder_, ParamVideoDirectory->Value());
    EXPECT_EQ(inside, ParamImageDirectory->Value());
    EXPECT_EQ(folder_, ParamPluginsDir->Value());
    EXPECT_TRUE(KeyExists(kProgramKey));
    EXPECT_TRUE(form->OptionsFrame->RegistryRemovalPending());
    EXPECT_FALSE(form->OptionsFrame->IniRemovalPending());

    form->SetBounds(22, 11, form->Width(), form->Height());
    EXPECT_TRUE(form->SaveSettings());
    const auto lines = ReadIniLines(ini_);
    EXPECT_EQ(kSignature, IniValue(lines, L"Signature"));
    EXPECT_EQ(exe_, IniValue(lines, L"ExeName"));
    EXPECT_EQ(L"11", IniValue(lines, L"Top"));
    EXPECT_EQ(L"22", IniValue(lines, L"Left"));
    EXPECT_EQ(folder_, IniValue(lines, L"Video Directory"));
    EXPECT_EQ(inside, IniValue(lines, L"Image Directory"));
    EXPECT_FALSE(KeyExists(kProgramKey));
}

TEST_F(CaptureFormTest, AFailedSaveKeepsTheStoreItWouldReplace) {
    OwnRegistrySettings();
    SetDword(kProgramKey, L"Volume", 77);
    TTestCaptureForm* form = CreateAndShow();
    Prefs()->SetItemIndex(1);
    // The INI file cannot be replaced.
    WriteIniLines(ini_, {kIniSection});
    SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_READONLY);
    std::vector<std::wstring> told;
    widgets::SetMessageDlgFunction([&](const std::wstring& Msg, widgets::TMsgDlgType, widgets::TMsgDlgButtons) {
        told.push_back(Msg);
        return classlib::mrOk;
    });
    EXPECT_FALSE(form->SaveSettings());
    widgets::SetMessageDlgFunction(nullptr);
    EXPECT_EQ(exe_, GetSz(kProgramKey, L"Exename"));
    EXPECT_EQ(77, GetDword(kProgramKey, L"Volume"));
    // The user is told where the settings could not be written.
    ASSERT_EQ(1u, told.size());
    EXPECT_NE(std::wstring::npos, told[0].find(L"could not be saved in ")) << testing::PrintToString(told[0]);
    EXPECT_NE(std::wstring::npos, told[0].find(L"Quillotrane.ini")) << testing::PrintToString(told[0]);
}

TEST_F(CaptureFormTest, NotSavingWritesNothingAndRemovesOwnStoresAtClose) {
    OwnRegistrySettings();
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_EQ(smRegistry, StorageMode());
    WriteIniLines(ini_, {kIniSection, L"Volume=5"});
    Prefs()->SetItemIndex(2);
    EXPECT_EQ(smNone, StorageMode());
    EXPECT_TRUE(KeyExists(kProgramKey));
    EXPECT_TRUE(FileExists(ini_));

    EXPECT_FALSE(form->SaveSettings());
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_FALSE(KeyExists(kProgramKey));
}

TEST_F(CaptureFormTest, NothingStoredNothingWritten) {
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_EQ(smNone, StorageMode());
    form->Close();
    EXPECT_EQ(1, form->StorageQuestions);
    EXPECT_FALSE(form->SaveSettings());
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_FALSE(KeyExists(kProgramKey));
}

TEST_F(CaptureFormTest, AnotherCopysRegistrySettingsAreNeverRemoved) {
    const std::wstring other = L"C:\\Other Copy\\Quillotrane.exe";
    SetSz(kProgramKey, L"Exename", other);
    SetDword(kProgramKey, L"Volume", 42);
    TTestCaptureForm* form = CreateAndShow();
    ASSERT_EQ(smNone, StorageMode());

    Prefs()->SetItemIndex(1);
    EXPECT_TRUE(form->SaveSettings());
    EXPECT_TRUE(FileExists(ini_));
    EXPECT_EQ(other, GetSz(kProgramKey, L"Exename"));

    Prefs()->SetItemIndex(2);
    EXPECT_FALSE(form->SaveSettings());
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_EQ(other, GetSz(kProgramKey, L"Exename"));
    EXPECT_EQ(42, GetDword(kProgramKey, L"Volume"));
}

}  // namespace

namespace {

TEST_F(CaptureFormTest, StorageChoiceCaptionsAreShownWhole) {
    CreateAndShow();
    classlib::TRadioGroup* prefs = Prefs();
    const std::string caption = prefs->Caption();
    const COLORREF ink = classlib::ColorToRGB(prefs->Font()->Color());
    TEXTMETRICA metrics{};
    SIZE extent{};
    {
        HDC screen = GetDC(nullptr);
        HGDIOBJ old = SelectObject(screen, prefs->Font()->Handle());
        GetTextMetricsA(screen, &metrics);
        GetTextExtentPoint32A(screen, caption.c_str(), static_cast<int>(caption.size()), &extent);
        SelectObject(screen, old);
        ReleaseDC(nullptr, screen);
    }
    ASSERT_LT(8 + extent.cx, prefs->Width());
    // The group box's caption, painted, reaches as far as the same text drawn alone: its last
    // letter is not cut off (Wine's stand-in font inks past the width it reports).
    const int rows = metrics.tmHeight;
    const int alone = quill_test::InkOf(ink, prefs->Width(), rows, [&](HDC dc) {
        HGDIOBJ old = SelectObject(dc, prefs->Font()->Handle());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ink);
        TextOutA(dc, 8, 0, caption.c_str(), static_cast<int>(caption.size()));
        SelectObject(dc, old);
    }).Right;
    const int painted = quill_test::InkOf(ink, prefs->Width(), rows, [&](HDC dc) {
        prefs->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    }).Right;
    EXPECT_GT(alone, 8);
    EXPECT_EQ(painted, alone);
    // Each choice has room for its check mark and its whole text.
    for (int i = 0; i < prefs->Items()->Count(); ++i) {
        classlib::TRadioButton* button = prefs->Buttons(i);
        const std::string text = button->Caption();
        HDC dc = GetDC(button->Handle());
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(button->Handle(), WM_GETFONT, 0, 0)));
        SIZE needed{};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &needed);
        SelectObject(dc, old);
        ReleaseDC(button->Handle(), dc);
        EXPECT_LE(needed.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4 * metrics.tmAveCharWidth / 2,
                  button->ClientWidth())
            << text;
    }
}

}  // namespace
