#include "widgets/kit/path_edit.h"

#include <shellapi.h>

#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "widgets/kit/file_util.h"
#include "widgets/kit/kit_str_utils.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

bool FileExistsA(const std::string& Name) {
    DWORD attr = GetFileAttributesW(AnsiToWide(Name).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::string& Name) { return !Name.empty() && DirectoryExists(AnsiToWide(Name)); }

std::string FolderOf(const std::string& Name) {
    size_t slash = Name.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : Name.substr(0, slash == 2 && Name[1] == ':' ? 3 : slash);
}

std::string PartAfterFolder(const std::string& Name) {
    size_t slash = Name.find_last_of("\\/:");
    return slash == std::string::npos ? Name : Name.substr(slash + 1);
}

// The folder a browser starts in: the given one, else the initial one, else the root.
std::string StartFolderOf(const std::string& Folder, const std::string& InitialDir) {
    std::string folder = Folder.empty() ? InitialDir : Folder;
    if (!FolderExists(folder)) folder.assign(1, '\\');
    return folder;
}

bool ValidName(const std::string& Name) { return IsValidFileName(AnsiToWide(Name)); }

// Each ";"-separated folder converted, empty results left out.
std::string ConvertEach(const std::string& Text, std::wstring (*Convert)(const std::wstring&)) {
    std::string out;
    size_t pos = 0;
    while (pos <= Text.size()) {
        size_t end = Text.find(';', pos);
        if (end == std::string::npos) end = Text.size();
        std::string item = WideToAnsi(Convert(AnsiToWide(Text.substr(pos, end - pos))));
        if (!item.empty()) {
            if (!out.empty()) out.push_back(';');
            out.append(item);
        }
        pos = end + 1;
    }
    return out;
}

}  // namespace

std::string FileNameOfText(const std::string& Text) {
    if (FileExistsA(Text)) return Text;
    std::wstring wide = Trim(AnsiToWide(Text));
    // Only a quoted name is split off its arguments: a new path with blanks is kept whole.
    if (!wide.empty() && wide[0] == L'"') return WideToAnsi(ItemAt(wide, 0));
    return WideToAnsi(wide);
}

std::string TextOfFileName(const std::string& Name) {
    if (Name.find(' ') == std::string::npos || Name[0] == '"') return Name;
    // Appended piece by piece (GCC 12 misreads chains of string concatenations).
    std::string quoted;
    quoted.reserve(Name.size() + 2);
    quoted.push_back('"');
    quoted.append(Name);
    quoted.push_back('"');
    return quoted;
}

// ---- TFileDirEdit ----------------------------------------------------------------------------

TFileDirEdit::TFileDirEdit(TComponent* AOwner) : TCustomComboEdit(AOwner) { SetGlyphKind(TGlyphKind::gkDefault); }

HBITMAP TFileDirEdit::GetDefaultBitmap(bool& FreeIt) {
    FreeIt = false;
    // Loaded once and shared by every path edit until the program ends.
    static TOwnedBitmap glyph = LoadResBitmap(GetModuleHandleW(nullptr), L"FEDITBMP");
    return glyph.Get();
}

std::wstring TFileDirEdit::WideText() {
    const std::string text = Text();
    if (!wideText_.empty() && WideToAnsi(wideText_) == text) return wideText_;
    return AnsiToWide(text);
}

void TFileDirEdit::SetWideText(const std::wstring& Value) {
    wideText_ = Value;
    SetText(WideToAnsi(Value));
}

void TFileDirEdit::SetAcceptFiles(bool Value) {
    acceptFiles_ = Value;
    if (HandleAllocated()) DragAcceptFiles(WindowHandle(), Value ? TRUE : FALSE);
}

void TFileDirEdit::CreateWnd() {
    TCustomComboEdit::CreateWnd();
    if (acceptFiles_) DragAcceptFiles(WindowHandle(), TRUE);
}

bool TFileDirEdit::QuietDialog(const std::function<bool()>& Dialog) {
    // No system box for an empty drive while the dialog looks around.
    UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    try {
        bool result = Dialog();
        SetErrorMode(old);
        return result;
    } catch (...) {
        SetErrorMode(old);
        throw;
    }
}

void TFileDirEdit::DropFiles(HDROP Drop) {
    UINT count = DragQueryFileA(Drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return;
    ClearFileList();
    for (UINT i = 0; i < count; ++i) {
        // The name's own length: long paths are not cut.
        UINT length = DragQueryFileA(Drop, i, nullptr, 0);
        std::vector<char> name(static_cast<size_t>(length) + 1, '\0');
        DragQueryFileA(Drop, i, name.data(), length + 1);
        ReceptFileDir(std::string(name.data(), length));
        if (!Multiple()) break;
    }
    if (OnDropFiles) OnDropFiles(this);
}

void TFileDirEdit::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_DROPFILES && acceptFiles_) {
        auto drop = reinterpret_cast<HDROP>(Message.WParam);
        Message.Result = 0;
        try {
            DropFiles(drop);
        } catch (...) {
            DragFinish(drop);
            throw;
        }
        DragFinish(drop);
        return;
    }
    TCustomComboEdit::Dispatch(Message);
}

// ---- TFilenameEdit ---------------------------------------------------------------------------

TFilenameEdit::TFilenameEdit(TComponent* AOwner) : TFileDirEdit(AOwner), dialog_(std::make_unique<TOpenDialog>(nullptr)) {
    dialog_->SetTitle("Browse");
    dialog_->SetFilter("All files (*.*)|*.*");
    dialog_->SetOptions(ofHideReadOnly);
}

std::string TFilenameEdit::FileName() { return FileNameOfText(Text()); }

void TFilenameEdit::SetFileName(const std::string& Value) {
    if (!Value.empty() && !ValidName(FileNameOfText(Value)))
        throw EComboEditError(Format(L"Invalid file name - %s", {AnsiToWide(Value)}));
    SetText(TextOfFileName(Value));
    ClearFileList();
}

void TFilenameEdit::SetDialogKind(TFileDialogKind Value) {
    if (dialogKind_ == Value) return;
    dialogKind_ = Value;
    // The picture kinds have no preview here: they are the plain open and save dialogs.
    bool save = Value == TFileDialogKind::dkSave || Value == TFileDialogKind::dkSavePicture;
    std::unique_ptr<TOpenDialog> next =
        save ? std::unique_ptr<TOpenDialog>(std::make_unique<TSaveDialog>(nullptr)) : std::make_unique<TOpenDialog>(nullptr);
    next->SetTitle(dialog_->Title());
    next->SetFileName(dialog_->FileName());
    next->SetFilter(dialog_->Filter());
    next->SetFilterIndex(dialog_->FilterIndex());
    next->SetInitialDir(dialog_->InitialDir());
    next->SetOptions(dialog_->Options());
    next->SetDefaultExt(dialog_->DefaultExt());
    next->Files()->Assign(dialog_->Files());
    next->SetFileEditStyle(dialog_->FileEditStyle());
    next->HistoryList()->Assign(dialog_->HistoryList());
    dialog_ = std::move(next);
}

void TFilenameEdit::SetDefaultExt(const std::string& Value) {
    dialog_->SetDefaultExt(!Value.empty() && Value[0] == '.' ? Value.substr(1) : Value);
}

void TFilenameEdit::SetDialogOptions(TOpenOptions Value) {
    dialog_->SetOptions(Value);
    if ((Value & ofAllowMultiSelect) == 0) ClearFileList();
}

bool TFilenameEdit::Multiple() const { return (dialog_->Options() & ofAllowMultiSelect) != 0; }

void TFilenameEdit::ClearFileList() { dialog_->Files()->Clear(); }

void TFilenameEdit::ReceptFileDir(const std::string& Name) {
    if (Multiple()) {
        if (dialog_->Files()->Count() == 0) SetFileName(Name);
        dialog_->Files()->Add(Name);
    } else {
        SetFileName(Name);
    }
}

std::string TFilenameEdit::GetLongName() { return WideToAnsi(ShortToLongPath(AnsiToWide(FileName()))); }

std::string TFilenameEdit::GetShortName() { return WideToAnsi(LongToShortPath(AnsiToWide(FileName()))); }

void TFilenameEdit::ButtonClick() {
    TFileDirEdit::ButtonClick();
    std::string name = FileName();
    bool action = true;
    if (OnBeforeDialog) OnBeforeDialog(this, name, action);
    if (action) {
        if (ValidName(name)) {
            std::string folder = FolderOf(name);
            if (FolderExists(folder)) dialog_->SetInitialDir(folder);
            std::string part = PartAfterFolder(name);
            if (part.empty() || !ValidName(part)) name.clear();
        }
        dialog_->SetFileName(name);
        dialog_->SetHelpContext(HelpContext());
        action = QuietDialog([this] { return dialog_->Execute(); });
        if (action) name = dialog_->FileName();
    }
    if (CanFocus()) SetFocus();
    if (OnAfterDialog) OnAfterDialog(this, name, action);
    if (action) {
        SetText(TextOfFileName(name));
        dialog_->SetInitialDir(FolderOf(dialog_->FileName()));
    }
}

// ---- TDirectoryEdit --------------------------------------------------------------------------

TDirectoryEdit::TDirectoryEdit(TComponent* AOwner) : TFileDirEdit(AOwner) {
    BrowseFolder = [this](std::string& Folder) {
        // The class library has no folder dialog of its own: both kinds use the system's browser.
        std::wstring wide = !wideText_.empty() && WideToAnsi(wideText_) == Folder ? wideText_ : AnsiToWide(Folder);
        bool ok = BrowseForFolder(wide, AnsiToWide(dialogText_), HelpContext());
        if (ok) {
            Folder = WideToAnsi(wide);
            if (!multipleDirs_) wideText_ = wide;  // the text the choice becomes
        }
        return ok;
    };
}

std::string TDirectoryEdit::StartFolder() { return StartFolderOf(Text(), initialDir_); }

void TDirectoryEdit::AddFolder(const std::string& Folder) {
    std::string text = Text();
    if (!multipleDirs_ || text.empty()) {
        SetText(Folder);
        return;
    }
    text.push_back(';');
    text.append(Folder);
    SetText(text);
}

void TDirectoryEdit::ReceptFileDir(const std::string& Name) {
    AddFolder(FileExistsA(Name) ? FolderOf(Name) : Name);
}

std::string TDirectoryEdit::GetLongName() {
    return multipleDirs_ ? ConvertEach(Text(), &ShortToLongPath) : Text();
}

std::string TDirectoryEdit::GetShortName() {
    return multipleDirs_ ? ConvertEach(Text(), &LongToShortPath) : Text();
}

void TDirectoryEdit::ButtonClick() {
    TFileDirEdit::ButtonClick();
    std::string folder = Text();
    bool action = true;
    if (OnBeforeDialog) OnBeforeDialog(this, folder, action);
    if (action) {
        folder = StartFolderOf(folder, initialDir_);
        action = QuietDialog([&] { return BrowseFolder && BrowseFolder(folder); });
    }
    if (CanFocus()) SetFocus();
    if (OnAfterDialog) OnAfterDialog(this, folder, action);
    if (!action) return;
    SetSelLength(0);  // nothing selected, nothing removed
    AddFolder(folder);
    if (FolderExists(folder)) initialDir_ = folder;
}

}  // namespace widgets::kit
