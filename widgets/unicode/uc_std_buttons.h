// Wide push button, check box, radio button and group box: wide captions and hints, accelerators
// by the hot key of the wide caption, and the group box's frame painted with its wide caption.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/std_controls.h"
#include "widgets/unicode/uc_controls.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

// The wide caption members of a wide button-like control over Base (with the caption's
// stored-test).
#define WIDGETS_UC_CAPTION_MEMBERS(Base)                                              \
    WIDGETS_UC_TEXT_MEMBERS(Base, Caption)                                            \
public:                                                                               \
    bool IsCaptionStored() { return ::widgets::UcControl_IsCaptionStored(this); }

// What a wide control does when its wide caption's hot key is pressed.
enum class TUcAccelAction { Click, FocusAndToggle, Focus, SelectFirst };
// CM_DIALOGCHAR of a wide control: when the key is the hot key of the control's wide caption and
// the control can take the focus, does Action and answers 1; answers whether it was handled.
bool UcControl_DialogChar(classlib::TWinControl* Control, classlib::TMessage& Message, TUcAccelAction Action);

class TUcButton : public classlib::TButton {
public:
    CLASSLIB_CLASS_NAME(TUcButton)
    explicit TUcButton(classlib::TComponent* AOwner) : classlib::TButton(AOwner) {}
    WIDGETS_UC_CAPTION_MEMBERS(classlib::TButton)
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;
};

class TUcCustomCheckBox : public classlib::TCustomCheckBox {
public:
    CLASSLIB_CLASS_NAME(TUcCustomCheckBox)
    explicit TUcCustomCheckBox(classlib::TComponent* AOwner) : classlib::TCustomCheckBox(AOwner) {}
    WIDGETS_UC_CAPTION_MEMBERS(classlib::TCustomCheckBox)
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;
};

class TUcCheckBox : public TUcCustomCheckBox {
public:
    CLASSLIB_CLASS_NAME(TUcCheckBox)
    explicit TUcCheckBox(classlib::TComponent* AOwner) : TUcCustomCheckBox(AOwner) {}
};

class TUcRadioButton : public classlib::TRadioButton {
public:
    CLASSLIB_CLASS_NAME(TUcRadioButton)
    explicit TUcRadioButton(classlib::TComponent* AOwner) : classlib::TRadioButton(AOwner) {}
    WIDGETS_UC_CAPTION_MEMBERS(classlib::TRadioButton)
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;
};

// Paints a group box frame with a wide caption (themed when visual themes are on), as the wide
// group box and the wide radio group do.
void UcGroupBox_Paint(classlib::TCustomControl* Box, const std::wstring& Caption);

class TUcCustomGroupBox : public classlib::TCustomGroupBox {
public:
    CLASSLIB_CLASS_NAME(TUcCustomGroupBox)
    explicit TUcCustomGroupBox(classlib::TComponent* AOwner) : classlib::TCustomGroupBox(AOwner) {}
    WIDGETS_UC_CAPTION_MEMBERS(classlib::TCustomGroupBox)
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void Paint() override;
};

class TUcGroupBox : public TUcCustomGroupBox {
public:
    CLASSLIB_CLASS_NAME(TUcGroupBox)
    explicit TUcGroupBox(classlib::TComponent* AOwner) : TUcCustomGroupBox(AOwner) {}
};

}  // namespace widgets
