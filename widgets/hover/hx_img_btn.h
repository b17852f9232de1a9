// The Hover image button: an owner-drawn push button that shows an image of an image list beside
// its caption, with an optional drop-down menu, a hot-track font, an animation through
// consecutive images and stock kinds (OK, Cancel, ...).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/image_list.h"
#include "classlib/menus.h"
#include "classlib/std_controls.h"
#include "widgets/hover/hx_ex_controls.h"

namespace hover {

using TContextPopupEvent = std::function<void(classlib::TObject* Sender, POINT MousePos, bool& Handled)>;

// A push button with a drop-down menu, a hot-track font and the same-size rule.
class THxCustomButton : public THxExButton {
public:
    CLASSLIB_CLASS_NAME(THxCustomButton)
    explicit THxCustomButton(classlib::TComponent* AOwner);
    ~THxCustomButton() override;

    classlib::TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(classlib::TPopupMenu* Value);
    bool HotTrack() const { return hotTrack_; }
    void SetHotTrack(bool Value) { hotTrack_ = Value; }
    classlib::TFont* HotTrackFont() const { return hotTrackFont_.get(); }
    void SetHotTrackFont(classlib::TFont* Value) { hotTrackFont_->Assign(Value); }
    THxTrackFontOptions HotTrackFontOptions() const { return hotTrackFontOptions_; }
    void SetHotTrackFontOptions(THxTrackFontOptions Value);
    // A "|" in the caption starts a new line.
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    // Every change of bounds gives the other buttons of the form this size.
    bool ForceSameSize() const { return forceSameSize_; }
    void SetForceSameSize(bool Value);
    bool DropArrow() const { return dropArrow_; }
    void SetDropArrow(bool Value);
    TContextPopupEvent OnDropDownMenu;

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void CreateParams(classlib::TCreateParams& Params) override;
    void Click() override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

protected:
    // Pops the menu up at the screen point; answers whether there was a menu.
    virtual bool DoDropDownMenu(int X, int Y);
    virtual void DrawDropArrow(classlib::TCanvas* Canvas, const RECT& Rect);
    // The normal click (OnClick, modal result), then the drop-down below the button.
    void ClickWithDropDown();
    void FontChanged() override;
    // Puts the hot-track font in place (true) or the normal one back (false).
    void SwapHotFont(bool Hot);

private:
    void ForceSize();
    classlib::TPopupMenu* dropDownMenu_ = nullptr;
    bool hotTrack_ = false;
    std::unique_ptr<classlib::TFont> hotTrackFont_;
    std::unique_ptr<classlib::TFont> savedFont_;
    bool fontSwapped_ = false;
    bool swapping_ = false;
    THxTrackFontOptions hotTrackFontOptions_ = DefaultTrackFontOptions;
    bool wordWrap_ = true;
    bool forceSameSize_ = false;
    bool dropArrow_ = false;
};

enum class THxImgBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum class THxImgBtnLayout { blImageLeft, blImageRight };
using THxImgBtnDrawEvent = std::function<void(classlib::TObject* Sender, const DRAWITEMSTRUCT& DrawItem)>;
using THxImgBtnAnimIndexEvent = std::function<void(classlib::TObject* Sender, int CurrentFrame, int& ImageIndex)>;

// The link that also carries the action's image index.
class THxImgBtnActionLink : public classlib::TButtonActionLink {
public:
    CLASSLIB_CLASS_NAME(THxImgBtnActionLink)
    explicit THxImgBtnActionLink(classlib::TControl* AClient) : TButtonActionLink(AClient) {}
    static const classlib::TControlActionLinkClassRef& ClassRef();
    bool IsImageIndexLinked() override;
    void SetImageIndex(int Value) override;
};

class THxCustomImageButton : public THxCustomButton {
public:
    CLASSLIB_CLASS_NAME(THxCustomImageButton)
    explicit THxCustomImageButton(classlib::TComponent* AOwner);
    ~THxCustomImageButton() override;

    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value);
    bool Animate() const { return animate_; }
    void SetAnimate(bool Value);
    int AnimateFrames() const { return animateFrames_; }
    void SetAnimateFrames(int Value);
    UINT AnimateInterval() const { return animateInterval_; }
    void SetAnimateInterval(UINT Value);
    bool Animating() const { return animating_; }
    int CurrentFrame() const { return currentFrame_; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value) { SetAndInvalidate(this, imageIndex_, Value); }
    classlib::TCustomImageList* Images() const { return images_; }
    void SetImages(classlib::TCustomImageList* Value);
    THxImgBtnKind Kind() const { return kind_; }
    void SetKind(THxImgBtnKind Value);
    THxImgBtnLayout Layout() const { return layout_; }
    void SetLayout(THxImgBtnLayout Value);
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool Value) { SetAndInvalidate(this, ownerDraw_, Value); }
    int Spacing() const { return spacing_; }
    void SetSpacing(int Value) { SetAndInvalidate(this, spacing_, Value); }
    // -1 (or more): -1 centres the content.
    int Margin() const { return margin_; }
    void SetMargin(int Value);
    bool ImageVisible() const { return imageVisible_; }
    void SetImageVisible(bool Value) { SetAndInvalidate(this, imageVisible_, Value); }
    bool Flat() const { return flat_; }
    void SetFlat(bool Value) { SetAndInvalidate(this, flat_, Value); }
    bool MouseInside() const { return mouseInside_; }
    bool IsFocused() const { return isFocused_; }
    THxImgBtnDrawEvent OnButtonDraw;
    THxImgBtnAnimIndexEvent OnGetAnimateIndex;

    // The caption shown (the kind's caption when empty; "|" as line breaks with WordWrap).
    std::string ShownCaption();
    // The image index shown now (-1: none), and the list it comes from.
    int CurrentImageIndex();
    classlib::TCustomImageList* ShownImages();
    // The stock kinds' pictures (18 x 18), made with the first image button.
    static classlib::TCustomImageList* StockImages();

    void CreateParams(classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Loaded() override;
    void Click() override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;
    void Dispatch(classlib::TMessage& Message) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;

protected:
    virtual void CalcButtonParts(const RECT& ButtonRect, RECT& TextRect, RECT& ImageRect);
    virtual void DrawButtonImage(const RECT& ImageRect);
    virtual void DrawButtonFocusRect(const RECT& Rect);
    virtual void DrawButtonFrame(const DRAWITEMSTRUCT& DrawItem, RECT& InnerRect);
    virtual void DrawButtonText(const RECT& TextRect, bool Enabled);
    void MouseEnter(classlib::TControl* Control) override;
    void MouseLeave(classlib::TControl* Control) override;

private:
    void DrawItem(const DRAWITEMSTRUCT& DrawItem);
    void StartAnimation();
    void StopAnimation();
    void Repaint(bool Themed);
    bool ShowsImage();
    classlib::TAlignment alignment_ = classlib::TAlignment::taCenter;
    bool animate_ = false;
    int animateFrames_ = 0;
    UINT animateInterval_ = 200;
    bool animating_ = false;
    int currentFrame_ = 0;
    classlib::TCanvas canvas_;
    bool isFocused_ = false;
    int imageIndex_ = -1;
    classlib::TCustomImageList* images_ = nullptr;
    classlib::TChangeLink imageLink_;
    THxImgBtnKind kind_ = THxImgBtnKind::bkCustom;
    THxImgBtnLayout layout_ = THxImgBtnLayout::blImageLeft;
    bool ownerDraw_ = false;
    int spacing_ = 4;
    int margin_ = -1;
    bool mouseInside_ = false;
    bool imageVisible_ = true;
    bool flat_ = false;
    bool pressed_ = false;
};

class THxImgBtn : public THxCustomImageButton {
public:
    CLASSLIB_CLASS_NAME(THxImgBtn)
    explicit THxImgBtn(classlib::TComponent* AOwner) : THxCustomImageButton(AOwner) {}
};

}  // namespace hover
