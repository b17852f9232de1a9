// Starting, stopping and cutting a recording: the questions before a start, the recording branch
// of each capture format, the scene list beside a DV recording, the close work of a stop (the next
// name, the scene list and its lost-frames question), the cut into a new file and the image-by-image
// finish; a recording whose file cannot be written is refused at its start or stopped with the
// reason. A recording is never left half-written: whatever fails, the graph is stopped before the
// branch goes, a start that fails brings the preview back, and a file left with nothing in it
// goes with its scene list.
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

// Formats that write an AVI file (image by image removes its own empty file).
bool WritesAvi(std::uint8_t Format) { return Format == 1 || Format == 2 || Format == 5 || Format == 6 || Format == 9; }

// A recording file no player would open: empty (a writer that could not write its first bytes), or
// an AVI, WAVE or Windows Media file without a frame or a sound.
bool HoldsNothing(std::uint8_t Format, const std::wstring& Name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Name.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) return true;
    if (WritesAvi(Format)) return AviHoldsNothing(Name);
    if (IsSoundFormat(Format)) return WaveHoldsNothing(Name);
    return Format == 7 && AsfHoldsNothing(Name);
}

void TellError(const std::wstring& Text) {
    widgets::WideMessageDlg(Text, widgets::TMsgDlgType::mtError, widgets::MsgDlgButtons({widgets::mbOK}), 0);
}

// Why a start is refused, told as an error.
void TellCannotStart(const std::wstring& Why) { TellError(RecText(IDS_REC_CANNOT_START) + Why); }

// Why the graph would not run a recording into File: a file the system refused, or the graph's
// own reason.
std::wstring RunRefusal(const std::wstring& File, HRESULT Failure) {
    if (!FAILED(Failure)) Failure = E_FAIL;
    const bool fileRefused = HRESULT_FACILITY(Failure) == FACILITY_WIN32 || HRESULT_FACILITY(Failure) == FACILITY_STORAGE;
    return fileRefused ? classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {File, FailureText(Failure)})
                       : classlib::Format(RecText(IDS_REC_CANNOT_RUN), {FailureText(Failure)});
}

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

// A writer that tells this while its part runs, or refuses the run with it, could not open its file:
// another program (another copy of this one) holds it, and nothing of the recording is in it.
bool HeldByAnother(HRESULT Result) { return Result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION); }

// Names taken in a row from files that other programs took first: more means a writer that can
// open nothing, which is told rather than tried without end.
constexpr int kMostNamesMoved = 5;

// The answers of a write refused for want of room, whichever writer or file system gives it.
bool IsFullDisk(HRESULT Result) {
    return Result == HRESULT_FROM_WIN32(ERROR_DISK_FULL) || Result == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) ||
           Result == STG_E_MEDIUMFULL;
}

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

// ---- The questions before a recording ----------------------------------------------------

bool TCaptureForm::ConfirmNewRecording(const std::wstring& Name, bool WithAll, bool Existed) {
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
        const int answer = widgets::WideMessageDlg(question, TMsgDlgType::mtWarning, buttons, 0);
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
    if (Confirming()) {
        const std::wstring question =
            RecText(IDS_REC_FOLDER) + folder + RecText(IDS_REC_FOLDER_MISSING) + L"\r\n" + RecText(IDS_REC_CREATE_FOLDER);
        if (widgets::WideMessageDlg(question, TMsgDlgType::mtWarning, widgets::mbYesNo, 0) != classlib::mrYes)
            return false;
    }
    unicode::WideForceDirectories(folder);
    return true;
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
        if (CaptureState == 1) {
            // Another copy of the program may write under the prepared name (two copies started in
            // the same second name their recordings alike): the next free name is taken, as a cut
            // takes it.
            if (FileInUse(NextVideoFile)) NextVideoFile = FreeRecordingName(NextVideoFile);
            const bool existed = !ReplacedFile(NextVideoFile).empty();
            if (!ConfirmNewRecording(NextVideoFile, true, existed)) return false;
            // A name another program took meanwhile (the questions wait for their answers) is not
            // overwritten: a file there now that was not is another program's.
            if (FileInUse(NextVideoFile) || (!existed && !ReplacedFile(NextVideoFile).empty()))
                NextVideoFile = FreeRecordingName(BuildVideoFileName());
        } else {
            // The schedule asked its questions for the name it was armed with. A name changed
            // since, or a file that appeared since, is not overwritten unasked: nobody may be
            // there to answer, so the next free name is taken.
            const bool existsNow = !ReplacedFile(NextVideoFile).empty();
            if ((Confirming() && existsNow && (NextVideoFile != scheduleCheckedName_ || !scheduleNameExisted_)) ||
                FileInUse(NextVideoFile))
                NextVideoFile = FreeRecordingName(NextVideoFile);
            const std::wstring folder = FolderOf(NextVideoFile);
            if (!folder.empty()) unicode::WideForceDirectories(folder);
        }
        const std::uint8_t format = CurrentFormat();
        // Whatever would refuse the writer is told now, while the preview still runs (no file is
        // written without a format).
        if (format != 0 && format != 10) {
            bool inUse = false;
            std::wstring problem = RecordingFileProblem(NextVideoFile, &inUse);
            // Another program took the name since it was looked at: the next free one is taken.
            for (int tries = 0; inUse && tries < kMostNamesMoved; ++tries) {
                NextVideoFile = FreeRecordingName(NextVideoFile);
                problem = RecordingFileProblem(NextVideoFile, &inUse);
            }
            if (!problem.empty()) {
                TellCannotStart(problem);
                return false;
            }
        }
        CaptureFile = NextVideoFile;
        StopGraphAndCloseCapture();
        // An older file of this name (the user said to replace it, or is not asked) is moved out
        // of the writer's way: emptying a large file would hold the start back.
        TReplacedFile replaced(format != 0 && format != 10 ? CaptureFile : std::wstring());
        engine::TVideoSource* video = module->CurrentVideoSource;
        engine::TAudioSource* sound = module->CurrentAudioSource;
        module->UseAudioClock = video != nullptr && sound != nullptr && video->Device != sound->Device &&
                                format != 1 && format != 3 && format != 4 && format != 8 && !IsSoundFormat(format);
        module->ImageByImageCount = 0;
        if (!BuildRecordingBranch(format, CaptureFile)) {
            // Nothing of the branch stays, and the preview comes back: the user sees why.
            const std::wstring why = engine::LastRecordingBuildError();
            module->StopCaptureGraph();
            module->RunGraph();
            TellCannotStart(why.empty() ? settings::FormatCaptureName(format) : why);
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
        // The writers tell a refused write through the graph's error events: it ends the recording.
        // A sound input tells its own failure, named by the input.
        writeFailurePosted_ = false;
        soundInputProblem_.clear();
        module->fg->OnGraphSNDDevInError = [this](classlib::TObject*, SNDDEV_ERR Operation, ULONG Error) {
            SoundInputFailed(Operation, Error);
        };
        module->fg->OnGraphErrorAbort = [this](classlib::TObject*, HRESULT Result) { RecordingWriteFailed(Result); };
        module->fg->OnGraphStreamErrorStopped = [this](classlib::TObject*, HRESULT Result, ULONG) {
            RecordingWriteFailed(Result);
        };
        module->fg->OnGraphErrorStillPlaying = [this](classlib::TObject*, HRESULT Result) { RecordingWriteFailed(Result); };
        if (!module->RunGraph()) {
            // A filter refused the start (a writer that cannot begin its file): every filter is
            // stopped, nothing of the refused recording stays open or on disk, the preview comes
            // back and the user is told why.
            const HRESULT refused = module->LastRunFailure();
            StopGraphAndCloseCapture();
            // What the refusing writer also told through the graph's events belongs to this start:
            // it must not reach the recording that follows.
            bool duringStop = false;
            TakeCloseFailure(duringStop);
            module->StopCaptureGraph();
            UndoRefusedStart(format, HeldByAnother(refused));
            // Another program took the file between the checks and the writer's open: the start is
            // made again under the next free name (StartCapture), the older file gone as answered.
            if (HeldByAnother(refused) && ++namesMoved_ <= kMostNamesMoved) {
                replaced.Discard();
                NextVideoFile = FreeRecordingName(BuildVideoFileName());
                retryStart_ = true;
                return false;
            }
            module->RunGraph();
            TellCannotStart(RefusalText(CaptureFile, refused));
            return false;
        }
        replaced.Discard();
        AddClipEntry(NextVideoFile);
        return true;
}

void TCaptureForm::UndoRefusedStart(std::uint8_t Format, bool FileHeldElsewhere) {
    recordingOpen_ = false;
    partHeldElsewhere_ = false;
    if (engine::ScnOpen()) {
        CloseSceneList();
        DeleteFileW(SceneListOf(CaptureFile).c_str());
    }
    // Another program's file is its own, whatever it holds yet.
    if (!FileHeldElsewhere && HoldsNothing(Format, CaptureFile)) DeleteFileW(CaptureFile.c_str());
}

// ---- Stop ---------------------------------------------------------------------------------

bool TCaptureForm::StopGraphAndCloseCapture() {
    try {
        engine::Tdm* module = engine::dm();
        if (module == nullptr) return true;
        if (module->fg->State() != dshow::gsStopped) {
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
            NextVideoFile = BuildVideoFileName();
            if (heldElsewhere) {
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
            // Stopped before its first frame: no player would open it.
            const bool nothing = HoldsNothing(CurrentFormat(), ended);
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
            closedFile_ = ended;
            closedHoldsNothing_ = nothing;
            FinishClosedFile(false);
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

// ---- A failed write -------------------------------------------------------------------------

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

void TCaptureForm::SoundInputFailed(int Operation, unsigned long Error) {
    engine::Tdm* module = engine::dm();
    const engine::TAudioSource* sound = module != nullptr ? module->CurrentAudioSource : nullptr;
    if (soundInputProblem_.empty())
        soundInputProblem_ = SoundInputProblem(sound != nullptr ? sound->Name : std::wstring(), Operation, Error);
    // The recording cannot go on as asked, whether or not the input also aborts the graph.
    RecordingWriteFailed(E_FAIL);
}

std::wstring TCaptureForm::RefusalText(const std::wstring& File, HRESULT Failure) {
    // A sound input that could not be opened has told it through the graph's events, which may
    // still wait in its queue. They are heard as a stop hears them: the refusal told here is all
    // the user reads of them.
    const bool closing = closingRecording_;
    const HRESULT heard = closeFailure_;
    closingRecording_ = true;
    if (engine::Tdm* module = engine::dm()) HandleQueuedGraphEvents(module->fg);
    closingRecording_ = closing;
    closeFailure_ = heard;
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
    // The ordinary stop: what was written stays a whole file (header, index, scene list).
    handlingWriteFailure_ = true;
    StopRunningRecording();
    handlingWriteFailure_ = false;
    try {
        // Another program's file holds nothing of this recording, whatever it holds.
        const bool kept = !heldElsewhere && unicode::WideFileExists(file);
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
    std::optional<TReplacedFile> replaced;
    try {
        engine::Tdm* module = engine::dm();
        // A recording whose only part another program held begins with the part that follows.
        const bool nothingRecorded = partHeldElsewhere_ && NextVideoFile == CaptureFile;
        for (;;) {
            cuttingPart_ = true;
            StopGraphAndCloseCapture();
            cuttingPart_ = false;
            // A cut asks nothing (the recording is waiting): a name already taken is skipped.
            NextVideoFile = FreeRecordingName(NextVideoFile);
            const std::uint8_t format = CurrentFormat();
            // An older file it replaces (no confirmation asked for) is moved out of the way, as at
            // a start.
            replaced.emplace(format != 0 && format != 10 ? NextVideoFile : std::wstring());
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
            if (module->CurrentVideoSource != nullptr && module->CurrentVideoSource->SceneFilter != nullptr &&
                settings::ParamScn != nullptr && settings::ParamScn->Value())
                OpenSceneList(NextVideoFile);
            module->ImageByImageCount = 0;
            if (module->RunGraph()) {
                replaced->Discard();
                if (nothingRecorded) {
                    CaptureFile = NextVideoFile;
                    CaptureStartTime = classlib::Now();
                }
                AddClipEntry(NextVideoFile);
                ApplyVolume();
                break;
            }
            const HRESULT refused = module->LastRunFailure();
            // Another program took the new name between the check and the writer's open.
            if (HeldByAnother(refused) && ++namesMoved_ <= kMostNamesMoved) {
                replaced->Discard();
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
    if (!failed.empty()) EndFailedCut(failed);
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
    RefreshClipEntry(closedFile_);
    if (WritersGone) closedFile_.clear();
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
