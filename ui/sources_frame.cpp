#include "ui/sources_frame.h"

#include "ui/action_images.h"
#include "ui/form_parts.h"

namespace ui {

TSourcesFrame::TSourcesFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"SourcesFrame");
    using namespace widgets;
    gbSources = Place<TUcGroupBox>(this, this, L"gbSources", 0, 0, kPanelWidth, kPanelHeight);
    gbSources->SetCaption(L"Sources (F2)");
    gbSources->SetColor(static_cast<classlib::TColor>(0x80000000 | COLOR_ACTIVEBORDER));

    gbVideo = Place<TUcGroupBox>(this, gbSources, L"gbVideo", 8, 18, 257, 82);
    gbVideo->SetCaption(L"Video source");
    cboxvideo = Place<TUcComboBox>(this, gbVideo, L"cboxvideo", 8, 18, 209, 21);
    cboxvideo->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    SetArialLook(cboxvideo, {classlib::fsBold}, classlib::clBlack);
    cboxvideo->SetHint(L"List of video capture sources");
    sbVideoSettings = Place<TUcSpeedButton>(this, gbVideo, L"sbVideoSettings", 222, 17, 25, 23);
    sbVideoSettings->SetHint(L"Settings of video source.");
    sbVideoPilotVCR = Place<TUcSpeedButton>(this, gbVideo, L"sbVideoPilotVCR", 222, 46, 25, 23);
    sbVideoPilotVCR->SetHint(L"Display or hide the camcorder driver");
    sbVideoPilotVCR->SetVisible(false);
    LabVideo = Place<TUcLabel>(this, gbVideo, L"LabVideo", 8, 50, 209, 13);

    gbAudio = Place<TUcGroupBox>(this, gbSources, L"gbAudio", 8, 104, 257, 106);
    gbAudio->SetCaption(L"Audio source");
    cboxAudio = Place<TUcComboBox>(this, gbAudio, L"cboxAudio", 8, 18, 209, 21);
    cboxAudio->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    SetArialLook(cboxAudio, {classlib::fsBold}, classlib::clBlack);
    cboxAudio->SetHint(L"List of audio sources");
    cbEntries = Place<TUcComboBox>(this, gbAudio, L"cbEntries", 8, 46, 209, 21);
    cbEntries->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    SetArialLook(cbEntries, {}, classlib::clPurple);
    cbEntries->SetHint(L"List of entries from the audio board");
    cbEntries->SetVisible(false);
    sbAudioSettings = Place<TUcSpeedButton>(this, gbAudio, L"sbAudioSettings", 222, 17, 25, 23);
    sbAudioSettings->SetHint(L"Settings of audio source.");
    sbAudioPilotVCR = Place<TUcSpeedButton>(this, gbAudio, L"sbAudioPilotVCR", 222, 46, 25, 23);
    sbAudioPilotVCR->SetHint(L"Display or hide the camcorder driver");
    sbAudioPilotVCR->SetVisible(false);
    LabAudio = Place<TUcLabel>(this, gbAudio, L"LabAudio", 8, 80, 209, 13);

    gbFormatCapture = Place<TUcGroupBox>(this, gbSources, L"gbFormatCapture", 8, 214, 257, 82);
    gbFormatCapture->SetCaption(L"Capture format");
    cbFormatCapture = Place<TUcComboBox>(this, gbFormatCapture, L"cbFormatCapture", 8, 18, 209, 21);
    cbFormatCapture->SetStyle(classlib::TComboBoxStyle::csDropDownList);
    cbFormatCapture->SetHint(L"List of available capture formats.\r\nWill be applied to the next captured video.");
    sbFormatCapturesettings = Place<TUcSpeedButton>(this, gbFormatCapture, L"sbFormatCapturesettings", 222, 17, 25, 23);
    sbFormatCapturesettings->SetHint(L"Settings of video source.");
    leFramerateLabel = Place<TUcLabel>(this, gbFormatCapture, L"leFramerateLabel", 8, 50, 90, 13);
    leFramerateLabel->SetCaption(L"Images/second");
    leFramerate = Place<TUcEdit>(this, gbFormatCapture, L"leFramerate", 104, 46, 60, 21);
    leFramerate->SetText(L"18");
    leFramerate->SetHint(
        L"Nunmber of images per second in the avi file produced by a image/image capture.\r\n"
        L"It can be a decimal number.");
    leFramerate->SetVisible(false);
    leFramerateLabel->SetVisible(false);

    ActualiserVideoSpeedBtn = Place<TUcSpeedButton>(this, gbSources, L"ActualiserVideoSpeedBtn", 8, 304, 25, 25);
    ActualiserVideoSpeedBtn->SetHint(
        L"Update the list of video sources..\r\nUseful if during a session of Quillotrane a new sources has been "
        L"connected.");
    sbPelorin = Place<TUcSpeedButton>(this, gbSources, L"sbPelorin", 40, 304, 25, 25);
    sbPelorin->SetHint(L"Click to open the avi video captured during this session\r\nin Pelorin");
    sbVideo = Place<TUcSpeedButton>(this, gbSources, L"sbVideo", 72, 304, 25, 25);
    sbVideo->SetHint(L"Click to open the folder containing the captured videos");
    LabelVideo = Place<TUcLabel>(this, gbSources, L"LabelVideo", 8, 340, 257, 16);
    LabelVideo->SetAlignment(classlib::TAlignment::taCenter);
    LabelVideo->SetAutoSize(false);
    SetArialLook(LabelVideo, {classlib::fsBold}, classlib::clTeal);
    LabelVideo->SetHint(
        L"Indicates the name of the next file to be captured,\r\nor the current one if a capture is ongoing.");
    // Pictures only: the settings, the new list of sources and the camcorder windows; sbPelorin and
    // sbVideo take their actions' pictures when they are linked.
    for (TUcSpeedButton* button : {sbVideoSettings, sbAudioSettings, sbFormatCapturesettings})
        button->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kSettings));
    ActualiserVideoSpeedBtn->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kRefresh));
    for (TUcSpeedButton* button : {sbVideoPilotVCR, sbAudioPilotVCR})
        button->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kCamcorder));
    for (TUcSpeedButton* button : {sbVideoSettings, sbAudioSettings, sbFormatCapturesettings, ActualiserVideoSpeedBtn,
                                   sbVideoPilotVCR, sbAudioPilotVCR, sbPelorin, sbVideo})
        button->SetCaption(L"");
    SetShowHint(true);
}

}  // namespace ui
