// Dates typed and shown in the locale's order: exact texts in a day-month-year and a
// month-day-year locale (loaded by name, never by changing the prefix's user locale), two-digit
// years around the century window, leap days and the edit formats and masks.
#include <gtest/gtest.h>

#include "classlib/date_time.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "widgets/kit/date_util.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class DateUtilTest : public ::testing::Test {
protected:
    void SetUp() override { saved_ = FormatSettings(); }
    void TearDown() override {
        FormatSettings() = saved_;
        InitializeDateUtil();
    }
    static void Locale(const wchar_t* Name) {
        LoadFormatSettingsFromLocale(Name);
        InitializeDateUtil();
    }

private:
    TFormatSettings saved_;
};

TEST_F(DateUtilTest, LocalesGiveTheirOrderFormatAndNames) {
    Locale(L"en-US");
    EXPECT_EQ(DateOrderOf(FormatSettings().ShortDateFormat), TDateOrder::doMDY);
    EXPECT_EQ(DefaultDateFormat(true), L"MM/DD/YYYY");
    EXPECT_EQ(DefaultDateMask(L'_', true), L"!99/99/9999;1;_");
    EXPECT_EQ(FormatDateTime(FormatSettings().ShortDateFormat, EncodeDate(2000, 2, 29)), L"2/29/2000");
    EXPECT_EQ(FormatDateTime(L"MMMM, YYYY", EncodeDate(2006, 3, 5)), L"March, 2006");
    EXPECT_EQ(FormatDateTime(L"ddd dd/mm/yy", EncodeDate(2006, 3, 5)), L"Sun 05/03/06");

    Locale(L"en-GB");
    EXPECT_EQ(DateOrderOf(FormatSettings().ShortDateFormat), TDateOrder::doDMY);
    EXPECT_TRUE(UseFourDigitYear());
    EXPECT_EQ(DefaultDateFormat(true), L"DD/MM/YYYY");
    EXPECT_EQ(DefaultDateFormat(false), L"DD/MM/YY");
    EXPECT_EQ(DefaultDateMask(L' ', false), L"!99/99/99;1; ");
    EXPECT_EQ(FormatDateTime(FormatSettings().ShortDateFormat, EncodeDate(2000, 2, 29)), L"29/02/2000");

    Locale(L"fr-FR");
    EXPECT_EQ(FormatDateTime(L"MMMM, YYYY", EncodeDate(2006, 3, 5)), L"mars, 2006");
    EXPECT_EQ(FormatDateTime(L"dddd", EncodeDate(2006, 3, 5)), L"dimanche");
}

TEST_F(DateUtilTest, DayMonthYearTextsAndLeapDays) {
    Locale(L"en-GB");
    std::wstring fmt = DefaultDateFormat(true);
    EXPECT_EQ(TextToDate(fmt, L"29/02/2000"), EncodeDate(2000, 2, 29));
    EXPECT_EQ(TextToDate(fmt, L"01/12/2006"), EncodeDate(2006, 12, 1));
    TDateTime d = 1;
    EXPECT_FALSE(TryTextToDate(fmt, L"29/02/2001", d));
    EXPECT_FALSE(TryTextToDate(fmt, L"29/02/1900", d));
    EXPECT_FALSE(TryTextToDate(fmt, L"31/04/2006", d));
    EXPECT_FALSE(TryTextToDate(fmt, L"  /  /    ", d));
    try {
        TextToDate(fmt, L"30/02/2004");
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), L"'30/02/2004' is not a valid date");
    }
    // An empty text is the null date; a bad one gives the default cut to whole days.
    EXPECT_TRUE(TryTextToDate(fmt, L"", d));
    EXPECT_EQ(d, NullDate);
    EXPECT_EQ(TextToDateDefault(fmt, L"xx/yy/zzzz", EncodeDate(2006, 1, 2) + 0.75), EncodeDate(2006, 1, 2));
    // Typed freely (not in the mask's places) the text is read in the locale's order.
    int y = 0, m = 0, day = 0;
    EXPECT_TRUE(ParseMaskedDate(fmt, L"5/3/2006", day, m, y));
    EXPECT_EQ(day, 5);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(y, 2006);
}

TEST_F(DateUtilTest, MonthDayYearTexts) {
    Locale(L"en-US");
    std::wstring fmt = DefaultDateFormat(true);
    EXPECT_EQ(TextToDate(fmt, L"02/29/2000"), EncodeDate(2000, 2, 29));
    TDateTime d = 0;
    EXPECT_FALSE(TryTextToDate(fmt, L"29/02/2000", d));
    // Two numbers: month and day of the current year.
    size_t pos = 0;
    int y = 0, m = 0, day = 0;
    ASSERT_TRUE(ParseDateText(L"12/5", FormatSettings().ShortDateFormat, pos, y, m, day, 2006));
    EXPECT_EQ(y, 2006);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(day, 5);
    // Trailing text is refused.
    pos = 0;
    EXPECT_FALSE(ParseDateText(L"12/5/2006 x", FormatSettings().ShortDateFormat, pos, y, m, day, 2006));
    // Month names of the locale in a mask with MMM.
    EXPECT_EQ(TextToDate(L"DD-MMM-YYYY", L"05-MAR-2006"), EncodeDate(2006, 3, 5));
    EXPECT_FALSE(TryTextToDate(L"DD-MMM-YYYY", L"05-XYZ-2006", d));
    Locale(L"de-DE");
    // The locale's own separator.
    EXPECT_EQ(TextToDate(FormatSettings().ShortDateFormat, L"29.2.2000"), EncodeDate(2000, 2, 29));
}

TEST_F(DateUtilTest, TwoDigitYearsAroundTheWindow) {
    FormatSettings().TwoDigitYearCenturyWindow = 50;
    EXPECT_EQ(ExpandTwoDigitYear(5, 2006), 2005);
    EXPECT_EQ(ExpandTwoDigitYear(56, 2006), 1956);
    EXPECT_EQ(ExpandTwoDigitYear(55, 2006), 2055);
    EXPECT_EQ(ExpandTwoDigitYear(60, 2006), 1960);
    EXPECT_EQ(ExpandTwoDigitYear(100, 2006), 100);
    FormatSettings().TwoDigitYearCenturyWindow = 0;
    EXPECT_EQ(ExpandTwoDigitYear(99, 2006), 2099);
    FormatSettings().TwoDigitYearCenturyWindow = 50;
    Locale(L"en-GB");
    size_t pos = 0;
    int y = 0, m = 0, d = 0;
    ASSERT_TRUE(ParseDateText(L"05/03/60", L"dd/MM/yy", pos, y, m, d, 2006));
    EXPECT_EQ(y, 1960);
}

TEST_F(DateUtilTest, CalendarRulesAndYearFirstFormats) {
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2004));
    EXPECT_EQ(DaysInMonthOf(2004, 2), 29);
    EXPECT_EQ(DaysInMonthOf(2005, 2), 28);
    EXPECT_FALSE(IsValidYMD(0, 1, 1));
    EXPECT_FALSE(IsValidYMD(10000, 1, 1));
    EXPECT_TRUE(IsValidDateTime(EncodeDate(9999, 12, 31)));
    EXPECT_EQ(DayOfWeek(EncodeDate(2006, 1, 1)), 1);  // a Sunday
    EXPECT_EQ(DateOrderOf(L"yyyy-mm-dd"), TDateOrder::doYMD);
    EXPECT_EQ(DateOrderOf(L"gg ee/mm/dd"), TDateOrder::doYMD);
    EXPECT_EQ(DateOrderOf(L"---"), TDateOrder::doDMY);
    FormatSettings().ShortDateFormat = L"yyyy-MM-dd";
    FormatSettings().DateSeparator = L'-';
    InitializeDateUtil();
    EXPECT_TRUE(UseFourDigitYear());
    EXPECT_EQ(DefaultDateFormat(true), L"YYYY/MM/DD");
    EXPECT_EQ(DefaultDateMask(L'_', true), L"!9999/99/99;1;_");
    EXPECT_EQ(TextToDate(L"yyyy-MM-dd", L"2004-02-29"), EncodeDate(2004, 2, 29));
    FormatSettings().ShortDateFormat = L"d/M/yy";
    InitializeDateUtil();
    EXPECT_FALSE(UseFourDigitYear());
}

}  // namespace
