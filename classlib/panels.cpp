// Panels, bevels and shapes of the class library.
#include "classlib/panels.h"

#include <algorithm>

#include "classlib/gdi_handles.h"
#include "classlib/themes.h"

namespace classlib {

void Frame3D(TCanvas* Canvas, RECT& Rect, TColor TopColor, TColor BottomColor, int Width) {
    TPen* pen = Canvas->Pen();
    pen->SetWidth(1);
    --Rect.bottom;
    --Rect.right;
    for (int i = 0; i < Width; ++i) {
        pen->SetColor(TopColor);
        POINT top[3] = {{Rect.left, Rect.bottom}, {Rect.left, Rect.top}, {Rect.right, Rect.top}};
        Canvas->Polyline(top, 3);
        pen->SetColor(BottomColor);
        POINT bottom[3] = {{Rect.right, Rect.top}, {Rect.right, Rect.bottom}, {Rect.left - 1, Rect.bottom}};
        Canvas->Polyline(bottom, 3);
        InflateRect(&Rect, -1, -1);
    }
    ++Rect.bottom;
    ++Rect.right;
}

// ---- TCustomPanel ----------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks |
                    csReplicatable | csParentBackground);
    SetBounds(0, 0, 185, 41);
    SetParentColor(false);
    SetColor(clBtnFace);
}

void TCustomPanel::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    Invalidate();
}

void TCustomPanel::SetBevelInner(TPanelBevel Value) {
    bevelInner_ = Value;
    Realign();
}

void TCustomPanel::SetBevelOuter(TPanelBevel Value) {
    bevelOuter_ = Value;
    Realign();
}

void TCustomPanel::SetBevelWidth(int Value) {
    bevelWidth_ = std::max(1, Value);
    Realign();
}

void TCustomPanel::SetBorderWidth(int Value) {
    borderWidth_ = std::max(0, Value);
    Realign();
}

void TCustomPanel::Realign() {
    AlignControls();
    Invalidate();
}

RECT TCustomPanel::ClientRect() {
    RECT r = TCustomControl::ClientRect();
    int inset = borderWidth_;
    if (bevelOuter_ != TPanelBevel::bvNone) inset += bevelWidth_;
    if (bevelInner_ != TPanelBevel::bvNone) inset += bevelWidth_;
    InflateRect(&r, -inset, -inset);
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool TCustomPanel::ShowsParentBackground() const { return ParentBackground() && ThemesEnabled(); }

void TCustomPanel::PaintParentBackground(HDC DC) {
    RECT all{};
    GetClientRect(WindowHandle(), &all);
    if (DrawParentBackground(WindowHandle(), DC, all)) return;
    TOwnedBrush brush(CreateSolidBrush(ColorToRGB(Color())));
    FillRect(DC, &all, brush.Get());
}

void TCustomPanel::Dispatch(TMessage& Message) {
    // The erase of a panel that shows its parent, its own or one asked for by a child that shows
    // its parent in turn, gives the parent's background, never the panel's colour.
    if (Message.Msg == WM_ERASEBKGND && HandleAllocated() && ShowsParentBackground()) {
        PaintParentBackground(reinterpret_cast<HDC>(Message.WParam));
        Message.Result = 1;
        return;
    }
    TCustomControl::Dispatch(Message);
    if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_FONTCHANGED) Invalidate();
}

void TCustomPanel::PaintFrame(RECT& Rect) {
    TCanvas* canvas = Canvas();
    Rect = TCustomControl::ClientRect();
    const bool parentBackground = ShowsParentBackground() && HandleAllocated();
    // What the panel leaves unpainted shows its parent, as the theme engine draws it (or, where it
    // cannot, the panel's own colour): drawn here too, as an invalidated panel is not erased.
    if (parentBackground) PaintParentBackground(canvas->Handle());
    auto bevel = [&](TPanelBevel b) {
        if (b == TPanelBevel::bvNone) return;
        TColor top = b == TPanelBevel::bvLowered ? clBtnShadow : clBtnHighlight;
        TColor bottom = b == TPanelBevel::bvLowered ? clBtnHighlight : clBtnShadow;
        if (b == TPanelBevel::bvSpace) top = bottom = Color();
        Frame3D(canvas, Rect, top, bottom, bevelWidth_);
    };
    bevel(bevelOuter_);
    if (parentBackground)
        InflateRect(&Rect, -borderWidth_, -borderWidth_);
    else
        Frame3D(canvas, Rect, Color(), Color(), borderWidth_);
    bevel(bevelInner_);
    if (parentBackground) return;
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(Rect);
}

void TCustomPanel::Paint() {
    RECT r{};
    PaintFrame(r);
    TCanvas* canvas = Canvas();
    canvas->Brush()->SetStyle(TBrushStyle::bsClear);
    canvas->SetFont(Font());
    int h = canvas->TextHeight("W");
    r.top = (r.top + r.bottom - h) / 2;
    r.bottom = r.top + h;
    static const UINT horizontal[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    UINT flags = DrawTextBiDiModeFlags(DT_EXPANDTABS | DT_VCENTER | horizontal[static_cast<int>(alignment_)]);
    DrawTextAnsi(canvas->TextHandle(), Text(), r, flags);
}

// ---- TBevel ----------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(ControlStyle() | csReplicatable);
    SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape Value) {
    shape_ = Value;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle Value) {
    style_ = Value;
    Invalidate();
}

void TBevel::Paint() {
    TCanvas* canvas = Canvas();
    TColor top = style_ == TBevelStyle::bsLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = style_ == TBevelStyle::bsLowered ? clBtnHighlight : clBtnShadow;
    TPen* pen = canvas->Pen();
    pen->SetWidth(1);
    int w = Width(), h = Height();
    auto line = [&](TColor c, int x1, int y1, int x2, int y2) {
        pen->SetColor(c);
        canvas->MoveTo(x1, y1);
        canvas->LineTo(x2, y2);
    };
    switch (shape_) {
        case TBevelShape::bsBox: {
            RECT r{0, 0, w, h};
            Frame3D(canvas, r, top, bottom, 1);
            break;
        }
        case TBevelShape::bsFrame: {
            RECT r{0, 0, w - 1, h - 1};
            Frame3D(canvas, r, top, top, 1);
            r = RECT{1, 1, w, h};
            Frame3D(canvas, r, bottom, bottom, 1);
            break;
        }
        case TBevelShape::bsTopLine: line(top, 0, 0, w, 0); line(bottom, 0, 1, w, 1); break;
        case TBevelShape::bsBottomLine: line(top, 0, h - 2, w, h - 2); line(bottom, 0, h - 1, w, h - 1); break;
        case TBevelShape::bsLeftLine: line(top, 0, 0, 0, h); line(bottom, 1, 0, 1, h); break;
        case TBevelShape::bsRightLine: line(top, w - 2, 0, w - 2, h); line(bottom, w - 1, 0, w - 1, h); break;
        case TBevelShape::bsSpacer: break;
    }
}

// ---- TShape ----------------------------------------------------------------------------------

TShape::TShape(TComponent* AOwner) : TGraphicControl(AOwner) {
    SetControlStyle(ControlStyle() | csReplicatable);
    SetBounds(0, 0, 65, 65);
    pen_.OnChange = [this](TObject*) { Invalidate(); };
    brush_.OnChange = [this](TObject*) { Invalidate(); };
}

void TShape::SetShape(TShapeType Value) {
    shape_ = Value;
    Invalidate();
}

void TShape::Paint() {
    TCanvas* canvas = Canvas();
    canvas->SetPen(&pen_);
    canvas->SetBrush(&brush_);
    int pw = pen_.Width();
    int x = pw / 2, y = pw / 2;
    int w = Width() - pw + 1, h = Height() - pw + 1;
    if (pw == 0) {
        --w;
        --h;
    }
    if (w < h && (shape_ == TShapeType::stSquare || shape_ == TShapeType::stRoundSquare || shape_ == TShapeType::stCircle)) {
        y += (h - w) / 2;
        h = w;
    } else if (h < w && (shape_ == TShapeType::stSquare || shape_ == TShapeType::stRoundSquare ||
                         shape_ == TShapeType::stCircle)) {
        x += (w - h) / 2;
        w = h;
    }
    switch (shape_) {
        case TShapeType::stRectangle:
        case TShapeType::stSquare: canvas->Rectangle(x, y, x + w, y + h); break;
        case TShapeType::stRoundRect:
        case TShapeType::stRoundSquare:
            canvas->RoundRect(x, y, x + w, y + h, std::min(w, h) / 4, std::min(w, h) / 4);
            break;
        case TShapeType::stEllipse:
        case TShapeType::stCircle: canvas->Ellipse(x, y, x + w, y + h); break;
    }
}

}  // namespace classlib
