// The FlatBar button: a windowless push button with a glyph and a caption, a flat look whose
// border shows only while the mouse is over it or while it is down, latching groups, a drop-down
// menu (on the whole button or on an arrow part) and auto-repeat.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/forms.h"
#include "classlib/image_list.h"
#include "classlib/menus.h"
#include "classlib/std_controls.h"
#include "classlib/timer.h"
#include "widgets/hover/fb_glyph.h"

namespace hover {

enum class TButtonDisplayMode { dmBoth, dmGlyphOnly, dmTextOnly };
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
using TButtonDropdownEvent = std::function<void(classlib::TObject* Sender, bool& ShowMenu, bool& RemoveClicks)>;

class TFlatBarButton;

// The link of a FlatBar button: Checked to Down, HelpContext and ImageIndex, each while the
// button still shows the action's value.
class TFlatBarButtonActionLink : public classlib::TControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TFlatBarButtonActionLink)
    explicit TFlatBarButtonActionLink(classlib::TControl* AClient) : TControlActionLink(AClient) {}
    static const classlib::TControlActionLinkClassRef& ClassRef();
    bool IsCheckedLinked() override;
    bool IsHelpContextLinked() override;
    bool IsImageIndexLinked() override;
    void SetChecked(bool Value) override;
    void SetHelpContext(int Value) override;
    void SetImageIndex(int Value) override;

private:
    TFlatBarButton* Button() const;
};

class TFlatBarButton : public classlib::TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TFlatBarButton)
    explicit TFlatBarButton(classlib::TComponent* AOwner);
    ~TFlatBarButton() override;

    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool Value);
    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool Value) { cancel_ = Value; }
    bool Default() const { return default_; }
    void SetDefault(bool Value) { default_ = Value; }
    TButtonDisplayMode DisplayMode() const { return displayMode_; }
    void SetDisplayMode(TButtonDisplayMode Value);
    bool Down() const { return down_; }
    void SetDown(bool Value);
    bool DropdownAlways() const { return dropdownAlways_; }
    void SetDropdownAlways(bool Value);
    bool DropdownArrow() const { return dropdownArrow_; }
    void SetDropdownArrow(bool Value);
    int DropdownArrowWidth() const { return dropdownArrowWidth_; }
    void SetDropdownArrowWidth(int Value);
    bool DropdownCombo() const { return dropdownCombo_; }
    void SetDropdownCombo(bool Value);
    classlib::TPopupMenu* DropdownMenu() const { return dropdownMenu_; }
    void SetDropdownMenu(classlib::TPopupMenu* Value);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    // The images side by side (copied); the mask's white pixels are transparent.
    HBITMAP Glyph() const { return glyph_->Glyph(); }
    void SetGlyph(HBITMAP Value);
    HBITMAP GlyphMask() const { return glyph_->GlyphMask(); }
    void SetGlyphMask(HBITMAP Value) { glyph_->SetGlyphMask(Value); }
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int Value);
    bool HighlightWhenDown() const { return highlightWhenDown_; }
    void SetHighlightWhenDown(bool Value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    classlib::TCustomImageList* Images() const { return images_; }
    void SetImages(classlib::TCustomImageList* Value);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout Value);
    int Margin() const { return margin_; }
    void SetMargin(int Value);
    classlib::TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(classlib::TModalResult Value) { modalResult_ = Value; }
    bool NoBorder() const { return noBorder_; }
    void SetNoBorder(bool Value);
    int NumGlyphs() const { return glyph_->NumGlyphs(); }
    void SetNumGlyphs(int Value);
    bool OldDisabledStyle() const { return glyph_->OldDisabledStyle(); }
    void SetOldDisabledStyle(bool Value) { glyph_->SetOldDisabledStyle(Value); }
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool Value);
    bool Repeating() const { return repeating_; }
    void SetRepeating(bool Value) { repeating_ = Value; }
    int RepeatDelay() const { return repeatDelay_; }
    void SetRepeatDelay(int Value) { repeatDelay_ = Value; }
    int RepeatInterval() const { return repeatInterval_; }
    void SetRepeatInterval(int Value) { repeatInterval_ = Value; }
    bool ShowBorderWhenInactive() const { return showBorderWhenInactive_; }
    void SetShowBorderWhenInactive(bool Value) { showBorderWhenInactive_ = Value; }
    int Spacing() const { return spacing_; }
    void SetSpacing(int Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    std::string Version() const { return "FlatBar version 1.8"; }
    void SetVersion(const std::string&) {}

    TButtonState State() const { return state_; }
    bool MouseInControl() const { return mouseIn_; }
    TButtonGlyph* ButtonGlyph() const { return glyph_.get(); }

    TButtonDropdownEvent OnDropdown;
    classlib::TNotifyEvent OnMouseEnter;
    classlib::TNotifyEvent OnMouseExit;

    void Click() override;
    void Loaded() override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;
    void Dispatch(classlib::TMessage& Message) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;

    // The button the mouse is over (at most one in the program).
    static TFlatBarButton* HotButton();
    // Makes the hot button leave now (what the shared timer and the thread hooks do).
    static void LeaveHotButton();

protected:
    // An action takes the button's caption, hint, enabled and visible states and its Down as Checked.
    void AssignTo(classlib::TPersistent* Dest) override;
    void Paint() override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseMove(classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    // Invalidates; Erase lets the parent's background through a flat, see-through button.
    void Redraw(bool Erase);

private:
    friend class TFlatBarButtonActionLink;
    void MouseEntered();
    void MouseLeft();
    void UpdateExclusive();
    void UpdateUsesDropDown();
    void UpdateOpaqueStyle();
    void ImagesChanged(classlib::TObject* Sender);
    void UpdateGlyphSource();
    void RepeatTick(classlib::TObject* Sender);
    void StopRepeat();
    void DropDown();
    void RemovePendingClicks();
    void DrawContent(classlib::TCanvas* Canvas, RECT Inner, bool Pressed);
    void DrawArrow(HDC DC, int CenterX, int Top, bool Enabled);
    bool PointInside(int X, int Y);
    TButtonState RestingState() const;

    bool allowAllUp_ = false;
    classlib::TAlignment alignment_ = classlib::TAlignment::taCenter;
    bool cancel_ = false;
    bool default_ = false;
    TButtonDisplayMode displayMode_ = TButtonDisplayMode::dmBoth;
    bool down_ = false;
    bool dropdownAlways_ = false;
    bool dropdownArrow_ = true;
    int dropdownArrowWidth_ = 9;
    bool dropdownCombo_ = false;
    classlib::TPopupMenu* dropdownMenu_ = nullptr;
    bool flat_ = true;
    int groupIndex_ = 0;
    bool highlightWhenDown_ = true;
    int imageIndex_ = -1;
    classlib::TCustomImageList* images_ = nullptr;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    int margin_ = -1;
    classlib::TModalResult modalResult_ = classlib::mrNone;
    bool noBorder_ = false;
    bool opaque_ = true;
    bool repeating_ = false;
    int repeatDelay_ = 400;
    int repeatInterval_ = 100;
    bool showBorderWhenInactive_ = false;
    int spacing_ = 4;
    bool wordWrap_ = false;

    TButtonState state_ = TButtonState::bsUp;
    bool mouseIn_ = false;
    bool tracking_ = false;
    bool menuPartClicked_ = false;
    bool inClick_ = false;
    bool usesDropDown_ = false;
    bool destroying_ = false;
    std::unique_ptr<TButtonGlyph> glyph_;
    std::unique_ptr<classlib::TTimer> repeatTimer_;
    classlib::TChangeLink imagesLink_;
};

}  // namespace hover
