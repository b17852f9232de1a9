// DirectShow errors and media-type utilities.
#include "dshow/ds_helpers.h"

#include <errors.h>
#include <objbase.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstring>

#include "classlib/conversions.h"
#include "classlib/format.h"

using Microsoft::WRL::ComPtr;

namespace dshow {

std::wstring GetErrorString(HRESULT hr) {
    char buffer[256] = {};
    AMGetErrorTextA(hr, buffer, 255);
    buffer[255] = '\0';
    std::wstring text = classlib::AnsiToWide(std::string(buffer));
    // Wine knows no text for the generic codes; the system's own message table does.
    if (text.empty()) text = classlib::SysErrorMessage(static_cast<std::uint32_t>(hr));
    return text;
}

HRESULT CheckDSError(HRESULT hr) {
    if (SUCCEEDED(hr)) return hr;
    // Only the code goes through Format: a platform text holding '%' must stay text.
    std::wstring message = GetErrorString(hr) +
                           classlib::Format(L" ($%.8x).", {static_cast<std::uint32_t>(hr)});
    throw EDirectShowException(std::move(message), hr);
}

void CopyMediaType(AM_MEDIA_TYPE* Dest, const AM_MEDIA_TYPE* Source) {
    CLASSLIB_ASSERT(Dest != nullptr && Source != nullptr && Dest != Source, L"Assertion failed");
    *Dest = *Source;
    if (Source->cbFormat != 0) {
        CLASSLIB_ASSERT(Source->pbFormat != nullptr, L"Assertion failed");
        Dest->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(Source->cbFormat));
        if (Dest->pbFormat == nullptr)
            Dest->cbFormat = 0;
        else
            std::memcpy(Dest->pbFormat, Source->pbFormat, Source->cbFormat);
    }
    if (Dest->pUnk != nullptr) Dest->pUnk->AddRef();
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
    if (mt.cbFormat != 0) {
        CoTaskMemFree(mt.pbFormat);
        mt.cbFormat = 0;
        mt.pbFormat = nullptr;
    }
    if (mt.pUnk != nullptr) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
    if (mt == nullptr) return;
    FreeMediaType(*mt);
    CoTaskMemFree(mt);
}

DWORD FourCCFromString(const std::wstring& S) {
    CLASSLIB_ASSERT(S.size() >= 4, L"Assertion failed");
    DWORD result = 0;
    for (int i = 3; i >= 0; --i) result = (result << 8) | (static_cast<DWORD>(S[static_cast<size_t>(i)]) & 0xFF);
    return result;
}

HRESULT DisconnectPin(IPin* Pin) {
    if (Pin == nullptr) return E_POINTER;
    ComPtr<IPin> peer;
    if (FAILED(Pin->ConnectedTo(&peer)) || !peer) return S_FALSE;
    HRESULT hr = Pin->Disconnect();
    HRESULT peerHr = peer->Disconnect();
    return FAILED(hr) ? hr : peerHr;
}

namespace {

HRESULT ShowFilterPages(HWND Parent, IBaseFilter* Filter) {
    ComPtr<ISpecifyPropertyPages> pages;
    HRESULT hr = Filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(pages.GetAddressOf()));
    if (FAILED(hr)) return hr;
    CAUUID ids = {};
    hr = pages->GetPages(&ids);
    if (FAILED(hr)) return hr;
    FILTER_INFO info = {};
    hr = Filter->QueryFilterInfo(&info);
    if (SUCCEEDED(hr)) {
        IUnknown* object = Filter;
        hr = OleCreatePropertyFrame(Parent, 0, 0, info.achName, 1, &object, ids.cElems, ids.pElems, 0, 0, nullptr);
        if (info.pGraph != nullptr) info.pGraph->Release();
    }
    CoTaskMemFree(ids.pElems);
    return hr;
}

HRESULT ShowCaptureDialog(HWND Parent, IBaseFilter* Filter, VfwCaptureDialogs Dialog) {
    ComPtr<IAMVfwCaptureDialogs> dialogs;
    HRESULT hr = Filter->QueryInterface(IID_IAMVfwCaptureDialogs, reinterpret_cast<void**>(dialogs.GetAddressOf()));
    if (FAILED(hr)) return hr;
    hr = dialogs->HasDialog(Dialog);
    if (hr != S_OK) return hr;
    return dialogs->ShowDialog(Dialog, Parent);
}

HRESULT ShowCompressDialog(HWND Parent, IBaseFilter* Filter, int Query, int Dialog) {
    ComPtr<IAMVfwCompressDialogs> dialogs;
    HRESULT hr =
        Filter->QueryInterface(IID_IAMVfwCompressDialogs, reinterpret_cast<void**>(dialogs.GetAddressOf()));
    if (FAILED(hr)) return hr;
    hr = dialogs->ShowDialog(Query, nullptr);
    if (hr != S_OK) return hr;
    return dialogs->ShowDialog(Dialog, Parent);
}

}  // namespace

HRESULT ShowFilterPropertyPage(HWND ParentHandle, IBaseFilter* Filter, TPropertyPageKind Kind) {
    if (Filter == nullptr) return S_FALSE;
    switch (Kind) {
    case pkFilterPages: return ShowFilterPages(ParentHandle, Filter);
    case pkCaptureDisplay: return ShowCaptureDialog(ParentHandle, Filter, VfwCaptureDialog_Display);
    case pkCaptureFormat: return ShowCaptureDialog(ParentHandle, Filter, VfwCaptureDialog_Format);
    case pkCaptureSource: return ShowCaptureDialog(ParentHandle, Filter, VfwCaptureDialog_Source);
    case pkCompressorConfig:
        return ShowCompressDialog(ParentHandle, Filter, VfwCompressDialog_QueryConfig, VfwCompressDialog_Config);
    case pkCompressorAbout:
        return ShowCompressDialog(ParentHandle, Filter, VfwCompressDialog_QueryAbout, VfwCompressDialog_About);
    }
    return S_FALSE;
}

HRESULT AddGraphToRot(IUnknown* Graph, DWORD& Cookie) {
    ComPtr<IRunningObjectTable> rot;
    HRESULT hr = GetRunningObjectTable(0, &rot);
    if (FAILED(hr)) return hr;
    std::wstring name = classlib::Format(L"FilterGraph %p pid %x",
                                         {static_cast<const void*>(Graph), static_cast<std::uint32_t>(GetCurrentProcessId())});
    ComPtr<IMoniker> moniker;
    hr = CreateItemMoniker(L"!", name.c_str(), &moniker);
    if (FAILED(hr)) return hr;
    return rot->Register(0, Graph, moniker.Get(), &Cookie);
}

HRESULT RemoveGraphFromRot(DWORD Cookie) {
    ComPtr<IRunningObjectTable> rot;
    HRESULT hr = GetRunningObjectTable(0, &rot);
    if (FAILED(hr)) return hr;
    return rot->Revoke(Cookie);
}

}  // namespace dshow
