// Tab, Shift+Tab, Ctrl+Enter and pasting in the kit's one-line edits (spin, date and file-name
// edits, multi-line windows only for their text rectangles), keys typed as the keyboard gives them:
// the focus moves on and the values keep no tab or line break; Tab refuses a date that cannot be.
#include <vector>

#include "classlib/clipboard.h"
#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "key_presses.h"
#include "kit_test_support.h"
#include "widgets/kit/date_edit.h"
#include "widgets/kit/kit_spin_edit.h"
#include "widgets/kit/path_edit.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

// Keys as the keyboard gives them, served by this test's message loop.
void PressKey(WORD Key, std::initializer_list<int> Held = {}) {
    quill_test::PressKey(Key, Held, [] { kittest::Pump(); });
}

void PutOnClipboard(const std::wstring& Text, HWND Owner) {
    ASSERT_TRUE(OpenClipboard(Owner));
    EmptyClipboard();
    const size_t bytes = (Text.size() + 1) * sizeof(wchar_t);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(data), Text.c_str(), bytes);
    GlobalUnlock(data);
    SetClipboardData(CF_UNICODETEXT, data);
    CloseClipboard();
}

// A date edit whose refusal beeps are counted instead of sounded.
class TCountingDateEdit : public TDateEdit {
public:
    using TDateEdit::TDateEdit;
    int Beeps = 0;
    void RefusalBeep() override { ++Beeps; }
};

class KitEditKeysTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm(400, 200);
        seconds = Place<TKitSpinEdit>(10);
        date = Place<TCountingDateEdit>(40);
        date->SetYearDigits(TYearDigits::dyFour);
        file = Place<TFilenameEdit>(70);
        folder = Place<TDirectoryEdit>(100);
        folder->SetDirectInput(false);
        SetForegroundWindow(form->Handle());
    }
    template <typename T>
    T* Place(int Top) {
        T* c = new T(form);
        c->SetParent(form);
        c->SetBounds(10, Top, 200, 21);
        c->SetTabStop(true);
        return c;
    }
    TForm* form = nullptr;
    TKitSpinEdit* seconds = nullptr;
    TCountingDateEdit* date = nullptr;
    TFilenameEdit* file = nullptr;
    TDirectoryEdit* folder = nullptr;
};

TEST_F(KitEditKeysTest, TabGoesFromFieldToFieldAndLeavesEveryValueAsItWas) {
    const TDateTime day = EncodeDate(2024, 5, 17);
    date->SetDate(day);
    file->SetText("C:\\clips\\take.avi");
    folder->SetText("C:\\clips");
    seconds->SetValue(30);
    seconds->SetFocus();
    kittest::Pump();
    PressKey(VK_TAB);
    ASSERT_EQ(GetFocus(), date->Handle()) << "Tab from the spin edit reaches the date";
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), file->Handle()) << "and goes on: the date edit keeps no tab";
    EXPECT_EQ(date->Date(), day);
    EXPECT_EQ(date->Text().find('\t'), std::string::npos);
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), folder->Handle());
    EXPECT_EQ(file->Text(), "C:\\clips\\take.avi");
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), seconds->Handle()) << "round to the first field";
    EXPECT_EQ(folder->Text(), "C:\\clips");
    EXPECT_EQ(seconds->AsInteger(), 30);
    // And back with Shift+Tab.
    PressKey(VK_TAB, {VK_SHIFT});
    EXPECT_EQ(GetFocus(), folder->Handle());
    PressKey(VK_TAB, {VK_SHIFT});
    PressKey(VK_TAB, {VK_SHIFT});
    EXPECT_EQ(GetFocus(), date->Handle());
    EXPECT_EQ(date->Date(), day);
    EXPECT_EQ(file->Text(), "C:\\clips\\take.avi");
}

TEST_F(KitEditKeysTest, NeitherATabCharacterNorALineBreakEntersAOneLineValue) {
    file->SetText("C:\\clips\\take.avi");
    file->SetFocus();
    kittest::Pump();
    SendMessageA(file->Handle(), EM_SETSEL, 100, 100);
    // A tab or a line feed that arrives as a character (Ctrl+Enter gives one) is dropped.
    PostMessageW(file->Handle(), WM_CHAR, '\t', 1);
    PostMessageW(file->Handle(), WM_CHAR, '\n', 1);
    PressKey(VK_RETURN, {VK_CONTROL});
    kittest::Pump();
    EXPECT_EQ(file->Text(), "C:\\clips\\take.avi");
    EXPECT_EQ(SendMessageW(file->Handle(), EM_GETLINECOUNT, 0, 0), 1);
    date->SetDate(EncodeDate(2024, 5, 17));
    const std::string dateText = date->Text();
    SendMessageW(date->Handle(), WM_CHAR, '\n', 1);
    SendMessageW(date->Handle(), WM_CHAR, '\t', 1);
    EXPECT_EQ(date->Text(), dateText);
    // Pasting takes the first line only, as a one-line edit does.
    PutOnClipboard(L"D:\\other.avi\r\nsecond line", form->Handle());
    SendMessageA(file->Handle(), EM_SETSEL, 0, -1);
    SendMessageW(file->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(file->Text(), "D:\\other.avi");
    EXPECT_EQ(SendMessageW(file->Handle(), EM_GETLINECOUNT, 0, 0), 1);
    seconds->SetValue(3);
    PutOnClipboard(L"42\n17", form->Handle());
    SendMessageA(seconds->Handle(), EM_SETSEL, 0, -1);
    SendMessageW(seconds->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(seconds->Text(), "42");
    // A folder edit without direct input takes nothing from the clipboard.
    folder->SetText("C:\\clips");
    SendMessageW(folder->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(folder->Text(), "C:\\clips");
}

// Types Digits over the whole text of Edit (the mask puts the separators).
void TypeOver(TDateEdit* Edit, const std::string& Digits) {
    Edit->SetFocus();
    kittest::Pump();
    SendMessageA(Edit->Handle(), EM_SETSEL, 0, -1);
    PressKey(VK_DELETE);
    SendMessageA(Edit->Handle(), EM_SETSEL, 0, 0);
    for (char c : Digits) PressKey(static_cast<WORD>(c));
}

TEST_F(KitEditKeysTest, ADateThatCannotBeIsRefusedWhenTabLeavesAndTheLastValidOneComesBack) {
    const TDateTime later = EncodeDate(2026, 11, 3), first = EncodeDate(2026, 5, 12);
    date->SetDate(later);
    std::string laterDigits;
    for (char c : date->Text())
        if (c >= '0' && c <= '9') laterDigits += c;
    date->SetDate(first);
    const std::string firstText = date->Text();
    int changes = 0;
    date->OnChange = [&](TObject*) { ++changes; };
    // Month 13, day 45 (or year 1345, month 20) is no date in any order of the fields.
    TypeOver(date, "13452026");
    ASSERT_NE(firstText, date->Text()) << "the keys reached the edit";
    changes = 0;
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), file->Handle()) << "the focus moves on";
    EXPECT_EQ(date->Text(), firstText);
    EXPECT_EQ(date->Date(), first);
    EXPECT_EQ(1, date->Beeps);
    EXPECT_EQ(1, changes) << "the date came back: one change";
    // A date that can be is kept without a beep, and is the one a later refusal brings back.
    TypeOver(date, laterDigits);
    PressKey(VK_TAB);
    TypeOver(date, "12");  // the other fields left blank
    PressKey(VK_TAB);
    EXPECT_EQ(date->Date(), later);
    EXPECT_EQ(2, date->Beeps);
    TypeOver(date, "");  // the null date is no mistake
    PressKey(VK_TAB);
    EXPECT_TRUE(date->TextIsBlank());
    // The owner's check: a text put in from outside is the date to come back to.
    date->SetText(firstText);
    EXPECT_TRUE(date->CheckDate());
    date->SetText("99/99/9999");
    EXPECT_FALSE(date->CheckDate());
    EXPECT_EQ(date->Text(), firstText);
    EXPECT_EQ(3, date->Beeps);
    // A year of five digits, put in by another program past the mask, is no date of the year of its
    // first four: what the edit shows is what it holds.
    const std::string fiveDigits = firstText + "9";
    SendMessageA(date->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fiveDigits.c_str()));
    ASSERT_EQ(fiveDigits, date->EditText());
    EXPECT_EQ(0.0, date->Date()) << "the null date";
    EXPECT_FALSE(date->CheckDate());
    EXPECT_EQ(date->EditText(), firstText);
}

}  // namespace
