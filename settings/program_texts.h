// The program's words and identity: its string-table texts loaded by identifier, its version
// globals (version, language, build date, title), and a reader of any file's version information.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "settings/program_text_ids.h"

namespace settings {

// The text with identifier Id (program_text_ids.h) from the running program's string table; the
// empty text when the table has no such entry.
std::wstring LoadProgramText(unsigned Id);

// Version globals, made once on first use and unchanged afterwards.
const std::wstring& ProgramVersion();   // "6.0.5"
const std::wstring& ProgramLanguage();  // "En"
// The build date in the user's short date format (FormatSettings' ShortDateFormat, read from the
// locale at start).
const std::wstring& BuildDate();
const std::wstring& ProgramTitle();  // "Quillotrane 6.0.5En"

// The build date formatted with a Windows date picture ("dd/MM/yyyy", "M/d/yyyy", ...); the
// locale's own short date format when the picture is empty.
std::wstring BuildDateText(const std::wstring& shortDateFormat);

// Version information of a file. The texts are single-byte (system code page), 100 bytes at most.
struct TVersionInfoRec {
    std::wstring Status;  // "OK", "BROKEN" or "No version information"
    std::int32_t Reserved = 0;  // never touched by GetVersionInfo
    std::string Language;  // "Langage = " + the language's name
    std::array<std::string, 10> Items;  // label + " = " + value, or empty when the value is absent
};

constexpr std::size_t kVersionInfoTextMax = 100;

// Fills Rec from the version resource of FileName. A missing file gives "BROKEN", a file without
// version information "No version information", and a block without translation table "OK";
// in those three cases the language and items keep what the caller's record held. Never raises.
void GetVersionInfo(const std::wstring& FileName, TVersionInfoRec& Rec);

}  // namespace settings
