// The AVI frame-rate patcher on RIFF files built chunk by chunk: plain AVI with video and sound, DV
// type 1, OpenDML with several RIFF parts and index chunks, a sparse file past 4 GiB, every
// truncation of a file, hostile chunk sizes, files that are not AVI and a missing file. Only dwScale
// and dwRate of the right stream header and the main header's frame time may change.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/avi_frame_rate.h"
#include "exception_text.h"

using namespace engine;

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutU32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Builds RIFF data: containers are opened and closed, chunks get their pad byte.
class Riff {
public:
    Bytes b;

    void Fcc(const char* id) { b.insert(b.end(), id, id + 4); }
    void U32(std::uint32_t v)
    {
        b.resize(b.size() + 4);
        PutU32(b, b.size() - 4, v);
    }
    void Open(const char* id, const char* type)
    {
        Fcc(id);
        open_.push_back(b.size());
        U32(0);
        Fcc(type);
    }
    void Close()
    {
        const std::size_t at = open_.back();
        open_.pop_back();
        PutU32(b, at, static_cast<std::uint32_t>(b.size() - at - 4));
    }
    void Chunk(const char* id, const Bytes& payload)
    {
        Fcc(id);
        U32(static_cast<std::uint32_t>(payload.size()));
        b.insert(b.end(), payload.begin(), payload.end());
        if (payload.size() & 1) b.push_back(0);
    }
    // A patterned payload, so that a stray write anywhere shows.
    static Bytes Pattern(std::size_t n, std::uint8_t seed)
    {
        Bytes p(n);
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(seed + i * 7);
        return p;
    }
    // A stream header of the given type with scale 1 and the given rate; answers the file offset of
    // its payload.
    std::size_t Strh(const char* type, const char* handler, std::uint32_t rate)
    {
        Bytes p = Pattern(56, static_cast<std::uint8_t>(rate));
        std::memcpy(p.data(), type, 4);
        std::memcpy(p.data() + 4, handler, 4);
        PutU32(p, 20, 1);
        PutU32(p, 24, rate);
        Chunk("strh", p);
        return b.size() - 56;
    }

private:
    std::vector<std::size_t> open_;
};

void WriteFileBytes(const std::wstring& name, const Bytes& b)
{
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    if (!b.empty()) WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &done, nullptr);
    CloseHandle(h);
    ASSERT_EQ(done, b.size());
}

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

// Where a file that begins "RIFF" "AVI " "LIST" "hdrl" "avih" has its main header's frame time.
constexpr std::size_t kFrameTimeAt = 32;
constexpr std::size_t kNoMainHeader = SIZE_MAX;

// The file as the patch should leave it: the stream's scale and rate, and the main header's frame
// time in microseconds (the scale, at a rate of 1,000,000) where there is a main header.
Bytes Patched(Bytes b, std::size_t strhPayload, std::uint32_t scale, std::size_t frameTimeAt = kFrameTimeAt)
{
    PutU32(b, strhPayload + 20, scale);
    PutU32(b, strhPayload + 24, 1000000);
    if (frameTimeAt != kNoMainHeader) PutU32(b, frameTimeAt, scale);
    return b;
}

// RIFF AVI with a video and a sound stream, odd-sized chunks, a movi list holding bytes that look
// like a video stream header, and an old-style index.
struct PlainAvi {
    Bytes bytes;
    std::size_t video = 0, audio = 0;
};
PlainAvi MakePlainAvi()
{
    Riff r;
    PlainAvi a;
    r.Open("RIFF", "AVI ");
    r.Open("LIST", "hdrl");
    r.Chunk("avih", Riff::Pattern(56, 1));
    r.Open("LIST", "strl");
    a.video = r.Strh("vids", "MJPG", 25);
    r.Chunk("strf", Riff::Pattern(40, 2));
    r.Chunk("strn", {'v', 'i', 'd', 'e', 'o'});  // odd size, pad byte follows
    r.Close();
    r.Open("LIST", "strl");
    a.audio = r.Strh("auds", "\0\0\0\0", 48000);
    r.Chunk("strf", Riff::Pattern(18, 3));
    r.Close();
    r.Close();
    r.Chunk("JUNK", Riff::Pattern(7, 4));
    r.Open("LIST", "movi");
    Riff decoy;  // inside movi: must never be taken for a header
    decoy.Open("LIST", "strl");
    decoy.Strh("vids", "XXXX", 99);
    decoy.Close();
    r.Chunk("00dc", decoy.b);
    r.Chunk("01wb", Riff::Pattern(333, 5));
    r.Chunk("00dc", Riff::Pattern(120, 6));
    r.Close();
    r.Chunk("idx1", Riff::Pattern(48, 7));
    r.Close();
    a.bytes = r.b;
    return a;
}

class AviPatcher : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const auto& f : created_) DeleteFileW(f.c_str());
    }
    std::wstring Name(const std::wstring& leaf)
    {
        created_.push_back(leaf);
        return leaf;
    }
    std::vector<std::wstring> created_;
};

}  // namespace

TEST(AviScale, RoundsHalvesToEvenAndRefusesRatesThatDoNotFit)
{
    EXPECT_EQ(AviScaleForFps(18.0), 55556u);
    EXPECT_EQ(AviScaleForFps(25.0), 40000u);
    EXPECT_EQ(AviScaleForFps(29.97), 33367u);
    EXPECT_EQ(AviScaleForFps(80000.0), 12u);   // 12.5
    EXPECT_EQ(AviScaleForFps(400000.0), 2u);   // 2.5
    EXPECT_EQ(AviScaleForFps(1e6 / 3.0), 3u);
    EXPECT_EQ(AviScaleForFps(0.001), 1000000000u);
    for (const double bad : {0.0, -0.0, -25.0, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             1e-9, 2e6, 1e300}) {
        EXPECT_THROW(AviScaleForFps(bad), EAviFrameRateError) << bad;
    }
    EXPECT_EQ(quill_test::MessageOf<EAviFrameRateError>([] { AviScaleForFps(-25.0); }), L"Invalid frame rate: -25");
}

TEST_F(AviPatcher, PlainAviPatchesOnlyTheVideoHeader)
{
    const PlainAvi avi = MakePlainAvi();
    const std::wstring name = Name(L"plain.avi");
    WriteFileBytes(name, avi.bytes);
    const TAviScanResult scan = ScanAviFile(name);
    EXPECT_TRUE(scan.Found);
    EXPECT_FALSE(scan.WalkStopped);
    EXPECT_EQ(scan.HandlerOffset, static_cast<std::int64_t>(avi.video + 4));
    EXPECT_EQ(scan.ScaleOffset, static_cast<std::int64_t>(avi.video + 20));
    EXPECT_EQ(scan.RateOffset, static_cast<std::int64_t>(avi.video + 24));
    EXPECT_EQ(scan.FrameTimeOffset, static_cast<std::int64_t>(kFrameTimeAt));
    EXPECT_EQ(scan.StreamKind, kAviStreamAudio);

    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), Patched(avi.bytes, avi.video, 55556));
    // Patching again with another rate changes the same twelve bytes.
    SetAviFrameRate(name, 25.0);
    EXPECT_EQ(ReadAll(name), Patched(avi.bytes, avi.video, 40000));
}

TEST_F(AviPatcher, DVTypeOnePatchesTheInterleavedHeader)
{
    Riff r;
    r.Open("RIFF", "AVI ");
    r.Open("LIST", "hdrl");
    r.Chunk("avih", Riff::Pattern(56, 1));
    r.Open("LIST", "strl");
    const std::size_t iavs = r.Strh("iavs", "dvsd", 25);
    r.Chunk("strf", Riff::Pattern(32, 9));
    r.Close();
    r.Close();
    r.Open("LIST", "movi");
    r.Chunk("00__", Riff::Pattern(1000, 8));
    r.Close();
    r.Chunk("idx1", Riff::Pattern(16, 7));
    r.Close();
    const std::wstring name = Name(L"type1.avi");
    WriteFileBytes(name, r.b);
    EXPECT_EQ(ScanAviFile(name).StreamKind, kAviStreamInterleaved);
    SetAviFrameRate(name, 25.0);
    EXPECT_EQ(ReadAll(name), Patched(r.b, iavs, 40000));
}

TEST_F(AviPatcher, OpenDmlWithSeveralRiffChunksAndIndexChunks)
{
    Riff r;
    r.Open("RIFF", "AVI ");
    r.Open("LIST", "hdrl");
    r.Chunk("avih", Riff::Pattern(56, 1));
    r.Open("LIST", "strl");
    const std::size_t video = r.Strh("vids", "dvsd", 25);
    r.Chunk("strf", Riff::Pattern(40 + 32, 2));  // bitmap header and DV information block
    r.Chunk("indx", Riff::Pattern(4120, 10));
    r.Close();
    r.Open("LIST", "strl");
    r.Strh("auds", "\0\0\0\0", 48000);
    r.Chunk("strf", Riff::Pattern(18, 3));
    r.Chunk("indx", Riff::Pattern(4120, 11));
    r.Close();
    r.Open("LIST", "odml");
    r.Chunk("dmlh", Riff::Pattern(248, 12));
    r.Close();
    r.Close();
    r.Open("LIST", "movi");
    r.Chunk("ix00", Riff::Pattern(2000, 13));
    r.Chunk("00dc", Riff::Pattern(3000, 14));
    r.Close();
    r.Chunk("idx1", Riff::Pattern(32, 7));
    r.Close();
    for (int part = 0; part < 3; ++part) {
        r.Open("RIFF", "AVIX");
        r.Open("LIST", "movi");
        r.Chunk("ix00", Riff::Pattern(500, 15));
        r.Chunk("00dc", Riff::Pattern(5001, 16));
        r.Close();
        r.Close();
    }
    const std::wstring name = Name(L"odml.avi");
    WriteFileBytes(name, r.b);
    SetAviFrameRate(name, 29.97);
    EXPECT_EQ(ReadAll(name), Patched(r.b, video, 33367));
}

TEST_F(AviPatcher, IndexChunksNearTheEndDoNotHideALaterVideoHeader)
{
    // A small OpenDML file (under 16 KiB) whose sound stream and its index come first.
    Riff r;
    r.Open("RIFF", "AVI ");
    r.Open("LIST", "hdrl");
    r.Chunk("avih", Riff::Pattern(56, 1));
    r.Open("LIST", "strl");
    r.Strh("auds", "\0\0\0\0", 48000);
    r.Chunk("strf", Riff::Pattern(18, 3));
    r.Chunk("indx", Riff::Pattern(4120, 11));
    r.Close();
    r.Open("LIST", "strl");
    const std::size_t video = r.Strh("vids", "MJPG", 10);
    r.Chunk("strf", Riff::Pattern(40, 2));
    r.Chunk("ix01", Riff::Pattern(24, 11));
    r.Close();
    r.Close();
    r.Open("LIST", "movi");
    r.Chunk("00dc", Riff::Pattern(100, 14));
    r.Close();
    r.Close();
    ASSERT_LT(r.b.size(), 16384u);
    const std::wstring name = Name(L"smallodml.avi");
    WriteFileBytes(name, r.b);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), Patched(r.b, video, 55556));
}

TEST_F(AviPatcher, EveryTruncationEndsTheWalkWithoutHarm)
{
    // Cut the file at every length: the walk must end (a short read inside a list once looped
    // forever), the file keeps its length, and the header is patched exactly when its dwRate is
    // inside the file.
    const PlainAvi avi = MakePlainAvi();
    const std::wstring name = Name(L"cut.avi");
    for (std::size_t n = 0; n <= avi.bytes.size(); ++n) {
        const Bytes cut(avi.bytes.begin(), avi.bytes.begin() + static_cast<std::ptrdiff_t>(n));
        WriteFileBytes(name, cut);
        SetAviFrameRate(name, 18.0);
        const Bytes got = ReadAll(name);
        if (n >= avi.video + 28) {
            ASSERT_EQ(got, Patched(cut, avi.video, 55556)) << "cut at " << n;
        } else {
            ASSERT_EQ(got, cut) << "cut at " << n;
        }
    }
}

TEST_F(AviPatcher, HostileSizesAndNesting)
{
    const std::wstring name = Name(L"hostile.avi");

    // A child chunk that claims far more than its list and the file hold.
    Riff a;
    a.Open("RIFF", "AVI ");
    a.Open("LIST", "hdrl");
    a.Fcc("avih");
    a.U32(0x7FFFFFF0);
    a.b.resize(a.b.size() + 56, 0x11);
    a.Close();
    a.Close();
    WriteFileBytes(name, a.b);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), a.b);

    // Chunks of size 0 and of sizes 0xFFFFFFFF and 0x80000000 inside a list before the header.
    Riff b;
    b.Open("RIFF", "AVI ");
    b.Open("LIST", "hdrl");
    b.Chunk("JUNK", {});
    b.Open("LIST", "strl");
    const std::size_t video = b.Strh("vids", "MJPG", 25);
    b.Fcc("strf");
    b.U32(0xFFFFFFFF);
    b.b.resize(b.b.size() + 40, 0x22);
    b.Close();
    b.Fcc("JUNK");
    b.U32(0x80000000);
    b.Close();
    b.Close();
    WriteFileBytes(name, b.b);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), Patched(b.b, video, 55556, kNoMainHeader));

    // Lists nested 50,000 deep, each claiming the rest of the file, with a video header at the
    // bottom: the walk does not exhaust the stack; headers that deep are not looked at.
    Riff c;
    c.Open("RIFF", "AVI ");
    for (int i = 0; i < 50000; ++i) c.Open("LIST", "strl");
    c.Strh("vids", "MJPG", 25);
    for (int i = 0; i < 50000; ++i) c.Close();
    c.Close();
    WriteFileBytes(name, c.b);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), c.b);

    // A top-level RIFF of size 0, then a real one: the walk ends at the empty one.
    const PlainAvi plain = MakePlainAvi();
    Bytes d(8 + plain.bytes.size(), 0);
    std::memcpy(d.data(), "RIFF", 4);
    std::copy(plain.bytes.begin(), plain.bytes.end(), d.begin() + 8);
    WriteFileBytes(name, d);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), d);

    // A stream header too short to hold dwRate is not patched.
    Riff e;
    e.Open("RIFF", "AVI ");
    e.Open("LIST", "strl");
    Bytes small = Riff::Pattern(24, 1);
    std::memcpy(small.data(), "vids", 4);
    e.Chunk("strh", small);
    e.Chunk("JUNK", Riff::Pattern(64, 2));
    e.Close();
    e.Close();
    WriteFileBytes(name, e.b);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(ReadAll(name), e.b);
}

TEST_F(AviPatcher, FilesThatAreNotAviAreLeftAlone)
{
    const std::wstring name = Name(L"other.bin");
    const PlainAvi avi = MakePlainAvi();
    Bytes rifx = avi.bytes;
    rifx[3] = 'X';
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 's', 't', 'r', 'h', 'v', 'i', 'd', 's'};
    for (const Bytes& b : {rifx, text, Bytes{}, Bytes{'R', 'I', 'F'}}) {
        WriteFileBytes(name, b);
        SetAviFrameRate(name, 18.0);
        EXPECT_EQ(ReadAll(name), b);
        EXPECT_FALSE(ScanAviFile(name).Found);
    }

    // A missing file: nothing found, nothing created.
    const std::wstring missing = L"missing.avi";
    DeleteFileW(missing.c_str());
    EXPECT_NO_THROW(SetAviFrameRate(missing, 18.0));
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ScanAviFile(missing).Found);
}

TEST_F(AviPatcher, RefusedFrameRateOrLockedFileLeavesTheFileUnchanged)
{
    const PlainAvi avi = MakePlainAvi();
    const std::wstring name = Name(L"refused.avi");
    WriteFileBytes(name, avi.bytes);
    for (const double bad : {0.0, -18.0, std::numeric_limits<double>::quiet_NaN(), 1e-12}) {
        EXPECT_THROW(SetAviFrameRate(name, bad), EAviFrameRateError);
        EXPECT_EQ(ReadAll(name), avi.bytes);
    }

    // Held open by someone who shares nothing: the file stream's error reaches the caller.
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::wstring message = quill_test::MessageOf<classlib::EFOpenError>([&] { SetAviFrameRate(name, 18.0); });
    CloseHandle(h);
    EXPECT_EQ(message.rfind(L"Cannot open file", 0), 0u) << message;
    EXPECT_EQ(ReadAll(name), avi.bytes);
}

namespace {
int g_pumped = 0;
LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP + 7) {
        ++g_pumped;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

TEST_F(AviPatcher, WindowMessagesGoThroughDuringTheWalk)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillDvPumpTest";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowW(L"QuillDvPumpTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);

    const PlainAvi avi = MakePlainAvi();
    const std::wstring name = Name(L"pump.avi");
    WriteFileBytes(name, avi.bytes);
    g_pumped = 0;
    PostMessageW(wnd, WM_APP + 7, 0, 0);
    PostMessageW(wnd, WM_APP + 7, 0, 0);
    PostQuitMessage(3);
    SetAviFrameRate(name, 18.0);
    EXPECT_EQ(g_pumped, 2);
    // A quit request met on the way is left for the main loop.
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    DestroyWindow(wnd);
    EXPECT_EQ(ReadAll(name), Patched(avi.bytes, avi.video, 55556));
}

namespace {

// Writes Bytes at a 64-bit file offset.
void WriteAt(HANDLE h, std::int64_t at, const Bytes& b)
{
    LARGE_INTEGER pos;
    pos.QuadPart = at;
    ASSERT_TRUE(SetFilePointerEx(h, pos, nullptr, FILE_BEGIN));
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &done, nullptr));
    ASSERT_EQ(done, b.size());
}

struct Block {
    std::int64_t at;
    Bytes bytes;
};

}  // namespace

TEST_F(AviPatcher, SparseFileOverFourGiB)
{
    // First RIFF: AVI with a video header and a movi list of 2 GiB (a size with bit 31 set).
    // Second: AVIX with a movi list of 2 GiB. Third, past 4 GiB: AVIX carrying a later video
    // header, which replaces the first one.
    constexpr std::uint32_t kMovi1 = 0x80000000u;
    constexpr std::uint32_t kMovi2 = 0x80000000u;
    Riff hdr;
    hdr.Open("LIST", "hdrl");
    hdr.Chunk("avih", Riff::Pattern(56, 1));
    hdr.Open("LIST", "strl");
    const std::size_t firstVideo = hdr.Strh("vids", "MJPG", 25);
    hdr.Chunk("strf", Riff::Pattern(40, 2));
    hdr.Close();
    hdr.Close();

    std::vector<Block> blocks;
    Riff p1;
    p1.Fcc("RIFF");
    p1.U32(static_cast<std::uint32_t>(4 + hdr.b.size() + 8 + kMovi1));
    p1.Fcc("AVI ");
    p1.b.insert(p1.b.end(), hdr.b.begin(), hdr.b.end());
    p1.Fcc("LIST");
    p1.U32(kMovi1);
    p1.Fcc("movi");
    blocks.push_back({0, p1.b});
    const std::int64_t part2 = 12 + static_cast<std::int64_t>(hdr.b.size()) + 8 + kMovi1;
    Riff p2;
    p2.Fcc("RIFF");
    p2.U32(4 + 8 + kMovi2);
    p2.Fcc("AVIX");
    p2.Fcc("LIST");
    p2.U32(kMovi2);
    p2.Fcc("movi");
    blocks.push_back({part2, p2.b});
    const std::int64_t part3 = part2 + 12 + 8 + kMovi2;
    ASSERT_GT(part3, 0x100000000LL);
    Riff p3;
    p3.Open("RIFF", "AVIX");
    p3.Open("LIST", "strl");
    const std::size_t lateVideo = p3.Strh("vids", "MJPG", 30);
    p3.Close();
    p3.Open("LIST", "movi");
    p3.Chunk("00dc", Riff::Pattern(100, 3));
    p3.Close();
    p3.Close();
    blocks.push_back({part3, p3.b});
    const std::int64_t total = part3 + static_cast<std::int64_t>(p3.b.size());

    const std::wstring name = Name(L"big.avi");
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = total;
    ASSERT_TRUE(SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    for (const Block& b : blocks) WriteAt(h, b.at, b.bytes);
    CloseHandle(h);

    const TAviScanResult scan = ScanAviFile(name);
    ASSERT_TRUE(scan.Found);
    EXPECT_FALSE(scan.WalkStopped);
    EXPECT_EQ(scan.ScaleOffset, part3 + static_cast<std::int64_t>(lateVideo) + 20);
    EXPECT_NE(firstVideo, 0u);

    SetAviFrameRate(name, 18.0);
    blocks[2].bytes = Patched(blocks[2].bytes, lateVideo, 55556, kNoMainHeader);
    PutU32(blocks[0].bytes, kFrameTimeAt, 55556);  // the file's main header, in its first part

    // Every byte: the blocks as expected, zeros everywhere else, the length unchanged.
    h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, total);
    constexpr DWORD kChunk = 8 << 20;
    Bytes buf(kChunk), expected(kChunk);
    std::int64_t pos = 0;
    bool same = true;
    while (pos < total && same) {
        DWORD got = 0;
        ASSERT_TRUE(ReadFile(h, buf.data(), kChunk, &got, nullptr));
        ASSERT_GT(got, 0u);
        std::fill(expected.begin(), expected.begin() + got, 0);
        for (const Block& b : blocks) {
            for (std::size_t i = 0; i < b.bytes.size(); ++i) {
                const std::int64_t at = b.at + static_cast<std::int64_t>(i);
                if (at >= pos && at < pos + got) expected[static_cast<std::size_t>(at - pos)] = b.bytes[i];
            }
        }
        same = std::memcmp(buf.data(), expected.data(), got) == 0;
        EXPECT_TRUE(same) << "difference in the 8 MiB block at " << pos;
        pos += got;
    }
    CloseHandle(h);
}
