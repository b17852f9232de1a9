// The scheduled capture: arming the schedule clock's alarm on the start and then on the end, the
// checks before a schedule is armed (its dates before its file), live changes of an armed
// schedule, and the schedule panel's values when it is shown. The clock's alarm knows only a time
// of day; the whole instants are kept beside it, so that a start or an end set for another day
// waits for its day.
#include <algorithm>
#include <cmath>

#include "classlib/custom_form.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "ui/capture_form.h"
#include "ui/programmer_frame.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

using widgets::kit::TKitSpinEdit;

// A spin edit's value as a time element, within 0..Highest whatever was typed.
int Element(TKitSpinEdit* Edit, int Highest) { return std::clamp(Edit->AsInteger(), 0, Highest); }

double TimeOf(TKitSpinEdit* Hour, TKitSpinEdit* Minute, TKitSpinEdit* Second) {
    return (Element(Hour, 23) * 3600.0 + Element(Minute, 59) * 60.0 + Element(Second, 59)) / 86400.0;
}

std::wstring AlarmText(widgets::kit::TKitClock* Clock) {
    return classlib::Format(L"%.2d:%.2d:%.2d", {Clock->AlarmHour(), Clock->AlarmMinute(), Clock->AlarmSecond()});
}

// A time of day written "h:m:s" in the string table, as a fraction of a day (0 when unreadable).
double OffsetOf(unsigned Id) {
    const std::wstring text = RecText(Id);
    int h = 0, m = 0, s = 0;
    if (swscanf(text.c_str(), L"%d:%d:%d", &h, &m, &s) != 3) return 0.0;
    return (h * 3600.0 + m * 60.0 + s) / 86400.0;
}

void ShowError(const std::wstring& Message) {
    widgets::WideMessageDlg(Message, widgets::TMsgDlgType::mtError, widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

// A second of slack: the clock's tick may come a little before the instant it stands for.
constexpr double kSlack = 2.0 / 86400.0;

}  // namespace

double TCaptureForm::ScheduleNow() {
    double now = classlib::Now();
    widgets::kit::TKitClock* clock = ProgrammerFrame1->KitClock2;
    if (clock->OnGetTime) {
        double given = now;
        clock->OnGetTime(clock, given);
        now = given < 1.0 ? std::floor(now) + given : given;
    }
    return now;
}

bool TCaptureForm::ScheduleFieldsShown(bool WithStart) {
    TProgrammerFrame* panel = ProgrammerFrame1;
    // Every field is asked, so that each one shows what it holds.
    bool shown = true;
    if (WithStart) {
        shown = panel->DateEdit1->CheckDate() && shown;
        for (TKitSpinEdit* edit : {panel->KitSpinEdit1, panel->KitSpinEdit2, panel->KitSpinEdit3})
            shown = edit->CheckText() && shown;
    }
    shown = panel->DateEdit2->CheckDate() && shown;
    for (TKitSpinEdit* edit : {panel->KitSpinEdit4, panel->KitSpinEdit5, panel->KitSpinEdit6})
        shown = edit->CheckText() && shown;
    return shown;
}

bool TCaptureForm::StartSchedule() {
    TProgrammerFrame* panel = ProgrammerFrame1;
    // The dates and times come first: a schedule that cannot be armed asks nothing about the file.
    if (!ScheduleFieldsShown(true)) return false;
    const double start =
        std::floor(panel->DateEdit1->Date()) + TimeOf(panel->KitSpinEdit1, panel->KitSpinEdit2, panel->KitSpinEdit3);
    const double end =
        std::floor(panel->DateEdit2->Date()) + TimeOf(panel->KitSpinEdit4, panel->KitSpinEdit5, panel->KitSpinEdit6);
    auto datesRefused = [&](double Now) {
        if (Now > end) {
            ShowError(RecText(IDS_REC_PAST_END));
            return true;
        }
        // An end before the start would never come.
        if (end <= start) {
            ShowError(RecText(IDS_REC_END_BEFORE_START));
            return true;
        }
        return false;
    };
    if (datesRefused(ScheduleNow())) return false;
    TakeVideoNameBoxes();
    TellLeftOvers(NextVideoFile);
    if (!ConfirmNewRecording(NextVideoFile, false)) return false;
    CaptureFile = NextVideoFile;
    scheduleCheckedName_ = NextVideoFile;
    scheduleCheckedFiles_ = FilesAt(NextVideoFile);
    // The questions may have stayed open a while.
    const double now = ScheduleNow();
    if (datesRefused(now)) return false;
    ScheduleStartAt = start;
    ScheduleEndAt = end;
    if (now > start) {
        const std::wstring question = RecText(IDS_REC_PAST_START) + L"\r\n" + RecText(IDS_REC_START_NOW);
        if (widgets::WideMessageDlg(question, widgets::TMsgDlgType::mtError, widgets::mbYesNo, 0) == classlib::mrYes) {
            CaptureState = 3;
            lancerEnregistrement(this);
        }
        return false;
    }
    widgets::kit::TKitClock* clock = panel->KitClock2;
    try {
        clock->SetAlarmTime(Element(panel->KitSpinEdit1, 23), Element(panel->KitSpinEdit2, 59),
                            Element(panel->KitSpinEdit3, 59));
    } catch (...) {
        return false;
    }
    clock->OnAlarm = [this](classlib::TObject* Sender) { lancerEnregistrement(Sender); };
    clock->SetAlarmEnabled(true);
    return true;
}

double TCaptureForm::ScheduledEnd() {
    TProgrammerFrame* panel = ProgrammerFrame1;
    return std::floor(panel->DateEdit2->Date()) + TimeOf(panel->KitSpinEdit4, panel->KitSpinEdit5, panel->KitSpinEdit6);
}

void TCaptureForm::SkipLateSchedule() {
    const double start = ScheduleStartAt;
    const double end = ScheduledEnd();
    DisarmScheduleAlarm();
    ShowPreviewLook();
    try {
        auto moment = [](double When) {
            WORD h = 0, m = 0, s = 0, ms = 0;
            classlib::DecodeTime(When - std::floor(When), h, m, s, ms);
            return classlib::Format(L"%.2d:%.2d:%.2d", {static_cast<int>(h), static_cast<int>(m), static_cast<int>(s)});
        };
        widgets::WideMessageDlg(classlib::Format(RecText(IDS_REC_LATE_START), {moment(start), moment(end)}),
                                widgets::TMsgDlgType::mtWarning, widgets::MsgDlgButtons({widgets::mbOK}), 0);
    } catch (...) {
        // The schedule is dropped all the same.
    }
}

bool TCaptureForm::ArmScheduleEnd() {
    try {
        TProgrammerFrame* panel = ProgrammerFrame1;
        const double end = ScheduledEnd();
        // The whole instant: an end already past today would otherwise come tomorrow.
        if (ScheduleNow() >= end) return false;
        widgets::kit::TKitClock* clock = panel->KitClock2;
        clock->SetAlarmTime(Element(panel->KitSpinEdit4, 23), Element(panel->KitSpinEdit5, 59),
                            Element(panel->KitSpinEdit6, 59));
        clock->OnAlarm = [this](classlib::TObject* Sender) { stopperEnregistrement(Sender); };
        clock->SetAlarmEnabled(true);
        ScheduleEndAt = end;
        return true;
    } catch (...) {
        return false;
    }
}

bool TCaptureForm::DisarmScheduleAlarm() {
    widgets::kit::TKitClock* clock = ProgrammerFrame1->KitClock2;
    clock->SetAlarmEnabled(false);
    clock->OnAlarm = nullptr;
    return true;
}

// ---- Live changes ---------------------------------------------------------------------------

void TCaptureForm::ScheduleStartEditChange(classlib::TObject* /*Sender*/) {
    if (CaptureState != 3) return;
    TProgrammerFrame* panel = ProgrammerFrame1;
    try {
        // Typed values are taken within their range: a minute of 75 is 59, never an error box.
        const int h = Element(panel->KitSpinEdit1, 23), m = Element(panel->KitSpinEdit2, 59),
                  s = Element(panel->KitSpinEdit3, 59);
        widgets::kit::TKitClock* clock = panel->KitClock2;
        clock->SetAlarmTime(h, m, s);
        // The armed day stays: the date edits never re-arm the alarm.
        ScheduleStartAt = std::floor(ScheduleStartAt) + (h * 3600.0 + m * 60.0 + s) / 86400.0;
        StatusInfoText = settings::LoadProgramText(IDS_START_AT) + AlarmText(clock);
        RepaintStatus();
    } catch (...) {
    }
}

void TCaptureForm::ScheduleEndEditChange(classlib::TObject* /*Sender*/) {
    if (CaptureState != 4) return;
    TProgrammerFrame* panel = ProgrammerFrame1;
    try {
        const int h = Element(panel->KitSpinEdit4, 23), m = Element(panel->KitSpinEdit5, 59),
                  s = Element(panel->KitSpinEdit6, 59);
        widgets::kit::TKitClock* clock = panel->KitClock2;
        clock->SetAlarmTime(h, m, s);
        ScheduleEndAt = std::floor(ScheduleEndAt) + (h * 3600.0 + m * 60.0 + s) / 86400.0;
        StatusMainText = settings::LoadProgramText(IDS_CAPTURE_UNTIL) + AlarmText(clock);
        StatusAlertText.clear();
        RepaintStatus();
    } catch (...) {
    }
}

void TCaptureForm::NowBtnClick(classlib::TObject* Sender) {
    TProgrammerFrame* panel = ProgrammerFrame1;
    panel->DateEdit2->SetText(panel->DateEdit1->Text());
    panel->KitSpinEdit4->SetAsInteger(panel->KitSpinEdit1->AsInteger());
    panel->KitSpinEdit5->SetAsInteger(panel->KitSpinEdit2->AsInteger());
    panel->KitSpinEdit6->SetAsInteger(panel->KitSpinEdit3->AsInteger());
    if (CaptureState == 4) {
        ScheduleEndAt = std::floor(panel->DateEdit2->Date());
        ScheduleEndEditChange(Sender);
    }
}

void TCaptureForm::ShowProgrammerFrame() {
    TProgrammerFrame* panel = ProgrammerFrame1;
    if (CaptureState == 3 || CaptureState == 4) return;  // the armed values stay in view
    const double now = ScheduleNow();
    auto fill = [](double When, TKitSpinEdit* Hour, TKitSpinEdit* Minute, TKitSpinEdit* Second,
                   widgets::kit::TDateEdit* Date) {
        WORD h = 0, m = 0, s = 0, ms = 0;
        classlib::DecodeTime(When, h, m, s, ms);
        Hour->SetAsInteger(h);
        Minute->SetAsInteger(m);
        Second->SetAsInteger(0);
        Date->SetDate(std::floor(When));
    };
    fill(now + OffsetOf(IDS_REC_ONE_MINUTE), panel->KitSpinEdit1, panel->KitSpinEdit2, panel->KitSpinEdit3,
         panel->DateEdit1);
    fill(now + OffsetOf(IDS_REC_THIRTY_ONE_MINUTES), panel->KitSpinEdit4, panel->KitSpinEdit5, panel->KitSpinEdit6,
         panel->DateEdit2);
}

void TCaptureForm::BindRecordingHandlers() {
    TProgrammerFrame* panel = ProgrammerFrame1;
    for (TKitSpinEdit* edit : {panel->KitSpinEdit1, panel->KitSpinEdit2, panel->KitSpinEdit3})
        edit->OnChange = [this](classlib::TObject* Sender) { ScheduleStartEditChange(Sender); };
    for (TKitSpinEdit* edit : {panel->KitSpinEdit4, panel->KitSpinEdit5, panel->KitSpinEdit6})
        edit->OnChange = [this](classlib::TObject* Sender) { ScheduleEndEditChange(Sender); };
    panel->OnBeforeShow = [this](classlib::TObject*) { ShowProgrammerFrame(); };
}

}  // namespace ui
