// The calendar's month layout for months starting on each weekday and each first day of the week,
// and stepping by month and year at month ends and leap days.
#include <gtest/gtest.h>

#include "classlib/date_time.h"
#include "widgets/kit/calendar_layout.h"
#include "widgets/kit/date_util.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

TEST(CalendarLayout, DayOneStandsUnderItsWeekdayForEveryStart) {
    // May 2006 begins on a Monday, so these seven months begin on each weekday in turn.
    const int months[7][2] = {{2006, 1}, {2006, 5}, {2006, 8}, {2006, 11}, {2006, 6}, {2006, 9}, {2006, 4}};
    for (int start = 0; start < 7; ++start) {
        for (const auto& ym : months) {
            TDateTime d = EncodeDate(ym[0], ym[1], 17);
            int weekday1 = DayOfWeek(EncodeDate(ym[0], ym[1], 1)) - 1;  // Sunday 0
            int col = FirstDayColumn(d, static_cast<TDayOfWeekName>(start));
            ASSERT_GE(col, 0);
            ASSERT_LE(col, 6);
            EXPECT_EQ(static_cast<int>(ColumnWeekday(col, static_cast<TDayOfWeekName>(start))), weekday1)
                << ym[0] << "-" << ym[1] << " start " << start;
            // Every day of the month in one cell, in order, in rows 1 to 6.
            int offset = MonthOffset(d, static_cast<TDayOfWeekName>(start));
            int days = DaysInMonthOf(ym[0], ym[1]), seen = 0;
            for (int row = 1; row <= 6; ++row)
                for (int c = 0; c < 7; ++c) {
                    int day = CellDay(c, row, offset, days);
                    if (day == 0) continue;
                    EXPECT_EQ(day, ++seen);
                    int cc = 0, rr = 0;
                    DayCell(day, offset, cc, rr);
                    EXPECT_EQ(cc, c);
                    EXPECT_EQ(rr, row);
                }
            EXPECT_EQ(seen, days);
        }
    }
    // With the week starting on Monday, a month beginning on Sunday shows day 1 in the last column.
    EXPECT_EQ(FirstDayColumn(EncodeDate(2006, 1, 1), TDayOfWeekName::Mon), 6);
    EXPECT_EQ(FirstDayColumn(EncodeDate(2006, 5, 1), TDayOfWeekName::Mon), 0);
    EXPECT_EQ(CellDay(5, 1, MonthOffset(EncodeDate(2006, 1, 1), TDayOfWeekName::Mon), 31), 0);
    EXPECT_EQ(CellDay(6, 1, MonthOffset(EncodeDate(2006, 1, 1), TDayOfWeekName::Mon), 31), 1);
}

TEST(CalendarLayout, SteppingKeepsTheDayInTheMonth) {
    EXPECT_EQ(NextMonth(EncodeDate(2005, 1, 31)), EncodeDate(2005, 2, 28));
    EXPECT_EQ(NextMonth(EncodeDate(2004, 1, 31)), EncodeDate(2004, 2, 29));
    EXPECT_EQ(PrevMonth(EncodeDate(2005, 3, 31)), EncodeDate(2005, 2, 28));
    EXPECT_EQ(NextMonth(EncodeDate(2005, 12, 15)), EncodeDate(2006, 1, 15));
    EXPECT_EQ(PrevMonth(EncodeDate(2006, 1, 15)), EncodeDate(2005, 12, 15));
    EXPECT_EQ(NextYear(EncodeDate(2004, 2, 29)), EncodeDate(2005, 2, 28));
    EXPECT_EQ(PrevYear(EncodeDate(2004, 2, 29)), EncodeDate(2003, 2, 28));
    EXPECT_EQ(NextYear(EncodeDate(9999, 6, 1)), EncodeDate(9999, 6, 1));
    EXPECT_EQ(PrevMonth(EncodeDate(1, 1, 5)), EncodeDate(1, 1, 5));
}

}  // namespace
