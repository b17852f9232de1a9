#include "widgets/kit/kit_clock.h"

#include <algorithm>
#include <cmath>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/gdi_handles.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr double kSecond = 1.0 / 86400.0;
// Elapsed time beyond this between two checks is taken as the clock set back, not as a late tick.
constexpr double kLongestTickGap = 0.5;

double TimeOfDay(TDateTime Value) { return Value - std::floor(Value); }

// From one time of day to another, going forward (across midnight when needed).
double Forward(double From, double To) {
    double d = To - From;
    return d < 0 ? d + 1.0 : d;
}

void DecodeHms(TDateTime Time, int& H, int& M, int& S) {
    WORD h = 0, m = 0, s = 0, ms = 0;
    DecodeTime(TimeOfDay(Time), h, m, s, ms);
    H = h;
    M = m;
    S = s;
}

// 60 points on a circle of radius 8000, 12 o'clock first, y scaled so the face is round on a
// screen whose pixels are not square.
struct TClockTable {
    POINT Points[60];
    TClockTable() {
        TWindowDC screen(nullptr);
        double sx = static_cast<double>(GetDeviceCaps(screen.Get(), HORZRES)) / std::max(1, GetDeviceCaps(screen.Get(), HORZSIZE));
        double sy = static_cast<double>(GetDeviceCaps(screen.Get(), VERTRES)) / std::max(1, GetDeviceCaps(screen.Get(), VERTSIZE));
        double ratio = sx > 0 ? sy / sx : 1.0;
        for (int i = 0; i < 60; ++i) {
            double a = i * 2 * 3.14159265358979323846 / 60;
            Points[i].x = static_cast<LONG>(std::lround(8000 * std::sin(a)));
            Points[i].y = static_cast<LONG>(std::lround(-8000 * std::cos(a) * ratio));
        }
    }
};

const TClockTable& ClockTable() {
    static const TClockTable table;
    return table;
}

// A point of the table at Percent of the radius, mapped into a square.
POINT OnFace(const RECT& Square, int Index, int Percent) {
    const POINT& p = ClockTable().Points[((Index % 60) + 60) % 60];
    int r = (Square.right - Square.left) / 2;
    int cx = (Square.left + Square.right) / 2, cy = (Square.top + Square.bottom) / 2;
    return POINT{cx + static_cast<LONG>(static_cast<long long>(p.x) * r * Percent / 800000),
                 cy + static_cast<LONG>(static_cast<long long>(p.y) * r * Percent / 800000)};
}

}  // namespace

TKitClock::TKitClock(TComponent* AOwner) : TCustomPanel(AOwner) {
    SetControlStyle(ControlStyle() & ~static_cast<std::uint32_t>(csSetCaption | csReplicatable));
    SetBevelInner(TPanelBevel::bvLowered);
    SetBevelOuter(TPanelBevel::bvRaised);
    int cells = 0;
    SetCaption(DigitalText(GetClockTime(), cells));
    lastCheck_ = GetClockTime();
    timer_ = std::make_unique<TKitTimer>(nullptr);
    timer_->SetInterval(450);
    timer_->SetOnTimer([this](TObject*) { TimerTick(); });
}

TKitClock::~TKitClock() {
    // The timer first: a tick waiting for the main thread is dropped with it.
    timer_.reset();
    Unhook();
}

// ---- Alarm -----------------------------------------------------------------------------------

int TKitClock::AlarmHour() const {
    int h, m, s;
    DecodeHms(alarm_, h, m, s);
    return h;
}

int TKitClock::AlarmMinute() const {
    int h, m, s;
    DecodeHms(alarm_, h, m, s);
    return m;
}

int TKitClock::AlarmSecond() const {
    int h, m, s;
    DecodeHms(alarm_, h, m, s);
    return s;
}

void TKitClock::SetAlarmElement(int Index, int Value) {
    int e[3];
    DecodeHms(alarm_, e[0], e[1], e[2]);
    e[Index] = Value & 0xFF;
    SetAlarmTime(e[0], e[1], e[2]);
}

void TKitClock::SetAlarmTime(int Hour, int Minute, int Second) {
    if (Hour < 0 || Hour >= 24 || Minute < 0 || Minute >= 60 || Second < 0 || Second >= 60) {
        std::wstring sep(1, FormatSettings().TimeSeparator);
        std::wstring text = IntToStr(Hour) + sep + IntToStr(Minute) + sep + IntToStr(Second);
        throw EConvertError(Format(L"'%s' is not a valid time", {text}));
    }
    alarm_ = EncodeTime(Hour, Minute, Second, 0);
    ResetAlarm();
}

void TKitClock::ResetAlarm() {
    // From now on: an alarm time already past today is reached again tomorrow.
    lastCheck_ = TimeOfDay(GetClockTime());
    alarmWait_ = true;
}

void TKitClock::CheckAlarm() {
    double now = TimeOfDay(GetClockTime());
    if (!alarmEnabled_) {
        lastCheck_ = now;
        alarmWait_ = true;
        return;
    }
    double elapsed = Forward(lastCheck_, now);
    double toAlarm = Forward(lastCheck_, alarm_);
    // Passed since the last check: a late tick still fires; a clock set back passes nothing.
    bool passed = elapsed <= kLongestTickGap && toAlarm > 0 && toAlarm <= elapsed;
    lastCheck_ = now;
    if (passed && alarmWait_) {
        // Cleared first: the handler may arm the alarm again (the schedule's end) from here.
        alarmWait_ = false;
        DoAlarm();
        return;
    }
    // Waiting again only once the day has moved a minute past the alarm: a clock set back over
    // it, or jitter around it, never fires it twice.
    double sinceAlarm = Forward(alarm_, now);
    if (!alarmWait_ && sinceAlarm > 60 * kSecond && sinceAlarm <= kLongestTickGap) alarmWait_ = true;
}

void TKitClock::DoAlarm() {
    if (OnAlarm) {
        TNotifyEvent handler = OnAlarm;
        handler(this);
    }
}

TDateTime TKitClock::GetClockTime() {
    TDateTime t = TimeOfDay(Now());
    if (OnGetTime) OnGetTime(this, t);
    return t;
}

void TKitClock::Loaded() {
    TCustomPanel::Loaded();
    ResetAlarm();
}

void TKitClock::TimerTick() {
    if (HandleAllocated() && IsWindowVisible(WindowHandle())) {
        TWindowDC dc(WindowHandle());
        TOwnedBrush brush(CreateSolidBrush(ColorToRGB(Color())));
        TSelectedObject selBrush(dc.Get(), brush.Get());
        TSelectedObject selFont(dc.Get(), Font()->Handle());
        if (showMode_ == TShowClock::scDigital) {
            RECT r = FaceRect();
            DrawDigital(dc.Get(), r, false);
        } else {
            DrawAnalog(dc.Get(), FaceRect(), false);
        }
    }
    // The alarm does not depend on the clock being shown: its panel may be hidden.
    CheckAlarm();
}

// ---- Settings --------------------------------------------------------------------------------

void TKitClock::SetAutoSize(bool Value) {
    if (autoSize_ == Value) return;
    autoSize_ = Value;
    if (Value) {
        Invalidate();
        AutoSizeFont();
    }
}

void TKitClock::SetDotsColor(TColor Value) {
    if (dotsColor_ == Value) return;
    dotsColor_ = Value;
    Invalidate();
}

void TKitClock::SetLeadingZero(bool Value) {
    if (leadingZero_ == Value) return;
    leadingZero_ = Value;
    Invalidate();
}

void TKitClock::SetShowMode(TShowClock Value) {
    if (showMode_ == Value) return;
    showMode_ = Value;
    Invalidate();
}

void TKitClock::SetShowSeconds(bool Value) {
    if (showSeconds_ == Value) return;
    showSeconds_ = Value;
    Invalidate();
    if (autoSize_) AutoSizeFont();
}

void TKitClock::SetTwelveHour(bool Value) {
    if (twelveHour_ == Value) return;
    twelveHour_ = Value;
    Invalidate();
    if (autoSize_) AutoSizeFont();
}

void TKitClock::AutoSizeFont() {
    RECT r = FaceRect();
    int h = r.bottom - r.top - 4, w = r.right - r.left - 30;
    if (h < 1 || w < 1) return;
    std::string sample = showSeconds_ ? "88888888" : "88888";
    const TFormatSettings& fs = FormatSettings();
    TWindowDC screen(nullptr);
    TFont probe;
    probe.Assign(Font());
    probe.SetHeight(1000);
    TSelectedObject sel(screen.Get(), probe.Handle());
    auto width = [&](const std::string& s) {
        SIZE sz{};
        GetTextExtentPoint32A(screen.Get(), s.data(), static_cast<int>(s.size()), &sz);
        return static_cast<int>(sz.cx);
    };
    if (twelveHour_) {
        std::string am = WideToAnsi(fs.TimeAMString), pm = WideToAnsi(fs.TimePMString);
        sample += " " + (width(am) >= width(pm) ? am : pm);
    }
    int sampleWidth = std::max(1, width(sample));
    int height = std::min(h * 4 / 5, static_cast<int>(1000LL * w / sampleWidth));
    Font()->SetHeight(height);
}

// ---- Window ----------------------------------------------------------------------------------

void TKitClock::Hook() {
    if (hooked_ || HasState(csDesigning) || !ApplicationExists()) return;
    Application()->HookMainWindow(this, [this](TMessage& Message) {
        if (Message.Msg == WM_WININICHANGE) {
            Invalidate();
            if (autoSize_) AutoSizeFont();
        } else if (Message.Msg == WM_TIMECHANGE) {
            // Sent to top-level windows only: the application window hears it for the clock.
            Invalidate();
            CheckAlarm();
        }
        return false;
    });
    hooked_ = true;
}

void TKitClock::Unhook() {
    if (!hooked_) return;
    if (ApplicationExists()) Application()->UnhookMainWindow(this);
    hooked_ = false;
}

void TKitClock::CreateWnd() {
    TCustomPanel::CreateWnd();
    Hook();
}

void TKitClock::DestroyWnd() {
    Unhook();
    TCustomPanel::DestroyWnd();
}

void TKitClock::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_TIMECHANGE:
            Invalidate();
            CheckAlarm();
            return;
        case CM_FONTCHANGED:
            TCustomPanel::Dispatch(Message);
            Invalidate();
            if (autoSize_) AutoSizeFont();
            return;
        case CM_CTL3DCHANGED:
            TCustomPanel::Dispatch(Message);
            if (showMode_ == TShowClock::scAnalog) Invalidate();
            return;
        case WM_SIZE:
            TCustomPanel::Dispatch(Message);
            if (autoSize_) AutoSizeFont();
            return;
        default:
            TCustomPanel::Dispatch(Message);
    }
}

RECT TKitClock::FaceRect() {
    RECT r{0, 0, Width(), Height()};
    if (HandleAllocated()) GetClientRect(WindowHandle(), &r);
    int inset = BorderWidth() + (BevelInner() != TPanelBevel::bvNone ? BevelWidth() : 0) +
                (BevelOuter() != TPanelBevel::bvNone ? BevelWidth() : 0);
    InflateRect(&r, -inset, -inset);
    return r;
}

// ---- Painting --------------------------------------------------------------------------------

void TKitClock::Paint() {
    RECT r{};
    PaintFrame(r);
    HDC dc = Canvas()->Handle();
    TOwnedBrush brush(CreateSolidBrush(ColorToRGB(Color())));
    TSelectedObject selBrush(dc, brush.Get());
    TSelectedObject selFont(dc, Font()->Handle());
    if (showMode_ == TShowClock::scDigital)
        DrawDigital(dc, r, true);
    else
        DrawAnalog(dc, r, true);
}

std::string TKitClock::DigitalText(TDateTime Time, int& FixedCells) const {
    int h, m, s;
    DecodeHms(Time, h, m, s);
    int shown = h;
    if (twelveHour_) shown = h % 12 == 0 ? 12 : h % 12;
    const TFormatSettings& fs = FormatSettings();
    std::string sep = WideToAnsi(std::wstring(1, fs.TimeSeparator));
    // Appended piece by piece (GCC 12 misreads chains of string concatenations).
    std::string text;
    text.reserve(24);
    auto two = [&text](int v) {
        text.push_back(static_cast<char>('0' + v / 10));
        text.push_back(static_cast<char>('0' + v % 10));
    };
    if (leadingZero_ || shown >= 10)
        two(shown);
    else
        text.push_back(static_cast<char>('0' + shown));
    text.append(sep);
    two(m);
    if (showSeconds_) {
        text.append(sep);
        two(s);
    }
    FixedCells = (shown < 10 && !leadingZero_ ? 4 : 5) + (showSeconds_ ? 3 : 0);
    if (twelveHour_) {
        text.push_back(' ');
        text.append(WideToAnsi(h < 12 ? fs.TimeAMString : fs.TimePMString));
    }
    return text;
}

void TKitClock::DrawDigital(HDC DC, const RECT& Rect, bool Full) {
    TDateTime now = GetClockTime();
    int h, m, s;
    DecodeHms(now, h, m, s);
    if (!Full && h % 12 != lastHour_) {
        Invalidate();  // a new hour moves the cells: a full paint follows
        return;
    }
    int n = 0;
    std::string text = DigitalText(now, n);
    SIZE cell{};
    GetTextExtentPoint32A(DC, "8", 1, &cell);
    std::string rest = text.size() > static_cast<size_t>(n) ? text.substr(static_cast<size_t>(n)) : std::string();
    SIZE restSize{};
    if (!rest.empty()) GetTextExtentPoint32A(DC, rest.data(), static_cast<int>(rest.size()), &restSize);
    int total = n * cell.cx + restSize.cx;
    int x0 = Rect.left + (Rect.right - Rect.left - total) / 2;
    int y0 = Rect.top + (Rect.bottom - Rect.top - cell.cy) / 2;
    bool twoDigitHour = n == 5 || n == 8;
    int minuteFirst = twoDigitHour ? 3 : 2;
    int secondFirst = twoDigitHour ? 6 : 5;
    SetBkMode(DC, TRANSPARENT);
    SetTextColor(DC, ColorToRGB(Font()->Color()));
    TOwnedBrush back(CreateSolidBrush(ColorToRGB(Color())));
    for (int i = 0; i < n && i < static_cast<int>(text.size()); ++i) {
        bool secondCell = showSeconds_ && i >= secondFirst && i < secondFirst + 2;
        bool minuteCell = i >= minuteFirst && i < minuteFirst + 2;
        if (!Full && !(secondCell && s != lastSecond_) && !(minuteCell && m != lastMinute_)) continue;
        RECT c{x0 + i * cell.cx, y0, x0 + (i + 1) * cell.cx, y0 + cell.cy};
        FillRect(DC, &c, back.Get());
        DrawTextA(DC, &text[static_cast<size_t>(i)], 1, &c, DT_CENTER | DT_SINGLELINE | DT_NOCLIP);
    }
    if (Full && !rest.empty()) {
        RECT c{x0 + n * cell.cx, y0, x0 + n * cell.cx + restSize.cx, y0 + cell.cy};
        DrawTextA(DC, rest.data(), static_cast<int>(rest.size()), &c, DT_LEFT | DT_SINGLELINE | DT_NOCLIP);
    }
    lastHour_ = h % 12;
    lastMinute_ = m;
    lastSecond_ = s;
}

void TKitClock::DrawHands(HDC DC, const RECT& Square, int Hour, int Minute, TColor Color) {
    TOwnedBrush brush(CreateSolidBrush(ColorToRGB(Color)));
    TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(Color)));
    TSelectedObject sb(DC, brush.Get());
    TSelectedObject sp(DC, pen.Get());
    SetROP2(DC, R2_COPYPEN);
    // Hour hand: 60 % long, 15 % tail, 7 % half-width; minute hand: 80 %, 20 % and 5 %.
    struct Hand {
        int index, length, tail, half;
    } hands[2] = {{(Hour % 12) * 5 + Minute / 12, 60, 15, 7}, {Minute, 80, 20, 5}};
    for (const Hand& hd : hands) {
        POINT tip = OnFace(Square, hd.index, hd.length);
        POINT tail = OnFace(Square, hd.index + 30, hd.tail);
        POINT left = OnFace(Square, hd.index - 15, hd.half);
        POINT right = OnFace(Square, hd.index + 15, hd.half);
        POINT poly[4] = {tip, left, tail, right};
        Polygon(DC, poly, 4);
    }
}

void TKitClock::DrawSecondHand(HDC DC, const RECT& Square, int Second) {
    TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(Font()->Color())));
    TSelectedObject sp(DC, pen.Get());
    // Inverting: drawn again, it is gone.
    int old = SetROP2(DC, R2_NOT);
    POINT c{(Square.left + Square.right) / 2, (Square.top + Square.bottom) / 2};
    POINT tip = OnFace(Square, Second, 80);
    MoveToEx(DC, c.x, c.y, nullptr);
    LineTo(DC, tip.x, tip.y);
    SetROP2(DC, old);
}

void TKitClock::DrawAnalog(HDC DC, const RECT& Rect, bool Full) {
    int size = std::min(Rect.right - Rect.left, Rect.bottom - Rect.top);
    if (size < 8) return;
    RECT sq{(Rect.left + Rect.right - size) / 2, (Rect.top + Rect.bottom - size) / 2, 0, 0};
    sq.right = sq.left + size;
    sq.bottom = sq.top + size;
    int h, m, s;
    DecodeHms(GetClockTime(), h, m, s);
    if (Full) {
        int mark = std::max(1, size / 40);
        for (int i = 0; i < 60; ++i) {
            POINT p = OnFace(sq, i, 95);
            bool hour = i % 5 == 0;
            int r = hour ? mark + 1 : std::max(1, mark / 2);
            RECT dot{p.x - r, p.y - r, p.x + r + 1, p.y + r + 1};
            TOwnedBrush b(CreateSolidBrush(ColorToRGB(hour ? dotsColor_ : Font()->Color())));
            FillRect(DC, &dot, b.Get());
            if (hour && Ctl3D() && size > 60) {
                TControlCanvas canvas;
                canvas.SetHandle(DC);
                Frame3D(&canvas, dot, clBtnHighlight, clBtnShadow, 1);
                canvas.SetHandle(nullptr);
            }
        }
        DrawHands(DC, sq, h, m, Font()->Color());
        DrawSecondHand(DC, sq, s);
    } else {
        if (lastSecond_ >= 0) DrawSecondHand(DC, sq, lastSecond_);
        if (m != lastMinute_ || h % 12 != lastHour_) {
            if (lastMinute_ >= 0) DrawHands(DC, sq, lastHour_, lastMinute_, Color());
            DrawHands(DC, sq, h, m, Font()->Color());
        }
        DrawSecondHand(DC, sq, s);
    }
    lastHour_ = h % 12;
    lastMinute_ = m;
    lastSecond_ = s;
}

}  // namespace widgets::kit
