// The class library's label: a non-windowed text painted by its parent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/controls.h"
#include "classlib/std_text.h"

namespace classlib {

// ---- Label -----------------------------------------------------------------------------------
// A non-windowed text. AutoSize (default on) fits the bounds to the text after every change of
// caption, font, WordWrap or AutoSize; with taRightJustify the right edge stays in place.
class TCustomLabel : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TCustomLabel)
    explicit TCustomLabel(TComponent* AOwner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    bool Transparent() const { return !HasControlStyle(csOpaque); }
    void SetTransparent(bool Value);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* Value);

    // The text drawn: the caption (the wide label answers its wide caption instead).
    virtual std::string GetLabelText();
    // Draws (or with DT_CALCRECT measures into Rect) the label text with the DrawText flags:
    // DT_NOPREFIX without ShowAccelChar, a blank measured for an empty text or a lone "&", the
    // reading-order flags; a disabled label is drawn embossed (highlight offset by 1, shadow).
    virtual void DoDrawText(RECT& Rect, UINT Flags);
    // Fits the bounds to the text when AutoSize is on and the label is not being loaded.
    virtual void AdjustBounds();

    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Loaded() override;

protected:
    void Paint() override;
    bool HasControlStyle(std::uint32_t Flag) const { return (ControlStyle() & Flag) != 0; }

private:
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool autoSize_ = true;
    bool showAccelChar_ = true;
    bool wordWrap_ = false;
    TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
public:
    CLASSLIB_CLASS_NAME(TLabel)
    explicit TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}
};

}  // namespace classlib
