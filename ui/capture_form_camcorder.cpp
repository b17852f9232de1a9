// The main window's side of the camcorder windows: the transport actions sent to the active
// window's panel, the choice of the active window, showing and hiding a source's window, and the
// timecode and recording date refreshed by the status tick.
#include "ui/capture_form.h"

#include "classlib/date_time.h"
#include "classlib/format.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/scene_detector.h"
#include "settings/program_texts.h"
#include "ui/nav_capture_frame.h"
#include "ui/side_forms.h"
#include "ui/snapshot_text_ids.h"

namespace ui {

namespace {

// The request flag of a timecode read (ED_DEVCAP_TIMECODE_READ).
constexpr DWORD kTimecodeRead = 0x1019;

void HexDigits(std::uint32_t Value, wchar_t (&Digits)[11]) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    const std::uint64_t wide = Value;
    for (int i = 0; i < 10; ++i) Digits[i] = kHex[(wide >> (4 * (9 - i))) & 0xF];
    Digits[10] = L'\0';
}

}  // namespace

std::wstring TimecodeText(std::uint32_t Value) {
    wchar_t digits[11];
    HexDigits(Value, digits);
    const std::wstring text(digits);
    std::wstring hours = text.substr(2, 2);
    if (hours[0] == L'0') hours.erase(0, 1);
    return classlib::Format(settings::LoadProgramText(IDS_SNAP_TIMECODE_FORMAT),
                            {hours, text.substr(4, 2), text.substr(6, 2), text.substr(8, 2)});
}

TcamForm* TCaptureForm::CamFormOf(engine::ICamWindow* Window) const {
    if (Window == nullptr) return nullptr;
    if (camForm1 != nullptr && Window == static_cast<engine::ICamWindow*>(camForm1)) return camForm1;
    if (camForm2 != nullptr && Window == static_cast<engine::ICamWindow*>(camForm2)) return camForm2;
    return nullptr;
}

void TCaptureForm::cam_PlayExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportPlay();
}

void TCaptureForm::cam_PauseExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportFreeze();
}

void TCaptureForm::cam_StopExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportStop();
}

void TCaptureForm::cam_AvanceLentExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportSlowForward();
}

void TCaptureForm::cam_ReculeLentExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportSlowReverse();
}

void TCaptureForm::cam_AvanceRapideExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportFastForward();
}

void TCaptureForm::cam_ReculeRapideExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->TransportFastReverse();
}

// The main window's play-pause runs the panel's handlers, which set the panel's toggle, not its own.
void TCaptureForm::cam_PlayPausefalseExecute(classlib::TObject* Sender) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->cam_PlayPausefalseExecute(Sender);
}

void TCaptureForm::cam_PlayPauseTrueExecute(classlib::TObject* Sender) {
    if (ActiveCamForm != nullptr) ActiveCamForm->nav_captureframe1->cam_PlayPauseTrueExecute(Sender);
}

void TCaptureForm::cam_ToggleExecute(classlib::TObject* /*Sender*/) {
    if (ActiveCamForm == camForm1 && camForm2 != nullptr && camForm2->Visible())
        SetActiveCamForm(camForm2);
    else if (ActiveCamForm == camForm2 && camForm1 != nullptr && camForm1->Visible())
        SetActiveCamForm(camForm1);
}

namespace {

// A DV source's camcorder window shown or hidden, the window remembering the choice.
void InvertCamWindow(TCaptureForm* Form, engine::TavFlux* Source) {
    if (Source == nullptr || Source->SceneFilter == nullptr) return;
    TcamForm* window = Form->CamFormOf(Source->CamWindow);
    if (window == nullptr) return;
    window->Shown = !window->Visible();
    window->SetVisible(window->Shown);
}

}  // namespace

void TCaptureForm::acShowVideoPilotDVExecute(classlib::TObject* /*Sender*/) {
    if (engine::Tdm* module = engine::dm()) InvertCamWindow(this, module->CurrentVideoSource);
}

void TCaptureForm::acShowAudioPilotDVExecute(classlib::TObject* /*Sender*/) {
    if (engine::Tdm* module = engine::dm()) InvertCamWindow(this, module->CurrentAudioSource);
}

void TCaptureForm::ShowCameraTimecode(engine::TavFlux* Source) {
    if (Source == nullptr) return;
    TcamForm* window = CamFormOf(Source->CamWindow);
    if (window == nullptr || !window->HasTimecode() || window->TimecodeReader() == nullptr) return;
    TIMECODE_SAMPLE sample{};
    sample.dwFlags = kTimecodeRead;
    if (SUCCEEDED(window->TimecodeReader()->GetTimecode(&sample)))
        window->TimecodePanel->SetCaption(TimecodeText(sample.timecode.dwFrames));
    // The detector's newest record, read without a lock: a torn date only shows once.
    filters::TDVInfoRec info;
    const filters::Tqz_SceneDetect* detector = Source->SceneFilter;
    if (detector != nullptr && detector->ReadInfo(detector->RingWriteIndex.load(), info) && info.DateValid &&
        info.Date > 0)
        window->Label1->SetCaption(
            classlib::FormatDateTime(settings::LoadProgramText(IDS_SNAP_RECORDING_DATE_FORMAT), info.Date));
    else
        window->Label1->SetCaption(L"");
}

}  // namespace ui
