#include "ui/apropos_frame.h"

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/gdi_handles.h"
#include "settings/program_texts.h"
#include "settings/shell_helpers.h"
#include "ui/capture_form.h"
#include "ui/form_parts.h"
#include "ui/help_frame.h"
#include "ui/info_text_ids.h"

namespace ui {

namespace {

std::wstring InfoText(unsigned Id) { return settings::LoadProgramText(Id); }

widgets::custom::TLinkEdit* MakeLinkEdit(TAproposFrame* Frame, const wchar_t* Name, int Top, int Height,
                                         classlib::TColor LinkColor) {
    auto* edit = Place<widgets::custom::TLinkEdit>(Frame, Frame, Name, 8, Top, kPanelWidth - 16, Height);
    edit->SetReadOnly(true);
    edit->SetColor(classlib::clBtnFace);
    edit->Font()->SetName("Arial");
    edit->SetUrlColor(LinkColor);
    edit->SetMailColor(LinkColor);
    edit->SetLinkColor(LinkColor);
    edit->OnUrlClick = [Frame](const std::wstring& link) { Frame->leUrlClick(link); };
    edit->OnMailClick = [Frame](const std::wstring& link) { Frame->leMailClick(link); };
    edit->OnUrlHint = [Frame](const std::wstring& link, std::wstring& hint) { Frame->leUrlHint(link, hint); };
    edit->OnMailHint = [Frame](const std::wstring& link, std::wstring& hint) { Frame->leMailHint(link, hint); };
    edit->SetShowHint(true);
    return edit;
}

}  // namespace

std::wstring MakerMailAddress() { return InfoText(IDS_INFO_MAIL_ADDRESS); }
std::wstring HomePageAddress() { return InfoText(IDS_INFO_HOME_URL); }

void PaintMakerPicture(widgets::TUcImage* Image) {
    const int width = Image->Width();
    const int height = Image->Height();
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, width, height};
    HBRUSH maroon = CreateSolidBrush(classlib::ColorToRGB(classlib::clMaroon));
    FillRect(dc, &all, maroon);
    DeleteObject(maroon);
    HFONT font = CreateFontW(-height * 3 / 4, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, L"Q", 1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, old);
    DeleteDC(dc);
    // The picture owns the bitmap from here on.
    Image->Picture()->SetBitmap(bitmap);
}

TAproposFrame::TAproposFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"AproposFrame1");
    SetBounds(PanelColumnX, kPanelTop, 274, 400);
    PelorinButton = Place<hover::TFlatBarButton>(this, this, L"PelorinButton", 4, 4, 26, 26);
    PelorinButton->SetDisplayMode(hover::TButtonDisplayMode::dmGlyphOnly);
    PelorinButton->SetShowHint(true);
    HxLabel1 = Place<hover::THxLabel>(this, this, L"HxLabel1", 36, 8, 230, 24);
    HxLabel1->Font()->SetName("Arial");
    HxLabel1->Font()->SetHeight(-16);
    HxLabel1->Font()->SetStyle({classlib::fsBold});
    HxLabel1->Font()->SetColor(classlib::clMaroon);
    HxLabel1->SetShadowColor(classlib::clBlack);
    HxLabel1->SetShadowSize(1);
    // The main text takes the height down to the picture's row, where the two links stand beside
    // the picture: room for the credits at 120 dots per inch.
    le1 = MakeLinkEdit(this, L"le1", 40, 306, classlib::clBlack);
    leHome = MakeLinkEdit(this, L"leHome", 348, 22, classlib::clNavy);
    leHome->Font()->SetColor(classlib::clNavy);
    leMail = MakeLinkEdit(this, L"leMail", 372, 22, classlib::clNavy);
    leMail->Font()->SetColor(classlib::clNavy);
    for (widgets::custom::TLinkEdit* link : {leHome, leMail}) link->SetBounds(56, link->Top(), kPanelWidth - 64, 22);
    Image1 = Place<widgets::TUcImage>(this, this, L"Image1", 8, 352, 40, 40);
    Image1->SetStretch(true);
    // The window was made by the panel's base, under the base's class name: made again under this
    // panel's own, so that the panel is known by it from outside.
    if (HandleAllocated()) RecreateWnd();
}

void TAproposFrame::FillTexts() {
    HxLabel1->SetCaption(classlib::WideToAnsi(settings::ProgramTitle()));
    const std::wstring product = InfoText(IDS_INFO_PRODUCT);
    const std::wstring maker = InfoText(IDS_INFO_MAKER);
    leHome->SetRichText(classlib::Format(InfoText(IDS_ABOUT_HOME), {HomePageAddress(), product}));
    leMail->SetRichText(classlib::Format(InfoText(IDS_ABOUT_MAIL), {MakerMailAddress(), maker}));
    // The stand-in coders' libraries are credited with the others, in the first paragraph.
    le1->SetRichText(classlib::Format(InfoText(IDS_ABOUT_TEXT_1), {product, maker}) + L" " +
                     InfoText(IDS_ABOUT_CODERS) + L"<br><br>" +
                     classlib::Format(InfoText(IDS_ABOUT_TEXT_2), {settings::BuildDate()}) + L"<br><br>" +
                     classlib::Format(InfoText(IDS_ABOUT_TEXT_3), {HomePageAddress()}) + L"<br><br>" +
                     classlib::Format(InfoText(IDS_ABOUT_TEXT_4), {MakerMailAddress()}));
    if (auto* form = dynamic_cast<TCaptureForm*>(Owner()); form != nullptr && form->acPelorin != nullptr) {
        // The action's picture comes from the main window's image list.
        PelorinButton->SetImages(form->ImageList1);
        PelorinButton->SetAction(form->acPelorin);
    }
    if (Image1->Picture()->Empty()) PaintMakerPicture(Image1);
}

void TAproposFrame::leUrlClick(const std::wstring& Link) { settings::ShellOpen(Link); }

void TAproposFrame::leMailClick(const std::wstring& /*Link*/) {
    settings::SendMailTo(MakerMailAddress(), classlib::Format(InfoText(IDS_ABOUT_MAIL_SUBJECT), {settings::ProgramTitle()}),
                         SystemInfoMailText());
}

void TAproposFrame::leUrlHint(const std::wstring& Link, std::wstring& Hint) {
    Hint = classlib::Format(InfoText(IDS_ABOUT_URL_HINT), {Link});
}

void TAproposFrame::leMailHint(const std::wstring& Link, std::wstring& Hint) {
    Hint = classlib::Format(InfoText(IDS_ABOUT_MAIL_HINT), {Link});
}

}  // namespace ui
