// Preferences storage: registry values, the portable INI file's line search and update, and the
// overlay record stored field by field.
#include "settings/preferences.h"

#include <windows.h>

#include <cmath>
#include <cwchar>
#include <cwctype>
#include <exception>
#include <iterator>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "settings/settings_host.h"
#include "settings/shell_helpers.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace settings {

const wchar_t* const kEmptyTextMarker = L"#@vide\u00a7#";

namespace {

constexpr wchar_t kIniName[] = L"Quillotrane.ini";

// Field names of the two records, as stored.
constexpr wchar_t kIncrust1[] = L"Incrust1";
constexpr wchar_t kIncrust2[] = L"Incrust2";
constexpr wchar_t kFormatDate1[] = L"FormatDate1";
constexpr wchar_t kFormatDate2[] = L"FormatDate2";
constexpr wchar_t kDecalageHoraire[] = L"Decalage Horaire";
constexpr wchar_t kFontRec[] = L"FontRec";
constexpr wchar_t kAutofontsize[] = L"Autofontsize";
constexpr wchar_t kBorderSize[] = L"BorderSize";
constexpr wchar_t kWhatIncrust[] = L"What Incrust";
constexpr wchar_t kAlignement[] = L"Alignement";
constexpr wchar_t kBorderColor[] = L"BorderColor";
constexpr wchar_t kXpos[] = L"Xpos";
constexpr wchar_t kYpos[] = L"Ypos";
constexpr wchar_t kFontName[] = L"FontName";
constexpr wchar_t kFontSize[] = L"FontSize";
constexpr wchar_t kFontColor[] = L"FontColor";
constexpr wchar_t kFontBold[] = L"FontBold";
constexpr wchar_t kFontItalic[] = L"FontItalic";
constexpr wchar_t kFontUnderline[] = L"FontUnderline";
constexpr wchar_t kFontStrikeOut[] = L"FontStrikeOut";

// Line breaks inside an INI value would split it into stray lines (or fake section headers) when
// the file is read back, so they are stored as control characters that no setting text uses.
// A U+0000 would end the whole file's text on reading: the value ends there, as a REG_SZ does.
constexpr wchar_t kCodeCrLf = L'\x1F';
constexpr wchar_t kCodeLf = L'\x1D';
constexpr wchar_t kCodeCr = L'\x1C';
constexpr wchar_t kCodeLineSeparator = L'\x1E';

std::wstring EncodeIniValue(const std::wstring& value) {
    std::wstring out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size() && value[i] != L'\0'; ++i) {
        const wchar_t c = value[i];
        if (c == L'\r' && i + 1 < value.size() && value[i + 1] == L'\n') {
            out += kCodeCrLf;
            ++i;
        } else if (c == L'\r') {
            out += kCodeCr;
        } else if (c == L'\n') {
            out += kCodeLf;
        } else if (c == L'\x2028') {
            out += kCodeLineSeparator;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring DecodeIniValue(const std::wstring& value) {
    std::wstring out;
    out.reserve(value.size() + 8);
    for (wchar_t c : value) {
        switch (c) {
            case kCodeCrLf: out += L"\r\n"; break;
            case kCodeCr: out += L'\r'; break;
            case kCodeLf: out += L'\n'; break;
            case kCodeLineSeparator: out += L'\x2028'; break;
            default: out += c; break;
        }
    }
    return out;
}

bool IsHeader(const std::wstring& trimmed) {
    return !trimmed.empty() && trimmed.front() == L'[' && trimmed.back() == L']';
}

// The line search shared by IniGet and IniSet, done once over the whole file: for each name, the
// first line named so under a header equal to Section (a line's name is the text before its first
// "=", untrimmed; a line empty once trimmed is neither a header nor a name). Looking a key up then
// costs the same in a file of a million lines as in one of a hundred.
TIniIndex IndexIniLines(const unicode::TUcStringList& lines, const std::wstring& section) {
    TIniIndex index;
    std::wstring current;
    const int count = lines.Count();
    for (int i = 0; i < count; ++i) {
        const std::wstring line = lines.Strings(i);
        const std::wstring trimmed = classlib::Trim(line);
        if (trimmed.empty()) continue;
        if (IsHeader(trimmed)) {
            current = trimmed;
            continue;
        }
        if (current != section) continue;
        const std::size_t eq = line.find(L'=');
        index.emplace(eq == std::wstring::npos ? std::wstring() : line.substr(0, eq), i);
    }
    return index;
}

// The double's text: general format, 15 significant digits, always with "." so that a portable
// file reads the same under every locale.
std::wstring DoubleToIniText(double value) {
    std::wstring text = classlib::FloatToStr(value);
    const wchar_t sep = classlib::FormatSettings().DecimalSeparator;
    if (sep != L'.')
        for (wchar_t& c : text)
            if (c == sep) c = L'.';
    return text;
}

// "." first, then the locale's separator (files written by older copies); anything else is 0.
double IniTextToDouble(const std::wstring& text) {
    const std::wstring t = classlib::Trim(text);
    double value = 0.0;
    const wchar_t sep = classlib::FormatSettings().DecimalSeparator;
    if (classlib::TryStrToFloat(t, value, L'.') && std::isfinite(value)) return value;
    value = 0.0;
    if (sep != L'.' && classlib::TryStrToFloat(t, value, sep) && std::isfinite(value)) return value;
    return 0.0;
}

bool IniTextToBool(const std::wstring& text) { return classlib::Trim(text) != L"0"; }

std::wstring FieldKey(const std::wstring& key, const wchar_t* field) { return key + L"\\" + field; }

std::wstring FontKey(const std::wstring& key, const wchar_t* field) {
    return key + L"\\" + kFontRec + L"\\" + field;
}

std::wstring ExecutableName() {
    if (ISettingsHost* host = SettingsHost()) return host->ExeName();
    wchar_t buffer[MAX_PATH * 4] = {};
    const DWORD n = unicode::Uc_GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    return std::wstring(buffer, n < std::size(buffer) ? n : 0);
}

}  // namespace


std::wstring IniFileName() { return unicode::WideExtractFilePath(ExecutableName()) + kIniName; }

// --- Reader ------------------------------------------------------------------------------------

TReadPreferences::TReadPreferences(const std::wstring& KeyPath, TStorageMode Mode)
    : section_(L"[" + KeyPath + L"]"), mode_(Mode) {
    try {
        if (mode_ == smPortable) {
            lines_ = std::make_unique<unicode::TUcStringList>();
            // A file that cannot be read leaves no lines: every read gives its default.
            try {
                lines_->LoadFromFile(IniFileName());
                index_ = IndexIniLines(*lines_, section_);
            } catch (...) {
                lines_->Clear();
                index_.clear();
            }
        } else if (mode_ == smRegistry) {
            // Read access only: a key that refuses writing is still read.
            reg_ = std::make_unique<unicode::TUcRegistry>(KEY_READ);
            reg_->SetRootKey(HKEY_CURRENT_USER);
            keyOpen_ = reg_->OpenKey(KeyPath, false);
        }
    } catch (...) {
        keyOpen_ = false;
    }
}

TReadPreferences::~TReadPreferences() {
    if (reg_) reg_->CloseKey();
    if (lines_) lines_->Clear();
}

bool TReadPreferences::RegistryReady() const { return mode_ == smRegistry && reg_ && keyOpen_; }

std::wstring TReadPreferences::IniGet(const std::wstring& Name, const std::wstring& Default) const {
    std::wstring value;
    return FindIni(Name, value) ? value : Default;
}

bool TReadPreferences::FindIni(const std::wstring& Name, std::wstring& Value) const {
    if (!lines_) return false;
    const auto found = index_.find(Name);
    if (found == index_.end()) return false;
    const std::wstring line = lines_->Strings(found->second);
    Value = DecodeIniValue(line.substr(line.find(L'=') + 1));
    return true;
}

bool TReadPreferences::ReadBool(const std::wstring& Name, bool Default) {
    try {
        if (mode_ == smPortable) {
            std::wstring text;
            return FindIni(Name, text) ? IniTextToBool(text) : Default;
        }
        if (RegistryReady() && reg_->ValueExists(Name)) return reg_->ReadBool(Name);
    } catch (...) {
    }
    return Default;
}

std::int32_t TReadPreferences::ReadInteger(const std::wstring& Name, std::int32_t Default) {
    try {
        if (mode_ == smPortable) {
            std::wstring text;
            return FindIni(Name, text) ? StrToIntTrim(text) : Default;
        }
        if (RegistryReady() && reg_->ValueExists(Name)) return reg_->ReadInteger(Name);
    } catch (...) {
    }
    return Default;
}

double TReadPreferences::ReadDouble(const std::wstring& Name, double Default) {
    try {
        if (mode_ == smPortable) {
            // A missing line gives Default exactly (not its 15-digit text read back).
            std::wstring text;
            return FindIni(Name, text) ? IniTextToDouble(text) : Default;
        }
        if (RegistryReady() && reg_->ValueExists(Name)) return reg_->ReadFloat(Name);
    } catch (...) {
    }
    return Default;
}

std::wstring TReadPreferences::ReadString(const std::wstring& Name, const std::wstring& Default) {
    std::wstring result = Default;
    try {
        if (mode_ == smPortable) {
            result = IniGet(Name, Default);
        } else if (RegistryReady() && reg_->ValueExists(Name)) {
            result = reg_->ReadString(Name);
        }
    } catch (...) {
        result = Default;
    }
    if (result == kEmptyTextMarker) result.clear();
    return result;
}

TincrustRec TReadPreferences::ReadIncrustRec(const std::wstring& Key, const TincrustRec& Default) {
    try {
        if (mode_ == smPortable) return ReadIncrustRecIni(Key, Default);
        if (mode_ == smRegistry) return ReadIncrustRecRegistry(Key, Default);
    } catch (...) {
    }
    return Default;
}

TincrustRec TReadPreferences::ReadIncrustRecIni(const std::wstring& Key, const TincrustRec& Default) {
    TincrustRec r;
    r.Incrust1 = IniGet(FieldKey(Key, kIncrust1), Default.Incrust1);
    r.Incrust2 = IniGet(FieldKey(Key, kIncrust2), Default.Incrust2);
    r.FormatDate1 = IniGet(FieldKey(Key, kFormatDate1), Default.FormatDate1);
    r.FormatDate2 = IniGet(FieldKey(Key, kFormatDate2), Default.FormatDate2);
    r.DecalageHoraire = ReadDouble(FieldKey(Key, kDecalageHoraire), Default.DecalageHoraire);
    const TfontRecord& df = Default.FontRec;
    r.FontRec.Name = IniGet(FontKey(Key, kFontName), df.Name);
    r.FontRec.Size = ReadInteger(FontKey(Key, kFontSize), df.Size);
    r.FontRec.Color = ReadInteger(FontKey(Key, kFontColor), df.Color);
    r.FontRec.Bold = ReadBool(FontKey(Key, kFontBold), df.Bold);
    r.FontRec.Italic = ReadBool(FontKey(Key, kFontItalic), df.Italic);
    r.FontRec.Underline = ReadBool(FontKey(Key, kFontUnderline), df.Underline);
    r.FontRec.StrikeOut = ReadBool(FontKey(Key, kFontStrikeOut), df.StrikeOut);
    r.Autofontsize = ReadBool(FieldKey(Key, kAutofontsize), Default.Autofontsize);
    r.BorderSize = ReadInteger(FieldKey(Key, kBorderSize), Default.BorderSize);
    r.WhatIncrust = static_cast<std::uint8_t>(ReadInteger(FieldKey(Key, kWhatIncrust), Default.WhatIncrust));
    r.Alignement = static_cast<std::uint8_t>(ReadInteger(FieldKey(Key, kAlignement), Default.Alignement));
    r.BorderColor = ReadInteger(FieldKey(Key, kBorderColor), Default.BorderColor);
    r.Xpos = ReadInteger(FieldKey(Key, kXpos), Default.Xpos);
    r.Ypos = ReadInteger(FieldKey(Key, kYpos), Default.Ypos);
    return r;
}

TincrustRec TReadPreferences::ReadIncrustRecRegistry(const std::wstring& Key, const TincrustRec& Default) {
    if (!RegistryReady() || !reg_->KeyExists(Key)) return Default;
    const std::wstring programPath = L"\\" + reg_->CurrentPath();
    TincrustRec r = Default;
    try {
        if (reg_->OpenKey(Key, false)) {
            r.Incrust1 = RegText(kIncrust1, Default.Incrust1);
            r.Incrust2 = RegText(kIncrust2, Default.Incrust2);
            r.FormatDate1 = RegText(kFormatDate1, Default.FormatDate1);
            r.FormatDate2 = RegText(kFormatDate2, Default.FormatDate2);
            r.DecalageHoraire = ReadDouble(kDecalageHoraire, Default.DecalageHoraire);
            r.Autofontsize = ReadBool(kAutofontsize, Default.Autofontsize);
            r.BorderSize = ReadInteger(kBorderSize, Default.BorderSize);
            r.WhatIncrust = static_cast<std::uint8_t>(ReadInteger(kWhatIncrust, Default.WhatIncrust));
            r.Alignement = static_cast<std::uint8_t>(ReadInteger(kAlignement, Default.Alignement));
            r.BorderColor = ReadInteger(kBorderColor, Default.BorderColor);
            r.Xpos = ReadInteger(kXpos, Default.Xpos);
            r.Ypos = ReadInteger(kYpos, Default.Ypos);
            if (reg_->KeyExists(kFontRec) && reg_->OpenKey(kFontRec, false)) {
                const TfontRecord& df = Default.FontRec;
                r.FontRec.Name = RegText(kFontName, df.Name);
                r.FontRec.Size = ReadInteger(kFontSize, df.Size);
                r.FontRec.Color = ReadInteger(kFontColor, df.Color);
                r.FontRec.Bold = ReadBool(kFontBold, df.Bold);
                r.FontRec.Italic = ReadBool(kFontItalic, df.Italic);
                r.FontRec.Underline = ReadBool(kFontUnderline, df.Underline);
                r.FontRec.StrikeOut = ReadBool(kFontStrikeOut, df.StrikeOut);
            }
        }
    } catch (...) {
        r = Default;
    }
    // Back on the program's key for the reads that follow.
    reg_->CloseKey();
    reg_->SetRootKey(HKEY_CURRENT_USER);
    keyOpen_ = reg_->OpenKey(programPath, false);
    return r;
}

std::wstring TReadPreferences::RegText(const std::wstring& Name, const std::wstring& Default) {
    // Record texts: no empty-text marker.
    try {
        if (reg_->ValueExists(Name)) return reg_->ReadString(Name);
    } catch (...) {
    }
    return Default;
}

// --- Writer ------------------------------------------------------------------------------------

TWritePreferences::TWritePreferences(const std::wstring& KeyPath, TStorageMode Mode)
    : section_(L"[" + KeyPath + L"]"), mode_(Mode) {
    try {
        if (mode_ == smPortable) {
            lines_ = std::make_unique<unicode::TUcStringList>();
            const std::wstring name = IniFileName();
            if (unicode::WideFileExists(name)) {
                try {
                    lines_->LoadFromFile(name);
                } catch (...) {
                    // Writing now would drop the lines that could not be read: Close refuses.
                    failed_ = true;
                }
            }
            index_ = IndexIniLines(*lines_, section_);
            // New lines go just before the header that follows the first copy of the section, or
            // at the end, after a new header when the section is missing.
            const int count = lines_->Count();
            int header = -1;
            for (int i = 0; i < count && header < 0; ++i)
                if (classlib::Trim(lines_->Strings(i)) == section_) header = i;
            newHeader_ = header < 0;
            insertAt_ = count;
            for (int i = header + 1; header >= 0 && i < count; ++i) {
                if (IsHeader(classlib::Trim(lines_->Strings(i)))) {
                    insertAt_ = i;
                    break;
                }
            }
        } else if (mode_ == smRegistry) {
            reg_ = std::make_unique<unicode::TUcRegistry>();
            reg_->SetRootKey(HKEY_CURRENT_USER);
            keyOpen_ = reg_->OpenKey(KeyPath, true);
            if (!keyOpen_) failed_ = true;
        }
    } catch (...) {
        failed_ = true;
    }
}

TWritePreferences::~TWritePreferences() {
    try {
        Close();
    } catch (...) {
        // Nothing leaves a destructor; Close() reports its own failures.
    }
}

bool TWritePreferences::RegistryReady() const { return mode_ == smRegistry && reg_ && keyOpen_ && !closed_; }

template <typename F>
void TWritePreferences::Guard(F&& write) {
    try {
        write();
    } catch (...) {
        failed_ = true;
    }
}

void TWritePreferences::IniSet(const std::wstring& Name, const std::wstring& Value) {
    if (!lines_ || closed_) return;
    Guard([&] {
        // An empty value keeps its "Name=" line: deleting it would bring the default back at the
        // next start for a text that was cleared on purpose.
        std::wstring line = Name + L"=" + EncodeIniValue(Value);
        const auto found = index_.find(Name);
        if (found == index_.end()) {
            // Kept aside until the file is written, in the order of first writing: inserting each
            // now would move every line after it.
            index_.emplace(Name, -1 - static_cast<int>(added_.size()));
            added_.push_back(std::move(line));
        } else if (found->second < 0) {
            added_[static_cast<std::size_t>(-1 - found->second)] = std::move(line);
        } else {
            lines_->Put(found->second, line);
        }
    });
}

void TWritePreferences::WriteBool(const std::wstring& Name, bool Value) {
    if (mode_ == smPortable) {
        IniSet(Name, Value ? L"1" : L"0");
    } else if (mode_ == smRegistry) {
        if (!RegistryReady()) return;
        Guard([&] { reg_->WriteBool(Name, Value); });
    }
}

void TWritePreferences::WriteInteger(const std::wstring& Name, std::int32_t Value) {
    if (mode_ == smPortable) {
        IniSet(Name, classlib::IntToStr(Value));
    } else if (mode_ == smRegistry) {
        if (!RegistryReady()) return;
        Guard([&] { reg_->WriteInteger(Name, Value); });
    }
}

void TWritePreferences::WriteDouble(const std::wstring& Name, double Value) {
    if (mode_ == smPortable) {
        IniSet(Name, DoubleToIniText(Value));
    } else if (mode_ == smRegistry) {
        if (!RegistryReady()) return;
        Guard([&] { reg_->WriteFloat(Name, Value); });
    }
}

void TWritePreferences::WriteString(const std::wstring& Name, const std::wstring& Value) {
    const std::wstring text = Value.empty() ? std::wstring(kEmptyTextMarker) : Value;
    if (mode_ == smPortable) {
        IniSet(Name, text);
    } else if (mode_ == smRegistry) {
        if (!RegistryReady()) return;
        Guard([&] { reg_->WriteString(Name, text); });
    }
}

void TWritePreferences::WriteIncrustRec(const std::wstring& Key, const TincrustRec& Rec) {
    if (mode_ == smPortable) {
        IniSet(FieldKey(Key, kIncrust1), Rec.Incrust1);
        IniSet(FieldKey(Key, kIncrust2), Rec.Incrust2);
        IniSet(FieldKey(Key, kFormatDate1), Rec.FormatDate1);
        IniSet(FieldKey(Key, kFormatDate2), Rec.FormatDate2);
        WriteDouble(FieldKey(Key, kDecalageHoraire), Rec.DecalageHoraire);
        IniSet(FontKey(Key, kFontName), Rec.FontRec.Name);
        WriteInteger(FontKey(Key, kFontSize), Rec.FontRec.Size);
        WriteInteger(FontKey(Key, kFontColor), Rec.FontRec.Color);
        WriteBool(FontKey(Key, kFontBold), Rec.FontRec.Bold);
        WriteBool(FontKey(Key, kFontItalic), Rec.FontRec.Italic);
        WriteBool(FontKey(Key, kFontUnderline), Rec.FontRec.Underline);
        WriteBool(FontKey(Key, kFontStrikeOut), Rec.FontRec.StrikeOut);
        WriteBool(FieldKey(Key, kAutofontsize), Rec.Autofontsize);
        WriteInteger(FieldKey(Key, kBorderSize), Rec.BorderSize);
        WriteInteger(FieldKey(Key, kWhatIncrust), Rec.WhatIncrust);
        WriteInteger(FieldKey(Key, kAlignement), Rec.Alignement);
        WriteInteger(FieldKey(Key, kBorderColor), Rec.BorderColor);
        WriteInteger(FieldKey(Key, kXpos), Rec.Xpos);
        WriteInteger(FieldKey(Key, kYpos), Rec.Ypos);
        return;
    }
    if (!RegistryReady()) return;
    const std::wstring programPath = L"\\" + reg_->CurrentPath();
    Guard([&] {
        if (!reg_->OpenKey(Key, true)) {
            failed_ = true;
            return;
        }
        // Record texts are stored as they are: an empty text is an empty REG_SZ.
        Guard([&] { reg_->WriteString(kIncrust1, Rec.Incrust1); });
        Guard([&] { reg_->WriteString(kIncrust2, Rec.Incrust2); });
        Guard([&] { reg_->WriteString(kFormatDate1, Rec.FormatDate1); });
        Guard([&] { reg_->WriteString(kFormatDate2, Rec.FormatDate2); });
        Guard([&] { reg_->WriteFloat(kDecalageHoraire, Rec.DecalageHoraire); });
        Guard([&] { reg_->WriteBool(kAutofontsize, Rec.Autofontsize); });
        Guard([&] { reg_->WriteInteger(kBorderSize, Rec.BorderSize); });
        Guard([&] { reg_->WriteInteger(kWhatIncrust, Rec.WhatIncrust); });
        Guard([&] { reg_->WriteInteger(kAlignement, Rec.Alignement); });
        Guard([&] { reg_->WriteInteger(kBorderColor, Rec.BorderColor); });
        Guard([&] { reg_->WriteInteger(kXpos, Rec.Xpos); });
        Guard([&] { reg_->WriteInteger(kYpos, Rec.Ypos); });
        if (!reg_->OpenKey(kFontRec, true)) {
            failed_ = true;
            return;
        }
        Guard([&] { reg_->WriteString(kFontName, Rec.FontRec.Name); });
        Guard([&] { reg_->WriteInteger(kFontSize, Rec.FontRec.Size); });
        Guard([&] { reg_->WriteInteger(kFontColor, Rec.FontRec.Color); });
        Guard([&] { reg_->WriteBool(kFontBold, Rec.FontRec.Bold); });
        Guard([&] { reg_->WriteBool(kFontItalic, Rec.FontRec.Italic); });
        Guard([&] { reg_->WriteBool(kFontUnderline, Rec.FontRec.Underline); });
        Guard([&] { reg_->WriteBool(kFontStrikeOut, Rec.FontRec.StrikeOut); });
    });
    // Back on the program's key for the writes that follow.
    Guard([&] {
        reg_->CloseKey();
        reg_->SetRootKey(HKEY_CURRENT_USER);
        keyOpen_ = reg_->OpenKey(programPath, true);
        if (!keyOpen_) failed_ = true;
    });
}

bool TWritePreferences::Close() {
    if (closed_) return closeResult_;
    closed_ = true;
    closeResult_ = false;
    try {
        if (mode_ == smRegistry) {
            if (reg_) reg_->CloseKey();
            closeResult_ = !failed_;
        } else if (mode_ == smPortable) {
            closeResult_ = !failed_ && SaveIni();
            lines_->Clear();
        } else {
            closeResult_ = true;
        }
    } catch (...) {
        closeResult_ = false;
    }
    return closeResult_;
}

std::unique_ptr<unicode::TUcStringList> TWritePreferences::WholeFile() const {
    auto whole = std::make_unique<unicode::TUcStringList>();
    whole->SetCapacity(lines_->Count() + static_cast<int>(added_.size()) + 1);
    for (int i = 0; i < insertAt_; ++i) whole->Add(lines_->Strings(i));
    if (newHeader_ && !added_.empty()) whole->Add(section_);
    for (const std::wstring& line : added_) whole->Add(line);
    for (int i = insertAt_; i < lines_->Count(); ++i) whole->Add(lines_->Strings(i));
    return whole;
}

bool TWritePreferences::SaveIni() {
    const std::wstring name = IniFileName();
    // A read-only file is the user's choice to keep it as it is; a folder of that name is no file.
    const DWORD attributes = unicode::Uc_GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return false;
    // The whole file goes to a temporary file beside it, which then replaces the old one: a
    // failure on the way leaves the old file whole.
    const std::wstring temporary =
        ProcessOwnName(name, reinterpret_cast<std::uintptr_t>(this) & 0xFFFFFFu, L".tmp");
    // Saves killed on the way left theirs: removed now. This process saves one file at a time, so
    // its own other temporary files are an earlier process's.
    RemoveLeftOvers(unicode::WideExtractFilePath(name), unicode::WideExtractFileName(name), L".tmp", temporary,
                    true, [](const std::wstring& File) { DeleteFileW(File.c_str()); });
    bool written = false;
    try {
        unicode::TUcFileStream stream(temporary, classlib::fmCreate);
        WholeFile()->SaveToStream(&stream);
        written = FlushFileBuffers(stream.Handle()) != FALSE;
    } catch (...) {
        written = false;
    }
    if (written &&
        MoveFileExW(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE)
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace settings
