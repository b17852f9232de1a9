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
#include "ui/replaced_files.h"
#include "ui/system_report.h"
#include "unicode/wide_files.h"
#include "widgets/custom/clip_entries.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

std::wstring RecText(unsigned Id) { return settings::LoadProgramText(Id); }

bool Confirming() { return settings::ParamConfirmerVideo != nullptr && settings::ParamConfirmerVideo->Value(); }

std::uint8_t CurrentFormat() {
    return settings::ParamCaptureFormat != nullptr ? settings::ParamCaptureFormat->Value() : 0;
}

bool IsSoundFormat(std::uint8_t Format) { return Format == 11 || Format == 12; }

std::wstring FolderOf(const std::wstring& Name) {
    const std::size_t slash = Name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : Name.substr(0, slash);
}

// A recording file no player would open (RecordingHoldsNothing). Without a format nothing is
// written: a file there of another's is left, unless it has no bytes at all.
bool HoldsNothing(std::uint8_t Format, const std::wstring& Name) {
    if (Format != 0 && Format != 10) return RecordingHoldsNothing(Name);
    const TFileIdentity file = FileIdentity(Name);
    return file.Exists && file.Size == 0;
}

// Text as a paragraph of its own after another, nothing when empty.
std::wstring Paragraph(const std::wstring& Text) { return Text.empty() ? Text : L"\r\n" + Text; }

void TellError(const std::wstring& Text) {
    widgets::WideMessageDlg(Text, widgets::TMsgDlgType::mtError, widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

// Why a start is refused, told as an error.
void TellCannotStart(const std::wstring& Why) { TellError(RecText(IDS_REC_CANNOT_START) + Why); }

std::wstring SceneListOf(const std::wstring& Name) { return unicode::WideChangeFileExt(Name, L".scn"); }

// A recording in Format from the current video source writes a scene list beside its file.
bool SceneListWanted(std::uint8_t Format) {
    engine::Tdm* module = engine::dm();
    engine::TVideoSource* video = module != nullptr ? module->CurrentVideoSource : nullptr;
    return video != nullptr && video->SceneFilter != nullptr && !IsSoundFormat(Format) && settings::ParamScn != nullptr &&
           settings::ParamScn->Value();
}

// The file that a recording named Name would replace: the recording's own, else a scene list that
// another recording left where its own would go; empty when neither is there.
std::wstring ReplacedFile(const std::wstring& Name) {
    if (unicode::WideFileExists(Name)) return Name;
    const std::wstring scn = SceneListOf(Name);
    return SceneListWanted(CurrentFormat()) && unicode::WideFileExists(scn) ? scn : std::wstring();
}

// A name a recording that asks nothing (a cut, a scheduled start) does not take: a file another
// program is writing, or one it would replace while replacing is to be confirmed.
bool NameTaken(const std::wstring& Name) { return FileInUse(Name) || (Confirming() && !ReplacedFile(Name).empty()); }

// A recording never runs long enough for more names than this to be taken.
constexpr int kMostNamesTried = 100000;

}  // namespace

// ---- The questions before a recording ----------------------------------------------------

bool TCaptureForm::ConfirmNewRecording(const std::wstring& Name, bool WithAll, bool Existed, bool* Changed,
                                       TFileIdentity* Asked) {
    if (Changed != nullptr) *Changed = false;
    if (Asked != nullptr) *Asked = TFileIdentity();
    using widgets::TMsgDlgType;
    // A file that another program is writing is not offered for overwriting. A start by hand goes
    // on under the next free name instead (StartRecording); the schedule is refused.
    const bool inUse = FileInUse(Name);
    if (!WithAll && inUse) {
        TellCannotStart(classlib::Format(RecText(IDS_REC_IN_USE), {Name}));
        return false;
    }
    const std::wstring replaced = ReplacedFile(Name);
    if (Confirming() && Existed && !inUse && !replaced.empty()) {
        std::wstring question = RecText(IDS_REC_FILE_EXISTS) + replaced + RecText(IDS_REC_CRUSH);
        widgets::TMsgDlgButtons buttons = widgets::mbYesNo;
        if (WithAll) {
            question += L"\r\n" + RecText(IDS_REC_ALL_NO_MORE);
            buttons = widgets::MsgDlgButtons({widgets::mbYes, widgets::mbNo, widgets::mbAll});
        }
        const TFileIdentity asked = FileIdentity(replaced);
        if (Asked != nullptr && replaced == Name) *Asked = asked;
        const int answer = widgets::WideMessageDlg(question, TMsgDlgType::mtWarning, buttons, 0);
        // The answer is for the file the question showed: one written or replaced meanwhile (by
        // another copy that recorded into it) is not.
        if (Changed != nullptr && FileIdentity(replaced) != asked) *Changed = true;
        if (WithAll && answer == classlib::mrAll) {
            // No later start asks again.
            OptionsFrame->cbConfirmerVideo->SetChecked(false);
            settings::ParamConfirmerVideo->SetValue(false);
        } else if (answer != classlib::mrYes) {
            return false;
        }
    }
    const std::wstring folder = FolderOf(Name);
    if (folder.empty() || unicode::WideDirectoryExists(folder)) return true;
    // Nothing of a path that cannot be made whole is made, nor asked about.
    if (!FolderCanBeMade(folder)) {
        TellCannotStart(classlib::Format(RecText(IDS_REC_NO_FOLDER), {folder}));
        return false;
    }
    if (Confirming()) {
        const std::wstring question =
            RecText(IDS_REC_FOLDER) + folder + RecText(IDS_REC_FOLDER_MISSING) + L"\r\n" + RecText(IDS_REC_CREATE_FOLDER);
        if (widgets::WideMessageDlg(question, TMsgDlgType::mtWarning, widgets::mbYesNo, 0) != classlib::mrYes)
            return false;
    }
    unicode::WideForceDirectories(folder);
    return true;
}

std::wstring TCaptureForm::SweepLeftOvers(const std::wstring& Name) {
    std::wstring told;
    // Once for each file kept beside its name: it is not aside any more.
    for (const std::wstring& kept : SweepReplacedFiles(unicode::WideExtractFilePath(Name)))
        told += (told.empty() ? L"" : L"\r\n") + kept;
    return told;
}

void TCaptureForm::TellLeftOvers(const std::wstring& Name) {
    const std::wstring told = SweepLeftOvers(Name);
    if (!told.empty()) TellError(told);
}

std::wstring TCaptureForm::ClaimRecordingName(std::unique_ptr<TRecordingClaim>& Claim) {
    bool inUse = false;
    std::wstring problem;
    // Another program took the name since it was looked at, or another copy claimed it in the
    // same moment: the next free one is taken.
    for (int tries = 0; tries == 0 || (inUse && tries <= kMostNamesMoved); ++tries) {
        Claim.reset();
        if (tries > 0) NextVideoFile = FreeRecordingName(NextVideoFile);
        Claim = std::make_unique<TRecordingClaim>(NextVideoFile);
        inUse = !Claim->First();
        problem = inUse ? classlib::Format(RecText(IDS_REC_IN_USE), {NextVideoFile})
                        : RecordingFileProblem(NextVideoFile, &inUse);
    }
    return problem;
}

std::wstring TCaptureForm::FreeRecordingName(std::wstring Name) {
    // The counters start again at 0 with every run and the date stamp may be off: a name can be a
    // file of an earlier run. Later names are taken until one is free.
    for (int tries = 0; NameTaken(Name) && tries < kMostNamesTried; ++tries) Name = BuildVideoFileName();
    return Name;
}

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

void TCaptureForm::OpenSceneList(const std::wstring& RecordingName) {
    engine::Tdm* module = engine::dm();
    engine::TVideoSource* video = module->CurrentVideoSource;
    if (video == nullptr || video->SceneFilter == nullptr) return;
    engine::OpenScnFile(SceneListOf(RecordingName));
    video->SceneFilter->SetSceneCallback(&engine::WriteScnScene);
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
    do {
        retryStart_ = false;
        try {
            started = StartRecording();
        } catch (...) {
            started = false;
        }
        // A start whose file another program took first is made again under the next free name.
    } while (!started && retryStart_);
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
    // The file that the user said to replace, as it was when asked: only that one is replaced.
    std::optional<TFileIdentity> asked;
    if (CaptureState == 1) {
        // What killed copies left aside in the folder is settled first: the question is about the
        // file that the name holds once they are back.
        TellLeftOvers(NextVideoFile);
        // Another copy of the program may write under the prepared name (two copies started in
        // the same second name their recordings alike): the next free name is taken, as a cut
        // takes it.
        if (FileInUse(NextVideoFile)) NextVideoFile = FreeRecordingName(NextVideoFile);
        const bool existed = !ReplacedFile(NextVideoFile).empty();
        bool changed = false;
        TFileIdentity shown;
        if (!ConfirmNewRecording(NextVideoFile, true, existed, &changed, &shown)) return false;
        if (shown.Exists) asked = shown;
        // A Yes is for the file the question showed. A name another program took meanwhile (the
        // questions wait for their answers), or whose file changed (another copy recorded into it
        // and stopped), is not overwritten: the next free name is taken.
        if (changed || FileInUse(NextVideoFile) || (!existed && !ReplacedFile(NextVideoFile).empty())) {
            NextVideoFile = FreeRecordingName(BuildVideoFileName());
            asked.reset();
        }
    } else {
        // The schedule asked its questions for the name and the file it was armed with. A name
        // changed since, or a file that appeared or changed since, is not overwritten unasked:
        // nobody may be there to answer, so the next free name is taken.
        const bool existsNow = !ReplacedFile(NextVideoFile).empty();
        if ((Confirming() && existsNow &&
             (NextVideoFile != scheduleCheckedName_ || !scheduleCheckedFile_.Exists ||
              FileIdentity(NextVideoFile) != scheduleCheckedFile_)) ||
            FileInUse(NextVideoFile))
            NextVideoFile = FreeRecordingName(NextVideoFile);
        else if (Confirming() && existsNow && scheduleCheckedFile_.Exists)
            asked = scheduleCheckedFile_;
        const std::wstring folder = FolderOf(NextVideoFile);
        if (!folder.empty() && FolderCanBeMade(folder)) unicode::WideForceDirectories(folder);
    }
    const std::uint8_t format = CurrentFormat();
    const bool writesFile = format != 0 && format != 10;
    // Whatever would refuse the writer is told now, while the preview still runs (no file is
    // written without a format). The name is claimed first: another copy neither offers it for
    // replacing nor takes it from now on.
    std::unique_ptr<TRecordingClaim> claim;
    if (writesFile) {
        const std::wstring problem = ClaimRecordingName(claim);
        if (!problem.empty()) {
            TellCannotStart(problem);
            return false;
        }
    }
    CaptureFile = NextVideoFile;
    // An older file of this name (the user said to replace it, or is not asked) is moved out of
    // the writer's way: emptying a large file would hold the start back. It stays whole until the
    // recording has written something. Only the file asked about is replaced, and one that cannot
    // be moved is never written over.
    const bool existedBefore = unicode::WideFileExists(CaptureFile);
    auto replaced =
        std::make_unique<TReplacedFile>(writesFile ? CaptureFile : std::wstring(), asked ? &*asked : nullptr);
    if (replaced->Changed() || replaced->InUse()) {
        // Put back by a sweep or written by another program since it was asked about, or taken by
        // another program meanwhile: the start is made again under the next free name.
        if (++namesMoved_ <= kMostNamesMoved) {
            NextVideoFile = FreeRecordingName(BuildVideoFileName());
            retryStart_ = true;
            return false;
        }
    }
    if (!replaced->Problem().empty() || replaced->Changed()) {
        TellCannotStart(replaced->Problem().empty() ? classlib::Format(RecText(IDS_REC_IN_USE), {CaptureFile})
                                                    : replaced->Problem());
        return false;
    }
    StopGraphAndCloseCapture();
    // The file there now is this start's own, whatever it holds once the start is refused.
    const bool fileOwn = writesFile && (replaced->Moved() || !existedBefore);
    engine::TVideoSource* video = module->CurrentVideoSource;
    engine::TAudioSource* sound = module->CurrentAudioSource;
    module->UseAudioClock = video != nullptr && sound != nullptr && video->Device != sound->Device && format != 1 &&
                            format != 3 && format != 4 && format != 8 && !IsSoundFormat(format);
    module->ImageByImageCount = 0;
    if (!BuildRecordingBranch(format, CaptureFile)) {
        // Nothing of the branch stays, and the preview comes back: the user sees why.
        const std::wstring why = engine::LastRecordingBuildError();
        module->StopCaptureGraph();
        const std::wstring olderKept = replaced->PutBack();
        module->RunGraph();
        TellCannotStart((why.empty() ? settings::FormatCaptureName(format) : why) + Paragraph(olderKept));
        return false;
    }
    recordingOpen_ = true;
    ++recordingPart_;
    partHeldElsewhere_ = false;
    if (SceneListWanted(format)) OpenSceneList(NextVideoFile);
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
        // older file is back, the preview comes back and the user is told why.
        StopGraphAndCloseCapture();
        // What the refusing writer also told through the graph's events belongs to this start:
        // it must not reach the recording that follows.
        bool duringStop = false;
        TakeCloseFailure(duringStop);
        module->StopCaptureGraph();
        UndoRefusedStart(HeldByAnother(refused), fileOwn);
        // The disk has room for the recording only through the older file's, which the user
        // said to replace: it is given, and the start made again under the same name. It is given
        // only when nothing but room stands in the way: the sources run first without the
        // recording, and a sound input that cannot be opened is told instead.
        bool previewRuns = false;
        if (IsFullDisk(refused) && OlderFileMakesRoom(CaptureFile, *replaced) && soundInputProblem_.empty()) {
            previewRuns = module->RunGraph();
            const HRESULT told = FailureToldAtRun();
            if (previewRuns && !FAILED(told) && soundInputProblem_.empty()) {
                replaced->Free();
                retryStart_ = true;
                return false;
            }
            if (!previewRuns) refused = module->LastRunFailure();
        }
        const std::wstring olderKept = replaced->PutBack();
        // Another program took the file between the checks and the writer's open: the start is
        // made again under the next free name (StartCapture).
        if (HeldByAnother(refused) && ++namesMoved_ <= kMostNamesMoved) {
            if (!olderKept.empty()) TellError(olderKept);
            NextVideoFile = FreeRecordingName(BuildVideoFileName());
            retryStart_ = true;
            return false;
        }
        if (!previewRuns) module->RunGraph();
        TellCannotStart(RefusalText(CaptureFile, refused) + Paragraph(olderKept));
        return false;
    }
    if (replaced->Moved()) partReplaced_ = std::move(replaced);
    partClaim_ = std::move(claim);
    AddClipEntry(NextVideoFile);
    return true;
}

void TCaptureForm::UndoRefusedStart(bool FileHeldElsewhere, bool FileOwn) {
    recordingOpen_ = false;
    partHeldElsewhere_ = false;
    if (engine::ScnOpen()) {
        CloseSceneList();
        DeleteFileW(SceneListOf(CaptureFile).c_str());
    }
    // The start made its file (the name was free, or its older file is aside): whatever reached
    // it before the refusal (a first picture before the sound input said it could not open) is no
    // recording. Another program's file is its own, whatever it holds.
    if (!FileHeldElsewhere && FileOwn) DeleteFileW(CaptureFile.c_str());
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
            partClaim_.reset();
            const bool heldElsewhere = partHeldElsewhere_;
            partHeldElsewhere_ = false;
            const std::wstring ended = NextVideoFile;
            NextVideoFile = BuildVideoFileName();
            if (heldElsewhere) {
                // The older file it replaced held nothing of another program's either.
                if (partReplaced_) {
                    const std::wstring kept = partReplaced_->PutBack();
                    partReplaced_.reset();
                    if (!kept.empty()) TellError(kept);
                }
                // Nothing of this recording is in the file another program holds: the file is left
                // as it is and off the clip list, the scene list made for it goes, and nothing is
                // said kept. A cut moves on to a free name without a word.
                if (engine::ScnOpen()) {
                    CloseSceneList();
                    DeleteFileW(SceneListOf(ended).c_str());
                }
                RemoveClipEntry(ended);
                if (!handlingWriteFailure_ && !cuttingPart_)
                    TellCannotStart(classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {ended, FailureText(failure)}));
                return true;
            }
            // Stopped before its first frame: no player would open it. A part whose sound input
            // never opened is no recording either, whatever picture reached it meanwhile.
            const bool nothing = soundInputNotOpened_ || HoldsNothing(CurrentFormat(), ended);
            if (engine::ScnOpen()) {
                CloseSceneList();
                long dropped = 0;
                if (!nothing && DroppedFramesInfo && SUCCEEDED(DroppedFramesInfo->GetNumDropped(&dropped)) &&
                    dropped > 0) {
                    const std::wstring scn = SceneListOf(ended);
                    const std::wstring question =
                        classlib::Format(RecText(IDS_REC_LOST_FRAMES), {static_cast<int>(dropped), scn});
                    if (widgets::WideMessageDlg(question, widgets::TMsgDlgType::mtWarning, widgets::mbYesNo, 0) ==
                        classlib::mrYes)
                        settings::MoveToRecycleBin(scn);
                }
            }
            // The part closed before was left to its writer's going: it is settled now.
            if (closedReplaced_) SettleClosedReplaced(true);
            closedFile_ = ended;
            closedHoldsNothing_ = nothing;
            closedReplaced_ = std::move(partReplaced_);
            FinishClosedFile(false);
            // A recording frozen from its start to its stop wrote nothing: its file goes, and the
            // user is told why rather than finding nothing.
            if (nothing && !FAILED(failure) && !handlingWriteFailure_ && !cuttingPart_ && taFreezeCapture->Checked())
                widgets::WideMessageDlg(classlib::Format(RecText(IDS_REC_FROZEN_NOTHING), {ended}),
                                        widgets::TMsgDlgType::mtWarning, widgets::MsgDlgButtons({widgets::mbOK}), 0);
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

// ---- Cut ----------------------------------------------------------------------------------

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
    // The older file the new part replaces: put back once a failed cut has closed the new part.
    std::unique_ptr<TReplacedFile> replaced;
    // Why the last name passed over could not be written; empty when none was.
    std::wstring passedOver;
    // Where older files that killed copies left are kept, told once the new part runs.
    std::wstring leftOvers;
    try {
        engine::Tdm* module = engine::dm();
        // A recording whose only part another program held begins with the part that follows.
        const bool nothingRecorded = partHeldElsewhere_ && NextVideoFile == CaptureFile;
        for (;;) {
            cuttingPart_ = true;
            StopGraphAndCloseCapture();
            cuttingPart_ = false;
            // A cut asks nothing (the recording is waiting): a name already taken is skipped.
            leftOvers += Paragraph(SweepLeftOvers(NextVideoFile));
            NextVideoFile = FreeRecordingName(NextVideoFile);
            const std::uint8_t format = CurrentFormat();
            const bool writesFile = format != 0 && format != 10;
            std::unique_ptr<TRecordingClaim> claim;
            for (int passed = 0;; ++passed) {
                // What refuses a start refuses the name (a read-only older file is kept whole); an
                // older file it replaces (no confirmation asked for) is moved out of the way, as at
                // a start, and one that cannot be moved is never written over.
                std::wstring problem = writesFile ? ClaimRecordingName(claim) : std::wstring();
                if (problem.empty()) {
                    replaced = std::make_unique<TReplacedFile>(writesFile ? NextVideoFile : std::wstring());
                    problem = replaced->Problem();
                }
                if (problem.empty()) break;
                replaced.reset();
                // The name, not the folder, is refused: the recording goes on under the next one
                // that can be written.
                if (passed >= kMostNamesMoved || !unicode::WideDirectoryExists(FolderOf(NextVideoFile))) {
                    failed = problem;
                    break;
                }
                passedOver = problem;
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
            partClaim_ = std::move(claim);
            if (module->CurrentVideoSource != nullptr && module->CurrentVideoSource->SceneFilter != nullptr &&
                settings::ParamScn != nullptr && settings::ParamScn->Value())
                OpenSceneList(NextVideoFile);
            module->ImageByImageCount = 0;
            const bool ran = module->RunGraph();
            const HRESULT refused = ran ? FailureToldAtRun() : module->LastRunFailure();
            if (ran && !FAILED(refused)) {
                if (replaced->Moved()) partReplaced_ = std::move(replaced);
                replaced.reset();
                if (nothingRecorded) {
                    CaptureFile = NextVideoFile;
                    CaptureStartTime = classlib::Now();
                }
                AddClipEntry(NextVideoFile);
                ApplyVolume();
                break;
            }
            // Another program took the new name between the check and the writer's open: the
            // part's close puts its older file back.
            if (HeldByAnother(refused) && ++namesMoved_ <= kMostNamesMoved) {
                partReplaced_ = std::move(replaced);
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
        // The new part's file is gone with it: the older file is back.
        if (replaced) {
            const std::wstring kept = replaced->PutBack();
            if (!kept.empty()) TellError(kept);
        }
    } else if (!passedOver.empty()) {
        try {
            widgets::WideMessageDlg(classlib::Format(RecText(IDS_REC_GOES_ON), {NextVideoFile, passedOver}),
                                    widgets::TMsgDlgType::mtWarning, widgets::MsgDlgButtons({widgets::mbOK}), 0);
        } catch (...) {
        }
    }
    if (!leftOvers.empty()) {
        try {
            TellError(leftOvers.substr(2));
        } catch (...) {
        }
    }
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

// ---- Image by image ------------------------------------------------------------------------

void TCaptureForm::FinishImageByImage() {
    try {
        engine::Tdm* module = engine::dm();
        if (module == nullptr) return;
        if (module->ImageByImageCount == 0) {
            DeleteFileW(NextVideoFile.c_str());
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

void TCaptureForm::FinishClosedFile(bool WritersGone) {
    if (closedFile_.empty()) return;
    // A writer may still hold the file (its branch goes after the close work): what cannot go
    // yet goes when it is let go, and its entry follows.
    if (closedHoldsNothing_) {
        DeleteFileW(closedFile_.c_str());
        DeleteFileW(SceneListOf(closedFile_).c_str());
    }
    SettleClosedReplaced(WritersGone);
    RefreshClipEntry(closedFile_);
    if (WritersGone) closedFile_.clear();
}

void TCaptureForm::SettleClosedReplaced(bool WritersGone) {
    if (!closedReplaced_) return;
    const bool there = unicode::WideFileExists(closedFile_);
    // Only once the part's own file holds a picture or a sound does the older file go: a part
    // that may hold something, but not surely, keeps both.
    if (there && !closedHoldsNothing_ && closedReplaced_->RecordingBegun()) {
        closedReplaced_->Discard();
    } else if (!there || WritersGone) {
        // Nothing was recorded in its place: it is back (or, when the name cannot be freed, kept
        // beside it and the user told where).
        const std::wstring kept = closedReplaced_->PutBack();
        if (!kept.empty()) {
            closedReplaced_.reset();
            TellError(kept);
            return;
        }
    } else {
        // The writer still holds the empty file: settled once it has let it go.
        return;
    }
    closedReplaced_.reset();
}

void TCaptureForm::WatchReplacedFile() {
    if (!partReplaced_ || !recordingOpen_ || partHeldElsewhere_ || soundInputNotOpened_ || writeFailurePosted_ ||
        FAILED(pendingWriteFailure_))
        return;
    // The recording has really begun once its disk has taken a good part of a second of it (a
    // disk short of room refuses it before, and the older file's room is then given: a header cut
    // short by a full disk is no beginning) and its own file, known by its identity, holds a
    // picture or a sound that a player reads.
    constexpr std::uint64_t kBegun = 256 * 1024;
    if (FileIdentity(NextVideoFile).Size < kBegun || !partReplaced_->RecordingBegun()) return;
    partReplaced_->Discard();
    partReplaced_.reset();
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
