// The older files that recordings replace, and the names that copies of the program record into.
#include "ui/replaced_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "settings/program_texts.h"
#include "settings/shell_helpers.h"
#include "ui/recording_files.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

std::wstring RecText(unsigned Id) { return settings::LoadProgramText(Id); }

// A kernel object under a name of its own: made while this process holds something, and gone with
// the process, however it ends. Other copies ask whether it is there.
HANDLE MakeMark(const std::wstring& Key) { return CreateMutexW(nullptr, FALSE, Key.c_str()); }

bool MarkThere(const std::wstring& Key) {
    HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, Key.c_str());
    if (mark != nullptr) {
        CloseHandle(mark);
        return true;
    }
    // A mark made by a program that this one may not open is somebody's all the same.
    return GetLastError() == ERROR_ACCESS_DENIED;
}

void DropMark(HANDLE& Mark) {
    if (Mark != nullptr) CloseHandle(Mark);
    Mark = nullptr;
}

// Empties File a step at a time, then deletes it. Freeing a large file's space at once holds up
// every write to the disk meanwhile (under Wine, a delete or an overwrite even holds up every call
// of every program to the system); a step of 64 MB takes a few milliseconds, and a pause follows
// each one unless Hurry is set.
void DeleteEmptied(const std::wstring& File, const std::atomic<bool>& Hurry) {
    constexpr LONGLONG kStep = 64ll << 20;
    constexpr DWORD kPauseMs = 50;
    HANDLE file = CreateFileW(File.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file, &size)) {
            for (LONGLONG end = size.QuadPart; end > 0;) {
                end = end > kStep ? end - kStep : 0;
                LARGE_INTEGER at{};
                at.QuadPart = end;
                if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) break;
                if (!Hurry.load()) Sleep(kPauseMs);
            }
        }
        CloseHandle(file);
    }
    DeleteFileW(File.c_str());
}

// One older file to go: its aside name, the file that keeps its own name (or empty) and the mark
// that its owner holds it until it is gone.
struct TDisposal {
    std::wstring Aside;
    std::wstring NameFile;
    HANDLE Mark;
};

void DeleteNow(TDisposal& File, const std::atomic<bool>& Hurry) {
    DeleteEmptied(File.Aside, Hurry);
    if (!File.NameFile.empty()) DeleteFileW(File.NameFile.c_str());
    DropMark(File.Mark);
}

// The replaced files still to go, and the thread that deletes them one after the other. The
// process's end waits for them, in a hurry.
class TDisposals {
public:
    ~TDisposals() { Finish(); }

    void Add(TDisposal File) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!worker_.joinable()) {
            ending_ = false;
            hurry_.store(false);
            worker_ = std::thread([this] { Run(); });
        }
        files_.push_back(std::move(File));
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
            wake_.wait(guard, [this] { return !files_.empty() || ending_; });
            if (files_.empty()) return;
            TDisposal file = std::move(files_.front());
            files_.pop_front();
            guard.unlock();
            DeleteNow(file, hurry_);
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<TDisposal> files_;  // lock_
    bool ending_ = false;          // lock_
    std::atomic<bool> hurry_{false};
    std::thread worker_;  // started under lock_, joined by Finish
};

TDisposals& Disposals() {
    static TDisposals disposals;
    return disposals;
}

// Handed to the deleting thread; deleted here when no thread can be had.
void Dispose(TDisposal File) {
    try {
        Disposals().Add(File);
    } catch (...) {
        const std::atomic<bool> hurry{true};
        DeleteNow(File, hurry);
    }
}

// The mark in the name of an older file moved aside, which no user's file carries, and in the name
// of the file that keeps its own name when that is too long to carry the mark.
const wchar_t kReplacedSuffix[] = L".~quillotrane-older";
const wchar_t kNameFileSuffix[] = L".~quillotrane-name";
// The stem of an aside name that does not hold the older file's own name.
const wchar_t kShortStem[] = L"~quillotrane";

// The mark that the process ProcessId holds its older file Number aside.
std::wstring AsideKey(DWORD ProcessId, std::uint64_t Number) {
    return L"Local\\Quillotrane older file " + classlib::IntToHex(ProcessId, 1) + L"." + classlib::IntToHex(Number, 1);
}

// Whether a file name (no folder) fits every file system a recording may go to: 255 UTF-16 units
// on Windows, 255 bytes of UTF-8 where Wine keeps its files.
bool NameFits(const std::wstring& Name) {
    if (Name.size() > 255) return false;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, Name.c_str(), static_cast<int>(Name.size()), nullptr, 0,
                                          nullptr, nullptr);
    return bytes > 0 && bytes <= 255;
}

// The name of the file that keeps an older file's name beside its short aside name.
std::wstring NameFileOf(const std::wstring& Aside) {
    return Aside.substr(0, Aside.size() - (std::size(kReplacedSuffix) - 1)) + kNameFileSuffix;
}

// The name an older file moved aside had: kept in the file beside it for a short aside name, else
// read from the aside name (Name.<id>.<number><suffix>). Empty when it cannot be known.
std::wstring OriginalOf(const std::wstring& Aside) {
    const std::wstring nameFile = NameFileOf(Aside);
    const std::wstring folder = unicode::WideExtractFilePath(Aside);
    if (unicode::WideFileExists(nameFile)) {
        std::wstring name;
        HANDLE file = CreateFileW(nameFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return std::wstring();
        wchar_t text[512] = {};
        DWORD read = 0;
        if (ReadFile(file, text, sizeof text - sizeof(wchar_t), &read, nullptr)) name.assign(text, read / sizeof(wchar_t));
        CloseHandle(file);
        // Only a file name of this folder is taken from it.
        if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) return std::wstring();
        return folder + name;
    }
    std::wstring name = Aside.substr(0, Aside.size() - (std::size(kReplacedSuffix) - 1));
    for (int dot = 0; dot < 2; ++dot) name.erase(name.rfind(L'.'));
    if (unicode::WideExtractFileName(name) == kShortStem) return std::wstring();
    return name;
}

bool NameFree(const std::wstring& Name) { return GetFileAttributesW(Name.c_str()) == INVALID_FILE_ATTRIBUTES; }

// The first free name of "Stem (older)", "Stem (older 2)", ... with Name's extension, beside it.
std::wstring KeptOlderName(const std::wstring& Name) {
    const std::wstring extension = unicode::WideExtractFileExt(Name);
    const std::wstring stem = Name.substr(0, Name.size() - extension.size());
    for (int n = 1; n < 1000; ++n) {
        const std::wstring kept = stem + (n == 1 ? L" (older)" : L" (older " + std::to_wstring(n) + L")") + extension;
        if (NameFree(kept) && !RecordedByAnotherCopy(kept)) return kept;
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

// This process's own claims, which RecordedByAnotherCopy leaves out.
std::mutex& ClaimsLock() {
    static std::mutex lock;
    return lock;
}
std::multiset<std::wstring>& OwnClaims() {
    static std::multiset<std::wstring> claims;
    return claims;
}

TFileIdentity IdentityOf(HANDLE File) {
    TFileIdentity identity;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(File, &information)) return identity;
    identity.Exists = true;
    identity.Volume = information.dwVolumeSerialNumber;
    identity.IndexHigh = information.nFileIndexHigh;
    identity.IndexLow = information.nFileIndexLow;
    identity.Size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    identity.Written = (static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
                       information.ftLastWriteTime.dwLowDateTime;
    return identity;
}

// Puts the older file Aside back under Original, or, when that name is taken or claimed (Claimed),
// keeps it under a free name of its own beside it; it is never deleted. A recording at Original
// that holds nothing gives the name up first when it is Own's (this copy's own file), or, without
// Own, when no copy claims the name (what a killed copy began). The words telling the user where
// the older file is, empty when it went back under its name.
std::wstring Restore(const std::wstring& Aside, const std::wstring& NameFile, const std::wstring& Original,
                     bool Claimed, const TFileIdentity* Own) {
    if (!Claimed) {
        const TFileIdentity there = FileIdentity(Original);
        if (there.Exists && (Own == nullptr || there.SameFile(*Own)) && RecordingHoldsNothing(Original))
            DeleteFileW(Original.c_str());
        if (MoveFileExW(Aside.c_str(), Original.c_str(), 0)) {
            if (!NameFile.empty()) DeleteFileW(NameFile.c_str());
            return std::wstring();
        }
    }
    std::wstring kept = KeptOlderName(Original);
    if (!kept.empty() && MoveFileExW(Aside.c_str(), kept.c_str(), 0)) {
        if (!NameFile.empty()) DeleteFileW(NameFile.c_str());
    } else {
        // Left where it is, under its mark: a later sweep tries again.
        kept = Aside;
    }
    return classlib::Format(RecText(IDS_REC_OLDER_KEPT), {Original, kept});
}

// A name file whose older file is gone (its copy was killed between the two).
void DropLoneNameFile(const std::wstring& NameFile) {
    const std::wstring aside = NameFile.substr(0, NameFile.size() - (std::size(kNameFileSuffix) - 1)) + kReplacedSuffix;
    if (NameFree(aside)) DeleteFileW(NameFile.c_str());
}

}  // namespace

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
    OwnClaims().insert(key_);
    mark_ = MakeMark(key_);
    first_ = mark_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
}

TRecordingClaim::~TRecordingClaim() {
    std::lock_guard<std::mutex> guard(ClaimsLock());
    DropMark(mark_);
    const auto own = OwnClaims().find(key_);
    if (own != OwnClaims().end()) OwnClaims().erase(own);
}

TFileIdentity FileIdentity(const std::wstring& Name) {
    HANDLE file = CreateFileW(Name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TFileIdentity();
    const TFileIdentity identity = IdentityOf(file);
    CloseHandle(file);
    return identity;
}

std::vector<std::wstring> SweepReplacedFiles(const std::wstring& Folder) {
    std::vector<std::wstring> kept;
    if (Folder.empty()) return kept;
    const std::wstring folder = Folder.back() == L'\\' || Folder.back() == L'/' ? Folder : Folder + L"\\";
    // A copy holds its older file aside for as long as its mark is there, whatever the file's times.
    const auto holds = [](DWORD ProcessId, std::uint64_t Number, const FILETIME&) {
        return MarkThere(AsideKey(ProcessId, Number));
    };
    settings::RemoveLeftOvers(
        folder, L"", kReplacedSuffix, L"", false,
        [&](const std::wstring& Aside) {
            const std::wstring original = OriginalOf(Aside);
            // An older file whose name cannot be known stays as it is, under its mark.
            if (original.empty()) return;
            const std::wstring nameFile = NameFileOf(Aside);
            // A name that a running copy (this one too) claims is about to be written.
            const std::wstring told = Restore(Aside, unicode::WideFileExists(nameFile) ? nameFile : std::wstring(),
                                              original, MarkThere(ClaimKey(original)), nullptr);
            if (!told.empty()) kept.push_back(told);
        },
        holds);
    settings::RemoveLeftOvers(folder, L"", kNameFileSuffix, L"", false, DropLoneNameFile, holds);
    return kept;
}

TReplacedFile::TReplacedFile(std::wstring Name, const TFileIdentity* Asked) : name_(std::move(Name)) {
    const DWORD attributes = GetFileAttributesW(name_.c_str());
    // A read-only file is kept as its user wants it: the recording is refused before it comes here.
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return;
    const TFileIdentity older = FileIdentity(name_);
    // The answer was for another file (put back by a sweep, written by another copy since).
    if (Asked != nullptr && older != *Asked) {
        changed_ = true;
        return;
    }
    size_ = older.Size;
    // A name no recording takes, unique to this process, and this process's mark on it, made before
    // the file is there; a rename within the folder costs nothing, whatever the file's size.
    static std::atomic<std::uint64_t> moved{0};
    const std::uint64_t number = ++moved;
    std::wstring aside = settings::ProcessOwnName(name_, number, kReplacedSuffix);
    if (!NameFits(unicode::WideExtractFileName(aside))) {
        // The name kept beside a short aside name, written before the older file moves.
        aside = settings::ProcessOwnName(unicode::WideExtractFilePath(name_) + kShortStem, number, kReplacedSuffix);
        nameFile_ = NameFileOf(aside);
        const std::wstring own = unicode::WideExtractFileName(name_);
        HANDLE file = CreateFileW(nameFile_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const DWORD bytes = static_cast<DWORD>(own.size() * sizeof(wchar_t));
        const bool kept = file != INVALID_HANDLE_VALUE && WriteFile(file, own.c_str(), bytes, &written, nullptr) &&
                          written == bytes;
        const DWORD error = kept ? ERROR_SUCCESS : GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!kept) {
            DeleteFileW(nameFile_.c_str());
            problem_ = classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {name_, FailureText(HRESULT_FROM_WIN32(error))});
            nameFile_.clear();
            return;
        }
    }
    held_ = MakeMark(AsideKey(GetCurrentProcessId(), number));
    const bool movedAside = held_ != nullptr && MoveFileExW(name_.c_str(), aside.c_str(), 0);
    const DWORD error = GetLastError();
    if (!movedAside) {
        // Never written over in place: the start is refused and the older file stays as it is.
        DropMark(held_);
        if (!nameFile_.empty()) DeleteFileW(nameFile_.c_str());
        nameFile_.clear();
        inUse_ = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        problem_ = inUse_ ? classlib::Format(RecText(IDS_REC_IN_USE), {name_})
                          : classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {name_, FailureText(HRESULT_FROM_WIN32(error))});
        return;
    }
    aside_ = aside;
    // The recording's file, made now so that it is known by its identity from its first byte on.
    HANDLE made = CreateFileW(name_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made != INVALID_HANDLE_VALUE) {
        recording_ = IdentityOf(made);
        CloseHandle(made);
    }
}

TReplacedFile::~TReplacedFile() {
    try {
        PutBack();
    } catch (...) {
    }
    DropMark(held_);
}

bool TReplacedFile::RecordingBegun() const {
    return Moved() && FileIdentity(name_).SameFile(recording_) && RecordingHoldsMedia(name_);
}

namespace {

// What a replaced file holds aside, handed over to go: it holds nothing afterwards.
TDisposal TakeAside(std::wstring& Aside, std::wstring& NameFile, HANDLE& Held) {
    TDisposal file{std::move(Aside), std::move(NameFile), Held};
    Aside.clear();
    NameFile.clear();
    Held = nullptr;
    return file;
}

}  // namespace

void TReplacedFile::Discard() {
    if (!aside_.empty()) Dispose(TakeAside(aside_, nameFile_, held_));
}

void TReplacedFile::Free() {
    if (aside_.empty()) return;
    TDisposal file = TakeAside(aside_, nameFile_, held_);
    const std::atomic<bool> hurry{true};
    DeleteNow(file, hurry);
}

std::wstring TReplacedFile::PutBack() {
    if (aside_.empty()) return std::wstring();
    std::wstring aside, nameFile;
    aside.swap(aside_);
    nameFile.swap(nameFile_);
    // This copy's own claim on the name does not keep its older file out.
    const std::wstring told = Restore(aside, nameFile, name_, RecordedByAnotherCopy(name_), &recording_);
    // Still aside when no rename could be made: the mark goes, and a later sweep puts it back or
    // keeps it beside its name, never deletes it.
    DropMark(held_);
    return told;
}

bool OlderFileMakesRoom(const std::wstring& Name, const TReplacedFile& Older) {
    constexpr std::uint64_t kRoomToRecord = 32ull << 20;
    ULARGE_INTEGER free{};
    const std::wstring folder = unicode::WideExtractFilePath(Name);
    if (!Older.Moved() || folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) return false;
    return free.QuadPart < kRoomToRecord && free.QuadPart + Older.Size() >= kRoomToRecord;
}

}  // namespace ui
