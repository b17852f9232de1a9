// Source and capture-format selection: the source lists and the sources panel's lists, making a
// named source current, the formats the current sources allow, the sound card's inputs, the
// re-selection after devices came or went (refresh, device change, lost device), the settings
// buttons with their menus, and the plug-in folder notice.
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/message_box.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/scene_detector.h"
#include "filters/superposer.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/recording_text_ids.h"
#include "ui/sources_frame.h"
#include "ui/ui_text_ids.h"

namespace ui {

using Microsoft::WRL::ComPtr;

namespace {

// WM_DEVICECHANGE's "a device node changed" (DBT_DEVNODES_CHANGED).
constexpr WPARAM kDevNodesChanged = 7;
// The longest sound-card input name the list shows.
constexpr std::size_t kMaxEntryName = 128;

std::wstring NoVideoStream() { return settings::LoadProgramText(IDS_NO_VIDEO_STREAM); }
std::wstring NoAudioStream() { return settings::LoadProgramText(IDS_NO_AUDIO_STREAM); }

// Selects the item of Combo whose text is Text; nothing when there is none.
void PointAt(widgets::TUcComboBox* Combo, const std::wstring& Text) {
    const int index = Combo->Items()->IndexOf(Text);
    if (index >= 0) Combo->SetItemIndex(index);
}

// Takes out every item not in Names (last first), then appends the names it lacks, in order.
void Synchronise(widgets::TUcComboBox* Combo, const std::vector<std::wstring>& Names) {
    auto* items = Combo->Items();
    for (int i = items->Count() - 1; i >= 0; --i)
        if (std::find(Names.begin(), Names.end(), items->Strings(i)) == Names.end()) items->Delete(i);
    for (const std::wstring& name : Names)
        if (items->IndexOf(name) < 0) items->Add(name);
}

// The sound taken when the asked one is not listed (nothing stored yet, a device gone): the
// current video device's own sound, else the first sound input, else the list's first entry.
// Another camcorder's sound would open that camcorder beside the picture chosen.
std::wstring FallbackSound(widgets::TUcComboBox* Combo, engine::TAudioSourcesList& Sources,
                           const engine::TVideoSource* Video) {
    auto* items = Combo->Items();
    if (items->Count() == 0) return NoAudioStream();
    auto firstListed = [&](auto&& Wanted) -> std::wstring {
        for (int i = 0; i < Sources.Count(); ++i) {
            const engine::TAudioSource* source = Sources.Get(i);
            if (source->Device != nullptr && Wanted(source->Device) && items->IndexOf(source->Name) >= 0)
                return source->Name;
        }
        return L"";
    };
    std::wstring name;
    if (Video != nullptr && Video->Device != nullptr)
        name = firstListed([&](const engine::TCaptureDevice* D) { return D == Video->Device; });
    if (name.empty()) name = firstListed([](const engine::TCaptureDevice* D) { return D->Kind == engine::kKindSound; });
    return name.empty() ? items->Strings(0) : name;
}

// Whether a source taken for Asked, which is not listed, is told: a name given (a script's, the
// command line's, the one stored), but neither an empty one nor the setting's own default, which
// only says that nothing was stored yet.
bool TellsSubstitute(const std::wstring& Asked, const settings::TWideStringParameter* Stored) {
    return !Asked.empty() && (Stored == nullptr || Asked != Stored->Default());
}

std::wstring FileNamePart(const std::wstring& Path) {
    const std::size_t slash = Path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? Path : Path.substr(slash + 1);
}

std::wstring WithExtension(const std::wstring& Path, const wchar_t* Extension) {
    const std::size_t slash = Path.find_last_of(L"\\/:");
    const std::size_t dot = Path.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) return Path.substr(0, dot) + Extension;
    return Path + Extension;
}

const wchar_t* CaptureExtension(std::uint8_t Format) {
    switch (Format) {
        case 3:
        case 4: return L".mpg";
        case 7: return L".wmv";
        case 11: return L".wav";
        case 12: return L".mp3";
        default: return L".avi";
    }
}

// The input pins of a filter, in pin order.
std::vector<ComPtr<IPin>> InputPins(IBaseFilter* Filter) {
    std::vector<ComPtr<IPin>> result;
    ComPtr<IEnumPins> pins;
    if (Filter == nullptr || FAILED(Filter->EnumPins(&pins)) || !pins) return result;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_OUTPUT;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT) result.push_back(pin);
    }
    return result;
}

std::wstring PinName(IPin* Pin) {
    PIN_INFO info{};
    if (FAILED(Pin->QueryPinInfo(&info))) return std::wstring();
    if (info.pFilter != nullptr) info.pFilter->Release();
    std::wstring name(info.achName);
    if (name.size() > kMaxEntryName) name.resize(kMaxEntryName);
    return name;
}

ComPtr<IBaseFilter> DeviceFilter(const engine::TAudioSource* Source) {
    if (Source == nullptr || Source->Device == nullptr || Source->Device->SourceFilter == nullptr) return nullptr;
    return Source->Device->SourceFilter->GetFilter();
}

// A settings menu filled afresh by the capture data module with the current source's pages; a
// menu left empty says so in its one item.
void FillSettingsMenu(classlib::TPopupMenu* Menu, void (engine::Tdm::*Fill)(classlib::TPopupMenu*)) {
    classlib::TMenuItem* items = Menu->Items();
    items->Clear();
    if (engine::Tdm* module = engine::dm()) {
        try {
            (module->*Fill)(Menu);
        } catch (...) {
            // The items added before the failure stay.
        }
    }
    if (items->Count() == 0) {
        auto* item = new classlib::TMenuItem(nullptr);
        item->SetCaption(classlib::WideToAnsi(settings::LoadProgramText(IDS_NO_SETTINGS_TAB)));
        items->Add(item);
    }
}

}  // namespace

bool TCaptureForm::GraphRunIsDeferred() const {
    const engine::Tdm* module = engine::dm();
    return GraphRunDeferred > 0 || (module != nullptr && module->DeferRun > 0);
}

bool TCaptureForm::EnumerateSources() {
    if (!VideoDevices || !AudioDevices || !VideoSources || !AudioSources) return true;
    VideoSources->Clear();
    AudioSources->Clear();
    VideoDevices->Refresh(CLSID_VideoInputDeviceCategory);
    AudioDevices->Refresh(CLSID_AudioInputDeviceCategory);

    // A device that failed to open in this run stays out; one unchecked in the help panel's list
    // is left out; one never seen joins the list, checked.
    widgets::TUcCheckListBox* seen = HelpFrame1->clSources;
    auto admit = [seen](const engine::TCaptureDevice& Device) {
        if (FailedDevices() != nullptr && FailedDevices()->IndexOf(Device.FriendlyName) >= 0) return false;
        const int line = seen->Items()->IndexOf(Device.FriendlyName);
        if (line >= 0) return seen->Checked(line);
        seen->SetChecked(seen->Items()->Add(Device.FriendlyName), true);
        return true;
    };
    engine::FillSourceLists(*VideoDevices, *AudioDevices, *VideoSources, *AudioSources, admit);

    std::vector<std::wstring> videoNames;
    std::vector<std::wstring> audioNames;
    for (int i = 0; i < VideoSources->Count(); ++i) videoNames.push_back(VideoSources->Get(i)->Name);
    for (int i = 0; i < AudioSources->Count(); ++i) audioNames.push_back(AudioSources->Get(i)->Name);
    Synchronise(SourcesFrame->cboxvideo, videoNames);
    Synchronise(SourcesFrame->cboxAudio, audioNames);
    SourcesFrame->cboxvideo->Items()->Add(NoVideoStream());
    SourcesFrame->cboxAudio->Items()->Add(NoAudioStream());
    return true;
}

bool TCaptureForm::KeepSourcesWhileRecording(bool Changes) {
    if ((CaptureState != 2 && CaptureState != 4) || !RecordingOpen()) return false;
    if (Changes) {
        // In the panel of the sources summary, which the refusal replaces until the next look.
        StatusMainText.clear();
        StatusAlertText = settings::LoadProgramText(IDS_REC_SOURCES_KEPT);
        RepaintStatus();
    }
    return true;
}

bool TCaptureForm::SelectVideoSource(const std::wstring& Name) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr || !VideoSources) return false;
    widgets::TUcComboBox* combo = SourcesFrame->cboxvideo;
    const std::wstring none = NoVideoStream();
    if (module->CurrentVideoSource != nullptr && module->CurrentVideoSource->Name == Name) return true;
    // The recording goes on untouched: its branch hangs from the sources' previews.
    const bool noneAsBefore = module->CurrentVideoSource == nullptr && Name == none;
    if (KeepSourcesWhileRecording(!noneAsBefore)) return noneAsBefore;
    if (noneAsBefore) {
        PointAt(combo, settings::ParamSourceVideo->Value());
        HideVideoControls();
        return true;
    }
    PointAt(combo, Name);
    const bool listed = combo->Items()->IndexOf(Name) >= 0;
    // Name may be the stored setting itself, which the selection rewrites: what was asked is kept,
    // and so is the user's choice that the settings held before.
    const std::wstring asked = listed || !TellsSubstitute(Name, settings::ParamSourceVideo) ? std::wstring() : Name;
    const std::wstring chosen = videoKept_.value_or(settings::ParamSourceVideo->Value());
    videoInstead_.Clear();
    bool result = false;
    try {
        const std::wstring resolved =
            listed ? Name : (combo->Items()->Count() > 0 ? combo->Items()->Strings(0) : std::wstring());
        engine::TVideoSource* source = nullptr;
        if (resolved != none) {
            source = VideoSources->Find(resolved);
            if (source == nullptr) source = VideoSources->Get(0);
        }
        if (source != nullptr) {
            if (!source->BuildGraph()) {
                if (FailedDevices() != nullptr && source->Device != nullptr) FailedDevices()->Add(source->Device->FriendlyName);
                ActualiserVideoBtnClick(this);
                return false;
            }
            // Uncompressed RGB has no four-character code of its own.
            const std::string kind = engine::Native.SourceFourCC.empty() ? "RGB" : engine::Native.SourceFourCC;
            std::wstring label = classlib::AnsiToWide(kind) + L" - " +
                                 engine::VideoLabelText(engine::Native.SourceWidth, engine::Native.SourceHeight,
                                                        engine::Native.SourceFrameTime, engine::Native.SourceFps);
            SourcesFrame->LabVideo->SetCaption(label);
            ShowVideoControls();
            settings::ParamSourceVideo->SetValue(source->Name);
        } else {
            combo->SetText(none);
            if (module->CurrentVideoSource != nullptr) module->CurrentVideoSource->KillGraph(true);
            settings::ParamSourceVideo->SetValue(none);
            HideVideoControls();
        }
        PointAt(combo, settings::ParamSourceVideo->Value());
        if (DroppedFramesTimer != nullptr) DroppedFramesTimer->SetEnabled(true);
        // A schedule waiting to start keeps its look (and its alarm) through a change of source.
        if (CaptureState != 3) ShowPreviewState();
        if (engine::TVideoSource* current = module->CurrentVideoSource) {
            if (current->SceneFilter != nullptr) {
                // The graph is stopped: the detector reports the picture's shape again on its next frame.
                current->SceneFilter->Current.Wide = false;
                SixteenNineFlag = false;
            }
            ApplyAspectRatio();
        }
        if (module->Superposer != nullptr)
            module->Superposer->SetDisplayMode(
                settings::ParamWhenIncrust->Value(),
                static_cast<std::uint32_t>(std::max(0, settings::ParamDureeIncruster->Value())));
        // The source taken for a name not listed is told, also for the stored one at start-up; it
        // is for this run only.
        if (!asked.empty()) {
            videoInstead_ = {asked, module->CurrentVideoSource != nullptr ? module->CurrentVideoSource->Name : none};
            if (!videoKept_) videoKept_ = chosen;
        }
        if (!GraphRunIsDeferred()) {
            // A selection of its own (a script's or the command line's; the sequences that select
            // all three choose the format themselves) leaves the format list with only what the
            // new source can record, the format to be recorded selected.
            SelectCaptureFormat(settings::ParamCaptureFormat->Value());
            module->RunGraph();
        }
        result = true;
    } catch (...) {
        // The window goes on with what was done.
    }
    return result;
}

bool TCaptureForm::SelectAudioSource(const std::wstring& Name) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr || !AudioSources) return true;
    const bool unchanged =
        module->CurrentAudioSource != nullptr ? module->CurrentAudioSource->Name == Name : Name == NoAudioStream();
    if (KeepSourcesWhileRecording(!unchanged)) return unchanged;
    try {
        module->fg->Stop();
    } catch (...) {
    }
    widgets::TUcComboBox* combo = SourcesFrame->cboxAudio;
    const std::wstring none = NoAudioStream();
    const bool ownSelection = !GraphRunIsDeferred();
    // Every way out runs the graph again unless the run is deferred; Taken becomes true when the
    // sound changed as asked or for the name not listed.
    bool listed = true;
    bool taken = false;
    const std::wstring asked = Name;  // Name may be the stored setting, which a selection rewrites
    const std::wstring chosen = audioKept_.value_or(settings::ParamSourceAudio->Value());
    auto selection = [&] {
        std::wstring name = Name;
        const int index = combo->Items()->IndexOf(name);
        if (index >= 0) {
            combo->SetItemIndex(index);
            if (module->CurrentAudioSource != nullptr && module->CurrentAudioSource->Name == name) return;
            if (module->CurrentAudioSource == nullptr && name == none) {
                HideAudioControls();
                return;
            }
        } else {
            listed = false;
            name = FallbackSound(combo, *AudioSources, module->CurrentVideoSource);
            combo->SetItemIndex(combo->Items()->IndexOf(name));
            // The sound taken is the current one: it stays as it is, and so does what was told of it.
            if (module->CurrentAudioSource != nullptr && module->CurrentAudioSource->Name == name) {
                taken = true;
                return;
            }
        }
        audioInstead_.Clear();
        if (name == none) {
            if (module->CurrentAudioSource != nullptr) module->CurrentAudioSource->KillGraph(true);
            HideAudioControls();
            taken = true;
            return;
        }
        engine::TAudioSource* source = AudioSources->Find(name);
        if (source == nullptr) source = AudioSources->Get(0);
        if (source != nullptr && !source->BuildGraph()) {
            if (FailedDevices() != nullptr && source->Device != nullptr) FailedDevices()->Add(source->Device->FriendlyName);
            ActualiserVideoBtnClick(this);
            return;
        }
        taken = true;
        // LabAudio is written with the status texts below.
        ShowAudioControls();

        // The sound card's inputs: the last one enabled in its mixer is the stored entry.
        engine::TAudioSource* current = module->CurrentAudioSource;
        widgets::TUcComboBox* entries = SourcesFrame->cbEntries;
        if (current != nullptr && current->Device != nullptr && current->Device->Kind == engine::kKindSound) {
            entries->Items()->Clear();
            for (const ComPtr<IPin>& pin : InputPins(DeviceFilter(current).Get())) {
                const std::wstring pinName = PinName(pin.Get());
                entries->Items()->Add(pinName);
                ComPtr<IAMAudioInputMixer> mixer = engine::Query<IAMAudioInputMixer>(pin.Get(), IID_IAMAudioInputMixer);
                BOOL enabled = FALSE;
                if (mixer && SUCCEEDED(mixer->get_Enable(&enabled)) && enabled) settings::ParamSoundCardEntry->SetValue(pinName);
            }
            if (entries->Items()->Count() == 0) {
                entries->Hide();
            } else {
                entries->Show();
                const int line = entries->Items()->IndexOf(settings::ParamSoundCardEntry->Value());
                entries->SetItemIndex(line >= 0 ? line : 0);
            }
        } else {
            entries->Hide();
        }
        SourcesFrame->gbFormatCapture->SetVisible(module->CurrentVideoSource != nullptr || module->CurrentAudioSource != nullptr);
        UpdateStatusTexts();
    };
    try {
        selection();
        // As for the video: the sound taken for a name not listed is told and is for this run
        // only, and a selection of its own leaves a format list that the sources allow.
        if (taken && !listed && TellsSubstitute(asked, settings::ParamSourceAudio)) {
            audioInstead_ = {asked, module->CurrentAudioSource != nullptr ? module->CurrentAudioSource->Name : none};
            if (!audioKept_) audioKept_ = chosen;
        }
        // The settings hold the sound now current, as they hold the video (the user's choice
        // before a source taken in its place is kept apart).
        settings::ParamSourceAudio->SetValue(module->CurrentAudioSource != nullptr ? module->CurrentAudioSource->Name
                                                                                   : none);
        if (ownSelection && taken) SelectCaptureFormat(settings::ParamCaptureFormat->Value());
        // The capture action follows the sources: with none left it has nothing to record.
        if (CaptureState == 1) ShowPreviewLook();
    } catch (...) {
    }
    if (!GraphRunIsDeferred()) {
        try {
            module->RunGraph();
        } catch (...) {
        }
    }
    return true;
}

void TCaptureForm::SelectCaptureFormat(std::uint8_t Format) {
    if (KeepSourcesWhileRecording(Format != settings::ParamCaptureFormat->Value())) return;
    engine::Tdm* module = engine::dm();
    std::vector<std::wstring> offered;
    const engine::TVideoSource* video = module != nullptr ? module->CurrentVideoSource : nullptr;
    const engine::TAudioSource* audio = module != nullptr ? module->CurrentAudioSource : nullptr;
    if (video != nullptr && video->Device != nullptr) {
        if (video->Device->FirstNativeFormat != 0 && audio != nullptr)
            offered.push_back(settings::FormatCaptureName(video->Device->FirstNativeFormat));
        if (video->Device->SecondNativeFormat != 0)
            offered.push_back(settings::FormatCaptureName(video->Device->SecondNativeFormat));
        for (std::uint8_t format : {std::uint8_t{6}, std::uint8_t{9}, std::uint8_t{7}, std::uint8_t{8}})
            offered.push_back(settings::FormatCaptureName(format));
    }
    if (audio != nullptr) {
        offered.push_back(settings::FormatCaptureName(11));
        if (module->Mp3EncoderFound) offered.push_back(settings::FormatCaptureName(12));
    }

    widgets::TUcComboBox* combo = SourcesFrame->cbFormatCapture;
    combo->Items()->Clear();
    for (const std::wstring& name : offered) combo->Items()->Add(name);
    if (offered.empty()) {
        combo->SetItemIndex(-1);
        combo->SetText(std::wstring());
        SourcesFrame->gbFormatCapture->Hide();
    } else {
        const int index = combo->Items()->IndexOf(settings::FormatCaptureName(Format));
        combo->SetItemIndex(index >= 0 ? index : 0);
        combo->SetText(combo->Items()->Strings(index >= 0 ? index : 0));
        SourcesFrame->gbFormatCapture->Show();
    }
    const std::uint8_t stored = settings::FormatCaptureFromName(combo->Text());
    settings::ParamCaptureFormat->SetValue(stored);
    // What was told of a format taken for another holds while that format stays.
    if (formatInstead_.Told() && combo->Text() != formatInstead_.Taken) formatInstead_.Clear();

    NextVideoFile = WithExtension(NextVideoFile, CaptureExtension(stored));
    SourcesFrame->LabelVideo->SetCaption(FileNamePart(NextVideoFile));
    DossiersFrame1->LabelVideo->SetCaption(FileNamePart(NextVideoFile));

    SourcesFrame->cbFormatCapture->SetPopupMenu(stored == 7 ? pmProfiles : nullptr);
    SourcesFrame->leFramerate->SetVisible(stored == 8);
    SourcesFrame->leFramerateLabel->SetVisible(stored == 8);
    // Grey marks a current source that the format leaves out; a box that shows its no-stream entry
    // stays in the usual colour: choosing a source there is the way back to it.
    const bool soundIgnored = stored == 8 && module != nullptr && module->CurrentAudioSource != nullptr;
    const bool videoIgnored =
        (stored == 11 || stored == 12) && module != nullptr && module->CurrentVideoSource != nullptr;
    SourcesFrame->cboxAudio->Font()->SetColor(soundIgnored ? classlib::clGrayText : classlib::clBtnText);
    SourcesFrame->cboxvideo->Font()->SetColor(videoIgnored ? classlib::clGrayText : classlib::clBtnText);
    if (CaptureState != 3) ShowPreviewState();
}

void TCaptureForm::cboxVideoChange(classlib::TObject* /*Sender*/) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return;
    const std::wstring text = SourcesFrame->cboxvideo->Text();
    SourcePicked(true);
    if (module->CurrentVideoSource != nullptr && module->CurrentVideoSource->Name == text) return;
    if (module->CurrentVideoSource == nullptr && text == NoVideoStream()) return;
    // The format chosen before this selection, which rebuilds the list by the new source.
    const std::uint8_t stored = settings::ParamCaptureFormat->Value();
    SelectVideoSource(text);
    settings::ParamWantVideoSource->SetValue(text);
    const bool soundOnly = stored == 11 || stored == 12;
    SelectCaptureFormat(settings::ParamPreviewLocked->Value() && module->CurrentVideoSource != nullptr && soundOnly ? 0 : stored);
    ApplyLockAndShowFormats();
}

void TCaptureForm::cboxAudioChange(classlib::TObject* /*Sender*/) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return;
    const std::wstring text = SourcesFrame->cboxAudio->Text();
    const std::uint8_t stored = settings::ParamCaptureFormat->Value();
    SourcePicked(false);
    SelectAudioSource(text);
    settings::ParamWantAudioSource->SetValue(text);
    const bool locked = settings::ParamPreviewLocked->Value();
    if (locked && (stored == 11 || stored == 12) && module->CurrentAudioSource == nullptr &&
        module->CurrentVideoSource == nullptr) {
        // No sound left for a sound format whose lock had put the video aside: the way out of the
        // sound-only mode brings the wanted video back, with its first picture format.
        if (const engine::TVideoSource* video = VideoSourceToComeBack()) {
            SelectVideoSource(video->Name);
            SelectCaptureFormat(0);
        }
    } else {
        SelectCaptureFormat(locked && module->CurrentAudioSource != nullptr && stored == 8 ? 0 : stored);
    }
    ApplyLockAndShowFormats();
}

void TCaptureForm::cbFormatCaptureClick(classlib::TObject* /*Sender*/) {
    const std::uint8_t format = settings::FormatCaptureFromName(SourcesFrame->cbFormatCapture->Text());
    if (format == settings::ParamCaptureFormat->Value()) return;
    ChooseCaptureFormat(format);
}

void TCaptureForm::ChooseCaptureFormat(std::uint8_t Format) {
    formatInstead_.Clear();
    SelectCaptureFormat(Format);
    settings::ParamWantFormatCapture->SetValue(settings::FormatCaptureName(settings::ParamCaptureFormat->Value()));
    ApplyLockAndShowFormats();
}

void TCaptureForm::SourcePicked(bool Video) {
    // Also the source taken for a missing one, picked as it is: the close stores it, and nothing
    // is left to tell of it. A recording keeps its sources, and so the choice that stands.
    if (KeepSourcesWhileRecording(false)) return;
    (Video ? videoKept_ : audioKept_).reset();
    TTakenInstead& told = Video ? videoInstead_ : audioInstead_;
    if (!told.Told()) return;
    told.Clear();
    if (CaptureState == 1) UpdateStatusTexts();
}

bool TCaptureForm::SelectVideoSourceAsked(const std::wstring& Name) {
    if (SourcesFrame->cboxvideo->Items()->IndexOf(Name) >= 0) SourcePicked(true);
    return SelectVideoSource(Name);
}

bool TCaptureForm::SelectAudioSourceAsked(const std::wstring& Name) {
    if (SourcesFrame->cboxAudio->Items()->IndexOf(Name) >= 0) SourcePicked(false);
    return SelectAudioSource(Name);
}

void TCaptureForm::SelectCaptureFormatAsked(const std::wstring& Name) {
    widgets::TUcComboBox* combo = SourcesFrame->cbFormatCapture;
    // A name the list does not offer (not a format, or one the sources cannot give) leaves the
    // format as it is, and is told with it; with no source at all nothing is offered.
    const int offered = combo->Items()->IndexOf(Name);
    if (offered < 0) {
        if (!Name.empty() && combo->Items()->Count() > 0) {
            formatInstead_ = {Name, combo->Text()};
            if (CaptureState == 1) {
                UpdateStatusTexts();
            } else if (CaptureState == 2 || CaptureState == 4) {
                // In place of the recording's look, as a refused change of source is told.
                ShowTakenInstead();
                RepaintStatus();
            }
        }
        return;
    }
    // The list's own entry: the list may match the name in another case.
    const std::uint8_t format = settings::FormatCaptureFromName(combo->Items()->Strings(offered));
    if (KeepSourcesWhileRecording(format != settings::ParamCaptureFormat->Value())) return;
    // The same road as a choice in the list: the preview lock follows the format (whether the
    // overlay and flips apply, the picture's shape, the sources it records).
    ChooseCaptureFormat(format);
}

std::wstring TCaptureForm::SourceNameToStore(bool Video) const {
    const std::optional<std::wstring>& kept = Video ? videoKept_ : audioKept_;
    if (kept) return *kept;
    return (Video ? SourcesFrame->cboxvideo : SourcesFrame->cboxAudio)->Text();
}

void TCaptureForm::ApplyLockAndShowFormats() {
    ApplyPreviewLock(settings::ParamPreviewLocked->Value());
    // The lock may have put a source aside: the list offers what the sources now left allow, so
    // that no entry it shows falls back to another format when chosen.
    SelectCaptureFormat(settings::ParamCaptureFormat->Value());
}

const engine::TVideoSource* TCaptureForm::VideoSourceToComeBack() const {
    if (!VideoSources || VideoSources->Count() == 0) return nullptr;
    if (const engine::TVideoSource* wanted = VideoSources->Find(settings::ParamWantVideoSource->Value())) return wanted;
    return VideoSources->Get(0);
}

void TCaptureForm::ReselectSources() {
    engine::Tdm* module = engine::dm();
    if (module == nullptr || KeepSourcesWhileRecording(true)) return;
    const std::wstring video = SourcesFrame->cboxvideo->Text();
    const std::wstring audio = SourcesFrame->cboxAudio->Text();
    const std::uint8_t format = settings::FormatCaptureFromName(SourcesFrame->cbFormatCapture->Text());
    EnumerateSources();
    // A source whose device is now left out (unchecked in the help panel) is no longer listed: it
    // must not stay current behind a list that does not show it.
    try {
        if (module->CurrentVideoSource != nullptr && VideoSources && VideoSources->IndexOf(module->CurrentVideoSource) < 0)
            module->CurrentVideoSource->KillGraph(true);
        if (module->CurrentAudioSource != nullptr && AudioSources && AudioSources->IndexOf(module->CurrentAudioSource) < 0)
            module->CurrentAudioSource->KillGraph(true);
    } catch (...) {
    }
    {
        engine::TRunDeferral deferral(GraphRunDeferred);
        SelectVideoSource(video);
        SelectAudioSource(audio);
        SelectCaptureFormat(format);
    }
    // A re-selection inside another deferred sequence leaves the one run to that sequence.
    if (GraphRunIsDeferred()) return;
    try {
        module->fg->Play();
    } catch (...) {
    }
}

void TCaptureForm::ActualiserVideoBtnClick(classlib::TObject* /*Sender*/) {
    ReselectSources();
    ShowSystemInfo();
}

void TCaptureForm::HelpFrame1CheckListBox1Click(classlib::TObject* Sender) {
    if (KeepSourcesWhileRecording(true)) {
        // The box the user ticked or cleared shows again what the recording uses.
        widgets::TUcCheckListBox* seen = HelpFrame1->clSources;
        const int line = seen->ItemIndex();
        if (line >= 0 && line < seen->Items()->Count()) seen->SetChecked(line, !seen->Checked(line));
        return;
    }
    ActualiserVideoBtnClick(Sender);
}

void TCaptureForm::WMDeviceChange(classlib::TMessage& Message) {
    if (StartingUp() || settings::ParamNotifier == nullptr || !settings::ParamNotifier->Value()) return;
    if (Message.WParam != kDevNodesChanged || Message.LParam != 0) return;
    try {
        ReselectSources();
    } catch (...) {
    }
}

void TCaptureForm::GraphDeviceLost(classlib::TObject* /*Sender*/) {
    // Heard inside the graph's event dispatch: the recovery runs once that dispatch is over.
    if (HandleAllocated()) PostMessageW(Handle(), kWMSourcesEvent, kSourcesDeviceLost, 0);
}

void TCaptureForm::WMSourcesEvent(classlib::TMessage& Message) {
    try {
        switch (Message.WParam) {
            case kSourcesDeviceLost:
                if (CaptureState == 2 || CaptureState == 4) StopCapture();
                ReselectSources();
                break;
            case kSourcesVideoMenuClosed: SettingsMenuClosed(true); break;
            case kSourcesAudioMenuClosed: SettingsMenuClosed(false); break;
            default: break;
        }
    } catch (...) {
    }
}

void TCaptureForm::VideoPropBtnClick(classlib::TObject* /*Sender*/) { PopSettingsMenu(true); }

void TCaptureForm::AudiopropBtnClick(classlib::TObject* /*Sender*/) { PopSettingsMenu(false); }

void TCaptureForm::PopSettingsMenu(bool Video) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return;
    try {
        // A running recording is ended as the stop action ends it (its branch hangs from the preview).
        if (CaptureState == 2 || CaptureState == 4) StopCapture();
        StopGraphAndCloseCapture();
        // The branch goes, the device's own filters stay: their pages can then change the format.
        if (Video && module->CurrentVideoSource != nullptr) module->CurrentVideoSource->KillGraph(false);
        if (!Video && module->CurrentAudioSource != nullptr) module->CurrentAudioSource->KillGraph(false);
    } catch (...) {
    }
    widgets::TUcSpeedButton* button = Video ? SourcesFrame->sbVideoSettings : SourcesFrame->sbAudioSettings;
    const POINT corner = button->ClientToScreen(POINT{0, button->Height()});
    (Video ? VideoSettingsMenu : AudioSettingsMenu)->Popup(corner.x, corner.y);
    if (HandleAllocated())
        PostMessageW(Handle(), kWMSourcesEvent, Video ? kSourcesVideoMenuClosed : kSourcesAudioMenuClosed, 0);
}

void TCaptureForm::SettingsMenuClosed(bool Video) {
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return;
    // A chosen page has selected its source again; a menu dismissed, or one with no page to offer,
    // must not leave the preview without its source.
    const bool missing = Video ? module->CurrentVideoSource == nullptr && SourcesFrame->cboxvideo->Text() != NoVideoStream()
                               : module->CurrentAudioSource == nullptr && SourcesFrame->cboxAudio->Text() != NoAudioStream();
    if (!missing) {
        if (!GraphRunIsDeferred() && module->fg->State() != dshow::gsPlaying) module->RunGraph();
        return;
    }
    {
        engine::TRunDeferral deferral(GraphRunDeferred);
        if (Video)
            SelectVideoSource(SourcesFrame->cboxvideo->Text());
        else
            SelectAudioSource(SourcesFrame->cboxAudio->Text());
        SelectCaptureFormat(settings::FormatCaptureFromName(SourcesFrame->cbFormatCapture->Text()));
    }
    if (!GraphRunIsDeferred()) module->RunGraph();
}

void TCaptureForm::VideoSettingsMenuPopup(classlib::TObject* /*Sender*/) {
    FillSettingsMenu(VideoSettingsMenu, &engine::Tdm::FillVideoSettingsMenu);
}

void TCaptureForm::AudioSettingsMenuPopup(classlib::TObject* /*Sender*/) {
    FillSettingsMenu(AudioSettingsMenu, &engine::Tdm::FillAudioSettingsMenu);
}

void TCaptureForm::pmProfilesPopup(classlib::TObject* /*Sender*/) {
    classlib::TMenuItem* items = pmProfiles->Items();
    items->Clear();
    auto* profiles = OptionsFrame->cboxMedia->Items();
    for (int i = 0; i < profiles->Count(); ++i) {
        auto* item = new widgets::TUcMenuItem(nullptr);
        item->SetCaption(profiles->Strings(i));
        item->SetTag(i);
        item->OnClick = [this](classlib::TObject* Sender) { capsetItem(Sender); };
        items->Add(item);
    }
}

void TCaptureForm::capsetItem(classlib::TObject* Sender) {
    // A system profile chosen by name is the one recorded with, not a default one (the box's
    // click shows the system profiles).
    if (OptionsFrame->SelectProfileFromMenu(Sender)) OptionsFrame->cbDefaultProfile->SetChecked(false);
}

void TCaptureForm::SourcesFramecbEntriesChange(classlib::TObject* /*Sender*/) {
    const std::wstring text = SourcesFrame->cbEntries->Text();
    settings::ParamSoundCardEntry->SetValue(text);
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return;
    for (const ComPtr<IPin>& pin : InputPins(DeviceFilter(module->CurrentAudioSource).Get())) {
        ComPtr<IAMAudioInputMixer> mixer = engine::Query<IAMAudioInputMixer>(pin.Get(), IID_IAMAudioInputMixer);
        if (mixer) mixer->put_Enable(PinName(pin.Get()) == text ? TRUE : FALSE);
    }
}

void TCaptureForm::SourcesFramesbFormatCapturesettingsClick(classlib::TObject* /*Sender*/) {
    // The settings panel is panel 5; its tabs: 1 Windows Media, 2 DivX, 4 DV.
    ShowPanel(5);
    const std::uint8_t format = settings::ParamCaptureFormat->Value();
    const int tab = format == 7 ? 1 : (format == 9 || format == 12) ? 2 : 4;
    if (tab < OptionsFrame->PageControl1->PageCount())
        OptionsFrame->PageControl1->SetActivePageIndex(tab);
}

void TCaptureForm::DossiersFrame1dePluginAfterDialog(classlib::TObject* /*Sender*/) {
    PluginFolderChosen(DossiersFrame1->PlugInDirEdit->WideText());
}

void TCaptureForm::PluginFolderChosen(const std::wstring& Folder) {
    const std::wstring& folder = Folder;
    if (folder == settings::ParamPluginsDir->Value()) return;
    settings::ParamPluginsDir->SetValue(folder);
    classlib::ShowMessageBox(MainWindowHandle(),
                             L"The plug-ins found in the folder " + folder + L"\r\nwill only be activated on next start of " +
                                 L"Quillotrane" + L"\r\n\r\nYou should restart it now.",
                             L"Quillotrane", MB_OK | MB_ICONINFORMATION);
}

std::wstring TCaptureForm::SourcesListText(int List) {
    switch (List) {
        case engine::kVideoSourceList: return SourcesFrame->cboxvideo->Text();
        case engine::kAudioSourceList: return SourcesFrame->cboxAudio->Text();
        case engine::kCaptureFormatList: return SourcesFrame->cbFormatCapture->Text();
        default: return std::wstring();
    }
}

}  // namespace ui
