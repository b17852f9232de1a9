// The analogue video device.
#include "engine/video_device.h"

#include <dshow.h>

#include "classlib/message_box.h"
#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/device_classes.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"

namespace engine {

TdmVideo::TdmVideo() {
    vid_source = Filter(L"vid_source", L"");
    vid_sg = new dshow::TSampleGrabber(this);
    vid_sg->SetName(L"vid_sg");
    vid_nativevideoinfinite = Filter(L"vid_nativevideoinfinite", kInfTeeMoniker);
    vid_avidec = Filter(L"vid_avidec", kAviDecompressorMoniker);
    vid_nativeaudioinfinite = Filter(L"vid_nativeaudioinfinite", kInfTeeMoniker);
    vid_smarttee = Filter(L"vid_smarttee", kSmartTeeMoniker);
    vid_crossbar = Filter(L"vid_crossbar", L"");
    vid_decoder = Filter(L"vid_decoder", L"");
    vid_null = Filter(L"vid_null", kNullRendererMoniker);
}

bool TdmVideo::NextDecoder(dshow::TFilter* Decoder) { return NextCandidate(DecoderEnum.Get(), Decoder); }

TVideoCaptureDevice::TVideoCaptureDevice(IMoniker* Moniker, int ANumber, const std::wstring& AFriendlyName)
    : TCaptureDevice(AFriendlyName, ANumber, AFriendlyName), DM(std::make_unique<TdmVideo>()) {
    FirstNativeFormat = 5;
    SecondNativeFormat = 0;
    try {
        SourceFilter = DM->vid_source;
        DM->vid_source->BaseFilter()->SetMoniker(Moniker);
        DM->Probe({DM->vid_source}, [&](ICaptureGraphBuilder2* builder, IBaseFilter* source) {
            VideoCount = CountPins(builder, source, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video);
            AudioCount = CountPins(builder, source, nullptr, &MEDIATYPE_Audio);
        });
        Loaded = true;
        Kind = kKindVideo;
    } catch (...) {
    }
}

dshow::TFilter* TVideoCaptureDevice::SetSourceGraph() {
    try {
        Tdm* module = dm();
        if (module == nullptr) return DM->vid_source;
        if (DM->vid_source->FilterGraph() == nullptr) DM->vid_source->SetFilterGraph(module->fg);
        ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
        ComPtr<IBaseFilter> source = DM->vid_source->GetFilter();
        if (FindPin(builder, source.Get(), PINDIR_INPUT, nullptr, nullptr, true, 0)) {
            bool joined = false;
            for (int i = 0; !joined && i < Crossbars().Count(); ++i) {
                // Each candidate is a new filter: the one that failed goes first.
                DM->vid_crossbar->SetFilterGraph(nullptr);
                DM->vid_crossbar->BaseFilter()->SetMoniker(Crossbars().GetMoniker(i).Get());
                DM->vid_crossbar->SetFilterGraph(module->fg);
                ComPtr<IBaseFilter> crossbar = DM->vid_crossbar->GetFilter();
                joined = crossbar && SUCCEEDED(builder->RenderStream(nullptr, nullptr, crossbar.Get(), nullptr, source.Get()));
            }
            if (!joined) DM->vid_crossbar->SetFilterGraph(nullptr);
        }
    } catch (...) {
    }
    return DM->vid_source;
}

void TVideoCaptureDevice::SetVideoGraph(int Stream) {
    VideoEndPin.Reset();
    try {
        Tdm* module = dm();
        if (module == nullptr) return;
        ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
        ComPtr<IFilterGraph> graph = module->Graph();
        ComPtr<IGraphBuilder> intelligent;
        graph.As(&intelligent);
        ComPtr<IBaseFilter> source = DM->vid_source->GetFilter();
        ComPtr<IPin> pin = FindPin(builder, source.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, false,
                                   Stream - 1);
        if (!pin) return;
        DM->vid_nativevideoinfinite->SetFilterGraph(module->fg);
        ComPtr<IBaseFilter> tee = DM->vid_nativevideoinfinite->GetFilter();
        ConnectPins(graph.Get(), pin.Get(), PinAt(tee.Get(), 0).Get());
        TConnectionType native;
        native.Read(pin.Get());
        IBaseFilter* stamper = module->ControlPreviewVideoFilter.Get();
        module->AddOwnFilter(stamper, kControlPreviewVideoName);
        ComPtr<IPin> teeOut = PinAt(tee.Get(), 1);
        ComPtr<IPin> stamperIn = PinAt(stamper, 0);
        ComPtr<IPin> stamperOut = PinAt(stamper, 1);
        ConnectPins(graph.Get(), teeOut.Get(), stamperIn.Get());

        bool candidate = false;
        if (native.Valid() && FindVideoDecoders(*native.Get())) {
            DM->vid_decoder->SetFilterGraph(nullptr);
            candidate = DM->NextDecoder(DM->vid_decoder);
        }
        bool linked = false;
        while (candidate) {
            DM->vid_decoder->SetFilterGraph(module->fg);
            DM->vid_sg->SetFilterGraph(module->fg);
            ComPtr<IBaseFilter> decoder = DM->vid_decoder->GetFilter();
            linked = decoder && SUCCEEDED(ConnectOwnType(graph.Get(), stamperOut.Get(), PinAt(decoder.Get(), 0).Get())) &&
                     SUCCEEDED(ConnectPins(graph.Get(), PinAt(decoder.Get(), 1).Get(), DM->vid_sg->InputPin()));
            if (linked) break;
            candidate = DM->NextDecoder(DM->vid_decoder);
        }
        DecoderEnum.Reset();
        if (!linked) {
            // No decoder gave RGB pictures (or there was no candidate at all, as with an uncompressed
            // camera): the graph's own connection to the grabber is tried, through the stamper and
            // then around it.
            dshow::DisconnectPin(stamperOut.Get());
            DM->vid_decoder->SetFilterGraph(nullptr);
            DM->vid_sg->SetFilterGraph(module->fg);
            linked = intelligent && SUCCEEDED(intelligent->Connect(stamperOut.Get(), DM->vid_sg->InputPin()));
            if (!linked) {
                dshow::DisconnectPin(stamperIn.Get());
                linked = intelligent && SUCCEEDED(intelligent->Connect(teeOut.Get(), DM->vid_sg->InputPin()));
            }
            if (!linked) {
                DM->vid_sg->SetFilterGraph(nullptr);
                return;
            }
        }
        ComPtr<IPin> end = ConnectedTo(DM->vid_sg->InputPin());
        dshow::DisconnectPin(DM->vid_sg->InputPin());
        DM->vid_sg->SetFilterGraph(nullptr);
        VideoEndPin = end;
        VideoEndFilter = DM->vid_nativevideoinfinite;
    } catch (...) {
        DecoderEnum.Reset();
    }
}

ComPtr<IPin> TVideoCaptureDevice::SetAudioGraph(int Stream) {
    if (Stream < 1 || Stream > AudioCount) return nullptr;
    try {
        return BuildSoundTee(DM->vid_source->GetFilter().Get(), Stream, DM->vid_nativeaudioinfinite);
    } catch (...) {
        return nullptr;
    }
}

void TVideoCaptureDevice::KillVideoGraph() {
    try {
        DM->vid_nativevideoinfinite->SetFilterGraph(nullptr);
        if (Tdm* module = dm()) module->RemoveOwnFilter(module->ControlPreviewVideoFilter.Get());
        DM->vid_decoder->SetFilterGraph(nullptr);
    } catch (...) {
    }
    VideoEndFilter = nullptr;
}

void TVideoCaptureDevice::KillAudioGraph() { KillSoundTee(DM->vid_nativeaudioinfinite); }

void TVideoCaptureDevice::KillSourceGraph() {
    try {
        DM->vid_source->SetFilterGraph(nullptr);
        DM->vid_crossbar->SetFilterGraph(nullptr);
    } catch (...) {
    }
}

bool TVideoCaptureDevice::BuildMuxGraph(const std::wstring&) {
    IEngineHost* host = EngineHost();
    classlib::ShowMessageBox(host != nullptr ? host->MainWindowHandle() : nullptr, L"Not Ready", L"Quillotrane", MB_OK);
    return false;
}

bool TVideoCaptureDevice::KillMuxGraph() { return true; }

}  // namespace engine
