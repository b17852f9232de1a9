// The older files that recordings replace, their records, and the names that copies of the
// program record into.
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
#include "ui/recording_files.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace ui {

namespace {

std::wstring RecText(unsigned Id) { return settings::LoadProgramText(Id); }

void CloseFile(HANDLE& File) { CloseFileHandle(File); }

HANDLE Open(const std::wstring& Name, DWORD Access, DWORD Share, DWORD Disposition) {
    return OpenFileHandle(Name, Access, Share, Disposition);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The byte, far past any file's end, that the copy holding a record or an older file aside keeps
// locked: a lock is seen by the processes of every logon, where its open handle is not.
constexpr DWORD kHeldLockHigh = 0x40000000;

bool LockHeld(HANDLE File) {
    OVERLAPPED at{};
    at.OffsetHigh = kHeldLockHigh;
    return LockFileEx(File, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != FALSE;
}

}  // namespace

HANDLE OpenFileHandle(const std::wstring& Name, DWORD Access, DWORD Share, DWORD Disposition) {
    HANDLE file = CreateFileW(Name.c_str(), Access, Share, nullptr, Disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

void CloseFileHandle(HANDLE& File) {
    if (File != nullptr) CloseHandle(File);
    File = nullptr;
}

bool RenameOpenFile(HANDLE File, const std::wstring& Name) {
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameW(Name.c_str(), MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return false;
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = length * sizeof(wchar_t);
    std::copy(full, full + length, rename->FileName);
    return SetFileInformationByHandle(File, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool DeleteOpenFile(HANDLE File) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(File, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

namespace {

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

// The marks in the names of a part's record and of the files aside with it, which no user's file
// carries; a scene list's files carry "-scn" after them.
const wchar_t kRecordSuffix[] = L".~quillotrane-name";
const wchar_t kAsideSuffix[] = L".~quillotrane-older";
const wchar_t kGoneSuffix[] = L".~quillotrane-gone";
const wchar_t kNewSuffix[] = L".~quillotrane-new";
const wchar_t kSceneListMark[] = L"-scn";
// The stem of the files of a name too long to carry the marks.
const wchar_t kShortStem[] = L"~quillotrane";
// The first line of a record: no user's file begins so.
const wchar_t kRecordSignature[] = L"Quillotrane: older files moved aside, record 1";
const wchar_t* const kKindLabels[kPartFiles] = {L"recording", L"scene list"};

std::wstring KindMark(int Kind) { return Kind == pfSceneList ? kSceneListMark : L""; }

// Whether a file name (no folder) fits every file system a recording may go to: 255 UTF-16 units
// on Windows, 255 bytes of UTF-8 where Wine keeps its files.
bool NameFits(const std::wstring& Name) {
    if (Name.size() > 255) return false;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, Name.c_str(), static_cast<int>(Name.size()), nullptr, 0,
                                          nullptr, nullptr);
    return bytes > 0 && bytes <= 255;
}

bool NameFree(const std::wstring& Name) { return GetFileAttributesW(Name.c_str()) == INVALID_FILE_ATTRIBUTES; }

// A file name a record may hold: one name of its folder, nothing more.
bool PlainFileName(const std::wstring& Name) {
    return !Name.empty() && NameFits(Name) && Name != L"." && Name != L".." &&
           std::none_of(Name.begin(), Name.end(),
                        [](wchar_t c) { return c < 32 || std::wstring_view(L"\\/:<>\"|?*").find(c) != std::wstring_view::npos; });
}

// A free name beside Name that holds "(older)": "Stem (older)Ext", "Stem (older 2)Ext", ..., its
// stem shortened as far as the name must be to fit; empty when none is free.
std::wstring KeptOlderName(const std::wstring& Name) {
    const std::wstring folder = unicode::WideExtractFilePath(Name);
    const std::wstring file = unicode::WideExtractFileName(Name);
    const std::wstring extension = unicode::WideExtractFileExt(file);
    const std::wstring stem = file.substr(0, file.size() - extension.size());
    for (int n = 1; n < 1000; ++n) {
        const std::wstring mark = n == 1 ? L" (older)" : L" (older " + std::to_wstring(n) + L")";
        std::wstring kept = stem;
        while (!kept.empty() && !NameFits(kept + mark + extension)) kept.pop_back();
        if (kept.empty()) return std::wstring();
        const std::wstring full = folder + kept + mark + extension;
        if (NameFree(full) && !RecordedByAnotherCopy(full)) return full;
    }
    return std::wstring();
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

// Whether the file open as File (read and delete access, sharing read alone) is Made and may go:
// always when Always, else only when it holds no recording.
bool MayRemove(HANDLE File, const std::wstring& Name, const TFileIdentity& Made, bool Always) {
    return IdentityOf(File).SameFile(Made) && (Always || RecordingHoldsNothing(File, Name));
}

// The file of Name's files that the sets of Folder name by their stem: the record, the files aside
// and given up, the files made for the names. Sets the stem, and the kind (-1: the record).
bool SetFileOf(const std::wstring& File, std::wstring& Stem, int& Kind, bool& Older) {
    for (const wchar_t* suffix : {kRecordSuffix, kAsideSuffix, kGoneSuffix, kNewSuffix})
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            const std::wstring tail = std::wstring(suffix) + (suffix == kRecordSuffix ? L"" : KindMark(kind));
            if (File.size() <= tail.size() || File.compare(File.size() - tail.size(), tail.size(), tail) != 0) continue;
            Stem = File.substr(0, File.size() - tail.size());
            Kind = suffix == kRecordSuffix ? -1 : kind;
            Older = suffix == kAsideSuffix || suffix == kGoneSuffix;
            return true;
        }
    return false;
}

// Names this process keeps, looked at from any thread (a sweep may run beside a recording's start):
// the sets it holds, which its own sweeps leave alone, and the look-alikes already told, once in a
// run.
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

TNameSet& OwnRecords() {
    static TNameSet records;
    return records;
}

TNameSet& ToldLookAlikes() {
    static TNameSet told;
    return told;
}

}  // namespace

std::wstring SceneListOf(const std::wstring& Name) { return unicode::WideChangeFileExt(Name, L".scn"); }

bool RemoveIfMade(const std::wstring& Name, const TFileIdentity& Made, bool Always, bool& Busy) {
    Busy = false;
    if (!Made.Exists) return false;
    HANDLE file = Open(Name, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == nullptr) {
        const DWORD error = GetLastError();
        Busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        return false;
    }
    const bool removed = MayRemove(file, Name, Made, Always) && DeleteOpenFile(file);
    CloseHandle(file);
    return removed;
}

bool RecordedByAnotherCopy(const std::wstring& Name) {
    const std::wstring key = ClaimKey(Name);
    {
        std::lock_guard<std::mutex> guard(ClaimsLock());
        if (OwnClaims().count(key) != 0) return false;
    }
    return MarkThere(key);
}

TRecordingClaim::TRecordingClaim(const std::wstring& Name) : key_(ClaimKey(Name)) {
    std::lock_guard<std::mutex> guard(ClaimsLock());
    mark_ = CreateMutexW(nullptr, FALSE, key_.c_str());
    first_ = mark_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    OwnClaims().insert(key_);
}

TRecordingClaim::~TRecordingClaim() {
    std::lock_guard<std::mutex> guard(ClaimsLock());
    if (mark_ != nullptr) CloseHandle(mark_);
    const auto own = OwnClaims().find(key_);
    if (own != OwnClaims().end()) OwnClaims().erase(own);
}

TFileIdentity IdentityOf(HANDLE File) {
    TFileIdentity identity;
    BY_HANDLE_FILE_INFORMATION information{};
    if (File == nullptr || !GetFileInformationByHandle(File, &information)) return identity;
    identity.Exists = true;
    identity.Volume = information.dwVolumeSerialNumber;
    identity.IndexHigh = information.nFileIndexHigh;
    identity.IndexLow = information.nFileIndexLow;
    identity.Size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    identity.Written = (static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
                       information.ftLastWriteTime.dwLowDateTime;
    return identity;
}

TFileIdentity FileIdentity(const std::wstring& Name) {
    HANDLE file = CreateFileW(Name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TFileIdentity();
    const TFileIdentity identity = IdentityOf(file);
    CloseHandle(file);
    return identity;
}

// ---- The record --------------------------------------------------------------------------

std::wstring TAsideRecord::RecordFile() const { return Folder + Stem + kRecordSuffix; }
std::wstring TAsideRecord::AsideFile(int Kind) const { return Folder + Stem + kAsideSuffix + KindMark(Kind); }
std::wstring TAsideRecord::GoneFile(int Kind) const { return Folder + Stem + kGoneSuffix + KindMark(Kind); }
std::wstring TAsideRecord::NewFile(int Kind) const { return Folder + Stem + kNewSuffix + KindMark(Kind); }

std::wstring TAsideRecord::Text() const {
    std::wstring text = std::wstring(kRecordSignature) + L"\r\n";
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (Names[kind].empty()) continue;
        const TFileIdentity& made = Made[kind];
        text += std::wstring(kKindLabels[kind]) + L"\t" + Names[kind] + L"\t" +
                (made.Exists ? classlib::IntToHex(made.Volume, 8) + L"." + classlib::IntToHex(made.IndexHigh, 8) + L"." +
                                   classlib::IntToHex(made.IndexLow, 8)
                             : std::wstring(L"-")) +
                L"\r\n";
    }
    return text;
}

TAsideRecord NewAsideRecord(const std::wstring& Name) {
    static std::atomic<std::uint64_t> sets{0};
    TAsideRecord record;
    record.Folder = unicode::WideExtractFilePath(Name);
    record.Names[pfRecording] = unicode::WideExtractFileName(Name);
    const std::wstring longest = std::wstring(kAsideSuffix) + kSceneListMark;
    for (int tries = 0; tries < 1000; ++tries) {
        const std::wstring number =
            L"." + classlib::IntToHex(GetCurrentProcessId(), 4) + L"." + classlib::IntToHex(++sets, 6);
        record.Stem = record.Names[pfRecording] + number;
        if (!NameFits(record.Stem + longest)) record.Stem = kShortStem + number;
        bool free = NameFree(record.RecordFile());
        for (int kind = pfRecording; kind < kPartFiles; ++kind)
            free = free && NameFree(record.AsideFile(kind)) && NameFree(record.GoneFile(kind)) &&
                   NameFree(record.NewFile(kind));
        // A stem of a killed copy that ran under this process's id is left to the sweep.
        if (free) break;
    }
    return record;
}

namespace {

// Eight hexadecimal digits, read into Value.
bool ReadHex8(const std::wstring& Text, std::size_t At, DWORD& Value) {
    if (At + 8 > Text.size()) return false;
    Value = 0;
    for (std::size_t i = At; i < At + 8; ++i) {
        const wchar_t c = Text[i];
        const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
        if (digit < 0) return false;
        Value = Value * 16 + static_cast<DWORD>(digit);
    }
    return true;
}

}  // namespace

bool TAsideRecord::Parse(const std::wstring& Text) {
    Names = {};
    Made = {};
    std::size_t at = 0;
    bool first = true;
    while (at < Text.size()) {
        const std::size_t end = Text.find(L"\r\n", at);
        if (end == std::wstring::npos) return false;
        const std::wstring line = Text.substr(at, end - at);
        at = end + 2;
        if (first) {
            if (line != kRecordSignature) return false;
            first = false;
            continue;
        }
        const std::size_t tab = line.find(L'\t'), second = line.rfind(L'\t');
        if (tab == std::wstring::npos || second == tab) return false;
        const auto label = std::find(std::begin(kKindLabels), std::end(kKindLabels), line.substr(0, tab));
        if (label == std::end(kKindLabels)) return false;
        const int kind = static_cast<int>(label - std::begin(kKindLabels));
        const std::wstring name = line.substr(tab + 1, second - tab - 1), made = line.substr(second + 1);
        if (!Names[kind].empty() || !PlainFileName(name)) return false;
        Names[kind] = name;
        if (made == L"-") continue;
        TFileIdentity& identity = Made[kind];
        if (made.size() != 26 || made[8] != L'.' || made[17] != L'.' || !ReadHex8(made, 0, identity.Volume) ||
            !ReadHex8(made, 9, identity.IndexHigh) || !ReadHex8(made, 18, identity.IndexLow))
            return false;
        identity.Exists = true;
    }
    return !first && !Names[pfRecording].empty();
}

// ---- The files aside -------------------------------------------------------------------------

std::unique_ptr<TAsideSet> TAsideSet::MoveAside(TAsideRecord Record, std::array<HANDLE, kPartFiles>& Older,
                                                DWORD& Error) {
    Error = ERROR_SUCCESS;
    std::unique_ptr<TAsideSet> set(new TAsideSet);
    set->record_ = std::move(Record);
    const TAsideRecord& record = set->record_;
    // Written whole before anything moves, and held locked from now on.
    set->recordFile_ = Open(record.RecordFile(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW);
    if (set->recordFile_ == nullptr) {
        Error = GetLastError();
        set->settled_ = true;
        return nullptr;
    }
    const std::wstring text = record.Text();
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    const bool wrote = WriteFile(set->recordFile_, text.c_str(), bytes, &written, nullptr);
    // A write cut short without a word is a full disk's (Wine's answer on a full file system).
    if (!wrote || written != bytes) Error = wrote ? ERROR_DISK_FULL : GetLastError();
    const bool kept = Error == ERROR_SUCCESS && FlushFileBuffers(set->recordFile_) && LockHeld(set->recordFile_);
    if (kept) {
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            if (Older[kind] == nullptr) continue;
            if (!LockHeld(Older[kind]) || !RenameOpenFile(Older[kind], record.AsideFile(kind))) break;
            set->aside_[kind] = Older[kind];
            Older[kind] = nullptr;
        }
    }
    if (!kept || std::any_of(Older.begin(), Older.end(), [](HANDLE file) { return file != nullptr; })) {
        if (Error == ERROR_SUCCESS) Error = GetLastError();
        if (Error == ERROR_SUCCESS) Error = ERROR_ACCESS_DENIED;
        // What moved goes back at once, its handle back to the caller; nothing stays aside.
        for (int kind = pfRecording; kind < kPartFiles; ++kind)
            if (set->aside_[kind] != nullptr && RenameOpenFile(set->aside_[kind], record.Original(kind)))
                Older[kind] = std::exchange(set->aside_[kind], nullptr);
        if (std::none_of(set->aside_.begin(), set->aside_.end(), [](HANDLE file) { return file != nullptr; })) {
            DeleteOpenFile(set->recordFile_);
            CloseFile(set->recordFile_);
            set->settled_ = true;
            return nullptr;
        }
        // Stuck aside: kept so, under the record, and put back or kept beside by the owner.
    }
    OwnRecords().Add(record.RecordFile());
    return set;
}

bool TAsideSet::FreeInPlace(TAsideRecord Record, std::array<HANDLE, kPartFiles> Older) {
    TDisposal set;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        HANDLE& file = Older[kind];
        if (file == nullptr) continue;
        if (RenameOpenFile(file, Record.GoneFile(kind)))
            set.Files.push_back(file);
        else
            CloseHandle(file);
        file = nullptr;
    }
    if (set.Files.empty()) return false;
    constexpr LONGLONG kRoomForRecord = 1 << 20;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(set.Files.front(), &size)) {
        size.QuadPart = size.QuadPart > kRoomForRecord ? size.QuadPart - kRoomForRecord : 0;
        if (SetFilePointerEx(set.Files.front(), size, nullptr, FILE_BEGIN)) SetEndOfFile(set.Files.front());
    }
    set.Record = Open(Record.RecordFile(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW);
    if (set.Record != nullptr) {
        const std::wstring text = Record.Text();
        DWORD written = 0;
        WriteFile(set.Record, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
        LockHeld(set.Record);
    }
    const std::atomic<bool> hurry{true};
    DeleteNow(set, hurry);
    return true;
}

std::unique_ptr<TAsideSet> TAsideSet::Adopt(const std::wstring& RecordFile) {
    if (OwnRecords().Has(RecordFile)) return nullptr;
    // Held by a running copy of this logon (it shares nothing but reading), or of another (it
    // keeps its lock): not a left-over.
    HANDLE record = Open(RecordFile, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
    if (record == nullptr) return nullptr;
    std::unique_ptr<TAsideSet> set(new TAsideSet);
    set->recordFile_ = record;
    set->settled_ = true;
    LARGE_INTEGER size{};
    if (!LockHeld(record) || !GetFileSizeEx(record, &size) || size.QuadPart > 16384 || size.QuadPart % 2 != 0)
        return nullptr;
    std::wstring text(static_cast<std::size_t>(size.QuadPart / 2), L'\0');
    DWORD read = 0;
    if (!ReadFile(record, text.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr) || read != size.QuadPart)
        return nullptr;
    set->record_.Folder = unicode::WideExtractFilePath(RecordFile);
    const std::wstring file = unicode::WideExtractFileName(RecordFile);
    set->record_.Stem = file.substr(0, file.size() - (std::size(kRecordSuffix) - 1));
    if (!set->record_.Parse(text)) return nullptr;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        if (set->record_.Names[kind].empty()) continue;
        for (bool gone : {true, false}) {
            const std::wstring name = gone ? set->record_.GoneFile(kind) : set->record_.AsideFile(kind);
            HANDLE aside = Open(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
            // There but held by another program for a moment (a scanner reading it): the set is
            // settled by a later sweep, never in part.
            if (aside == nullptr && !NameFree(name)) return nullptr;
            if (aside == nullptr) continue;
            // Still held by a copy running under another logon.
            if (!LockHeld(aside)) {
                CloseHandle(aside);
                return nullptr;
            }
            set->aside_[kind] = aside;
            set->gone_[kind] = gone;
            break;
        }
    }
    set->settled_ = false;
    return set;
}

TAsideSet::~TAsideSet() {
    if (!settled_) {
        try {
            TRecordingClaim claim(record_.Original(pfRecording));
            PutBack(claim, false, true);
        } catch (...) {
        }
    }
    for (HANDLE& file : aside_) CloseFile(file);
    CloseFile(recordFile_);
    OwnRecords().Remove(record_.RecordFile());
}

std::uint64_t TAsideSet::Size() const {
    std::uint64_t size = 0;
    for (HANDLE file : aside_) {
        LARGE_INTEGER bytes{};
        if (file != nullptr && GetFileSizeEx(file, &bytes)) size += static_cast<std::uint64_t>(bytes.QuadPart);
    }
    return size;
}

void TAsideSet::GiveUp(bool Now) {
    if (settled_) return;
    TDisposal set;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        HANDLE& file = aside_[kind];
        if (file == nullptr) continue;
        // Marked before a byte goes: a copy killed while it empties the file leaves what the next
        // sweep finishes, never what looks kept. A file that cannot be marked stays whole, aside.
        if (!gone_[kind] && !RenameOpenFile(file, record_.GoneFile(kind))) continue;
        gone_[kind] = true;
        set.Files.push_back(file);
        file = nullptr;
    }
    // The record goes after the files it tells of, unless one of them stays aside (put back by
    // this set's owner, or a later sweep).
    settled_ = std::none_of(aside_.begin(), aside_.end(), [](HANDLE file) { return file != nullptr; });
    if (settled_) {
        set.Record = recordFile_;
        recordFile_ = nullptr;
        OwnRecords().Remove(record_.RecordFile());
    }
    if (!Now) {
        try {
            Disposals().Add(set);
            return;
        } catch (...) {
        }
    }
    const std::atomic<bool> hurry{true};
    DeleteNow(set, hurry);
}

void TAsideSet::Discard() { GiveUp(false); }
void TAsideSet::Free() { GiveUp(true); }

std::wstring TAsideSet::PutBack(const TRecordingClaim& Claim, bool RemoveMade, bool TellStuck) {
    if (settled_) return std::wstring();
    if (std::any_of(gone_.begin(), gone_.end(), [](bool gone) { return gone; })) {
        // The user agreed to replace them and the recording had begun: what a killed copy left of
        // them is finished, never shown as kept.
        GiveUp(true);
        if (settled_) return std::wstring();
    }
    settled_ = true;
    const bool claimed = Claim.First();
    bool busy = false;
    if (RemoveMade && claimed) {
        const std::wstring recording = record_.Original(pfRecording);
        RemoveIfMade(recording, record_.Made[pfRecording], false, busy);
        // The scene list goes with its recording.
        const TFileIdentity there = FileIdentity(recording);
        if (!there.SameFile(record_.Made[pfRecording]) && !record_.Names[pfSceneList].empty())
            RemoveIfMade(record_.Original(pfSceneList), record_.Made[pfSceneList], true, busy);
    }
    // Made files that never took their names.
    for (int kind = pfRecording; kind < kPartFiles; ++kind)
        if (!record_.Names[kind].empty()) RemoveIfMade(record_.NewFile(kind), record_.Made[kind], true, busy);
    std::wstring told;
    std::wstring keptStem;  // where the older recording is kept, its scene list kept beside it
    bool stuck = false;
    for (int kind = pfRecording; kind < kPartFiles; ++kind) {
        HANDLE& file = aside_[kind];
        if (file == nullptr) continue;
        const std::wstring original = record_.Original(kind);
        // A scene list follows its recording: back with it, or kept beside where it is kept.
        const bool follows = kind == pfSceneList && !keptStem.empty();
        if (claimed && !follows && RenameOpenFile(file, original)) {
            CloseFile(file);
            continue;
        }
        std::wstring kept;
        if (follows && NameFree(SceneListOf(keptStem)) && RenameOpenFile(file, SceneListOf(keptStem)))
            kept = SceneListOf(keptStem);
        for (int tries = 0; kept.empty() && tries < 3; ++tries) {
            const std::wstring name = KeptOlderName(original);
            if (!name.empty() && RenameOpenFile(file, name)) kept = name;
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
    // The record goes once every older file has a name again.
    if (!stuck && recordFile_ != nullptr) DeleteOpenFile(recordFile_);
    CloseFile(recordFile_);
    OwnRecords().Remove(record_.RecordFile());
    return told;
}

// ---- The sweep ---------------------------------------------------------------------------------

std::vector<std::wstring> SweepReplacedFiles(const std::wstring& Folder) {
    std::vector<std::wstring> told;
    if (Folder.empty()) return told;
    const std::wstring folder = Folder.back() == L'\\' || Folder.back() == L'/' ? Folder : Folder + L"\\";
    // One look at the folder: the records, and the older files to check against them.
    std::vector<std::wstring> records, olders;
    WIN32_FIND_DATAW found{};
    HANDLE search = unicode::Uc_FindFirstFileW((folder + L"*.~quillotrane-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return told;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        std::wstring stem;
        int kind = 0;
        bool older = false;
        if (!SetFileOf(found.cFileName, stem, kind, older)) continue;
        if (kind < 0) records.push_back(found.cFileName);
        if (older) olders.push_back(found.cFileName);
    } while (unicode::Uc_FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& file : records) {
        const std::wstring name = folder + file;
        try {
            std::unique_ptr<TAsideSet> set = TAsideSet::Adopt(name);
            if (!set) continue;
            // The name is claimed while its files go back: no copy takes it meanwhile.
            TRecordingClaim claim(set->Record().Original(pfRecording));
            const std::wstring words = set->PutBack(claim, true, false);
            if (!words.empty()) told.push_back(words);
        } catch (...) {
        }
    }
    // What only looks like an older file aside is the user's: left, and told once.
    for (const std::wstring& file : olders) {
        std::wstring stem;
        int kind = 0;
        bool older = false;
        SetFileOf(file, stem, kind, older);
        // Gone since the look, or with a record beside it (one made since the look: another copy's,
        // about to move its file).
        if (NameFree(folder + file) || !NameFree(folder + stem + kRecordSuffix) || !ToldLookAlikes().Add(folder + file))
            continue;
        told.push_back(classlib::Format(RecText(IDS_REC_OLDER_UNKNOWN), {folder + file}));
    }
    return told;
}

}  // namespace ui
