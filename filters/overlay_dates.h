// The overlay's dates: date-time values as days since 30 December 1899 with the time of day as the
// fraction, the computer clock in that form, and their formatting by the usual date specifiers.
#pragma once

#include <string>

namespace filters {

// The computer clock (local time).
double DateTimeNow();
// Formats a date-time by a format of the usual specifiers (d dd ddd dddd ddddd dddddd, m mm mmm mmmm,
// yy yyyy, h hh, n nn, s ss, z zzz, t tt, c, am/pm a/p ampm, / :, quoted text); names, separators
// and the ddddd/dddddd/t/tt forms come from the user's locale. An empty format, or a value that is
// no date between the years 1 and 9999, gives "".
std::wstring FormatOverlayDateTime(const std::wstring& format, double value);
// The day of the month of a date-time, 0 for a value that is no date.
int DayOfMonth(double value);

}  // namespace filters
