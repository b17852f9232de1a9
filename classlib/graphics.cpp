// Fonts, brushes, pens and the canvas.
#include "classlib/graphics.h"

#include "classlib/exceptions.h"
#include "classlib/measured_text.h"
#include "classlib/threads.h"

#include <cstring>

namespace classlib {

COLORREF ColorToRGB(TColor Color) {
    if (Color < 0) return GetSysColor(Color & 0xFF);
    return static_cast<COLORREF>(Color);
}

HDC KeptScreenDC() {
    if (GetCurrentThreadId() != MainThreadID()) return nullptr;
    static const HDC screen = GetDC(nullptr);
    return screen;
}

int ScreenPixelsPerInch() {
    static const int ppi = [] {
        TWindowDC screen(nullptr);
        int value = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
        return value > 0 ? value : 96;
    }();
    return ppi;
}

// ---- TGraphicsObject --------------------------------------------------------------------------

TGraphicsObject::~TGraphicsObject() {
    if (canvas_ && canvas_->handle_) canvas_->DeselectHandles();
    FreeGdiHandle();
}

void TGraphicsObject::FreeGdiHandle() { handle_.Reset(); }

void TGraphicsObject::Changed() {
    // The canvas deselects the old handle first: a GDI object selected into a DC cannot be deleted.
    if (canvas_) canvas_->ObjectChanged(this);
    FreeGdiHandle();
    if (OnChange) OnChange(this);
}

void TGraphicsObject::ChangedKeepingHandle() {
    if (canvas_) canvas_->ObjectChanged(this);
    if (OnChange) OnChange(this);
}

// ---- TFont ------------------------------------------------------------------------------------

TFont::TFont() {
    pixelsPerInch_ = ScreenPixelsPerInch();
    height_ = -MulDiv(8, pixelsPerInch_, 72);
}

LOGFONTA TFont::LogFont() const {
    LOGFONTA lf{};
    lf.lfHeight = height_;
    lf.lfEscapement = orientation_;
    lf.lfOrientation = orientation_;
    lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style_.Contains(fsItalic) ? 1 : 0;
    lf.lfUnderline = style_.Contains(fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = style_.Contains(fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = charset_;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    switch (pitch_) {
        case TFontPitch::fpVariable: lf.lfPitchAndFamily = VARIABLE_PITCH; break;
        case TFontPitch::fpFixed: lf.lfPitchAndFamily = FIXED_PITCH; break;
        default: lf.lfPitchAndFamily = DEFAULT_PITCH; break;
    }
    // Names longer than the structure allows are cut (the system would refuse them anyway).
    std::strncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
    return lf;
}

HFONT TFont::Handle() {
    if (!handle_) {
        LOGFONTA lf = LogFont();
        handle_.Reset(CreateFontIndirectA(&lf));
        if (!handle_) RaiseLastOSError();
    }
    return static_cast<HFONT>(handle_.Get());
}

void TFont::AssignLogFont(const LOGFONTA& LogFont) {
    char face[LF_FACESIZE + 1] = {};
    std::memcpy(face, LogFont.lfFaceName, LF_FACESIZE);
    name_ = face;
    height_ = LogFont.lfHeight;
    orientation_ = LogFont.lfEscapement;
    TFontStyles s;
    if (LogFont.lfWeight >= FW_BOLD) s.Include(fsBold);
    if (LogFont.lfItalic) s.Include(fsItalic);
    if (LogFont.lfUnderline) s.Include(fsUnderline);
    if (LogFont.lfStrikeOut) s.Include(fsStrikeOut);
    style_ = s;
    charset_ = LogFont.lfCharSet;
    switch (LogFont.lfPitchAndFamily & 3) {
        case VARIABLE_PITCH: pitch_ = TFontPitch::fpVariable; break;
        case FIXED_PITCH: pitch_ = TFontPitch::fpFixed; break;
        default: pitch_ = TFontPitch::fpDefault; break;
    }
    Changed();
}

void TFont::SetHandle(HFONT hFont) {
    LOGFONTA lf{};
    if (!hFont || GetObjectA(hFont, sizeof(lf), &lf) == 0) {
        throw EInvalidOperation(L"Invalid font handle");
    }
    AssignLogFont(lf);
}

void TFont::SetName(const std::string& Value) {
    if (Value.empty() || Value == name_) return;  // an empty name keeps the current one
    name_ = Value;
    Changed();
}

int TFont::Size() const { return -MulDiv(height_, 72, pixelsPerInch_); }

void TFont::SetSize(int Value) { SetHeight(-MulDiv(Value, pixelsPerInch_, 72)); }

void TFont::SetHeight(int Value) {
    if (Value == height_) return;
    height_ = Value;
    Changed();
}

void TFont::SetColor(TColor Value) {
    if (Value == color_) return;
    color_ = Value;
    // The colour is not part of the HFONT, but the canvas sets it again and users repaint.
    ChangedKeepingHandle();
}

void TFont::SetStyle(TFontStyles Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

void TFont::SetCharset(TFontCharset Value) {
    if (Value == charset_) return;
    charset_ = Value;
    Changed();
}

void TFont::SetPitch(TFontPitch Value) {
    if (Value == pitch_) return;
    pitch_ = Value;
    Changed();
}

void TFont::SetOrientation(int Value) {
    if (Value == orientation_) return;
    orientation_ = Value;
    Changed();
}

void TFont::Assign(TPersistent* Source) {
    if (auto* f = dynamic_cast<TFont*>(Source)) {
        if (f == this) return;
        name_ = f->name_;
        // Keep the point size when the resolutions differ.
        height_ = f->pixelsPerInch_ == pixelsPerInch_ ? f->height_ : -MulDiv(f->Size(), pixelsPerInch_, 72);
        color_ = f->color_;
        style_ = f->style_;
        charset_ = f->charset_;
        pitch_ = f->pitch_;
        orientation_ = f->orientation_;
        Changed();
        return;
    }
    TGraphicsObject::Assign(Source);
}

// ---- TBrush -----------------------------------------------------------------------------------

HBRUSH TBrush::Handle() {
    if (!handle_) {
        LOGBRUSH lb{};
        lb.lbColor = ColorToRGB(color_);
        switch (style_) {
            case TBrushStyle::bsSolid: lb.lbStyle = BS_SOLID; break;
            case TBrushStyle::bsClear: lb.lbStyle = BS_HOLLOW; break;
            default:
                lb.lbStyle = BS_HATCHED;
                lb.lbHatch = static_cast<ULONG_PTR>(static_cast<int>(style_) - static_cast<int>(TBrushStyle::bsHorizontal));
                break;
        }
        handle_.Reset(CreateBrushIndirect(&lb));
        if (!handle_) RaiseLastOSError();
    }
    return static_cast<HBRUSH>(handle_.Get());
}

void TBrush::SetColor(TColor Value) {
    if (Value == color_ && style_ != TBrushStyle::bsClear) return;
    color_ = Value;
    if (style_ == TBrushStyle::bsClear) style_ = TBrushStyle::bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

void TBrush::Assign(TPersistent* Source) {
    if (auto* b = dynamic_cast<TBrush*>(Source)) {
        if (b == this) return;
        color_ = b->color_;
        style_ = b->style_;
        Changed();
        return;
    }
    TGraphicsObject::Assign(Source);
}

// ---- TPen -------------------------------------------------------------------------------------

HPEN TPen::Handle() {
    if (!handle_) {
        static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
        LOGPEN lp{};
        lp.lopnStyle = static_cast<UINT>(styles[static_cast<int>(style_)]);
        lp.lopnWidth.x = width_;
        lp.lopnColor = ColorToRGB(color_);
        handle_.Reset(CreatePenIndirect(&lp));
        if (!handle_) RaiseLastOSError();
    }
    return static_cast<HPEN>(handle_.Get());
}

void TPen::SetColor(TColor Value) {
    if (Value == color_) return;
    color_ = Value;
    Changed();
}

void TPen::SetWidth(int Value) {
    if (Value < 1) Value = 1;
    if (Value == width_) return;
    width_ = Value;
    Changed();
}

void TPen::SetStyle(TPenStyle Value) {
    if (Value == style_) return;
    style_ = Value;
    Changed();
}

void TPen::SetMode(TPenMode Value) {
    if (Value == mode_) return;
    mode_ = Value;
    // The mode is the DC's, not the pen's: no new handle, but the canvas sets it again.
    ChangedKeepingHandle();
}

void TPen::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TPen*>(Source)) {
        if (p == this) return;
        color_ = p->color_;
        width_ = p->width_;
        style_ = p->style_;
        mode_ = p->mode_;
        Changed();
        return;
    }
    TGraphicsObject::Assign(Source);
}

// ---- TCanvas ----------------------------------------------------------------------------------

TCanvas::TCanvas() {
    font_.canvas_ = this;
    brush_.canvas_ = this;
    pen_.canvas_ = this;
}

TCanvas::~TCanvas() {
    // A derived canvas has already given its DC back in its own destructor.
    SetHandle(nullptr);
    font_.canvas_ = nullptr;
    brush_.canvas_ = nullptr;
    pen_.canvas_ = nullptr;
}

HDC TCanvas::Handle() {
    if (!handle_) CreateHandle();
    if (!handle_) throw EInvalidOperation(L"Canvas does not allow drawing");
    return handle_;
}

void TCanvas::SetHandle(HDC Value) {
    if (Value == handle_) return;
    if (handle_) DeselectHandles();
    handle_ = Value;
    state_ = Value ? stHandle : 0;
}

void TCanvas::DeselectHandles() {
    if (!handle_) return;
    if (state_ & stFont) SelectObject(handle_, oldFont_);
    if (state_ & stBrush) SelectObject(handle_, oldBrush_);
    if (state_ & stPen) SelectObject(handle_, oldPen_);
    state_ &= ~(stFont | stBrush | stPen);
}

void TCanvas::ObjectChanged(TGraphicsObject* Object) {
    if (!handle_) return;
    if (Object == &font_ && (state_ & stFont)) {
        SelectObject(handle_, oldFont_);
        state_ &= ~stFont;
    } else if (Object == &brush_ && (state_ & stBrush)) {
        SelectObject(handle_, oldBrush_);
        state_ &= ~stBrush;
    } else if (Object == &pen_ && (state_ & stPen)) {
        SelectObject(handle_, oldPen_);
        state_ &= ~stPen;
    }
}

void TCanvas::Refresh() { DeselectHandles(); }

void TCanvas::RequiredState(unsigned State) {
    HDC dc = Handle();
    unsigned needed = State & ~state_;
    if (needed & stFont) {
        oldFont_ = SelectObject(dc, font_.Handle());
        SetTextColor(dc, ColorToRGB(font_.Color()));
        state_ |= stFont;
    }
    if (needed & stPen) {
        oldPen_ = SelectObject(dc, pen_.Handle());
        static const int mixes[] = {R2_BLACK, R2_WHITE, R2_NOP, R2_NOT, R2_COPYPEN, R2_NOTCOPYPEN,
                                    R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,
                                    R2_NOTMERGEPEN, R2_MASKPEN, R2_NOTMASKPEN, R2_XORPEN, R2_NOTXORPEN};
        SetROP2(dc, mixes[static_cast<int>(pen_.Mode())]);
        state_ |= stPen;
    }
    if (needed & stBrush) {
        oldBrush_ = SelectObject(dc, brush_.Handle());
        state_ |= stBrush;
    }
    if (State & stBrush) {
        // The text background follows the brush on every call: the brush may have changed colour.
        if (brush_.Style() == TBrushStyle::bsClear) {
            SetBkMode(dc, TRANSPARENT);
        } else {
            SetBkColor(dc, ColorToRGB(brush_.Color()));
            // A hatched brush draws its lines alone: an opaque background in the brush's own colour
            // would fill the gaps between them and make it solid.
            SetBkMode(dc, brush_.Style() == TBrushStyle::bsSolid ? OPAQUE : TRANSPARENT);
        }
    }
}

void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

POINT TCanvas::PenPos() {
    POINT p{};
    GetCurrentPositionEx(Handle(), &p);
    return p;
}

RECT TCanvas::ClipRect() {
    RECT r{};
    GetClipBox(Handle(), &r);
    return r;
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
    Changing();
    RequiredState(stHandle | stFont | stBrush);
    HDC dc = handle_;
    // At the widths TextWidth measures, so that a text fitted by them shows whole.
    TextOutMeasured(dc, X, Y, Text, static_cast<UINT>(textFlags_));
    SIZE sz{};
    GetTextExtentPoint32A(dc, Text.data(), static_cast<int>(Text.size()), &sz);
    MoveToEx(dc, X + sz.cx, Y, nullptr);
    Changed();
}

void TCanvas::TextRect(const RECT& Rect, int X, int Y, const std::string& Text) {
    Changing();
    RequiredState(stHandle | stFont | stBrush);
    UINT options = ETO_CLIPPED | static_cast<UINT>(textFlags_);
    if (brush_.Style() != TBrushStyle::bsClear) options |= ETO_OPAQUE;
    TextOutMeasured(handle_, X, Y, Text, options, &Rect);
    Changed();
}

SIZE TCanvas::TextExtent(const std::string& Text) {
    RequiredState(stHandle | stFont);
    SIZE sz{};
    GetTextExtentPoint32A(handle_, Text.data(), static_cast<int>(Text.size()), &sz);
    return sz;
}

void TCanvas::FillRect(const RECT& Rect) {
    Changing();
    RequiredState(stHandle | stBrush);
    ::FillRect(handle_, &Rect, brush_.Handle());
    Changed();
}

void TCanvas::FrameRect(const RECT& Rect) {
    Changing();
    RequiredState(stHandle | stBrush);
    ::FrameRect(handle_, &Rect, brush_.Handle());
    Changed();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    Changing();
    RequiredState(stHandle | stBrush | stPen);
    ::Rectangle(handle_, X1, Y1, X2, Y2);
    Changed();
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
    Changing();
    RequiredState(stHandle | stBrush | stPen);
    ::Ellipse(handle_, X1, Y1, X2, Y2);
    Changed();
}

void TCanvas::RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3) {
    Changing();
    RequiredState(stHandle | stBrush | stPen);
    ::RoundRect(handle_, X1, Y1, X2, Y2, X3, Y3);
    Changed();
}

void TCanvas::MoveTo(int X, int Y) {
    RequiredState(stHandle);
    MoveToEx(handle_, X, Y, nullptr);
}

void TCanvas::LineTo(int X, int Y) {
    Changing();
    RequiredState(stHandle | stPen | stBrush);
    ::LineTo(handle_, X, Y);
    Changed();
}

void TCanvas::Polyline(const POINT* Points, int Count) {
    if (!Points || Count < 2) return;
    Changing();
    RequiredState(stHandle | stPen | stBrush);
    ::Polyline(handle_, Points, Count);
    Changed();
}

void TCanvas::Polygon(const POINT* Points, int Count) {
    if (!Points || Count < 2) return;
    Changing();
    RequiredState(stHandle | stPen | stBrush);
    ::Polygon(handle_, Points, Count);
    Changed();
}

void TCanvas::DrawFocusRect(const RECT& Rect) {
    Changing();
    RequiredState(stHandle | stBrush);
    ::DrawFocusRect(handle_, &Rect);
    Changed();
}

void TCanvas::Draw(int X, int Y, HBITMAP Bitmap) {
    if (!Bitmap) return;
    BITMAP bm{};
    if (GetObjectA(Bitmap, sizeof(bm), &bm) == 0) return;
    Changing();
    RequiredState(stHandle);
    TOwnedDC mem(CreateCompatibleDC(handle_));
    if (!mem) RaiseLastOSError();
    {
        TSelectedObject bitmap(mem.Get(), Bitmap);
        BitBlt(handle_, X, Y, bm.bmWidth, bm.bmHeight, mem.Get(), 0, 0, copyMode_);
    }
    Changed();
}

void TCanvas::CopyRect(const RECT& Dest, TCanvas* Source, const RECT& SourceRect) {
    if (!Source) return;
    Changing();
    RequiredState(stHandle | stFont | stBrush);
    HDC src = Source->Handle();
    StretchBlt(handle_, Dest.left, Dest.top, Dest.right - Dest.left, Dest.bottom - Dest.top, src, SourceRect.left,
               SourceRect.top, SourceRect.right - SourceRect.left, SourceRect.bottom - SourceRect.top, copyMode_);
    Changed();
}

TColor TCanvas::Pixels(int X, int Y) {
    RequiredState(stHandle);
    return static_cast<TColor>(GetPixel(handle_, X, Y));
}

void TCanvas::SetPixels(int X, int Y, TColor Value) {
    Changing();
    RequiredState(stHandle | stPen);  // some systems mix SetPixel with the pen's mode
    SetPixel(handle_, X, Y, ColorToRGB(Value));
    Changed();
}

}  // namespace classlib
