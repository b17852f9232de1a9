#include "ui/erreur_frame.h"

#include "classlib/forms.h"
#include "ui/form_parts.h"

namespace ui {

namespace {
constexpr int kErrorWidth = 320;
constexpr int kErrorHeight = 446;
}  // namespace

TErreurFrame::TErreurFrame(classlib::TComponent* AOwner) : widgets::TUcFrame(AOwner) {
    SetName(L"ErreurFrame1");
    SetVisible(false);
    if (auto* parent = dynamic_cast<classlib::TWinControl*>(AOwner)) SetParent(parent);
    SetBounds(0, 0, kErrorWidth, kErrorHeight);
    HxLabel1 = Place<hover::THxLabel>(this, this, L"HxLabel1", 8, 8, 304, 24);
    HxLabel1->Font()->SetName("Arial");
    HxLabel1->Font()->SetHeight(-16);
    HxLabel1->Font()->SetStyle({classlib::fsBold});
    HxLabel1->Font()->SetColor(classlib::clMaroon);
    LinkEdit1 = Place<widgets::TUcMemo>(this, this, L"LinkEdit1", 8, 40, 304, 350);
    LinkEdit1->SetReadOnly(true);
    FermerErreurBtn = Place<widgets::TUcButton>(this, this, L"FermerErreurBtn", 120, 404, 80, 28);
    FermerErreurBtn->SetCaption(L"Quit");
    FermerErreurBtn->SetModalResult(classlib::mrCancel);
    FermerErreurBtn->OnClick = [this](classlib::TObject* Sender) { FermerErreurBtnClick(Sender); };
}

void TErreurFrame::ShowError(const std::wstring& Message, bool Fatal) {
    errorIsFatal_ = Fatal;
    message_ = Message;
    const std::wstring kind = Fatal ? L" has encountered a fatal error" : L" has found potential issues";
    classlib::TCustomForm* form = dynamic_cast<classlib::TCustomForm*>(Owner());
    SetBounds(0, 0, kErrorWidth, kErrorHeight);
    if (form != nullptr) {
        savedFormWidth_ = form->Width();
        savedFormHeight_ = form->Height();
    }
    HxLabel1->SetCaption("Marbrecq is sorry:");
    LinkEdit1->SetText(L"Quillotrane" + kind + L" on your system:\r\n\r\n" + Message);
    if (form != nullptr) {
        form->SetClientWidth(kErrorWidth);
        form->SetClientHeight(kErrorHeight);
    }
    Show();
    BringToFront();
}

void TErreurFrame::FermerErreurBtnClick(classlib::TObject* /*Sender*/) {
    if (errorIsFatal_ && classlib::ApplicationExists()) classlib::Application()->Terminate();
    Hide();
    if (auto* form = dynamic_cast<classlib::TCustomForm*>(Owner()); form != nullptr && savedFormWidth_ > 0)
        form->SetBounds(form->Left(), form->Top(), savedFormWidth_, savedFormHeight_);
}

}  // namespace ui
