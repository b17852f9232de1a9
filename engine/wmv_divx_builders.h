// The Windows Media and DivX recording builders are methods of the capture data module; this module
// adds what they need of Windows Media: the ASF writer's configuration interface (dshow/), the four
// default profiles, the options panel's system-profile choice and the removal
// of a profile's sound streams.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wmsdkidl.h>
#include <wrl/client.h>

#include "dshow/asf_writer_config.h"

namespace engine {

using Microsoft::WRL::ComPtr;

// Interface ids of Windows Media that MinGW declares but no import library defines.
inline const IID kIID_IWMStreamConfig = {0x96406bdc, 0x2b2b, 0x11d3, {0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff}};
inline const IID kIID_IWMProfile = {0x96406bdb, 0x2b2b, 0x11d3, {0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff}};
inline const IID kIID_IWMProfileManager = {0xd16679f2, 0x6ca0, 0x472d, {0x8d, 0x31, 0x2f, 0x5d, 0x55, 0xae, 0xe1, 0x55}};
inline const IID kIID_IWMProfileManager2 = {0x7a924e51, 0x73c1, 0x494d, {0x80, 0x19, 0x23, 0xd3, 0x7e, 0xd9, 0xb8, 0x9a}};

using dshow::IConfigAsfWriter;
using dshow::IID_IConfigAsfWriter;

// The default profiles by the item of the options panel's "High", "Medium", "Low", "Internet" group.
constexpr int kDefaultWmvProfileCount = 4;
extern const GUID kDefaultWmvProfiles[kDefaultWmvProfileCount];

// The default profile of that item, loaded through the profile manager. Raises when the item is
// outside the group or the manager cannot load the profile.
ComPtr<IWMProfile> LoadDefaultWmvProfile(IWMProfileManager* Manager, int Item);
// The options panel's selected profile: the system profiles of the Windows Media version of
// VersionItem (0 gives 4.0, 1 gives 7.0, 2 gives 8.0), then the system profile ProfileItem - 1 (the
// profile list's item 0 stands for the default profiles). Raises on any failure.
ComPtr<IWMProfile> LoadSelectedWmvProfile(IWMProfileManager* Manager, int VersionItem, int ProfileItem);
// Takes every sound stream out of Profile, whatever their stream numbers. Raises when the profile
// does not answer.
void RemoveSoundStreams(IWMProfile* Profile);

}  // namespace engine
