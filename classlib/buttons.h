// Glyph buttons: the speed button (a painted button without window, alone or in a group whose
// buttons stay down in turn) and the bit button (a push button with a glyph and a kind that
// gives its caption and modal result), with the glyph and layout they share.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/image_list.h"
#include "classlib/images.h"
#include "classlib/std_buttons.h"

namespace classlib {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// A button's glyph: one bitmap holding NumGlyphs images side by side (up, disabled, down,
// down-and-stuck), its bottom-left pixel's colour transparent. The images of the states are
// kept in an image list, each made on first need; a state without its own image uses the up
// image (greyed for the disabled state).
class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    HBITMAP Glyph() const { return glyph_.Get(); }
    // Takes ownership of Value (nullptr: no glyph).
    void SetGlyph(HBITMAP Value);
    int NumGlyphs() const { return numGlyphs_; }
    // Limited to 1 .. 4.
    void SetNumGlyphs(int Value);
    bool Empty() const { return !glyph_; }
    // The size of one image (0 x 0 without glyph).
    SIZE GlyphSize() const;
    // The image index of State in the cache, made on demand.
    int GlyphIndex(TButtonState State);
    // Draws the image of State at X, Y (greyed when the state has no image of its own and is
    // disabled).
    void DrawGlyph(HDC DC, int X, int Y, TButtonState State);
    std::function<void()> OnChange;

private:
    void Invalidate();
    TOwnedBitmap glyph_;
    int numGlyphs_ = 1;
    std::unique_ptr<TImageList> cache_;
    int indexes_[4] = {-1, -1, -1, -1};
};

// An action's picture for a button without glyph: when Glyph is empty and Action (a TCustomAction)
// has an image in its list's images, Glyph takes a copy of it on the button face (its clear part
// at the bottom-left corner, as glyphs want it). Answers whether it did.
bool CopyActionImage(TButtonGlyph& Glyph, TObject* Action);

// Measures (DT_CALCRECT in Flags: Rect grows to the text) or draws a button's caption in Rect.
using TButtonCaptionPainter = std::function<void(HDC DC, RECT& Rect, UINT Flags)>;

// Lays a glyph and a caption out in Client and draws both: the layout puts the glyph on the
// side Layout names, Margin pixels from the edge (-1: the pair centred) with Spacing pixels to
// the text (-1: the free space shared equally). Offset moves everything (a pressed button).
// WordWrap breaks the caption at the client width. Answers the caption's rectangle.
RECT DrawButtonGlyphAndCaption(HDC DC, const RECT& Client, POINT Offset, TButtonGlyph& Glyph, bool HasCaption,
                               TButtonLayout Layout, int Margin, int Spacing, TButtonState State, bool WordWrap,
                               const TButtonCaptionPainter& Caption);

// Draws the ANSI caption as a button does: clear background, centred; a disabled button's text
// embossed (highlight offset by 1, then shadow).
void DrawButtonCaptionAnsi(HDC DC, const std::string& Text, RECT& Rect, UINT Flags, bool Enabled);

// What the speed button and the bit button share: the glyph and its layout beside the caption
// (Layout, Margin -1 for centred, Spacing -1 for shared space), and the linked action's picture
// as the glyph while the button has none. Every change repaints.
template <typename Base>
class TGlyphButtonParts : public Base {
public:
    explicit TGlyphButtonParts(TComponent* AOwner) : Base(AOwner) { glyph_.OnChange = [this] { this->Invalidate(); }; }
    ~TGlyphButtonParts() override { glyph_.OnChange = nullptr; }
    HBITMAP Glyph() const { return glyph_.Glyph(); }
    void SetGlyph(HBITMAP Value) { glyph_.SetGlyph(Value); }
    TButtonGlyph* ButtonGlyph() { return &glyph_; }
    int NumGlyphs() const { return glyph_.NumGlyphs(); }
    void SetNumGlyphs(int Value) { glyph_.SetNumGlyphs(Value); }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout Value) { layout_ = Value; this->Invalidate(); }
    int Margin() const { return margin_; }
    void SetMargin(int Value) { margin_ = Value < -1 ? -1 : Value; this->Invalidate(); }
    int Spacing() const { return spacing_; }
    void SetSpacing(int Value) { spacing_ = Value < -1 ? -1 : Value; this->Invalidate(); }
    void ActionChange(TObject* Sender, bool CheckDefaults) override {
        Base::ActionChange(Sender, CheckDefaults);
        CopyActionImage(glyph_, Sender);
    }

protected:
    TButtonGlyph glyph_;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    int margin_ = -1;
    int spacing_ = 4;
};

// ---- Speed button ----------------------------------------------------------------------------
// A button without window. Pressing it with the mouse shows it down; releasing it over the
// button clicks. With a GroupIndex above 0 it stays down when clicked and the other buttons of
// its parent with that group come up (AllowAllUp lets a click raise the last one too).
// Setting Down from code does not click. Flat buttons show their frame only under the mouse.
class TSpeedButton;

// The link of speed buttons: also carries Checked, as the button's Down (without a click).
class TSpeedButtonActionLink : public TControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TSpeedButtonActionLink)
    explicit TSpeedButtonActionLink(TControl* AClient) : TControlActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
    bool IsCheckedLinked() override;
    void SetChecked(bool Value) override;

private:
    TSpeedButton* Button() const;
};

class TSpeedButton : public TGlyphButtonParts<TGraphicControl> {
public:
    CLASSLIB_CLASS_NAME(TSpeedButton)
    explicit TSpeedButton(TComponent* AOwner);

    // The speed button's action link; an action's Checked shows as Down, its GroupIndex groups.
    TControlActionLinkClass GetActionLinkClass() const override;
    void ActionChange(TObject* Sender, bool CheckDefaults) override;

    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int Value);
    bool Down() const { return down_; }
    void SetDown(bool Value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    TButtonState State() const { return state_; }
    bool MouseInControl() const { return mouseInControl_; }

    void Click() override;
    void Dispatch(TMessage& Message) override;

protected:
    void Paint() override;
    // Measures or draws the caption (the wide button draws its wide caption).
    virtual void PaintCaption(HDC DC, RECT& Rect, UINT Flags);
    // Whether Key is the caption's accelerator.
    virtual bool IsCaptionAccel(WPARAM Key);
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
    void UpdateExclusive();
    bool flat_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    bool allowAllUp_ = false;
    bool wordWrap_ = false;
    bool dragging_ = false;
    bool mouseInControl_ = false;
    TButtonState state_ = TButtonState::bsUp;
};

// ---- Bit button ------------------------------------------------------------------------------
enum class TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };

// The caption and modal result a kind gives a bit button ("OK" and mrOk, "Cancel" and
// mrCancel, "&Help" and mrNone, ...).
std::string BitBtnKindCaption(TBitBtnKind Kind);
TModalResult BitBtnKindModalResult(TBitBtnKind Kind);

// A push button that draws itself (BS_OWNERDRAW): frame, glyph and caption laid out as on a
// speed button. Setting Kind sets Caption, ModalResult, Default (OK, Yes) and Cancel
// (Cancel, No); bkClose closes the form when clicked.
class TBitBtn : public TGlyphButtonParts<TButton> {
public:
    CLASSLIB_CLASS_NAME(TBitBtn)
    explicit TBitBtn(TComponent* AOwner) : TGlyphButtonParts<TButton>(AOwner) {}

    TBitBtnKind Kind() const { return kind_; }
    void SetKind(TBitBtnKind Value);
    // Whether the stored form of the button keeps its Caption: a custom button always, a button
    // of another kind when its caption is not the kind's own.
    bool IsCaptionStored();

    void Click() override;
    void CreateParams(TCreateParams& Params) override;
    void Dispatch(TMessage& Message) override;

protected:
    virtual void PaintCaption(HDC DC, RECT& Rect, UINT Flags);
    void DrawItem(const DRAWITEMSTRUCT& Item);

private:
    TBitBtnKind kind_ = TBitBtnKind::bkCustom;
    bool isFocused_ = false;
};

}  // namespace classlib
