// The settings panel of the main window. For now it holds the storage choice: where the
// preferences are kept when the program quits (registry, an INI file beside the program, or not
// at all), and the removal of the store that choice gives up.
#pragma once

#include "classlib/std_controls.h"
#include "settings/preferences.h"
#include "widgets/unicode/uc_forms.h"

namespace ui {

class TOptionsFrame : public widgets::TUcFrame {
public:
    CLASSLIB_CLASS_NAME(TOptionsFrame)
    explicit TOptionsFrame(classlib::TComponent* AOwner);

    // "How to save the preferences when quit": 0 registry, 1 portable INI file, 2 not saved.
    // Its OnClick is rgPrefsClick; the main window puts its own handler in front of it.
    classlib::TRadioGroup* rgPrefs = nullptr;

    // The storage choice made by the user: the new storage mode; in portable mode the video,
    // picture and plug-in folders that lie outside the program's folder move into it. The store
    // given up is only marked for removal (RemoveGivenUpStores), so that the settings are never
    // without a store between this click and the save at close.
    void rgPrefsClick(classlib::TObject* Sender);

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
