// Preferences storage: the INI file's exact bytes and line rules, the registry layout with its
// value types, bad stored data, and saves that cannot be written. INI tests work in a private
// temporary folder named through a test host; registry tests under a private key.
#include "settings/preferences.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "settings/settings_host.h"

namespace {

using settings::DefaultIncrustRec;
using settings::TincrustRec;
using settings::TReadPreferences;
using settings::TWritePreferences;

const std::wstring kKey = L"\\Software\\Marbrecq\\Quillotrane";
const std::wstring kSection = L"[\\Software\\Marbrecq\\Quillotrane]";
const std::wstring kMarker = L"#@vide\u00a7#";

class TestHost : public settings::ISettingsHost {
public:
    std::wstring exe;
    std::wstring ExeName() const override { return exe; }
    int MainFormWidth() const override { return 600; }
    int MainFormHeight() const override { return 459; }
};

std::string Utf16File(const std::vector<std::wstring>& lines) {
    std::string bytes = "\xFF\xFE";
    for (const std::wstring& line : lines)
        for (wchar_t c : line + L"\r\n") {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
    return bytes;
}

std::string ReadFileBytes(const std::wstring& name) {
    std::string bytes;
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

void WriteFileBytes(const std::wstring& name, const std::string& bytes) {
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring n = data.cFileName;
        if (n != L"." && n != L"..") names.push_back(n);
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
}

TincrustRec SampleRecord() {
    TincrustRec r = DefaultIncrustRec();
    r.Incrust1 = L"Caf\u00e9 \u4e2d";
    r.Incrust2 = L"two";
    r.FormatDate1 = L"yyyy";
    r.FormatDate2 = L"";  // cleared on purpose
    r.DecalageHoraire = -0.25;
    r.FontRec = {L"Courier New", 30, 0x123456, true, false, true, false};
    r.Autofontsize = false;
    r.BorderSize = 3;
    r.WhatIncrust = 2;
    r.Alignement = 1;
    r.BorderColor = 0xFF;
    r.Xpos = 100;
    r.Ypos = -7;
    return r;
}

class PrefsIni : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int counter = 0;
        folder_ = std::wstring(temp) + L"qprefs_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                  std::to_wstring(++counter) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        host_.exe = folder_ + L"Quillotrane.exe";
        previousHost_ = settings::SettingsHost();
        settings::SetSettingsHost(&host_);
        ini_ = folder_ + L"Quillotrane.ini";
        savedSeparator_ = classlib::FormatSettings().DecimalSeparator;
        classlib::FormatSettings().DecimalSeparator = L'.';
    }
    void TearDown() override {
        classlib::FormatSettings().DecimalSeparator = savedSeparator_;
        settings::SetSettingsHost(previousHost_);
        for (const std::wstring& n : FolderEntries(folder_)) {
            const std::wstring full = folder_ + n;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(full.c_str())) RemoveDirectoryW(full.c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }
    void Put(const std::vector<std::wstring>& lines) { WriteFileBytes(ini_, Utf16File(lines)); }
    // Applies f to a writer and saves; the file's bytes must then be exactly `lines`.
    template <typename F>
    void ExpectSaved(F&& f, const std::vector<std::wstring>& lines) {
        TWritePreferences w(kKey, settings::smPortable);
        f(w);
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(Utf16File(lines), ReadFileBytes(ini_));
    }

    TestHost host_;
    settings::ISettingsHost* previousHost_ = nullptr;
    std::wstring folder_, ini_;
    wchar_t savedSeparator_ = L'.';
};

TEST_F(PrefsIni, FileNameAndDefaultRecord) {
    EXPECT_EQ(ini_, settings::IniFileName());
    const TincrustRec& d = DefaultIncrustRec();
    EXPECT_EQ(L"", d.Incrust1);
    EXPECT_EQ(L"ddddd", d.FormatDate1);
    EXPECT_EQ(L"tt", d.FormatDate2);
    EXPECT_EQ((settings::TfontRecord{L"Arial", 21, 0xFFFFFF, false, false, false, false}), d.FontRec);
    EXPECT_TRUE(d.Autofontsize);
    EXPECT_EQ(1, d.BorderSize);
    EXPECT_EQ(2, d.Alignement);
    EXPECT_EQ(914, d.Xpos);
    EXPECT_EQ(914, d.Ypos);
    EXPECT_EQ(kMarker, settings::kEmptyTextMarker);
}

TEST_F(PrefsIni, WritesTheExactLayoutAndReadsItBack) {
    classlib::FormatSettings().DecimalSeparator = L',';  // the file still gets "."
    ExpectSaved(
        [](TWritePreferences& w) {
            w.WriteString(L"Signature", L"Quillotrane");
            w.WriteInteger(L"Top", -282);
            w.WriteDouble(L"Framerate", 18.0);
            w.WriteDouble(L"D\u00e9calage Horaire", 0.5);
            w.WriteIncrustRec(L"IncrustRec", SampleRecord());
            w.WriteBool(L"Beeps", true);
            w.WriteBool(L"Scn", false);
            w.WriteString(L"Audio Type", L"");
            w.WriteInteger(L"Top", 7);  // rewritten in place, order of first writing kept
        },
        {kSection, L"Signature=Quillotrane", L"Top=7", L"Framerate=18", L"D\u00e9calage Horaire=0.5",
         L"IncrustRec\\Incrust1=Caf\u00e9 \u4e2d", L"IncrustRec\\Incrust2=two", L"IncrustRec\\FormatDate1=yyyy",
         L"IncrustRec\\FormatDate2=", L"IncrustRec\\Decalage Horaire=-0.25",
         L"IncrustRec\\FontRec\\FontName=Courier New", L"IncrustRec\\FontRec\\FontSize=30",
         L"IncrustRec\\FontRec\\FontColor=1193046", L"IncrustRec\\FontRec\\FontBold=1",
         L"IncrustRec\\FontRec\\FontItalic=0", L"IncrustRec\\FontRec\\FontUnderline=1",
         L"IncrustRec\\FontRec\\FontStrikeOut=0", L"IncrustRec\\Autofontsize=0", L"IncrustRec\\BorderSize=3",
         L"IncrustRec\\What Incrust=2", L"IncrustRec\\Alignement=1", L"IncrustRec\\BorderColor=255",
         L"IncrustRec\\Xpos=100", L"IncrustRec\\Ypos=-7", L"Beeps=1", L"Scn=0", L"Audio Type=" + kMarker});

    TReadPreferences r(kKey, settings::smPortable);
    EXPECT_EQ(L"Quillotrane", r.ReadString(L"Signature", L"x"));
    EXPECT_EQ(7, r.ReadInteger(L"Top", 0));
    EXPECT_EQ(18.0, r.ReadDouble(L"Framerate", 1));
    EXPECT_EQ(0.5, r.ReadDouble(L"D\u00e9calage Horaire", 1));
    EXPECT_TRUE(r.ReadBool(L"Beeps", false));
    EXPECT_FALSE(r.ReadBool(L"Scn", true));
    EXPECT_EQ(L"", r.ReadString(L"Audio Type", L"x"));
    EXPECT_EQ(SampleRecord(), r.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));  // FormatDate2 stays empty
    EXPECT_EQ(DefaultIncrustRec(), r.ReadIncrustRec(L"Other", DefaultIncrustRec()));
    EXPECT_EQ(L"N/A", r.ReadString(L"Missing", L"N/A"));
    EXPECT_EQ(0.1, r.ReadDouble(L"Missing", 0.1));
}

TEST_F(PrefsIni, ClearedRecordTextStaysClearedOverSeveralSaves) {
    for (int run = 0; run < 3; ++run) {
        TincrustRec rec;
        {
            TReadPreferences r(kKey, settings::smPortable);
            rec = r.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec());
        }
        EXPECT_EQ(run == 0 ? L"tt" : L"", rec.FormatDate2) << run;
        rec.FormatDate2.clear();
        TWritePreferences w(kKey, settings::smPortable);
        w.WriteIncrustRec(L"IncrustRec", rec);
        ASSERT_TRUE(w.Close());
    }
}

TEST_F(PrefsIni, LineSearchRules) {
    Put({L"Top=1", L"[Other]", L"Top=2", L"  " + kSection + L"\t ", L"top=3", L" Top=4", L"Top =5", L"Top=6 ",
         L"Top=66", L"Beeps=yes", L"Scn= 0", L"Mute On=", L"Framerate=abc", L"Volume=99999999999", kSection,
         L"Left=8", L"Top=9"});
    TReadPreferences r(kKey, settings::smPortable);
    EXPECT_EQ(L"6 ", r.IniGet(L"Top", L"d"));  // first match under a header with blanks, untrimmed
    EXPECT_EQ(6, r.ReadInteger(L"Top", 0));
    EXPECT_EQ(8, r.ReadInteger(L"Left", 0));  // second copy of the section
    EXPECT_EQ(L"d", r.IniGet(L"top ", L"d"));
    EXPECT_TRUE(r.ReadBool(L"Beeps", false));
    EXPECT_FALSE(r.ReadBool(L"Scn", true));
    EXPECT_TRUE(r.ReadBool(L"Mute On", false));  // only "0" is false
    EXPECT_EQ(0.0, r.ReadDouble(L"Framerate", 18));  // unreadable number: 0, not the default
    EXPECT_EQ(0, r.ReadInteger(L"Volume", 5000));  // beyond 32 bits
    EXPECT_EQ(18.0, r.ReadDouble(L"Absent", 18));
}

TEST_F(PrefsIni, LineUpdateRules) {
    const std::vector<std::wstring> start = {L"Top=1", L"[Other]", L"Top=2", L"  " + kSection, L"Top=6", L"",
                                             kSection, L"Left=8", L"[Last]", L"X=1"};
    Put(start);
    ExpectSaved(
        [](TWritePreferences& w) {
            w.IniSet(L"Top", L"T");
            w.IniSet(L"Left", L"L");
            w.IniSet(L"New", L"N");
            w.IniSet(L"Top", L"");  // kept as "Top="
        },
        {L"Top=1", L"[Other]", L"Top=2", L"  " + kSection, L"Top=", L"", L"New=N", kSection, L"Left=L", L"[Last]",
         L"X=1"});
    // Section missing: header and line appended; header as the last line: line appended after it.
    Put({L"[Other]", L"A=1"});
    ExpectSaved([](TWritePreferences& w) { w.IniSet(L"B", L"2"); }, {L"[Other]", L"A=1", kSection, L"B=2"});
    Put({L"[Other]", kSection});
    ExpectSaved([](TWritePreferences& w) { w.IniSet(L"B", L"2"); }, {L"[Other]", kSection, L"B=2"});
}

TEST_F(PrefsIni, LineBreaksStayInsideTheirValue) {
    const std::wstring sources = L"Cam A\r\n[\\Software\\Marbrecq\\Quillotrane]\r\n[Fake]\nB\rC\u2028D\r\n";
    ExpectSaved(
        [&](TWritePreferences& w) {
            w.WriteString(L"Sources Exclues", sources);
            w.WriteString(L"Nul", std::wstring(L"ab\0cd", 5));
            w.WriteBool(L"Beeps", true);
        },
        {kSection,
         L"Sources Exclues=Cam A\x1F[\\Software\\Marbrecq\\Quillotrane]\x1F[Fake]\x1D" L"B\x1C" L"C\x1E" L"D\x1F",
         L"Nul=ab", L"Beeps=1"});
    TReadPreferences r(kKey, settings::smPortable);
    EXPECT_EQ(sources, r.ReadString(L"Sources Exclues", L""));
    EXPECT_EQ(L"ab", r.ReadString(L"Nul", L""));
    EXPECT_TRUE(r.ReadBool(L"Beeps", false));
}

TEST_F(PrefsIni, DecimalSeparatorIsFixedOnWritingAndEitherOnReading) {
    Put({kSection, L"A=0,5", L"B=2.25", L"C=1e400", L"D= 3 "});
    classlib::FormatSettings().DecimalSeparator = L',';
    {
        TReadPreferences r(kKey, settings::smPortable);
        EXPECT_EQ(0.5, r.ReadDouble(L"A", 9));
        EXPECT_EQ(2.25, r.ReadDouble(L"B", 9));
        EXPECT_EQ(0.0, r.ReadDouble(L"C", 9));
        EXPECT_EQ(3.0, r.ReadDouble(L"D", 9));
    }
    classlib::FormatSettings().DecimalSeparator = L'.';
    TReadPreferences r(kKey, settings::smPortable);
    EXPECT_EQ(0.0, r.ReadDouble(L"A", 9));  // "," is no separator in this locale
    EXPECT_EQ(2.25, r.ReadDouble(L"B", 9));
}

TEST_F(PrefsIni, RecordFieldsReadOneByOne) {
    Put({kSection, L"IncrustRec\\Ypos=123", L"IncrustRec\\What Incrust=300", L"IncrustRec\\FontRec\\FontBold=1",
         L"IncrustRec\\Incrust1=", L"IncrustRec\\BorderSize=zz"});
    TReadPreferences r(kKey, settings::smPortable);
    TincrustRec expected = DefaultIncrustRec();
    expected.Ypos = 123;
    expected.WhatIncrust = 44;
    expected.FontRec.Bold = true;
    expected.BorderSize = 0;
    EXPECT_EQ(expected, r.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));
}

TEST_F(PrefsIni, BadFilesGiveDefaultsAndTheNextSaveKeepsOtherLines) {
    // No header: keys before any header are never read; the save appends the section after them.
    Put({L"Top=5", L"garbage line", L"=x", L"["});
    EXPECT_EQ(3, TReadPreferences(kKey, settings::smPortable).ReadInteger(L"Top", 3));
    ExpectSaved([](TWritePreferences& w) { w.WriteInteger(L"Top", 4); },
                {L"Top=5", L"garbage line", L"=x", L"[", kSection, L"Top=4"});

    // ANSI without byte-order mark (code page 1252 here): read as text, saved back as UTF-16.
    WriteFileBytes(ini_, "[Other]\r\nName=Cam\xE9ra\r\n[\\Software\\Marbrecq\\Quillotrane]\r\nSource video=Cam\xE9ra\r\n");
    EXPECT_EQ(L"Cam\u00e9ra", TReadPreferences(kKey, settings::smPortable).ReadString(L"Source video", L""));
    ExpectSaved([](TWritePreferences& w) { w.WriteInteger(L"Top", 1); },
                {L"[Other]", L"Name=Cam\u00e9ra", kSection, L"Source video=Cam\u00e9ra", L"Top=1"});

    // UTF-16 cut in the middle of a character: the whole lines before the cut are kept.
    std::string cut = Utf16File({kSection, L"Top=12", L"Left=34"});
    cut.resize(cut.size() - 5);  // CR LF gone and half of the "4"
    WriteFileBytes(ini_, cut);
    {
        TReadPreferences r(kKey, settings::smPortable);
        EXPECT_EQ(12, r.ReadInteger(L"Top", 0));
        EXPECT_EQ(3, r.ReadInteger(L"Left", 0));
    }

    // Binary garbage: no crash, defaults.
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);
    WriteFileBytes(ini_, junk);
    TReadPreferences r(kKey, settings::smPortable);
    EXPECT_EQ(5000, r.ReadInteger(L"Volume", 5000));
    EXPECT_EQ(DefaultIncrustRec(), r.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));
}

TEST_F(PrefsIni, SavesThatCannotBeWrittenLoseNothing) {
    const std::string old = Utf16File({L"[Other]", L"A=1", kSection, L"Top=5"});
    // Read-only file.
    WriteFileBytes(ini_, old);
    SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        TWritePreferences w(kKey, settings::smPortable);
        w.WriteInteger(L"Top", 6);
        EXPECT_FALSE(w.Close());
        EXPECT_FALSE(w.Close());  // answers the same again
    }
    EXPECT_EQ(old, ReadFileBytes(ini_));
    EXPECT_EQ(std::vector<std::wstring>{L"Quillotrane.ini"}, FolderEntries(folder_));
    SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A file locked by another program when the writer starts: it is not overwritten from an
    // empty list afterwards.
    HANDLE lock = CreateFileW(ini_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    {
        TWritePreferences w(kKey, settings::smPortable);
        CloseHandle(lock);
        w.WriteInteger(L"Top", 6);
        EXPECT_FALSE(w.Close());
    }
    EXPECT_EQ(old, ReadFileBytes(ini_));

    // A folder in the INI file's place: no temporary file left behind.
    DeleteFileW(ini_.c_str());
    ASSERT_TRUE(CreateDirectoryW(ini_.c_str(), nullptr));
    {
        TWritePreferences w(kKey, settings::smPortable);
        w.WriteInteger(L"Top", 6);
        EXPECT_FALSE(w.Close());
    }
    EXPECT_EQ(std::vector<std::wstring>{L"Quillotrane.ini"}, FolderEntries(folder_));
    RemoveDirectoryW(ini_.c_str());

    // A folder that does not exist: false, no exception from the destructor either.
    host_.exe = folder_ + L"missing\\Quillotrane.exe";
    {
        TWritePreferences w(kKey, settings::smPortable);
        w.WriteInteger(L"Top", 6);
        EXPECT_FALSE(w.Close());
    }
    EXPECT_NO_THROW({
        TWritePreferences w(kKey, settings::smPortable);
        w.WriteInteger(L"Top", 6);
    });
}

// A process of this test program, held suspended before it runs anything; its handle keeps its id.
PROCESS_INFORMATION SuspendedHelper() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_filter=NoTestHasThisName";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
    return info;
}

// Saves killed on the way leave temporary files beside the INI file: the next save removes those of
// processes no longer running (or started after the file was written), and no other file.
TEST_F(PrefsIni, ASaveRemovesTheTemporaryFilesThatKilledSavesLeft) {
    PROCESS_INFORMATION ended = SuspendedHelper(), running = SuspendedHelper();
    ASSERT_NE(nullptr, ended.hProcess);
    ASSERT_NE(nullptr, running.hProcess);
    TerminateProcess(ended.hProcess, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ended.hProcess, 10000));
    const std::wstring dead = classlib::IntToHex(ended.dwProcessId, 4);
    const std::wstring live = classlib::IntToHex(running.dwProcessId, 4);
    const std::string junk = "half a settings file";
    const std::vector<std::wstring> stale = {
        L"Quillotrane.ini." + dead + L".1A2B3C.tmp",
        L"quillotrane.INI." + dead + L".ff.TMP",  // as another program spells it
        L"Quillotrane.ini.FFFFFFF0.000001.tmp",   // no such process
        L"Quillotrane.ini." + classlib::IntToHex(GetCurrentProcessId(), 4) + L".ABCDEF.tmp",  // an earlier one's
        L"Quillotrane.ini." + live + L".00C0DE.tmp",  // written before that process started (below)
    };
    const std::vector<std::wstring> kept = {
        L"Quillotrane.ini." + live + L".123456.tmp",  // a copy that may be saving right now
        L"Quillotrane.ini.bak", L"Quillotrane.ini." + dead + L".tmp", L"Quillotrane.ini." + dead + L".12G4.tmp",
        L"Quillotrane.ini." + dead + L".12.tmp.old", L"Quillotrane.ini.123456789.12.tmp",
        L"Other.ini." + dead + L".12.tmp", L"Quillotrane.ini." + dead + L".78.tmp" /* read-only */};
    for (const std::wstring& name : stale) WriteFileBytes(folder_ + name, junk);
    for (const std::wstring& name : kept) WriteFileBytes(folder_ + name, junk);
    SetFileAttributesW((folder_ + kept.back()).c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring folder = L"Quillotrane.ini." + dead + L".77.tmp";
    ASSERT_TRUE(CreateDirectoryW((folder_ + folder).c_str(), nullptr));
    HANDLE older = CreateFileW((folder_ + stale[4]).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME old{};
    SYSTEMTIME when{2001, 1, 1, 1, 0, 0, 0, 0};
    SystemTimeToFileTime(&when, &old);
    EXPECT_TRUE(SetFileTime(older, &old, &old, &old));
    CloseHandle(older);

    ExpectSaved([](TWritePreferences& w) { w.WriteInteger(L"Top", 6); }, {kSection, L"Top=6"});
    std::vector<std::wstring> expected = kept, found = FolderEntries(folder_);
    expected.push_back(L"Quillotrane.ini");
    expected.push_back(folder);
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(expected, found);
    for (const std::wstring& name : kept) EXPECT_EQ(junk, ReadFileBytes(folder_ + name)) << testing::PrintToString(name);
    // Once that copy has ended, its file goes at the next save too.
    TerminateProcess(running.hProcess, 0);
    WaitForSingleObject(running.hProcess, 10000);
    for (HANDLE h : {ended.hProcess, ended.hThread, running.hProcess, running.hThread}) CloseHandle(h);
    ExpectSaved([](TWritePreferences& w) { w.WriteInteger(L"Top", 7); }, {kSection, L"Top=7"});
    EXPECT_EQ("<missing>", ReadFileBytes(folder_ + kept[0]));
}

TEST_F(PrefsIni, DestructorSavesAndModeTwoStoresNothing) {
    {
        TWritePreferences w(kKey, settings::smPortable);
        w.WriteInteger(L"Top", 6);
    }
    EXPECT_EQ(Utf16File({kSection, L"Top=6"}), ReadFileBytes(ini_));
    {
        TWritePreferences w(kKey, settings::smPortable);
        ASSERT_TRUE(w.Close());
        w.WriteInteger(L"Top", 7);  // after Close: nothing
    }
    EXPECT_EQ(Utf16File({kSection, L"Top=6"}), ReadFileBytes(ini_));
    DeleteFileW(ini_.c_str());
    {
        TWritePreferences w(kKey, settings::smNone);
        w.WriteInteger(L"Top", 6);
        w.WriteIncrustRec(L"IncrustRec", SampleRecord());
        EXPECT_TRUE(w.Close());
    }
    EXPECT_TRUE(FolderEntries(folder_).empty());
    TReadPreferences missing(kKey, settings::smPortable);  // no file: defaults
    EXPECT_EQ(3, missing.ReadInteger(L"Top", 3));
    TReadPreferences none(kKey, settings::smNone);
    EXPECT_EQ(L"d", none.ReadString(L"Top", L"d"));
    EXPECT_EQ(DefaultIncrustRec(), none.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));
}

// --- Registry -----------------------------------------------------------------------------------

class PrefsRegistry : public testing::Test {
protected:
    void SetUp() override {
        sub_ = L"Software\\QuillotraneTest\\prefs_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount());
        RegDeleteTreeW(HKEY_CURRENT_USER, sub_.c_str());
        key_ = L"\\" + sub_;
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, sub_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuillotraneTest");  // only when empty
    }
    // Type and bytes of a value below the private key.
    DWORD TypeOf(const std::wstring& subKey, const wchar_t* name, std::string* data = nullptr) {
        DWORD type = REG_NONE;
        BYTE buffer[512];
        DWORD size = sizeof buffer;
        const std::wstring path = subKey.empty() ? sub_ : sub_ + L"\\" + subKey;
        if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size) !=
            ERROR_SUCCESS)
            return REG_NONE;
        if (data) data->assign(reinterpret_cast<char*>(buffer), size);
        return type;
    }
    void RawSet(const std::wstring& subKey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        const std::wstring path = subKey.empty() ? sub_ : sub_ + L"\\" + subKey;
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, data, size));
    }
    std::wstring sub_, key_;
};

TEST_F(PrefsRegistry, LayoutTypesAndRoundTrip) {
    {
        TWritePreferences w(key_, settings::smRegistry);
        w.WriteBool(L"Beeps", true);
        w.WriteInteger(L"Top", -3);
        w.WriteDouble(L"Framerate", 12.5);
        w.WriteString(L"Source video", L"Cam \u4e2d\r\nB");
        w.WriteString(L"Audio Type", L"");
        w.WriteIncrustRec(L"IncrustRec", SampleRecord());
        w.WriteInteger(L"After", 1);  // back on the program's key after the record
        EXPECT_TRUE(w.Close());
    }
    std::string data;
    EXPECT_EQ(REG_DWORD, TypeOf(L"", L"Beeps", &data));
    EXPECT_EQ(std::string("\1\0\0\0", 4), data);
    EXPECT_EQ(REG_DWORD, TypeOf(L"", L"Top"));
    EXPECT_EQ(REG_DWORD, TypeOf(L"", L"After"));
    EXPECT_EQ(REG_BINARY, TypeOf(L"", L"Framerate", &data));
    const double rate = 12.5;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rate), 8), data);
    EXPECT_EQ(REG_SZ, TypeOf(L"", L"Source video"));
    EXPECT_EQ(REG_SZ, TypeOf(L"", L"Audio Type", &data));
    EXPECT_EQ(std::wstring(kMarker) + L'\0', std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2));
    for (const wchar_t* n : {L"Incrust1", L"Incrust2", L"FormatDate1", L"FormatDate2"})
        EXPECT_EQ(REG_SZ, TypeOf(L"IncrustRec", n)) << n;
    EXPECT_EQ(REG_SZ, TypeOf(L"IncrustRec", L"FormatDate2", &data));
    EXPECT_EQ(std::string(2, '\0'), data);  // empty record text: empty REG_SZ, no marker
    EXPECT_EQ(REG_BINARY, TypeOf(L"IncrustRec", L"Decalage Horaire"));
    for (const wchar_t* n : {L"Autofontsize", L"BorderSize", L"What Incrust", L"Alignement", L"BorderColor", L"Xpos",
                             L"Ypos"})
        EXPECT_EQ(REG_DWORD, TypeOf(L"IncrustRec", n)) << n;
    EXPECT_EQ(REG_SZ, TypeOf(L"IncrustRec\\FontRec", L"FontName"));
    for (const wchar_t* n : {L"FontSize", L"FontColor", L"FontBold", L"FontItalic", L"FontUnderline", L"FontStrikeOut"})
        EXPECT_EQ(REG_DWORD, TypeOf(L"IncrustRec\\FontRec", n)) << n;
    EXPECT_EQ(REG_NONE, TypeOf(L"IncrustRec", L"After"));

    TReadPreferences r(key_, settings::smRegistry);
    EXPECT_EQ(SampleRecord(), r.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));
    // Reads after the record still come from the program's key.
    EXPECT_TRUE(r.ReadBool(L"Beeps", false));
    EXPECT_EQ(-3, r.ReadInteger(L"Top", 0));
    EXPECT_EQ(12.5, r.ReadDouble(L"Framerate", 0));
    EXPECT_EQ(L"Cam \u4e2d\r\nB", r.ReadString(L"Source video", L""));
    EXPECT_EQ(L"", r.ReadString(L"Audio Type", L"x"));
    EXPECT_EQ(L"x", r.ReadString(L"Missing", L"x"));
}

TEST_F(PrefsRegistry, OddValuesGiveDefaults) {
    const DWORD five = 5, all = 0xFFFFFFFF;
    const double d = 2.5;
    RawSet(L"", L"Framerate", REG_DWORD, &five, 4);
    RawSet(L"", L"Short", REG_BINARY, &d, 4);
    RawSet(L"", L"Long", REG_BINARY, "123456789", 9);
    RawSet(L"", L"TextInt", REG_SZ, L"12", 6);
    RawSet(L"", L"Flag", REG_DWORD, &five, 4);
    RawSet(L"", L"Minus", REG_DWORD, &all, 4);
    RawSet(L"", L"Expand", REG_EXPAND_SZ, L"%TEMP%", 14);
    RawSet(L"", L"Odd", REG_SZ, "abc", 3);
    TReadPreferences r(key_, settings::smRegistry);
    EXPECT_EQ(18.0, r.ReadDouble(L"Framerate", 18));
    EXPECT_EQ(1.0, r.ReadDouble(L"Short", 1));
    EXPECT_EQ(1.0, r.ReadDouble(L"Long", 1));
    EXPECT_EQ(7, r.ReadInteger(L"TextInt", 7));
    EXPECT_EQ(L"d", r.ReadString(L"Flag", L"d"));
    EXPECT_TRUE(r.ReadBool(L"Flag", false));
    EXPECT_EQ(-1, r.ReadInteger(L"Minus", 0));
    EXPECT_EQ(L"%TEMP%", r.ReadString(L"Expand", L""));
    EXPECT_NO_THROW(r.ReadString(L"Odd", L""));
    EXPECT_FALSE(r.ReadBool(L"TextInt", false));

    // Record: a field of the wrong type gives that field's default; no FontRec key, the default font.
    RawSet(L"IncrustRec", L"Xpos", REG_SZ, L"12", 6);
    RawSet(L"IncrustRec", L"Ypos", REG_DWORD, &five, 4);
    RawSet(L"IncrustRec", L"Incrust1", REG_DWORD, &five, 4);
    RawSet(L"IncrustRec", L"Decalage Horaire", REG_BINARY, &d, 8);
    TincrustRec expected = DefaultIncrustRec();
    expected.Ypos = 5;
    expected.DecalageHoraire = 2.5;
    TReadPreferences r2(key_, settings::smRegistry);
    EXPECT_EQ(expected, r2.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));
    EXPECT_EQ(DefaultIncrustRec(), r2.ReadIncrustRec(L"Absent", DefaultIncrustRec()));
    EXPECT_EQ(-1, r2.ReadInteger(L"Minus", 0));
}

TEST_F(PrefsRegistry, MissingKeyReadsDefaultsWithoutCreatingIt) {
    TReadPreferences r(key_, settings::smRegistry);
    EXPECT_EQ(4, r.ReadInteger(L"Top", 4));
    EXPECT_EQ(DefaultIncrustRec(), r.ReadIncrustRec(L"IncrustRec", DefaultIncrustRec()));
    HKEY k = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CURRENT_USER, sub_.c_str(), 0, KEY_READ, &k));
}

}  // namespace
