// The Hover label.
#include "widgets/hover/hx_label.h"

#include <algorithm>
#include <cmath>

#include "classlib/gdi_handles.h"
#include "classlib/std_text.h"
#include "widgets/hover/hx_themes.h"

namespace hover {

using namespace classlib;

const GUID IID_IHxHotTrack = {0x8F1B40FB, 0xD8E3, 0x46FE, {0xA7, 0xA3, 0x21, 0xCE, 0x4B, 0x19, 0x9A, 0x8F}};

IHxHotTrack* HotTrackOf(TObject* Object) { return dynamic_cast<IHxHotTrack*>(Object); }

namespace {

constexpr UINT kAlignFlags[3] = {0, DT_RIGHT, DT_CENTER};  // left, right, centre
constexpr size_t kMaxRotatedText = 4096;

UINT AlignFlag(TAlignment a) {
    switch (a) {
        case TAlignment::taRightJustify: return kAlignFlags[1];
        case TAlignment::taCenter: return kAlignFlags[2];
        default: return kAlignFlags[0];
    }
}

UINT EllipsisFlag(THxTextEllipsis e) {
    switch (e) {
        case THxTextEllipsis::teWordEllipsis: return DT_WORD_ELLIPSIS;
        case THxTextEllipsis::tePathEllipsis: return DT_PATH_ELLIPSIS;
        case THxTextEllipsis::teEndEllipsis: return DT_END_ELLIPSIS;
        default: return 0;
    }
}

POINT ShadowOffset(TShadowPosition Pos, int Size) {
    switch (Pos) {
        case TShadowPosition::spLeftTop: return POINT{-Size, -Size};
        case TShadowPosition::spLeftBottom: return POINT{-Size, Size};
        case TShadowPosition::spRightTop: return POINT{Size, -Size};
        default: return POINT{Size, Size};
    }
}

// The shadow's colour as the system can take it: clDefault means the label's default shadow
// colour (the value itself is no colour the system knows).
COLORREF ShadowRGB(TColor Colour) {
    if (Colour == clDefault) Colour = clBtnHighlight;
    return ColorToRGB(Colour);
}

// The library starts no drag operations, so none is ever under way.
constexpr bool IsDragging() { return false; }

}  // namespace

THxCustomLabel::THxCustomLabel(TComponent* AOwner)
    : THxExGraphicControl(AOwner),
      hotTrackFont_(std::make_unique<TFont>()),
      hotTrackOptions_(std::make_unique<THxHotTrackOptions>()),
      provider_(HxNew<THxDataConsumer>(this, std::vector<int>{2})) {
    SetBounds(Left(), Top(), 65, 17);
    std::uint32_t style = ControlStyle() | csOpaque | csReplicatable;
    // Under visual themes a label is always see-through.
    if (ThemesEnabled()) style &= ~static_cast<std::uint32_t>(csOpaque);
    SetControlStyle(style);
    hotTrackFont_->OnChange = [this](TObject*) {
        if (MouseOver()) Invalidate();
    };
    imageLink_.OnChange = [this](TObject*) { Invalidate(); };
    provider_->OnChanged = [this](TObject*, int Reason) { ConsumerChanged(Reason); };
}

THxCustomLabel::~THxCustomLabel() {
    if (images_ != nullptr) images_->UnRegisterChanges(&imageLink_);
    provider_->OnChanged = nullptr;
    // The consumer goes with the label; a reference held elsewhere keeps it alive without owner.
    provider_->DetachOwner();
    provider_.Reset();
}

// ---- Properties ------------------------------------------------------------------------------

void THxCustomLabel::Resize() {
    needsResize_ = true;
    AdjustBounds();
}

void THxCustomLabel::SetFocusControl(TWinControl* Value) {
    if (focusControl_ != nullptr) focusControl_->RemoveFreeNotification(this);
    focusControl_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    if (showFocus_) Invalidate();
}


void THxCustomLabel::SetShadowSize(int Value) {
    Value = std::clamp(Value, 0, 255);
    if (shadowSize_ == Value) return;
    shadowSize_ = Value;
    Resize();
    Invalidate();
}

void THxCustomLabel::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    Resize();
}

void THxCustomLabel::SetMargin(int Value) {
    Value = std::max(Value, 0);
    if (margins_.left == Value && margins_.top == Value && margins_.right == Value && margins_.bottom == Value) return;
    margins_ = RECT{Value, Value, Value, Value};
    Resize();
    Invalidate();
}

void THxCustomLabel::SetTransparent(bool Value) {
    std::uint32_t style = ControlStyle() & ~static_cast<std::uint32_t>(csOpaque);
    if (!ThemesEnabled() && !Value) style |= csOpaque;
    SetControlStyle(style);
    Invalidate();
}

void THxCustomLabel::DropProvider() {
    if (provider_->ProviderActive()) provider_->SetProvider(nullptr);
}

void THxCustomLabel::SetImageIndex(int Value) {
    if (imageIndex_ == Value) return;
    imageIndex_ = Value;
    if (ImageShown() || (images_ != nullptr && Value >= 0)) DropProvider();
    Resize();
    Invalidate();
}

void THxCustomLabel::SetImages(TCustomImageList* Value) {
    if (images_ == Value) return;
    DropProvider();
    if (images_ != nullptr) {
        images_->UnRegisterChanges(&imageLink_);
        images_->RemoveFreeNotification(this);
    }
    images_ = Value;
    if (images_ != nullptr) {
        images_->RegisterChanges(&imageLink_);
        images_->FreeNotification(this);
    }
    if (autoSize_)
        Resize();
    else
        Invalidate();
}

void THxCustomLabel::SetSpacing(int Value) {
    if (spacing_ == Value) return;
    spacing_ = Value;
    if (autoSize_)
        Resize();
    else
        Invalidate();
}

void THxCustomLabel::SetAngle(int Value) {
    Value = std::clamp(Value, -360, 360);
    if (Value < 0) Value += 360;
    if (angle_ == Value) return;
    angle_ = Value;
    needsResize_ = autoSize_;
    AdjustBounds();
    Invalidate();
}

void THxCustomLabel::SetAutoSize(bool Value) {
    if (autoSize_ == Value) return;
    autoSize_ = Value;
    needsResize_ = Value;
    AdjustBounds();
}

void THxCustomLabel::SetHotTrackFontOptions(THxTrackFontOptions Value) {
    if (hotTrackFontOptions_ == Value) return;
    hotTrackFontOptions_ = Value;
    TrackFont();
}

void THxCustomLabel::SetHotTrackOptions(THxHotTrackOptions* Value) {
    if (Value != nullptr) hotTrackOptions_->Assign(Value);
}

void THxCustomLabel::SetRoundedFrame(int Value) {
    if (Value < 0 || Value >= Height() / 2 || roundedFrame_ == Value) return;
    roundedFrame_ = Value;
    Invalidate();
}

void THxCustomLabel::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    needsResize_ = ALeft != Left() || ATop != Top() || AWidth != Width() || AHeight != Height();
    THxExGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void THxCustomLabel::Loaded() {
    THxExGraphicControl::Loaded();
    provider_->Loaded();
    needsResize_ = true;
    AdjustBounds();
}

void THxCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
    THxExGraphicControl::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    if (AComponent == focusControl_) focusControl_ = nullptr;
    if (AComponent == images_) {
        images_ = nullptr;
        Invalidate();
    }
}

void THxCustomLabel::TrackFont() { FollowFont(hotTrackFont_.get(), Font(), hotTrackFontOptions_); }

void THxCustomLabel::ConsumerChanged(int Reason) {
    if (!provider_->ProviderActive() && Reason != crProviderChanged) return;
    Resize();
}

// ---- Text ------------------------------------------------------------------------------------

std::string THxCustomLabel::CaptionText() {
    if (provider_->ProviderActive()) {
        if (IHxDataItem* item = provider_->SelectedItem())
            if (IHxDataItemText* text = Supports<IHxDataItemText>(item)) return text->Caption();
    }
    return Caption();
}

bool THxCustomLabel::ImageShown() {
    return !provider_->ProviderActive() && images_ != nullptr && imageIndex_ >= 0 && imageIndex_ < images_->Count();
}

int THxCustomLabel::ImageWidth() { return ImageShown() ? images_->Width() : 0; }
int THxCustomLabel::ImageHeight() { return ImageShown() ? images_->Height() : 0; }

bool THxCustomLabel::Hot() const { return Enabled() && MouseOver() && hotTrack_; }

std::string THxCustomLabel::MeasuredCaption(UINT Flags) {
    std::string text = CaptionText();
    // An empty caption (or a lone accelerator mark) still measures one character.
    const bool blank = text.empty() || (showAccelChar_ && text.size() == 1 && text[0] == '&');
    if ((Flags & DT_CALCRECT) != 0 && blank) return std::string(1, ' ');
    return text;
}

void THxCustomLabel::DrawLabelText(RECT& Rect, UINT Flags) {
    if (provider_->ProviderActive())
        DrawProviderText(Rect, Flags);
    else
        DrawOwnText(Rect, Flags);
}

void THxCustomLabel::DrawOwnText(RECT& Rect, UINT Flags) {
    TCanvas* canvas = drawCanvas_ != nullptr ? drawCanvas_ : Canvas();
    HDC dc = canvas->Handle();
    const std::string text = MeasuredCaption(Flags);
    if (!showAccelChar_) Flags |= DT_NOPREFIX;
    Flags |= EllipsisFlag(textEllipsis_);
    Flags = DrawTextBiDiModeFlags(Flags);
    TFont* font = MouseOver() && hotTrack_ ? hotTrackFont_.get() : Font();
    COLORREF textColour = ColorToRGB(font == Font() ? DefaultFontColor() : font->Color());
    int shadowSize = shadowSize_;
    TShadowPosition shadowPos = shadowPos_;
    COLORREF shadowColour = ShadowRGB(shadowColor_);
    bool shadow = shadowColor_ != clNone;
    if (!Enabled()) {
        if (shadowSize == 0) {
            shadowSize = 1;
            shadowPos = TShadowPosition::spRightBottom;
        }
        textColour = ColorToRGB(clGrayText);
        shadowColour = ColorToRGB(clBtnHighlight);
        shadow = true;
    }
    const bool withImage = ImageShown();
    if (withImage) Rect.left += ImageWidth() + spacing_;
    if (angle_ != 0) {
        DrawRotatedText(Rect, Flags, withImage, shadow ? shadowSize : 0, shadowColour, shadowPos);
    } else {
        TSelectedObject select(dc, font->Handle());
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        RECT shadowRect = Rect;
        POINT d = ShadowOffset(shadowPos, shadowSize);
        OffsetRect(&shadowRect, d.x, d.y);
        if (shadow) {
            SetTextColor(dc, shadowColour);
            DrawTextAnsi(dc, text, shadowRect, Flags);
        } else if ((Flags & DT_CALCRECT) != 0) {
            DrawTextAnsi(dc, text, shadowRect, Flags);
        }
        SetTextColor(dc, textColour);
        DrawTextAnsi(dc, text, Rect, Flags);
        SetBkMode(dc, oldMode);
        UnionRect(&Rect, &Rect, &shadowRect);
    }
    if (withImage && (Flags & DT_CALCRECT) == 0) {
        const int ih = ImageHeight();
        int y = margins_.top;
        if (layout_ == TTextLayout::tlCenter) y = (Height() - ih) / 2;
        if (layout_ == TTextLayout::tlBottom) y = Height() - ih - margins_.bottom;
        images_->Draw(canvas, margins_.left, std::max<int>(y, margins_.top), imageIndex_, Enabled());
    }
}

void THxCustomLabel::DrawRotatedText(RECT& Rect, UINT Flags, bool WithImage, int ShadowSize, COLORREF ShadowColor,
                                     TShadowPosition ShadowPos) {
    TCanvas* canvas = drawCanvas_ != nullptr ? drawCanvas_ : Canvas();
    HDC dc = canvas->Handle();
    std::string text = MeasuredCaption(Flags);
    if (text.size() >= kMaxRotatedText) text.resize(kMaxRotatedText - 1);
    TFont* font = MouseOver() ? hotTrackFont_.get() : Font();
    LOGFONTA lf{};
    CheckWin32(GetObjectA(font->Handle(), sizeof(lf), &lf) != 0);
    lf.lfEscapement = lf.lfOrientation = angle_ * 10;
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    TOwnedFont rotated(CreateFontIndirectA(&lf));
    SIZE size{};
    {
        TSelectedObject plain(dc, font->Handle());
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    }
    const double pi = 3.14159265358979323846;
    int reduced = angle_ < 90 ? 90 - angle_ : angle_ < 180 ? angle_ - 90 : angle_ < 270 ? 270 - angle_ : angle_ - 270;
    const double t = reduced * pi / 180.0;
    const int w = size.cx, h = size.cy;
    const int a = static_cast<int>(std::lround(std::sin(t) * w)), b = static_cast<int>(std::lround(std::cos(t) * w));
    const int c = static_cast<int>(std::lround(std::cos(t) * h)), d = static_cast<int>(std::lround(std::sin(t) * h));
    const int W = a + c, H = b + d;
    double x = 0, y = 0;
    if (autoSize_) {
        if (angle_ < 90) { x = 0; y = b; }
        else if (angle_ < 180) { x = a; y = H; }
        else if (angle_ < 270) { x = W; y = d; }
        else { x = c; y = 0; }
    } else {
        const double hw = ClientWidth() / 2.0, hh = ClientHeight() / 2.0;
        const int col = alignment_ == TAlignment::taLeftJustify ? 0 : alignment_ == TAlignment::taCenter ? 1 : 2;
        if (angle_ < 90) {
            y = (H - 2.0 * d) / 2 + hh;
            x = col == 0 ? 0 : col == 1 ? hw - W / 2.0 : 2 * hw - W;
        } else if (angle_ < 180) {
            y = H / 2.0 + hh;
            x = col == 0 ? a : col == 1 ? (W - 2.0 * c) / 2 + hw : 2 * hw - c;
        } else if (angle_ < 270) {
            y = hh - (H - 2.0 * d) / 2;
            x = col == 0 ? W : col == 1 ? W / 2.0 + hw : 2 * hw;
        } else {
            y = hh - H / 2.0;
            x = col == 0 ? c : col == 1 ? hw - (W - 2.0 * c) / 2 : 2 * hw - a;
        }
    }
    int ox = static_cast<int>(std::lround(x)), oy = static_cast<int>(std::lround(y));
    if ((Flags & DT_CALCRECT) != 0) {
        Rect.right = Rect.left + W;
        Rect.bottom = Rect.top + H;
        if (WithImage) Rect.right += ImageWidth();
        Rect.right += margins_.left + margins_.right;
        Rect.bottom += margins_.top + margins_.bottom;
        return;
    }
    if (WithImage) {
        if (alignment_ == TAlignment::taLeftJustify) ox += ImageWidth();
        if (alignment_ == TAlignment::taCenter) ox += ImageWidth() / 2;
    }
    ox += margins_.left;
    oy += margins_.top;
    TSelectedObject select(dc, rotated.Get());
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    if (ShadowSize > 0) {
        POINT s = ShadowOffset(ShadowPos, ShadowSize);
        SetTextColor(dc, ShadowColor);
        TextOutA(dc, ox + s.x, oy + s.y, text.c_str(), static_cast<int>(text.size()));
    }
    COLORREF colour = ColorToRGB(font->Color());
    if (!Enabled()) {
        SetTextColor(dc, ColorToRGB(clBtnHighlight));
        TextOutA(dc, ox + 1, oy + 1, text.c_str(), static_cast<int>(text.size()));
        colour = ColorToRGB(clBtnShadow);
    }
    SetTextColor(dc, colour);
    TextOutA(dc, ox, oy, text.c_str(), static_cast<int>(text.size()));
    SetBkMode(dc, oldMode);
}

void THxCustomLabel::DrawProviderText(RECT& Rect, UINT Flags) {
    IHxDataItem* item = provider_->SelectedItem();
    IHxDataItemsRenderer* listRenderer = item != nullptr ? Supports<IHxDataItemsRenderer>(item->Items()) : nullptr;
    IHxDataItemRenderer* itemRenderer = item != nullptr && listRenderer == nullptr ? Supports<IHxDataItemRenderer>(item) : nullptr;
    if (listRenderer == nullptr && itemRenderer == nullptr) {
        DrawOwnText(Rect, Flags);
        return;
    }
    TCanvas* canvas = drawCanvas_ != nullptr ? drawCanvas_ : Canvas();
    canvas->Brush()->SetColor(Color());
    canvas->SetFont(MouseOver() ? hotTrackFont_.get() : Font());
    if ((Flags & DT_CALCRECT) != 0) {
        const SIZE s = listRenderer != nullptr ? listRenderer->MeasureItem(canvas, item) : itemRenderer->Measure(canvas);
        Rect.right = Rect.left + s.cx;
        Rect.bottom = Rect.top + s.cy;
        return;
    }
    const THxProviderDrawStates state = Enabled() ? 0 : pdsDisabled;
    if (listRenderer != nullptr)
        listRenderer->DrawItem(canvas, Rect, item, state);
    else
        itemRenderer->Draw(canvas, Rect, state);
}

// ---- Painting and sizing ---------------------------------------------------------------------

void THxCustomLabel::DrawCutCornerFrame(TColor Colour, RECT R, int Radius) {
    TCanvas* canvas = Canvas();
    const RECT client = R;
    --R.right;
    --R.bottom;
    const POINT points[9] = {{R.left + Radius, R.top}, {R.right - Radius, R.top}, {R.right, R.top + Radius},
                             {R.right, R.bottom - Radius}, {R.right - Radius, R.bottom}, {R.left + Radius, R.bottom},
                             {R.left, R.bottom - Radius}, {R.left, R.top + Radius}, {R.left + Radius, R.top}};
    TColor old = canvas->Pen()->Color();
    canvas->Pen()->SetColor(Colour);
    canvas->Polyline(points, 9);
    canvas->Pen()->SetColor(old);
    // An opaque label fills the inside of its frame in the brush colour, from just inside the
    // left edge to the frame all round; the cut corners keep what is behind the label.
    if (Transparent()) return;
    HDC dc = canvas->Handle();
    TSavedDC saved(dc);
    IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
    TOwnedBrush brush(CreateSolidBrush(ColorToRGB(canvas->Brush()->Color())));
    TSelectedObject select(dc, brush.Get());
    ExtFloodFill(dc, client.left + 1, client.top + Radius, ColorToRGB(Colour), FLOODFILLBORDER);
}

void THxCustomLabel::Paint() {
    if (!Enabled() && !HasState(csDesigning)) pressed_ = false;
    TCanvas* canvas = Canvas();
    drawCanvas_ = canvas;
    RECT client = ClientRect();
    if (!Hot()) {
        canvas->Brush()->SetColor(Color());
        canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
        if (!Transparent() && (roundedFrame_ == 0 || frameColor_ == clNone)) DrawThemedBackground(this, canvas, client, Color());
        if (Transparent()) canvas->Brush()->SetStyle(TBrushStyle::bsClear);
        if (frameColor_ != clNone) {
            if (roundedFrame_ != 0) {
                canvas->Brush()->SetColor(Color());
                if (Transparent()) canvas->Brush()->SetStyle(TBrushStyle::bsClear);
                DrawCutCornerFrame(frameColor_, client, roundedFrame_);
            } else {
                TColor old = canvas->Brush()->Color();
                canvas->Brush()->SetColor(frameColor_);
                canvas->FrameRect(client);
                canvas->Brush()->SetColor(old);
            }
        }
    } else if (hotTrackOptions_->Enabled()) {
        canvas->Brush()->SetColor(hotTrackOptions_->Color());
        canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
        if (hotTrackOptions_->FrameVisible()) {
            if (roundedFrame_ != 0) {
                DrawCutCornerFrame(hotTrackOptions_->FrameColor(), client, roundedFrame_);
            } else {
                TColor old = canvas->Pen()->Color();
                canvas->Pen()->SetColor(hotTrackOptions_->FrameColor());
                canvas->Rectangle(0, 0, Width(), Height());
                canvas->Pen()->SetColor(old);
            }
        } else {
            canvas->FillRect(client);
        }
    }
    RECT r{client.left + margins_.left, client.top + margins_.top, client.right - margins_.right, client.bottom - margins_.bottom};
    InflateRect(&r, -1, -1);
    const UINT flags = (wordWrap_ ? DT_WORDBREAK : 0) | DT_EXPANDTABS | AlignFlag(alignment_);
    if (layout_ != TTextLayout::tlTop) {
        RECT measured = r;
        DrawLabelText(measured, flags | DT_CALCRECT);
        const int room = Height() - measured.bottom;
        OffsetRect(&r, 0, layout_ == TTextLayout::tlBottom ? room : room / 2);
    }
    r.left = margins_.left;
    r.right -= margins_.right;
    DrawLabelText(r, flags);
    if (showFocus_ && focusControl_ != nullptr && focused_ && !HasState(csDesigning)) {
        InflateRect(&r, 1, 1);
        canvas->Brush()->SetColor(Color());
        canvas->DrawFocusRect(r);
    }
    drawCanvas_ = nullptr;
}

void THxCustomLabel::AdjustBounds() {
    if (HasState(csReading) || !autoSize_ || !needsResize_) {
        needsResize_ = false;
        return;
    }
    TWindowDC screen(nullptr);
    TCanvas canvas;
    canvas.SetHandle(screen.Get());
    drawCanvas_ = &canvas;
    RECT r{1, 1, std::max(Width() - 1, 1), std::max(Height() - 1, 1)};
    try {
        if (angle_ != 0) {
            DrawRotatedText(r, AlignFlag(alignment_) | 0x450, ImageShown(), 0, 0, shadowPos_);
        } else {
            r.left += margins_.left;
            r.top += margins_.top;
            r.right -= margins_.right;
            r.bottom -= margins_.bottom;
            DrawLabelText(r, (wordWrap_ ? DT_WORDBREAK : 0) | DT_CALCRECT | DT_EXPANDTABS);
            r.left -= margins_.left;
            r.top -= margins_.top;
            r.right += margins_.right;
            r.bottom += margins_.bottom + margins_.top;
        }
    } catch (...) {
        drawCanvas_ = nullptr;
        canvas.SetHandle(nullptr);
        needsResize_ = false;
        throw;
    }
    drawCanvas_ = nullptr;
    canvas.SetHandle(nullptr);
    InflateRect(&r, 1, 1);
    const bool image = ImageShown();
    if (image) r.bottom = std::max<LONG>(r.bottom, r.top + ImageHeight());
    TAlignment align = alignment_;
    if (UseRightToLeftAlignment() && align != TAlignment::taCenter)
        align = align == TAlignment::taLeftJustify ? TAlignment::taRightJustify : TAlignment::taLeftJustify;
    int x = Left();
    if (align == TAlignment::taRightJustify && !image) x = Left() + Width() - r.right;
    SetBounds(x, Top(), r.right, r.bottom);
    needsResize_ = false;
}

// ---- Mouse, keys and focus -------------------------------------------------------------------

void THxCustomLabel::MouseEnter(TControl* Control) {
    if (HasState(csDesigning)) return;
    if (MouseOver() || !Enabled() || !IsForegroundTask()) return;
    const bool repaint = !Transparent() && (ThemesEnabled() || (hotTrack_ && !IsKeyPressed(VK_LBUTTON) && !IsDragging() && !pressed_));
    THxExGraphicControl::MouseEnter(Control);
    if (repaint) Invalidate();
}

void THxCustomLabel::MouseLeave(TControl* Control) {
    if (HasState(csDesigning)) return;
    if (!MouseOver() || !Enabled()) return;
    const bool repaint = !Transparent() && (ThemesEnabled() || (hotTrack_ && (pressed_ || !(IsKeyPressed(VK_LBUTTON) || IsDragging()))));
    THxExGraphicControl::MouseLeave(Control);
    if (repaint) Invalidate();
}

void THxCustomLabel::Recheck() {
    POINT p;
    const bool under = GetCursorPos(&p) && FindDragTarget(p, true) == this;
    const bool over = Enabled() && !IsKeyPressed(VK_LBUTTON) && !IsDragging() && under && IsForegroundTask();
    if (over == MouseOver()) return;
    if (over)
        THxExGraphicControl::MouseEnter(this);
    else
        THxExGraphicControl::MouseLeave(this);
    Invalidate();
}

void THxCustomLabel::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == TMouseButton::mbLeft && Enabled()) pressed_ = true;
    THxExGraphicControl::MouseDown(Button, Shift, X, Y);
}

void THxCustomLabel::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    THxExGraphicControl::MouseUp(Button, Shift, X, Y);
    if (Button == TMouseButton::mbLeft && pressed_) {
        pressed_ = false;
        Recheck();
    }
}

void THxCustomLabel::Click() {
    bool handled = false;
    if (provider_->ProviderActive()) {
        if (IHxDataItem* item = provider_->SelectedItem())
            if (IHxDataItemBasicAction* action = Supports<IHxDataItemBasicAction>(item)) handled = action->Execute(this);
    }
    if (handled) return;
    THxExGraphicControl::Click();
    if (autoOpenURL_ && !url_.empty()) OpenObject(url_);
}

bool THxCustomLabel::WantKey(int Key, TShiftState Shift, const std::string& KeyText) {
    if (focusControl_ != nullptr && Enabled() && showAccelChar_ && IsAccel(static_cast<WPARAM>(Key), CaptionText()) &&
        (Shift & ssAlt) != 0) {
        if (focusControl_->CanFocus()) focusControl_->SetFocus();
        return true;
    }
    return THxExGraphicControl::WantKey(Key, Shift, KeyText);
}

void THxCustomLabel::FocusChanged(TWinControl* Control) {
    const bool now = focusControl_ != nullptr && Control == focusControl_;
    if (now != focused_) {
        focused_ = now;
        if (showFocus_) Invalidate();
    }
    THxExGraphicControl::FocusChanged(Control);
}

void THxCustomLabel::FontChanged() {
    THxExGraphicControl::FontChanged();
    Resize();
    TrackFont();
}

void THxCustomLabel::TextChanged() {
    THxExGraphicControl::TextChanged();
    DropProvider();
    Invalidate();
    Resize();
}

void THxCustomLabel::EnabledChanged() {
    THxExGraphicControl::EnabledChanged();
    Recheck();
}

}  // namespace hover
