// The DV and AVI recording builders of the capture data module.
#include "engine/dv_avi_builders.h"

#include <dshow.h>

#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/graph_pins.h"
#include "engine/recording_branch.h"
#include "engine/video_preview.h"
#include "filters/control_unit.h"
#include "filters/dv_codes.h"
#include "filters/dv_header.h"
#include "filters/scene_detector.h"
#include "filters/time_stamper.h"
#include "settings/settings_catalogue.h"

namespace engine {

namespace {

bool KeepDVFormat() { return settings::ParamGarderFormatDV != nullptr && settings::ParamGarderFormatDV->Value(); }

int StandardSetting() {
    return settings::ParamStandardDV != nullptr && settings::ParamStandardDV->Value() != 0 ? kDVStandardNTSC
                                                                                          : kDVStandardPAL;
}

ComPtr<IBaseFilter> Filter(dshow::TFilter* Component) { return Component != nullptr ? Component->GetFilter() : nullptr; }

// The DV filters a re-encoding needs: without them no build starts.
bool DVFiltersThere(Tdm& Module, bool WithEncoder) {
    return (!WithEncoder || CanMake(Module.DVenc)) && CanMake(Module.DVmux) && CanMake(Module.DVsplitter);
}

}  // namespace

void SetDVEncoderFormat(IBaseFilter* Encoder, int Standard) {
    auto settings = Query<IDVEnc>(Encoder, IID_IDVEnc);
    if (!settings) throw ERecordingBuildError(L"the DV encoder has no format setting");
    const int video = Standard == kDVStandardPAL ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC;
    if (FAILED(settings->put_IFormatResolution(video, DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, FALSE,
                                               nullptr)))
        throw ERecordingBuildError(L"the DV encoder refuses its format");
}

bool Tdm::BuildDV2NativeGraph(const std::wstring& FileName) {
    if (VideoEndFilter == nullptr) return false;
    return RunRecordingBuild(*this, [&](TRecordingBranch& b) {
        b.SetOutputFile(MEDIASUBTYPE_Avi, FileName);
        ComPtr<IBaseFilter> dummy = b.Join(infdumvideo);
        b.Add(ControlCaptureVideoFilter.Get(), kControlCaptureVideoName);
        ComPtr<IBaseFilter> end = Filter(VideoEndFilter);
        IBaseFilter* control = ControlCaptureVideoFilter.Get();
        b.Link(b.Pin(end.Get(), 2), b.Pin(control, 0), L"native DV to the capture control");
        b.Link(b.Pin(control, 1), b.Pin(dummy.Get(), 0), L"capture control to the tee");
        b.Link(b.Pin(dummy.Get(), 1), b.Pin(MuxFilter.Get(), 1), L"DV to the multiplexer");
        // Each frame in the slot its stamp gives: a camera faster than DV's rate keeps its sound.
        ControlCaptureVideo->SetPictureSlots(filters::TPictureSlots::kStatedFrameTime);
        if (CurrentAudioSource != nullptr) {
            ComPtr<IBaseFilter> wrapper = b.Join(acmcap);
            b.Link(b.Pin(Filter(AudioEndFilter).Get(), 2), b.Pin(wrapper.Get(), 0), L"native sound to the ACM wrapper");
            SetSoundFormat(*this);
            // Through the sound stamper, which a freeze of the recording stops with the picture.
            IBaseFilter* stamper = AudioCapTamponerFilter.Get();
            b.Add(stamper, kAudioCapTamponerName);
            b.Refresh(MuxFilter.Get());
            b.Link(b.Pin(wrapper.Get(), 1), b.Pin(stamper, 0), L"ACM wrapper to the sound stamper");
            b.Link(b.Pin(stamper, 1), b.LastPin(MuxFilter.Get()), L"sound to the multiplexer");
            AudioCapTamponer->SetKeepStamps();
        }
        return true;
    });
}

bool Tdm::BuildAviNativeGraph(const std::wstring& FileName) {
    if (VideoEndFilter == nullptr) return false;
    return RunRecordingBuild(*this, [&](TRecordingBranch& b) {
        b.SetOutputFile(MEDIASUBTYPE_Avi, FileName);
        b.Add(ControlCaptureVideoFilter.Get(), kControlCaptureVideoName);
        IBaseFilter* control = ControlCaptureVideoFilter.Get();
        b.Link(b.Pin(Filter(VideoEndFilter).Get(), 2), b.Pin(control, 0), L"native video to the capture control");
        b.Link(b.Pin(control, 1), b.Pin(MuxFilter.Get(), 1), L"video to the multiplexer");
        // Each picture in the slot its stamp gives at the format's rate, whatever rate the camera keeps.
        ControlCaptureVideo->SetPictureSlots(filters::TPictureSlots::kStatedFrameTime);
        if (CurrentAudioSource != nullptr) {
            ComPtr<IBaseFilter> wrapper = b.Join(acmcap);
            b.Link(b.Pin(Filter(infdecaudio).Get(), 2), b.Pin(wrapper.Get(), 0), L"sound to the ACM wrapper");
            SetSoundFormat(*this);
            IBaseFilter* stamper = AudioCapTamponerFilter.Get();
            b.Add(stamper, kAudioCapTamponerName);
            b.Refresh(MuxFilter.Get());
            b.Link(b.Pin(wrapper.Get(), 1), b.Pin(stamper, 0), L"ACM wrapper to the sound stamper");
            b.Link(b.Pin(stamper, 1), b.LastPin(MuxFilter.Get()), L"sound to the multiplexer");
            AudioCapTamponer->SetClockStamps();
        }
        return true;
    });
}

bool Tdm::BuildDV2RecompGraph(const std::wstring& FileName) {
    if (!DVFiltersThere(*this, true)) return false;
    return RunRecordingBuild(*this, [&](TRecordingBranch& b) {
        b.SetOutputFile(MEDIASUBTYPE_Avi, FileName);
        ComPtr<IBaseFilter> encoder = b.Join(DVenc);
        filters::Tqz_SceneDetect* detector = CurrentVideoSource != nullptr ? CurrentVideoSource->SceneFilter : nullptr;
        int standard = StandardSetting();
        // The camcorder's own system, when it is known: its saved frame heads go back into the frames.
        if (KeepDVFormat() && detector != nullptr && detector->Current.System != filters::kDVSystemUnknown)
            standard = detector->Current.System == filters::kDVSystem625 ? kDVStandardPAL : kDVStandardNTSC;
        SetDVEncoderFormat(encoder.Get(), standard);
        ComPtr<IBaseFilter> muxer = b.Join(DVmux);
        ComPtr<IBaseFilter> splitter = b.Join(DVsplitter);
        IBaseFilter* header = DVHeaderFilter.Get();
        IBaseFilter* stamper = VideoCapTamponerFilter.Get();
        IBaseFilter* control = ControlCaptureVideoFilter.Get();
        b.Add(header, kDVHeaderName);
        b.Add(stamper, kVideoCapTamponerName);
        ComPtr<IBaseFilter> dummy = b.Join(infdumvideo);
        b.Add(control, kControlCaptureVideoName);
        b.Link(b.Pin(Filter(infdecvideo).Get(), 2), b.Pin(control, 0), L"video to the capture control");
        b.Link(b.Pin(control, 1), b.Pin(encoder.Get(), 0), L"capture control to the DV encoder");
        // The pictures placed at DV's rate before they are coded, one DV frame for each slot.
        ControlCaptureVideo->SetPictureSlots(standard == kDVStandardPAL ? filters::kDVFrameTime625
                                                                         : filters::kDVFrameTime525);
        b.Link(b.Pin(encoder.Get(), 1), b.Pin(header, 0), L"DV encoder to the DV header");
        b.Link(b.Pin(header, 1), b.Pin(stamper, 0), L"DV header to the video stamper");
        b.Link(b.Pin(stamper, 1), b.Pin(dummy.Get(), 0), L"video stamper to the tee");
        b.Link(b.Pin(dummy.Get(), 1), b.Pin(muxer.Get(), 0), L"DV to the DV muxer");
        b.Refresh(muxer.Get());
        DVHeader->SetSceneDetector(detector);
        // The frames reach the header with the stamps the capture control moved back after a freeze.
        DVHeader->SetStampShifter(ControlCaptureVideo);
        DVHeader->SetForceWide(KeepDVFormat()                         ? 2
                               : settings::ParamRatioDV != nullptr ? settings::ParamRatioDV->Value()
                                                                   : 0);
        IBaseFilter* soundStamper = AudioCapTamponerFilter.Get();
        if (CurrentAudioSource != nullptr) {
            ComPtr<IBaseFilter> wrapper = b.Join(acmcap);
            b.Add(soundStamper, kAudioCapTamponerName);
            b.Link(b.Pin(Filter(infdecaudio).Get(), 2), b.Pin(soundStamper, 0), L"sound to the sound stamper");
            b.Link(b.Pin(soundStamper, 1), b.Pin(wrapper.Get(), 0), L"sound stamper to the ACM wrapper");
            SetSoundFormat(*this);
            b.Link(b.Pin(wrapper.Get(), 1), b.Pin(muxer.Get(), 1), L"sound to the DV muxer");
        }
        b.Link(b.LastPin(muxer.Get()), b.Pin(splitter.Get(), 0), L"DV muxer to the DV splitter");
        b.Refresh(splitter.Get());
        b.Link(b.Pin(splitter.Get(), 1), b.Pin(MuxFilter.Get(), 1), L"DV video to the multiplexer");
        b.Refresh(MuxFilter.Get());
        if (CurrentAudioSource != nullptr) {
            if (FAILED(CaptureBuilder->RenderStream(nullptr, &MEDIATYPE_Audio, splitter.Get(), nullptr, MuxFilter.Get())))
                throw ERecordingBuildError(L"no connection: DV sound to the multiplexer");
        }
        AudioCapTamponer->SetKeepStamps();
        return true;
    });
}

bool Tdm::BuildImageByImageGraph(const std::wstring& FileName, std::function<void()> OnStop) {
    const bool nativeDV = CurrentVideoSource != nullptr && CurrentVideoSource->SceneFilter != nullptr;
    if (!DVFiltersThere(*this, !nativeDV)) return false;
    return RunRecordingBuild(*this, [&](TRecordingBranch& b) {
        b.SetOutputFile(MEDIASUBTYPE_Avi, FileName);
        ComPtr<IBaseFilter> muxer = b.Join(DVmux);
        b.Pin(muxer.Get(), 0);
        if (nativeDV) {
            b.Link(b.Pin(Filter(VideoEndFilter).Get(), 2), b.Pin(muxer.Get(), 0), L"native DV to the DV muxer");
        } else {
            ComPtr<IBaseFilter> encoder = b.Join(DVenc);
            SetDVEncoderFormat(encoder.Get(), StandardSetting());
            b.Link(b.Pin(Filter(infdecvideo).Get(), 2), b.Pin(encoder.Get(), 0), L"video to the DV encoder");
            b.Link(b.Pin(encoder.Get(), 1), b.Pin(muxer.Get(), 0), L"DV encoder to the DV muxer");
        }
        ComPtr<IBaseFilter> splitter = b.Join(DVsplitter);
        // The pin list was taken before the video connection: its pin 1 is the muxer's output.
        b.Link(b.Pin(muxer.Get(), 1), b.Pin(splitter.Get(), 0), L"DV muxer to the DV splitter");
        IBaseFilter* gate = ImageControlFilter.Get();
        b.Add(gate, kControlFilterName);
        b.Refresh(splitter.Get());
        b.Link(b.Pin(splitter.Get(), 1), b.Pin(gate, 0), L"DV video to the gate");
        b.Link(b.Pin(gate, 1), b.Pin(MuxFilter.Get(), 1), L"gate to the multiplexer");
        if (auto interleaving = Query<IConfigInterleaving>(MuxFilter.Get(), IID_IConfigInterleaving))
            interleaving->put_Mode(INTERLEAVE_NONE);
        ImageControl->SetMarkSyncPoint(true);
        ImageControl->SetMarkDiscontinuity(true);
        ImageControl->SetMediaTimeStep(1);
        ImageControl->SetMediaTimeFlag(true);
        // Each recording's frames are numbered from 0: a gap would be a run of missing frames.
        ImageControl->SetNextMediaTime(0);
        ImageControl->SetPassNext(false);
        ImageControl->OnStop = std::move(OnStop);
        ImageByImageCount = 0;
        return true;
    });
}

}  // namespace engine
