// The stand-in wmvcore.dll's own export: a profile manager that knows the default and system
// profiles (Wine's answers LoadProfileByID with E_NOTIMPL). Every other export is forwarded to
// Wine's wmvcore (wmvcore.def).
#include <windows.h>
#include <wmsdkidl.h>

#include "platform/standins/wmvcore/wm_profiles.h"

extern "C" HRESULT WINAPI WMCreateProfileManager(IWMProfileManager** Manager)
{
    if (Manager == nullptr) return E_POINTER;
    try {
        *Manager = standins::MakeWmProfileManager();
        return S_OK;
    } catch (...) {
        *Manager = nullptr;
        return E_OUTOFMEMORY;
    }
}
