// The older files that recordings replace, moved aside, given up or put back, and the names that
// copies of the program record into.
#include "ui/replaced_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "settings/program_texts.h"
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

// Empties the file open as File a step at a time, then deletes it and lets it go. Freeing a large
// file's space at once holds up every write to the disk meanwhile (under Wine, a delete or an
// overwrite even holds up every call of every program to the system); a step of 64 MB takes a
// few milliseconds, and a pause follows each one unless Hurry is set.
void EmptyAndDelete(HANDLE& File, const std::atomic<bool>& Hurry) {
    constexpr LONGLONG kStep = 64ll << 20;
    constexpr DWORD kPauseMs = 50;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(File, &size)) {
        for (LONGLONG end = size.QuadPart; end > 0;) {
            end = end > kStep ? end - kStep : 0;
            LARGE_INTEGER at{};
            at.QuadPart = end;
            if (!SetFilePointerEx(File, at, nullptr, FILE_BEGIN) || !SetEndOfFile(File)) break;
            if (!Hurry.load()) Sleep(kPauseMs);
        }
    }
    DeleteOpenFile(File);
    CloseFile(File);
}

// Given-up older files to go, and the record that goes after them (it stays locked meanwhile).
struct TDisposal {
    std::vector<HANDLE> Files;
    HANDLE Record = nullptr;
};

void DeleteNow(TDisposal& Set, const std::atomic<bool>& Hurry) {
    for (HANDLE& file : Set.Files) EmptyAndDelete(file, Hurry);
    if (Set.Record != nullptr) DeleteOpenFile(Set.Record);
    CloseFile(Set.Record);
}

// The given-up files still to go, and the thread that deletes them one after the other. The
// process's end waits for them, in a hurry.
class TDisposals {
public:
    ~TDisposals() { Finish(); }

    void Add(TDisposal Set) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!worker_.joinable()) {
            ending_ = false;
            hurry_.store(false);
            worker_ = std::thread([this] { Run(); });
        }
        sets_.push_back(std::move(Set));
        wake_.notify_one();
    }

    void Finish() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ending_ = true;
            hurry_.store(true);
        }
        wake_.notify_one();
        if (worker_.joinable()) worker_.join();
    }

private:
    void Run() {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return !sets_.empty() || ending_; });
            if (sets_.empty()) return;
            TDisposal set = std::move(sets_.front());
            sets_.pop_front();
            guard.unlock();
            DeleteNow(set, hurry_);
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<TDisposal> sets_;  // lock_
    bool ending_ = false;         // lock_
    std::atomic<bool> hurry_{false};
    std::thread worker_;  // started under lock_, joined by Finish
};

TDisposals& Disposals() {
    static TDisposals disposals;
    return disposals;
}

std::uint64_t Fnv1a(const std::wstring& Text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : Text) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// The mark of a recording into Name: one for every way of writing the same full name.
std::wstring ClaimKey(const std::wstring& Name) {
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameW(Name.c_str(), MAX_PATH * 2, full, nullptr);
    std::wstring key = length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : Name;
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    std::replace(key.begin(), key.end(), L'/', L'\\');
    return L"Local\\Quillotrane recording " + classlib::IntToHex(Fnv1a(key), 16);
}

// The claim's file beside Name (see ClaimFileOf): one for every way of writing its file part.
std::wstring ClaimFile(const std::wstring& Name) {
    std::wstring file = unicode::WideExtractFileName(Name);
    if (!file.empty()) CharUpperBuffW(file.data(), static_cast<DWORD>(file.size()));
    return ClaimFileOf(Name, Fnv1a(file));
}

// Whether a running copy (of any logon) holds the claim's file File locked; one that is going (its
// copy let it go, and the system keeps it until its last handle closes) is held still.
bool ClaimFileHeld(const std::wstring& File) {
    HANDLE file = Open(File, GENERIC_READ, kShareAll, OPEN_EXISTING);
    if (file == nullptr) return GetLastError() == ERROR_ACCESS_DENIED && !NameFree(File);
    const bool held = HeldByRunningCopy(file);
    CloseFile(file);
    return held;
}

// Takes the claim's file File: made (or taken over from a copy that ended without removing it) and
// locked, and still the file of that name once locked (a copy letting its claim go removes it
// meanwhile). False when a running copy of any logon holds it. Where none can be made (the folder
// is not there, or cannot be written: nothing is recorded there either), true without a file: the
// claim holds for this logon alone.
bool TakeClaimFile(const std::wstring& File, HANDLE& Taken) {
    Taken = nullptr;
    for (int tries = 0; tries < 3; ++tries) {
        // Made, it goes with its last handle, also when the copy is killed. One made before is never
        // opened so: the system would remove it under the copy (of another logon) that holds it.
        HANDLE file = CreateFileW(File.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        const bool there = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        if (there) {
            file = CreateFileW(File.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        }
        if (file == INVALID_HANDLE_VALUE) {
            // Gone since the look: made again.
            if (there && error == ERROR_FILE_NOT_FOUND) continue;
            // A file there that cannot be opened is held (or going); none where none can be made.
            const bool refused = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
            return !refused || NameFree(File);
        }
        if (!HoldForCopy(file)) {
            CloseHandle(file);
            return false;
        }
        if (IdentityOf(file).SameFile(FileIdentity(File))) {
            Taken = file;
            return true;
        }
        // Removed by the claim that held it between the open and the lock: made again.
        CloseHandle(file);
    }
    return false;
}

bool MarkThere(const std::wstring& Key) {
    HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, Key.c_str());
    if (mark != nullptr) {
        CloseHandle(mark);
        return true;
    }
    // A mark made by a program that this one may not open is somebody's all the same.
    return GetLastError() == ERROR_ACCESS_DENIED;
}

// This process's own claims, which RecordedByAnotherCopy leaves out.
std::mutex& ClaimsLock() {
    static std::mutex lock;
    return lock;
}
std::multiset<std::wstring>& OwnClaims() {
    static std::multiset<std::wstring> claims;
    return claims;
}

// Names this process keeps, looked at from any thread (a sweep may run beside a recording's start).
class TNameSet {
public:
    // Adds Name: false when it was there.
    bool Add(const std::wstring& Name) {
        std::lock_guard<std::mutex> guard(lock_);
        return names_.insert(Name).second;
    }
    void Remove(const std::wstring& Name) {
        std::lock_guard<std::mutex> guard(lock_);
        names_.erase(Name);
    }
    bool Has(const std::wstring& Name) {
        std::lock_guard<std::mutex> guard(lock_);
        return names_.count(Name) != 0;
    }

private:
    std::mutex lock_;
    std::set<std::wstring> names_;
};

// The records of the sets this process holds, which its own sweeps leave alone.
TNameSet& HeldRecords() {
    static TNameSet records;
    return records;
}

// A free name beside Name that holds "(older)": "Stem (older)Ext", "Stem (older 2)Ext", ..., its
// stem shortened as far as the name must be to fit Limit units; empty when none is free.
std::wstring KeptOlderName(const std::wstring& Name, int Limit) {
    const std::wstring folder = unicode::WideExtractFilePath(Name);
    const std::wstring file = unicode::WideExtractFileName(Name);
    const std::wstring extension = unicode::WideExtractFileExt(file);
    const std::wstring stem = file.substr(0, file.size() - extension.size());
    for (int n = 1; n < 1000; ++n) {
        const std::wstring mark = n == 1 ? L" (older)" : L" (older " + std::to_wstring(n) + L")";
        std::wstring kept = stem;
        while (!kept.empty() && (!NameFits(kept + mark + extension) ||
                                 static_cast<int>((kept + mark + extension).size()) > Limit))
            kept.pop_back();
        if (kept.empty()) return std::wstring();
        const std::wstring full = folder + kept + mark + extension;
        if (NameFree(full) && !RecordedByAnotherCopy(full)) return full;
    }
    return std::wstring();
}

// The witnesses of the files a set's part made (their first names): once the set is settled, each
// goes when another name holds its file still, or when it holds nothing (the part's file never
// took its name, or lost it).
void RemoveWitnesses(const TAsideRecord& Record) {
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        const std::wstring witness = Record.NewFile(kind);
        HANDLE file = Open(witness, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
        if (file == nullptr) continue;
        try {
            const std::wstring judgedAs = Record.Names[kind].empty() ? witness : Record.Original(kind);
            const bool empty = IdentityOf(file).Size == 0;
            if (!HeldByRunningCopy(file) &&
                (LinksOf(file) >= 2 || empty ||
                 (!Record.Names[kind].empty() &&
                  HoldsOnly(file, judgedAs, kind == pfRecording ? rmHoldsNothing : rmOwnSceneList))))
                DeleteOpenFile(file);
        } catch (...) {
        }
        CloseHandle(file);
    }
}

}  // namespace

// ---- Claims ----------------------------------------------------------------------------------

bool RecordedByAnotherCopy(const std::wstring& Name) {
    const std::wstring key = ClaimKey(Name);
    {
        std::lock_guard<std::mutex> guard(ClaimsLock());
        if (OwnClaims().count(key) != 0) return false;
    }
    return MarkThere(key) || ClaimFileHeld(ClaimFile(Name));
}

TRecordingClaim::TRecordingClaim(const std::wstring& Name) : key_(ClaimKey(Name)) {
    std::lock_guard<std::mutex> guard(ClaimsLock());
    mark_ = CreateMutexW(nullptr, FALSE, key_.c_str());
    first_ = mark_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    OwnClaims().insert(key_);
    // The copies of other logons see the claim by its file, locked from now on.
    if (first_) first_ = TakeClaimFile(ClaimFile(Name), file_);
}

TRecordingClaim::~TRecordingClaim() {
    std::lock_guard<std::mutex> guard(ClaimsLock());
    // The file goes while it is still locked (one taken over too): no claim takes it meanwhile.
    if (file_ != nullptr) DeleteOpenFile(file_);
    CloseFile(file_);
    if (mark_ != nullptr) CloseHandle(mark_);
    const auto own = OwnClaims().find(key_);
    if (own != OwnClaims().end()) OwnClaims().erase(own);
}

bool TRecordingClaim::On(const std::wstring& Name) const { return ClaimKey(Name) == key_; }

// ---- The files aside -------------------------------------------------------------------------

std::unique_ptr<TAsideSet> TAsideSet::MoveAside(TAsideRecord Record, std::array<HANDLE, kPartFiles>& Older,
                                                DWORD& Error, HANDLE* EmptyRecord) {
    Error = ERROR_SUCCESS;
    std::unique_ptr<TAsideSet> set(new TAsideSet);
    set->record_ = std::move(Record);
    const TAsideRecord& record = set->record_;
    // Locked from the moment it is made, so that no sweep takes it for a killed copy's; written
    // whole before anything moves.
    set->recordFile_ = Open(record.RecordFile(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW);
    if (set->recordFile_ == nullptr) {
        Error = GetLastError();
        set->settled_ = true;
        return nullptr;
    }
    HoldForCopy(set->recordFile_);
    if (!WriteRecord(set->recordFile_, record)) {
        Error = GetLastError();
        // A write cut short without a word is a full disk's.
        if (Error == ERROR_SUCCESS) Error = ERROR_DISK_FULL;
    }
    if (Error == ERROR_SUCCESS) {
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            if (Older[kind] == nullptr) continue;
            if (!HoldForCopy(Older[kind]) || !RenameOpenFile(Older[kind], record.AsideFile(kind))) break;
            set->aside_[kind] = Older[kind];
            Older[kind] = nullptr;
        }
    }
    if (Error != ERROR_SUCCESS || std::any_of(Older.begin(), Older.end(), [](HANDLE file) { return file != nullptr; })) {
        if (Error == ERROR_SUCCESS) Error = GetLastError();
        if (Error == ERROR_SUCCESS) Error = ERROR_ACCESS_DENIED;
        // What moved goes back at once, its handle back to the caller; nothing stays aside.
        for (int kind = pfRecording; kind < kPartFiles; ++kind)
            if (set->aside_[kind] != nullptr && RenameOpenFile(set->aside_[kind], record.Original(kind)))
                Older[kind] = std::exchange(set->aside_[kind], nullptr);
        if (std::none_of(set->aside_.begin(), set->aside_.end(), [](HANDLE file) { return file != nullptr; })) {
            const bool noRoom = Error == ERROR_DISK_FULL || Error == ERROR_HANDLE_DISK_FULL;
            if (noRoom && EmptyRecord != nullptr) {
                // Made, empty and locked: the name that a given up set needs first.
                *EmptyRecord = std::exchange(set->recordFile_, nullptr);
            } else {
                DeleteOpenFile(set->recordFile_);
                CloseFile(set->recordFile_);
            }
            set->settled_ = true;
            return nullptr;
        }
        // Stuck aside: kept so, under the record, and put back or kept beside by the owner.
    }
    HeldRecords().Add(record.RecordFile());
    return set;
}

bool TAsideSet::FreeInPlace(TAsideRecord Record, std::array<HANDLE, kPartFiles> Older, HANDLE RecordFile) {
    const auto dropOlder = [&] {
        for (HANDLE& file : Older) CloseFile(file);
    };
    // The record is there before anything is given up: a copy killed from now on leaves it, whole
    // or cut short, and the next start finishes what it gave up.
    TDisposal set;
    set.Record = RecordFile != nullptr
                     ? RecordFile
                     : Open(Record.RecordFile(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW);
    if (set.Record == nullptr) {
        dropOlder();
        return false;
    }
    HoldForCopy(set.Record);
    const bool whole = WriteRecord(set.Record, Record);
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        HANDLE& file = Older[kind];
        if (file == nullptr) continue;
        if (RenameOpenFile(file, Record.GoneFile(kind)))
            set.Files.push_back(std::exchange(file, nullptr));
        else
            CloseFile(file);
    }
    if (set.Files.empty()) {
        DeleteOpenFile(set.Record);
        CloseFile(set.Record);
        return false;
    }
    if (!whole) {
        // The first room freed takes the record's words.
        constexpr LONGLONG kRoomForRecord = 1 << 20;
        LARGE_INTEGER size{};
        if (GetFileSizeEx(set.Files.front(), &size)) {
            size.QuadPart = size.QuadPart > kRoomForRecord ? size.QuadPart - kRoomForRecord : 0;
            if (SetFilePointerEx(set.Files.front(), size, nullptr, FILE_BEGIN)) SetEndOfFile(set.Files.front());
        }
        WriteRecord(set.Record, Record);
    }
    const std::atomic<bool> hurry{true};
    DeleteNow(set, hurry);
    return true;
}

std::unique_ptr<TAsideSet> TAsideSet::Adopt(const std::wstring& RecordFile) {
    if (HeldRecords().Has(RecordFile)) return nullptr;
    // Held by a running copy of this logon (it shares nothing but reading), or of another (it
    // keeps its lock): not a left-over.
    HANDLE record = Open(RecordFile, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
    if (record == nullptr) return nullptr;
    std::unique_ptr<TAsideSet> set(new TAsideSet);
    set->recordFile_ = record;
    set->settled_ = true;
    std::string bytes;
    if (!HoldForCopy(record) || !ReadRecordFile(record, bytes)) return nullptr;
    TAsideRecord& left = set->record_;
    left.Folder = unicode::WideExtractFilePath(RecordFile);
    TMarkedKind mark = mkRecord;
    int kind = 0;
    if (!MarkedFile(unicode::WideExtractFileName(RecordFile), left.Stem, mark, kind) || mark != mkRecord)
        return nullptr;
    const TAsideRecord::TRead read = left.Read(bytes);
    if (read == TAsideRecord::rdOther) return nullptr;
    set->cutShort_ = read == TAsideRecord::rdCutShort;
    // Takes the file of Kind given up (Gone) or aside: 1 taken, 0 none there, -1 there but held
    // (by a running copy of another logon, or another program for a moment: a later sweep
    // settles the set, never in part).
    const auto take = [&](int Kind, bool Gone) {
        const std::wstring name = Gone ? left.GoneFile(Kind) : left.AsideFile(Kind);
        HANDLE file =
            Open(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        if (file == nullptr) return NameFree(name) ? 0 : -1;
        if (!HoldForCopy(file)) {
            CloseHandle(file);
            return -1;
        }
        set->aside_[Kind] = file;
        set->gone_[Kind] = Gone;
        return 1;
    };
    bool gone = false;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (!set->cutShort_ && left.Names[kind].empty()) continue;
        const int taken = take(kind, true);
        if (taken < 0 || (taken == 0 && !set->cutShort_ && take(kind, false) < 0)) return nullptr;
        gone = gone || taken > 0;
    }
    // Cut short (a disk fault, or an earlier version) where nothing was given up: what lies aside
    // under its stem goes back by the name the stem carries, and the file its copy made there
    // (its witness beside it) goes when it holds nothing.
    const std::wstring recording = RecordingOfStem(left.Stem);
    if (set->cutShort_ && !gone && !recording.empty()) {
        set->cutShort_ = false;
        set->byStem_ = true;
        left.Names = {recording, SceneListOf(recording)};
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            left.Made[kind] = FileIdentity(left.NewFile(kind));
            if (take(kind, false) < 0) return nullptr;
        }
    }
    set->settled_ = false;
    return set;
}

TAsideSet::~TAsideSet() {
    if (!settled_) {
        try {
            TRecordingClaim claim(record_.Original(pfRecording));
            // Nobody will tell these words: the record stays for the next start to tell them.
            if (!PutBack(claim, false, true).empty()) untold_ = true;
        } catch (...) {
        }
    }
    for (HANDLE& file : aside_) CloseFile(file);
    // A record that waited for its words to be told goes, once they have been.
    if (recordFile_ != nullptr && recordWaits_ && !untold_) DeleteOpenFile(recordFile_);
    CloseFile(recordFile_);
    HeldRecords().Remove(record_.RecordFile());
}

std::uint64_t TAsideSet::Size() const {
    std::uint64_t size = 0;
    for (HANDLE file : aside_) {
        LARGE_INTEGER bytes{};
        if (file != nullptr && GetFileSizeEx(file, &bytes)) size += static_cast<std::uint64_t>(bytes.QuadPart);
    }
    return size;
}

std::wstring TAsideSet::GiveUp(bool Now) {
    if (settled_) return std::wstring();
    TDisposal set;
    std::wstring told;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        HANDLE& file = aside_[kind];
        if (file == nullptr) continue;
        // Marked before a byte goes: a copy killed while it empties the file leaves what the next
        // sweep finishes, never what looks kept. A file that cannot be marked stays whole, aside.
        if (!gone_[kind] && !RenameOpenFile(file, record_.GoneFile(kind))) {
            told += (told.empty() ? L"" : L"\r\n") +
                    classlib::Format(RecText(IDS_REC_OLDER_LEFT_ASIDE), {record_.Original(kind), record_.AsideFile(kind)});
            continue;
        }
        gone_[kind] = true;
        set.Files.push_back(file);
        file = nullptr;
    }
    // The record goes after the files it tells of, unless one of them stays aside (put back by
    // this set's owner, or a later sweep).
    settled_ = std::none_of(aside_.begin(), aside_.end(), [](HANDLE file) { return file != nullptr; });
    if (settled_) {
        set.Record = std::exchange(recordFile_, nullptr);
        HeldRecords().Remove(record_.RecordFile());
    }
    if (!Now) {
        try {
            Disposals().Add(set);
            return told;
        } catch (...) {
        }
    }
    const std::atomic<bool> hurry{true};
    DeleteNow(set, hurry);
    return told;
}

std::wstring TAsideSet::Discard() { return GiveUp(false); }
void TAsideSet::Free() { GiveUp(true); }

bool TAsideSet::HoldsOlder() const {
    return std::any_of(aside_.begin(), aside_.end(), [](HANDLE file) { return file != nullptr; });
}

void TAsideSet::MarkBegun() {
    if (settled_) return;
    // Marked by their names, which takes no room on a full disk, as a giving up marks them.
    for (int kind = pfRecording; kind < kPartFiles; ++kind)
        if (aside_[kind] != nullptr && !gone_[kind] && RenameOpenFile(aside_[kind], record_.GoneFile(kind)))
            gone_[kind] = markedBegun_[kind] = true;
}

void TAsideSet::Leave() {
    if (settled_) return;
    settled_ = true;
    untold_ = true;
}

bool TAsideSet::Rewrite() { return recordFile_ != nullptr && WriteRecord(recordFile_, record_); }

std::wstring TAsideSet::PutBack(const TRecordingClaim& Claim, bool RemoveMade, bool TellStuck) {
    if (settled_) return std::wstring();
    // The recording could not go on after all: what was marked given up for it is aside again
    // before anything else moves (one that cannot be is given up).
    for (int kind = pfRecording; kind < kPartFiles; ++kind)
        if (std::exchange(markedBegun_[kind], false) && aside_[kind] != nullptr &&
            RenameOpenFile(aside_[kind], record_.AsideFile(kind)))
            gone_[kind] = false;
    if (cutShort_ || std::any_of(gone_.begin(), gone_.end(), [](bool gone) { return gone; })) {
        // The user agreed to replace them and the recording had begun (or the disk's room was
        // given): what a killed copy left of them is finished, never shown as kept; its own
        // recording goes when it holds nothing.
        GiveUp(true);
        if (RemoveMade && Claim.First() && record_.MadeThere(pfRecording, FileIdentity(record_.Original(pfRecording)))) {
            bool busy = false;
            RemoveIfMade(record_.Original(pfRecording), record_.Made[pfRecording], rmHoldsNothing, busy);
        }
        if (RemoveMade) RemoveWitnesses(record_);
        if (settled_ || cutShort_) {
            // A record cut short goes with what it gave up, unless files aside bear its stem.
            if (recordFile_ != nullptr && NameFree(record_.AsideFile(pfRecording)) &&
                NameFree(record_.AsideFile(pfSceneList)))
                DeleteOpenFile(recordFile_);
            CloseFile(recordFile_);
            settled_ = true;
            return std::wstring();
        }
    }
    settled_ = true;
    const bool claimed = Claim.First();
    bool busy = false;
    if (RemoveMade && claimed) {
        // The part's own files go, judged by their witnesses: its recording when it holds nothing,
        // its scene list with it.
        const std::wstring recording = record_.Original(pfRecording);
        if (record_.MadeThere(pfRecording, FileIdentity(recording)))
            RemoveIfMade(recording, record_.Made[pfRecording], rmHoldsNothing, busy);
        if (!record_.Names[pfSceneList].empty() && !record_.MadeThere(pfRecording, FileIdentity(recording)) &&
            record_.MadeThere(pfSceneList, FileIdentity(record_.Original(pfSceneList))))
            RemoveIfMade(record_.Original(pfSceneList), record_.Made[pfSceneList], rmOwnSceneList, busy);
    }
    std::wstring told;
    // Kept beside their names by a copy killed before it told the user: told now.
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        const std::wstring kept = record_.Kept[kind].empty() ? std::wstring() : record_.Folder + record_.Kept[kind];
        if (aside_[kind] == nullptr && !kept.empty() && FileIdentity(kept).SameFile(record_.KeptAs[kind]))
            told += (told.empty() ? L"" : L"\r\n") +
                    classlib::Format(RecText(IDS_REC_OLDER_KEPT), {record_.Original(kind), kept});
    }
    std::wstring keptStem;  // where the older recording is kept, its scene list kept beside it
    bool stuck = false;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        HANDLE& file = aside_[kind];
        if (file == nullptr) continue;
        const std::wstring original = record_.Original(kind);
        // A scene list follows its recording: back with it, or kept beside where it is kept.
        const bool follows = kind == pfSceneList && !keptStem.empty();
        if (claimed && !follows && RenameOpenFile(file, original)) {
            // Found by the name its stem carries: the user hears where it was.
            if (byStem_) told += (told.empty() ? L"" : L"\r\n") + classlib::Format(RecText(IDS_REC_OLDER_BACK), {original});
            CloseFile(file);
            continue;
        }
        // Where it is kept goes into the record first: a copy killed before it told the user
        // leaves the telling to the next start.
        const auto keep = [&](const std::wstring& Name) {
            record_.Kept[kind] = unicode::WideExtractFileName(Name);
            record_.KeptAs[kind] = IdentityOf(file);
            Rewrite();
            if (RenameOpenFile(file, Name)) return true;
            const DWORD error = GetLastError();
            record_.Kept[kind].clear();
            SetLastError(error);
            return false;
        };
        std::wstring kept;
        if (follows && NameFree(SceneListOf(keptStem)) && keep(SceneListOf(keptStem))) kept = SceneListOf(keptStem);
        for (int tries = 0, limit = 255; kept.empty() && tries < 6; ++tries) {
            const std::wstring name = KeptOlderName(original, limit);
            if (name.empty()) break;
            if (keep(name)) {
                kept = name;
            } else if (NameRefused(GetLastError(), name)) {
                // The file system measures names otherwise: a shorter one.
                limit = static_cast<int>(unicode::WideExtractFileName(name).size()) - 8;
            }
        }
        if (kept.empty()) {
            // Left where it is, under its record: a later sweep tries again.
            stuck = true;
            if (TellStuck) told += (told.empty() ? L"" : L"\r\n") +
                                   classlib::Format(RecText(IDS_REC_OLDER_KEPT), {original, record_.AsideFile(kind)});
            CloseFile(file);
            continue;
        }
        if (kind == pfRecording) keptStem = kept;
        told += (told.empty() ? L"" : L"\r\n") + classlib::Format(RecText(IDS_REC_OLDER_KEPT), {original, kept});
        CloseFile(file);
    }
    if (RemoveMade) RemoveWitnesses(record_);
    // The record goes once every older file has a name again, and once the user has been told
    // where (when this object goes).
    if (stuck) {
        CloseFile(recordFile_);
    } else if (told.empty() && recordFile_ != nullptr) {
        DeleteOpenFile(recordFile_);
        CloseFile(recordFile_);
    } else {
        recordWaits_ = true;
    }
    if (recordFile_ == nullptr) HeldRecords().Remove(record_.RecordFile());
    return told;
}

}  // namespace ui
