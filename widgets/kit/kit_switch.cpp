#include "widgets/kit/kit_switch.h"

#include "classlib/filer.h"
#include "classlib/std_text.h"
#include "classlib/streams.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

const wchar_t* const kDefaultGlyph[2] = {L"SWITCH_OFF", L"SWITCH_ON"};

}  // namespace

TKitSwitch::TKitSwitch(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(csCaptureMouse | csSetCaption | csOpaque | csDoubleClicks);
    SetBounds(Left(), Top(), 50, 60);
    SetTabStop(true);
    LoadDefault(0);
    LoadDefault(1);
}

TKitSwitch::~TKitSwitch() = default;

void TKitSwitch::LoadDefault(int Index) {
    glyphs_[Index] = LoadResBitmap(GetModuleHandleW(nullptr), kDefaultGlyph[Index]);
    customGlyphs_ &= static_cast<std::uint8_t>(~(1u << Index));
}

void TKitSwitch::SetGlyph(int Index, HBITMAP Value) {
    Index &= 1;
    if (Value != nullptr) {
        glyphs_[Index] = CopyBitmap(Value);
        customGlyphs_ |= static_cast<std::uint8_t>(1u << Index);
    } else {
        LoadDefault(Index);
    }
    disabled_[Index].Reset();
    Invalidate();
}

void TKitSwitch::SetStateOn(bool Value) {
    if (stateOn_ == Value) return;
    stateOn_ = Value;
    Invalidate();
    if (Value)
        DoOn();
    else
        DoOff();
}

void TKitSwitch::DoOn() {
    if (OnOn) OnOn(this);
}

void TKitSwitch::DoOff() {
    if (OnOff) OnOff(this);
}

void TKitSwitch::SetTextPosition(TTextPos Value) {
    if (textPosition_ == Value) return;
    textPosition_ = Value;
    Invalidate();
}

void TKitSwitch::SetBorderStyle(TBorderStyle Value) {
    if (borderStyle_ == Value) return;
    borderStyle_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TKitSwitch::SetShowFocus(bool Value) {
    if (showFocus_ == Value) return;
    showFocus_ = Value;
    if (!HasState(csDesigning)) Invalidate();
}

void TKitSwitch::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.WindowClass.style |= CS_HREDRAW | CS_VREDRAW;
    if (borderStyle_ == TBorderStyle::bsSingle) Params.Style |= WS_BORDER;
}

HBITMAP TKitSwitch::PictureToShow() {
    int i = stateOn_ ? 1 : 0;
    if (Enabled()) return glyphs_[i].Get();
    if (!disabled_[i] && glyphs_[i]) disabled_[i] = MakeDisabledBitmapStd(glyphs_[i].Get(), clBlack);
    return disabled_[i] ? disabled_[i].Get() : glyphs_[i].Get();
}

void TKitSwitch::Paint() {
    TCanvas* c = Canvas();
    RECT client = ClientRect();
    c->Brush()->SetColor(Color());
    c->FillRect(client);
    c->SetFont(Font());
    HBITMAP picture = PictureToShow();
    SIZE size = BitmapSize(picture);
    int w = size.cx, h = size.cy;
    RECT text = client;
    int cw = client.right - client.left, ch = client.bottom - client.top;
    POINT at{(cw - w) / 2, (ch - h) / 2};
    switch (textPosition_) {
        case TTextPos::tpNone: break;
        case TTextPos::tpLeft:
            at.x = cw - w;
            text.right -= w;
            break;
        case TTextPos::tpRight:
            at.x = 0;
            text.left += w;
            break;
        case TTextPos::tpAbove:
            at.y = ch - h;
            text.bottom -= h;
            break;
        case TTextPos::tpBelow:
            at.y = 0;
            text.top += h;
            break;
    }
    if (picture != nullptr) {
        // The picture's own background takes the control's colour.
        TOwnedBitmap shown(CreateCompatibleBitmap(c->Handle(), w, h));
        {
            TOwnedDC dc(CreateCompatibleDC(c->Handle()));
            TSelectedObject sel(dc.Get(), shown.Get());
            RECT all{0, 0, w, h};
            TOwnedBrush back(CreateSolidBrush(ColorToRGB(Color())));
            FillRect(dc.Get(), &all, back.Get());
            TCanvas tmp;
            tmp.SetHandle(dc.Get());
            PaintBitmapTransparent(&tmp, 0, 0, picture, clDefault);
            tmp.SetHandle(nullptr);
        }
        c->Draw(at.x, at.y, shown.Get());
    }
    if (focused_ && showFocus_ && TabStop() && !HasState(csDesigning)) {
        RECT f{at.x, at.y, at.x + w, at.y + h};
        InflateRect(&f, 1, 1);
        c->DrawFocusRect(f);
    }
    if (textPosition_ != TTextPos::tpNone) {
        int lh = c->TextHeight("W");
        int top = text.top + ((text.bottom - text.top) - lh) / 2;
        RECT line{text.left, top, text.right, top + lh};
        TTextDC dc(c->Handle(), Font()->Handle(), ColorToRGB(Font()->Color()));
        DrawTextAnsi(dc.Get(), Caption(), line, DrawTextBiDiModeFlags(DT_CENTER | DT_EXPANDTABS | DT_SINGLELINE));
    }
}

void TKitSwitch::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == TMouseButton::mbLeft) {
        if (TabStop() && CanFocus()) SetFocus();
        Toggle();
        pressToggled_ = true;
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TKitSwitch::KeyDown(WORD& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    if (Key != 0 && ShortCut(Key, Shift) == toggleKey_) {
        Toggle();
        Key = 0;
        // Whoever reads StateOn in OnClick learns of every toggle, by key as by mouse.
        Click();
    }
}

void TKitSwitch::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_LBUTTONUP: {
            bool toggled = pressToggled_;
            pressToggled_ = false;
            TCustomControl::Dispatch(Message);
            // The press toggled: the release clicks even outside the switch, so that a handler
            // reading StateOn never misses a change.
            if (toggled) Click();
            return;
        }
        case CM_DIALOGCHAR:
            if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
                SetFocus();
                Message.Result = 1;
                return;
            }
            TCustomControl::Dispatch(Message);
            return;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: {
            TCustomControl::Dispatch(Message);
            bool now = Message.Msg == WM_SETFOCUS;
            if (now != focused_) {
                focused_ = now;
                if (showFocus_) Invalidate();
            }
            return;
        }
        case CM_ENABLEDCHANGED:
        case CM_TEXTCHANGED:
            TCustomControl::Dispatch(Message);
            Invalidate();
            return;
        default:
            TCustomControl::Dispatch(Message);
    }
}

void TKitSwitch::DefineProperties(TFiler* Filer) {
    TCustomControl::DefineProperties(Filer);
    auto* ancestor = dynamic_cast<TKitSwitch*>(Filer->Ancestor());
    bool hasData = ancestor != nullptr ? ancestor->customGlyphs_ != customGlyphs_ : customGlyphs_ != 0;
    Filer->DefineBinaryProperty(
        L"Data",
        [this](TStream* s) {
            std::uint8_t flags = 0;
            if (s->Size() >= 1) s->ReadBuffer(&flags, 1);
            customGlyphs_ = flags & 3;
        },
        [this](TStream* s) { s->WriteBuffer(&customGlyphs_, 1); }, hasData);
    for (int i = 0; i < 2; ++i) {
        Filer->DefineBinaryProperty(
            i == 0 ? L"GlyphOff" : L"GlyphOn",
            [this, i](TStream* s) {
                std::vector<std::uint8_t> bytes(static_cast<size_t>(s->Size()));
                if (!bytes.empty()) s->ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
                TOwnedBitmap bmp = BitmapFromBmpBytes(bytes.data(), bytes.size());
                SetGlyph(i, bmp.Get());  // a picture read from a stream stays the user's
            },
            [this, i](TStream* s) {
                std::vector<std::uint8_t> bytes = BitmapToBmpBytes(glyphs_[i].Get());
                s->WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
            },
            CustomGlyph(i));
    }
}

}  // namespace widgets::kit
