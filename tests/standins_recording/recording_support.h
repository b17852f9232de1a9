// What the recording tests share: a graph with the capture graph builder on it and a folder for the
// files, the synthetic devices added by name, a sample grabber that counts what passes, the
// per-process test settings of the recording stand-ins, and a walk over a finished AVI file's
// chunks (independent of the multiplexer's own layout code).
#pragma once

#include "ffprobe_helpers.h"
#include "tests/standins/live_device_helpers.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/standins/capture_builder.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/test_camera.h"
#include "platform/standins/test_microphone.h"

namespace recording_test {

using namespace standins_test;
using quill_test::Probe;
using quill_test::ReadWholeFile;
using quill_test::TMediaProbe;

// The recording stand-ins' test-only settings for this process, removed at the end.
class TestSettings {
public:
    TestSettings()
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, standins::TestRecordingKeyOfThisProcess().c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr);
        if (key != nullptr) {
            RegCloseKey(key);
        }
        Set(standins::kTestStartedValue, standins::ThisProcessStarted());
    }
    ~TestSettings() { RegDeleteKeyW(HKEY_CURRENT_USER, standins::TestRecordingKeyOfThisProcess().c_str()); }
    TestSettings(const TestSettings&) = delete;
    TestSettings& operator=(const TestSettings&) = delete;

    void Set(const wchar_t* name, std::uint64_t value)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, standins::TestRecordingKeyOfThisProcess().c_str(),
                                                 name, REG_QWORD, &value, sizeof(value)));
    }
};

// Lets the first Pass samples of a stream through, then holds the stream: the next sample waits on
// its streaming thread until the gate opens. Once Held() answers true every sample before it has gone
// through the filters downstream, and the file is as a program killed at that moment leaves it.
class Gate {
public:
    explicit Gate(long pass) : pass_(pass), open_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate()
    {
        Open();
        CloseHandle(open_);
    }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    void Attach(GrabberCallback& cb)
    {
        cb.OnSample = [this](IMediaSample*) {
            if (++seen_ <= pass_) {
                return;
            }
            held_ = true;
            WaitForSingleObject(open_, INFINITE);
        };
    }
    bool Held() const { return held_.load(); }
    void Open() { SetEvent(open_); }

private:
    const long pass_;
    HANDLE open_;
    std::atomic<long> seen_{0};
    std::atomic<bool> held_{false};
};

// A grabber callback that counts samples and bytes, and keeps the first sample's start time.
struct Counter {
    std::atomic<long> Samples{0};
    std::atomic<long long> Bytes{0};
    std::atomic<long> LastBytes{0};
    REFERENCE_TIME FirstStart = -1;
    void Attach(GrabberCallback& cb)
    {
        cb.OnSample = [this](IMediaSample* sample) {
            REFERENCE_TIME start = 0, stop = 0;
            if (Samples.load() == 0 && SUCCEEDED(sample->GetTime(&start, &stop))) {
                FirstStart = start;
            }
            LastBytes = sample->GetActualDataLength();
            Bytes += LastBytes.load();
            ++Samples;
        };
    }
    // The 16-bit stereo sound a recording holds is every sample counted: the last buffer alone may
    // have passed the counter as the graph stopped, once the multiplexer had stopped taking any.
    void ExpectRecorded(std::size_t DecodedValues) const
    {
        const long long recorded = static_cast<long long>(DecodedValues / 2), counted = Bytes.load() / 4;
        EXPECT_TRUE(recorded == counted || recorded == counted - LastBytes.load() / 4)
            << recorded << " samples recorded of " << counted << " that the microphone gave";
    }
};

// One chunk of an AVI file: its identifier, the offset of its header, its size; for a list, its type.
struct Chunk {
    std::string Id;
    std::string Type;
    std::uint64_t Offset = 0;
    std::uint32_t Size = 0;
};

inline std::uint32_t Le32(const std::string& b, std::uint64_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof(v));
    return v;
}

// The file's top-level parts, the chunks directly in them, and inside each part's "movi" list its
// chunks in file order.
struct AviWalk {
    std::vector<Chunk> Parts;
    std::vector<Chunk> Top;
    std::vector<Chunk> Movi;
    bool Whole = true;  // every size stayed within the file

    explicit AviWalk(const std::string& b)
    {
        std::uint64_t at = 0;
        while (at + 12 <= b.size()) {
            Chunk part{b.substr(at, 4), b.substr(at + 8, 4), at, Le32(b, at + 4)};
            if (part.Id != "RIFF" || at + 8 + part.Size > b.size()) {
                Whole = part.Id == "RIFF" ? false : Whole;
                break;
            }
            Parts.push_back(part);
            std::uint64_t in = at + 12;
            const std::uint64_t end = at + 8 + part.Size;
            while (in + 8 <= end) {
                const std::string id = b.substr(in, 4);
                const std::uint32_t size = Le32(b, in + 4);
                Top.push_back({id, id == "LIST" ? b.substr(in + 8, 4) : std::string(), in, size});
                if (id == "LIST" && b.substr(in + 8, 4) == "movi") {
                    std::uint64_t c = in + 12;
                    while (c + 8 <= in + 8 + size) {
                        Movi.push_back({b.substr(c, 4), {}, c, Le32(b, c + 4)});
                        c += 8 + Le32(b, c + 4) + (Le32(b, c + 4) & 1);
                    }
                    Whole = Whole && c == in + 8 + size;
                }
                in += 8 + size + (size & 1);
            }
            Whole = Whole && in == end;
            at = end + (part.Size & 1);
        }
    }
    bool HasTop(const std::string& id) const
    {
        for (const Chunk& c : Top) {
            if (c.Id == id) {
                return true;
            }
        }
        return false;
    }
    // Data chunks of one stream ("00", "01"...): its chunk identifiers begin with the number.
    std::vector<Chunk> Of(const std::string& stream) const
    {
        std::vector<Chunk> out;
        for (const Chunk& c : Movi) {
            if (c.Id.compare(0, 2, stream) == 0) {
                out.push_back(c);
            }
        }
        return out;
    }
};

// What an AVI file's header says of its streams' lengths beside what its OpenDML indexes list: the
// main header's and the extended header's frame counts, each stream header's length, and the entries
// of the standard index chunks each stream's super index points at (read where they lie).
struct AviCounts {
    bool Read = false;  // the header list was found and walked
    std::uint32_t TotalFrames = 0;
    std::uint32_t ExtendedFrames = 0;
    std::vector<std::uint32_t> Lengths;
    std::vector<double> Rates;  // frames (or blocks) a second
    std::vector<std::uint64_t> Indexed;
    std::vector<std::size_t> IndexChunks;    // the index chunks listed
    std::vector<std::uint64_t> LastIndexAt;  // the offset of the last index chunk listed, 0 for none

    explicit AviCounts(const std::string& b)
    {
        if (b.size() < 24 || b.compare(0, 4, "RIFF") != 0 || b.compare(12, 4, "LIST") != 0 ||
            b.compare(20, 4, "hdrl") != 0) {
            return;
        }
        Walk(b, 24, 20 + Le32(b, 16));
        Read = true;
    }

private:
    void Walk(const std::string& b, std::uint64_t at, std::uint64_t end)
    {
        while (at + 8 <= end && end <= b.size()) {
            const std::string id = b.substr(at, 4);
            const std::uint32_t size = Le32(b, at + 4);
            const std::uint64_t payload = at + 8;
            if (payload + size > b.size()) {
                return;
            }
            if (id == "LIST") {
                Walk(b, payload + 4, payload + size);
            } else if (id == "avih" && size >= 20) {
                TotalFrames = Le32(b, payload + 16);
            } else if (id == "dmlh" && size >= 4) {
                ExtendedFrames = Le32(b, payload);
            } else if (id == "strh" && size >= 36) {
                Lengths.push_back(Le32(b, payload + 32));
                const std::uint32_t scale = Le32(b, payload + 20);
                Rates.push_back(scale == 0 ? 0.0 : static_cast<double>(Le32(b, payload + 24)) / scale);
                Indexed.push_back(0);
                IndexChunks.push_back(0);
                LastIndexAt.push_back(0);
            } else if (id == "indx" && size >= 24 && !Indexed.empty()) {
                const std::uint32_t used = Le32(b, payload + 4);
                for (std::uint32_t i = 0; i < used && payload + 24 + 16 * (i + 1) <= payload + size; ++i) {
                    const std::uint64_t entry = payload + 24 + 16ull * i;
                    const std::uint64_t ix = Le32(b, entry) | (std::uint64_t{Le32(b, entry + 4)} << 32);
                    if (ix + 16 <= b.size() && b.compare(ix, 2, "ix") == 0) {
                        Indexed.back() += Le32(b, ix + 12);
                        ++IndexChunks.back();
                        LastIndexAt.back() = ix;
                    }
                }
            }
            at = payload + size + (size & 1);
        }
    }
};

// The tone the test microphone makes at sample n.
inline int ToneAt(long long n, int rate)
{
    const double pi = 3.14159265358979323846;
    return static_cast<int>(std::lround(standins::kToneAmplitude * std::sin(2 * pi * standins::kToneHz * n / rate)));
}

class Recording : public DeviceGraph {
protected:
    void SetUp() override
    {
        DeviceGraph::SetUp();
        builder = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
        ASSERT_TRUE(builder);
        ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
        dir = std::filesystem::temp_directory_path() / (L"quill_recording_" + std::to_wstring(GetCurrentProcessId()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        for (const auto& gate : gates) {
            gate->Open();  // the streams it holds must reach the stop
        }
        mux.Reset();
        sink.Reset();
        builder.Reset();
        DeviceGraph::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // The builder's AVI output into dir / name.
    void AviOutput(const std::wstring& name)
    {
        path = dir / name;
        ASSERT_EQ(S_OK, builder->SetOutputFileName(&MEDIASUBTYPE_Avi, path.c_str(), mux.GetAddressOf(),
                                                   sink.GetAddressOf()));
        ASSERT_TRUE(mux && sink);
    }
    ComPtr<IBaseFilter> Device(const GUID& category, const std::wstring& name)
    {
        ComPtr<IMoniker> moniker = DeviceMoniker(category, name);
        EXPECT_TRUE(moniker) << "not registered: " << std::string(name.begin(), name.end());
        return moniker ? Add(BindFilter(moniker.Get()), name.c_str()) : nullptr;
    }
    ComPtr<IBaseFilter> Camera() { return Device(CLSID_VideoInputDeviceCategory, L"Quillotrane Test Camera"); }
    ComPtr<IBaseFilter> Microphone() { return Device(CLSID_AudioInputDeviceCategory, L"Quillotrane Test Microphone"); }
    // A grabber that counts what passes, between from and the free input of the multiplexer.
    void ThroughCounter(IBaseFilter* from, const GUID& major, Counter& counter)
    {
        GrabberCallback& cb = Callback();
        counter.Attach(cb);
        auto grabber = AddGrabber(cb, major, GUID_NULL);
        ASSERT_EQ(S_OK, Link(from, grabber.Get()));
        ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(grabber.Get(), PINDIR_OUTPUT).Get(), LastPin(mux.Get()).Get(), nullptr));
    }
    // A grabber after from (taking major; null: connected by the caller) that holds its stream after
    // pass samples: the returned filter's output goes on where from's would have; gate receives the gate.
    ComPtr<IBaseFilter> Gated(IBaseFilter* from, const GUID& major, long pass, Gate*& gate)
    {
        gates.push_back(std::make_unique<Gate>(pass));
        gate = gates.back().get();
        GrabberCallback& cb = Callback();
        gate->Attach(cb);
        auto grabber = Add(Create<IBaseFilter>(CLSID_SampleGrabber), (L"Gate " + std::to_wstring(gates.size())).c_str());
        ComPtr<ISampleGrabber> settings;
        if (grabber && SUCCEEDED(grabber.As(&settings))) {
            AM_MEDIA_TYPE mt{};
            mt.majortype = major;
            EXPECT_EQ(S_OK, settings->SetMediaType(&mt));
            settings->SetBufferSamples(FALSE);
            EXPECT_EQ(S_OK, settings->SetCallback(&cb, 0));
        }
        if (from != nullptr) {
            EXPECT_EQ(S_OK, Link(from, grabber.Get()));
        }
        return grabber;
    }
    // The file as it is on the disk now (bytes receives it), kept under another name as a killed
    // program leaves it: read again until two reads agree, so that the copy is of one moment
    // between the writer's writes, not pieced together while a write was under way.
    std::filesystem::path Snapshot(std::string& bytes, const std::wstring& name)
    {
        bytes = FileBytes();
        for (int tries = 0; tries < 50; ++tries) {
            std::string again = FileBytes();
            if (again == bytes) break;
            bytes = std::move(again);
        }
        const std::filesystem::path copy = dir / name;
        std::ofstream out(copy, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return copy;
    }
    // The pin at index i of the filter's pin list, as the recording builders take pins.
    static ComPtr<IPin> PinIndex(IBaseFilter* filter, int i)
    {
        ComPtr<IEnumPins> e;
        filter->EnumPins(e.GetAddressOf());
        ComPtr<IPin> pin;
        for (int k = 0; k <= i; ++k) {
            if (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) != S_OK) {
                return nullptr;
            }
        }
        return pin;
    }
    static ComPtr<IPin> LastPin(IBaseFilter* filter)
    {
        ComPtr<IEnumPins> e;
        filter->EnumPins(e.GetAddressOf());
        ComPtr<IPin> pin, last;
        while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            last = pin;
        }
        return last;
    }
    // Runs the graph until done answers true (at most 20 s), then stops it.
    template <typename P>
    void RunUntil(P&& done)
    {
        const HRESULT run = control->Run();
        ASSERT_TRUE(SUCCEEDED(run)) << std::hex << run;
        EXPECT_TRUE(WaitFor(done, 20000));
        ASSERT_EQ(S_OK, control->Stop());
    }
    // The camera into the multiplexer's first input and the microphone, through sound, into its
    // second, until the camera delivered at least frames pictures and a second of sound went by;
    // delivered (and dropped, when given) receives the camera's count once the graph stopped.
    void RecordCameraAndMicrophone(Counter& sound, long frames, long& delivered, long* dropped = nullptr)
    {
        auto camera = Camera();
        ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(camera.Get(), PINDIR_OUTPUT).Get(), PinIndex(mux.Get(), 1).Get(),
                                             nullptr));
        ThroughCounter(Microphone().Get(), MEDIATYPE_Audio, sound);
        ComPtr<IAMDroppedFrames> counters;
        ASSERT_EQ(S_OK, camera.As(&counters));
        RunUntil([&] {
            return SUCCEEDED(counters->GetNumNotDropped(&delivered)) && delivered >= frames && sound.Bytes >= 176400;
        });
        ASSERT_EQ(S_OK, counters->GetNumNotDropped(&delivered));
        if (dropped != nullptr) {
            ASSERT_EQ(S_OK, counters->GetNumDropped(dropped));
        }
    }
    std::string FileBytes() const { return ReadWholeFile(path); }
    // ffprobe of the recorded file, which must hold pictures and sound; v and a receive their streams.
    void ProbePicturesAndSound(TMediaProbe& p, int& v, int& a)
    {
        p = Probe(path);
        ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
        ASSERT_EQ(2, p.StreamCount());
        v = p.StreamOfType("video");
        a = p.StreamOfType("audio");
        ASSERT_TRUE(v >= 0 && a >= 0);
    }

    ComPtr<ICaptureGraphBuilder2> builder;
    std::vector<std::unique_ptr<Gate>> gates;
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    std::filesystem::path dir;
    std::filesystem::path path;
};

}  // namespace recording_test
