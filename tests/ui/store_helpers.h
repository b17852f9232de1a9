// Test helpers shared by the main-window tests and the program's own tests: raw access to the
// program's registry key and to UTF-16 INI files, and the guard that sets HKCU\Software\Marbrecq
// aside for a test and puts it back.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace quill_test {

inline const wchar_t* const kMakerKey = L"Software\\Marbrecq";
inline const wchar_t* const kProgramKey = L"Software\\Marbrecq\\Quillotrane";
inline const std::wstring kIniSection = L"[\\Software\\Marbrecq\\Quillotrane]";

inline bool KeyExists(const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline bool CopyKey(const wchar_t* from, const wchar_t* to) {
    HKEY src = nullptr, dst = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, &src) != ERROR_SUCCESS) return false;
    RegDeleteTreeW(HKEY_CURRENT_USER, to);
    RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &dst, nullptr);
    const bool ok = dst != nullptr && RegCopyTreeW(src, nullptr, dst) == ERROR_SUCCESS;
    RegCloseKey(src);
    if (dst != nullptr) RegCloseKey(dst);
    return ok;
}

inline void SetValue(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
inline void SetSz(const wchar_t* path, const wchar_t* name, const std::wstring& text) {
    SetValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
inline void SetDword(const wchar_t* path, const wchar_t* name, DWORD value) {
    SetValue(path, name, REG_DWORD, &value, sizeof(value));
}

inline std::wstring GetSz(const wchar_t* path, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}
inline long GetDword(const wchar_t* path, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return -999999;
    return static_cast<long>(value);
}
inline bool ValueExists(const wchar_t* path, const wchar_t* name) {
    return RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// HKCU\Software\Marbrecq is empty while the guard lives, and as it was afterwards.
class MarbrecqKeyGuard {
public:
    explicit MarbrecqKeyGuard(const wchar_t* backupKey) : backupKey_(backupKey) {
        saved_ = CopyKey(kMakerKey, backupKey_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kMakerKey);
    }
    ~MarbrecqKeyGuard() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kMakerKey);
        if (saved_) {
            CopyKey(backupKey_, kMakerKey);
            RegDeleteTreeW(HKEY_CURRENT_USER, backupKey_);
        }
    }
    MarbrecqKeyGuard(const MarbrecqKeyGuard&) = delete;
    MarbrecqKeyGuard& operator=(const MarbrecqKeyGuard&) = delete;

private:
    const wchar_t* backupKey_;
    bool saved_ = false;
};

inline bool FileExists(const std::wstring& name) { return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A UTF-16 file with byte-order mark, each line ended by CR LF.
inline void WriteIniLines(const std::wstring& name, const std::vector<std::wstring>& lines) {
    std::wstring text = L"\xFEFF";
    for (const auto& line : lines) text += line + L"\r\n";
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(h);
}

inline std::vector<std::wstring> ReadIniLines(const std::wstring& name) {
    std::vector<std::wstring> lines;
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lines;
    std::vector<char> bytes(GetFileSize(h, nullptr));
    DWORD read = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(h);
    std::wstring text(read / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    if (!text.empty() && text[0] == L'\xFEFF') text.erase(0, 1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The value of Key in the INI lines (the first line naming it), or "<missing>".
inline std::wstring IniValue(const std::vector<std::wstring>& lines, const std::wstring& key) {
    for (const auto& line : lines)
        if (line.compare(0, key.size() + 1, key + L"=") == 0) return line.substr(key.size() + 1);
    return L"<missing>";
}

}  // namespace quill_test
