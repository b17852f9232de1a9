#include "classlib/dialogs.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/jpeg_image.h"
#include "classlib/threads.h"

namespace classlib {

bool NewStyleControls = true;
bool ForceCurrentDirectory = false;

namespace {

TCommonDialog* currentDialog = nullptr;

// The dialog component bound to a dialog-procedure window.
TCommonDialog* DialogOfWindow(HWND Window) {
    return reinterpret_cast<TCommonDialog*>(GetWindowLongPtrA(Window, DWLP_USER));
}

// A copy of a text with "|" replaced by terminators, ending in two terminators.
std::vector<char> FilterBuffer(const std::string& Filter) {
    std::vector<char> buf(Filter.begin(), Filter.end());
    for (char& c : buf)
        if (c == '|') c = 0;
    buf.push_back(0);
    buf.push_back(0);
    return buf;
}

// The window the system's dialog belongs to: the active window of this thread, else the
// application window.
HWND DialogOwner() {
    HWND active = GetActiveWindow();
    if (active != nullptr && GetWindowThreadProcessId(active, nullptr) == GetCurrentThreadId()) return active;
    return Application()->Handle();
}

// Pieces of a dialog template in memory: double words, texts and the double-word alignment of
// its items, counted from the template's start.
void PutDword(std::vector<WORD>& Template, DWORD Value) {
    Template.push_back(LOWORD(Value));
    Template.push_back(HIWORD(Value));
}

void PutText(std::vector<WORD>& Template, const wchar_t* Text) {
    for (; *Text != 0; ++Text) Template.push_back(static_cast<WORD>(*Text));
    Template.push_back(0);
}

// One static control of a template: its style, place in dialog units, identifier and text.
void PutStatic(std::vector<WORD>& Template, DWORD Style, short X, short Y, short Cx, short Cy, WORD Id,
               const wchar_t* Text) {
    if (Template.size() % 2 != 0) Template.push_back(0);
    PutDword(Template, Style);
    PutDword(Template, 0);
    for (short v : {X, Y, Cx, Cy}) Template.push_back(static_cast<WORD>(v));
    Template.push_back(Id);
    Template.push_back(0xFFFF);
    Template.push_back(0x0082);  // the static class
    PutText(Template, Text);
    Template.push_back(0);  // no creation data
}

// The preview's picture for a file, empty when the file is no picture it reads.
void LoadPreviewPicture(const std::wstring& FileName, TPicture& Picture) {
    size_t dot = FileName.find_last_of(L".\\/");
    std::wstring ext = dot == std::wstring::npos || FileName[dot] != L'.' ? std::wstring() : FileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    if (ext == L"bmp") {
        Picture.SetBitmap(static_cast<HBITMAP>(
            LoadImageW(nullptr, FileName.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    } else if (ext == L"ico") {
        Picture.SetIcon(
            static_cast<HICON>(LoadImageW(nullptr, FileName.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE)));
    } else if (ext == L"jpg" || ext == L"jpeg") {
        TJPEGImage jpeg;
        jpeg.LoadFromFile(FileName);
        Picture.SetBitmap(jpeg.CreateBitmap());
    }
}

}  // namespace

// ---- TPicturePreview -------------------------------------------------------------------------
TPicturePreview::TPicturePreview() : sizeText_(L"(None)") {
    // A child of the file dialog: the hidden stc32 marks where the dialog's own controls go, so
    // the size label and the picture box, right of it, come beside them.
    constexpr short kWidth = 100, kHeight = 110;
    PutDword(template_, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL | DS_SETFONT);
    PutDword(template_, 0);
    template_.push_back(3);
    for (short v : {short{0}, short{0}, kWidth, kHeight}) template_.push_back(static_cast<WORD>(v));
    template_.push_back(0);  // no menu
    template_.push_back(0);  // the dialog class
    template_.push_back(0);  // no title
    template_.push_back(8);
    PutText(template_, L"MS Shell Dlg");
    PutStatic(template_, WS_CHILD | SS_LEFT, 0, 0, 1, kHeight, 0x045F /* stc32 */, L"");
    PutStatic(template_, WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 8, 6, 88, 8, kSizeLabelId, L"(None)");
    PutStatic(template_, WS_CHILD | WS_VISIBLE | SS_OWNERDRAW, 8, 16, 88, 88, kPictureBoxId, L"");
}

void TPicturePreview::Attach(HWND HookDialog) {
    dialog_ = HookDialog;
    SetDlgItemTextW(dialog_, kSizeLabelId, sizeText_.c_str());
}

void TPicturePreview::Detach() { dialog_ = nullptr; }

void TPicturePreview::Select(const std::wstring& FileName) {
    picture_.SetBitmap(nullptr);
    // A file that cannot be read, or that holds no picture, shows nothing: it is only a preview.
    try {
        if (!FileName.empty()) LoadPreviewPicture(FileName, picture_);
    } catch (const std::exception&) {
        picture_.SetBitmap(nullptr);
    }
    sizeText_ = picture_.Empty() ? std::wstring(L"(None)") : Format(L"%d x %d", {picture_.Width(), picture_.Height()});
    if (dialog_ == nullptr) return;
    SetDlgItemTextW(dialog_, kSizeLabelId, sizeText_.c_str());
    InvalidateRect(GetDlgItem(dialog_, kPictureBoxId), nullptr, TRUE);
}

bool TPicturePreview::DrawItem(const DRAWITEMSTRUCT& Item) const {
    if (Item.CtlID != static_cast<UINT>(kPictureBoxId)) return false;
    RECT box = Item.rcItem;
    FillRect(Item.hDC, &box, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(Item.hDC, &box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (picture_.Empty()) return true;
    const int w = box.right - box.left, h = box.bottom - box.top;
    const int pw = picture_.Width(), ph = picture_.Height();
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0) return true;
    // Fitted whole into the box, keeping its shape, centred.
    int dw = pw, dh = ph;
    if (dw > w || dh > h) {
        if (static_cast<long long>(pw) * h > static_cast<long long>(ph) * w) {
            dw = w;
            dh = std::max(1, static_cast<int>(static_cast<long long>(ph) * w / pw));
        } else {
            dh = h;
            dw = std::max(1, static_cast<int>(static_cast<long long>(pw) * h / ph));
        }
    }
    const RECT at{box.left + (w - dw) / 2, box.top + (h - dh) / 2, box.left + (w - dw) / 2 + dw,
                  box.top + (h - dh) / 2 + dh};
    picture_.Draw(Item.hDC, at, false);
    return true;
}

// ---- TCommonDialog ---------------------------------------------------------------------------
TCommonDialog* TCommonDialog::CurrentDialog() { return currentDialog; }

bool TCommonDialog::TaskModalDialog(const std::function<BOOL()>& DialogFunc) {
    CheckMainThread("TCommonDialog.Execute");
    HWND active = GetActiveWindow();
    TTaskWindowList disabled = DisableTaskWindows(nullptr);
    TCommonDialog* outer = currentDialog;
    currentDialog = this;
    BOOL ok = FALSE;
    try {
        ok = DialogFunc();
    } catch (...) {
        currentDialog = outer;
        handle_ = nullptr;
        EnableTaskWindows(disabled);
        throw;
    }
    currentDialog = outer;
    handle_ = nullptr;
    EnableTaskWindows(disabled);
    if (active != nullptr && IsWindow(active)) SetActiveWindow(active);
    return ok != FALSE;
}

UINT_PTR CALLBACK TCommonDialog::DialogHook(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TCommonDialog* dialog = DialogOfWindow(Window);
    if (Msg == WM_INITDIALOG && dialog == nullptr && currentDialog != nullptr) {
        dialog = currentDialog;
        SetWindowLongPtrA(Window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        dialog->handle_ = Window;
    }
    if (dialog == nullptr) return 0;
    TMessage message{Msg, WParam, LParam, 0};
    // Nothing may cross the system's dialog procedure.
    try {
        dialog->WndProc(message);
    } catch (...) {
        HandleWindowProcException(std::current_exception());
        return 0;
    }
    return static_cast<UINT_PTR>(message.Result);
}

void TCommonDialog::WndProc(TMessage& Message) {
    if (Message.Msg == WM_INITDIALOG)
        DoShow();
    else if (Message.Msg == WM_DESTROY)
        DoClose();
}

void TCommonDialog::DoShow() {
    if (OnShow) OnShow(this);
}

void TCommonDialog::DoClose() {
    if (OnClose) OnClose(this);
}

// ---- TOpenDialog -----------------------------------------------------------------------------
DWORD OpenOptionsToFlags(TOpenOptions Options) {
    static const std::pair<TOpenOption, DWORD> map[] = {
        {ofReadOnly, OFN_READONLY},
        {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
        {ofHideReadOnly, OFN_HIDEREADONLY},
        {ofNoChangeDir, OFN_NOCHANGEDIR},
        {ofShowHelp, OFN_SHOWHELP},
        {ofNoValidate, OFN_NOVALIDATE},
        {ofAllowMultiSelect, OFN_ALLOWMULTISELECT},
        {ofExtensionDifferent, OFN_EXTENSIONDIFFERENT},
        {ofPathMustExist, OFN_PATHMUSTEXIST},
        {ofFileMustExist, OFN_FILEMUSTEXIST},
        {ofCreatePrompt, OFN_CREATEPROMPT},
        {ofShareAware, OFN_SHAREAWARE},
        {ofNoReadOnlyReturn, OFN_NOREADONLYRETURN},
        {ofNoTestFileCreate, OFN_NOTESTFILECREATE},
        {ofNoNetworkButton, OFN_NONETWORKBUTTON},
        {ofNoLongNames, OFN_NOLONGNAMES},
        {ofNoDereferenceLinks, OFN_NODEREFERENCELINKS},
        {ofEnableIncludeNotify, OFN_ENABLEINCLUDENOTIFY},
        {ofEnableSizing, OFN_ENABLESIZING},
        {ofDontAddToRecent, OFN_DONTADDTORECENT},
        {ofForceShowHidden, OFN_FORCESHOWHIDDEN},
    };
    DWORD flags = 0;
    for (const auto& [option, flag] : map)
        if (Options & option) flags |= flag;
    return flags;
}

TOpenDialog::TOpenDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}

std::string TOpenDialog::FileName() {
    if (NewStyleControls && Handle() != nullptr && !(options_ & ofOldStyleDialog)) {
        HWND dialog = GetParent(Handle());
        // Asked for the length first, so that no path is cut.
        LRESULT needed = SendMessageA(dialog, CDM_GETFILEPATH, 0, 0);
        if (needed > 0) {
            std::string path(static_cast<size_t>(needed) + 1, '\0');
            LRESULT n = SendMessageA(dialog, CDM_GETFILEPATH, path.size(), reinterpret_cast<LPARAM>(path.data()));
            if (n > 0) {
                path.resize(std::min(path.size(), static_cast<size_t>(n)));
                if (!path.empty() && path.back() == 0) path.pop_back();
                size_t zero = path.find('\0');
                if (zero != std::string::npos) path.resize(zero);
                return path;
            }
        }
    }
    return fileName_;
}

bool TOpenDialog::BlankSeparated(DWORD Flags) { return !(Flags & OFN_EXPLORER) || !NewStyleControls; }

void TOpenDialog::GetFileNames(const OPENFILENAMEA& Ofn) {
    files_.Clear();
    if (Ofn.lpstrFile == nullptr) return;
    bool multi = (options_ & ofAllowMultiSelect) != 0;
    char separator = BlankSeparated(Ofn.Flags) ? ' ' : '\0';
    for (const std::string& f : SplitDialogFileNames(Ofn.lpstrFile, Ofn.nMaxFile, multi, separator)) files_.Add(f);
    fileName_ = files_.Count() > 0 ? files_.Strings(0) : std::string();
}

bool TOpenDialog::DoExecute(const TDialogFunction& Func) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = DialogOwner();
    ofn.hInstance = LibraryInstance();
    std::vector<char> filter = FilterBuffer(filter_);
    ofn.lpstrFilter = filter_.empty() ? nullptr : filter.data();
    ofn.nFilterIndex = static_cast<DWORD>(filterIndex_);
    // A multi-selection can be long: room for many names.
    std::vector<char> file((options_ & ofAllowMultiSelect) ? 0xFFFF - 16 : MAX_PATH, '\0');
    std::snprintf(file.data(), file.size(), "%s", fileName_.c_str());
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    std::string initialDir = initialDir_;
    if (initialDir.empty() && ForceCurrentDirectory) initialDir.assign(1, '.');  // (not = "."): GCC 12 warns wrongly
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    ofn.lpstrDefExt = defaultExt_.empty() ? nullptr : defaultExt_.c_str();
    ofn.Flags = OpenOptionsToFlags(options_ & ~ofExtensionDifferent) | OFN_ENABLEHOOK;
    if (NewStyleControls && !(options_ & ofOldStyleDialog)) ofn.Flags |= OFN_EXPLORER;
    ofn.lpfnHook = reinterpret_cast<LPOFNHOOKPROC>(&TCommonDialog::DialogHook);
    ofn.lCustData = reinterpret_cast<LPARAM>(this);
    if (preview_ != nullptr && (ofn.Flags & OFN_EXPLORER) != 0) {
        ofn.Flags |= OFN_ENABLETEMPLATEHANDLE;
        ofn.hInstance = static_cast<HINSTANCE>(const_cast<void*>(preview_->Template()));
    }

    files_.Clear();
    bool ok = TaskModalDialog([&] { return Func(&ofn); });
    if (ok) {
        GetFileNames(ofn);
        SetOptionFlag(ofReadOnly, (ofn.Flags & OFN_READONLY) != 0);
        SetOptionFlag(ofExtensionDifferent, (ofn.Flags & OFN_EXTENSIONDIFFERENT) != 0);
        filterIndex_ = static_cast<int>(ofn.nFilterIndex);
    }
    return ok;
}

bool TOpenDialog::Execute() {
    return DoExecute([](OPENFILENAMEA* Ofn) { return GetOpenFileNameA(Ofn); });
}

std::wstring TOpenDialog::PreviewFileName() { return AnsiToWide(FileName()); }

void TOpenDialog::DoShow() {
    if (preview_ != nullptr) preview_->Attach(Handle());
    TCommonDialog::DoShow();
}

void TOpenDialog::DoClose() {
    if (preview_ != nullptr) preview_->Detach();
    TCommonDialog::DoClose();
}

bool TOpenDialog::DoCanClose() {
    bool canClose = true;
    if (OnCanClose) OnCanClose(this, canClose);
    return canClose;
}

void TOpenDialog::DoIncludeItem(const OFNOTIFYEXA& OFN, bool& Include) {
    if (OnIncludeItem) OnIncludeItem(OFN, Include);
}

void TOpenDialog::WndProc(TMessage& Message) {
    if (Message.Msg == WM_DRAWITEM && preview_ != nullptr &&
        preview_->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(Message.LParam))) {
        Message.Result = TRUE;
        return;
    }
    if (Message.Msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(Message.LParam);
        switch (header->code) {
            case CDN_FILEOK: {
                const auto* notify = reinterpret_cast<const OFNOTIFYA*>(Message.LParam);
                GetFileNames(*notify->lpOFN);
                bool ok = DoCanClose();
                files_.Clear();
                if (!ok) {
                    // Keeps the dialog open: the dialog result must be set as well as the answer.
                    Message.Result = 1;
                    SetWindowLongPtrA(Handle(), DWLP_MSGRESULT, 1);
                }
                return;
            }
            case CDN_SELCHANGE:
                if (preview_ != nullptr) preview_->Select(PreviewFileName());
                if (OnSelectionChange) OnSelectionChange(this);
                return;
            case CDN_FOLDERCHANGE:
                if (OnFolderChange) OnFolderChange(this);
                return;
            case CDN_TYPECHANGE:
                filterIndex_ = static_cast<int>(reinterpret_cast<const OFNOTIFYA*>(Message.LParam)->lpOFN->nFilterIndex);
                if (OnTypeChange) OnTypeChange(this);
                return;
            case CDN_INCLUDEITEM: {
                bool include = true;
                DoIncludeItem(*reinterpret_cast<const OFNOTIFYEXA*>(Message.LParam), include);
                Message.Result = include ? 1 : 0;
                return;
            }
            default:
                break;
        }
    }
    TCommonDialog::WndProc(Message);
}

bool TSaveDialog::Execute() {
    return DoExecute([](OPENFILENAMEA* Ofn) { return GetSaveFileNameA(Ofn); });
}

// ---- Font and colour dialogs -----------------------------------------------------------------
bool TFontDialog::Execute() {
    LOGFONTA logFont{};
    GetObjectA(font_.Handle(), sizeof(logFont), &logFont);
    CHOOSEFONTA cf{};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = DialogOwner();
    cf.lpLogFont = &logFont;
    cf.rgbColors = static_cast<COLORREF>(ColorToRGB(font_.Color()));
    cf.Flags = CF_INITTOLOGFONTSTRUCT | CF_SCREENFONTS | CF_ENABLEHOOK;
    static const std::pair<TFontDialogOption, DWORD> map[] = {
        {fdAnsiOnly, CF_ANSIONLY},           {fdTrueTypeOnly, CF_TTONLY},      {fdEffects, CF_EFFECTS},
        {fdFixedPitchOnly, CF_FIXEDPITCHONLY}, {fdForceFontExist, CF_FORCEFONTEXIST},
        {fdNoFaceSel, CF_NOFACESEL},         {fdNoOEMFonts, CF_NOOEMFONTS},    {fdNoSimulations, CF_NOSIMULATIONS},
        {fdNoSizeSel, CF_NOSIZESEL},         {fdNoStyleSel, CF_NOSTYLESEL},    {fdNoVectorFonts, CF_NOVECTORFONTS},
        {fdShowHelp, CF_SHOWHELP},           {fdWysiwyg, CF_WYSIWYG},          {fdLimitSize, CF_LIMITSIZE},
        {fdScalableOnly, CF_SCALABLEONLY},
    };
    for (const auto& [option, flag] : map)
        if (options_ & option) cf.Flags |= flag;
    cf.nSizeMin = minFontSize_;
    cf.nSizeMax = maxFontSize_;
    cf.lpfnHook = reinterpret_cast<LPCFHOOKPROC>(&TCommonDialog::DialogHook);
    bool ok = TaskModalDialog([&] { return ChooseFontA(&cf); });
    if (ok) {
        font_.SetName(logFont.lfFaceName);
        font_.SetHeight(logFont.lfHeight);
        TFontStyles style;
        if (logFont.lfWeight >= FW_BOLD) style.Include(fsBold);
        if (logFont.lfItalic) style.Include(fsItalic);
        if (logFont.lfUnderline) style.Include(fsUnderline);
        if (logFont.lfStrikeOut) style.Include(fsStrikeOut);
        font_.SetStyle(style);
        font_.SetColor(static_cast<TColor>(cf.rgbColors));
    }
    return ok;
}

bool TColorDialog::Execute() {
    COLORREF custom[16];
    for (int i = 0; i < 16; ++i) {
        char name[8];
        std::snprintf(name, sizeof(name), "Color%c", 'A' + i);
        std::wstring text = L"$";
        text += AnsiToWide(customColors_.Values(name));
        int value = 0;
        custom[i] = TryStrToInt(text, value) ? static_cast<COLORREF>(value) : 0xFFFFFF;
    }
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = DialogOwner();
    cc.rgbResult = static_cast<COLORREF>(ColorToRGB(color_));
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_ENABLEHOOK;
    if (options_ & cdFullOpen) cc.Flags |= CC_FULLOPEN;
    if (options_ & cdPreventFullOpen) cc.Flags |= CC_PREVENTFULLOPEN;
    if (options_ & cdShowHelp) cc.Flags |= CC_SHOWHELP;
    if (options_ & cdSolidColor) cc.Flags |= CC_SOLIDCOLOR;
    if (options_ & cdAnyColor) cc.Flags |= CC_ANYCOLOR;
    cc.lpfnHook = reinterpret_cast<LPCCHOOKPROC>(&TCommonDialog::DialogHook);
    bool ok = TaskModalDialog([&] { return ChooseColorA(&cc); });
    if (ok) {
        color_ = static_cast<TColor>(cc.rgbResult);
        customColors_.Clear();
        for (int i = 0; i < 16; ++i) {
            char line[32];
            std::snprintf(line, sizeof(line), "Color%c=%.6lX", 'A' + i, static_cast<unsigned long>(custom[i]));
            customColors_.Add(line);
        }
    }
    return ok;
}

}  // namespace classlib
