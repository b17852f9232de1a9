// One recording part's hold on its name, from the question to the moment it is settled: the name's
// claim, the files it made there (held open without reading or writing, so that no other file takes
// their identity and no writer is refused) and the older files it moved aside. Every path of a recording (start, cut, stop, a refusal, the restart
// in an older file's room) goes through it; the rules are in replaced_files.h.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ui/replaced_files.h"

namespace ui {

// The files at a recording's name and at its scene list's, as a question showed them (or found
// that there were none).
struct TNamedFiles {
    TFileIdentity Recording;
    TFileIdentity SceneList;
    bool operator==(const TNamedFiles&) const = default;
};
TNamedFiles FilesAt(const std::wstring& Name);

class TRecordingPart {
public:
    // Claims Name: Claimed() when no other copy (nor another part of this one) holds it. A claim
    // on Name that this process holds already (handed over from a part before) is taken over.
    explicit TRecordingPart(std::wstring Name, std::unique_ptr<TRecordingClaim> Claim = nullptr);
    // Settles what is not settled yet: its own files that hold nothing go, the older files back
    // (where one is kept, its record stays for the next start to tell: nobody tells it now).
    ~TRecordingPart();
    TRecordingPart(const TRecordingPart&) = delete;
    TRecordingPart& operator=(const TRecordingPart&) = delete;

    const std::wstring& Name() const { return name_; }
    bool Claimed() const { return claim_ && claim_->First(); }
    // The part made its scene list's file (Take was asked for one).
    bool MadeSceneList() const { return made_[pfSceneList] != nullptr; }

    // Takes the name for a recording: the older recording there moves aside, and its scene list
    // with it (or alone, when the part writes a scene list, SceneList); then the part's own file,
    // and its scene list's when SceneList, take the names (as second names of the files it made
    // beside them, which keep their first names until the part is settled). With Asked, only the
    // files it names are moved (nothing at a name it found free): anything else there leaves the
    // name untaken, Changed(). A file that cannot be moved (another program holds it without
    // letting it be renamed, or a running copy of any logon holds it as its own: InUse(), or it
    // cannot be written) leaves it untaken: Problem() tells why, naming the user's file.
    bool Take(const TNamedFiles* Asked, bool SceneList);
    bool Changed() const { return changed_; }
    bool InUse() const { return inUse_; }
    // The disk has no room even for the record of the older files: they are still whole under
    // their names, held, and FreeOlderInPlace gives their room when nothing else stands in the way.
    bool NoRoom() const { return noRoom_; }
    void FreeOlderInPlace();
    const std::wstring& Problem() const { return problem_; }

    // Older files are aside, and the bytes they hold.
    bool Replaced() const { return aside_ && !aside_->Settled(); }
    std::uint64_t OlderSize() const;
    // The recording's file is still the one the part made, and holds a whole picture or sound that
    // a player reads.
    bool RecordingBegun() const;
    // The part's recording holds nothing a player would show (or is not its own any more: false).
    bool HoldsNothing() const;
    // The recording has begun: the older files go, on the deleting thread.
    void Discard();
    // Their room is wanted at once: emptied and deleted now.
    void FreeRoom();
    // Hands the older files over (the part goes on without them), and the name's claim (the part
    // is settled without it: the name stays claimed by whoever takes it).
    std::unique_ptr<TAsideSet> TakeAside() { return std::move(aside_); }
    std::unique_ptr<TRecordingClaim> TakeClaim() { return std::move(claim_); }

    // What happens to the part's own files when it is settled: they stay (another program's now),
    // go when the recording holds nothing, or go whatever they hold (a start that did not begin).
    enum TOwnFiles { ofKeep, ofWhenEmpty, ofRemove };
    // Settles the part: its own files as How says, then the older files gone when the recording
    // begun is there, else back under their names (or kept beside them, Told says where; the
    // record telling it stays until the part goes, the caller telling the user before). False,
    // with nothing done, while a writer still holds a file that should go, unless WritersGone.
    // Older files that could not be given up (their folder cannot be written) stay aside, whole,
    // and Told says where.
    bool Settle(TOwnFiles How, bool WritersGone, std::wstring& Told);
    bool Settled() const { return settled_; }
    // Its own files removed as How says (ofKeep: the recording stays, its scene list goes); false
    // while one that should go is held, unless WritersGone.
    bool RemoveOwnFiles(TOwnFiles How, bool WritersGone);

private:
    // What Look says of the part's recording, read through a handle of its own file; false when the
    // name holds another file.
    bool LookAtRecording(bool (*Look)(HANDLE, const std::wstring&)) const;
    // Makes the part's own file for Kind at Name (For, as the user knows it), held from now on;
    // false with Problem set (Refused: the file system refused the name).
    bool Make(int Kind, const std::wstring& Name, const std::wstring& For, bool* Refused = nullptr);
    // The part's files made where the older files Older are to move aside, under Record; false
    // with everything made removed (RefusedName: the file system refused a name of the record).
    bool MakeBeside(TAsideRecord& Record, const std::array<bool, kPartFiles>& Makes,
                    const std::array<bool, kPartFiles>& Moves, bool& RefusedName);
    // The part's own files made so far removed, and let go.
    void DropMade(const std::array<std::wstring, kPartFiles>& Names);
    // Its files' witnesses (their first names) removed once nothing else needs them; false while a
    // writer holds one, unless WritersGone.
    bool RemoveWitnesses(bool WritersGone);

    std::wstring name_;
    std::unique_ptr<TRecordingClaim> claim_;
    // Its own files, held open without reading or writing them: no writer's sharing refuses it.
    std::array<HANDLE, kPartFiles> made_{};
    std::array<TFileIdentity, kPartFiles> madeIdentity_{};
    // Their first names, kept until the part is settled (empty: made under their names).
    std::array<std::wstring, kPartFiles> witness_{};
    std::unique_ptr<TAsideSet> aside_;
    // Held under their names when there was no room to move them aside (NoRoom), with the record
    // made for them.
    std::array<HANDLE, kPartFiles> olderHere_{};
    TAsideRecord olderRecord_;
    HANDLE olderRecordFile_ = nullptr;
    bool noRoom_ = false;
    bool changed_ = false;
    bool inUse_ = false;
    bool settled_ = false;
    bool recordingRemoved_ = false;
    std::wstring problem_;
};

// The volume of the folder of Name, a recording's file, has little room (less than a few seconds of
// the largest formats take), and Part's older files would make enough: writing over them would have
// given the recording that room.
bool OlderFileMakesRoom(const std::wstring& Name, const TRecordingPart& Part);
bool OlderFileMakesRoom(const std::wstring& Name, std::uint64_t OlderSize);

}  // namespace ui
