// What the panel tests share: the settings the two panels write, held by the test; a window holding
// the settings panel and the overlay panel over the engine fixture of the recording tests; the
// engine host that asks the settings panel for its Windows Media choice; screenshots.
#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "classlib/forms.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"
#include "tests/recording_a/recording_a_support.h"
#include "ui/incruster_frame.h"
#include "ui/options_frame.h"
#include "widgets/unicode/uc_forms.h"

namespace panels_test {

struct PanelSettings {
    PanelSettings();
    ~PanelSettings();
    settings::TWideStringParameter DivxFavori{L"Divx favori", L"", nullptr};
    settings::TBooleanParameter DefaultProfile{L"Default Profile", true, nullptr};
    settings::TBooleanParameter Notifier{L"Notifier", true, nullptr};
    settings::TBooleanParameter Scn{L"Scn", true, nullptr};
    settings::TWideStringParameter NoDatecode{L"No Datecode", L"", nullptr};
    settings::TincrustRecParameter IncrustRec{L"IncrustRec", settings::DefaultIncrustRec(), nullptr};
    settings::TBooleanParameter WantIncrust{L"Want Incrust", false, nullptr};
    settings::TWhenIncrustParameter WhenIncrust{L"When Incrust", 0, nullptr};
    settings::TIntegerParameter DureeIncruster{L"Dur\u00e9e Incruster", 5, nullptr};
};

class PanelEngineHost : public engine_test::TestEngineHost {
public:
    int WmvProfileItem() override { return options != nullptr ? options->WmvProfileItem() : 0; }
    int WmvDefaultProfileItem() override { return options != nullptr ? options->rgProfiles->ItemIndex() : 0; }
    int WmvVersionItem() override { return options != nullptr ? options->rgversion->ItemIndex() : 0; }
    ui::TOptionsFrame* options = nullptr;
};

class PanelTest : public recording_a::RecordingTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The frame's picture on the screen, written as a 24-bit BMP into the test's working folder;
    // answers the count of distinct colours in it (0 when nothing could be taken).
    int Screenshot(classlib::TWinControl* Control, const std::wstring& FileName);

    PanelSettings panelSettings;
    PanelEngineHost panelHost;
    std::unique_ptr<widgets::TUcForm> form;
    ui::TOptionsFrame* options = nullptr;
    ui::TIncrusterFrame* overlay = nullptr;
};

}  // namespace panels_test
