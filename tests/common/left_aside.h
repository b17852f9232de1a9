// What a copy of the program leaves in a folder when it is killed while it holds an older file
// aside: the older file under its aside name and the record written beside it before the move.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ui/replaced_files.h"

namespace quill_test {

// The older file of Name (its bytes Older) left aside in Folder by a copy that runs no more, under
// the stem numbered Number; the record names the file the copy had made at the name when
// MadeThere (the file there now), and uses the short stem of a name too long for the marks when
// ShortStem. The older file's aside name.
inline std::filesystem::path LeaveAside(const std::filesystem::path& Folder, const std::wstring& Name,
                                        const std::string& Older, int Number, bool MadeThere, bool ShortStem = false) {
    ui::TAsideRecord record;
    record.Folder = Folder.wstring() + L"\\";
    record.Stem = (ShortStem ? std::wstring(L"~quillotrane") : Name) + L".FFFFFFF0." + std::to_wstring(100000 + Number);
    record.Names[ui::pfRecording] = Name;
    if (MadeThere) record.Made[ui::pfRecording] = ui::FileIdentity((Folder / Name).wstring());
    std::ofstream(std::filesystem::path(record.AsideFile(ui::pfRecording)), std::ios::binary) << Older;
    const std::wstring text = record.Text();
    std::ofstream(std::filesystem::path(record.RecordFile()), std::ios::binary)
        .write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
    return record.AsideFile(ui::pfRecording);
}

}  // namespace quill_test
