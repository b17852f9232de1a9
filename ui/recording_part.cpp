// One recording part's hold on its name.
#include "ui/recording_part.h"

#include <utility>

#include "classlib/format.h"
#include "settings/program_texts.h"
#include "ui/recording_files.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

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

bool IsInUse(DWORD Error) {
    return Error == ERROR_FILE_EXISTS || Error == ERROR_ALREADY_EXISTS || Error == ERROR_SHARING_VIOLATION ||
           Error == ERROR_LOCK_VIOLATION;
}

// The file Witness (the first name of a part's file) takes Name too: a second name of the same
// file, never over another. Where the file system has no second names, it moves there.
bool TakeName(const std::wstring& Witness, const std::wstring& Name, bool& Witnessed) {
    Witnessed = CreateHardLinkW(Name.c_str(), Witness.c_str(), nullptr) != FALSE;
    if (Witnessed) return true;
    const DWORD error = GetLastError();
    if (IsInUse(error)) return false;
    HANDLE moving = Open(Witness, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING);
    const bool moved = moving != nullptr && RenameOpenFile(moving, Name);
    CloseFile(moving);
    return moved;
}

}  // namespace

TNamedFiles FilesAt(const std::wstring& Name) { return {FileIdentity(Name), FileIdentity(SceneListOf(Name))}; }

TRecordingPart::TRecordingPart(std::wstring Name, std::unique_ptr<TRecordingClaim> Claim)
    : name_(std::move(Name)), underRecord_(Claim && Claim->On(name_)) {
    claim_ = underRecord_ ? std::move(Claim) : std::make_unique<TRecordingClaim>(name_);
}

TRecordingPart::~TRecordingPart() {
    try {
        std::wstring told;
        Settle(ofWhenEmpty, true, told);
        // Nobody tells these words now: the record that tells them stays.
        if (!told.empty() && aside_) aside_->Untold();
    } catch (...) {
    }
    aside_.reset();
    for (HANDLE& file : made_) CloseFile(file);
    for (HANDLE& file : olderHere_) CloseFile(file);
    if (olderRecordFile_ != nullptr) DeleteOpenFile(olderRecordFile_);
    CloseFile(olderRecordFile_);
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
    TAsideSet::FreeInPlace(olderRecord_, olderHere_, std::exchange(olderRecordFile_, nullptr));
    olderHere_ = {};
}

bool TRecordingPart::Make(int Kind, const std::wstring& Name, const std::wstring& For, bool* Refused) {
    // Held without reading or writing it, which takes no part in sharing: no writer is refused,
    // whatever it shares. Other copies of any logon know it as in use by the name's claim.
    HANDLE file = Open(Name, FILE_READ_ATTRIBUTES, kShareAll, CREATE_NEW);
    if (file == nullptr) {
        const DWORD error = GetLastError();
        if (Refused != nullptr && NameRefused(error, Name) && Name != For) {
            *Refused = true;
            return false;
        }
        inUse_ = IsInUse(error);
        problem_ = inUse_ ? classlib::Format(RecText(IDS_REC_IN_USE), {For})
                          : classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {For, FailureText(HRESULT_FROM_WIN32(error))});
        return false;
    }
    made_[Kind] = file;
    madeIdentity_[Kind] = IdentityOf(file);
    return true;
}

void TRecordingPart::DropMade(const std::array<std::wstring, kPartFiles>& Names) {
    bool busy = false;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (made_[kind] == nullptr) continue;
        CloseFile(made_[kind]);
        RemoveIfMade(Names[kind], madeIdentity_[kind], rmAnything, busy);
        witness_[kind].clear();
    }
}

bool TRecordingPart::MakeBeside(TAsideRecord& Record, const std::array<bool, kPartFiles>& Makes,
                                const std::array<bool, kPartFiles>& Moves, bool& RefusedName) {
    const std::array<std::wstring, kPartFiles> names{name_, SceneListOf(name_)};
    std::array<std::wstring, kPartFiles> at{};
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (!Makes[kind]) continue;
        // Made under its first name beside the older file, which it keeps as its witness.
        at[kind] = Moves[kind] ? Record.NewFile(kind) : names[kind];
        if (!Make(kind, at[kind], names[kind], &RefusedName)) {
            DropMade(at);
            return false;
        }
        if (Moves[kind]) witness_[kind] = at[kind];
        Record.Made[kind] = madeIdentity_[kind];
    }
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
        DWORD error = file == nullptr ? (attributes == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                         : (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? ERROR_ACCESS_DENIED
                                                                                      : GetLastError())
                                      : ERROR_SUCCESS;
        // A file a running copy holds locked (of any logon): in use.
        if (file != nullptr && HeldByRunningCopy(file)) {
            CloseFile(file);
            error = ERROR_LOCK_VIOLATION;
        }
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
    const bool moving = moves[pfRecording] || moves[pfSceneList];
    // Begun again in a room just freed: under a record. Where no record can be made (no room
    // even for it), made as any part whose name is free.
    if (underRecord_ && !moving) {
        if (TakeUnderRecord(makes, moves, older)) return true;
        if (settled_) return false;
        noRoom_ = inUse_ = false;
        problem_.clear();
    }
    if (!moving) {
        // Nothing to move: the part's files are made under their names at once.
        for (int kind = pfRecording; kind < kPartFiles; ++kind)
            if (makes[kind] && !Make(kind, names[kind], names[kind])) {
                DropMade(names);
                return false;
            }
        return true;
    }
    const bool taken = TakeUnderRecord(makes, moves, older);
    dropOlder();
    return taken;
}

bool TRecordingPart::TakeUnderRecord(const std::array<bool, kPartFiles>& Makes,
                                     const std::array<bool, kPartFiles>& Moves, std::array<HANDLE, kPartFiles>& Older) {
    const std::array<std::wstring, kPartFiles> names{name_, SceneListOf(name_)};
    const auto dropOlder = [&] {
        for (HANDLE& file : Older) CloseFile(file);
    };
    // Under a record, each file the part makes is witnessed: the record names it by its witness.
    const std::array<bool, kPartFiles> beside{Makes[pfRecording] && (Moves[pfRecording] || underRecord_),
                                              Makes[pfSceneList] && (Moves[pfSceneList] || underRecord_)};
    // The part's own files are made first, so that the record names them before anything moves;
    // a name the file system refuses with the marks gets the short stem.
    TAsideRecord record = NewAsideRecord(name_);
    bool refused = false;
    bool made = MakeBeside(record, Makes, beside, refused);
    if (!made && refused) {
        record = NewAsideRecord(name_, true);
        refused = false;
        made = MakeBeside(record, Makes, beside, refused);
    }
    if (!made) {
        if (problem_.empty())
            problem_ = classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {name_, FailureText(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE))});
        dropOlder();
        return false;
    }
    if (Moves[pfSceneList] || Makes[pfSceneList]) record.Names[pfSceneList] = unicode::WideExtractFileName(names[pfSceneList]);
    {
        DWORD error = ERROR_SUCCESS;
        HANDLE emptyRecord = nullptr;
        aside_ = TAsideSet::MoveAside(record, Older, error, &emptyRecord);
        if (!aside_) {
            noRoom_ = (Moves[pfRecording] || Moves[pfSceneList]) && (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL);
            if (noRoom_) {
                // Whole under their names, and held for FreeOlderInPlace, with the record made
                // for them.
                olderHere_ = Older;
                Older = {};
                olderRecord_ = record;
                olderRecord_.Made = {};
                olderRecordFile_ = emptyRecord;
            } else if (emptyRecord != nullptr) {
                DeleteOpenFile(emptyRecord);
                CloseFile(emptyRecord);
            }
            dropOlder();
            // Nothing moved: the files made go, and the name is not taken.
            std::array<std::wstring, kPartFiles> at{};
            for (int kind = pfRecording; kind < kPartFiles; ++kind) at[kind] = beside[kind] ? record.NewFile(kind) : names[kind];
            DropMade(at);
            inUse_ = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
            problem_ = inUse_ ? classlib::Format(RecText(IDS_REC_IN_USE), {name_})
                              : classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {name_, FailureText(HRESULT_FROM_WIN32(error))});
            return false;
        }
    }
    // One that could not be moved (the others are aside) keeps its name: the part does not take it.
    dropOlder();
    // The part's files take the names the older ones left, as second names of theirs.
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (!beside[kind]) continue;
        bool witnessed = false;
        if (!TakeName(witness_[kind], names[kind], witnessed)) {
            // Another program made a file at the name meanwhile: the part does not take it.
            inUse_ = true;
            problem_ = classlib::Format(RecText(IDS_REC_IN_USE), {names[kind]});
            std::wstring told;
            Settle(ofRemove, true, told);
            if (!told.empty()) problem_ += L"\r\n" + told;
            return false;
        }
        if (!witnessed) witness_[kind].clear();
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
        if (RemoveIfMade(name_, madeIdentity_[pfRecording], How == ofRemove ? rmAnything : rmHoldsNothing, busy)) {
            CloseFile(made_[pfRecording]);
            recordingRemoved_ = true;
        } else if (busy && !WritersGone) {
            return false;
        }
    }
    // The scene list goes with its recording, and never describes another program's file; it goes
    // only while it holds nothing but what the part's scene list wrote.
    if (made_[pfSceneList] != nullptr && (How == ofKeep || recordingRemoved_)) {
        if (RemoveIfMade(SceneListOf(name_), madeIdentity_[pfSceneList], rmOwnSceneList, busy))
            CloseFile(made_[pfSceneList]);
        else if (busy && !WritersGone)
            return false;
    }
    return true;
}

bool TRecordingPart::RemoveWitnesses(bool WritersGone) {
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (witness_[kind].empty()) continue;
        // Opened for delete only once no writer holds the file (they share reading alone).
        HANDLE file = Open(witness_[kind], DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING);
        if (file == nullptr) {
            const DWORD error = GetLastError();
            if ((error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) && !WritersGone) return false;
            // Gone, or held: a later sweep removes it (another name holds its file).
            witness_[kind].clear();
            continue;
        }
        if (IdentityOf(file).SameFile(madeIdentity_[kind])) DeleteOpenFile(file);
        CloseFile(file);
        witness_[kind].clear();
    }
    return true;
}

bool TRecordingPart::Settle(TOwnFiles How, bool WritersGone, std::wstring& Told) {
    Told.clear();
    if (settled_) return true;
    // A witness held by a writer goes at the next settling, once the writer has let go.
    if (!WritersGone) {
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            if (witness_[kind].empty()) continue;
            HANDLE probe = Open(witness_[kind], DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING);
            const DWORD error = probe == nullptr ? GetLastError() : ERROR_SUCCESS;
            CloseFile(probe);
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return false;
        }
    }
    if (!RemoveOwnFiles(How, WritersGone)) return false;
    // The older files go only for a recording that is kept and holds something.
    const bool begun = Replaced() && How != ofRemove && !recordingRemoved_ && RecordingBegun();
    if (aside_ && !aside_->Settled()) {
        if (begun) {
            // What cannot be given up (its folder cannot be written) stays aside, whole.
            Told = aside_->Discard();
            aside_->Leave();
        } else {
            Told = aside_->PutBack(*claim_, false, true);
        }
    }
    // The names are let go (what the part removed is gone once its last handle closes), then the
    // witnesses, which kept the files' identities until the record went.
    for (HANDLE& file : made_) CloseFile(file);
    RemoveWitnesses(true);
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
