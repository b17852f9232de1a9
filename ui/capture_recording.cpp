// Starting, stopping and cutting a recording: the questions before a start, the recording branch
// of each capture format, the scene list beside a DV recording, the close work of a stop (the next
// name, the scene list and its lost-frames question), the cut into a new file and the image-by-image
// finish; a recording whose file cannot be written is refused at its start or stopped with the
// reason. A recording is never left half-written: whatever fails, the graph is stopped before the
// branch goes, a start that fails brings the preview back, and a file left with nothing in it
// goes with its scene list. An older file that a recording replaces stays whole until the recording
// has begun, and comes back when nothing was recorded.
#include <optional>

#include "classlib/application.h"
#include "classlib/custom_form.h"
#include "classlib/date_time.h"
#include "classlib/format.h"
#include "engine/avi_frame_rate.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/recording_branch.h"
#include "engine/scene_list.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/control_unit.h"
#include "filters/scene_detector.h"
#include "settings/parameters.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/capture_form.h"
#include "ui/info_frames.h"
#include "ui/options_frame.h"
#include "ui/recording_files.h"
#include "ui/recording_text_ids.h"
#include "ui/recording_support.h"
#include "ui/system_report.h"
#include "unicode/wide_files.h"
#include "widgets/custom/clip_entries.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

// Whether a recording without a format holds nothing a player would open at its name: nothing was
// recorded there, and a file of no bytes there says so (it is left: nobody's recording made it).
bool HoldsNothingUnformatted(const std::wstring& Name) {
    const TFileIdentity file = FileIdentity(Name);
    return file.Exists && file.Size == 0;
}

}  // namespace

// ---- Start --------------------------------------------------------------------------------

std::wstring TCaptureForm::MissingForFormat(std::uint8_t Format) {
    if (Format != 7) return std::wstring();
    // Windows Media records through the system's ASF writer with a profile of its manager.
    if (!WindowsMediaWriterInstalled()) return RecText(IDS_REC_NO_WMV_WRITER);
    if (!WmvAvailable) return RecText(IDS_REC_NO_WMV_PROFILES);
    return std::wstring();
}

bool TCaptureForm::BuildRecordingBranch(std::uint8_t Format, const std::wstring& Name) {
    engine::Tdm* module = engine::dm();
    engine::TVideoSource* video = module->CurrentVideoSource;
    switch (Format) {
        case 1:
            return video != nullptr && video->Device != nullptr && video->Device->BuildMuxGraph(Name);
        case 2:
            return module->BuildDV2NativeGraph(Name);
        case 3:
        case 4:
            return module->BuildMpegNativeGraph(Name);
        case 5:
            return module->BuildAviNativeGraph(Name);
        case 6:
            return module->BuildDV2RecompGraph(Name);
        case 7:
            return module->BuildWmvGraph(Name);
        case 8:
            if (!module->BuildImageByImageGraph(Name, [this] { FinishImageByImage(); })) return false;
            ImageByImageMode = true;
            module->ImageByImageMode = true;
            SetImageByImageMode(true);
            return true;
        case 9:
            return module->BuildDivxGraph(Name);
        case 11:
            return module->BuildWavGraph(Name);
        case 12:
            return module->BuildMp3Graph(Name);
        default:
            // No format (0) and the setting's default (10): the unchanged graph runs.
            return true;
    }
}

void TCaptureForm::OpenSceneList(const std::wstring& RecordingName, const TRecordingPart* Part) {
    engine::Tdm* module = engine::dm();
    engine::TVideoSource* video = module->CurrentVideoSource;
    if (video == nullptr || video->SceneFilter == nullptr) return;
    const std::wstring list = SceneListOf(RecordingName);
    // The part made the list's file; without a part (no format) the list is made new, never
    // written over a file that is there, and only the one made so is ever removed.
    unformattedSceneList_ = TFileIdentity();
    if (Part != nullptr && Part->MadeSceneList()) {
        engine::OpenScnFile(list, engine::scnMade);
    } else if (engine::OpenScnFile(list, engine::scnNew)) {
        unformattedSceneList_ = FileIdentity(list);
    }
    video->SceneFilter->SetSceneCallback(&engine::WriteScnScene);
}

void TCaptureForm::RemoveUnformattedSceneList(const std::wstring& RecordingName) {
    bool busy = false;
    RemoveIfMade(SceneListOf(RecordingName), unformattedSceneList_, rmOwnSceneList, busy);
    unformattedSceneList_ = TFileIdentity();
}

void TCaptureForm::CloseSceneList() {
    engine::CloseScnFile();
    engine::Tdm* module = engine::dm();
    if (module->CurrentVideoSource != nullptr && module->CurrentVideoSource->SceneFilter != nullptr)
        module->CurrentVideoSource->SceneFilter->SetSceneCallback(nullptr);
}

bool TCaptureForm::StartCapture() {
    bool started = false;
    namesMoved_ = 0;
    TakeVideoNameBoxes();
    do {
        retryStart_ = false;
        try {
            started = StartRecording();
        } catch (...) {
            started = false;
        }
        // A start whose file another program took first is made again under the next free name.
    } while (!started && retryStart_);
    // A claim handed over to the start and not taken is let go.
    heldClaim_.reset();
    if (!started) saCapturerBascule->SetChecked(false);
    return started;
}

bool TCaptureForm::StartRecording() {
    engine::Tdm* module = engine::dm();
    if (module == nullptr) return false;
    // Said before anything is asked or stopped: the preview goes on.
    const std::wstring missing = MissingForFormat(CurrentFormat());
    if (!missing.empty()) {
        widgets::WideMessageDlg(RecText(IDS_REC_CANNOT_START) + missing, widgets::TMsgDlgType::mtError,
                                widgets::MsgDlgButtons({widgets::mbOK}), 0);
        return false;
    }
    // The files at the name that the user said to replace, as they were when asked (or, while
    // replacing is to be confirmed, as the look found them): only those are replaced.
    std::optional<TNamedFiles> asked;
    std::wstring askedName;
    if (CaptureState == 1) {
        // What killed copies left aside in the folder is settled first: the question is about the
        // file that the name holds once they are back.
        TellLeftOvers(NextVideoFile);
        // Another copy of the program may write under the prepared name (two copies started in
        // the same second name their recordings alike): the next free name is taken, as a cut
        // takes it. Another program's look at the file passes first.
        if (FileStaysInUse(NextVideoFile)) NextVideoFile = FreeRecordingName(NextVideoFile);
        const bool confirming = Confirming();
        const bool existed = !ReplacedFile(NextVideoFile).empty();
        bool changed = false;
        TNamedFiles shown;
        if (!ConfirmNewRecording(NextVideoFile, true, existed, &changed, &shown)) return false;
        if (confirming) {
            asked = shown;
            askedName = NextVideoFile;
        }
        // A Yes is for the files the question showed. A name another program took meanwhile (the
        // questions wait for their answers), or whose files changed or arrived meanwhile, is not
        // taken: the next free name is.
        if (changed || FileStaysInUse(NextVideoFile)) NextVideoFile = FreeRecordingName(BuildVideoFileName());
    } else {
        // The schedule asked its questions for the name and the files it was armed with. Files
        // that appeared or changed since are not replaced unasked: nobody may be there to answer,
        // so the next free name is taken.
        const bool asChecked = NextVideoFile == scheduleCheckedName_ && FilesAt(NextVideoFile) == scheduleCheckedFiles_;
        if (FileStaysInUse(NextVideoFile) || (Confirming() && !asChecked && !ReplacedFile(NextVideoFile).empty()))
            NextVideoFile = FreeRecordingName(NextVideoFile);
        if (Confirming() && NextVideoFile == scheduleCheckedName_) {
            asked = scheduleCheckedFiles_;
            askedName = NextVideoFile;
        }
        const std::wstring folder = FolderOf(NextVideoFile);
        if (!folder.empty() && FolderCanBeMade(folder)) unicode::WideForceDirectories(folder);
    }
    const std::uint8_t format = CurrentFormat();
    const bool writesFile = format != 0 && format != 10;
    // Whatever would refuse the writer is told now, while the preview still runs (no file is
    // written without a format). The name is claimed first: another copy neither offers it for
    // replacing nor takes it from now on.
    std::unique_ptr<TRecordingPart> part;
    if (writesFile) {
        const std::wstring problem = ClaimRecordingName(part);
        if (!problem.empty()) {
            TellCannotStart(problem);
            return false;
        }
    }
    CaptureFile = NextVideoFile;
    // A name taken in place of the one asked about held nothing when it was looked at.
    if (Confirming() && askedName != CaptureFile) asked = TNamedFiles{};
    // The older files of this name (the user said to replace them, or is not asked) are moved out
    // of the writer's way: emptying a large file would hold the start back. They stay whole until
    // the recording has written something. Only the files asked about are replaced, and one that
    // cannot be moved is never written over.
    if (part && !part->Take(asked ? &*asked : nullptr, SceneListWanted(format))) {
        // The disk has room only in the older files, which the user said to replace: it is given
        // once the sources have run without the recording and told nothing but that, and the start
        // is made again under the same name. Else the older files stay whole.
        if (part->NoRoom() && OlderFileMakesRoom(CaptureFile, *part)) {
            StopGraphAndCloseCapture();
            HearRecordingFailures();
            const bool runs = module->RunGraph();
            if (runs && PreviewReportsNothing()) {
                part->FreeOlderInPlace();
                // The name stays claimed through the start made again.
                heldClaim_ = part->TakeClaim();
                retryStart_ = true;
                return false;
            }
            TellCannotStart(!soundInputProblem_.empty() ? soundInputProblem_
                            : runs                      ? part->Problem()
                                                        : RunRefusal(CaptureFile, module->LastRunFailure()));
            return false;
        }
        // Changed since it was asked about, or taken by another program meanwhile: the start is
        // made again under the next free name.
        if ((part->Changed() || part->InUse()) && ++namesMoved_ <= kMostNamesMoved) {
            NextVideoFile = FreeRecordingName(BuildVideoFileName());
            retryStart_ = true;
            return false;
        }
        TellCannotStart(part->Problem().empty() ? classlib::Format(RecText(IDS_REC_IN_USE), {CaptureFile})
                                                : part->Problem());
        return false;
    }
    StopGraphAndCloseCapture();
    engine::TVideoSource* video = module->CurrentVideoSource;
    engine::TAudioSource* sound = module->CurrentAudioSource;
    module->UseAudioClock = video != nullptr && sound != nullptr && video->Device != sound->Device && format != 1 &&
                            format != 3 && format != 4 && format != 8 && !IsSoundFormat(format);
    module->ImageByImageCount = 0;
    noPictureGrabbed_ = false;
    if (!BuildRecordingBranch(format, CaptureFile)) {
        // Nothing of the branch stays, and the preview comes back: the user sees why.
        const std::wstring why = engine::LastRecordingBuildError();
        module->StopCaptureGraph();
        std::wstring olderKept;
        if (part) part->Settle(TRecordingPart::ofRemove, true, olderKept);
        module->RunGraph();
        TellCannotStart((why.empty() ? settings::FormatCaptureName(format) : why) + Paragraph(olderKept));
        return false;
    }
    recordingOpen_ = true;
    ++recordingPart_;
    partHeldElsewhere_ = false;
    if (SceneListWanted(format)) OpenSceneList(NextVideoFile, part.get());
    DroppedFramesInfo.Reset();
    if (video != nullptr) {
        if (module->CaptureBuilder && module->VideoSourceFilter)
            module->CaptureBuilder->FindInterface(nullptr, nullptr, module->VideoSourceFilter.Get(),
                                                  IID_IAMDroppedFrames,
                                                  reinterpret_cast<void**>(DroppedFramesInfo.GetAddressOf()));
        if (!DroppedFramesInfo) DroppedFramesInfo = module->VideoDroppedFrames;
    }
    ApplyVolume();
    CaptureStartTime = classlib::Now();
    module->fg->OnGraphDeviceLost = [this](classlib::TObject*, IUnknown*, bool) { GraphDeviceLost(this); };
    if (settings::ParamNotifier != nullptr) settings::ParamNotifier->SetValue(false);
    HearRecordingFailures();
    // A filter that refused the start (a writer that cannot begin its file), or that told while
    // the graph started that it could not (a sound input that could not be opened, which a graph
    // may let run without it): the start is refused.
    const bool ran = module->RunGraph();
    HRESULT refused = ran ? FailureToldAtRun() : module->LastRunFailure();
    if (!ran || FAILED(refused)) {
        // Every filter is stopped, nothing of the refused recording stays open or on disk, the
        // older files are back, the preview comes back and the user is told why.
        StopGraphAndCloseCapture();
        // What the refusing writer also told through the graph's events belongs to this start:
        // it must not reach the recording that follows.
        bool duringStop = false;
        TakeCloseFailure(duringStop);
        module->StopCaptureGraph();
        const bool heldElsewhere = HeldByAnother(refused);
        UndoRefusedStart(heldElsewhere, part.get());
        // The disk has room for the recording only through the older files', which the user
        // said to replace: it is given, and the start made again under the same name. It is given
        // only when nothing but room stands in the way: the sources run first without the
        // recording, and what they report (a sound input that cannot be opened) is told instead.
        bool previewRuns = false;
        if (IsFullDisk(refused) && part && OlderFileMakesRoom(CaptureFile, *part) && soundInputProblem_.empty()) {
            previewRuns = module->RunGraph();
            if (previewRuns && PreviewReportsNothing()) {
                part->FreeRoom();
                // The name stays claimed through the start made again.
                heldClaim_ = part->TakeClaim();
                retryStart_ = true;
                return false;
            }
            if (!previewRuns) refused = module->LastRunFailure();
        }
        std::wstring olderKept;
        if (part) part->Settle(heldElsewhere ? TRecordingPart::ofKeep : TRecordingPart::ofRemove, true, olderKept);
        // Another program took the file between the checks and the writer's open: the start is
        // made again under the next free name (StartCapture).
        if (heldElsewhere && ++namesMoved_ <= kMostNamesMoved) {
            if (!olderKept.empty()) TellInfo(olderKept);
            NextVideoFile = FreeRecordingName(BuildVideoFileName());
            retryStart_ = true;
            return false;
        }
        if (!previewRuns) module->RunGraph();
        TellCannotStart(RefusalText(CaptureFile, refused) + Paragraph(olderKept));
        return false;
    }
    part_ = std::move(part);
    AddClipEntry(NextVideoFile);
    return true;
}

void TCaptureForm::UndoRefusedStart(bool FileHeldElsewhere, TRecordingPart* Part) {
    recordingOpen_ = false;
    partHeldElsewhere_ = false;
    const bool sceneList = engine::ScnOpen();
    if (sceneList) CloseSceneList();
    // Whatever reached the part's files before the refusal (a first picture before the sound
    // input said it could not open) is no recording. Another program's file is its own, whatever
    // it holds. The older files wait for what follows.
    if (Part != nullptr)
        Part->RemoveOwnFiles(FileHeldElsewhere ? TRecordingPart::ofKeep : TRecordingPart::ofRemove, true);
    else if (sceneList)
        RemoveUnformattedSceneList(CaptureFile);
}

// ---- Stop ---------------------------------------------------------------------------------

bool TCaptureForm::StopGraphAndCloseCapture() {
    try {
        engine::Tdm* module = engine::dm();
        if (module == nullptr) return true;
        if (module->fg->State() != dshow::gsStopped) {
            // What the recording's streams carry reaches its file before the graph stops.
            if ((CaptureState == 2 || CaptureState == 4) && recordingOpen_) module->EndRecordingStreams();
            try {
                module->fg->Stop();
            } catch (...) {
                // Stopped filter by filter below; the file still gets its close work.
            }
            // The image-by-image finish runs now, while NextVideoFile still names the recording.
            if (module->ImageControl != nullptr) module->ImageControl->RunPendingStops();
        }
        // A start that one filter refused can leave the others paused or running, and the graph's
        // own Stop then fails or does nothing (Wine): each one still going is stopped by itself.
        module->fg->StopEveryFilter();
        // Decided by the recording, not by the graph: a lost device may have stopped the graph
        // already, and the file still needs its close work.
        if ((CaptureState == 2 || CaptureState == 4) && recordingOpen_) {
            bool duringStop = false;
            const HRESULT failure = TakeCloseFailure(duringStop);
            recordingOpen_ = false;
            const bool heldElsewhere = partHeldElsewhere_;
            partHeldElsewhere_ = false;
            const std::wstring ended = NextVideoFile;
            const std::int32_t counter = VideoFileCounter;
            NextVideoFile = BuildVideoFileName();
            // The part is settled once its writers let go of its files; it holds its name till then.
            std::unique_ptr<TRecordingPart> part = std::move(part_);
            if (heldElsewhere) {
                // Nothing of this recording is in the file another program holds: the file is left
                // as it is and off the clip list, the scene list made for it goes, the older file it
                // replaced comes back beside it, and nothing is said kept. A cut moves on to a free
                // name without a word.
                const bool sceneList = engine::ScnOpen();
                if (sceneList) CloseSceneList();
                std::wstring kept;
                if (part)
                    part->Settle(TRecordingPart::ofKeep, true, kept);
                else if (sceneList)
                    RemoveUnformattedSceneList(ended);
                if (!kept.empty()) TellInfo(kept);
                noPictureGrabbed_ = false;
                RemoveClipEntry(ended);
                if (!handlingWriteFailure_ && !cuttingPart_)
                    TellCannotStart(classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {ended, FailureText(failure)}));
                return true;
            }
            // Stopped before its first frame: no player would open it. A part whose sound input
            // never opened is no recording either, whatever picture reached it meanwhile, nor an
            // image-by-image recording that grabbed no picture.
            const bool nothing = soundInputNotOpened_ || noPictureGrabbed_ ||
                                 (part ? part->HoldsNothing() : HoldsNothingUnformatted(ended));
            if (engine::ScnOpen()) {
                CloseSceneList();
                long dropped = 0, kept = 0;
                if (!nothing && DroppedFrames(dropped, kept) && dropped > 0) {
                    const std::wstring scn = SceneListOf(ended);
                    const std::wstring question =
                        classlib::Format(RecText(IDS_REC_LOST_FRAMES), {static_cast<int>(dropped), scn});
                    if (widgets::WideMessageDlg(question, widgets::TMsgDlgType::mtWarning, widgets::mbYesNo, 0) ==
                        classlib::mrYes)
                        settings::MoveToRecycleBin(scn);
                }
            }
            // The part closed before was left to its writer's going: it is settled now.
            if (closedPart_) SettleClosedPart(true);
            closedFile_ = ended;
            closedHoldsNothing_ = nothing;
            closedPart_ = std::move(part);
            FinishClosedFile(false);
            // A recording frozen from its start to its stop, or one of pictures that grabbed none,
            // wrote nothing: its file goes, the user is told why rather than finding nothing, and
            // the next recording takes its name.
            const bool told = nothing && !FAILED(failure) && !handlingWriteFailure_ && !cuttingPart_;
            const unsigned why = noPictureGrabbed_ ? IDS_REC_NO_PICTURE : IDS_REC_FROZEN_NOTHING;
            if (told && (noPictureGrabbed_ || taFreezeCapture->Checked())) {
                VideoFileCounter = counter - 1;
                NextVideoFile = BuildVideoFileName();
                widgets::WideMessageDlg(classlib::Format(RecText(why), {ended}), widgets::TMsgDlgType::mtWarning,
                                        widgets::MsgDlgButtons({widgets::mbOK}), 0);
            }
            noPictureGrabbed_ = false;
            // A failed write being handled tells the user itself.
            if (FAILED(failure) && !handlingWriteFailure_) {
                const bool kept = !nothing && unicode::WideFileExists(ended);
                std::wstring text =
                    soundInputProblem_.empty()
                        ? classlib::Format(RecText(duringStop ? IDS_REC_NOT_FINISHED : IDS_REC_WRITE_FAILED),
                                           {ended, FailureText(failure)})
                        : classlib::Format(RecText(IDS_REC_WRITE_FAILED), {ended, soundInputProblem_});
                if (kept) text += L"\r\n" + RecText(IDS_REC_WRITTEN_KEPT);
                TellError(text);
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool TCaptureForm::StopCapture() {
    bool result = false;
    try {
        engine::Tdm* module = engine::dm();
        if (module == nullptr) return false;
        StopGraphAndCloseCapture();
        module->StopCaptureGraph();
        // The writers have let their files go.
        FinishClosedFile(true);
        result = (module->CurrentVideoSource == nullptr || module->CurrentVideoSource->Active) &&
                 (module->CurrentAudioSource == nullptr || module->CurrentAudioSource->Active);
        ImageByImageMode = false;
        module->ImageByImageMode = false;
        SetImageByImageMode(false);
        DroppedFramesInfo.Reset();
        if (result) {
            ApplyVolume();
            const bool notifier = OptionsFrame->cbNotifier->Checked();
            if (settings::ParamNotifier != nullptr) settings::ParamNotifier->SetValue(notifier);
            if (notifier)
                module->fg->OnGraphDeviceLost = nullptr;
            else
                module->fg->OnGraphDeviceLost = [this](classlib::TObject*, IUnknown*, bool) { GraphDeviceLost(this); };
            module->RunGraph();
        }
    } catch (...) {
        result = false;
    }
    return result;
}

// ---- Image by image ------------------------------------------------------------------------

void TCaptureForm::FinishImageByImage() {
    try {
        engine::Tdm* module = engine::dm();
        if (module == nullptr) return;
        if (module->ImageByImageCount == 0) {
            // Its file goes with the part's close, which tells why.
            noPictureGrabbed_ = true;
        } else {
            const double rate = settings::ParamFramerate != nullptr ? settings::ParamFramerate->Value() : 0.0;
            engine::SetAviFrameRate(NextVideoFile, rate);
        }
    } catch (...) {
    }
}

void TCaptureForm::AddClipEntry(const std::wstring& Name) {
    try {
        if (ListeFrame != nullptr && ListeFrame->fl != nullptr)
            ListeFrame->fl->AddFichier(widgets::custom::TSRFichier::CreateFromFile(Name), false);
    } catch (...) {
        // The list is a convenience: the recording goes on without its entry.
    }
}

void TCaptureForm::RemoveClipEntry(const std::wstring& Name) {
    try {
        if (ListeFrame != nullptr) ListeFrame->RemoveFile(Name);
    } catch (...) {
    }
}

void TCaptureForm::RefreshClipEntry(const std::wstring& Name) {
    try {
        if (ListeFrame != nullptr) ListeFrame->RefreshFile(Name);
    } catch (...) {
    }
}

}  // namespace ui
