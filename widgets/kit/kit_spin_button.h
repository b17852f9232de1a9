// The kit's spin buttons: the diagonal one (a square split corner to corner into an up and a down
// half, repeating while held) and a thin wrapper of the system's up-down control.
#pragma once

#include <windows.h>

#include <memory>

#include "classlib/controls.h"
#include "classlib/gdi_handles.h"
#include "classlib/timer.h"

namespace widgets::kit {

enum class TSpinButtonState { sbNotDown, sbTopDown, sbBottomDown };

// Which half of a Width x Height square a point falls in: the top-left half when
// y <= Height - (Height / Width) x, worked out in integers.
bool SpinPointInTopHalf(int X, int Y, int Width, int Height);

class TKitSpinButton : public classlib::TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TKitSpinButton)
    explicit TKitSpinButton(classlib::TComponent* AOwner);
    ~TKitSpinButton() override;

    HBITMAP UpGlyph() const { return upGlyph_.Get(); }
    // A copy is kept; nullptr puts the resource image back.
    void SetUpGlyph(HBITMAP Value);
    HBITMAP DownGlyph() const { return downGlyph_.Get(); }
    void SetDownGlyph(HBITMAP Value);
    // Focused by a press when it is a tab stop that can take the focus.
    classlib::TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(classlib::TWinControl* Value);
    TSpinButtonState Down() const { return down_; }
    // The repeat timer (made at the first press).
    classlib::TTimer* RepeatTimer() const { return repeatTimer_.get(); }

    classlib::TNotifyEvent OnTopClick;
    classlib::TNotifyEvent OnBottomClick;

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void SetEnabled(bool Value) override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

protected:
    void Paint() override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseMove(classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;

private:
    void SetDownState(TSpinButtonState Value);
    void FireClick();
    void RepeatTick();
    void DrawInto(HDC DC, TSpinButtonState State);
    void InvalidateImages() { images_[0].Reset(); images_[1].Reset(); images_[2].Reset(); }
    bool HoldsCapture() const;

    classlib::TOwnedBitmap upGlyph_;
    classlib::TOwnedBitmap downGlyph_;
    classlib::TWinControl* focusControl_ = nullptr;
    TSpinButtonState down_ = TSpinButtonState::sbNotDown;
    TSpinButtonState lastDown_ = TSpinButtonState::sbNotDown;
    bool dragging_ = false;
    std::unique_ptr<classlib::TTimer> repeatTimer_;
    // Normal, top pressed, bottom pressed: made at the control's size when first painted.
    classlib::TOwnedBitmap images_[3];
};

// The system's up-down control, vertical, range -1..1 at position 0: each click is reported and
// the position put back, so that every click counts. Never wider than 15 pixels.
class TKitUpDown : public classlib::TWinControl {
public:
    CLASSLIB_CLASS_NAME(TKitUpDown)
    explicit TKitUpDown(classlib::TComponent* AOwner);
    classlib::TNotifyEvent OnTopClick;
    classlib::TNotifyEvent OnBottomClick;
    void CreateParams(classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void Dispatch(classlib::TMessage& Message) override;
};

}  // namespace widgets::kit
