// Preferences storage: the reader and writer through which the parameter list loads and saves,
// in the registry, in the portable UTF-16 INI file beside the executable, or nowhere; and the
// overlay and font records stored field by field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "settings/overlay_records.h"
#include "unicode/wide_registry.h"
#include "unicode/wide_strings.h"

namespace settings {

// Storage mode: 0 registry, 1 portable INI file, 2 not saved.
using TStorageMode = std::uint8_t;
constexpr TStorageMode smRegistry = 0;
constexpr TStorageMode smPortable = 1;
constexpr TStorageMode smNone = 2;

// Stored for an empty plain text setting, in the registry and in the INI file alike.
extern const wchar_t* const kEmptyTextMarker;  // "#@vide§#"

// The INI file's full path: the executable's folder + "Quillotrane.ini". The executable's path
// comes from the settings host (settings_host.h).
std::wstring IniFileName();

// The INI line search's result for a whole file: each name's first line under the section.
using TIniIndex = std::unordered_map<std::wstring, int>;

// Reads never raise: any failure gives the default.
class TReadPreferences {
public:
    TReadPreferences(const std::wstring& KeyPath, TStorageMode Mode);
    ~TReadPreferences();
    TReadPreferences(const TReadPreferences&) = delete;
    TReadPreferences& operator=(const TReadPreferences&) = delete;

    const std::wstring& Section() const { return section_; }
    TStorageMode Mode() const { return mode_; }

    bool ReadBool(const std::wstring& Name, bool Default);
    std::int32_t ReadInteger(const std::wstring& Name, std::int32_t Default);
    double ReadDouble(const std::wstring& Name, double Default);
    std::wstring ReadString(const std::wstring& Name, const std::wstring& Default);
    TincrustRec ReadIncrustRec(const std::wstring& Key, const TincrustRec& Default);

    // The INI line search (mode 1); Default without lines. The first line named Name under a
    // header equal to Section wins; its value is the text after the first "=", untrimmed, with
    // the line-break codes of IniSet turned back into line breaks.
    std::wstring IniGet(const std::wstring& Name, const std::wstring& Default) const;

private:
    bool FindIni(const std::wstring& Name, std::wstring& Value) const;
    bool RegistryReady() const;
    TincrustRec ReadIncrustRecIni(const std::wstring& Key, const TincrustRec& Default);
    TincrustRec ReadIncrustRecRegistry(const std::wstring& Key, const TincrustRec& Default);
    std::wstring RegText(const std::wstring& Name, const std::wstring& Default);

    std::wstring section_;
    TStorageMode mode_;
    bool keyOpen_ = false;                           // mode 0: the program's key is open
    std::unique_ptr<unicode::TUcRegistry> reg_;      // mode 0 only
    std::unique_ptr<unicode::TUcStringList> lines_;  // mode 1 only
    TIniIndex index_;                                // mode 1: the lines' names
};

// Writes swallow their failures. In mode 1 nothing reaches the disk until Close(), which writes
// the whole INI file at once (to a temporary file that then replaces the old one, so a failure
// leaves the old file whole) and answers whether that worked; the destructor closes without
// raising. A save also removes the temporary files that saves killed on the way left beside the
// INI file ("Quillotrane.ini.<process id>.<number>.tmp", of processes that no longer run).
class TWritePreferences {
public:
    TWritePreferences(const std::wstring& KeyPath, TStorageMode Mode);
    ~TWritePreferences();
    TWritePreferences(const TWritePreferences&) = delete;
    TWritePreferences& operator=(const TWritePreferences&) = delete;

    const std::wstring& Section() const { return section_; }
    TStorageMode Mode() const { return mode_; }

    void WriteBool(const std::wstring& Name, bool Value);
    void WriteInteger(const std::wstring& Name, std::int32_t Value);
    // In the INI file: 15 significant digits with "." as decimal separator whatever the locale
    // (ReadDouble accepts "." and the locale's separator), so the portable file moves between
    // locales.
    void WriteDouble(const std::wstring& Name, double Value);
    void WriteString(const std::wstring& Name, const std::wstring& Value);
    void WriteIncrustRec(const std::wstring& Key, const TincrustRec& Rec);

    // The INI line update (mode 1): the line found by IniGet's search becomes Name=Value (an
    // empty value too: the line is kept, never deleted); else the line goes just before the
    // header that follows the first copy of the section, or at the end of the file, after a new
    // header when the section is missing. Line breaks in Value are stored as codes, so that the
    // value stays on its line: CR LF as U+001F, a lone CR as U+001C, a lone LF as U+001D, U+2028
    // as U+001E; a U+0000 ends the value.
    void IniSet(const std::wstring& Name, const std::wstring& Value);

    // Ends the writer. Mode 1 writes the file; false when it could not be written (read-only
    // file, folder that cannot be written, an existing file that could not be read at creation),
    // and the old file is then left as it was. Mode 0: false when the key could not be opened or
    // a value could not be written. Mode 2: true. Later calls answer the same; writes after it
    // do nothing.
    bool Close();

private:
    bool RegistryReady() const;
    bool SaveIni();
    // The file as it is written: the lines read, with the added ones in their place.
    std::unique_ptr<unicode::TUcStringList> WholeFile() const;
    template <typename F>
    void Guard(F&& write);

    std::wstring section_;
    TStorageMode mode_;
    bool closed_ = false;
    bool closeResult_ = false;
    bool failed_ = false;   // a write or the opening failed
    bool keyOpen_ = false;  // mode 0: the program's key is open
    std::unique_ptr<unicode::TUcRegistry> reg_;
    std::unique_ptr<unicode::TUcStringList> lines_;
    // Mode 1: each name's line, an index into lines_, or below 0 into added_ (-1 the first).
    TIniIndex index_;
    std::vector<std::wstring> added_;  // lines for names the file lacks, in the order written
    int insertAt_ = 0;                 // where they go
    bool newHeader_ = false;           // the section's header goes before them
};

}  // namespace settings
