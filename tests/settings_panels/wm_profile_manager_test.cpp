// The Windows Media profile manager the program makes comes from the system folder's wmvcore.dll
// only: neither a copy of it where the usual DLL search looks first nor a copy that something else
// loaded into the process beforehand.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dshow/wm_profile_manager.h"

namespace {

std::wstring ModulePath(HMODULE Module) {
    wchar_t path[MAX_PATH] = {};
    if (Module == nullptr || GetModuleFileNameW(Module, path, MAX_PATH) == 0) return L"<none>";
    return path;
}

bool SamePath(const std::wstring& A, const std::wstring& B) { return lstrcmpiW(A.c_str(), B.c_str()) == 0; }

// The module whose code answers the object's calls (its QueryInterface).
HMODULE CodeModule(IUnknown* Object) {
    void* const* table = *reinterpret_cast<void* const* const*>(Object);
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(table[0]), &module);
    return module;
}

// A folder of DLLs that the usual search takes before the system folder while this lives.
class DllFolder {
public:
    explicit DllFolder(const std::filesystem::path& Folder) : ok_(SetDllDirectoryW(Folder.c_str()) != FALSE) {}
    ~DllFolder() { SetDllDirectoryW(nullptr); }
    bool Ok() const { return ok_; }

private:
    bool ok_;
};

TEST(WmProfileManager, ComesFromTheSystemFoldersWmvcoreNeverFromAnotherCopy) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"wmvcore.dll")) << "loaded already: nothing could tell where from";
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::filesystem::path systemCopy = std::filesystem::path(system) / L"wmvcore.dll";
    ASSERT_TRUE(std::filesystem::exists(systemCopy));

    // A copy of it in a folder of its own, put where the usual search looks before the system folder.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (L"quill_wmvcore_" + std::to_wstring(GetCurrentProcessId()));
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path decoy = folder / L"wmvcore.dll";
    ASSERT_TRUE(CopyFileW(systemCopy.c_str(), decoy.c_str(), FALSE));
    {
        DllFolder first(folder);
        ASSERT_TRUE(first.Ok());
        // The copy is where a plain load by name finds it, and it stays loaded, as another part of
        // the process could have loaded it.
        HMODULE plain = LoadLibraryW(L"wmvcore.dll");
        ASSERT_NE(nullptr, plain);
        ASSERT_TRUE(SamePath(decoy.wstring(), ModulePath(plain))) << "the test's copy is not found first";

        Microsoft::WRL::ComPtr<IWMProfileManager> manager;
        ASSERT_TRUE(dshow::CreateWmProfileManager(manager));
        ASSERT_TRUE(manager);
        const HMODULE code = CodeModule(manager.Get());
        EXPECT_NE(plain, code) << "the profile manager is the copy's";
        EXPECT_TRUE(SamePath(systemCopy.wstring(), ModulePath(code)))
            << "the profile manager came from " << std::filesystem::path(ModulePath(code));
        DWORD count = 0;
        EXPECT_HRESULT_SUCCEEDED(manager->GetSystemProfileCount(&count));
        EXPECT_GT(count, 0u);
        manager.Reset();
        FreeLibrary(plain);
    }
    std::filesystem::remove_all(folder, ec);
}

}  // namespace
