// The MP3 encoder stand-in, on libmp3lame, under the class id the settings panel looks for among the
// DirectShow filters: 16-bit PCM in (mono or stereo), MPEG-1 Layer III out with the MPEG Layer-3 wave
// format (subtype 0x55). The bit rate is the current user's "Bitrate" under kMp3EncoderKey, read when the
// output type is offered; registering the stand-in writes 128 there when the value is missing.
#pragma once

#include <windows.h>

namespace standins {

// {B8D27088-FF5F-4B7C-98DC-0E91A1696286}
inline const CLSID CLSID_Mp3EncoderStandin = {0xb8d27088, 0xff5f, 0x4b7c, {0x98, 0xdc, 0x0e, 0x91, 0xa1, 0x69, 0x62, 0x86}};
// {00000055-0000-0010-8000-00AA00389B71}: the MPEG Layer-3 wave format as a media subtype.
inline const GUID MEDIASUBTYPE_MPEGLayer3 = {0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr wchar_t kMp3EncoderName[] = L"LAME Audio Encoder";
constexpr wchar_t kMp3EncoderKey[] = L"Software\\GNU\\LAME MPEG Layer III Audio Encoder Filter";
constexpr DWORD kMp3DefaultBitrate = 128;

// The bit rate (kbit/s) the encoder uses: the key's "Bitrate" when it is a DWORD holding an MPEG-1
// Layer III rate (32 .. 320), otherwise 128.
DWORD Mp3ConfiguredBitrate();

}  // namespace standins
