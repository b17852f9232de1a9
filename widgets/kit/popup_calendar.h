// The calendar a date edit drops down (a month grid under a title and four repeating navigation
// buttons) and the modal date dialog with the routine that runs it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "classlib/forms.h"
#include "classlib/panels.h"
#include "classlib/std_buttons.h"
#include "classlib/std_label.h"
#include "widgets/kit/calendar.h"
#include "widgets/kit/combo_edit.h"

namespace widgets::kit {

// The pop-up calendar's size: 187 x 124 unless configured otherwise, never below 180 x 120.
SIZE PopupCalendarSize();
void SetPopupCalendarSize(int Width, int Height);

class TPopupCalendar : public TPopupWindow {
public:
    CLASSLIB_CLASS_NAME(TPopupCalendar)
    explicit TPopupCalendar(TCustomComboEdit* Editor);

    // The grid's date (today's while designing).
    TPopupValue GetValue() override;
    // A text that converts to a date (in the edit format of the four-digit-year flag), or a
    // date, becomes the grid's date; anything else gives today.
    void SetValue(const TPopupValue& Value) override;
    // Settings from the date edit; Hints are the buttons' hints in the order previous year,
    // previous month, next month, next year (empty lines keep the defaults).
    void SetSettings(TDayOfWeekName StartOfWeek, TDaysOfWeek Weekends, classlib::TColor WeekendColor,
                     bool FourDigitYear, const std::vector<std::string>& Hints);
    bool FourDigitYear() const { return fourDigitYear_; }
    TLocCalendar* Calendar() const { return calendar_; }
    classlib::TLabel* TitleLabel() const { return title_; }
    // 0 previous year, 1 previous month, 2 next month, 3 next year.
    TKitTimerSpeedButton* NavButton(int Index) const { return buttons_[Index]; }

protected:
    // Page Up and Page Down step by month (by year with Ctrl); the rest goes to the grid.
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    void KeyPress(char& Key) override;

private:
    void UpdateTitle();
    TLocCalendar* calendar_ = nullptr;
    classlib::TLabel* title_ = nullptr;
    TKitTimerSpeedButton* buttons_[4] = {};
    bool fourDigitYear_ = false;
};

// Creates the pop-up for an edit; off 96 pixels per inch it is scaled to the screen.
TPopupCalendar* NewPopupCalendar(TCustomComboEdit* Owner, classlib::TBiDiMode BiDiMode);

class TSelectDateDlg : public classlib::TForm {
public:
    CLASSLIB_CLASS_NAME(TSelectDateDlg)
    explicit TSelectDateDlg(classlib::TComponent* AOwner);
    TKitCalendar* Calendar() const { return calendar_; }
    classlib::TLabel* TitleLabel() const { return title_; }
    TKitTimerSpeedButton* NavButton(int Index) const { return buttons_[Index]; }
    classlib::TButton* OkButton() const { return ok_; }
    classlib::TButton* CancelButton() const { return cancel_; }

protected:
    // Escape cancels, Enter accepts, Tab and Shift+Tab step by month, Page Up and Page Down as in
    // the pop-up.
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    // Tab reaches the form as a dialog key (the focus rule) before any key event: here it steps
    // the month instead of moving the focus.
    void Dispatch(classlib::TMessage& Message) override;

private:
    void UpdateTitle();
    TKitCalendar* calendar_ = nullptr;
    classlib::TPanel* top_ = nullptr;
    classlib::TLabel* title_ = nullptr;
    TKitTimerSpeedButton* buttons_[4] = {};
    classlib::TButton* ok_ = nullptr;
    classlib::TButton* cancel_ = nullptr;
};

// Runs the date dialog (a null Date means today); OK stores the chosen date and answers true.
bool RunDateDialog(classlib::TDateTime& Date, const std::string& Title, TDayOfWeekName StartOfWeek,
                   TDaysOfWeek Weekends, classlib::TColor WeekendColor, const std::vector<std::string>& Hints);

}  // namespace widgets::kit
