// The main window's checks of the files it names.
#include "ui/recording_files.h"

#include <audevcod.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/streams.h"
#include "dshow/ds_helpers.h"
#include "settings/program_texts.h"
#include "settings/shell_helpers.h"
#include "ui/recording_text_ids.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

std::wstring RecText(unsigned Id) { return settings::LoadProgramText(Id); }

bool IsSeparator(wchar_t C) { return C == L'\\' || C == L'/'; }

// Characters no file name may hold besides the separators.
bool FitsAFileName(wchar_t C) { return C >= 32 && std::wstring_view(L"<>:\"|?*").find(C) == std::wstring_view::npos; }

using TFourCC = std::array<char, 4>;

bool Is(const TFourCC& Code, const char* Text) { return std::equal(Code.begin(), Code.end(), Text); }

std::uint32_t Little32(const unsigned char* Bytes) {
    return Bytes[0] | (Bytes[1] << 8) | (Bytes[2] << 16) | (static_cast<std::uint32_t>(Bytes[3]) << 24);
}

// A chunk header read at Offset: its code, its size and, for a list, its list type.
struct TChunk {
    TFourCC Code{};
    std::uint32_t Size = 0;
    TFourCC ListType{};
};

// Exactly Size bytes at Offset, or false.
bool ReadAt(classlib::TStream& File, std::uint64_t Offset, void* Data, std::int32_t Size) {
    File.SetPosition(static_cast<std::int64_t>(Offset));
    return File.Position() == static_cast<std::int64_t>(Offset) && File.Read(Data, Size) == Size;
}

bool ReadChunk(classlib::TStream& File, std::uint64_t Offset, bool List, TChunk& Chunk) {
    unsigned char bytes[12] = {};
    if (!ReadAt(File, Offset, bytes, List ? 12 : 8)) return false;
    std::copy(bytes, bytes + 4, Chunk.Code.begin());
    Chunk.Size = Little32(bytes + 4);
    std::copy(bytes + 8, bytes + 12, Chunk.ListType.begin());
    return true;
}

bool IsList(const TFourCC& Code) { return Is(Code, "LIST") || Is(Code, "RIFF"); }

// A stream's data chunk: two digits (the stream number), then the kind ("00dc", "01wb").
bool IsStreamData(const TFourCC& Code) {
    return Code[0] >= '0' && Code[0] <= '9' && Code[1] >= '0' && Code[1] <= '9';
}

// Whether the chunks from Begin to End (lists entered, to a few levels) may hold a stream's data:
// one is found, or the walk cannot end cleanly at End (a short read, a size that runs past it),
// when nothing can be said and the file is taken to hold what it may.
bool MayHoldStreamData(classlib::TStream& File, std::uint64_t Begin, std::uint64_t End, int Depth) {
    std::uint64_t at = Begin;
    while (at + 8 <= End) {
        TChunk chunk;
        if (!ReadChunk(File, at, false, chunk)) return true;
        if (IsStreamData(chunk.Code)) return true;
        const std::uint64_t next = at + 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
        if (IsList(chunk.Code) && (Depth >= 4 || chunk.Size < 4 || MayHoldStreamData(File, at + 12, next, Depth + 1)))
            return true;
        at = next;
    }
    return at != End;
}

// The file Name opened for reading alongside its writer, nullptr when it cannot be.
std::unique_ptr<unicode::TUcFileStream> OpenForLook(const std::wstring& Name) {
    try {
        return std::make_unique<unicode::TUcFileStream>(Name, classlib::fmOpenRead | classlib::fmShareDenyNone);
    } catch (const classlib::Exception&) {
        return nullptr;
    }
}

}  // namespace

std::wstring FileNameStem(const std::wstring& Stem) {
    std::wstring result;
    std::size_t begin = 0;
    while (begin <= Stem.size()) {
        std::size_t end = begin;
        while (end < Stem.size() && !IsSeparator(Stem[end])) ++end;
        const std::wstring part = Stem.substr(begin, end - begin);
        // ".", ".." and the like name folders, not files.
        if (part.find_first_not_of(L'.') != std::wstring::npos) {
            if (!result.empty()) result += L'_';
            for (wchar_t c : part)
                if (FitsAFileName(c)) result += c;
        }
        begin = end + 1;
    }
    return result;
}

std::wstring RecordingFileProblem(const std::wstring& Name, bool* InUse) {
    if (InUse != nullptr) *InUse = false;
    const std::wstring folder = unicode::WideExcludeTrailingBackslash(unicode::WideExtractFilePath(Name));
    if (!folder.empty() && !unicode::WideDirectoryExists(folder))
        return classlib::Format(RecText(IDS_REC_NO_FOLDER), {folder});
    if (unicode::WideDirectoryExists(Name)) return classlib::Format(RecText(IDS_REC_IS_FOLDER), {Name});
    if (RecordedByAnotherCopy(Name)) {
        if (InUse != nullptr) *InUse = true;
        return classlib::Format(RecText(IDS_REC_IN_USE), {Name});
    }
    const DWORD attributes = GetFileAttributesW(Name.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file is its user's to keep, even where the system would let this process write it.
    if (existed && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {Name, FailureText(E_ACCESSDENIED)});
    // Opened as the writers open it, so that whatever would refuse them refuses this. A file made
    // for the look goes with its handle: another copy of the program looking at the name meanwhile
    // finds it in use, never a file left there for a moment.
    HANDLE file = CreateFileW(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, existed ? OPEN_EXISTING : CREATE_NEW,
                              existed ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Made by another program between the look and the open (the file there now was not) is
        // taken as much as held.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
            (!existed && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS))) {
            if (InUse != nullptr) *InUse = true;
            return classlib::Format(RecText(IDS_REC_IN_USE), {Name});
        }
        return classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {Name, FailureText(HRESULT_FROM_WIN32(error))});
    }
    CloseHandle(file);
    return std::wstring();
}

bool FolderCanBeMade(const std::wstring& Folder) {
    std::wstring existing = unicode::WideExcludeTrailingBackslash(Folder);
    while (!existing.empty() && !unicode::WideDirectoryExists(existing)) {
        const std::wstring parentPath = unicode::WideExtractFilePath(existing);
        const std::wstring parent = unicode::WideExcludeTrailingBackslash(parentPath);
        // The root itself is not there (a drive that is not there).
        if (parent.size() >= existing.size()) return false;
        for (wchar_t c : existing.substr(parentPath.size()))
            if (!FitsAFileName(c)) return false;
        existing = parent;
    }
    return true;
}

bool FileInUse(const std::wstring& Name) {
    if (RecordedByAnotherCopy(Name)) return true;
    const DWORD attributes = GetFileAttributesW(Name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    HANDLE file = CreateFileW(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool AviHoldsNothing(const std::wstring& Name) {
    std::unique_ptr<unicode::TUcFileStream> stream = OpenForLook(Name);
    if (!stream) return false;
    classlib::TStream& file = *stream;
    const std::uint64_t size = static_cast<std::uint64_t>(file.Size());
    if (size == 0) return true;
    TChunk riff;
    if (!ReadChunk(file, 0, true, riff) || !Is(riff.Code, "RIFF") || !Is(riff.ListType, "AVI ")) return false;
    // The sizes in the headers are not trusted (a writer may have failed before it set them):
    // every walk goes to the end of the file, and what is found there decides.
    std::uint64_t at = 12;
    while (at + 12 <= size) {
        TChunk chunk;
        if (!ReadChunk(file, at, true, chunk)) return false;
        if (Is(chunk.Code, "LIST") && Is(chunk.ListType, "movi")) return !MayHoldStreamData(file, at + 12, size, 0);
        at += 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
    }
    // No movie list: a whole header, and nothing after it.
    return at == size;
}

namespace {

std::uint64_t Little64(const unsigned char* Bytes) {
    return Little32(Bytes) | (static_cast<std::uint64_t>(Little32(Bytes + 4)) << 32);
}

// The ASF top-level objects that matter here, as their GUIDs lie in the file.
constexpr unsigned char kAsfHeaderObject[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char kAsfDataObject[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// A data object without packets: GUID, size, file id, packet count and two reserved bytes.
constexpr std::uint64_t kAsfEmptyDataObject = 50;
constexpr unsigned char kAsfFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
// The file properties object: play duration (100 ns) at 64, preroll (ms) at 80, flags at 88.
constexpr std::uint64_t kAsfFilePropertiesSize = 104;
constexpr std::uint32_t kAsfBroadcast = 1;

// Whether the header object at At (Length bytes) says that the file plays for no time past its
// preroll; false when it cannot say (no file properties, or a broadcast whose times are unknown).
bool AsfPlaysNoTime(classlib::TStream& File, std::uint64_t At, std::uint64_t Length) {
    constexpr std::uint64_t kHeaderFields = 30;
    std::uint64_t at = At + kHeaderFields;
    const std::uint64_t end = At + Length;
    unsigned char object[kAsfFilePropertiesSize] = {};
    while (at + 24 <= end) {
        if (!ReadAt(File, at, object, 24)) return false;
        const std::uint64_t length = Little64(object + 16);
        if (length < 24 || length > end - at) return false;
        if (std::equal(object, object + 16, kAsfFileProperties)) {
            if (length < kAsfFilePropertiesSize || !ReadAt(File, at, object, sizeof object)) return false;
            if ((Little32(object + 88) & kAsfBroadcast) != 0) return false;
            return Little64(object + 64) <= Little64(object + 80) * 10000;
        }
        at += length;
    }
    return false;
}

}  // namespace

bool WaveHoldsNothing(const std::wstring& Name) {
    std::unique_ptr<unicode::TUcFileStream> stream = OpenForLook(Name);
    if (!stream) return false;
    classlib::TStream& file = *stream;
    const std::uint64_t size = static_cast<std::uint64_t>(file.Size());
    TChunk riff;
    if (!ReadChunk(file, 0, true, riff) || !Is(riff.Code, "RIFF") || !Is(riff.ListType, "WAVE")) return false;
    // A header the writer could not patch may still say 0 with data behind it: only what lies in
    // the file decides.
    std::uint64_t at = 12;
    while (at + 8 <= size) {
        TChunk chunk;
        if (!ReadChunk(file, at, false, chunk)) return false;
        if (Is(chunk.Code, "data")) return chunk.Size == 0 && at + 8 == size;
        at += 8 + static_cast<std::uint64_t>(chunk.Size) + (chunk.Size & 1);
    }
    return at == size;
}

bool AsfHoldsNothing(const std::wstring& Name) {
    std::unique_ptr<unicode::TUcFileStream> stream = OpenForLook(Name);
    if (!stream) return false;
    classlib::TStream& file = *stream;
    const std::uint64_t size = static_cast<std::uint64_t>(file.Size());
    unsigned char object[24] = {};
    if (!ReadAt(file, 0, object, 24) || !std::equal(object, object + 16, kAsfHeaderObject)) return false;
    std::optional<std::uint64_t> packets;
    bool instant = false;
    std::uint64_t at = 0;
    while (at + 24 <= size) {
        if (!ReadAt(file, at, object, 24)) return false;
        const std::uint64_t length = Little64(object + 16);
        // A size that does not fit (a header never patched says 0) leaves nothing to be sure of.
        if (length < 24 || length > size - at) return false;
        if (std::equal(object, object + 16, kAsfHeaderObject)) {
            instant = AsfPlaysNoTime(file, at, length);
        } else if (std::equal(object, object + 16, kAsfDataObject)) {
            unsigned char data[kAsfEmptyDataObject] = {};
            if (length < kAsfEmptyDataObject || !ReadAt(file, at, data, sizeof data)) return false;
            packets = Little64(data + 40);
            if ((*packets == 0) != (length == kAsfEmptyDataObject)) return false;
        }
        at += length;
    }
    if (!packets || at != size) return false;
    // One packet playing for no time (its only picture at the start): a recording of 0 seconds.
    return *packets == 0 || (*packets == 1 && instant);
}

namespace {

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

// The replaced files still to go, and the thread that deletes them one after the other, each with
// the mark that its owner holds it until it is gone. The process's end waits for them, in a hurry.
class TDisposals {
public:
    ~TDisposals() { Finish(); }

    void Add(std::wstring File, HANDLE Mark) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!worker_.joinable()) {
            ending_ = false;
            hurry_.store(false);
            worker_ = std::thread([this] { Run(); });
        }
        files_.push_back({std::move(File), Mark});
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
    struct TFile {
        std::wstring Name;
        HANDLE Mark;
    };

    void Run() {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            wake_.wait(guard, [this] { return !files_.empty() || ending_; });
            if (files_.empty()) return;
            TFile file = std::move(files_.front());
            files_.pop_front();
            guard.unlock();
            DeleteEmptied(file.Name, hurry_);
            DropMark(file.Mark);
            guard.lock();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<TFile> files_;  // lock_
    bool ending_ = false;      // lock_
    std::atomic<bool> hurry_{false};
    std::thread worker_;  // started under lock_, joined by Finish
};

TDisposals& Disposals() {
    static TDisposals disposals;
    return disposals;
}

// Handed to the deleting thread; deleted here when no thread can be had.
void Dispose(const std::wstring& File, HANDLE Mark) {
    try {
        Disposals().Add(File, Mark);
    } catch (...) {
        const std::atomic<bool> hurry{true};
        DeleteEmptied(File, hurry);
        DropMark(Mark);
    }
}

// The mark in the name of an older file moved aside, which no user's file carries.
const wchar_t kReplacedSuffix[] = L".~quillotrane-older";

// The mark that the process ProcessId holds its older file Number aside.
std::wstring AsideKey(DWORD ProcessId, std::uint64_t Number) {
    return L"Local\\Quillotrane older file " + classlib::IntToHex(ProcessId, 1) + L"." + classlib::IntToHex(Number, 1);
}

// The name an older file moved aside had, from the aside name (Name.<id>.<number><suffix>).
std::wstring OriginalOf(const std::wstring& Aside) {
    std::wstring name = Aside.substr(0, Aside.size() - (sizeof kReplacedSuffix / sizeof(wchar_t) - 1));
    for (int dot = 0; dot < 2; ++dot) name.erase(name.rfind(L'.'));
    return name;
}

bool NameFree(const std::wstring& Name) { return GetFileAttributesW(Name.c_str()) == INVALID_FILE_ATTRIBUTES; }

// The first free name of "Stem (older)", "Stem (older 2)", ... with Name's extension, beside it.
std::wstring KeptOlderName(const std::wstring& Name) {
    const std::wstring extension = unicode::WideExtractFileExt(Name);
    const std::wstring stem = Name.substr(0, Name.size() - extension.size());
    for (int n = 1; n < 1000; ++n) {
        const std::wstring kept = stem + (n == 1 ? L" (older)" : L" (older " + std::to_wstring(n) + L")") + extension;
        if (NameFree(kept)) return kept;
    }
    return std::wstring();
}

// Where the recording that replaced Original wrote nothing (or was never written), the older file
// Aside goes back under its name; else it goes. Used for the files that killed copies left.
void SettleLeftOver(const std::wstring& Aside) {
    const std::wstring original = OriginalOf(Aside);
    if (!NameFree(original) && RecordingHoldsNothing(original)) DeleteFileW(original.c_str());
    if (NameFree(original) && MoveFileExW(Aside.c_str(), original.c_str(), 0)) return;
    if (!NameFree(original)) Dispose(Aside, nullptr);
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
    TFileIdentity identity;
    HANDLE file = CreateFileW(Name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(file, &information)) {
        identity.Exists = true;
        identity.Volume = information.dwVolumeSerialNumber;
        identity.IndexHigh = information.nFileIndexHigh;
        identity.IndexLow = information.nFileIndexLow;
        identity.Size = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
        identity.Written = (static_cast<std::uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
                           information.ftLastWriteTime.dwLowDateTime;
    }
    CloseHandle(file);
    return identity;
}

void SweepReplacedFiles(const std::wstring& Folder) {
    if (Folder.empty()) return;
    const std::wstring folder = Folder.back() == L'\\' || Folder.back() == L'/' ? Folder : Folder + L"\\";
    // A copy holds its older file aside for as long as its mark is there, whatever the file's times.
    settings::RemoveLeftOvers(
        folder, L"", kReplacedSuffix, L"", false, [](const std::wstring& File) { SettleLeftOver(File); },
        [](DWORD ProcessId, std::uint64_t Number, const FILETIME&) { return MarkThere(AsideKey(ProcessId, Number)); });
}

bool RecordingHoldsNothing(const std::wstring& Name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Name.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) return true;
    const std::wstring extension = classlib::AnsiLowerCase(unicode::WideExtractFileExt(Name));
    if (extension == L".avi") return AviHoldsNothing(Name);
    if (extension == L".wav" || extension == L".mp3") return WaveHoldsNothing(Name);
    return extension == L".wmv" && AsfHoldsNothing(Name);
}

TReplacedFile::TReplacedFile(std::wstring Name) : name_(std::move(Name)) {
    const DWORD attributes = GetFileAttributesW(name_.c_str());
    // A read-only file is kept as its user wants it: the recording is refused before it comes here.
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return;
    // Older files that copies killed on the way left beside this one are settled first.
    SweepReplacedFiles(unicode::WideExtractFilePath(name_));
    size_ = FileIdentity(name_).Size;
    // A name no recording takes, unique to this process, and this process's mark on it, made before
    // the file is there; a rename within the folder costs nothing, whatever the file's size.
    static std::atomic<std::uint64_t> moved{0};
    const std::uint64_t number = ++moved;
    const std::wstring aside = settings::ProcessOwnName(name_, number, kReplacedSuffix);
    held_ = MakeMark(AsideKey(GetCurrentProcessId(), number));
    if (held_ != nullptr && MoveFileExW(name_.c_str(), aside.c_str(), 0))
        aside_ = aside;
    else
        DropMark(held_);
}

TReplacedFile::~TReplacedFile() {
    try {
        PutBack();
    } catch (...) {
    }
    DropMark(held_);
}

void TReplacedFile::Discard() {
    if (aside_.empty()) return;
    std::wstring aside;
    aside.swap(aside_);
    Dispose(aside, held_);
    held_ = nullptr;
}

void TReplacedFile::Free() {
    if (aside_.empty()) return;
    const std::atomic<bool> hurry{true};
    DeleteEmptied(aside_, hurry);
    aside_.clear();
    DropMark(held_);
}

std::wstring TReplacedFile::PutBack() {
    if (aside_.empty()) return std::wstring();
    std::wstring aside;
    aside.swap(aside_);
    std::wstring kept;
    if (!MoveFileExW(aside.c_str(), name_.c_str(), 0)) {
        // Taken since (another program wrote a file there): the older file is kept beside it.
        kept = KeptOlderName(name_);
        if (kept.empty() || !MoveFileExW(aside.c_str(), kept.c_str(), 0)) kept = aside;
    }
    DropMark(held_);
    return kept.empty() ? std::wstring() : classlib::Format(RecText(IDS_REC_OLDER_KEPT), {name_, kept});
}

bool HeldByAnother(HRESULT Result) { return Result == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION); }

bool IsFullDisk(HRESULT Result) {
    return Result == HRESULT_FROM_WIN32(ERROR_DISK_FULL) || Result == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) ||
           Result == STG_E_MEDIUMFULL;
}

bool OlderFileMakesRoom(const std::wstring& Name, const TReplacedFile& Older) {
    constexpr std::uint64_t kRoomToRecord = 32ull << 20;
    ULARGE_INTEGER free{};
    const std::wstring folder = unicode::WideExtractFilePath(Name);
    if (!Older.Moved() || folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) return false;
    return free.QuadPart < kRoomToRecord && free.QuadPart + Older.Size() >= kRoomToRecord;
}

std::wstring RunRefusal(const std::wstring& File, HRESULT Failure) {
    if (!FAILED(Failure)) Failure = E_FAIL;
    const bool fileRefused = HRESULT_FACILITY(Failure) == FACILITY_WIN32 || HRESULT_FACILITY(Failure) == FACILITY_STORAGE;
    return fileRefused ? classlib::Format(RecText(IDS_REC_CANNOT_WRITE), {File, FailureText(Failure)})
                       : classlib::Format(RecText(IDS_REC_CANNOT_RUN), {FailureText(Failure)});
}

std::wstring FailureText(HRESULT Result) {
    // The system's own words first (a file system's refusal), then DirectShow's for its codes.
    const std::uint32_t code = HRESULT_FACILITY(Result) == FACILITY_WIN32 ? HRESULT_CODE(Result)
                                                                          : static_cast<std::uint32_t>(Result);
    std::wstring text = classlib::SysErrorMessage(code);
    if (text.empty()) text = dshow::GetErrorString(Result);
    text = classlib::TrimRight(text);
    if (text.empty()) text = classlib::Format(L"error $%.8x", {static_cast<std::uint32_t>(Result)});
    return text;
}

std::wstring SoundInputProblem(const std::wstring& Input, int Operation, unsigned long Error) {
    wchar_t words[MAXERRORLENGTH] = {};
    std::wstring why;
    if (waveInGetErrorTextW(static_cast<MMRESULT>(Error), words, MAXERRORLENGTH) == MMSYSERR_NOERROR)
        why = classlib::TrimRight(words);
    if (why.empty()) why = classlib::Format(L"sound error %d", {static_cast<int>(Error)});
    return classlib::Format(RecText(Operation == SNDDEV_ERROR_Open ? IDS_REC_SOUND_NOT_OPENED : IDS_REC_SOUND_FAILED),
                            {Input, why});
}

}  // namespace ui
