// Scheduled recordings on the schedule clock, whose time the test gives: a start and an end at set
// seconds (also across midnight), the refusals (the dates and times checked before the file), a
// start set for another day, a start that comes only after its end, the waiting look that a device
// change keeps, live changes of an armed schedule and an end alarm that cannot be armed.
#include "recording_ui_support.h"

#include <filesystem>
#include <fstream>

#include "classlib/custom_form.h"
#include "classlib/date_time.h"
#include "settings/settings_catalogue.h"
#include "ui/dossiers_frame.h"
#include "ui/options_frame.h"
#include "ui/programmer_frame.h"
#include "ui/recording_files.h"

namespace recording_ui {
namespace {

class Schedule : public RecordingUiTest {
protected:
    ui::TProgrammerFrame* Panel() { return form->ProgrammerFrame1; }
    void SetStart(int Day, int H, int M, int S) {
        Panel()->DateEdit1->SetDate(classlib::EncodeDate(2030, 6, Day));
        Panel()->KitSpinEdit1->SetAsInteger(H);
        Panel()->KitSpinEdit2->SetAsInteger(M);
        Panel()->KitSpinEdit3->SetAsInteger(S);
    }
    void SetEnd(int Day, int H, int M, int S) {
        Panel()->DateEdit2->SetDate(classlib::EncodeDate(2030, 6, Day));
        Panel()->KitSpinEdit4->SetAsInteger(H);
        Panel()->KitSpinEdit5->SetAsInteger(M);
        Panel()->KitSpinEdit6->SetAsInteger(S);
    }
    void ScheduleAction() { form->acProgrammerBascule->Execute(); }
};

TEST_F(Schedule, StartsAndEndsAtItsSecondsWithItsLooks) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, kMicrophone, 5));
    SetNow(10, 14, 0, 0);
    SetStart(10, 14, 0, 5);
    SetEnd(10, 14, 0, 9);
    // A stem typed into its box and not yet left is the name the schedule records under, with the
    // number the name shown had.
    const std::wstring shown = std::filesystem::path(form->NextVideoFile).filename().wstring();
    form->DossiersFrame1->VideoRacineEdit->SetText(L"Typed");
    ScheduleAction();
    const std::wstring file = form->NextVideoFile;
    EXPECT_EQ(L"Typed" + shown.substr(shown.find(L'_')), std::filesystem::path(file).filename().wstring());
    ASSERT_EQ(3, form->CaptureState);
    EXPECT_EQ(L"start at 14:00:05", form->StatusInfoText);
    EXPECT_EQ(L"Stop Prog", form->acProgrammerBascule->Caption());
    EXPECT_EQ(classlib::clYellow, form->Shape2->Brush()->Color());
    AdvanceTo(10, 14, 0, 4);
    EXPECT_EQ(3, form->CaptureState) << "not a second early";
    AdvanceTo(10, 14, 0, 5);
    ASSERT_EQ(4, form->CaptureState);
    EXPECT_EQ(L"capture until 14:00:09", form->StatusMainText);
    EXPECT_EQ(classlib::clFuchsia, form->Shape2->Brush()->Color());
    EXPECT_FALSE(Panel()->gbDebut->Visible());
    ASSERT_TRUE(WaitRecorded(15));
    AdvanceTo(10, 14, 0, 9);
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    EXPECT_TRUE(Previewing());
    EXPECT_GE(Packets(ProbeWhole(file), 0), 13);
}

TEST_F(Schedule, RunsAcrossMidnight) {
    ASSERT_NO_FATAL_FAILURE(Preview(L"", kMicrophone, 11));
    SetNow(10, 23, 59, 50);
    SetStart(10, 23, 59, 58);
    SetEnd(11, 0, 0, 3);
    const std::wstring file = form->NextVideoFile;
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    AdvanceTo(10, 23, 59, 58);
    ASSERT_EQ(4, form->CaptureState);
    ASSERT_TRUE(WaitRecorded(25));
    AdvanceTo(11, 0, 0, 2);
    EXPECT_EQ(4, form->CaptureState);
    AdvanceTo(11, 0, 0, 3);
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_EQ("pcm_s16le", ProbeWhole(file).Stream(0, "codec_name"));
}

TEST_F(Schedule, APastEndAndAnEndBeforeTheStartAreRefused) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 12, 0, 0);
    SetStart(10, 11, 0, 0);
    SetEnd(10, 11, 30, 0);
    ScheduleAction();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"It's not possible to schedule the end of a capture to a past date and time", asked[0].Text);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());

    SetStart(10, 13, 0, 0);
    SetEnd(10, 12, 30, 0);
    ScheduleAction();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(2u, asked.size());
    EXPECT_NE(std::wstring::npos, asked[1].Text.find(L"must come after its start"));
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
}

TEST_F(Schedule, ItsDatesAreCheckedBeforeItsFileAndADateThatCannotBeArmsNothing) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    settings::ParamConfirmerVideo->SetValue(true);
    form->OptionsFrame->cbConfirmerVideo->SetChecked(true);
    const std::filesystem::path file = form->NextVideoFile;
    std::filesystem::create_directories(file.parent_path());
    { std::ofstream(file) << "older recording"; }

    // A past end is told before anything is asked about the file it would replace.
    SetNow(10, 12, 0, 0);
    SetStart(10, 11, 0, 0);
    SetEnd(10, 11, 30, 0);
    ScheduleAction();
    EXPECT_EQ(1, form->CaptureState);
    ASSERT_EQ(1u, asked.size()) << "no question about the file";
    EXPECT_EQ(L"It's not possible to schedule the end of a capture to a past date and time", asked[0].Text);

    // An end date that cannot be, still in its edit: the edit shows its last valid date again,
    // nothing is asked and nothing armed.
    SetStart(10, 12, 30, 0);
    SetEnd(10, 13, 0, 0);
    Panel()->DateEdit2->SetText("13/45/2030");
    ASSERT_EQ(0.0, Panel()->DateEdit2->Date()) << "the text is no date";
    ScheduleAction();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    EXPECT_EQ(1u, asked.size());
    EXPECT_EQ(classlib::EncodeDate(2030, 6, 10), Panel()->DateEdit2->Date());

    // Dates that can be: now the file is asked about (No keeps it and arms nothing).
    ScheduleAction();
    ASSERT_EQ(2u, asked.size());
    EXPECT_NE(std::wstring::npos, asked[1].Text.find(L"exists already")) << testing::PrintToString(asked[1].Text);
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    EXPECT_EQ(15u, std::filesystem::file_size(file)) << "the older recording is kept";
}

TEST_F(Schedule, APastStartOffersToStartNowWithTheEndArmed) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 12, 0, 0);
    SetStart(10, 11, 0, 0);
    SetEnd(10, 12, 0, 30);
    answers = {classlib::mrNo};
    ScheduleAction();
    EXPECT_EQ(1, form->CaptureState) << "No arms nothing";
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    answers = {classlib::mrYes};
    ScheduleAction();
    ASSERT_EQ(4, form->CaptureState);
    EXPECT_NE(std::wstring::npos, asked[1].Text.find(L"Do you want to start immediately the capture?"));
    EXPECT_EQ(L"capture until 12:00:30", form->StatusMainText);
    ASSERT_TRUE(WaitRecorded(5));
    AdvanceTo(10, 12, 0, 30);
    EXPECT_EQ(1, form->CaptureState);
}

TEST_F(Schedule, AStartThatComesAtOrAfterItsEndIsSkippedWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 9, 0, 0);
    SetStart(10, 10, 0, 0);
    SetEnd(10, 10, 30, 0);
    const std::wstring file = form->NextVideoFile;
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    // The computer sleeps through the window and wakes at 11:00: the clock fires the passed start.
    SetNow(10, 11, 0, 0);
    Panel()->KitClock2->CheckAlarm();
    EXPECT_EQ(1, form->CaptureState) << "no recording without an end";
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(Previewing());
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(
        L"The capture scheduled from 10:00:00 to 10:30:00 has not been started: its end had already passed "
        L"when its start came.",
        asked[0].Text);
    EXPECT_EQ(L"Capture", form->saCapturerBascule->Caption());

    // A start that comes late but before its end records until the end.
    SetStart(10, 11, 10, 0);
    SetEnd(10, 11, 30, 0);
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    SetNow(10, 11, 20, 0);
    Panel()->KitClock2->CheckAlarm();
    ASSERT_EQ(4, form->CaptureState);
    EXPECT_EQ(L"capture until 11:30:00", form->StatusMainText);
    ASSERT_TRUE(WaitRecorded(5));
    SetNow(10, 11, 29, 58);
    AdvanceTo(10, 11, 30, 0);
    EXPECT_EQ(1, form->CaptureState);
}

// Moves the schedule's clock to a set moment when the graph is next run.
class TClockJump : public dshow::IGraphEventSink {
public:
    TClockJump(TRecordingWindow& Window, double To) : window_(Window), to_(To) {}
    void GraphEvent(long, LONG_PTR, LONG_PTR) override {}
    void ControlEvent(dshow::TGraphControlEvent Event, int) override {
        if (Event == dshow::ceRun && window_.now < to_) window_.now = to_;
        // The frames the recording caught, read as its graph is told to stop (the count restarts then).
        if (Event == dshow::ceStop && window_.now >= to_ && !stopped_) {
            stopped_ = true;
            Caught = window_.Recorded();
        }
    }
    unsigned Caught = 0;

private:
    bool stopped_ = false;
    TRecordingWindow& window_;
    double to_;
};

TEST_F(Schedule, AnEndThatPassesWhileTheStartIsMadeClosesTheRecordingAtOnce) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 9, 0, 0);
    SetStart(10, 10, 0, 0);
    SetEnd(10, 10, 0, 5);
    const std::wstring file = form->NextVideoFile;
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    // The recording's graph runs only once its end has come.
    TClockJump jump(*this, classlib::EncodeDate(2030, 6, 10) + (10 * 3600.0 + 6) / 86400.0);
    module->fg->RegisterEventSink(&jump);
    AdvanceTo(10, 10, 0, 0);
    module->fg->UnregisterEventSink(&jump);
    EXPECT_EQ(1, form->CaptureState) << "no recording left without an end";
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    EXPECT_FALSE(form->RecordingOpen());
    // Closed at once, the recording may have caught no frame: then it leaves no file; what it caught is kept.
    if (jump.Caught > 0) {
        EXPECT_TRUE(std::filesystem::exists(file)) << jump.Caught << " frames caught, no file kept";
    }
    if (std::filesystem::exists(file)) {
        EXPECT_FALSE(ui::AviHoldsNothing(file)) << "an empty recording leaves no file";
        EXPECT_FALSE(ui::FileInUse(file)) << "what was recorded is kept, closed";
    }
    EXPECT_TRUE(Previewing());
}

TEST_F(Schedule, AStartSetForTomorrowWaitsForItsDay) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 8, 0, 0);
    SetStart(11, 8, 0, 5);
    SetEnd(11, 8, 0, 10);
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    AdvanceTo(10, 8, 2, 0);
    EXPECT_EQ(3, form->CaptureState) << "today's 8:00:05 is not the day set";
    EXPECT_TRUE(Panel()->KitClock2->AlarmEnabled());
    // Straight to the next morning: the clock's check sees the time of day pass the alarm.
    SetNow(11, 8, 0, 0);
    Panel()->KitClock2->CheckAlarm();
    AdvanceTo(11, 8, 0, 5);
    EXPECT_EQ(4, form->CaptureState);
    form->saCapturerBascule->Execute();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled()) << "a stop by hand disarms the end";
}

TEST_F(Schedule, LiveChangesAreClampedAndShownAndADeviceChangeKeepsTheWait) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 9, 0, 0);
    SetStart(10, 10, 0, 0);
    SetEnd(10, 11, 0, 0);
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    // A minute typed out of range is taken as the highest, without an error box.
    Panel()->KitSpinEdit2->SetText("75");
    EXPECT_EQ(59, Panel()->KitClock2->AlarmMinute());
    EXPECT_EQ(L"start at 10:59:00", form->StatusInfoText);
    EXPECT_TRUE(asked.empty());
    // A source or format selection puts the preview look: a waiting schedule stays.
    form->ShowPreviewState();
    EXPECT_EQ(3, form->CaptureState);
    EXPECT_TRUE(Panel()->KitClock2->AlarmEnabled());
    // The schedule action in state 3 drops it.
    ScheduleAction();
    EXPECT_EQ(1, form->CaptureState);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
}

TEST_F(Schedule, TheCaptureActionWhileWaitingStartsNowAndAnEndThatCannotBeArmedLeavesAPlainCapture) {
    ASSERT_NO_FATAL_FAILURE(Preview(kCamera, L"", 5));
    SetNow(10, 9, 0, 0);
    SetStart(10, 9, 0, 10);
    SetEnd(10, 9, 0, 20);
    ScheduleAction();
    ASSERT_EQ(3, form->CaptureState);
    // The end passes while the schedule waits (the clock stood still); a start now cannot have it.
    now = classlib::EncodeDate(2030, 6, 10) + (9 * 3600.0 + 30) / 86400.0;
    Capture();
    EXPECT_EQ(2, form->CaptureState) << "recording, without a scheduled end it would never reach";
    EXPECT_EQ(L"Stop Capture", form->saCapturerBascule->Caption());
    ASSERT_TRUE(WaitRecorded(5));
    // Arming an end on a running recording, then the schedule action takes it away again; a
    // minute that cannot be, put in by another program, arms nothing.
    SetEnd(10, 9, 5, 0);
    SendMessageA(Panel()->KitSpinEdit5->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("75"));
    ScheduleAction();
    EXPECT_EQ(2, form->CaptureState);
    EXPECT_EQ("5", Panel()->KitSpinEdit5->Text());
    ScheduleAction();
    ASSERT_EQ(4, form->CaptureState);
    ScheduleAction();
    EXPECT_EQ(2, form->CaptureState);
    EXPECT_FALSE(Panel()->KitClock2->AlarmEnabled());
    Capture();
    EXPECT_EQ(1, form->CaptureState);
}

TEST_F(Schedule, ShowingThePanelProposesAStartInAMinuteUnlessArmed) {
    SetNow(10, 9, 58, 30);
    Panel()->ShowFrame();
    EXPECT_EQ(9, Panel()->KitSpinEdit1->AsInteger());
    EXPECT_EQ(59, Panel()->KitSpinEdit2->AsInteger());
    EXPECT_EQ(0, Panel()->KitSpinEdit3->AsInteger());
    EXPECT_EQ(10, Panel()->KitSpinEdit4->AsInteger());
    EXPECT_EQ(29, Panel()->KitSpinEdit5->AsInteger());
    form->NowBtnClick(nullptr);
    EXPECT_EQ(59, Panel()->KitSpinEdit5->AsInteger()) << "End = Start";
}

}  // namespace
}  // namespace recording_ui
