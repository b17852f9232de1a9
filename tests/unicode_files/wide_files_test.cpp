// Wide file functions and the wide-named file stream, on real files in a scratch folder.
#include <gtest/gtest.h>

#include "exception_text.h"

#include <algorithm>
#include <set>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "test_support.h"
#include "unicode/wide_files.h"

using namespace unicode;
using quill_test::AnsiPlatform;
using quill_test::ScratchDir;

namespace {

std::set<std::wstring> FindAll(const std::wstring& pattern, std::int32_t attr)
{
    std::set<std::wstring> names;
    TSearchRecW f;
    for (std::int32_t rc = WideFindFirst(pattern, attr, f); rc == 0; rc = WideFindNext(f)) names.insert(f.Name);
    WideFindClose(f);
    return names;
}

using quill_test::MessageOf;

}  // namespace

TEST(WidePaths, SplittingFollowsBackslashAndColonOnly)
{
    EXPECT_EQ(WideExtractFileExt(L"C:\\dir.x\\file"), L"");
    EXPECT_EQ(WideExtractFileExt(L"file.tar.gz"), L".gz");
    EXPECT_EQ(WideExtractFileExt(L"dir.x/file"), L".x/file");  // the slash is an ordinary character
    EXPECT_EQ(WideChangeFileExt(L"C:\\dir.x\\file", L".avi"), L"C:\\dir.x\\file.avi");
    EXPECT_EQ(WideChangeFileExt(L"clip.tar.gz", L".scn"), L"clip.tar.scn");
    EXPECT_EQ(WideChangeFileExt(L"clip.avi", L""), L"clip");
    EXPECT_EQ(WideExtractFilePath(L"C:file"), L"C:");
    EXPECT_EQ(WideExtractFileName(L"C:file"), L"file");
    EXPECT_EQ(WideExtractFilePath(L"file"), L"");
    EXPECT_EQ(WideExtractFilePath(L"C:\\a\\b\\"), L"C:\\a\\b\\");
    EXPECT_EQ(WideExtractFileName(L"C:\\a\\b\\"), L"");
    EXPECT_EQ(WideExtractFileName(L"a/b"), L"a/b");
}

TEST(WidePaths, DriveOfLetterAndUncNames)
{
    EXPECT_EQ(WideExtractFileDrive(L"C:\\x\\y"), L"C:");
    EXPECT_EQ(WideExtractFileDrive(L"d:"), L"d:");
    EXPECT_EQ(WideExtractFileDrive(L"\\\\server\\share\\folder\\file"), L"\\\\server\\share");
    EXPECT_EQ(WideExtractFileDrive(L"\\\\server\\share\\"), L"\\\\server\\share");
    EXPECT_EQ(WideExtractFileDrive(L"\\\\server\\share"), L"\\\\server\\share");
    EXPECT_EQ(WideExtractFileDrive(L"\\\\"), L"\\\\");
    EXPECT_EQ(WideExtractFileDrive(L"\\single"), L"");
    EXPECT_EQ(WideExtractFileDrive(L"relative\\x"), L"");
    EXPECT_EQ(WideExtractFileDrive(L""), L"");
}

TEST(WidePaths, DelimitersAndTrailingBackslash)
{
    EXPECT_EQ(WideLastDelimiter(L"\\:", L"a:b\\c"), 4);
    EXPECT_EQ(WideLastDelimiter(L"\\:", L"abc"), 0);
    // U+0000 never matches, even when both texts hold one.
    EXPECT_EQ(WideLastDelimiter(std::wstring(L"\0", 1), std::wstring(L"ab\0c", 4)), 0);
    EXPECT_TRUE(WideIsDelimiter(L".", L"a.b", 2));
    EXPECT_FALSE(WideIsDelimiter(L".", L"a.b", 0));
    EXPECT_FALSE(WideIsDelimiter(L".", L"a.b", 4));
    EXPECT_TRUE(WideIsPathDelimiter(L"a\\", 2));
    EXPECT_FALSE(WideIsPathDelimiter(L"a\\", 3));
    EXPECT_FALSE(WideIsPathDelimiter(L"a/", 2));
    EXPECT_EQ(WideIncludeTrailingBackslash(L""), L"\\");
    EXPECT_EQ(WideIncludeTrailingBackslash(L"C:\\"), L"C:\\");
    EXPECT_EQ(WideExcludeTrailingBackslash(L"C:\\a\\\\"), L"C:\\a\\");
    EXPECT_EQ(WideExcludeTrailingBackslash(L""), L"");
}

TEST(WidePaths, ExpandFileName)
{
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    EXPECT_EQ(WideExpandFileName(L"clip.avi"), WideIncludeTrailingBackslash(cwd) + L"clip.avi");
    EXPECT_EQ(WideExpandFileName(L"C:\\a\\..\\b\\.\\c"), L"C:\\b\\c");
    // Past 260 characters the path comes back whole rather than cut.
    const std::wstring longName = L"C:\\" + std::wstring(300, L'x') + L"\\f";
    EXPECT_EQ(WideExpandFileName(longName), longName);
}

TEST(WideFiles, ForceDirectories)
{
    ScratchDir dir(L"force");
    EXPECT_TRUE(WideForceDirectories(dir / L"a\\b\\"));
    EXPECT_TRUE(WideDirectoryExists(dir / L"a"));
    EXPECT_TRUE(WideDirectoryExists(dir / L"a\\b"));
    EXPECT_TRUE(WideForceDirectories(L"C:\\"));
    EXPECT_TRUE(WideForceDirectories(L"C:"));
    EXPECT_EQ(MessageOf<EUcGeneralError>([] { WideForceDirectories(L""); }), L"Unable to create directory");

    // A folder below a file cannot be made: false, no exception.
    quill_test::WriteFileBytes(dir / L"file", "x");
    EXPECT_FALSE(WideForceDirectories(dir / L"file\\sub"));

    // Relative names are taken from the current folder, one level and several.
    wchar_t old[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    const bool oneLevel = WideForceDirectories(L"abc");
    const bool twoChars = WideForceDirectories(L"ab");
    const bool nested = WideForceDirectories(L"rel\\x\\y");
    SetCurrentDirectoryW(old);
    EXPECT_TRUE(oneLevel);
    EXPECT_TRUE(twoChars);
    EXPECT_TRUE(nested);
    EXPECT_TRUE(WideDirectoryExists(dir / L"abc"));
    EXPECT_TRUE(WideDirectoryExists(dir / L"ab"));
    EXPECT_TRUE(WideDirectoryExists(dir / L"rel\\x\\y"));
}

TEST(WideFiles, AgeExistsAndAttributes)
{
    ScratchDir dir(L"age");
    const std::wstring file = dir / L"clip.avi";
    quill_test::WriteFileBytes(file, "12345");

    // Last write 25 September 2008, 13:05:10 local time.
    SYSTEMTIME st{2008, 9, 4, 25, 13, 5, 10, 0};
    FILETIME local{}, utc{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &utc));
    HANDLE h = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, nullptr, nullptr, &utc);
    CloseHandle(h);

    const std::uint32_t age = static_cast<std::uint32_t>(WideFileAge(file));
    const std::uint32_t date = age >> 16, time = age & 0xFFFF;
    EXPECT_EQ((date >> 9) + 1980, 2008u);
    EXPECT_EQ((date >> 5) & 15, 9u);
    EXPECT_EQ(date & 31, 25u);
    EXPECT_EQ(time >> 11, 13u);
    EXPECT_EQ((time >> 5) & 63, 5u);
    EXPECT_EQ((time & 31) * 2, 10u);

    EXPECT_TRUE(WideFileExists(file));
    EXPECT_FALSE(WideFileExists(dir.Path()));  // a folder is not a file
    EXPECT_TRUE(WideDirectoryExists(dir.Path()));
    EXPECT_FALSE(WideDirectoryExists(file));
    EXPECT_EQ(WideFileAge(dir / L"missing"), -1);
    EXPECT_FALSE(WideFileExists(dir / L"missing"));
    EXPECT_EQ(WideFileGetAttr(dir / L"missing"), -1);

    EXPECT_TRUE(WideFileSetAttr(file, faReadOnly));
    EXPECT_EQ(WideFileGetAttr(file) & faReadOnly, faReadOnly);
    EXPECT_TRUE(WideFileSetAttr(file, 0));
    EXPECT_EQ(WideFileGetAttr(file) & faReadOnly, 0);
    EXPECT_FALSE(WideFileSetAttr(dir / L"missing", 0));
}

TEST(WideFiles, SearchAttributeFilters)
{
    ScratchDir dir(L"find");
    quill_test::WriteFileBytes(dir / L"a.txt", "hello");
    quill_test::WriteFileBytes(dir / L"ro.txt", "");
    quill_test::WriteFileBytes(dir / L"h.txt", "");
    SetFileAttributesW((dir / L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((dir / L"h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);

    const std::wstring all = dir / L"*";
    EXPECT_EQ(FindAll(all, 0), (std::set<std::wstring>{L"a.txt", L"ro.txt"}));
    EXPECT_EQ(FindAll(all, faHidden), (std::set<std::wstring>{L"a.txt", L"ro.txt", L"h.txt"}));
    EXPECT_EQ(FindAll(all, faDirectory), (std::set<std::wstring>{L".", L"..", L"a.txt", L"ro.txt", L"sub"}));

    TSearchRecW f;
    ASSERT_EQ(WideFindFirst(dir / L"a.*", 0, f), 0);
    EXPECT_EQ(f.Name, L"a.txt");
    EXPECT_EQ(f.Size, 5);
    EXPECT_EQ(f.Attr & faDirectory, 0);
    EXPECT_EQ(f.Time, WideFileAge(dir / L"a.txt"));
    EXPECT_EQ(WideFindNext(f), ERROR_NO_MORE_FILES);
    WideFindClose(f);
    EXPECT_EQ(f.FindHandle, INVALID_HANDLE_VALUE);
    WideFindClose(f);  // a second close is harmless

    // Only an excluded entry matches: the error code, and the search is already closed.
    EXPECT_EQ(WideFindFirst(dir / L"sub", 0, f), ERROR_NO_MORE_FILES);
    EXPECT_EQ(f.FindHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WideFindFirst(dir / L"*.none", 0, f), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(WideFindFirst(dir / L"nofolder\\*", 0, f), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(f.FindHandle, INVALID_HANDLE_VALUE);
}

TEST(WideFileStream, CreateTruncatesAndSharingIsEnforced)
{
    ScratchDir dir(L"stream");
    const std::wstring name = dir / L"data.bin";
    {
        TUcFileStream s(name, classlib::fmCreate);
        s.WriteBuffer("hello", 5);
    }
    {
        TUcFileStream s(name, classlib::fmCreate);
        EXPECT_EQ(s.Size(), 0);
    }
    quill_test::WriteFileBytes(name, "abc");

    TUcFileStream reader(name, classlib::fmOpenRead | classlib::fmShareDenyWrite);
    char buf[4] = {};
    EXPECT_EQ(reader.Read(buf, 4), 3);
    EXPECT_STREQ(buf, "abc");
    // Others may read, nobody may write.
    EXPECT_NO_THROW(TUcFileStream(name, classlib::fmOpenRead | classlib::fmShareDenyNone));
    const std::wstring msg = MessageOf<classlib::EFOpenError>(
        [&] { TUcFileStream(name, classlib::fmOpenWrite | classlib::fmShareDenyNone); });
    EXPECT_EQ(msg, classlib::Format(L"Cannot open file \"%s\". %s", {name, WideSysErrorMessage(ERROR_SHARING_VIOLATION)}));
}

TEST(WideFileStream, ErrorTextsNameTheFullPath)
{
    ScratchDir dir(L"errors");
    wchar_t old[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    const std::wstring openMsg =
        MessageOf<classlib::EFOpenError>([] { TUcFileStream(L"missing.avi", classlib::fmOpenRead); });
    const std::wstring createMsg =
        MessageOf<classlib::EFCreateError>([] { TUcFileStream(L"nofolder\\new.avi", classlib::fmCreate); });
    SetCurrentDirectoryW(old);
    EXPECT_EQ(openMsg, classlib::Format(L"Cannot open file \"%s\". %s",
                                        {dir / L"missing.avi", WideSysErrorMessage(ERROR_FILE_NOT_FOUND)}));
    EXPECT_EQ(createMsg, classlib::Format(L"Cannot create file \"%s\". %s",
                                          {dir / L"nofolder\\new.avi", WideSysErrorMessage(ERROR_PATH_NOT_FOUND)}));

    // A sharing value outside the library's modes opens nothing.
    quill_test::WriteFileBytes(dir / L"f", "x");
    EXPECT_THROW(TUcFileStream(dir / L"f", classlib::fmOpenRead | 0x50), classlib::EFOpenError);

    // The destructor lets the file go: an exclusive open succeeds afterwards.
    { TUcFileStream s(dir / L"f", classlib::fmOpenReadWrite | classlib::fmShareExclusive); }
    EXPECT_NO_THROW(TUcFileStream(dir / L"f", classlib::fmOpenReadWrite | classlib::fmShareExclusive));
}

TEST(WideFiles, NamesOutsideTheAnsiCodePage)
{
    ScratchDir dir(L"intl");
    const std::wstring folder = dir / L"\u0391\u03C1\u03C7\u03B5\u03AF\u03B1";  // Greek
    const std::wstring file = folder + L"\\\u6620\u50CF.avi";                     // CJK
    ASSERT_TRUE(WideForceDirectories(folder));
    {
        TUcFileStream s(file, classlib::fmCreate);
        s.WriteBuffer("dv", 2);
    }
    EXPECT_TRUE(WideFileExists(file));
    EXPECT_EQ(FindAll(folder + L"\\*.avi", 0), (std::set<std::wstring>{L"\u6620\u50CF.avi"}));
    TUcFileStream s(file, classlib::fmOpenRead);
    char buf[3] = {};
    EXPECT_EQ(s.Read(buf, 2), 2);
    EXPECT_STREQ(buf, "dv");
    // The name really is the wide one: the system finds it by its wide name too.
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WideErrorTexts, UnknownCodesAndModules)
{
    const std::uint32_t unknown = 0x20001234;  // customer bit: no system text
    EXPECT_EQ(WideSysErrorMessage(unknown), L"Unspecified error (536875572) from system.");
    EXPECT_EQ(WideLibraryErrorMessage(L"quartz", GetModuleHandleW(L"kernel32.dll"), unknown),
              L"Unspecified error (536875572) from quartz.");
    const std::wstring known = WideSysErrorMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(known.find(L"Unspecified"), std::wstring::npos);
    EXPECT_FALSE(classlib::Trim(known).empty());
}

TEST(WideAnsiPlatform, FilesAndErrorTextsThroughTheAnsiCalls)
{
    const std::wstring wideText = WideSysErrorMessage(ERROR_FILE_NOT_FOUND);
    ScratchDir dir(L"ansi");
    {
        AnsiPlatform ansi;
        EXPECT_EQ(WideSysErrorMessage(ERROR_FILE_NOT_FOUND), wideText);
        EXPECT_EQ(WideSysErrorMessage(0x20001234), L"Unspecified error (536875572) from system.");
        const std::wstring file = dir / L"caf\u00E9\\cr\u00E8me.txt";  // within code page 1252
        EXPECT_TRUE(WideForceDirectories(dir / L"caf\u00E9"));
        { TUcFileStream s(file, classlib::fmCreate); }
        EXPECT_TRUE(WideFileExists(file));
        EXPECT_EQ(FindAll(dir / L"caf\u00E9\\*", 0), (std::set<std::wstring>{L"cr\u00E8me.txt"}));
        EXPECT_THROW(TUcFileStream(dir / L"missing", classlib::fmOpenRead), classlib::EFOpenError);
    }
    EXPECT_TRUE(GetFileAttributesW((dir / L"caf\u00E9\\cr\u00E8me.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
}
