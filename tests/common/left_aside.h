// What a copy of the program leaves in a folder when it is killed while it holds an older file
// aside: the older file under its aside name and the record written beside it before the move,
// with the witness of the file it made at the name; and the other states a kill leaves, each as
// the program makes it: a record cut short, an older file given up, a made file without a record,
// an older file kept beside its name before the user was told, and an earlier version's record;
// and a volume whose only room is an older file's.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/common/older_file.h"
#include "ui/replaced_files.h"

namespace quill_test {

// The record of Name's older files in Folder, under the stem numbered Number (the short stem of a
// name too long for the marks when ShortStem).
inline ui::TAsideRecord LeftRecord(const std::filesystem::path& Folder, const std::wstring& Name, int Number,
                                   bool ShortStem = false) {
    ui::TAsideRecord record;
    record.Folder = Folder.wstring() + L"\\";
    record.Stem = (ShortStem ? std::wstring(L"~quillotrane") : Name) + L".FFFFFFF0." + std::to_wstring(100000 + Number);
    record.Names[ui::pfRecording] = Name;
    return record;
}

// Writes the record's file with Text (the record's own when empty: pass Cut to cut it short there).
inline void WriteRecord(const ui::TAsideRecord& Record, std::wstring Text = std::wstring(),
                        std::size_t Cut = std::wstring::npos) {
    if (Text.empty()) Text = Record.Text();
    if (Cut < Text.size()) Text.resize(Cut);
    std::ofstream(std::filesystem::path(Record.RecordFile()), std::ios::binary)
        .write(reinterpret_cast<const char*>(Text.data()), static_cast<std::streamsize>(Text.size() * sizeof(wchar_t)));
}

// The file at Kind's name is the one the copy made: its identity in the record and its witness (a
// second name of it) beside it, as the copy left them.
inline bool MadeAtName(ui::TAsideRecord& Record, int Kind) {
    const std::wstring name = Record.Original(Kind);
    Record.Made[Kind] = ui::FileIdentity(name);
    return CreateHardLinkW(Record.NewFile(Kind).c_str(), name.c_str(), nullptr) != FALSE;
}

// The older file of Name (its bytes Older) left aside in Folder by a copy that runs no more, under
// the stem numbered Number; the record names the file the copy had made at the name when
// MadeThere (the file there now, its witness beside it), and uses the short stem of a name too long
// for the marks when ShortStem. The older file's aside name.
inline std::filesystem::path LeaveAside(const std::filesystem::path& Folder, const std::wstring& Name,
                                        const std::string& Older, int Number, bool MadeThere, bool ShortStem = false) {
    ui::TAsideRecord record = LeftRecord(Folder, Name, Number, ShortStem);
    if (MadeThere) MadeAtName(record, ui::pfRecording);
    std::ofstream(std::filesystem::path(record.AsideFile(ui::pfRecording)), std::ios::binary) << Older;
    WriteRecord(record);
    return record.AsideFile(ui::pfRecording);
}

// The older recording (its bytes Older) left aside under Record by an earlier version of the
// program, whose record (version 1) names the files it made at the names by their index alone,
// with no witness. The older file's aside name.
inline std::filesystem::path LeaveAsideEarlier(const ui::TAsideRecord& Record, const std::string& Older) {
    // The first version's text: its signature's number, and no last line.
    std::wstring text = Record.Text();
    text.replace(text.find(L"record 2"), 8, L"record 1");
    text.erase(text.rfind(L"end\r\n"));
    std::ofstream(std::filesystem::path(Record.AsideFile(ui::pfRecording)), std::ios::binary) << Older;
    WriteRecord(Record, text);
    return Record.AsideFile(ui::pfRecording);
}
// The same, its record naming the file at Name (there now) as the one it made.
inline std::filesystem::path LeaveAsideEarlier(const std::filesystem::path& Folder, const std::wstring& Name,
                                               const std::string& Older, int Number) {
    ui::TAsideRecord record = LeftRecord(Folder, Name, Number);
    record.Made[ui::pfRecording] = ui::FileIdentity((Folder / Name).wstring());
    return LeaveAsideEarlier(record, Older);
}

// How a copy killed while it gave an older file up where it was (a disk with no room even for the
// record) leaves it: the record made but empty, or whole; the older file still whole under its
// name, marked given up, or marked and cut short by its first step of emptying.
enum class TGivenUp { RecordMadeOnly, Marked, MarkedAndCut, Recorded };
inline std::filesystem::path LeaveGivenUp(const std::filesystem::path& Folder, const std::wstring& Name,
                                          const std::string& Older, int Number, TGivenUp State) {
    const ui::TAsideRecord record = LeftRecord(Folder, Name, Number);
    const bool marked = State != TGivenUp::RecordMadeOnly;
    const std::filesystem::path file = marked ? std::filesystem::path(record.GoneFile(ui::pfRecording)) : Folder / Name;
    std::ofstream(file, std::ios::binary) << (State == TGivenUp::MarkedAndCut ? Older.substr(0, Older.size() / 2) : Older);
    if (State == TGivenUp::Recorded)
        WriteRecord(record);
    else
        WriteRecord(record, L" ", 0);
    return file;
}

// Fills the volume of Folder with a file of its own until the volume takes no more, or leaves
// Room bytes free.
inline bool FillVolume(const std::wstring& Folder, std::uint64_t Room = 0) {
    const std::wstring spare = Folder + L"spare";
    if (Room > 0 && !quill_test::WriteOlderFile(spare, Room)) return false;
    HANDLE file = CreateFileW((Folder + L"filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string block(64 * 1024, 'f');
    DWORD written = 0;
    while (WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) && written > 0) {
    }
    // What a whole block no longer fitted is filled a little at a time.
    while (WriteFile(file, block.data(), 512, &written, nullptr) && written > 0) {
    }
    CloseHandle(file);
    if (Room > 0 && !DeleteFileW(spare.c_str())) return false;
    ULARGE_INTEGER free{};
    return GetDiskFreeSpaceExW(Folder.c_str(), &free, nullptr, nullptr) && free.QuadPart < Room + (1u << 20);
}

}  // namespace quill_test
