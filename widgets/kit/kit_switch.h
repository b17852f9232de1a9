// The kit's two-state switch: a focusable control showing one picture for off and one for on,
// flipped by a click or its toggle key, with an optional caption beside the picture.
#pragma once

#include <windows.h>

#include <cstdint>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/gdi_handles.h"

namespace widgets::kit {

enum class TTextPos { tpNone, tpLeft, tpRight, tpAbove, tpBelow };
enum class TBorderStyle { bsNone, bsSingle };

class TKitSwitch : public classlib::TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TKitSwitch)
    explicit TKitSwitch(classlib::TComponent* AOwner);
    ~TKitSwitch() override;

    // Off (0) and on (1). A bitmap is copied and counts as the user's; nullptr brings back the
    // program's own picture ("SWITCH_OFF", "SWITCH_ON").
    HBITMAP Glyph(int Index) const { return glyphs_[Index & 1].Get(); }
    void SetGlyph(int Index, HBITMAP Value);
    HBITMAP GlyphOff() const { return Glyph(0); }
    HBITMAP GlyphOn() const { return Glyph(1); }
    void SetGlyphOff(HBITMAP Value) { SetGlyph(0, Value); }
    void SetGlyphOn(HBITMAP Value) { SetGlyph(1, Value); }
    bool CustomGlyph(int Index) const { return (customGlyphs_ & (1u << (Index & 1))) != 0; }

    bool StateOn() const { return stateOn_; }
    // On a change: repaint, then OnOn or OnOff.
    void SetStateOn(bool Value);
    void Toggle() { SetStateOn(!stateOn_); }
    TTextPos TextPosition() const { return textPosition_; }
    void SetTextPosition(TTextPos Value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle Value);
    classlib::TShortCut ToggleKey() const { return toggleKey_; }
    void SetToggleKey(classlib::TShortCut Value) { toggleKey_ = Value; }
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool Value);

    classlib::TNotifyEvent OnOn;
    classlib::TNotifyEvent OnOff;

    void CreateParams(classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;
    // "Data": one byte of the custom-glyph flags (off 1, on 2); "GlyphOff", "GlyphOn": the
    // user's pictures as .bmp bytes, stored only when they are the user's.
    void DefineProperties(classlib::TFiler* Filer) override;

protected:
    void Paint() override;
    virtual void DoOn();
    virtual void DoOff();
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;

private:
    HBITMAP PictureToShow();
    void LoadDefault(int Index);
    classlib::TOwnedBitmap glyphs_[2];
    classlib::TOwnedBitmap disabled_[2];
    bool stateOn_ = false;
    TTextPos textPosition_ = TTextPos::tpNone;
    TBorderStyle borderStyle_ = TBorderStyle::bsNone;
    classlib::TShortCut toggleKey_ = VK_SPACE;
    bool showFocus_ = true;
    std::uint8_t customGlyphs_ = 0;
    bool focused_ = false;
    // A press toggled the switch: its release clicks, wherever it falls.
    bool pressToggled_ = false;
};

}  // namespace widgets::kit
