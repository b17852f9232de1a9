// The fixture of the stories about a recording's name and the older files around it: the main
// window's capture with the replace question on or off, its clip list, and a pump that leaves what
// a handler posted queued.
#pragma once

#include "recording_ui_support.h"

#include <filesystem>
#include <functional>

#include "settings/settings_catalogue.h"
#include "ui/options_frame.h"
#include "ui/liste_frame.h"
#include "widgets/custom/clip_entries.h"

namespace recording_ui {

class RecordingNames : public RecordingUiTest {
protected:
    void Confirm(bool On) {
        settings::ParamConfirmerVideo->SetValue(On);
        form->OptionsFrame->cbConfirmerVideo->SetChecked(On);
    }
    bool Listed(const std::filesystem::path& File) {
        widgets::custom::TFichierListBox* clips = form->ListeFrame->fl;
        for (int i = 0; i < clips->FichierCount(); ++i)
            if (std::filesystem::path(clips->Fichier(i)->Path()) == File) return true;
        return false;
    }
    // Pumps one message at a time until Done: what a handler posted meanwhile stays queued.
    bool PumpOneUntil(const std::function<bool()>& Done) {
        const DWORD start = GetTickCount();
        while (!Done()) {
            if (GetTickCount() - start > 20000) return false;
            MSG msg;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
        }
        return true;
    }
};
}  // namespace recording_ui
