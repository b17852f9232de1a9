// Hostile stored settings as the main window shows them: windows stored off every screen brought
// onto the nearest one, values beyond their controls shown as the nearest choice or the default,
// a frame rate no recording can take refused like an unreadable one, and an excluded-sources list
// of many lines naming few devices listed once each, in order, unchecked, and saved so.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/format.h"
#include "classlib/message_box.h"
#include "settings/settings_catalogue.h"
#include "tests/ui/capture_form_fixture.h"
#include "tests/ui/store_helpers.h"
#include "ui/extraire_frame.h"
#include "ui/incruster_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"

namespace {

using namespace settings;
using namespace quill_test;

// The work area of the screen that holds the whole of Window.
bool OnOneScreen(classlib::TControl* Window) {
    const RECT bounds{Window->Left(), Window->Top(), Window->Left() + Window->Width(),
                      Window->Top() + Window->Height()};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromRect(&bounds, MONITOR_DEFAULTTONEAREST), &info)) return false;
    return bounds.left >= info.rcWork.left && bounds.top >= info.rcWork.top && bounds.right <= info.rcWork.right &&
           bounds.bottom <= info.rcWork.bottom;
}

TEST_F(CaptureFormTest, WindowsStoredOffTheScreensComeBackOntoTheNearestOne) {
    OwnRegistrySettings();
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    SetDword(kProgramKey, L"Top", 0x7FFFFFFFu);
    SetDword(kProgramKey, L"Left", 0x80000000u);
    SetDword(kProgramKey, L"Camform 1 left", 99999999u);
    SetDword(kProgramKey, L"Camform 1 top", static_cast<DWORD>(-99999999));
    // Half beyond the right edge: moved in just enough.
    SetDword(kProgramKey, L"Camform 2 left", static_cast<DWORD>(screenWidth - 100));
    SetDword(kProgramKey, L"Camform 2 top", 20);
    TTestCaptureForm* form = CreateAndShow();
    EXPECT_TRUE(OnOneScreen(form)) << form->Left() << "," << form->Top();
    EXPECT_TRUE(OnOneScreen(form->camForm1)) << form->camForm1->Left() << "," << form->camForm1->Top();
    EXPECT_TRUE(OnOneScreen(form->camForm2)) << form->camForm2->Left() << "," << form->camForm2->Top();
    EXPECT_EQ(20, form->camForm2->Top());
    EXPECT_LT(screenWidth - 100, form->camForm2->Left() + form->camForm2->Width())
        << "the nearest place, not the corner";
    EXPECT_EQ(form->Top(), ParamTop->Value());
    EXPECT_EQ(form->camForm1->Left(), ParamCamform1Left->Value());

    // A place on the screen is kept as it is.
    form_.reset();
    SetDword(kProgramKey, L"Top", 37);
    SetDword(kProgramKey, L"Left", 51);
    form = CreateAndShow();
    EXPECT_EQ(37, form->Top());
    EXPECT_EQ(51, form->Left());
}

TEST_F(CaptureFormTest, ValuesBeyondTheirControlsAreShownAsTheNearestChoiceOrTheDefault) {
    OwnRegistrySettings();
    SetDword(kProgramKey, L"Volume", 0x7FFFFFFFu);
    SetDword(kProgramKey, L"Qualit\u00e9 JPeg", 0x7FFFFFFFu);
    SetDword(kProgramKey, L"Panneau Actif", 255);
    SetDword(kProgramKey, L"Unit\u00e9s Intervallom\u00e8tre", 0x80000000u);
    SetDword(kProgramKey, L"Valeur Intervallom\u00e8tre", 0x7FFFFFFFu);
    SetDword(kProgramKey, L"When Incrust", 255);
    SetDword(kProgramKey, L"Standard DV", 2);
    const double huge = 1e308;
    SetValue(kProgramKey, L"Framerate", REG_BINARY, &huge, 8);
    SetDword(L"Software\\Marbrecq\\Quillotrane\\IncrustRec", L"BorderSize", 0x7FFFFFFFu);
    TTestCaptureForm* form = CreateAndShow();
    EXPECT_EQ(10000, form->tb->Value());
    EXPECT_EQ(100, form->OptionsFrame->TrackBar1->Position());
    EXPECT_TRUE(form->SourcesFrame->Visible()) << "the first panel";
    EXPECT_EQ(0, form->ExtraireFrame1->cbUnites->ItemIndex()) << "seconds";
    EXPECT_EQ(999999, form->ExtraireFrame1->KitSpinEdit7->AsInteger());
    EXPECT_TRUE(form->IncrusterFrame1->rbPermanent->Checked());
    EXPECT_EQ(0, form->OptionsFrame->rgStandard->ItemIndex()) << "Pal";
    EXPECT_EQ(L"18", form->SourcesFrame->leFramerate->Text());
    EXPECT_EQ("5", form->IncrusterFrame1->tbBorder->Caption());
}

TEST_F(CaptureFormTest, AFrameRateNoRecordingCanTakeIsRefusedLikeAnUnreadableOne) {
    TTestCaptureForm* form = CreateAndShow();
    std::vector<std::wstring> messages;
    const auto previous =
        classlib::SetMessageBoxFunction([&messages](HWND, const std::wstring& text, const std::wstring&, UINT) {
            messages.push_back(text);
            return IDOK;
        });
    widgets::TUcEdit* edit = form->SourcesFrame->leFramerate;
    for (const wchar_t* typed : {L"1e308", L"0", L"-25", L"2000000"}) {
        SCOPED_TRACE(testing::PrintToString(typed));
        ParamFramerate->SetValue(25.0);
        edit->SetText(typed);
        form->SourcesFrameleFramerateExit(edit);
        EXPECT_EQ(18.0, ParamFramerate->Value());
    }
    EXPECT_EQ(4u, messages.size());
    classlib::SetMessageBoxFunction(previous);

    // What the close stores of such a text: the default.
    form->StorageAnswer = smPortable;
    edit->SetText(L"1e308");
    form->Close();
    EXPECT_EQ(L"18", IniValue(ReadIniLines(ini_), L"Framerate"));
}

TEST_F(CaptureFormTest, ExcludedSourcesAreListedOnceEachInTheListsOrderUncheckedAndSavedSo) {
    OwnRegistrySettings();
    std::wstring stored = L"b cam\r\nA Cam\r\na cam\r\n\r\nZed\r\n";
    for (int i = 0; i < 100000; ++i) stored += L"dev\r\n";
    stored += L"b cam\r\n";
    SetSz(kProgramKey, L"Sources Exclues", stored);
    TTestCaptureForm* form = CreateAndShow();
    form->LoadPanelLists();
    widgets::TUcCheckListBox* sources = form->HelpFrame1->clSources;
    const std::vector<std::wstring> expected{L"", L"A Cam", L"b cam", L"dev", L"Zed"};
    ASSERT_EQ(static_cast<int>(expected.size()), sources->Items()->Count());
    for (int i = 0; i < sources->Items()->Count(); ++i) {
        EXPECT_EQ(expected[static_cast<size_t>(i)], sources->Items()->Get(i));
        EXPECT_FALSE(sources->Checked(i)) << i;
    }
    sources->SetChecked(sources->Items()->IndexOf(L"Zed"), true);
    form->Close();
    EXPECT_EQ(L"\r\nA Cam\r\nb cam\r\ndev\r\n", GetSz(kProgramKey, L"Sources Exclues"));
}

}  // namespace
