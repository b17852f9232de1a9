// The FlatBar button.
#include "widgets/hover/fb_button.h"

#include <algorithm>
#include <vector>

#include "classlib/application.h"
#include "classlib/gdi_handles.h"
#include "widgets/hover/fb_common.h"

namespace hover {

using namespace classlib;

namespace {

// What all buttons share: the hot button, the timer that notices the mouse leaving it, and the
// dither pattern of latched buttons with the colours it was made from.
TFlatBarButton* gHot = nullptr;
std::unique_ptr<TTimer> gExitTimer;
int gButtonCount = 0;
TOwnedBitmap gDither;
COLORREF gDitherFace = 0, gDitherHighlight = 0;

HBITMAP DitherPattern() {
    COLORREF face = ColorToRGB(clBtnFace), highlight = ColorToRGB(clBtnHighlight);
    if (gDither && (face != gDitherFace || highlight != gDitherHighlight)) gDither.Reset();
    if (!gDither) {
        TWindowDC screen(nullptr);
        TOwnedDC dc(CreateCompatibleDC(screen.Get()));
        gDither.Reset(CreateCompatibleBitmap(screen.Get(), 8, 8));
        TSelectedObject select(dc.Get(), gDither.Get());
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) SetPixel(dc.Get(), x, y, (x % 2) == (y % 2) ? highlight : face);
        gDitherFace = face;
        gDitherHighlight = highlight;
    }
    return gDither.Get();
}

// The thread hooks tell the hot button about deactivation and mouse moves anywhere.
void ButtonHookProc(THookKind Kind, HWND Window, WPARAM WParam, LPARAM LParam) {
    TFlatBarButton* hot = TFlatBarButton::HotButton();
    if (hot == nullptr) return;
    if (Kind == THookKind::hkActivateApp) {
        if (WParam == 0 && !hot->ShowBorderWhenInactive()) TFlatBarButton::LeaveHotButton();
        return;
    }
    if (Kind == THookKind::hkMouseMove) {
        POINT p{static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))};
        ClientToScreen(Window, &p);
        if (FindDragTarget(p, true) != hot) TFlatBarButton::LeaveHotButton();
    }
}

constexpr THookKinds kButtonHookKinds = HookKindBit(THookKind::hkActivateApp) | HookKindBit(THookKind::hkMouseMove);

// The thread hooks only see the hot button leave (ButtonHookProc does nothing without one), so the
// shared callback is subscribed while a button is hot rather than for every button's whole life: a
// hook makes each message of the thread cost calls into the system (under Wine three round trips to
// its server per sent message), and a window full of controls sends thousands while it starts.
void MakeHot(TFlatBarButton* Button, bool Designing) {
    const bool wasCold = gHot == nullptr;
    gHot = Button;
    if (gExitTimer) gExitTimer->SetEnabled(true);
    if (wasCold) SubscribeThreadHooks(&ButtonHookProc, kButtonHookKinds, Designing);
}

void EndHot() {
    if (gHot == nullptr) return;
    gHot = nullptr;
    if (gExitTimer) gExitTimer->SetEnabled(false);
    UnsubscribeThreadHooks(&ButtonHookProc);
}

bool IsMouseButtonMessage(UINT m) {
    switch (m) {
        case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
            return true;
        default:
            return false;
    }
}

}  // namespace

// ---- Action link -----------------------------------------------------------------------------

const TControlActionLinkClassRef& TFlatBarButtonActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(L"TFlatBarButtonActionLink", &TControlActionLink::ClassRef(),
                                                [](TControl* c) -> TControlActionLink* { return new TFlatBarButtonActionLink(c); });
    return ref;
}

TFlatBarButton* TFlatBarButtonActionLink::Button() const { return dynamic_cast<TFlatBarButton*>(Client()); }

bool TFlatBarButtonActionLink::IsCheckedLinked() {
    return TControlActionLink::IsCheckedLinked() && Button() != nullptr && CustomAction() != nullptr &&
           Button()->Down() == CustomAction()->Checked();
}

bool TFlatBarButtonActionLink::IsHelpContextLinked() {
    return TActionLink::IsHelpContextLinked() && Button() != nullptr && CustomAction() != nullptr &&
           Button()->HelpContext() == CustomAction()->HelpContext();
}

bool TFlatBarButtonActionLink::IsImageIndexLinked() {
    return TActionLink::IsImageIndexLinked() && Button() != nullptr && CustomAction() != nullptr &&
           Button()->ImageIndex() == CustomAction()->ImageIndex();
}

void TFlatBarButtonActionLink::SetChecked(bool Value) {
    if (IsCheckedLinked()) Button()->SetDown(Value);
}

void TFlatBarButtonActionLink::SetHelpContext(int Value) {
    if (IsHelpContextLinked()) Button()->SetHelpContext(Value);
}

void TFlatBarButtonActionLink::SetImageIndex(int Value) {
    if (IsImageIndexLinked()) Button()->SetImageIndex(Value);
}

// ---- TFlatBarButton --------------------------------------------------------------------------

TFlatBarButton::TFlatBarButton(TComponent* AOwner) : TGraphicControl(AOwner), glyph_(std::make_unique<TButtonGlyph>()) {
    SetBounds(0, 0, 23, 22);
    // No automatic click: the button decides at release (and at press for a drop-down part).
    SetControlStyle(csCaptureMouse | csOpaque | csDoubleClicks);
    SetParentFont(true);
    SetColor(clBtnFace);
    glyph_->OnChange = [this](TObject*) { Redraw(true); };
    imagesLink_.OnChange = [this](TObject* s) { ImagesChanged(s); };
    if (gButtonCount++ == 0) {
        gExitTimer = std::make_unique<TTimer>(nullptr);
        gExitTimer->SetEnabled(false);
        gExitTimer->SetInterval(125);
        gExitTimer->OnTimer = [](TObject*) {
            POINT p;
            if (gHot != nullptr && (!GetCursorPos(&p) || FindDragTarget(p, true) != gHot)) LeaveHotButton();
        };
    }
}

TFlatBarButton::~TFlatBarButton() {
    destroying_ = true;
    if (gHot == this) EndHot();
    repeatTimer_.reset();
    SetImages(nullptr);
    if (--gButtonCount == 0) {
        gExitTimer.reset();
        gDither.Reset();
    }
}

TFlatBarButton* TFlatBarButton::HotButton() { return gHot; }

void TFlatBarButton::LeaveHotButton() {
    if (gHot != nullptr) gHot->MouseLeft();
}

void TFlatBarButton::Redraw(bool Erase) {
    if (flat_ && !opaque_ && Erase) {
        Invalidate();
        return;
    }
    // Drawn whole off screen: the parent need not erase behind it.
    std::uint32_t style = ControlStyle();
    SetControlStyle(style | csOpaque);
    Invalidate();
    SetControlStyle(style);
}

void TFlatBarButton::UpdateOpaqueStyle() {
    std::uint32_t style = ControlStyle() & ~static_cast<std::uint32_t>(csOpaque);
    if (!(flat_ && !opaque_)) style |= csOpaque;
    SetControlStyle(style);
}

void TFlatBarButton::UpdateUsesDropDown() {
    bool uses = dropdownAlways_ || dropdownMenu_ != nullptr;
    if (uses == usesDropDown_) return;
    usesDropDown_ = uses;
    if (dropdownArrow_ || dropdownCombo_) Redraw(true);
}

TButtonState TFlatBarButton::RestingState() const {
    if (!Enabled()) return TButtonState::bsDisabled;
    return down_ && groupIndex_ != 0 ? TButtonState::bsExclusive : TButtonState::bsUp;
}

void TFlatBarButton::SetAllowAllUp(bool Value) {
    if (allowAllUp_ == Value) return;
    allowAllUp_ = Value;
    UpdateExclusive();
}

void TFlatBarButton::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    Redraw(true);
}

void TFlatBarButton::SetDisplayMode(TButtonDisplayMode Value) {
    if (displayMode_ == Value) return;
    displayMode_ = Value;
    Redraw(true);
}

void TFlatBarButton::SetDown(bool Value) {
    if (groupIndex_ == 0) Value = false;
    if (Value == down_) return;
    if (down_ && !allowAllUp_) return;
    down_ = Value;
    state_ = !Enabled() ? TButtonState::bsDisabled : (Value ? TButtonState::bsExclusive : TButtonState::bsUp);
    Redraw(true);
    if (Value) UpdateExclusive();
}

void TFlatBarButton::UpdateExclusive() {
    if (groupIndex_ == 0 || Parent() == nullptr) return;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        auto* other = dynamic_cast<TFlatBarButton*>(Parent()->Controls(i));
        if (other == nullptr || other == this || other->groupIndex_ != groupIndex_) continue;
        if (down_ && other->down_) {
            other->down_ = false;
            other->state_ = other->Enabled() ? TButtonState::bsUp : TButtonState::bsDisabled;
            other->Redraw(true);
        }
        other->allowAllUp_ = allowAllUp_;
    }
}

void TFlatBarButton::SetDropdownAlways(bool Value) {
    if (dropdownAlways_ == Value) return;
    dropdownAlways_ = Value;
    UpdateUsesDropDown();
}

void TFlatBarButton::SetDropdownArrow(bool Value) {
    if (dropdownArrow_ == Value) return;
    dropdownArrow_ = Value;
    Redraw(true);
}

void TFlatBarButton::SetDropdownArrowWidth(int Value) {
    Value = std::max(Value, 7);
    if (dropdownArrowWidth_ == Value) return;
    int diff = Value - dropdownArrowWidth_;
    dropdownArrowWidth_ = Value;
    if (dropdownCombo_ && !HasState(csLoading)) SetWidth(std::max(1, Width() + diff));
    Redraw(true);
}

void TFlatBarButton::SetDropdownCombo(bool Value) {
    if (dropdownCombo_ == Value) return;
    dropdownCombo_ = Value;
    if (!HasState(csLoading)) {
        int part = dropdownArrowWidth_ + 2;
        SetWidth(std::max(1, Value ? Width() + part : Width() - part));
    }
    Redraw(true);
}

void TFlatBarButton::SetDropdownMenu(TPopupMenu* Value) {
    if (dropdownMenu_ == Value) return;
    if (dropdownMenu_ != nullptr) dropdownMenu_->RemoveFreeNotification(this);
    dropdownMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    UpdateUsesDropDown();
}

void TFlatBarButton::SetFlat(bool Value) {
    if (flat_ == Value) return;
    flat_ = Value;
    UpdateOpaqueStyle();
    Redraw(true);
}

void TFlatBarButton::SetGlyph(HBITMAP Value) {
    glyph_->SetGlyph(Value);
    Redraw(true);
}

void TFlatBarButton::SetGroupIndex(int Value) {
    if (groupIndex_ == Value) return;
    groupIndex_ = Value;
    UpdateExclusive();
}

void TFlatBarButton::SetHighlightWhenDown(bool Value) {
    if (highlightWhenDown_ == Value) return;
    highlightWhenDown_ = Value;
    if (down_) Redraw(true);
}

void TFlatBarButton::SetImageIndex(int Value) {
    if (imageIndex_ == Value) return;
    imageIndex_ = Value;
    UpdateGlyphSource();
}

void TFlatBarButton::ImagesChanged(TObject*) { UpdateGlyphSource(); }

void TFlatBarButton::UpdateGlyphSource() {
    glyph_->SetImageList(images_ != nullptr ? images_->Handle() : nullptr, imageIndex_);
    if (images_ == nullptr && glyph_->Glyph() != nullptr) glyph_->SetGlyph(glyph_->Glyph());
}

void TFlatBarButton::SetImages(TCustomImageList* Value) {
    if (images_ == Value) return;
    if (images_ != nullptr) {
        images_->UnRegisterChanges(&imagesLink_);
        images_->RemoveFreeNotification(this);
    }
    images_ = Value;
    if (images_ != nullptr) {
        images_->RegisterChanges(&imagesLink_);
        images_->FreeNotification(this);
    }
    if (!destroying_) UpdateGlyphSource();
}

void TFlatBarButton::SetLayout(TButtonLayout Value) {
    if (layout_ == Value) return;
    layout_ = Value;
    Redraw(true);
}

void TFlatBarButton::SetMargin(int Value) {
    if (Value < -1 || margin_ == Value) return;
    margin_ = Value;
    Redraw(true);
}

void TFlatBarButton::SetNoBorder(bool Value) {
    if (noBorder_ == Value) return;
    noBorder_ = Value;
    Invalidate();
}

void TFlatBarButton::SetNumGlyphs(int Value) {
    glyph_->SetNumGlyphs(Value);
    Redraw(true);
}

void TFlatBarButton::SetOpaque(bool Value) {
    if (opaque_ == Value) return;
    opaque_ = Value;
    UpdateOpaqueStyle();
    Invalidate();
}

void TFlatBarButton::SetSpacing(int Value) {
    if (spacing_ == Value) return;
    spacing_ = Value;
    Redraw(true);
}

void TFlatBarButton::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    Redraw(true);
}

void TFlatBarButton::Loaded() {
    TGraphicControl::Loaded();
    state_ = RestingState();
    glyph_->Prepare(Enabled() ? TButtonState::bsUp : TButtonState::bsDisabled);
}

void TFlatBarButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    if (AComponent == dropdownMenu_) {
        dropdownMenu_ = nullptr;
        UpdateUsesDropDown();
    }
    if (AComponent == images_) {
        images_ = nullptr;
        UpdateGlyphSource();
    }
}

TControlActionLinkClass TFlatBarButton::GetActionLinkClass() const { return &TFlatBarButtonActionLink::ClassRef(); }

void TFlatBarButton::ActionChange(TObject* Sender, bool CheckDefaults) {
    TGraphicControl::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults || !down_) SetDown(action->Checked());
    if (!CheckDefaults || HelpContext() == 0) SetHelpContext(action->HelpContext());
    if (!CheckDefaults || imageIndex_ == -1) SetImageIndex(action->ImageIndex());
}

void TFlatBarButton::AssignTo(TPersistent* Dest) {
    auto* action = dynamic_cast<TCustomAction*>(Dest);
    if (action == nullptr) {
        TGraphicControl::AssignTo(Dest);
        return;
    }
    action->SetCaption(Caption());
    action->SetHint(Hint());
    action->SetEnabled(Enabled());
    action->SetVisible(Visible());
    action->SetChecked(down_);
}

// ---- Hot tracking ----------------------------------------------------------------------------

void TFlatBarButton::MouseEntered() {
    if (!Enabled() || mouseIn_) return;
    mouseIn_ = true;
    if (state_ == TButtonState::bsUp) state_ = TButtonState::bsHot;
    if (flat_ || NumGlyphs() == 5) Redraw(down_ || NumGlyphs() == 5);
    if (OnMouseEnter) OnMouseEnter(this);
}

void TFlatBarButton::MouseLeft() {
    if (!Enabled() || !mouseIn_ || tracking_) return;
    mouseIn_ = false;
    if (gHot == this) EndHot();
    TButtonState old = state_;
    if (state_ == TButtonState::bsHot || (state_ == TButtonState::bsDown && !inClick_))
        state_ = down_ && groupIndex_ != 0 ? TButtonState::bsExclusive : TButtonState::bsUp;
    const bool onlyHotUp = (old == TButtonState::bsHot || old == TButtonState::bsUp) &&
                           (state_ == TButtonState::bsHot || state_ == TButtonState::bsUp);
    if (flat_ || NumGlyphs() == 5 || !onlyHotUp) Redraw(true);
    if (OnMouseExit) OnMouseExit(this);
}

bool TFlatBarButton::PointInside(int X, int Y) {
    int right = ClientWidth();
    if (dropdownCombo_ && usesDropDown_) right -= dropdownArrowWidth_ + 2;
    return X >= 0 && X < right && Y >= 0 && Y < ClientHeight();
}

void TFlatBarButton::MouseMove(TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseMove(Shift, X, Y);
    POINT p;
    if (gHot != this && GetCursorPos(&p) && FindDragTarget(p, true) == this) {
        if (gHot != nullptr) gHot->MouseLeft();
        if (showBorderWhenInactive_ || ApplicationHasActiveWindow()) {
            MakeHot(this, HasState(csDesigning));
            MouseEntered();
        }
    }
    if (!tracking_) return;
    const bool inside = PointInside(X, Y);
    if (inside && repeating_ && repeatTimer_ && !repeatTimer_->Enabled()) repeatTimer_->SetEnabled(true);
    TButtonState next = down_ ? TButtonState::bsExclusive : (inside ? TButtonState::bsDown : TButtonState::bsUp);
    if (next != state_) {
        state_ = next;
        Redraw(true);
    }
}

// ---- Pressing and clicking -------------------------------------------------------------------

void TFlatBarButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button != TMouseButton::mbLeft || !Enabled()) {
        MouseEntered();
        TGraphicControl::MouseDown(Button, Shift, X, Y);
        return;
    }
    MouseEntered();
    menuPartClicked_ = usesDropDown_ && (!dropdownCombo_ || X >= Width() - (dropdownArrowWidth_ + 2));
    if (!down_) {
        state_ = TButtonState::bsDown;
        Redraw(true);
    } else if (allowAllUp_) {
        Redraw(true);
    }
    if (!menuPartClicked_) tracking_ = true;
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (menuPartClicked_) {
        Click();
    } else if (repeating_) {
        Click();
        if (!repeatTimer_) {
            repeatTimer_ = std::make_unique<TTimer>(nullptr);
            repeatTimer_->OnTimer = [this](TObject* s) { RepeatTick(s); };
        }
        repeatTimer_->SetEnabled(false);
        repeatTimer_->SetInterval(static_cast<UINT>(std::max(repeatDelay_, 1)));
        repeatTimer_->SetEnabled(true);
    }
    menuPartClicked_ = false;
}

void TFlatBarButton::RepeatTick(TObject*) {
    repeatTimer_->SetInterval(static_cast<UINT>(std::max(repeatInterval_, 1)));
    POINT p;
    const bool captured = Parent() != nullptr && Parent()->HandleAllocated() && GetCapture() == Parent()->WindowHandle();
    bool inside = false;
    if (GetCursorPos(&p)) {
        POINT c = ScreenToClient(p);
        inside = PointInside(c.x, c.y);
    }
    if (repeating_ && tracking_ && captured && inside)
        Click();
    else
        repeatTimer_->SetEnabled(false);
}

void TFlatBarButton::StopRepeat() {
    // Freed later: the timer may be the one whose tick is running.
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
}

void TFlatBarButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    StopRepeat();
    const bool wasTracking = tracking_;
    if (Button == TMouseButton::mbLeft && tracking_) {
        tracking_ = false;
        if (PointInside(X, Y) && !repeating_) {
            Click();
        } else {
            state_ = RestingState();
            Redraw(true);
            POINT p;
            if (!GetCursorPos(&p) || FindDragTarget(p, true) != this) MouseLeft();
        }
    } else if (Button == TMouseButton::mbRight && Enabled()) {
        MouseLeft();
    }
    if (wasTracking && repeating_) {
        state_ = RestingState();
        Redraw(true);
    }
    TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TFlatBarButton::Click() {
    if (repeating_ && !menuPartClicked_) {
        if (OnClick) OnClick(this); else TGraphicControl::Click();
        return;
    }
    inClick_ = true;
    if (groupIndex_ != 0 && !menuPartClicked_) SetDown(!down_);
    const bool dropDown = usesDropDown_ && (!dropdownCombo_ || menuPartClicked_);
    if (state_ == TButtonState::bsUp || state_ == TButtonState::bsHot) {
        state_ = TButtonState::bsDown;
        Redraw(true);
    }
    if (dropDown) {
        if (!dropdownCombo_) TGraphicControl::Click();
        DropDown();
    } else {
        if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
        TGraphicControl::Click();
    }
    inClick_ = false;
    if (state_ == TButtonState::bsDown) state_ = RestingState();
    if (!destroying_ && !HasState(csDestroying)) {
        Redraw(true);
        POINT p;
        if (!GetCursorPos(&p) || FindDragTarget(p, true) != this) MouseLeft();
    }
}

void TFlatBarButton::DropDown() {
    if (GetCapture() != nullptr) ReleaseCapture();
    bool showMenu = dropdownMenu_ != nullptr;
    bool removeClicks = true;
    if (OnDropdown) OnDropdown(this, showMenu, removeClicks);
    if (dropdownMenu_ != nullptr && showMenu) {
        TPopupMenu* menu = dropdownMenu_;
        const TPopupAlignment alignment = menu->Alignment();
        const TTrackButton track = menu->TrackButton();
        auto restore = [&] {
            // The menu may have gone while it was open.
            if (dropdownMenu_ != menu) return;
            menu->SetAlignment(alignment);
            menu->SetTrackButton(track);
        };
        menu->SetAlignment(TPopupAlignment::paLeft);
        // Every shell this program runs on is a new-style one: the left button chooses.
        menu->SetTrackButton(TTrackButton::tbLeftButton);
        POINT p = ClientToScreen(POINT{0, Height()});
        menu->SetPopupComponent(this);
        try {
            menu->Popup(p.x, p.y);
        } catch (...) {
            restore();
            throw;
        }
        restore();
    }
    if (removeClicks) RemovePendingClicks();
}

void TFlatBarButton::RemovePendingClicks() {
    // The click that closed the menu must not reopen it; every other click is kept, in order.
    std::vector<MSG> kept;
    MSG m;
    RECT mine = BoundsRect();
    while (PeekMessageA(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE | PM_NOYIELD)) {
        if (!IsMouseButtonMessage(m.message)) {
            kept.push_back(m);
            continue;
        }
        const bool press = m.message != WM_LBUTTONUP && m.message != WM_RBUTTONUP && m.message != WM_MBUTTONUP;
        POINT p{static_cast<short>(LOWORD(m.lParam)), static_cast<short>(HIWORD(m.lParam))};
        bool overMe = false;
        if (Parent() != nullptr && Parent()->HandleAllocated()) {
            MapWindowPoints(m.hwnd, Parent()->WindowHandle(), &p, 1);
            overMe = PtInRect(&mine, p) != 0;
        }
        if (press && overMe) continue;
        kept.push_back(m);
    }
    if (PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        for (const MSG& k : kept) PostMessageA(k.hwnd, k.message, k.wParam, k.lParam);
        PostQuitMessage(static_cast<int>(m.wParam));
        return;
    }
    for (const MSG& k : kept) PostMessageA(k.hwnd, k.message, k.wParam, k.lParam);
}

void TFlatBarButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_ENABLEDCHANGED:
            TGraphicControl::Dispatch(Message);
            if (!Enabled()) {
                state_ = TButtonState::bsDisabled;
                mouseIn_ = false;
                tracking_ = false;
                if (gHot == this) EndHot();
                StopRepeat();
            } else if (state_ == TButtonState::bsDisabled) {
                state_ = RestingState();
            }
            Redraw(true);
            return;
        case CM_FONTCHANGED:
        case CM_TEXTCHANGED:
            TGraphicControl::Dispatch(Message);
            Redraw(true);
            return;
        case CM_SYSCOLORCHANGE:
            DitherPattern();
            glyph_->Invalidate();
            Redraw(true);
            return;
        case CM_CANCELMODE:
        case WM_CANCELMODE:
            StopRepeat();
            tracking_ = false;
            MouseLeft();
            return;
        case WM_LBUTTONDBLCLK:
            TGraphicControl::Dispatch(Message);
            if (down_ && OnDblClick) OnDblClick(this);
            return;
        case CM_DIALOGKEY:
            if (((Message.WParam == VK_RETURN && default_) || (Message.WParam == VK_ESCAPE && cancel_)) &&
                KeyDataToShiftState(Message.LParam) == 0 && Parent() != nullptr && Parent()->CanFocus() && Enabled() &&
                Visible()) {
                Click();
                Message.Result = 1;
                return;
            }
            break;
        case CM_DIALOGCHAR:
            if (IsAccel(Message.WParam, Caption()) && Parent() != nullptr && Parent()->CanFocus() && Enabled() && Visible()) {
                Click();
                Message.Result = 1;
                return;
            }
            break;
        default:
            break;
    }
    TGraphicControl::Dispatch(Message);
}

// ---- Painting --------------------------------------------------------------------------------

void TFlatBarButton::DrawArrow(HDC DC, int CenterX, int Top, bool Enabled) {
    auto draw = [&](int dx, int dy, COLORREF colour) {
        TOwnedPen pen(CreatePen(PS_SOLID, 1, colour));
        TSelectedObject select(DC, pen.Get());
        for (int row = 0; row < 3; ++row) {
            MoveToEx(DC, CenterX - 2 + row + dx, Top + row + dy, nullptr);
            LineTo(DC, CenterX + 3 - row + dx, Top + row + dy);
        }
    };
    if (!Enabled) {
        draw(1, 1, ColorToRGB(clBtnHighlight));
        draw(0, 0, ColorToRGB(clBtnShadow));
    } else {
        draw(0, 0, ColorToRGB(Font()->Color()));
    }
}

void TFlatBarButton::DrawContent(TCanvas* Canvas, RECT Inner, bool Pressed) {
    HDC dc = Canvas->Handle();
    const bool showGlyph = displayMode_ != TButtonDisplayMode::dmTextOnly && glyph_->HasImage();
    const std::string caption = displayMode_ == TButtonDisplayMode::dmGlyphOnly ? std::string() : Caption();
    const bool horizontal = layout_ == TButtonLayout::blGlyphLeft || layout_ == TButtonLayout::blGlyphRight;
    SIZE g = showGlyph ? glyph_->GlyphSize() : SIZE{0, 0};
    const bool arrow = usesDropDown_ && !dropdownCombo_ && dropdownArrow_;
    const int arrowWidth = arrow ? dropdownArrowWidth_ : 0;

    // The caption's size, broken into lines within the room the glyph leaves.
    TSelectedObject font(dc, Font()->Handle());
    RECT text{0, 0, 0, 0};
    if (!caption.empty()) {
        int room = Width() - 8;
        if (horizontal && showGlyph) {
            int spacing = spacing_ == -1 ? 4 : spacing_;
            int margin = margin_ == -1 ? (spacing_ == -1 ? 4 : spacing_) : margin_;
            room = Width() - (g.cx + spacing) - 2 * margin;
        }
        if (horizontal) room -= arrowWidth;
        text.right = std::max(room, 1);
        DrawTextAnsi(dc, caption, text, DT_CALCRECT | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE));
    }
    const int textW = text.right - text.left, textH = text.bottom - text.top;

    const int length = horizontal ? Inner.right - Inner.left : Inner.bottom - Inner.top;
    const int glyphLen = horizontal ? g.cx : g.cy;
    const int textLen = (horizontal ? textW + arrowWidth : textH);
    int spacing = (showGlyph && !caption.empty()) ? spacing_ : 0;
    int margin = margin_;
    if (margin == -1 && spacing == -1) {
        int free = length - glyphLen - textLen;
        margin = spacing = free / 3;
    } else if (margin == -1) {
        margin = (length - (glyphLen + spacing + textLen) + 1) / 2;
    } else if (spacing == -1) {
        spacing = (length - margin - glyphLen - textLen) / 2;
    }
    POINT glyphPos{}, textPos{};
    const int offset = Pressed ? 1 : 0;
    if (horizontal) {
        const int gx = layout_ == TButtonLayout::blGlyphLeft ? margin : length - margin - glyphLen;
        const int tx = layout_ == TButtonLayout::blGlyphLeft ? margin + glyphLen + spacing : length - margin - glyphLen - spacing - textLen;
        glyphPos = POINT{Inner.left + gx, Inner.top + (Inner.bottom - Inner.top - g.cy) / 2};
        textPos = POINT{Inner.left + tx, Inner.top + (Inner.bottom - Inner.top - textH) / 2};
    } else {
        const int gy = layout_ == TButtonLayout::blGlyphTop ? margin : length - margin - glyphLen;
        const int ty = layout_ == TButtonLayout::blGlyphTop ? margin + glyphLen + spacing : length - margin - glyphLen - spacing - textLen;
        glyphPos = POINT{Inner.left + (Inner.right - Inner.left - g.cx) / 2, Inner.top + gy};
        textPos = POINT{Inner.left + (Inner.right - Inner.left - textW - arrowWidth) / 2, Inner.top + ty};
    }
    if (showGlyph) {
        TButtonState shown = state_;
        if (!Enabled()) shown = TButtonState::bsDisabled;
        glyph_->Draw(dc, glyphPos.x + offset, glyphPos.y + offset, shown);
    }
    if (!caption.empty()) {
        RECT r{textPos.x + offset, textPos.y + offset, textPos.x + offset + textW, textPos.y + offset + textH};
        UINT flags = (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER);
        flags |= alignment_ == TAlignment::taLeftJustify ? DT_LEFT : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_CENTER;
        SetBkMode(dc, TRANSPARENT);
        if (!Enabled()) {
            RECT shadow = r;
            OffsetRect(&shadow, 1, 1);
            SetTextColor(dc, ColorToRGB(clBtnHighlight));
            DrawTextAnsi(dc, caption, shadow, flags);
            SetTextColor(dc, ColorToRGB(clBtnShadow));
        } else {
            SetTextColor(dc, ColorToRGB(Font()->Color()));
        }
        DrawTextAnsi(dc, caption, r, flags);
    }
    if (arrow) {
        int x = horizontal ? textPos.x + textW + arrowWidth / 2 : textPos.x + textW + arrowWidth / 2;
        int y = Inner.top + (Inner.bottom - Inner.top) / 2 - 1;
        DrawArrow(dc, x + offset, y + offset, Enabled());
    }
}

void TFlatBarButton::Paint() {
    TCanvas* target = Canvas();
    const bool offscreen = opaque_ || !flat_;
    TOwnedDC memDC;
    TOwnedBitmap bitmap;
    TCanvas memCanvas;
    std::unique_ptr<TSelectedObject> selected;
    TCanvas* canvas = target;
    if (offscreen) {
        memDC.Reset(CreateCompatibleDC(target->Handle()));
        bitmap.Reset(CreateCompatibleBitmap(target->Handle(), std::max(Width(), 1), std::max(Height(), 1)));
        selected = std::make_unique<TSelectedObject>(memDC.Get(), bitmap.Get());
        memCanvas.SetHandle(memDC.Get());
        memCanvas.Brush()->SetColor(Color());
        RECT all{0, 0, Width(), Height()};
        memCanvas.FillRect(all);
        canvas = &memCanvas;
    }
    canvas->SetFont(Font());
    HDC dc = canvas->Handle();
    const bool isDown = state_ == TButtonState::bsDown || state_ == TButtonState::bsExclusive;
    const bool combo = dropdownCombo_ && usesDropDown_;
    const bool pressed = state_ == TButtonState::bsExclusive || (state_ == TButtonState::bsDown && !(combo && menuPartClicked_));
    const bool border = HasState(csDesigning) || (!noBorder_ && (!flat_ || isDown || (mouseIn_ && state_ != TButtonState::bsDisabled)));
    // A raised or sunken edge takes its own width off the rectangle it is drawn round.
    auto edge = [&](RECT& r, bool sunk) {
        UINT kind = flat_ ? (sunk ? BDR_SUNKENOUTER : BDR_RAISEDINNER) : (sunk ? EDGE_SUNKEN : EDGE_RAISED);
        DrawEdge(dc, &r, kind, BF_RECT | (flat_ ? 0 : BF_SOFT | BF_ADJUST));
    };
    RECT main{0, 0, Width(), Height()};
    if (combo) {
        RECT part{Width() - dropdownArrowWidth_ - 2, 0, Width() - 2, Height()};
        main.right = part.left;
        const int arrowX = (part.left + part.right) / 2;
        if (border) edge(part, isDown && menuPartClicked_);
        DrawArrow(dc, arrowX, Height() / 2 - 1, Enabled());
    }
    if (border) edge(main, pressed);
    RECT inner = main;
    if (!noBorder_) InflateRect(&inner, flat_ ? -1 : -2, flat_ ? -1 : -2);
    if (pressed && state_ == TButtonState::bsExclusive && !(flat_ && mouseIn_) && !menuPartClicked_ && highlightWhenDown_) {
        TOwnedBrush dither(CreatePatternBrush(DitherPattern()));
        FillRect(dc, &inner, dither.Get());
    }
    DrawContent(canvas, inner, pressed);
    if (offscreen) {
        BitBlt(target->Handle(), 0, 0, Width(), Height(), memDC.Get(), 0, 0, SRCCOPY);
        memCanvas.SetHandle(nullptr);
    }
}

}  // namespace hover
