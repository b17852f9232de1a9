// Filter names, disk figures, beeps and the DirectX version from registry values the tests write
// (and put back).
#include "dshow/ds_functions.h"

#include <windows.h>
#include <mmsystem.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dshow/ds_devices.h"
#include "dshow_test_support.h"
#include "unicode/wide_strings.h"

using namespace dshow;

namespace {

// Saves HKLM\Software\Microsoft\DirectX (its values) and puts it back afterwards.
class DirectXKey : public testing::Test {
protected:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    static constexpr const wchar_t* kPath = L"Software\\Microsoft\\DirectX";

    void SetUp() override {
        HKEY key;
        existed = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (!existed) return;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLen = 256, type = 0, size = 0;
            if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
            Value v{std::wstring(name, nameLen), type, std::vector<BYTE>(size)};
            nameLen = 256;
            RegEnumValueW(key, i, name, &nameLen, nullptr, &type, v.data.data(), &size);
            saved.push_back(std::move(v));
        }
        DWORD subKeys = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        hasSubKeys = subKeys != 0;
        RegCloseKey(key);
    }
    void TearDown() override {
        if (!existed) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPath);
            return;
        }
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegDeleteValueW(key, L"Version");
        for (const Value& v : saved)
            RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        RegCloseKey(key);
    }
    void SetVersion(const std::wstring& text) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * 2));
        RegCloseKey(key);
    }
    void SetVersionDword(DWORD value) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
    }
    void DeleteVersion() {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
        RegDeleteValueW(key, L"Version");
        RegCloseKey(key);
    }

    bool existed = false;
    bool hasSubKeys = false;
    std::vector<Value> saved;
};

TEST_F(DirectXKey, VersionTable) {
    struct Case {
        const wchar_t* value;
        const wchar_t* text;
        int major;
    };
    const Case cases[] = {
        {L"4.09.00.0904", L"9.0c", 9}, {L"4.09.00.0902", L"9.0b", 9}, {L"4.09.00.0901", L"9.0a", 9},
        {L"4.09.00.0900", L"9.0 ", 9}, {L"4.08.01.0810", L"8.1 ", 8}, {L"4.08.00.0400", L"8.0 ", 8},
        {L"4.07.00.0700", L"7.0 ", 7}, {L"4.09.00.0905", L"9.0e", 9}, {L"4.10.02.0907", L"10.2g", 10},
    };
    for (const Case& c : cases) {
        SetVersion(c.value);
        EXPECT_EQ(GetDirectXVersion(), c.text) << std::wstring(c.value).size();
        EXPECT_EQ(GetDirectXMajor(), c.major);
    }
}

TEST_F(DirectXKey, MissingOrMalformedValueGivesErrorAndMajorZero) {
    for (const wchar_t* bad : {L"", L"4", L"4.09", L"4.x9.00.0904", L"4.09.zz.0904", L"4.09.00.", L"garbage"}) {
        SetVersion(bad);
        EXPECT_EQ(GetDirectXVersion(), L"Error") << std::wstring(bad).size();
        EXPECT_EQ(GetDirectXMajor(), 0);
    }
    SetVersionDword(9);
    EXPECT_EQ(GetDirectXVersion(), L"Error");
    DeleteVersion();
    EXPECT_EQ(GetDirectXVersion(), L"Error");
    EXPECT_EQ(GetDirectXMajor(), 0);
    if (!hasSubKeys) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPath);
        EXPECT_EQ(GetDirectXVersion(), L"Error");
        EXPECT_EQ(GetDirectXMajor(), 0);
    }
}

TEST(Disk, FiguresOfARealFolderAndOfAMissingDrive) {
    std::wstring here = dshow_test::TempFolder();
    std::int32_t total = DiskTotalMB(here), used = DiskUsedMB(here), free = DiskFreeMB(here);
    EXPECT_GT(total, 0);
    EXPECT_GE(free, 0);
    EXPECT_LE(free, total);
    EXPECT_NEAR(static_cast<double>(used) + free, total, 1.0);

    DWORD drives = GetLogicalDrives();
    int missing = -1;
    for (int d = 25; d >= 3 && missing < 0; --d)
        if ((drives & (1u << d)) == 0) missing = d;
    ASSERT_GE(missing, 0);
    std::wstring path = std::wstring(1, static_cast<wchar_t>(L'A' + missing)) + L":\\video\\";
    EXPECT_EQ(DiskTotalMB(path), 0);
    EXPECT_EQ(DiskUsedMB(path), 0);
    EXPECT_EQ(DiskFreeMB(path), 0);
    EXPECT_EQ(DiskFreeMB(L""), DiskFreeMB(L""));  // the current drive, whatever it holds
}

// The length of a WAVE resource's sound in milliseconds, read from its own header.
int WaveResourceMs(const char* Name) {
    HRSRC found = FindResourceA(nullptr, Name, "WAVE");
    if (found == nullptr) return -1;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    const DWORD size = SizeofResource(nullptr, found);
    DWORD bytesPerSecond = 0, data = 0;
    for (DWORD at = 12; at + 8 <= size;) {
        DWORD chunk = 0;
        std::memcpy(&chunk, bytes + at + 4, 4);
        if (std::memcmp(bytes + at, "fmt ", 4) == 0 && at + 16 <= size) std::memcpy(&bytesPerSecond, bytes + at + 16, 4);
        if (std::memcmp(bytes + at, "data", 4) == 0) data = chunk;
        at += 8 + chunk + (chunk & 1);
    }
    return bytesPerSecond == 0 ? -1 : static_cast<int>(1000.0 * data / bytesPerSecond);
}

TEST(Beeps, PlayTheProgramsResourcesToTheirEnd) {
    ASSERT_GT(WaveResourceMs("beep0"), 50);
    ASSERT_GT(WaveResourceMs("beep1"), 50);
    // Here a sound that is not found plays nothing and says so: true means the beep itself played.
    ASSERT_FALSE(PlaySoundA("no such beep", GetModuleHandleW(nullptr), SND_RESOURCE | SND_SYNC));
    // The tests' silent sound device plays faster than the sound's own pace, so only the outcome
    // is checked: each beep's resource is found through its string-table name and played through.
    EXPECT_TRUE(PlayBeep0());
    EXPECT_TRUE(PlayBeep1());
}

TEST(FilterNames, AudioCompressorsInEnumerationOrder) {
    unicode::TUcStringList names;
    names.Add(L"stale entry");
    ASSERT_TRUE(FillFilterNames(&names));
    TSysDevEnum devices(CLSID_AudioCompressorCategory);
    ASSERT_EQ(names.Count(), devices.CountFilters());
    for (int i = 0; i < names.Count(); ++i) EXPECT_EQ(names.Strings(i), devices.GetFilter(i).FriendlyName);
}

}  // namespace
