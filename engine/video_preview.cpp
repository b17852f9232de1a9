// The video source and its preview branch.
#include "engine/video_preview.h"

#include <dshow.h>
#include <dvdmedia.h>

#include <cstdlib>

#include "dshow/ds_functions.h"
#include "dshow/ds_helpers.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "settings/settings_catalogue.h"

namespace engine {

namespace {

std::string Narrow(const std::wstring& Text) { return std::string(Text.begin(), Text.end()); }

// The interface Iid on the capture pin of Filter, trying the types in order; nullptr when none.
template <typename I>
ComPtr<I> OnCapturePin(ICaptureGraphBuilder2* Builder, IBaseFilter* Filter, std::initializer_list<const GUID*> Types,
                       REFIID Iid) {
    ComPtr<I> found;
    if (Builder == nullptr || Filter == nullptr) return found;
    for (const GUID* type : Types)
        if (SUCCEEDED(Builder->FindInterface(&PIN_CATEGORY_CAPTURE, type, Filter, Iid,
                                             reinterpret_cast<void**>(found.ReleaseAndGetAddressOf()))) &&
            found)
            return found;
    return nullptr;
}

}  // namespace

TVideoSource::TVideoSource(TCaptureDevice* ADevice, int AIndex) : TavFlux(nullptr, 0) {
    if (ADevice != nullptr)
        Take(ADevice, AIndex, ADevice->VideoCount, StreamName(ADevice, AIndex, ADevice->AudioCount > 0, L" - Video", L" #"));
}

bool TVideoSource::BuildGraph() {
    Tdm* module = dm();
    if (module == nullptr || Device == nullptr) return false;
    try {
        module->Superposer->SetSourceInverted(false);
        module->fg->Stop();
        if (module->CurrentVideoSource != nullptr) module->CurrentVideoSource->KillGraph(true);
        // A device may answer no source filter (a plug-in's default): the one it had stays, so that
        // the device can still be found again by its moniker.
        if (dshow::TFilter* source = Device->SetSourceGraph()) Device->SourceFilter = source;
        Device->SetVideoGraph(Index);
        ComPtr<IPin> end = VideoEndPin;
        if (!end) {
            // Nothing of the device's branch is left behind for a source that cannot be shown.
            Device->KillVideoGraph();
            ReleaseDevice(module->CurrentAudioSource, false);
            return false;
        }
        try {
            FindVideoSourceInterfaces();
        } catch (...) {
        }
        ComPtr<IFilterGraph> graph = module->Graph();
        ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
        IBaseFilter* stamper = module->TamponerVideoFilter.Get();
        module->AddOwnFilter(stamper, kTamponerVideoName);
        ComPtr<IPin> stamperIn = FindPin(builder, stamper, PINDIR_INPUT, nullptr, nullptr, true, 0);
        ComPtr<IPin> stamperOut = FindPin(builder, stamper, PINDIR_OUTPUT, nullptr, nullptr, true, 0);
        module->color1->SetFilterGraph(module->fg);
        module->infdecvideo->SetFilterGraph(module->fg);
        module->color3->SetFilterGraph(module->fg);
        module->AddOwnFilter(module->SuperposerFilter.Get(), kSuperposerName);
        ComPtr<IBaseFilter> color1 = module->color1->GetFilter();
        ComPtr<IBaseFilter> color3 = module->color3->GetFilter();
        ComPtr<IBaseFilter> tee = module->infdecvideo->GetFilter();
        ComPtr<IPin> overlayIn = PinAt(module->SuperposerFilter.Get(), 0);
        ComPtr<IPin> overlayOut = PinAt(module->SuperposerFilter.Get(), 1);
        ComPtr<IPin> color1Out = PinAt(color1.Get(), 1);
        ComPtr<IPin> color3In = PinAt(color3.Get(), 0);
        ComPtr<IPin> color3Out = PinAt(color3.Get(), 1);
        ComPtr<IPin> teeIn = PinAt(tee.Get(), 0);
        ComPtr<IPin> teeOut = PinAt(tee.Get(), 1);
        ComPtr<IPin> rendererIn = PinAt(module->VideoWindowFilter.Get(), 0);

        bool linked = SUCCEEDED(ConnectOwnType(graph.Get(), end.Get(), PinAt(color1.Get(), 0).Get())) &&
                      SUCCEEDED(ConnectOwnType(graph.Get(), color1Out.Get(), overlayIn.Get()));
        if (!linked) {
            module->color1->SetFilterGraph(nullptr);
            linked = SUCCEEDED(ConnectOwnType(graph.Get(), end.Get(), overlayIn.Get()));
        }
        module->infsupvideo->SetFilterGraph(module->fg);
        ComPtr<IBaseFilter> tee2 = module->infsupvideo->GetFilter();
        // Every link is checked: a chain with a missing link would show nothing yet be reported built.
        linked = linked && SUCCEEDED(ConnectOwnType(graph.Get(), overlayOut.Get(), teeIn.Get())) &&
                 SUCCEEDED(ConnectOwnType(graph.Get(), teeOut.Get(), PinAt(tee2.Get(), 0).Get())) &&
                 SUCCEEDED(ConnectOwnType(graph.Get(), PinAt(tee2.Get(), 1).Get(), stamperIn.Get())) &&
                 SUCCEEDED(ConnectOwnType(graph.Get(), stamperOut.Get(), color3In.Get())) &&
                 SUCCEEDED(ConnectOwnType(graph.Get(), color3Out.Get(), rendererIn.Get()));
        if (!linked) {
            Active = true;
            module->CurrentVideoSource = this;
            KillGraph(true);
            return false;
        }
        module->Superposer->SetSceneDetector(SceneFilter);
        ReadNativeFormat();
        ICamWindow* shared = CamWindow;
        if (shared == nullptr && SharesDevice(module->CurrentAudioSource)) shared = module->CurrentAudioSource->CamWindow;
        BindTransport(shared);
        module->CurrentVideoSource = this;
        Active = true;
        RouteCrossbar();
        return true;
    } catch (...) {
        return false;
    }
}

void TVideoSource::ReadNativeFormat() {
    // Every figure starts unknown: a stream whose format cannot be read must not show the previous
    // source's size and rate.
    const long sound = Native.SoundRate, bits = Native.SoundBits, channels = Native.SoundChannels;
    Native = TNativeFormat{};
    Native.SoundRate = sound;
    Native.SoundBits = bits;
    Native.SoundChannels = channels;
    Tdm* module = dm();
    if (VideoEndFilter == nullptr || module == nullptr) return;
    ComPtr<IBaseFilter> filter = VideoEndFilter->GetFilter();
    TConnectionType type;
    if (!type.Read(FindPin(module->CaptureBuilder.Get(), filter.Get(), PINDIR_OUTPUT, nullptr, nullptr, false, 0).Get()))
        return;
    const AM_MEDIA_TYPE* mt = type.Get();
    Native.SourceCompressed = mt->bTemporalCompression != FALSE;
    REFERENCE_TIME frameTime = 0;
    const BITMAPINFOHEADER* header = nullptr;
    const bool ratioNormal = settings::ParamMpeg2RatioNormal == nullptr || settings::ParamMpeg2RatioNormal->Value();
    auto fits = [&](std::size_t size) { return mt->pbFormat != nullptr && mt->cbFormat >= size; };
    if (mt->formattype == FORMAT_VideoInfo && fits(sizeof(VIDEOINFOHEADER))) {
        auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
        header = &info->bmiHeader;
        frameTime = info->AvgTimePerFrame;
        Native.SourceFourCC = Narrow(dshow::FourCCToString(header->biCompression));
        // A video device's formats follow its stream: an earlier MPEG stream's must not stay.
        if (Device != nullptr && Device->Kind == kKindVideo) {
            Device->FirstNativeFormat = 5;
            Device->SecondNativeFormat = 0;
        }
    } else if (mt->formattype == FORMAT_VideoInfo2 && fits(sizeof(VIDEOINFOHEADER2))) {
        auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat);
        header = &info->bmiHeader;
        frameTime = info->AvgTimePerFrame;
        Native.SourceFourCC = Narrow(dshow::FourCCToString(header->biCompression));
        Device->FirstNativeFormat = 5;
        Device->SecondNativeFormat = 0;
    } else if (mt->formattype == FORMAT_MPEGVideo && fits(sizeof(MPEG1VIDEOINFO))) {
        auto* info = reinterpret_cast<const MPEG1VIDEOINFO*>(mt->pbFormat);
        header = &info->hdr.bmiHeader;
        frameTime = info->hdr.AvgTimePerFrame;
        Native.SourceFourCC = "MPEG1";
        Device->FirstNativeFormat = 4;
        Device->SecondNativeFormat = 0;
    } else if (mt->formattype == FORMAT_MPEG2Video && fits(sizeof(MPEG2VIDEOINFO))) {
        auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(mt->pbFormat);
        header = &info->hdr.bmiHeader;
        frameTime = info->hdr.AvgTimePerFrame;
        Native.SourceFourCC = "MPEG2";
        Native.SourceCompressed = true;
        Native.SourceAspectX = static_cast<long>(info->hdr.dwPictAspectRatioX);
        Native.SourceAspectY = static_cast<long>(info->hdr.dwPictAspectRatioY);
        const bool pixelAspect = Native.SourceAspectX == header->biWidth && Native.SourceAspectY == std::labs(header->biHeight);
        if (ratioNormal && (Native.SourceAspectX == 0 || Native.SourceAspectY == 0 || pixelAspect)) {
            Native.SourceAspectX = 4;
            Native.SourceAspectY = 3;
        }
        Device->FirstNativeFormat = 3;
        Device->SecondNativeFormat = 0;
    } else {
        return;
    }
    Native.SourceWidth = header->biWidth;
    Native.SourceHeight = std::labs(header->biHeight);
    Native.SourceFrameTime = static_cast<long>(static_cast<std::uint32_t>(frameTime));
    if (Native.SourceFrameTime < 1000) Native.SourceFrameTime = 400000;
    Native.SourceFps = Native.SourceFrameTime > 0 ? 10000000.0 / Native.SourceFrameTime : 25.0;
}

void TVideoSource::RouteCrossbar() {
    Tdm* module = dm();
    // The stored input is the router's index of a whole chain, never a pin of one crossbar: routed
    // through the chain alone, so that a cascade cannot end on another input.
    const long input = settings::ParamVideoInputSelect != nullptr ? settings::ParamVideoInputSelect->Value() : -1;
    if (module->VideoCrossbar) module->VideoCrossbar->SetInputIndex(input);
}

bool TVideoSource::FindVideoSourceInterfaces() {
    Tdm* module = dm();
    if (module == nullptr) return false;
    ReleaseInterfaces();
    module->VideoSourceFilter = SourceBaseFilter();
    IBaseFilter* filter = module->VideoSourceFilter.Get();
    ICaptureGraphBuilder2* builder = module->CaptureBuilder.Get();
    module->VideoCompression = OnCapturePin<IAMVideoCompression>(
        builder, filter, {&MEDIATYPE_Stream, &MEDIATYPE_Interleaved, &MEDIATYPE_Video}, IID_IAMVideoCompression);
    module->VideoStreamConfig =
        OnCapturePin<IAMStreamConfig>(builder, filter, {&MEDIATYPE_Interleaved, &MEDIATYPE_Video}, IID_IAMStreamConfig);
    module->VideoCaptureDialogs =
        OnCapturePin<IAMVfwCaptureDialogs>(builder, filter, {&MEDIATYPE_Video}, IID_IAMVfwCaptureDialogs);
    try {
        module->VideoCrossbar.reset();
    } catch (...) {
    }
    module->VideoCrossbarInputs = 0;
    // The analogue input leads upstream to the crossbars when one is connected in front of it.
    if (ComPtr<IPin> analogue = InputOfCategory(filter, PIN_CATEGORY_ANALOGVIDEOIN)) {
        module->VideoCrossbar = std::make_unique<dshow::TCrossbar>(analogue.Get());
        module->VideoCrossbar->GetInputCount(module->VideoCrossbarInputs);
    }
    ComPtr<IBaseFilter> sound;
    if (module->CurrentAudioSource != nullptr) sound = module->CurrentAudioSource->Device != nullptr &&
                                                               module->CurrentAudioSource->Device->SourceFilter != nullptr
                                                           ? module->CurrentAudioSource->Device->SourceFilter->GetFilter()
                                                           : nullptr;
    module->AudioStreamConfig = OnCapturePin<IAMStreamConfig>(builder, sound.Get(), {&MEDIATYPE_Audio}, IID_IAMStreamConfig);
    return true;
}

void TVideoSource::ReleaseInterfaces() {
    Tdm* module = dm();
    module->VideoSourceFilter.Reset();
    module->VideoCompression.Reset();
    module->VideoStreamConfig.Reset();
    module->VideoCaptureDialogs.Reset();
    module->VideoDroppedFrames.Reset();
}

bool TVideoSource::KillGraph(bool KillSource) {
    Tdm* module = dm();
    if (!Active || module == nullptr) return false;
    Active = false;
    bool ok = true;
    try {
        module->fg->Stop();
        if (auto window = Query<IVideoWindow>(module->VideoWindowFilter.Get(), IID_IVideoWindow)) window->put_Visible(OAFALSE);
        if (VideoEndFilter != nullptr) module->RemoveChainBetween(VideoEndFilter->GetFilter().Get(), module->VideoWindowFilter.Get());
        module->color1->SetFilterGraph(nullptr);
        module->color3->SetFilterGraph(nullptr);
        module->infdecvideo->SetFilterGraph(nullptr);
        module->RemoveOwnFilter(module->SuperposerFilter.Get());
        module->infsupvideo->SetFilterGraph(nullptr);
        // By reference as well: a chain that was never complete is not walked to its end.
        module->RemoveOwnFilter(module->TamponerVideoFilter.Get());
        Device->KillVideoGraph();
        VideoEndPin.Reset();
        if (KillSource && !SharesDevice(module->CurrentAudioSource)) {
            ReleaseInterfaces();
            ReleaseDevice(nullptr, true);
        }
    } catch (...) {
        ok = false;
    }
    if (module->CurrentVideoSource == this) module->CurrentVideoSource = nullptr;
    return ok;
}

}  // namespace engine
