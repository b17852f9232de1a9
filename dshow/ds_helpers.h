// DirectShow errors and media-type utilities: failing result codes become exceptions with the
// platform's text, media types are copied and freed, FourCC codes packed, property pages and
// legacy capture/compressor dialogs shown, graphs registered in the running object table.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <uuids.h>

#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "classlib/exceptions.h"

namespace dshow {

// A failing DirectShow result code with the platform's text.
class EDirectShowException : public classlib::Exception {
public:
    EDirectShowException(std::wstring message, HRESULT errorCode)
        : classlib::Exception(std::move(message)), errorCode_(errorCode) {}
    HRESULT ErrorCode() const { return errorCode_; }

private:
    HRESULT errorCode_;
};

// Raised by the video window's renderer set-up.
class EDSGraphException : public classlib::Exception {
public:
    EDSGraphException(std::wstring message, HRESULT errorCode)
        : classlib::Exception(std::move(message)), errorCode_(errorCode) {}
    HRESULT ErrorCode() const { return errorCode_; }

private:
    HRESULT errorCode_;
};

enum TPropertyPageKind : std::uint8_t {
    pkFilterPages = 0,
    pkCaptureDisplay = 1,
    pkCaptureFormat = 2,
    pkCaptureSource = 3,
    pkCompressorConfig = 4,
    pkCompressorAbout = 5,
};

// Returns hr for a success code; raises EDirectShowException "<text> ($XXXXXXXX)." otherwise.
HRESULT CheckDSError(HRESULT hr);
// The platform's text for a DirectShow result code.
std::wstring GetErrorString(HRESULT hr);

// Dest and Source must differ (EAssertionFailed otherwise). The format block is copied with the
// task allocator; pUnk gains a reference.
void CopyMediaType(AM_MEDIA_TYPE* Dest, const AM_MEDIA_TYPE* Source);
// Frees the format block and releases pUnk; the record stays.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// FreeMediaType, then the record itself with the task allocator; nothing for nullptr.
void DeleteMediaType(AM_MEDIA_TYPE* mt);

// S needs at least 4 characters (EAssertionFailed otherwise): character 1 in bits 0-7 ...
DWORD FourCCFromString(const std::wstring& S);

// Disconnects Pin and the pin connected to it, so that neither side keeps the other (a one-sided
// Disconnect leaves the peer connected to a removed filter). S_FALSE when Pin was not connected.
HRESULT DisconnectPin(IPin* Pin);

// Takes over a reference the caller already owns (an out-parameter's). MinGW's ComPtr::Attach
// adds a reference of its own, which would leak one.
template <typename T>
void TakeOver(Microsoft::WRL::ComPtr<T>& Target, T* Owned) {
    Target.Reset();
    *Target.GetAddressOf() = Owned;
}

HRESULT ShowFilterPropertyPage(HWND ParentHandle, IBaseFilter* Filter, TPropertyPageKind Kind);
HRESULT AddGraphToRot(IUnknown* Graph, DWORD& Cookie);
HRESULT RemoveGraphFromRot(DWORD Cookie);

}  // namespace dshow
