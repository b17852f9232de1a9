// Format-style text formatting written here, not on the C library: "%[index:][-][width][.prec]type"
// with the types d u x e f g n m p s, wide %s, and the locale's separators from FormatSettings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <variant>

namespace classlib {

// One argument of Format: an integer, a floating-point number, a text or a pointer.
class FormatArg {
public:
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                                      !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char>>>
    FormatArg(T v) {  // NOLINT: implicit by design, Format takes a brace list
        if constexpr (std::is_signed_v<T>)
            value_ = static_cast<std::int64_t>(v);
        else
            value_ = static_cast<std::uint64_t>(v);
    }
    FormatArg(bool v) : value_(static_cast<std::int64_t>(v ? 1 : 0)) {}
    FormatArg(double v) : value_(v) {}
    FormatArg(float v) : value_(static_cast<double>(v)) {}
    FormatArg(long double v) : value_(static_cast<double>(v)) {}
    FormatArg(const wchar_t* v) : value_(std::wstring(v ? v : L"")) {}
    FormatArg(std::wstring v) : value_(std::move(v)) {}
    FormatArg(wchar_t v) : value_(std::wstring(1, v)) {}
    // ANSI text is widened with the runtime's default code page.
    FormatArg(const char* v);
    FormatArg(const std::string& v);
    FormatArg(char v);
    FormatArg(const void* v) : value_(v) {}

    using Value = std::variant<std::int64_t, std::uint64_t, double, std::wstring, const void*>;
    const Value& Get() const { return value_; }

private:
    Value value_;
};

// Locale-dependent separators used by Format, FloatToStr and the number parsers; read from the
// user's locale at start-up and changeable (tests pin them).
struct TFormatSettings {
    wchar_t DecimalSeparator = L'.';
    wchar_t ThousandSeparator = L',';
    wchar_t DateSeparator = L'/';
    wchar_t TimeSeparator = L':';
    std::wstring ShortDateFormat = L"M/d/yyyy";
    std::wstring LongTimeFormat = L"h:mm:ss AMPM";
    std::wstring ShortTimeFormat = L"h:mm AMPM";
    std::wstring TimeAMString = L"AM";
    std::wstring TimePMString = L"PM";
    // Month names January first, day names Sunday first.
    std::wstring ShortMonthNames[12] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                        L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    std::wstring LongMonthNames[12] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                       L"July",    L"August",   L"September", L"October", L"November", L"December"};
    std::wstring ShortDayNames[7] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    std::wstring LongDayNames[7] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday", L"Saturday"};
    // A two-digit year lies within this many years before the current year and 100 minus it
    // after (0: the current century).
    int TwoDigitYearCenturyWindow = 50;
    // The locale writes Chinese, Japanese or Korean (its dates may carry era and day markers).
    bool FarEast = false;
};

TFormatSettings& FormatSettings();
// Re-reads FormatSettings from a named locale ("en-GB", "fr-FR"; empty: the user's default).
// A name the system does not know leaves the defaults above in place.
void LoadFormatSettingsFromLocale(const std::wstring& LocaleName = std::wstring());
// One locale value as text (LOCALE_SSHORTDATE, ...); Fallback when the system has none.
std::wstring LocaleInfoText(const std::wstring& LocaleName, LCTYPE Type, const wchar_t* Fallback);

// Raises EConvertError "Format '%s' invalid or incompatible with argument" on a bad format or a
// type that does not match its argument, and "No argument for format '%s'" when arguments run out.
std::wstring Format(const std::wstring& format, std::initializer_list<FormatArg> args);

// Number formatting shared with Format: 15 significant digits, no exponent below 1e15.
std::wstring FloatToStr(double value);

}  // namespace classlib
