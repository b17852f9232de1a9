// The replace net: how a recording takes a name that holds an older file, and why nothing the user
// keeps is lost on the way, whatever kills the program and whatever other copies do meanwhile.
//  1. The name is claimed before anything is moved or made under it (TRecordingClaim), and the
//     claim is held until everything the recording part did there is settled (TRecordingPart, in
//     recording_part.h, owns both). Without the claim nothing is moved, removed or put back there.
//  2. An older file is never written over in place. Before anything moves, the part makes its own
//     file, and a record beside the older file tells what moves (the recording and its scene list,
//     which belongs to it: the record names no other file) and which file the part made. Then the
//     older files move aside (TAsideSet) and the part's files take the names as second names of
//     the files it made, whose first names (its witnesses) it keeps until it is settled: while a
//     witness holds a file, its index cannot pass to another, so a record names a file that the
//     part made, and that file alone.
//  3. A running part holds its record and its aside files open and locked, and its own files (its
//     recording too) open without reading or writing them, which refuses no writer whatever it
//     shares (aside_record.h); its name's claim tells copies of every logon that the recording is
//     in use, from before anything is moved or made there. So no copy of any logon takes them for
//     older files or for a killed copy's: a locked or claimed file is in use. A file is removed
//     only when it is the part's own, judged through a handle opened for delete, and holds nothing
//     the part did not write (no picture or sound in a recording, nothing but the part's own
//     scenes in a scene list).
//  4. The older files go only once the part's recording holds a picture or a sound; they are
//     marked given up (renamed) before they are emptied, so that a kill meanwhile leaves nothing
//     that looks kept. Where the disk has no room even for the record, the record is made (a name
//     alone) before anything is given up, and its words follow once the first room is freed. A
//     record's words, once written, are never cut short by a kill: new words are written beside
//     them and put over them in one step (WriteRecord).
//  5. Otherwise one routine puts them back (TAsideSet::PutBack), under the name's claim: back under
//     their names when those are free, else kept beside them as "(older)", the record telling
//     where before they move, and the user told. The record goes once the user has been told.
//  6. What killed copies left is settled by the sweep (SweepReplacedFiles) through their records
//     alone, by the same routine: given-up files are finished, the others put back or kept, and
//     the files a part made and never gave a name (or whose name is gone) removed when they hold
//     nothing. A record cut short (its copy killed, or no room) tells only that its copy gave its
//     older files up, or never moved them: its given-up files are finished, its made files that
//     hold nothing removed. Where one is found cut short with files aside and none given up (a
//     disk fault, or an earlier version), they go back by the names their stem carries, and the
//     user is told. Files that only look alike are never touched: they are left and told once,
//     until they change.
// A new path that records under a name makes a TRecordingPart, lets it take the name (Take), and
// ends with its Settle (or its destructor); it never moves, deletes or puts back a file itself.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/aside_record.h"

namespace ui {

// Another copy of the program (of any logon) records into Name now: it has claimed the name for
// its recording (TRecordingClaim), whether or not it has made its file or its writer holds it yet.
bool RecordedByAnotherCopy(const std::wstring& Name);

// This process's claim on a recording's name, for as long as the object lives: other copies of any
// logon (and other claims of this one) neither offer that name for replacing nor take it, nor put
// an older file back there. The copies of this logon know it by a named object; those of other
// logons by a file beside the name (ClaimFileOf), locked, which goes with the claim (or with its
// copy, killed).
class TRecordingClaim {
public:
    explicit TRecordingClaim(const std::wstring& Name);
    ~TRecordingClaim();
    TRecordingClaim(const TRecordingClaim&) = delete;
    TRecordingClaim& operator=(const TRecordingClaim&) = delete;
    // No other claim held the name before this one (and still holds it): the name is this one's.
    bool First() const { return first_; }
    // The claim is on Name (however it is written).
    bool On(const std::wstring& Name) const;

private:
    std::wstring key_;
    HANDLE mark_ = nullptr;
    HANDLE file_ = nullptr;  // the claim's file, locked (none where it cannot be made)
    bool first_ = false;
};

// The older files of one recording part, moved aside under its record: held open and locked
// while this object lives. Whatever is not settled (discarded, freed or put back) when it goes is
// put back, and the record kept for the next start to tell where.
class TAsideSet {
public:
    // Moves the older files Older (opened by the caller for read, write and delete, without
    // sharing delete) aside under Record, whose made files already exist (at their new names); the
    // record is written first. With none to move, the set holds the record of the made files
    // alone. The handles it moves are the set's (nulled in Older); null, with Error set, when
    // nothing could be moved (all is as before, every handle still the caller's).
    // When the disk had no room for the record's words, its file (made, emptied and locked) is
    // handed to EmptyRecord for FreeInPlace, where given.
    static std::unique_ptr<TAsideSet> MoveAside(TAsideRecord Record, std::array<HANDLE, kPartFiles>& Older,
                                                DWORD& Error, HANDLE* EmptyRecord = nullptr);
    // Gives the older files Older (opened as for MoveAside) up where they are, for a disk with no
    // room for the record: the record's file is made first (RecordFile, or made now), then each
    // file is marked given up (renamed), the record's words follow once the first step of
    // emptying has made room for them, and they are emptied and deleted now. False, with nothing
    // given up, when no record could be made or no file marked.
    static bool FreeInPlace(TAsideRecord Record, std::array<HANDLE, kPartFiles> Older, HANDLE RecordFile);
    // The set a copy left in Folder under the record file RecordFile, taken over when no running
    // copy of any logon holds it; null when one does, or when the file is no whole record of ours.
    static std::unique_ptr<TAsideSet> Adopt(const std::wstring& RecordFile);
    ~TAsideSet();
    TAsideSet(const TAsideSet&) = delete;
    TAsideSet& operator=(const TAsideSet&) = delete;

    const TAsideRecord& Record() const { return record_; }
    // Bytes of the older files still aside.
    std::uint64_t Size() const;
    bool Settled() const { return settled_; }
    // The recording that replaced them has begun: marked given up, then emptied and deleted on the
    // deleting thread (the program's end waits for what is left). A file that cannot be marked
    // (its folder cannot be written) stays aside, whole, under the record: the words telling the
    // user where, empty when none stayed.
    std::wstring Discard();
    // Their room is wanted at once: marked given up, emptied and deleted now.
    void Free();
    // The user said to replace them and the recording has begun: they are marked given up before
    // anything of the part's is let go (whatever room the disk has left), so that a copy killed
    // before it gave them up leaves them for the next start to give up, never to keep. A put back
    // (the recording could not go on) marks them aside again first.
    void MarkBegun();
    // It holds older files (aside or being given up), not only the record of a part's own files.
    bool HoldsOlder() const;
    // Puts them back under their names, the recording's name claimed by Claim (held by the
    // caller). The part's own files there go first when RemoveMade: each only when it is the one
    // the part made, and the recording only when it holds nothing (its scene list goes with it).
    // A name taken keeps its older file beside it as "(older)". The words telling the user where,
    // empty when all went back; nothing is said of a file that could not be moved at all (it
    // stays aside under its record, for a later sweep), unless TellStuck. Where something is
    // kept, the record (which tells it) stays until this object goes: the caller tells the user
    // first, and a copy killed before it did leaves the telling to the next start.
    std::wstring PutBack(const TRecordingClaim& Claim, bool RemoveMade, bool TellStuck);
    // The words of its settling will not be told (the program ends): its record stays, for the
    // next start to tell them.
    void Untold() { untold_ = true; }
    // Leaves what could not be settled (a file aside that could not be given up) aside, whole,
    // under its record, for the next start's sweep.
    void Leave();

private:
    TAsideSet() = default;
    // Marks the files given up and deletes them (Now, or on the deleting thread); the files that
    // could not be marked stay aside, and the words tell where.
    std::wstring GiveUp(bool Now);
    // The record rewritten with what it tells now (where files are kept).
    bool Rewrite();
    TAsideRecord record_;
    HANDLE recordFile_ = nullptr;
    std::array<HANDLE, kPartFiles> aside_{};
    std::array<bool, kPartFiles> gone_{};  // the file aside is marked given up
    bool settled_ = false;
    // Its record waits for its words (where files are kept) to be told, and goes then.
    bool recordWaits_ = false;
    // Its words were never told (or it was left): its record stays for the next start.
    bool untold_ = false;
    // Its record was cut short: its copy gave its older files up, or never moved them.
    bool cutShort_ = false;
    // Its record, cut short, gave no names: its files aside go back by the names their stem
    // carries, and the user hears where each went.
    bool byStem_ = false;
    // Marked given up by MarkBegun, not yet given up.
    std::array<bool, kPartFiles> markedBegun_{};
};

// What a sweep of a folder has to tell the user, and what waits until it has been told: the sets
// whose older files it kept beside their names (their records tell where until then) and the
// look-alikes it tells (remembered as told once they have been).
// The words are taken for told once it goes (a copy killed before that leaves them to the next
// start).
struct TSweepTold {
    TSweepTold() = default;
    TSweepTold(TSweepTold&& Other) noexcept;
    TSweepTold& operator=(TSweepTold&&) = delete;
    ~TSweepTold();
    std::vector<std::wstring> Words;
    std::vector<std::unique_ptr<TAsideSet>> Waiting;
    // The folder's look-alikes, as the note of those told is to hold them once they are told.
    std::wstring Folder;
    std::vector<std::wstring> LookAlikes;
    bool LookAlikesChanged = false;
};

// Settles, in Folder, what copies of the program that no longer run (of any logon) left aside: the
// older files they had given up go; the others go back under their names when those are free and
// claimed by no running copy (the file the copy made there, when it holds nothing, gives the name
// up), else are kept beside them; the files they made and never named, or whose names are gone,
// go when they hold nothing. Files that only look like older files moved aside are left as they
// are and told once, until they change. The words telling the user where each kept or left file
// is.
TSweepTold SweepReplacedFiles(const std::wstring& Folder);

}  // namespace ui
