// The program's words and identity.
#include "settings/program_texts.h"

#include <cwchar>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace settings {

namespace {

constexpr int kVersionMajor = 6;
constexpr int kVersionMinor = 0;
constexpr int kVersionRelease = 5;
// Language and code page of the program's own version block; its first four digits pick the
// language shown in the title.
constexpr wchar_t kLanguageAndCodePage[] = L"040904E4";
constexpr WORD kBuildYear = 2008;
constexpr WORD kBuildMonth = 9;
constexpr WORD kBuildDay = 25;

struct TVersionItem {
    const wchar_t* Value;
    const wchar_t* Label;
};

const TVersionItem kVersionItems[10] = {
    {L"CompanyName", L"Nom de la soci\u00e9t\u00e9"},
    {L"FileDescription", L"Description du fichier"},
    {L"FileVersion", L"FileVersion"},
    {L"InternalName", L"InternalName"},
    {L"LegalCopyright", L"LegalCopyright"},
    {L"LegalTradeMarks", L"LegalTradeMarks"},
    {L"OriginalFileName", L"OriginalFileName"},
    {L"ProductName", L"ProductName"},
    {L"ProductVersion", L"ProductVersion"},
    {L"Comments", L"Comments"},
};

std::wstring Hex4(WORD value) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text(4, L'0');
    for (int i = 3; i >= 0; --i, value = static_cast<WORD>(value >> 4)) text[i] = digits[value & 0xF];
    return text;
}

// The record's texts are single-byte, converted with the system's code page and cut at 100 bytes.
std::string ShortText(const std::wstring& text) {
    std::string ansi = classlib::WideToAnsi(text, unicode::DefaultSystemCodePage());
    if (ansi.size() > kVersionInfoTextMax) ansi.resize(kVersionInfoTextMax);
    return ansi;
}

// A version value as text, or false when the block has none under that path.
bool QueryVersionText(const std::vector<BYTE>& block, const std::wstring& path, std::wstring& text) {
    void* data = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &data, &length) || data == nullptr) return false;
    const wchar_t* chars = static_cast<const wchar_t*>(data);
    text.assign(chars, wcsnlen(chars, length));
    return true;
}

}  // namespace

std::wstring LoadProgramText(unsigned Id) {
    static HMODULE module = GetModuleHandleW(nullptr);
    const unicode::TResStringRec record{&module, Id};
    return unicode::WideLoadResString(&record);
}

const std::wstring& ProgramVersion() {
    static const std::wstring value =
        classlib::Format(L"%d.%d.%d", {kVersionMajor, kVersionMinor, kVersionRelease});
    return value;
}

const std::wstring& ProgramLanguage() {
    static const std::wstring value =
        std::wstring(kLanguageAndCodePage).substr(0, 4) == L"0409" ? L"En" : L"Fr";
    return value;
}

std::wstring BuildDateText(const std::wstring& shortDateFormat) {
    SYSTEMTIME date{};
    date.wYear = kBuildYear;
    date.wMonth = kBuildMonth;
    date.wDay = kBuildDay;
    date.wDayOfWeek = 4;  // a Thursday
    // The picture is the system's ("M" month, "d" day, "y" year, quoted literals); a lower-case "m"
    // can only mean the month in a date, so it is read as one.
    std::wstring picture = shortDateFormat;
    bool quoted = false;
    for (auto& c : picture) {
        if (c == L'\'') quoted = !quoted;
        else if (!quoted && c == L'm') c = L'M';
    }
    const DWORD flags = picture.empty() ? DATE_SHORTDATE : 0;
    const wchar_t* format = picture.empty() ? nullptr : picture.c_str();
    wchar_t buffer[128];
    const int n = GetDateFormatW(LOCALE_USER_DEFAULT, flags, &date, format, buffer, 128);
    if (n <= 1) return std::wstring();
    return std::wstring(buffer, static_cast<size_t>(n - 1));
}

const std::wstring& BuildDate() {
    static const std::wstring value = BuildDateText(classlib::FormatSettings().ShortDateFormat);
    return value;
}

const std::wstring& ProgramTitle() {
    static const std::wstring value = L"Quillotrane " + ProgramVersion() + ProgramLanguage();
    return value;
}

void GetVersionInfo(const std::wstring& FileName, TVersionInfoRec& Rec) {
    if (!unicode::WideFileExists(FileName)) {
        Rec.Status = L"BROKEN";
        return;
    }
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(FileName.c_str(), &handle);
    if (size == 0) {
        Rec.Status = L"No version information";
        return;
    }
    Rec.Status = L"OK";
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(FileName.c_str(), 0, size, block.data())) return;

    void* data = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &data, &length) || data == nullptr ||
        length < 2 * sizeof(WORD))
        return;
    const WORD language = static_cast<const WORD*>(data)[0];
    const WORD codePage = static_cast<const WORD*>(data)[1];
    const std::wstring translation = Hex4(language) + Hex4(codePage);

    wchar_t name[kVersionInfoTextMax + 1] = {};
    VerLanguageNameW(language, name, kVersionInfoTextMax + 1);
    Rec.Language = ShortText(L"Langage = " + std::wstring(name, wcsnlen(name, kVersionInfoTextMax)));

    for (size_t i = 0; i < Rec.Items.size(); ++i) {
        std::wstring value;
        const std::wstring path = L"\\StringFileInfo\\" + translation + L"\\" + kVersionItems[i].Value;
        if (QueryVersionText(block, path, value))
            Rec.Items[i] = ShortText(std::wstring(kVersionItems[i].Label) + L" = " + value);
        else
            Rec.Items[i].clear();
    }
}

}  // namespace settings
