// What the main window's recording paths share.
#include "ui/recording_support.h"

#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/video_preview.h"
#include "settings/parameters.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/recording_files.h"
#include "ui/recording_text_ids.h"
#include "ui/replaced_files.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

std::wstring RecText(unsigned Id) { return settings::LoadProgramText(Id); }

bool Confirming() { return settings::ParamConfirmerVideo != nullptr && settings::ParamConfirmerVideo->Value(); }

std::uint8_t CurrentFormat() {
    return settings::ParamCaptureFormat != nullptr ? settings::ParamCaptureFormat->Value() : 0;
}

bool IsSoundFormat(std::uint8_t Format) { return Format == 11 || Format == 12; }

std::wstring FolderOf(const std::wstring& Name) {
    const std::size_t slash = Name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : Name.substr(0, slash);
}

std::wstring Paragraph(const std::wstring& Text) { return Text.empty() ? Text : L"\r\n" + Text; }

void TellError(const std::wstring& Text) {
    widgets::WideMessageDlg(Text, widgets::TMsgDlgType::mtError, widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

void TellInfo(const std::wstring& Text) {
    widgets::WideMessageDlg(Text, widgets::TMsgDlgType::mtInformation, widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

void TellCannotStart(const std::wstring& Why) { TellError(RecText(IDS_REC_CANNOT_START) + Why); }

bool SceneListWanted(std::uint8_t Format) {
    engine::Tdm* module = engine::dm();
    engine::TVideoSource* video = module != nullptr ? module->CurrentVideoSource : nullptr;
    return video != nullptr && video->SceneFilter != nullptr && !IsSoundFormat(Format) && settings::ParamScn != nullptr &&
           settings::ParamScn->Value();
}

std::wstring ReplacedFile(const std::wstring& Name) {
    if (unicode::WideFileExists(Name)) return Name;
    const std::wstring scn = SceneListOf(Name);
    return SceneListWanted(CurrentFormat()) && unicode::WideFileExists(scn) ? scn : std::wstring();
}

bool NameTaken(const std::wstring& Name) { return FileInUse(Name) || (Confirming() && !ReplacedFile(Name).empty()); }

}  // namespace ui
