// The kit's speed button: a windowless button with a glyph of up to five images, grouping (one
// button of a group down at a time), a flat look framed only under the mouse, an optional
// drop-down menu with its mark, auto-repeat while held, a transparent mode over its parent's
// image, and captions that wrap or end in "...".
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/custom_form.h"
#include "classlib/menus.h"
#include "classlib/std_text.h"
#include "classlib/timer.h"
#include "widgets/kit/kit_glyph.h"

namespace widgets::kit {

// Sent to the controls of a button's parent when it goes down: WParam its GroupIndex, LParam the
// button.
constexpr UINT CM_KITBUTTONPRESSED = 45137;

enum class TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum class TKitDropDownMenuPos { dmpBottom, dmpRight };

// The button's frame for Client (then the rectangle left inside, one pixel further in).
void DrawSpeedButtonFrame(HDC DC, RECT& Client, bool IsDown, bool IsFlat, TButtonStyle Style);

class TKitSpeedButton : public classlib::TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TKitSpeedButton)
    explicit TKitSpeedButton(classlib::TComponent* AOwner);
    ~TKitSpeedButton() override;

    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int Value);
    bool Down() const { return down_; }
    // Always false without a group; a down button of a group without AllowAllUp stays down.
    void SetDown(bool Value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool Value);
    TButtonStyle Style() const { return style_; }
    void SetStyle(TButtonStyle Value);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout Value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int Value);
    int Margin() const { return margin_; }
    // -1 centres; values below -1 are ignored.
    void SetMargin(int Value);
    classlib::TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(classlib::TModalResult Value) { modalResult_ = Value; }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value);
    bool MarkDropDown() const { return markDropDown_; }
    void SetMarkDropDown(bool Value);
    classlib::TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(classlib::TPopupMenu* Value);
    TKitDropDownMenuPos MenuPosition() const { return menuPosition_; }
    void SetMenuPosition(TKitDropDownMenuPos Value) { menuPosition_ = Value; }
    bool GrayedInactive() const { return grayedInactive_; }
    void SetGrayedInactive(bool Value);
    bool AllowTimer() const { return allowTimer_; }
    // False frees the repeat timer.
    void SetAllowTimer(bool Value);
    int InitPause() const { return initPause_; }
    void SetInitPause(int Value) { initPause_ = Value; }
    int RepeatInterval() const { return repeatInterval_; }
    void SetRepeatInterval(int Value) { repeatInterval_ = Value; }
    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    HBITMAP Glyph() const { return glyph_->Glyph(); }
    // Takes a copy of the bitmap.
    void SetGlyph(HBITMAP Value);
    int NumGlyphs() const { return glyph_->NumGlyphs(); }
    void SetNumGlyphs(int Value);
    TKitButtonGlyph* ButtonGlyph() const { return glyph_.get(); }

    TKitButtonState State() const { return state_; }
    bool MouseInControl() const { return mouseIn_; }
    bool Dragging() const { return dragging_; }
    bool MenuTracking() const { return menuTracking_; }
    // Buttons alive in the process.
    static int ButtonCount();

    classlib::TNotifyEvent OnMouseEnter;
    classlib::TNotifyEvent OnMouseLeave;

    // The parent form's ModalResult becomes this button's, then OnClick.
    void Click() override;
    void Dispatch(classlib::TMessage& Message) override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

protected:
    // Besides the control's own properties: a button without a glyph takes its action's image.
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    void Paint() override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseMove(classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    // The screen point the menu opens at, by MenuPosition and the menu's alignment.
    virtual POINT DropDownPoint();
    // The state the glyph is drawn in (descendants may change it).
    TKitButtonState PaintState() const;
    void SetState(TKitButtonState Value) { state_ = Value; }

private:
    void UpdateExclusive();
    void SetMouseIn(bool Value);
    void UpdateMouseIn();
    void RepeatTick();
    void StopRepeat();
    void DrawDropDownMark(HDC DC, const RECT& Client);
    bool NewStyle() const;

    int groupIndex_ = 0;
    TButtonStyle style_ = TButtonStyle::bsAutoDetect;
    std::unique_ptr<TKitButtonGlyph> glyph_;
    bool down_ = false;
    bool dragging_ = false;
    bool flat_ = false;
    bool mouseIn_ = false;
    bool allowAllUp_ = false;
    TButtonLayout layout_ = TButtonLayout::blGlyphTop;
    int spacing_ = 1;
    int margin_ = -1;
    classlib::TModalResult modalResult_ = classlib::mrNone;
    bool transparent_ = false;
    bool markDropDown_ = true;
    classlib::TPopupMenu* dropDownMenu_ = nullptr;
    TKitDropDownMenuPos menuPosition_ = TKitDropDownMenuPos::dmpBottom;
    bool grayedInactive_ = true;
    bool menuTracking_ = false;
    std::unique_ptr<classlib::TTimer> repeatTimer_;
    bool allowTimer_ = false;
    int initPause_ = 500;
    int repeatInterval_ = 100;
    classlib::TAlignment alignment_ = classlib::TAlignment::taCenter;
    bool wordWrap_ = false;
    TKitButtonState state_ = TKitButtonState::bsUp;
};

// The calendars' navigation button: the old (3.1) look, repeating while held (first after
// InitPause, then every RepeatInterval).
class TKitTimerSpeedButton : public TKitSpeedButton {
public:
    CLASSLIB_CLASS_NAME(TKitTimerSpeedButton)
    explicit TKitTimerSpeedButton(classlib::TComponent* AOwner) : TKitSpeedButton(AOwner) {
        SetStyle(TButtonStyle::bsWin31);
        SetAllowTimer(true);
        SetControlStyle(ControlStyle() | classlib::csReplicatable);
    }
};

}  // namespace widgets::kit
