// Glyph buttons of the class library.
#include "classlib/buttons.h"

#include <algorithm>

#include "classlib/forms.h"
#include "classlib/gdi_handles.h"

namespace classlib {

// ---- TButtonGlyph ----------------------------------------------------------------------------

TButtonGlyph::TButtonGlyph() = default;
TButtonGlyph::~TButtonGlyph() = default;

void TButtonGlyph::Invalidate() {
    cache_.reset();
    std::fill(std::begin(indexes_), std::end(indexes_), -1);
    if (OnChange) OnChange();
}

void TButtonGlyph::SetGlyph(HBITMAP Value) {
    glyph_.Reset(Value);
    if (glyph_) {
        // A glyph whose width holds whole squares tells how many images it has.
        SIZE whole{};
        BITMAP b{};
        GetObjectW(glyph_.Get(), sizeof b, &b);
        whole.cx = b.bmWidth;
        whole.cy = b.bmHeight;
        if (whole.cy > 0 && whole.cx % whole.cy == 0) {
            int n = whole.cx / whole.cy;
            if (n >= 1 && n <= 4) numGlyphs_ = n;
        }
    }
    Invalidate();
}

void TButtonGlyph::SetNumGlyphs(int Value) {
    Value = std::clamp(Value, 1, 4);
    if (Value == numGlyphs_) return;
    numGlyphs_ = Value;
    Invalidate();
}

SIZE TButtonGlyph::GlyphSize() const {
    if (!glyph_) return SIZE{0, 0};
    BITMAP b{};
    GetObjectW(glyph_.Get(), sizeof b, &b);
    return SIZE{b.bmWidth / numGlyphs_, b.bmHeight};
}

int TButtonGlyph::GlyphIndex(TButtonState State) {
    if (!glyph_) return -1;
    int state = static_cast<int>(State);
    // A state without an image of its own shows the up image (the exclusive state the down one);
    // the disabled state has its own image only in a glyph of three images or more.
    if (State == TButtonState::bsDisabled && numGlyphs_ < 3) state = 0;
    if (state >= numGlyphs_) state = (State == TButtonState::bsExclusive && numGlyphs_ > 2) ? 2 : 0;
    if (indexes_[state] >= 0) return indexes_[state];
    SIZE size = GlyphSize();
    if (!cache_) {
        cache_ = std::make_unique<TImageList>(nullptr);
        cache_->SetWidth(size.cx);
        cache_->SetHeight(size.cy);
    }
    TWindowDC screen(nullptr);
    TOwnedBitmap part(CreateCompatibleBitmap(screen.Get(), size.cx, size.cy));
    {
        TOwnedDC source(CreateCompatibleDC(screen.Get()));
        TOwnedDC target(CreateCompatibleDC(screen.Get()));
        TSelectedObject s(source.Get(), glyph_.Get());
        TSelectedObject t(target.Get(), part.Get());
        BitBlt(target.Get(), 0, 0, size.cx, size.cy, source.Get(), state * size.cx, 0, SRCCOPY);
    }
    indexes_[state] = cache_->AddMasked(part.Get(), clDefault);
    return indexes_[state];
}

void TButtonGlyph::DrawGlyph(HDC DC, int X, int Y, TButtonState State) {
    int index = GlyphIndex(State);
    if (index < 0) return;
    bool ownImage = State == TButtonState::bsDisabled ? numGlyphs_ >= 3 : static_cast<int>(State) < numGlyphs_;
    cache_->Draw(DC, X, Y, index, !(State == TButtonState::bsDisabled && !ownImage));
}

bool CopyActionImage(TButtonGlyph& Glyph, TObject* Action) {
    auto* action = dynamic_cast<TCustomAction*>(Action);
    if (!Glyph.Empty() || action == nullptr || action->ActionList() == nullptr) return false;
    TCustomImageList* images = action->ActionList()->Images();
    const int index = action->ImageIndex();
    if (images == nullptr || index < 0 || index >= images->Count()) return false;
    // GetBitmap draws the picture on the face colour, which its clear bottom-left pixel then
    // gives the glyph as its transparent colour.
    Glyph.SetGlyph(images->GetBitmap(index));
    return true;
}

// ---- Layout ----------------------------------------------------------------------------------

RECT DrawButtonGlyphAndCaption(HDC DC, const RECT& Client, POINT Offset, TButtonGlyph& Glyph, bool HasCaption,
                               TButtonLayout Layout, int Margin, int Spacing, TButtonState State, bool WordWrap,
                               const TButtonCaptionPainter& Caption) {
    SIZE glyph = Glyph.GlyphSize();
    int cw = Client.right - Client.left, ch = Client.bottom - Client.top;
    RECT text{0, 0, cw, 0};
    UINT wrap = WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
    if (HasCaption && Caption) Caption(DC, text, DT_CALCRECT | DT_CENTER | wrap);
    SIZE ts{HasCaption ? text.right - text.left : 0, HasCaption ? text.bottom - text.top : 0};
    bool horizontal = Layout == TButtonLayout::blGlyphLeft || Layout == TButtonLayout::blGlyphRight;
    int gLen = horizontal ? glyph.cx : glyph.cy;
    int tLen = horizontal ? ts.cx : ts.cy;
    int room = horizontal ? cw : ch;
    if (gLen == 0 || tLen == 0) Spacing = 0;
    if (Margin == -1) {
        if (Spacing == -1) {
            Spacing = (room - gLen - tLen) / 3;
            Margin = Spacing;
        } else {
            Margin = (room - (gLen + Spacing + tLen)) / 2;
        }
    } else if (Spacing == -1) {
        Spacing = (room - Margin - gLen - tLen) / 2;
    }
    if (gLen == 0 && Margin < 0) Margin = 0;
    POINT gp{}, tp{};
    switch (Layout) {
        case TButtonLayout::blGlyphLeft:
            gp.x = Margin;
            tp.x = Margin + gLen + Spacing;
            break;
        case TButtonLayout::blGlyphRight:
            gp.x = cw - Margin - gLen;
            tp.x = gp.x - Spacing - ts.cx;
            break;
        case TButtonLayout::blGlyphTop:
            gp.y = Margin;
            tp.y = Margin + gLen + Spacing;
            break;
        case TButtonLayout::blGlyphBottom:
            gp.y = ch - Margin - gLen;
            tp.y = gp.y - Spacing - ts.cy;
            break;
    }
    if (horizontal) {
        gp.y = (ch - glyph.cy) / 2;
        tp.y = (ch - ts.cy) / 2;
    } else {
        gp.x = (cw - glyph.cx) / 2;
        tp.x = (cw - ts.cx) / 2;
    }
    int ox = Client.left + Offset.x, oy = Client.top + Offset.y;
    if (!Glyph.Empty()) Glyph.DrawGlyph(DC, gp.x + ox, gp.y + oy, State);
    RECT where{tp.x + ox, tp.y + oy, tp.x + ox + ts.cx, tp.y + oy + ts.cy};
    if (HasCaption && Caption) {
        RECT draw = where;
        Caption(DC, draw, DT_CENTER | (WordWrap ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER));
    }
    return where;
}

void DrawButtonCaptionAnsi(HDC DC, const std::string& Text, RECT& Rect, UINT Flags, bool Enabled) {
    int mode = SetBkMode(DC, TRANSPARENT);
    if ((Flags & DT_CALCRECT) != 0) {
        DrawTextAnsi(DC, Text, Rect, Flags);
    } else if (!Enabled) {
        COLORREF old = SetTextColor(DC, ColorToRGB(clBtnHighlight));
        RECT shifted = Rect;
        OffsetRect(&shifted, 1, 1);
        DrawTextAnsi(DC, Text, shifted, Flags);
        SetTextColor(DC, ColorToRGB(clBtnShadow));
        DrawTextAnsi(DC, Text, Rect, Flags);
        SetTextColor(DC, old);
    } else {
        DrawTextAnsi(DC, Text, Rect, Flags);
    }
    SetBkMode(DC, mode);
}

// ---- TSpeedButton ----------------------------------------------------------------------------

// ---- TSpeedButtonActionLink ------------------------------------------------------------------
const TControlActionLinkClassRef& TSpeedButtonActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(
        L"TSpeedButtonActionLink", &TControlActionLink::ClassRef(),
        [](TControl* client) -> TControlActionLink* { return new TSpeedButtonActionLink(client); });
    return ref;
}

TSpeedButton* TSpeedButtonActionLink::Button() const { return dynamic_cast<TSpeedButton*>(Client()); }

bool TSpeedButtonActionLink::IsCheckedLinked() {
    return TControlActionLink::IsCheckedLinked() && Button() != nullptr && Button()->Down() == CustomAction()->Checked();
}

void TSpeedButtonActionLink::SetChecked(bool Value) {
    if (IsCheckedLinked()) Button()->SetDown(Value);
}

TControlActionLinkClass TSpeedButton::GetActionLinkClass() const { return &TSpeedButtonActionLink::ClassRef(); }

void TSpeedButton::ActionChange(TObject* Sender, bool CheckDefaults) {
    TGlyphButtonParts<TGraphicControl>::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults || GroupIndex() == 0) SetGroupIndex(action->GroupIndex());
    if (!CheckDefaults || !Down()) SetDown(action->Checked());
}

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGlyphButtonParts<TGraphicControl>(AOwner) {
    SetControlStyle(csCaptureMouse | csDoubleClicks | csSetCaption | csOpaque);
    SetBounds(0, 0, 23, 22);
    SetParentColor(false);
    SetColor(clBtnFace);
}

void TSpeedButton::SetFlat(bool Value) {
    flat_ = Value;
    Invalidate();
}

void TSpeedButton::SetGroupIndex(int Value) {
    groupIndex_ = std::max(0, Value);
    UpdateExclusive();
}

void TSpeedButton::SetAllowAllUp(bool Value) {
    allowAllUp_ = Value;
    UpdateExclusive();
}

void TSpeedButton::SetWordWrap(bool Value) {
    wordWrap_ = Value;
    Invalidate();
}

void TSpeedButton::SetDown(bool Value) {
    if (groupIndex_ == 0) Value = false;
    if (Value == down_) return;
    // The last button down of a group stays down unless the group allows all up.
    if (down_ && !Value && !allowAllUp_) return;
    down_ = Value;
    state_ = Value ? TButtonState::bsExclusive : TButtonState::bsUp;
    Invalidate();
    if (Value) UpdateExclusive();
}

void TSpeedButton::UpdateExclusive() {
    if (groupIndex_ == 0 || Parent() == nullptr) return;
    TMessage m{CM_BUTTONPRESSED, static_cast<WPARAM>(groupIndex_), reinterpret_cast<LPARAM>(this), 0};
    Parent()->Broadcast(m);
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

bool TSpeedButton::IsCaptionAccel(WPARAM Key) { return IsAccel(Key, Caption()); }

void TSpeedButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_BUTTONPRESSED: {
            auto* sender = reinterpret_cast<TSpeedButton*>(Message.LParam);
            if (static_cast<int>(Message.WParam) == groupIndex_ && sender != this && sender != nullptr) {
                if (sender->Down() && down_) {
                    down_ = false;
                    state_ = TButtonState::bsUp;
                    Invalidate();
                }
                allowAllUp_ = sender->AllowAllUp();
            }
            return;
        }
        case CM_DIALOGCHAR:
            if (IsCaptionAccel(Message.WParam) && Enabled() && Visible() && Parent() != nullptr && Parent()->Showing()) {
                Click();
                Message.Result = 1;
                return;
            }
            break;
        case CM_MOUSEENTER:
            mouseInControl_ = true;
            if (flat_ && Enabled()) Invalidate();
            break;
        case CM_MOUSELEAVE:
            mouseInControl_ = false;
            if (flat_ && Enabled()) Invalidate();
            break;
        case CM_ENABLEDCHANGED:
        case CM_TEXTCHANGED:
        case CM_FONTCHANGED:
            Invalidate();
            break;
        default:
            break;
    }
    TGraphicControl::Dispatch(Message);
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft || !Enabled()) return;
    if (!down_) {
        state_ = TButtonState::bsDown;
        Invalidate();
    }
    dragging_ = true;
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseMove(Shift, X, Y);
    if (!dragging_) return;
    bool inside = X >= 0 && X < Width() && Y >= 0 && Y < Height();
    TButtonState wanted = inside ? (down_ ? TButtonState::bsExclusive : TButtonState::bsDown)
                                 : (down_ ? TButtonState::bsExclusive : TButtonState::bsUp);
    if (wanted != state_) {
        state_ = wanted;
        Invalidate();
    }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (!dragging_) return;
    dragging_ = false;
    bool inside = X >= 0 && X < Width() && Y >= 0 && Y < Height();
    if (groupIndex_ == 0) {
        state_ = TButtonState::bsUp;
        Invalidate();
    } else if (inside) {
        SetDown(!down_);
        if (down_) state_ = TButtonState::bsExclusive;
        else state_ = TButtonState::bsUp;
        Invalidate();
    } else {
        state_ = down_ ? TButtonState::bsExclusive : TButtonState::bsUp;
        Invalidate();
    }
    if (inside) Click();
}

void TSpeedButton::PaintCaption(HDC DC, RECT& Rect, UINT Flags) {
    DrawButtonCaptionAnsi(DC, Caption(), Rect, Flags, Enabled());
}

void TSpeedButton::Paint() {
    TCanvas* canvas = Canvas();
    HDC dc = canvas->TextHandle(false);
    if (!Enabled()) {
        state_ = TButtonState::bsDisabled;
        dragging_ = false;
    } else if (state_ == TButtonState::bsDisabled) {
        state_ = down_ && groupIndex_ != 0 ? TButtonState::bsExclusive : TButtonState::bsUp;
    }
    RECT r{0, 0, Width(), Height()};
    TOwnedBrush face(CreateSolidBrush(ColorToRGB(Color())));
    ::FillRect(dc, &r, face.Get());
    bool pressed = state_ == TButtonState::bsDown || state_ == TButtonState::bsExclusive;
    if (!flat_) {
        UINT flags = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (pressed ? DFCS_PUSHED : 0);
        RECT frame = r;
        DrawFrameControl(dc, &frame, DFC_BUTTON, flags);
        ::FillRect(dc, &frame, face.Get());
    } else if (pressed || (mouseInControl_ && Enabled())) {
        RECT frame = r;
        DrawEdge(dc, &frame, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    }
    POINT offset = pressed ? POINT{1, 1} : POINT{0, 0};
    RECT client{1, 1, Width() - 1, Height() - 1};
    SetTextColor(dc, ColorToRGB(Font()->Color()));
    DrawButtonGlyphAndCaption(dc, client, offset, glyph_, !Caption().empty() || GetTextLen() > 0, layout_, margin_,
                              spacing_, state_, wordWrap_,
                              [this](HDC d, RECT& rect, UINT flags) { PaintCaption(d, rect, flags); });
}

// ---- TBitBtn ---------------------------------------------------------------------------------

std::string BitBtnKindCaption(TBitBtnKind Kind) {
    static const char* const captions[] = {"",       "OK",     "Cancel", "&Help",   "&Yes", "&No",
                                           "&Close", "Abort",  "&Retry", "&Ignore", "&All"};
    return captions[static_cast<int>(Kind)];
}

TModalResult BitBtnKindModalResult(TBitBtnKind Kind) {
    static const TModalResult results[] = {mrNone, mrOk,  mrCancel, mrNone,   mrYes, mrNo,
                                           mrNone, mrAbort, mrRetry, mrIgnore, mrAll};
    return results[static_cast<int>(Kind)];
}

void TBitBtn::SetKind(TBitBtnKind Value) {
    if (Value == kind_) return;
    kind_ = Value;
    if (Value != TBitBtnKind::bkCustom) {
        SetCaption(BitBtnKindCaption(Value));
        SetModalResult(BitBtnKindModalResult(Value));
        SetDefault(Value == TBitBtnKind::bkOK || Value == TBitBtnKind::bkYes);
        SetCancel(Value == TBitBtnKind::bkCancel || Value == TBitBtnKind::bkNo);
    }
    Invalidate();
}

bool TBitBtn::IsCaptionStored() {
    return kind_ == TBitBtnKind::bkCustom || Caption() != BitBtnKindCaption(kind_);
}

void TBitBtn::Click() {
    if (kind_ == TBitBtnKind::bkClose) {
        if (TCustomForm* form = GetParentForm(this)) {
            form->Close();
            return;
        }
    }
    TButton::Click();
}

void TBitBtn::CreateParams(TCreateParams& Params) {
    TButton::CreateParams(Params);
    Params.Style = (Params.Style & ~static_cast<DWORD>(0x0F)) | BS_OWNERDRAW;
}

void TBitBtn::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case BM_SETSTYLE:
            // The push button's default look is drawn here: the window stays owner-drawn.
            isFocused_ = (Message.WParam & 0x0F) == BS_DEFPUSHBUTTON;
            Message.WParam = BS_OWNERDRAW;
            Invalidate();
            break;
        case CN_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(Message.LParam));
            Message.Result = 1;
            return;
        case WM_LBUTTONDBLCLK:
            // A double click is two clicks, as on an ordinary push button.
            Message.Msg = WM_LBUTTONDOWN;
            break;
        case CM_ENABLEDCHANGED:
        case CM_TEXTCHANGED:
        case CM_FONTCHANGED:
            Invalidate();
            break;
        default:
            break;
    }
    TButton::Dispatch(Message);
}

void TBitBtn::PaintCaption(HDC DC, RECT& Rect, UINT Flags) {
    DrawButtonCaptionAnsi(DC, Caption(), Rect, Flags, Enabled());
}

void TBitBtn::DrawItem(const DRAWITEMSTRUCT& Item) {
    HDC dc = Item.hDC;
    TSavedDC saved(dc);
    bool down = (Item.itemState & ODS_SELECTED) != 0;
    bool focused = (Item.itemState & ODS_FOCUS) != 0;
    RECT r = Item.rcItem;
    if (isFocused_ || focused) {
        TOwnedBrush frame(CreateSolidBrush(ColorToRGB(clWindowFrame)));
        ::FrameRect(dc, &r, frame.Get());
        InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (down ? DFCS_PUSHED : 0));
    TButtonState state = !Enabled() ? TButtonState::bsDisabled : down ? TButtonState::bsDown : TButtonState::bsUp;
    SelectObject(dc, Font()->Handle());
    SetTextColor(dc, ColorToRGB(Font()->Color()));
    RECT client = r;
    InflateRect(&client, -1, -1);
    DrawButtonGlyphAndCaption(dc, client, down ? POINT{1, 1} : POINT{0, 0}, glyph_, GetTextLen() > 0, layout_,
                              margin_, spacing_, state, WordWrap(),
                              [this](HDC d, RECT& rect, UINT flags) { PaintCaption(d, rect, flags); });
    if (focused) {
        RECT f = r;
        InflateRect(&f, -2, -2);
        DrawFocusRect(dc, &f);
    }
}

}  // namespace classlib
