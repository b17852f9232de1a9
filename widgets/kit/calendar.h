// The kit's month calendar: a 7 x 7 grid (a row of day names over six week rows) that shows one
// month, selects its date's day, steps by day, month and year, and colours the weekend columns;
// and the borderless variant that the pop-up calendar holds.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/controls.h"
#include "classlib/date_time.h"
#include "widgets/kit/calendar_layout.h"

namespace widgets::kit {

class TKitCalendar : public classlib::TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TKitCalendar)
    explicit TKitCalendar(classlib::TComponent* AOwner);

    classlib::TDateTime CalendarDate() const { return date_; }
    // On a change: lays the month out again and fires OnChange.
    void SetCalendarDate(classlib::TDateTime Value);
    int Day() const;
    int Month() const;
    int Year() const;
    // Values below 1, a month above 12 or a day past the month are ignored; a new month keeps the
    // day within it. UseCurrentDate goes off, OnChange fires.
    void SetDay(int Value) { ChangeDate(2, Value); }
    void SetMonth(int Value) { ChangeDate(1, Value); }
    void SetYear(int Value) { ChangeDate(0, Value); }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value) { readOnly_ = Value; }
    TDayOfWeekName StartOfWeek() const { return startOfWeek_; }
    void SetStartOfWeek(TDayOfWeekName Value);
    TDaysOfWeek Weekends() const { return weekends_; }
    void SetWeekends(TDaysOfWeek Value);
    classlib::TColor WeekendColor() const { return weekendColor_; }
    void SetWeekendColor(classlib::TColor Value);
    bool UseCurrentDate() const { return useCurrentDate_; }
    // True takes today's date (without OnChange).
    void SetUseCurrentDate(bool Value);
    classlib::TColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(classlib::TColor Value);

    void PrevMonth() { SetCalendarDate(widgets::kit::PrevMonth(date_)); }
    void NextMonth() { SetCalendarDate(widgets::kit::NextMonth(date_)); }
    void PrevYear() { SetCalendarDate(widgets::kit::PrevYear(date_)); }
    void NextYear() { SetCalendarDate(widgets::kit::NextYear(date_)); }

    // Row 0: the short day name of the column; week rows: the day number, or "" outside the month.
    std::string CellText(int Col, int Row) const;
    int Col() const { return col_; }
    int Row() const { return row_; }
    // The cell at a client point (false outside the cells).
    bool MouseToCell(int X, int Y, int& ACol, int& ARow);
    RECT CellRect(int ACol, int ARow);
    int MonthOffset() const { return offset_; }

    classlib::TNotifyEvent OnChange;

    void Click() override;
    void CreateParams(classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    // The month of the date: day 1's column, the current day selected; repaints.
    void LayOutMonth();
    // Only while laying out or when not ReadOnly, and only on a cell that shows a day.
    virtual bool SelectCell(int ACol, int ARow);
    virtual void DrawCell(HDC DC, int ACol, int ARow, const RECT& Rect, bool Selected);
    void Paint() override;
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    // Grid lines: between columns, between week rows, under the day names.
    void SetGridLines(bool Vertical, bool Horizontal, bool FixedHorizontal);
    bool border_ = true;

private:
    void ChangeDate(int Part, int Value);
    void MoveTo(int ACol, int ARow);
    int ColWidth();
    int RowHeight();
    classlib::TDateTime date_;
    int offset_ = 1;
    bool readOnly_ = false;
    TDayOfWeekName startOfWeek_ = TDayOfWeekName::Mon;
    bool updating_ = false;
    bool useCurrentDate_ = true;
    TDaysOfWeek weekends_ = DayBit(TDayOfWeekName::Sun);
    classlib::TColor weekendColor_ = classlib::clRed;
    classlib::TColor fixedColor_ = classlib::clBtnFace;
    int col_ = 0, row_ = 1;
    bool vertLines_ = true, horzLines_ = true, fixedHorzLine_ = true;
};

// The pop-up's grid: no border, no tab stop, the parent's colour, only the line under the day
// names, today framed. It never takes the focus (the control is disabled) but its window takes
// the mouse.
class TLocCalendar : public TKitCalendar {
public:
    CLASSLIB_CLASS_NAME(TLocCalendar)
    explicit TLocCalendar(classlib::TComponent* AOwner);
    void CreateParams(classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void DrawCell(HDC DC, int ACol, int ARow, const RECT& Rect, bool Selected) override;
};

}  // namespace widgets::kit
