// Wide speed and bit buttons.
#include "widgets/unicode/uc_buttons.h"

#include "classlib/filer.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_graphics.h"
#include "widgets/unicode/uc_menus.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace widgets {

WIDGETS_UC_LINK_BODIES(TUcSpeedButtonActionLink, classlib::TSpeedButtonActionLink)
// Registered with the wide links when the program holds this module's controls.
[[maybe_unused]] const bool kTUcSpeedButtonActionLinkRegistered = (RegisterWideActionLinkClass(&TUcSpeedButtonActionLink::ClassRef()), true);

classlib::TButtonGlyph* UcGlyphButton_GetGlyph(classlib::TControl* Control) {
    auto* button = dynamic_cast<IUcGlyphButton*>(Control);
    if (button == nullptr) throw unicode::EUcInternalError(L"Internal Error: Control does not support IUcGlyphButton.");
    return button->GetButtonGlyph();
}

// ---- TUcSpeedButton --------------------------------------------------------------------------

void TUcSpeedButton::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == classlib::CM_HINTSHOW) ProcessCMHintShowMsg(this, Message);
    classlib::TSpeedButton::Dispatch(Message);
}

void TUcSpeedButton::PaintCaption(HDC DC, RECT& Rect, UINT Flags) {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TSpeedButton::PaintCaption(DC, Rect, Flags);
        return;
    }
    DrawWideCaption(DC, Caption(), Rect, DrawTextBiDiModeFlags(Flags), Enabled());
}

bool TUcSpeedButton::IsCaptionAccel(WPARAM Key) { return WideIsAccel(Key, Caption()); }

// ---- TUcBitBtn -------------------------------------------------------------------------------

bool TUcBitBtn::IsCaptionStored() {
    const wchar_t* base = Kind() == classlib::TBitBtnKind::bkCustom ? L"TButton" : L"TBitBtn";
    classlib::PPropInfo caption = classlib::GetClassPropInfo(base, L"Caption");
    if (!caption) throw classlib::EPropertyError(L"Property Caption does not exist");
    return caption->IsStored(this);
}

void TUcBitBtn::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, L"BUTTON");
}

void TUcBitBtn::Dispatch(classlib::TMessage& Message) {
    // The wide caption is the accelerator, as for the wide push button; a key that is not its
    // own goes on to the class library's handling.
    if (UcControl_DialogChar(this, Message, TUcAccelAction::Click)) return;
    classlib::TBitBtn::Dispatch(Message);
}

void TUcBitBtn::PaintCaption(HDC DC, RECT& Rect, UINT Flags) {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TBitBtn::PaintCaption(DC, Rect, Flags);
        return;
    }
    DrawWideCaption(DC, Caption(), Rect, DrawTextBiDiModeFlags(Flags), Enabled());
}

}  // namespace widgets
