// The kit's own folder dialog: its lists for a folder with Greek and CJK names, typed folders
// taken, refused, asked about or created as its options say; and the folder edits and the folder
// browser reaching it: by default, for every kind on a shell older than the new style, while the
// system's browser serves the Win32 kind on the new one.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/dialogs.h"
#include "kit_test_support.h"
#include "window_screenshot.h"
#include "unicode/wide_files.h"
#include "widgets/kit/file_util.h"
#include "widgets/kit/path_edit.h"
#include "widgets/kit/select_dir_dialog.h"
#include "widgets/unicode/uc_dialogs.h"

using namespace classlib;
using namespace widgets::kit;
using kittest::TScratchFolder;
using kittest::TWindowDriver;

namespace {

const std::wstring kGreek = L"\x0395\x03b9\x03ba\x03cc\x03bd\x03b5\x03c2";  // "Eikones"
const std::wstring kCjk = L"\x65e5\x672c\x8a9e";

// Answers the dialogs' questions and keeps what they said (Count may be read from a driver).
class TAnswers {
public:
    explicit TAnswers(int Answer) {
        widgets::SetMessageDlgFunction([this, Answer](const std::wstring& Msg, widgets::TMsgDlgType, widgets::TMsgDlgButtons) {
            Asked.push_back(Msg);
            ++Count;
            return Answer;
        });
    }
    ~TAnswers() { widgets::SetMessageDlgFunction(nullptr); }
    std::vector<std::wstring> Asked;
    std::atomic<int> Count{0};
};

// The old shell for a while: the kit asks NewStyleControls, as the class library does.
class TOldShell {
public:
    TOldShell() { NewStyleControls = false; }
    ~TOldShell() { NewStyleControls = true; }
};

bool IsKitFolderDialog(HWND Window) { return TWindowDriver::TextOf(Window) == L"Select Directory"; }
bool IsSystemBrowser(HWND Window) { return TWindowDriver::ClassOf(Window) == L"#32770"; }

HWND EditOf(HWND Dialog) {
    return TWindowDriver::FindChild(Dialog, [](HWND w) {
        const std::wstring c = TWindowDriver::ClassOf(w);
        return c.find(L"Edit") != std::wstring::npos || c.find(L"EDIT") != std::wstring::npos;
    });
}

// Types a folder name into the kit's dialog and presses OK, as a user does.
void TypeAndOk(HWND Dialog, const std::wstring& Name) {
    HWND edit = EditOf(Dialog);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Name.c_str()));
    HWND ok = TWindowDriver::FindChild(Dialog, [](HWND w) { return TWindowDriver::TextOf(w) == L"OK"; });
    PostMessageW(ok, BM_CLICK, 0, 0);
}

void CloseFound(HWND Window) {
    if (IsSystemBrowser(Window))
        PostMessageW(Window, WM_COMMAND, IDCANCEL, 0);
    else
        PostMessageW(Window, WM_CLOSE, 0, 0);
}

class SelectDirDialogTest : public kittest::KitTest {
protected:
    TSelectDirDlg* NewDialog() { return NewForm<TSelectDirDlg>(Application()); }
};

TEST_F(SelectDirDialogTest, ListsTheWayDownTheFoldersInsideAndTheFiles) {
    TScratchFolder scratch(L"quill dirs " + kGreek);
    const std::wstring inner = scratch.Folder(kCjk);
    scratch.Folder(L"beta");
    scratch.File(L"clip " + kGreek + L".avi");
    TSelectDirDlg* dlg = NewDialog();
    dlg->SetDirectory(scratch.Path() + L"\\");
    EXPECT_EQ(dlg->Directory(), scratch.Path());
    EXPECT_EQ(dlg->DirEdit->Text(), scratch.Path());
    // The drive root first, then one line a folder down to this one, then its folders sorted.
    const auto& paths = dlg->DirPaths();
    ASSERT_GE(paths.size(), 4u);
    EXPECT_EQ(paths.front(), scratch.Path().substr(0, 3));
    EXPECT_EQ(paths[paths.size() - 3], scratch.Path());
    EXPECT_EQ(paths[paths.size() - 2], scratch.Path() + L"\\beta");
    EXPECT_EQ(paths.back(), inner);
    EXPECT_EQ(dlg->DirList->ItemIndex(), static_cast<int>(paths.size()) - 3) << "the shown folder is selected";
    EXPECT_EQ(Trim(dlg->DirList->Items()->Strings(static_cast<int>(paths.size()) - 1)), kCjk);
    ASSERT_EQ(dlg->FileList->Items()->Count(), 1);
    EXPECT_EQ(dlg->FileList->Items()->Strings(0), L"clip " + kGreek + L".avi");
    EXPECT_FALSE(dlg->FileList->Enabled()) << "files are shown, never chosen";
    EXPECT_GE(dlg->DriveCombo->ItemIndex(), 0);
    EXPECT_EQ(dlg->DriveCombo->Items()->Strings(dlg->DriveCombo->ItemIndex()).substr(0, 2), L"c:");

    // A click shows the line's folder in the name box; a double-click opens it.
    dlg->DirList->SetItemIndex(static_cast<int>(paths.size()) - 1);
    dlg->DirListClick(dlg->DirList);
    EXPECT_EQ(dlg->DirEdit->Text(), inner);
    dlg->DirListDblClick(dlg->DirList);
    EXPECT_EQ(dlg->Directory(), inner);
    EXPECT_EQ(dlg->DirPaths().back(), inner) << "an empty folder lists only the way down";
    EXPECT_EQ(dlg->FileList->Items()->Count(), 0);

    // A folder that does not exist shows its nearest parent and keeps the name given.
    dlg->SetDirectory(scratch.Path() + L"\\not yet\\deeper");
    EXPECT_EQ(dlg->Directory(), scratch.Path());
    EXPECT_EQ(dlg->DirEdit->Text(), scratch.Path() + L"\\not yet\\deeper");
}

TEST_F(SelectDirDialogTest, TypedFoldersAreTakenRefusedAskedAboutOrCreatedAsTheOptionsSay) {
    TScratchFolder scratch(L"quill typed");
    const std::wstring inner = scratch.Folder(kGreek);
    const std::wstring file = scratch.File(L"a file");
    TSelectDirDlg* dlg = NewDialog();
    dlg->SetDirectory(scratch.Path());
    auto ok = [&](const std::wstring& Typed) {
        dlg->SetModalResult(mrNone);
        dlg->DirEdit->SetText(Typed);
        dlg->OKButtonClick(dlg->OKButton);
        return dlg->ModalResult() == mrOk;
    };
    {
        TAnswers answers(mrOk);
        // An existing folder, typed relative to the shown one, is taken whole.
        EXPECT_TRUE(ok(kGreek));
        EXPECT_EQ(dlg->Chosen(), inner);
        EXPECT_TRUE(ok(L"..\\" + unicode::WideExtractFileName(scratch.Path()) + L"\\" + kGreek + L"\\"));
        EXPECT_EQ(dlg->Chosen(), inner);
        EXPECT_TRUE(answers.Asked.empty());
        // Without sdAllowCreate a new folder is refused with its name, and nothing is made.
        EXPECT_FALSE(ok(kCjk));
        ASSERT_EQ(answers.Asked.size(), 1u);
        EXPECT_EQ(answers.Asked[0], L"The folder " + scratch.Path() + L"\\" + kCjk + L" does not exist.");
        EXPECT_FALSE(DirectoryExists(scratch.Path() + L"\\" + kCjk));
        // A file or a name no folder can have is no folder.
        EXPECT_FALSE(ok(L"a file"));
        EXPECT_FALSE(ok(L"bad|name"));
        ASSERT_EQ(answers.Asked.size(), 3u);
        EXPECT_EQ(answers.Asked[2], L"bad|name is not a valid folder name.");
        // With sdAllowCreate alone the name is handed back for the caller to create.
        dlg->SetOptions(sdAllowCreate);
        EXPECT_TRUE(ok(kCjk));
        EXPECT_EQ(dlg->Chosen(), scratch.Path() + L"\\" + kCjk);
        EXPECT_FALSE(DirectoryExists(dlg->Chosen()));
        // sdPerformCreate makes it, folders on the way included.
        dlg->SetOptions(sdAllowCreate | sdPerformCreate);
        EXPECT_TRUE(ok(kCjk + L"\\two"));
        EXPECT_TRUE(DirectoryExists(scratch.Path() + L"\\" + kCjk + L"\\two"));
        EXPECT_EQ(answers.Asked.size(), 3u) << "no question without sdPrompt";
    }
    {
        // sdPrompt asks first; No keeps the dialog open and makes nothing.
        TAnswers answers(mrNo);
        dlg->SetOptions(sdAllowCreate | sdPerformCreate | sdPrompt);
        EXPECT_FALSE(ok(L"asked"));
        ASSERT_EQ(answers.Asked.size(), 1u);
        EXPECT_EQ(answers.Asked[0],
                  L"The folder " + scratch.Path() + L"\\asked does not exist.\r\nDo you want to create it?");
        EXPECT_FALSE(DirectoryExists(scratch.Path() + L"\\asked"));
    }
    {
        TAnswers answers(mrYes);
        EXPECT_TRUE(ok(L"asked"));
        EXPECT_TRUE(DirectoryExists(scratch.Path() + L"\\asked"));
    }
}

TEST_F(SelectDirDialogTest, DirectoryEditRunsTheKitDialogByDefaultWithItsOptions) {
    TScratchFolder scratch(L"quill edit " + kGreek);
    TForm* form = ShownForm();
    auto* edit = new TDirectoryEdit(form);
    edit->SetParent(form);
    edit->SetDialogOptions(sdAllowCreate | sdPerformCreate);
    edit->SetWideText(scratch.Path());
    std::wstring startedAt;
    int shot = 0;
    TWindowDriver driver(IsKitFolderDialog, [&](HWND Dialog) {
        startedAt = TWindowDriver::TextOf(EditOf(Dialog));
        RedrawWindow(Dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        shot = quill_test::SaveWindowScreenshot(Dialog, kittest::StartFolder() + L"\\kit_folder_dialog.bmp");
        TypeAndOk(Dialog, kCjk);
    });
    edit->ButtonClick();
    driver.Join();
    ASSERT_NE(driver.Found(), nullptr) << "the kit's folder dialog did not come";
    EXPECT_EQ(startedAt, scratch.Path()) << "it starts at the edit's folder, Greek name and all";
    EXPECT_GT(shot, 1000) << "the dialog as it looks, kept in the test's folder";
    const std::wstring made = scratch.Path() + L"\\" + kCjk;
    EXPECT_TRUE(DirectoryExists(made)) << "sdPerformCreate made the typed folder";
    EXPECT_EQ(edit->WideText(), made);
}

TEST_F(SelectDirDialogTest, Win32KindRunsTheSystemBrowserOnlyOnTheNewShell) {
    TForm* form = ShownForm();
    auto* edit = new TDirectoryEdit(form);
    edit->SetParent(form);
    edit->SetDialogKind(TDirDialogKind::dkWin32);
    edit->SetText("C:\\");
    std::vector<bool> after;
    edit->OnAfterDialog = [&](TObject*, std::wstring&, bool& Action) { after.push_back(Action); };
    // Which dialog came, told while it is there.
    auto run = [&] {
        std::wstring seen;
        TWindowDriver driver([](HWND w) { return IsSystemBrowser(w) || IsKitFolderDialog(w); },
                             [&](HWND w) {
                                 seen = IsSystemBrowser(w) ? L"system" : L"kit";
                                 CloseFound(w);
                             });
        edit->ButtonClick();
        driver.Join();
        return seen;
    };
    EXPECT_EQ(run(), L"system") << "the new shell has the system's browser";
    {
        TOldShell old;
        EXPECT_EQ(run(), L"kit") << "an older shell has none: the kit's dialog asks";
    }
    edit->SetDialogKind(TDirDialogKind::dkClassLib);
    EXPECT_EQ(run(), L"kit");
    EXPECT_EQ(after, (std::vector<bool>{false, false, false})) << "all cancelled, all told";
    EXPECT_EQ(edit->Text(), "C:\\");
}

TEST_F(SelectDirDialogTest, FolderBrowserOnAnOldShellAsksInTheKitDialog) {
    TScratchFolder scratch(L"quill old shell");
    const std::wstring inner = scratch.Folder(kGreek);
    TOldShell old;
    std::wstring folder = scratch.Path();
    TWindowDriver driver(IsKitFolderDialog, [&](HWND Dialog) { TypeAndOk(Dialog, kGreek); });
    const bool chosen = BrowseForFolder(folder, L"Pick one", 0);
    driver.Join();
    ASSERT_NE(driver.Found(), nullptr);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(folder, inner);
    // No options there: a new folder is refused and Cancel leaves the folder as it was.
    TAnswers answers(mrOk);
    folder = scratch.Path();
    TWindowDriver second(IsKitFolderDialog, [&](HWND Dialog) {
        TypeAndOk(Dialog, L"new one");
        TWindowDriver::WaitFor([&] { return answers.Count > 0; });
        PostMessageW(Dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(BrowseForFolder(folder, L"Pick one", 0));
    second.Join();
    EXPECT_EQ(folder, scratch.Path());
    EXPECT_FALSE(DirectoryExists(scratch.Path() + L"\\new one"));
}

}  // namespace
