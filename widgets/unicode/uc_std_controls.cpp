// Wide combo box and wide label.
#include "widgets/unicode/uc_std_controls.h"

#include <algorithm>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/filer.h"
#include "classlib/gdi_handles.h"
#include "classlib/graphics.h"
#include "classlib/timer.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "unicode/wide_properties.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_graphics.h"
#include "widgets/unicode/uc_menus.h"

namespace widgets {

using classlib::AnsiToWide;
using classlib::TMessage;
using classlib::WideToAnsi;

namespace {

bool IsUnicodePlatform() { return unicode::Win32PlatformIsUnicode(); }

WORD NotifyCodeOf(const TMessage& Message) { return HIWORD(Message.WParam); }

DWORD (*gTickSource)() = [] { return GetTickCount(); };

// The pause after which the typing search of a drop-down list starts again.
constexpr DWORD kSearchPause = 1250;

}  // namespace

// ---- TR5PatchedComboBoxStrings ---------------------------------------------------------------

std::string TR5PatchedComboBoxStrings::Get(int Index) const {
    if (ComboBox()->KeptItems() != nullptr) return classlib::TComboBoxStrings::Get(Index);
    HWND h = Wnd();
    LRESULT len = SendMessageA(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(Index), 0);
    if (len < 1) return std::string();
    std::vector<char> buffer(static_cast<size_t>(len) + 1, '\0');
    if (SendMessageA(h, CB_GETLBTEXT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data())) < 0)
        return std::string();
    return std::string(buffer.data());
}

// ---- TUcComboBoxStrings ----------------------------------------------------------------------

bool TUcComboBoxStrings::WideWindow() const {
    HWND h = comboBox_->Handle();
    return IsUnicodePlatform() && IsWindowUnicode(h);
}

classlib::TStrings* TUcComboBoxStrings::Ansi() const { return comboBox_->AnsiItems(); }

classlib::TStringList* TUcComboBoxStrings::Kept() const { return comboBox_->KeptItems(); }

std::wstring TUcComboBoxStrings::KeptGet(int Index) const {
    classlib::TStringList* kept = Kept();
    if (Index < 0 || Index >= kept->Count()) return std::wstring();
    const std::vector<std::wstring>& wide = comboBox_->keptWide_;
    // An item changed through the ANSI list reads as that list has it.
    std::wstring text = static_cast<size_t>(Index) < wide.size() ? wide[static_cast<size_t>(Index)] : std::wstring();
    return unicode::GetSyncedWideString(text, kept->Get(Index));
}

std::wstring TUcComboBoxStrings::Get(int Index) const {
    if (Kept() != nullptr) return KeptGet(Index);
    if (!WideWindow()) return AnsiToWide(Ansi()->Get(Index));
    HWND h = comboBox_->Handle();
    LRESULT len = SendMessageW(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(Index), 0);
    if (len == CB_ERR || len < 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(len) + 1, L'\0');
    if (SendMessageW(h, CB_GETLBTEXT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data())) == CB_ERR)
        return std::wstring();
    return std::wstring(buffer.data());  // cut at the terminator
}

int TUcComboBoxStrings::GetCount() const { return Ansi()->Count(); }

classlib::TObject* TUcComboBoxStrings::GetObject(int Index) const { return Ansi()->Objects(Index); }

void TUcComboBoxStrings::PutObject(int Index, classlib::TObject* AObject) { Ansi()->SetObjects(Index, AObject); }

void TUcComboBoxStrings::Clear() {
    if (Kept() != nullptr) {
        Ansi()->Clear();
        comboBox_->keptWide_.clear();
        return;
    }
    if (!WideWindow()) {
        Ansi()->Clear();
        return;
    }
    std::wstring text = comboBox_->Text();
    SendMessageW(comboBox_->Handle(), CB_RESETCONTENT, 0, 0);
    comboBox_->SetText(text);
    comboBox_->Update();
}

void TUcComboBoxStrings::Delete(int Index) {
    const bool kept = Kept() != nullptr && Index >= 0 && Index < Ansi()->Count();
    Ansi()->Delete(Index);
    std::vector<std::wstring>& wide = comboBox_->keptWide_;
    if (kept && static_cast<size_t>(Index) < wide.size()) wide.erase(wide.begin() + Index);
}

void TUcComboBoxStrings::Insert(int Index, const std::wstring& S) {
    if (Kept() != nullptr) {
        const int at = Index == -1 ? Ansi()->Count() : Index;
        Ansi()->Insert(Index, WideToAnsi(S));
        std::vector<std::wstring>& wide = comboBox_->keptWide_;
        if (wide.size() < static_cast<size_t>(at)) wide.resize(static_cast<size_t>(at));
        wide.insert(wide.begin() + at, S);
        return;
    }
    if (!WideWindow()) {
        Ansi()->Insert(Index, WideToAnsi(S));
        return;
    }
    LRESULT r = SendMessageW(comboBox_->Handle(), CB_INSERTSTRING, static_cast<WPARAM>(Index),
                             reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw classlib::EOutOfResources(L"Unable to insert a line");
}

int TUcComboBoxStrings::Add(const std::wstring& S) {
    if (Kept() != nullptr) {
        const int at = Ansi()->Add(WideToAnsi(S));
        std::vector<std::wstring>& wide = comboBox_->keptWide_;
        wide.resize(static_cast<size_t>(at));
        wide.push_back(S);
        return at;
    }
    if (!WideWindow()) return Ansi()->Add(WideToAnsi(S));
    LRESULT r = SendMessageW(comboBox_->Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw classlib::EOutOfResources(L"Unable to insert a line");
    return static_cast<int>(r);
}

int TUcComboBoxStrings::IndexOf(const std::wstring& S) const {
    if (Kept() != nullptr) {
        // As the window's exact search: without case.
        for (int i = 0, n = Kept()->Count(); i < n; ++i)
            if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, KeptGet(i).c_str(), -1, S.c_str(), -1) == CSTR_EQUAL)
                return i;
        return -1;
    }
    if (!WideWindow()) return Ansi()->IndexOf(WideToAnsi(S));
    LRESULT r = SendMessageW(comboBox_->Handle(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(S.c_str()));
    return r < 0 ? -1 : static_cast<int>(r);
}

void TUcComboBoxStrings::SetUpdateState(bool Updating) {
    if (Updating)
        Ansi()->BeginUpdate();
    else
        Ansi()->EndUpdate();
}

// ---- TUcCustomComboBox -----------------------------------------------------------------------

TUcCustomComboBox::TUcCustomComboBox(classlib::TComponent* AOwner)
    : classlib::TCustomComboBox(AOwner), wideItems_(std::make_unique<TUcComboBoxStrings>(this)) {}

TUcCustomComboBox::~TUcCustomComboBox() {
    // The window goes while the wide parts still exist.
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<classlib::TStrings> TUcCustomComboBox::CreateItems() {
    return std::make_unique<TR5PatchedComboBoxStrings>(this);
}

void TUcCustomComboBox::SetTickSourceForTesting(DWORD (*Source)()) {
    gTickSource = Source != nullptr ? Source : +[] { return GetTickCount(); };
}

bool TUcCustomComboBox::AutoSelect(const std::wstring& Search, bool UniqueOnly) {
    HWND h = Handle();
    bool wide = IsUnicodePlatform() && IsWindowUnicode(h);
    std::string ansiSearch = WideToAnsi(Search);
    auto find = [&](UINT Msg, WPARAM From) -> LRESULT {
        return wide ? SendMessageW(h, Msg, From, reinterpret_cast<LPARAM>(Search.c_str()))
                    : SendMessageA(h, Msg, From, reinterpret_cast<LPARAM>(ansiSearch.c_str()));
    };
    LRESULT index = find(CB_FINDSTRING, static_cast<WPARAM>(-1));
    if (index < 0) return false;
    if (UniqueOnly && find(CB_FINDSTRING, static_cast<WPARAM>(index)) != index) return false;
    if (AutoCloseUp() && find(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1)) >= 0) SetDroppedDown(false);
    int previous = ItemIndex();
    SetItemIndex(static_cast<int>(index));
    if (HasEditPart()) {
        std::wstring item = wideItems_->Get(static_cast<int>(index));
        std::wstring rest = item.size() > Search.size() ? item.substr(Search.size()) : std::wstring();
        // Straight into the edit part: the combo box's own text rule would drop the selection
        // of an item whose case differs from the typed text.
        std::wstring text = Search + rest;
        if (EditHandle() != nullptr)
            SendMessageW(EditHandle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        else
            SetText(text);
        auto start = static_cast<WORD>(Search.size());
        SendMessageW(h, CB_SETEDITSEL, 0, MAKELPARAM(start, start + rest.size()));
    }
    if (previous != index) {
        Click();
        Select();
    }
    return true;
}

bool TUcCustomComboBox::AutoCompleteKeyPress(wchar_t Key) {
    if (Style() != classlib::TComboBoxStyle::csSimple && Style() != classlib::TComboBoxStyle::csDropDown)
        throw unicode::EUcInternalError(
            L"Internal Error: UcCombo_AutoCompleteKeyPress is only for csSimple and csDropDown style combo boxes.");
    switch (Key) {
        case VK_BACK:
        case VK_ESCAPE:
            return false;
        case VK_TAB:
            if (AutoDropDown() && DroppedDown()) SetDroppedDown(false);
            return false;
        default:
            break;
    }
    HWND h = Handle();
    std::wstring text = Text();
    DWORD start = 0, end = 0;
    SendMessageW(h, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (AutoDropDown() && !DroppedDown()) {
        // Opening the list changes the edit text and selection: they are put back.
        SetDroppedDown(true);
        SetText(text);
        SendMessageW(h, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
    }
    if (end != text.size()) return false;
    std::wstring search = text.substr(0, std::min<size_t>(start, text.size())) + Key;
    return AutoSelect(search, false);
}

bool TUcCustomComboBox::AutoSearchKeyPress(wchar_t Key) {
    switch (Key) {
        case VK_BACK:
            if (!searchText_.empty()) searchText_.pop_back();
            return false;
        case VK_TAB:
            if (AutoDropDown() && DroppedDown()) SetDroppedDown(false);
            return false;
        case VK_ESCAPE:
            return false;
        default:
            break;
    }
    if (AutoDropDown() && !DroppedDown()) SetDroppedDown(true);
    DWORD now = gTickSource();
    if (now - lastSearchTick_ >= kSearchPause) searchText_.clear();
    lastSearchTick_ = now;
    if (!AutoSelect(searchText_ + Key, false)) return false;
    searchText_ += Key;
    return true;
}

void TUcCustomComboBox::AddItem(const std::wstring& Item, classlib::TObject* AObject) {
    wideItems_->AddObject(Item, AObject);
}

void TUcCustomComboBox::AddItem(const std::string& Item, classlib::TObject* AObject) {
    wideItems_->AddObject(AnsiToWide(Item), AObject);
}

void TUcCustomComboBox::CopySelection(classlib::TCustomListControl* Destination) {
    int index = ItemIndex();
    if (index >= 0) WideListControl_AddItem(Destination, wideItems_->Get(index), wideItems_->Objects(index));
}

void TUcCustomComboBox::DefineProperties(classlib::TFiler* Filer) {
    classlib::TCustomComboBox::DefineProperties(Filer);
    unicode::UcPersistent_DefineWideProperties(Filer, this);
}

void TUcCustomComboBox::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, L"COMBOBOX");
}

void TUcCustomComboBox::RehookChildrenWide() {
    // The class library hooked the children through the ANSI calls, which makes them ANSI
    // windows: hook them again through the wide calls so that they stay Unicode.
    auto rehook = [](HWND child, WNDPROC ansiPrevious, auto setPrevious) {
        if (child == nullptr || ansiPrevious == nullptr) return;
        SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ansiPrevious));
        auto widePrevious = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(child, GWLP_WNDPROC));
        setPrevious(widePrevious);
        SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditInstance()));
    };
    rehook(EditHandle(), DefEditProc(), [this](WNDPROC p) { SetDefEditProc(p); });
    if (Style() == classlib::TComboBoxStyle::csSimple)
        rehook(ListHandle(), DefListProc(), [this](WNDPROC p) { SetDefListProc(p); });
}

void TUcCustomComboBox::CreateWnd() {
    // Items kept without a window go into it with their wide texts, as after a re-creation.
    int keptIndex = -1;
    if (std::unique_ptr<classlib::TStringList> kept = TakeKeptItems(keptIndex)) {
        savedItems_ = std::make_unique<unicode::TUcStringList>();
        for (int i = 0, n = kept->Count(); i < n; ++i) {
            std::wstring wide = static_cast<size_t>(i) < keptWide_.size() ? keptWide_[static_cast<size_t>(i)] : std::wstring();
            savedItems_->AddObject(unicode::GetSyncedWideString(wide, kept->Get(i)), kept->Objects(i));
        }
        savedIndex_ = keptIndex;
    }
    keptWide_.clear();
    classlib::TCustomComboBox::CreateWnd();
    if (IsUnicodePlatform() && IsWindowUnicode(WindowHandle())) RehookChildrenWide();
    if (savedItems_) {
        std::unique_ptr<unicode::TUcStringList> saved = std::move(savedItems_);
        wideItems_->Assign(saved.get());
        int index = std::min(savedIndex_, wideItems_->Count() - 1);
        if (index >= 0) SendMessageW(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        savedIndex_ = -1;
    }
    std::wstring text;
    if (TWideControlHelper* helper = FindWideControlHelper(this))
        text = unicode::GetSyncedWideString(helper->WideCaption, TextField());
    else
        text = AnsiToWide(TextField());
    UcControl_SetText(this, text);
}

void TUcCustomComboBox::DestroyWnd() {
    if (HasControlState(classlib::csDestroyingHandle)) return;
    std::wstring text;
    bool keep = HandleAllocated() && !HasState(classlib::csDestroying);
    if (keep) {
        text = Text();
        if (wideItems_->Count() > 0) {
            savedItems_ = std::make_unique<unicode::TUcStringList>();
            savedItems_->Assign(wideItems_.get());
            savedIndex_ = ItemIndex();
            SendMessageW(WindowHandle(), CB_RESETCONTENT, 0, 0);
        }
    }
    classlib::TCustomComboBox::DestroyWnd();
    if (keep) {
        WideControlHelper(this)->WideCaption = text;
        SetTextField(WideToAnsi(text));
        // Until the next window the items are kept as a box without window keeps them.
        if (savedItems_) {
            auto ansi = std::make_unique<classlib::TStringList>();
            keptWide_.clear();
            for (int i = 0, n = savedItems_->Count(); i < n; ++i) {
                ansi->AddObject(WideToAnsi(savedItems_->Get(i)), savedItems_->Objects(i));
                keptWide_.push_back(savedItems_->Get(i));
            }
            KeepItems(std::move(ansi), savedIndex_);
            savedItems_.reset();
            savedIndex_ = -1;
        }
    }
}

void TUcCustomComboBox::SetItemIndex(int Value) {
    classlib::TCustomComboBox::SetItemIndex(Value);
    if (!HandleAllocated() && KeptItems() != nullptr) {
        const int index = ItemIndex();
        if (index >= 0) WideControlHelper(this)->WideCaption = wideItems_->Get(index);
    }
}

void TUcCustomComboBox::ComboWndProc(TMessage& Message, HWND ComboWnd, WNDPROC ComboProc) {
    if (!IsUnicodePlatform() || !IsWindowUnicode(ComboWnd)) {
        classlib::TCustomComboBox::ComboWndProc(Message, ComboWnd, ComboProc);
        return;
    }
    switch (Message.Msg) {
        case WM_CHAR: {
            MakeWMCharMsgSafeForAnsi(Message);
            if (DoKeyPress(Message)) return;
            RestoreWMCharMsg(Message);
            if (AutoComplete() && HasEditPart() &&
                AutoCompleteKeyPress(static_cast<wchar_t>(LOWORD(Message.WParam)))) {
                Message.Result = 0;
                return;
            }
            if ((Message.WParam == VK_RETURN || Message.WParam == VK_ESCAPE) && DroppedDown()) {
                SetDroppedDown(false);
                return;
            }
            Message.Result = CallWindowProcW(ComboProc, ComboWnd, Message.Msg, Message.WParam, Message.LParam);
            return;
        }
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
        case EM_REPLACESEL:
        case WM_IME_COMPOSITION:
            Message.Result = CallWindowProcW(ComboProc, ComboWnd, Message.Msg, Message.WParam, Message.LParam);
            return;
        case WM_IME_CHAR:
            Message.Result = SendMessageW(ComboWnd, WM_CHAR, Message.WParam, Message.LParam);
            return;
        default:
            classlib::TCustomComboBox::ComboWndProc(Message, ComboWnd, ComboProc);
    }
}

void TUcCustomComboBox::DrawItem(int Index, RECT Rect, UINT State) {
    if (OnDrawItem || !IsUnicodePlatform()) {
        classlib::TCustomComboBox::DrawItem(Index, Rect, State);
        return;
    }
    Canvas()->FillRect(Rect);
    if (Index >= 0 && Index < wideItems_->Count())
        WideCanvasTextOut(Canvas(), Rect.left + 2, Rect.top, wideItems_->Get(Index));
}

void TUcCustomComboBox::SetTextSelectingWide(TMessage& Message) {
    // The class library's rule (select the item of exactly this text, or none), for the wide
    // text the Unicode window receives.
    std::wstring text = Message.LParam != 0 ? reinterpret_cast<const wchar_t*>(Message.LParam) : L"";
    HWND h = WindowHandle();
    int index = -1;
    for (int i = 0, n = wideItems_->Count(); i < n; ++i)
        if (wideItems_->Get(i) == text) {
            index = i;
            break;
        }
    if (!HasEditPart()) {
        SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Message.Result = TRUE;
        return;
    }
    DefaultHandler(Message);
    LRESULT current = SendMessageW(h, CB_GETCURSEL, 0, 0);
    if (index >= 0) {
        if (current != index) SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else if (current >= 0) {
        SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        DefaultHandler(Message);
    }
}

void TUcCustomComboBox::Dispatch(TMessage& Message) {
    bool wide = HandleAllocated() && IsUnicodePlatform() && IsWindowUnicode(WindowHandle());
    if (Message.Msg == WM_CHAR && AutoComplete() && !HasEditPart() &&
        AutoSearchKeyPress(GetWideCharFromWMCharMsg(Message))) {
        Message.Result = 0;
        return;
    }
    if (wide && Message.Msg == WM_SETTEXT) {
        SetTextSelectingWide(Message);
        return;
    }
    if (wide && Message.Msg == classlib::CN_COMMAND && NotifyCodeOf(Message) == CBN_SELCHANGE) {
        int index = ItemIndex();
        if (index >= 0) SetText(wideItems_->Get(index));
        Click();
        Select();
        return;
    }
    classlib::TCustomComboBox::Dispatch(Message);
}

void TUcCustomComboBox::ActionChange(classlib::TObject* Sender, bool CheckDefaults) {
    UcControl_BeforeInherited_ActionChange(this, Sender, CheckDefaults);
    classlib::TCustomComboBox::ActionChange(Sender, CheckDefaults);
}

classlib::TControlActionLinkClass TUcCustomComboBox::GetActionLinkClass() const {
    return UcControl_GetActionLinkClass(const_cast<TUcCustomComboBox*>(this),
                                        classlib::TCustomComboBox::GetActionLinkClass());
}

// ---- TUcCustomLabel --------------------------------------------------------------------------

std::string TUcCustomLabel::GetLabelText() { return WideToAnsi(Caption()); }

void TUcCustomLabel::DoDrawText(RECT& Rect, UINT Flags) {
    if (!IsUnicodePlatform()) {
        classlib::TCustomLabel::DoDrawText(Rect, Flags);
        return;
    }
    std::wstring text = Caption();
    if ((Flags & DT_CALCRECT) != 0 && (text.empty() || (ShowAccelChar() && text == L"&"))) text += L' ';
    if (!ShowAccelChar()) Flags |= DT_NOPREFIX;
    Flags = DrawTextBiDiModeFlags(Flags);
    classlib::TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    HDC dc = canvas->Handle();
    classlib::TSavedDC saved(dc);
    SelectObject(dc, Font()->Handle());
    SetBkMode(dc, TRANSPARENT);
    if (Enabled() || (Flags & DT_CALCRECT) != 0) {
        SetTextColor(dc, classlib::ColorToRGB(Font()->Color()));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &Rect, Flags);
    } else {
        OffsetRect(&Rect, 1, 1);
        SetTextColor(dc, classlib::ColorToRGB(classlib::clBtnHighlight));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &Rect, Flags);
        OffsetRect(&Rect, -1, -1);
        SetTextColor(dc, classlib::ColorToRGB(classlib::clBtnShadow));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &Rect, Flags);
    }
}

void TUcCustomLabel::DefineProperties(classlib::TFiler* Filer) {
    classlib::TCustomLabel::DefineProperties(Filer);
    unicode::UcPersistent_DefineWideProperties(Filer, this);
}

void TUcCustomLabel::Dispatch(TMessage& Message) {
    if (Message.Msg == classlib::CM_HINTSHOW) ProcessCMHintShowMsg(this, Message);
    if (Message.Msg == classlib::CM_DIALOGCHAR && IsUnicodePlatform()) {
        classlib::TWinControl* target = FocusControl();
        if (target != nullptr && Enabled() && ShowAccelChar() && WideIsAccel(Message.WParam, Caption()) &&
            target->CanFocus()) {
            target->SetFocus();
            Message.Result = 1;
            return;
        }
    }
    classlib::TCustomLabel::Dispatch(Message);
}

void TUcCustomLabel::ActionChange(classlib::TObject* Sender, bool CheckDefaults) {
    UcControl_BeforeInherited_ActionChange(this, Sender, CheckDefaults);
    classlib::TCustomLabel::ActionChange(Sender, CheckDefaults);
}

classlib::TControlActionLinkClass TUcCustomLabel::GetActionLinkClass() const {
    return UcControl_GetActionLinkClass(const_cast<TUcCustomLabel*>(this),
                                        classlib::TCustomLabel::GetActionLinkClass());
}

}  // namespace widgets
