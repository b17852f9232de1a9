// Panels, bevels and shapes: a bordered container with a centred caption, and two painted
// decorations without windows.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/std_text.h"

namespace classlib {

enum class TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

// Draws a 3-D frame of Width pixels inside Rect (TopColor at top and left, BottomColor at bottom
// and right) and moves Rect in by Width.
void Frame3D(TCanvas* Canvas, RECT& Rect, TColor TopColor, TColor BottomColor, int Width);

// A container with an outer and an inner bevel, a border in its own colour and its caption
// drawn single-line, vertically centred, by Alignment (centred by default). Under visual themes a
// panel that takes its parent's background shows that background in place of its border and fill.
class TCustomPanel : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TCustomPanel)
    explicit TCustomPanel(TComponent* AOwner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    TPanelBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TPanelBevel Value);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel Value);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int Value);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int Value);
    RECT ClientRect() override;
    void Dispatch(TMessage& Message) override;

protected:
    void Paint() override;
    // The frame part of Paint: bevels, border and background; leaves Rect on the caption area.
    void PaintFrame(RECT& Rect);
    // Themes are on and the panel takes its parent's background.
    bool ShowsParentBackground() const;

private:
    // The parent's background behind the whole client area into DC (the panel's colour where the
    // theme engine cannot draw it).
    void PaintParentBackground(HDC DC);
    void Realign();
    TAlignment alignment_ = TAlignment::taCenter;
    TPanelBevel bevelInner_ = TPanelBevel::bvNone;
    TPanelBevel bevelOuter_ = TPanelBevel::bvRaised;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
};

class TPanel : public TCustomPanel {
public:
    CLASSLIB_CLASS_NAME(TPanel)
    explicit TPanel(TComponent* AOwner) : TCustomPanel(AOwner) {}
};

enum class TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum class TBevelStyle { bsLowered, bsRaised };

// A lowered or raised box, frame or line.
class TBevel : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TBevel)
    explicit TBevel(TComponent* AOwner);
    TBevelShape Shape() const { return shape_; }
    void SetShape(TBevelShape Value);
    TBevelStyle Style() const { return style_; }
    void SetStyle(TBevelStyle Value);

protected:
    void Paint() override;

private:
    TBevelShape shape_ = TBevelShape::bsBox;
    TBevelStyle style_ = TBevelStyle::bsLowered;
};

enum class TShapeType { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };

// A figure drawn with its own pen and brush.
class TShape : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TShape)
    explicit TShape(TComponent* AOwner);
    TShapeType Shape() const { return shape_; }
    void SetShape(TShapeType Value);
    TPen* Pen() { return &pen_; }
    TBrush* Brush() { return &brush_; }

protected:
    void Paint() override;

private:
    TShapeType shape_ = TShapeType::stRectangle;
    TPen pen_;
    TBrush brush_;
};

}  // namespace classlib
