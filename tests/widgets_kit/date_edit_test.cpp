// The date edit: the null date of an empty edit, keypad + and - and "t", the locale's order in the
// mask and a change of the system's short date format, the pop-up calendar's one OnChange, and the
// check when the edit is left.
#include <cmath>

#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "kit_test_support.h"
#include "widgets/kit/date_edit.h"
#include "widgets/kit/date_util.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

class DateEditTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm();
        edit = new TDateEdit(form);
        edit->SetParent(form);
        edit->SetBounds(10, 10, 120, 21);
        edit->OnChange = [this](TObject*) { ++changes; };
        edit->SetFocus();
    }
    void Key(WORD Vk) { SendMessageA(edit->Handle(), WM_KEYDOWN, Vk, 1); }
    void Char(char C) { SendMessageA(edit->Handle(), WM_CHAR, static_cast<unsigned char>(C), 1); }
    TForm* form = nullptr;
    TDateEdit* edit = nullptr;
    int changes = 0;
};

TEST_F(DateEditTest, EmptyEditHoldsTheNullDate) {
    EXPECT_EQ(edit->Date(), NullDate);
    EXPECT_TRUE(edit->TextIsBlank());
    edit->SetDate(EncodeDate(2006, 5, 12));
    EXPECT_EQ(edit->Date(), EncodeDate(2006, 5, 12));
    edit->SetDate(NullDate);
    EXPECT_TRUE(edit->TextIsBlank());
    EXPECT_EQ(edit->Date(), NullDate);
    edit->SetDefaultToday(true);
    EXPECT_EQ(edit->Date(), std::trunc(Date()));
    edit->SetDate(-1e9);  // no valid date
    EXPECT_EQ(edit->Date(), std::trunc(Date()));
}

TEST_F(DateEditTest, KeypadAndTodayKeys) {
    TDateTime today = std::trunc(Date());
    Key(VK_ADD);  // empty: now + 1 day
    EXPECT_EQ(edit->Date(), today + 1);
    Key(VK_SUBTRACT);
    Key(VK_SUBTRACT);
    EXPECT_EQ(edit->Date(), today - 1);
    Char('+');  // swallowed
    EXPECT_EQ(edit->Date(), today - 1);
    Char('t');
    EXPECT_EQ(edit->Date(), today);
    EXPECT_GE(changes, 3);
}

TEST_F(DateEditTest, MaskFollowsTheLocaleAndItsChanges) {
    std::wstring format = DefaultDateFormat(UseFourDigitYear());
    EXPECT_EQ(edit->DateFormat(), format);
    EXPECT_EQ(edit->EditMask(), WideToAnsi(DefaultDateMask(' ', UseFourDigitYear())));
    edit->SetYearDigits(TYearDigits::dyFour);
    TDateTime d = EncodeDate(2006, 5, 12);
    edit->SetDate(d);
    std::string expected = DateOrderOf(FormatSettings().ShortDateFormat) == TDateOrder::doMDY ? "05/12/2006"
                           : DateOrderOf(FormatSettings().ShortDateFormat) == TDateOrder::doDMY ? "12/05/2006"
                                                                                                 : "2006/05/12";
    EXPECT_EQ(edit->Text(), expected);
    // The user picks another short date order: the text follows, the date stays.
    wchar_t old[80] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, old, 80);
    const wchar_t* other = DateOrderOf(FormatSettings().ShortDateFormat) == TDateOrder::doDMY ? L"yyyy-MM-dd" : L"dd/MM/yyyy";
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, other));
    SendMessageA(Application()->Handle(), WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    std::string now = edit->Text();
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, old);
    SendMessageA(Application()->Handle(), WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    EXPECT_NE(now, expected);
    EXPECT_EQ(now, other[0] == L'y' ? "2006/05/12" : "12/05/2006");
    EXPECT_EQ(edit->Date(), d);
    EXPECT_EQ(edit->Text(), expected);  // and back
}

TEST_F(DateEditTest, CalendarOpensOnTodayAndAcceptsWithOneChange) {
    ASSERT_NE(edit->Calendar(), nullptr);
    edit->ButtonClick();
    ASSERT_TRUE(edit->PopupVisible());
    EXPECT_EQ(std::get<double>(edit->Calendar()->GetValue()), std::trunc(Date()));
    Key(VK_RIGHT);  // one day on, in the calendar
    changes = 0;
    Char('\r');
    EXPECT_FALSE(edit->PopupVisible());
    EXPECT_EQ(edit->Date(), std::trunc(Date()) + 1);
    EXPECT_EQ(changes, 1);
    // A handler may refuse the calendar's date.
    edit->OnAcceptDate = [](TObject*, TDateTime&, bool& Action) { Action = false; };
    edit->ButtonClick();
    Key(VK_RIGHT);
    Char('\r');
    EXPECT_EQ(edit->Date(), std::trunc(Date()) + 1);
}

TEST_F(DateEditTest, CheckOnExitRefusesAText) {
    std::wstring error;
    Application()->OnException = [&](TObject*, const Exception& E) { error = E.Message(); };
    edit->SetCheckOnExit(true);
    edit->SetText("99/99/2006");
    form->SetFocus();
    SetFocus(form->Handle());
    kittest::Pump();
    EXPECT_NE(error.find(L"is not a valid date"), std::wstring::npos);
}

}  // namespace
