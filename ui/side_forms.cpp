#include "ui/side_forms.h"

#include "settings/program_texts.h"
#include "ui/action_images.h"
#include "ui/capture_form.h"
#include "ui/form_parts.h"

namespace ui {

namespace {
// Names the backdrop's own window procedure in the chain.
const char kPlaqueWindowProcId = 0;
}  // namespace

Tplaque::Tplaque(classlib::TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetName(L"plaque");
    widgets::TUcForm::SetCaption(L"plaque");
    SetBorderStyle(classlib::TFormBorderStyle::bsNone);
    SetColor(classlib::clBlack);
    SetClientWidth(688);
    SetClientHeight(446);
    Shape1 = Place<widgets::TUcShape>(this, this, L"Shape1", 0, 0, 65, 65);
    Shape1->Brush()->SetColor(classlib::clRed);
    OnCreate = [this](classlib::TObject* Sender) { FormCreate(Sender); };
    OnClose = [this](classlib::TObject* Sender, classlib::TCloseAction& Action) { FormClose(Sender, Action); };
}

void Tplaque::FormCreate(classlib::TObject* /*Sender*/) {
    SetWindowProc([this](classlib::TMessage& Message) { PlaqueWindowProc(Message); }, &kPlaqueWindowProcId);
}

void Tplaque::PlaqueWindowProc(classlib::TMessage& Message) {
    TCaptureForm* main = CaptureForm();
    if (main == nullptr || !main->HandleAllocated()) {
        WndProc(Message);
        return;
    }
    if (Message.Msg == WM_KEYDOWN || Message.Msg == WM_SYSKEYDOWN) {
        // The message loop looked for this key among the backdrop's own shortcuts, which has
        // none: the main window's run here, so that Esc, Alt+Enter and the others work in full
        // screen (a key the main window only receives would reach none of them).
        const classlib::TShortCut key =
            classlib::ShortCut(static_cast<WORD>(Message.WParam), classlib::KeyDataToShiftState(Message.LParam));
        if (main->Enabled() && main->al->IsShortCut(key)) {
            Message.Result = 0;
            return;
        }
    }
    if (Message.Msg == WM_KEYDOWN || Message.Msg == WM_KEYUP) {
        Message.Result = SendMessageW(main->Handle(), Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    WndProc(Message);
}

void Tplaque::FormClose(classlib::TObject* /*Sender*/, classlib::TCloseAction& Action) {
    Action = classlib::TCloseAction::caHide;
}

TcamForm::TcamForm(classlib::TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetBorderStyle(classlib::TFormBorderStyle::bsSingle);
    SetBorderIcons(classlib::biSystemMenu | classlib::biMinimize);
    SetClientWidth(481);
    SetClientHeight(74);
    // The tape's recording date, empty until the camcorder reports one.
    Label1 = Place<widgets::TUcLabel>(this, this, L"Label1", 24, 52, 300, 16);
    Label1->SetCaption(L"");
    Label1->Font()->SetStyle({classlib::fsBold, classlib::fsItalic});
    Label1->Font()->SetColor(classlib::clMaroon);
    image1 = Place<widgets::TUcImage>(this, this, L"image1", 4, 8, 16, 16);
    image1->SetHint(
        L"This sign shows that this camcorder will receive the keyboard shortcuts\r\nlike CTRL+Ins or CTRL+Del");
    image1->SetVisible(false);
    image1->Picture()->SetBitmap(PictureGlyph(TPictureSet::psSmall, small_picture::kShortcutsMarker));
    image1->SetTransparent(true);
    nav_captureframe1 = new Tnav_captureframe(this);
    nav_captureframe1->SetParent(this);
    nav_captureframe1->SetBounds(24, 4, 300, 30);
    TimecodePanel = Place<widgets::TUcPanel>(this, this, L"TimecodePanel", 330, 8, 140, 30);
    TimecodePanel->SetCaption(L"0:00:00:00");
    TimecodePanel->Font()->SetHeight(-15);
    TimecodePanel->Font()->SetStyle({classlib::fsBold});
    TimecodePanel->SetHint(L"Timecode on the DV tape");
    cbStopQuittant = Place<widgets::TUcCheckBox>(this, this, L"cbStopQuittant", 330, 48, 140, 17);
    cbStopQuittant->SetCaption(L"Stop when quit");
    SetShowHint(true);
}

TcamForm::~TcamForm() {
    try {
        if (cbStopQuittant->Checked()) nav_captureframe1->TransportStop();
    } catch (...) {
        // A camcorder that does not answer does not keep the window.
    }
}

void TcamForm::SetCaption(const std::wstring& Caption) { widgets::TUcForm::SetCaption(Caption); }

// Shown beside the main window when a source is chosen, or by its button there: the keyboard
// stays with the main window (a click on this one gives it the keyboard, and the main window's
// shortcuts work from here too).
void TcamForm::SetVisible(bool Visible) {
    if (Visible)
        ShowInactive();
    else
        widgets::TUcForm::SetVisible(false);
}

}  // namespace ui
