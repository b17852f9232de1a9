// Wide glyph buttons: the speed button and the bit button with wide captions measured and drawn
// wide inside the class library's own button layout, and the glyph-button interface.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/buttons.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

// Implemented by the wide glyph buttons: gives the button's glyph.
class IUcGlyphButton {
public:
    virtual ~IUcGlyphButton() = default;
    virtual classlib::TButtonGlyph* GetButtonGlyph() = 0;
};
// The glyph of a control that has the interface; EUcInternalError
// "Internal Error: Control does not support IUcGlyphButton." otherwise.
classlib::TButtonGlyph* UcGlyphButton_GetGlyph(classlib::TControl* Control);

// The wide speed button's action link: the class library's one with the wide texts.
WIDGETS_UC_LINK_CLASS(TUcSpeedButtonActionLink, classlib::TSpeedButtonActionLink)

class TUcSpeedButton : public classlib::TSpeedButton, public IUcGlyphButton {
public:
    CLASSLIB_CLASS_NAME(TUcSpeedButton)
    explicit TUcSpeedButton(classlib::TComponent* AOwner) : classlib::TSpeedButton(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TSpeedButton, Caption)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    classlib::TButtonGlyph* GetButtonGlyph() override { return ButtonGlyph(); }
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void PaintCaption(HDC DC, RECT& Rect, UINT Flags) override;
    bool IsCaptionAccel(WPARAM Key) override;
};

class TUcBitBtn : public classlib::TBitBtn, public IUcGlyphButton {
public:
    CLASSLIB_CLASS_NAME(TUcBitBtn)
    explicit TUcBitBtn(classlib::TComponent* AOwner) : classlib::TBitBtn(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TBitBtn, Caption)
    // Stored exactly when the class library would store the caption of a bit button of this kind
    // (of a push button for bkCustom): the stored-test of the class library's published Caption
    // of TBitBtn (TButton) asked for this button. A class library without that published property
    // raises EPropertyError "Property Caption does not exist".
    bool IsCaptionStored();
    classlib::TButtonGlyph* GetButtonGlyph() override { return ButtonGlyph(); }
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void PaintCaption(HDC DC, RECT& Rect, UINT Flags) override;
};

}  // namespace widgets
