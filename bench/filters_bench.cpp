// Per-frame cost on one core of the resizer (720x576 RGB24 to half size; and its picture's distance from
// ffmpeg's Lanczos scale beside ffmpeg's bilinear and nearest-neighbour ones), the deinterlacer
// (720x576), the mirror, the time stamper and the WAVE writer's throughput, each filter driven
// directly. Each checks its result: the resized picture's size and pixels, the repaired combs, the
// mirrored rows, the stamps, the WAVE writer's byte offsets and header.
//   bench_filters.exe [runs, default 200]
// Prints "figure <case> <ms>" lines; exits 1 when a result is wrong.
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "filters/deinterlace.h"
#include "filters/resizer.h"
#include "filters/time_stamper.h"
#include "filters/wave_dest.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"
#include "tests/common/ffprobe_helpers.h"

using Microsoft::WRL::ComPtr;

namespace {

double Milliseconds(int runs, const std::function<void()>& body)
{
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    body();  // warm-up
    QueryPerformanceCounter(&a);
    for (int i = 0; i < runs; ++i) {
        body();
    }
    QueryPerformanceCounter(&b);
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart) / runs;
}

// Two samples of size bytes from a memory allocator (kept alive by the allocator's owner).
bool MakeSamples(long size, ComPtr<IMemAllocator>& alloc, ComPtr<IMediaSample>& in, ComPtr<IMediaSample>& out)
{
    if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                reinterpret_cast<void**>(alloc.GetAddressOf())))) {
        return false;
    }
    ALLOCATOR_PROPERTIES want{2, size, 1, 0}, got{};
    return SUCCEEDED(alloc->SetProperties(&want, &got)) && SUCCEEDED(alloc->Commit()) &&
           SUCCEEDED(alloc->GetBuffer(in.GetAddressOf(), nullptr, nullptr, 0)) &&
           SUCCEEDED(alloc->GetBuffer(out.GetAddressOf(), nullptr, nullptr, 0));
}

void FillPattern(BYTE* data, long n)
{
    for (long i = 0; i < n; ++i) {
        data[i] = static_cast<BYTE>((i * 13) ^ (i >> 9));
    }
}

bool g_failed = false;

void Fail(const char* what, const char* detail)
{
    std::printf("FAILED: %s: %s\n", what, detail);
    g_failed = true;
}

// PSNR in dB of two pictures of equal size.
double Psnr(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty()) return 0;
    double noise = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(static_cast<unsigned char>(a[i])) - static_cast<unsigned char>(b[i]);
        noise += d * d;
    }
    return noise == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / noise);
}

// The resizer's half size of ffmpeg's test picture beside ffmpeg's nearest-neighbour and bilinear
// scales, each measured against ffmpeg's Lanczos scale; ours must be no further from it than bilinear.
void ResizerQuality(int w, int h)
{
    const std::string picture = quill_test::UnixPath("bench_filters_picture.bgr");
    const auto ffmpeg = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"ffmpeg", "-hide_banner", "-v", "error", "-y"});
        return quill_test::RunUnix(arguments);
    };
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const auto made = ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=" + size, "-frames:v", "1", "-pix_fmt", "bgr24", "-f", "rawvideo", picture});
    const std::string source = quill_test::ReadWholeFile("bench_filters_picture.bgr");
    if (!made.Ran || made.ExitCode != 0 || source.size() != static_cast<std::size_t>(w) * h * 3) {
        std::printf("ffmpeg could not be run: no quality comparison\n");
        return;
    }
    const auto scaled = [&](const char* flags) {
        const auto run = ffmpeg({"-f", "rawvideo", "-pix_fmt", "bgr24", "-s", size, "-i", picture, "-vf",
                                 "scale=" + std::to_string(w / 2) + ":" + std::to_string(h / 2) + ":flags=" + flags, "-pix_fmt",
                                 "bgr24", "-f", "rawvideo", "pipe:1"});
        return run.Ran && run.ExitCode == 0 ? run.Out : std::string();
    };
    const std::string lanczos = scaled("lanczos"), bilinear = scaled("bilinear"), neighbour = scaled("neighbor");
    // Rows of 720 and 360 pixels need no padding: the pictures lie as ffmpeg writes them, top-down.
    std::string ours(static_cast<std::size_t>(w / 2) * (h / 2) * 3, '\0');
    filters::ResizerStretch(reinterpret_cast<const BYTE*>(source.data()), w, h, true, reinterpret_cast<BYTE*>(ours.data()),
                            w / 2, h / 2, true);
    const double oursDb = Psnr(ours, lanczos), bilinearDb = Psnr(bilinear, lanczos), neighbourDb = Psnr(neighbour, lanczos);
    std::printf("resizer at half size against ffmpeg's Lanczos scale: ours %.2f dB, ffmpeg bilinear %.2f dB, nearest "
                "neighbour %.2f dB\n",
                oursDb, bilinearDb, neighbourDb);
    std::printf("figure resizer_half_psnr_db %.2f\n", oursDb);
    std::printf("figure ffmpeg_bilinear_psnr_db %.2f\n", bilinearDb);
    std::printf("figure ffmpeg_neighbour_psnr_db %.2f\n", neighbourDb);
    if (lanczos.empty() || bilinear.empty() || oursDb < bilinearDb) {
        Fail("resizer_half", "its picture is further from the Lanczos scale than ffmpeg's bilinear one");
    }
    std::error_code ec;
    std::filesystem::remove("bench_filters_picture.bgr", ec);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    SetThreadAffinityMask(GetCurrentThread(), 1);
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int w = 720;
    const int h = 576;
    const long frameBytes = w * 3 * h;

    {
        auto* resizer = new filters::TQZ_Resizer;
        ComPtr<IBaseFilter> held(resizer->BaseFilterInterface());
        settings::TBooleanParameter half(L"Demi Taille", true, nullptr);
        settings::ParamDemiTaille = &half;
        resizer->SetResizeMode(3);
        resizer->GetPin(0);
        VIDEOINFOHEADER vih{};
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = w;
        vih.bmiHeader.biHeight = h;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = 24;
        vih.bmiHeader.biSizeImage = static_cast<DWORD>(frameBytes);
        AM_MEDIA_TYPE mt{};
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.formattype = FORMAT_VideoInfo;
        mt.cbFormat = sizeof(vih);
        mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
        ComPtr<IMemAllocator> alloc;
        ComPtr<IMediaSample> in, out;
        if (resizer->SetMediaType(PINDIR_INPUT, &mt) != S_OK || !MakeSamples(frameBytes, alloc, in, out)) {
            std::printf("FAILED: resizer: set-up failed\n");
            return 1;
        }
        BYTE* data = nullptr;
        in->GetPointer(&data);
        FillPattern(data, frameBytes);
        in->SetActualDataLength(frameBytes);
        HRESULT hr = S_OK;
        const double ms = Milliseconds(runs, [&] { hr = resizer->Transform(in.Get(), out.Get()); });
        std::printf("figure resizer_half %.4f\n", ms);
        // Half size: every output pixel is the rounded mean of the four input pixels it stands for, and
        // the picture is not one colour.
        const int ow = resizer->OutWidth(), oh = resizer->OutHeight();
        const long outStride = (ow * 3 + 3) & ~3L;
        BYTE* result = nullptr;
        out->GetPointer(&result);
        if (hr != S_OK || ow != w / 2 || oh != h / 2 || out->GetActualDataLength() != outStride * oh) {
            Fail("resizer_half", "the output is not a whole 360x288 picture");
        } else {
            int wrong = 0, distinct = 0;
            for (int y = 0; y < oh; ++y) {
                for (int x = 0; x < ow; ++x) {
                    const BYTE* p = result + y * outStride + x * 3;
                    for (int c = 0; c < 3; ++c) {
                        int sum = 2;
                        for (int k = 0; k < 4; ++k) sum += data[(2 * y + k / 2) * w * 3 + (2 * x + k % 2) * 3 + c];
                        wrong += p[c] != sum / 4 ? 1 : 0;
                    }
                    distinct += (x > 0 && std::memcmp(p, p - 3, 3) != 0) ? 1 : 0;
                }
            }
            if (wrong != 0 || distinct < ow * oh / 2) {
                Fail("resizer_half", "output pixels that are not the mean of their block");
            }
        }
        ResizerQuality(w, h);
        in.Reset();
        out.Reset();
        alloc->Decommit();
        settings::ParamDemiTaille = nullptr;
    }

    {
        filters::TPictureBitmap source, dest;
        source.SetSize(w, h);
        for (int y = 0; y < h; ++y) {
            FillPattern(source.ScanLine(y), w * 3);
            if (y % 2 == 1 && y % 8 < 4) {
                std::memset(source.ScanLine(y), 250, static_cast<size_t>(w) * 3);  // combs
            }
        }
        const double ms = Milliseconds(runs, [&] { filters::Deinterlace(source, dest); });
        std::printf("figure deinterlace %.4f\n", ms);
        // Even rows as they were; in the comb rows each pixel either repaired to the mean of its
        // neighbours or left, and nearly all of them repaired.
        long wrong = 0, repaired = 0, combPixels = 0;
        for (int y = 0; y + 1 < h; ++y) {
            const bool comb = y % 2 == 1 && y % 8 < 4;
            for (int x = 0; x < w; ++x) {
                const BYTE* got = dest.ScanLine(y) + x * 3;
                const BYTE* was = source.ScanLine(y) + x * 3;
                if (!comb) {
                    wrong += y % 2 == 0 && std::memcmp(got, was, 3) != 0 ? 1 : 0;
                    continue;
                }
                ++combPixels;
                bool mean = true;
                for (int c = 0; c < 3; ++c) {
                    mean = mean && got[c] == (source.ScanLine(y - 1)[x * 3 + c] + source.ScanLine(y + 1)[x * 3 + c]) / 2;
                }
                repaired += mean ? 1 : 0;
                wrong += !mean && std::memcmp(got, was, 3) != 0 ? 1 : 0;
            }
        }
        if (wrong != 0 || repaired < combPixels * 9 / 10) {
            Fail("deinterlace", "comb rows not repaired or other rows changed");
        }
        std::vector<BYTE> before(dest.ScanLine(7), dest.ScanLine(7) + w * 3);
        const double mirror = Milliseconds(runs, [&] { filters::MirrorBitmap(dest); });
        std::printf("figure mirror_in_place %.4f\n", mirror);
        // An even number of mirrors in all (the warm-up counts): the row is back; one more turns it.
        if ((runs + 1) % 2 == 1) {
            filters::MirrorBitmap(dest);
        }
        bool back = std::memcmp(before.data(), dest.ScanLine(7), before.size()) == 0;
        filters::MirrorBitmap(dest);
        for (int x = 0; x < w && back; ++x) {
            back = std::memcmp(&before[static_cast<size_t>(x) * 3], dest.ScanLine(7) + (w - 1 - x) * 3, 3) == 0;
        }
        if (!back) {
            Fail("mirror_in_place", "rows not reversed");
        }
    }

    {
        auto* stamper = new filters::Tqz_TimeStamper;
        ComPtr<IBaseFilter> held(stamper->BaseFilterInterface());
        ComPtr<IMemAllocator> alloc;
        ComPtr<IMediaSample> in, out;
        if (!MakeSamples(frameBytes, alloc, in, out)) {
            std::printf("FAILED: time stamper: set-up failed\n");
            return 1;
        }
        REFERENCE_TIME t0 = 0, t1 = 400000;
        in->SetTime(&t0, &t1);
        const double keep = Milliseconds(runs * 500, [&] { stamper->Transform(in.Get()); });
        REFERENCE_TIME k0 = 0, k1 = 0;
        if (in->GetTime(&k0, &k1) != S_OK || k0 != t0 || k1 != t1) {
            Fail("time stamper", "kept stamps changed");
        }
        stamper->SetClearStamps();
        const double clear = Milliseconds(runs * 500, [&] {
            in->SetTime(&t0, &t1);
            stamper->Transform(in.Get());
        });
        if (in->GetTime(&k0, &k1) == S_OK) {
            Fail("time stamper", "cleared stamps still there");
        }
        std::printf("figure stamper_keep %.6f\nfigure stamper_clear %.6f\n", keep, clear);
        in.Reset();
        out.Reset();
        alloc->Decommit();
    }

    {
        auto* dest = new filters::Tqz_WaveDest;
        ComPtr<IBaseFilter> held(dest->BaseFilterInterface());
        dest->GetPin(0);
        const long chunk = 176400;  // one second of CD audio
        ComPtr<IMemAllocator> alloc;
        ComPtr<IMediaSample> in, out;
        if (!MakeSamples(chunk, alloc, in, out)) {
            std::printf("FAILED: WAVE writer: set-up failed\n");
            return 1;
        }
        BYTE* data = nullptr;
        in->GetPointer(&data);
        FillPattern(data, chunk);
        in->SetActualDataLength(chunk);
        // Some thousands of seconds of audio stay well below the 4 GiB limit.
        const int samples = runs * 10;
        HRESULT hr = S_OK;
        const double ms = Milliseconds(samples, [&] {
            if (hr == S_OK) hr = dest->Transform(in.Get(), out.Get());
        });
        std::printf("figure wave_writer_sample %.5f\n", ms);
        std::printf("WAVE writer: %.0f MB/s (buffers in cache)\n", chunk / (ms / 1000.0) / 1e6);
        // Warm-up and runs: samples + 1 of them, each at its byte offset after the header's room.
        const std::uint32_t total = static_cast<std::uint32_t>(samples + 1) * static_cast<std::uint32_t>(chunk);
        REFERENCE_TIME s0 = 0, s1 = 0;
        BYTE* copied = nullptr;
        out->GetPointer(&copied);
        const std::uint32_t room = dest->HeaderSize();
        if (hr != S_OK || dest->DataBytes() != total || out->GetTime(&s0, &s1) != S_OK ||
            s0 != static_cast<REFERENCE_TIME>(room) + total - chunk || s1 != static_cast<REFERENCE_TIME>(room) + total ||
            out->GetActualDataLength() != chunk || std::memcmp(copied, data, static_cast<size_t>(chunk)) != 0) {
            Fail("wave_writer", "byte count, offsets or copied audio wrong");
        }
        WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        const auto wave = filters::MakeWaveHeader(reinterpret_cast<const BYTE*>(&format), 18, dest->DataBytes());
        auto le32 = [&](size_t at) {
            return static_cast<std::uint32_t>(wave[at]) | static_cast<std::uint32_t>(wave[at + 1]) << 8 |
                   static_cast<std::uint32_t>(wave[at + 2]) << 16 | static_cast<std::uint32_t>(wave[at + 3]) << 24;
        };
        if (wave.size() != 46 || std::memcmp(wave.data(), "RIFF", 4) != 0 || le32(4) != total + 38 ||
            std::memcmp(&wave[8], "WAVEfmt ", 8) != 0 || le32(16) != 18 || std::memcmp(&wave[38], "data", 4) != 0 ||
            le32(42) != total) {
            Fail("wave_writer", "the header does not describe the data");
        }
        in.Reset();
        out.Reset();
        alloc->Decommit();
    }
    CoUninitialize();
    return g_failed ? 1 : 0;
}
