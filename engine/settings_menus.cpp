// The device settings menus of the capture data module.
#include "engine/settings_menus.h"

#include <dshow.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "classlib/conversions.h"
#include "classlib/menus.h"
#include "dshow/crossbar.h"
#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "settings/parameters.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"

namespace engine {

static_assert(sizeof(Tdm::SettingsSlots) / sizeof(Tdm::SettingsSlots[0]) == kSettingsSlotCount);

namespace {

// The interface Iid found by the capture builder on Filter's pin of Category, trying the types
// in order (nullptr: any type); nullptr when none answers.
ComPtr<IUnknown> OnPin(ICaptureGraphBuilder2* Builder, const GUID* Category, std::initializer_list<const GUID*> Types,
                       IBaseFilter* Filter, REFIID Iid) {
    ComPtr<IUnknown> found;
    if (Builder == nullptr || Filter == nullptr) return found;
    for (const GUID* type : Types) {
        if (SUCCEEDED(Builder->FindInterface(Category, type, Filter, Iid,
                                             reinterpret_cast<void**>(found.ReleaseAndGetAddressOf()))) &&
            found)
            return found;
    }
    return nullptr;
}

ComPtr<IUnknown> OnVideoCapturePin(Tdm& Module, REFIID Iid) {
    return OnPin(Module.CaptureBuilder.Get(), &PIN_CATEGORY_CAPTURE, {&MEDIATYPE_Interleaved, &MEDIATYPE_Video},
                 Module.VideoSourceFilter.Get(), Iid);
}

ComPtr<IUnknown> OnVideoPreviewPin(Tdm& Module, REFIID Iid) {
    return OnPin(Module.CaptureBuilder.Get(), &PIN_CATEGORY_PREVIEW, {&MEDIATYPE_Interleaved, &MEDIATYPE_Video},
                 Module.VideoSourceFilter.Get(), Iid);
}

ComPtr<IUnknown> OnAudioCapturePin(Tdm& Module, REFIID Iid) {
    return OnPin(Module.CaptureBuilder.Get(), &PIN_CATEGORY_CAPTURE, {&MEDIATYPE_Audio},
                 Module.AudioSourceFilter.Get(), Iid);
}

// The crossbar on the video capture pin, when it is a filter of its own.
ComPtr<IUnknown> FirstCrossbar(Tdm& Module) {
    ComPtr<IUnknown> crossbar = OnVideoCapturePin(Module, IID_IAMCrossbar);
    if (!Query<IBaseFilter>(crossbar.Get(), IID_IBaseFilter)) return nullptr;
    return crossbar;
}

// A further crossbar upstream of the first one.
ComPtr<IUnknown> SecondCrossbarOf(Tdm& Module) {
    ComPtr<IBaseFilter> first = Query<IBaseFilter>(FirstCrossbar(Module).Get(), IID_IBaseFilter);
    return OnPin(Module.CaptureBuilder.Get(), &LOOK_UPSTREAM_ONLY, {nullptr}, first.Get(), IID_IAMCrossbar);
}

bool DialogPresent(IAMVfwCaptureDialogs* Dialogs, VfwCaptureDialogs Dialog) {
    return Dialogs != nullptr && Dialogs->HasDialog(Dialog) == S_OK;
}

HWND OwnerWindow() {
    IEngineHost* host = EngineHost();
    return host != nullptr ? host->MainWindowHandle() : nullptr;
}

}  // namespace

bool HasPropertyPages(IUnknown* Object) {
    ComPtr<ISpecifyPropertyPages> pages = Query<ISpecifyPropertyPages>(Object, IID_ISpecifyPropertyPages);
    if (!pages) return false;
    CAUUID ids{};
    const bool has = SUCCEEDED(pages->GetPages(&ids)) && ids.cElems > 0;
    CoTaskMemFree(ids.pElems);
    return has;
}

bool ShowPropertyFrame(HWND Owner, IUnknown* Object) {
    ComPtr<ISpecifyPropertyPages> pages = Query<ISpecifyPropertyPages>(Object, IID_ISpecifyPropertyPages);
    if (!pages) return false;
    CAUUID ids{};
    if (FAILED(pages->GetPages(&ids))) return false;
    bool shown = false;
    if (ids.cElems > 0) {
        IUnknown* objects[] = {Object};
        shown = SUCCEEDED(OleCreatePropertyFrame(Owner, 30, 30, nullptr, 1, objects, ids.cElems, ids.pElems, 0, 0, nullptr));
    }
    CoTaskMemFree(ids.pElems);
    return shown;
}

long RoutedInput(const dshow::TCrossbar& Crossbar) {
    const auto& chains = Crossbar.Chains();
    for (std::size_t i = 0; i < chains.size(); ++i) {
        bool routed = !chains[i].empty();
        for (const dshow::TCrRouting& step : chains[i]) {
            long input = -1;
            if (!step.Crossbar || FAILED(step.Crossbar->get_IsRoutedTo(step.VideoOutputIndex, &input)) ||
                input != step.VideoInputIndex) {
                routed = false;
                break;
            }
        }
        if (routed) return static_cast<long>(i);
    }
    return -1;
}

classlib::TMenuItem* Tdm::AddSettingsItem(classlib::TMenuItem* Parent, unsigned TextId, int Slot, int& Tag) {
    auto* item = new classlib::TMenuItem(nullptr);
    item->SetCaption(classlib::WideToAnsi(settings::LoadProgramText(TextId)));
    item->SetTag(Tag);
    item->OnClick = [this](classlib::TObject* Sender) { SettingsItemClick(Sender); };
    Parent->Add(item);
    SettingsSlots[Slot] = Tag;
    ++Tag;
    return item;
}

classlib::TMenuItem* Tdm::StartSettingsMenu(classlib::TPopupMenu* Menu, int& Tag) {
    classlib::TMenuItem* Parent = Menu->Items();
    Parent->Clear();
    for (std::int32_t& slot : SettingsSlots) slot = -1;
    IAMVfwCaptureDialogs* dialogs = VideoCaptureDialogs.Get();
    if (DialogPresent(dialogs, VfwCaptureDialog_Format)) AddSettingsItem(Parent, IDS_MENU_VIDEO_FORMAT, ssVideoFormat, Tag);
    if (DialogPresent(dialogs, VfwCaptureDialog_Display))
        AddSettingsItem(Parent, IDS_MENU_VIDEO_DISPLAY, ssVideoDisplay, Tag);
    if (DialogPresent(dialogs, VfwCaptureDialog_Source)) AddSettingsItem(Parent, IDS_MENU_VIDEO_SOURCE, ssVideoSource, Tag);
    return Parent;
}

void Tdm::FillVideoSettingsMenu(classlib::TPopupMenu* Menu) {
    if (Menu == nullptr) return;
    videoSettingsMenu_ = Menu;
    int tag = 0;
    classlib::TMenuItem* items = StartSettingsMenu(Menu, tag);
    if (HasPropertyPages(VideoSourceFilter.Get()))
        AddSettingsItem(items, IDS_MENU_VIDEO_CAPTURE_FILTER, ssVideoCaptureFilter, tag);
    if (HasPropertyPages(OnVideoCapturePin(*this, IID_IAMStreamConfig).Get()))
        AddSettingsItem(items, IDS_MENU_VIDEO_CAPTURE_PIN, ssVideoCapturePin, tag);
    if (HasPropertyPages(OnVideoPreviewPin(*this, IID_IAMStreamConfig).Get()))
        AddSettingsItem(items, IDS_MENU_VIDEO_PREVIEW_PIN, ssVideoPreviewPin, tag);
    if (HasPropertyPages(FirstCrossbar(*this).Get())) AddSettingsItem(items, IDS_MENU_VIDEO_CROSSBAR, ssVideoCrossbar, tag);
    if (HasPropertyPages(SecondCrossbarOf(*this).Get()))
        AddSettingsItem(items, IDS_MENU_SECOND_CROSSBAR, ssSecondCrossbar, tag);
    if (HasPropertyPages(OnVideoCapturePin(*this, IID_IAMTVTuner).Get()))
        AddSettingsItem(items, IDS_MENU_TV_TUNER, ssTVTuner, tag);
    if (!VideoCrossbar || VideoCrossbarInputs <= 0) return;

    auto* separator = new classlib::TMenuItem(nullptr);
    separator->SetCaption("-");
    items->Add(separator);
    auto* inputs = new classlib::TMenuItem(nullptr);
    inputs->SetCaption(classlib::WideToAnsi(settings::LoadProgramText(IDS_MENU_VIDEO_INPUT)));
    items->Add(inputs);
    // The mark shows the input the crossbars are routed to now; filling the menu routes nothing,
    // so that opening it never switches the picture away from the chosen input.
    const long routed = RoutedInput(*VideoCrossbar);
    long count = 0;
    VideoCrossbar->GetInputCount(count);
    for (long i = 0; i < count; ++i) {
        std::wstring name;
        dshow::CheckDSError(VideoCrossbar->GetInputName(i, name));
        auto* item = new classlib::TMenuItem(nullptr);
        item->SetCaption(classlib::WideToAnsi(name));
        item->SetRadioItem(true);
        item->SetTag(i);
        item->OnClick = [this](classlib::TObject* Sender) { VideoInputItemClick(Sender); };
        inputs->Add(item);
        if (i == routed) item->SetChecked(true);
    }
}

void Tdm::FillAudioSettingsMenu(classlib::TPopupMenu* Menu) {
    if (Menu == nullptr) return;
    audioSettingsMenu_ = Menu;
    int tag = 0;
    classlib::TMenuItem* items = StartSettingsMenu(Menu, tag);
    if (HasPropertyPages(AudioSourceFilter.Get()))
        AddSettingsItem(items, IDS_MENU_AUDIO_CAPTURE_FILTER, ssAudioCaptureFilter, tag);
    if (HasPropertyPages(OnAudioCapturePin(*this, IID_IAMStreamConfig).Get()))
        AddSettingsItem(items, IDS_MENU_AUDIO_CAPTURE_PIN, ssAudioCapturePin, tag);
    if (HasPropertyPages(OnAudioCapturePin(*this, IID_IAMTVAudio).Get()))
        AddSettingsItem(items, IDS_MENU_TV_AUDIO, ssTVAudio, tag);
}

void Tdm::ShowSettingsPage(std::intptr_t Tag) {
    int slot = -1;
    for (int i = 0; i < kSettingsSlotCount; ++i) {
        if (SettingsSlots[i] == Tag) {
            slot = i;
            break;
        }
    }
    const HWND owner = OwnerWindow();
    switch (slot) {
        case ssVideoFormat:
        case ssVideoSource:
        case ssVideoDisplay: {
            const VfwCaptureDialogs dialog = slot == ssVideoFormat   ? VfwCaptureDialog_Format
                                             : slot == ssVideoSource ? VfwCaptureDialog_Source
                                                                     : VfwCaptureDialog_Display;
            if (VideoCaptureDialogs) VideoCaptureDialogs->ShowDialog(dialog, owner);
            break;
        }
        case ssVideoCaptureFilter: ShowPropertyFrame(owner, VideoSourceFilter.Get()); break;
        case ssVideoCapturePin: ShowPropertyFrame(owner, OnVideoCapturePin(*this, IID_IAMStreamConfig).Get()); break;
        case ssVideoPreviewPin: ShowPropertyFrame(owner, OnVideoPreviewPin(*this, IID_IAMStreamConfig).Get()); break;
        case ssVideoCrossbar: {
            ComPtr<IUnknown> crossbar = FirstCrossbar(*this);
            if (!crossbar) break;
            ShowPropertyFrame(owner, crossbar.Get());
            // The input is kept as the router's own index, the one the preview routes by, whatever
            // pin the page chose on this crossbar.
            if (VideoCrossbar && settings::ParamVideoInputSelect != nullptr) {
                const long routed = RoutedInput(*VideoCrossbar);
                if (routed >= 0) settings::ParamVideoInputSelect->SetValue(static_cast<std::int32_t>(routed));
            }
            break;
        }
        case ssTVTuner: ShowPropertyFrame(owner, OnVideoCapturePin(*this, IID_IAMTVTuner).Get()); break;
        case ssAudioCaptureFilter: ShowPropertyFrame(owner, AudioSourceFilter.Get()); break;
        case ssAudioCapturePin: ShowPropertyFrame(owner, OnAudioCapturePin(*this, IID_IAMStreamConfig).Get()); break;
        case ssSecondCrossbar: ShowPropertyFrame(owner, SecondCrossbarOf(*this).Get()); break;
        case ssTVAudio: ShowPropertyFrame(owner, OnAudioCapturePin(*this, IID_IAMTVAudio).Get()); break;
        default: break;
    }
}

void Tdm::SettingsItemClick(classlib::TObject* Sender) {
    auto* item = dynamic_cast<classlib::TMenuItem*>(Sender);
    if (item == nullptr) return;
    const classlib::TMenu* menu = item->GetParentMenu();
    try {
        ShowSettingsPage(item->Tag());
    } catch (...) {
        // A page that could not be shown still leaves the sources to be selected again.
    }
    IEngineHost* host = EngineHost();
    if (host == nullptr) return;
    // A recording that started while the page was open hangs from the preview's tee: selecting
    // again would take its branch away.
    if (host->CaptureRunning()) return;
    {
        TRunDeferral deferral(DeferRun);
        try {
            if (menu != nullptr && menu == videoSettingsMenu_)
                host->SelectVideoSourceNamed(host->SourcesListText(kVideoSourceList));
            else if (menu != nullptr && menu == audioSettingsMenu_)
                host->SelectAudioSourceNamed(host->SourcesListText(kAudioSourceList));
            host->SelectCaptureFormatNamed(settings::FormatCaptureFromName(host->SourcesListText(kCaptureFormatList)));
        } catch (...) {
        }
    }
    try {
        fg->Play();
    } catch (...) {
    }
}

void Tdm::VideoInputItemClick(classlib::TObject* Sender) {
    auto* item = dynamic_cast<classlib::TMenuItem*>(Sender);
    if (item == nullptr || !VideoCrossbar) return;
    const long input = static_cast<long>(item->Tag());
    if (settings::ParamVideoInputSelect != nullptr) settings::ParamVideoInputSelect->SetValue(static_cast<std::int32_t>(input));
    if (VideoCrossbar->SetInputIndex(input) == S_OK) item->SetChecked(true);
}

}  // namespace engine
