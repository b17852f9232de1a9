#include "widgets/kit/date_edit.h"

#include <cmath>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/format.h"
#include "widgets/kit/date_util.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

HBITMAP SharedDateGlyph() {
    // Loaded once and shared by every date edit until the program ends.
    static TOwnedBitmap glyph = LoadResBitmap(GetModuleHandleW(nullptr), L"DEDITBMP");
    return glyph.Get();
}

}  // namespace

TCustomDateEdit::TCustomDateEdit(TComponent* AOwner) : TCustomComboEdit(AOwner) {
    SetDefaultNumGlyphs(2);
    hints_.OnChange = [this](TObject*) {
        // At most four hints: the calendar has four buttons.
        while (hints_.Count() > 4) hints_.Delete(hints_.Count() - 1);
        UpdateCalendar();
    };
    dateFormat_ = DefaultDateFormat(FourDigitYear());
    SetCalendarStyle(TCalendarStyle::csDialog);
    SetCalendarStyle(TCalendarStyle::csPopup);
    SetGlyphKind(TGlyphKind::gkDefault);
    if (ApplicationExists() && !HasState(csDesigning)) {
        Application()->HookMainWindow(this, [this](TMessage& Message) {
            if (Message.Msg == WM_WININICHANGE && Application()->UpdateFormatSettings()) UpdateMask();
            return false;
        });
    }
}

TCustomDateEdit::~TCustomDateEdit() {
    if (ApplicationExists()) Application()->UnhookMainWindow(this);
    hints_.OnChange = nullptr;
    SetPopup(nullptr);
    calendar_ = nullptr;
}

HBITMAP TCustomDateEdit::GetDefaultBitmap(bool& FreeIt) {
    FreeIt = false;
    return SharedDateGlyph();
}

bool TCustomDateEdit::FourDigitYear() const {
    if (yearDigits_ == TYearDigits::dyFour) return true;
    if (yearDigits_ == TYearDigits::dyTwo) return false;
    return UseFourDigitYear();
}

std::string TCustomDateEdit::FormatDate(TDateTime Value) const {
    // By the edit format's letters, with its own separators, so that the text fits the mask.
    WORD y = 0, m = 0, d = 0;
    DecodeDate(Value, y, m, d);
    std::string out;
    const std::wstring& f = dateFormat_;
    for (size_t i = 0; i < f.size();) {
        wchar_t c = static_cast<wchar_t>(towupper(f[i]));
        size_t n = 1;
        while (i + n < f.size() && towupper(f[i + n]) == c) ++n;
        int v = c == L'D' ? d : c == L'M' ? m : c == L'Y' ? y : -1;
        if (v < 0) {
            out.append(WideToAnsi(f.substr(i, n)));
        } else {
            if (c == L'Y' && n <= 2) v %= 100;
            std::string digits = std::to_string(v);
            if (digits.size() < n) digits.insert(0, n - digits.size(), '0');
            out.append(digits);
        }
        i += n;
    }
    return out;
}

bool TCustomDateEdit::TextIsBlank() {
    std::wstring sep(1, FormatSettings().DateSeparator);
    for (char c : Text())
        if (c != ' ' && c != blanksChar_ && c != '/' && AnsiToWide(std::string(1, c)) != sep) return false;
    return true;
}

bool TCustomDateEdit::TextDate(TDateTime& Value) {
    if (TextIsBlank()) {
        Value = NullDate;
        return true;
    }
    // The window may show more than the mask keeps (a text put in by another program): 12/31/99999
    // is no date of the year 9999.
    const std::string shown = EditText();
    const size_t end = shown.find_last_not_of(std::string(" ") + blanksChar_);
    TDateTime d = NullDate;
    if ((end != std::string::npos && end >= dateFormat_.size()) ||
        !TryTextToDate(dateFormat_, AnsiToWide(Text()), d) || d == NullDate || !IsValidDateTime(d))
        return false;
    Value = d;
    return true;
}

bool TCustomDateEdit::CheckDate() {
    TDateTime d = NullDate;
    if (TextDate(d)) {
        lastValid_ = d;
        return true;
    }
    SetDate(lastValid_);
    RefusalBeep();
    return false;
}

void TCustomDateEdit::RefusalBeep() {
    MessageBeep(0);
}

TDateTime TCustomDateEdit::Date() {
    TDateTime d = NullDate;
    if (TextDate(d) && d != NullDate) return d;
    return defaultToday_ ? std::trunc(classlib::Date()) : NullDate;
}

void TCustomDateEdit::SetDate(TDateTime Value) {
    if (Value == NullDate || !IsValidDateTime(Value)) Value = defaultToday_ ? std::trunc(classlib::Date()) : NullDate;
    TDateTime before = Date();
    lastValid_ = Value;
    SetText(Value == NullDate ? std::string() : FormatDate(Value));
    if (Date() != before) SetModified(true);
}

void TCustomDateEdit::ApplyDate(TDateTime Value) {
    SetDate(Value);
    if (DirectInput()) SelectAll();
}

void TCustomDateEdit::UpdateMask() {
    TDateTime kept = Date();
    std::wstring format = DefaultDateFormat(FourDigitYear());
    std::string mask = WideToAnsi(DefaultDateMask(blanksChar_, FourDigitYear()));
    bool changed = mask != EditMask() || format != dateFormat_;
    formatting_ = true;
    try {
        dateFormat_ = format;
        if (changed) {
            SetEditMask(std::string());
            SetEditMask(mask);
        }
        UpdateCalendar();
        SetDate(kept);
    } catch (...) {
        formatting_ = false;
        throw;
    }
    formatting_ = false;
}

void TCustomDateEdit::UpdateCalendar() {
    if (calendar_ == nullptr) return;
    std::vector<std::string> hints;
    for (int i = 0; i < hints_.Count(); ++i) hints.push_back(hints_.Strings(i));
    calendar_->SetSettings(startOfWeek_, weekends_, weekendColor_, FourDigitYear(), hints);
    calendar_->SetColor(popupColor_);
}

void TCustomDateEdit::SetBlanksChar(char Value) {
    if (static_cast<unsigned char>(Value) < 32) Value = ' ';
    if (blanksChar_ == Value) return;
    blanksChar_ = Value;
    UpdateMask();
}

void TCustomDateEdit::SetYearDigits(TYearDigits Value) {
    if (yearDigits_ == Value) return;
    yearDigits_ = Value;
    UpdateMask();
}

void TCustomDateEdit::SetCalendarStyle(TCalendarStyle Value) {
    if (Value == calendarStyle_ && (calendar_ != nullptr) == (Value == TCalendarStyle::csPopup)) return;
    calendarStyle_ = Value;
    if (Value == TCalendarStyle::csPopup) {
        calendar_ = NewPopupCalendar(this, BiDiMode());
        SetPopup(calendar_);
        UpdateCalendar();
    } else {
        SetPopup(nullptr);  // frees the calendar
        calendar_ = nullptr;
    }
}

TColor TCustomDateEdit::PopupColor() const { return calendar_ != nullptr ? calendar_->Color() : popupColor_; }

void TCustomDateEdit::SetPopupColor(TColor Value) {
    popupColor_ = Value;
    if (calendar_ != nullptr) calendar_->SetColor(Value);
}

void TCustomDateEdit::SetStartOfWeek(TDayOfWeekName Value) {
    startOfWeek_ = Value;
    UpdateCalendar();
}

void TCustomDateEdit::SetWeekends(TDaysOfWeek Value) {
    weekends_ = Value;
    UpdateCalendar();
}

void TCustomDateEdit::SetWeekendColor(TColor Value) {
    weekendColor_ = Value;
    UpdateCalendar();
}

void TCustomDateEdit::CreateWnd() {
    TCustomComboEdit::CreateWnd();
    UpdateMask();
}

void TCustomDateEdit::Change() {
    // A text put in from outside (another edit's text copied over) is the one to come back to;
    // what is typed counts only once the edit is left.
    TDateTime d = NullDate;
    if (!Focused() && TextDate(d)) lastValid_ = d;
    if (!formatting_) TCustomComboEdit::Change();
}

void TCustomDateEdit::ButtonClick() {
    if (calendarStyle_ == TCalendarStyle::csPopup) {
        TCustomComboEdit::ButtonClick();
        return;
    }
    if (GetReadOnly() && !AlwaysEnable()) return;
    if (OnButtonClick) OnButtonClick(this);
    TDateTime d = Date();
    std::vector<std::string> hints;
    for (int i = 0; i < hints_.Count(); ++i) hints.push_back(hints_.Strings(i));
    bool ok = RunDateDialog(d, dialogTitle_, startOfWeek_, weekends_, weekendColor_, hints);
    if (CanFocus()) SetFocus();
    if (!ok) return;
    bool action = true;
    if (OnAcceptDate) OnAcceptDate(this, d, action);
    if (!action) return;
    SetDate(d);
    if (Focused()) SelectAll();
}

void TCustomDateEdit::AcceptValue(const TPopupValue& Value) {
    TDateTime d = NullDate;
    if (const auto* v = std::get_if<double>(&Value)) d = *v;
    bool action = true;
    if (OnAcceptDate) OnAcceptDate(this, d, action);
    if (!action) return;
    std::string before = Text();
    formatting_ = true;  // one OnChange for the accepted date, not one per rewrite
    try {
        SetDate(d);
    } catch (...) {
        formatting_ = false;
        throw;
    }
    formatting_ = false;
    if (Text() != before) {
        SetModified(true);
        TCustomMaskEdit::Change();  // the pop-up is still up: past the combo edit's PopupChange
    }
}

void TCustomDateEdit::KeyDown(WORD& Key, TShiftState Shift) {
    bool plain = (Shift & (ssShift | ssAlt | ssCtrl)) == 0;
    bool calendarKey = Key == VK_PRIOR || Key == VK_NEXT || Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP ||
                       Key == VK_DOWN || Key == VK_ADD || Key == VK_SUBTRACT;
    if (plain && calendarKey && PopupVisible() && calendar_ != nullptr) {
        calendar_->Perform(WM_KEYDOWN, Key, 0);
        Key = 0;
        return;
    }
    if (plain && (Key == VK_ADD || Key == VK_SUBTRACT) && DirectInput()) {
        TDateTime d = Date();
        if (d == NullDate) d = Now();
        ApplyDate(std::trunc(d) + (Key == VK_ADD ? 1 : -1));
        Key = 0;
        return;
    }
    TCustomComboEdit::KeyDown(Key, Shift);
}

void TCustomDateEdit::KeyPress(char& Key) {
    bool ours = Key == '+' || Key == '-' || Key == 'T' || Key == 't';
    if (ours && PopupVisible() && calendar_ != nullptr) {
        calendar_->Perform(WM_CHAR, static_cast<unsigned char>(Key), 0);
        Key = 0;
        return;
    }
    if (ours && DirectInput()) {
        if (Key == 'T' || Key == 't') ApplyDate(std::trunc(Now()));
        Key = 0;
        return;
    }
    TCustomComboEdit::KeyPress(Key);
}

void TCustomDateEdit::DoEnter() {
    TDateTime d = NullDate;
    if (TextDate(d)) lastValid_ = d;
    TCustomComboEdit::DoEnter();
}

void TCustomDateEdit::DoExit() {
    if (checkOnExit_ && !HasState(csDesigning) && !TextIsBlank()) {
        // Raises the date routines' conversion error for a text that is no date.
        TDateTime d = TextToDate(dateFormat_, AnsiToWide(Text()));
        formatting_ = true;
        SetDate(d);
        formatting_ = false;
    } else if (!HasState(csDesigning)) {
        // A date that cannot be would read as the null date wherever the edit's date is used.
        CheckDate();
    }
    TCustomComboEdit::DoExit();
}

TDateEdit::TDateEdit(TComponent* AOwner) : TCustomDateEdit(AOwner) { UpdateMask(); }

}  // namespace widgets::kit
