// The record of a recording part's files, and the identities, handles, locks and names the replace
// net judges files by.
#include "ui/aside_record.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string_view>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/streams.h"
#include "engine/scene_list.h"
#include "ui/recording_files.h"
#include "unicode/wide_files.h"

namespace ui {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The byte, far past any file's end, that a running copy keeps locked.
constexpr DWORD kHeldLockHigh = 0x40000000;

// The marks in the names of a part's record and of its files, which no user's file carries; a
// scene list's files carry "-scn" after them.
const wchar_t kRecordSuffix[] = L".~quillotrane-name";
const wchar_t kNextRecordSuffix[] = L".~quillotrane-name-next";
const wchar_t kAsideSuffix[] = L".~quillotrane-older";
const wchar_t kGoneSuffix[] = L".~quillotrane-gone";
const wchar_t kNewSuffix[] = L".~quillotrane-new";
// The claim of a name, beside it; no part's file (the sweep leaves it to its claim).
const wchar_t kClaimSuffix[] = L".~quillotrane-claim";
// Every mark begins so.
const wchar_t kMarkStart[] = L".~quillotrane-";
const wchar_t kSceneListMark[] = L"-scn";
// The stem of the files of a name too long to carry the marks.
const wchar_t kShortStem[] = L"~quillotrane";
// The first line of a record (no user's file begins so), the version it was written by, and its
// last line. A record of the first version has no last line, no kept lines, and its made files no
// witness: its word never takes a file at a name for the part's.
const wchar_t kRecordSignature[] = L"Quillotrane: older files moved aside, record ";
const wchar_t kRecordEnd[] = L"end";
const wchar_t* const kKindLabels[kPartFiles] = {L"recording", L"scene list"};
const wchar_t kKeptLabel[] = L"kept";
// No record is larger.
constexpr LONGLONG kMostRecordBytes = 16384;
// The steps of writing a record, for a test's kills.
const wchar_t kRecordWritePoint[] = L"record write";

std::wstring KindMark(int Kind) { return Kind == pfSceneList ? kSceneListMark : L""; }

int Utf8Bytes(const std::wstring& Name) {
    return WideCharToMultiByte(CP_UTF8, 0, Name.c_str(), static_cast<int>(Name.size()), nullptr, 0, nullptr, nullptr);
}

// A file name a record may hold: one name of its folder, nothing more.
bool PlainFileName(const std::wstring& Name) {
    return !Name.empty() && NameFits(Name) && Name != L"." && Name != L".." &&
           std::none_of(Name.begin(), Name.end(),
                        [](wchar_t c) { return c < 32 || std::wstring_view(L"\\/:<>\"|?*").find(c) != std::wstring_view::npos; });
}

std::wstring IdentityText(const TFileIdentity& Made) {
    return Made.Exists ? classlib::IntToHex(Made.Volume, 8) + L"." + classlib::IntToHex(Made.IndexHigh, 8) + L"." +
                             classlib::IntToHex(Made.IndexLow, 8)
                       : std::wstring(L"-");
}

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

bool ReadIdentity(const std::wstring& Text, TFileIdentity& Identity) {
    Identity = TFileIdentity();
    if (Text == L"-") return true;
    if (Text.size() != 26 || Text[8] != L'.' || Text[17] != L'.' || !ReadHex8(Text, 0, Identity.Volume) ||
        !ReadHex8(Text, 9, Identity.IndexHigh) || !ReadHex8(Text, 18, Identity.IndexLow))
        return false;
    Identity.Exists = true;
    return true;
}

// The fields of one line of a record, split at its tabs.
std::vector<std::wstring> Fields(const std::wstring& Line) {
    std::vector<std::wstring> fields;
    std::size_t at = 0;
    for (;;) {
        const std::size_t tab = Line.find(L'\t', at);
        fields.push_back(Line.substr(at, tab == std::wstring::npos ? std::wstring::npos : tab - at));
        if (tab == std::wstring::npos) return fields;
        at = tab + 1;
    }
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

bool RenameOpenFile(HANDLE File, const std::wstring& Name, bool Replace) {
    wchar_t full[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameW(Name.c_str(), MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return false;
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = Replace ? TRUE : FALSE;
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

// The point and pass a test names for the process to end at (QUILL_TEST_KILL_AT), and the passes
// of that point so far.
struct TKillAt {
    std::wstring Point;
    long Pass = 0;
    std::atomic<long> Passes{0};
    TKillAt() {
        wchar_t value[128] = {};
        const DWORD length = GetEnvironmentVariableW(L"QUILL_TEST_KILL_AT", value, 128);
        if (length == 0 || length >= 128) return;
        const std::wstring named(value, length);
        const std::size_t colon = named.rfind(L':');
        if (colon == std::wstring::npos) return;
        Pass = std::wcstol(named.c_str() + colon + 1, nullptr, 10);
        if (Pass > 0) Point = named.substr(0, colon);
    }
};

TKillAt& KillAt() {
    static TKillAt at;
    return at;
}

}  // namespace

bool KillNamed(const wchar_t* Point) {
    TKillAt& at = KillAt();
    return !at.Point.empty() && at.Point == Point && ++at.Passes == at.Pass;
}

void KillNow() {
    TerminateProcess(GetCurrentProcess(), 9);
    for (;;) Sleep(INFINITE);
}

bool HoldForCopy(HANDLE File) {
    OVERLAPPED at{};
    at.OffsetHigh = kHeldLockHigh;
    return File != nullptr &&
           LockFileEx(File, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != FALSE;
}

bool HeldByRunningCopy(HANDLE File) {
    if (!HoldForCopy(File)) return true;
    OVERLAPPED at{};
    at.OffsetHigh = kHeldLockHigh;
    UnlockFileEx(File, 0, 1, 0, &at);
    return false;
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

DWORD LinksOf(HANDLE File) {
    BY_HANDLE_FILE_INFORMATION information{};
    return File != nullptr && GetFileInformationByHandle(File, &information) ? information.nNumberOfLinks : 0;
}

TFileIdentity FileIdentity(const std::wstring& Name) {
    HANDLE file = CreateFileW(Name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TFileIdentity();
    const TFileIdentity identity = IdentityOf(file);
    CloseHandle(file);
    return identity;
}

std::wstring SceneListOf(const std::wstring& Name) { return unicode::WideChangeFileExt(Name, L".scn"); }

bool NameFits(const std::wstring& Name) { return !Name.empty() && Name.size() <= 255; }

bool NameRefused(DWORD Error, const std::wstring& Name) {
    if (Error == ERROR_FILENAME_EXCED_RANGE || Error == ERROR_INVALID_NAME) return true;
    // Wine answers a name longer than its file system's 255 bytes as one not found.
    const std::wstring file = unicode::WideExtractFileName(Name);
    return (Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND) && Utf8Bytes(file) > 255;
}

// ---- The record --------------------------------------------------------------------------

bool NameFree(const std::wstring& Name) { return GetFileAttributesW(Name.c_str()) == INVALID_FILE_ATTRIBUTES; }

std::wstring RecordFileOfStem(const std::wstring& Stem) { return Stem + kRecordSuffix; }
std::wstring MarkedFilesPattern() { return std::wstring(L"*") + kMarkStart + L"*"; }

std::wstring ClaimFileOf(const std::wstring& Name, std::uint64_t NameHash) {
    const std::wstring claim = unicode::WideExtractFileName(Name) + kClaimSuffix;
    const std::wstring folder = unicode::WideExtractFilePath(Name);
    if (NameFits(claim) && Utf8Bytes(claim) <= 255) return folder + claim;
    return folder + kShortStem + L"." + classlib::IntToHex(NameHash, 16) + kClaimSuffix;
}

std::wstring TAsideRecord::RecordFile() const { return Folder + RecordFileOfStem(Stem); }
std::wstring TAsideRecord::NextRecordFile() const { return Folder + Stem + kNextRecordSuffix; }
std::wstring TAsideRecord::AsideFile(int Kind) const { return Folder + Stem + kAsideSuffix + KindMark(Kind); }
std::wstring TAsideRecord::GoneFile(int Kind) const { return Folder + Stem + kGoneSuffix + KindMark(Kind); }
std::wstring TAsideRecord::NewFile(int Kind) const { return Folder + Stem + kNewSuffix + KindMark(Kind); }

bool TAsideRecord::MadeThere(int Kind, const TFileIdentity& There) const {
    return There.SameFile(Made[Kind]) && FileIdentity(NewFile(Kind)).SameFile(Made[Kind]);
}

std::wstring TAsideRecord::Text() const {
    std::wstring text = std::wstring(kRecordSignature) + L"2\r\n";
    for (int kind = pfRecording; kind < kPartFiles; ++kind)
        if (!Names[kind].empty())
            text += std::wstring(kKindLabels[kind]) + L"\t" + Names[kind] + L"\t" + IdentityText(Made[kind]) + L"\r\n";
    for (int kind = pfRecording; kind < kPartFiles; ++kind)
        if (!Kept[kind].empty())
            text += std::wstring(kKeptLabel) + L"\t" + kKindLabels[kind] + L"\t" + Kept[kind] + L"\t" +
                    IdentityText(KeptAs[kind]) + L"\r\n";
    return text + kRecordEnd + L"\r\n";
}

TAsideRecord::TRead TAsideRecord::Read(const std::string& Bytes) {
    Names = {};
    Made = {};
    Kept = {};
    KeptAs = {};
    // A record is written as UTF-16; its signature begins it, whatever its version.
    const std::wstring signature = kRecordSignature;
    const std::size_t units = Bytes.size() / 2;
    std::wstring text(units, L'\0');
    std::copy(Bytes.data(), Bytes.data() + units * 2, reinterpret_cast<char*>(text.data()));
    const std::size_t signed_ = std::min(units, signature.size());
    if (text.compare(0, signed_, signature, 0, signed_) != 0) return rdOther;
    if (Bytes.size() % 2 != 0 || units <= signature.size()) return rdCutShort;
    std::vector<std::wstring> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) return rdCutShort;
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    const std::wstring version = lines.empty() ? std::wstring() : lines[0].substr(signature.size());
    if (version != L"1" && version != L"2") return rdOther;
    const bool first = version == L"1";
    // A record of this version ends with its last line: one without it was cut short.
    if (!first && (lines.size() < 2 || lines.back() != kRecordEnd)) return rdCutShort;
    const std::size_t body = first ? lines.size() : lines.size() - 1;
    for (std::size_t line = 1; line < body; ++line) {
        const std::vector<std::wstring> fields = Fields(lines[line]);
        const bool kept = !first && fields.size() == 4 && fields[0] == kKeptLabel;
        const std::wstring& labelText = kept ? fields[1] : fields[0];
        const auto label = std::find(std::begin(kKindLabels), std::end(kKindLabels), labelText);
        if ((!kept && fields.size() != 3) || label == std::end(kKindLabels)) return rdOther;
        const int kind = static_cast<int>(label - std::begin(kKindLabels));
        if (kept) {
            if (!Kept[kind].empty() || !PlainFileName(fields[2]) || !ReadIdentity(fields[3], KeptAs[kind])) return rdOther;
            Kept[kind] = fields[2];
            continue;
        }
        if (!Names[kind].empty() || !PlainFileName(fields[1]) || !ReadIdentity(fields[2], Made[kind])) return rdOther;
        Names[kind] = fields[1];
    }
    // A record tells of its own recording (its stem is the recording's, or the short one) and of
    // nothing but that recording's own scene list beside it.
    const std::wstring& recording = Names[pfRecording];
    if (recording.empty()) return rdOther;
    if (Stem.rfind(recording + L".", 0) != 0 && Stem.rfind(std::wstring(kShortStem) + L".", 0) != 0) return rdOther;
    if (!Names[pfSceneList].empty() && Names[pfSceneList] != SceneListOf(recording)) return rdOther;
    // The first version's made files have no witness: nothing at a name is taken for its own.
    if (first) Made = {};
    return rdWhole;
}

namespace {

// Writes Text whole into File at its position, the file ending there, flushed. A test's kill at
// the write leaves half of it, as a kill in the middle of a write may.
bool WriteAll(HANDLE File, const std::wstring& Text) {
    const DWORD bytes = static_cast<DWORD>(Text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (KillNamed(kRecordWritePoint)) {
        WriteFile(File, Text.c_str(), bytes / 2, &written, nullptr);
        KillNow();
    }
    if (!WriteFile(File, Text.c_str(), bytes, &written, nullptr)) return false;
    if (written != bytes) {
        // Wine cuts a write short without a word on a full disk.
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    if (!SetEndOfFile(File)) return false;
    KillPoint(kRecordWritePoint);
    return FlushFileBuffers(File) != FALSE;
}

}  // namespace

bool WriteRecord(HANDLE& File, const TAsideRecord& Record) {
    LARGE_INTEGER size{}, start{};
    if (File == nullptr || !GetFileSizeEx(File, &size)) return false;
    const std::wstring text = Record.Text();
    if (size.QuadPart == 0) {
        if (SetFilePointerEx(File, start, nullptr, FILE_BEGIN) && WriteAll(File, text)) return true;
        const DWORD error = GetLastError();
        if (SetFilePointerEx(File, start, nullptr, FILE_BEGIN)) SetEndOfFile(File);
        SetLastError(error == ERROR_SUCCESS ? ERROR_DISK_FULL : error);
        return false;
    }
    KillPoint(kRecordWritePoint);
    // Held as the record is: no sweep takes it for a left-over while it is written.
    HANDLE next =
        OpenFileHandle(Record.NextRecordFile(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_ALWAYS);
    if (next == nullptr) return false;
    HoldForCopy(next);
    const auto dropNext = [&] {
        const DWORD error = GetLastError();
        DeleteOpenFile(next);
        CloseFileHandle(next);
        SetLastError(error == ERROR_SUCCESS ? ERROR_DISK_FULL : error);
        return false;
    };
    if (!WriteAll(next, text)) return dropNext();
    KillPoint(kRecordWritePoint);
    // No file open can be replaced: the old record is let go as the new one takes its name. A
    // copy that looks at it in that moment holds it a moment longer.
    const std::wstring name = Record.RecordFile();
    CloseFileHandle(File);
    bool placed = false;
    for (int tries = 0; !placed && tries < 50; ++tries) {
        placed = RenameOpenFile(next, name, true);
        if (!placed) Sleep(tries < 10 ? 1 : 10);
    }
    if (!placed) {
        const DWORD error = GetLastError();
        File = OpenFileHandle(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
        HoldForCopy(File);
        SetLastError(error);
        return dropNext();
    }
    File = next;
    KillPoint(kRecordWritePoint);
    return true;
}

bool ReadRecordFile(HANDLE File, std::string& Bytes, bool* TooLarge) {
    LARGE_INTEGER size{}, start{};
    Bytes.clear();
    if (TooLarge != nullptr) *TooLarge = false;
    if (File == nullptr || !GetFileSizeEx(File, &size)) return false;
    if (size.QuadPart > kMostRecordBytes) {
        if (TooLarge != nullptr) *TooLarge = true;
        return false;
    }
    if (!SetFilePointerEx(File, start, nullptr, FILE_BEGIN)) return false;
    Bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    return Bytes.empty() ||
           (ReadFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &read, nullptr) && read == Bytes.size());
}

TAsideRecord NewAsideRecord(const std::wstring& Name, bool ShortStem) {
    static std::atomic<std::uint64_t> sets{0};
    TAsideRecord record;
    record.Folder = unicode::WideExtractFilePath(Name);
    record.Names[pfRecording] = unicode::WideExtractFileName(Name);
    const std::wstring longest = std::wstring(kAsideSuffix) + kSceneListMark;
    for (int tries = 0; tries < 1000; ++tries) {
        const std::wstring number =
            L"." + classlib::IntToHex(GetCurrentProcessId(), 4) + L"." + classlib::IntToHex(++sets, 6);
        record.Stem = record.Names[pfRecording] + number;
        if (ShortStem || !NameFits(record.Stem + longest)) record.Stem = kShortStem + number;
        bool free = NameFree(record.RecordFile());
        for (int kind = pfRecording; kind < kPartFiles; ++kind)
            free = free && NameFree(record.AsideFile(kind)) && NameFree(record.GoneFile(kind)) &&
                   NameFree(record.NewFile(kind));
        // A stem of a killed copy that ran under this process's id is left to the sweep.
        if (free) break;
    }
    return record;
}

bool MarkedFile(const std::wstring& File, std::wstring& Stem, TMarkedKind& Mark, int& Kind) {
    const std::pair<const wchar_t*, TMarkedKind> marks[] = {{kRecordSuffix, mkRecord},
                                                            {kNextRecordSuffix, mkNextRecord},
                                                            {kAsideSuffix, mkAside},
                                                            {kGoneSuffix, mkGone},
                                                            {kNewSuffix, mkNew}};
    for (const auto& [suffix, mark] : marks)
        for (int kind = pfRecording; kind < kPartFiles; ++kind) {
            const bool record = mark == mkRecord || mark == mkNextRecord;
            if (record && kind != pfRecording) continue;
            const std::wstring tail = std::wstring(suffix) + (record ? L"" : KindMark(kind));
            if (File.size() <= tail.size() || File.compare(File.size() - tail.size(), tail.size(), tail) != 0) continue;
            Stem = File.substr(0, File.size() - tail.size());
            Mark = mark;
            Kind = record ? -1 : kind;
            return true;
        }
    return false;
}

std::wstring RecordingOfStem(const std::wstring& Stem) {
    // "<recording>.<process>.<number>"
    const std::size_t number = Stem.rfind(L'.');
    const std::size_t process = number == std::wstring::npos || number == 0 ? std::wstring::npos : Stem.rfind(L'.', number - 1);
    if (process == std::wstring::npos) return std::wstring();
    const std::wstring recording = Stem.substr(0, process);
    return recording == kShortStem ? std::wstring() : recording;
}

// ---- What a file holds -------------------------------------------------------------------------

bool HoldsOnly(HANDLE File, const std::wstring& Name, TRemovable Removable) {
    switch (Removable) {
        case rmAnything:
            return true;
        case rmHoldsNothing:
            return RecordingHoldsNothing(File, Name);
        case rmOwnSceneList: {
            classlib::THandleStream stream(File);
            return engine::ScnStreamHoldsOnlyItsOwn(stream, Name);
        }
    }
    return false;
}

bool RemoveIfMade(const std::wstring& Name, const TFileIdentity& Made, TRemovable Removable, bool& Busy) {
    Busy = false;
    if (!Made.Exists) return false;
    HANDLE file = OpenFileHandle(Name, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == nullptr) {
        const DWORD error = GetLastError();
        Busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        return false;
    }
    bool removed = false;
    try {
        removed = IdentityOf(file).SameFile(Made) && HoldsOnly(file, Name, Removable) && DeleteOpenFile(file);
    } catch (...) {
    }
    CloseHandle(file);
    return removed;
}

}  // namespace ui
