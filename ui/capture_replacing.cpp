// The names a recording takes: the questions before it (replace an older file, make a missing
// folder), the claim on its name, the next free name, what killed copies left aside in its folder,
// and the settling of each part's hold on its name once the part is closed.
#include "classlib/format.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/options_frame.h"
#include "ui/recording_files.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

// A recording never runs long enough for more names than this to be taken.
constexpr int kMostNamesTried = 100000;

}  // namespace

// ---- The questions before a recording ----------------------------------------------------

bool TCaptureForm::ConfirmNewRecording(const std::wstring& Name, bool WithAll, bool Existed, bool* Changed,
                                       TNamedFiles* Asked) {
    if (Changed != nullptr) *Changed = false;
    using widgets::TMsgDlgType;
    // A file that another program is writing is not offered for overwriting. A start by hand goes
    // on under the next free name instead (StartRecording); the schedule is refused.
    const bool inUse = FileInUse(Name);
    if (!WithAll && inUse) {
        TellCannotStart(classlib::Format(RecText(IDS_REC_IN_USE), {Name}));
        return false;
    }
    // What a Yes covers: the files at the name as the question shows them (or as the look found
    // them when nothing is asked), by identity.
    const TNamedFiles looked = FilesAt(Name);
    if (Asked != nullptr) *Asked = looked;
    const std::wstring replaced = ReplacedFile(Name);
    if (Confirming() && Existed && !inUse && !replaced.empty()) {
        std::wstring question = RecText(IDS_REC_FILE_EXISTS) + replaced + RecText(IDS_REC_CRUSH);
        widgets::TMsgDlgButtons buttons = widgets::mbYesNo;
        if (WithAll) {
            question += L"\r\n" + RecText(IDS_REC_ALL_NO_MORE);
            buttons = widgets::MsgDlgButtons({widgets::mbYes, widgets::mbNo, widgets::mbAll});
        }
        // The keyboard starts on No: a key meant for the window replaces nothing.
        const int answer = widgets::WideMessageDlgFocused(question, TMsgDlgType::mtWarning, buttons, widgets::mbNo);
        // The answer is for the files the question showed: one written, replaced or arrived
        // meanwhile (another copy recorded there, the user copied one in) is not.
        if (Changed != nullptr && FilesAt(Name) != looked) *Changed = true;
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

TSweepTold TCaptureForm::SweepLeftOvers(const std::wstring& Name) {
    return SweepReplacedFiles(unicode::WideExtractFilePath(Name));
}

std::wstring TCaptureForm::LeftOversText(const TSweepTold& Sweep) {
    std::wstring told;
    // Once for each file kept beside its name, or left as it is.
    for (const std::wstring& kept : Sweep.Words) told += (told.empty() ? L"" : L"\r\n") + kept;
    return told;
}

void TCaptureForm::TellLeftOvers(const std::wstring& Name) {
    // What the sweep kept waits (its records telling where) until the user has been told.
    const TSweepTold sweep = SweepLeftOvers(Name);
    const std::wstring told = LeftOversText(sweep);
    if (!told.empty()) TellInfo(told);
}

std::wstring TCaptureForm::ClaimRecordingName(std::unique_ptr<TRecordingPart>& Part) {
    bool inUse = false;
    std::wstring problem;
    // Another program took the name since it was looked at, or another copy claimed it in the
    // same moment: the next free one is taken.
    for (int tries = 0; tries == 0 || (inUse && tries <= kMostNamesMoved); ++tries) {
        Part.reset();
        if (tries > 0) NextVideoFile = FreeRecordingName(NextVideoFile);
        // A claim held through a start made again is taken over for its name.
        Part = std::make_unique<TRecordingPart>(NextVideoFile, std::move(heldClaim_));
        inUse = !Part->Claimed();
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

// ---- The parts once closed -----------------------------------------------------------------

void TCaptureForm::FinishClosedFile(bool WritersGone) {
    if (closedFile_.empty()) return;
    // A writer may still hold the file (its branch goes after the close work): what cannot be
    // settled yet is when it is let go, and its entry follows.
    // Recorded without a format, nothing was made at the name: nothing goes.
    if (closedPart_) SettleClosedPart(WritersGone);
    RefreshClipEntry(closedFile_);
    if (WritersGone) closedFile_.clear();
}

void TCaptureForm::SettleClosedPart(bool WritersGone) {
    if (!closedPart_) return;
    // Its file goes when it holds nothing; the older files go only once it holds a picture or a
    // sound, and a part that may hold something, but not surely, keeps both.
    std::wstring told;
    if (!closedPart_->Settle(closedHoldsNothing_ ? TRecordingPart::ofRemove : TRecordingPart::ofWhenEmpty, WritersGone,
                             told))
        return;
    // Told before the part goes: its record tells where until then.
    std::unique_ptr<TRecordingPart> part = std::move(closedPart_);
    if (!told.empty()) TellInfo(told);
}

void TCaptureForm::WatchReplacedFile() {
    if (!part_ || !part_->Replaced() || !recordingOpen_ || partHeldElsewhere_ || soundInputNotOpened_ ||
        writeFailurePosted_ || FAILED(pendingWriteFailure_))
        return;
    // The recording has really begun once its disk has taken a good part of a second of it (a
    // disk short of room refuses it before, and the older files' room is then given: a header cut
    // short by a full disk is no beginning) and its own file, known by its identity, holds a
    // picture or a sound that a player reads.
    constexpr std::uint64_t kBegun = 256 * 1024;
    if (FileIdentity(NextVideoFile).Size < kBegun || !part_->RecordingBegun()) return;
    // On a disk short of room the older files' room is where the recording goes on once the disk
    // refuses more: they stay aside till then (given now, their room could come after the refusal).
    if (OlderFileMakesRoom(NextVideoFile, *part_)) return;
    part_->Discard();
}

}  // namespace ui
