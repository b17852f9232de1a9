// The replace net: how a recording takes a name that holds an older file, and why nothing the user
// keeps is lost on the way, whatever kills the program and whatever other copies do meanwhile.
//  1. The name is claimed before anything is moved or made under it (TRecordingClaim), and the
//     claim is held until everything the recording part did there is settled (TRecordingPart, in
//     recording_part.h, owns both). Without the claim nothing is moved, removed or put back there.
//  2. An older file is never written over in place. Before anything moves, the part makes its own
//     file, and a record beside the older file tells what moves (the recording and its scene list,
//     which belongs to it) and which file the part made (its identity). Then the older files move
//     aside (TAsideSet) and the part's files take the names.
//  3. A running part holds its own files, its record and its aside files open, the last two
//     locked, so that no copy of any logon takes them for a killed copy's, and no identity passes
//     to another file meanwhile. A file is removed only when it is the part's own, judged through
//     a handle opened for delete, and holds nothing.
//  4. The older files go only once the part's recording holds a picture or a sound; they are
//     marked given up (renamed) before they are emptied, so that a kill meanwhile leaves nothing
//     that looks kept.
//  5. Otherwise one routine puts them back (TAsideSet::PutBack), under the name's claim: back under
//     their names when those are free, else kept beside them as "(older)" and the user told.
//  6. What killed copies left is settled by the sweep (SweepReplacedFiles) through their records
//     alone, by the same routine: given-up files are finished, the others put back or kept. Files
//     that only look alike are never touched: they are left and told once.
// A new path that records under a name makes a TRecordingPart, lets it take the name (Take), and
// ends with its Settle (or its destructor); it never moves, deletes or puts back a file itself.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// Another copy of the program records into Name now: it has claimed the name for its recording
// (TRecordingClaim), whether or not its writer holds the file yet.
bool RecordedByAnotherCopy(const std::wstring& Name);

// This process's claim on a recording's name, for as long as the object lives: other copies (and
// other claims of this one) neither offer that name for replacing nor take it, nor put an older
// file back there.
class TRecordingClaim {
public:
    explicit TRecordingClaim(const std::wstring& Name);
    ~TRecordingClaim();
    TRecordingClaim(const TRecordingClaim&) = delete;
    TRecordingClaim& operator=(const TRecordingClaim&) = delete;
    // No other claim held the name before this one (and still holds it): the name is this one's.
    bool First() const { return first_; }

private:
    std::wstring key_;
    HANDLE mark_ = nullptr;
    bool first_ = false;
};

// What tells one file from another under one name: its volume and index, its size and its last
// write. Equal for the same file unchanged; Exists is false when there is no file of that name.
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

// CreateFileW that answers nullptr, not INVALID_HANDLE_VALUE, when the file cannot be opened; and
// the handle closed and forgotten.
HANDLE OpenFileHandle(const std::wstring& Name, DWORD Access, DWORD Share, DWORD Disposition);
void CloseFileHandle(HANDLE& File);

// Renames the file open as File (with delete access) to Name, never over another file; marks it to
// be deleted once its last handle closes.
bool RenameOpenFile(HANDLE File, const std::wstring& Name);
bool DeleteOpenFile(HANDLE File);

// Removes the file Name when it is Made, the file a recording part made there, and (unless Always)
// holds no recording: judged and deleted through one handle opened for delete. Busy tells that the
// file could not be opened because another handle (a writer) holds it.
bool RemoveIfMade(const std::wstring& Name, const TFileIdentity& Made, bool Always, bool& Busy);

// The files of one recording part: its recording and the scene list beside it.
enum TPartFile { pfRecording = 0, pfSceneList = 1 };
inline constexpr int kPartFiles = 2;

// The scene list beside the recording Name.
std::wstring SceneListOf(const std::wstring& Name);

// The record of one part's older files, written beside them before they move: for each of its
// files, the name (without folder; empty when the part has no such file) and the identity of the
// file the part made for it. Its stem (Folder + Stem) names the record and the files aside.
struct TAsideRecord {
    std::wstring Folder;  // with its closing separator
    std::wstring Stem;
    std::array<std::wstring, kPartFiles> Names;
    std::array<TFileIdentity, kPartFiles> Made;

    std::wstring RecordFile() const;
    // Where the older file Kind waits aside, where it goes once given up, where the part's own file
    // waits until it takes the name.
    std::wstring AsideFile(int Kind) const;
    std::wstring GoneFile(int Kind) const;
    std::wstring NewFile(int Kind) const;
    std::wstring Original(int Kind) const { return Names[Kind].empty() ? std::wstring() : Folder + Names[Kind]; }
    // The record's text, and the record read back from a file's text: false unless it carries the
    // record's signature and is whole.
    std::wstring Text() const;
    bool Parse(const std::wstring& Text);
};
// A record for the older files of the recording Name, under a stem of this process's whose files
// are all free; a name too long to carry the marks gets a short stem.
TAsideRecord NewAsideRecord(const std::wstring& Name);

// The older files of one recording part, moved aside under its record: held open and locked
// while this object lives. Whatever is not settled (discarded, freed or put back) when it goes is
// put back.
class TAsideSet {
public:
    // Moves the older files Older (opened by the caller for read, write and delete, without
    // sharing delete) aside under Record, whose made files already exist (at their new names); the
    // record is written first. The handles it moves are the set's (nulled in Older); null, with
    // Error set, when nothing could be moved (all is as before, every handle still the caller's).
    static std::unique_ptr<TAsideSet> MoveAside(TAsideRecord Record, std::array<HANDLE, kPartFiles>& Older,
                                                DWORD& Error);
    // Gives the older files Older (opened as for MoveAside) up where they are, for a disk with no
    // room for the record: each is marked given up (renamed) first, the record follows once the
    // first step of emptying has made room for it, then they are emptied and deleted now. False,
    // with nothing given up, when none could be marked.
    static bool FreeInPlace(TAsideRecord Record, std::array<HANDLE, kPartFiles> Older);
    // The set a copy left in Folder under the record file RecordFile, taken over when no running
    // copy of any logon holds it; null when one does, or when the file is no record of ours.
    static std::unique_ptr<TAsideSet> Adopt(const std::wstring& RecordFile);
    ~TAsideSet();
    TAsideSet(const TAsideSet&) = delete;
    TAsideSet& operator=(const TAsideSet&) = delete;

    const TAsideRecord& Record() const { return record_; }
    // Bytes of the older files still aside.
    std::uint64_t Size() const;
    bool Settled() const { return settled_; }
    // The recording that replaced them has begun: marked given up, then emptied and deleted on the
    // deleting thread (the program's end waits for what is left).
    void Discard();
    // Their room is wanted at once: marked given up, emptied and deleted now.
    void Free();
    // Puts them back under their names, the recording's name claimed by Claim (held by the
    // caller). The part's own files there go first when RemoveMade: each only when it is the one
    // the part made, and the recording only when it holds nothing (its scene list goes with it).
    // A name taken keeps its older file beside it as "(older)". The words telling the user where,
    // empty when all went back; nothing is said of a file that could not be moved at all (it
    // stays aside under its record, for a later sweep).
    // TellStuck: a file that could not be moved at all is told where it stays too.
    std::wstring PutBack(const TRecordingClaim& Claim, bool RemoveMade, bool TellStuck);

private:
    TAsideSet() = default;
    void GiveUp(bool Now);
    TAsideRecord record_;
    HANDLE recordFile_ = nullptr;
    std::array<HANDLE, kPartFiles> aside_{};
    std::array<bool, kPartFiles> gone_{};  // the file aside is marked given up
    bool settled_ = false;
};

// Settles, in Folder, what copies of the program that no longer run (of any logon) left aside: the
// older files they had given up go; the others go back under their names when those are free and
// claimed by no running copy (the file the copy made there, when it holds nothing, gives the name
// up), else are kept beside them. Files that only look like older files moved aside are left as
// they are and told once. The words telling the user where each kept or left file is.
std::vector<std::wstring> SweepReplacedFiles(const std::wstring& Folder);

}  // namespace ui
