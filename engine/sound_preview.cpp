// The sound source and its preview branch.
#include "engine/sound_preview.h"

#include <dshow.h>

#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/graph_pins.h"
#include "engine/video_preview.h"

namespace engine {

TAudioSource::TAudioSource(TCaptureDevice* ADevice, int AIndex) : TavFlux(nullptr, 0) {
    if (ADevice != nullptr)
        Take(ADevice, AIndex, ADevice->AudioCount, StreamName(ADevice, AIndex, ADevice->VideoCount > 0, L" - Audio", L"#"));
}

bool TAudioSource::BuildGraph() {
    Tdm* module = dm();
    if (module == nullptr || Device == nullptr) return false;
    try {
        module->fg->Stop();
        if (module->CurrentAudioSource != nullptr && module->CurrentAudioSource->Active)
            module->CurrentAudioSource->KillGraph(true);
        if (dshow::TFilter* source = Device->SetSourceGraph()) Device->SourceFilter = source;
        ComPtr<IPin> end = Device->SetAudioGraph(Index);
        if (!end) {
            Device->KillAudioGraph();
            ReleaseDevice(module->CurrentVideoSource, false);
            return false;
        }
        FindAudioSourceInterfaces();
        module->AudioSourceFilter = SourceBaseFilter();
        ComPtr<IFilterGraph> graph = module->Graph();
        ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
        module->AddOwnFilter(module->TamponerAudioFilter.Get(), kTamponerAudioName);
        module->infdecaudio->SetFilterGraph(module->fg);
        module->infsupaudio->SetFilterGraph(module->fg);
        ComPtr<IBaseFilter> tee = module->infdecaudio->GetFilter();
        ComPtr<IBaseFilter> tee2 = module->infsupaudio->GetFilter();
        auto fail = [&] {
            Active = true;
            module->CurrentAudioSource = this;
            KillGraph(true);
            return false;
        };
        if (builder == nullptr || !tee || FAILED(builder->RenderStream(nullptr, nullptr, end.Get(), nullptr, tee.Get())))
            return fail();
        TConnectionType type;
        if (type.Read(end.Get()) && type->formattype == FORMAT_WaveFormatEx && type->pbFormat != nullptr &&
            type->cbFormat >= sizeof(WAVEFORMAT) + sizeof(WORD)) {
            auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
            Native.SoundRate = static_cast<long>(wave->nSamplesPerSec);
            Native.SoundBits = wave->wBitsPerSample;
            Native.SoundChannels = wave->nChannels;
        }
        ComPtr<IPin> downstream = ConnectedTo(end.Get());
        dshow::DisconnectPin(end.Get());
        IBaseFilter* control = module->ControlPreviewAudioFilter.Get();
        module->AddOwnFilter(control, kControlPreviewAudioName);
        // Every link the recordings hang from is checked: a sound source without them could not be
        // recorded. The sound output is not: a machine without one (or a renderer that cannot play
        // the format) previews silently and records all the same.
        const bool linked =
            SUCCEEDED(ConnectPins(graph.Get(), end.Get(), PinAt(control, 0).Get(), type.Get())) &&
            SUCCEEDED(ConnectPins(graph.Get(), PinAt(control, 1).Get(), downstream.Get(), type.Get())) &&
            SUCCEEDED(builder->RenderStream(nullptr, nullptr, tee.Get(), module->TamponerAudioFilter.Get(), tee2.Get()));
        if (!linked) return fail();
        if (module->AudioRendererFilter)
            builder->RenderStream(nullptr, nullptr, tee2.Get(), nullptr, module->AudioRendererFilter.Get());
        module->CurrentAudioSource = this;
        ICamWindow* shared = CamWindow;
        if (shared == nullptr && SharesDevice(module->CurrentVideoSource)) shared = module->CurrentVideoSource->CamWindow;
        BindTransport(shared);
        Active = true;
        return true;
    } catch (...) {
        return false;
    }
}

bool TAudioSource::FindAudioSourceInterfaces() {
    Tdm* module = dm();
    if (module == nullptr) return false;
    module->AudioSourceFilter = SourceBaseFilter();
    module->AudioCompression.Reset();
    module->AudioStreamConfig.Reset();
    module->AudioCaptureDialogs.Reset();
    ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
    IBaseFilter* filter = module->AudioSourceFilter.Get();
    auto find = [&](const GUID* type, REFIID iid, void** out) {
        return builder != nullptr && filter != nullptr &&
               SUCCEEDED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, type, filter, iid, out)) && *out != nullptr;
    };
    for (const GUID* type : {&MEDIATYPE_Stream, &MEDIATYPE_Interleaved, &MEDIATYPE_Audio})
        if (find(type, IID_IAMVideoCompression, reinterpret_cast<void**>(module->AudioCompression.ReleaseAndGetAddressOf())))
            break;
    for (const GUID* type : {&MEDIATYPE_Stream, &MEDIATYPE_Interleaved, &MEDIATYPE_Audio})
        if (find(type, IID_IAMStreamConfig, reinterpret_cast<void**>(module->AudioStreamConfig.ReleaseAndGetAddressOf())))
            break;
    find(&MEDIATYPE_Audio, IID_IAMVfwCaptureDialogs, reinterpret_cast<void**>(module->AudioCaptureDialogs.ReleaseAndGetAddressOf()));
    try {
        module->SecondCrossbar.reset();
    } catch (...) {
    }
    module->SecondCrossbarInputs = 0;
    if (ComPtr<IPin> analogue = InputOfCategory(filter, PIN_CATEGORY_ANALOGVIDEOIN)) {
        module->SecondCrossbar = std::make_unique<dshow::TCrossbar>(analogue.Get());
        module->SecondCrossbar->GetInputCount(module->SecondCrossbarInputs);
    }
    return true;
}

bool TAudioSource::KillGraph(bool KillSource) {
    Tdm* module = dm();
    if (!Active || module == nullptr) return false;
    Active = false;
    bool ok = true;
    try {
        module->fg->Stop();
        // In two parts: the sound output may be missing, or not connected when it could not play
        // the format.
        ComPtr<IBaseFilter> tee2 = module->infsupaudio->GetFilter();
        if (AudioEndFilter != nullptr) module->RemoveChainBetween(AudioEndFilter->GetFilter().Get(), tee2.Get());
        module->RemoveChainBetween(tee2.Get(), module->AudioRendererFilter.Get());
        module->infdecaudio->SetFilterGraph(nullptr);
        module->infsupaudio->SetFilterGraph(nullptr);
        // By reference as well: a chain that was never complete is not walked to its end.
        module->RemoveOwnFilter(module->TamponerAudioFilter.Get());
        Device->KillAudioGraph();
        if (KillSource) ReleaseDevice(module->CurrentVideoSource, true);
    } catch (...) {
        ok = false;
    }
    if (module->CurrentAudioSource == this) module->CurrentAudioSource = nullptr;
    return ok;
}

}  // namespace engine
