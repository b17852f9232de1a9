// What the main window checks of the files it names: a name stem that stays one file-name part,
// a recording's file that can be written before a start (its folder there, no folder in its place,
// no other program writing it), a finished AVI file that holds anything at all, and the words
// that tell the user why a write failed or a sound input let a recording down; sound and Windows
// Media files without any data; an older file moved out of the way of the recording that replaces it.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

// Stem as one part of a file name: the parts between folder separators that are only dots ("..",
// ".") are dropped, the others joined by "_", and the characters a file name cannot hold (control
// characters and < > : " | ? *) left out. "..\..\escaped" gives "escaped".
std::wstring FileNameStem(const std::wstring& Stem);

// What keeps a recording from writing the file Name now, as the user reads it; empty when it can
// be written. The file is opened for writing and closed again (a file made for the test is
// removed): a missing or unmade folder, a folder of that name, a file another program has open,
// a read-only file or folder and a name the file system refuses all answer here. InUse, when
// given, tells whether the answer is that another program has the file open (or made it just now).
std::wstring RecordingFileProblem(const std::wstring& Name, bool* InUse = nullptr);

// The file Name exists and another program (or another copy of this one) holds it open for
// writing, or reading without letting others write: a recording cannot take it over.
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

// An older file that a recording replaces, moved out of its way while the recording starts: the
// writer then begins a new file at once instead of emptying the older one, which for a large file
// keeps the start waiting while the file system frees its space. Once the recording runs,
// Discard() hands the older file to a thread that empties it a step at a time, so that the
// recording's writes never wait long, then deletes it (the program's end waits for what is left);
// a start that fails puts it back.
class TReplacedFile {
public:
    // Moves Name aside (renamed beside itself) when it is a file; nothing otherwise, nor when it
    // cannot be moved (the writer then empties it itself).
    explicit TReplacedFile(std::wstring Name);
    // Puts the older file back under its name, unless discarded or the name has been taken since.
    ~TReplacedFile();
    TReplacedFile(const TReplacedFile&) = delete;
    TReplacedFile& operator=(const TReplacedFile&) = delete;
    void Discard();

private:
    std::wstring name_;
    std::wstring aside_;  // empty: nothing moved, or discarded
};

// The system's words for a failure code (an HRESULT, or a Windows error in one); the code in hex
// when the system has none.
std::wstring FailureText(HRESULT Result);

// Why the sound input Input let a recording down, as the user reads it: it could not be opened
// (Operation is the graph's SNDDEV_ERROR_Open) or stopped giving sound (any other operation), with
// the system's words for the sound error Error.
std::wstring SoundInputProblem(const std::wstring& Input, int Operation, unsigned long Error);

}  // namespace ui
