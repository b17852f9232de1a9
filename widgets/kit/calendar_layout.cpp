#include "widgets/kit/calendar_layout.h"

#include <algorithm>
#include <cmath>

#include "widgets/kit/date_util.h"

namespace widgets::kit {

using classlib::TDateTime;

int FirstDayColumn(TDateTime Date, TDayOfWeekName StartOfWeek) {
    WORD y = 0, m = 0, d = 0;
    classlib::DecodeDate(Date, y, m, d);
    int weekday = classlib::DayOfWeek(classlib::EncodeDate(y, m, 1));  // Sunday 1 .. Saturday 7
    // C++'s % keeps the sign of a negative left side: bring it back into 0..6.
    int col = (weekday - 1 - static_cast<int>(StartOfWeek)) % 7;
    return col < 0 ? col + 7 : col;
}

int MonthOffset(TDateTime Date, TDayOfWeekName StartOfWeek) { return 1 - FirstDayColumn(Date, StartOfWeek); }

int CellDay(int Col, int Row, int Offset, int DaysInMonth) {
    if (Row < 1) return 0;
    int day = Col + Offset + (Row - 1) * 7;
    return day >= 1 && day <= DaysInMonth ? day : 0;
}

void DayCell(int Day, int Offset, int& Col, int& Row) {
    int n = Day - Offset;  // never negative: Offset is at most 1
    Col = n % 7;
    Row = n / 7 + 1;
}

TDayOfWeekName ColumnWeekday(int Col, TDayOfWeekName StartOfWeek) {
    return static_cast<TDayOfWeekName>((static_cast<int>(StartOfWeek) + Col) % 7);
}

namespace {

TDateTime Rebuild(int Year, int Month, int Day, TDateTime Time) {
    Day = std::min(Day, DaysInMonthOf(Year, Month));
    return classlib::EncodeDate(Year, Month, Day) + (Time - std::floor(Time));
}

}  // namespace

TDateTime NextMonth(TDateTime Date) {
    WORD y = 0, m = 0, d = 0;
    classlib::DecodeDate(Date, y, m, d);
    int ny = m == 12 ? y + 1 : y, nm = m == 12 ? 1 : m + 1;
    if (ny > 9999) return Date;
    return Rebuild(ny, nm, d, Date);
}

TDateTime PrevMonth(TDateTime Date) {
    WORD y = 0, m = 0, d = 0;
    classlib::DecodeDate(Date, y, m, d);
    int ny = m == 1 ? y - 1 : y, nm = m == 1 ? 12 : m - 1;
    if (ny < 1) return Date;
    return Rebuild(ny, nm, d, Date);
}

TDateTime NextYear(TDateTime Date) {
    WORD y = 0, m = 0, d = 0;
    classlib::DecodeDate(Date, y, m, d);
    if (y >= 9999) return Date;
    return Rebuild(y + 1, m, m == 2 && d == 29 ? 28 : d, Date);
}

TDateTime PrevYear(TDateTime Date) {
    WORD y = 0, m = 0, d = 0;
    classlib::DecodeDate(Date, y, m, d);
    if (y <= 1) return Date;
    return Rebuild(y - 1, m, m == 2 && d == 29 ? 28 : d, Date);
}

}  // namespace widgets::kit
