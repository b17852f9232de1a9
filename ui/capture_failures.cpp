// What the main window does when a recording's writer or sound input fails: a failure told through
// the graph's events is posted and handled from the window's own queue, once per part; a sound input
// that gives nothing at all is watched for and told as one that stopped; a start or cut that fails in
// its first moment is told as refused; a part whose disk is full while the older file it replaces
// still holds the room begins again in that room; every other failure stops the recording as a stop
// does, keeping what was written, and tells why.
#include "classlib/application.h"
#include "classlib/format.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/sound_preview.h"
#include "settings/program_texts.h"
#include "ui/capture_form.h"
#include "ui/recording_files.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

// The graph's events waiting in its queue, handled now rather than when the window's queue
// reaches their notification.
void HandleQueuedGraphEvents(dshow::TFilterGraph* Graph) {
    auto events = Graph->As<IMediaEventEx>(IID_IMediaEventEx);
    if (!events) return;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
        try {
            Graph->DispatchGraphEvent(code, first, second);
        } catch (...) {
        }
        // Freed on every path: the parameters hold strings and interface references.
        events->FreeEventParams(code, first, second);
    }
}

}  // namespace

void TCaptureForm::HearRecordingFailures() {
    engine::Tdm* module = engine::dm();
    // The writers tell a refused write through the graph's error events: it ends the recording.
    // A sound input tells its own failure, named by the input.
    writeFailurePosted_ = false;
    soundInputProblem_.clear();
    soundInputNotOpened_ = false;
    module->fg->OnGraphSNDDevInError = [this](classlib::TObject*, SNDDEV_ERR Operation, ULONG Error) {
        SoundInputFailed(Operation, Error);
    };
    module->fg->OnGraphErrorAbort = [this](classlib::TObject*, HRESULT Result) { RecordingWriteFailed(Result); };
    module->fg->OnGraphStreamErrorStopped = [this](classlib::TObject*, HRESULT Result, ULONG) {
        RecordingWriteFailed(Result);
    };
    module->fg->OnGraphErrorStillPlaying = [this](classlib::TObject*, HRESULT Result) { RecordingWriteFailed(Result); };
}

HRESULT TCaptureForm::FailureToldAtRun() {
    // Heard as a stop hears them, so that nothing is posted for a part that does not begin.
    const bool closing = closingRecording_;
    const HRESULT heard = closeFailure_;
    closingRecording_ = true;
    closeFailure_ = S_OK;
    try {
        if (engine::Tdm* module = engine::dm()) HandleQueuedGraphEvents(module->fg);
    } catch (...) {
    }
    const HRESULT told = closeFailure_;
    closingRecording_ = closing;
    closeFailure_ = heard;
    return told;
}

void TCaptureForm::RecordingWriteFailed(HRESULT Result) {
    if (SUCCEEDED(Result)) return;
    if (closingRecording_) {
        // Heard while the graph stopped: the close work tells it, once.
        if (!FAILED(closeFailure_)) closeFailure_ = Result;
        return;
    }
    if (!recordingOpen_) return;
    if (HeldByAnother(Result)) partHeldElsewhere_ = true;
    // Told once: a writer that failed goes on refusing every frame until the stop.
    if (writeFailurePosted_ || !HandleAllocated()) return;
    // Handled from the window's own queue, not inside the graph's event round that told it; the
    // part it belongs to goes with it.
    postedFailure_ = Result;
    writeFailurePosted_ = PostMessageW(Handle(), kWMRecordingWriteFailed, static_cast<WPARAM>(static_cast<ULONG>(Result)),
                                       static_cast<LPARAM>(recordingPart_)) != FALSE;
}

namespace {

std::wstring CurrentSoundInputName() {
    engine::Tdm* module = engine::dm();
    const engine::TAudioSource* sound = module != nullptr ? module->CurrentAudioSource : nullptr;
    return sound != nullptr ? sound->Name : std::wstring();
}

}  // namespace

void TCaptureForm::SoundInputFailed(int Operation, unsigned long Error) {
    if (Operation == SNDDEV_ERROR_Open) soundInputNotOpened_ = true;
    SoundInputLetDown(SoundInputProblem(CurrentSoundInputName(), Operation, Error));
}

void TCaptureForm::SoundInputLetDown(const std::wstring& Problem) {
    if (soundInputProblem_.empty()) soundInputProblem_ = Problem;
    // The recording cannot go on as asked, whether or not the input also aborts the graph.
    RecordingWriteFailed(E_FAIL);
}

void TCaptureForm::WatchSoundInput() {
    // An input that gives nothing at all tells nothing either: as long as the sound filters wait for
    // an input held back, it is one that stopped giving sound. It is seen so on two ticks half a
    // second apart, so that a process held still meanwhile gets its sound back first.
    engine::Tdm* module = engine::dm();
    const bool silent = module != nullptr && recordingOpen_ && (CaptureState == 2 || CaptureState == 4) &&
                        transitionDepth_ == 0 && soundInputProblem_.empty() && module->SoundGivesNothing();
    const ULONGLONG now = GetTickCount64();
    if (!silent || soundSilentSeen_ == 0) {
        soundSilentSeen_ = silent ? now : 0;
        return;
    }
    if (now - soundSilentSeen_ < 500) return;
    soundSilentSeen_ = 0;
    SoundInputLetDown(classlib::Format(RecText(IDS_REC_SOUND_FAILED), {CurrentSoundInputName(), RecText(IDS_REC_SOUND_NONE)}));
}

std::wstring TCaptureForm::RefusalText(const std::wstring& File, HRESULT Failure) {
    // A sound input that could not be opened has told it through the graph's events, which may
    // still wait in its queue. They are heard as a stop hears them: the refusal told here is all
    // the user reads of them.
    FailureToldAtRun();
    return soundInputProblem_.empty() ? RunRefusal(File, Failure) : soundInputProblem_;
}

HRESULT TCaptureForm::TakeCloseFailure(bool& DuringStop) {
    // The writers finish their files while the graph stops (a header patched, an index written)
    // and report a failure through the graph's events: heard now, while the recording is open.
    closingRecording_ = true;
    closeFailure_ = S_OK;
    try {
        if (engine::Tdm* module = engine::dm()) HandleQueuedGraphEvents(module->fg);
    } catch (...) {
    }
    closingRecording_ = false;
    DuringStop = FAILED(closeFailure_);
    HRESULT failure = closeFailure_;
    closeFailure_ = S_OK;
    // A failed write still waiting in the queue or for the end of a transition would find the
    // recording closed: it is told with the close.
    if (!FAILED(failure) && writeFailurePosted_) failure = postedFailure_;
    // The posted one, still queued, is this part's: it must not end the part that comes next.
    writeFailurePosted_ = false;
    if (!FAILED(failure)) failure = pendingWriteFailure_;
    pendingWriteFailure_ = S_OK;
    return failure;
}

void TCaptureForm::WMRecordingWriteFailed(classlib::TMessage& Message) {
    // A failure of a part that has closed since was told with its close.
    if (!writeFailurePosted_ || static_cast<unsigned>(Message.LParam) != recordingPart_) return;
    writeFailurePosted_ = false;
    const HRESULT failure = static_cast<HRESULT>(static_cast<ULONG>(Message.WParam));
    // A start, stop or cut under way (a question open) finishes first.
    if (transitionDepth_ > 0) {
        pendingWriteFailure_ = failure;
        return;
    }
    StopOnWriteFailure(failure);
}

void TCaptureForm::StopOnWriteFailure(HRESULT Result) {
    // A stop that came first has closed the file already.
    if (!recordingOpen_ || (CaptureState != 2 && CaptureState != 4)) return;
    // The writer could not open its file, which another program took first: the recording goes on
    // under the next free name, as a cut would carry it on.
    if (partHeldElsewhere_ && ++namesMoved_ <= kMostNamesMoved) {
        CutToNextName();
        return;
    }
    const bool heldElsewhere = partHeldElsewhere_;
    const std::wstring file = NextVideoFile;
    ++transitionDepth_;
    if (BeginAgainWithOlderRoom(Result)) {
        --transitionDepth_;
        RunPendingAlarm();
        return;
    }
    // The ordinary stop: what was written stays a whole file (header, index, scene list).
    handlingWriteFailure_ = true;
    StopRunningRecording();
    handlingWriteFailure_ = false;
    try {
        // Another program's file holds nothing of this recording, whatever it holds; a file that
        // held nothing is gone (an older file back under its name is not the recording's).
        const bool kept = !heldElsewhere && !closedHoldsNothing_ && unicode::WideFileExists(file);
        std::wstring text;
        if (!soundInputProblem_.empty()) {
            // The input, not the file, let the recording down.
            text = kept ? classlib::Format(RecText(IDS_REC_WRITE_FAILED), {file, soundInputProblem_}) + L"\r\n" +
                              RecText(IDS_REC_WRITTEN_KEPT)
                        : RecText(IDS_REC_CANNOT_START) + soundInputProblem_;
        } else if (IsFullDisk(Result) && kept) {
            text = classlib::Format(RecText(IDS_REC_DISK_FULL), {file});
        } else if (!kept) {
            // Nothing reached the file (a disk full from the start): no capture ever ran.
            text = RecText(IDS_REC_CANNOT_START) + classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {file, FailureText(Result)});
        } else {
            text = classlib::Format(RecText(IDS_REC_WRITE_FAILED), {file, FailureText(Result)});
            if (kept) text += L"\r\n" + RecText(IDS_REC_WRITTEN_KEPT);
        }
        widgets::WideMessageDlg(text, widgets::TMsgDlgType::mtError, widgets::MsgDlgButtons({widgets::mbOK}), 0);
    } catch (...) {
        if (classlib::ApplicationExists()) classlib::Application()->HandleException(this, std::current_exception());
    }
    --transitionDepth_;
    RunPendingAlarm();
}

bool TCaptureForm::PreviewReportsNothing() {
    return !FAILED(FailureToldAtRun()) && soundInputProblem_.empty();
}

bool TCaptureForm::BeginAgainWithOlderRoom(HRESULT Result) {
    // Writing over the older files would have given the recording their room; the user said to
    // replace them, so the recording gets that room. A disk too full even with it keeps them whole.
    if (!IsFullDisk(Result) || !part_ || !part_->Replaced() || partHeldElsewhere_ || !soundInputProblem_.empty() ||
        !OlderFileMakesRoom(NextVideoFile, *part_))
        return false;
    std::unique_ptr<TAsideSet> older = part_->TakeAside();
    // The name stays claimed until the older files are settled, and through the start again.
    std::unique_ptr<TRecordingClaim> claim = part_->TakeClaim();
    const std::wstring file = NextVideoFile;
    const bool scheduled = CaptureState == 4;
    const std::wstring captureFile = CaptureFile;
    const double startedAt = CaptureStartTime;
    const std::int32_t counter = VideoFileCounter;
    // What reached the file before the disk refused more is closed as a stop closes it, and kept as
    // the recording's start; a part that holds nothing goes, and its name is taken again.
    handlingWriteFailure_ = true;
    StopRunningRecording();
    handlingWriteFailure_ = false;
    const bool partKept = unicode::WideFileExists(file);
    // The older files go back under the name's claim, or beside it; the user is told where.
    const auto putBack = [&](const std::wstring& Why) {
        const std::wstring kept = older->PutBack(*claim, false, true);
        const std::wstring told = Why + Paragraph(kept);
        if (told.empty()) return;
        if (Why.empty())
            TellInfo(kept);
        else
            TellError(told);
    };
    if (CaptureState != 1) {
        // The preview could not come back (told): nothing is begun. The older files go only when
        // the part wrote a picture or a sound.
        if (partKept && RecordingHoldsMedia(file)) {
            const std::wstring left = older->Discard();
            older->Leave();
            if (!left.empty()) TellInfo(left);
        } else {
            putBack(std::wstring());
        }
        return true;
    }
    // The sources ran again without the recording (the preview is back), and what they report as
    // they start is heard as a start hears it: the room is given only when nothing but room stood
    // in the recording's way.
    if (!PreviewReportsNothing()) {
        const std::wstring why = partKept ? classlib::Format(RecText(IDS_REC_DISK_FULL), {file})
                                          : RecText(IDS_REC_CANNOT_START) +
                                                classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {file, FailureText(Result)});
        putBack(why + Paragraph(soundInputProblem_));
        return true;
    }
    older->Free();
    if (!partKept) {
        // The part is begun again under its name: the name the stop prepared is the next one still.
        NextVideoFile = file;
        VideoFileCounter = counter;
    }
    heldClaim_ = std::move(claim);
    if (StartCapture()) {
        // The recording goes on, as a cut carries it on: its first name and its start stay.
        if (partKept || file != captureFile) {
            CaptureFile = captureFile;
            CaptureStartTime = startedAt;
        }
        if (scheduled && ArmScheduleEnd())
            ShowScheduledCaptureState();
        else
            ShowCapturingState();
    }
    return true;
}

}  // namespace ui
