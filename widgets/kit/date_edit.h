// The kit's date edit: a masked edit for one date in the locale's day, month and year order, with a
// button that drops down the pop-up calendar (or opens the date dialog). An empty edit holds the
// null date 0.0.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/ansi_strings.h"
#include "classlib/date_time.h"
#include "widgets/kit/calendar_layout.h"
#include "widgets/kit/combo_edit.h"
#include "widgets/kit/popup_calendar.h"

namespace widgets::kit {

enum class TCalendarStyle { csPopup, csDialog };
enum class TYearDigits { dyDefault, dyFour, dyTwo };
using TExecDateDialog = std::function<void(classlib::TObject* Sender, classlib::TDateTime& Date, bool& Action)>;

class TCustomDateEdit : public TCustomComboEdit {
public:
    CLASSLIB_CLASS_NAME(TCustomDateEdit)
    explicit TCustomDateEdit(classlib::TComponent* AOwner);
    ~TCustomDateEdit() override;

    // The text's date; a text that is no date gives today (DefaultToday) or the null date.
    classlib::TDateTime Date();
    // The null date or no valid date: today (DefaultToday) or an empty text.
    void SetDate(classlib::TDateTime Value);
    // The edit format ("DD/MM/YYYY" ...) and the edit mask now in use.
    const std::wstring& DateFormat() const { return dateFormat_; }
    // Only blanks and date separators.
    bool TextIsBlank();
    // A text that is neither blank nor a date that can be (13/45/2026, a field left half typed) is
    // refused: the last valid date comes back, with the kit's beep, and the answer is false. Run
    // when the edit is left (unless CheckOnExit raises instead), and by owners before they use
    // the date.
    bool CheckDate();

    char BlanksChar() const { return blanksChar_; }
    void SetBlanksChar(char Value);
    classlib::TStrings* CalendarHints() { return &hints_; }
    TCalendarStyle CalendarStyle() const { return calendarStyle_; }
    void SetCalendarStyle(TCalendarStyle Value);
    bool CheckOnExit() const { return checkOnExit_; }
    void SetCheckOnExit(bool Value) { checkOnExit_ = Value; }
    bool DefaultToday() const { return defaultToday_; }
    void SetDefaultToday(bool Value) { defaultToday_ = Value; }
    const std::string& DialogTitle() const { return dialogTitle_; }
    void SetDialogTitle(const std::string& Value) { dialogTitle_ = Value; }
    classlib::TColor PopupColor() const;
    void SetPopupColor(classlib::TColor Value);
    TDayOfWeekName StartOfWeek() const { return startOfWeek_; }
    void SetStartOfWeek(TDayOfWeekName Value);
    TDaysOfWeek Weekends() const { return weekends_; }
    void SetWeekends(TDaysOfWeek Value);
    classlib::TColor WeekendColor() const { return weekendColor_; }
    void SetWeekendColor(classlib::TColor Value);
    TYearDigits YearDigits() const { return yearDigits_; }
    void SetYearDigits(TYearDigits Value);
    TPopupCalendar* Calendar() const { return calendar_; }

    TExecDateDialog OnAcceptDate;

    void ButtonClick() override;
    void CreateWnd() override;

protected:
    HBITMAP GetDefaultBitmap(bool& FreeIt) override;
    void AcceptValue(const TPopupValue& Value) override;
    void Change() override;
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void DoEnter() override;
    void DoExit() override;
    // The beep of a refused text.
    virtual void RefusalBeep();
    // Sets the date and selects the text (when typing is allowed).
    virtual void ApplyDate(classlib::TDateTime Value);
    // The format and mask of the locale and year digits, keeping the date.
    virtual void UpdateMask();

private:
    bool FourDigitYear() const;
    void UpdateCalendar();
    std::string FormatDate(classlib::TDateTime Value) const;
    // The text's date when it holds one (the null date when blank); false for any other text.
    bool TextDate(classlib::TDateTime& Value);

    char blanksChar_ = ' ';
    classlib::TStringList hints_;
    TCalendarStyle calendarStyle_ = TCalendarStyle::csPopup;
    bool checkOnExit_ = false;
    bool defaultToday_ = false;
    std::string dialogTitle_ = "Select a Date";
    TDayOfWeekName startOfWeek_ = TDayOfWeekName::Mon;
    TDaysOfWeek weekends_ = DayBit(TDayOfWeekName::Sun);
    classlib::TColor weekendColor_ = classlib::clRed;
    TYearDigits yearDigits_ = TYearDigits::dyDefault;
    classlib::TColor popupColor_ = classlib::clBtnFace;
    std::wstring dateFormat_;
    bool formatting_ = false;
    // The date of the last text that was one, as a refused text gets it back: set with the date,
    // by texts that come while the edit is not being typed in, and when it is entered or left.
    classlib::TDateTime lastValid_ = 0.0;  // the null date
    TPopupCalendar* calendar_ = nullptr;
};

class TDateEdit : public TCustomDateEdit {
public:
    CLASSLIB_CLASS_NAME(TDateEdit)
    explicit TDateEdit(classlib::TComponent* AOwner);
};

}  // namespace widgets::kit
