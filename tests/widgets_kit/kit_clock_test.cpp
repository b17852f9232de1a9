// The clock with its alarm on an injected time of day: the alarm fires once at its second, also
// after a late tick or across midnight, never twice and never when disarmed; the schedule re-arms
// it from the handler; the digital face's text and its partial repaint.
#include <vector>

#include "classlib/conversions.h"
#include "classlib/date_time.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/threads.h"
#include "kit_test_support.h"
#include "widgets/kit/kit_clock.h"

using namespace classlib;
using namespace widgets::kit;

namespace {

TDateTime At(int H, int M, int S, int Ms = 0) { return EncodeTime(H, M, S, Ms); }

class KitClockTest : public kittest::KitTest {
protected:
    void SetUp() override {
        KitTest::SetUp();
        form = ShownForm(300, 120);
        clock = new TKitClock(form);
        clock->SetParent(form);
        clock->SetBounds(10, 10, 150, 41);
        clock->OnGetTime = [this](TObject*, TDateTime& Time) { Time = now; };
        clock->OnAlarm = [this](TObject*) {
            fired.push_back(now);
            if (GetCurrentThreadId() != MainThreadID()) offMainThread = true;
        };
    }
    // The alarm check at a time of day, as a tick at that moment makes it.
    void CheckAt(TDateTime Time) {
        now = Time;
        clock->CheckAlarm();
    }
    TForm* form = nullptr;
    TKitClock* clock = nullptr;
    TDateTime now = At(9, 59, 0);
    std::vector<TDateTime> fired;
    bool offMainThread = false;
};

TEST_F(KitClockTest, AlarmFiresOnceAtItsSecondEvenAfterALateTick) {
    clock->SetAlarmTime(10, 0, 30);
    clock->SetAlarmEnabled(true);
    CheckAt(At(10, 0, 29, 900));
    EXPECT_TRUE(fired.empty());
    CheckAt(At(10, 0, 31, 200));  // the tick of :30 came late
    ASSERT_EQ(fired.size(), 1u);
    for (TDateTime t : {At(10, 0, 31, 650), At(10, 0, 59), At(10, 1, 40), At(15, 0, 0), At(23, 59, 59, 800)}) CheckAt(t);
    EXPECT_EQ(fired.size(), 1u);
    // The next day, across midnight.
    for (TDateTime t : {At(0, 0, 0, 250), At(6, 0, 0), At(10, 0, 30, 100)}) CheckAt(t);
    EXPECT_EQ(fired.size(), 2u);
    // The last second of a minute is not missed by a tick one second late.
    clock->SetAlarmTime(10, 5, 59);
    CheckAt(At(10, 5, 58, 800));
    CheckAt(At(10, 6, 0, 500));
    EXPECT_EQ(fired.size(), 3u);
    // An alarm at midnight, passed by the tick that wraps the day.
    clock->SetAlarmTime(0, 0, 0);
    CheckAt(At(23, 59, 59, 700));
    CheckAt(At(0, 0, 0, 150));
    EXPECT_EQ(fired.size(), 4u);
}

TEST_F(KitClockTest, AlarmAlreadyPastOrDisarmedDoesNotFire) {
    now = At(10, 0, 40);
    clock->SetAlarmTime(10, 0, 30);  // set after its second: tomorrow
    clock->SetAlarmEnabled(true);
    for (TDateTime t : {At(10, 0, 45), At(10, 0, 59), At(10, 1, 0), At(12, 0, 0)}) CheckAt(t);
    EXPECT_TRUE(fired.empty());
    // Disarmed, the day passes it without a word.
    clock->SetAlarmEnabled(false);
    for (TDateTime t : {At(18, 0, 0), At(0, 0, 1), At(10, 0, 29), At(10, 0, 31)}) CheckAt(t);
    EXPECT_TRUE(fired.empty());
    // Enabled within the alarm minute after its second: not today.
    clock->SetAlarmEnabled(true);
    CheckAt(At(10, 0, 32));
    EXPECT_TRUE(fired.empty());
    // Set a few seconds ahead, it fires at that second.
    clock->SetAlarmSecond(40);
    CheckAt(At(10, 0, 39, 600));
    EXPECT_TRUE(fired.empty());
    CheckAt(At(10, 0, 40, 50));
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(KitClockTest, ClockSetBackDoesNotFireTwice) {
    clock->SetAlarmTime(10, 0, 30);
    clock->SetAlarmEnabled(true);
    CheckAt(At(10, 0, 30, 200));
    ASSERT_EQ(fired.size(), 1u);
    // The system clock goes back 20 seconds, then on over the alarm again.
    now = At(10, 0, 10);
    clock->Perform(WM_TIMECHANGE, 0, 0);
    CheckAt(At(10, 0, 31));
    EXPECT_EQ(fired.size(), 1u);
    // Set forward over an alarm, it fires (a scheduled end is never skipped).
    clock->SetAlarmTime(11, 0, 0);
    now = At(11, 30, 0);
    clock->Perform(WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(fired.size(), 2u);
}

TEST_F(KitClockTest, HandlerArmsTheEndFromInsideTheAlarm) {
    int ends = 0;
    clock->SetAlarmTime(10, 0, 30);
    clock->OnAlarm = [&](TObject*) {
        // The schedule's start: the same clock now waits for the end.
        clock->SetAlarmHour(10);
        clock->SetAlarmMinute(5);
        clock->SetAlarmSecond(0);
        clock->OnAlarm = [&](TObject*) { ++ends; };
    };
    clock->SetAlarmEnabled(true);
    CheckAt(At(10, 0, 30, 300));
    EXPECT_EQ(clock->AlarmMinute(), 5);
    CheckAt(At(10, 4, 59, 900));
    EXPECT_EQ(ends, 0);
    CheckAt(At(10, 5, 0, 350));
    EXPECT_EQ(ends, 1);
}

TEST_F(KitClockTest, InvalidAlarmElementIsRefusedAndLeavesTheAlarm) {
    clock->SetAlarmTime(7, 8, 9);
    try {
        clock->SetAlarmHour(24);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        std::wstring sep(1, FormatSettings().TimeSeparator);
        EXPECT_EQ(e.Message(), L"'24" + sep + L"8" + sep + L"9' is not a valid time");
    }
    EXPECT_THROW(clock->SetAlarmSecond(60), EConvertError);
    EXPECT_EQ(clock->AlarmHour(), 7);
    EXPECT_EQ(clock->AlarmSecond(), 9);
}

TEST_F(KitClockTest, TicksOnTheMainThreadRunTheAlarm) {
    now = At(10, 0, 0);
    clock->SetAlarmTime(10, 0, 1);
    clock->SetAlarmEnabled(true);
    now = At(10, 0, 2);  // the next tick finds the second passed
    ASSERT_TRUE(kittest::PumpUntil([&] { return !fired.empty(); }));
    EXPECT_FALSE(offMainThread);
    kittest::PumpFor(1000);  // two more ticks
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(KitClockTest, TwelveHourTextAndSecondsOnlyRepaint) {
    std::wstring sep(1, FormatSettings().TimeSeparator);
    std::string s = WideToAnsi(sep);
    int cells = 0;
    clock->SetTwelveHour(true);
    clock->SetLeadingZero(false);
    EXPECT_EQ(clock->DigitalText(At(0, 5, 0), cells), "12" + s + "05" + s + "00 " + WideToAnsi(FormatSettings().TimeAMString));
    EXPECT_EQ(cells, 8);
    EXPECT_EQ(clock->DigitalText(At(13, 5, 0), cells), "1" + s + "05" + s + "00 " + WideToAnsi(FormatSettings().TimePMString));
    EXPECT_EQ(cells, 7);
    clock->SetTwelveHour(false);
    clock->SetLeadingZero(true);
    // A full paint, then a marker over the face; a tick in the same minute redraws the seconds only.
    clock->SetColor(clWhite);
    clock->Font()->SetColor(clBlack);
    now = At(10, 20, 30);
    RedrawWindow(clock->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    RECT face{};
    GetClientRect(clock->Handle(), &face);
    HDC dc = GetDC(clock->Handle());
    HBRUSH marker = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &face, marker);
    DeleteObject(marker);
    now = At(10, 20, 31);
    clock->Timer()->Tick();
    // Where the cells are: eight cells of the width of "8", centred.
    SIZE cell{};
    HGDIOBJ oldFont = SelectObject(dc, clock->Font()->Handle());
    GetTextExtentPoint32A(dc, "8", 1, &cell);
    SelectObject(dc, oldFont);
    int x0 = 2 + (face.right - 4 - 8 * cell.cx) / 2;  // inside the two one-pixel bevels
    int y = face.bottom / 2;
    int markerSeconds = 0, markerMinutes = 0;
    for (int x = x0 + 6 * cell.cx + 1; x < x0 + 8 * cell.cx - 1; ++x)
        if (GetPixel(dc, x, y) == RGB(255, 0, 255)) ++markerSeconds;
    for (int x = x0 + 3 * cell.cx + 1; x < x0 + 5 * cell.cx - 1; ++x)
        if (GetPixel(dc, x, y) == RGB(255, 0, 255)) ++markerMinutes;
    ReleaseDC(clock->Handle(), dc);
    EXPECT_EQ(markerSeconds, 0);
    EXPECT_EQ(markerMinutes, 2 * cell.cx - 2);
}

}  // namespace
