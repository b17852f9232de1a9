// Source and capture-format selection, device changes, the device settings menus and the preview
// lock: empty until they are built.
#include "ui/capture_form.h"

namespace ui {

bool TCaptureForm::EnumerateSources() { return true; }
bool TCaptureForm::SelectVideoSource(const std::wstring& /*Name*/) { return true; }
bool TCaptureForm::SelectAudioSource(const std::wstring& /*Name*/) { return true; }
void TCaptureForm::SelectCaptureFormat(std::uint8_t /*Format*/) {}
void TCaptureForm::cboxVideoChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cboxAudioChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::cbFormatCaptureClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::ActualiserVideoBtnClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::HelpFrame1CheckListBox1Click(classlib::TObject* /*Sender*/) {}
void TCaptureForm::VideoPropBtnClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::AudiopropBtnClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::VideoSettingsMenuPopup(classlib::TObject* /*Sender*/) {}
void TCaptureForm::AudioSettingsMenuPopup(classlib::TObject* /*Sender*/) {}
void TCaptureForm::pmProfilesPopup(classlib::TObject* /*Sender*/) {}
void TCaptureForm::capsetItem(classlib::TObject* /*Sender*/) {}
void TCaptureForm::SourcesFramecbEntriesChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::SourcesFramesbFormatCapturesettingsClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::DossiersFrame1dePluginAfterDialog(classlib::TObject* /*Sender*/) {}
void TCaptureForm::GraphDeviceLost(classlib::TObject* /*Sender*/) {}
void TCaptureForm::ApplyPreviewLock(bool /*Locked*/) {}
void TCaptureForm::ShowVideoControls() {}
void TCaptureForm::HideVideoControls() {}
void TCaptureForm::ShowAudioControls() {}
void TCaptureForm::HideAudioControls() {}
void TCaptureForm::taLockfalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taLockTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::OptionsFramecbActiverSuperpositionClick(classlib::TObject* /*Sender*/) {}
void TCaptureForm::WMDeviceChange(classlib::TMessage& /*Message*/) {}

}  // namespace ui
