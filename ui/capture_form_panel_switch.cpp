// The panel column: one of nine panels shown at a time, each with the action that shows it (checked
// while it is shown), the next panel and the mirrored window, and the links of the panels' labels
// and buttons to the panel or folder they name.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/extraire_frame.h"
#include "ui/incruster_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/programmer_frame.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"
#include "widgets/custom/clip_entries.h"
#include "widgets/custom/scripts.h"

namespace ui {

namespace {

constexpr std::uint8_t kPanelCount = 9;
constexpr std::uint8_t kSettingsPanel = 5;
constexpr std::uint8_t kHelpPanel = 7;

// Tabs as wide as their captions: at the tab control's default minimum width the settings panel's
// five tabs need more than the panel's width, and the first scrolls out of sight.
void ShowEveryTab(classlib::TPageControl* Pages) {
    SendMessageW(Pages->Handle(), TCM_SETMINTABWIDTH, 0, 0);
}

std::uint8_t ActivePanel() {
    return settings::ParamPanneauActif != nullptr ? settings::ParamPanneauActif->Value() : 0;
}

}  // namespace

TPanelFrame* TCaptureForm::PanelFrame(std::uint8_t Number) const {
    TPanelFrame* const frames[kPanelCount] = {SourcesFrame,    DossiersFrame1, ProgrammerFrame1,
                                              ExtraireFrame1,  IncrusterFrame1, OptionsFrame,
                                              ListeFrame,      HelpFrame1,     AproposFrame1};
    return Number < kPanelCount ? frames[Number] : nullptr;
}

TMainAction* TCaptureForm::PanelAction(std::uint8_t Number) const {
    TMainAction* const actions[kPanelCount] = {acSourcesFrame,  acDossiersFrame,  acProgrammerFrame,
                                               acExtraireFrame, acIncrusterFrame, acOptionsFrame,
                                               saListeFrame,    acHelp,           acApropos};
    return Number < kPanelCount ? actions[Number] : nullptr;
}

void TCaptureForm::ShowPanel(std::uint8_t Number) {
    if (Number >= kPanelCount) return;
    HideActivePanel();
    if (settings::ParamPanneauActif != nullptr) settings::ParamPanneauActif->SetValue(Number);
    // Before the showing: the strip scrolls its first tab away when it is made with the default width.
    if (Number == kSettingsPanel) ShowEveryTab(OptionsFrame->PageControl1);
    PanelFrame(Number)->ShowFrame();
    PanelAction(Number)->SetChecked(true);
}

void TCaptureForm::HideActivePanel() {
    const std::uint8_t active = ActivePanel();
    if (TPanelFrame* frame = PanelFrame(active)) frame->HideFrame();
    if (TMainAction* action = PanelAction(active)) action->SetChecked(false);
    if (settings::ParamPanneauActif != nullptr) settings::ParamPanneauActif->SetValue(0);
}

void TCaptureForm::acSourcesFrameExecute(classlib::TObject* /*Sender*/) { ShowPanel(0); }
void TCaptureForm::acDossiersFrameExecute(classlib::TObject* /*Sender*/) { ShowPanel(1); }
void TCaptureForm::acProgrammerFrameExecute(classlib::TObject* /*Sender*/) { ShowPanel(2); }
void TCaptureForm::acExtraireFrameExecute(classlib::TObject* /*Sender*/) { ShowPanel(3); }
void TCaptureForm::acIncrusterFrameExecute(classlib::TObject* /*Sender*/) { ShowPanel(4); }
void TCaptureForm::acOptionsFrameExecute(classlib::TObject* /*Sender*/) { ShowPanel(5); }
void TCaptureForm::saListeFrameexecute(classlib::TObject* /*Sender*/) {
    // The gauges show the present, not the last tick before the panel was hidden.
    ListeFrame->RefreshGauges();
    ShowPanel(6);
}
void TCaptureForm::acAproposExecute(classlib::TObject* /*Sender*/) { ShowPanel(8); }

void TCaptureForm::acHelpExecute(classlib::TObject* /*Sender*/) {
    HelpFrame1->PageControl1->SetActivePage(HelpFrame1->tsAide);
    ShowPanel(kHelpPanel);
}

void TCaptureForm::acNextPanneauExecute(classlib::TObject* /*Sender*/) {
    const std::uint8_t active = ActivePanel();
    ShowPanel(active + 1 < kPanelCount ? static_cast<std::uint8_t>(active + 1) : 0);
}

void TCaptureForm::acBasculerPanneauExecute(classlib::TObject* Sender) {
    // Run as an action (with a sender) it swaps the columns; called from code it only lays them out.
    if (Sender != nullptr && settings::ParamEcranGauche != nullptr)
        settings::ParamEcranGauche->SetValue(!settings::ParamEcranGauche->Value());
    // The reduced window shows the video alone: the columns follow when it is restored.
    if (!acReduire->Checked()) LayoutPanels();
}

void TCaptureForm::acOuvrirDossierVideosExecute(classlib::TObject* /*Sender*/) {
    widgets::custom::TFichierListBox* clips = ListeFrame->fl;
    if (clips != nullptr && clips->FichierCount() > 0) {
        settings::ShowInExplorer(MainWindowHandle(), clips->Fichier(clips->FichierCount() - 1)->Path());
        return;
    }
    if (settings::ParamVideoDirectory != nullptr) settings::ShellOpen(settings::ParamVideoDirectory->Value());
}

void TCaptureForm::BindPanelLinks() {
    auto runs = [](TMainAction* action) {
        return [action](classlib::TObject* /*Sender*/) { action->Execute(); };
    };
    DossiersFrame1->LabelVideo->OnClick = runs(acSourcesFrame);
    SourcesFrame->LabelVideo->OnClick = runs(acDossiersFrame);
    ExtraireFrame1->destlabel->OnClick = runs(acDossiersFrame);
    DossiersFrame1->LabelImage->OnClick = runs(acExtraireFrame);
    // A click on the video takes a picture, as the action does (nothing while it is greyed).
    vwEcran->OnClick = runs(saGrab);
    DossiersFrame1->sbVideo->OnClick = [](classlib::TObject* /*Sender*/) {
        if (settings::ParamVideoDirectory != nullptr) settings::ShellOpen(settings::ParamVideoDirectory->Value());
    };
    DossiersFrame1->sbImage->OnClick = [](classlib::TObject* /*Sender*/) {
        if (settings::ParamImageDirectory != nullptr) settings::ShellOpen(settings::ParamImageDirectory->Value());
    };

    // Full screen puts the picture over the black backdrop, which owns it meanwhile.
    vwEcran->FullScreenBackdrop = [this]() -> HWND {
        Tplaque* backdrop = Backdrop();
        return backdrop != nullptr && backdrop->HandleAllocated() ? backdrop->Handle() : nullptr;
    };

    odListe->SetFilter(L"Scripts (*.txt)|*.txt|All files (*.*)|*.*");
}

}  // namespace ui
