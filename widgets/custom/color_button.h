// The colour button of word processors: a left part whose glyph carries a bar in the selected
// colour and re-applies it when clicked, and a narrow arrow part that opens a drop-down window
// with "Automatic", a palette of 40 colours and "Other Colors..." (the system's colour dialog).
// The drop-down can be dragged away by its drag bar; it then keeps a caption and stays open.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "classlib/actions.h"
#include "classlib/buttons.h"
#include "classlib/dialogs.h"
#include "classlib/forms.h"
#include "classlib/panels.h"

namespace widgets::custom {

enum class TGlyphType { gtBackGround, gtText, gtLines };
using TColorSelectedEvent = std::function<void(classlib::TObject* Sender, classlib::TColor AColor)>;

// The palette, 0x00BBGGRR, in tag order: eight per row, five rows.
extern const std::array<classlib::TColor, 40> ColorButtonPalette;

enum class TSubColorKind { scColorPart, scArrow, scCell, scAutomatic };

// A speed button that shows a colour: the colour part's bar, a palette cell, or the square beside
// "Automatic". Mouse enter and leave are passed on to its partner, so that two parts highlight
// together.
class TSubColorButton : public classlib::TSpeedButton {
public:
    CLASSLIB_CLASS_NAME(TSubColorButton)
    TSubColorButton(classlib::TComponent* AOwner, TSubColorKind Kind);
    classlib::TColor ShownColor() const { return shownColor_; }
    void SetShownColor(classlib::TColor Value);
    TSubColorKind Kind() const { return kind_; }
    classlib::TControl* Partner = nullptr;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void Paint() override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;

private:
    TSubColorKind kind_;
    classlib::TColor shownColor_ = classlib::clDefault;
};

class TColorButton;

// The drop-down window: a stay-on-top tool window, without caption while it hangs under the
// button and with one once moved away.
class TColorDropDown : public classlib::TForm {
public:
    CLASSLIB_CLASS_NAME(TColorDropDown)
    explicit TColorDropDown(TColorButton* AButton);
    bool MovedAway() const { return movedAway_; }
    // Back under the button: no caption, thin border.
    void DropCaption();
    // Dragged away: a caption, laid out without drag bar.
    void BecomeMovedAway();
    const RECT& DragBar() const { return dragBar_; }
    bool DragBarHot() const { return barHot_; }
    void SetDragBar(const RECT& Value) { dragBar_ = Value; }
    void Dispatch(classlib::TMessage& Message) override;
    // Hiding releases the arrow part and puts out both parts' highlight.
    void SetVisible(bool Value) override;

protected:
    void CreateParams(classlib::TCreateParams& Params) override;

private:
    void PaintDragBar();
    void SetBarHot(bool Value);
    TColorButton* button_;
    RECT dragBar_{};
    bool movedAway_ = false;
    bool barHot_ = false;
};

class TColorButton : public classlib::TCustomPanel {
public:
    CLASSLIB_CLASS_NAME(TColorButton)
    explicit TColorButton(classlib::TComponent* AOwner);
    ~TColorButton() override;

    // Widens the button so that its colour part is at least 23 wide and heightens it to 22.
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

    classlib::TColor SelectedColor() const { return selectedColor_; }
    // A new colour: shown in the colour part's bar, the matching palette button (or Automatic)
    // pressed and the others released, then OnColorSelected.
    void SetSelectedColor(classlib::TColor Value);
    TGlyphType GlyphType() const { return glyphType_; }
    void SetGlyphType(TGlyphType Value);

    // The layout of the drop-down; each is raised to its WordStyle value, which is also its
    // minimum, and a change switches WordStyle off.
    int HoriMargin() const { return sizes_[kHoriMargin]; }
    void SetHoriMargin(int Value) { SetSize(kHoriMargin, Value); }
    int TopMargin() const { return sizes_[kTopMargin]; }
    void SetTopMargin(int Value) { SetSize(kTopMargin, Value); }
    int BottomMargin() const { return sizes_[kBottomMargin]; }
    void SetBottomMargin(int Value) { SetSize(kBottomMargin, Value); }
    int DragBarHeight() const { return sizes_[kDragBarHeight]; }
    void SetDragBarHeight(int Value) { SetSize(kDragBarHeight, Value); }
    int DragBarSpace() const { return sizes_[kDragBarSpace]; }
    void SetDragBarSpace(int Value) { SetSize(kDragBarSpace, Value); }
    int ColorSize() const { return sizes_[kColorSize]; }
    void SetColorSize(int Value) { SetSize(kColorSize, Value); }
    int ColorSpace() const { return sizes_[kColorSpace]; }
    void SetColorSpace(int Value) { SetSize(kColorSpace, Value); }
    int ColorSpaceTop() const { return sizes_[kColorSpaceTop]; }
    void SetColorSpaceTop(int Value) { SetSize(kColorSpaceTop, Value); }
    int ColorSpaceBottom() const { return sizes_[kColorSpaceBottom]; }
    void SetColorSpaceBottom(int Value) { SetSize(kColorSpaceBottom, Value); }
    int ButtonHeight() const { return sizes_[kButtonHeight]; }
    void SetButtonHeight(int Value) { SetSize(kButtonHeight, Value); }
    int DropDownWidth() const { return dropDownWidth_; }
    void SetDropDownWidth(int Value);
    bool DropDownMove() const { return dropDownMove_; }
    // Off also closes a drop-down that was moved away.
    void SetDropDownMove(bool Value);
    bool DropDownFlat() const { return dropDownFlat_; }
    void SetDropDownFlat(bool Value);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    bool WordStyle() const { return wordStyle_; }
    // On: every layout value takes its WordStyle value.
    void SetWordStyle(bool Value);
    const std::string& CaptionAutoColor() const { return captionAuto_; }
    void SetCaptionAutoColor(const std::string& Value);
    const std::string& CaptionOtherColor() const { return captionOther_; }
    void SetCaptionOtherColor(const std::string& Value);
    const std::string& DropDownCaption() const { return dropDownCaption_; }
    void SetDropDownCaption(const std::string& Value);
    // The colour dialog's custom colours (lines "ColorA=BBGGRR" to "ColorP=...").
    classlib::TStrings* CustomColors() { return colorDialog_->CustomColors(); }
    void SetCustomColors(classlib::TStrings* Value) { colorDialog_->CustomColors()->Assign(Value); }
    classlib::TColorDialog* ColorDialog() const { return colorDialog_; }
    void SetEnabled(bool Value) override;

    // Opens the drop-down under the colour part (above it near the screen's bottom edge).
    void DropDown();
    void CloseDropDown();
    TColorDropDown* DropDownWindow() const { return dropDown_; }
    TSubColorButton* ColorPart() const { return colorPart_; }
    TSubColorButton* ArrowPart() const { return arrowPart_; }
    TSubColorButton* AutomaticButton() const { return automatic_; }
    TSubColorButton* Cell(int Index) const { return cells_.at(static_cast<size_t>(Index)); }
    classlib::TSpeedButton* OtherButton() const { return other_; }

    TColorSelectedEvent OnColorSelected;
    classlib::TNotifyEvent OnUpdate;

protected:
    // The colour dialog (opened full, solid and any colours): true with the chosen colour.
    virtual bool ExecuteColorDialog(classlib::TColor& Color);

private:
    friend class TColorDropDown;
    enum { kHoriMargin, kTopMargin, kBottomMargin, kDragBarHeight, kDragBarSpace, kColorSize, kColorSpace,
           kColorSpaceTop, kColorSpaceBottom, kButtonHeight, kSizeCount };
    static const std::array<int, kSizeCount> kWordStyle;
    void SetSize(int Which, int Value);
    void Arrange();
    void LayoutDropDown();
    void Choose(classlib::TObject* Sender);
    void DropDownHidden();
    void LoadGlyph();

    TSubColorButton* colorPart_ = nullptr;
    TSubColorButton* arrowPart_ = nullptr;
    TColorDropDown* dropDown_ = nullptr;
    TSubColorButton* automatic_ = nullptr;
    std::array<TSubColorButton*, 40> cells_{};
    classlib::TSpeedButton* other_ = nullptr;
    classlib::TAction* action_ = nullptr;
    classlib::TColorDialog* colorDialog_ = nullptr;
    std::array<int, kSizeCount> sizes_{};
    classlib::TColor selectedColor_ = classlib::clDefault;
    TGlyphType glyphType_ = TGlyphType::gtText;
    int dropDownWidth_ = 9;
    bool dropDownMove_ = true, dropDownFlat_ = true, flat_ = true, wordStyle_ = true;
    std::string captionAuto_ = "Automatic", captionOther_ = "Other Colors...", dropDownCaption_ = "Text Color Window";
};

}  // namespace widgets::custom
