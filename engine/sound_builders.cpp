// The WAV and MP3 recording builders.
#include "engine/sound_builders.h"

#include <dshow.h>

#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"
#include "engine/recording_branch.h"

namespace engine {

const GUID kMpegAudioPayloadSubtype = {0x00000050, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

AM_MEDIA_TYPE Mp3LinkType() {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = kMpegAudioPayloadSubtype;
    return type;
}

namespace {

// What both builders do first: the wrapper, the WAVE writer and the file writer join, the preview's
// sound goes through the wrapper (in the capture format) into the capture stamper.
void StartSoundBranch(Tdm& Module, TRecordingBranch& Branch, const std::wstring& FileName) {
    IBaseFilter* acm = Branch.Join(Module.acmcap).Get();
    Branch.Add(Module.WaveDestFilter.Get(), kWaveDestName);
    IBaseFilter* writer = Branch.Join(Module.FileWriter).Get();
    SetWriterFileName(writer, FileName);
    WriteOver(writer);
    Branch.Link(Branch.Pin(Module.infdecaudio->GetFilter().Get(), 2), Branch.Pin(acm, 0), L"sound tee to ACM wrapper");
    SetSoundFormat(Module);
    IBaseFilter* stamper = Module.AudioCapTamponerFilter.Get();
    Branch.Add(stamper, kAudioCapTamponerName);
    Branch.Link(Branch.Pin(acm, 1), Branch.Pin(stamper, 0), L"ACM wrapper to stamper");
}

}  // namespace

bool Tdm::BuildWavGraph(const std::wstring& FileName) {
    if (CurrentAudioSource == nullptr) return false;
    return RunRecordingBuild(*this, [&](TRecordingBranch& branch) {
        StartSoundBranch(*this, branch, FileName);
        IBaseFilter* wave = WaveDestFilter.Get();
        branch.Link(branch.Pin(AudioCapTamponerFilter.Get(), 1), branch.Pin(wave, 0), L"stamper to WAVE writer");
        branch.Link(branch.Pin(wave, 1), branch.Pin(FileWriter->GetFilter().Get(), 0), L"WAVE writer to file writer");
        return true;
    });
}

bool Tdm::BuildMp3Graph(const std::wstring& FileName) {
    if (CurrentAudioSource == nullptr || !Mp3EncoderFound) return false;
    return RunRecordingBuild(*this, [&](TRecordingBranch& branch) {
        IBaseFilter* encoder = branch.Join(mp3).Get();
        StartSoundBranch(*this, branch, FileName);
        IBaseFilter* wave = WaveDestFilter.Get();
        branch.Link(branch.Pin(AudioCapTamponerFilter.Get(), 1), branch.Pin(encoder, 0), L"stamper to MP3 encoder");
        // Encoders usually give the MP3 wave format (0x55), not the MPEG payload one asked first: the
        // encoder's own type is taken then. Without this link the file would hold a header alone.
        const AM_MEDIA_TYPE payload = Mp3LinkType();
        if (FAILED(ConnectPins(Graph().Get(), branch.Pin(encoder, 1), branch.Pin(wave, 0), &payload)))
            branch.Link(branch.Pin(encoder, 1), branch.Pin(wave, 0), L"MP3 encoder to WAVE writer");
        branch.Link(branch.Pin(wave, 1), branch.Pin(FileWriter->GetFilter().Get(), 0), L"WAVE writer to file writer");
        return true;
    });
}

}  // namespace engine
