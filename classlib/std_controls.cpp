// The standard controls of the class library over the system's EDIT, COMBOBOX and BUTTON classes.
#include "classlib/std_controls.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "classlib/hidden_window.h"

namespace classlib {

namespace {

// The property under which a combo box's hooked child window finds its control.
constexpr const char* kComboChildProp = "ClasslibComboChild";

// Selects a font into a DC for raw DrawText calls and puts everything back afterwards.
class TextDC {
public:
    TextDC(HDC dc, TFont* font) : dc_(dc) {
        oldFont_ = SelectObject(dc_, font->Handle());
        oldColor_ = SetTextColor(dc_, ColorToRGB(font->Color()));
        oldMode_ = SetBkMode(dc_, TRANSPARENT);
        oldBk_ = GetBkColor(dc_);
    }
    ~TextDC() {
        SetBkColor(dc_, oldBk_);
        SetBkMode(dc_, oldMode_);
        SetTextColor(dc_, oldColor_);
        SelectObject(dc_, oldFont_);
    }
    TextDC(const TextDC&) = delete;
    TextDC& operator=(const TextDC&) = delete;
    void Color(TColor c) { SetTextColor(dc_, ColorToRGB(c)); }
    void Opaque(TColor c) {
        SetBkColor(dc_, ColorToRGB(c));
        SetBkMode(dc_, OPAQUE);
    }

private:
    HDC dc_;
    HGDIOBJ oldFont_;
    COLORREF oldColor_;
    int oldMode_;
    COLORREF oldBk_;
};

int DrawTextAnsi(HDC dc, const std::string& text, RECT& r, UINT flags) {
    return DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
}

WORD NotifyCode(const TMessage& m) { return HIWORD(m.WParam); }

}  // namespace

char AccelChar(const std::string& Text) {
    for (size_t i = 0; i + 1 < Text.size(); ++i) {
        if (Text[i] != '&') continue;
        if (Text[i + 1] == '&') {
            ++i;  // "&&" is a plain ampersand
            continue;
        }
        return Text[i + 1];
    }
    return 0;
}

bool IsAccel(WPARAM Key, const std::string& Text) {
    char a = AccelChar(Text);
    if (a == 0 || Key == 0 || Key > 0xFF) return false;
    char k = static_cast<char>(Key);
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, &a, 1, &k, 1) == CSTR_EQUAL;
}

// ---- TCustomLabel ----------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(ControlStyle() | csOpaque | csReplicatable);
    SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    Invalidate();
}

void TCustomLabel::SetAutoSize(bool Value) {
    if (autoSize_ == Value) return;
    autoSize_ = Value;
    AdjustBounds();
}

void TCustomLabel::SetTransparent(bool Value) {
    if (Transparent() == Value) return;
    SetControlStyle(Value ? ControlStyle() & ~static_cast<std::uint32_t>(csOpaque) : ControlStyle() | csOpaque);
    Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool Value) {
    if (showAccelChar_ == Value) return;
    showAccelChar_ = Value;
    Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetFocusControl(TWinControl* Value) {
    if (focusControl_ == Value) return;
    if (focusControl_) focusControl_->RemoveFreeNotification(this);
    focusControl_ = Value;
    if (Value) Value->FreeNotification(this);
}

std::string TCustomLabel::GetLabelText() { return Caption(); }

void TCustomLabel::DoDrawText(RECT& Rect, UINT Flags) {
    std::string text = GetLabelText();
    // Measuring an empty text (or a lone prefix character) still gives a line's height.
    if ((Flags & DT_CALCRECT) != 0 && (text.empty() || (showAccelChar_ && text == "&"))) text += ' ';
    if (!showAccelChar_) Flags |= DT_NOPREFIX;
    Flags = DrawTextBiDiModeFlags(Flags);
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    TextDC dc(canvas->Handle(), canvas->Font());
    if (Enabled() || (Flags & DT_CALCRECT) != 0) {
        DrawTextAnsi(canvas->Handle(), text, Rect, Flags);
        return;
    }
    OffsetRect(&Rect, 1, 1);
    dc.Color(clBtnHighlight);
    DrawTextAnsi(canvas->Handle(), text, Rect, Flags);
    OffsetRect(&Rect, -1, -1);
    dc.Color(clBtnShadow);
    DrawTextAnsi(canvas->Handle(), text, Rect, Flags);
}

void TCustomLabel::Paint() {
    static const UINT alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    TCanvas* canvas = Canvas();
    RECT r = ClientRect();
    if (!Transparent()) {
        canvas->Brush()->SetColor(Color());
        canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
        canvas->FillRect(r);
    }
    canvas->Brush()->SetStyle(TBrushStyle::bsClear);
    DoDrawText(r, DT_EXPANDTABS | (wordWrap_ ? DT_WORDBREAK : 0) | alignments[static_cast<int>(alignment_)]);
}

void TCustomLabel::AdjustBounds() {
    if (!autoSize_ || HasState(csLoading) || HasState(csDestroying)) return;
    RECT r = ClientRect();
    HDC dc = GetDC(nullptr);
    if (!dc) return;
    TCanvas* canvas = Canvas();
    canvas->SetHandle(dc);
    try {
        DoDrawText(r, DT_EXPANDTABS | DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : 0));
    } catch (...) {
        canvas->SetHandle(nullptr);
        ReleaseDC(nullptr, dc);
        throw;
    }
    canvas->SetHandle(nullptr);
    ReleaseDC(nullptr, dc);
    int x = Left();
    // A right-aligned label keeps its right edge.
    if (alignment_ == TAlignment::taRightJustify) x += Width() - r.right;
    SetBounds(x, Top(), r.right, r.bottom);
}

void TCustomLabel::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_TEXTCHANGED:
        TGraphicControl::Dispatch(Message);
        Invalidate();
        AdjustBounds();
        return;
    case CM_FONTCHANGED:
        TGraphicControl::Dispatch(Message);
        AdjustBounds();
        return;
    case CM_DIALOGCHAR:
        if (focusControl_ && Enabled() && showAccelChar_ && IsAccel(Message.WParam, GetLabelText()) &&
            focusControl_->CanFocus()) {
            focusControl_->SetFocus();
            Message.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TGraphicControl::Dispatch(Message);
}

void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

// ---- TCustomEdit -----------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csClickEvents | csSetCaption | csDoubleClicks | csFixedHeight);
    SetBounds(0, 0, 121, 25);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

void TCustomEdit::SetMaxLength(int Value) {
    if (Value < 0) Value = 0;
    maxLength_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), EM_LIMITTEXT, static_cast<WPARAM>(Value), 0);
}

void TCustomEdit::SetReadOnly(bool Value) {
    if (readOnly_ == Value) return;
    readOnly_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), EM_SETREADONLY, Value ? TRUE : FALSE, 0);
}

void TCustomEdit::SetPasswordChar(char Value) {
    if (passwordChar_ == Value) return;
    passwordChar_ = Value;
    if (HandleAllocated()) {
        SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(Value), 0);
        Invalidate();
    }
}

int TCustomEdit::GetSelStart() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TCustomEdit::SetSelStart(int Value) {
    SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(Value), Value);
}

int TCustomEdit::GetSelLength() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end) - static_cast<int>(start);
}

void TCustomEdit::SetSelLength(int Value) {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageA(Handle(), EM_SETSEL, start, static_cast<LPARAM>(start) + Value);
    SendMessageA(Handle(), EM_SCROLLCARET, 0, 0);
}

std::string TCustomEdit::GetSelText() {
    int start = GetSelStart();
    int length = GetSelLength();
    std::string text = Text();
    if (start < 0 || length <= 0 || static_cast<size_t>(start) >= text.size()) return std::string();
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

void TCustomEdit::SetSelText(const std::string& Value) {
    SendMessageA(Handle(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(Value.c_str()));
}

void TCustomEdit::SelectAll() {
    SendMessageA(Handle(), EM_SETSEL, 0, -1);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, "EDIT");
    Params.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    if (readOnly_) Params.Style |= ES_READONLY;
    if (passwordChar_ != 0) Params.Style |= ES_PASSWORD;
    if (Ctl3D()) {
        Params.Style &= ~static_cast<DWORD>(WS_BORDER);
        Params.ExStyle |= WS_EX_CLIENTEDGE;
    } else {
        Params.Style |= WS_BORDER;
    }
}

void TCustomEdit::CreateWnd() {
    // The system's EN_CHANGE for the initial text is not a change of the control's text.
    creating_ = true;
    try {
        TWinControl::CreateWnd();
    } catch (...) {
        creating_ = false;
        throw;
    }
    creating_ = false;
    SendMessageA(WindowHandle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    if (passwordChar_ != 0)
        SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_), 0);
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        if (NotifyCode(Message) == EN_CHANGE && !creating_) Change();
        break;
    case CM_TEXTCHANGED:
        TWinControl::Dispatch(Message);
        // With a window the system reports the change itself (EN_CHANGE).
        if (!HandleAllocated()) Change();
        return;
    default:
        break;
    }
    TWinControl::Dispatch(Message);
}

// ---- TComboBoxStrings ------------------------------------------------------------------------

HWND TComboBoxStrings::Wnd() const { return comboBox_->Handle(); }

std::string TComboBoxStrings::Get(int Index) const {
    HWND h = Wnd();
    LRESULT len = SendMessageA(h, CB_GETLBTEXTLEN, static_cast<WPARAM>(Index), 0);
    if (len == CB_ERR || len < 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = SendMessageA(h, CB_GETLBTEXT, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR || got < 0) return std::string();
    return std::string(buffer.data(), static_cast<size_t>(std::min(got, len)));
}

int TComboBoxStrings::GetCount() const {
    LRESULT n = SendMessageA(Wnd(), CB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

TObject* TComboBoxStrings::GetObject(int Index) const {
    LRESULT data = SendMessageA(Wnd(), CB_GETITEMDATA, static_cast<WPARAM>(Index), 0);
    if (data == CB_ERR) Error(L"List index out of bounds (%d)", Index);
    return reinterpret_cast<TObject*>(data);
}

void TComboBoxStrings::PutObject(int Index, TObject* AObject) {
    SendMessageA(Wnd(), CB_SETITEMDATA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(AObject));
}

void TComboBoxStrings::Clear() {
    std::string text = comboBox_->Text();
    SendMessageA(Wnd(), CB_RESETCONTENT, 0, 0);
    comboBox_->SetText(text);
    comboBox_->Update();
}

void TComboBoxStrings::Delete(int Index) {
    SendMessageA(Wnd(), CB_DELETESTRING, static_cast<WPARAM>(Index), 0);
}

void TComboBoxStrings::Insert(int Index, const std::string& S) {
    LRESULT r = SendMessageA(Wnd(), CB_INSERTSTRING, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw EOutOfResources(L"Unable to insert a line");
}

int TComboBoxStrings::Add(const std::string& S) {
    LRESULT r = SendMessageA(Wnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(S.c_str()));
    if (r < 0) throw EOutOfResources(L"Unable to insert a line");
    return static_cast<int>(r);
}

int TComboBoxStrings::IndexOf(const std::string& S) const {
    LRESULT r = SendMessageA(Wnd(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(S.c_str()));
    return r < 0 ? -1 : static_cast<int>(r);
}

void TComboBoxStrings::SetUpdateState(bool Updating) {
    SendMessageA(Wnd(), WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
    if (!Updating) comboBox_->Refresh();
}

// ---- TCustomComboBox -------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csCaptureMouse | csSetCaption | csDoubleClicks | csFixedHeight | csReflector);
    SetBounds(0, 0, 145, 21);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

TCustomComboBox::~TCustomComboBox() {
    // The window goes first so that no message reaches the items list while it is freed; its
    // items are not kept for a window that will not come back.
    Destroying();
    if (HandleAllocated()) DestroyHandle();
}

std::unique_ptr<TStrings> TCustomComboBox::CreateItems() { return std::make_unique<TComboBoxStrings>(this); }

TStrings* TCustomComboBox::Items() {
    if (!items_) items_ = CreateItems();
    return items_.get();
}

int TCustomComboBox::ItemIndex() {
    LRESULT r = SendMessageA(Handle(), CB_GETCURSEL, 0, 0);
    return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomComboBox::SetItemIndex(int Value) {
    if (ItemIndex() != Value) SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(Value), 0);
}

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
    if (style_ == Value) return;
    style_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomComboBox::SetSorted(bool Value) {
    if (sorted_ == Value) return;
    sorted_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

bool TCustomComboBox::DroppedDown() {
    return HandleAllocated() && SendMessageA(WindowHandle(), CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TCustomComboBox::SetDroppedDown(bool Value) {
    SendMessageA(Handle(), CB_SHOWDROPDOWN, Value ? TRUE : FALSE, 0);
}

void TCustomComboBox::SetMaxLength(int Value) {
    if (Value < 0) Value = 0;
    maxLength_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), CB_LIMITTEXT, static_cast<WPARAM>(Value), 0);
}

int TCustomComboBox::SelStart() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TCustomComboBox::SetSelStart(int Value) {
    SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(Value, Value));
}

int TCustomComboBox::SelLength() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end) - static_cast<int>(start);
}

void TCustomComboBox::SetSelLength(int Value) {
    int start = SelStart();
    SendMessageA(Handle(), CB_SETEDITSEL, 0, MAKELPARAM(start, start + Value));
}

void TCustomComboBox::CreateParams(TCreateParams& Params) {
    static const DWORD styles[] = {CBS_DROPDOWN, CBS_SIMPLE, CBS_DROPDOWNLIST};
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, "COMBOBOX");
    Params.Style |= WS_VSCROLL | CBS_HASSTRINGS | CBS_AUTOHSCROLL | styles[static_cast<int>(style_)];
    if (sorted_) Params.Style |= CBS_SORT;
}

void TCustomComboBox::CreateWnd() {
    // Without a window the text is the one kept by the control (typed text survives re-creation).
    std::string text = GetText();
    TWinControl::CreateWnd();
    SendMessageA(WindowHandle(), CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    HookChildren();
    if (saveItems_) {
        std::unique_ptr<TStringList> saved = std::move(saveItems_);
        Items()->Assign(saved.get());
        if (saveIndex_ >= 0) {
            int count = Items()->Count();
            int index = std::min(saveIndex_, count - 1);
            if (index >= 0) SendMessageA(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
        saveIndex_ = -1;
    }
    if (!text.empty() && GetText() != text) {
        TMessage m{WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), 0};
        SetTextSelecting(m);
    }
}

void TCustomComboBox::DestroyWnd() {
    if (HandleAllocated() && !HasState(csDestroying)) {
        int count = Items()->Count();
        if (count > 0) {
            saveIndex_ = ItemIndex();
            saveItems_ = std::make_unique<TStringList>();
            saveItems_->Assign(Items());
        }
    }
    if (HandleAllocated()) UnhookChildren();
    TWinControl::DestroyWnd();
}

void TCustomComboBox::HookChildren() {
    editHandle_ = nullptr;
    listHandle_ = nullptr;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!GetComboBoxInfo(WindowHandle(), &info)) return;
    listHandle_ = info.hwndList;
    if (style_ != TComboBoxStyle::csDropDownList && info.hwndItem && info.hwndItem != WindowHandle()) {
        editHandle_ = info.hwndItem;
        SetPropA(editHandle_, kComboChildProp, this);
        defEditProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(editHandle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditInstance())));
    }
    // The list of a simple combo box is a child of it; the drop-down lists are pop-ups.
    if (style_ == TComboBoxStyle::csSimple && listHandle_) {
        SetPropA(listHandle_, kComboChildProp, this);
        defListProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(listHandle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListInstance())));
    }
}

void TCustomComboBox::UnhookChildren() {
    auto unhook = [](HWND child, WNDPROC& previous) {
        if (!child || !IsWindow(child)) return;
        if (previous && GetWindowLongPtrA(child, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ChildWndProc))
            SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(child, kComboChildProp);
    };
    unhook(editHandle_, defEditProc_);
    if (style_ == TComboBoxStyle::csSimple) unhook(listHandle_, defListProc_);
    editHandle_ = nullptr;
    listHandle_ = nullptr;
    defEditProc_ = nullptr;
    defListProc_ = nullptr;
}

LRESULT CALLBACK TCustomComboBox::ChildWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    auto* combo = static_cast<TCustomComboBox*>(GetPropA(Window, kComboChildProp));
    if (!combo) return DefWindowProcA(Window, Msg, WParam, LParam);
    WNDPROC previous = Window == combo->editHandle_ ? combo->defEditProc_ : combo->defListProc_;
    if (!previous) return DefWindowProcA(Window, Msg, WParam, LParam);
    if (Msg == WM_NCDESTROY) {
        // The child goes before the combo box: hand it back its own procedure.
        SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(Window, kComboChildProp);
        return CallWindowProcA(previous, Window, Msg, WParam, LParam);
    }
    TMessage m{Msg, WParam, LParam, 0};
    try {
        combo->ComboWndProc(m, Window, previous);
    } catch (...) {
        HandleWindowProcException(std::current_exception());
    }
    return m.Result;
}

void TCustomComboBox::ComboWndProc(TMessage& Message, HWND ComboWnd, WNDPROC ComboProc) {
    switch (Message.Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        // Focus moving between the box and its parts is no entry or exit of the control.
        Message.Result = CallWindowProcA(ComboProc, ComboWnd, Message.Msg, Message.WParam, Message.LParam);
        if (!OwnsWindow(reinterpret_cast<HWND>(Message.WParam))) {
            if (Message.Msg == WM_KILLFOCUS) {
                DoExit();
            } else {
                if (TCustomForm* form = GetParentForm(this)) form->SetActiveControl(this);
                DoEnter();
            }
        }
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (ComboWnd != listHandle_ && DoKeyDown(Message)) return;
        break;
    case WM_CHAR:
        if (DoKeyPress(Message)) return;
        if ((Message.WParam == VK_RETURN || Message.WParam == VK_ESCAPE) && DroppedDown()) {
            SetDroppedDown(false);
            return;
        }
        break;
    default:
        break;
    }
    Message.Result = CallWindowProcA(ComboProc, ComboWnd, Message.Msg, Message.WParam, Message.LParam);
    if (Message.Msg == WM_LBUTTONDBLCLK && (ControlStyle() & csDoubleClicks) != 0) DblClick();
}

bool TCustomComboBox::OwnsWindow(HWND Window) const {
    return Window != nullptr && WindowHandle() != nullptr &&
           (Window == WindowHandle() || Window == editHandle_ || Window == listHandle_ || IsChild(WindowHandle(), Window));
}

int TCustomComboBox::ExactItem(const std::string& Text) {
    int count = Items()->Count();
    for (int i = 0; i < count; ++i)
        if (Items()->Get(i) == Text) return i;
    return -1;
}

void TCustomComboBox::SetTextSelecting(TMessage& Message) {
    std::string text = Message.LParam ? reinterpret_cast<const char*>(Message.LParam) : "";
    HWND h = WindowHandle();
    int index = ExactItem(text);
    if (style_ == TComboBoxStyle::csDropDownList) {
        SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Message.Result = TRUE;
        return;
    }
    TWinControl::Dispatch(Message);
    LRESULT current = SendMessageA(h, CB_GETCURSEL, 0, 0);
    if (index >= 0) {
        // The system may have dropped the selection while the edit text changed.
        if (current != index) SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    } else if (current >= 0) {
        // Unselecting clears the edit part: the text goes in again.
        SendMessageA(h, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        TWinControl::Dispatch(Message);
    }
}

void TCustomComboBox::AdjustDropDown() {
    int count = std::clamp(Items()->Count(), 1, std::max(dropDownCount_, 1));
    LRESULT itemHeight = SendMessageA(WindowHandle(), CB_GETITEMHEIGHT, 0, 0);
    if (itemHeight <= 0) return;
    // The system takes the height of the open list from the window's height.
    droppingDown_ = true;
    SetWindowPos(WindowHandle(), nullptr, 0, 0, Width(), static_cast<int>(itemHeight) * count + Height() + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    droppingDown_ = false;
}

void TCustomComboBox::Change() {
    if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
    if (OnSelect)
        OnSelect(this);
    else
        Change();
}

void TCustomComboBox::DropDown() {
    if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_SETTEXT:
        if (HandleAllocated()) {
            SetTextSelecting(Message);
            return;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (OwnsWindow(reinterpret_cast<HWND>(Message.WParam))) {
            DefaultHandler(Message);
            return;
        }
        break;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_SIZE:
        // Sizing the window for the open list is not a change of the control's bounds.
        if (droppingDown_) {
            DefaultHandler(Message);
            return;
        }
        break;
    case CN_COMMAND:
        switch (NotifyCode(Message)) {
        case CBN_DBLCLK:
            DblClick();
            return;
        case CBN_EDITCHANGE:
            Change();
            return;
        case CBN_DROPDOWN:
            DropDown();
            AdjustDropDown();
            return;
        case CBN_SELCHANGE: {
            int index = ItemIndex();
            if (index >= 0) SetText(Items()->Get(index));
            Click();
            Select();
            return;
        }
        default:
            break;
        }
        break;
    default:
        break;
    }
    TWinControl::Dispatch(Message);
}

// ---- TCustomGroupBox -------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks |
                    csReplicatable | csParentBackground);
    SetBounds(0, 0, 185, 105);
}

void TCustomGroupBox::Paint() {
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    int h = canvas->TextHeight("0");
    RECT r{0, h / 2 - 1, Width(), Height()};
    canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
    if (Ctl3D()) {
        ++r.left;
        ++r.top;
        canvas->Brush()->SetColor(clBtnHighlight);
        canvas->FrameRect(r);
        OffsetRect(&r, -1, -1);
        canvas->Brush()->SetColor(clBtnShadow);
    } else {
        canvas->Brush()->SetColor(clWindowFrame);
    }
    canvas->FrameRect(r);
    std::string text = Text();
    if (text.empty()) return;
    UINT flags = DrawTextBiDiModeFlags(DT_SINGLELINE);
    HDC dc = canvas->Handle();
    TextDC textDc(dc, canvas->Font());
    if (!UseRightToLeftAlignment()) {
        r = RECT{8, 0, 0, h};
        DrawTextAnsi(dc, text, r, flags | DT_CALCRECT);
    } else {
        RECT measure{0, 0, 0, h};
        DrawTextAnsi(dc, text, measure, flags | DT_CALCRECT);
        int w = measure.right - measure.left;
        r = RECT{Width() - w - 8, 0, Width() - 8, measure.bottom};
    }
    textDc.Opaque(Color());
    DrawTextAnsi(dc, text, r, flags);
}

void TCustomGroupBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            SelectFirst();
            Message.Result = 1;
            return;
        }
        break;
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
    case CM_CTL3DCHANGED:
    case WM_SIZE:
        TCustomControl::Dispatch(Message);
        Invalidate();
        return;
    default:
        break;
    }
    TCustomControl::Dispatch(Message);
}

// ---- Button action link and TButtonControl ---------------------------------------------------

const TControlActionLinkClassRef& TButtonActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(
        L"TButtonActionLink", &TWinControlActionLink::ClassRef(),
        [](TControl* client) -> TControlActionLink* { return new TButtonActionLink(client); });
    return ref;
}

TButtonControl* TButtonActionLink::Button() const { return dynamic_cast<TButtonControl*>(Client()); }

bool TButtonActionLink::IsCheckedLinked() {
    TButtonControl* button = Button();
    return TWinControlActionLink::IsCheckedLinked() && button && CustomAction() &&
           button->Checked() == CustomAction()->Checked();
}

void TButtonActionLink::SetChecked(bool Value) {
    if (!IsCheckedLinked()) return;
    TButtonControl* button = Button();
    button->SetClicksDisabled(true);
    try {
        button->SetChecked(Value);
    } catch (...) {
        button->SetClicksDisabled(false);
        throw;
    }
    button->SetClicksDisabled(false);
}

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {}

void TButtonControl::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

TControlActionLinkClass TButtonControl::GetActionLinkClass() const { return &TButtonActionLink::ClassRef(); }

void TButtonControl::ActionChange(TObject* Sender, bool CheckDefaults) {
    TWinControl::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (!action) return;
    if (!CheckDefaults || !GetChecked()) {
        // The action's state is taken over, not clicked.
        bool disabled = clicksDisabled_;
        clicksDisabled_ = true;
        try {
            SetChecked(action->Checked());
        } catch (...) {
            clicksDisabled_ = disabled;
            throw;
        }
        clicksDisabled_ = disabled;
    }
}

void TButtonControl::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    if (wordWrap_) Params.Style |= BS_MULTILINE;
}

// ---- TButton ---------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 75, 25);
    SetTabStop(true);
}

void TButton::SetButtonStyle(bool ADefault) {
    if (!HandleAllocated()) return;
    DWORD style = ADefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((static_cast<DWORD>(GetWindowLongPtrA(WindowHandle(), GWL_STYLE)) & 0x0F) != style)
        SendMessageA(WindowHandle(), BM_SETSTYLE, style, TRUE);
}

void TButton::SetDefault(bool Value) {
    if (default_ == Value) return;
    default_ = Value;
    if (!HandleAllocated()) return;
    TCustomForm* form = GetParentForm(this);
    TWinControl* focused = form ? form->ActiveControl() : nullptr;
    active_ = dynamic_cast<TButton*>(focused) ? focused == this : default_;
    SetButtonStyle(active_);
}

void TButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
    TButtonControl::Click();
}

void TButton::CreateParams(TCreateParams& Params) {
    TButtonControl::CreateParams(Params);
    CreateSubClass(Params, "BUTTON");
    Params.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::CreateWnd() {
    TButtonControl::CreateWnd();
    active_ = default_;
}

void TButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        if (NotifyCode(Message) == BN_CLICKED) {
            Click();
            return;
        }
        break;
    case CM_DIALOGKEY:
        if (((Message.WParam == VK_RETURN && active_) || (Message.WParam == VK_ESCAPE && cancel_)) &&
            KeyDataToShiftState(Message.LParam) == 0 && CanFocus()) {
            Click();
            Message.Result = 1;
            return;
        }
        break;
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            Click();
            Message.Result = 1;
            return;
        }
        break;
    case CM_FOCUSCHANGED: {
        // The default look goes to the focused button, or back to the default one.
        auto* sender = reinterpret_cast<TControl*>(Message.LParam);
        active_ = dynamic_cast<TButton*>(sender) ? sender == this : default_;
        SetButtonStyle(active_);
        break;
    }
    default:
        break;
    }
    TButtonControl::Dispatch(Message);
}

// ---- TCustomCheckBox -------------------------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 97, 17);
    SetTabStop(true);
}

void TCustomCheckBox::SetState(TCheckBoxState Value) {
    if (state_ == Value) return;
    state_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
    if (!ClicksDisabled()) Click();
}

void TCustomCheckBox::SetChecked(bool Value) {
    SetState(Value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

void TCustomCheckBox::SetAlignment(TLeftRight Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomCheckBox::Toggle() {
    switch (state_) {
    case TCheckBoxState::cbUnchecked:
        SetState(allowGrayed_ ? TCheckBoxState::cbGrayed : TCheckBoxState::cbChecked);
        break;
    case TCheckBoxState::cbChecked:
        SetState(TCheckBoxState::cbUnchecked);
        break;
    case TCheckBoxState::cbGrayed:
        SetState(TCheckBoxState::cbChecked);
        break;
    }
}

void TCustomCheckBox::CreateParams(TCreateParams& Params) {
    TButtonControl::CreateParams(Params);
    CreateSubClass(Params, "BUTTON");
    Params.Style |= BS_3STATE;
    if ((alignment_ == TLeftRight::taLeftJustify) != UseRightToLeftAlignment()) Params.Style |= BS_LEFTTEXT;
}

void TCustomCheckBox::CreateWnd() {
    TButtonControl::CreateWnd();
    SendMessageA(WindowHandle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCustomCheckBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        if (NotifyCode(Message) == BN_CLICKED) {
            Toggle();
            return;
        }
        break;
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            SetFocus();
            if (Focused()) Toggle();
            Message.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TButtonControl::Dispatch(Message);
}

// ---- TRadioButton ----------------------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetAlignment(TLeftRight Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TRadioButton::SetChecked(bool Value) {
    if (checked_ == Value) return;
    checked_ = Value;
    SetTabStop(Value);
    if (HandleAllocated()) SendMessageA(WindowHandle(), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!Value) return;
    if (TWinControl* parent = Parent()) {
        for (int i = 0; i < parent->ControlCount(); ++i) {
            auto* sibling = dynamic_cast<TRadioButton*>(parent->Controls(i));
            if (!sibling || sibling == this) continue;
            if (auto* action = dynamic_cast<TCustomAction*>(sibling->Action()); action && action->AutoCheck())
                action->SetChecked(false);
            sibling->SetChecked(false);
        }
    }
    if (!ClicksDisabled()) Click();
}

void TRadioButton::CreateParams(TCreateParams& Params) {
    TButtonControl::CreateParams(Params);
    CreateSubClass(Params, "BUTTON");
    Params.Style |= BS_RADIOBUTTON;
    if ((alignment_ == TLeftRight::taLeftJustify) != UseRightToLeftAlignment()) Params.Style |= BS_LEFTTEXT;
}

void TRadioButton::CreateWnd() {
    TButtonControl::CreateWnd();
    SendMessageA(WindowHandle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        switch (NotifyCode(Message)) {
        case BN_CLICKED:
            SetChecked(true);
            return;
        case BN_DOUBLECLICKED:
            DblClick();
            return;
        default:
            break;
        }
        break;
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            SetFocus();
            Message.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TButtonControl::Dispatch(Message);
}

// ---- TGroupButton and TCustomRadioGroup ------------------------------------------------------

TGroupButton::TGroupButton(TCustomRadioGroup* Group) : TRadioButton(Group), group_(Group) {
    group_->buttons_.push_back(this);
    SetVisible(false);
    SetEnabled(Group->Enabled());
    SetParentShowHint(false);
    OnClick = [Group](TObject* Sender) { Group->ButtonClick(Sender); };
    SetParent(Group);
}

TGroupButton::~TGroupButton() {
    auto& buttons = group_->buttons_;
    buttons.erase(std::remove(buttons.begin(), buttons.end(), this), buttons.end());
}

void TGroupButton::Dispatch(TMessage& Message) {
    if (Message.Msg != CN_COMMAND) {
        TRadioButton::Dispatch(Message);
        return;
    }
    if (inClick_) return;
    inClick_ = true;
    try {
        WORD code = NotifyCode(Message);
        if ((code == BN_CLICKED || code == BN_DOUBLECLICKED) && group_->CanModify()) TRadioButton::Dispatch(Message);
    } catch (...) {
        Application()->HandleException(this, std::current_exception());
    }
    inClick_ = false;
}

void TGroupButton::KeyPress(char& Key) {
    TRadioButton::KeyPress(Key);
    group_->KeyPress(Key);
    if ((Key == '\b' || Key == ' ') && !group_->CanModify()) Key = 0;
}

void TGroupButton::KeyDown(WORD& Key, TShiftState Shift) {
    TRadioButton::KeyDown(Key, Shift);
    group_->KeyDown(Key, Shift);
}

TCustomRadioGroup::TCustomRadioGroup(TComponent* AOwner) : TCustomGroupBox(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks | csParentBackground);
    items_.OnChange = [this](TObject* Sender) { ItemsChange(Sender); };
}

TCustomRadioGroup::~TCustomRadioGroup() {
    // The buttons go while the list they remove themselves from still exists.
    items_.OnChange = nullptr;
    destroying_ = true;
    SetButtonCount(0);
}

void TCustomRadioGroup::SetButtonCount(int Value) {
    while (static_cast<int>(buttons_.size()) < Value) new TGroupButton(this);
    while (static_cast<int>(buttons_.size()) > Value) delete buttons_.back();
}

void TCustomRadioGroup::UpdateButtons() {
    SetButtonCount(items_.Count());
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) buttons_[static_cast<size_t>(i)]->SetCaption(items_.Get(i));
    if (itemIndex_ >= static_cast<int>(buttons_.size())) itemIndex_ = static_cast<int>(buttons_.size()) - 1;
    if (itemIndex_ >= 0) {
        updating_ = true;
        try {
            buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(true);
        } catch (...) {
            updating_ = false;
            throw;
        }
        updating_ = false;
    }
    ArrangeButtons();
    Invalidate();
}

void TCustomRadioGroup::ItemsChange(TObject* Sender) {
    (void)Sender;
    if (Reading() || destroying_) return;
    if (itemIndex_ >= items_.Count()) itemIndex_ = items_.Count() - 1;
    UpdateButtons();
}

void TCustomRadioGroup::ButtonClick(TObject* Sender) {
    if (updating_) return;
    auto it = std::find(buttons_.begin(), buttons_.end(), Sender);
    if (it == buttons_.end()) return;
    itemIndex_ = static_cast<int>(it - buttons_.begin());
    Click();
}

void TCustomRadioGroup::SetItemIndex(int Value) {
    if (Reading()) {
        itemIndex_ = Value;
        return;
    }
    int count = static_cast<int>(buttons_.size());
    Value = std::clamp(Value, -1, count - 1);
    if (itemIndex_ == Value) return;
    if (itemIndex_ >= 0 && itemIndex_ < count) buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(false);
    itemIndex_ = Value;
    if (itemIndex_ >= 0) buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(true);
}

void TCustomRadioGroup::SetColumns(int Value) {
    Value = std::clamp(Value, 1, 16);
    if (columns_ == Value) return;
    columns_ = Value;
    ArrangeButtons();
    Invalidate();
}

void TCustomRadioGroup::ArrangeButtons() {
    if (buttons_.empty() || Reading() || destroying_) return;
    TEXTMETRICA metrics{};
    HDC dc = GetDC(nullptr);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, Font()->Handle());
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    int h = metrics.tmHeight;
    int count = static_cast<int>(buttons_.size());
    int perColumn = (count + columns_ - 1) / columns_;
    int buttonWidth = (Width() - 10) / columns_;
    int inner = Height() - h - 5;
    int buttonHeight = inner / perColumn;
    int topMargin = h + 1 + (inner % perColumn) / 2;
    for (int k = 0; k < count; ++k) {
        TGroupButton* button = buttons_[static_cast<size_t>(k)];
        button->SetBiDiMode(BiDiMode());
        int left = (k / perColumn) * buttonWidth + 8;
        if (UseRightToLeftAlignment()) left = ClientWidth() - left - buttonWidth;
        button->SetBounds(left, (k % perColumn) * buttonHeight + topMargin, buttonWidth, buttonHeight);
        button->SetVisible(true);
    }
}

void TCustomRadioGroup::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    bool resized = AWidth != Width() || AHeight != Height();
    TCustomGroupBox::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (resized) ArrangeButtons();
}

void TCustomRadioGroup::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_ENABLEDCHANGED:
        TCustomGroupBox::Dispatch(Message);
        for (TGroupButton* button : buttons_) button->SetEnabled(Enabled());
        return;
    case CM_FONTCHANGED:
    case WM_SIZE:
        TCustomGroupBox::Dispatch(Message);
        ArrangeButtons();
        return;
    default:
        break;
    }
    TCustomGroupBox::Dispatch(Message);
}

void TCustomRadioGroup::Loaded() {
    TCustomGroupBox::Loaded();
    // A stored index beyond the items selects the last one.
    itemIndex_ = std::clamp(itemIndex_, -1, items_.Count() - 1);
    UpdateButtons();
}

}  // namespace classlib
