// The kit's shadow label: a windowless text drawn twice, a shadow copy offset by a few pixels and
// the text itself, that sizes itself to its text and reports the mouse coming and going.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/controls.h"
#include "classlib/std_text.h"

namespace widgets::kit {

enum class TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };
enum class TTextLayout { tlTop, tlCenter, tlBottom };

// Draws Text into Rect (DrawText flags) twice: the shadow offset by Size toward Position in
// ShadowColor, then the text in TextColor. With DT_CALCRECT it measures instead: Rect becomes the
// union of both copies (an empty text, or a lone "&" with accelerators shown, measured as a blank).
void DrawShadowText(HDC DC, const std::string& Text, RECT& Rect, UINT Flags, int Size, COLORREF ShadowColor,
                    COLORREF TextColor, TShadowPosition Position, bool ShowAccelChar);

class TKitCustomLabel : public classlib::TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TKitCustomLabel)
    explicit TKitCustomLabel(classlib::TComponent* AOwner);
    ~TKitCustomLabel() override;

    classlib::TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(classlib::TWinControl* Value);
    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout Value);
    classlib::TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(classlib::TColor Value);
    int ShadowSize() const { return shadowSize_; }
    void SetShadowSize(int Value);
    TShadowPosition ShadowPos() const { return shadowPos_; }
    void SetShadowPos(TShadowPosition Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool Value);
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool Value);
    bool Transparent() const { return !HasControlStyle(classlib::csOpaque); }
    void SetTransparent(bool Value);
    bool MouseInControl() const { return mouseIn_; }

    classlib::TNotifyEvent OnMouseEnter;
    classlib::TNotifyEvent OnMouseLeave;

    // Fits the bounds to the text when AutoSize is on (a right-aligned label keeps its right edge).
    void AdjustBounds();
    void Dispatch(classlib::TMessage& Message) override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

protected:
    void Paint() override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    // Draws or (DT_CALCRECT) measures the caption with its shadow.
    void DoDrawText(HDC DC, RECT& Rect, UINT Flags);
    // Space kept free at both ends (descendants set it).
    void SetMargins(int Left, int Right);

private:
    void UpdateMouseIn();
    void SetMouseIn(bool Value);
    classlib::TWinControl* focusControl_ = nullptr;
    classlib::TAlignment alignment_ = classlib::TAlignment::taLeftJustify;
    bool autoSize_ = true;
    TTextLayout layout_ = TTextLayout::tlTop;
    classlib::TColor shadowColor_ = classlib::clBtnHighlight;
    int shadowSize_ = 1;
    TShadowPosition shadowPos_ = TShadowPosition::spLeftTop;
    bool wordWrap_ = false;
    bool showAccelChar_ = true;
    bool showFocus_ = false;
    bool focused_ = false;
    bool mouseIn_ = false;
    bool dragging_ = false;
    int leftMargin_ = 0;
    int rightMargin_ = 0;
};

class TKitLabel : public TKitCustomLabel {
public:
    CLASSLIB_CLASS_NAME(TKitLabel)
    explicit TKitLabel(classlib::TComponent* AOwner) : TKitCustomLabel(AOwner) {}
};

// Mouse-in tracking shared by the kit's windowless controls. The state after a notification:
// CM_MOUSEENTER sets it when the control is enabled and a window of this thread is active,
// CM_MOUSELEAVE clears it when enabled and not dragging; any other message keeps Current.
bool MouseInAfter(classlib::TControl* Control, UINT Msg, bool Dragging, bool Current);
// Stores Value; on a change runs OnEnter or OnLeave with Sender. Answers whether it changed.
bool ChangeMouseIn(bool& MouseIn, bool Value, classlib::TObject* Sender, const classlib::TNotifyEvent& OnEnter,
                   const classlib::TNotifyEvent& OnLeave);
// Re-evaluates whether the mouse is over Control: the control under the cursor (enabled or not)
// is Control and a window of this thread is active. Shared by the kit's windowless controls.
bool MouseOverControl(classlib::TControl* Control);

}  // namespace widgets::kit
