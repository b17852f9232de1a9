// The sweep of a recordings' folder: what copies that no longer run left there, settled through
// their records, and the files that only look like theirs, told once until they change.
#include <algorithm>
#include <mutex>
#include <set>
#include <utility>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "settings/program_texts.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "ui/replaced_files.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace ui {

namespace {

// The note, in a folder, of the look-alikes told there: each by its name, size and last write, so
// that one is told again only once it has changed. No user's file bears its name.
const wchar_t kToldNote[] = L"~quillotrane.~quillotrane-told";
const wchar_t kToldSignature[] = L"Quillotrane: files told as looking like older files moved aside, note 1";

// The look-alikes told in this run, by their full names and how they were: told once whatever the
// note could keep (a folder that cannot be written keeps none).
std::mutex& ToldLock() {
    static std::mutex lock;
    return lock;
}
std::set<std::wstring>& ToldThisRun() {
    static std::set<std::wstring> told;
    return told;
}

// How a look-alike is in the note: its name, size and last write.
std::wstring NoteLine(const std::wstring& File, const TFileIdentity& Identity) {
    return File + L"\t" + classlib::IntToHex(Identity.Size, 16) + L"\t" + classlib::IntToHex(Identity.Written, 16);
}

std::set<std::wstring> ReadNote(const std::wstring& Folder) {
    std::set<std::wstring> lines;
    HANDLE file = OpenFileHandle(Folder + kToldNote, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == nullptr) return lines;
    LARGE_INTEGER size{};
    std::wstring text;
    if (GetFileSizeEx(file, &size) && size.QuadPart <= (1 << 20) && size.QuadPart % 2 == 0) {
        text.resize(static_cast<std::size_t>(size.QuadPart / 2));
        DWORD read = 0;
        if (!ReadFile(file, text.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr) || read != size.QuadPart)
            text.clear();
    }
    CloseHandle(file);
    std::size_t at = 0;
    bool signature = true;
    while (at < text.size()) {
        const std::size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) break;
        const std::wstring line = text.substr(at, end - at);
        at = end + 2;
        if (signature && line != kToldSignature) break;
        if (!signature) lines.insert(line);
        signature = false;
    }
    return lines;
}

// What the record file File of Folder holds, read through Handle (read access): one of this
// program's records, whole or cut short (Ours), and whether it could be read now (one that cannot
// is taken for ours, and left for a later look).
bool ReadsAsRecord(HANDLE Handle, const std::wstring& Folder, const std::wstring& File, bool& Read) {
    std::string bytes;
    bool tooLarge = false;
    Read = ReadRecordFile(Handle, bytes, &tooLarge);
    if (!Read) return !tooLarge;
    TAsideRecord record;
    TMarkedKind mark = mkRecord;
    int kind = 0;
    if (!MarkedFile(File, record.Stem, mark, kind)) return false;
    record.Folder = Folder;
    return record.Read(bytes) != TAsideRecord::rdOther;
}

// Whether the record file Name is one of this program's records, whole or cut short.
bool RecordOfOurs(const std::wstring& Folder, const std::wstring& File) {
    HANDLE file = OpenFileHandle(Folder + File, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 OPEN_EXISTING);
    if (file == nullptr) return !NameFree(Folder + File);  // there, but held: a copy's, for a moment
    bool read = false;
    const bool ours = ReadsAsRecord(file, Folder, File, read);
    CloseHandle(file);
    return ours;
}

// A record's next words that a copy killed before it put them in place left (the record holds
// its words before or after them, whole): they go, unless a running copy writes them now. A file
// of that name that holds no record's words is not the program's: it is left, without a word.
void RemoveNextRecord(const std::wstring& Folder, const std::wstring& File) {
    HANDLE file = OpenFileHandle(Folder + File, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == nullptr) return;
    bool read = false;
    if (!HeldByRunningCopy(file) && ReadsAsRecord(file, Folder, File, read) && read) DeleteOpenFile(file);
    CloseHandle(file);
}

// A file that a part made and that no record tells of (its copy was killed before it wrote its
// record, or after its record went): removed when it holds nothing of its own (no byte, or another
// name holds its file), unless a running copy holds it. False when it is left.
bool RemoveUnrecordedMade(const std::wstring& Name, const std::wstring& Stem) {
    const std::wstring recording = RecordingOfStem(Stem);
    // A copy of this logon that makes its part's files there claims their recording's name first.
    TRecordingClaim claim(recording.empty() ? Name : unicode::WideExtractFilePath(Name) + recording);
    if (!claim.First()) return true;
    HANDLE file = OpenFileHandle(Name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == nullptr) return true;
    bool removed = false;
    if (HeldByRunningCopy(file))
        removed = true;  // left to the copy that holds it, without a word
    else if (IdentityOf(file).Size == 0 || LinksOf(file) >= 2)
        removed = DeleteOpenFile(file);
    CloseHandle(file);
    return removed;
}

}  // namespace

TSweepTold::TSweepTold(TSweepTold&& Other) noexcept
    : Words(std::move(Other.Words)),
      Waiting(std::move(Other.Waiting)),
      Folder(std::move(Other.Folder)),
      LookAlikes(std::move(Other.LookAlikes)),
      LookAlikesChanged(std::exchange(Other.LookAlikesChanged, false)) {}

TSweepTold::~TSweepTold() {
    // The records that waited for their words to be told go with their sets.
    Waiting.clear();
    if (!LookAlikesChanged || Folder.empty()) return;
    const std::wstring note = Folder + kToldNote;
    if (LookAlikes.empty()) {
        DeleteFileW(note.c_str());
        return;
    }
    std::wstring text = std::wstring(kToldSignature) + L"\r\n";
    for (const std::wstring& line : LookAlikes) text += line + L"\r\n";
    HANDLE file = OpenFileHandle(note, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    if (file == nullptr) return;
    DWORD written = 0;
    WriteFile(file, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

TSweepTold SweepReplacedFiles(const std::wstring& Folder) {
    TSweepTold told;
    if (Folder.empty()) return told;
    const std::wstring folder = Folder.back() == L'\\' || Folder.back() == L'/' ? Folder : Folder + L"\\";
    told.Folder = folder;
    // One look at the folder: the records, and the other files that bear their marks.
    std::vector<std::wstring> records, marked;
    bool noteThere = false;
    WIN32_FIND_DATAW found{};
    HANDLE search = unicode::Uc_FindFirstFileW((folder + MarkedFilesPattern()).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return told;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (std::wstring(found.cFileName) == kToldNote) noteThere = true;
        std::wstring stem;
        TMarkedKind mark = mkRecord;
        int kind = 0;
        if (!MarkedFile(found.cFileName, stem, mark, kind)) continue;
        (mark == mkRecord ? records : marked).push_back(found.cFileName);
    } while (unicode::Uc_FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& file : records) {
        try {
            std::unique_ptr<TAsideSet> set = TAsideSet::Adopt(folder + file);
            if (!set) continue;
            // The name is claimed while its files go back: no copy takes it meanwhile.
            const std::wstring name = set->Record().Original(pfRecording);
            TRecordingClaim claim(name.empty() ? folder + file : name);
            const std::wstring words = set->PutBack(claim, true, false);
            if (words.empty()) continue;
            told.Words.push_back(words);
            // Its record tells where until the user has been told.
            told.Waiting.push_back(std::move(set));
        } catch (...) {
        }
    }
    // What no record of ours tells of: the files parts made are removed when they hold nothing,
    // and whatever else only looks like a file of theirs is the user's: left, and told once until
    // it changes.
    const std::set<std::wstring> noted = noteThere ? ReadNote(folder) : std::set<std::wstring>();
    std::vector<std::wstring> lookAlikes;
    for (const std::wstring& file : marked) {
        std::wstring stem;
        TMarkedKind mark = mkRecord;
        int kind = 0;
        MarkedFile(file, stem, mark, kind);
        const std::wstring name = folder + file;
        // Gone since the look, or with a record of ours beside it (held by a running copy, or made
        // since the look: another copy's, about to move its file).
        if (NameFree(name)) continue;
        if (mark == mkNextRecord) {
            try {
                RemoveNextRecord(folder, file);
            } catch (...) {
            }
            continue;
        }
        const std::wstring recordFile = RecordFileOfStem(stem);
        if (!NameFree(folder + recordFile) && RecordOfOurs(folder, recordFile)) continue;
        try {
            if (mark == mkNew && RemoveUnrecordedMade(name, stem)) continue;
        } catch (...) {
        }
        const TFileIdentity identity = FileIdentity(name);
        const std::wstring line = NoteLine(file, identity);
        lookAlikes.push_back(line);
        bool first = false;
        {
            std::lock_guard<std::mutex> guard(ToldLock());
            first = ToldThisRun().insert(folder + line).second;
        }
        if (!first || noted.count(line) != 0) continue;
        told.LookAlikesChanged = true;
        told.Words.push_back(classlib::Format(RecText(mark == mkGone ? IDS_REC_GONE_UNKNOWN : IDS_REC_OLDER_UNKNOWN), {name}));
    }
    // The note holds the look-alikes there now: one gone is forgotten, so that it is told again
    // should it come back.
    std::sort(lookAlikes.begin(), lookAlikes.end());
    if (std::set<std::wstring>(lookAlikes.begin(), lookAlikes.end()) != noted) told.LookAlikesChanged = true;
    if (lookAlikes.empty() && !noteThere) told.LookAlikesChanged = false;
    told.LookAlikes = std::move(lookAlikes);
    return told;
}

}  // namespace ui
