// The main window: its creation, first showing and close as far as the settings rely on them (the
// parameter list and its signature, the window's size and position when the settings are made, the
// save at close), and the services it gives the layers below: the settings host and the
// application window.
#pragma once

#include <string>

#include "settings/settings_host.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_forms.h"

namespace ui {

class TOptionsFrame;

// The parameter list's signature: "Quillotrane", the version, the language code, " by Marbrecq".
std::wstring ParameterListSignature();

// Run-time globals of the main window, made by its creation: the devices that failed to open in
// this run (nullptr before), and the start-up flag during which device changes are ignored.
unicode::TUcStringList* FailedDevices();
bool StartingUp();

class TCaptureForm : public widgets::TUcForm, public settings::ISettingsHost {
public:
    CLASSLIB_CLASS_NAME(TCaptureForm)
    explicit TCaptureForm(classlib::TComponent* AOwner);
    ~TCaptureForm() override;

    // The settings panel (panel 5).
    TOptionsFrame* OptionsFrame = nullptr;

    // OnCreate: the settings host, the parameter list with its signature, the failed-device list,
    // StartingUp raised.
    void FormCreate(classlib::TObject* Sender);
    // OnShow; works at the first showing only: interface texts, then the settings.
    void FormShow(classlib::TObject* Sender);
    // OnCloseQuery: saves the settings (the close is never refused for now).
    void FormCloseQuery(classlib::TObject* Sender, bool& CanClose);
    // OnDestroy: frees the failed-device list and hands back the services it gave.
    void FormDestroy(classlib::TObject* Sender);

    // The window's caption: the program title and " by Marbrecq".
    void LoadInterfaceTexts();
    // Creates and loads every setting with the window's size of this moment, then shows them:
    // window position, storage choice. Failures are swallowed.
    void LoadSettings();
    // Nothing in storage mode 2 (only the removals chosen in this run, see TOptionsFrame);
    // otherwise copies the window's state into the settings, takes the storage mode from the
    // settings panel and saves. True when the store was written.
    bool SaveSettings();
    // The main window's handler of the storage choice: the panel's own handling.
    void OptionsFramergPrefsClick(classlib::TObject* Sender);

    // settings::ISettingsHost
    std::wstring ExeName() const override;
    int MainFormWidth() const override { return Width(); }
    int MainFormHeight() const override { return Height(); }

private:
    bool firstShowDone_ = false;
};

}  // namespace ui
