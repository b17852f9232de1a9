// The built program: it starts and exits cleanly, and carries its version resource and texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef QUILL_APP_EXE
#error "QUILL_APP_EXE (path of the built Quillotrane.exe) must be defined by the build"
#endif

namespace {

constexpr DWORD kExitTimeoutMs = 60000;

// The build gives the program's path as the build machine sees it (UTF-8). Under Wine a Unix
// absolute path is reached through drive Z:.
std::wstring AppPath()
{
    const char* utf8 = QUILL_APP_EXE;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring path(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, path.data(), length);
    if (!path.empty() && path[0] == L'/')
        path.insert(0, L"Z:");
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

struct VersionInfo {
    std::vector<BYTE> data;

    bool Load(const std::wstring& file)
    {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
        if (size == 0)
            return false;
        data.assign(size, 0);
        return GetFileVersionInfoW(file.c_str(), 0, size, data.data()) != FALSE;
    }

    std::wstring String(const wchar_t* block, const wchar_t* name)
    {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data.data(), query.c_str(), &value, &length) || value == nullptr)
            return L"<missing>";
        return std::wstring(static_cast<const wchar_t*>(value));
    }
};

} // namespace

TEST(App, StartsAndExitsWithCodeZero)
{
    const std::wstring path = AppPath();
    ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "program not found";

    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process))
        << "CreateProcessW failed, error " << GetLastError();
    CloseHandle(process.hThread);

    const DWORD wait = WaitForSingleObject(process.hProcess, kExitTimeoutMs);
    if (wait != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);

    ASSERT_EQ(wait, WAIT_OBJECT_0) << "the program did not exit within " << kExitTimeoutMs << " ms";
    EXPECT_EQ(exitCode, 0u);
}

TEST(App, CarriesItsVersionResource)
{
    VersionInfo info;
    ASSERT_TRUE(info.Load(AppPath())) << "no version resource, error " << GetLastError();

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 2 * sizeof(WORD));
    const WORD* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04E4);

    ASSERT_TRUE(VerQueryValueW(info.data.data(), L"\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00060000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00050000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00060000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00050000u);

    EXPECT_EQ(info.String(L"040904E4", L"ProductName"), L"Quillotrane");
    EXPECT_EQ(info.String(L"040904E4", L"FileVersion"), L"6.0.5");
    EXPECT_EQ(info.String(L"040904E4", L"CompanyName"), L"Marbrecq");
    EXPECT_EQ(info.String(L"040904E4", L"OriginalFilename"), L"Quillotrane.exe");
}

TEST(App, CarriesTheProgramTexts)
{
    HMODULE module = LoadLibraryExW(AppPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    auto text = [&](UINT id) {
        wchar_t buffer[512] = {};
        const int n = LoadStringW(module, id, buffer, 512);
        return std::wstring(buffer, n > 0 ? n : 0);
    };
    EXPECT_EQ(text(2000), L"no video stream");  // first text of the table
    EXPECT_EQ(text(2006), L"duration %d:%.2d :%.2d");
    FreeLibrary(module);
}
