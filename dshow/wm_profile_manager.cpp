#include "dshow/wm_profile_manager.h"

namespace dshow {

bool CreateWmProfileManager(Microsoft::WRL::ComPtr<IWMProfileManager>& Manager) {
    Manager.Reset();
    using CreateFn = HRESULT(WINAPI*)(IWMProfileManager**);
    HMODULE library = LoadLibraryExW(L"wmvcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr) return false;
    auto create =
        reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(library, "WMCreateProfileManager")));
    if (create == nullptr || FAILED(create(Manager.GetAddressOf()))) Manager.Reset();
    return static_cast<bool>(Manager);
}

}  // namespace dshow
