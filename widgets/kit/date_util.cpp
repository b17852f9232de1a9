#include "widgets/kit/date_util.h"

#include <cmath>
#include <cwctype>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace widgets::kit {

using classlib::FormatSettings;

namespace {

bool gFourDigitYear = false;

std::wstring Upper(const std::wstring& s) {
    std::wstring u = s;
    for (wchar_t& c : u) c = static_cast<wchar_t>(towupper(c));
    return u;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

void ScanBlanks(const std::wstring& s, size_t& pos) {
    while (pos < s.size() && s[pos] == L' ') ++pos;
}

// Digits add up only while the value is below 1000, so a long run cannot overflow.
bool ScanNumber(const std::wstring& s, size_t& pos, int& number) {
    ScanBlanks(s, pos);
    size_t start = pos;
    int n = 0;
    while (pos < s.size() && IsDigit(s[pos]) && n < 1000) {
        n = n * 10 + (s[pos] - L'0');
        ++pos;
    }
    if (pos == start) return false;
    number = n;
    return true;
}

bool ScanChar(const std::wstring& s, size_t& pos, wchar_t c) {
    ScanBlanks(s, pos);
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

void ScanToNumber(const std::wstring& s, size_t& pos) {
    while (pos < s.size() && !IsDigit(s[pos])) ++pos;
}

bool StartsWithNoCase(const std::wstring& s, size_t pos, const std::wstring& word) {
    if (word.empty() || s.size() - pos < word.size()) return false;
    return classlib::AnsiCompareText(s.substr(pos, word.size()), word) == 0;
}

// One field of a masked date: -1 when the text has nothing usable where the format puts it.
int ExtractField(const std::wstring& format, const std::wstring& text, wchar_t letter, int count, int dflt) {
    if (text.size() > format.size()) return dflt;
    std::wstring upper = Upper(format);
    size_t at = upper.find(std::wstring(static_cast<size_t>(count), letter));
    if (at == std::wstring::npos) return dflt;
    std::wstring taken;
    for (size_t i = at; i < upper.size() && i < text.size() && upper[i] == letter; ++i)
        if (text[i] != L' ') taken += text[i];
    if (taken.empty()) return -1;
    if (count == 3) {
        int m = MonthFromName(taken, 3);
        return m == 0 ? -1 : m;
    }
    std::int32_t v = 0;
    if (!classlib::TryStrToInt(taken, v) || v < 0) return -1;
    return v;
}

}  // namespace

bool IsLeapYear(int Year) { return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0); }

int DaysInMonthOf(int Year, int Month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (Month < 1 || Month > 12) return 0;
    return Month == 2 && IsLeapYear(Year) ? 29 : days[Month - 1];
}

bool IsValidYMD(int Year, int Month, int Day) {
    return Year >= 1 && Year <= 9999 && Month >= 1 && Month <= 12 && Day >= 1 && Day <= DaysInMonthOf(Year, Month);
}

bool IsValidDateTime(TDateTime Value) {
    WORD y = 0, m = 0, d = 0;
    classlib::DecodeDate(Value, y, m, d);
    return IsValidYMD(y, m, d);
}

int LocalYear() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return st.wYear;
}

TDateOrder DateOrderOf(const std::wstring& DateFormat) {
    for (wchar_t c : DateFormat) {
        switch (towupper(c)) {
            case L'D': return TDateOrder::doDMY;
            case L'E':
            case L'Y': return TDateOrder::doYMD;
            case L'M': return TDateOrder::doMDY;
            default: break;
        }
    }
    return TDateOrder::doDMY;
}

int ExpandTwoDigitYear(int Year, int CurrentYear) {
    if (Year >= 100) return Year;
    int window = FormatSettings().TwoDigitYearCenturyWindow;
    int base = CurrentYear - window;
    int result = Year + (base / 100) * 100;
    if (window > 0 && base > result) result += 100;
    return result;
}

int ExpandTwoDigitYear(int Year) { return ExpandTwoDigitYear(Year, LocalYear()); }

bool ParseDateText(const std::wstring& Text, const std::wstring& DateFormat, size_t& Pos, int& Year, int& Month,
                   int& Day) {
    return ParseDateText(Text, DateFormat, Pos, Year, Month, Day, LocalYear());
}

bool ParseDateText(const std::wstring& Text, const std::wstring& DateFormat, size_t& Pos, int& Year, int& Month,
                   int& Day, int CurrentYear) {
    const classlib::TFormatSettings& fs = FormatSettings();
    Year = Month = Day = 0;
    TDateOrder order = DateOrderOf(DateFormat);
    if (!DateFormat.empty() && DateFormat[0] == L'g') ScanToNumber(Text, Pos);  // an era name first
    int n1 = 0, n2 = 0, n3 = 0;
    if (!(ScanNumber(Text, Pos, n1) && ScanChar(Text, Pos, fs.DateSeparator) && ScanNumber(Text, Pos, n2)))
        return false;
    if (ScanChar(Text, Pos, fs.DateSeparator) && ScanNumber(Text, Pos, n3)) {
        switch (order) {
            case TDateOrder::doMDY: Month = n1, Day = n2, Year = n3; break;
            case TDateOrder::doDMY: Day = n1, Month = n2, Year = n3; break;
            case TDateOrder::doYMD: Year = n1, Month = n2, Day = n3; break;
        }
        Year = ExpandTwoDigitYear(Year, CurrentYear);
    } else {
        Year = CurrentYear;
        if (order == TDateOrder::doDMY)
            Day = n1, Month = n2;
        else
            Month = n1, Day = n2;
    }
    ScanChar(Text, Pos, fs.DateSeparator);
    ScanBlanks(Text, Pos);
    if (fs.FarEast && DateFormat.find(L"ddd") != std::wstring::npos) {
        // Trailing text of far-east dates: up to the time's digits or its morning/afternoon word.
        if (!fs.LongTimeFormat.empty() && IsDigit(fs.LongTimeFormat[0])) {
            ScanToNumber(Text, Pos);
        } else {
            do {
                while (Pos < Text.size() && Text[Pos] != L' ') ++Pos;
                ScanBlanks(Text, Pos);
            } while (Pos < Text.size() && !StartsWithNoCase(Text, Pos, fs.TimeAMString) &&
                     !StartsWithNoCase(Text, Pos, fs.TimePMString));
        }
    }
    return IsValidYMD(Year, Month, Day) && Pos >= Text.size();
}

int MonthFromName(const std::wstring& Text, size_t Length) {
    const classlib::TFormatSettings& fs = FormatSettings();
    if (Length == 0) return 0;
    std::wstring head = Text.substr(0, Length);
    for (int m = 0; m < 12; ++m) {
        if (classlib::AnsiCompareText(head, fs.ShortMonthNames[m].substr(0, Length)) == 0) return m + 1;
    }
    return 0;
}

bool ParseMaskedDate(const std::wstring& DateFormat, const std::wstring& Text, int& Day, int& Month, int& Year) {
    int current = LocalYear();
    int m = ExtractField(DateFormat, Text, L'M', 3, 0);
    if (m == 0) m = ExtractField(DateFormat, Text, L'M', 1, 0);
    int d = ExtractField(DateFormat, Text, L'D', 1, 1);
    int y = ExtractField(DateFormat, Text, L'Y', 1, current);
    if (y >= 0) y = ExpandTwoDigitYear(y, current);
    if (IsValidYMD(y, m, d)) {
        Day = d, Month = m, Year = y;
        return true;
    }
    size_t pos = 0;
    return ParseDateText(Text, DateFormat, pos, Year, Month, Day, current);
}

bool TryTextToDate(const std::wstring& DateFormat, const std::wstring& Text, TDateTime& Value) {
    if (Text.empty()) {
        Value = NullDate;
        return true;
    }
    int d = 0, m = 0, y = 0;
    if (!ParseMaskedDate(DateFormat, Text, d, m, y)) return false;
    return classlib::TryEncodeDate(y, m, d, Value);
}

TDateTime TextToDate(const std::wstring& DateFormat, const std::wstring& Text) {
    TDateTime value = NullDate;
    if (!TryTextToDate(DateFormat, Text, value)) throw classlib::EConvertError(L"'" + Text + L"' is not a valid date");
    return value;
}

TDateTime TextToDateDefault(const std::wstring& DateFormat, const std::wstring& Text, TDateTime Default) {
    TDateTime value = NullDate;
    if (!TryTextToDate(DateFormat, Text, value)) return std::trunc(Default);
    return value;
}

std::wstring DefaultDateFormat(bool FourDigitYear) {
    switch (DateOrderOf(FormatSettings().ShortDateFormat)) {
        case TDateOrder::doMDY: return FourDigitYear ? L"MM/DD/YYYY" : L"MM/DD/YY";
        case TDateOrder::doDMY: return FourDigitYear ? L"DD/MM/YYYY" : L"DD/MM/YY";
        case TDateOrder::doYMD: return FourDigitYear ? L"YYYY/MM/DD" : L"YY/MM/DD";
    }
    return L"DD/MM/YYYY";
}

std::wstring DefaultDateMask(wchar_t Blank, bool FourDigitYear) {
    std::wstring mask;
    if (!FourDigitYear)
        mask = L"!99/99/99;1;";
    else if (DateOrderOf(FormatSettings().ShortDateFormat) == TDateOrder::doYMD)
        mask = L"!9999/99/99;1;";
    else
        mask = L"!99/99/9999;1;";
    return mask + Blank;
}

bool UseFourDigitYear() { return gFourDigitYear; }

void InitializeDateUtil() { gFourDigitYear = Upper(FormatSettings().ShortDateFormat).find(L"YYYY") != std::wstring::npos; }

}  // namespace widgets::kit
