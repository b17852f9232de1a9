// The file-name and folder edits: quoting of names with blanks, a new path with blanks kept whole,
// invalid names refused, dropped files (one long name too), and the folder browser's start folder,
// its cancel and several folders joined by ";".
#include <shlobj.h>

#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "kit_test_support.h"
#include "widgets/kit/path_edit.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class PathEditTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "quill path edit";
        CreateDirectoryA(folder.c_str(), nullptr);
        file = folder + "\\clip one.avi";
        CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    void TearDown() override {
        DeleteFileA(file.c_str());
        RemoveDirectoryA(folder.c_str());
        KitTest::TearDown();
    }
    // Drops names on a window as the shell does.
    static void Drop(HWND Window, const std::vector<std::string>& Names) {
        size_t chars = 1;
        for (const std::string& n : Names) chars += n.size() + 1;
        HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + chars);
        auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
        df->pFiles = sizeof(DROPFILES);
        df->fWide = FALSE;
        char* p = reinterpret_cast<char*>(df + 1);
        for (const std::string& n : Names) {
            memcpy(p, n.c_str(), n.size() + 1);
            p += n.size() + 1;
        }
        GlobalUnlock(mem);
        SendMessageA(Window, WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0);
    }
    TForm* form = nullptr;
    std::string folder, file;
};

TEST_F(PathEditTest, NamesWithBlanksAreQuotedAndReadBackWhole) {
    auto* edit = new TFilenameEdit(form);
    edit->SetParent(form);
    int changes = 0;
    edit->OnChange = [&](TObject*) { ++changes; };
    edit->SetFileName("C:\\Program Files\\Pelorin\\pelorin.exe");
    EXPECT_EQ(edit->Text(), "\"C:\\Program Files\\Pelorin\\pelorin.exe\"");
    EXPECT_EQ(edit->FileName(), "C:\\Program Files\\Pelorin\\pelorin.exe");
    EXPECT_EQ(changes, 1);
    // Typed without quotes, a path that does not exist yet is not cut at its first blank.
    edit->SetText("C:\\Program Files\\New Tool\\tool.exe");
    EXPECT_EQ(edit->FileName(), "C:\\Program Files\\New Tool\\tool.exe");
    // A quoted name with arguments after it.
    edit->SetText("\"C:\\a b\\c.exe\" -x");
    EXPECT_EQ(edit->FileName(), "C:\\a b\\c.exe");
    // An existing file is itself, blanks and all.
    edit->SetText(file);
    EXPECT_EQ(edit->FileName(), file);
    // Invalid names are refused and leave the text.
    try {
        edit->SetFileName("C:\\bad|name.txt");
        FAIL() << "no error";
    } catch (const EComboEditError& e) {
        EXPECT_EQ(e.Message(), L"Invalid file name - C:\\bad|name.txt");
    }
    EXPECT_EQ(edit->Text(), file);
    EXPECT_EQ(edit->Dialog()->Title(), L"Browse");
    edit->SetFilter(L"Programs (*.exe)|*.exe");
    edit->SetFilterIndex(1);
    edit->SetDefaultExt(L".exe");
    edit->SetFileEditStyle(classlib::TFileEditStyle::fsComboBox);
    edit->HistoryList()->Add("C:\\tools\\a.exe");
    edit->SetDialogKind(TFileDialogKind::dkSave);
    // The new dialog takes over every setting of the old one.
    EXPECT_EQ(edit->Dialog()->ClassName(), L"TUcSaveDialog");
    EXPECT_EQ(edit->Dialog()->Title(), L"Browse");
    EXPECT_EQ(edit->Filter(), L"Programs (*.exe)|*.exe");
    EXPECT_EQ(edit->DefaultExt(), L"exe");
    EXPECT_EQ(edit->FileEditStyle(), classlib::TFileEditStyle::fsComboBox);
    ASSERT_EQ(edit->HistoryList()->Count(), 1);
    EXPECT_EQ(edit->HistoryList()->Strings(0), "C:\\tools\\a.exe");
}

TEST_F(PathEditTest, DroppedFilesFillTheEdits) {
    auto* edit = new TFilenameEdit(form);
    edit->SetParent(form);
    edit->SetAcceptFiles(true);
    int drops = 0;
    edit->OnDropFiles = [&](TObject*) { ++drops; };
    std::string longName = "C:\\" + std::string(280, 'x') + ".avi";  // beyond 255 characters
    Drop(edit->Handle(), {longName, file});
    EXPECT_EQ(edit->FileName(), longName);
    EXPECT_EQ(drops, 1);
    // Several names with multi-select: the first in the text, all in the list.
    edit->SetDialogOptions(edit->DialogOptions() | ofAllowMultiSelect);
    Drop(edit->Handle(), {file, longName});
    EXPECT_EQ(edit->FileName(), file);
    EXPECT_EQ(edit->DialogFiles()->Count(), 2);
    // A folder edit takes a dropped file's folder; with several folders it appends them.
    auto* dirs = new TDirectoryEdit(form);
    dirs->SetParent(form);
    dirs->SetAcceptFiles(true);
    dirs->SetMultipleDirs(true);
    Drop(dirs->Handle(), {file, "C:\\windows"});
    EXPECT_EQ(dirs->Text(), folder + ";C:\\windows");
    // Without AcceptFiles nothing is taken.
    auto* off = new TDirectoryEdit(form);
    off->SetParent(form);
    Drop(off->Handle(), {file});
    EXPECT_EQ(off->Text(), "");
}

TEST_F(PathEditTest, FolderBrowserStartsCancelsAndAppends) {
    auto* edit = new TDirectoryEdit(form);
    edit->SetParent(form);
    edit->SetDirectInput(false);
    std::wstring startedAt;
    std::wstring answer;
    const std::wstring wideFolder = AnsiToWide(folder);
    edit->BrowseFolder = [&](std::wstring& Folder) {
        startedAt = Folder;
        if (answer.empty()) return false;
        Folder = answer;
        return true;
    };
    std::vector<bool> after;
    edit->OnAfterDialog = [&](TObject*, std::wstring&, bool& Action) { after.push_back(Action); };
    int changes = 0;
    edit->OnChange = [&](TObject*) { ++changes; };
    edit->ButtonClick();  // empty, no initial folder: the root
    EXPECT_EQ(startedAt, L"\\");
    EXPECT_EQ(after, std::vector<bool>{false});  // cancelled: still told
    EXPECT_EQ(changes, 0);
    edit->SetInitialDir(wideFolder);
    answer = wideFolder;
    edit->ButtonClick();
    EXPECT_EQ(startedAt, wideFolder);
    EXPECT_EQ(edit->Text(), folder);
    EXPECT_EQ(changes, 1);
    edit->SetMultipleDirs(true);
    answer = L"C:\\windows";
    edit->ButtonClick();
    EXPECT_EQ(edit->Text(), folder + ";C:\\windows");
    // A missing folder starts the browser at the root.
    edit->SetMultipleDirs(false);
    edit->SetText("C:\\no such folder");
    answer.clear();
    edit->ButtonClick();
    EXPECT_EQ(startedAt, L"\\");
    // A folder chosen before the dialog can refuse it.
    edit->OnBeforeDialog = [](TObject*, std::wstring&, bool& Action) { Action = false; };
    startedAt.clear();
    edit->ButtonClick();
    EXPECT_TRUE(startedAt.empty());
}

TEST_F(PathEditTest, AWidePathStandsForTheTextWhileTheTextIsStillItsCodePageForm) {
    auto* edit = new TDirectoryEdit(form);
    edit->SetParent(form);
    const std::wstring greek = L"C:\\\u0395\u03b9\u03ba\u03cc\u03bd\u03b5\u03c2";
    edit->SetWideText(greek);
    EXPECT_EQ(edit->Text(), WideToAnsi(greek)) << "the edit itself shows the code page's form";
    EXPECT_EQ(edit->WideText(), greek);
    edit->SetText("C:\\Other");
    EXPECT_EQ(edit->WideText(), L"C:\\Other") << "another text is widened as it is";
    edit->SetText(WideToAnsi(greek));
    EXPECT_EQ(edit->WideText(), greek);
    edit->SetWideText(L"");
    EXPECT_EQ(edit->WideText(), L"");
}

}  // namespace
