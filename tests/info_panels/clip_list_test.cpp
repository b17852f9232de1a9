// The clip list panel: files of given sizes and dates sorted from its menu with the count and order
// told below the list, opened, shown in their folder and handed to the clip browser (caught at the
// shell's seam); the clip browser missing; the gauges. (Recordings made by the capture action are
// listed, sorted, opened and taken off the list in the recording tests.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "dshow/ds_functions.h"
#include "panel_test_support.h"
#include "settings/settings_catalogue.h"
#include "ui/liste_frame.h"

namespace {

using namespace quill_test;

class ClipListTest : public PanelFormTest {
protected:
    ui::TListeFrame* List() { return form_->ListeFrame; }
    std::vector<std::wstring> Shown() {
        std::vector<std::wstring> names;
        for (int i = 0; i < List()->fl->FichierCount(); ++i) names.push_back(List()->fl->Fichier(i)->Name());
        return names;
    }
    // A file of Size bytes whose modification time is Minutes after a fixed date.
    std::wstring MakeClip(const wchar_t* Name, size_t Size, int Minutes) {
        const std::wstring path = folder_ + Name;
        WriteBytes(path, std::string(Size, 'x'));
        HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SYSTEMTIME date{2024, 5, 0, 1, 10, 0, 0, 0};
        FILETIME time{};
        SystemTimeToFileTime(&date, &time);
        ULARGE_INTEGER t{{time.dwLowDateTime, time.dwHighDateTime}};
        t.QuadPart += static_cast<ULONGLONG>(Minutes) * 600000000ull;
        time = FILETIME{t.LowPart, t.HighPart};
        SetFileTime(file, nullptr, nullptr, &time);
        CloseHandle(file);
        return path;
    }
};

TEST_F(ClipListTest, FilesAreSortedBySizeAndDateShownInTheirFolderAndHandedToTheClipBrowser) {
    TShellRecorder shell;
    TBoxRecorder boxes;
    const std::wstring b = MakeClip(L"b_clip.avi", 3000, 1);
    const std::wstring a = MakeClip(L"a_clip.wav", 1000, 3);
    const std::wstring c = MakeClip(L"c_picture.jpg", 2000, 2);
    for (const std::wstring& path : {b, a, c}) List()->AddFile(path);
    form_->saListeFrame->Execute();
    List()->ShowFrame();
    EXPECT_EQ((std::vector<std::wstring>{L"a_clip.wav", L"b_clip.avi", L"c_picture.jpg"}), Shown());
    EXPECT_EQ(L"3 files sorted in alphabetical order", List()->labselect->Caption());

    List()->Taille1->Click();
    EXPECT_EQ((std::vector<std::wstring>{L"a_clip.wav", L"c_picture.jpg", L"b_clip.avi"}), Shown());
    EXPECT_EQ(L"3 files sorted by file size", List()->labselect->Caption());
    List()->Date1->Click();
    EXPECT_EQ((std::vector<std::wstring>{L"b_clip.avi", L"c_picture.jpg", L"a_clip.wav"}), Shown());
    List()->Extension1->Click();
    EXPECT_EQ((std::vector<std::wstring>{L"b_clip.avi", L"c_picture.jpg", L"a_clip.wav"}), Shown());
    EXPECT_EQ(L"3 files sorted by extension", List()->labselect->Caption());
    EXPECT_GT(SaveScreenshot(form_->Handle(), L"clip_list_panel.bmp"), 1000);

    // The menu acts on the focused entry: a double click opens it, "Parent folder" shows it.
    List()->fl->SelectItem(1);
    List()->flDblClick(List()->fl);
    List()->ParentFolder1->Click();
    ASSERT_EQ(2u, shell.Calls.size());
    EXPECT_EQ(L"open", shell.Calls[0].Verb);
    EXPECT_EQ(c, shell.Calls[0].File);
    EXPECT_EQ(SW_SHOWNORMAL, shell.Calls[0].Show);
    EXPECT_EQ(L"explorer.exe", shell.Calls[1].File);
    EXPECT_EQ(L"/n,/select," + c, shell.Calls[1].Parameters);

    // The clip browser missing: the menu does nothing, the action says where to name it.
    settings::ParamPelorin->SetValue(folder_ + L"Pelorin.exe");
    List()->OuvrirdansPelorin1->Click();
    form_->acPelorin->Execute();
    EXPECT_EQ(2u, shell.Calls.size());
    ASSERT_EQ(1u, boxes.Boxes.size());
    EXPECT_EQ(L"Pelorin by Marbrecq has not been found on this computer.\r\nIf it is present, please indicate its "
              L"name and path in the Folders panel (ALT+D).",
              boxes.Boxes[0].Text);

    // Present: the menu hands it the focused clip.
    WriteBytes(folder_ + L"Pelorin.exe", "MZ");
    List()->OuvrirdansPelorin1->Click();
    ASSERT_EQ(3u, shell.Calls.size());
    EXPECT_EQ(folder_ + L"Pelorin.exe", shell.Calls[2].File);
    EXPECT_EQ(L"+F=\"" + c + L"\"", shell.Calls[2].Parameters);
}

TEST_F(ClipListTest, GaugesShowTheBusiestProcessorAndTheDrivesOfTheFolders) {
    double usage[] = {0.25, 0.914, 0.5, 0.1};
    static double* current = nullptr;
    current = usage;
    auto read = [](int index) { return current[index]; };
    // The last instance is the total: it is left out; one instance alone shows nothing.
    EXPECT_EQ(91, ui::BusiestProcessorLoad(4, read));
    EXPECT_EQ(25, ui::BusiestProcessorLoad(2, read));
    EXPECT_EQ(0, ui::BusiestProcessorLoad(1, read));

    settings::ParamVideoDirectory->SetValue(folder_);
    settings::ParamImageDirectory->SetValue(folder_);
    // Other programs write to the same disk meanwhile: the figures shown lie between those read
    // just before and just after the refresh.
    const int usedBefore = dshow::DiskUsedMB(folder_);
    List()->RefreshGauges();
    const int usedAfter = dshow::DiskUsedMB(folder_);
    EXPECT_EQ(dshow::DiskTotalMB(folder_), List()->tgVideo->MaxValue());
    for (auto* gauge : {List()->tgVideo, List()->tgImage}) {
        EXPECT_GE(gauge->Progress(), std::min(usedBefore, usedAfter));
        EXPECT_LE(gauge->Progress(), std::max(usedBefore, usedAfter));
    }
    EXPECT_GE(List()->tgCPU->Progress(), 0);
    EXPECT_LE(List()->tgCPU->Progress(), 100);
}

}  // namespace
