// The WM ASF Writer stand-in under the stock writer's class id: a file sink (IFileSinkFilter) whose
// input pins are rebuilt from the Windows Media profile it is configured with (IConfigAsfWriter):
// one sound pin (16-bit PCM) and one video pin (RGB24 or YUY2) at most, in the profile's stream
// order. It codes the video with libavcodec's Windows Media video coder the profile names (WMV1,
// WMV2 or MP43) and the sound as WMA 2 at the profile's bit rates, and writes an ASF file by
// libavformat; each run writes a whole file from the start, finished when the graph stops.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wmsdkidl.h>

namespace standins {

// The writer's profile configuration, as the stock writer answers it.
// {45086030-F7E4-486A-B504-826BB5792A3B}
inline const IID IID_IConfigAsfWriterStandin = {0x45086030, 0xf7e4, 0x486a, {0xb5, 0x04, 0x82, 0x6b, 0xb5, 0x79, 0x2a, 0x3b}};
struct IConfigAsfWriterStandin : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileId(DWORD ProfileId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfileId(DWORD* ProfileId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileGuid(REFGUID Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfileGuid(GUID* Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfile(IWMProfile* Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfile(IWMProfile** Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIndexMode(BOOL IndexFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndexMode(BOOL* IndexFile) = 0;

protected:
    ~IConfigAsfWriterStandin() = default;
};

inline constexpr char kAsfWriterName[] = "WM ASF Writer";
inline constexpr wchar_t kAsfAudioPin[] = L"Audio Input 01";
inline constexpr wchar_t kAsfVideoPin[] = L"Video Input 01";

}  // namespace standins

__CRT_UUID_DECL(standins::IConfigAsfWriterStandin, 0x45086030, 0xf7e4, 0x486a, 0xb5, 0x04, 0x82, 0x6b, 0xb5, 0x79, 0x2a, 0x3b)
