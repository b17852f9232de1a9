#include "ui/nav_capture_frame.h"

#include <utility>

#include "ui/action_images.h"
#include "ui/form_parts.h"

namespace ui {

namespace {

using classlib::scCtrl;
constexpr classlib::TShortCut Key(WORD key, classlib::TShortCut modifiers = 0) {
    return static_cast<classlib::TShortCut>(key | modifiers);
}

}  // namespace

Tnav_captureframe::Tnav_captureframe(classlib::TComponent* AOwner) : widgets::TUcFrame(AOwner) {
    SetName(L"nav_captureframe1");
    SetWidth(300);
    SetHeight(30);
    ActionList1 = Make<widgets::TUcActionList>(this, L"ActionList1");
    auto action = [this](const wchar_t* name, const wchar_t* caption, classlib::TShortCut shortCut, const wchar_t* hint,
                         void (Tnav_captureframe::*run)()) {
        auto* made = Make<widgets::custom::TSuperAction>(this, name);
        made->SetActionList(ActionList1);
        made->SetCaption(std::wstring(caption));
        made->SetShortCut(shortCut);
        made->SetHint(std::wstring(hint));
        made->OnExecute = [this, run](classlib::TObject*) { (this->*run)(); };
        return made;
    };
    cam_Play = action(L"cam_Play", L"camera Play", Key(VK_INSERT, scCtrl), L"Play the camcorder",
                      &Tnav_captureframe::TransportPlay);
    cam_Pause = action(L"cam_Pause", L"camera Pause", Key(VK_DELETE, scCtrl), L"Put the camcorder in Pause mode.",
                       &Tnav_captureframe::TransportFreeze);
    cam_Stop = action(L"cam_Stop", L"camera Stop", Key(VK_END, scCtrl), L"Stop the camcorder",
                      &Tnav_captureframe::TransportStop);
    cam_AvanceLent = action(L"cam_AvanceLent", L"camera Advance Slow", Key(VK_RIGHT, scCtrl),
                            L"Advance the camcorder slowly", &Tnav_captureframe::TransportSlowForward);
    cam_ReculeLent = action(L"cam_ReculeLent", L"camera Back Slow", Key(VK_LEFT, scCtrl),
                            L"Camcorder goes back slowly", &Tnav_captureframe::TransportSlowReverse);
    cam_AvanceRapide = action(L"cam_AvanceRapide", L"camera Advance Fast", Key(VK_UP, scCtrl),
                              L"Camcorder advances fast", &Tnav_captureframe::TransportFastForward);
    cam_ReculeRapide = action(L"cam_ReculeRapide", L"camera Back Fast", Key(VK_DOWN, scCtrl),
                              L"Camcorder goes fast back", &Tnav_captureframe::TransportFastReverse);

    cam_PlayPause = Make<widgets::custom::TtoggleAction>(this, L"cam_PlayPause");
    cam_PlayPause->SetActionList(ActionList1);
    cam_PlayPause->SetShortCut(Key(VK_INSERT));
    cam_PlayPause->SetFalseCaption(L"Play");
    cam_PlayPause->SetTrueCaption(L"Pause");
    cam_PlayPause->SetFalseHint(L"Put the camcorder in Play mode");
    cam_PlayPause->SetTrueHint(L"Put the camcorder in Pause mode.");
    cam_PlayPause->OnfalseExecute = [this](classlib::TObject* Sender) { cam_PlayPausefalseExecute(Sender); };
    cam_PlayPause->OnTrueExecute = [this](classlib::TObject* Sender) { cam_PlayPauseTrueExecute(Sender); };
    cam_PlayPause->Onprepare = [this](classlib::TObject* Sender) { cam_PlayPauseprepare(Sender); };
    cam_PlayPause->SetChecked(false);

    // The buttons show the transport's pictures; the actions keep their long captions for the
    // shortcut table, and their hints say what each button does.
    ImageList1 = Make<classlib::TImageList>(this, L"ImageList1");
    FillPictures(ImageList1, TPictureSet::psSmall);
    ActionList1->SetImages(ImageList1);
    const std::pair<widgets::custom::TCustomSuperAction*, int> buttons[] = {
        {cam_ReculeRapide, small_picture::kBackFast},     {cam_ReculeLent, small_picture::kBackSlow},
        {cam_AvanceLent, small_picture::kAdvanceSlow},    {cam_AvanceRapide, small_picture::kAdvanceFast},
        {cam_Play, small_picture::kPlay},                 {cam_Pause, small_picture::kPause},
        {cam_Stop, small_picture::kStop}};
    ToolBar1 = Place<widgets::TUcToolBar>(this, this, L"ToolBar1", 0, 0, 300, 30);
    ToolBar1->SetImages(ImageList1);
    ToolBar1->SetFlat(true);
    int n = 0;
    for (const auto& [bound, picture] : buttons) {
        bound->SetImageIndex(picture);
        auto* button = new widgets::TUcToolButton(this);
        button->SetName(L"ToolButton" + std::to_wstring(++n));
        button->SetParent(ToolBar1);
        button->SetAction(bound);
    }
}

long Tnav_captureframe::TransportMode() const {
    long mode = -1;
    if (!Usable() || FAILED(transport_->get_Mode(&mode))) return -1;
    return mode;
}

void Tnav_captureframe::SetMode(long Mode) {
    if (Usable()) transport_->put_Mode(Mode);
}

void Tnav_captureframe::TransportPlay() { SetMode(transport_mode::kPlay); }
void Tnav_captureframe::TransportFreeze() { SetMode(transport_mode::kFreeze); }
void Tnav_captureframe::TransportStop() { SetMode(transport_mode::kStop); }
void Tnav_captureframe::TransportSlowForward() { SetMode(transport_mode::kSlowestForward); }
void Tnav_captureframe::TransportSlowReverse() { SetMode(transport_mode::kSlowestReverse); }

void Tnav_captureframe::TransportFastForward() {
    if (!Usable()) return;
    SetMode(TransportMode() == transport_mode::kStop ? transport_mode::kFastForward : transport_mode::kFastestForward);
}

void Tnav_captureframe::TransportFastReverse() {
    if (!Usable()) return;
    SetMode(TransportMode() == transport_mode::kStop ? transport_mode::kRewind : transport_mode::kFastestReverse);
}

void Tnav_captureframe::TransportPlayPause() {
    if (!Usable()) return;
    SetMode(TransportMode() == transport_mode::kPlay ? transport_mode::kFreeze : transport_mode::kPlay);
}

void Tnav_captureframe::cam_PlayPauseprepare(classlib::TObject* /*Sender*/) {
    cam_PlayPause->SetChecked(TransportMode() == transport_mode::kPlay);
}

void Tnav_captureframe::cam_PlayPausefalseExecute(classlib::TObject* /*Sender*/) {
    TransportPlay();
    cam_PlayPause->SetChecked(true);
}

void Tnav_captureframe::cam_PlayPauseTrueExecute(classlib::TObject* /*Sender*/) {
    TransportFreeze();
    cam_PlayPause->SetChecked(false);
}

}  // namespace ui
