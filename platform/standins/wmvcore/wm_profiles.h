// The Windows Media profiles of the stand-in profile manager: the four default profiles the recording
// builder loads by id and the system profiles of versions 4.0, 7.0 and 8.0 the settings panel lists,
// each a video stream and (but for one sound-only profile per version) a sound stream, coded as the
// stand-in ASF writer codes them (WMV1/WMV2/MP43 video, WMA 2 sound).
#pragma once

#include <windows.h>
#include <wmsdkidl.h>

#include <vector>

namespace standins {

struct TWmStreamSpec {
    bool Video = true;
    DWORD BitRate = 0;
    DWORD FourCC = 0;  // video
    LONG Width = 0, Height = 0;
    REFERENCE_TIME FrameTime = 0;
    DWORD Rate = 0;  // sound
    WORD Channels = 0;
};

struct TWmProfileSpec {
    const wchar_t* Name;
    const wchar_t* Description;
    std::vector<TWmStreamSpec> Streams;
};

// The default profile of id Id, or nullptr.
const TWmProfileSpec* DefaultWmProfile(REFGUID Id);
// The system profiles of one version (4.0, 7.0, 8.0); empty for any other.
const std::vector<TWmProfileSpec>& SystemWmProfiles(WMT_VERSION Version);
// A new profile object holding a copy of Spec (one reference).
IWMProfile* MakeWmProfile(const TWmProfileSpec& Spec, WMT_VERSION Version);
// A new profile manager (one reference): system profile version 8.0 until set.
IWMProfileManager* MakeWmProfileManager();

}  // namespace standins
