#include "classlib/format.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"

namespace classlib {

FormatArg::FormatArg(const char* v) : value_(AnsiToWide(v ? std::string(v) : std::string())) {}
FormatArg::FormatArg(const std::string& v) : value_(AnsiToWide(v)) {}
FormatArg::FormatArg(char v) : value_(AnsiToWide(std::string(1, v))) {}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

namespace {

[[noreturn]] void InvalidFormat(const std::wstring& format) {
    throw EConvertError(L"Format '" + format + L"' invalid or incompatible with argument");
}

// The C library formats the digits only (in the "C" locale, narrow): separators are put in here.
std::wstring NarrowPrintf(const char* spec, double v) {
    char buffer[512];
    int n = std::snprintf(buffer, sizeof buffer, spec, v);
    if (n < 0) return L"";
    if (n >= static_cast<int>(sizeof buffer)) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::snprintf(big.data(), big.size(), spec, v);
        return std::wstring(big.begin(), big.end() - 1);
    }
    return std::wstring(buffer, buffer + n);
}

std::wstring WithDecimalSeparator(std::wstring s) {
    for (auto& c : s)
        if (c == L'.') c = FormatSettings().DecimalSeparator;
    return s;
}

std::wstring FixedText(double v, int prec) {
    std::string spec = "%." + std::to_string(prec) + "f";
    return WithDecimalSeparator(NarrowPrintf(spec.c_str(), v));
}

std::wstring ExpText(double v, int prec) {
    // Our scientific form: a mantissa of prec significant digits and an exponent with its sign and
    // at least three digits, whatever the C runtime prints.
    if (prec < 1) prec = 1;
    std::string spec = "%." + std::to_string(prec - 1) + "E";
    std::wstring s = NarrowPrintf(spec.c_str(), v);
    auto e = s.find(L'E');
    if (e != std::wstring::npos && e + 2 < s.size()) {
        std::wstring digits = s.substr(e + 2);
        while (digits.size() < 3) digits.insert(digits.begin(), L'0');
        s = s.substr(0, e + 2) + digits;
    }
    return WithDecimalSeparator(s);
}

std::wstring GeneralText(double v, int prec) {
    if (std::isnan(v)) return L"NAN";
    if (std::isinf(v)) return v > 0 ? L"INF" : L"-INF";
    if (prec < 1 || prec > 18) prec = 15;
    if (v == 0) return L"0";
    int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    // Rounding to prec digits may carry into the next power of ten.
    std::string probe = "%." + std::to_string(prec - 1) + "e";
    std::wstring p = NarrowPrintf(probe.c_str(), v);
    auto ep = p.find(L'e');
    if (ep != std::wstring::npos) exponent = std::stoi(std::wstring(p.substr(ep + 1)));
    if (exponent >= prec || exponent < -5) {
        std::wstring s = p;  // d.ddde+XX
        auto e = s.find(L'e');
        std::wstring mant = s.substr(0, e);
        if (mant.find(L'.') != std::wstring::npos) {
            while (!mant.empty() && mant.back() == L'0') mant.pop_back();
            if (!mant.empty() && mant.back() == L'.') mant.pop_back();
        }
        int ex = std::stoi(std::wstring(s.substr(e + 1)));
        std::wstring exps = std::to_wstring(std::abs(ex));
        while (exps.size() < 2) exps.insert(exps.begin(), L'0');
        return WithDecimalSeparator(mant) + L"E" + (ex < 0 ? L"-" : L"+") + exps;
    }
    int decimals = prec - 1 - exponent;
    if (decimals < 0) decimals = 0;
    std::string spec = "%." + std::to_string(decimals) + "f";
    std::wstring s = NarrowPrintf(spec.c_str(), v);
    if (s.find(L'.') != std::wstring::npos) {
        while (!s.empty() && s.back() == L'0') s.pop_back();
        if (!s.empty() && s.back() == L'.') s.pop_back();
    }
    if (s == L"-0") s = L"0";
    return WithDecimalSeparator(s);
}

std::wstring GroupThousands(const std::wstring& fixed) {
    std::wstring sign, intPart = fixed, rest;
    if (!intPart.empty() && intPart[0] == L'-') {
        sign = L"-";
        intPart.erase(0, 1);
    }
    auto dot = intPart.find(FormatSettings().DecimalSeparator);
    if (dot != std::wstring::npos) {
        rest = intPart.substr(dot);
        intPart.resize(dot);
    }
    std::wstring grouped;
    int count = 0;
    for (auto it = intPart.rbegin(); it != intPart.rend(); ++it) {
        if (count > 0 && count % 3 == 0 && FormatSettings().ThousandSeparator != 0)
            grouped.insert(grouped.begin(), FormatSettings().ThousandSeparator);
        grouped.insert(grouped.begin(), *it);
        ++count;
    }
    return sign + grouped + rest;
}

}  // namespace

std::wstring LocaleInfoText(const std::wstring& LocaleName, LCTYPE Type, const wchar_t* Fallback) {
    wchar_t buffer[128];
    int n = GetLocaleInfoEx(LocaleName.empty() ? LOCALE_NAME_USER_DEFAULT : LocaleName.c_str(), Type, buffer, 128);
    if (n <= 1) return Fallback;
    return std::wstring(buffer, static_cast<size_t>(n - 1));
}

void LoadFormatSettingsFromLocale(const std::wstring& LocaleName) {
    TFormatSettings& s = FormatSettings();
    const TFormatSettings defaults;
    auto first = [](const std::wstring& t, wchar_t dflt) { return t.empty() ? dflt : t[0]; };
    auto LocaleText = [&LocaleName](LCTYPE type, const wchar_t* fallback) { return LocaleInfoText(LocaleName, type, fallback); };
    s.DecimalSeparator = first(LocaleText(LOCALE_SDECIMAL, L"."), L'.');
    s.ThousandSeparator = first(LocaleText(LOCALE_STHOUSAND, L","), L',');
    s.DateSeparator = first(LocaleText(LOCALE_SDATE, L"/"), L'/');
    s.TimeSeparator = first(LocaleText(LOCALE_STIME, L":"), L':');
    s.ShortDateFormat = LocaleText(LOCALE_SSHORTDATE, L"M/d/yyyy");
    s.LongTimeFormat = LocaleText(LOCALE_STIMEFORMAT, L"h:mm:ss tt");
    s.ShortTimeFormat = LocaleText(LOCALE_SSHORTTIME, L"h:mm tt");
    s.TimeAMString = LocaleText(LOCALE_S1159, L"AM");
    s.TimePMString = LocaleText(LOCALE_S2359, L"PM");
    for (int i = 0; i < 12; ++i) {
        s.ShortMonthNames[i] = LocaleText(LOCALE_SABBREVMONTHNAME1 + static_cast<LCTYPE>(i), defaults.ShortMonthNames[i].c_str());
        s.LongMonthNames[i] = LocaleText(LOCALE_SMONTHNAME1 + static_cast<LCTYPE>(i), defaults.LongMonthNames[i].c_str());
    }
    // The system lists the days Monday first.
    for (int i = 0; i < 7; ++i) {
        int day = (i + 6) % 7;
        s.ShortDayNames[i] = LocaleText(LOCALE_SABBREVDAYNAME1 + static_cast<LCTYPE>(day), defaults.ShortDayNames[i].c_str());
        s.LongDayNames[i] = LocaleText(LOCALE_SDAYNAME1 + static_cast<LCTYPE>(day), defaults.LongDayNames[i].c_str());
    }
    std::wstring lang = LocaleText(LOCALE_SISO639LANGNAME, L"");
    s.FarEast = lang == L"zh" || lang == L"ja" || lang == L"ko";
}

std::wstring FloatToStr(double value) { return GeneralText(value, 15); }

std::wstring Format(const std::wstring& format, std::initializer_list<FormatArg> args) {
    std::vector<const FormatArg*> list;
    for (const auto& a : args) list.push_back(&a);
    std::wstring out;
    size_t argIndex = 0;
    size_t i = 0;
    const size_t n = format.size();
    auto nextArg = [&]() -> const FormatArg& {
        if (argIndex >= list.size()) throw EConvertError(L"No argument for format '" + format + L"'");
        return *list[argIndex++];
    };
    auto readNumber = [&](int& target) -> bool {
        if (i < n && format[i] == L'*') {
            ++i;
            const auto& v = nextArg().Get();
            if (const auto* p = std::get_if<std::int64_t>(&v))
                target = static_cast<int>(*p);
            else if (const auto* u = std::get_if<std::uint64_t>(&v))
                target = static_cast<int>(*u);
            else
                InvalidFormat(format);
            return true;
        }
        if (i < n && format[i] >= L'0' && format[i] <= L'9') {
            target = 0;
            while (i < n && format[i] >= L'0' && format[i] <= L'9') {
                if (target < 100000) target = target * 10 + (format[i] - L'0');
                ++i;
            }
            return true;
        }
        return false;
    };
    while (i < n) {
        wchar_t c = format[i];
        if (c != L'%') {
            out += c;
            ++i;
            continue;
        }
        ++i;
        if (i >= n) InvalidFormat(format);
        if (format[i] == L'%') {
            out += L'%';
            ++i;
            continue;
        }
        bool left = false;
        int width = -1, prec = -1;
        // Optional index: digits (or *) followed by a colon.
        {
            size_t save = i;
            size_t saveArg = argIndex;
            int idx = 0;
            if (readNumber(idx) && i < n && format[i] == L':') {
                ++i;
                if (idx < 0 || static_cast<size_t>(idx) >= list.size()) InvalidFormat(format);
                argIndex = static_cast<size_t>(idx);
            } else {
                i = save;
                argIndex = saveArg;
            }
        }
        if (i < n && format[i] == L'-') {
            left = true;
            ++i;
        }
        readNumber(width);
        if (i < n && format[i] == L'.') {
            ++i;
            if (!readNumber(prec)) prec = 0;
        }
        if (i >= n) InvalidFormat(format);
        wchar_t type = static_cast<wchar_t>(towlower(format[i]));
        ++i;
        const auto& v = nextArg().Get();
        std::wstring piece;
        auto asInt = [&](std::int64_t& s, std::uint64_t& u, bool& isSigned) {
            if (const auto* p = std::get_if<std::int64_t>(&v)) {
                s = *p;
                isSigned = true;
            } else if (const auto* q = std::get_if<std::uint64_t>(&v)) {
                u = *q;
                isSigned = false;
            } else {
                InvalidFormat(format);
            }
        };
        auto asFloat = [&]() -> double {
            if (const auto* p = std::get_if<double>(&v)) return *p;
            InvalidFormat(format);
        };
        switch (type) {
        case L'd':
        case L'u': {
            std::int64_t s = 0;
            std::uint64_t u = 0;
            bool isSigned = true;
            asInt(s, u, isSigned);
            bool negative = false;
            std::wstring digits;
            if (isSigned) {
                if (type == L'u' && s < 0) {
                    u = static_cast<std::uint32_t>(s);
                    digits = std::to_wstring(u);
                } else {
                    negative = s < 0;
                    digits = std::to_wstring(negative ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s));
                }
            } else {
                digits = std::to_wstring(u);
            }
            if (prec > 0 && static_cast<int>(digits.size()) < prec)
                digits.insert(digits.begin(), static_cast<size_t>(prec) - digits.size(), L'0');
            piece = (negative ? L"-" : L"") + digits;
            break;
        }
        case L'x': {
            std::int64_t s = 0;
            std::uint64_t u = 0;
            bool isSigned = true;
            asInt(s, u, isSigned);
            if (isSigned) u = s < 0 && s >= INT32_MIN ? static_cast<std::uint32_t>(s) : static_cast<std::uint64_t>(s);
            wchar_t buffer[32];
            int len = 0;
            do {
                buffer[len++] = L"0123456789ABCDEF"[u & 15];
                u >>= 4;
            } while (u != 0);
            for (int k = len - 1; k >= 0; --k) piece += buffer[k];
            if (prec > 0 && static_cast<int>(piece.size()) < prec)
                piece.insert(piece.begin(), static_cast<size_t>(prec) - piece.size(), L'0');
            break;
        }
        case L'e':
            piece = ExpText(asFloat(), prec < 0 ? 15 : prec);
            break;
        case L'f':
            piece = FixedText(asFloat(), prec < 0 ? 2 : prec);
            break;
        case L'g':
            piece = GeneralText(asFloat(), prec < 0 ? 15 : prec);
            break;
        case L'n':
            piece = GroupThousands(FixedText(asFloat(), prec < 0 ? 2 : prec));
            break;
        case L'm':
            piece = GroupThousands(FixedText(asFloat(), prec < 0 ? 2 : prec));
            break;
        case L'p': {
            const void* const* p = std::get_if<const void*>(&v);
            if (!p) InvalidFormat(format);
            auto value = reinterpret_cast<std::uintptr_t>(*p);
            for (int k = static_cast<int>(sizeof(void*)) * 2 - 1; k >= 0; --k)
                piece += L"0123456789ABCDEF"[(value >> (k * 4)) & 15];
            break;
        }
        case L's': {
            const auto* s = std::get_if<std::wstring>(&v);
            if (!s) InvalidFormat(format);
            piece = *s;
            if (prec >= 0 && static_cast<size_t>(prec) < piece.size()) piece.resize(static_cast<size_t>(prec));
            break;
        }
        default:
            InvalidFormat(format);
        }
        if (width > 0 && static_cast<int>(piece.size()) < width) {
            std::wstring pad(static_cast<size_t>(width) - piece.size(), L' ');
            piece = left ? piece + pad : pad + piece;
        }
        out += piece;
    }
    return out;
}

}  // namespace classlib
