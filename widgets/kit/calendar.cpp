#include "widgets/kit/calendar.h"

#include <cmath>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/gdi_handles.h"
#include "classlib/std_text.h"
#include "widgets/kit/date_util.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr int kLineWidth = 1;

void DecodeParts(TDateTime D, int& Y, int& M, int& Dd) {
    WORD y = 0, m = 0, d = 0;
    DecodeDate(D, y, m, d);
    Y = y, M = m, Dd = d;
}

}  // namespace

TKitCalendar::TKitCalendar(TComponent* AOwner) : TCustomControl(AOwner), date_(Date()) {
    // Clicks come with the selection, as in a grid, not at the release.
    SetControlStyle((ControlStyle() | csOpaque | csDoubleClicks) & ~static_cast<std::uint32_t>(csClickEvents));
    SetTabStop(true);
    SetColor(clWindow);
    SetBounds(Left(), Top(), 320, 120);
    LayOutMonth();
}

void TKitCalendar::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    if (border_) Params.Style |= WS_BORDER;
}

int TKitCalendar::Day() const {
    int y, m, d;
    DecodeParts(date_, y, m, d);
    return d;
}

int TKitCalendar::Month() const {
    int y, m, d;
    DecodeParts(date_, y, m, d);
    return m;
}

int TKitCalendar::Year() const {
    int y, m, d;
    DecodeParts(date_, y, m, d);
    return y;
}

void TKitCalendar::SetCalendarDate(TDateTime Value) {
    if (Value == date_) return;
    date_ = Value;
    LayOutMonth();
    if (OnChange) OnChange(this);
}

void TKitCalendar::ChangeDate(int Part, int Value) {
    if (Value < 1) return;
    int y, m, d;
    DecodeParts(date_, y, m, d);
    int ny = y, nm = m, nd = d;
    switch (Part) {
        case 0:
            if (Value > 9999) return;
            ny = Value;
            break;
        case 1:
            if (Value > 12) return;
            nm = Value;
            break;
        default:
            if (Value > DaysInMonthOf(y, m)) return;
            nd = Value;
            break;
    }
    if (ny == y && nm == m && nd == d) return;
    nd = std::min(nd, DaysInMonthOf(ny, nm));
    date_ = EncodeDate(ny, nm, nd) + (date_ - std::floor(date_));
    useCurrentDate_ = false;
    LayOutMonth();
    if (OnChange) OnChange(this);
}

void TKitCalendar::SetStartOfWeek(TDayOfWeekName Value) {
    if (startOfWeek_ == Value) return;
    startOfWeek_ = Value;
    LayOutMonth();
}

void TKitCalendar::SetWeekends(TDaysOfWeek Value) {
    if (weekends_ == Value) return;
    weekends_ = Value;
    LayOutMonth();
}

void TKitCalendar::SetWeekendColor(TColor Value) {
    if (weekendColor_ == Value) return;
    weekendColor_ = Value;
    Invalidate();
}

void TKitCalendar::SetUseCurrentDate(bool Value) {
    if (useCurrentDate_ == Value) return;
    useCurrentDate_ = Value;
    if (Value) {
        date_ = Date();
        LayOutMonth();
    }
}

void TKitCalendar::SetFixedColor(TColor Value) {
    fixedColor_ = Value;
    Invalidate();
}

void TKitCalendar::SetGridLines(bool Vertical, bool Horizontal, bool FixedHorizontal) {
    vertLines_ = Vertical;
    horzLines_ = Horizontal;
    fixedHorzLine_ = FixedHorizontal;
    Invalidate();
}

void TKitCalendar::LayOutMonth() {
    updating_ = true;
    offset_ = widgets::kit::MonthOffset(date_, startOfWeek_);
    int c = 0, r = 1;
    DayCell(Day(), offset_, c, r);
    MoveTo(c, r);
    Invalidate();
    updating_ = false;
}

std::string TKitCalendar::CellText(int ACol, int ARow) const {
    if (ACol < 0 || ACol > 6 || ARow < 0 || ARow > 6) return std::string();
    if (ARow == 0) return WideToAnsi(FormatSettings().ShortDayNames[static_cast<int>(ColumnWeekday(ACol, startOfWeek_))]);
    int day = CellDay(ACol, ARow, offset_, DaysInMonthOf(Year(), Month()));
    return day == 0 ? std::string() : std::to_string(day);
}

bool TKitCalendar::SelectCell(int ACol, int ARow) {
    if ((!updating_ && readOnly_) || CellText(ACol, ARow).empty() || ARow < 1) return false;
    return true;
}

void TKitCalendar::MoveTo(int ACol, int ARow) {
    col_ = ACol;
    row_ = ARow;
}

void TKitCalendar::Click() {
    TCustomControl::Click();
    std::string text = CellText(col_, row_);
    if (row_ >= 1 && !text.empty()) SetDay(std::stoi(text));
}

int TKitCalendar::ColWidth() {
    int lines = vertLines_ ? 6 * kLineWidth : 0;
    return std::max(1, (ClientWidth() - lines) / 7);
}

int TKitCalendar::RowHeight() { return std::max(1, (ClientHeight() - 6 * kLineWidth) / 7); }

RECT TKitCalendar::CellRect(int ACol, int ARow) {
    int cw = ColWidth(), rh = RowHeight();
    int vl = vertLines_ ? kLineWidth : 0;
    RECT r{ACol * (cw + vl), ARow * (rh + kLineWidth), 0, 0};
    r.right = r.left + cw;
    r.bottom = r.top + rh;
    return r;
}

bool TKitCalendar::MouseToCell(int X, int Y, int& ACol, int& ARow) {
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) {
            RECT cell = CellRect(c, r);
            if (X >= cell.left && X < cell.right && Y >= cell.top && Y < cell.bottom) {
                ACol = c;
                ARow = r;
                return true;
            }
        }
    ACol = ARow = -1;
    return false;
}

void TKitCalendar::DrawCell(HDC DC, int ACol, int ARow, const RECT& Rect, bool Selected) {
    TColor back = ARow == 0 ? fixedColor_ : Selected ? clHighlight : Color();
    TOwnedBrush brush(CreateSolidBrush(ColorToRGB(back)));
    FillRect(DC, &Rect, brush.Get());
    TColor textColor = Selected ? clHighlightText : Font()->Color();
    if (!Selected && (weekends_ & DayBit(ColumnWeekday(ACol, startOfWeek_))) != 0) textColor = weekendColor_;
    std::string text = CellText(ACol, ARow);
    RECT r = Rect;
    TTextDC out(DC, Font()->Handle(), ColorToRGB(textColor));
    DrawTextAnsi(DC, text, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TKitCalendar::Paint() {
    HDC dc = Canvas()->Handle();
    RECT all = ClientRect();
    TOwnedBrush back(CreateSolidBrush(ColorToRGB(Color())));
    FillRect(dc, &all, back.Get());
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) DrawCell(dc, c, r, CellRect(c, r), r == row_ && c == col_ && r > 0);
    TOwnedPen pen(CreatePen(PS_SOLID, kLineWidth, ColorToRGB(clBtnShadow)));
    TSelectedObject sel(dc, pen.Get());
    for (int r = 0; r < 6; ++r) {
        if (!(horzLines_ || (r == 0 && fixedHorzLine_))) continue;
        int y = CellRect(0, r).bottom;
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, all.right, y);
    }
    if (vertLines_)
        for (int c = 0; c < 6; ++c) {
            int x = CellRect(c, 0).right;
            MoveToEx(dc, x, 0, nullptr);
            LineTo(dc, x, all.bottom);
        }
}

void TKitCalendar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == TMouseButton::mbLeft && TabStop() && CanFocus()) SetFocus();
    int c = -1, r = -1;
    if (Button == TMouseButton::mbLeft && MouseToCell(X, Y, c, r) && SelectCell(c, r)) {
        MoveTo(c, r);
        Invalidate();
        Click();
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TKitCalendar::KeyDown(WORD& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    switch (Key) {
        case VK_LEFT:
        case VK_SUBTRACT:
            if (Day() > 1)
                SetDay(Day() - 1);
            else
                SetCalendarDate(date_ - 1);
            Key = 0;
            break;
        case VK_RIGHT:
        case VK_ADD:
            if (Day() < DaysInMonthOf(Year(), Month()))
                SetDay(Day() + 1);
            else
                SetCalendarDate(date_ + 1);
            Key = 0;
            break;
        case VK_UP:
        case VK_DOWN: {
            // Within the shown month, as the grid's own selection moves.
            int r = row_ + (Key == VK_UP ? -1 : 1);
            if (SelectCell(col_, r)) {
                MoveTo(col_, r);
                Invalidate();
                Click();
            }
            Key = 0;
            break;
        }
        default: break;
    }
}

void TKitCalendar::KeyPress(char& Key) {
    if (Key == 'T' || Key == 't') {
        SetCalendarDate(std::trunc(Date()) + (date_ - std::floor(date_)));
        Key = 0;
        return;
    }
    TCustomControl::KeyPress(Key);
}

void TKitCalendar::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETDLGCODE:
            Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
            return;
        case WM_SIZE:
        case CM_FONTCHANGED:
            TCustomControl::Dispatch(Message);
            Invalidate();
            return;
        default:
            TCustomControl::Dispatch(Message);
    }
}

// ---- TLocCalendar ----------------------------------------------------------------------------

TLocCalendar::TLocCalendar(TComponent* AOwner) : TKitCalendar(AOwner) {
    border_ = false;
    SetTabStop(false);
    SetCtl3D(false);
    SetParentColor(true);
    SetFixedColor(Color());
    SetGridLines(false, false, true);
    SetCalendarDate(std::trunc(Date()));
    SetUseCurrentDate(false);
    // Never focused: disabled as a control, while its window takes the mouse.
    SetEnabled(false);
}

void TLocCalendar::CreateParams(TCreateParams& Params) {
    TKitCalendar::CreateParams(Params);
    Params.Style &= ~static_cast<DWORD>(WS_BORDER | WS_TABSTOP | WS_DISABLED);
}

void TLocCalendar::CreateWnd() {
    TKitCalendar::CreateWnd();
    EnableWindow(WindowHandle(), TRUE);
}

void TLocCalendar::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_ENABLEDCHANGED:
            TKitCalendar::Dispatch(Message);
            if (HandleAllocated()) EnableWindow(WindowHandle(), TRUE);
            return;
        case CM_PARENTCOLORCHANGED:
            TKitCalendar::Dispatch(Message);
            SetFixedColor(Color());
            return;
        default:
            TKitCalendar::Dispatch(Message);
    }
}

void TLocCalendar::DrawCell(HDC DC, int ACol, int ARow, const RECT& Rect, bool Selected) {
    TKitCalendar::DrawCell(DC, ACol, ARow, Rect, Selected);
    if (ARow == 0) return;
    std::string text = CellText(ACol, ARow);
    if (text.empty()) return;
    TDateTime today = std::trunc(Date());
    TDateTime cell = 0;
    if (!TryEncodeDate(Year(), Month(), std::stoi(text), cell) || cell != today) return;
    // Today: a sunken frame, shadow above and left, highlight below and right.
    TOwnedPen dark(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnShadow)));
    TOwnedPen light(CreatePen(PS_SOLID, 1, ColorToRGB(clBtnHighlight)));
    {
        TSelectedObject sel(DC, dark.Get());
        MoveToEx(DC, Rect.left, Rect.bottom - 1, nullptr);
        LineTo(DC, Rect.left, Rect.top);
        LineTo(DC, Rect.right - 1, Rect.top);
    }
    TSelectedObject sel(DC, light.Get());
    MoveToEx(DC, Rect.right - 1, Rect.top, nullptr);
    LineTo(DC, Rect.right - 1, Rect.bottom - 1);
    LineTo(DC, Rect.left - 1, Rect.bottom - 1);
}

}  // namespace widgets::kit
