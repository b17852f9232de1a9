#include "ui/options_frame.h"

#include <array>
#include <utility>

#include "classlib/conversions.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

std::wstring HostExeName() {
    if (settings::ISettingsHost* host = settings::SettingsHost()) return host->ExeName();
    return std::wstring();
}

}  // namespace

TOptionsFrame::TOptionsFrame(classlib::TComponent* AOwner) : widgets::TUcFrame(AOwner) {
    SetName(L"OptionsFrame");
    SetBounds(0, 0, 329, 105);

    rgPrefs = new classlib::TRadioGroup(this);
    rgPrefs->SetName(L"rgPrefs");
    rgPrefs->SetParent(this);
    rgPrefs->SetBounds(8, 8, 313, 89);
    rgPrefs->SetCaption("How to save the preferences when quit");
    rgPrefs->Items()->Add("Normal Mode (registry)");
    rgPrefs->Items()->Add("Portable Mode ( USB key)");
    rgPrefs->Items()->Add("Do not save when quit");
    rgPrefs->SetHint("Indicate where the Preferences will be saved in order to retrieve them at next start.");
    rgPrefs->SetShowHint(true);
    rgPrefs->OnClick = [this](classlib::TObject* Sender) { rgPrefsClick(Sender); };
}

void TOptionsFrame::rgPrefsClick(classlib::TObject* /*Sender*/) {
    const int index = rgPrefs->ItemIndex();
    if (index < settings::smRegistry || index > settings::smNone) return;
    const auto mode = static_cast<settings::TStorageMode>(index);
    settings::SetStorageMode(mode);
    if (mode != settings::smPortable) iniRemovalPending_ = true;
    if (mode != settings::smRegistry) registryRemovalPending_ = true;
    if (mode != settings::smPortable) return;

    // A portable copy keeps its folders beside itself.
    const std::wstring exeName = HostExeName();
    if (exeName.empty()) return;
    const std::wstring exeFolder = unicode::WideIncludeTrailingBackslash(unicode::WideExtractFilePath(exeName));
    const std::wstring lowerFolder = classlib::AnsiLowerCase(exeFolder);
    const std::array<settings::TWideStringParameter*, 3> folders{
        settings::ParamVideoDirectory, settings::ParamImageDirectory, settings::ParamPluginsDir};
    for (settings::TWideStringParameter* folder : folders) {
        if (folder == nullptr) continue;
        if (classlib::AnsiLowerCase(folder->Value()).compare(0, lowerFolder.size(), lowerFolder) != 0)
            folder->SetValue(exeFolder);
    }
}

void TOptionsFrame::ShowStorageMode(settings::TStorageMode Mode) {
    classlib::TNotifyEvent click = std::move(rgPrefs->OnClick);
    rgPrefs->OnClick = nullptr;
    try {
        rgPrefs->SetItemIndex(Mode);
    } catch (...) {
        rgPrefs->OnClick = std::move(click);
        throw;
    }
    rgPrefs->OnClick = std::move(click);
}

void TOptionsFrame::RemoveGivenUpStores(settings::TStorageMode SavedMode) {
    if (iniRemovalPending_ && SavedMode != settings::smPortable) settings::DeleteIniSettings();
    if (registryRemovalPending_ && SavedMode != settings::smRegistry && RegistrySettingsBelongTo(HostExeName()))
        settings::DeleteRegistrySettings();
    iniRemovalPending_ = false;
    registryRemovalPending_ = false;
}

bool RegistrySettingsBelongTo(const std::wstring& ExeName) {
    if (ExeName.empty()) return false;
    const std::wstring stored =
        settings::ReadRegistryWideString(HKEY_CURRENT_USER, settings::kProgramKeyPath, L"Exename");
    return !stored.empty() && classlib::AnsiLowerCase(stored) == classlib::AnsiLowerCase(ExeName);
}

}  // namespace ui
