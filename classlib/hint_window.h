// The pop-up window that shows a control's hint.
#pragma once

#include <string>

#include "classlib/custom_controls.h"

namespace classlib {

// ---- Hint window -----------------------------------------------------------------------------
// The pop-up window that shows a hint: a bordered top-most tool window of the hint colour.
class THintWindow : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(THintWindow)
    explicit THintWindow(TComponent* AOwner);
    // The class reference of THintWindow (the default HintWindowClass).
    static const THintWindowClassRef& ClassRef();
    // The class reference of this instance (descendants override with their own).
    virtual THintWindowClass ClassType() const { return &ClassRef(); }

    // Shows the window at Rect (screen) with Hint as its caption.
    virtual void ActivateHint(RECT Rect, const std::string& AHint);
    // The same with the hint information's data (ignored here).
    virtual void ActivateHintData(RECT Rect, const std::string& AHint, void* AData);
    // The rectangle (0-based) the hint needs when lines wrap at MaxWidth: its lines' measured
    // room, the border and an inset of 2 pixels on each side.
    virtual RECT CalcHintRect(int MaxWidth, const std::string& AHint, void* AData);
    // Hides the window (destroying it).
    void ReleaseHandle();
    // True when the message should close the hint (keys, clicks, activation).
    virtual bool IsHintMsg(const MSG& Msg);
    void CreateParams(TCreateParams& Params) override;
    void Dispatch(TMessage& Message) override;

protected:
    void Paint() override;
    // The window's rectangle (0-based) for lines of text that take Extent.
    static RECT HintRectOfLines(SIZE Extent);
    // The ExtTextOut options of the DrawText reading flags.
    static UINT HintTextOptions(UINT DrawTextFlags);
};

}  // namespace classlib
