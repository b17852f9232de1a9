// The status bar, snapshots and camcorder transport: empty until they are built.
#include "ui/capture_form.h"

namespace ui {

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
