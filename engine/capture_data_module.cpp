// The capture data module.
#include "engine/capture_data_module.h"

#include <dshow.h>
#include <mmreg.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "dshow/ds_helpers.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/control_unit.h"
#include "filters/dv_header.h"
#include "filters/resizer.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "filters/wave_dest.h"
#include "settings/settings_catalogue.h"

namespace engine {

const wchar_t kTamponerVideoName[] = L"Tamponer Video";
const wchar_t kTamponerAudioName[] = L"Tamponer Audio";
const wchar_t kControlPreviewVideoName[] = L"Control_Preview_Video";
const wchar_t kControlPreviewAudioName[] = L"Control_Preview_Audio";
const wchar_t kControlCaptureVideoName[] = L"Control_Capture_Video";
const wchar_t kVideoCapTamponerName[] = L"VideoCap Tamponer";
const wchar_t kAudioCapTamponerName[] = L"AudioCap Tamponer";
const wchar_t kAudioCapTimestamperName[] = L"AudioCap Timestamper";
const wchar_t kSuperposerName[] = L"Superposer";
const wchar_t kDVHeaderName[] = L"DV Header";
const wchar_t kControlFilterName[] = L"Control Filter";
const wchar_t kResizerName[] = L"Resizer";
const wchar_t kWaveDestName[] = L"Wave Dest";

#define QUILL_LEGACY_FILTER L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\"
const wchar_t kDirectSoundDeviceMoniker[] =
    L"@device:cm:{E0F158E1-CB04-11D0-BD4E-00A0C911CE86}\\Default DirectSound Device";
const wchar_t kColourConverterMoniker[] = QUILL_LEGACY_FILTER L"{1643E180-90F5-11CE-97D5-00AA0055595A}";
const wchar_t kDVEncoderMoniker[] = L"@device:sw:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\DV Video Encoder";
const wchar_t kDVMuxerMoniker[] = QUILL_LEGACY_FILTER L"{129D7E40-C10D-11D0-AFB9-00AA00B67A42}";
const wchar_t kDVSplitterMoniker[] = QUILL_LEGACY_FILTER L"{4EB31670-9FC6-11CF-AF6E-00AA00B67A42}";
const wchar_t kInfTeeMoniker[] = QUILL_LEGACY_FILTER L"{F8388A40-D5BB-11D0-BE5A-0080C706568E}";
const wchar_t kAcmWrapperMoniker[] = QUILL_LEGACY_FILTER L"{6A08CF80-0E18-11CF-A24D-0020AFD79767}";
const wchar_t kFileWriterMoniker[] = QUILL_LEGACY_FILTER L"{8596E5F0-0DA5-11D0-BD21-00A0C911CE86}";
const wchar_t kNullRendererMoniker[] = QUILL_LEGACY_FILTER L"{C1F400A4-3F08-11D3-9F0B-006008039E37}";
const wchar_t kSmartTeeMoniker[] = QUILL_LEGACY_FILTER L"{CC58E280-8AA1-11D1-B3F1-00AA003761C5}";
const wchar_t kAviDecompressorMoniker[] = QUILL_LEGACY_FILTER L"{CF49D4E0-1115-11CE-B03A-0020AF0BA770}";
#undef QUILL_LEGACY_FILTER

namespace {

Tdm* g_dm = nullptr;

// Walks upstream from Pin and removes each filter after the chain above it.
void RemoveUpstreamFrom(ICaptureGraphBuilder2* Builder, IFilterGraph* Graph, IPin* Pin, IBaseFilter* StopFilter,
                        int Depth) {
    // A graph with a loop would otherwise recurse without end.
    if (Pin == nullptr || Depth > 64) return;
    ComPtr<IBaseFilter> current = PinOwner(Pin);
    if (!current || current.Get() == StopFilter) return;
    for (int i = 0;; ++i) {
        ComPtr<IPin> input = FindPin(Builder, current.Get(), PINDIR_INPUT, nullptr, nullptr, false, i);
        if (!input) break;
        ComPtr<IPin> upstream = ConnectedTo(input.Get());
        if (!upstream) return;
        RemoveUpstreamFrom(Builder, Graph, upstream.Get(), StopFilter, Depth + 1);
    }
    Graph->RemoveFilter(current.Get());
}

void Leave(dshow::TFilter* Filter) {
    if (Filter != nullptr) Filter->SetFilterGraph(nullptr);
}

template <typename F>
ComPtr<IBaseFilter> Own(F*& Object, F* Made) {
    Object = Made;
    return ComPtr<IBaseFilter>(Made->BaseFilterInterface());
}

}  // namespace

Tdm* dm() { return g_dm; }

dshow::TFilter* MakeFilterComponent(classlib::TComponent* Owner, const std::wstring& Name,
                                    const std::wstring& DisplayName) {
    auto* filter = new dshow::TFilter(Owner);
    filter->SetName(Name);
    if (!DisplayName.empty() && !filter->BaseFilter()->SetDeviceName(DisplayName)) {
        ComPtr<IMoniker> moniker = MonikerFromDisplayName(DisplayName);
        filter->BaseFilter()->SetMoniker(moniker.Get());
    }
    return filter;
}

dshow::TFilter* Tdm::Make(const wchar_t* Name, const wchar_t* DisplayName) {
    return MakeFilterComponent(this, Name, DisplayName != nullptr ? DisplayName : L"");
}

Tdm::Tdm(classlib::TComponent* AOwner) : classlib::TComponent(AOwner) {
    fg = new dshow::TFilterGraph(this);
    fg->SetName(L"fg");
    fg->SetMode(dshow::gmCapture);
    fg->SetAutoCreate(true);
    fg->SetGraphEdit(false);
    fg->SetLinearVolume(true);
    fg->SetActive(true);
    audiorender = Make(L"audiorender", kDirectSoundDeviceMoniker);
    color1 = Make(L"color1", kColourConverterMoniker);
    divx = Make(L"divx", nullptr);
    mp3 = Make(L"mp3", nullptr);
    DVenc = Make(L"DVenc", kDVEncoderMoniker);
    DVmux = Make(L"DVmux", kDVMuxerMoniker);
    DVsplitter = Make(L"DVsplitter", kDVSplitterMoniker);
    infdecvideo = Make(L"infdecvideo", kInfTeeMoniker);
    color3 = Make(L"color3", kColourConverterMoniker);
    acmcap = Make(L"acmcap", kAcmWrapperMoniker);
    infdecaudio = Make(L"infdecaudio", kInfTeeMoniker);
    FileWriter = Make(L"FileWriter", kFileWriterMoniker);
    test = Make(L"test", nullptr);
    null = Make(L"null", kNullRendererMoniker);
    infdumvideo = Make(L"infdumvideo", kInfTeeMoniker);
    infsupaudio = Make(L"infsupaudio", kInfTeeMoniker);
    infsupvideo = Make(L"infsupvideo", kInfTeeMoniker);
    source = Make(L"source", nullptr);
    decoder = Make(L"decoder", nullptr);
    muxer = Make(L"muxer", nullptr);
    AudioEncoder = Make(L"AudioEncoder", nullptr);
    writer = Make(L"writer", kFileWriterMoniker);
    audioenc = Make(L"audioenc", nullptr);
    CreateOwnFilters();
    if (g_dm == nullptr) g_dm = this;
}

void Tdm::CreateOwnFilters() {
    SuperposerFilter = Own(Superposer, new filters::Tqz_Superposer(nullptr));
    VideoCapTamponerFilter = Own(VideoCapTamponer, new filters::Tqz_TimeStamper);
    DVHeaderFilter = Own(DVHeader, new filters::Tqz_DVheader(nullptr));
    ImageControlFilter = Own(ImageControl, new filters::Tqz_ControlFilter);
    ResizerFilter = Own(Resizer, new filters::TQZ_Resizer);
    AudioCapTamponerFilter = Own(AudioCapTamponer, new filters::Tqz_TimeStamper);
    WaveDestFilter = Own(WaveDest, new filters::Tqz_WaveDest);
    TamponerVideoFilter = Own(TamponerVideo, new filters::Tqz_TimeStamper);
    TamponerVideo->SetClearStamps();
    TamponerAudioFilter = Own(TamponerAudio, new filters::Tqz_TimeStamper);
    TamponerAudio->SetClearStamps();
    ControlPreviewVideoFilter = Own(ControlPreviewVideo, new filters::Tqz_TimeStamper);
    ControlPreviewAudioFilter = Own(ControlPreviewAudio, new filters::Tqz_TimeStamper);
    ControlCaptureVideoFilter = Own(ControlCaptureVideo, new filters::Tqz_TimeStamper);
}

Tdm::~Tdm() {
    try {
        fg->Stop();
    } catch (...) {
    }
    // Nothing may go on streaming into filters that are being taken out and released.
    try {
        fg->StopEveryFilter();
    } catch (...) {
    }
    try {
        if (CurrentVideoSource != nullptr) CurrentVideoSource->KillGraph(true);
    } catch (...) {
    }
    try {
        if (CurrentAudioSource != nullptr) CurrentAudioSource->KillGraph(true);
    } catch (...) {
    }
    try {
        fg->ClearGraph();
    } catch (...) {
    }
    CurrentVideoSource = nullptr;
    CurrentAudioSource = nullptr;
    VideoEndPin.Reset();
    VideoCrossbar.reset();
    SecondCrossbar.reset();
    if (g_dm == this) g_dm = nullptr;
}

ComPtr<IFilterGraph> Tdm::Graph() { return fg->As<IFilterGraph>(IID_IFilterGraph); }

bool Tdm::AttachRenderers(IBaseFilter* VideoRenderer) {
    CaptureBuilder = fg->As<ICaptureGraphBuilder2>(IID_ICaptureGraphBuilder2);
    VideoWindowFilter = VideoRenderer;
    for (int attempt = 0; attempt < 2 && !audiorender->GetFilter(); ++attempt) {
        try {
            // Listing the category first makes a new prefix's sound devices known to the
            // enumerator: the stored moniker binds after that.
            if (attempt > 0) {
                audiorender->SetFilterGraph(nullptr);
                CategoryMonikers(CLSID_AudioRendererCategory);
            }
            audiorender->SetFilterGraph(fg);
        } catch (...) {
        }
    }
    AudioRendererFilter = audiorender->GetFilter();
    return AudioRendererFilter != nullptr;
}

HRESULT Tdm::AddOwnFilter(IBaseFilter* Filter, const wchar_t* Name) {
    ComPtr<IFilterGraph> graph = Graph();
    if (!graph || Filter == nullptr) return E_POINTER;
    if (GraphHolds(graph.Get(), Filter)) return S_FALSE;
    return graph->AddFilter(Filter, Name);
}

void Tdm::RemoveOwnFilter(IBaseFilter* Filter) {
    ComPtr<IFilterGraph> graph = Graph();
    if (graph && Filter != nullptr && GraphHolds(graph.Get(), Filter)) graph->RemoveFilter(Filter);
}

bool Tdm::RunGraph() {
    lastRunFailure_ = S_OK;
    try {
        LetStoppedSourceFlow();
        const std::uint8_t format =
            settings::ParamCaptureFormat != nullptr ? settings::ParamCaptureFormat->Value() : settings::kFormatCaptureDefault;
        // Every refusal carries its own code: a start refused with none would be told as a success.
        ComPtr<IFilterGraph> graph = Graph();
        if (!graph) {
            lastRunFailure_ = VFW_E_NOT_IN_GRAPH;
            return false;
        }
        // Without a sound output there is no sound clock to follow: the default clock serves then.
        if ((UseAudioClock || format == 11 || format == 12) && AudioRendererFilter) {
            ComPtr<IMediaFilter> media;
            ComPtr<IReferenceClock> clock;
            if (const HRESULT hr = graph.As(&media); FAILED(hr)) {
                lastRunFailure_ = hr;
                return false;
            }
            if (FAILED(AudioRendererFilter.As(&clock))) {
                lastRunFailure_ = VFW_E_NO_CLOCK;
                return false;
            }
            dshow::CheckDSError(media->SetSyncSource(clock.Get()));
        } else {
            ComPtr<IGraphBuilder> builder;
            if (SUCCEEDED(graph.As(&builder))) builder->SetDefaultSyncSource();
        }
        if (fg->Play()) return true;
        // Play answers false without throwing only when the graph has no control to run it.
        lastRunFailure_ = E_NOINTERFACE;
        return false;
    } catch (const dshow::EDirectShowException& e) {
        // A filter that refused the start (a writer that cannot begin its file) gives its reason.
        lastRunFailure_ = FAILED(e.ErrorCode()) ? e.ErrorCode() : E_FAIL;
        return false;
    } catch (...) {
        lastRunFailure_ = E_FAIL;
        return false;
    }
}

void Tdm::FreezeCapture(bool On) {
    // The DV re-encoding's own video stamper stands behind the capture control: freezing it too
    // would shift that picture twice.
    filters::Tqz_TimeStamper* const stampers[] = {ControlCaptureVideo, AudioCapTamponer};
    // One moment for both, read from one in the graph (both run on the same clock and start), so
    // that picture and sound are shifted alike.
    REFERENCE_TIME at = 0;
    for (filters::Tqz_TimeStamper* stamper : stampers) {
        if (!stamper->IsStopped()) {
            at = stamper->StreamTime();
            break;
        }
    }
    // The sound stops and goes on with the picture, which may wait for a picture that decodes alone,
    // and leaves out as much: its stamper follows the picture's, frozen after it and told so before
    // it goes on.
    auto carries = [](const filters::Tqz_TimeStamper* stamper) {
        return !stamper->IsStopped() && stamper->InputPin()->IsConnected() && stamper->OutputPin()->IsConnected();
    };
    if (carries(ControlCaptureVideo) && carries(AudioCapTamponer)) {
        if (On) {
            ControlCaptureVideo->SetFreeze(true, at);
            AudioCapTamponer->SetFreeze(true, at, ControlCaptureVideo);
        } else {
            AudioCapTamponer->SetFreeze(false, at, ControlCaptureVideo);
            ControlCaptureVideo->SetFreeze(false, at);
        }
        return;
    }
    for (filters::Tqz_TimeStamper* stamper : stampers) stamper->SetFreeze(On, at);
}

void Tdm::RemoveRecordingBranch() {
    Leave(infdumvideo);
    Leave(acmcap);
    if (FileSink) {
        ComPtr<IBaseFilter> sink;
        if (SUCCEEDED(FileSink.As(&sink))) RemoveOwnFilter(sink.Get());
    }
    RemoveOwnFilter(MuxFilter.Get());
    RemoveOwnFilter(AudioCapTamponerFilter.Get());
    RemoveOwnFilter(VideoCapTamponerFilter.Get());
    RemoveOwnFilter(ControlCaptureVideoFilter.Get());
    Leave(AudioEncoder);
    Leave(muxer);
    Leave(DVenc);
    Leave(DVmux);
    RemoveOwnFilter(DVHeaderFilter.Get());
    RemoveOwnFilter(ImageControlFilter.Get());
    Leave(divx);
    RemoveOwnFilter(ResizerFilter.Get());
    Leave(mp3);
    RemoveOwnFilter(WaveDestFilter.Get());
    Leave(FileWriter);
    // The native MPEG and DV re-encoding branches' own filters go too: a file writer left in the
    // running preview would hold, and could truncate, the finished file.
    Leave(writer);
    Leave(audioenc);
    Leave(DVsplitter);
    // The recording is over: its multiplexer and sink are not kept, so the file is let go.
    MuxFilter.Reset();
    FileSink.Reset();
}

bool Tdm::StopCaptureGraph() {
    try {
        RemoveRecordingBranch();
        TVideoSource* video = CurrentVideoSource;
        if (video != nullptr && video->SceneFilter != nullptr) {
            video->KillGraph(false);
            fg->Stop();
            DVHalfSize = false;
            video->BuildGraph();
            fg->Stop();
            if (IEngineHost* host = EngineHost())
                host->SetVideoLabel(VideoLabelText(Native.SourceWidth, Native.SourceHeight, Native.SourceFrameTime,
                                                   Native.SourceFps));
        }
        return true;
    } catch (...) {
        return false;
    }
}

TSoundFormat Tdm::CaptureSoundFormat() const {
    const bool keepDV = settings::ParamGarderFormatDV != nullptr && settings::ParamGarderFormatDV->Value();
    const bool nativeDV = settings::ParamFrequenceDVNative == nullptr || settings::ParamFrequenceDVNative->Value();
    const long sound = Native.SoundRate;
    long rate = 44100;
    if (keepDV && CurrentVideoSource != nullptr && CurrentVideoSource->SceneFilter != nullptr && nativeDV &&
        (sound == 32000 || sound == 44100 || sound == 48000)) {
        rate = sound;
    } else {
        const int choice = settings::ParamFrequenceDV != nullptr ? settings::ParamFrequenceDV->Value() : 3;
        rate = choice == 1 ? 32000 : choice == 2 ? 44100 : choice == 3 ? 48000 : 44100;
    }
    return {rate, 16, 2};
}

std::wstring SoundFormatText(const TSoundFormat& Format) {
    return std::to_wstring(Format.Rate) + L" Hz " + std::to_wstring(Format.Bits) + L" bits " +
           std::to_wstring(Format.Channels) + L" channels";
}

TSoundFormat Tdm::RecordingSoundFormat(std::uint8_t Format) const {
    switch (Format) {
    case 2: case 3: case 4: case 5: case 6: case 9: case 11: case 12: return CaptureSoundFormat();
    default: return {Native.SoundRate, Native.SoundBits, Native.SoundChannels};
    }
}

bool Tdm::HandNewNameToWriter(std::uint8_t Format, const std::wstring& FileName) {
    ComPtr<IFileSinkFilter> sink;
    switch (Format) {
    case 1: {
        TCaptureDevice* device = CurrentVideoSource != nullptr ? CurrentVideoSource->Device : nullptr;
        if (device == nullptr) return false;
        device->KillMuxGraph();
        return device->BuildMuxGraph(FileName);
    }
    case 2: case 5: case 6: case 8: case 9: sink = FileSink; break;
    // The native MPEG branch writes through its own file writer; the device has no branch of its
    // own to build again (an MPEG card would answer "Not Ready").
    case 3: case 4: sink = writer->As<IFileSinkFilter>(IID_IFileSinkFilter); break;
    case 7:
        if (MuxFilter) MuxFilter.As(&sink);
        break;
    case 11: case 12: sink = FileWriter->As<IFileSinkFilter>(IID_IFileSinkFilter); break;
    default: return true;
    }
    return sink && SUCCEEDED(sink->SetFileName(FileName.c_str(), nullptr));
}

bool Tdm::SetAudioCaptureFormat(bool FromOutput) {
    if (CurrentAudioSource == nullptr) return false;
    try {
        const TSoundFormat format = CaptureSoundFormat();
        ComPtr<IBaseFilter> wrapper = acmcap->GetFilter();
        ComPtr<IPin> pin = FindPin(CaptureBuilder.Get(), wrapper.Get(), FromOutput ? PINDIR_OUTPUT : PINDIR_INPUT,
                                   nullptr, nullptr, false, 0);
        TConnectionType type;
        if (!type.Read(pin.Get())) return false;
        AM_MEDIA_TYPE* mt = type.Get();
        if (mt->cbFormat < sizeof(WAVEFORMATEX) || mt->pbFormat == nullptr) {
            auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
            if (block == nullptr) return false;
            if (mt->pbFormat != nullptr) CoTaskMemFree(mt->pbFormat);
            mt->pbFormat = block;
        }
        mt->cbFormat = sizeof(WAVEFORMATEX);
        mt->subtype = MEDIASUBTYPE_PCM;
        mt->formattype = FORMAT_WaveFormatEx;
        auto* wave = reinterpret_cast<WAVEFORMATEX*>(mt->pbFormat);
        // Plain PCM: a tag or extension block read from the old type would describe another format.
        wave->wFormatTag = WAVE_FORMAT_PCM;
        wave->cbSize = 0;
        wave->nChannels = static_cast<WORD>(format.Channels);
        wave->wBitsPerSample = static_cast<WORD>(format.Bits);
        wave->nSamplesPerSec = static_cast<DWORD>(format.Rate);
        wave->nBlockAlign = static_cast<WORD>(format.Channels * format.Bits / 8);
        wave->nAvgBytesPerSec = wave->nSamplesPerSec * wave->nBlockAlign;
        mt->lSampleSize = wave->nBlockAlign;
        if (!FromOutput) pin = FindPin(CaptureBuilder.Get(), wrapper.Get(), PINDIR_OUTPUT, nullptr, nullptr, false, 0);
        ComPtr<IAMStreamConfig> config;
        if (!pin || FAILED(pin.As(&config))) return false;
        return SUCCEEDED(config->SetFormat(mt));
    } catch (...) {
        return false;
    }
}

bool Tdm::RemoveUpstream(IPin* Pin, IBaseFilter* StopFilter) {
    try {
        ComPtr<IFilterGraph> graph = Graph();
        if (Pin == nullptr || !graph) return true;
        RemoveUpstreamFrom(CaptureBuilder.Get(), graph.Get(), Pin, StopFilter, 0);
        return true;
    } catch (...) {
        return false;
    }
}

void Tdm::RemoveChainBetween(IBaseFilter* First, IBaseFilter* Last) {
    ComPtr<IFilterGraph> graph = Graph();
    if (!graph || First == nullptr || Last == nullptr) return;
    ComPtr<IBaseFilter> start, end;
    for (int i = 0; !start; ++i) {
        ComPtr<IPin> out = FindPin(CaptureBuilder.Get(), First, PINDIR_OUTPUT, nullptr, nullptr, false, i);
        if (!out) break;
        if (ComPtr<IPin> peer = ConnectedTo(out.Get())) start = PinOwner(peer.Get());
    }
    for (int i = 0; !end; ++i) {
        ComPtr<IPin> in = FindPin(CaptureBuilder.Get(), Last, PINDIR_INPUT, nullptr, nullptr, false, i);
        if (!in) break;
        if (ComPtr<IPin> peer = ConnectedTo(in.Get())) end = PinOwner(peer.Get());
    }
    if (!start || !end || end.Get() == First || start.Get() == Last) return;
    dshow::RemoveFilterChain(graph.Get(), start.Get(), end.Get());
}

std::wstring VideoLabelText(long Width, long Height, long FrameTime, double Fps) {
    std::wstring text = std::to_wstring(Width) + L"x" + std::to_wstring(Height);
    if (FrameTime == 0) return text;
    // nearbyint rounds ties to even in the default rounding mode.
    const double hundredths = std::nearbyint(Fps * 100.0);
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.2f", hundredths / 100.0);
    std::wstring fps(buffer, buffer + std::strlen(buffer));
    while (!fps.empty() && fps.back() == L'0') fps.pop_back();
    if (!fps.empty() && fps.back() == L'.') fps.pop_back();
    return text + L" - " + fps + L" fps";
}

}  // namespace engine
