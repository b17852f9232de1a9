// The DV capture device.
#include "engine/dv_device.h"

#include <dshow.h>

#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/graph_pins.h"
#include "engine/recording_branch.h"
#include "filters/scene_detector.h"
#include "filters/time_stamper.h"

namespace engine {

const wchar_t kSceneDetectGraphName[] = L"dv_Scenedetect";

TdmDV::TdmDV() {
    dv_source = Filter(L"dv_source", L"");
    dv_splitter = Filter(L"dv_splitter", kDVSplitterMoniker);
    dv_splitter2 = Filter(L"dv_splitter2", kDVSplitterMoniker);
    dv_dec = Filter(L"dv_dec", L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{B1B77C00-C3E4-11CF-AF79-00AA00B67A42}");
    dv_nativevideoinfinite = Filter(L"dv_nativevideoinfinite", kInfTeeMoniker);
    dv_muxinfinite = Filter(L"dv_muxinfinite", kInfTeeMoniker);
    dv_nativeaudioinfinite = Filter(L"dv_nativeaudioinfinite", kInfTeeMoniker);
}

TdmDV::~TdmDV() {
    // The components leave the capture graph before the scene detector's interface goes.
    DestroyComponents();
    SceneDetectFilter.Reset();
}

TDVCaptureDevice::TDVCaptureDevice(IMoniker* Moniker, int ANumber, const std::wstring& AFriendlyName)
    : TCaptureDevice(AFriendlyName, ANumber, L"DV Source"), DM(std::make_unique<TdmDV>()) {
    Loaded = false;
    FirstNativeFormat = 1;
    SecondNativeFormat = 2;
    try {
        SourceFilter = DM->dv_source;
        DM->dv_source->BaseFilter()->SetMoniker(Moniker);
        auto* detector = new filters::Tqz_SceneDetect;
        DM->SceneDetectFilter = detector->BaseFilterInterface();
        DM->SceneDetect = detector;
        DM->Probe({DM->dv_source, DM->dv_splitter}, [&](ICaptureGraphBuilder2* builder, IBaseFilter* source) {
            ComPtr<IBaseFilter> splitter = DM->dv_splitter->GetFilter();
            builder->RenderStream(nullptr, &MEDIATYPE_Interleaved, source, nullptr, splitter.Get());
            VideoCount = CountPins(builder, splitter.Get(), nullptr, &MEDIATYPE_Video);
            AudioCount = CountPins(builder, splitter.Get(), nullptr, &MEDIATYPE_Audio);
        });
        Loaded = true;
        Kind = kKindDV;
    } catch (...) {
        // A camcorder that cannot be probed offers no stream.
    }
}

filters::Tqz_SceneDetect* TDVCaptureDevice::SceneDetector() { return DM->SceneDetect; }

dshow::TFilter* TDVCaptureDevice::SetSourceGraph() {
    try {
        Tdm* module = dm();
        if (module != nullptr && DM->dv_source->FilterGraph() == nullptr) {
            DM->dv_source->SetFilterGraph(module->fg);
            module->AddOwnFilter(DM->SceneDetectFilter.Get(), kSceneDetectGraphName);
            DM->dv_muxinfinite->SetFilterGraph(module->fg);
            DM->dv_splitter->SetFilterGraph(module->fg);
            ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
            ComPtr<IBaseFilter> source = DM->dv_source->GetFilter();
            ComPtr<IBaseFilter> tee = DM->dv_muxinfinite->GetFilter();
            ComPtr<IBaseFilter> splitter = DM->dv_splitter->GetFilter();
            if (builder != nullptr && source && tee && splitter) {
                builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, source.Get(),
                                      DM->SceneDetectFilter.Get(), tee.Get());
                builder->RenderStream(nullptr, nullptr, tee.Get(), nullptr, splitter.Get());
            }
        }
    } catch (...) {
    }
    return DM->dv_source;
}

void TDVCaptureDevice::SetVideoGraph(int Stream) {
    VideoEndPin.Reset();
    if (Stream < 1) return;
    try {
        Tdm* module = dm();
        if (module == nullptr) return;
        ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
        ComPtr<IFilterGraph> graph = module->Graph();
        ComPtr<IBaseFilter> splitter = DM->dv_splitter->GetFilter();
        ComPtr<IPin> pin = FindPin(builder, splitter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, false, Stream - 1);
        if (!pin) return;
        DM->dv_dec->SetFilterGraph(module->fg);
        ComPtr<IBaseFilter> decoder = DM->dv_dec->GetFilter();
        if (auto display = DM->dv_dec->As<IIPDVDec>(IID_IIPDVDec))
            display->put_IPDisplay(module->DVHalfSize ? DVRESOLUTION_HALF : DVRESOLUTION_FULL);
        DM->dv_nativevideoinfinite->SetFilterGraph(module->fg);
        ComPtr<IBaseFilter> tee = DM->dv_nativevideoinfinite->GetFilter();
        ConnectToFreeInput(builder, graph.Get(), pin.Get(), tee.Get());
        module->AddOwnFilter(module->ControlPreviewVideoFilter.Get(), kControlPreviewVideoName);
        ComPtr<IPin> teeOut = FindPin(builder, tee.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, true, 0);
        ConnectPins(graph.Get(), teeOut.Get(), PinAt(module->ControlPreviewVideoFilter.Get(), 0).Get());
        ConnectOwnType(graph.Get(), PinAt(module->ControlPreviewVideoFilter.Get(), 1).Get(),
                       FindPin(builder, decoder.Get(), PINDIR_INPUT, nullptr, nullptr, true, 0).Get());
        VideoEndPin = FindPin(builder, decoder.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, true, 0);
        VideoEndFilter = DM->dv_nativevideoinfinite;
    } catch (...) {
    }
}

ComPtr<IPin> TDVCaptureDevice::SetAudioGraph(int Stream) {
    try {
        return BuildSoundTee(DM->dv_splitter->GetFilter().Get(), Stream, DM->dv_nativeaudioinfinite);
    } catch (...) {
        return nullptr;
    }
}

void TDVCaptureDevice::KillVideoGraph() {
    try {
        DM->dv_dec->SetFilterGraph(nullptr);
        DM->dv_nativevideoinfinite->SetFilterGraph(nullptr);
        if (Tdm* module = dm()) module->RemoveOwnFilter(module->ControlPreviewVideoFilter.Get());
    } catch (...) {
    }
    VideoEndFilter = nullptr;
}

void TDVCaptureDevice::KillAudioGraph() { KillSoundTee(DM->dv_nativeaudioinfinite); }

void TDVCaptureDevice::KillSourceGraph() {
    try {
        Tdm* module = dm();
        if (module == nullptr) return;
        ComPtr<IBaseFilter> splitter = DM->dv_splitter->GetFilter();
        ComPtr<IPin> pin = FindPin(module->CaptureBuilder.Get(), splitter.Get(), PINDIR_OUTPUT, nullptr, nullptr, false, 0);
        module->RemoveUpstream(pin.Get(), DM->dv_source->GetFilter().Get());
        // Each filter of the source part goes by reference too: a splitter without outputs leaves
        // the walk above nothing to follow, and the filters would stay behind.
        module->RemoveOwnFilter(DM->SceneDetectFilter.Get());
        DM->dv_muxinfinite->SetFilterGraph(nullptr);
        DM->dv_splitter->SetFilterGraph(nullptr);
        DM->dv_source->SetFilterGraph(nullptr);
    } catch (...) {
    }
}

bool TDVCaptureDevice::BuildMuxGraph(const std::wstring& FileName) {
    try {
        Tdm* module = dm();
        if (module == nullptr || !module->CaptureBuilder) return false;
        module->MuxFilter.Reset();
        module->FileSink.Reset();
        ComPtr<IBaseFilter> mux;
        ComPtr<IFileSinkFilter> sink;
        if (FAILED(module->CaptureBuilder->SetOutputFileName(&MEDIASUBTYPE_Avi, FileName.c_str(), mux.GetAddressOf(),
                                                             sink.GetAddressOf())) ||
            !mux)
            return false;
        module->MuxFilter = mux;
        module->FileSink = sink;
        WriteOver(sink.Get());
        ComPtr<IBaseFilter> tee = DM->dv_muxinfinite->GetFilter();
        // Through the capture control, whose freeze pauses the recording: picture and sound travel
        // in the one interleaved stream, so they pause together.
        IBaseFilter* control = module->ControlCaptureVideoFilter.Get();
        if (FAILED(module->AddOwnFilter(control, kControlCaptureVideoName))) return false;
        module->ControlCaptureVideo->SetKeepStamps();
        module->ControlCaptureVideo->SetPictureSlots(filters::TPictureSlots::kStatedFrameTime);
        const ComPtr<IFilterGraph> graph = module->Graph();
        return SUCCEEDED(ConnectPins(graph.Get(), PinAt(tee.Get(), 2).Get(), PinAt(control, 0).Get())) &&
               SUCCEEDED(ConnectPins(graph.Get(), PinAt(control, 1).Get(), PinAt(mux.Get(), 1).Get()));
    } catch (...) {
        return false;
    }
}

bool TDVCaptureDevice::KillMuxGraph() {
    try {
        Tdm* module = dm();
        if (module == nullptr) return false;
        if (module->FileSink) {
            ComPtr<IBaseFilter> sink;
            if (SUCCEEDED(module->FileSink.As(&sink))) module->RemoveOwnFilter(sink.Get());
        }
        module->RemoveOwnFilter(module->MuxFilter.Get());
        module->RemoveOwnFilter(module->ControlCaptureVideoFilter.Get());
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace engine
