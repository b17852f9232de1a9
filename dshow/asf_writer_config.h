// The Windows Media ASF writer's profile configuration, as the stock writer answers it: the program
// hands the writer its profile through it, and the prefixes' stand-in writer answers it.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wmsdkidl.h>

namespace dshow {

// {45086030-F7E4-486A-B504-826BB5792A3B}
inline const IID IID_IConfigAsfWriter = {0x45086030, 0xf7e4, 0x486a, {0xb5, 0x04, 0x82, 0x6b, 0xb5, 0x79, 0x2a, 0x3b}};
struct IConfigAsfWriter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileId(DWORD ProfileId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfileId(DWORD* ProfileId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileGuid(REFGUID Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfileGuid(GUID* Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfile(IWMProfile* Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfile(IWMProfile** Profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIndexMode(BOOL IndexFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndexMode(BOOL* IndexFile) = 0;

protected:
    ~IConfigAsfWriter() = default;
};

}  // namespace dshow

__CRT_UUID_DECL(dshow::IConfigAsfWriter, 0x45086030, 0xf7e4, 0x486a, 0xb5, 0x04, 0x82, 0x6b, 0xb5, 0x79, 0x2a, 0x3b)
