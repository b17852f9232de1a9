// The recording stand-ins' throughput: fixed-size frames (DV, 720x576 RGB24, and DV with 48 kHz
// PCM sound as a second stream) pushed as fast as they are taken through the AVI multiplexer and
// the file writer (the time runs from the first frame until the file is complete after Stop, so
// that the graph's own start-up is left out), against plain WriteFile calls of the same frames
// into a file of the same folder. The frames come in a sample of the source's own; a second figure
// has them come through Wine's allocator (a wineserver round trip per sample, which is the source's
// cost, not the writer's). Three rounds, the best counts. Every file is checked: its RIFF parts
// fill it exactly and its stream headers count what was pushed.
// With --opendml it writes one file past 4 GiB and has ffprobe and ffmpeg read it back whole.
// Prints "figure <case> <ms per frame>" lines; exits 1 when a file is wrong.
//   bench_recording.exe [megabytes per case]      (default 256)
//   bench_recording.exe --opendml [GiB]           (default 4.5)
// Run it through the build's Wine emulator (the stand-ins are registered in the test prefix).
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "filters/base_io_pins.h"
#include "tests/common/ffprobe_helpers.h"
#include "tests/filters/test_filters.h"

using Microsoft::WRL::ComPtr;

namespace {

using filters::ComGuard;

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// {6A1E0141-5C2B-4F6A-9D47-7E4A1B2C3D01}: bench-only class id.
const CLSID CLSID_BenchPush = {0x6a1e0141, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};

// A source that pushes Count samples of Bytes bytes, Duration apart, as fast as they are taken,
// then the end of the stream: from the connection's allocator, or (OwnSample) in one sample of its
// own, so that Wine's allocator round trip per sample is left out.
class PushSource : public filters::TBCBaseFilter {
public:
    PushSource(const AM_MEDIA_TYPE& type, long bytes, long count, REFERENCE_TIME duration)
        : TBCBaseFilter("Bench push source", nullptr, std::make_unique<filters::TBCCritSec>(), CLSID_BenchPush)
    {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, type, bytes, count, duration, hr);
    }
    static std::atomic<bool> OwnSample;
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }

private:
    class Pin : public filters::TBCBaseOutputPin {
    public:
        Pin(PushSource* f, const AM_MEDIA_TYPE& type, long bytes, long count, REFERENCE_TIME duration, HRESULT& hr)
            : TBCBaseOutputPin("Bench push pin", f, f->Lock(), hr, L"Out"), type_(type),
              format_(type.pbFormat, type.pbFormat + type.cbFormat), bytes_(bytes), count_(count), duration_(duration)
        {
            type_.pbFormat = format_.data();
        }
        ~Pin() override { Inactive(); }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override { return filters::TypesEqual(*mt, type_) ? S_OK : S_FALSE; }
        HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
        {
            if (position != 0) {
                return VFW_S_NO_MORE_ITEMS;
            }
            *mt = type_;
            mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(type_.cbFormat));
            std::memcpy(mt->pbFormat, type_.pbFormat, type_.cbFormat);
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) override
        {
            ALLOCATOR_PROPERTIES wanted{4, bytes_, 1, 0}, actual{};
            return alloc->SetProperties(&wanted, &actual);
        }
        HRESULT Active() override
        {
            HRESULT hr = TBCBaseOutputPin::Active();
            if (SUCCEEDED(hr)) {
                stop_ = false;
                thread_ = std::thread([this] { Push(); });
            }
            return hr;
        }
        HRESULT Inactive() override
        {
            stop_ = true;
            HRESULT hr = IsConnected() ? TBCBaseOutputPin::Inactive() : S_OK;
            if (thread_.joinable()) {
                thread_.join();
            }
            return hr;
        }

    private:
        void Push()
        {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            double expected = 0;
            FirstFrame.compare_exchange_strong(expected, Now());
            ftest::TestSample own(true, bytes_);
            own.Actual = bytes_;
            own.Sync = true;
            for (long i = 0; i < count_ && !stop_; ++i) {
                ComPtr<IMediaSample> sample;
                if (OwnSample) {
                    sample = &own;
                } else if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
                    break;
                }
                sample->SetActualDataLength(bytes_);
                REFERENCE_TIME start = i * duration_, stop = start + duration_;
                sample->SetTime(&start, &stop);
                sample->SetSyncPoint(TRUE);
                if (Deliver(sample.Get()) != S_OK) {
                    break;
                }
            }
            if (!stop_) {
                DeliverEndOfStream();
            }
            CoUninitialize();
        }
        AM_MEDIA_TYPE type_;
        std::vector<BYTE> format_;
        long bytes_;
        long count_;
        REFERENCE_TIME duration_;
        std::thread thread_;
        std::atomic<bool> stop_{false};
    };
    std::unique_ptr<Pin> pin_;

public:
    // When the first source began to push (0 until then).
    static std::atomic<double> FirstFrame;
};

std::atomic<double> PushSource::FirstFrame{0};
std::atomic<bool> PushSource::OwnSample{true};

struct Stream {
    AM_MEDIA_TYPE Type{};        // its format block is Format (set where the type is used)
    std::vector<BYTE> Format;
    long Bytes = 0;
    REFERENCE_TIME Duration = 0;
};

Stream Video(DWORD compression, WORD bits, int width, int height, long bytes)
{
    Stream s;
    s.Format.resize(sizeof(VIDEOINFOHEADER));
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(s.Format.data());
    vih->AvgTimePerFrame = 400000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = bits;
    vih->bmiHeader.biCompression = compression;
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
    s.Type.majortype = MEDIATYPE_Video;
    s.Type.subtype = compression == BI_RGB ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_dvsd;
    s.Type.formattype = FORMAT_VideoInfo;
    s.Type.bFixedSizeSamples = TRUE;
    s.Type.lSampleSize = static_cast<ULONG>(bytes);
    s.Type.cbFormat = static_cast<ULONG>(s.Format.size());
    s.Bytes = bytes;
    s.Duration = 400000;
    return s;
}

Stream Sound()
{
    Stream s;
    s.Format.resize(sizeof(WAVEFORMATEX));
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(s.Format.data());
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = 2;
    wf->nSamplesPerSec = 48000;
    wf->wBitsPerSample = 16;
    wf->nBlockAlign = 4;
    wf->nAvgBytesPerSec = 192000;
    s.Type.majortype = MEDIATYPE_Audio;
    s.Type.subtype = MEDIASUBTYPE_PCM;
    s.Type.formattype = FORMAT_WaveFormatEx;
    s.Type.bFixedSizeSamples = TRUE;
    s.Type.lSampleSize = 4;
    s.Type.cbFormat = static_cast<ULONG>(s.Format.size());
    s.Bytes = 7680;  // 40 ms
    s.Duration = 400000;
    return s;
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION dir, bool last = false)
{
    ComPtr<IEnumPins> e;
    filter->EnumPins(e.GetAddressOf());
    ComPtr<IPin> pin, found;
    while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d{};
        pin->QueryDirection(&d);
        if (d == dir) {
            found = pin;
            if (!last) {
                break;
            }
        }
    }
    return found;
}

// Records count frames of each stream into file; answers the seconds from Run to the finished file.
double Record(const std::vector<Stream>& streams, long count, const std::filesystem::path& file)
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(graph.GetAddressOf()));
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                     reinterpret_cast<void**>(builder.GetAddressOf()));
    if (!graph || !builder || FAILED(builder->SetFiltergraph(graph.Get()))) {
        std::printf("no graph or capture graph builder\n");
        return -1;
    }
    ComPtr<IMediaFilter> clockless;
    graph.As(&clockless);
    clockless->SetSyncSource(nullptr);  // as fast as the file takes them
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    HRESULT hr = builder->SetOutputFileName(&MEDIASUBTYPE_Avi, file.c_str(), mux.GetAddressOf(), sink.GetAddressOf());
    if (FAILED(hr)) {
        std::printf("SetOutputFileName failed: %08lx (are the stand-ins registered?)\n", hr);
        return -1;
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        AM_MEDIA_TYPE type = streams[i].Type;
        type.pbFormat = const_cast<BYTE*>(streams[i].Format.data());
        ComPtr<IBaseFilter> source(
            (new PushSource(type, streams[i].Bytes, count, streams[i].Duration))->BaseFilterInterface());
        graph->AddFilter(source.Get(), i == 0 ? L"Source 1" : L"Source 2");
        hr = graph->ConnectDirect(PinOf(source.Get(), PINDIR_OUTPUT).Get(), PinOf(mux.Get(), PINDIR_INPUT, true).Get(),
                                  nullptr);
        if (FAILED(hr)) {
            std::printf("connection failed: %08lx\n", hr);
            return -1;
        }
    }
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    graph.As(&control);
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()));
    PushSource::FirstFrame = 0;
    control->Run();
    long code = 0;
    events->WaitForCompletion(INFINITE, &code);
    control->Stop();
    return Now() - PushSource::FirstFrame.load();
}

std::uint32_t Le32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof(v));
    return v;
}

// The file's RIFF parts fill it to the byte, and stream i's header counts lengths[i] units.
bool FileIsWhole(const std::filesystem::path& file, const std::vector<std::uint64_t>& lengths)
{
    const std::string b = quill_test::ReadWholeFile(file);
    std::size_t at = 0;
    while (at + 12 <= b.size() && b.compare(at, 4, "RIFF") == 0) {
        at += 8 + static_cast<std::size_t>(Le32(b, at + 4));
    }
    if (at != b.size()) {
        std::printf("%ls: the RIFF parts end at %zu of %zu bytes\n", file.c_str(), at, b.size());
        return false;
    }
    std::size_t strh = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        strh = b.find("strh", strh + 1);
        if (strh == std::string::npos || Le32(b, strh + 8 + 32) != lengths[i]) {
            std::printf("%ls: stream %zu's header does not count %llu\n", file.c_str(), i,
                        static_cast<unsigned long long>(lengths[i]));
            return false;
        }
    }
    return true;
}

// The same frames written one WriteFile call each; answers the seconds until the file is closed.
double Plain(const std::vector<Stream>& streams, long count, const std::filesystem::path& file)
{
    std::vector<std::vector<BYTE>> frames;
    for (const Stream& s : streams) {
        frames.emplace_back(static_cast<std::size_t>(s.Bytes), BYTE{0});
    }
    const double start = Now();
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    for (long i = 0; i < count; ++i) {
        for (const auto& frame : frames) {
            DWORD written = 0;
            WriteFile(h, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr);
        }
    }
    CloseHandle(h);
    return Now() - start;
}

int Throughput(double megabytes)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / L"quill_recording_bench";
    std::filesystem::create_directories(dir);
    struct Case {
        const char* Name;
        const char* Figure;
        std::vector<Stream> Streams;
    };
    const Case cases[] = {
        {"DV frames (144000 B)", "dv", {Video(MAKEFOURCC('d', 'v', 's', 'd'), 24, 720, 576, 144000)}},
        {"720x576 RGB24 frames", "rgb24", {Video(BI_RGB, 24, 720, 576, 720 * 576 * 3)}},
        {"DV + 48 kHz PCM (two streams)", "dv_pcm",
         {Video(MAKEFOURCC('d', 'v', 's', 'd'), 24, 720, 576, 144000), Sound()}},
    };
    std::printf("%-30s %6s %10s %10s %10s %6s\n", "case", "MB", "mux MB/s", "+allocator", "WriteFile", "ratio");
    bool whole = true;
    for (const Case& c : cases) {
        long perFrame = 0;
        for (const Stream& s : c.Streams) {
            perFrame += s.Bytes;
        }
        const long count = std::max<long>(1, static_cast<long>(megabytes * 1e6 / perFrame));
        std::vector<std::uint64_t> lengths;
        for (const Stream& s : c.Streams) {
            lengths.push_back(s.Type.majortype == MEDIATYPE_Audio ? static_cast<std::uint64_t>(count) * s.Bytes / 4
                                                                  : static_cast<std::uint64_t>(count));
        }
        const double bytes = static_cast<double>(perFrame) * count;
        double best = 1e30, bestAllocator = 1e30, bestPlain = 1e30;
        for (int round = 0; round < 3; ++round) {
            for (const bool own : {true, false}) {
                PushSource::OwnSample = own;
                const double t = Record(c.Streams, count, dir / L"mux.avi");
                if (t < 0) {
                    return 1;
                }
                whole = FileIsWhole(dir / L"mux.avi", lengths) && whole;
                (own ? best : bestAllocator) = std::min(own ? best : bestAllocator, t);
                std::filesystem::remove(dir / L"mux.avi");
            }
            bestPlain = std::min(bestPlain, Plain(c.Streams, count, dir / L"plain.bin"));
            std::filesystem::remove(dir / L"plain.bin");
        }
        std::printf("%-30s %6.0f %10.0f %10.0f %10.0f %5.0f%%\n", c.Name, bytes / 1e6, bytes / 1e6 / best,
                    bytes / 1e6 / bestAllocator, bytes / 1e6 / bestPlain, 100.0 * bestPlain / best);
        std::printf("figure recording_%s_mux %.4f\nfigure recording_%s_writefile %.4f\n", c.Figure, best * 1e3 / count,
                    c.Figure, bestPlain * 1e3 / count);
    }
    std::filesystem::remove_all(dir);
    return whole ? 0 : 1;
}

int OpenDml(double gib)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / L"quill_recording_bench";
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / L"opendml.avi";
    const std::vector<Stream> streams = {Video(BI_RGB, 24, 720, 576, 720 * 576 * 3), Sound()};
    const long count = static_cast<long>(gib * 1073741824.0 / (720 * 576 * 3 + 7680)) + 1;
    const double t = Record(streams, count, file);
    if (t < 0) {
        return 1;
    }
    const auto size = std::filesystem::file_size(file);
    std::printf("wrote %ld frames with sound: %.2f GiB in %.1f s (%.0f MB/s)\n", count, size / 1073741824.0, t,
                size / 1e6 / t);
    double start = Now();
    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    const double probeTime = Now() - start;
    start = Now();
    const quill_test::TUnixResult copy = quill_test::RunUnix(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", quill_test::UnixPath(file), "-map", "0", "-c", "copy", "-f", "null", "-"},
        1800000);
    const double copyTime = Now() - start;
    const int v = probe.StreamOfType("video"), a = probe.StreamOfType("audio");
    const bool whole = probe.Ok() && v >= 0 && a >= 0 && probe.Stream(v, "nb_read_packets") == std::to_string(count) &&
                       probe.Stream(v, "nb_frames") == std::to_string(count) &&
                       probe.Stream(a, "nb_frames") == std::to_string(count * 1920);
    std::printf("ffprobe (%.1f s): video %s packets of %s in the header, sound %s samples (%ld written): %s\n",
                probeTime, probe.Stream(v, "nb_read_packets").c_str(), probe.Stream(v, "nb_frames").c_str(),
                probe.Stream(a, "nb_frames").c_str(), count * 1920, whole ? "whole" : "NOT WHOLE");
    std::printf("ffmpeg read every packet (%.1f s): %s%s\n", copyTime,
                copy.Ran && copy.ExitCode == 0 && copy.Err.empty() ? "no error" : "errors: ", copy.Err.c_str());
    std::filesystem::remove_all(dir);
    return whole && copy.ExitCode == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int result = 0;
    if (argc > 1 && std::strcmp(argv[1], "--opendml") == 0) {
        result = OpenDml(argc > 2 ? std::atof(argv[2]) : 4.5);
    } else {
        result = Throughput(argc > 1 ? std::atof(argv[1]) : 256);
    }
    CoUninitialize();
    return result;
}
