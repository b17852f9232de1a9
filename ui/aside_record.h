// The record of a recording part's files, written beside the older files before they move (and
// rewritten so that a kill never cuts it short), and what the replace net judges files by: their
// identity, the handles it opens them with, the lock that tells a running copy's files, and the
// names it may give them (the rules are in replaced_files.h); and the kill points a test names.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

namespace ui {

// What tells one file from another under one name: its volume and index, its size and its last
// write. Equal for the same file unchanged; Exists is false when there is no file of that name. An
// index alone can pass to another file once the file is deleted (file systems hand freed indexes on
// at once): a file the part made is known as its own only while a name of the part's own (its
// witness) still holds it, so that its index cannot pass.
struct TFileIdentity {
    bool Exists = false;
    DWORD Volume = 0;
    DWORD IndexHigh = 0;
    DWORD IndexLow = 0;
    std::uint64_t Size = 0;
    std::uint64_t Written = 0;
    bool operator==(const TFileIdentity&) const = default;
    // The same file, however it has grown or been written since.
    bool SameFile(const TFileIdentity& Other) const {
        return Exists && Other.Exists && Volume == Other.Volume && IndexHigh == Other.IndexHigh &&
               IndexLow == Other.IndexLow;
    }
};
TFileIdentity FileIdentity(const std::wstring& Name);
TFileIdentity IdentityOf(HANDLE File);
// The names (hard links) of the file open as File; 0 when it cannot be told.
DWORD LinksOf(HANDLE File);

// CreateFileW that answers nullptr, not INVALID_HANDLE_VALUE, when the file cannot be opened; and
// the handle closed and forgotten.
HANDLE OpenFileHandle(const std::wstring& Name, DWORD Access, DWORD Share, DWORD Disposition);
void CloseFileHandle(HANDLE& File);

// Renames the file open as File (with delete access) to Name, never over another file unless
// Replace (then over a file that nothing holds open, in one step); marks it to be deleted once its
// last handle closes.
bool RenameOpenFile(HANDLE File, const std::wstring& Name, bool Replace = false);
bool DeleteOpenFile(HANDLE File);

// The lock a running copy keeps on the files of its own that no writer opens (its record, the older
// files aside, the claim of each name it records into, ClaimFileOf): one byte far past any file's
// end. A lock is seen by the copies of every logon, where an open handle is not seen across
// logons. The files it makes for writers are held without reading or writing (which takes no part
// in sharing, so that no writer is refused, whatever it shares): their names' claims tell them in
// use. Taken through a handle of read access alone the lock is seen only by a handle with write
// access. HoldForCopy takes it (false when another holds it); HeldByRunningCopy tells whether
// another holds it, and keeps nothing.
bool HoldForCopy(HANDLE File);
bool HeldByRunningCopy(HANDLE File);

// The files of one recording part: its recording and the scene list beside it.
enum TPartFile { pfRecording = 0, pfSceneList = 1 };
inline constexpr int kPartFiles = 2;

// The scene list beside the recording Name.
std::wstring SceneListOf(const std::wstring& Name);

// Whether a file name (no folder) fits the file systems of Windows: 255 UTF-16 units. A file system
// that measures otherwise (255 bytes of UTF-8 where Wine keeps its files) tells it when it refuses
// a name: Error, the answer to making or renaming a file to Name, is such a refusal.
bool NameFits(const std::wstring& Name);
bool NameRefused(DWORD Error, const std::wstring& Name);

// The record of one part's older files: for each of its files, the name (without folder; empty
// when the part has no such file), the identity of the file the part made for it (witnessed by the
// part's own name for it, NewFile, for as long as the part has not settled), and, once an older
// file could not go back under its name, where it is kept (written before it moves there). Its
// stem (Folder + Stem) names the record and the files aside.
struct TAsideRecord {
    std::wstring Folder;  // with its closing separator
    std::wstring Stem;
    std::array<std::wstring, kPartFiles> Names;
    std::array<TFileIdentity, kPartFiles> Made;
    std::array<std::wstring, kPartFiles> Kept;  // without folder
    std::array<TFileIdentity, kPartFiles> KeptAs;

    std::wstring RecordFile() const;
    // Where its next words are written before they are put over it.
    std::wstring NextRecordFile() const;
    // Where the older file Kind waits aside, where it goes once given up, and the part's own file
    // (made there, and holding its identity as a second name while the part runs).
    std::wstring AsideFile(int Kind) const;
    std::wstring GoneFile(int Kind) const;
    std::wstring NewFile(int Kind) const;
    std::wstring Original(int Kind) const { return Names[Kind].empty() ? std::wstring() : Folder + Names[Kind]; }
    // The file at the name of Kind (There) is the one the part made: its witness holds it still.
    bool MadeThere(int Kind, const TFileIdentity& There) const;
    // The record's text, and the record read back from a file's bytes.
    std::wstring Text() const;
    enum TRead { rdWhole, rdCutShort, rdOther };
    // Whole: a record of this program, whole (an earlier version's too). Cut short: one that its
    // copy began and could not finish (no room, or killed): nothing of it but its signature, or
    // not even that. Other: no record of this program (a user's file of that name).
    TRead Read(const std::string& Bytes);
};
// A record for the older files of the recording Name, under a stem of this process's whose files
// are all free; a name too long to carry the marks (or ShortStem: one that the file system refused
// with them) gets a short stem.
TAsideRecord NewAsideRecord(const std::wstring& Name, bool ShortStem = false);

// Writes Record's words into its file, open as File (read, write and delete access, sharing
// reading alone, and locked) and held so afterwards: a kill at any moment leaves either the words
// it held or the new ones whole. A record made empty is written in place (cut short, it tells no
// less than empty); else the new words go beside it (NextRecordFile), flushed, and are put over it
// in one step. False when they could not be written whole (no room) or put in place: the file
// then holds the old words (an empty one stays empty), File still holding it unless it could not
// be opened again.
bool WriteRecord(HANDLE& File, const TAsideRecord& Record);
// The bytes of a record's file open as File (read access); false when they cannot be read, or
// are more than any record holds (TooLarge).
bool ReadRecordFile(HANDLE File, std::string& Bytes, bool* TooLarge = nullptr);

// A test's kill point: the process ends at once, as a crash or a power cut ends it, when the
// environment variable QUILL_TEST_KILL_AT names Point and this is its pass so numbered
// ("record write:3"; read once). KillNamed tells whether it is (counting the pass) and KillNow
// ends the process, for a point that leaves something half done first.
bool KillNamed(const wchar_t* Point);
[[noreturn]] void KillNow();
inline void KillPoint(const wchar_t* Point) {
    if (KillNamed(Point)) KillNow();
}

// Whether nothing of that name is there.
bool NameFree(const std::wstring& Name);
// The name of the record of a stem (the stem's folder, if any, kept), and the search pattern that
// finds every file bearing a part's marks in a folder.
std::wstring RecordFileOfStem(const std::wstring& Stem);
std::wstring MarkedFilesPattern();
// The file beside the recording Name whose lock tells a copy's claim on that name to the copies of
// every logon: Name with the claim's mark, or, for a name too long to carry it, the short stem with
// NameHash (one for every way of writing the name's file part).
std::wstring ClaimFileOf(const std::wstring& Name, std::uint64_t NameHash);

// The names that the records and files of recording parts carry, told from the file name alone:
// the stem, the kind of file (-1 the record and its next words) and whether it holds an older file
// (aside or given up); false for any other name.
enum TMarkedKind { mkRecord, mkAside, mkGone, mkNew, mkNextRecord };
bool MarkedFile(const std::wstring& File, std::wstring& Stem, TMarkedKind& Mark, int& Kind);
// The recording a stem names (its part's claim); empty for a short stem.
std::wstring RecordingOfStem(const std::wstring& Stem);

// What a file may hold for the part to remove it: anything (a start that did not begin), no
// recording a player would show, or only what the part's scene list writer wrote there.
enum TRemovable { rmAnything, rmHoldsNothing, rmOwnSceneList };
// Whether the file open as File (read access), of the part's kind Kind, holds only what Removable
// allows.
bool HoldsOnly(HANDLE File, const std::wstring& Name, TRemovable Removable);

// Removes the file Name when it is Made, the file a recording part made there, and holds only what
// Removable allows: judged and deleted through one handle opened for delete. Busy tells that the
// file could not be opened because another handle (a writer) holds it.
bool RemoveIfMade(const std::wstring& Name, const TFileIdentity& Made, TRemovable Removable, bool& Busy);

}  // namespace ui
