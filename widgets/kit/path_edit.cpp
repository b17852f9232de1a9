#include "widgets/kit/path_edit.h"

#include <shellapi.h>

#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "widgets/kit/file_util.h"
#include "widgets/kit/kit_str_utils.h"
#include "widgets/kit/kit_utils.h"
#include "widgets/kit/picture_dialogs.h"

namespace widgets::kit {

using namespace classlib;

namespace {

bool FileExistsW(const std::wstring& Name) {
    DWORD attr = GetFileAttributesW(Name.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::wstring& Name) { return !Name.empty() && DirectoryExists(Name); }

template <typename Str>
Str FolderOf(const Str& Name) {
    using C = typename Str::value_type;
    const C separators[] = {C('\\'), C('/'), C(0)};
    size_t slash = Name.find_last_of(separators);
    return slash == Str::npos ? Str() : Name.substr(0, slash == 2 && Name[1] == C(':') ? 3 : slash);
}

std::wstring PartAfterFolder(const std::wstring& Name) {
    size_t slash = Name.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? Name : Name.substr(slash + 1);
}

// The folder a browser starts in: the given one, else the initial one, else the root.
std::wstring StartFolderOf(const std::wstring& Folder, const std::wstring& InitialDir) {
    std::wstring folder = Folder.empty() ? InitialDir : Folder;
    if (!FolderExists(folder)) folder.assign(1, L'\\');
    return folder;
}

// A new wide file dialog of a kind.
std::unique_ptr<widgets::TUcOpenDialog> MakeFileDialog(TFileDialogKind Kind) {
    switch (Kind) {
        case TFileDialogKind::dkSave: return std::make_unique<widgets::TUcSaveDialog>(nullptr);
        case TFileDialogKind::dkOpenPicture: return std::make_unique<TOpenPictureDialog>(nullptr);
        case TFileDialogKind::dkSavePicture: return std::make_unique<TSavePictureDialog>(nullptr);
        case TFileDialogKind::dkOpen: break;
    }
    return std::make_unique<widgets::TUcOpenDialog>(nullptr);
}

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

std::wstring FileNameOfText(const std::wstring& Text) {
    if (FileExistsW(Text)) return Text;
    std::wstring wide = Trim(Text);
    // Only a quoted name is split off its arguments: a new path with blanks is kept whole.
    if (!wide.empty() && wide[0] == L'"') return ItemAt(wide, 0);
    return wide;
}

std::string FileNameOfText(const std::string& Text) { return WideToAnsi(FileNameOfText(AnsiToWide(Text))); }

std::wstring TextOfFileName(const std::wstring& Name) {
    if (Name.find(L' ') == std::wstring::npos || Name[0] == L'"') return Name;
    // Appended piece by piece (GCC 12 misreads chains of string concatenations).
    std::wstring quoted;
    quoted.reserve(Name.size() + 2);
    quoted.push_back(L'"');
    quoted.append(Name);
    quoted.push_back(L'"');
    return quoted;
}

std::string TextOfFileName(const std::string& Name) { return WideToAnsi(TextOfFileName(AnsiToWide(Name))); }

// ---- TFileDirEdit ----------------------------------------------------------------------------

TFileDirEdit::TFileDirEdit(TComponent* AOwner) : TCustomComboEdit(AOwner) { SetGlyphKind(TGlyphKind::gkDefault); }

HBITMAP TFileDirEdit::GetDefaultBitmap(bool& FreeIt) {
    FreeIt = false;
    // Loaded once and shared by every path edit until the program ends.
    static TOwnedBitmap glyph = LoadResBitmap(GetModuleHandleW(nullptr), L"FEDITBMP");
    return glyph.Get();
}

std::wstring TFileDirEdit::WideOf(const std::string& Name) const {
    if (!wideText_.empty() && WideToAnsi(wideText_) == Name) return wideText_;
    return AnsiToWide(Name);
}

std::wstring TFileDirEdit::WideText() { return WideOf(Text()); }

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
    UINT count = DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return;
    ClearFileList();
    for (UINT i = 0; i < count; ++i) {
        // The name's own length: long paths are not cut; wide: names outside the code page too.
        UINT length = DragQueryFileW(Drop, i, nullptr, 0);
        std::vector<wchar_t> name(static_cast<size_t>(length) + 1, L'\0');
        DragQueryFileW(Drop, i, name.data(), length + 1);
        ReceptFileDir(std::wstring(name.data(), length));
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

TFilenameEdit::TFilenameEdit(TComponent* AOwner) : TFileDirEdit(AOwner), dialog_(MakeFileDialog(TFileDialogKind::dkOpen)) {
    dialog_->SetTitle(L"Browse");
    dialog_->SetFilter(L"All files (*.*)|*.*");
    dialog_->SetOptions(ofHideReadOnly);
}

std::string TFilenameEdit::FileName() { return FileNameOfText(Text()); }

std::wstring TFilenameEdit::WideFileName() { return FileNameOfText(WideText()); }

void TFilenameEdit::SetFileName(const std::string& Value) { SetWideFileName(AnsiToWide(Value)); }

void TFilenameEdit::SetWideFileName(const std::wstring& Value) {
    if (!Value.empty() && !IsValidFileName(FileNameOfText(Value)))
        throw EComboEditError(Format(L"Invalid file name - %s", {Value}));
    SetWideText(TextOfFileName(Value));
    ClearFileList();
}

void TFilenameEdit::SetDialogKind(TFileDialogKind Value) {
    if (dialogKind_ == Value) return;
    dialogKind_ = Value;
    std::unique_ptr<widgets::TUcOpenDialog> next = MakeFileDialog(Value);
    next->SetTitle(dialog_->Title());
    next->SetFileName(dialog_->FileName());
    next->SetFilter(dialog_->Filter());
    next->SetFilterIndex(dialog_->FilterIndex());
    next->SetInitialDir(dialog_->InitialDir());
    next->SetOptions(dialog_->Options());
    next->SetDefaultExt(dialog_->DefaultExt());
    next->Files()->Assign(dialog_->Files());
    next->AnsiFiles()->Assign(dialog_->AnsiFiles());
    next->SetFileEditStyle(dialog_->FileEditStyle());
    next->HistoryList()->Assign(dialog_->HistoryList());
    dialog_ = std::move(next);
}

void TFilenameEdit::SetDefaultExt(const std::wstring& Value) {
    dialog_->SetDefaultExt(!Value.empty() && Value[0] == L'.' ? Value.substr(1) : Value);
}

void TFilenameEdit::SetDialogOptions(TOpenOptions Value) {
    dialog_->SetOptions(Value);
    if ((Value & ofAllowMultiSelect) == 0) ClearFileList();
}

bool TFilenameEdit::Multiple() const { return (dialog_->Options() & ofAllowMultiSelect) != 0; }

void TFilenameEdit::ClearFileList() {
    dialog_->Files()->Clear();
    dialog_->AnsiFiles()->Clear();
}

void TFilenameEdit::ReceptFileDir(const std::wstring& Name) {
    if (Multiple()) {
        if (dialog_->Files()->Count() == 0) SetWideFileName(Name);
        dialog_->AnsiFiles()->Add(WideToAnsi(Name));
        dialog_->Files()->Add(Name);
    } else {
        SetWideFileName(Name);
    }
}

std::string TFilenameEdit::GetLongName() { return WideToAnsi(ShortToLongPath(AnsiToWide(FileName()))); }

std::string TFilenameEdit::GetShortName() { return WideToAnsi(LongToShortPath(AnsiToWide(FileName()))); }

void TFilenameEdit::ButtonClick() {
    TFileDirEdit::ButtonClick();
    // The name travels wide, through the events too.
    std::wstring wide = WideFileName();
    bool action = true;
    if (OnBeforeDialog) OnBeforeDialog(this, wide, action);
    if (action) {
        if (IsValidFileName(wide)) {
            std::wstring folder = FolderOf(wide);
            if (FolderExists(folder)) dialog_->SetInitialDir(folder);
            std::wstring part = PartAfterFolder(wide);
            if (part.empty() || !IsValidFileName(part)) wide.clear();
        }
        dialog_->SetFileName(wide);
        dialog_->SetHelpContext(HelpContext());
        action = QuietDialog([this] { return dialog_->Execute(); });
        if (action) wide = dialog_->FileName();
    }
    if (CanFocus()) SetFocus();
    if (OnAfterDialog) OnAfterDialog(this, wide, action);
    if (action) {
        SetWideText(TextOfFileName(wide));
        dialog_->SetInitialDir(FolderOf(dialog_->FileName()));
    }
}

// ---- TDirectoryEdit --------------------------------------------------------------------------

TDirectoryEdit::TDirectoryEdit(TComponent* AOwner) : TFileDirEdit(AOwner) {
    BrowseFolder = [this](std::wstring& Folder) {
        const bool system = NewStyleShell() && dialogKind_ == TDirDialogKind::dkWin32;
        return system ? BrowseForFolder(Folder, dialogText_, HelpContext())
                      : SelectDirectory(Folder, dialogOptions_, HelpContext());
    };
}

std::wstring TDirectoryEdit::StartFolder() { return StartFolderOf(WideText(), initialDir_); }

void TDirectoryEdit::AddFolder(const std::wstring& Folder) {
    std::wstring text = WideText();
    if (!multipleDirs_ || text.empty()) {
        SetWideText(Folder);
        return;
    }
    text.push_back(L';');
    text.append(Folder);
    SetWideText(text);
}

void TDirectoryEdit::ReceptFileDir(const std::wstring& Name) {
    AddFolder(FileExistsW(Name) ? FolderOf(Name) : Name);
}

std::string TDirectoryEdit::GetLongName() {
    return multipleDirs_ ? ConvertEach(Text(), &ShortToLongPath) : Text();
}

std::string TDirectoryEdit::GetShortName() {
    return multipleDirs_ ? ConvertEach(Text(), &LongToShortPath) : Text();
}

void TDirectoryEdit::ButtonClick() {
    TFileDirEdit::ButtonClick();
    std::wstring folder = WideText();
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
