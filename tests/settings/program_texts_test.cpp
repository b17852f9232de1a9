// Program texts read back from this executable's own string table, the version globals, and the
// version information of this executable, of a library without translation table, of a plain
// data file and of a missing file.
#include "settings/program_texts.h"

#include <gtest/gtest.h>

#include <utility>

#include "classlib/conversions.h"
#include "unicode/wide_platform.h"

namespace {

TEST(ProgramTexts, EveryTextOfTheTable) {
    const std::pair<unsigned, const wchar_t*> texts[] = {
        {IDS_NO_VIDEO_STREAM, L"no video stream"},
        {IDS_NO_AUDIO_STREAM, L"no audio stream"},
        {IDS_NO_SETTINGS_TAB, L"[no settings tab]"},
        {IDS_CAPTURE_UNTIL, L"capture until "},
        {IDS_START_AT, L"start at "},
        {IDS_PROGRAMMATION, L"programmation"},
        {IDS_DURATION, L"duration %d:%.2d :%.2d"},
        {IDS_FRAMES, L"%d frames"},
        {IDS_LOST_FRAMES, L"%d lost frames / %d"},
        {IDS_EVERY, L"every %d %s"},
        {IDS_PREVIEW, L"Preview"},
        {IDS_PREVIEW_IN, L" in"},
        {IDS_PREVIEW_4X3, L" 4x3"},
        {IDS_PREVIEW_16X9, L" 16x9"},
        {IDS_PREVIEW_MUTE, L" mute"},
        {IDS_PREVIEW_FLIP_H, L" h"},
        {IDS_PREVIEW_FLIP_V, L" v"},
        {IDS_FREE_MB, L"%d free mb on %s"},
        {IDS_CANNOT_CHANGE_VIDEO_SOURCES, L"impossible to change the video sources"},
        {IDS_FORMAT_NONE, L"None"},
        {IDS_FORMAT_DV1_NATIVE, L"dv type 1 natifve"},
        {IDS_FORMAT_DV2_NATIVE, L"dv type 2 native"},
        {IDS_FORMAT_MPEG1_NATIVE, L"mpeg1 native stream"},
        {IDS_FORMAT_MPEG2_NATIVE, L"mpeg2 native stream"},
        {IDS_FORMAT_AVI_NATIVE, L"avi native"},
        {IDS_FORMAT_IMAGE_BY_IMAGE, L"Image by Image"},
        {IDS_FORMAT_DV2_RECOMP, L"dv type 2 (recomp)"},
        {IDS_FORMAT_WMV, L"Wmv"},
        {IDS_FORMAT_DIVX, L"DivX"},
        {IDS_FORMAT_DEFAULT, L"Default"},
        {IDS_FORMAT_SHORT_NATIVE, L"native"},
        {IDS_FORMAT_SHORT_DV2_REC, L"dv2 rec"},
        {IDS_FORMAT_WAV, L"Wav"},
        {IDS_FORMAT_MP3, L"mp3"},
        {IDS_DV_FREQUENCY_NATIVE, L"native"},
        {IDS_DV_FREQUENCY_32000, L"32000"},
        {IDS_DV_FREQUENCY_44100, L"44100"},
        {IDS_DV_FREQUENCY_48000, L"48000"},
        {IDS_ERROR_FATAL, L" has encountered a fatal error"},
        {IDS_ERROR_POTENTIAL_ISSUES, L" has found potential issues"},
        {IDS_ERROR_IS_SORRY, L" is sorry:"},
        {IDS_ERROR_ON_YOUR_SYSTEM, L" on your system:"},
        {IDS_ERROR_SEND_MAIL,
         L"You should send me an <mail %s>e-mail</mail> about this issue, with a maximum of data to help finding a "
         L"solution... I study all e-mail that I receive, but unfortunately I have no time to respond to most of "
         L"them."},
        {IDS_ERROR_GET_HELP,
         L"To get help about <COLOR Navy><B>%s</B></COLOR>, or check for updates, you may visit <url %s>my web "
         L"site</url>."},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(text, settings::LoadProgramText(id)) << id;
    EXPECT_EQ(L"", settings::LoadProgramText(2099));  // no such entry
}

TEST(ProgramVersion, GlobalsAndBuildDate) {
    EXPECT_EQ(L"6.0.5", settings::ProgramVersion());
    EXPECT_EQ(L"En", settings::ProgramLanguage());
    EXPECT_EQ(L"Quillotrane 6.0.5En", settings::ProgramTitle());

    EXPECT_EQ(L"25/09/2008", settings::BuildDateText(L"dd/MM/yyyy"));
    EXPECT_EQ(L"25/09/2008", settings::BuildDateText(L"dd/mm/yyyy"));
    EXPECT_EQ(L"9/25/2008", settings::BuildDateText(L"M/d/yyyy"));
    EXPECT_EQ(L"25.09.08", settings::BuildDateText(L"dd.MM.yy"));
    EXPECT_EQ(L"2008-09-25", settings::BuildDateText(L"yyyy-MM-dd"));
    // no picture: the locale's own short format, which shows the day somewhere
    EXPECT_NE(std::wstring::npos, settings::BuildDateText(L"").find(L"25"));
    EXPECT_NE(std::wstring::npos, settings::BuildDate().find(L"25"));
}

// --- Version information ---------------------------------------------------------------------

std::wstring ThisExecutable() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::string Ansi(const std::wstring& text) { return classlib::WideToAnsi(text, unicode::DefaultSystemCodePage()); }

// A record whose fields show whether GetVersionInfo touched them.
settings::TVersionInfoRec MarkedRecord() {
    settings::TVersionInfoRec rec;
    rec.Status = L"unset";
    rec.Reserved = 77;
    rec.Language = "old language";
    for (auto& item : rec.Items) item = "old item";
    return rec;
}

void ExpectUntouched(const settings::TVersionInfoRec& rec) {
    EXPECT_EQ(77, rec.Reserved);
    EXPECT_EQ("old language", rec.Language);
    for (const auto& item : rec.Items) EXPECT_EQ("old item", item);
}

TEST(GetVersionInfo, ReadsTheStringsOfTheFirstTranslation) {
    settings::TVersionInfoRec rec = MarkedRecord();
    settings::GetVersionInfo(ThisExecutable(), rec);
    EXPECT_EQ(L"OK", rec.Status);
    EXPECT_EQ(77, rec.Reserved);
    EXPECT_EQ(0u, rec.Language.rfind("Langage = English", 0)) << rec.Language;
    EXPECT_EQ(Ansi(L"Nom de la soci\u00e9t\u00e9 = Marbrecq"), rec.Items[0]);
    // label, " = " and a 103-character description, cut at 100 bytes in total
    const std::string label = "Description du fichier = ";
    std::string digits;
    for (int i = 0; i < 10; ++i) digits += "0123456789";
    EXPECT_EQ(label + digits.substr(0, 100 - label.size()), rec.Items[1]);
    EXPECT_EQ("FileVersion = 6.0.5.0", rec.Items[2]);
    EXPECT_EQ("InternalName = test_settings", rec.Items[3]);
    EXPECT_EQ("LegalCopyright = Copyright Marbrecq", rec.Items[4]);
    EXPECT_EQ("LegalTradeMarks = none", rec.Items[5]);
    EXPECT_EQ("OriginalFileName = test_settings.exe", rec.Items[6]);
    EXPECT_EQ("ProductName = Quillotrane tests", rec.Items[7]);
    EXPECT_EQ("ProductVersion = 6.0.5", rec.Items[8]);
    EXPECT_EQ("", rec.Items[9]);  // no "Comments"
}

TEST(GetVersionInfo, BlockWithoutTranslationLeavesTheFields) {
    settings::TVersionInfoRec rec = MarkedRecord();
    std::wstring dll = ThisExecutable();
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"" QUILL_NOXLAT_DLL;  // built beside this program
    settings::GetVersionInfo(dll, rec);
    EXPECT_EQ(L"OK", rec.Status);
    ExpectUntouched(rec);
}

TEST(GetVersionInfo, PlainFileAndMissingFile) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::wstring data = std::wstring(base) + L"quill_settings_plain_" + std::to_wstring(GetCurrentProcessId()) +
                              L".dat";
    HANDLE h = CreateFileW(data.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, "MZ not really an executable", 27, &written, nullptr);
    CloseHandle(h);
    settings::TVersionInfoRec rec = MarkedRecord();
    settings::GetVersionInfo(data, rec);
    EXPECT_EQ(L"No version information", rec.Status);
    ExpectUntouched(rec);
    DeleteFileW(data.c_str());

    rec = MarkedRecord();
    settings::GetVersionInfo(data, rec);  // now missing
    EXPECT_EQ(L"BROKEN", rec.Status);
    ExpectUntouched(rec);

    rec = MarkedRecord();
    settings::GetVersionInfo(L"", rec);
    EXPECT_EQ(L"BROKEN", rec.Status);
    ExpectUntouched(rec);
}

}  // namespace
