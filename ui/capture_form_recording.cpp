// The capture state, recording, file names, schedule, status bar, snapshots and camcorder
// transport: empty until they are built.
#include "ui/capture_form.h"

namespace ui {

void TCaptureForm::saCapturerBasculeexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acProgrammerBasculeExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::lancerEnregistrement(classlib::TObject* /*Sender*/) {}
void TCaptureForm::stopperEnregistrement(classlib::TObject* /*Sender*/) {}
bool TCaptureForm::ShowPreviewState() { return true; }
bool TCaptureForm::ShowCapturingState() { return true; }
bool TCaptureForm::ShowScheduleWaitingState() { return true; }
bool TCaptureForm::ShowScheduledCaptureState() { return true; }
bool TCaptureForm::StartCapture() { return true; }
bool TCaptureForm::StopCapture() { return true; }
bool TCaptureForm::StopGraphAndCloseCapture() { return true; }
void TCaptureForm::acCouperExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::FinishImageByImage() {}
std::wstring TCaptureForm::BuildVideoFileName() { return std::wstring(); }
std::wstring TCaptureForm::BuildImageFileName() { return std::wstring(); }
void TCaptureForm::DossiersFrame1VideoDirEditChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::DossiersFrame1VideoRacineEditExit(classlib::TObject* /*Sender*/) {}
void TCaptureForm::DossiersFrame1VideoDateClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::OptionsframeImageDirEditChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::OptionsframeImageRacineEditExit(classlib::TObject* /*Sender*/) {}
void TCaptureForm::OptionsframeImageDateClick(classlib::TObject* /*Sender*/) {}
bool TCaptureForm::StartSchedule() { return true; }
bool TCaptureForm::ArmScheduleEnd() { return true; }
bool TCaptureForm::DisarmScheduleAlarm() { return true; }
void TCaptureForm::NowBtnClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::UpdateStatusTexts() {}
void TCaptureForm::DroppedActionTimer(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saGrabexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::RequestSnapshot() {}
void TCaptureForm::SaveGrabbedImage() {}
void TCaptureForm::ExtraireFrame1KitSwitch1Click(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saIntervalloexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acJpgOptionExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acBmpOptionExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::OptionsframergExtensionClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::OptionsframeTrackBar1Change(classlib::TObject* /*Sender*/) {}
void TCaptureForm::SetImageByImageMode(bool /*On*/) {}
void TCaptureForm::cam_PlayExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_PauseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_StopExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_AvanceLentExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_ReculeLentExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_AvanceRapideExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_ReculeRapideExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_PlayPausefalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_PlayPauseTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cam_ToggleExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acShowVideoPilotDVExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acShowAudioPilotDVExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::WMFrameGrabbed(classlib::TMessage& /*Message*/) {}
void TCaptureForm::WMIntervalometerCount(classlib::TMessage& /*Message*/) {}

}  // namespace ui
