// The sound capture device: a sound input whose streams go through a native-sound tee into the
// sound preview. It has no video and writes no native file.
#pragma once

#include "engine/capture_devices.h"

namespace engine {

class TdmAudio : public TDeviceDataModule {
public:
    CLASSLIB_CLASS_NAME(TdmAudio)
    TdmAudio();

    dshow::TFilter* aud_source = nullptr;
    dshow::TFilter* aud_infiniteaudio = nullptr;
    dshow::TFilter* aud_nativeaudioinfinite = nullptr;
};

class TAudioCaptureDevice : public TCaptureDevice {
public:
    CLASSLIB_CLASS_NAME(TAudioCaptureDevice)
    // Probes the device in the data module's own graph: its sound pins.
    TAudioCaptureDevice(IMoniker* Moniker, int Number, const std::wstring& FriendlyName);

    void SetVideoGraph(int Stream) override;
    ComPtr<IPin> SetAudioGraph(int Stream) override;
    void KillVideoGraph() override {}
    void KillAudioGraph() override;
    dshow::TFilter* SetSourceGraph() override;
    void KillSourceGraph() override;
    // A sound device writes no native file: both answer false.
    bool BuildMuxGraph(const std::wstring&) override { return false; }
    bool KillMuxGraph() override { return false; }

    std::unique_ptr<TdmAudio> DM;
};

}  // namespace engine
