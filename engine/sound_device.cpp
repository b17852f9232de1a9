// The sound capture device.
#include "engine/sound_device.h"

#include <dshow.h>

#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"

namespace engine {

TdmAudio::TdmAudio() {
    aud_source = Filter(L"aud_source", L"");
    aud_infiniteaudio = Filter(L"aud_infiniteaudio", kInfTeeMoniker);
    aud_nativeaudioinfinite = Filter(L"aud_nativeaudioinfinite", kInfTeeMoniker);
}

TAudioCaptureDevice::TAudioCaptureDevice(IMoniker* Moniker, int ANumber, const std::wstring& AFriendlyName)
    : TCaptureDevice(AFriendlyName, ANumber, AFriendlyName), DM(std::make_unique<TdmAudio>()) {
    try {
        SourceFilter = DM->aud_source;
        DM->aud_source->BaseFilter()->SetMoniker(Moniker);
        DM->Probe({DM->aud_source}, [&](ICaptureGraphBuilder2* builder, IBaseFilter* source) {
            AudioCount = CountPins(builder, source, nullptr, &MEDIATYPE_Audio);
        });
        Loaded = true;
        Kind = kKindSound;
    } catch (...) {
    }
}

void TAudioCaptureDevice::SetVideoGraph(int) {
    VideoEndPin.Reset();
    VideoEndFilter = nullptr;
}

ComPtr<IPin> TAudioCaptureDevice::SetAudioGraph(int Stream) {
    if (Stream < 1 || Stream > AudioCount) return nullptr;
    try {
        return BuildSoundTee(DM->aud_source->GetFilter().Get(), Stream, DM->aud_nativeaudioinfinite);
    } catch (...) {
        return nullptr;
    }
}

void TAudioCaptureDevice::KillAudioGraph() { KillSoundTee(DM->aud_nativeaudioinfinite); }

dshow::TFilter* TAudioCaptureDevice::SetSourceGraph() {
    try {
        if (Tdm* module = dm()) DM->aud_source->SetFilterGraph(module->fg);
    } catch (...) {
    }
    return DM->aud_source;
}

void TAudioCaptureDevice::KillSourceGraph() {
    try {
        DM->aud_source->SetFilterGraph(nullptr);
    } catch (...) {
    }
}

}  // namespace engine
