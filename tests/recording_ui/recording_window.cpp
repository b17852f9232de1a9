// The main window with the capture module and the stand-in devices, for the recording tests and
// the recording benchmark.
#include "recording_window.h"

#include <cmath>

#include "classlib/conversions.h"
#include "classlib/custom_form.h"
#include "classlib/forms.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "filters/filters_host.h"
#include "filters/time_stamper.h"
#include "platform/standins/mp3_encoder.h"
#include "platform/standins/xvid_compressor.h"
#include "settings/settings_catalogue.h"
#include "ui/dossiers_frame.h"
#include "ui/options_frame.h"
#include "ui/programmer_frame.h"
#include "unicode/wide_platform.h"
#include "widgets/kit/kit_startup.h"
#include "widgets/unicode/uc_dialogs.h"
#include "widgets/unicode/uc_forms.h"

namespace recording_ui {

void InitializeWindowing() {
    unicode::InitializeWidePlatform();
    widgets::InitializeWideControls();
    widgets::kit::InitializeKit();
    classlib::Application()->Initialize();
}

void FinalizeWindowing() {
    widgets::kit::FinalizeKit();
    widgets::FinalizeWideControls();
    classlib::DoneApplication();
}

namespace {

// The folder and all in it, read-only files too (a test that stopped half-way leaves them).
void RemoveFolder(const std::filesystem::path& Folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder, ec))
        SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(Folder, ec);
}

}  // namespace

std::wstring TRecordingWindow::Open() {
    folder = std::filesystem::temp_directory_path() / (L"quill recording ui " + std::to_wstring(GetCurrentProcessId()));
    RemoveFolder(folder);
    std::filesystem::create_directories(folder);
    widgets::SetMessageDlgFunction([this](const std::wstring& Msg, widgets::TMsgDlgType Type, widgets::TMsgDlgButtons) {
        int answer = classlib::mrNo;
        if (!answers.empty()) {
            answer = answers.front();
            answers.erase(answers.begin());
        }
        asked.push_back({Msg, answer, Type});
        if (whileAsked) whileAsked(Msg);
        return answer;
    });
    form.reset(classlib::NewForm<TTestCaptureForm>(nullptr, (folder / L"Quillotrane.exe").wstring()));
    module = std::make_unique<engine::Tdm>(nullptr);
    engine::SetEngineHost(form.get());
    filters::SetFiltersHost(form.get());
    sink = new first_standins::RecordingSink;
    sinkFilter = sink->Filter();
    if (FAILED(module->Graph()->AddFilter(sinkFilter.Get(), L"Video Renderer"))) return L"no video renderer";
    if (!module->AttachRenderers(sinkFilter.Get())) return L"no DirectSound renderer";
    form->ProgrammerFrame1->KitClock2->OnGetTime = [this](classlib::TObject*, classlib::TDateTime& Time) {
        if (now != 0.0) Time = now;
    };
    form->Show();
    // Names without the run's date, in the window's folder; no question unless one is wanted.
    form->DossiersFrame1->cbVideoDate->SetChecked(false);
    // The folder edit keeps its text in the system code page.
    form->DossiersFrame1->VideoDirEdit->SetText(classlib::WideToAnsi((folder / L"videos").wstring()));
    settings::ParamConfirmerVideo->SetValue(false);
    form->OptionsFrame->cbConfirmerVideo->SetChecked(false);
    settings::ParamScn->SetValue(true);
    settings::ParamFramerate->SetValue(12.5);
    videoDevices = std::make_unique<engine::TCaptureDeviceList>();
    audioDevices = std::make_unique<engine::TCaptureDeviceList>();
    videoSources = std::make_unique<engine::TvideoSourcesList>();
    audioSources = std::make_unique<engine::TAudioSourcesList>();
    if (!videoDevices->Refresh(CLSID_VideoInputDeviceCategory)) return L"no video devices";
    if (!audioDevices->Refresh(CLSID_AudioInputDeviceCategory)) return L"no sound devices";
    engine::FillSourceLists(*videoDevices, *audioDevices, *videoSources, *audioSources);
    return std::wstring();
}

void TRecordingWindow::Close() {
    if (module) {
        module->fg->Stop();
        if (module->CurrentVideoSource != nullptr) module->CurrentVideoSource->KillGraph(true);
        if (module->CurrentAudioSource != nullptr) module->CurrentAudioSource->KillGraph(true);
    }
    videoSources.reset();
    audioSources.reset();
    module.reset();
    sinkFilter.Reset();
    form.reset();
    engine::SetEngineHost(nullptr);
    filters::SetFiltersHost(nullptr);
    widgets::SetMessageDlgFunction(nullptr);
    audioDevices.reset();
    videoDevices.reset();
    RemoveFolder(folder);
}

std::wstring TRecordingWindow::OpenPreview(const std::wstring& Video, const std::wstring& Sound, std::uint8_t Format) {
    module->fg->Stop();
    if (module->CurrentVideoSource != nullptr) module->CurrentVideoSource->KillGraph(true);
    if (module->CurrentAudioSource != nullptr) module->CurrentAudioSource->KillGraph(true);
    if (!Video.empty()) {
        engine::TVideoSource* source = videoSources->Find(Video);
        if (source == nullptr) return L"no video source " + Video;
        if (!source->BuildGraph()) return L"no preview of " + Video;
    }
    if (!Sound.empty()) {
        engine::TAudioSource* source = audioSources->Find(Sound);
        if (source == nullptr) return L"no sound source " + Sound;
        if (!source->BuildGraph()) return L"no preview of " + Sound;
    }
    format = Format;
    settings::ParamCaptureFormat->SetValue(Format);
    // The name keeps its number and takes the format's extension.
    form->DossiersFrame1VideoDateClick(nullptr);
    form->ShowPreviewState();
    if (!module->RunGraph() || !Previewing()) return L"the preview does not run";
    return std::wstring();
}

bool TRecordingWindow::PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs) {
    return first_standins::PumpUntil(Done, TimeoutMs) || Done();
}

HRESULT TRecordingWindow::Notify(long Event, LONG_PTR Param1, LONG_PTR Param2) {
    Microsoft::WRL::ComPtr<IMediaEventSink> events;
    const HRESULT hr =
        module->Graph()->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(events.GetAddressOf()));
    return FAILED(hr) ? hr : events->Notify(Event, Param1, Param2);
}

unsigned TRecordingWindow::Recorded() {
    switch (format) {
        case 11:
        case 12:
            return module->AudioCapTamponer->SampleCounter();
        case 1:
            return module->ControlPreviewVideo->SampleCounter();
        default:
            return module->ControlCaptureVideo->SampleCounter();
    }
}

bool TRecordingWindow::WaitRecorded(unsigned Frames) {
    const unsigned start = Recorded();
    return PumpUntil([&] { return Recorded() >= start + Frames; }, 60000);
}

void TRecordingWindow::SetNow(int Day, int Hour, int Minute, int Second) {
    now = classlib::EncodeDate(2030, 6, Day) + (Hour * 3600.0 + Minute * 60.0 + Second) / 86400.0;
}

void TRecordingWindow::AdvanceTo(int Day, int Hour, int Minute, int Second) {
    const double target = classlib::EncodeDate(2030, 6, Day) + (Hour * 3600.0 + Minute * 60.0 + Second) / 86400.0;
    // A little past the target: the tick that reaches an instant sees it passed.
    const double last = target + 0.4 / 86400.0;
    while (now < last) {
        now = std::min(last, now + 1.0 / 86400.0);
        form->ProgrammerFrame1->KitClock2->CheckAlarm();
    }
}

void TRecordingWindow::UseLame() {
    wchar_t clsid[64];
    StringFromGUID2(standins::CLSID_Mp3EncoderStandin, clsid, 64);
    module->mp3->BaseFilter()->SetMoniker(
        engine::MonikerFromDisplayName(L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\" + std::wstring(clsid))
            .Get());
    module->Mp3EncoderFound = true;
}

bool TRecordingWindow::UseXvid() {
    for (const auto& moniker : engine::CategoryMonikers(CLSID_VideoCompressorCategory)) {
        if (engine::MonikerFriendlyName(moniker.Get()) == standins::kXvidCompressorName) {
            module->divx->BaseFilter()->SetMoniker(moniker.Get());
            return true;
        }
    }
    return false;
}

}  // namespace recording_ui
