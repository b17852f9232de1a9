// Filter selection, disk space, beeps and the DirectX version.
#include "dshow/ds_functions.h"

#include <objbase.h>
#include <mmsystem.h>
#include <uuids.h>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/registry.h"
#include "dshow/ds_components.h"
#include "dshow/ds_devices.h"
#include "settings/program_texts.h"
#include "unicode/wide_strings.h"

namespace dshow {

namespace {

// A text of the program's string table, or the English text while the table lacks it.
std::wstring ProgramText(int Id, const wchar_t* Fallback) {
    std::wstring text = Id >= 0 ? settings::LoadProgramText(static_cast<unsigned>(Id)) : std::wstring();
    return text.empty() ? std::wstring(Fallback) : text;
}

constexpr int kErrorTextId = IDS_ERROR_TEXT;
constexpr int kBeep0Id = IDS_BEEP0;
constexpr int kBeep1Id = IDS_BEEP1;

bool DiskSpace(const std::wstring& Path, ULARGE_INTEGER& FreeToCaller, ULARGE_INTEGER& Total) {
    ULARGE_INTEGER totalFree;
    FreeToCaller.QuadPart = 0;
    Total.QuadPart = 0;
    totalFree.QuadPart = 0;
    // An unavailable drive leaves the figures untouched: they stay 0 rather than undefined.
    if (!GetDiskFreeSpaceExW(Path.c_str(), &FreeToCaller, &Total, &totalFree)) {
        FreeToCaller.QuadPart = 0;
        Total.QuadPart = 0;
        return false;
    }
    return true;
}

bool PlayBeep(int Id, const wchar_t* Fallback) {
    std::string name = classlib::WideToAnsi(ProgramText(Id, Fallback));
    // Without a sound device the call fails; a beep is not worth a message.
    return PlaySoundA(name.c_str(), GetModuleHandleW(nullptr), SND_RESOURCE | SND_SYNC) != FALSE;
}

}  // namespace

namespace {

std::wstring GuidText(const GUID& Id) {
    wchar_t text[40] = {};
    return StringFromGUID2(Id, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

// The display name of the category's entry registered under the class's own identifier (a filter
// registered without an instance name), or empty when there is none: found by one key, where the
// category's enumeration reads every filter of the category.
std::wstring EntryOfClass(const GUID& Category, const GUID& ClassID) {
    const std::wstring category = GuidText(Category), classText = GuidText(ClassID);
    if (category.empty() || classText.empty()) return {};
    const std::wstring key = L"CLSID\\" + category + L"\\Instance\\" + classText;
    HKEY entry = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &entry) != ERROR_SUCCESS) return {};
    wchar_t value[40] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    const LONG read = RegQueryValueExW(entry, L"CLSID", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(entry);
    GUID listed{};
    if (read != ERROR_SUCCESS || type != REG_SZ || FAILED(CLSIDFromString(value, &listed)) || !IsEqualGUID(listed, ClassID))
        return {};
    return L"@device:sw:" + category + L"\\" + classText;
}

}  // namespace

bool SelectFilterByCLSID(const GUID& Category, const GUID& ClassID, TFilter* Filter) {
    Filter->SetFilterGraph(nullptr);
    const std::wstring entry = EntryOfClass(Category, ClassID);
    if (!entry.empty() && Filter->BaseFilter()->SetDeviceName(entry)) return true;
    TSysDevEnum devices(Category);
    for (int i = 0; i < devices.CountFilters(); ++i) {
        if (IsEqualGUID(devices.GetFilter(i).CLSID, ClassID)) {
            Filter->BaseFilter()->SetMoniker(devices.GetMoniker(i).Get());
            return true;
        }
    }
    return false;
}

bool SelectFilterByName(const GUID& Category, const std::wstring& Name, TFilter* Filter) {
    Filter->SetFilterGraph(nullptr);
    return SelectFilterByName(TSysDevEnum(Category), Name, Filter);
}

bool SelectFilterByName(const TSysDevEnum& Devices, const std::wstring& Name, TFilter* Filter) {
    Filter->SetFilterGraph(nullptr);
    const int index = Devices.FilterIndexOfFriendlyName(Name);
    if (index < 0) return false;
    Filter->BaseFilter()->SetMoniker(Devices.GetMoniker(index).Get());
    return true;
}

void FillSnapshotNames(const TSysDevEnum& Devices, unicode::TWideStrings* List) {
    List->Clear();
    for (int i = 0; i < Devices.CountFilters(); ++i) List->Add(Devices.GetFilter(i).FriendlyName);
}

namespace {

bool FillCategoryNames(const GUID& Category, unicode::TWideStrings* List) {
    try {
        List->Clear();
        FillSnapshotNames(TSysDevEnum(Category), List);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

bool FillFilterNames(unicode::TWideStrings* List) { return FillCategoryNames(CLSID_AudioCompressorCategory, List); }

bool FillVideoCompressorNames(unicode::TWideStrings* List) {
    return FillCategoryNames(CLSID_VideoCompressorCategory, List);
}

std::int32_t DiskTotalMB(const std::wstring& Path) {
    ULARGE_INTEGER freeToCaller, total;
    DiskSpace(Path, freeToCaller, total);
    return static_cast<std::int32_t>(total.QuadPart >> 20);
}

std::int32_t DiskUsedMB(const std::wstring& Path) {
    ULARGE_INTEGER freeToCaller, total;
    if (!DiskSpace(Path, freeToCaller, total)) return 0;
    return static_cast<std::int32_t>((total.QuadPart - freeToCaller.QuadPart) >> 20);
}

std::int32_t DiskFreeMB(const std::wstring& Path) {
    ULARGE_INTEGER freeToCaller, total;
    DiskSpace(Path, freeToCaller, total);
    return static_cast<std::int32_t>(freeToCaller.QuadPart >> 20);
}

bool PlayBeep0() { return PlayBeep(kBeep0Id, L"beep0"); }
bool PlayBeep1() { return PlayBeep(kBeep1Id, L"beep1"); }

std::wstring FourCCToString(DWORD Value) {
    std::wstring result;
    for (int i = 0; i < 4; ++i) {
        auto byte = static_cast<unsigned char>((Value >> (8 * i)) & 0xFF);
        if (byte < 32) return std::wstring();
        result += static_cast<wchar_t>(byte);
    }
    return result;
}

std::wstring GetDirectXVersion() {
    const std::wstring errorText = ProgramText(kErrorTextId, L"Error");
    std::wstring text = errorText;
    try {
        classlib::TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        if (registry.OpenKey(L"\\Software\\Microsoft\\DirectX", false)) text = registry.ReadString(L"Version");
    } catch (const classlib::Exception&) {
        // A value of another type counts as a missing one.
        text = errorText;
    }
    // "4.09.00.0904": drop the first field, then major and minor, then a letter from the last digit.
    size_t dot = text.find(L'.');
    if (dot != std::wstring::npos) text.erase(0, dot + 1);
    std::int32_t major = 0, minor = 0;
    dot = text.find(L'.');
    // A missing key or a value of another shape gives "Error" instead of a conversion failure,
    // which would end the program's start-up before any window exists.
    if (dot == std::wstring::npos || !classlib::TryStrToInt(text.substr(0, dot), major)) return errorText;
    text.erase(0, dot + 1);
    dot = text.find(L'.');
    if (dot == std::wstring::npos || !classlib::TryStrToInt(text.substr(0, dot), minor)) return errorText;
    if (dot + 1 >= text.size()) return errorText;  // no build number to take the letter from
    wchar_t letter = static_cast<wchar_t>((text.back() & 0xFF00) | ((text.back() + 48) & 0xFF));
    if (letter < L'a') letter = L' ';
    if (letter == L'd') letter = L'c';
    return classlib::IntToStr(major) + L"." + classlib::IntToStr(minor) + letter;
}

int GetDirectXMajor() {
    try {
        std::wstring version = GetDirectXVersion();
        size_t dot = version.find(L'.');
        if (dot == std::wstring::npos) return 0;
        std::int32_t major = 0;
        return classlib::TryStrToInt(version.substr(0, dot), major) ? major : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace dshow
