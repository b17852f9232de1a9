// The frame-rate patcher on a sparse OpenDML AVI file of 4 GiB and more: time per scan and per
// patch, and the bytes read through the stream (chunk headers only, whatever the file's size). The
// patched header is read back: the video stream's scale and rate and the main header's frame time,
// every other byte untouched.
//   bench_avi_frame_rate.exe [rounds, default 20]
// Prints "figure <case> <ms>" lines; exits 1 when the header is not found or not patched right.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/avi_frame_rate.h"
#include "unicode/wide_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Counts what passes through Read.
class TCountingStream : public classlib::TStream {
public:
    explicit TCountingStream(classlib::TStream& Inner) : inner_(Inner) {}
    std::int32_t Read(void* Buffer, std::int32_t Count) override
    {
        const std::int32_t n = inner_.Read(Buffer, Count);
        ++reads;
        if (n > 0) bytes += static_cast<std::uint64_t>(n);
        return n;
    }
    std::int32_t Write(const void* Buffer, std::int32_t Count) override { return inner_.Write(Buffer, Count); }
    std::int64_t Seek(std::int64_t Offset, classlib::TSeekOrigin Origin) override
    {
        return inner_.Seek(Offset, Origin);
    }
    std::uint64_t bytes = 0;
    std::uint64_t reads = 0;

private:
    classlib::TStream& inner_;
};

void Append(Bytes& b, const void* data, std::size_t n)
{
    const std::size_t at = b.size();
    b.resize(at + n);
    std::memcpy(b.data() + at, data, n);
}
void Fcc(Bytes& b, const char* id) { Append(b, id, 4); }
void U32(Bytes& b, std::uint32_t v)
{
    const std::uint8_t le[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    Append(b, le, 4);
}
void Zeros(Bytes& b, std::size_t n) { b.resize(b.size() + n, 0); }
void Chunk(Bytes& b, const char* id, std::uint32_t size)
{
    Fcc(b, id);
    U32(b, size);
    Zeros(b, size);
}

void WriteAt(HANDLE h, std::int64_t at, const Bytes& b)
{
    LARGE_INTEGER pos;
    pos.QuadPart = at;
    SetFilePointerEx(h, pos, nullptr, FILE_BEGIN);
    DWORD done = 0;
    WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &done, nullptr);
}

// A first RIFF part with the headers (video with its index, sound with its index) and a movi list of
// PartBytes, then RIFF AVIX parts of PartBytes each until Total is reached. Answers the file size.
std::int64_t MakeSparseAvi(const std::wstring& name, std::int64_t total, std::uint32_t partBytes)
{
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    Bytes strl1, strl2, hdrl;
    Fcc(strl1, "strl");
    Fcc(strl1, "strh");
    U32(strl1, 56);
    Fcc(strl1, "vids");
    Zeros(strl1, 52);
    Chunk(strl1, "strf", 40);
    Chunk(strl1, "indx", 4120);
    Fcc(strl2, "strl");
    Fcc(strl2, "strh");
    U32(strl2, 56);
    Fcc(strl2, "auds");
    Zeros(strl2, 52);
    Chunk(strl2, "strf", 18);
    Chunk(strl2, "indx", 4120);
    Fcc(hdrl, "hdrl");
    Chunk(hdrl, "avih", 56);
    Fcc(hdrl, "LIST");
    U32(hdrl, static_cast<std::uint32_t>(strl1.size()));
    Append(hdrl, strl1.data(), strl1.size());
    Fcc(hdrl, "LIST");
    U32(hdrl, static_cast<std::uint32_t>(strl2.size()));
    Append(hdrl, strl2.data(), strl2.size());

    std::int64_t at = 0;
    bool first = true;
    while (at < total) {
        Bytes head;
        Fcc(head, "RIFF");
        const std::uint32_t extra = first ? static_cast<std::uint32_t>(8 + hdrl.size()) : 0;
        U32(head, 4 + extra + 8 + partBytes);
        Fcc(head, first ? "AVI " : "AVIX");
        if (first) {
            Fcc(head, "LIST");
            U32(head, static_cast<std::uint32_t>(hdrl.size()));
            Append(head, hdrl.data(), hdrl.size());
        }
        Fcc(head, "LIST");
        U32(head, partBytes);
        Fcc(head, "movi");
        Chunk(head, "ix00", 32760);  // the standard index at the start of each movi list
        WriteAt(h, at, head);
        at += 12 + extra + 8 + partBytes;
        first = false;
    }
    LARGE_INTEGER end;
    end.QuadPart = at;
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    return at;
}

// Four bytes of the file at offset, little-endian; ~0 when they cannot be read.
std::uint32_t ReadU32(const std::wstring& name, std::int64_t at)
{
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ~0u;
    LARGE_INTEGER pos;
    pos.QuadPart = at;
    std::uint8_t b[4] = {0, 0, 0, 0};
    DWORD done = 0;
    const bool ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && ReadFile(h, b, 4, &done, nullptr) && done == 4;
    CloseHandle(h);
    return ok ? (b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24) : ~0u;
}

// The first 64 KiB of the file (all the headers).
std::vector<std::uint8_t> ReadHead(const std::wstring& name)
{
    std::vector<std::uint8_t> head(65536);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD done = 0;
    if (h == INVALID_HANDLE_VALUE || !ReadFile(h, head.data(), static_cast<DWORD>(head.size()), &done, nullptr)) done = 0;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    head.resize(done);
    return head;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    bool failed = false;
    const std::wstring name = L"bench_avi_frame_rate.avi";
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    for (const std::int64_t gib : {4, 16}) {
        const std::int64_t size = MakeSparseAvi(name, gib << 30, 0x40000000u);
        if (size < 0) {
            std::printf("avi_frame_rate: cannot create the file\n");
            return 1;
        }
        const std::vector<std::uint8_t> made = ReadHead(name);
        std::uint64_t bytes = 0, reads = 0;
        bool found = false;
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < rounds; ++i) {
            unicode::TUcFileStream file(name, classlib::fmOpenRead | classlib::fmShareDenyNone);
            TCountingStream counted(file);
            found = engine::ScanAviStream(counted).Found;
            bytes = counted.bytes;
            reads = counted.reads;
        }
        QueryPerformanceCounter(&t1);
        const double scan = Seconds(t0, t1, freq) / rounds;
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < rounds; ++i) engine::SetAviFrameRate(name, 18.0);
        QueryPerformanceCounter(&t1);
        const double patch = Seconds(t0, t1, freq) / rounds;
        std::printf("figure avi_scan_%lldgib %.4f\nfigure avi_patch_%lldgib %.4f\n", static_cast<long long>(gib),
                    scan * 1e3, static_cast<long long>(gib), patch * 1e3);
        std::printf("avi_frame_rate: %lld-byte sparse OpenDML file: %llu bytes read in %llu reads\n",
                    static_cast<long long>(size), static_cast<unsigned long long>(bytes),
                    static_cast<unsigned long long>(reads));
        // Read back: the scan finds the video stream's header, whose scale and rate are those of 18
        // frames a second, and the main header, whose frame time in microseconds is that scale.
        const engine::TAviScanResult after = engine::ScanAviFile(name);
        const std::uint32_t scale = after.Found ? ReadU32(name, after.ScaleOffset) : ~0u;
        const std::uint32_t rate = after.Found ? ReadU32(name, after.RateOffset) : ~0u;
        const std::uint32_t frameTime = after.FrameTimeOffset >= 0 ? ReadU32(name, after.FrameTimeOffset) : ~0u;
        if (!found || !after.Found || scale != engine::AviScaleForFps(18.0) || rate != 1000000u ||
            frameTime != scale || bytes > 1u << 20) {
            std::printf("FAILED: avi_frame_rate: header %s, scale %u, rate %u, frame time %u\n",
                        after.Found ? "found" : "not found", scale, rate, frameTime);
            failed = true;
        }
        // Every other byte of the headers is as it was made.
        std::vector<std::uint8_t> now = ReadHead(name);
        for (std::int64_t at : {after.ScaleOffset, after.RateOffset, after.FrameTimeOffset}) {
            for (int k = 0; k < 4 && at >= 0 && static_cast<std::size_t>(at + k) < now.size(); ++k) {
                now[static_cast<std::size_t>(at + k)] = made[static_cast<std::size_t>(at + k)];
            }
        }
        if (now != made) {
            std::printf("FAILED: avi_frame_rate: bytes other than the scale, the rate and the frame time changed\n");
            failed = true;
        }
    }
    DeleteFileW(name.c_str());
    return failed ? 1 : 0;
}
