// The scene list: a binary ".scn" file beside a DV recording that lists the scenes the scene
// detector reports, one record per scene change plus the last scene at stop. The scene count in
// its header follows every record, so that a recording that never stops (a killed process, a power
// cut) leaves a list that tells the scenes it holds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "classlib/streams.h"
#include "filters/dv_codes.h"

namespace engine {

// How a list's file is opened: created, or emptied when there (the list's own way); made new, never
// over a file that is there; or the empty file made for it beforehand, which its maker holds open
// for reading meanwhile.
enum TScnFileOpen { scnCreate, scnNew, scnMade };

// Creates (or empties) the list FileName and writes its header; true on success. A list that is
// still open is closed first. The list is opened by its wide name, shared for reading alone; the
// name field inside the file holds FileName in the single-byte system code page.
bool OpenScnFile(const std::wstring& FileName, TScnFileOpen How = scnCreate);
// The same on a stream already made (empty, at its start) in place of the file; the list owns it.
bool OpenScnStream(const std::wstring& FileName, std::unique_ptr<classlib::TStream> Stream);

// The scene callback: appends one scene record (the first frame of the scene that ends and the
// current frame) and writes the new count into the header. At most 32,768 records are written;
// write errors are swallowed: a record that does not reach the list whole is cut off again and not
// counted, so that the list holds whole records only and its count says how many.
void WriteScnScene(const filters::TDVInfoRec& SceneStart, const filters::TDVInfoRec& Current);
static_assert(std::is_same_v<decltype(&WriteScnScene), filters::TSceneCallback>);

// Writes the scene count into the header and closes the list; closing a closed list does nothing.
void CloseScnFile();

// Whether Stream holds nothing but a list as this module writes it for a file named as FileName
// (its folder aside): nothing at all, or the header naming such a list followed by whole records
// and perhaps a record cut short. False for anything else, a list that names another file too.
bool ScnStreamHoldsOnlyItsOwn(classlib::TStream& Stream, const std::wstring& FileName);

// True from OpenScnFile (even when it failed) to CloseScnFile: the main window closes the list
// by it.
bool ScnOpen();
// Path of the current (or last) list and the whole records written in it.
std::wstring ScnFileName();
std::int32_t ScnCount();

}  // namespace engine
