// The settings panel of the main window (panel 5): confirmations, notifications, the video
// effects switch, the Windows Media profile, the DivX codec, the picture type and JPEG quality, the
// DV options, and the storage choice: where the preferences are kept when the program quits
// (registry, an INI file beside the program, or not at all), and the removal of the store that
// choice gives up.
#pragma once

#include <wmsdkidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "classlib/std_controls.h"
#include "settings/preferences.h"
#include "ui/panel_frame.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"

namespace dshow {
class TFilter;
}

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
    widgets::TUcSpeedButton* sbPropDivx = nullptr;
    widgets::TUcSpeedButton* sbVersionDivx = nullptr;
    classlib::TRadioGroup* rgRatioDivX = nullptr;
    widgets::TUcCheckBox* cbDemiTaille = nullptr;
    widgets::TUcCheckBox* cbMp3 = nullptr;
    widgets::TUcGroupBox* gbMp3 = nullptr;
    widgets::TUcLabel* Label3 = nullptr;
    widgets::TUcComboBox* cboxBitratemp3 = nullptr;
    widgets::TUcSpeedButton* sbPropMp3 = nullptr;
    // What to install when no MP3 encoder is there.
    widgets::TUcMemo* MemoMp3 = nullptr;
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

    // The texts of the string table, once, at the main window's first showing.
    void LoadTexts();

    // The DivX and Xvid compressors into cboxdivx (the favourite, else the last Xvid, chosen and
    // put into the capture module's DivX filter), the MP3 encoder looked for and its bit rate shown.
    void FillDivxCodecs();
    // The Windows Media system profiles of the version chosen in rgversion, one entry per profile
    // and in the manager's order, so that entry N is system profile N. A profile without video gets
    // an empty entry. Also rgversion's click.
    void FillWmvProfiles();
    // The system profile of the chosen entry, of the version chosen in rgversion; false when there
    // is no manager, no entry chosen or the profile does not load.
    bool GetSelectedWmvProfile(Microsoft::WRL::ComPtr<IWMProfile>& Profile);
    // What the Windows Media recording asks: 0 for the default profiles (the box "Use the default
    // profiles" checked, or no system profile chosen), else the chosen entry + 1.
    int WmvProfileItem();
    // A profile menu item (its tag: the entry) chooses that entry; false when Sender names none.
    bool SelectProfileFromMenu(classlib::TObject* Sender);

    // The frame's own handlers (the main window puts its own in front of some, see capture_form).
    void sbPropDivxClick(classlib::TObject* Sender);
    void sbVersionDivxClick(classlib::TObject* Sender);
    void cboxdivxChange(classlib::TObject* Sender);
    void cbDemiTailleClick(classlib::TObject* Sender);
    void rgRatioDivXClick(classlib::TObject* Sender);
    void sbPropMp3Click(classlib::TObject* Sender);
    // The chosen bit rate into the encoder's own key; any failure shows "128".
    void cboxmp3Change(classlib::TObject* Sender);
    void cbMp3Click(classlib::TObject* Sender);
    void rgStandardClick(classlib::TObject* Sender);
    void rgFrequenceDVClick(classlib::TObject* Sender);
    void cbfrequenceDVNativeClick(classlib::TObject* Sender);
    void cbScnClick(classlib::TObject* Sender);
    void leNoDatecodeChange(classlib::TObject* Sender);
    void rgDVRatioClick(classlib::TObject* Sender);
    void cbGarderFormatDVClick(classlib::TObject* Sender);
    void cbDVDemiSiDivXClick(classlib::TObject* Sender);

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

    // While a recording runs (the capturing looks), the controls whose change would take the
    // compressor or the MP3 encoder out of its graph or set them anew are disabled: the DivX codec
    // and its two dialogs, the MP3 choice, its bit rate and its dialog. Their handlers refuse too,
    // whatever reaches them.
    void LockRecordingSettings(bool Locked);
    bool RecordingSettingsLocked() const { return recordingLocked_; }

    bool IniRemovalPending() const { return iniRemovalPending_; }
    bool RegistryRemovalPending() const { return registryRemovalPending_; }

private:
    void BuildDivxTab();
    // Runs Show with the component put into the capture graph for the time of the call, then puts
    // it back into the graph it was in (or none when KeepOut).
    template <typename F>
    void WithFilterInGraph(dshow::TFilter* Component, bool KeepOut, F&& Show);

    bool iniRemovalPending_ = false;
    bool registryRemovalPending_ = false;
    bool recordingLocked_ = false;
};

// Set by TOptionsFrame::FillDivxCodecs: a DivX or Xvid compressor was found; the MP3 encoder
// filter was found (the capture-format list offers "mp3" only then).
extern bool DivxAvailable;
extern bool Mp3EncoderPresent;

// The MP3 encoder filter's class and the current user's key that holds its "Bitrate".
extern const CLSID kMp3EncoderClassId;
extern const wchar_t kMp3EncoderKey[];

// The compressors the DivX list takes, in list order ("divx" or "xvid" in the name, any case), and
// the entry to choose: the one named Favourite (any case), else the last Xvid one, else the first.
// Selected is -1 for an empty list.
struct TDivxCodecChoice {
    std::vector<std::wstring> Names;
    int Selected = -1;
};
TDivxCodecChoice ChooseDivxCodecs(const std::vector<std::wstring>& Compressors, const std::wstring& Favourite);

// Whether the program's registry key records this program (its "Exename", compared without
// regard to case, is ExeName).
bool RegistrySettingsBelongTo(const std::wstring& ExeName);

}  // namespace ui
