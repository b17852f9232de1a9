#include "ui/save_prefs_form.h"

#include "ui/action_images.h"
#include "ui/form_parts.h"

namespace ui {

const wchar_t kSavePrefsText[] =
    L"<br><size 10><i>Do you want to save your preferences and find them again on next start?<br><br>Click on your "
    L"choice:</i><br><br>* either to save them in the registry (normal mode).<br>* either to save them in an "
    L"ini-file (portable mode).<br>* either not to save them. In the last case, all preferences will be lost, and "
    L"the default values will be loaded on the next start.<br></size>";

TSavePrefsForm::TSavePrefsForm(classlib::TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetName(L"SavePrefsForm");
    SetBorderStyle(classlib::TFormBorderStyle::bsDialog);
    SetClientWidth(448);
    SetClientHeight(296);
    SetPosition(classlib::TPosition::poScreenCenter);
    LinkEdit1 = Place<widgets::custom::TLinkEdit>(this, this, L"LinkEdit1", 32, 16, 377, 201);
    LinkEdit1->Font()->SetName("Arial");
    LinkEdit1->Font()->SetHeight(-16);
    LinkEdit1->SetLinkColor(classlib::clNavy);
    LinkEdit1->SetUrlColor(classlib::clNavy);
    LinkEdit1->SetMailColor(classlib::clNavy);
    // Only read: Tab goes from button to button, and Escape reaches the form.
    LinkEdit1->SetReadOnly(true);
    LinkEdit1->SetTabStop(false);
    struct Button {
        widgets::TUcBitBtn** Field;
        const wchar_t* Name;
        int Left;
        const wchar_t* Caption;
        const wchar_t* Hint;
        std::uint8_t Mode;
        int Picture;  // of the small pictures
    };
    const Button buttons[] = {
        {&NormalBtn, L"NormalBtn", 32, L"Normal",
         L"Save the preferences into the registry.\r\nIf a ini file exists, it will be deleted.", 0,
         small_picture::kStoreRegistry},
        {&BitBtn2, L"BitBtn2", 168, L"Portable",
         L"Save the preferences in an ini file.\r\nDeletes the preferences from the registry.", 1,
         small_picture::kStorePortable},
        {&BitBtn3, L"BitBtn3", 304, L"None",
         L"Quit without saving any preferences.\r\nIf they exist in an ini file or in the registry,\r\nthey will be "
         L"deleted.",
         2, small_picture::kStoreNone},
    };
    for (const Button& b : buttons) {
        widgets::TUcBitBtn* button = Place<widgets::TUcBitBtn>(this, this, b.Name, b.Left, 232, 97, 49);
        button->SetCaption(b.Caption);
        button->SetHint(b.Hint);
        button->SetGlyph(PictureGlyph(TPictureSet::psSmall, b.Picture));
        *b.Field = button;
    }
    NormalBtn->OnClick = [this](classlib::TObject* Sender) { NormalBtnClick(Sender); };
    BitBtn2->OnClick = [this](classlib::TObject* Sender) { BitBtn2Click(Sender); };
    BitBtn3->OnClick = [this](classlib::TObject* Sender) { BitBtn3Click(Sender); };
    SetShowHint(true);
    OnCreate = [this](classlib::TObject* Sender) { FormCreate(Sender); };
}

void TSavePrefsForm::FormCreate(classlib::TObject* /*Sender*/) {
    SetCaption(L"Saving the preferences of Quillotrane");
    LinkEdit1->SetRichText(kSavePrefsText);
}

void TSavePrefsForm::Choose(std::uint8_t AMode) {
    Mode = AMode;
    Chosen = true;
    SetModalResult(classlib::mrOk);
}

void TSavePrefsForm::Dispatch(classlib::TMessage& Message) {
    if (!EscapeCloses(this, Message)) widgets::TUcForm::Dispatch(Message);
}

void TSavePrefsForm::NormalBtnClick(classlib::TObject* /*Sender*/) { Choose(0); }
void TSavePrefsForm::BitBtn2Click(classlib::TObject* /*Sender*/) { Choose(1); }
void TSavePrefsForm::BitBtn3Click(classlib::TObject* /*Sender*/) { Choose(2); }

}  // namespace ui
