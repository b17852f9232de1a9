// An older file that a recording replaces, and the names that copies of the program record into:
// the older file is moved out of the recording's way and only the copy that moved it deletes it,
// once its own recording has written something a player reads; what killed copies left aside is
// put back or kept beside its name, never deleted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

// Another copy of the program records into Name now: it has claimed the name for its recording
// (TRecordingClaim), whether or not its writer holds the file yet.
bool RecordedByAnotherCopy(const std::wstring& Name);

// This process's claim on the name of the recording it writes, for as long as the object lives:
// other copies neither offer that name for replacing nor take it, nor put an older file back there.
class TRecordingClaim {
public:
    explicit TRecordingClaim(const std::wstring& Name);
    ~TRecordingClaim();
    TRecordingClaim(const TRecordingClaim&) = delete;
    TRecordingClaim& operator=(const TRecordingClaim&) = delete;
    // No other copy claimed the name before this one (and still holds it).
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

// An older file that a recording replaces, moved out of its way while the recording starts: the
// writer then begins a new file at once instead of emptying the older one, which for a large file
// keeps the start waiting while the file system frees its space. A file of no bytes, made by this
// object, takes the name at once: the recording's file, known by its identity, whatever the name
// holds later. The older file stays whole until that recording has written a picture or a sound
// that a player reads: then Discard() hands it to a thread that empties it a step at a time and
// deletes it (the program's end waits for what is left). A recording that writes nothing puts it
// back (PutBack()). Moved aside, it carries a mark in its name that no user's file carries (a name
// too long for the mark gets a short one, its own name kept in a file beside it), and the copy of
// the program that moved it says that it still holds it for as long as it does.
class TReplacedFile {
public:
    // Moves Name aside when it is a file that can be written and, when Asked is given, still the
    // file asked about; nothing when there is no file. A file that cannot be moved (another program
    // holds it without letting it be renamed) is left whole: Problem() tells why.
    explicit TReplacedFile(std::wstring Name, const TFileIdentity* Asked = nullptr);
    // Puts the older file back, unless it was settled (discarded, freed or put back) before.
    ~TReplacedFile();
    TReplacedFile(const TReplacedFile&) = delete;
    TReplacedFile& operator=(const TReplacedFile&) = delete;
    bool Moved() const { return !aside_.empty(); }
    const std::wstring& Name() const { return name_; }
    // The file at the name is not the one asked about: nothing was moved, nothing may be written.
    bool Changed() const { return changed_; }
    // Why the file at the name could not be moved aside, as the user reads it; empty when it was
    // moved or there was none. InUse() when another program holds it.
    const std::wstring& Problem() const { return problem_; }
    bool InUse() const { return inUse_; }
    // Bytes of the older file (0 when nothing was moved).
    std::uint64_t Size() const { return Moved() ? size_ : 0; }
    // The recording that took the name has written a picture or a sound that a player reads: the
    // file there is still the one made for it, and it holds one.
    bool RecordingBegun() const;
    // The recording has begun: the older file goes, on the deleting thread.
    void Discard();
    // Its room is wanted at once: emptied and deleted now, on this thread.
    void Free();
    // Back under its name (the recording's own file is removed first when it holds nothing). When
    // the name is taken, the older file is kept under a name of its own beside it: the words
    // telling the user where it is, empty when it went back.
    std::wstring PutBack();

private:
    std::wstring name_;
    std::wstring aside_;      // empty: nothing moved, or settled
    std::wstring nameFile_;   // the file that keeps the name of a short aside name, or empty
    std::uint64_t size_ = 0;
    TFileIdentity recording_; // the file made under the name for the recording
    HANDLE held_ = nullptr;   // the mark that this process holds the file aside
    bool changed_ = false;
    bool inUse_ = false;
    std::wstring problem_;
};

// Older files that copies of the program moved aside and left when they were killed, in Folder:
// each goes back under its name when that name is free and claimed by no running copy (a recording
// there that holds nothing gives the name up), else it is kept under a free name of its own beside
// it. Nothing is deleted. Files a running copy holds aside stay as they are. The words telling the
// user where each kept file is, one per file.
std::vector<std::wstring> SweepReplacedFiles(const std::wstring& Folder);

// The volume of the folder of Name, a recording's file, has little room (less than a few seconds of
// the largest formats take), and Older, the older file that the recording replaces, would make
// enough: writing over it would have given the recording that room.
bool OlderFileMakesRoom(const std::wstring& Name, const TReplacedFile& Older);

}  // namespace ui
