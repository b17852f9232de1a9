// The scene list file: its exact bytes for a recording without scene change, for several scenes,
// for a path of 300 bytes and one outside code page 1252, the 32,768-record cap, and the open and
// close states.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "engine/scene_list.h"

using namespace engine;
using filters::TDVInfoRec;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::wstring& name)
{
    Bytes out;
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    std::uint8_t buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.insert(out.end(), buf, buf + got);
    CloseHandle(h);
    return out;
}

Bytes Text(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }
Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TDVInfoRec Frame(std::uint32_t number)
{
    TDVInfoRec r;
    r.FrameNumber = number;
    return r;
}

std::wstring CurrentFolder()
{
    wchar_t buf[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, buf);
    return std::wstring(buf, n);
}

std::string Narrow(const std::wstring& ascii)
{
    std::string out;
    for (wchar_t c : ascii) out.push_back(static_cast<char>(c));
    return out;
}

class SceneList : public ::testing::Test {
protected:
    void TearDown() override
    {
        CloseScnFile();
        for (const auto& f : created_) DeleteFileW(f.c_str());
    }
    std::wstring Name(const std::wstring& leaf)
    {
        created_.push_back(leaf);
        DeleteFileW(leaf.c_str());
        return leaf;
    }
    std::vector<std::wstring> created_;
};

}  // namespace

TEST_F(SceneList, NoSceneChangeGivesOneFirstRecord)
{
    const std::wstring name = Name(L"a.scn");
    ASSERT_TRUE(OpenScnFile(name));
    EXPECT_TRUE(ScnOpen());
    // The detector's stop without any frame: both records at frame 0.
    WriteScnScene(Frame(0), Frame(0));
    CloseScnFile();
    EXPECT_FALSE(ScnOpen());

    const Bytes expected = Bytes{0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00} +
                           Text("SourceTape") + Bytes{5} + Text("a.scn") + Bytes(8, 0) +
                           Bytes{0x01, 0x00} +  // scene count 1
                           Bytes{0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00} + Text("ClipP") + Bytes(3, 0) +
                           Bytes{0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00} + Text("Scene") + Bytes(5, 0) +
                           // first record: E = 1
                           Bytes{0x01, 0x00, 0x00, 0x00} + Bytes{0x00, 0x00, 0x00, 0x00, 0x01, 0x80} + Bytes{5} +
                           Text("a.scn") + Bytes(8, 0) + Bytes{0x01, 0x00, 0x00, 0x00};
    ASSERT_EQ(expected.size(), 65u + 5 + 23 + 5);
    EXPECT_EQ(ReadAll(name), expected);
}

TEST_F(SceneList, SeveralScenes)
{
    const std::wstring name = Name(L"clip01.scn");
    ASSERT_TRUE(OpenScnFile(name));
    WriteScnScene(Frame(0), Frame(99));     // E = 100
    WriteScnScene(Frame(99), Frame(249));   // S = 100, D = 151
    WriteScnScene(Frame(249), Frame(0x12344));  // S = 250, E = 0x12345, D = 0x1224C
    EXPECT_EQ(ScnCount(), 3);
    CloseScnFile();

    const Bytes header = Bytes{0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00} +
                         Text("SourceTape") + Bytes{10} + Text("clip01.scn") + Bytes(8, 0) + Bytes{0x03, 0x00} +
                         Bytes{0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00} + Text("ClipP") + Bytes(3, 0) +
                         Bytes{0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00} + Text("Scene") + Bytes(5, 0);
    const Bytes first = Bytes{100, 0, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x01, 0x80, 10} + Text("clip01.scn") +
                        Bytes(8, 0) + Bytes{100, 0, 0, 0};
    const Bytes second = Bytes{0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00, 100, 0, 0, 0, 151, 0, 0, 0,
                               0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 100, 0, 0, 0, 151, 0, 0, 0, 100, 0, 0, 0};
    const Bytes third = Bytes{0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00, 250, 0, 0, 0, 0x4C, 0x22, 0x01, 0,
                              0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 250, 0, 0, 0, 0x4C, 0x22, 0x01, 0, 250, 0, 0, 0};
    ASSERT_EQ(second.size(), 35u);
    EXPECT_EQ(ReadAll(name), header + first + second + third);
}

TEST_F(SceneList, LongPathKeepsTheLowByteOfItsLength)
{
    // A path of exactly 300 bytes in a sub-folder of the working folder (past MAX_PATH, so in the
    // long form that the system takes for it).
    const std::wstring base = L"\\\\?\\" + CurrentFolder() + L"\\";
    const std::wstring leaf = L"scene.scn";
    ASSERT_LT(base.size() + leaf.size() + 2, 300u);
    // Two folders, each name well below the file system's 255-byte limit.
    const std::size_t rest = 300 - base.size() - leaf.size() - 1;
    const std::wstring outer = base + std::wstring(rest / 2, L'd');
    const std::wstring folder = outer + L"\\" + std::wstring(rest - rest / 2 - 1, L'e');
    CreateDirectoryW(outer.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << GetLastError();
    const std::wstring path = folder + L"\\" + leaf;
    ASSERT_EQ(path.size(), 300u);
    created_.push_back(path);

    ASSERT_TRUE(OpenScnFile(path));
    WriteScnScene(Frame(5), Frame(7));
    WriteScnScene(Frame(7), Frame(8));
    CloseScnFile();
    const Bytes got = ReadAll(path);
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(outer.c_str());

    const std::string narrow = Narrow(path);
    ASSERT_EQ(got.size(), 65u + 300 + 23 + 300 + 35);
    EXPECT_EQ(got[24], 44);  // 300 modulo 256
    EXPECT_EQ(std::string(got.begin() + 25, got.begin() + 325), narrow);
    EXPECT_EQ(got[333], 2);  // count at 33 + L
    EXPECT_EQ(got[334], 0);
    EXPECT_EQ(std::string(got.begin() + 355, got.begin() + 360), "Scene");
    // First record: E = 8, the six bytes, then 44 and the whole name again.
    EXPECT_EQ(got[365], 8);
    EXPECT_EQ(got[365 + 10], 44);
    EXPECT_EQ(std::string(got.begin() + 376, got.begin() + 676), narrow);
    EXPECT_EQ(got[684], 8);
    EXPECT_EQ(got[688], 0x03);  // the later record follows
}

TEST_F(SceneList, PathOutsideTheCodePageIsOpenedByItsWideName)
{
    ASSERT_EQ(GetACP(), 1252u);
    const std::wstring name = Name(L"clip-\u4E2D\u05D0.scn");
    ASSERT_TRUE(OpenScnFile(name));
    WriteScnScene(Frame(0), Frame(2));
    CloseScnFile();
    const Bytes got = ReadAll(name);  // found by its wide name
    // The name field holds the single-byte form of the name, unmappable characters as '?'.
    const Bytes expected = Bytes{0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00} +
                           Text("SourceTape") + Bytes{11} + Text("clip-??.scn") + Bytes(8, 0) + Bytes{1, 0} +
                           Bytes{0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00} + Text("ClipP") + Bytes(3, 0) +
                           Bytes{0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00} + Text("Scene") + Bytes(5, 0) +
                           Bytes{3, 0, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x01, 0x80, 11} + Text("clip-??.scn") +
                           Bytes(8, 0) + Bytes{3, 0, 0, 0};
    EXPECT_EQ(got, expected);
    // No file under the code-page name.
    EXPECT_EQ(GetFileAttributesW(L"clip-??.scn"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SceneList, AtMost32768Records)
{
    const std::wstring name = Name(L"cap.scn");
    ASSERT_TRUE(OpenScnFile(name));
    for (std::uint32_t i = 0; i < 32770; ++i) WriteScnScene(Frame(i), Frame(i + 1));
    EXPECT_EQ(ScnCount(), 32768);
    CloseScnFile();
    const Bytes got = ReadAll(name);
    ASSERT_EQ(got.size(), 65u + 7 + 23 + 7 + 32767u * 35);
    EXPECT_EQ(got[33 + 7], 0x00);  // 0x8000
    EXPECT_EQ(got[34 + 7], 0x80);
    // The last record written is scene 32,768: S = 32768, D = 2.
    const std::size_t last = got.size() - 35;
    EXPECT_EQ(got[last], 0x03);
    EXPECT_EQ(got[last + 9], 0x00);
    EXPECT_EQ(got[last + 10], 0x80);
    EXPECT_EQ(got[last + 13], 2);
}

TEST_F(SceneList, OpenAndCloseStates)
{
    // Closing without a list, and twice, does nothing.
    CloseScnFile();
    EXPECT_FALSE(ScnOpen());
    WriteScnScene(Frame(1), Frame(2));  // no list: nothing written, no failure

    // A list that cannot be created: false, and the main window still sees it open until it
    // closes it; scenes reported meanwhile are dropped.
    EXPECT_FALSE(OpenScnFile(L"no-such-folder\\x.scn"));
    EXPECT_TRUE(ScnOpen());
    WriteScnScene(Frame(1), Frame(2));
    CloseScnFile();
    EXPECT_FALSE(ScnOpen());
    CloseScnFile();
    EXPECT_FALSE(ScnOpen());

    // Opening a second list closes the first one with its count.
    const std::wstring one = Name(L"one.scn");
    const std::wstring two = Name(L"two.scn");
    ASSERT_TRUE(OpenScnFile(one));
    WriteScnScene(Frame(0), Frame(4));
    WriteScnScene(Frame(4), Frame(9));
    ASSERT_TRUE(OpenScnFile(two));
    EXPECT_EQ(ScnCount(), 0);
    EXPECT_EQ(ScnFileName(), two);
    const Bytes first = ReadAll(one);
    ASSERT_EQ(first.size(), 65u + 7 + 23 + 7 + 35);
    EXPECT_EQ(first[40], 2);

    // An existing list is emptied.
    CloseScnFile();
    ASSERT_TRUE(OpenScnFile(one));
    CloseScnFile();
    const Bytes emptied = ReadAll(one);
    ASSERT_EQ(emptied.size(), 65u + 7);
    EXPECT_EQ(emptied[40], 0);
}
