#include "widgets/kit/popup_calendar.h"

#include <cmath>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/std_buttons.h"
#include "widgets/kit/date_util.h"
#include "widgets/kit/kit_resource_ids.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

SIZE gPopupSize{187, 124};

std::string ProgramString(UINT Id) {
    char buf[256] = {};
    int n = LoadStringA(GetModuleHandleW(nullptr), Id, buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n > 0 ? n : 0));
}

// The navigation buttons: previous year, previous month, next month, next year.
struct TNavInfo {
    const wchar_t* bitmap;
    UINT hint;
};
const TNavInfo kNav[4] = {{L"PREV2", IDS_KIT_PREV_YEAR},
                          {L"PREV1", IDS_KIT_PREV_MONTH},
                          {L"NEXT1", IDS_KIT_NEXT_MONTH},
                          {L"NEXT2", IDS_KIT_NEXT_YEAR}};

TKitTimerSpeedButton* MakeNavButton(TComponent* Owner, TWinControl* Parent, int Index, const RECT& Bounds,
                                    TKitCalendar* Calendar) {
    auto* b = new TKitTimerSpeedButton(Owner);
    b->SetParent(Parent);
    b->SetBounds(Bounds.left, Bounds.top, Bounds.right, Bounds.bottom);
    TOwnedBitmap glyph = LoadResBitmap(GetModuleHandleW(nullptr), kNav[Index].bitmap);
    b->SetGlyph(glyph.Get());
    b->SetHint(ProgramString(kNav[Index].hint));
    b->OnClick = [Calendar, Index](TObject*) {
        switch (Index) {
            case 0: Calendar->PrevYear(); break;
            case 1: Calendar->PrevMonth(); break;
            case 2: Calendar->NextMonth(); break;
            default: Calendar->NextYear(); break;
        }
    };
    return b;
}

// Page Up / Page Down (Ctrl: by year). Answers whether the key was one of them.
bool PageKey(TKitCalendar* Calendar, WORD Key, TShiftState Shift) {
    bool ctrl = (Shift & ssCtrl) != 0;
    if (Key == VK_PRIOR) {
        ctrl ? Calendar->PrevYear() : Calendar->PrevMonth();
        return true;
    }
    if (Key == VK_NEXT) {
        ctrl ? Calendar->NextYear() : Calendar->NextMonth();
        return true;
    }
    return false;
}

// The system's message font; without it "MS Sans Serif" 8 points in the window-text colour.
void SetMessageFont(TFont* Font) {
    NONCLIENTMETRICSA m{};
    m.cbSize = sizeof(m);
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(m), &m, 0)) {
        Font->AssignLogFont(m.lfMessageFont);
    } else {
        Font->SetColor(clWindowText);
        Font->SetName("MS Sans Serif");
        Font->SetSize(8);
        Font->SetStyle(TFontStyles());
    }
}

// Scales the bounds and fonts of a control and everything in it by M / D.
void ScaleTree(TControl* Control, int M, int D) {
    Control->SetBounds(MulDiv(Control->Left(), M, D), MulDiv(Control->Top(), M, D), MulDiv(Control->Width(), M, D),
                       MulDiv(Control->Height(), M, D));
    if (!Control->ParentFont()) Control->Font()->SetHeight(MulDiv(Control->Font()->Height(), M, D));
    if (auto* w = dynamic_cast<TWinControl*>(Control))
        for (int i = 0; i < w->ControlCount(); ++i) ScaleTree(w->Controls(i), M, D);
}

std::string MonthTitle(TDateTime Date) { return WideToAnsi(FormatDateTime(L"MMMM, YYYY", Date)); }

}  // namespace

SIZE PopupCalendarSize() { return gPopupSize; }

void SetPopupCalendarSize(int Width, int Height) { gPopupSize = SIZE{std::max(Width, 180), std::max(Height, 120)}; }

// ---- TPopupCalendar --------------------------------------------------------------------------

TPopupCalendar::TPopupCalendar(TCustomComboEdit* Editor) : TPopupWindow(Editor) {
    fourDigitYear_ = UseFourDigitYear();
    SIZE size = PopupCalendarSize();
    SetBounds(0, 0, size.cx, size.cy);
    SetColor(clBtnFace);
    SetMessageFont(Font());
    if (Editor != nullptr) SetShowHint(Editor->ShowHint());
    else SetShowHint(true);
    auto* back = new TPanel(this);
    back->SetParent(this);
    back->SetAlign(TAlign::alClient);
    back->SetParentColor(true);
    back->SetControlStyle(back->ControlStyle() | csReplicatable);
    auto* top = new TPanel(this);
    top->SetParent(back);
    top->SetAlign(TAlign::alTop);
    top->SetBevelOuter(TPanelBevel::bvNone);
    top->SetParentColor(true);
    top->SetBounds(0, 0, size.cx - 4, 18);
    calendar_ = new TLocCalendar(this);
    calendar_->SetParent(back);
    calendar_->SetAlign(TAlign::alClient);
    int pw = top->Width();
    const RECT bounds[4] = {{-1, -1, 14, 14}, {12, -1, 14, 14}, {pw - 26, -1, 14, 14}, {pw - 13, -1, 14, 14}};
    for (int i = 0; i < 4; ++i) buttons_[i] = MakeNavButton(this, top, i, bounds[i], calendar_);
    title_ = new TLabel(this);
    title_->SetParent(top);
    title_->SetAutoSize(false);
    title_->SetBounds(29, 1, pw - 58, 14);
    title_->SetAlignment(TAlignment::taCenter);
    title_->SetTransparent(true);
    title_->OnDblClick = [this](TObject*) {
        calendar_->SetCalendarDate(std::trunc(Date()));
    };
    calendar_->OnChange = [this](TObject*) { UpdateTitle(); };
    calendar_->OnMouseUp = [this](TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
        // A plain left click on a day picks it; an empty cell does nothing.
        int c = -1, r = -1;
        if (Button == TMouseButton::mbLeft && (Shift & (ssShift | ssCtrl | ssAlt)) == 0 && calendar_->MouseToCell(X, Y, c, r) &&
            r > 0 && !calendar_->CellText(c, r).empty())
            CloseUp(true);
    };
    UpdateTitle();
}

void TPopupCalendar::UpdateTitle() { title_->SetCaption(MonthTitle(calendar_->CalendarDate())); }

TPopupValue TPopupCalendar::GetValue() {
    if (HasState(csDesigning)) return std::trunc(Date());
    return calendar_->CalendarDate();
}

void TPopupCalendar::SetValue(const TPopupValue& Value) {
    TDateTime d = NullDate;
    bool ok = false;
    if (const auto* s = std::get_if<std::string>(&Value))
        ok = !s->empty() && TryTextToDate(DefaultDateFormat(fourDigitYear_), AnsiToWide(*s), d) && d != NullDate;
    else if (const auto* v = std::get_if<double>(&Value))
        ok = *v != NullDate && IsValidDateTime(*v), d = *v;
    calendar_->SetCalendarDate(ok ? d : std::trunc(Date()));
    UpdateTitle();
}

void TPopupCalendar::SetSettings(TDayOfWeekName StartOfWeek, TDaysOfWeek Weekends, TColor WeekendColor,
                                 bool FourDigitYear, const std::vector<std::string>& Hints) {
    calendar_->SetStartOfWeek(StartOfWeek);
    calendar_->SetWeekends(Weekends);
    calendar_->SetWeekendColor(WeekendColor);
    fourDigitYear_ = FourDigitYear;
    for (size_t i = 0; i < Hints.size() && i < 4; ++i)
        if (!Hints[i].empty()) buttons_[i]->SetHint(Hints[i]);
}

void TPopupCalendar::KeyDown(WORD& Key, TShiftState Shift) {
    if (PageKey(calendar_, Key, Shift)) {
        Key = 0;
        return;
    }
    calendar_->Perform(WM_KEYDOWN, Key, 0);
    Key = 0;
}

void TPopupCalendar::KeyPress(char& Key) {
    calendar_->Perform(WM_CHAR, static_cast<unsigned char>(Key), 0);
    Key = 0;
}

TPopupCalendar* NewPopupCalendar(TCustomComboEdit* Owner, TBiDiMode BiDiMode) {
    auto* popup = new TPopupCalendar(Owner);
    if (Owner == nullptr || !Owner->HasState(csDesigning)) {
        int ppi = ScreenPixelsPerInch();
        if (ppi != 96) {
            ScaleTree(popup, ppi, 96);
            popup->Calendar()->SetFont(popup->Font());
            SetMessageFont(popup->Font());
        }
        // The reading order is applied on every screen (allowed), not only off 96 dpi.
        popup->SetBiDiMode(BiDiMode);
    }
    return popup;
}

// ---- TSelectDateDlg --------------------------------------------------------------------------

TSelectDateDlg::TSelectDateDlg(TComponent* AOwner) : TForm(AOwner) {
    SetCaption(ProgramString(IDS_KIT_SELECT_DATE));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetColor(clBtnFace);
    SetKeyPreview(true);
    SetClientWidth(222);
    SetClientHeight(154);
    top_ = new TPanel(this);
    top_->SetParent(this);
    top_->SetBounds(4, 4, 214, 20);
    top_->SetBevelOuter(TPanelBevel::bvNone);
    top_->SetParentColor(true);
    top_->OnDblClick = [this](TObject*) { calendar_->SetCalendarDate(std::trunc(Date())); };
    calendar_ = new TKitCalendar(this);
    calendar_->SetParent(this);
    calendar_->SetBounds(4, 26, 214, 94);
    int pw = top_->Width();
    const RECT bounds[4] = {{0, 2, 16, 16}, {17, 2, 16, 16}, {pw - 33, 2, 16, 16}, {pw - 16, 2, 16, 16}};
    for (int i = 0; i < 4; ++i) buttons_[i] = MakeNavButton(this, top_, i, bounds[i], calendar_);
    title_ = new TLabel(this);
    title_->SetParent(top_);
    title_->SetAutoSize(false);
    title_->SetBounds(36, 3, pw - 72, 14);
    title_->SetAlignment(TAlignment::taCenter);
    title_->SetTransparent(true);
    calendar_->OnChange = [this](TObject*) { UpdateTitle(); };
    calendar_->OnDblClick = [this](TObject*) { SetModalResult(mrOk); };
    ok_ = new TButton(this);
    ok_->SetParent(this);
    ok_->SetCaption("OK");
    ok_->SetModalResult(mrOk);
    ok_->SetDefault(true);
    ok_->SetBounds(62, 126, 75, 23);
    cancel_ = new TButton(this);
    cancel_->SetParent(this);
    cancel_->SetCaption("Cancel");
    cancel_->SetModalResult(mrCancel);
    cancel_->SetCancel(true);
    cancel_->SetBounds(142, 126, 75, 23);
    UpdateTitle();
}

void TSelectDateDlg::UpdateTitle() { title_->SetCaption(MonthTitle(calendar_->CalendarDate())); }

void TSelectDateDlg::KeyDown(WORD& Key, TShiftState Shift) {
    switch (Key) {
        case VK_ESCAPE: SetModalResult(mrCancel); break;
        case VK_RETURN: SetModalResult(mrOk); break;
        case VK_TAB: (Shift & ssShift) ? calendar_->PrevMonth() : calendar_->NextMonth(); break;
        default:
            if (!PageKey(calendar_, Key, Shift)) {
                TForm::KeyDown(Key, Shift);
                return;
            }
    }
    Key = 0;
}

void TSelectDateDlg::Dispatch(TMessage& Message) {
    if (Message.Msg == CM_DIALOGKEY && Message.WParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
        GetKeyState(VK_MENU) >= 0) {
        GetKeyState(VK_SHIFT) < 0 ? calendar_->PrevMonth() : calendar_->NextMonth();
        Message.Result = 1;
        return;
    }
    TForm::Dispatch(Message);
}

bool RunDateDialog(TDateTime& Date, const std::string& Title, TDayOfWeekName StartOfWeek, TDaysOfWeek Weekends,
                   TColor WeekendColor, const std::vector<std::string>& Hints) {
    std::unique_ptr<TSelectDateDlg> dlg(NewForm<TSelectDateDlg>(Application()));
    if (!Title.empty()) dlg->SetCaption(Title);
    int ppi = ScreenPixelsPerInch();
    if (ppi != 96) ScaleTree(dlg.get(), ppi, 96);
    dlg->SetBounds(Screen()->Width() / 2 - dlg->Width() / 2, Screen()->Height() / 2 - dlg->Height() / 2, dlg->Width(),
                   dlg->Height());
    TKitCalendar* cal = dlg->Calendar();
    cal->SetCalendarDate(Date == NullDate ? std::trunc(classlib::Date()) : Date);
    cal->SetStartOfWeek(StartOfWeek);
    cal->SetWeekends(Weekends);
    cal->SetWeekendColor(WeekendColor);
    for (size_t i = 0; i < Hints.size() && i < 4; ++i)
        if (!Hints[i].empty()) dlg->NavButton(static_cast<int>(i))->SetHint(Hints[i]);
    if (dlg->ShowModal() != mrOk) return false;
    Date = cal->CalendarDate();
    return true;
}

}  // namespace widgets::kit
