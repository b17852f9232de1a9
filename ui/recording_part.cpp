// One recording part's hold on its name.
#include "ui/recording_part.h"

#include "classlib/format.h"
#include "settings/program_texts.h"
#include "ui/recording_files.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

std::wstring RecText(unsigned Id) { return settings::LoadProgramText(Id); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void CloseFile(HANDLE& File) { CloseFileHandle(File); }

HANDLE Open(const std::wstring& Name, DWORD Access, DWORD Share, DWORD Disposition) {
    return OpenFileHandle(Name, Access, Share, Disposition);
}

// Opens Name to read it alongside its writer when it is still the file Made; nullptr otherwise.
HANDLE OpenIfMade(const std::wstring& Name, const TFileIdentity& Made) {
    HANDLE file = Open(Name, GENERIC_READ, kShareAll, OPEN_EXISTING);
    if (file != nullptr && !IdentityOf(file).SameFile(Made)) CloseFile(file);
    return file;
}

}  // namespace

TNamedFiles FilesAt(const std::wstring& Name) { return {FileIdentity(Name), FileIdentity(SceneListOf(Name))}; }

TRecordingPart::TRecordingPart(std::wstring Name)
    : name_(std::move(Name)), claim_(std::make_unique<TRecordingClaim>(name_)) {}

TRecordingPart::~TRecordingPart() {
    try {
        std::wstring told;
        Settle(ofWhenEmpty, true, told);
    } catch (...) {
    }
    for (HANDLE& file : made_) CloseFile(file);
    for (HANDLE& file : olderHere_) CloseFile(file);
}

std::uint64_t TRecordingPart::OlderSize() const {
    if (Replaced()) return aside_->Size();
    std::uint64_t size = 0;
    for (HANDLE file : olderHere_) {
        LARGE_INTEGER bytes{};
        if (file != nullptr && GetFileSizeEx(file, &bytes)) size += static_cast<std::uint64_t>(bytes.QuadPart);
    }
    return size;
}

void TRecordingPart::FreeOlderInPlace() {
    if (!noRoom_) return;
    noRoom_ = false;
    TAsideSet::FreeInPlace(olderRecord_, olderHere_);
    olderHere_ = {};
}

bool TRecordingPart::Make(int Kind, const std::wstring& Name, bool Temporary) {
    // A file made under a name of the part's own takes its name by a rename of its handle, which
    // needs delete access; held afterwards with no access at all, so that no writer is refused.
    HANDLE file = Open(Name, Temporary ? DELETE | FILE_READ_ATTRIBUTES : FILE_READ_ATTRIBUTES, kShareAll, CREATE_NEW);
    if (file == nullptr) {
        const DWORD error = GetLastError();
        inUse_ = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_SHARING_VIOLATION;
        problem_ = inUse_ ? classlib::Format(RecText(IDS_REC_IN_USE), {Name})
                          : classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {Name, FailureText(HRESULT_FROM_WIN32(error))});
        return false;
    }
    made_[Kind] = file;
    madeIdentity_[Kind] = IdentityOf(file);
    return true;
}

bool TRecordingPart::Take(const TNamedFiles* Asked, bool SceneList) {
    if (!Claimed()) {
        inUse_ = true;
        problem_ = classlib::Format(RecText(IDS_REC_IN_USE), {name_});
        return false;
    }
    const std::array<std::wstring, kPartFiles> names{name_, SceneListOf(name_)};
    const TNamedFiles now = FilesAt(name_);
    // The scene list belongs to the recording beside it: it moves with it, or when the part writes
    // one of its own.
    const std::array<bool, kPartFiles> moves{now.Recording.Exists, now.SceneList.Exists && (now.Recording.Exists || SceneList)};
    const std::array<bool, kPartFiles> makes{true, SceneList};
    if (Asked != nullptr && (now.Recording != Asked->Recording || ((moves[pfSceneList] || SceneList) && now.SceneList != Asked->SceneList))) {
        changed_ = true;
        return false;
    }
    std::array<HANDLE, kPartFiles> older{};
    const auto dropOlder = [&] {
        for (HANDLE& file : older) CloseFile(file);
    };
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (!moves[kind]) continue;
        const DWORD attributes = GetFileAttributesW(names[kind].c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            problem_ = classlib::Format(RecText(IDS_REC_IS_FOLDER), {names[kind]});
            dropOlder();
            return false;
        }
        // A read-only file is kept as its user wants it.
        HANDLE file = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0
                          ? Open(names[kind], GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING)
                          : nullptr;
        const DWORD error = file == nullptr ? (attributes == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                               : (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? ERROR_ACCESS_DENIED
                                                                                            : GetLastError())
                                            : ERROR_SUCCESS;
        if (file == nullptr) {
            dropOlder();
            // Gone or made since the look: not what was looked at.
            if (error == ERROR_FILE_NOT_FOUND) {
                changed_ = true;
                return false;
            }
            inUse_ = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
            problem_ = inUse_ ? classlib::Format(RecText(IDS_REC_IN_USE), {names[kind]})
                              : classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {names[kind], FailureText(HRESULT_FROM_WIN32(error))});
            return false;
        }
        older[kind] = file;
        // The file opened is the one looked at (and asked about).
        if (!IdentityOf(file).SameFile(kind == pfRecording ? now.Recording : now.SceneList)) {
            dropOlder();
            changed_ = true;
            return false;
        }
    }
    if (!moves[pfRecording] && !moves[pfSceneList]) {
        // Nothing to move: the part's files are made under their names at once.
        for (int kind = pfRecording; kind < kPartFiles; ++kind)
            if (makes[kind] && !Make(kind, names[kind], false)) return false;
        return true;
    }
    // The part's own files are made first, so that the record names them before anything moves.
    TAsideRecord record = NewAsideRecord(name_);
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (!makes[kind]) continue;
        if (!Make(kind, moves[kind] ? record.NewFile(kind) : names[kind], moves[kind])) {
            dropOlder();
            for (HANDLE& file : made_) {
                if (file != nullptr) DeleteOpenFile(file);
                CloseFile(file);
            }
            return false;
        }
        record.Made[kind] = madeIdentity_[kind];
    }
    if (moves[pfSceneList] || makes[pfSceneList]) record.Names[pfSceneList] = unicode::WideExtractFileName(names[pfSceneList]);
    DWORD error = ERROR_SUCCESS;
    aside_ = TAsideSet::MoveAside(record, older, error);
    if (!aside_) {
        noRoom_ = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
        if (noRoom_) {
            // Whole under their names, and held for FreeOlderInPlace.
            olderHere_ = older;
            older = {};
            olderRecord_ = record;
            olderRecord_.Made = {};
        }
        dropOlder();
        // Nothing moved: the files made go, through the handles that made them, and the name is not
        // taken.
        bool busy = false;
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            if (made_[kind] == nullptr) continue;
            CloseFile(made_[kind]);
            RemoveIfMade(moves[kind] ? record.NewFile(kind) : names[kind], madeIdentity_[kind], true, busy);
        }
        inUse_ = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        problem_ = inUse_ ? classlib::Format(RecText(IDS_REC_IN_USE), {name_})
                          : classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {name_, FailureText(HRESULT_FROM_WIN32(error))});
        return false;
    }
    // One that could not be moved (the others are aside) keeps its name: the part does not take it.
    dropOlder();
    // The part's files take the names the older ones left.
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (!makes[kind] || !moves[kind]) continue;
        HANDLE moving = made_[kind];
        made_[kind] = nullptr;
        const bool renamed = RenameOpenFile(moving, names[kind]);
        if (renamed) made_[kind] = Open(names[kind], FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING);
        if (!renamed || !IdentityOf(made_[kind]).SameFile(madeIdentity_[kind])) {
            // Another program made a file at the name meanwhile: the part does not take it.
            CloseFile(made_[kind]);
            made_[kind] = moving;
            inUse_ = true;
            problem_ = classlib::Format(RecText(IDS_REC_IN_USE), {names[kind]});
            std::wstring told;
            Settle(ofRemove, true, told);
            if (!told.empty()) problem_ += L"\r\n" + told;
            return false;
        }
        CloseHandle(moving);
    }
    return true;
}

bool TRecordingPart::LookAtRecording(bool (*Look)(HANDLE, const std::wstring&)) const {
    HANDLE file = OpenIfMade(name_, madeIdentity_[pfRecording]);
    const bool seen = file != nullptr && Look(file, name_);
    if (file != nullptr) CloseHandle(file);
    return seen;
}

bool TRecordingPart::RecordingBegun() const { return !recordingRemoved_ && LookAtRecording(RecordingHoldsMedia); }

bool TRecordingPart::HoldsNothing() const { return recordingRemoved_ || LookAtRecording(RecordingHoldsNothing); }

void TRecordingPart::Discard() {
    if (aside_) aside_->Discard();
}

void TRecordingPart::FreeRoom() {
    if (aside_) aside_->Free();
}

bool TRecordingPart::RemoveOwnFiles(TOwnFiles How, bool WritersGone) {
    bool busy = false;
    // Each file removed is let go at once: its name is free from then on.
    if (made_[pfRecording] != nullptr && How != ofKeep) {
        if (RemoveIfMade(name_, madeIdentity_[pfRecording], How == ofRemove, busy)) {
            CloseFile(made_[pfRecording]);
            recordingRemoved_ = true;
        } else if (busy && !WritersGone) {
            return false;
        }
    }
    // The scene list goes with its recording, and never describes another program's file.
    if (made_[pfSceneList] != nullptr && (How == ofKeep || recordingRemoved_)) {
        if (RemoveIfMade(SceneListOf(name_), madeIdentity_[pfSceneList], true, busy))
            CloseFile(made_[pfSceneList]);
        else if (busy && !WritersGone)
            return false;
    }
    return true;
}

bool TRecordingPart::Settle(TOwnFiles How, bool WritersGone, std::wstring& Told) {
    Told.clear();
    if (settled_) return true;
    if (!RemoveOwnFiles(How, WritersGone)) return false;
    // The older files go only for a recording that is kept and holds something.
    const bool begun = Replaced() && How != ofRemove && !recordingRemoved_ && RecordingBegun();
    // The names are let go: what the part removed is gone once its last handle closes.
    for (HANDLE& file : made_) CloseFile(file);
    if (aside_ && !aside_->Settled()) {
        if (begun)
            aside_->Discard();
        else
            Told = aside_->PutBack(*claim_, false, true);
    }
    aside_.reset();
    claim_.reset();
    settled_ = true;
    return true;
}

bool OlderFileMakesRoom(const std::wstring& Name, std::uint64_t OlderSize) {
    constexpr std::uint64_t kRoomToRecord = 32ull << 20;
    ULARGE_INTEGER free{};
    const std::wstring folder = unicode::WideExtractFilePath(Name);
    if (OlderSize == 0 || folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) return false;
    return free.QuadPart < kRoomToRecord && free.QuadPart + OlderSize >= kRoomToRecord;
}

bool OlderFileMakesRoom(const std::wstring& Name, const TRecordingPart& Part) {
    return OlderFileMakesRoom(Name, Part.OlderSize());
}

}  // namespace ui
