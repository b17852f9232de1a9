// The clip list panel filled by the recordings the capture action makes: every recording of the
// run listed, sorted from the panel's menu, opened from the list, taken off it, and handed to the
// clip browser without the one deleted from the disk meanwhile (shell calls caught at their seam).
#include <algorithm>
#include <cwctype>
#include <fstream>

#include "recording_ui_support.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/liste_frame.h"

namespace recording_ui {
namespace {

struct ShellCall {
    std::wstring Verb, File, Parameters;
};

// Catches the shell's "open" calls while it lives.
class ShellCatcher {
public:
    ShellCatcher() {
        settings::TShellCalls calls;
        calls.Execute = [this](HWND, const wchar_t* Verb, const wchar_t* File, const wchar_t* Parameters,
                               const wchar_t*, int) {
            Calls.push_back({Verb ? Verb : L"", File ? File : L"", Parameters ? Parameters : L""});
            return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
        };
        calls.FileOperation = [](SHFILEOPSTRUCTW*) { return 0; };
        settings::SetShellCalls(calls);
    }
    ~ShellCatcher() { settings::ResetShellCalls(); }
    std::vector<ShellCall> Calls;
};

std::wstring Lower(std::wstring Text) {
    for (wchar_t& c : Text) c = static_cast<wchar_t>(std::towlower(c));
    return Text;
}

TEST_F(RecordingUiTest, TheClipListHoldsTheRunsRecordingsToSortOpenAndHandOn) {
    ShellCatcher shell;
    ui::TListeFrame* list = form->ListeFrame;
    widgets::custom::TFichierListBox* clips = list->fl;
    auto listed = [clips] {
        std::vector<std::wstring> paths;
        for (int i = 0; i < clips->FichierCount(); ++i) paths.push_back(clips->Fichier(i)->Path());
        return paths;
    };

    // Sound alone, then picture and sound twice: a WAVE file and two AVI files.
    std::vector<std::wstring> recorded;
    for (const std::uint8_t recording : {std::uint8_t{11}, std::uint8_t{5}, std::uint8_t{5}}) {
        ASSERT_NO_FATAL_FAILURE(Preview(recording == 11 ? L"" : kCamera, kMicrophone, recording));
        recorded.push_back(form->NextVideoFile);
        Capture();
        ASSERT_EQ(2, form->CaptureState);
        ASSERT_TRUE(WaitRecorded(10));
        Capture();
        ASSERT_EQ(1, form->CaptureState);
    }
    std::vector<std::wstring> expected = recorded;
    std::sort(expected.begin(), expected.end(), [](const std::wstring& a, const std::wstring& b) {
        return Lower(a) < Lower(b);
    });
    form->saListeFrame->Execute();
    EXPECT_EQ(expected, listed()) << "every recording, in alphabetical order";
    EXPECT_EQ(L"3 files sorted in alphabetical order", list->labselect->Caption());

    list->Extension1->Click();
    ASSERT_EQ(3u, listed().size());
    EXPECT_EQ(recorded[0], listed()[2]) << "the WAVE file after the AVI files";
    EXPECT_EQ(L"3 files sorted by extension", list->labselect->Caption());

    // A double click opens the focused recording.
    clips->SelectItem(0);
    list->flDblClick(clips);
    ASSERT_EQ(1u, shell.Calls.size());
    EXPECT_EQ(L"open", shell.Calls[0].Verb);
    EXPECT_EQ(listed()[0], shell.Calls[0].File);

    // One recording deleted from the disk: the clip browser gets the two others, in list order.
    const std::wstring browser = (folder / L"Pelorin.exe").wstring();
    std::ofstream(folder / L"Pelorin.exe") << "MZ";
    settings::ParamPelorin->SetValue(browser);
    const std::vector<std::wstring> before = listed();
    ASSERT_TRUE(DeleteFileW(before[1].c_str()));
    form->acPelorin->Execute();
    ASSERT_EQ(2u, shell.Calls.size());
    EXPECT_EQ(browser, shell.Calls[1].File);
    EXPECT_EQ(L" \"" + before[0] + L"\" \"" + before[2] + L"\"", shell.Calls[1].Parameters);

    // Taken off the list, not off the disk.
    SendMessageW(clips->Handle(), LB_SETSEL, FALSE, -1);
    clips->SelectItem(2);
    clips->DeleteSelected();
    EXPECT_EQ((std::vector<std::wstring>{before[0], before[1]}), listed());
    EXPECT_EQ(L"2 files sorted by extension", list->labselect->Caption());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(before[2].c_str()));
}

}  // namespace
}  // namespace recording_ui
