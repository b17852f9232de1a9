#include "widgets/kit/file_util.h"

#include <commctrl.h>

#include <vector>

#include "classlib/application.h"
#include "classlib/custom_form.h"
#include "classlib/exceptions.h"
#include "widgets/kit/kit_utils.h"
#include "widgets/kit/select_dir_dialog.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr int kHelpButtonId = 65535;
const wchar_t kDialogProp[] = L"KitBrowseFolderDlg";

// Frees an item list with the shell's allocator.
struct TPidl {
    LPITEMIDLIST p = nullptr;
    ~TPidl() {
        if (p) CoTaskMemFree(p);
    }
};

std::wstring PathOf(LPCITEMIDLIST Item) {
    wchar_t buffer[MAX_PATH] = {};
    if (Item == nullptr || !SHGetPathFromIDListW(Item, buffer)) return std::wstring();
    return buffer;
}

std::wstring DisplayNameOf(LPCITEMIDLIST Item) {
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(reinterpret_cast<LPCWSTR>(Item), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_DISPLAYNAME))
        return std::wstring();
    return info.szDisplayName;
}

void ReportCallbackException() {
    // Nothing may cross the shell's callback.
    if (ApplicationExists()) Application()->HandleException(nullptr, std::current_exception());
}

// The drive part ("C:" or "\\server\share") and the components after it.
void SplitPath(const std::wstring& Path, std::wstring& Drive, std::vector<std::wstring>& Parts, bool& Trailing) {
    size_t start = 0;
    if (Path.size() >= 2 && Path[1] == L':') {
        start = 2;
    } else if (Path.rfind(L"\\\\", 0) == 0) {
        size_t server = Path.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? std::wstring::npos : Path.find(L'\\', server + 1);
        start = share == std::wstring::npos ? Path.size() : share;
    }
    Drive = Path.substr(0, start);
    Parts.clear();
    std::wstring rest = Path.substr(start);
    Trailing = !rest.empty() && rest.back() == L'\\';
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t end = rest.find(L'\\', pos);
        if (end == std::wstring::npos) end = rest.size();
        Parts.push_back(rest.substr(pos, end - pos));
        pos = end + 1;
    }
    if (Trailing && !Parts.empty() && Parts.back().empty()) Parts.pop_back();
}

std::wstring ConvertPath(const std::wstring& Path, bool ToLong) {
    std::wstring drive;
    std::vector<std::wstring> parts;
    bool trailing = false;
    SplitPath(Path, drive, parts, trailing);
    std::wstring done = drive;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) done += L'\\';
        const std::wstring& part = parts[i];
        // Wildcards would find some other file.
        if (part.empty() || part == L"." || part == L".." || part.find_first_of(L"*?") != std::wstring::npos) {
            done += part;
            continue;
        }
        std::wstring name = part;
        WIN32_FIND_DATAW fd{};
        HANDLE h = FindFirstFileW((done + part).c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            FindClose(h);
            const wchar_t* first = ToLong ? fd.cFileName : fd.cAlternateFileName;
            const wchar_t* second = ToLong ? fd.cAlternateFileName : fd.cFileName;
            name = first[0] != 0 ? first : second;
        }
        // A component that cannot be found (a folder not made yet) is kept as typed.
        done += name;
    }
    if (trailing) done += L"\\";
    return done;
}

}  // namespace

// ---- TBrowseFolderDlg ------------------------------------------------------------------------

TBrowseFolderDlg::TBrowseFolderDlg(TComponent* AOwner) : TComponent(AOwner) {}

TBrowseFolderDlg::~TBrowseFolderDlg() = default;

bool TBrowseFolderDlg::Execute() {
    TPidl root;
    if (!desktopRoot_ || kind_ == TBrowseKind::bfComputers) {
        HRESULT hr = SHGetSpecialFolderLocation(nullptr, kind_ == TBrowseKind::bfComputers ? CSIDL_NETWORK : CSIDL_DRIVES,
                                                &root.p);
        if (FAILED(hr)) RaiseLastOSError(static_cast<std::uint32_t>(hr));
    }
    // No root pidl: the desktop, whose folder has a path.
    rootIsFolder_ = root.p == nullptr || !PathOf(root.p).empty();
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW bi{};
    bi.hwndOwner = ApplicationExists() ? Application()->Handle() : nullptr;
    bi.pidlRoot = root.p;
    bi.pszDisplayName = display;
    bi.lpszTitle = dialogText_.empty() ? nullptr : dialogText_.c_str();
    bi.ulFlags = kind_ == TBrowseKind::bfComputers ? BIF_BROWSEFORCOMPUTER : (BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS);
    bi.lpfn = &BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(this);
    HWND active = GetActiveWindow();
    TTaskWindowList disabled = DisableTaskWindows(nullptr);
    TPidl chosen;
    chosen.p = SHBrowseForFolderW(&bi);
    dialog_ = nullptr;
    oldProc_ = nullptr;
    EnableTaskWindows(disabled);
    if (active != nullptr && IsWindow(active)) SetActiveWindow(active);
    if (chosen.p == nullptr) return false;
    displayName_ = display;
    selectedName_.clear();
    if (kind_ == TBrowseKind::bfFolders) {
        std::wstring path = PathOf(chosen.p);
        if (path.empty()) RaiseLastOSError();
        folderName_ = StripTrailingBackslash(path);
        selectedName_ = folderName_;
    } else {
        folderName_ = displayName_;
        selectedName_ = displayName_;
    }
    imageIndex_ = bi.iImage;
    return true;
}

int CALLBACK TBrowseFolderDlg::BrowseCallback(HWND Wnd, UINT Msg, LPARAM LParam, LPARAM Data) {
    auto* self = reinterpret_cast<TBrowseFolderDlg*>(Data);
    try {
        if (Msg == BFFM_INITIALIZED)
            self->Initialized(Wnd);
        else if (Msg == BFFM_SELCHANGED)
            self->SelChanged(Wnd, reinterpret_cast<LPCITEMIDLIST>(LParam));
    } catch (...) {
        ReportCallbackException();
    }
    return 0;
}

void TBrowseFolderDlg::Initialized(HWND Wnd) {
    if (position_ == TDialogPosition::dpScreenCenter) CenterWindowOnScreen(Wnd);
    dialog_ = Wnd;
    SetPropW(Wnd, kDialogProp, this);
    oldProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogProc)));
    if (kind_ == TBrowseKind::bfComputers)
        SendMessageW(Wnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folderName_.c_str()));
    else if (DirectoryExists(folderName_))
        SelectBrowserFolder(Wnd, folderName_);
    else
        // The root stays selected, and a browser need not report that first selection (Wine's
        // does not): OK only when the root is a folder, not "My Computer".
        SendMessageW(Wnd, BFFM_ENABLEOK, 0, rootIsFolder_);
    if (helpContext_ != 0) AddHelpButton();
    if (OnInitialized) OnInitialized(this);
}

void TBrowseFolderDlg::AddHelpButton() {
    // The dialog's first button gives the row and size of the new one.
    HWND first = nullptr;
    for (HWND child = GetWindow(dialog_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        if (lstrcmpiW(cls, L"Button") == 0) {
            first = child;
            break;
        }
    }
    if (first == nullptr) return;
    RECT r{};
    GetWindowRect(first, &r);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    HWND help = CreateWindowExW(0, L"BUTTON", L"&Help", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 12, r.top,
                                r.right - r.left, r.bottom - r.top, dialog_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHelpButtonId)), GetModuleHandleW(nullptr), nullptr);
    if (help == nullptr) return;
    SendMessageW(help, WM_SETFONT, SendMessageW(dialog_, WM_GETFONT, 0, 0), FALSE);
    InvalidateRect(dialog_, nullptr, TRUE);
}

void TBrowseFolderDlg::SelChanged(HWND Wnd, LPCITEMIDLIST Item) {
    if (kind_ == TBrowseKind::bfFolders) {
        std::wstring path = PathOf(Item);
        selectedName_ = path;
        // To the window the callback names: the browser reports its first selection before it
        // reports itself ready, while no dialog window is known here yet.
        SendMessageW(Wnd, BFFM_ENABLEOK, 0, !path.empty() && DirectoryExists(path));
    } else {
        selectedName_ = DisplayNameOf(Item);
    }
    if (OnSelChanged) OnSelChanged(this);
}

void TBrowseFolderDlg::ShowHelp() { classlib::Application()->HelpContext(helpContext_); }

LRESULT CALLBACK TBrowseFolderDlg::DialogProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    auto* self = static_cast<TBrowseFolderDlg*>(GetPropW(Wnd, kDialogProp));
    if (self == nullptr) return DefWindowProcW(Wnd, Msg, WParam, LParam);
    WNDPROC old = self->oldProc_;
    try {
        if (Msg == WM_COMMAND && LOWORD(WParam) == kHelpButtonId && HIWORD(WParam) == BN_CLICKED) {
            self->ShowHelp();
            return 0;
        }
        if (Msg == WM_DESTROY) {
            self->dialog_ = nullptr;
            RemovePropW(Wnd, kDialogProp);
            SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        }
    } catch (...) {
        ReportCallbackException();
    }
    return CallWindowProcW(old, Wnd, Msg, WParam, LParam);
}

namespace {

HWND TreeOf(HWND Dialog) {
    return FindWindowExW(Dialog, nullptr, WC_TREEVIEWW, nullptr);
}

HTREEITEM Caret(HWND Tree) { return TreeView_GetSelection(Tree); }

// The child of Parent whose shown name is Name, the parent opened first.
HTREEITEM ChildNamed(HWND Tree, HTREEITEM Parent, const std::wstring& Name) {
    TreeView_Expand(Tree, Parent, TVE_EXPAND);
    for (HTREEITEM item = TreeView_GetChild(Tree, Parent); item != nullptr; item = TreeView_GetNextSibling(Tree, item)) {
        wchar_t text[MAX_PATH] = {};
        TVITEMW asked{};
        asked.mask = TVIF_TEXT;
        asked.hItem = item;
        asked.pszText = text;
        asked.cchTextMax = MAX_PATH;
        if (SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&asked)) && lstrcmpiW(text, Name.c_str()) == 0)
            return item;
    }
    return nullptr;
}

}  // namespace

bool SelectBrowserFolder(HWND Dialog, const std::wstring& Folder) {
    HWND tree = TreeOf(Dialog);
    const HTREEITEM before = tree != nullptr ? Caret(tree) : nullptr;
    SendMessageW(Dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Folder.c_str()));
    // No tree known: the browser's own answer is all there is.
    if (tree == nullptr) return true;
    HTREEITEM found = Caret(tree);
    if (found != nullptr && found != before) return true;
    // A drive's own item carries no dates, so the browser always finds it; below it, the names.
    std::wstring drive;
    std::vector<std::wstring> parts;
    bool trailing = false;
    SplitPath(ShortToLongPath(StripTrailingBackslash(Folder)), drive, parts, trailing);
    if (drive.size() != 2 || parts.empty() || !parts.front().empty()) return false;
    const std::wstring root = drive + L"\\";
    SendMessageW(Dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(root.c_str()));
    HTREEITEM item = Caret(tree);
    for (size_t i = 1; item != nullptr && i < parts.size(); ++i)
        if (!parts[i].empty()) item = ChildNamed(tree, item, parts[i]);
    if (item == nullptr) return false;
    TreeView_SelectItem(tree, item);
    TreeView_EnsureVisible(tree, item);
    return Caret(tree) == item;
}

bool BrowseForFolder(std::wstring& Folder, const std::wstring& DialogText, int HelpContext) {
    // A shell older than the new style has no folder browser: the kit's own dialog asks instead.
    if (!NewStyleShell()) return SelectDirectory(Folder, 0, HelpContext);
    TBrowseFolderDlg* dlg = new TBrowseFolderDlg(Application());
    std::unique_ptr<TBrowseFolderDlg> owner(dlg);
    dlg->SetDialogText(DialogText);
    dlg->SetFolderName(Folder);
    dlg->SetHelpContext(HelpContext);
    if (!dlg->Execute()) return false;
    Folder = dlg->FolderName();
    return true;
}

// ---- Names and paths --------------------------------------------------------------------------

bool DirectoryExists(const std::wstring& Name) {
    DWORD attrs = GetFileAttributesW(Name.c_str());
    // INVALID_FILE_ATTRIBUTES has every bit set, the folder bit too.
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsValidFileName(const std::wstring& Name) {
    if (Name.empty() || HasAnyChar(Name, L"<>\"|*?")) return false;
    for (size_t i = 0; i < Name.size(); ++i) {
        wchar_t c = Name[i];
        if (c < 32) return false;
        if (c == L':' && !(i == 1 && iswalpha(Name[0]))) return false;
    }
    return true;
}

bool HasAnyChar(const std::wstring& Text, const std::wstring& Chars) {
    return Text.find_first_of(Chars) != std::wstring::npos;
}

std::wstring StripTrailingBackslash(const std::wstring& Path) {
    if (Path.size() <= 1 || Path.back() != L'\\') return Path;
    if (Path.size() == 3 && Path[1] == L':') return Path;
    return Path.substr(0, Path.size() - 1);
}

std::wstring ShortToLongPath(const std::wstring& Path) { return ConvertPath(Path, true); }

std::wstring LongToShortPath(const std::wstring& Path) { return ConvertPath(Path, false); }

}  // namespace widgets::kit
