#include "classlib/date_time.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

namespace {

constexpr int kDaysTo1899 = 693594;  // days from 1 January 0001 to 30 December 1899

bool Leap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int MonthDays(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && Leap(y) ? 29 : days[m - 1];
}

std::wstring Pad2(int v) {
    std::wstring t = std::to_wstring(v);
    return t.size() < 2 ? L"0" + t : t;
}

}  // namespace

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > MonthDays(Year, Month)) return false;
    int days = Day;
    for (int m = 1; m < Month; ++m) days += MonthDays(Year, m);
    int y = Year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    Date = static_cast<double>(days - kDaysTo1899);
    return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
    TDateTime d = 0;
    if (!TryEncodeDate(Year, Month, Day, d)) throw EConvertError(L"Invalid argument to date encode");
    return d;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
    return (((Hour * 60.0 + Min) * 60.0 + Sec) * 1000.0 + MSec) / 86400000.0;
}

void DecodeDate(TDateTime Date, WORD& Year, WORD& Month, WORD& Day) {
    long long t = static_cast<long long>(std::floor(Date)) + kDaysTo1899;
    if (t <= 0 || t > 3652059) {  // outside 0001-01-01 .. 9999-12-31
        Year = Month = Day = 0;
        return;
    }
    --t;
    int y = 1;
    long long n400 = t / 146097;
    t %= 146097;
    long long n100 = t / 36524;
    if (n100 == 4) n100 = 3;
    t -= n100 * 36524;
    long long n4 = t / 1461;
    t %= 1461;
    long long n1 = t / 365;
    if (n1 == 4) n1 = 3;
    t -= n1 * 365;
    y += static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1);
    int m = 1;
    while (t >= MonthDays(y, m)) {
        t -= MonthDays(y, m);
        ++m;
    }
    Year = static_cast<WORD>(y);
    Month = static_cast<WORD>(m);
    Day = static_cast<WORD>(t + 1);
}

void DecodeTime(TDateTime Time, WORD& Hour, WORD& Min, WORD& Sec, WORD& MSec) {
    double frac = Time - std::floor(Time);
    long long ms = std::llround(frac * 86400000.0);
    if (ms >= 86400000) ms = 86399999;
    Hour = static_cast<WORD>(ms / 3600000);
    Min = static_cast<WORD>(ms / 60000 % 60);
    Sec = static_cast<WORD>(ms / 1000 % 60);
    MSec = static_cast<WORD>(ms % 1000);
}

int DayOfWeek(TDateTime Date) {
    long long d = static_cast<long long>(std::floor(Date)) + kDaysTo1899;  // 1 Jan 0001 is a Monday
    return static_cast<int>(d % 7) + 1;
}

TDateTime Date() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDate(st.wYear, st.wMonth, st.wDay);
}

TDateTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

std::wstring FormatDateTime(const std::wstring& Format, TDateTime DateTime) {
    const TFormatSettings& fs = FormatSettings();
    WORD y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDate(DateTime, y, mo, d);
    DecodeTime(DateTime, h, mi, s, ms);
    std::wstring out;
    bool lastWasHour = false;
    size_t i = 0;
    const size_t n = Format.size();
    auto run = [&](wchar_t c) {
        size_t k = i;
        while (k < n && towupper(Format[k]) == c) ++k;
        return k - i;
    };
    while (i < n) {
        wchar_t c = Format[i];
        wchar_t u = towupper(c);
        if (c == L'"' || c == L'\'') {
            size_t end = Format.find(c, i + 1);
            if (end == std::wstring::npos) end = n;
            out += Format.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (u == L'A' && n - i >= 5 && _wcsnicmp(Format.c_str() + i, L"am/pm", 5) == 0) {
            if (c == L'A')
                out += h < 12 ? L"AM" : L"PM";
            else
                out += h < 12 ? L"am" : L"pm";
            i += 5;
            continue;
        }
        if (u == L'A' && n - i >= 4 && _wcsnicmp(Format.c_str() + i, L"ampm", 4) == 0) {
            out += h < 12 ? fs.TimeAMString : fs.TimePMString;
            i += 4;
            continue;
        }
        size_t len = 1;
        switch (u) {
            case L'D': {
                len = run(L'D');
                if (len == 1) out += std::to_wstring(d);
                else if (len == 2) out += Pad2(d);
                else if (len == 3) out += fs.ShortDayNames[DayOfWeek(DateTime) - 1];
                else if (len == 4) out += fs.LongDayNames[DayOfWeek(DateTime) - 1];
                else {
                    out += FormatDateTime(fs.ShortDateFormat, DateTime);
                    len = 5;
                }
                break;
            }
            case L'M': {
                len = run(L'M');
                if (lastWasHour && len <= 2) {
                    out += len == 1 ? std::to_wstring(mi) : Pad2(mi);
                } else if (len == 1) out += std::to_wstring(mo);
                else if (len == 2) out += Pad2(mo);
                else if (len == 3) out += fs.ShortMonthNames[mo - 1];
                else {
                    out += fs.LongMonthNames[mo - 1];
                    len = std::min<size_t>(len, 4);
                }
                break;
            }
            case L'Y': {
                len = run(L'Y');
                if (len <= 2) out += Pad2(y % 100);
                else out += std::to_wstring(y);
                break;
            }
            case L'H': {
                len = run(L'H');
                int hour = h;
                // A 12-hour clock when the format carries a morning/afternoon marker.
                std::wstring upper;
                for (wchar_t ch : Format) upper += towupper(ch);
                if (upper.find(L"AMPM") != std::wstring::npos || upper.find(L"AM/PM") != std::wstring::npos) {
                    hour %= 12;
                    if (hour == 0) hour = 12;
                }
                out += len == 1 ? std::to_wstring(hour) : Pad2(hour);
                lastWasHour = true;
                i += len;
                continue;
            }
            case L'T': {
                // "t" the short time, "tt" the long time, in the locale's patterns, whose own "tt"
                // is the morning/afternoon marker.
                len = run(L'T');
                std::wstring pattern = len == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat;
                std::wstring own;
                for (size_t k = 0; k < pattern.size();) {
                    if (towupper(pattern[k]) == L'T') {
                        while (k < pattern.size() && towupper(pattern[k]) == L'T') ++k;
                        own += L"ampm";
                    } else {
                        own += pattern[k++];
                    }
                }
                out += FormatDateTime(own, DateTime);
                len = std::min<size_t>(len, 2);
                break;
            }
            case L'N': len = run(L'N'); out += len == 1 ? std::to_wstring(mi) : Pad2(mi); break;
            case L'S': len = run(L'S'); out += len == 1 ? std::to_wstring(s) : Pad2(s); break;
            case L'/': out += fs.DateSeparator; break;
            case L':': out += fs.TimeSeparator; break;
            default: out += c; break;
        }
        if (u != L' ') lastWasHour = lastWasHour && (u == L':' );
        i += len;
    }
    return out;
}

}  // namespace classlib
