#include "widgets/kit/kit_spin_edit.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwchar>

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "classlib/format.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

int TextHeight(HFONT Font) {
    TWindowDC screen(nullptr);
    TSelectedObject sel(screen.Get(), Font);
    TEXTMETRICA tm{};
    GetTextMetricsA(screen.Get(), &tm);
    return tm.tmHeight;
}

// Rounds to nearest, halves to even (the default rounding mode).
double RoundEven(double Value) { return std::nearbyint(Value); }

}  // namespace

TKitSpinEdit::TKitSpinEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
    SetControlStyle(ControlStyle() & ~static_cast<std::uint32_t>(csSetCaption));
    SetText("0");
    RecreateButton();
}

TKitSpinEdit::~TKitSpinEdit() = default;

bool TKitSpinEdit::TextValue(double& Value) {
    std::wstring text = AnsiToWide(Text());
    switch (valueType_) {
        case TValueType::vtFloat:
            return TryStrToFloat(text, Value);
        case TValueType::vtHex:
            text = L"$" + text;
            [[fallthrough]];
        case TValueType::vtInteger: {
            std::int32_t v = 0;
            if (TryStrToInt(text, v)) {
                Value = v;
                return true;
            }
            // A whole number past what an integer holds ("99999999999" typed into an hour) is a
            // number all the same: the limits bring it in, as they do 75 in a minute.
            const size_t digits = !text.empty() && (text[0] == L'+' || text[0] == L'-') ? 1 : 0;
            if (valueType_ != TValueType::vtInteger || digits >= text.size() ||
                text.find_first_not_of(L"0123456789", digits) != std::wstring::npos)
                return false;
            // However many digits, it stays a finite number that a text can be written from.
            Value = std::clamp(std::wcstod(text.c_str(), nullptr), -1e15, 1e15);
            return true;
        }
    }
    return false;
}

double TKitSpinEdit::RawValue() {
    double v = 0;
    if (TextValue(v)) return v;
    return valueType_ == TValueType::vtFloat ? minValue_ : std::trunc(minValue_);
}

bool TKitSpinEdit::CheckText() {
    double v = 0;
    if (TextValue(v) && CheckValue(v) == v) {
        lastInRange_ = v;
        return true;
    }
    SetValue(lastInRange_);
    MessageBeep(0);
    return false;
}

double TKitSpinEdit::CheckValue(double NewValue) const {
    if (minValue_ == maxValue_) return NewValue;
    return std::clamp(NewValue, std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
}

double TKitSpinEdit::Value() { return CheckValue(RawValue()); }

int TKitSpinEdit::AsInteger() {
    // Without limits a long number stays as typed: it reads as the nearest integer there is.
    const double v = std::trunc(Value());
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

std::string TKitSpinEdit::TextOf(double NewValue) const {
    switch (valueType_) {
        case TValueType::vtFloat:
            return WideToAnsi(Format(L"%.*f", {decimal_, NewValue}));
        case TValueType::vtHex: {
            auto n = static_cast<std::int64_t>(RoundEven(NewValue));
            return WideToAnsi(IntToHex(static_cast<std::uint32_t>(n), 1));
        }
        case TValueType::vtInteger:
            break;
    }
    return WideToAnsi(IntToStr(static_cast<std::int64_t>(RoundEven(NewValue))));
}

void TKitSpinEdit::SetValue(double NewValue) { SetText(TextOf(CheckValue(NewValue))); }

void TKitSpinEdit::SetIncrement(double Value) {
    if (valueType_ != TValueType::vtFloat) {
        Value = RoundEven(Value);
        if (Value == 0) Value = 1;
    }
    increment_ = Value;
}

void TKitSpinEdit::SetValueType(TValueType Value) {
    if (valueType_ == Value) return;
    double v = this->Value();
    valueType_ = Value;
    SetValue(v);
    SetIncrement(increment_);
}

void TKitSpinEdit::SetDecimal(int Value) {
    if (decimal_ == Value) return;
    double v = this->Value();
    decimal_ = std::clamp(Value, 0, 255);
    SetValue(v);
}

void TKitSpinEdit::Change() {
    double typed = 0;
    if (TextValue(typed) && CheckValue(typed) == typed) lastInRange_ = typed;
    if (changing_) return;
    // Typing "7" then "5" into 0..59 reports 7, then 59; a text with the same value reports nothing.
    double v = Value();
    if (v == lastValue_) return;
    lastValue_ = v;
    TCustomEdit::Change();
}

void TKitSpinEdit::Step(double Delta, const TNotifyEvent& After) {
    if (ReadOnly()) {
        MessageBeep(0);
        return;
    }
    changing_ = true;
    try {
        SetValue(Value() + Delta);
    } catch (...) {
        changing_ = false;
        throw;
    }
    changing_ = false;
    double v = Value();
    if (v != lastValue_) {
        lastValue_ = v;
        if (HandleAllocated()) SendMessageA(WindowHandle(), EM_SETMODIFY, TRUE, 0);
        TCustomEdit::Change();
    }
    if (After) After(this);
}

void TKitSpinEdit::UpClick(TObject*) { Step(increment_, OnTopClick); }

void TKitSpinEdit::DownClick(TObject*) { Step(-increment_, OnBottomClick); }

bool TKitSpinEdit::IsValidChar(char Key) {
    auto c = static_cast<unsigned char>(Key);
    // A Tab or a line break (Ctrl+Enter) would become part of the text of this multi-line edit.
    if (Key == '\t' || Key == '\n') return false;
    if (c < 32) return editorEnabled_ || c != VK_BACK;
    if (!editorEnabled_) return false;
    if (Key == '+' || Key == '-' || (Key >= '0' && Key <= '9')) return true;
    std::string text = Text();
    if (valueType_ == TValueType::vtFloat) {
        char sep = static_cast<char>(FormatSettings().DecimalSeparator);
        if (Key == sep) return text.find(sep) == std::string::npos;
        if (Key == 'E' || Key == 'e') return text.find_first_of("Ee") == std::string::npos;
    }
    if (valueType_ == TValueType::vtHex) return (Key >= 'A' && Key <= 'F') || (Key >= 'a' && Key <= 'f');
    return false;
}

void TKitSpinEdit::KeyDown(WORD& Key, TShiftState Shift) {
    if (arrowKeys_ && (Key == VK_UP || Key == VK_DOWN) && (Shift & (ssShift | ssAlt | ssCtrl)) == 0) {
        if (Key == VK_UP)
            UpClick(this);
        else
            DownClick(this);
        Key = 0;
        return;
    }
    if (Key == VK_DELETE && !editorEnabled_) {
        Key = 0;
        return;
    }
    TCustomEdit::KeyDown(Key, Shift);
}

void TKitSpinEdit::KeyPress(char& Key) {
    if (Key == '\t') {
        // The Tab key moves the focus on (the application's rule): a stray tab character is no
        // mistake to beep at.
        Key = 0;
        return;
    }
    if (!IsValidChar(Key)) {
        Key = 0;
        MessageBeep(0);
        return;
    }
    if (Key == '\r' || Key == 27) {
        // Default and cancel buttons of the form still work.
        if (TCustomForm* form = GetParentForm(this)) form->Perform(CM_DIALOGKEY, Key == '\r' ? VK_RETURN : VK_ESCAPE, 0);
        if (Key == '\r') {
            Key = 0;
            return;
        }
    }
    TCustomEdit::KeyPress(Key);
}

void TKitSpinEdit::DoExit() {
    double raw = RawValue();
    if (CheckValue(raw) != raw) SetValue(raw);
    TCustomEdit::DoExit();
}

// ---- Button and layout -----------------------------------------------------------------------

void TKitSpinEdit::SetButtonKind(TSpinButtonKind Value) {
    if (buttonKind_ == Value) return;
    buttonKind_ = Value;
    RecreateButton();
}

void TKitSpinEdit::RecreateButton() {
    TSpinButtonKind kind = NewStyleShell() ? buttonKind_ : TSpinButtonKind::bkDiagonal;
    if ((kind == TSpinButtonKind::bkDiagonal) == (spin_ != nullptr) && (spin_ != nullptr || upDown_ != nullptr)) return;
    delete panel_;  // with the diagonal button inside it
    panel_ = nullptr;
    spin_ = nullptr;
    delete upDown_;
    upDown_ = nullptr;
    if (kind == TSpinButtonKind::bkDiagonal) {
        panel_ = new TWinControl(this);
        panel_->SetParent(this);
        spin_ = new TKitSpinButton(this);
        spin_->SetParent(panel_);
        spin_->SetFocusControl(this);
        spin_->OnTopClick = [this](TObject* Sender) { UpClick(Sender); };
        spin_->OnBottomClick = [this](TObject* Sender) { DownClick(Sender); };
        spin_->SetEnabled(Enabled());
    } else {
        upDown_ = new TKitUpDown(this);
        upDown_->SetParent(this);
        auto focusFirst = [this] {
            if (TabStop() && CanFocus() && !Focused()) SetFocus();
        };
        upDown_->OnTopClick = [this, focusFirst](TObject* Sender) { focusFirst(); UpClick(Sender); };
        upDown_->OnBottomClick = [this, focusFirst](TObject* Sender) { focusFirst(); DownClick(Sender); };
        upDown_->SetEnabled(Enabled());
    }
    ResizeButton();
    SetEditRect();
}

int TKitSpinEdit::ButtonWidth() const {
    if (panel_ != nullptr) return panel_->Width();
    return upDown_ != nullptr ? upDown_->Width() : 0;
}

void TKitSpinEdit::ResizeButton() {
    bool rtl = UseRightToLeftAlignment();
    if (panel_ != nullptr) {
        int w = Width(), h = Height();
        int left, top, size;
        if (NewStyleShell() && Ctl3D()) {
            left = w - h - 1;
            top = -1;
            size = h - 3;
        } else {
            left = w - h;
            top = 0;
            size = h;
        }
        if (rtl) left = left < w - h ? -1 : 0;
        size = std::max(size, 1);
        panel_->SetBounds(left, top, size, size);
        spin_->SetBounds(0, 0, size, size);
    } else if (upDown_ != nullptr) {
        int cw = ClientWidth(), ch = ClientHeight();
        upDown_->SetBounds(rtl ? 0 : cw - upDown_->Width(), 0, upDown_->Width(), ch);
    }
}

void TKitSpinEdit::SetEditRect() {
    if (!HandleAllocated()) return;
    // The text rectangle already keeps clear of the button: the font's default margins on top of
    // it leave too little room for two digits in a narrow edit (they scroll out of sight).
    SendMessageA(WindowHandle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(1, 0));
    int cw = ClientWidth(), ch = ClientHeight(), bw = ButtonWidth();
    RECT r = UseRightToLeftAlignment() ? RECT{bw + 1, 0, cw - 1, ch + 1} : RECT{0, 0, std::max(0, cw - bw - 2), ch + 1};
    SendMessageA(WindowHandle(), EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&r));
}

void TKitSpinEdit::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TKitSpinEdit::CreateParams(TCreateParams& Params) {
    TCustomEdit::CreateParams(Params);
    static const DWORD align[] = {ES_LEFT, ES_RIGHT, ES_CENTER};
    TAlignment a = alignment_;
    if (UseRightToLeftAlignment() && a != TAlignment::taCenter)
        a = a == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
    // Multi-line so that EM_SETRECT keeps the text clear of the button.
    Params.Style |= ES_MULTILINE | WS_CLIPCHILDREN | align[static_cast<int>(a)];
    Params.Style &= ~static_cast<DWORD>(ES_AUTOVSCROLL | WS_VSCROLL);
}

void TKitSpinEdit::CreateWnd() {
    TCustomEdit::CreateWnd();
    ResizeButton();
    SetEditRect();
}

void TKitSpinEdit::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (!HasState(csLoading)) {
        int minHeight = TextHeight(Font()->Handle()) + GetSystemMetrics(SM_CYBORDER) * 4 + 1;
        AHeight = std::max(AHeight, minHeight);
    }
    TCustomEdit::SetBounds(ALeft, ATop, AWidth, AHeight);
    ResizeButton();
    SetEditRect();
}

void TKitSpinEdit::SetEnabled(bool Value) {
    TCustomEdit::SetEnabled(Value);
    if (spin_ != nullptr) spin_->SetEnabled(Value);
    if (upDown_ != nullptr) upDown_->SetEnabled(Value);
}

void TKitSpinEdit::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETDLGCODE:
            // A single-line edit in all but name: Tab and Enter belong to the form.
            Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
            return;
        case WM_PASTE:
            // One line of the clipboard: a line break would make the number two lines.
            if (editorEnabled_ && HandleAllocated()) PasteOneLine(WindowHandle());
            return;
        case WM_CUT:
        case WM_CLEAR:
            if (!editorEnabled_) return;
            break;
        case WM_SETTEXT:
            // A multi-line edit does not report text set from code: the value may have changed.
            TCustomEdit::Dispatch(Message);
            if (!Creating()) Change();
            return;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            mousePress_ = true;
            TCustomEdit::Dispatch(Message);
            mousePress_ = false;
            return;
        case WM_SETFOCUS:
            TCustomEdit::Dispatch(Message);
            if (autoSelect_ && !mousePress_) SelectAll();
            return;
        case WM_SIZE:
        case CM_FONTCHANGED:
        case CM_CTL3DCHANGED:
        case CM_BIDIMODECHANGED:
            TCustomEdit::Dispatch(Message);
            ResizeButton();
            SetEditRect();
            return;
        default:
            break;
    }
    TCustomEdit::Dispatch(Message);
}

}  // namespace widgets::kit
