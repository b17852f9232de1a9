// The sources panel (panel 0): the video source, the sound source with its sound-card inputs, the
// capture format and the image-by-image frame rate, with the settings, camcorder, refresh and
// folder buttons and the next recording's name. The main window drives its controls.
#pragma once

#include "classlib/std_controls.h"
#include "ui/panel_frame.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

class TSourcesFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TSourcesFrame)
    explicit TSourcesFrame(classlib::TComponent* AOwner);

    widgets::TUcGroupBox* gbSources = nullptr;
    widgets::TUcGroupBox* gbVideo = nullptr;
    widgets::TUcComboBox* cboxvideo = nullptr;
    widgets::TUcSpeedButton* sbVideoSettings = nullptr;
    widgets::TUcSpeedButton* sbVideoPilotVCR = nullptr;
    widgets::TUcLabel* LabVideo = nullptr;
    widgets::TUcGroupBox* gbAudio = nullptr;
    widgets::TUcComboBox* cboxAudio = nullptr;
    widgets::TUcComboBox* cbEntries = nullptr;
    widgets::TUcSpeedButton* sbAudioSettings = nullptr;
    widgets::TUcSpeedButton* sbAudioPilotVCR = nullptr;
    widgets::TUcLabel* LabAudio = nullptr;
    widgets::TUcGroupBox* gbFormatCapture = nullptr;
    widgets::TUcComboBox* cbFormatCapture = nullptr;
    widgets::TUcSpeedButton* sbFormatCapturesettings = nullptr;
    // The labelled edit "Images/second": its label and its edit.
    widgets::TUcLabel* leFramerateLabel = nullptr;
    widgets::TUcEdit* leFramerate = nullptr;
    widgets::TUcSpeedButton* ActualiserVideoSpeedBtn = nullptr;
    widgets::TUcSpeedButton* sbPelorin = nullptr;
    widgets::TUcSpeedButton* sbVideo = nullptr;
    widgets::TUcLabel* LabelVideo = nullptr;
};

}  // namespace ui
