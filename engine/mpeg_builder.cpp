// The native MPEG recording builder.
#include "engine/mpeg_builder.h"

#include <dshow.h>

#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/device_classes.h"
#include "engine/graph_pins.h"
#include "engine/recording_branch.h"
#include "filters/time_stamper.h"

namespace engine {

bool Tdm::FindMpegMuxers(const AM_MEDIA_TYPE& MediaType) {
    const GUID input[2] = {MediaType.majortype, MediaType.subtype};
    const GUID output[2] = {MEDIATYPE_Stream, GUID_NULL};
    FilterEnum = MatchingFilters(input, output);
    return FilterEnum != nullptr;
}

bool Tdm::FindMpegAudioEncoders() {
    const GUID input[2] = {MEDIATYPE_Audio, GUID_NULL};
    const GUID output[2] = {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio};
    FilterEnum = MatchingFilters(input, output);
    return FilterEnum != nullptr;
}

bool Tdm::NextMpegMuxer() { return NextCandidate(FilterEnum.Get(), muxer); }

bool Tdm::NextMpegAudioEncoder() { return NextCandidate(FilterEnum.Get(), audioenc); }

namespace {

// The first unconnected pin of Filter in that direction (and of Type when given), nullptr when none.
ComPtr<IPin> FreePin(ICaptureGraphBuilder2* Builder, IBaseFilter* Filter, PIN_DIRECTION Direction,
                     const GUID* Type = nullptr) {
    return FindPin(Builder, Filter, Direction, nullptr, Type, true, 0);
}

}  // namespace

bool Tdm::BuildMpegNativeGraph(const std::wstring& FileName) {
    if (VideoEndFilter == nullptr) return false;
    const bool built = RunRecordingBuild(*this, [&](TRecordingBranch&) { return BuildMpegBranch(FileName); });
    FilterEnum.Reset();
    return built;
}

bool Tdm::BuildMpegBranch(const std::wstring& FileName) {
    ComPtr<IFilterGraph> graph = Graph();
    ICaptureGraphBuilder2* builder = CaptureBuilder.Get();
    writer->SetFilterGraph(fg);
    const ComPtr<IBaseFilter> file = writer->GetFilter();
    SetWriterFileName(file.Get(), FileName);
    WriteOver(file.Get());
    const ComPtr<IBaseFilter> end = VideoEndFilter->GetFilter();
    TConnectionType native;
    native.Read(ListedPin(end.Get(), 0).Get());
    IBaseFilter* videoStamper = ControlCaptureVideoFilter.Get();
    AddOwnFilter(videoStamper, kControlCaptureVideoName);
    ControlCaptureVideo->SetPictureSlots(0);  // coded pictures refer to those before them

    // The sound: an encoder is kept only once the stamper's output reaches it; with none, the
    // recording goes on without sound.
    ComPtr<IBaseFilter> encoder;
    if (CurrentAudioSource != nullptr) {
        IBaseFilter* soundStamper = AudioCapTamponerFilter.Get();
        acmcap->SetFilterGraph(fg);
        ConnectPins(graph.Get(), ListedPin(infdecaudio->GetFilter().Get(), 2).Get(),
                    ListedPin(acmcap->GetFilter().Get(), 0).Get());
        // Before the wrapper's output connects: connected, it would keep the device's own format.
        SetSoundFormat(*this);
        AddOwnFilter(soundStamper, kAudioCapTamponerName);
        ConnectPins(graph.Get(), ListedPin(acmcap->GetFilter().Get(), 1).Get(), ListedPin(soundStamper, 0).Get());
        audioenc->SetFilterGraph(nullptr);
        if (FindMpegAudioEncoders()) {
            while (!encoder && NextMpegAudioEncoder()) {
                audioenc->SetFilterGraph(fg);
                ComPtr<IBaseFilter> candidate = audioenc->GetFilter();
                ComPtr<IPin> input = candidate ? FreePin(builder, candidate.Get(), PINDIR_INPUT) : nullptr;
                if (!input || FAILED(ConnectPins(graph.Get(), ListedPin(soundStamper, 1).Get(), input.Get())))
                    continue;
                AudioCapTamponer->SetClockStamps();
                encoder = candidate;
            }
            if (!encoder) audioenc->SetFilterGraph(nullptr);
        }
        FilterEnum.Reset();
    }

    muxer->SetFilterGraph(nullptr);
    if (!native.Valid() || !FindMpegMuxers(*native.Get())) return false;
    // Each candidate starts as a failure: only one connected all the way is kept.
    HRESULT hr = E_FAIL;
    while (NextMpegMuxer()) {
        hr = E_FAIL;
        muxer->SetFilterGraph(fg);
        ComPtr<IBaseFilter> mux = muxer->GetFilter();
        if (!mux) continue;
        ComPtr<IPin> videoIn = FreePin(builder, mux.Get(), PINDIR_INPUT);
        if (!videoIn) continue;
        // Made once: later candidates find the stamper already fed.
        ConnectPins(graph.Get(), PinAt(end.Get(), 2).Get(), ListedPin(videoStamper, 0).Get());
        hr = ConnectPins(graph.Get(), ListedPin(videoStamper, 1).Get(), videoIn.Get());
        if (FAILED(hr)) continue;
        ComPtr<IPin> stream = FreePin(builder, mux.Get(), PINDIR_OUTPUT, &MEDIATYPE_Stream);
        hr = stream ? ConnectPins(graph.Get(), stream.Get(), ListedPin(file.Get(), 0).Get()) : E_FAIL;
        if (FAILED(hr)) continue;
        if (encoder) {
            ComPtr<IPin> soundIn = FreePin(builder, mux.Get(), PINDIR_INPUT);
            ComPtr<IPin> coded = FreePin(builder, encoder.Get(), PINDIR_OUTPUT);
            hr = soundIn && coded ? ConnectPins(graph.Get(), coded.Get(), soundIn.Get()) : E_FAIL;
            if (FAILED(hr)) continue;
        }
        break;
    }
    FilterEnum.Reset();
    return SUCCEEDED(hr);
}

bool MpegAudioEncoderAvailable() {
    try {
        const GUID input[2] = {MEDIATYPE_Audio, GUID_NULL};
        const GUID output[2] = {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio};
        ComPtr<IEnumMoniker> candidates = MatchingFilters(input, output);
        if (!candidates) return false;
        ComPtr<IMoniker> first;
        return candidates->Next(1, first.GetAddressOf(), nullptr) == S_OK && first;
    } catch (...) {
        return false;
    }
}

bool MpegBranchWithoutSound(const Tdm& Module) {
    // The encoder component stays in the graph only when one took the sound.
    return Module.CurrentAudioSource != nullptr && (Module.audioenc == nullptr || Module.audioenc->FilterGraph() == nullptr);
}

}  // namespace engine
