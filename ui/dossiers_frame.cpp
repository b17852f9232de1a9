#include "ui/dossiers_frame.h"

#include "ui/action_images.h"
#include "ui/form_parts.h"

namespace ui {

TDossiersFrame::TDossiersFrame(classlib::TComponent* AOwner) : TPanelFrame(AOwner) {
    SetName(L"DossiersFrame1");
    using namespace widgets;
    GroupBox1 = Place<TUcGroupBox>(this, this, L"GroupBox1", 0, 0, kPanelWidth, kPanelHeight);
    GroupBox1->SetCaption(L"Directories (Alt+D)");
    GroupBox1->SetColor(static_cast<classlib::TColor>(0x80000000 | COLOR_ACTIVEBORDER));

    gbFichier = Place<TUcGroupBox>(this, GroupBox1, L"gbFichier", 8, 18, 257, 130);
    gbFichier->SetCaption(L"Video Files");
    gbFichier->SetHint(L"Define the avi file for capture");
    VideoDirEdit = Place<kit::TDirectoryEdit>(this, gbFichier, L"VideoDirEdit", 8, 18, 241, 21);
    VideoDirEdit->SetHint("Choose the folder where the captured videos will be saved.");
    VideoRacineEdit = Place<TUcEdit>(this, gbFichier, L"VideoRacineEdit", 8, 46, 120, 21);
    VideoRacineEdit->SetText(L"Video");
    VideoRacineEdit->SetHint(L"Root for the name of the captured video or audio files.");
    cbVideoDate = Place<TUcCheckBox>(this, gbFichier, L"cbVideoDate", 140, 48, 109, 17);
    cbVideoDate->SetCaption(L"Include date");
    cbVideoDate->SetChecked(true);
    cbVideoDate->SetHint(L"Add or remove the date to the filename.");
    LabelVideo = Place<TUcLabel>(this, gbFichier, L"LabelVideo", 8, 76, 209, 16);
    LabelVideo->SetAutoSize(false);
    SetArialLook(LabelVideo, {classlib::fsBold}, classlib::clTeal);
    LabelVideo->SetHint(
        L"Indicates the name of the next saved file,\r\nor the current name if a capture is ongoing.\r\nClick on the "
        L"name to go to the \"Sources\" panel.");
    sbVideo = Place<TUcSpeedButton>(this, gbFichier, L"sbVideo", 224, 72, 25, 25);
    sbVideo->SetHint(L"Open the folder where the videos are saved");

    gbFichierImages = Place<TUcGroupBox>(this, GroupBox1, L"gbFichierImages", 8, 152, 257, 130);
    gbFichierImages->SetCaption(L"Image Files");
    gbFichierImages->SetHint(L"Set the name and folder for grabbed images");
    ImageDirEdit = Place<kit::TDirectoryEdit>(this, gbFichierImages, L"ImageDirEdit", 8, 18, 241, 21);
    ImageDirEdit->SetHint("Folder in which the images are saved");
    ImageRacineEdit = Place<TUcEdit>(this, gbFichierImages, L"ImageRacineEdit", 8, 46, 120, 21);
    ImageRacineEdit->SetText(L"Image");
    ImageRacineEdit->SetHint(L"Root used to build the image name.");
    cbImageDate = Place<TUcCheckBox>(this, gbFichierImages, L"cbImageDate", 140, 48, 109, 17);
    cbImageDate->SetCaption(L"Include date");
    cbImageDate->SetHint(L"Add or remove the date to the image filename");
    LabelImage = Place<TUcLabel>(this, gbFichierImages, L"LabelImage", 8, 76, 209, 16);
    LabelImage->SetAutoSize(false);
    SetArialLook(LabelImage, {classlib::fsBold}, classlib::clTeal);
    LabelImage->SetHint(
        L"Name of the next image to be grabbed out of the stream.\r\nClick on the name to go to the \"Extract "
        L"Images\" panel. ");
    sbImage = Place<TUcSpeedButton>(this, gbFichierImages, L"sbImage", 224, 72, 25, 25);
    sbImage->SetHint(L"Open the folder where the images are saved.");

    labPelorin = Place<TUcLabel>(this, GroupBox1, L"labPelorin", 8, 290, 100, 13);
    labPelorin->SetCaption(L"Pelorin");
    fePelorin = Place<kit::TFilenameEdit>(this, GroupBox1, L"fePelorin", 8, 306, 257, 21);
    fePelorin->SetHint(
        "Browse your hard disks to select the name and path of the executable file Pelorin.\r\nYou will be able to "
        "open in Pelorin automatically the captured clips with a click on F8\r\nor on an icon in the \"About\"  "
        "panel (Alt+A).");
    labPlugins = Place<TUcLabel>(this, GroupBox1, L"labPlugins", 8, 336, 100, 13);
    labPlugins->SetCaption(L"Plug-ins");
    PlugInDirEdit = Place<kit::TDirectoryEdit>(this, GroupBox1, L"PlugInDirEdit", 8, 352, 257, 21);
    for (TUcSpeedButton* button : {sbVideo, sbImage}) {
        button->SetCaption(L"");
        button->SetGlyph(PictureGlyph(TPictureSet::psSmall, small_picture::kFolder));
    }
    // The folders are chosen in the system's folder browser only: a typed path could name a folder
    // that does not exist, and recordings would then fail at their start.
    for (kit::TDirectoryEdit* edit : {VideoDirEdit, ImageDirEdit, PlugInDirEdit}) {
        edit->SetDialogKind(kit::TDirDialogKind::dkWin32);
        edit->SetDirectInput(false);
    }
    SetShowHint(true);
}

}  // namespace ui
