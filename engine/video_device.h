// The analogue video device (capture cards, webcams): its source with a crossbar in front of an
// analogue input, and a video branch that tries the system's decoders one after the other until
// one gives RGB pictures, so that the preview always continues from an uncompressed pin.
#pragma once

#include "engine/capture_devices.h"

namespace engine {

class TdmVideo : public TDeviceDataModule {
public:
    CLASSLIB_CLASS_NAME(TdmVideo)
    TdmVideo();

    // Puts the next candidate of the decoder search into Decoder (which leaves its graph first);
    // false when the candidates are exhausted.
    bool NextDecoder(dshow::TFilter* Decoder);

    dshow::TFilter* vid_source = nullptr;
    dshow::TSampleGrabber* vid_sg = nullptr;
    dshow::TFilter* vid_nativevideoinfinite = nullptr;
    dshow::TFilter* vid_avidec = nullptr;
    dshow::TFilter* vid_nativeaudioinfinite = nullptr;
    dshow::TFilter* vid_smarttee = nullptr;
    dshow::TFilter* vid_crossbar = nullptr;
    dshow::TFilter* vid_decoder = nullptr;
    dshow::TFilter* vid_null = nullptr;
};

class TVideoCaptureDevice : public TCaptureDevice {
public:
    CLASSLIB_CLASS_NAME(TVideoCaptureDevice)
    // Probes the device in the data module's own graph: capture video pins and sound pins.
    TVideoCaptureDevice(IMoniker* Moniker, int Number, const std::wstring& FriendlyName);

    void SetVideoGraph(int Stream) override;
    ComPtr<IPin> SetAudioGraph(int Stream) override;
    void KillVideoGraph() override;
    void KillAudioGraph() override;
    dshow::TFilter* SetSourceGraph() override;
    void KillSourceGraph() override;
    // Native file writing is not offered: says "Not Ready" and answers false.
    bool BuildMuxGraph(const std::wstring& FileName) override;
    bool KillMuxGraph() override;

    std::unique_ptr<TdmVideo> DM;
};

}  // namespace engine
