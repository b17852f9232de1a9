// Video layout, full screen, panel switching and the toggle and volume actions: empty until they are
// built.
#include "ui/capture_form.h"

namespace ui {

void TCaptureForm::LayoutPanels() {}
void TCaptureForm::ApplyAspectRatio() {}
void TCaptureForm::LayoutVideoWindow(int /*RatioW*/, int /*RatioH*/) {}
void TCaptureForm::tafullscreenfalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::tafullscreenTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saExitFullScreenexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acReduireExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acSlidersExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::XsliderChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::YsliderChange(classlib::TObject* /*Sender*/) {}
void TCaptureForm::ShowPanel(std::uint8_t /*Number*/) {}
void TCaptureForm::HideActivePanel() {}
void TCaptureForm::acSourcesFrameExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acDossiersFrameExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acProgrammerFrameExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acExtraireFrameExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acIncrusterFrameExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acOptionsFrameExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saListeFrameexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acHelpExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acAproposExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acNextPanneauExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acBasculerPanneauExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acOuvrirDossierVideosExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taFreezepreviewfalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taFreezepreviewTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taFreezeCapturefalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taFreezeCaptureTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taMutefalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taMuteTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taIncrusterfalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taIncrusterTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taraccourcisprepare(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taraccourcisfalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taraccourcisTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taDecalageprepare(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taDecalagefalseExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::taDecalageTrueExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acVertFlipExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acHorzFlipExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::ApplyVerticalFlip() {}
void TCaptureForm::ApplyHorizontalFlip() {}
void TCaptureForm::saRatioNormalexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saRatioNatifexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saRatio16x9execute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saRatio4x3execute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acIncVolumeExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::acDecVolumeExecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saSourceVideoprepare(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saSourceVideoexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saSourceAudioprepare(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saSourceAudioexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saFormatCaptureprepare(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saFormatCaptureexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saScriptprepare(classlib::TObject* /*Sender*/) {}
void TCaptureForm::saScriptexecute(classlib::TObject* /*Sender*/) {}
void TCaptureForm::WMDVRatioChanged(classlib::TMessage& /*Message*/) {}

}  // namespace ui
