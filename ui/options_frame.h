// The settings panel of the main window (panel 5): confirmations, notifications, the video
// effects switch, the Windows Media profile, the DivX codec, the picture type and JPEG quality, the
// DV options, and the storage choice: where the preferences are kept when the program quits
// (registry, an INI file beside the program, or not at all), and the removal of the store that
// choice gives up.
#pragma once

#include "classlib/std_controls.h"
#include "settings/preferences.h"
#include "ui/panel_frame.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"

namespace ui {

class TOptionsFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TOptionsFrame)
    explicit TOptionsFrame(classlib::TComponent* AOwner);

    widgets::TUcGroupBox* GroupBox1 = nullptr;
    widgets::TUcPageControl* PageControl1 = nullptr;
    // Tab "Pref" (page 0).
    widgets::TUcTabSheet* tsPref = nullptr;
    widgets::TUcCheckBox* cbConfirmerImage = nullptr;
    widgets::TUcCheckBox* cbConfirmerVideo = nullptr;
    widgets::TUcCheckBox* cbNotifier = nullptr;
    widgets::TUcCheckBox* cbActiverSuperposition = nullptr;
    widgets::TUcCheckBox* cbMpeg2ratioNormal = nullptr;
    // Tab "Wmv" (page 1).
    widgets::TUcTabSheet* tsWmv = nullptr;
    widgets::TUcCheckBox* cbDefaultProfile = nullptr;
    classlib::TRadioGroup* rgProfiles = nullptr;
    widgets::TUcGroupBox* gbProfiles = nullptr;
    widgets::TUcLabel* Label1 = nullptr;
    classlib::TRadioGroup* rgversion = nullptr;
    widgets::TUcComboBox* cboxMedia = nullptr;
    // Tab "DivX" (page 2).
    widgets::TUcTabSheet* tsDivx = nullptr;
    widgets::TUcGroupBox* gbdivx = nullptr;
    widgets::TUcComboBox* cboxdivx = nullptr;
    classlib::TRadioGroup* rgRatioDivX = nullptr;
    widgets::TUcCheckBox* cbDemiTaille = nullptr;
    widgets::TUcCheckBox* cbMp3 = nullptr;
    // Tab "Pictures" (page 3).
    widgets::TUcTabSheet* tsJpeg = nullptr;
    classlib::TRadioGroup* rgExtension = nullptr;
    widgets::TUcGroupBox* gbQuality = nullptr;
    widgets::TUcLabel* labQuality = nullptr;
    widgets::TUcTrackBar* TrackBar1 = nullptr;
    widgets::TUcCheckBox* cbDeInterlacer = nullptr;
    // Tab "DV" (page 4).
    widgets::TUcTabSheet* TabSheet1 = nullptr;
    classlib::TRadioGroup* rgFrequenceDV = nullptr;
    classlib::TRadioGroup* rgStandard = nullptr;
    classlib::TRadioGroup* rgDVRatio = nullptr;
    widgets::TUcCheckBox* cbfrequenceDVNative = nullptr;
    widgets::TUcCheckBox* cbGarderFormatDV = nullptr;
    widgets::TUcCheckBox* cbDVDemiSiDivX = nullptr;
    widgets::TUcCheckBox* cbScn = nullptr;
    widgets::TUcLabel* leNoDatecodeLabel = nullptr;
    widgets::TUcEdit* leNoDatecode = nullptr;

    // "How to save the preferences when quit": 0 registry, 1 portable INI file, 2 not saved.
    // Its OnClick is rgPrefsClick; the main window puts its own handler in front of it.
    classlib::TRadioGroup* rgPrefs = nullptr;

    // The storage choice made by the user: the new storage mode; in portable mode the video,
    // picture and plug-in folders that lie outside the program's folder move into it. The store
    // given up is only marked for removal (RemoveGivenUpStores), so that the settings are never
    // without a store between this click and the save at close.
    void rgPrefsClick(classlib::TObject* Sender);

    // "Default Profile" := the box; the default profiles show when it is checked, the system
    // profiles when it is not.
    void cbDefaultProfileClick(classlib::TObject* Sender);

    // Shows Mode in rgPrefs without running its click: loading the settings removes nothing.
    void ShowStorageMode(settings::TStorageMode Mode);

    // Called at close once the settings are kept in SavedMode (saved, or mode 2 where nothing is
    // written): removes the stores that the choices of this run gave up, except the one in use.
    // The registry key goes only when its "Exename" names this program: in mode 2 it may belong
    // to another copy of the program.
    void RemoveGivenUpStores(settings::TStorageMode SavedMode);

    bool IniRemovalPending() const { return iniRemovalPending_; }
    bool RegistryRemovalPending() const { return registryRemovalPending_; }

private:
    bool iniRemovalPending_ = false;
    bool registryRemovalPending_ = false;
};

// Whether the program's registry key records this program (its "Exename", compared without
// regard to case, is ExeName).
bool RegistrySettingsBelongTo(const std::wstring& ExeName);

}  // namespace ui
