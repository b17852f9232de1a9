// What the main window checks of the files it names: a name stem that stays one file-name part,
// a recording's file that can be written before a start (its folder there, no folder in its place,
// no other program writing it), a finished AVI file that holds anything at all, and the words
// that tell the user why a write failed or a sound input let a recording down; sound and Windows
// Media files without any data; an older file moved out of the way of the recording that replaces
// it, and the names that copies of the program record into.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace ui {

// Stem as one part of a file name: the parts between folder separators that are only dots ("..",
// ".") are dropped, the others joined by "_", and the characters a file name cannot hold (control
// characters and < > : " | ? *) left out. "..\..\escaped" gives "escaped".
std::wstring FileNameStem(const std::wstring& Stem);

// Whether the folder Folder, not there yet, can be made: its drive is there and every missing part
// of its path is a name that a folder can have. Nothing is made: a path that cannot be made whole
// is not begun.
bool FolderCanBeMade(const std::wstring& Folder);

// What keeps a recording from writing the file Name now, as the user reads it; empty when it can
// be written. The file is opened for writing and closed again (a file made for the test is
// removed): a missing or unmade folder, a folder of that name, a file another program has open or
// another copy records into, a read-only file or folder and a name the file system refuses all
// answer here. InUse, when
// given, tells whether the answer is that another program has the file open (or made it just now).
std::wstring RecordingFileProblem(const std::wstring& Name, bool* InUse = nullptr);

// Another copy of this program records into Name, or the file Name exists and another program
// holds it open for writing, or reading without letting others write: a recording cannot take it
// over.
bool FileInUse(const std::wstring& Name);

// A closed AVI file with nothing in it (no bytes, or a movie list without any stream's data): no
// player opens it. False for a file that is not AVI, cannot be read, holds data or whose chunks
// cannot be walked cleanly to its end.
bool AviHoldsNothing(const std::wstring& Name);

// A closed WAVE file (a sound recording, PCM or MP3) whose data chunk is empty and ends the file,
// or which ends cleanly without one: no sound reached it. False for anything else.
bool WaveHoldsNothing(const std::wstring& Name);

// A closed ASF file (a Windows Media recording) whose objects can be walked cleanly to its end and
// whose data object holds no packet, or a single one while the file plays for no time past its
// preroll (a recording of 0 seconds). False for anything else.
bool AsfHoldsNothing(const std::wstring& Name);

// Another copy of the program records into Name now: it has claimed the name for its recording
// (TRecordingClaim), whether or not its writer holds the file yet.
bool RecordedByAnotherCopy(const std::wstring& Name);

// This process's claim on the name of the recording it writes, for as long as the object lives:
// other copies neither offer that name for replacing nor take it.
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
};
TFileIdentity FileIdentity(const std::wstring& Name);

// An older file that a recording replaces, moved out of its way while the recording starts: the
// writer then begins a new file at once instead of emptying the older one, which for a large file
// keeps the start waiting while the file system frees its space. The older file stays whole until
// the new recording has written something: then Discard() hands it to a thread that empties it a
// step at a time, so that the recording's writes never wait long, and deletes it (the program's
// end waits for what is left). A recording that writes nothing puts it back (PutBack()).
// Moved aside, it carries a mark in its name that no user's file carries, and the copy of the
// program that moved it says that it still holds it for as long as it does, so that another copy
// never takes it for a left-over.
class TReplacedFile {
public:
    // Moves Name aside (renamed beside itself) when it is a file that can be written; nothing
    // otherwise, nor when it cannot be moved.
    explicit TReplacedFile(std::wstring Name);
    // Puts the older file back, unless it was settled (discarded, freed or put back) before.
    ~TReplacedFile();
    TReplacedFile(const TReplacedFile&) = delete;
    TReplacedFile& operator=(const TReplacedFile&) = delete;
    bool Moved() const { return !aside_.empty(); }
    const std::wstring& Name() const { return name_; }
    // Bytes of the older file (0 when nothing was moved).
    std::uint64_t Size() const { return Moved() ? size_ : 0; }
    // The recording has begun: the older file goes, on the deleting thread.
    void Discard();
    // Its room is wanted at once: emptied and deleted now, on this thread.
    void Free();
    // Back under its name. When the name has been taken since, the older file is kept under a
    // name of its own beside it: the words telling the user where it is, empty when it went back.
    std::wstring PutBack();

private:
    std::wstring name_;
    std::wstring aside_;  // empty: nothing moved, or settled
    std::uint64_t size_ = 0;
    HANDLE held_ = nullptr;  // the mark that this process holds the file aside
};

// Older files that copies of the program moved aside and left when they were killed, in Folder:
// each goes back under its name when that name is free (or holds a recording that wrote nothing),
// else it was replaced as its user said and is emptied and deleted on the deleting thread. Files
// a running copy holds aside stay as they are.
void SweepReplacedFiles(const std::wstring& Folder);

// A recording file of any of the program's kinds (told by its extension) that holds nothing a
// player would show: no bytes, or an AVI, WAVE or Windows Media file without a frame or a sound.
bool RecordingHoldsNothing(const std::wstring& Name);

// A writer that tells this while its part runs, or refuses the run with it, could not open its file:
// another program (another copy of this one) holds it, and nothing of the recording is in it.
bool HeldByAnother(HRESULT Result);
// The answers of a write refused for want of room, whichever writer or file system gives it.
bool IsFullDisk(HRESULT Result);
// The volume of the folder of Name, a recording's file, has little room (less than a few seconds of
// the largest formats take), and Older, the older file that the recording replaces, would make
// enough: writing over it would have given the recording that room.
bool OlderFileMakesRoom(const std::wstring& Name, const TReplacedFile& Older);

// Why the graph would not run a recording into File (Failure its answer), as the user reads it: a
// file the system refused, or the graph's own reason.
std::wstring RunRefusal(const std::wstring& File, HRESULT Failure);

// The system's words for a failure code (an HRESULT, or a Windows error in one); the code in hex
// when the system has none.
std::wstring FailureText(HRESULT Result);

// Why the sound input Input let a recording down, as the user reads it: it could not be opened
// (Operation is the graph's SNDDEV_ERROR_Open) or stopped giving sound (any other operation), with
// the system's words for the sound error Error.
std::wstring SoundInputProblem(const std::wstring& Input, int Operation, unsigned long Error);

}  // namespace ui
