#include "widgets/unicode/uc_dialogs.h"

#include <algorithm>
#include <vector>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"

namespace widgets {

using classlib::TMessage;
using classlib::WideToAnsi;

// ---- TUcOpenDialog ---------------------------------------------------------------------------
TUcOpenDialog::TUcOpenDialog(classlib::TComponent* AOwner)
    : classlib::TOpenDialog(AOwner), files_(std::make_unique<unicode::TUcStringList>()) {}

TUcOpenDialog::~TUcOpenDialog() = default;

std::wstring TUcOpenDialog::DefaultExt() { return unicode::GetSyncedWideString(defaultExt_, classlib::TOpenDialog::DefaultExt()); }

void TUcOpenDialog::SetDefaultExt(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, defaultExt_, classlib::TOpenDialog::DefaultExt(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetDefaultExt(S); });
}

std::wstring TUcOpenDialog::FileName() {
    if (unicode::Win32PlatformIsUnicode() && classlib::NewStyleControls && Handle() != nullptr &&
        !(Options() & classlib::ofOldStyleDialog)) {
        HWND dialog = GetParent(Handle());
        // The length first, so that no path is cut at 260 characters.
        LRESULT needed = SendMessageW(dialog, CDM_GETFILEPATH, 0, 0);
        if (needed > 0) {
            std::wstring path(static_cast<size_t>(needed) + 1, L'\0');
            LRESULT n = SendMessageW(dialog, CDM_GETFILEPATH, path.size(), reinterpret_cast<LPARAM>(path.data()));
            if (n > 0) {
                path.resize(wcsnlen(path.c_str(), path.size()));
                return path;
            }
        }
    }
    return unicode::GetSyncedWideString(fileName_, FileNameField());
}

void TUcOpenDialog::SetFileName(const std::wstring& Value) {
    fileName_ = Value;
    classlib::TOpenDialog::SetFileName(WideToAnsi(Value));
}

std::wstring TUcOpenDialog::Filter() { return unicode::GetSyncedWideString(filter_, classlib::TOpenDialog::Filter()); }

void TUcOpenDialog::SetFilter(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, filter_, classlib::TOpenDialog::Filter(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetFilter(S); });
}

std::wstring TUcOpenDialog::InitialDir() {
    return unicode::GetSyncedWideString(initialDir_, classlib::TOpenDialog::InitialDir());
}

void TUcOpenDialog::SetInitialDir(const std::wstring& Value) {
    std::wstring dir = Value;
    if (dir.size() > 1 && dir.back() == L'\\' && dir[dir.size() - 2] != L':') dir.pop_back();
    unicode::SetSyncedWideString(dir, initialDir_, classlib::TOpenDialog::InitialDir(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetInitialDir(S); });
}

std::wstring TUcOpenDialog::Title() { return unicode::GetSyncedWideString(title_, classlib::TOpenDialog::Title()); }

void TUcOpenDialog::SetTitle(const std::wstring& Value) {
    unicode::SetSyncedWideString(Value, title_, classlib::TOpenDialog::Title(),
                                 [this](const std::string& S) { classlib::TOpenDialog::SetTitle(S); });
}

bool TUcOpenDialog::Execute() {
    if (!unicode::Win32PlatformIsUnicode()) {
        files_->Clear();
        bool ok = DoExecute([this](OPENFILENAMEA* Ofn) { return AnsiDialog(Ofn); });
        if (ok) {
            for (int i = 0; i < AnsiFiles()->Count(); ++i) files_->Add(classlib::AnsiToWide(AnsiFiles()->Strings(i)));
        }
        return ok;
    }
    return WideExecute();
}

bool TUcOpenDialog::WideExecute() {
    files_->Clear();
    // The class library prepares the structure; the capture keeps it and shows nothing.
    captured_ = OPENFILENAMEA{};
    capturedTemplate_.clear();
    DoExecute([this](OPENFILENAMEA* Ofn) {
        captured_ = *Ofn;
        if (Ofn->lpTemplateName != nullptr && !unicode::Uc_Is_IntResource(Ofn->lpTemplateName))
            capturedTemplate_ = Ofn->lpTemplateName;
        return FALSE;
    });

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = IsWindow(captured_.hwndOwner) ? captured_.hwndOwner : classlib::Application()->Handle();
    ofn.hInstance = captured_.hInstance;
    std::wstring filterText = Filter();
    std::vector<wchar_t> filter(filterText.begin(), filterText.end());
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.push_back(0);
    filter.push_back(0);
    ofn.lpstrFilter = filterText.empty() ? nullptr : filter.data();
    ofn.nFilterIndex = captured_.nFilterIndex;
    std::vector<wchar_t> file(static_cast<size_t>(captured_.nMaxFile) + 2, L'\0');
    std::wstring name = FileName();
    std::copy_n(name.begin(), std::min<size_t>(name.size(), captured_.nMaxFile), file.begin());
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = captured_.nMaxFile;
    std::wstring initialDir = InitialDir();
    if (initialDir.empty() && classlib::ForceCurrentDirectory) initialDir = L".";
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    std::wstring title = Title();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    std::wstring defaultExt = DefaultExt();
    if (defaultExt.empty() && !(captured_.Flags & OFN_EXPLORER)) {
        size_t dot = name.find_last_of(L".\\:");
        if (dot != std::wstring::npos && name[dot] == L'.') defaultExt = name.substr(dot + 1);
    }
    ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    ofn.Flags = captured_.Flags;
    ofn.lCustData = captured_.lCustData;
    ofn.lpfnHook = captured_.lpfnHook;
    std::wstring templateName = classlib::AnsiToWide(capturedTemplate_);
    ofn.lpTemplateName = capturedTemplate_.empty() ? reinterpret_cast<const wchar_t*>(captured_.lpTemplateName)
                                                   : templateName.c_str();

    bool ok = TaskModalDialog([&] { return WideDialog(&ofn); });
    if (ok) {
        GetWideFileNames(ofn);
        SetOptionFlag(classlib::ofReadOnly, (ofn.Flags & OFN_READONLY) != 0);
        SetOptionFlag(classlib::ofExtensionDifferent, (ofn.Flags & OFN_EXTENSIONDIFFERENT) != 0);
        SetFilterIndex(static_cast<int>(ofn.nFilterIndex));
    }
    return ok;
}

void TUcOpenDialog::GetWideFileNames(const OPENFILENAMEW& Ofn) {
    files_->Clear();
    if (Ofn.lpstrFile == nullptr) return;
    bool multi = (Options() & classlib::ofAllowMultiSelect) != 0;
    wchar_t separator = BlankSeparated(Ofn.Flags) ? L' ' : L'\0';
    for (const std::wstring& f : classlib::SplitDialogFileNames(Ofn.lpstrFile, Ofn.nMaxFile, multi, separator))
        files_->Add(f);
    SetFileName(files_->Count() > 0 ? files_->Strings(0) : std::wstring());
    classlib::TStrings* ansi = AnsiFiles();
    ansi->BeginUpdate();
    ansi->Clear();
    for (int i = 0; i < files_->Count(); ++i) ansi->Add(WideToAnsi(files_->Strings(i)));
    ansi->EndUpdate();
}

bool TUcOpenDialog::DoCanClose() { return wideCheck_ ? classlib::TOpenDialog::DoCanClose() : true; }

void TUcOpenDialog::DoIncludeItem(const OFNOTIFYEXA& OFN, bool& Include) {
    if (unicode::Win32PlatformIsUnicode()) classlib::TOpenDialog::DoIncludeItem(OFN, Include);
}

void TUcOpenDialog::WndProc(TMessage& Message) {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TOpenDialog::WndProc(Message);
        return;
    }
    if (Message.Msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(Message.LParam)->code == CDN_FILEOK) {
        // Answered here alone: the class library would read the wide structure as an ANSI one.
        GetWideFileNames(*reinterpret_cast<const OFNOTIFYW*>(Message.LParam)->lpOFN);
        wideCheck_ = true;
        bool ok = false;
        try {
            ok = DoCanClose();
        } catch (...) {
            wideCheck_ = false;
            throw;
        }
        wideCheck_ = false;
        files_->Clear();
        AnsiFiles()->Clear();
        if (!ok) {
            Message.Result = 1;
            SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 1);
        }
        return;
    }
    if (Message.Msg == WM_INITDIALOG && classlib::NewStyleControls && !(Options() & classlib::ofOldStyleDialog)) {
        // Not the class library's: only the dialog's showing.
        DoShow();
        return;
    }
    classlib::TOpenDialog::WndProc(Message);
}

}  // namespace widgets
