// The kit's date routines: calendar arithmetic and checks, dates typed in the locale's short date
// order with two-digit years expanded, the date edits' default formats and edit masks, and the
// process-wide four-digit-year flag. Locale values come from the class library's FormatSettings.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/date_time.h"

namespace widgets::kit {

using classlib::TDateTime;

// The order of day, month and year in a date format.
enum class TDateOrder { doMDY = 0, doDMY = 1, doYMD = 2 };

constexpr TDateTime NullDate = 0.0;

bool IsLeapYear(int Year);
int DaysInMonthOf(int Year, int Month);
// Year 1 to 9999, month 1 to 12, day within that month.
bool IsValidYMD(int Year, int Month, int Day);
bool IsValidDateTime(TDateTime Value);
// The year of the local clock.
int LocalYear();
// By the first D (day first), E or Y (year first) or M (month first) of the format, read without
// case; day first when it has none.
TDateOrder DateOrderOf(const std::wstring& DateFormat);
// A year below 100 is placed within the century window around CurrentYear (FormatSettings'
// TwoDigitYearCenturyWindow); years from 100 on are kept.
int ExpandTwoDigitYear(int Year, int CurrentYear);
int ExpandTwoDigitYear(int Year);
// Reads "N1<sep>N2[<sep>N3]" from Pos in the format's order (two numbers: the current year);
// true when the date is valid and the whole text was read. Pos is a 0-based index.
bool ParseDateText(const std::wstring& Text, const std::wstring& DateFormat, size_t& Pos, int& Year, int& Month,
                   int& Day);
bool ParseDateText(const std::wstring& Text, const std::wstring& DateFormat, size_t& Pos, int& Year, int& Month,
                   int& Day, int CurrentYear);
// The month (1 to 12) whose short name starts like the first Length characters of Text, without
// case; 0 when none does.
int MonthFromName(const std::wstring& Text, size_t Length);
// Reads the fields where the edit format (DD/MM/YYYY, ...) puts them; falls back to
// ParseDateText when they do not make a valid date.
bool ParseMaskedDate(const std::wstring& DateFormat, const std::wstring& Text, int& Day, int& Month, int& Year);
// Empty text: the null date. False when the text is no valid date.
bool TryTextToDate(const std::wstring& DateFormat, const std::wstring& Text, TDateTime& Value);
// Raises EConvertError "'<text>' is not a valid date".
TDateTime TextToDate(const std::wstring& DateFormat, const std::wstring& Text);
// The default, cut to whole days, when the text is no valid date.
TDateTime TextToDateDefault(const std::wstring& DateFormat, const std::wstring& Text, TDateTime Default);
// "MM/DD/YYYY", "DD/MM/YYYY" or "YYYY/MM/DD" (two-digit years: "YY") by the locale's order.
std::wstring DefaultDateFormat(bool FourDigitYear);
// The edit mask of DefaultDateFormat, with Blank as the blank character.
std::wstring DefaultDateMask(wchar_t Blank, bool FourDigitYear);

// Whether the locale's short date format writes four-digit years: set at the kit's start-up
// (InitializeDateUtil) from FormatSettings, read by the date edits and calendars.
bool UseFourDigitYear();
void InitializeDateUtil();

}  // namespace widgets::kit
