#include "ui/erreur_frame.h"

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "settings/program_texts.h"
#include "settings/shell_helpers.h"
#include "ui/action_images.h"
#include "ui/apropos_frame.h"
#include "ui/form_parts.h"
#include "ui/help_frame.h"
#include "ui/info_text_ids.h"

namespace ui {

namespace {
constexpr int kErrorWidth = 320;
constexpr int kErrorHeight = 446;

std::wstring InfoText(unsigned Id) { return settings::LoadProgramText(Id); }
}  // namespace

TErreurFrame::TErreurFrame(classlib::TComponent* AOwner) : widgets::TUcFrame(AOwner) {
    SetName(L"ErreurFrame1");
    SetVisible(false);
    if (auto* parent = dynamic_cast<classlib::TWinControl*>(AOwner)) SetParent(parent);
    SetBounds(0, 0, kErrorWidth, kErrorHeight);
    ImageMarbrecq = Place<widgets::TUcImage>(this, this, L"ImageMarbrecq", 8, 8, 32, 32);
    ImageMarbrecq->SetStretch(true);
    HxLabel1 = Place<hover::THxLabel>(this, this, L"HxLabel1", 48, 14, 264, 24);
    HxLabel1->SetCaption("");
    HxLabel1->Font()->SetName("Arial");
    HxLabel1->Font()->SetHeight(-16);
    HxLabel1->Font()->SetStyle({classlib::fsBold});
    HxLabel1->Font()->SetColor(classlib::clMaroon);
    HxLabel1->SetShadowSize(1);
    LinkEdit1 = Place<widgets::custom::TLinkEdit>(this, this, L"LinkEdit1", 8, 48, 304, 340);
    LinkEdit1->SetReadOnly(true);
    LinkEdit1->SetColor(classlib::clBtnFace);
    LinkEdit1->SetUrlColor(classlib::clNavy);
    LinkEdit1->SetMailColor(classlib::clNavy);
    LinkEdit1->SetLinkColor(classlib::clBlack);
    LinkEdit1->OnUrlClick = [this](const std::wstring& link) { LinkEdit1UrlClick(link); };
    LinkEdit1->OnMailClick = [this](const std::wstring& link) { LinkEdit1MailClick(link); };
    Image2 = Place<widgets::TUcImage>(this, this, L"Image2", 8, 400, 32, 32);
    Image2->SetStretch(true);
    FermerErreurBtn = Place<widgets::TUcBitBtn>(this, this, L"FermerErreurBtn", 120, 404, 80, 28);
    FermerErreurBtn->SetCaption(L"Quit");
    FermerErreurBtn->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kQuit));
    FermerErreurBtn->SetModalResult(classlib::mrCancel);
    FermerErreurBtn->OnClick = [this](classlib::TObject* Sender) { FermerErreurBtnClick(Sender); };
}

void TErreurFrame::ShowError(const std::wstring& Message, bool Fatal) {
    errorIsFatal_ = Fatal;
    message_ = Message;
    const std::wstring kind = InfoText(Fatal ? IDS_ERROR_FATAL : IDS_ERROR_POTENTIAL_ISSUES);
    classlib::TCustomForm* form = dynamic_cast<classlib::TCustomForm*>(Owner());
    SetBounds(0, 0, kErrorWidth, kErrorHeight);
    if (form != nullptr) {
        savedFormWidth_ = form->Width();
        savedFormHeight_ = form->Height();
    }
    const std::wstring product = InfoText(IDS_INFO_PRODUCT);
    HxLabel1->SetCaption(classlib::WideToAnsi(InfoText(IDS_INFO_MAKER) + InfoText(IDS_ERROR_IS_SORRY)));
    LinkEdit1->SetRichText(L"<b><color navy>" + product + L"</color></b>" + kind + InfoText(IDS_ERROR_ON_YOUR_SYSTEM) +
                           L"<br><br><b>" + Message + L"</b><br><br>" +
                           classlib::Format(InfoText(IDS_ERROR_SEND_MAIL) + L"<br><br>" + InfoText(IDS_ERROR_GET_HELP),
                                            {MakerMailAddress(), product, HomePageAddress()}));
    FermerErreurBtn->SetCaption(InfoText(IDS_ERRP_QUIT));
    if (ImageMarbrecq->Picture()->Empty()) PaintMakerPicture(ImageMarbrecq);
    if (Image2->Picture()->Empty()) PaintMakerPicture(Image2);
    if (form != nullptr) {
        // Nothing of the window beneath the report may be scrolled into sight.
        if (form->HandleAllocated()) ShowScrollBar(form->WindowHandle(), SB_BOTH, FALSE);
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

void TErreurFrame::LinkEdit1UrlClick(const std::wstring& Link) { settings::ShellOpen(Link); }

void TErreurFrame::LinkEdit1MailClick(const std::wstring& /*Link*/) {
    settings::SendMailTo(MakerMailAddress(), classlib::Format(InfoText(IDS_ERRP_MAIL_SUBJECT), {settings::ProgramTitle()}),
                         classlib::Format(InfoText(IDS_ERRP_MAIL_BODY), {message_}) + SystemInfoMailText());
}

}  // namespace ui
