// File routines against Windows' own rules and the file system under Wine: name checks, folder
// tests, long and 8.3 paths (folders not made yet included), and the folder browser driven
// through its own window.
#include <gtest/gtest.h>

#include <string>

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

HWND gBrowser = nullptr;

// A browser that never reached the awaited selection is cancelled rather than left open.
void CALLBACK CancelBrowser(HWND, UINT, UINT_PTR Id, DWORD) {
    KillTimer(nullptr, Id);
    if (gBrowser != nullptr) PostMessageW(gBrowser, WM_COMMAND, IDCANCEL, 0);
}

// Runs the browser. With Button IDOK it is pressed once the selection reached Expect (Wine may
// settle the pre-selection after the dialog reports itself ready); IDCANCEL is pressed at once.
bool RunBrowser(TBrowseFolderDlg& Dlg, int Button, const std::wstring& Expect = L"", bool* HadHelp = nullptr,
                bool* OkEnabled = nullptr) {
    // The bound only ends a run whose selection never settles: a loaded machine's shell can take
    // well over ten seconds to fill the tree.
    UINT_PTR guard = SetTimer(nullptr, 0, 60000, &CancelBrowser);
    bool pressed = false;
    auto press = [&] {
        HWND d = Dlg.DialogHandle();
        if (pressed || d == nullptr) return;
        if (Button == IDOK && ShortToLongPath(StripTrailingBackslash(Dlg.SelectedName())) !=
                                  ShortToLongPath(StripTrailingBackslash(Expect)))
            return;
        pressed = true;
        if (OkEnabled) *OkEnabled = IsWindowEnabled(GetDlgItem(d, IDOK)) != FALSE;
        PostMessageW(d, WM_COMMAND, Button, 0);
    };
    Dlg.OnInitialized = [&](classlib::TObject*) {
        gBrowser = Dlg.DialogHandle();
        if (HadHelp) *HadHelp = GetDlgItem(gBrowser, 65535) != nullptr;
        press();
    };
    Dlg.OnSelChanged = [&](classlib::TObject*) { press(); };
    bool result = Dlg.Execute();
    KillTimer(nullptr, guard);
    gBrowser = nullptr;
    return result;
}

TEST_F(FolderBrowserTest, PreselectedFolderComesBackWithoutBackslash) {
    std::wstring folder = TempFolder() + L"\\Kit Browse";
    CreateDirectoryW(folder.c_str(), nullptr);
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(folder + L"\\");
    dlg.SetHelpContext(12);
    bool help = false, ok = false;
    ASSERT_TRUE(RunBrowser(dlg, IDOK, folder, &help, &ok));
    EXPECT_TRUE(help);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ShortToLongPath(dlg.FolderName()), ShortToLongPath(folder));
    EXPECT_EQ(dlg.DialogHandle(), nullptr);
    RemoveDirectoryW(folder.c_str());
}

TEST_F(FolderBrowserTest, DriveRootKeepsItsBackslashAndCancelKeepsTheName) {
    TBrowseFolderDlg dlg(nullptr);
    dlg.SetFolderName(L"C:\\");
    bool help = true;
    ASSERT_TRUE(RunBrowser(dlg, IDOK, L"C:\\", &help));
    EXPECT_FALSE(help);  // help context 0: no Help button
    EXPECT_EQ(dlg.FolderName(), L"C:\\");

    TBrowseFolderDlg missing(nullptr);
    missing.SetFolderName(L"C:\\no such folder at all");
    EXPECT_FALSE(RunBrowser(missing, IDCANCEL));
    EXPECT_EQ(missing.FolderName(), L"C:\\no such folder at all");
}

}  // namespace
