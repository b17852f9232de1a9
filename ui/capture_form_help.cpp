// The main window's side of the help, about, clip list panels and of the shortcuts window: the
// system report gathered from what the program found, the clip browser's launch, and the first
// showing's texts and gauges.
#include <memory>

#include "classlib/message_box.h"
#include "dshow/ds_functions.h"
#include "engine/plugins.h"
#include "settings/program_texts.h"
#include "settings/shell_helpers.h"
#include "ui/capture_form.h"
#include "ui/info_frames.h"
#include "ui/info_text_ids.h"
#include "ui/options_frame.h"
#include "ui/raccourcis_form.h"
#include "ui/system_report.h"

namespace ui {

namespace {

std::wstring FileNameOf(const std::wstring& Path) {
    const std::size_t slash = Path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? Path : Path.substr(slash + 1);
}

}  // namespace

void TCaptureForm::ShowSystemInfo() {
    TSystemFacts facts;
    facts.WindowsVersion = settings::GetWindowsVersionText();
    facts.DirectXVersion = dshow::GetDirectXVersion();
    facts.WindowsMediaFound = WmvAvailable;
    facts.WindowsMediaWriterFound = WindowsMediaWriterInstalled();
    // The settings panel lists exactly the DivX and Xvid encoders it found, and found the MP3 encoder.
    unicode::TWideStrings* divx = OptionsFrame->cboxdivx->Items();
    facts.DivxAvailable = DivxAvailable;
    for (int i = 0; i < divx->Count(); ++i) facts.DivxEncoders.push_back(divx->Strings(i));
    facts.Mp3EncoderPresent = Mp3EncoderPresent;
    if (facts.Mp3EncoderPresent)
        facts.Mp3ServerKnown = ReadMp3EncoderServer(facts.Mp3ServerPath, facts.Mp3ServerVersion);
    widgets::TUcCheckListBox* sources = HelpFrame1->clSources;
    for (int i = 0; i < sources->Items()->Count(); ++i)
        facts.Sources.push_back({sources->Items()->Strings(i), sources->Checked(i)});
    if (Plugins != nullptr) {
        for (int i = 0; i < Plugins->Count(); ++i) {
            const engine::TpluginData* plugin = Plugins->Get(i);
            facts.Plugins.push_back({plugin->DriverName, FileNameOf(plugin->DllPath), plugin->Enabled});
        }
    }
    WriteSystemReport(*HelpFrame1, facts);
}

void TCaptureForm::AddSystemInfoLine(const std::wstring& Text, classlib::TColor Color) {
    HelpFrame1->AddSystemInfoLine(Text, Color);
}

void TCaptureForm::acPelorinExecute(classlib::TObject* /*Sender*/) {
    const std::wstring program = PelorinProgram();
    if (!program.empty()) {
        settings::ShellOpenWith(program, PelorinClipParameters(ListeFrame->fl));
        return;
    }
    classlib::ShowMessageBox(MainWindowHandle(),
                             settings::LoadProgramText(IDS_LIST_PELORIN_MISSING_1) + L"\r\n" +
                                 settings::LoadProgramText(IDS_LIST_PELORIN_MISSING_2),
                             settings::LoadProgramText(IDS_INFO_PRODUCT), MB_OK | MB_ICONINFORMATION);
}

void TCaptureForm::ShowInfoPanelsFirst() {
    HelpFrame1->InitTexts();
    AproposFrame1->FillTexts();
    ListeFrame->SetVideoDrive(NextVideoFile);
    ListeFrame->SetImageDrive(NextImageFile);
    ListeFrame->tgVideo->SetMinValue(0);
    ListeFrame->tgImage->SetMinValue(0);
    ListeFrame->RefreshGauges();
    if (TRaccourcisForm* keys = RaccourcisForm()) keys->FillGrid(al);
}

}  // namespace ui
