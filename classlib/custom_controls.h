// Controls that paint themselves: the control canvas, TGraphicControl (no window, painted by its
// parent) and TCustomControl (a window painted on its canvas).
#pragma once

#include <memory>

#include "classlib/gdi_handles.h"

#include "classlib/win_control.h"

namespace classlib {

// ---- Graphic and custom controls -------------------------------------------------------------
// A canvas drawing on a control: on a windowed control it takes the window's DC when needed (and
// gives it back with FreeHandle); painting code sets the paint DC with SetHandle.
class TControlCanvas : public TCanvas {
public:
    CLASSLIB_CLASS_NAME(TControlCanvas)
    TControlCanvas() = default;
    ~TControlCanvas() override;
    TControl* Control() const { return control_; }
    void SetControl(TControl* Value);
    void FreeHandle() override;

protected:
    void CreateHandle() override;

private:
    TControl* control_ = nullptr;
    TWindowDC ownDC_;  // the window's DC when the canvas took it itself
};

// A control without window, painted by its parent (WM_PAINT performed with the parent's DC,
// the origin moved to the control's top-left corner).
class TGraphicControl : public TControl {
public:
    CLASSLIB_CLASS_NAME(TGraphicControl)
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    TCanvas* Canvas() { return canvas_.get(); }
    void Dispatch(TMessage& Message) override;

protected:
    virtual void Paint() {}

private:
    std::unique_ptr<TControlCanvas> canvas_;
};

// A windowed control that paints itself on its canvas (Paint).
class TCustomControl : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomControl)
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    TCanvas* Canvas() { return canvas_.get(); }
    TNotifyEvent OnPaint;
    void Dispatch(TMessage& Message) override;

protected:
    // Default: runs OnPaint.
    virtual void Paint();
    void PaintWindow(HDC DC) override;

private:
    std::unique_ptr<TControlCanvas> canvas_;
};

}  // namespace classlib
