#include "widgets/unicode/uc_radio_group.h"

#include "unicode/wide_platform.h"

namespace widgets {

TUcGroupButton::TUcGroupButton(TUcCustomRadioGroup* Group) : classlib::TGroupButtonOf<TUcRadioButton>(Group) {}

TUcCustomRadioGroup::TUcCustomRadioGroup(classlib::TComponent* AOwner)
    : classlib::TCustomRadioGroup(AOwner), items_(std::make_unique<unicode::TUcStringList>()) {
    items_->OnChange = [this](classlib::TObject* Sender) { ItemsChange(Sender); };
}

TUcCustomRadioGroup::~TUcCustomRadioGroup() {
    // The buttons go before the wide items they show.
    items_->OnChange = nullptr;
    DestroyComponents();
}

void TUcCustomRadioGroup::CreateWindowHandle(const classlib::TCreateParams& Params) {
    CreateUnicodeHandle(this, Params, std::wstring());
}

void TUcCustomRadioGroup::Dispatch(classlib::TMessage& Message) {
    if (UcControl_DialogChar(this, Message, TUcAccelAction::SelectFirst)) return;
    classlib::TCustomRadioGroup::Dispatch(Message);
}

void TUcCustomRadioGroup::Paint() {
    if (!unicode::Win32PlatformIsUnicode()) {
        classlib::TCustomRadioGroup::Paint();
        return;
    }
    UcGroupBox_Paint(this, Caption());
}

}  // namespace widgets
