// What the settings store's tests of the whole catalogue share: raw registry and UTF-16 file
// access, and the fixture that sets the program's registry key and shell folders aside, gives the
// store an executable in a temporary folder and starts the catalogue as the main window does.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "classlib/format.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"
#include "tests/ui/store_helpers.h"

namespace catalogue_test {

using namespace settings;

inline const std::wstring kMarker = L"#@vide\u00a7#";
inline const wchar_t* const kProgramKey = L"Software\\Marbrecq\\Quillotrane";
inline const wchar_t* const kMakerKey = L"Software\\Marbrecq";
inline const wchar_t* const kPelorinKey = L"Software\\Marbrecq\\Pelorin";
inline const wchar_t* const kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline const wchar_t* const kVideoDir = L"C:\\Quill Videos";         // stored without a trailing backslash
inline const wchar_t* const kPicturesDir = L"C:\\Quill Pictures\\";  // stored with one
inline const wchar_t* const kPelorinPath = L"C:\\Pelorin\\Pelorin.exe";
inline constexpr int kMainWidth = 800;
inline constexpr int kMainHeight = 459;

// --- Raw registry access -------------------------------------------------------------------------

struct RawValue {
    bool found = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

inline RawValue QueryRaw(const std::wstring& path, const std::wstring& name) {
    RawValue v;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.data.resize(size);
        v.found = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, v.data.data(), &size) == ERROR_SUCCESS;
        v.data.resize(size);
    }
    RegCloseKey(key);
    return v;
}

inline void SetRaw(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}
inline void SetSz(const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    SetRaw(path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
inline void SetDword(const std::wstring& path, const std::wstring& name, DWORD v) { SetRaw(path, name, REG_DWORD, &v, 4); }

inline bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline std::wstring SzText(const RawValue& v) {
    std::wstring text(v.data.size() / 2, L'\0');
    std::memcpy(text.data(), v.data.data(), text.size() * 2);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

// The program's real settings are copied aside before each test and put back after it.
inline const wchar_t* const kBackupKey = L"Software\\QuillotraneTestBackup";

inline bool BackUp(const wchar_t* from, const wchar_t* to) {
    HKEY src = nullptr, dst = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, &src) != ERROR_SUCCESS) return false;
    RegDeleteTreeW(HKEY_CURRENT_USER, to);
    RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &dst, nullptr);
    const bool ok = RegCopyTreeW(src, nullptr, dst) == ERROR_SUCCESS;
    RegCloseKey(src);
    RegCloseKey(dst);
    return ok;
}

// --- Files ---------------------------------------------------------------------------------------

inline std::wstring MakeTempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring dir = std::wstring(base) + L"quill-catalogue-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(GetTickCount());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

// UTF-16 with byte-order mark, each line ended by CR LF.
inline void WriteUtf16File(const std::wstring& name, const std::vector<std::wstring>& lines) {
    quill_test::WriteIniLines(name, lines);
}

inline std::vector<std::wstring> ReadUtf16Lines(const std::wstring& name) {
    std::vector<std::wstring> lines;
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lines;
    std::wstring text(GetFileSize(h, nullptr) / 2, L'\0');
    DWORD read = 0;
    ReadFile(h, text.data(), static_cast<DWORD>(text.size() * 2), &read, nullptr);
    CloseHandle(h);
    if (text.empty() || text[0] != L'\xFEFF') {
        ADD_FAILURE() << "no byte-order mark";
        return lines;
    }
    for (size_t pos = 1; pos < text.size();) {
        const size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) {
            ADD_FAILURE() << "line without CR LF";
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

inline bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
    for (const auto& l : lines)
        if (l == line) return true;
    return false;
}

// --- Host and fixture ----------------------------------------------------------------------------

class TestHost : public ISettingsHost {
public:
    std::wstring exe;
    int width = kMainWidth;
    int height = kMainHeight;
    bool fail = false;
    std::wstring ExeName() const override {
        if (fail) throw std::runtime_error("no application");
        return exe;
    }
    int MainFormWidth() const override {
        if (fail) throw std::runtime_error("no window");
        return width;
    }
    int MainFormHeight() const override { return fail ? throw std::runtime_error("no window") : height; }
};

struct SavedValue {
    std::wstring name;
    RawValue raw;
};

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        hadMaker_ = BackUp(kMakerKey, kBackupKey);
        ASSERT_EQ(hadMaker_, KeyExists(kBackupKey));
        RegDeleteTreeW(HKEY_CURRENT_USER, kMakerKey);
        for (const wchar_t* n : {L"My Video", L"My Pictures"}) shellFolders_.push_back({n, QueryRaw(kShellFolders, n)});
        SetSz(kShellFolders, L"My Video", kVideoDir);
        SetSz(kShellFolders, L"My Pictures", kPicturesDir);
        SetSz(kPelorinKey, L"Exename", kPelorinPath);

        dir_ = MakeTempFolder();
        host_.exe = dir_ + L"Quillotrane.exe";
        previousHost_ = SettingsHost();
        SetSettingsHost(&host_);
        previousMode_ = StorageMode();
        auto& fs = classlib::FormatSettings();
        savedFormat_ = fs;
        fs.DecimalSeparator = L'.';
        fs.DateSeparator = L'/';
        fs.TimeSeparator = L':';
    }
    void TearDown() override {
        classlib::FormatSettings() = savedFormat_;
        SetStorageMode(previousMode_);
        SetSettingsHost(previousHost_);
        SetFileAttributesW(IniName().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(IniName().c_str());
        RemoveDirectoryW(dir_.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, kMakerKey);
        if (hadMaker_ && BackUp(kBackupKey, kMakerKey)) RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKey);
        for (const auto& s : shellFolders_) {
            if (s.raw.found)
                SetRaw(kShellFolders, s.name, s.raw.type, s.raw.data.data(), static_cast<DWORD>(s.raw.data.size()));
            else
                RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, s.name.c_str());
        }
    }

    std::wstring IniName() const { return dir_ + L"Quillotrane.ini"; }
    void Start() {
        CreateParameterList(L"Quillotrane test signature");
        CreateParameters();
    }

    TestHost host_;
    std::wstring dir_;

private:
    ISettingsHost* previousHost_ = nullptr;
    TStorageMode previousMode_ = smNone;
    classlib::TFormatSettings savedFormat_;
    bool hadMaker_ = false;
    std::vector<SavedValue> shellFolders_;
};

}  // namespace catalogue_test
