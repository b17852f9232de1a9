// Dates and times of the class library: a date-time is a double counting days from 30 December
// 1899 (the fraction is the time of day); encoding, decoding, today and now, the weekday, and
// FormatDateTime with the locale's names from FormatSettings.
#pragma once

#include <windows.h>

#include <string>

namespace classlib {

using TDateTime = double;

// Years 1 to 9999; false for any other date.
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
// Raises EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime Date, WORD& Year, WORD& Month, WORD& Day);
void DecodeTime(TDateTime Time, WORD& Hour, WORD& Min, WORD& Sec, WORD& MSec);
// 1 for Sunday to 7 for Saturday.
int DayOfWeek(TDateTime Date);
// Today at midnight, and now, in local time.
TDateTime Date();
TDateTime Now();

// d dd ddd dddd (day, with names), ddddd (the short date format), m mm mmm mmmm (month, with
// names; after h or hh it means minutes), yy yyyy, h hh, n nn, s ss, am/pm and ampm, "/" (the
// date separator), ":" (the time separator), quoted text; letters are read without case.
std::wstring FormatDateTime(const std::wstring& Format, TDateTime DateTime);

}  // namespace classlib
