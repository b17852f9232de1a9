// The folders panel (panel 1): the folder, stem and date stamp of the recordings and of the
// pictures with the next names, the clip browser's path and the plug-in folder.
#pragma once

#include "ui/panel_frame.h"
#include "widgets/kit/path_edit.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

class TDossiersFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TDossiersFrame)
    explicit TDossiersFrame(classlib::TComponent* AOwner);

    widgets::TUcGroupBox* GroupBox1 = nullptr;
    widgets::TUcGroupBox* gbFichier = nullptr;
    widgets::kit::TDirectoryEdit* VideoDirEdit = nullptr;
    widgets::TUcEdit* VideoRacineEdit = nullptr;
    widgets::TUcCheckBox* cbVideoDate = nullptr;
    widgets::TUcLabel* LabelVideo = nullptr;
    widgets::TUcSpeedButton* sbVideo = nullptr;
    widgets::TUcGroupBox* gbFichierImages = nullptr;
    widgets::kit::TDirectoryEdit* ImageDirEdit = nullptr;
    widgets::TUcEdit* ImageRacineEdit = nullptr;
    widgets::TUcCheckBox* cbImageDate = nullptr;
    widgets::TUcLabel* LabelImage = nullptr;
    widgets::TUcSpeedButton* sbImage = nullptr;
    widgets::TUcLabel* labPelorin = nullptr;
    widgets::kit::TFilenameEdit* fePelorin = nullptr;
    widgets::TUcLabel* labPlugins = nullptr;
    widgets::kit::TDirectoryEdit* PlugInDirEdit = nullptr;
};

}  // namespace ui
