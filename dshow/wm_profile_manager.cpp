#include "dshow/wm_profile_manager.h"

#include <string>

namespace dshow {

namespace {

// The system folder's wmvcore.dll by its full path: a load by name hands back any module of that name
// already in the process, whatever folder it came from.
HMODULE LoadSystemWmvcore() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, length) + L"\\wmvcore.dll";
    // Its own dependencies come from the system folder too.
    HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A system without the search flags refuses them: there the folder of a library loaded by its full
    // path is searched first for its dependencies.
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
        library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library;
}

}  // namespace

bool CreateWmProfileManager(Microsoft::WRL::ComPtr<IWMProfileManager>& Manager) {
    Manager.Reset();
    using CreateFn = HRESULT(WINAPI*)(IWMProfileManager**);
    HMODULE library = LoadSystemWmvcore();
    if (library == nullptr) return false;
    auto create =
        reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(library, "WMCreateProfileManager")));
    if (create == nullptr || FAILED(create(Manager.GetAddressOf()))) Manager.Reset();
    return static_cast<bool>(Manager);
}

}  // namespace dshow
