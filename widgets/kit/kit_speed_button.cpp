#include "widgets/kit/kit_speed_button.h"

#include <windowsx.h>

#include <atomic>

#include "classlib/actions.h"
#include "classlib/gdi_handles.h"
#include "classlib/win_control.h"
#include "widgets/kit/kit_label.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

std::atomic<int> gButtonCount{0};

// One 1-pixel frame: top and left in TopLeft, bottom and right in BottomRight; Rect moves in.
void Frame3D(HDC DC, RECT& Rect, TColor TopLeft, TColor BottomRight) {
    TOwnedPen tl(CreatePen(PS_SOLID, 1, ColorToRGB(TopLeft)));
    TOwnedPen br(CreatePen(PS_SOLID, 1, ColorToRGB(BottomRight)));
    int l = Rect.left, t = Rect.top, r = Rect.right - 1, b = Rect.bottom - 1;
    {
        TSelectedObject sel(DC, tl.Get());
        MoveToEx(DC, l, b, nullptr);
        LineTo(DC, l, t);
        LineTo(DC, r, t);
    }
    {
        TSelectedObject sel(DC, br.Get());
        MoveToEx(DC, r, t, nullptr);
        LineTo(DC, r, b);
        LineTo(DC, l - 1, b);
    }
    InflateRect(&Rect, -1, -1);
}

// The face and highlight checkerboard of an exclusive (held down) button.
TOwnedBrush ExclusiveBrush() {
    TWindowDC screen(nullptr);
    TOwnedBitmap bmp(CreateCompatibleBitmap(screen.Get(), 8, 8));
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    {
        TSelectedObject sel(dc.Get(), bmp.Get());
        COLORREF face = ColorToRGB(clBtnFace), light = ColorToRGB(clBtnHighlight);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) SetPixel(dc.Get(), x, y, (x + y) % 2 == 0 ? face : light);
    }
    return TOwnedBrush(CreatePatternBrush(bmp.Get()));
}

}  // namespace

void DrawSpeedButtonFrame(HDC DC, RECT& Client, bool IsDown, bool IsFlat, TButtonStyle Style) {
    bool isNew = Style == TButtonStyle::bsNew || (Style == TButtonStyle::bsAutoDetect && NewStyleShell());
    if (!IsDown) {
        if (isNew && !IsFlat) {
            Frame3D(DC, Client, clBtnHighlight, clWindowFrame);
            Frame3D(DC, Client, clBtnFace, clBtnShadow);
        } else if (isNew) {
            Frame3D(DC, Client, clBtnHighlight, clBtnShadow);
        } else if (!IsFlat) {
            Frame3D(DC, Client, clWindowFrame, clWindowFrame);
            Frame3D(DC, Client, clBtnHighlight, clBtnShadow);
        } else {
            Frame3D(DC, Client, clBtnHighlight, clWindowFrame);
        }
    } else {
        if (isNew && !IsFlat) {
            Frame3D(DC, Client, clWindowFrame, clBtnHighlight);
            Frame3D(DC, Client, clBtnShadow, clBtnFace);
        } else if (!isNew && !IsFlat) {
            Frame3D(DC, Client, clWindowFrame, clWindowFrame);
            TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnShadow)));
            TSelectedObject sel(DC, pen.Get());
            MoveToEx(DC, Client.left, Client.bottom - 1, nullptr);
            LineTo(DC, Client.left, Client.top);
            LineTo(DC, Client.right, Client.top);
        } else {
            Frame3D(DC, Client, clWindowFrame, clBtnHighlight);
        }
    }
    InflateRect(&Client, -1, -1);
}

TKitSpeedButton::TKitSpeedButton(TComponent* AOwner)
    : TGraphicControl(AOwner), glyph_(std::make_unique<TKitButtonGlyph>()) {
    // No click events from the base: the button decides itself when a release is a click.
    SetControlStyle(csCaptureMouse | csOpaque | csDoubleClicks | csReplicatable);
    SetBounds(Left(), Top(), 25, 25);
    SetParentFont(true);
    SetShowHint(true);
    SetParentShowHint(false);
    ++gButtonCount;
}

TKitSpeedButton::~TKitSpeedButton() {
    repeatTimer_.reset();
    --gButtonCount;
}

int TKitSpeedButton::ButtonCount() { return gButtonCount; }

bool TKitSpeedButton::NewStyle() const {
    return style_ == TButtonStyle::bsNew || (style_ == TButtonStyle::bsAutoDetect && NewStyleShell());
}

void TKitSpeedButton::UpdateExclusive() {
    if (Parent() == nullptr) return;
    TMessage m{CM_KITBUTTONPRESSED, static_cast<WPARAM>(groupIndex_), reinterpret_cast<LPARAM>(this), 0};
    Parent()->Broadcast(m);
}

void TKitSpeedButton::SetGroupIndex(int Value) {
    if (groupIndex_ == Value) return;
    groupIndex_ = Value;
    UpdateExclusive();
}

void TKitSpeedButton::SetDown(bool Value) {
    if (groupIndex_ == 0) Value = false;
    if (Value == down_) return;
    if (down_ && !allowAllUp_) return;
    down_ = Value;
    if (Value) {
        if (state_ == TKitButtonState::bsUp) Invalidate();
        state_ = TKitButtonState::bsExclusive;
    } else {
        state_ = TKitButtonState::bsUp;
    }
    Repaint();
    if (Value) UpdateExclusive();
}

void TKitSpeedButton::SetAllowAllUp(bool Value) {
    if (allowAllUp_ == Value) return;
    allowAllUp_ = Value;
    UpdateExclusive();
}

void TKitSpeedButton::SetStyle(TButtonStyle Value) {
    if (style_ == Value) return;
    style_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetFlat(bool Value) {
    if (flat_ == Value) return;
    flat_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetLayout(TButtonLayout Value) {
    if (layout_ == Value) return;
    layout_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetSpacing(int Value) {
    if (spacing_ == Value) return;
    spacing_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetMargin(int Value) {
    if (Value == margin_ || Value < -1) return;
    margin_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetTransparent(bool Value) {
    if (transparent_ == Value) return;
    transparent_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetMarkDropDown(bool Value) {
    if (markDropDown_ == Value) return;
    markDropDown_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetDropDownMenu(TPopupMenu* Value) {
    if (dropDownMenu_ == Value) return;
    dropDownMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    if (markDropDown_) Invalidate();
}

void TKitSpeedButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && dropDownMenu_ != nullptr && AComponent == dropDownMenu_) {
        dropDownMenu_ = nullptr;
        Invalidate();
    }
}

void TKitSpeedButton::SetGrayedInactive(bool Value) {
    if (grayedInactive_ == Value) return;
    grayedInactive_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetAllowTimer(bool Value) {
    allowTimer_ = Value;
    if (!Value) repeatTimer_.reset();
}

void TKitSpeedButton::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    Invalidate();
}

void TKitSpeedButton::SetGlyph(HBITMAP Value) {
    glyph_->SetGlyph(Value);
    Invalidate();
}

void TKitSpeedButton::ActionChange(TObject* Sender, bool CheckDefaults) {
    TGraphicControl::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr || glyph_->Glyph() != nullptr || action->ActionList() == nullptr) return;
    TCustomImageList* images = action->ActionList()->Images();
    int index = action->ImageIndex();
    if (images == nullptr || index < 0 || index >= images->Count()) return;
    // The image on fuchsia, which then stands for its transparent parts whatever lies at the
    // bottom-left corner.
    const COLORREF fuchsia = RGB(255, 0, 255);
    TWindowDC screen(nullptr);
    TOwnedBitmap image(CreateCompatibleBitmap(screen.Get(), images->Width(), images->Height()));
    {
        TOwnedDC dc(CreateCompatibleDC(nullptr));
        TSelectedObject selected(dc.Get(), image.Get());
        RECT all{0, 0, images->Width(), images->Height()};
        TOwnedBrush brush(CreateSolidBrush(fuchsia));
        FillRect(dc.Get(), &all, brush.Get());
        images->Draw(dc.Get(), 0, 0, index);
    }
    glyph_->SetGlyph(image.Get());
    glyph_->SetTransparentColor(fuchsia);
    Invalidate();
}

void TKitSpeedButton::SetNumGlyphs(int Value) {
    glyph_->SetNumGlyphs(Value);
    Invalidate();
}

void TKitSpeedButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
    TGraphicControl::Click();
}

TKitButtonState TKitSpeedButton::PaintState() const {
    if (flat_ && !mouseIn_ && !HasState(csDesigning)) return TKitButtonState::bsInactive;
    return state_;
}

void TKitSpeedButton::Paint() {
    if (!Enabled()) {
        state_ = TKitButtonState::bsDisabled;
        dragging_ = false;
    } else if (state_ == TKitButtonState::bsDisabled) {
        state_ = down_ && groupIndex_ != 0 ? TKitButtonState::bsExclusive : TKitButtonState::bsUp;
    }
    TKitButtonState paintState = PaintState();
    int w = Width(), h = Height();
    if (w <= 0 || h <= 0) return;
    // Drawn off-screen first, then copied in one piece: no flicker.
    HDC target = Canvas()->Handle();
    TOwnedBitmap image(CreateCompatibleBitmap(target, w, h));
    TOwnedDC mem(CreateCompatibleDC(target));
    TSelectedObject selBmp(mem.Get(), image.Get());
    RECT client{0, 0, w, h};
    {
        TOwnedBrush face(CreateSolidBrush(ColorToRGB(clBtnFace)));
        FillRect(mem.Get(), &client, face.Get());
    }
    if (transparent_) {
        TCanvas memCanvas;
        memCanvas.SetHandle(mem.Get());
        DrawParentImage(this, &memCanvas);
        memCanvas.SetHandle(nullptr);
    }
    if (paintState != TKitButtonState::bsInactive || state_ == TKitButtonState::bsExclusive) {
        bool isDown = state_ == TKitButtonState::bsDown || state_ == TKitButtonState::bsExclusive;
        DrawSpeedButtonFrame(mem.Get(), client, isDown, flat_, style_);
    } else {
        InflateRect(&client, -2, -2);
    }
    if (state_ == TKitButtonState::bsExclusive && !transparent_ && (!flat_ || paintState == TKitButtonState::bsInactive)) {
        RECT inner = client;
        InflateRect(&inner, 1, 1);
        TOwnedBrush pattern = ExclusiveBrush();
        FillRect(mem.Get(), &inner, pattern.Get());
    }
    POINT offset{0, 0};
    if (state_ == TKitButtonState::bsDown || state_ == TKitButtonState::bsExclusive) offset = POINT{1, 1};
    TKitButtonState glyphState = state_;
    if (grayedInactive_ && state_ != TKitButtonState::bsDisabled && paintState == TKitButtonState::bsInactive)
        glyphState = TKitButtonState::bsInactive;
    {
        TTextDC text(mem.Get(), Font()->Handle(), ColorToRGB(Font()->Color()));
        glyph_->Draw(mem.Get(), client, offset, Caption(), layout_, margin_, spacing_, glyphState, alignment_, wordWrap_,
                     DrawTextBiDiModeFlagsReadingOnly());
    }
    if (markDropDown_ && dropDownMenu_ != nullptr) DrawDropDownMark(mem.Get(), client);
    BitBlt(target, 0, 0, w, h, mem.Get(), 0, 0, SRCCOPY);
}

void TKitSpeedButton::DrawDropDownMark(HDC DC, const RECT& Client) {
    // A downward triangle of 7, 5, 3 and 1 pixels near the right edge, centred vertically.
    int x = Client.right - 9, y = (Client.top + Client.bottom) / 2 - 1;
    auto draw = [&](int dx, int dy, TColor colour) {
        TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(colour)));
        TSelectedObject sel(DC, pen.Get());
        for (int row = 0; row < 4; ++row) {
            MoveToEx(DC, x + dx + row, y + dy + row, nullptr);
            LineTo(DC, x + dx + 7 - row, y + dy + row);
        }
    };
    if (!Enabled()) {
        draw(1, 1, clBtnHighlight);
        draw(0, 0, clBtnShadow);
    } else {
        draw(0, 0, clBtnText);
    }
}

POINT TKitSpeedButton::DropDownPoint() {
    POINT p{0, 0};
    if (dropDownMenu_ == nullptr) return p;
    TPopupAlignment align = dropDownMenu_->Alignment();
    if (menuPosition_ == TKitDropDownMenuPos::dmpBottom) {
        switch (align) {
            case TPopupAlignment::paLeft: p = POINT{-1, Height()}; break;
            case TPopupAlignment::paRight: p = POINT{Width() + 1, Height()}; break;
            case TPopupAlignment::paCenter: p = POINT{Width() / 2, Height()}; break;
        }
    } else {
        switch (align) {
            case TPopupAlignment::paLeft: p = POINT{Width(), -1}; break;
            case TPopupAlignment::paRight: p = POINT{-1, -1}; break;
            case TPopupAlignment::paCenter: p = POINT{Width() / 2, Height()}; break;
        }
    }
    return ClientToScreen(p);
}

void TKitSpeedButton::SetMouseIn(bool Value) {
    if (ChangeMouseIn(mouseIn_, Value, this, OnMouseEnter, OnMouseLeave) && flat_) Invalidate();
}

void TKitSpeedButton::UpdateMouseIn() { SetMouseIn(Enabled() && MouseOverControl(this)); }

void TKitSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (menuTracking_) return;
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (!mouseIn_ && Enabled()) {
        ChangeMouseIn(mouseIn_, true, this, OnMouseEnter, OnMouseLeave);
        Repaint();
    }
    if (Button == TMouseButton::mbRight) UpdateMouseIn();
    if (Button != TMouseButton::mbLeft || !Enabled()) return;
    if (!down_) {
        state_ = TKitButtonState::bsDown;
        Repaint();
    }
    dragging_ = true;
    menuTracking_ = true;
    if (dropDownMenu_ != nullptr && dropDownMenu_->AutoPopup()) {
        POINT at = DropDownPoint();
        if (TCustomForm* form = GetParentForm(this)) form->Perform(CM_CANCELMODE, 0, 0);
        dropDownMenu_->SetPopupComponent(this);
        dropDownMenu_->Popup(at.x, at.y);
        // The menu took the release: the press's own release comes now, where the press was, so
        // that a grouped button toggles as for a plain click.
        Perform(WM_LBUTTONUP, 0, MAKELPARAM(X, Y));
        // A press that closed the menu on this button must not open it again.
        if (Parent() != nullptr && Parent()->HandleAllocated()) {
            MSG m;
            HWND wnd = Parent()->WindowHandle();
            if (PeekMessageW(&m, wnd, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, PM_NOREMOVE) &&
                (m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONDBLCLK)) {
                POINT q{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
                RECT r = BoundsRect();
                if (PtInRect(&r, q)) RemovePendingMessage(wnd, m.message);
            }
        }
    }
    menuTracking_ = false;
    if (allowTimer_) {
        if (!repeatTimer_) {
            repeatTimer_ = std::make_unique<TTimer>(nullptr);
            repeatTimer_->OnTimer = [this](TObject*) { RepeatTick(); };
        }
        repeatTimer_->SetEnabled(false);
        repeatTimer_->SetInterval(static_cast<UINT>(initPause_));
        repeatTimer_->SetEnabled(true);
    }
}

void TKitSpeedButton::RepeatTick() {
    repeatTimer_->SetInterval(static_cast<UINT>(repeatInterval_));
    bool captured = Parent() != nullptr && Parent()->HandleAllocated() && GetCapture() == Parent()->WindowHandle();
    if (state_ != TKitButtonState::bsDown || !captured) return;
    try {
        Click();
    } catch (...) {
        StopRepeat();
        throw;
    }
}

void TKitSpeedButton::StopRepeat() {
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
}

void TKitSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseMove(Shift, X, Y);
    if (!dragging_) return;
    TKitButtonState now;
    if (down_) {
        now = TKitButtonState::bsExclusive;
    } else {
        RECT r = ClientRect();
        POINT p{X, Y};
        now = PtInRect(&r, p) ? TKitButtonState::bsDown : TKitButtonState::bsUp;
    }
    if (now != state_) {
        state_ = now;
        Repaint();
    }
}

void TKitSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (Button == TMouseButton::mbRight) UpdateMouseIn();
    if (Button != TMouseButton::mbLeft || !dragging_) return;
    dragging_ = false;
    RECT r = ClientRect();
    POINT p{X, Y};
    bool inside = PtInRect(&r, p) != FALSE;
    if (groupIndex_ == 0) {
        state_ = TKitButtonState::bsUp;
        mouseIn_ = false;
        Repaint();
    } else if (inside) {
        SetDown(!down_);
        if (down_) Repaint();
    } else if (down_) {
        state_ = TKitButtonState::bsExclusive;
        Repaint();
    }
    StopRepeat();
    if (inside && !menuTracking_) Click();
    UpdateMouseIn();
}

void TKitSpeedButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_KITBUTTONPRESSED: {
            auto* sender = reinterpret_cast<TControl*>(Message.LParam);
            auto* button = dynamic_cast<TKitSpeedButton*>(sender);
            if (static_cast<int>(Message.WParam) == groupIndex_ && Parent() != nullptr && Parent()->HandleAllocated() &&
                button != nullptr && button != this) {
                if (button->Down() && down_) {
                    down_ = false;
                    state_ = TKitButtonState::bsUp;
                    Invalidate();
                }
                allowAllUp_ = button->AllowAllUp();
            }
            return;
        }
        case WM_LBUTTONDBLCLK:
            TGraphicControl::Dispatch(Message);
            if (down_ && !menuTracking_) DblClick();
            return;
        case CM_DIALOGCHAR:
            if (IsAccel(Message.WParam, Caption()) && Enabled() && Visible() && Parent() != nullptr && Parent()->Showing()) {
                Click();
                Message.Result = 1;
                return;
            }
            TGraphicControl::Dispatch(Message);
            return;
        case CM_ENABLEDCHANGED:
            TGraphicControl::Dispatch(Message);
            glyph_->CreateButtonGlyph(!Enabled() ? TKitButtonState::bsDisabled
                                                 : flat_ ? TKitButtonState::bsInactive : TKitButtonState::bsUp);
            UpdateMouseIn();
            Invalidate();
            return;
        case CM_VISIBLECHANGED:
            TGraphicControl::Dispatch(Message);
            if (Visible()) UpdateMouseIn();
            return;
        case CM_MOUSEENTER:
        case CM_MOUSELEAVE:
            TGraphicControl::Dispatch(Message);
            SetMouseIn(MouseInAfter(this, Message.Msg, dragging_, mouseIn_));
            return;
        case CM_FONTCHANGED:
        case CM_TEXTCHANGED:
            TGraphicControl::Dispatch(Message);
            Invalidate();
            return;
        case CM_SYSCOLORCHANGE:
        case WM_SYSCOLORCHANGE:
            glyph_->Invalidate();
            Invalidate();
            TGraphicControl::Dispatch(Message);
            return;
        default:
            TGraphicControl::Dispatch(Message);
    }
}

}  // namespace widgets::kit
