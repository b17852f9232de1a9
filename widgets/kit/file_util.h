// The kit's file routines and folder browser: the system's folder-selection dialog as a component
// (pre-selection, screen centring, a Help button, OK only for existing folders), folder tests,
// file-name checks and conversions between long and 8.3 paths.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "classlib/objects.h"

namespace widgets::kit {

enum class TBrowseKind { bfFolders, bfComputers };
enum class TDialogPosition { dpDefault, dpScreenCenter };

class TBrowseFolderDlg : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TBrowseFolderDlg)
    explicit TBrowseFolderDlg(classlib::TComponent* AOwner);
    ~TBrowseFolderDlg() override;

    // Runs the dialog modally; true when the user chose an item. FolderName then holds the folder
    // without a trailing backslash (a drive root keeps it), or the computer's name. Raises the
    // system error when the root folder or the chosen path cannot be had.
    bool Execute();

    bool DesktopRoot() const { return desktopRoot_; }
    void SetDesktopRoot(bool Value) { desktopRoot_ = Value; }
    TBrowseKind BrowseKind() const { return kind_; }
    void SetBrowseKind(TBrowseKind Value) { kind_ = Value; }
    TDialogPosition Position() const { return position_; }
    void SetPosition(TDialogPosition Value) { position_ = Value; }
    const std::wstring& DialogText() const { return dialogText_; }
    void SetDialogText(const std::wstring& Value) { dialogText_ = Value; }
    const std::wstring& FolderName() const { return folderName_; }
    void SetFolderName(const std::wstring& Value) { folderName_ = Value; }
    // Non-zero adds a Help button that shows this help topic.
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int Value) { helpContext_ = Value; }
    // While the dialog runs: the dialog window, the selection; after it: the chosen item's image.
    HWND DialogHandle() const { return dialog_; }
    const std::wstring& SelectedName() const { return selectedName_; }
    const std::wstring& DisplayName() const { return displayName_; }
    int ImageIndex() const { return imageIndex_; }

    classlib::TNotifyEvent OnInitialized;
    classlib::TNotifyEvent OnSelChanged;

protected:
    // The Help button: the application's help for the help context (its OnHelp chain first).
    virtual void ShowHelp();

private:
    static int CALLBACK BrowseCallback(HWND Wnd, UINT Msg, LPARAM LParam, LPARAM Data);
    static LRESULT CALLBACK DialogProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
    void Initialized(HWND Wnd);
    void SelChanged(HWND Wnd, LPCITEMIDLIST Item);
    void AddHelpButton();

    WNDPROC oldProc_ = nullptr;
    int helpContext_ = 0;
    HWND dialog_ = nullptr;
    bool desktopRoot_ = true;
    bool rootIsFolder_ = true;
    TBrowseKind kind_ = TBrowseKind::bfFolders;
    TDialogPosition position_ = TDialogPosition::dpScreenCenter;
    std::wstring dialogText_;
    std::wstring displayName_;
    std::wstring selectedName_;
    std::wstring folderName_;
    int imageIndex_ = 0;
};

// Asks for a folder in the system's folder browser, owned by the application (on a shell older
// than the new style, in the kit's folder dialog); on OK writes the chosen folder into Folder and
// answers true.
bool BrowseForFolder(std::wstring& Folder, const std::wstring& DialogText, int HelpContext);

// Selects Folder in an open system folder browser. Where the browser cannot find it by its own
// lookup (Wine's drops a folder whose parent folders changed since its tree was filled), the tree
// is walked from the folder's drive by the names shown. Answers whether the folder is selected.
bool SelectBrowserFolder(HWND Dialog, const std::wstring& Folder);

// The name exists and is a folder.
bool DirectoryExists(const std::wstring& Name);
// A file or folder name by Windows' rules: not empty, no control character, none of
// < > " | * ?, and a colon only after a drive letter at its start.
bool IsValidFileName(const std::wstring& Name);
bool HasAnyChar(const std::wstring& Text, const std::wstring& Chars);
// One trailing backslash less, except on "\" and on a drive root such as "C:\".
std::wstring StripTrailingBackslash(const std::wstring& Path);
// Each component in its long form (or its 8.3 form); a component not found (a folder not made
// yet) stays as it is. The drive part is kept.
std::wstring ShortToLongPath(const std::wstring& Path);
std::wstring LongToShortPath(const std::wstring& Path);

}  // namespace widgets::kit
