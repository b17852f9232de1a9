// File routines against Windows' own rules and the file system under Wine: name checks, folder
// tests, long and 8.3 paths (folders not made yet included), and the folder browser driven
// through its own window.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kit_test_support.h"
#include "widgets/kit/file_util.h"

using namespace widgets::kit;

namespace {

std::wstring TempFolder() {
    wchar_t buf[MAX_PATH];
    GetTempPathW(MAX_PATH, buf);
    return StripTrailingBackslash(buf);
}

TEST(KitFiles, NamesFollowWindowsRules) {
    EXPECT_FALSE(IsValidFileName(L""));
    EXPECT_FALSE(IsValidFileName(L"a|b"));
    EXPECT_FALSE(IsValidFileName(L"a<b"));
    EXPECT_FALSE(IsValidFileName(L"a>b"));
    EXPECT_FALSE(IsValidFileName(L"say \"hi\""));
    EXPECT_FALSE(IsValidFileName(L"what?.avi"));
    EXPECT_FALSE(IsValidFileName(L"*.avi"));
    EXPECT_FALSE(IsValidFileName(L"C:\\clips\\a:b.avi"));
    EXPECT_FALSE(IsValidFileName(std::wstring(L"tab\there")));
    // Brackets are legal in Windows names.
    EXPECT_TRUE(IsValidFileName(L"clip [2006].avi"));
    EXPECT_TRUE(IsValidFileName(L"C:\\Program Files\\Pelorin\\pelorin.exe"));
    EXPECT_TRUE(IsValidFileName(L"\\\\server\\share\\x.avi"));
    EXPECT_TRUE(HasAnyChar(L"abc", L"xyc"));
    EXPECT_FALSE(HasAnyChar(L"abc", L""));
}

TEST(KitFiles, TrailingBackslashes) {
    EXPECT_EQ(StripTrailingBackslash(L"C:\\Temp\\"), L"C:\\Temp");
    EXPECT_EQ(StripTrailingBackslash(L"C:\\Temp"), L"C:\\Temp");
    EXPECT_EQ(StripTrailingBackslash(L"C:\\"), L"C:\\");
    EXPECT_EQ(StripTrailingBackslash(L"\\"), L"\\");
    EXPECT_EQ(StripTrailingBackslash(L"a\\\\"), L"a\\");
}

TEST(KitFiles, FoldersAndPathForms) {
    std::wstring base = TempFolder() + L"\\Kit Long Folder Name";
    CreateDirectoryW(base.c_str(), nullptr);
    std::wstring file = base + L"\\A long clip name.avi";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(DirectoryExists(base));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_FALSE(DirectoryExists(base + L"\\missing"));
    EXPECT_FALSE(DirectoryExists(L""));

    wchar_t shortBuf[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(file.c_str(), shortBuf, MAX_PATH), 0u);
    std::wstring shortName = shortBuf;
    std::wstring longName(MAX_PATH, L'\0');
    longName.resize(GetLongPathNameW(file.c_str(), longName.data(), MAX_PATH));
    EXPECT_EQ(LongToShortPath(file), shortName);
    EXPECT_EQ(ShortToLongPath(shortName), longName);
    // A folder not made yet keeps its typed name; the known part is still converted.
    std::wstring shortBase = LongToShortPath(base);
    EXPECT_EQ(ShortToLongPath(shortBase + L"\\Not Made Yet\\clip.avi"),
              ShortToLongPath(shortBase) + L"\\Not Made Yet\\clip.avi");
    EXPECT_EQ(LongToShortPath(L"Q:\\nowhere\\x"), L"Q:\\nowhere\\x");
    EXPECT_EQ(ShortToLongPath(base + L"\\"), ShortToLongPath(base) + L"\\");
    DeleteFileW(file.c_str());
    RemoveDirectoryW(base.c_str());
}

class FolderBrowserTest : public kittest::KitTest {};

// What the browser showed when it reported itself ready.
struct TBrowserStart {
    std::wstring Selected;
    bool HadHelp = false;
    bool OkEnabled = false;
};

// Runs the browser and presses Button as soon as it reports itself ready: the pre-selection is made
// before that report, so nothing is left to wait for.
bool RunBrowser(TBrowseFolderDlg& Dlg, int Button, TBrowserStart& Start) {
    Dlg.OnInitialized = [&](classlib::TObject*) {
        HWND d = Dlg.DialogHandle();
        Start.Selected = StripTrailingBackslash(Dlg.SelectedName());
        Start.HadHelp = GetDlgItem(d, 65535) != nullptr;
        Start.OkEnabled = IsWindowEnabled(GetDlgItem(d, IDOK)) != FALSE;
        PostMessageW(d, WM_COMMAND, Button, 0);
    };
    return Dlg.Execute();
}

TEST_F(FolderBrowserTest, PreselectedFolderComesBackWithoutBackslash) {
    // Wine's browser drops a pre-selection whose parent folders change while it opens: the folder
    // sits at the root of C:, not in the temporary folder that other test programs keep writing to.
    const std::wstring folder = L"C:\\Kit Browse " + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(folder + L"\\");
    dlg.SetHelpContext(12);
    TBrowserStart start;
    const bool chosen = RunBrowser(dlg, IDOK, start);
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(ShortToLongPath(start.Selected), folder) << "the folder is selected when the browser opens";
    EXPECT_TRUE(start.HadHelp);
    EXPECT_TRUE(start.OkEnabled);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(ShortToLongPath(dlg.FolderName()), folder);
    EXPECT_EQ(dlg.DialogHandle(), nullptr);
}

// A folder whose parent changed after the browser filled its tree (other programs write there) is
// still found and selected, and OK gives it back; the way down passes the profile's folders.
TEST_F(FolderBrowserTest, AFolderIsSelectedAfterItsParentChanged) {
    const std::wstring top = ShortToLongPath(TempFolder()) + L"\\Kit Browse Parent " + std::to_wstring(GetCurrentProcessId());
    const std::wstring inner = top + L"\\Inner", leaf = inner + L"\\Leaf";
    for (const std::wstring& folder : {top, inner, leaf})
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(leaf);
    std::wstring opened, elsewhere, again;
    bool selected = false;
    dlg.OnInitialized = [&](classlib::TObject*) {
        HWND d = dlg.DialogHandle();
        opened = dlg.SelectedName();
        SendMessageW(d, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\windows"));
        elsewhere = dlg.SelectedName();
        // The parent's change: its time moves, as a file made in it moves it.
        HANDLE h = CreateFileW(inner.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        FILETIME old{};
        SYSTEMTIME when{2001, 2, 0, 3, 4, 5, 6, 0};
        SystemTimeToFileTime(&when, &old);
        EXPECT_TRUE(h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, nullptr, &old));
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        selected = SelectBrowserFolder(d, leaf);
        again = dlg.SelectedName();
        PostMessageW(d, WM_COMMAND, IDOK, 0);
    };
    const bool chosen = dlg.Execute();
    for (const std::wstring& folder : {leaf, inner, top}) RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(ShortToLongPath(opened), leaf) << "the folder is selected when the browser opens";
    EXPECT_EQ(ShortToLongPath(StripTrailingBackslash(elsewhere)), ShortToLongPath(L"C:\\windows"));
    EXPECT_TRUE(selected);
    EXPECT_EQ(ShortToLongPath(again), leaf) << "selected again after its parent changed";
    ASSERT_TRUE(chosen);
    EXPECT_EQ(ShortToLongPath(dlg.FolderName()), leaf);
}

// The browser's Help button asks the application's help for the help context, so that the
// program's OnHelp (or an application-event chain holding it) sees it.
TEST_F(FolderBrowserTest, HelpButtonAsksTheApplicationsHelp) {
    std::vector<std::pair<WORD, LONG_PTR>> requests;
    classlib::Application()->OnHelp = [&](WORD Command, LONG_PTR Data, bool& CallHelp) {
        requests.emplace_back(Command, Data);
        CallHelp = false;
        return true;
    };
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(L"C:\\");
    dlg.SetHelpContext(617);
    dlg.OnInitialized = [&](classlib::TObject*) {
        HWND d = dlg.DialogHandle();
        HWND help = GetDlgItem(d, 65535);
        if (help != nullptr) PostMessageW(help, BM_CLICK, 0, 0);
        PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_FALSE(dlg.Execute());
    classlib::Application()->OnHelp = nullptr;
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].first, HELP_CONTEXT);
    EXPECT_EQ(requests[0].second, 617);
}

TEST_F(FolderBrowserTest, DriveRootKeepsItsBackslashAndCancelKeepsTheName) {
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(L"C:\\");
    TBrowserStart start;
    ASSERT_TRUE(RunBrowser(dlg, IDOK, start));
    EXPECT_EQ(start.Selected, L"C:\\");
    EXPECT_FALSE(start.HadHelp);  // help context 0: no Help button
    EXPECT_EQ(dlg.FolderName(), L"C:\\");

    TBrowseFolderDlg missing(nullptr);
    missing.SetFolderName(L"C:\\no such folder at all");
    EXPECT_FALSE(RunBrowser(missing, IDCANCEL, start));
    EXPECT_EQ(missing.FolderName(), L"C:\\no such folder at all");
}

// With no folder to pre-select the browser opens on its root; "My Computer" has no path, so OK is
// off for it, reported or not (Wine's browser does not report that first selection).
TEST_F(FolderBrowserTest, OkIsOffForTheFirstSelectionWhenItIsNoFolder) {
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetDesktopRoot(false);
    dlg.SetFolderName(L"C:\\no such folder at all");
    TBrowserStart start;
    EXPECT_FALSE(RunBrowser(dlg, IDCANCEL, start));
    EXPECT_EQ(start.Selected, L"") << "the root has no path";
    EXPECT_FALSE(start.OkEnabled);
    // Rooted at the desktop, whose folder has a path, OK is on.
    dlg.SetDesktopRoot(true);
    EXPECT_FALSE(RunBrowser(dlg, IDCANCEL, start));
    EXPECT_TRUE(start.OkEnabled);
}

// OK follows the selection: off for an item without a folder path ("My Computer"), on again for
// a folder.
TEST_F(FolderBrowserTest, OkIsOnlyForItemsThatAreFolders) {
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(L"C:\\");
    std::vector<std::pair<std::wstring, bool>> seen;
    dlg.OnSelChanged = [&](classlib::TObject*) {
        HWND d = dlg.DialogHandle();
        seen.emplace_back(dlg.SelectedName(), d != nullptr && IsWindowEnabled(GetDlgItem(d, IDOK)) != FALSE);
    };
    dlg.OnInitialized = [&](classlib::TObject*) {
        HWND d = dlg.DialogHandle();
        seen.clear();
        LPITEMIDLIST drives = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives))) {
            SendMessageW(d, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(drives));
            CoTaskMemFree(drives);
        }
        SendMessageW(d, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(L"C:\\windows"));
        PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_FALSE(dlg.Execute());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, L"") << "the drives' root has no path";
    EXPECT_FALSE(seen[0].second);
    EXPECT_EQ(ShortToLongPath(StripTrailingBackslash(seen[1].first)), ShortToLongPath(L"C:\\windows"));
    EXPECT_TRUE(seen[1].second);
    EXPECT_EQ(dlg.FolderName(), L"C:\\") << "cancelled: the name stays";
}

}  // namespace
