#include "widgets/kit/select_dir_dialog.h"

#include <algorithm>
#include <memory>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/format.h"
#include "unicode/wide_files.h"
#include "widgets/kit/file_util.h"
#include "widgets/unicode/uc_dialogs.h"

namespace widgets::kit {

using namespace classlib;

namespace {

// A control of the dialog, named and placed.
template <typename T>
T* Place(TSelectDirDlg* Dialog, const wchar_t* Name, int Left, int Top, int Width, int Height) {
    T* control = new T(Dialog);
    control->SetName(Name);
    control->SetParent(Dialog);
    control->SetBounds(Left, Top, Width, Height);
    return control;
}

// The root of a full path ("C:\", "\\server\share\"), empty when it has none.
std::wstring RootOf(const std::wstring& Path) {
    if (Path.size() >= 3 && Path[1] == L':' && Path[2] == L'\\') return Path.substr(0, 3);
    if (Path.rfind(L"\\\\", 0) == 0) {
        size_t server = Path.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? std::wstring::npos : Path.find(L'\\', server + 1);
        return share == std::wstring::npos ? unicode::WideIncludeTrailingBackslash(Path) : Path.substr(0, share + 1);
    }
    return std::wstring();
}

std::wstring FullPath(const std::wstring& Path) {
    DWORD needed = GetFullPathNameW(Path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::wstring full(needed, L'\0');
    DWORD n = GetFullPathNameW(Path.c_str(), needed, full.data(), nullptr);
    full.resize(n < needed ? n : 0);
    return full;
}

std::wstring CurrentFolder() {
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(needed, L'\0');
    dir.resize(GetCurrentDirectoryW(needed, dir.data()));
    return StripTrailingBackslash(dir);
}

// The names in a folder: its folders or its files, sorted as the shell sorts them.
std::vector<std::wstring> NamesIn(const std::wstring& Folder, bool Folders) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((unicode::WideIncludeTrailingBackslash(Folder) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::wstring name = found.cFileName;
        if (folder == Folders && name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(),
              [](const std::wstring& A, const std::wstring& B) { return lstrcmpiW(A.c_str(), B.c_str()) < 0; });
    return names;
}

// The label above a control, its accelerator leading to it.
widgets::TUcLabel* LabelOver(TSelectDirDlg* Dialog, const wchar_t* Name, const wchar_t* Caption, TWinControl* Control) {
    auto* label = Place<widgets::TUcLabel>(Dialog, Name, Control->Left(), Control->Top() - 16, Control->Width(), 13);
    label->SetCaption(Caption);
    label->SetFocusControl(Control);
    return label;
}

std::wstring Indent(size_t Level) { return std::wstring(Level * 2, L' '); }

void Complain(const std::wstring& Format, const std::wstring& Folder) {
    widgets::WideMessageDlg(classlib::Format(Format, {Folder}), widgets::TMsgDlgType::mtError,
                            widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

}  // namespace

TSelectDirDlg::TSelectDirDlg(TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetName(L"SelectDirDlg");
    SetCaption(L"Select Directory");
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(352);
    SetClientHeight(306);
    DirEdit = Place<widgets::TUcEdit>(this, L"DirEdit", 8, 24, 336, 21);
    NameLabel = LabelOver(this, L"NameLabel", L"Directory &Name:", DirEdit);
    DirList = Place<widgets::TUcListBox>(this, L"DirList", 8, 70, 164, 160);
    DirLabel = LabelOver(this, L"DirLabel", L"&Directories:", DirList);
    DirList->OnClick = [this](TObject* Sender) { DirListClick(Sender); };
    DirList->OnDblClick = [this](TObject* Sender) { DirListDblClick(Sender); };
    FileList = Place<widgets::TUcListBox>(this, L"FileList", 180, 70, 164, 160);
    FileLabel = LabelOver(this, L"FileLabel", L"Files: (*.*)", FileList);
    // The files are there to recognise the folder by; none can be chosen.
    FileList->SetEnabled(false);
    DriveCombo = Place<widgets::TUcComboBox>(this, L"DriveCombo", 8, 254, 164, 21);
    DriveCombo->SetStyle(TComboBoxStyle::csDropDownList);
    DriveLabel = LabelOver(this, L"DriveLabel", L"D&rives:", DriveCombo);
    DriveCombo->OnChange = [this](TObject* Sender) { DriveComboChange(Sender); };
    OKButton = Place<widgets::TUcButton>(this, L"OKButton", 180, 252, 80, 25);
    OKButton->SetCaption(L"OK");
    OKButton->SetDefault(true);
    OKButton->OnClick = [this](TObject* Sender) { OKButtonClick(Sender); };
    CancelButton = Place<widgets::TUcButton>(this, L"CancelButton", 264, 252, 80, 25);
    CancelButton->SetCaption(L"Cancel");
    CancelButton->SetCancel(true);
    CancelButton->SetModalResult(mrCancel);
    HelpButton = Place<widgets::TUcButton>(this, L"HelpButton", 264, 280, 80, 21);
    HelpButton->SetCaption(L"&Help");
    HelpButton->OnClick = [this](TObject* Sender) { HelpButtonClick(Sender); };

    wchar_t roots[512] = {};
    const DWORD length = GetLogicalDriveStringsW(511, roots);
    for (const wchar_t* root = roots; length > 0 && length < 511 && *root != 0; root += wcslen(root) + 1) {
        std::wstring line = std::wstring(root).substr(0, 2);
        line[0] = static_cast<wchar_t>(towlower(line[0]));
        // Only a fixed drive is asked for its label: a removable one could ask for a disk.
        wchar_t label[MAX_PATH + 1] = {};
        if (GetDriveTypeW(root) == DRIVE_FIXED &&
            GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) && label[0] != 0)
            line += L" [" + std::wstring(label) + L"]";
        drives_.push_back(root);
        DriveCombo->Items()->Add(line);
    }
}

void TSelectDirDlg::SetDirectory(const std::wstring& Value) {
    const std::wstring wanted = Value.empty() ? std::wstring() : StripTrailingBackslash(FullPath(Value));
    std::wstring shown = wanted;
    while (!shown.empty() && !DirectoryExists(shown)) {
        const std::wstring parent = StripTrailingBackslash(unicode::WideExtractFilePath(shown));
        shown = parent.size() < shown.size() ? parent : std::wstring();
    }
    Fill(shown.empty() ? CurrentFolder() : shown);
    DirEdit->SetText(wanted.empty() ? directory_ : wanted);
}

void TSelectDirDlg::Fill(const std::wstring& Folder) {
    directory_ = Folder;
    dirPaths_.clear();
    widgets::TUcListBoxStrings* lines = DirList->Items();
    lines->BeginUpdate();
    lines->Clear();
    // The way down from the root, one line a folder, then the folders in this one.
    const std::wstring root = RootOf(Folder);
    std::wstring path = root.empty() ? Folder : root;
    lines->Add(path);
    dirPaths_.push_back(path);
    size_t level = 0;
    for (size_t pos = path.size(); pos < Folder.size();) {
        size_t end = Folder.find(L'\\', pos);
        if (end == std::wstring::npos) end = Folder.size();
        const std::wstring name = Folder.substr(pos, end - pos);
        path = unicode::WideIncludeTrailingBackslash(path) + name;
        lines->Add(Indent(++level) + name);
        dirPaths_.push_back(path);
        pos = end + 1;
    }
    const int current = lines->Count() - 1;
    for (const std::wstring& name : NamesIn(Folder, true)) {
        lines->Add(Indent(level + 1) + name);
        dirPaths_.push_back(unicode::WideIncludeTrailingBackslash(Folder) + name);
    }
    lines->EndUpdate();
    DirList->SetItemIndex(current);

    widgets::TUcListBoxStrings* files = FileList->Items();
    files->BeginUpdate();
    files->Clear();
    for (const std::wstring& name : NamesIn(Folder, false)) files->Add(name);
    files->EndUpdate();

    int drive = -1;
    for (size_t i = 0; i < drives_.size(); ++i)
        if (lstrcmpiW(drives_[i].c_str(), root.c_str()) == 0) drive = static_cast<int>(i);
    DriveCombo->SetItemIndex(drive);
}

void TSelectDirDlg::DirListClick(TObject* /*Sender*/) {
    const int index = DirList->ItemIndex();
    if (index >= 0 && index < static_cast<int>(dirPaths_.size())) DirEdit->SetText(dirPaths_[index]);
}

void TSelectDirDlg::DirListDblClick(TObject* /*Sender*/) {
    const int index = DirList->ItemIndex();
    if (index < 0 || index >= static_cast<int>(dirPaths_.size())) return;
    const std::wstring folder = dirPaths_[index];
    Fill(folder);
    DirEdit->SetText(folder);
}

void TSelectDirDlg::DriveComboChange(TObject* /*Sender*/) {
    const int index = DriveCombo->ItemIndex();
    if (index < 0 || index >= static_cast<int>(drives_.size())) return;
    const std::wstring root = drives_[index];
    if (!DirectoryExists(root)) {
        Complain(L"The drive %s is not ready.", root);
        Fill(directory_);
        return;
    }
    Fill(root);
    DirEdit->SetText(root);
}

std::wstring TSelectDirDlg::TypedFolder() {
    std::wstring text = Trim(DirEdit->Text());
    if (text.empty()) return directory_;
    std::replace(text.begin(), text.end(), L'/', L'\\');
    std::wstring path;
    if (text.size() >= 2 && text[1] == L':')
        path = text.size() == 2 || text[2] != L'\\' ? text.substr(0, 2) + L"\\" + text.substr(2) : text;
    else if (text.rfind(L"\\\\", 0) == 0)
        path = text;
    else if (text[0] == L'\\')
        path = StripTrailingBackslash(RootOf(directory_)) + text;
    else
        path = unicode::WideIncludeTrailingBackslash(directory_) + text;
    if (!IsValidFileName(path)) return std::wstring();
    return StripTrailingBackslash(FullPath(path));
}

bool TSelectDirDlg::AcceptNew(const std::wstring& Folder) {
    if ((options_ & sdAllowCreate) == 0) {
        Complain(L"The folder %s does not exist.", Folder);
        return false;
    }
    if ((options_ & sdPrompt) != 0 &&
        widgets::WideMessageDlg(Format(L"The folder %s does not exist.\r\nDo you want to create it?", {Folder}),
                                widgets::TMsgDlgType::mtConfirmation, widgets::mbYesNo, 0) != mrYes)
        return false;
    if ((options_ & sdPerformCreate) != 0 && !unicode::WideForceDirectories(Folder)) {
        Complain(L"The folder %s could not be created.", Folder);
        return false;
    }
    return true;
}

void TSelectDirDlg::OKButtonClick(TObject* /*Sender*/) {
    const std::wstring folder = TypedFolder();
    if (folder.empty() || (!DirectoryExists(folder) && unicode::WideFileExists(folder))) {
        Complain(L"%s is not a valid folder name.", Trim(DirEdit->Text()));
        return;
    }
    if (!DirectoryExists(folder) && !AcceptNew(folder)) return;
    chosen_ = folder;
    SetModalResult(mrOk);
}

void TSelectDirDlg::HelpButtonClick(TObject* /*Sender*/) {
    if (HelpContext() != 0) Application()->HelpCommand(HELP_CONTEXT, HelpContext());
}

bool SelectDirectory(std::wstring& Directory, TSelectDirOpts Options, int HelpContext) {
    std::unique_ptr<TSelectDirDlg> dialog(NewForm<TSelectDirDlg>(Application()));
    dialog->SetOptions(Options);
    dialog->SetHelpContext(HelpContext);
    dialog->HelpButton->SetVisible(HelpContext != 0);
    dialog->SetDirectory(Directory);
    if (dialog->ShowModal() != mrOk) return false;
    Directory = dialog->Chosen();
    return true;
}

}  // namespace widgets::kit
