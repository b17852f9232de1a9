// The Windows Media and DivX recording builders of the capture data module.
#include "engine/wmv_divx_builders.h"

#include <dshow.h>

#include <string>

#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/dv_avi_builders.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "engine/recording_branch.h"
#include "engine/video_preview.h"
#include "filters/resizer.h"
#include "filters/time_stamper.h"
#include "settings/settings_catalogue.h"

namespace engine {

const GUID kDefaultWmvProfiles[kDefaultWmvProfileCount] = {
    {0x0b89164a, 0x5490, 0x4686, {0x9e, 0x37, 0x5a, 0x80, 0x88, 0x4e, 0x51, 0x46}},  // High
    {0xec298949, 0x639b, 0x45e2, {0x96, 0xfd, 0x4a, 0xb3, 0x2d, 0x59, 0x19, 0xc2}},  // Medium
    {0x29b00c2b, 0x09a9, 0x48bd, {0xad, 0x09, 0xcd, 0xae, 0x11, 0x7d, 0x1d, 0xa7}},  // Low
    {0xa2e300b4, 0xc2d4, 0x4fc0, {0xb5, 0xdd, 0xec, 0xbd, 0x94, 0x8d, 0xc0, 0xdf}},  // Internet
};

ComPtr<IWMProfile> LoadDefaultWmvProfile(IWMProfileManager* Manager, int Item) {
    if (Manager == nullptr) throw ERecordingBuildError(L"no Windows Media profile manager");
    if (Item < 0 || Item >= kDefaultWmvProfileCount)
        throw ERecordingBuildError(L"no default Windows Media profile " + std::to_wstring(Item));
    ComPtr<IWMProfile> profile;
    if (FAILED(Manager->LoadProfileByID(kDefaultWmvProfiles[Item], profile.GetAddressOf())) || !profile)
        throw ERecordingBuildError(L"the default Windows Media profile does not load");
    return profile;
}

ComPtr<IWMProfile> LoadSelectedWmvProfile(IWMProfileManager* Manager, int VersionItem, int ProfileItem) {
    static const WMT_VERSION kVersions[] = {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0};
    auto manager = Query<IWMProfileManager2>(Manager, kIID_IWMProfileManager2);
    if (!manager) throw ERecordingBuildError(L"the profile manager has no system profile versions");
    if (VersionItem < 0 || VersionItem > 2 || ProfileItem < 1)
        throw ERecordingBuildError(L"no such Windows Media system profile");
    if (FAILED(manager->SetSystemProfileVersion(kVersions[VersionItem])))
        throw ERecordingBuildError(L"the Windows Media version is refused");
    ComPtr<IWMProfile> profile;
    if (FAILED(manager->LoadSystemProfile(static_cast<DWORD>(ProfileItem - 1), profile.GetAddressOf())) || !profile)
        throw ERecordingBuildError(L"the Windows Media system profile does not load");
    return profile;
}

void RemoveSoundStreams(IWMProfile* Profile) {
    DWORD count = 0;
    if (Profile == nullptr || FAILED(Profile->GetStreamCount(&count)))
        throw ERecordingBuildError(L"the Windows Media profile has no streams to read");
    // By index from the last: stream numbers need not run without gaps.
    for (DWORD i = count; i-- > 0;) {
        ComPtr<IWMStreamConfig> stream;
        GUID type = GUID_NULL;
        if (FAILED(Profile->GetStream(i, stream.GetAddressOf())) || !stream || FAILED(stream->GetStreamType(&type)))
            throw ERecordingBuildError(L"a Windows Media profile stream does not answer");
        if (type == MEDIATYPE_Audio && FAILED(Profile->RemoveStream(stream.Get())))
            throw ERecordingBuildError(L"a sound stream stays in the Windows Media profile");
    }
}

bool Tdm::BuildWmvGraph(const std::wstring& FileName) {
    // Nothing can configure the writer without the profile manager.
    if (!WMProfileManager) return false;
    IEngineHost* host = EngineHost();
    const int profileItem = host != nullptr ? host->WmvProfileItem() : 0;
    const int defaultItem = host != nullptr ? host->WmvDefaultProfileItem() : 0;
    const int versionItem = host != nullptr ? host->WmvVersionItem() : 0;
    return RunRecordingBuild(*this, [&](TRecordingBranch& b) {
        b.SetOutputFile(MEDIASUBTYPE_Asf, FileName);
        IBaseFilter* control = ControlCaptureVideoFilter.Get();
        b.Add(control, kControlCaptureVideoName);
        b.Link(b.Pin(infdecvideo->GetFilter().Get(), 2), b.Pin(control, 0), L"video to the capture control");
        b.Link(b.Pin(control, 1), b.Pin(MuxFilter.Get(), 1), L"video to the Windows Media writer");
        // The writer times the pictures to its profile's rate itself.
        ControlCaptureVideo->SetPictureSlots(0);
        if (CurrentAudioSource != nullptr) {
            // Through the sound stamper, which a freeze of the recording stops with the picture.
            IBaseFilter* stamper = AudioCapTamponerFilter.Get();
            b.Add(stamper, kAudioCapTamponerName);
            b.Link(b.Pin(infdecaudio->GetFilter().Get(), 2), b.Pin(stamper, 0), L"sound to the sound stamper");
            b.Link(b.Pin(stamper, 1), b.Pin(MuxFilter.Get(), 0), L"sound to the Windows Media writer");
            AudioCapTamponer->SetKeepStamps();
        }
        ComPtr<IWMProfile> profile = profileItem >= 1
                                         ? LoadSelectedWmvProfile(WMProfileManager.Get(), versionItem, profileItem)
                                         : LoadDefaultWmvProfile(WMProfileManager.Get(), defaultItem);
        if (CurrentAudioSource == nullptr) RemoveSoundStreams(profile.Get());
        auto config = Query<IConfigAsfWriter>(MuxFilter.Get(), IID_IConfigAsfWriter);
        if (!config || FAILED(config->ConfigureFilterUsingProfile(profile.Get())))
            throw ERecordingBuildError(L"the Windows Media writer refuses the profile");
        return true;
    });
}

bool Tdm::BuildDivxGraph(const std::wstring& FileName) {
    // The options panel puts the chosen compressor here: without one there is nothing to record with.
    if (!CanMake(divx)) return false;
    const bool wantMp3 = settings::ParamWantMp3 == nullptr || settings::ParamWantMp3->Value();
    // An encoder the panel found but that cannot be made now records PCM, as no encoder does.
    const bool useMp3 = CurrentAudioSource != nullptr && Mp3EncoderFound && wantMp3 && CanMake(mp3);
    return RunRecordingBuild(*this, [&](TRecordingBranch& b) {
        b.SetOutputFile(MEDIASUBTYPE_Avi, FileName);
        TVideoSource* video = CurrentVideoSource;
        const bool halfDV = settings::ParamDVDemiSiDivX == nullptr || settings::ParamDVDemiSiDivX->Value();
        if (video != nullptr && video->SceneFilter != nullptr && halfDV) {
            video->KillGraph(false);
            DVHalfSize = true;
            if (!video->BuildGraph()) throw ERecordingBuildError(L"the half-size DV preview cannot be built");
            fg->Stop();
            if (IEngineHost* host = EngineHost())
                host->SetVideoLabel(VideoLabelText(Native.SourceWidth, Native.SourceHeight, Native.SourceFrameTime,
                                                   Native.SourceFps));
        }
        ComPtr<IBaseFilter> compressor = b.Join(divx);
        IBaseFilter* resizer = ResizerFilter.Get();
        b.Add(resizer, kResizerName);
        Resizer->SetResizeMode(settings::ParamRatioDivX != nullptr ? settings::ParamRatioDivX->Value() : 0);
        IBaseFilter* control = ControlCaptureVideoFilter.Get();
        b.Add(control, kControlCaptureVideoName);
        b.Link(b.Pin(infdecvideo->GetFilter().Get(), 2), b.Pin(control, 0), L"video to the capture control");
        b.Link(b.Pin(control, 1), b.Pin(resizer, 0), L"capture control to the resizer");
        // Placed before they are coded: a coded picture that later ones refer to cannot be left out.
        ControlCaptureVideo->SetPictureSlots(filters::TPictureSlots::kStatedFrameTime);
        b.Link(b.Pin(resizer, 1), b.Pin(compressor.Get(), 0), L"resizer to the compressor");
        ComPtr<IBaseFilter> dummy = b.Join(infdumvideo);
        b.Link(b.Pin(compressor.Get(), 1), b.Pin(dummy.Get(), 0), L"compressor to the tee");
        b.Link(b.Pin(dummy.Get(), 1), b.Pin(MuxFilter.Get(), 1), L"compressed video to the multiplexer");
        b.Refresh(MuxFilter.Get());
        if (CurrentAudioSource != nullptr) {
            IBaseFilter* stamper = AudioCapTamponerFilter.Get();
            b.Add(stamper, kAudioCapTimestamperName);
            ComPtr<IBaseFilter> wrapper = b.Join(acmcap);
            b.Link(b.Pin(infdecaudio->GetFilter().Get(), 2), b.Pin(wrapper.Get(), 0), L"sound to the ACM wrapper");
            SetSoundFormat(*this);
            if (useMp3) {
                ComPtr<IBaseFilter> encoder = b.Join(mp3);
                b.Link(b.Pin(wrapper.Get(), 1), b.Pin(encoder.Get(), 0), L"ACM wrapper to the MP3 encoder");
                b.Link(b.Pin(encoder.Get(), 1), b.Pin(stamper, 0), L"MP3 encoder to the sound stamper");
            } else {
                b.Link(b.Pin(wrapper.Get(), 1), b.Pin(stamper, 0), L"ACM wrapper to the sound stamper");
            }
            b.Link(b.Pin(stamper, 1), b.Pin(MuxFilter.Get(), 2), L"sound to the multiplexer");
        }
        AudioCapTamponer->SetKeepStamps();
        return true;
    });
}

}  // namespace engine
