// The DV capture device: a camcorder whose capture pin delivers one interleaved DV stream. Its
// source part is the camcorder, the scene detector, a tee that keeps the interleaved stream and
// the DV splitter; each video stream gets a native-video tee, the preview control stamper and the
// DV decoder, each sound stream a native-sound tee; a type-1 recording writes the interleaved
// stream unsplit.
#pragma once

#include "engine/capture_devices.h"

namespace filters {
class Tqz_SceneDetect;
}

namespace engine {

class TdmDV : public TDeviceDataModule {
public:
    CLASSLIB_CLASS_NAME(TdmDV)
    TdmDV();
    ~TdmDV() override;

    dshow::TFilter* dv_source = nullptr;
    dshow::TFilter* dv_splitter = nullptr;
    dshow::TFilter* dv_splitter2 = nullptr;
    dshow::TFilter* dv_dec = nullptr;
    dshow::TFilter* dv_nativevideoinfinite = nullptr;
    dshow::TFilter* dv_muxinfinite = nullptr;
    dshow::TFilter* dv_nativeaudioinfinite = nullptr;
    // The device's scene detector (created by the device's probe) and its filter interface.
    filters::Tqz_SceneDetect* SceneDetect = nullptr;
    ComPtr<IBaseFilter> SceneDetectFilter;
};

// The graph name of a DV device's scene detector.
extern const wchar_t kSceneDetectGraphName[];  // "dv_Scenedetect"

class TDVCaptureDevice : public TCaptureDevice {
public:
    CLASSLIB_CLASS_NAME(TDVCaptureDevice)
    // Probes the camcorder in the data module's own graph: its splitter's video and sound outputs.
    TDVCaptureDevice(IMoniker* Moniker, int Number, const std::wstring& FriendlyName);

    void SetVideoGraph(int Stream) override;
    ComPtr<IPin> SetAudioGraph(int Stream) override;
    void KillVideoGraph() override;
    void KillAudioGraph() override;
    dshow::TFilter* SetSourceGraph() override;
    void KillSourceGraph() override;
    bool BuildMuxGraph(const std::wstring& FileName) override;
    bool KillMuxGraph() override;
    filters::Tqz_SceneDetect* SceneDetector() override;

    std::unique_ptr<TdmDV> DM;
};

}  // namespace engine
