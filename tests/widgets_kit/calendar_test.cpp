// The month calendar, the pop-up calendar under a combo edit and the date dialog: cells and
// weekend colours, day, month and year steps by setters, keys and clicks, picking a day in the
// pop-up (an empty cell picks nothing), and the dialog run by its keys.
#include <cmath>

#include "classlib/format.h"
#include "classlib/forms.h"
#include "kit_test_support.h"
#include "widgets/kit/calendar.h"
#include "widgets/kit/date_util.h"
#include "widgets/kit/popup_calendar.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class CalendarTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        saved_ = FormatSettings();
        LoadFormatSettingsFromLocale(L"en-GB");
        InitializeDateUtil();
        form = ShownForm(400, 300);
    }
    void TearDown() override {
        FormatSettings() = saved_;
        InitializeDateUtil();
        KitTest::TearDown();
    }
    // A left click in the middle of a cell of a calendar's window.
    static void ClickCell(TKitCalendar* Cal, int Col, int Row) {
        RECT r = Cal->CellRect(Col, Row);
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(Cal->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(Cal->Handle(), WM_LBUTTONUP, 0, at);
    }
    TForm* form = nullptr;
    TFormatSettings saved_;
};

TEST_F(CalendarTest, MonthGridCellsAndWeekendColours) {
    auto* cal = new TKitCalendar(form);
    cal->SetParent(form);
    cal->SetBounds(10, 10, 7 * 30 + 6, 7 * 16 + 6);
    int changes = 0;
    cal->OnChange = [&](TObject*) { ++changes; };
    cal->SetCalendarDate(EncodeDate(2006, 1, 17));  // 1 January 2006 is a Sunday
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(cal->CellText(0, 0), "Mon");
    EXPECT_EQ(cal->CellText(6, 0), "Sun");
    EXPECT_EQ(cal->CellText(5, 1), "");
    EXPECT_EQ(cal->CellText(6, 1), "1");
    EXPECT_EQ(cal->CellText(0, 2), "2");
    EXPECT_EQ(cal->Col(), 1);  // the 17th: a Tuesday of the fourth week row
    EXPECT_EQ(cal->Row(), 4);
    cal->SetStartOfWeek(TDayOfWeekName::Sun);
    EXPECT_EQ(cal->CellText(0, 1), "1");
    cal->SetStartOfWeek(TDayOfWeekName::Mon);
    // Sunday's column in the weekend colour, the others not.
    cal->SetWeekendColor(RGB(200, 0, 0));
    kittest::TSnapshot s = kittest::Snapshot(cal);
    RECT sunday = cal->CellRect(6, 2), monday = cal->CellRect(0, 2);
    int redInSunday = 0, redInMonday = 0;
    for (int y = sunday.top; y < sunday.bottom; ++y)
        for (int x = sunday.left; x < sunday.right; ++x) redInSunday += s.At(x, y) == RGB(200, 0, 0);
    for (int y = monday.top; y < monday.bottom; ++y)
        for (int x = monday.left; x < monday.right; ++x) redInMonday += s.At(x, y) == RGB(200, 0, 0);
    EXPECT_GT(redInSunday, 0);
    EXPECT_EQ(redInMonday, 0);
    // The selected day is drawn selected.
    RECT sel = cal->CellRect(cal->Col(), cal->Row());
    EXPECT_EQ(s.At(sel.left + 1, sel.top + 1), ColorToRGB(clHighlight));
}

TEST_F(CalendarTest, DayMonthYearSettersKeysAndClicks) {
    auto* cal = new TKitCalendar(form);
    cal->SetParent(form);
    cal->SetBounds(10, 10, 216, 118);
    cal->SetCalendarDate(EncodeDate(2005, 1, 31));
    int changes = 0;
    cal->OnChange = [&](TObject*) { ++changes; };
    cal->SetMonth(2);
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2005, 2, 28));
    EXPECT_FALSE(cal->UseCurrentDate());
    cal->SetDay(29);  // past February 2005: ignored
    cal->SetDay(0);
    cal->SetMonth(13);
    cal->SetMonth(2);  // unchanged
    EXPECT_EQ(changes, 1);
    cal->NextYear();
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 2, 28));
    // Right at the month's end goes on to the next month; Left at day 1 back.
    SendMessageA(cal->Handle(), WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 3, 1));
    SendMessageA(cal->Handle(), WM_KEYDOWN, VK_SUBTRACT, 0);
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 2, 28));
    SendMessageA(cal->Handle(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 2, 21));
    SendMessageA(cal->Handle(), WM_CHAR, 't', 0);
    EXPECT_EQ(cal->CalendarDate(), std::trunc(Date()));
    // A click on a day cell picks it; on an empty cell nothing.
    cal->SetCalendarDate(EncodeDate(2006, 1, 17));
    ClickCell(cal, 0, 2);
    EXPECT_EQ(cal->Day(), 2);
    ClickCell(cal, 0, 1);
    EXPECT_EQ(cal->Day(), 2);
    cal->SetReadOnly(true);
    ClickCell(cal, 3, 3);
    EXPECT_EQ(cal->Day(), 2);
}

// A combo edit that keeps the accepted value (the date edits format it as a date).
class TDateHolder : public TCustomComboEdit {
public:
    using TCustomComboEdit::TCustomComboEdit;
    TPopupValue accepted;
    int accepts = 0;

protected:
    void AcceptValue(const TPopupValue& Value) override {
        accepted = Value;
        ++accepts;
    }
};

TEST_F(CalendarTest, PopupPicksADayAndNavigates) {
    auto* edit = new TDateHolder(form);
    edit->SetParent(form);
    edit->SetBounds(10, 10, 120, 21);
    TPopupCalendar* popup = NewPopupCalendar(edit, TBiDiMode::bdLeftToRight);
    edit->SetPopup(popup);
    EXPECT_EQ(popup->Width(), 187);
    EXPECT_EQ(popup->Height(), 124);
    EXPECT_TRUE(popup->FourDigitYear());
    edit->SetText("05/03/2006");  // day first in this locale
    edit->ButtonClick();
    ASSERT_TRUE(edit->PopupVisible());
    TLocCalendar* cal = popup->Calendar();
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 3, 5));
    EXPECT_EQ(popup->TitleLabel()->Caption(), "March, 2006");
    // The next-month button, then Page Up back.
    HWND top = popup->NavButton(2)->Parent()->Handle();
    TControl* next = popup->NavButton(2);
    SendMessageA(top, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(next->Left() + 5, next->Top() + 5));
    SendMessageA(top, WM_LBUTTONUP, 0, MAKELPARAM(next->Left() + 5, next->Top() + 5));
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 4, 5));
    EXPECT_EQ(popup->TitleLabel()->Caption(), "April, 2006");
    popup->Perform(WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_EQ(cal->CalendarDate(), EncodeDate(2006, 3, 5));
    // An empty cell: nothing chosen, still open.
    ClickCell(cal, 0, 1);  // 1 March 2006 is a Wednesday: Monday of the first row is empty
    EXPECT_TRUE(edit->PopupVisible());
    EXPECT_EQ(cal->Day(), 5);
    // A day: picked and accepted.
    ClickCell(cal, 2, 2);
    EXPECT_FALSE(edit->PopupVisible());
    EXPECT_EQ(edit->accepts, 1);
    ASSERT_TRUE(std::holds_alternative<double>(edit->accepted));
    EXPECT_EQ(std::get<double>(edit->accepted), EncodeDate(2006, 3, 8));
    // A text that is no date opens on today.
    edit->SetText("xx");
    edit->ButtonClick();
    EXPECT_EQ(cal->CalendarDate(), std::trunc(Date()));
    edit->PopupCloseUp(false);
    EXPECT_EQ(edit->accepts, 1);
}

TEST_F(CalendarTest, PopupFramesToday) {
    auto* edit = new TDateHolder(form);
    edit->SetParent(form);
    TPopupCalendar* popup = NewPopupCalendar(edit, TBiDiMode::bdLeftToRight);
    edit->SetPopup(popup);
    edit->ButtonClick();
    TLocCalendar* cal = popup->Calendar();
    // Select another day so that today's cell is drawn unselected, with its frame.
    cal->SetDay(cal->Day() == 1 ? 2 : 1);
    int c = 0, r = 0;
    DayCell(static_cast<int>(std::lround(std::trunc(Date()) - EncodeDate(cal->Year(), cal->Month(), 1))) + 1,
            cal->MonthOffset(), c, r);
    kittest::TSnapshot s = kittest::Snapshot(cal);
    RECT today = cal->CellRect(c, r);
    EXPECT_EQ(s.At(today.left, today.top + 2), ColorToRGB(clBtnShadow));
    EXPECT_EQ(s.At(today.right - 1, today.top + 2), ColorToRGB(clBtnHighlight));
    edit->PopupCloseUp(false);
}

// Answers the date dialog from a timer of the modal loop with the given keys.
std::vector<WORD> gDialogKeys;

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR Id, DWORD) {
    HWND dlg = FindWindowA("TSelectDateDlg", nullptr);
    if (dlg == nullptr || !IsWindowVisible(dlg)) return;
    KillTimer(nullptr, Id);
    HWND grid = FindWindowExA(dlg, nullptr, "TKitCalendar", nullptr);
    for (WORD k : gDialogKeys) SendMessageA(grid != nullptr ? grid : dlg, WM_KEYDOWN, k, 0);
}

TEST_F(CalendarTest, DateDialogRunsByItsKeys) {
    TDateTime d = EncodeDate(2006, 1, 31);
    gDialogKeys = {VK_NEXT, VK_TAB, VK_PRIOR, VK_PRIOR, VK_RETURN};
    SetTimer(nullptr, 0, 20, &AnswerDialog);
    ASSERT_TRUE(RunDateDialog(d, "", TDayOfWeekName::Mon, DayBit(TDayOfWeekName::Sun), clRed, {}));
    // Next month (28 February), Tab next (28 March), two months back: 28 January.
    EXPECT_EQ(d, EncodeDate(2006, 1, 28));
    gDialogKeys = {VK_NEXT, VK_ESCAPE};
    SetTimer(nullptr, 0, 20, &AnswerDialog);
    EXPECT_FALSE(RunDateDialog(d, "Pick", TDayOfWeekName::Mon, 0, clRed, {}));
    EXPECT_EQ(d, EncodeDate(2006, 1, 28));
    // A null date opens on today.
    TDateTime none = NullDate;
    gDialogKeys = {VK_RETURN};
    SetTimer(nullptr, 0, 20, &AnswerDialog);
    ASSERT_TRUE(RunDateDialog(none, "", TDayOfWeekName::Sun, 0, clRed, {}));
    EXPECT_EQ(none, std::trunc(Date()));
}

// Keys as the keyboard gives them: posted to the dialog's grid and served by the modal loop, where
// Tab reaches the dialog as a dialog key before any key event.
void CALLBACK PostDialogKeys(HWND, UINT, UINT_PTR Id, DWORD) {
    HWND dlg = FindWindowA("TSelectDateDlg", nullptr);
    if (dlg == nullptr || !IsWindowVisible(dlg)) return;
    KillTimer(nullptr, Id);
    HWND grid = FindWindowExA(dlg, nullptr, "TKitCalendar", nullptr);
    for (WORD k : gDialogKeys) {
        PostMessageA(grid != nullptr ? grid : dlg, WM_KEYDOWN, k, 1);
        PostMessageA(grid != nullptr ? grid : dlg, WM_KEYUP, k, static_cast<LPARAM>(0xC0000001));
    }
}

TEST_F(CalendarTest, TabTypedInTheDateDialogStepsTheMonthInsteadOfTheFocus) {
    TDateTime d = EncodeDate(2006, 1, 15);
    gDialogKeys = {VK_TAB, VK_TAB, VK_RETURN};
    SetTimer(nullptr, 0, 20, &PostDialogKeys);
    ASSERT_TRUE(RunDateDialog(d, "", TDayOfWeekName::Mon, DayBit(TDayOfWeekName::Sun), clRed, {}));
    EXPECT_EQ(d, EncodeDate(2006, 3, 15));
}

}  // namespace
