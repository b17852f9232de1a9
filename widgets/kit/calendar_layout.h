// The month arithmetic of the kit's calendars: where day 1 of a month stands in a 7-column week
// grid for a chosen first weekday, what each cell shows, and stepping by month and year with the
// day kept within the month.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/date_time.h"

namespace widgets::kit {

enum class TDayOfWeekName { Sun, Mon, Tue, Wed, Thu, Fri, Sat };
// A set of weekdays (bit 1 << day).
using TDaysOfWeek = std::uint8_t;
constexpr TDaysOfWeek DayBit(TDayOfWeekName Day) { return static_cast<TDaysOfWeek>(1u << static_cast<unsigned>(Day)); }

// The grid column (0 to 6) of day 1 of Date's month when column 0 is StartOfWeek.
int FirstDayColumn(classlib::TDateTime Date, TDayOfWeekName StartOfWeek);
// 1 minus that column: the day number of column 0 of the first week row.
int MonthOffset(classlib::TDateTime Date, TDayOfWeekName StartOfWeek);
// The day shown in a cell of a week row (Row 1 to 6) for a month with that offset; 0 when the
// cell lies before day 1 or past the month's last day.
int CellDay(int Col, int Row, int Offset, int DaysInMonth);
// The cell of a day: column and week row (1 to 6).
void DayCell(int Day, int Offset, int& Col, int& Row);
// The weekday shown above a column: (StartOfWeek + Col) mod 7, Sunday first.
TDayOfWeekName ColumnWeekday(int Col, TDayOfWeekName StartOfWeek);

// The neighbouring month with the day kept (cut to that month's length): 31 January gives 28 or
// 29 February.
classlib::TDateTime NextMonth(classlib::TDateTime Date);
classlib::TDateTime PrevMonth(classlib::TDateTime Date);
// The same day a year later or earlier; 29 February becomes the 28th first.
classlib::TDateTime NextYear(classlib::TDateTime Date);
classlib::TDateTime PrevYear(classlib::TDateTime Date);

}  // namespace widgets::kit
