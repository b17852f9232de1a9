// The wide text file on disk: the exact bytes written, every byte-order mark and ANSI text read
// back, damaged and odd files, files that cannot be opened, names outside code page 1252.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/streams.h"
#include "unicode/wide_strings.h"

namespace {

using unicode::TUcStringList;
using Bytes = std::vector<unsigned char>;
using Wide = std::vector<std::wstring>;

Wide Lines(const unicode::TWideStrings& list) {
    Wide out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
    return out;
}

// A folder of its own under the test's working folder, removed with its files at the end.
class WideTextFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = L"lists_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
    }
    void TearDown() override {
        for (const auto& f : files_) DeleteFileW(f.c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    std::wstring Path(const std::wstring& name) {
        files_.push_back(dir_ + name);
        return files_.back();
    }
    static void WriteRaw(const std::wstring& path, const Bytes& bytes) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD done = 0;
        if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(h);
        ASSERT_EQ(done, bytes.size());
    }
    static Bytes ReadRaw(const std::wstring& path) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return {0xDE, 0xAD};
        Bytes bytes(GetFileSize(h, nullptr));
        DWORD done = 0;
        if (!bytes.empty()) ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        CloseHandle(h);
        bytes.resize(done);
        return bytes;
    }
    Wide Load(const Bytes& bytes) {
        std::wstring path = Path(L"in" + std::to_wstring(files_.size()) + L".txt");
        WriteRaw(path, bytes);
        TUcStringList list;
        list.LoadFromFile(path);
        return Lines(list);
    }

private:
    std::wstring dir_;
    std::vector<std::wstring> files_;
};

TEST_F(WideTextFiles, SavedBytesAndReadBack) {
    std::wstring path = Path(L"saved.txt");
    TUcStringList list;
    list.SaveToFile(path);
    EXPECT_EQ(ReadRaw(path), (Bytes{0xFF, 0xFE}));
    list.Add(L"x");
    list.LoadFromFile(path);
    EXPECT_EQ(list.Count(), 0);

    list.Add(L"a");
    list.Add(L"b");
    list.SaveToFile(path);
    EXPECT_EQ(ReadRaw(path), (Bytes{0xFF, 0xFE, 0x61, 0, 0x0D, 0, 0x0A, 0, 0x62, 0, 0x0D, 0, 0x0A, 0}));
    TUcStringList back;
    back.LoadFromFile(path);
    EXPECT_EQ(Lines(back), (Wide{L"a", L"b"}));

    list.SetText(std::wstring(L"\u20AC"));  // saving again truncates the longer file
    list.SaveToFile(path);
    EXPECT_EQ(ReadRaw(path), (Bytes{0xFF, 0xFE, 0xAC, 0x20, 0x0D, 0, 0x0A, 0}));
}

TEST_F(WideTextFiles, EveryByteOrderMarkAndAnsiText) {
    EXPECT_EQ(Load({0xFF, 0xFE, 0xE9, 0, 0x0D, 0, 0x0A, 0, 0x16, 0x04}), (Wide{L"\u00E9", L"\u0416"}));
    EXPECT_EQ(Load({0xFE, 0xFF, 0, 0xE9, 0, 0x0A, 0x04, 0x16}), (Wide{L"\u00E9", L"\u0416"}));
    EXPECT_EQ(Load({0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0x0D, 0x0A, 0xE2, 0x82, 0xAC}), (Wide{L"\u00E9", L"\u20AC"}));
    ASSERT_EQ(GetACP(), 1252u) << "the test environment runs with code page 1252";
    EXPECT_EQ(Load({'c', 'a', 'f', 0xE9, 0x0D, 0x0A, 0x80}), (Wide{L"caf\u00E9", L"\u20AC"}));
    // A UTF-8 text without mark is ANSI text.
    EXPECT_EQ(Load({0xC3, 0xA9}), (Wide{L"\u00C3\u00A9"}));
}

TEST_F(WideTextFiles, ShortOddAndDamagedFiles) {
    EXPECT_EQ(Load({}), Wide{});
    EXPECT_EQ(Load({'A'}), (Wide{L"A"}));          // one byte: ANSI text
    EXPECT_EQ(Load({'A', 'B'}), (Wide{L"AB"}));    // two bytes, no mark
    EXPECT_EQ(Load({0xFF, 0xFE}), Wide{});         // mark only
    EXPECT_EQ(Load({0xFF, 0xFE, 0x61}), Wide{});   // one byte after the mark
    EXPECT_EQ(Load({0xFE, 0xFF, 0x00}), Wide{});
    EXPECT_EQ(Load({0xFF, 0xFE, 0x61, 0, 0x62}), (Wide{L"a"}));           // odd count: last byte ignored
    EXPECT_EQ(Load({0xFE, 0xFF, 0, 0x61, 0, 0x62, 0}), (Wide{L"ab"}));
    EXPECT_EQ(Load({0xEF, 0xBB}), (Wide{L"\u00EF\u00BB"}));                // half a UTF-8 mark: ANSI
    EXPECT_EQ(Load({0xEF, 0xBB, 0xBF}), Wide{});
    // A surrogate pair cut short and lone surrogates are kept as they are.
    EXPECT_EQ(Load({0xFF, 0xFE, 0x61, 0, 0x3D, 0xD8, 0x0D, 0, 0x0A, 0, 0x00, 0xDC, 0x62, 0}),
              (Wide{L"a\xD83D", L"\xDC00" L"b"}));
    // An embedded zero ends the text.
    EXPECT_EQ(Load({0xFF, 0xFE, 0x61, 0, 0, 0, 0x62, 0}), (Wide{L"a"}));
    // One malformed UTF-8 sequence costs only itself.
    Wide damaged = Load({0xEF, 0xBB, 0xBF, 'o', 'k', 0x0D, 0x0A, 'x', 0xC3, 0x28, 0x0D, 0x0A, 'e', 'n', 'd'});
    ASSERT_EQ(damaged.size(), 3u);
    EXPECT_EQ(damaged[0], L"ok");
    EXPECT_EQ(damaged[1], L"x\uFFFD(");
    EXPECT_EQ(damaged[2], L"end");
}

TEST_F(WideTextFiles, LoneSurrogatesSurviveARoundTrip) {
    std::wstring path = Path(L"surrogates.txt");
    TUcStringList list;
    list.Add(L"\xDC00x\xD800");
    list.SaveToFile(path);
    EXPECT_EQ(ReadRaw(path), (Bytes{0xFF, 0xFE, 0x00, 0xDC, 0x78, 0, 0x00, 0xD8, 0x0D, 0, 0x0A, 0}));
    TUcStringList back;
    back.LoadFromFile(path);
    EXPECT_TRUE(back.Equals(&list));
}

TEST_F(WideTextFiles, MissingFileRaisesAndChangesNothing) {
    TUcStringList list;
    list.Add(L"kept");
    int notifications = 0;
    list.OnChange = [&](classlib::TObject*) { ++notifications; };
    EXPECT_THROW(list.LoadFromFile(Path(L"missing.txt")), classlib::EFOpenError);
    EXPECT_THROW(list.SaveToFile(Path(L"no\\such\\folder.txt")), classlib::EFCreateError);
    EXPECT_EQ(Lines(list), (Wide{L"kept"}));
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_EQ(notifications, 0);
    list.Add(L"more");
    EXPECT_EQ(notifications, 1);  // updates are balanced: notifications still arrive
}

// A stream whose reads fail half way.
class FailingStream : public classlib::TMemoryStream {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
};

TEST_F(WideTextFiles, ReadFailureKeepsUpdatesBalanced) {
    FailingStream stream;
    const char text[] = "a\0b\0";
    stream.Write(text, 4);
    stream.SetPosition(0);
    TUcStringList list;
    list.Add(L"kept");
    EXPECT_THROW(list.LoadFromStreamEx(&stream, false), classlib::EReadError);
    EXPECT_THROW(list.AnsiStrings()->LoadFromStreamEx(&stream, 1252), classlib::EReadError);
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_EQ(Lines(list), (Wide{L"kept"}));
}

TEST_F(WideTextFiles, StreamsWithAndWithoutMark) {
    std::string log;
    TUcStringList list;
    list.OnChanging = [&](classlib::TObject*) { log += '<'; };
    list.OnChange = [&](classlib::TObject*) { log += '>'; };
    classlib::TMemoryStream stream;
    const unsigned char data[] = {'z', 0x61, 0, 0x0A, 0, 0x62, 0};
    stream.Write(data, sizeof data);
    stream.SetPosition(1);  // from the current position, UTF-16LE without mark
    list.LoadFromStreamEx(&stream, false);
    EXPECT_EQ(Lines(list), (Wide{L"a", L"b"}));
    EXPECT_EQ(log, "<>");

    classlib::TMemoryStream out;
    list.SaveToStreamEx(&out, false);
    EXPECT_EQ(out.Bytes(), (Bytes{0x61, 0, 0x0D, 0, 0x0A, 0, 0x62, 0, 0x0D, 0, 0x0A, 0}));
}

TEST_F(WideTextFiles, NamesOutsideCodePage1252) {
    std::wstring path = Path(L"\u0416\u4E2D\u20AC.txt");
    TUcStringList list;
    list.Add(L"\u4E2D");
    list.SaveToFile(path);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    TUcStringList back;
    back.LoadFromFile(path);
    EXPECT_EQ(Lines(back), (Wide{L"\u4E2D"}));
}

}  // namespace
