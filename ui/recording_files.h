// What the main window checks of the files it names: a name stem that stays one file-name part,
// a recording's file that can be written before a start (its folder there, no folder in its place,
// no other program writing it), a finished AVI file that holds anything at all, and the words
// that tell the user why a write failed or a sound input let a recording down; sound and Windows
// Media files without any data, and recordings that hold a picture or a sound.
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
// holds it open for writing, or without letting others write or rename it: a recording cannot
// take it over.
bool FileInUse(const std::wstring& Name);
// The same once a hold of another program's has had a moment (two seconds) to pass.
bool FileStaysInUse(const std::wstring& Name);

// A closed AVI file with nothing in it (no bytes, or a movie list without any stream's data): no
// player opens it. False for a file that is not AVI, cannot be read, holds data or whose chunks
// cannot be walked cleanly to its end.
bool AviHoldsNothing(const std::wstring& Name);

// A WAVE file (a sound recording, PCM or MP3) whose data chunk's header ends the file (whatever
// size a header still growing tells: 0, or the most it can), or which ends cleanly without one: no
// sound reached it. False for anything else.
bool WaveHoldsNothing(const std::wstring& Name);

// A closed ASF file (a Windows Media recording) whose objects can be walked cleanly to its end and
// whose data object holds no packet, or a single one while the file plays for no time past its
// preroll (a recording of 0 seconds). False for anything else.
bool AsfHoldsNothing(const std::wstring& Name);

// A recording file of any of the program's kinds (told by its extension) that holds nothing a
// player would show: no bytes, or an AVI, WAVE or Windows Media file without a frame or a sound.
bool RecordingHoldsNothing(const std::wstring& Name);
// The same of the file open as File (read access), its kind told by Name's extension.
bool RecordingHoldsNothing(HANDLE File, const std::wstring& Name);
// A recording file of any of the program's kinds, finished or still being written, that holds a
// whole picture or a sound a player reads: an AVI stream's data chunk, a fiftieth of a second of a
// WAVE file's sound, an MPEG picture or sound packet, a Windows Media data packet. False when it
// cannot be sure.
bool RecordingHoldsMedia(const std::wstring& Name);
bool RecordingHoldsMedia(HANDLE File, const std::wstring& Name);

// A writer that tells this while its part runs, or refuses the run with it, could not open its file:
// another program (another copy of this one) holds it, and nothing of the recording is in it.
bool HeldByAnother(HRESULT Result);
// The answers of a write refused for want of room, whichever writer or file system gives it.
bool IsFullDisk(HRESULT Result);
// Why the graph would not run a recording into File (Failure its answer), as the user reads it: a
// file the system refused, or the graph's own reason.
std::wstring RunRefusal(const std::wstring& File, HRESULT Failure);

// The system's words for a failure code (an HRESULT, or a Windows error in one); the code in hex
// when the system has none.
std::wstring FailureText(HRESULT Result);
// Why the file Name cannot be written (Failure the system's answer to making or opening it), as
// the user reads it: a name the file system refuses as too long for its folder is told so.
std::wstring CannotWriteText(const std::wstring& Name, HRESULT Failure);

// Why the sound input Input let a recording down, as the user reads it: it could not be opened
// (Operation is the graph's SNDDEV_ERROR_Open) or stopped giving sound (any other operation), with
// the system's words for the sound error Error.
std::wstring SoundInputProblem(const std::wstring& Input, int Operation, unsigned long Error);

}  // namespace ui
