#include "filters/overlay_dates.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cwctype>

namespace filters {

namespace {

// Days from 1 January 1970 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

constexpr long long kDaysTo1970 = 25569;  // 30 December 1899 to 1 January 1970

struct TDateParts {
    SYSTEMTIME st{};
    bool valid = false;
};

TDateParts Decode(double value)
{
    TDateParts r;
    if (!std::isfinite(value) || std::fabs(value) > 2958466.0) {  // beyond 31 December 9999
        return r;
    }
    double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += value < 0 ? -1 : 1;
    }
    long long y = 0;
    unsigned m = 0, d = 0;
    const long long days = static_cast<long long>(whole) - kDaysTo1970;
    CivilFromDays(days, y, m, d);
    if (y < 1 || y > 9999) {
        return r;
    }
    r.st.wYear = static_cast<WORD>(y);
    r.st.wMonth = static_cast<WORD>(m);
    r.st.wDay = static_cast<WORD>(d);
    r.st.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1 January 1970 was a Thursday
    r.st.wHour = static_cast<WORD>(ms / 3600000);
    r.st.wMinute = static_cast<WORD>(ms / 60000 % 60);
    r.st.wSecond = static_cast<WORD>(ms / 1000 % 60);
    r.st.wMilliseconds = static_cast<WORD>(ms % 1000);
    r.valid = true;
    return r;
}

std::wstring LocaleText(LCTYPE type)
{
    wchar_t buffer[128];
    const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
    return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

std::wstring SystemDate(const SYSTEMTIME& st, DWORD flags)
{
    wchar_t buffer[128];
    const int n = GetDateFormatW(LOCALE_USER_DEFAULT, flags, &st, nullptr, buffer, 128);
    return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

std::wstring SystemTime(const SYSTEMTIME& st, DWORD flags)
{
    wchar_t buffer[128];
    const int n = GetTimeFormatW(LOCALE_USER_DEFAULT, flags, &st, nullptr, buffer, 128);
    return n > 1 ? std::wstring(buffer, static_cast<size_t>(n - 1)) : std::wstring();
}

std::wstring Number(int value, int digits)
{
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"%0*d", digits, value);
    return buffer;
}

bool StartsWithNoCase(const std::wstring& s, size_t at, const wchar_t* word)
{
    for (size_t i = 0; word[i] != 0; ++i) {
        if (at + i >= s.size() || std::towlower(s[at + i]) != word[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

double DateTimeNow()
{
    SYSTEMTIME st{};
    GetLocalTime(&st);
    const long long days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDaysTo1970;
    const double ms = ((st.wHour * 60.0 + st.wMinute) * 60.0 + st.wSecond) * 1000.0 + st.wMilliseconds;
    return static_cast<double>(days) + ms / 86400000.0;
}

std::wstring FormatOverlayDateTime(const std::wstring& format, double value)
{
    if (format.empty()) {
        return {};
    }
    const TDateParts parts = Decode(value);
    if (!parts.valid) {
        return {};
    }
    const SYSTEMTIME& st = parts.st;
    // A 12-hour clock when the format holds an am/pm specifier outside quotes.
    bool twelve = false;
    {
        wchar_t quote = 0;
        for (size_t i = 0; i < format.size(); ++i) {
            if (quote != 0) {
                quote = format[i] == quote ? 0 : quote;
            } else if (format[i] == L'"' || format[i] == L'\'') {
                quote = format[i];
            } else if (StartsWithNoCase(format, i, L"am/pm") || StartsWithNoCase(format, i, L"a/p") ||
                       StartsWithNoCase(format, i, L"ampm")) {
                twelve = true;
            }
        }
    }
    std::wstring out;
    bool afterHour = false;  // an m right after an h specifier means minutes
    size_t i = 0;
    while (i < format.size()) {
        const wchar_t c = format[i];
        const wchar_t lc = static_cast<wchar_t>(std::towlower(c));
        if (c == L'"' || c == L'\'') {
            const size_t end = format.find(c, i + 1);
            const size_t stop = end == std::wstring::npos ? format.size() : end;
            out.append(format, i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        size_t run = 1;
        while (i + run < format.size() && std::towlower(format[i + run]) == lc) {
            ++run;
        }
        if (StartsWithNoCase(format, i, L"am/pm")) {
            out += st.wHour < 12 ? L"am" : L"pm";
            i += 5;
            continue;
        }
        if (StartsWithNoCase(format, i, L"a/p")) {
            out += st.wHour < 12 ? L"a" : L"p";
            i += 3;
            continue;
        }
        if (StartsWithNoCase(format, i, L"ampm")) {
            out += LocaleText(st.wHour < 12 ? LOCALE_S1159 : LOCALE_S2359);
            i += 4;
            continue;
        }
        switch (lc) {
        case L'd': {
            const int day = (st.wDayOfWeek + 6) % 7;  // the locale's names start on Monday
            if (run == 1 || run == 2) {
                out += Number(st.wDay, static_cast<int>(run));
            } else if (run == 3) {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SABBREVDAYNAME1 + day));
            } else if (run == 4) {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SDAYNAME1 + day));
            } else if (run == 5) {
                out += SystemDate(st, DATE_SHORTDATE);
            } else {
                out += SystemDate(st, DATE_LONGDATE);
            }
            afterHour = false;
            break;
        }
        case L'm':
            if (afterHour && run <= 2) {
                out += Number(st.wMinute, static_cast<int>(run));
            } else if (run <= 2) {
                out += Number(st.wMonth, static_cast<int>(run));
            } else if (run == 3) {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + st.wMonth - 1));
            } else {
                out += LocaleText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + st.wMonth - 1));
            }
            afterHour = false;
            break;
        case L'y':
            out += run <= 2 ? Number(st.wYear % 100, 2) : Number(st.wYear, 4);
            afterHour = false;
            break;
        case L'h': {
            int hour = st.wHour;
            if (twelve) {
                hour = hour % 12 == 0 ? 12 : hour % 12;
            }
            out += Number(hour, run >= 2 ? 2 : 1);
            afterHour = true;
            break;
        }
        case L'n':
            out += Number(st.wMinute, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case L's':
            out += Number(st.wSecond, run >= 2 ? 2 : 1);
            afterHour = false;
            break;
        case L'z':
            out += Number(st.wMilliseconds, run >= 3 ? 3 : 1);
            afterHour = false;
            break;
        case L't':
            out += run >= 2 ? SystemTime(st, 0) : SystemTime(st, TIME_NOSECONDS);
            afterHour = false;
            break;
        case L'c':
            out += SystemDate(st, DATE_SHORTDATE);
            if (st.wHour != 0 || st.wMinute != 0 || st.wSecond != 0) {
                out += L' ';
                out += SystemTime(st, 0);
            }
            afterHour = false;
            run = 1;
            break;
        case L'/':
            out += LocaleText(LOCALE_SDATE);
            run = 1;
            break;
        case L':':
            out += LocaleText(LOCALE_STIME);
            run = 1;
            break;
        default:
            out += c;
            run = 1;
            break;
        }
        i += run;
    }
    return out;
}

int DayOfMonth(double value)
{
    const TDateParts parts = Decode(value);
    return parts.valid ? parts.st.wDay : 0;
}

}  // namespace filters
