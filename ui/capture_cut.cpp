// The cut: the running part closed and the recording carried on under the next free name that
// can be written, the names passed over told; a cut whose new part cannot begin stops the
// recording as a stop does.
#include <vector>

#include "classlib/date_time.h"
#include "classlib/format.h"
#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "ui/capture_form.h"
#include "ui/recording_files.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

bool TCaptureForm::HandNewNameToWriter(std::uint8_t Format, const std::wstring& Name) {
    return engine::dm()->HandNewNameToWriter(Format, Name);
}

void TCaptureForm::acCouperExecute(classlib::TObject* /*Sender*/) {
    if ((CaptureState != 2 && CaptureState != 4) || transitionDepth_ > 0) return;
    CutToNextName();
}

void TCaptureForm::CutToNextName() {
    ++transitionDepth_;
    // Why the new part could not begin, as the user reads it; empty when it runs.
    std::wstring failed;
    // The new part before its writer took its name: settled once a failed cut has stopped.
    std::unique_ptr<TRecordingPart> part;
    // Why the names passed over could not be written, one paragraph each.
    std::wstring passedOver;
    // Where older files that killed copies left are kept, told once the new part runs (their
    // records tell it until then).
    std::wstring leftOvers;
    std::vector<TSweepTold> sweeps;
    try {
        engine::Tdm* module = engine::dm();
        // A recording whose only part another program held begins with the part that follows.
        const bool nothingRecorded = partHeldElsewhere_ && NextVideoFile == CaptureFile;
        for (;;) {
            cuttingPart_ = true;
            StopGraphAndCloseCapture();
            cuttingPart_ = false;
            // A cut asks nothing (the recording is waiting): a name already taken is skipped.
            sweeps.push_back(SweepLeftOvers(NextVideoFile));
            leftOvers += Paragraph(LeftOversText(sweeps.back()));
            NextVideoFile = FreeRecordingName(NextVideoFile);
            const std::uint8_t format = CurrentFormat();
            const bool writesFile = format != 0 && format != 10;
            for (int passed = 0;; ++passed) {
                // What refuses a start refuses the name (a read-only older file is kept whole); an
                // older file it replaces (no confirmation asked for) is moved out of the way, as at
                // a start, and one that cannot be moved is never written over. While replacing
                // is to be confirmed, the name was free when it was looked at: a file that
                // arrived since is not taken either.
                std::wstring problem = writesFile ? ClaimRecordingName(part) : std::wstring();
                const TNamedFiles none;
                if (problem.empty() && writesFile && !part->Take(Confirming() ? &none : nullptr, SceneListWanted(format)))
                    problem = part->Problem().empty() ? classlib::Format(RecText(IDS_REC_IN_USE), {NextVideoFile})
                                                      : part->Problem();
                if (problem.empty()) break;
                part.reset();
                // The name, not the folder, is refused: the recording goes on under the next one
                // that can be written.
                if (passed >= kMostNamesMoved || !unicode::WideDirectoryExists(FolderOf(NextVideoFile))) {
                    failed = problem;
                    break;
                }
                passedOver += Paragraph(problem);
                NextVideoFile = FreeRecordingName(BuildVideoFileName());
            }
            if (!failed.empty()) break;
            const bool taken = HandNewNameToWriter(format, NextVideoFile);
            // The writer has let the previous part go.
            FinishClosedFile(true);
            if (!taken) {
                // Nothing is open: the writer never took the name.
                failed = classlib::Format(RecText(IDS_REC_NAME_REFUSED), {NextVideoFile});
                break;
            }
            recordingOpen_ = true;
            ++recordingPart_;
            partHeldElsewhere_ = false;
            // From here the new part is the running one: its close settles it.
            part_ = std::move(part);
            if (SceneListWanted(format)) OpenSceneList(NextVideoFile, part_.get());
            module->ImageByImageCount = 0;
            const bool ran = module->RunGraph();
            const HRESULT refused = ran ? FailureToldAtRun() : module->LastRunFailure();
            if (ran && !FAILED(refused)) {
                if (nothingRecorded) {
                    CaptureFile = NextVideoFile;
                    CaptureStartTime = classlib::Now();
                }
                AddClipEntry(NextVideoFile);
                ApplyVolume();
                break;
            }
            // Another program took the new name between the check and the writer's open: the
            // part's close keeps that file as it is and puts its older file back.
            if (HeldByAnother(refused) && ++namesMoved_ <= kMostNamesMoved) {
                partHeldElsewhere_ = true;
                continue;
            }
            failed = RefusalText(NextVideoFile, refused);
            break;
        }
    } catch (...) {
        cuttingPart_ = false;
        failed = classlib::Format(RecText(IDS_REC_CANNOT_RUN), {FailureText(E_UNEXPECTED)});
    }
    if (!failed.empty()) {
        EndFailedCut(failed);
        // A new part whose writer never took its name: its files go and the older ones are back.
        std::wstring kept;
        if (part) part->Settle(TRecordingPart::ofRemove, true, kept);
        if (!kept.empty()) {
            try {
                TellInfo(kept);
            } catch (...) {
            }
        }
        part.reset();
    } else if (!passedOver.empty()) {
        try {
            widgets::WideMessageDlg(classlib::Format(RecText(IDS_REC_GOES_ON), {NextVideoFile, passedOver.substr(2)}),
                                    widgets::TMsgDlgType::mtWarning, widgets::MsgDlgButtons({widgets::mbOK}), 0);
        } catch (...) {
        }
    }
    if (!leftOvers.empty()) {
        try {
            TellInfo(leftOvers.substr(2));
        } catch (...) {
        }
    }
    sweeps.clear();
    --transitionDepth_;
    RunPendingAlarm();
}

void TCaptureForm::EndFailedCut(const std::wstring& Reason) {
    // The part that could not begin is closed as a stop closes it (removed when nothing reached
    // it), and the window leaves the capture: a stopped graph must not look like a recording.
    const std::wstring file = NextVideoFile;
    // What the writers report of the part that could not begin is the reason told below.
    handlingWriteFailure_ = true;
    const bool stopped = StopCapture();
    handlingWriteFailure_ = false;
    if (stopped) {
        DisarmScheduleAlarm();
        ShowPreviewLook();
    } else {
        EndFailedStop(file);
    }
    try {
        TellError(classlib::Format(RecText(IDS_REC_CUT_FAILED), {Reason}));
    } catch (...) {
    }
}

}  // namespace ui
