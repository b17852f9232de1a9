// The class library's graphics objects: colours, TFont, TBrush and TPen (each makes its GDI handle
// on demand and tells its user when it changes) and TCanvas, which draws with them on a DC.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "classlib/gdi_handles.h"
#include "classlib/objects.h"

namespace classlib {

// ---- Colours ----------------------------------------------------------------------------------
// A colour is 0x00BBGGRR, or a system colour: 0x80000000 | COLOR_xxx (resolved by ColorToRGB).
using TColor = std::int32_t;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<std::uint32_t>(index)); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SystemColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SystemColor(COLOR_MENU);
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SystemColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SystemColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SystemColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SystemColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SystemColor(COLOR_INFOBK);
constexpr TColor clHotLight = SystemColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SystemColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SystemColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SystemColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SystemColor(COLOR_MENUBAR);

// A system colour becomes the system's current RGB value; any other colour is returned as it is.
COLORREF ColorToRGB(TColor Color);

// Pixels per logical inch of the screen (LOGPIXELSY), read once.
int ScreenPixelsPerInch();

// ---- Graphics objects -------------------------------------------------------------------------
class TCanvas;

// Base of fonts, brushes and pens: OnChange fires after every change of a property.
class TGraphicsObject : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TGraphicsObject)
    TGraphicsObject() = default;
    TGraphicsObject(const TGraphicsObject&) = delete;
    TGraphicsObject& operator=(const TGraphicsObject&) = delete;
    ~TGraphicsObject() override;

    TNotifyEvent OnChange;
    // True while a GDI handle of this object exists.
    bool HandleAllocated() const { return static_cast<bool>(handle_); }

protected:
    // Drops the current handle (the next Handle() makes a new one) and tells the canvas that
    // uses this object and OnChange.
    virtual void Changed();
    // A change that keeps the handle (a colour the handle does not hold): tells the canvas and
    // OnChange only.
    void ChangedKeepingHandle();
    // Deletes the handle (after the canvas using it deselected it).
    void FreeGdiHandle();
    TGdiObject<HGDIOBJ> handle_;

private:
    friend class TCanvas;
    // The canvas that selects this object into its DC; told before OnChange so that it deselects.
    TCanvas* canvas_ = nullptr;
};

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of font styles ([fsBold, fsItalic] and so on).
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
        for (TFontStyle s : styles) bits_ |= Bit(s);
    }
    constexpr bool Contains(TFontStyle s) const { return (bits_ & Bit(s)) != 0; }
    constexpr void Include(TFontStyle s) { bits_ |= Bit(s); }
    constexpr void Exclude(TFontStyle s) { bits_ &= static_cast<std::uint8_t>(~Bit(s)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint8_t Bits() const { return bits_; }
    friend constexpr bool operator==(TFontStyles a, TFontStyles b) { return a.bits_ == b.bits_; }
    friend constexpr TFontStyles operator+(TFontStyles a, TFontStyles b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TFontStyles operator-(TFontStyles a, TFontStyles b) {
        return FromBits(a.bits_ & static_cast<std::uint8_t>(~b.bits_));
    }
    static constexpr TFontStyles FromBits(unsigned bits) {
        TFontStyles r;
        r.bits_ = static_cast<std::uint8_t>(bits & 0x0F);
        return r;
    }

private:
    static constexpr std::uint8_t Bit(TFontStyle s) { return static_cast<std::uint8_t>(1u << s); }
    std::uint8_t bits_ = 0;
};

enum class TFontPitch { fpDefault, fpVariable, fpFixed };
using TFontCharset = std::uint8_t;

// A font. Defaults: "MS Sans Serif", 8 points, clWindowText, DEFAULT_CHARSET, no style.
// Size is in points, Height in pixels (negative: character height without internal leading);
// Size = -MulDiv(Height, 72, PixelsPerInch).
class TFont : public TGraphicsObject {
public:
    CLASSLIB_CLASS_NAME(TFont)
    TFont();

    // The HFONT for the current description, made on first use; owned by the font.
    HFONT Handle();
    // Takes over the description of an existing font (its LOGFONT); the caller keeps hFont.
    void SetHandle(HFONT hFont);
    // Takes over a LOGFONT's description (name, height, styles, charset, pitch, escapement).
    void AssignLogFont(const LOGFONTA& LogFont);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& Value);
    int Size() const;
    void SetSize(int Value);
    int Height() const { return height_; }
    void SetHeight(int Value);
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles Value);
    TFontCharset Charset() const { return charset_; }
    void SetCharset(TFontCharset Value);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch Value);
    // Escapement in tenths of a degree (text drawn at an angle).
    int Orientation() const { return orientation_; }
    void SetOrientation(int Value);
    int PixelsPerInch() const { return pixelsPerInch_; }
    // Changes the resolution Size refers to; Height is kept.
    void SetPixelsPerInch(int Value) { pixelsPerInch_ = Value > 0 ? Value : 96; }

    // Copies another font's description and colour (OnChange once).
    void Assign(TPersistent* Source) override;
    // The description as a LOGFONT.
    LOGFONTA LogFont() const;

private:
    std::string name_ = "MS Sans Serif";
    int height_ = 0;
    TColor color_ = clWindowText;
    TFontStyles style_;
    TFontCharset charset_ = DEFAULT_CHARSET;
    TFontPitch pitch_ = TFontPitch::fpDefault;
    int orientation_ = 0;
    int pixelsPerInch_ = 96;
};

enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

// A brush. Defaults: clWhite, bsSolid.
class TBrush : public TGraphicsObject {
public:
    CLASSLIB_CLASS_NAME(TBrush)
    TBrush() = default;
    // The HBRUSH for the current colour and style (a hollow brush for bsClear); owned by the brush.
    HBRUSH Handle();
    TColor Color() const { return color_; }
    // Setting a colour while the style is bsClear makes the brush solid.
    void SetColor(TColor Value);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle Value);
    void Assign(TPersistent* Source) override;

private:
    TColor color_ = clWhite;
    TBrushStyle style_ = TBrushStyle::bsSolid;
};

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum class TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

// A pen. Defaults: clBlack, width 1, psSolid, pmCopy. Mode is the DC's mix mode (SetROP2).
class TPen : public TGraphicsObject {
public:
    CLASSLIB_CLASS_NAME(TPen)
    TPen() = default;
    HPEN Handle();
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    int Width() const { return width_; }
    // Widths below 1 become 1.
    void SetWidth(int Value);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle Value);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode Value);
    void Assign(TPersistent* Source) override;

private:
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = TPenStyle::psSolid;
    TPenMode mode_ = TPenMode::pmCopy;
};

// ---- Canvas -----------------------------------------------------------------------------------
// Raster operations for CopyRect/Draw.
using TCopyMode = DWORD;
constexpr TCopyMode cmSrcCopy = SRCCOPY;

// Draws on a DC with its font, brush and pen. The plain canvas does not own its DC: SetHandle
// gives it one, SetHandle(nullptr) hands it back with the original objects selected again.
// A derived canvas that acquires a DC of its own overrides CreateHandle (called whenever the DC
// is needed and none is set; it calls SetHandle) and FreeHandle (and calls FreeHandle in its own
// destructor, since the base destructor cannot reach the override).
// The font, brush and pen are selected into the DC lazily before each drawing call; changing them
// deselects them at once so their old handles can go.
class TCanvas : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TCanvas)
    TCanvas();
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // The DC; asks CreateHandle when none is set and raises EInvalidOperation
    // "Canvas does not allow drawing" when there still is none.
    HDC Handle();
    void SetHandle(HDC Value);
    bool HandleAllocated() const { return handle_ != nullptr; }

    TFont* Font() { return &font_; }
    void SetFont(TFont* Value) { font_.Assign(Value); }
    TBrush* Brush() { return &brush_; }
    void SetBrush(TBrush* Value) { brush_.Assign(Value); }
    TPen* Pen() { return &pen_; }
    void SetPen(TPen* Value) { pen_.Assign(Value); }
    TCopyMode CopyMode() const { return copyMode_; }
    void SetCopyMode(TCopyMode Value) { copyMode_ = Value; }
    // Extra ExtTextOut options (ETO_CLIPPED, ETO_OPAQUE, ETO_RTLREADING, ...) used by TextOut.
    int TextFlags() const { return textFlags_; }
    void SetTextFlags(int Value) { textFlags_ = Value; }
    POINT PenPos();
    void SetPenPos(POINT Value) { MoveTo(Value.x, Value.y); }
    RECT ClipRect();

    // Texts are ANSI (runtime code page). Text is drawn in the font's colour; the background is
    // the brush's colour, or left as it is when the brush is bsClear.
    void TextOut(int X, int Y, const std::string& Text);
    // Draws Text at X, Y clipped to Rect (and filling Rect with the brush unless it is bsClear).
    void TextRect(const RECT& Rect, int X, int Y, const std::string& Text);
    SIZE TextExtent(const std::string& Text);
    int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
    int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

    void FillRect(const RECT& Rect);
    void FrameRect(const RECT& Rect);
    void Rectangle(int X1, int Y1, int X2, int Y2);
    void Rectangle(const RECT& Rect) { Rectangle(Rect.left, Rect.top, Rect.right, Rect.bottom); }
    void Ellipse(int X1, int Y1, int X2, int Y2);
    void RoundRect(int X1, int Y1, int X2, int Y2, int X3, int Y3);
    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    void Polyline(const POINT* Points, int Count);
    void Polygon(const POINT* Points, int Count);
    void DrawFocusRect(const RECT& Rect);
    // Draws a bitmap (not owned) at X, Y with CopyMode.
    void Draw(int X, int Y, HBITMAP Bitmap);
    // Copies Source's rectangle into Dest with CopyMode, stretching when sizes differ.
    void CopyRect(const RECT& Dest, TCanvas* Source, const RECT& SourceRect);
    TColor Pixels(int X, int Y);
    void SetPixels(int X, int Y, TColor Value);

    // Selects the stock objects again so that the font, brush and pen can be changed or freed.
    void Refresh();
    // The DC with the font (and the brush) selected, for text calls made outside the canvas.
    HDC TextHandle(bool WithBrush = true) { RequiredState(stHandle | stFont | (WithBrush ? stBrush : 0u)); return handle_; }

    TNotifyEvent OnChange;    // after drawing
    TNotifyEvent OnChanging;  // before drawing

protected:
    // Called when the DC is needed and none is set; the plain canvas has none to make.
    virtual void CreateHandle() {}
    // Gives the DC back (the plain canvas only forgets it).
    virtual void FreeHandle() { SetHandle(nullptr); }
    virtual void Changing();
    virtual void Changed();

private:
    friend class TGraphicsObject;
    static constexpr unsigned stHandle = 1, stFont = 2, stPen = 4, stBrush = 8;
    void RequiredState(unsigned State);
    void DeselectHandles();
    // A graphics object of this canvas changed: deselect it so it can drop its handle.
    void ObjectChanged(TGraphicsObject* Object);

    HDC handle_ = nullptr;
    unsigned state_ = 0;
    TFont font_;
    TBrush brush_;
    TPen pen_;
    TCopyMode copyMode_ = cmSrcCopy;
    int textFlags_ = 0;
    HGDIOBJ oldFont_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
};

}  // namespace classlib
