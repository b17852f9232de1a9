// The kit's clock: a panel that shows the time of day, digitally or as an analog face, refreshed by
// its own threaded timer, and raises an alarm once when the time of day reaches a set hour, minute
// and second (the schedule's start and end).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "classlib/date_time.h"
#include "classlib/panels.h"
#include "widgets/kit/kit_timer.h"

namespace widgets::kit {

enum class TShowClock { scDigital, scAnalog };

// May replace the time of day (a fraction of a day) that the clock shows and tests.
using TKitGetTimeEvent = std::function<void(classlib::TObject* Sender, classlib::TDateTime& Time)>;

// The alarm fires when the time of day has passed the alarm time since the previous check (across
// midnight too), so a late tick fires it late instead of missing it; it fires once for each time
// the day reaches it, on the main thread. Setting an element arms it for the next time the day
// reaches the alarm (later today, or tomorrow when it has passed).
class TKitClock : public classlib::TCustomPanel {
public:
    CLASSLIB_CLASS_NAME(TKitClock)
    explicit TKitClock(classlib::TComponent* AOwner);
    ~TKitClock() override;

    bool AlarmEnabled() const { return alarmEnabled_; }
    void SetAlarmEnabled(bool Value) { alarmEnabled_ = Value; }
    int AlarmHour() const;
    int AlarmMinute() const;
    int AlarmSecond() const;
    // Each takes the value as an 8-bit number and raises EConvertError "'h:m:s' is not a valid
    // time" (the time separator between) when the alarm would not be a time of day.
    void SetAlarmHour(int Value) { SetAlarmElement(0, Value); }
    void SetAlarmMinute(int Value) { SetAlarmElement(1, Value); }
    void SetAlarmSecond(int Value) { SetAlarmElement(2, Value); }
    // Hour, minute and second in one go (the same check).
    void SetAlarmTime(int Hour, int Minute, int Second);

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    classlib::TColor DotsColor() const { return dotsColor_; }
    void SetDotsColor(classlib::TColor Value);
    bool LeadingZero() const { return leadingZero_; }
    void SetLeadingZero(bool Value);
    TShowClock ShowMode() const { return showMode_; }
    void SetShowMode(TShowClock Value);
    bool ShowSeconds() const { return showSeconds_; }
    void SetShowSeconds(bool Value);
    bool TwelveHour() const { return twelveHour_; }
    void SetTwelveHour(bool Value);

    classlib::TNotifyEvent OnAlarm;
    TKitGetTimeEvent OnGetTime;

    // The time of day everything uses: the system's, then OnGetTime's word on it.
    virtual classlib::TDateTime GetClockTime();
    // The clock's refresh timer (450 ms, threaded; its ticks run on the main thread).
    TKitTimer* Timer() const { return timer_.get(); }
    // What the digital face shows for a time of day, and how many of its characters are fixed
    // cells (the rest is the AM/PM text).
    std::string DigitalText(classlib::TDateTime Time, int& FixedCells) const;
    // Runs the alarm check now (what every tick and a change of the system clock do).
    void CheckAlarm();

    void CreateWnd() override;
    void DestroyWnd() override;
    void Loaded() override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    virtual void DoAlarm();
    void Paint() override;

private:
    void SetAlarmElement(int Index, int Value);
    void ResetAlarm();
    void TimerTick();
    RECT FaceRect();
    void DrawDigital(HDC DC, const RECT& Rect, bool Full);
    void DrawAnalog(HDC DC, const RECT& Rect, bool Full);
    void DrawHands(HDC DC, const RECT& Square, int Hour, int Minute, classlib::TColor Color);
    void DrawSecondHand(HDC DC, const RECT& Square, int Second);
    void AutoSizeFont();
    void Hook();
    void Unhook();

    bool alarmEnabled_ = false;
    classlib::TDateTime alarm_ = 0;
    bool alarmWait_ = true;
    classlib::TDateTime lastCheck_ = 0;  // the time of day of the previous alarm check
    bool autoSize_ = false;
    classlib::TColor dotsColor_ = classlib::clTeal;
    bool leadingZero_ = true;
    TShowClock showMode_ = TShowClock::scDigital;
    bool showSeconds_ = true;
    bool twelveHour_ = false;
    std::unique_ptr<TKitTimer> timer_;
    int lastHour_ = -1, lastMinute_ = -1, lastSecond_ = -1;
    bool hooked_ = false;
};

}  // namespace widgets::kit
