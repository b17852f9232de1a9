// The WAV and MP3 recording builders.
#include "engine/sound_builders.h"

#include <dshow.h>

#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"

namespace engine {

const GUID kMpegAudioPayloadSubtype = {0x00000050, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

AM_MEDIA_TYPE Mp3LinkType() {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = kMpegAudioPayloadSubtype;
    return type;
}

namespace {

ComPtr<IPin> PinOf(dshow::TFilter* Component, int Index) { return ListedPin(Component->GetFilter().Get(), Index); }
ComPtr<IPin> PinOf(IBaseFilter* Filter, int Index) { return ListedPin(Filter, Index); }

// What both builders do first: the wrapper, the WAVE writer and the file writer join, the preview's
// sound goes through the wrapper (in the capture format) into the capture stamper.
void StartSoundBranch(Tdm& Module, IFilterGraph* Graph, const std::wstring& FileName) {
    Module.acmcap->SetFilterGraph(Module.fg);
    Module.AddOwnFilter(Module.WaveDestFilter.Get(), kWaveDestName);
    Module.FileWriter->SetFilterGraph(Module.fg);
    SetWriterFileName(Module.FileWriter->GetFilter().Get(), FileName);
    ConnectPins(Graph, PinOf(Module.infdecaudio, 2).Get(), PinOf(Module.acmcap, 0).Get());
    Module.SetAudioCaptureFormat(false);
    Module.AddOwnFilter(Module.AudioCapTamponerFilter.Get(), kAudioCapTamponerName);
    ConnectPins(Graph, PinOf(Module.acmcap, 1).Get(), PinOf(Module.AudioCapTamponerFilter.Get(), 0).Get());
}

}  // namespace

bool Tdm::BuildWavGraph(const std::wstring& FileName) {
    if (CurrentAudioSource == nullptr) return false;
    try {
        ComPtr<IFilterGraph> graph = Graph();
        StartSoundBranch(*this, graph.Get(), FileName);
        ConnectPins(graph.Get(), PinOf(AudioCapTamponerFilter.Get(), 1).Get(), PinOf(WaveDestFilter.Get(), 0).Get());
        ConnectPins(graph.Get(), PinOf(WaveDestFilter.Get(), 1).Get(), PinOf(FileWriter, 0).Get());
        return true;
    } catch (...) {
        return false;
    }
}

bool Tdm::BuildMp3Graph(const std::wstring& FileName) {
    if (CurrentAudioSource == nullptr || !Mp3EncoderFound) return false;
    try {
        ComPtr<IFilterGraph> graph = Graph();
        mp3->SetFilterGraph(fg);
        StartSoundBranch(*this, graph.Get(), FileName);
        ConnectPins(graph.Get(), PinOf(AudioCapTamponerFilter.Get(), 1).Get(), PinOf(mp3, 0).Get());
        // Encoders usually give the MP3 wave format (0x55), not the MPEG payload one asked first: the
        // encoder's own type is taken then. Without this link the file would hold a header alone.
        const ComPtr<IPin> coded = PinOf(mp3, 1);
        const ComPtr<IPin> wave = PinOf(WaveDestFilter.Get(), 0);
        const AM_MEDIA_TYPE payload = Mp3LinkType();
        if (FAILED(ConnectPins(graph.Get(), coded.Get(), wave.Get(), &payload)) &&
            FAILED(ConnectPins(graph.Get(), coded.Get(), wave.Get())))
            return false;
        ConnectPins(graph.Get(), PinOf(WaveDestFilter.Get(), 1).Get(), PinOf(FileWriter, 0).Get());
        SetAudioCaptureFormat(true);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace engine
