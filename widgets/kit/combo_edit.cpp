#include "widgets/kit/combo_edit.h"

#include <algorithm>

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "classlib/format.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr int kDefaultButtonWidth = 21;

std::string TextOf(const TPopupValue& Value) {
    if (const auto* s = std::get_if<std::string>(&Value)) return *s;
    if (const auto* d = std::get_if<double>(&Value)) return WideToAnsi(FloatToStr(*d));
    return std::string();
}

int FontHeight(HFONT Font) {
    TWindowDC screen(nullptr);
    TSelectedObject sel(screen.Get(), Font);
    TEXTMETRICA tm{};
    GetTextMetricsA(screen.Get(), &tm);
    return tm.tmHeight;
}

}  // namespace

// ---- TPopupWindow ----------------------------------------------------------------------------

TPopupWindow::TPopupWindow(TCustomComboEdit* Editor) : TCustomControl(Editor), editor_(Editor) {
    InitVisible(false);
    SetCtl3D(false);
    SetControlStyle(ControlStyle() | csNoDesignVisible | csReplicatable | csAcceptsControls);
}

void TPopupWindow::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.Style = WS_POPUP | WS_BORDER | WS_CLIPCHILDREN;
    Params.ExStyle = WS_EX_TOOLWINDOW;
    Params.WindowClass.style |= CS_SAVEBITS;
    Params.WndParent = editor_ != nullptr && editor_->HandleAllocated() ? editor_->WindowHandle() : nullptr;
}

void TPopupWindow::CloseUp(bool Accept) {
    if (OnCloseUp) OnCloseUp(this, Accept);
}

void TPopupWindow::ShowAt(int X, int Y) {
    if (!HandleAllocated() && editor_ != nullptr) SetParentWindow(editor_->Handle());
    HandleNeeded();
    InitVisible(true);
    SetWindowPos(Handle(), HWND_TOP, X, Y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TPopupWindow::HidePopup() {
    if (HandleAllocated())
        SetWindowPos(WindowHandle(), nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    InitVisible(false);
}

void TPopupWindow::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_MOUSEACTIVATE:
            Message.Result = MA_NOACTIVATE;  // the focus stays in the edit
            return;
        case WM_LBUTTONUP: {
            TCustomControl::Dispatch(Message);
            POINT p{static_cast<short>(LOWORD(Message.LParam)), static_cast<short>(HIWORD(Message.LParam))};
            RECT r = ClientRect();
            CloseUp(PtInRect(&r, p) != FALSE);
            return;
        }
        default:
            TCustomControl::Dispatch(Message);
    }
}

// ---- TEditButton -----------------------------------------------------------------------------

TEditButton::TEditButton(TCustomComboEdit* Editor) : TKitSpeedButton(Editor), editor_(Editor) {
    SetControlStyle(ControlStyle() | csReplicatable);
    SetParentShowHint(true);
}

void TEditButton::Paint() {
    TKitSpeedButton::Paint();
    if (State() == TKitButtonState::bsDown) return;
    HDC dc = Canvas()->Handle();
    TOwnedPen edge(CreatePen(PS_SOLID, 1, ColorToRGB(NewStyleShell() ? clBtnFace : clBtnShadow)));
    TOwnedPen light(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnHighlight)));
    {
        TSelectedObject sel(dc, edge.Get());
        MoveToEx(dc, 0, 0, nullptr);
        LineTo(dc, 0, Height() - 1);
    }
    TSelectedObject sel(dc, light.Get());
    MoveToEx(dc, 1, 1, nullptr);
    LineTo(dc, 1, Height() - 2);
}

void TEditButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == TMouseButton::mbLeft && editor_ != nullptr) {
        if (editor_->PopupVisible()) {
            // The press closes the pop-up, accepting; its click must not open it again.
            editor_->PopupCloseUp(true);
            noAction_ = true;
        } else if (editor_->TabStop() && editor_->CanFocus()) {
            editor_->SetFocus();
        }
    }
    TKitSpeedButton::MouseDown(Button, Shift, X, Y);
}

void TEditButton::Click() {
    if (noAction_) {
        noAction_ = false;
        return;
    }
    TKitSpeedButton::Click();
    if (editor_ != nullptr) editor_->ButtonClick();
}

// ---- TCustomComboEdit ------------------------------------------------------------------------

TCustomComboEdit::TCustomComboEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {
    SetControlStyle(ControlStyle() | csCaptureMouse);
    SetBounds(Left(), Top(), Width() > 0 ? Width() : 121, 21);
    panel_ = new TWinControl(this);
    panel_->SetParent(this);
    panel_->SetBounds(0, 0, kDefaultButtonWidth, 17);
    button_ = new TEditButton(this);
    button_->SetParent(panel_);
    button_->SetBounds(0, 0, kDefaultButtonWidth, 17);
    creating_ = false;
}

TCustomComboEdit::~TCustomComboEdit() {
    // The pop-up's close-up handler points here.
    if (popup_ != nullptr) popup_->OnCloseUp = nullptr;
}

void TCustomComboEdit::SetPopup(TPopupWindow* Value) {
    if (popup_ == Value) return;
    if (popup_ != nullptr) {
        popup_->OnCloseUp = nullptr;
        delete popup_;
    }
    popup_ = Value;
    popupVisible_ = false;
    if (popup_ != nullptr) popup_->OnCloseUp = [this](TObject*, bool Accept) { PopupCloseUp(Accept); };
}

void TCustomComboEdit::SetDirectInput(bool Value) {
    directInput_ = Value;
    UpdateReadOnly();
}

void TCustomComboEdit::SetReadOnly(bool Value) {
    readOnly_ = Value;
    UpdateReadOnly();
}

void TCustomComboEdit::UpdateReadOnly() { TCustomMaskEdit::SetReadOnly(readOnly_ || !directInput_); }

void TCustomComboEdit::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

HBITMAP TCustomComboEdit::GetDefaultBitmap(bool& FreeIt) {
    FreeIt = false;
    return nullptr;
}

TOwnedBitmap TCustomComboEdit::EllipsisGlyph(int ButtonWidth) {
    int w = std::max(1, ButtonWidth - 6);
    TOwnedBitmap bmp(CreateBitmap(w, 4, 1, 1, nullptr));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    TSelectedObject sel(dc.Get(), bmp.Get());
    RECT all{0, 0, w, 4};
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    int g = std::min(std::max((w - 6) / 2, 1), 3);
    int x0 = (w - 6 - 2 * g) / 2;
    for (int x : {x0, x0 + g + 2, x0 + 2 * g + 4}) {
        RECT dot{x, 1, x + 2, 3};
        FillRect(dc.Get(), &dot, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    return bmp;
}

void TCustomComboEdit::RecreateGlyph() {
    switch (glyphKind_) {
        case TGlyphKind::gkDefault: {
            bool freeIt = false;
            HBITMAP bmp = GetDefaultBitmap(freeIt);
            button_->SetGlyph(bmp);
            button_->SetNumGlyphs(defNumGlyphs_);
            if (freeIt && bmp != nullptr) DeleteObject(bmp);
            break;
        }
        case TGlyphKind::gkDropDown: {
            TOwnedBitmap arrow = LoadResBitmap(nullptr, kObmCombo);
            button_->SetGlyph(arrow.Get());
            button_->SetNumGlyphs(1);
            break;
        }
        case TGlyphKind::gkEllipsis: {
            TOwnedBitmap dots = EllipsisGlyph(ButtonWidth());
            button_->SetGlyph(dots.Get());
            button_->SetNumGlyphs(1);
            break;
        }
        case TGlyphKind::gkCustom: break;
    }
}

void TCustomComboEdit::SetGlyphKind(TGlyphKind Value) {
    if (glyphKind_ == Value) return;
    glyphKind_ = Value;
    if (Value == TGlyphKind::gkCustom && HasState(csReading)) button_->SetGlyph(nullptr);
    RecreateGlyph();
    if (Value == TGlyphKind::gkDefault && button_->Glyph() != nullptr) {
        SIZE s = BitmapSize(button_->Glyph());
        SetButtonWidth(std::max(static_cast<int>(s.cx) / button_->NumGlyphs() + 6, ButtonWidth()));
    } else if (Value == TGlyphKind::gkDropDown) {
        SetButtonWidth(GetSystemMetrics(SM_CXVSCROLL));
        button_->SetControlStyle(button_->ControlStyle() | csFixedWidth);
    }
}

void TCustomComboEdit::SetGlyph(HBITMAP Value) {
    button_->SetGlyph(Value);
    glyphKind_ = TGlyphKind::gkCustom;
}

void TCustomComboEdit::SetNumGlyphs(int Value) {
    if (glyphKind_ == TGlyphKind::gkDropDown || glyphKind_ == TGlyphKind::gkEllipsis)
        Value = 1;
    else if (glyphKind_ == TGlyphKind::gkDefault)
        Value = defNumGlyphs_;
    button_->SetNumGlyphs(Value);
}

void TCustomComboEdit::SetButtonWidth(int Value) {
    panel_->SetVisible(Value >= 2);
    if (creating_) {
        panel_->SetWidth(Value);
        button_->SetWidth(Value);
        return;
    }
    if (Value == ButtonWidth() || Value >= ClientWidth()) return;
    button_->SetControlStyle(button_->ControlStyle() & ~static_cast<std::uint32_t>(csFixedWidth));
    button_->SetWidth(Value);
    panel_->SetWidth(Value);
    if (HandleAllocated()) RecreateWnd();
    RecreateGlyph();
}

bool TCustomComboEdit::ButtonWidthStored() const {
    int natural = kDefaultButtonWidth;
    if (glyphKind_ == TGlyphKind::gkDropDown) {
        natural = GetSystemMetrics(SM_CXVSCROLL);
    } else if (glyphKind_ == TGlyphKind::gkDefault && button_->Glyph() != nullptr) {
        SIZE s = BitmapSize(button_->Glyph());
        natural = std::max(static_cast<int>(s.cx) / button_->NumGlyphs() + 6, kDefaultButtonWidth);
    }
    return button_->Width() != natural;
}

void TCustomComboEdit::CreateParams(TCreateParams& Params) {
    TCustomMaskEdit::CreateParams(Params);
    static const DWORD align[] = {ES_LEFT, ES_RIGHT, ES_CENTER};
    // Multi-line so that EM_SETRECT keeps the text clear of the button.
    Params.Style |= ES_MULTILINE | WS_CLIPCHILDREN | align[static_cast<int>(alignment_)];
    Params.Style &= ~static_cast<DWORD>(ES_AUTOVSCROLL | WS_VSCROLL);
}

void TCustomComboEdit::CreateWnd() {
    TCustomMaskEdit::CreateWnd();
    UpdateLayout();
}

void TCustomComboEdit::UpdateLayout() {
    if (!HandleAllocated()) return;
    int bw = panel_->Visible() ? panel_->Width() : 0;
    int cw = ClientWidth(), ch = ClientHeight();
    // The client area lies inside the edit's border: the panel fills its right end.
    if (panel_->Visible()) panel_->SetBounds(cw - bw, 0, bw, ch);
    button_->SetBounds(0, 0, bw, ch);
    RECT r{0, 0, std::max(0, cw - bw - 2), ch + 1};
    SendMessageA(WindowHandle(), EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&r));
}

void TCustomComboEdit::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (!creating_ && !HasState(csLoading)) {
        int minHeight = std::min(FontHeight(static_cast<HFONT>(GetStockObject(SYSTEM_FONT))), FontHeight(Font()->Handle())) +
                        GetSystemMetrics(SM_CYBORDER) * 4 + 1;
        if (AHeight < minHeight) AHeight = minHeight;
    }
    TCustomMaskEdit::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (panel_ != nullptr) UpdateLayout();
}

void TCustomComboEdit::ButtonClick() {
    if (GetReadOnly() && !alwaysEnable_) return;
    if (OnButtonClick) OnButtonClick(this);
    if (popup_ == nullptr) return;
    if (popupVisible_)
        PopupCloseUp(true);
    else
        PopupDropDown(true);
}

void TCustomComboEdit::ShowPopup(POINT Origin) { popup_->ShowAt(Origin.x, Origin.y); }

void TCustomComboEdit::HidePopup() { popup_->HidePopup(); }

void TCustomComboEdit::SetPopupValue(const TPopupValue& Value) { popup_->SetValue(Value); }

TPopupValue TCustomComboEdit::GetPopupValue() { return popup_->GetValue(); }

bool TCustomComboEdit::AcceptPopup(const TPopupValue& Value) {
    (void)Value;
    return true;
}

void TCustomComboEdit::AcceptValue(const TPopupValue& Value) {
    std::string text = TextOf(Value);
    if (text == Text()) return;
    SetText(text);  // while the pop-up is up this goes to PopupChange
    SetModified(true);
    TCustomMaskEdit::Change();  // the one OnChange of an accepted value
}

void TCustomComboEdit::PopupDropDown(bool DisableEdit) {
    if (popup_ == nullptr || GetReadOnly() || popupVisible_) return;
    RECT wr{};
    GetWindowRect(Handle(), &wr);
    POINT origin{wr.left, wr.top};
    int pw = popup_->Width(), ph = popup_->Height();
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    int y = origin.y + Height();
    if (y + ph > sh) y = origin.y - ph;
    int x;
    if (popupAlign_ == TPopupAlign::epaRight) {
        x = origin.x - (pw - Width());
        if (x < 0) x = origin.x;
    } else {
        x = origin.x;
        if (x + pw > sw) x -= pw - Width();
    }
    if (x < 0) x = 0;
    if (x + pw > sw) x = sw - pw;
    std::string text = Text();
    SetPopupValue(text.empty() ? TPopupValue() : TPopupValue(text));
    if (CanFocus()) SetFocus();
    ShowPopup(POINT{x, y});
    popupVisible_ = true;
    if (DisableEdit) {
        TCustomMaskEdit::SetReadOnly(true);
        HideCaret(Handle());
    }
}

void TCustomComboEdit::MakeCaret() {
    int h = std::min(FontHeight(static_cast<HFONT>(GetStockObject(SYSTEM_FONT))), FontHeight(Font()->Handle()));
    int w = Font()->Style().Contains(fsBold) ? 2 : 1;
    CreateCaret(Handle(), nullptr, w, h);
    ShowCaret(Handle());
}

void TCustomComboEdit::PopupCloseUp(bool Accept) {
    if (popup_ == nullptr || !popupVisible_) return;
    try {
        if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
        TPopupValue value = GetPopupValue();
        HidePopup();
        if (CanFocus()) SetFocus();
        if (Focused()) MakeCaret();
        UpdateReadOnly();
        Invalidate();
        if (Accept && AcceptPopup(value) && !readOnly_) {
            AcceptValue(value);
            if (Focused()) SelectAll();
        }
    } catch (...) {
        popupVisible_ = false;
        throw;
    }
    popupVisible_ = false;
}

void TCustomComboEdit::Change() {
    if (popupVisible_)
        PopupChange();
    else
        TCustomMaskEdit::Change();
}

void TCustomComboEdit::KeyDown(WORD& Key, TShiftState Shift) {
    if (Key != 0 && ShortCut(Key, Shift) == clickKey_ && ButtonWidth() > 0) {
        ButtonClick();
        Key = 0;
        return;
    }
    TCustomMaskEdit::KeyDown(Key, Shift);
}

void TCustomComboEdit::KeyPress(char& Key) {
    if (Key == '\t' || Key == '\n') {
        // The edit is multi-line only for its text rectangle: a tab (Tab moves the focus on) or a
        // line break (Ctrl+Enter) never becomes part of its one-line value.
        Key = 0;
        return;
    }
    if (Key == '\r' || Key == 27) {
        if (popupVisible_) {
            PopupCloseUp(Key == '\r');
            Key = 0;
            return;
        }
        // Default and cancel buttons of the form still work.
        if (TCustomForm* form = GetParentForm(this)) {
            WORD k = Key == '\r' ? VK_RETURN : VK_ESCAPE;
            form->Perform(CM_DIALOGKEY, k, 0);
        }
        if (Key == '\r') {
            Key = 0;
            return;
        }
    }
    TCustomMaskEdit::KeyPress(Key);
}

void TCustomComboEdit::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETDLGCODE:
            // A single-line edit in all but name: Tab and Enter belong to the form.
            Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
            return;
        case WM_PASTE:
            // A mask types the pasted text itself; without one, only its first line is taken.
            if (IsMasked()) break;
            if (HandleAllocated()) PasteOneLine(WindowHandle());
            return;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (popup_ != nullptr) {
                if (!Focused() && CanFocus()) SetFocus();
                if (!Focused()) return;
                if (popupVisible_) PopupCloseUp(false);
            }
            mousePress_ = true;
            TCustomMaskEdit::Dispatch(Message);
            mousePress_ = false;
            return;
        case WM_SETFOCUS:
            TCustomMaskEdit::Dispatch(Message);
            if (autoSelect_ && !mousePress_ && directInput_) SelectAll();
            return;
        case WM_KILLFOCUS:
            TCustomMaskEdit::Dispatch(Message);
            PopupCloseUp(false);
            return;
        case CM_CANCELMODE: {
            auto* from = reinterpret_cast<TControl*>(Message.LParam);
            bool ours = from == this || from == button_ || from == panel_ ||
                        (popup_ != nullptr && (from == popup_ || (from != nullptr && from->Parent() != nullptr &&
                                                                  popup_->ContainsControl(from))));
            if (!ours) PopupCloseUp(false);
            TCustomMaskEdit::Dispatch(Message);
            return;
        }
        case WM_SIZE:
            TCustomMaskEdit::Dispatch(Message);
            UpdateLayout();
            return;
        case CM_TEXTCHANGED:
            TCustomMaskEdit::Dispatch(Message);
            // A multi-line edit does not report text set from code (no EN_CHANGE for WM_SETTEXT).
            if (HandleAllocated()) Change();
            return;
        default:
            break;
    }
    TCustomMaskEdit::Dispatch(Message);
}

}  // namespace widgets::kit
