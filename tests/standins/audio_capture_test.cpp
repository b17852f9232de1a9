// The audio capture filter in place of Wine's: every sound input Wine lists binds to it with a
// capture pin and the input's formats; from the tests' PulseAudio server (scripts/test.sh starts it
// with a 440 Hz sine source) it records the tone in contiguous buffers stamped on the graph clock,
// in the format and buffer length asked for; its mixer lines are input pins with their controls.
#include "live_device_helpers.h"

#include "platform/standins/audio_capture.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/wave_in_reader.h"

#include <audevcod.h>

#include <mmreg.h>
#include <ocidl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <vector>

namespace standins_test {
namespace {

using namespace standins;

// The PULSE_SERVER of the tests' own server, empty when the tests run without one.
std::wstring TestPulse()
{
    wchar_t value[512] = {};
    const DWORD n = GetEnvironmentVariableW(L"QUILL_TEST_PULSE", value, 512);
    return n > 0 && n < 512 ? std::wstring(value, n) : std::wstring();
}

const std::wstring kSineInput = L"Monitor of Sine440";

struct Input {
    std::wstring Name;
    ComPtr<IMoniker> Moniker;
};

// The inputs of the audio input category that name the stock audio capture class: Wine's own list.
std::vector<Input> SystemInputs()
{
    std::vector<Input> inputs;
    auto devenum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum);
    ComPtr<IEnumMoniker> list;
    if (!devenum || devenum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, list.GetAddressOf(), 0) != S_OK) {
        return inputs;
    }
    ComPtr<IMoniker> moniker;
    while (list->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf())))) {
            continue;
        }
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        CLSID clsid = GUID_NULL;
        if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR) {
            CLSIDFromString(v.bstrVal, &clsid);
        }
        VariantClear(&v);
        v.vt = VT_BSTR;
        std::wstring name;
        if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) {
            name = v.bstrVal;
        }
        VariantClear(&v);
        if (clsid == CLSID_AudioRecord) {
            inputs.push_back({name, moniker});
        }
    }
    return inputs;
}

// MinGW declares no uuidof for this interface: asked by its IID.
ComPtr<IAMAudioInputMixer> MixerOf(IUnknown* object)
{
    ComPtr<IAMAudioInputMixer> mixer;
    object->QueryInterface(IID_IAMAudioInputMixer, reinterpret_cast<void**>(mixer.GetAddressOf()));
    return mixer;
}

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

// Frequency of the first channel's tone from its rising zero crossings. A step between two crossings
// a tenth or more away from the usual one spans a place where sound was lost (a busy machine's sound
// system lost some, and silence keeps its place or the wave joins out of phase): no period of it.
double ToneHz(const std::vector<SHORT>& samples, WORD channels, DWORD rate)
{
    std::vector<size_t> steps;
    size_t last = 0;
    for (size_t i = channels; i < samples.size(); i += channels) {
        if (samples[i - channels] < 0 && samples[i] >= 0) {
            if (last > 0) steps.push_back(i / channels - last);
            last = i / channels;
        }
    }
    if (steps.empty()) return 0.0;
    std::vector<size_t> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const size_t usual = sorted[sorted.size() / 2];
    size_t kept = 0, length = 0;
    for (size_t step : steps) {
        if (10 * (step > usual ? step - usual : usual - step) < usual) ++kept, length += step;
    }
    return length == 0 ? 0.0 : static_cast<double>(kept) * rate / static_cast<double>(length);
}

// A graph clock running Speed times as fast as the performance counter; nothing waits on it. Never
// freed (a graph may release it late), so it counts no references.
struct FastClock final : IReferenceClock {
    explicit FastClock(double Speed) : speed(Speed) { QueryPerformanceFrequency(&frequency), QueryPerformanceCounter(&origin); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = iid == IID_IUnknown || iid == IID_IReferenceClock ? this : nullptr;
        return *obj != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        *time = static_cast<REFERENCE_TIME>(static_cast<double>(now.QuadPart - origin.QuadPart) * 1e7 * speed /
                                            static_cast<double>(frequency.QuadPart));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR) override { return S_FALSE; }
    double speed;
    LARGE_INTEGER frequency{}, origin{};
};

struct Recorded {
    std::mutex Mutex;
    std::condition_variable More;
    std::vector<REFERENCE_TIME> Starts, Stops, Received;  // Received: the clock's time as it came
    std::vector<long> Bytes;
    std::vector<SHORT> Samples;
    long BytesPerBuffer = 0;
};

class RealSoundInput : public DeviceGraph {
protected:
    void SetUp() override
    {
        DeviceGraph::SetUp();
        pulse = TestPulse();
    }
    // The tests' sine tone as Wine lists it (the server's sine source played into a sink whose
    // monitor gives it in real time: scripts/lib/common.sh).
    ComPtr<IBaseFilter> SineInput()
    {
        for (const Input& input : SystemInputs()) {
            if (input.Name == kSineInput) {
                return BindFilter(input.Moniker.Get());
            }
        }
        return nullptr;
    }
    // Runs filter -> grabber until Seconds of sound came, then stops. On Clock, if given (with no
    // renderer to wait on it), the streaming thread held up 1.5 s at the first buffer from StallAt.
    void Record(const ComPtr<IBaseFilter>& filter, Recorded& out, double seconds, DWORD rate, WORD channels,
                const AM_MEDIA_TYPE* mt = nullptr, IReferenceClock* clock = nullptr, REFERENCE_TIME stallAt = -1)
    {
        GrabberCallback& cb = Callback();
        cb.OnSample = [&out, clock, stallAt](IMediaSample* s) {
            REFERENCE_TIME start = 0, stop = 0, received = 0;
            BYTE* data = nullptr;
            const bool timed = s->GetTime(&start, &stop) == S_OK;
            s->GetPointer(&data);
            const long n = s->GetActualDataLength();
            if (clock != nullptr) clock->GetTime(&received);
            std::unique_lock<std::mutex> lock(out.Mutex);
            const bool stall = stallAt >= 0 && start >= stallAt && !out.Starts.empty() && out.Starts.back() < stallAt;
            if (timed) {
                out.Starts.push_back(start);
                out.Stops.push_back(stop);
                out.Received.push_back(received);
            }
            out.Bytes.push_back(n);
            out.BytesPerBuffer = n;
            const size_t old = out.Samples.size();
            out.Samples.resize(old + static_cast<size_t>(n) / sizeof(SHORT));
            std::memcpy(out.Samples.data() + old, data, static_cast<size_t>(n) / sizeof(SHORT) * sizeof(SHORT));
            out.More.notify_all();
            lock.unlock();
            if (stall) Sleep(1500);
        };
        Add(filter, L"Input");
        auto grabber = AddGrabber(cb, MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
        ASSERT_EQ(S_OK, Link(filter.Get(), grabber.Get(), mt));
        ComPtr<IMediaFilter> media;
        if (clock == nullptr) {
            ASSERT_EQ(S_OK, Link(grabber.Get(), AddStock(CLSID_NullRenderer, L"Sink").Get()));
        } else {
            ASSERT_TRUE(SUCCEEDED(graph.As(&media)) && media->SetSyncSource(clock) == S_OK);
        }
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        const size_t wanted = static_cast<size_t>(seconds * rate * channels);
        {
            std::unique_lock<std::mutex> lock(out.Mutex);
            // Generous: a loaded machine may start the stream late, but it must come.
            ASSERT_TRUE(out.More.wait_for(lock, std::chrono::seconds(60), [&] { return out.Samples.size() >= wanted; }))
                << "only " << out.Samples.size() << " samples came";
        }
        control->Stop();
        EXPECT_EQ(0, ErrorEvents());
    }

    std::wstring pulse;
};

TEST_F(RealSoundInput, EveryInputWineListsBindsWithACapturePinAndItsFormats)
{
    const std::vector<Input> inputs = SystemInputs();
    if (pulse.empty() && inputs.empty()) {
        GTEST_SKIP() << "no sound input listed and no test PulseAudio server (run through scripts/test.sh)";
    }
    ASSERT_FALSE(inputs.empty()) << "Wine lists no sound input although the tests' server runs";
    auto builder = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
    ASSERT_TRUE(builder);
    ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
    for (const Input& input : inputs) {
        SCOPED_TRACE(Narrow(input.Name));
        auto filter = BindFilter(input.Moniker.Get());
        ASSERT_TRUE(filter);
        CLSID clsid{};
        ASSERT_EQ(S_OK, filter->GetClassID(&clsid));
        EXPECT_EQ(CLSID_AudioRecord, clsid);
        Add(filter, input.Name.c_str());
        ComPtr<IPin> capture;
        ASSERT_EQ(S_OK, builder->FindPin(filter.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, FALSE, 0,
                                         capture.GetAddressOf()));
        ComPtr<IAMStreamConfig> config;
        ASSERT_EQ(S_OK, builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, filter.Get(), IID_IAMStreamConfig,
                                               reinterpret_cast<void**>(config.GetAddressOf())));
        int count = 0, size = 0;
        ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
        ASSERT_GT(count, 0);
        EXPECT_EQ(static_cast<int>(sizeof(AUDIO_STREAM_CONFIG_CAPS)), size);
        for (int i = 0; i < count; ++i) {
            AM_MEDIA_TYPE* mt = nullptr;
            AUDIO_STREAM_CONFIG_CAPS caps{};
            ASSERT_EQ(S_OK, config->GetStreamCaps(i, &mt, reinterpret_cast<BYTE*>(&caps)));
            ASSERT_EQ(FORMAT_WaveFormatEx, mt->formattype);
            const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
            EXPECT_EQ(wf->nSamplesPerSec, caps.MinimumSampleFrequency);
            EXPECT_EQ(wf->nChannels, caps.MaximumChannels);
            EXPECT_EQ(wf->nChannels * wf->wBitsPerSample / 8, wf->nBlockAlign);
            if (i == 0) {
                EXPECT_EQ(44100u, wf->nSamplesPerSec) << "the first format is the one a connection takes";
            }
            dshow::DeleteMediaType(mt);
        }
        EXPECT_EQ(S_OK, graph->RemoveFilter(filter.Get()));
    }
}

TEST_F(RealSoundInput, RecordsTheSineToneInContiguousBuffersOnTheGraphClock)
{
    if (pulse.empty()) GTEST_SKIP() << "no test PulseAudio server (run through scripts/test.sh)";
    auto input = SineInput();
    ASSERT_TRUE(input) << "Wine does not list the sine source";
    Recorded out;
    Record(input, out, 1.5, 44100, 2);
    std::lock_guard<std::mutex> lock(out.Mutex);
    ASSERT_GE(out.Starts.size(), 100u);
    for (size_t i = 0; i < out.Starts.size(); ++i) {
        ASSERT_EQ(100000, out.Stops[i] - out.Starts[i]) << i;
        if (i > 0) {
            ASSERT_EQ(out.Stops[i - 1], out.Starts[i]) << "gap before buffer " << i;
        }
    }
    EXPECT_EQ(441 * 4, out.BytesPerBuffer);
    // The first buffer belongs to the first moments of the run, not to the time before it.
    EXPECT_LT(out.Starts.front(), 10000000);
    // Skip the first tenth of a second: the server may start the source's sound mid-buffer.
    const std::vector<SHORT> tone(out.Samples.begin() + 4410 * 2, out.Samples.end());
    EXPECT_NEAR(440.0, ToneHz(tone, 2, 44100), 3.0);
    EXPECT_GT(*std::max_element(tone.begin(), tone.end()), 1000) << "silence, not the tone";
}

// Held up 1.5 s downstream, on a graph clock 0.5% faster than the input's: at the end the sound
// delivered still makes up the graph's time to within a unit, in whole contiguous units of the tone
// (at some moment of the last seconds: a busy machine's sound system may hold the input's sound back
// a while, and the units wait for it).
TEST_F(RealSoundInput, KeepsTheGraphClockThroughAStallAndASlowerInput)
{
    if (pulse.empty()) GTEST_SKIP() << "no test PulseAudio server (run through scripts/test.sh)";
    auto input = SineInput();
    ASSERT_TRUE(input);
    static FastClock clock(1.005);
    Recorded out;
    Record(input, out, 6.0, 44100, 2, nullptr, &clock, 10000000);
    std::lock_guard<std::mutex> lock(out.Mutex);
    const size_t units = out.Starts.size();
    ASSERT_GT(units, 500u);
    for (size_t i = 1; i < units; ++i) {
        ASSERT_EQ(out.Stops[i - 1], out.Starts[i]) << "gap before unit " << i;
        ASSERT_EQ(441 * 4, out.Bytes[i]) << i;
    }
    // How long after its end a unit came at the least (less the stream's start): early on, and at the end.
    auto least = [&](size_t from, size_t to) {
        REFERENCE_TIME best = out.Received[from] - out.Stops[from];
        for (size_t i = from; i < to; ++i) best = std::min(best, out.Received[i] - out.Stops[i]);
        return best;
    };
    EXPECT_LE(least(units - 300, units) - least(10, 60), 100000) << "the sound delivered fell behind the graph's clock";
    EXPECT_NEAR(440.0, ToneHz(std::vector<SHORT>(out.Samples.begin() + 4410 * 2, out.Samples.end()), 2, 44100), 4.0);
}

TEST_F(RealSoundInput, RecordsInTheFormatAndBufferLengthAskedFor)
{
    if (pulse.empty()) GTEST_SKIP() << "no test PulseAudio server (run through scripts/test.sh)";
    auto input = SineInput();
    ASSERT_TRUE(input);
    ComPtr<IPin> pin = PinAt(input.Get(), PINDIR_OUTPUT);
    ComPtr<IAMStreamConfig> config;
    ComPtr<IAMBufferNegotiation> negotiation;
    ASSERT_EQ(S_OK, pin.As(&config));
    ASSERT_EQ(S_OK, pin.As(&negotiation));

    WaveType spoilt(48000, 1);
    spoilt.Wf().nBlockAlign = 3;
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&spoilt));
    WaveType oddRate(44101, 1);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&oddRate));
    WaveType mono(48000, 1);
    ASSERT_EQ(S_OK, config->SetFormat(&mono));
    // 50 ms buffers; 47 ms is rounded to whole 10 ms units.
    ALLOCATOR_PROPERTIES asked{6, 48 * 47 * 2, 1, 0};
    ASSERT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&asked));
    ALLOCATOR_PROPERTIES props{};
    EXPECT_EQ(VFW_E_NOT_CONNECTED, negotiation->GetAllocatorProperties(&props));

    Recorded out;
    Record(input, out, 1.0, 48000, 1);
    ASSERT_EQ(S_OK, negotiation->GetAllocatorProperties(&props));
    EXPECT_EQ(6, props.cBuffers);
    EXPECT_GE(props.cbBuffer, 48 * 50 * 2);
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, negotiation->SuggestAllocatorProperties(&asked));
    std::lock_guard<std::mutex> lock(out.Mutex);
    EXPECT_EQ(48 * 50 * 2, out.BytesPerBuffer);
    ASSERT_FALSE(out.Starts.empty());
    EXPECT_EQ(500000, out.Stops.front() - out.Starts.front());
    const std::vector<SHORT> tone(out.Samples.begin() + 4800, out.Samples.end());
    EXPECT_NEAR(440.0, ToneHz(tone, 1, 48000), 3.0);
}

// An input another program holds: the start is refused and the graph told why, once a start.
TEST_F(RealSoundInput, AnInputThatCannotBeOpenedTellsTheGraphOnceAStart)
{
    const std::vector<Input> inputs = SystemInputs();
    if (inputs.empty()) GTEST_SKIP() << "no sound input listed";
    const std::wstring key = TestRecordingKeyOfThisProcess();
    const std::uint64_t started = ThisProcessStarted(), busy = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), kTestStartedValue, REG_QWORD, &started, 8));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), kTestSoundInputsBusyValue, REG_QWORD, &busy, 8));
    auto filter = Add(BindFilter(inputs.front().Moniker.Get()), L"Input");
    auto grabber = AddGrabber(Callback(), MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    ASSERT_EQ(S_OK, Link(filter.Get(), grabber.Get()));
    const HRESULT refused = HRESULT_FROM_WIN32(ERROR_BUSY);
    auto told = [&] {
        std::vector<std::vector<LONG_PTR>> seen;
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            seen.push_back({code, p1, p2});
            events->FreeEventParams(code, p1, p2);
        }
        return seen;
    };
    const std::vector<std::vector<LONG_PTR>> once{{EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_Open, MMSYSERR_ALLOCATED},
                                                  {EC_ERRORABORT, refused, 0}};
    for (int start = 0; start < 2; ++start) {
        EXPECT_EQ(refused, filter->Pause());
        EXPECT_EQ(refused, filter->Run(0));
        EXPECT_EQ(once, told());
        EXPECT_EQ(S_OK, filter->Stop());
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

TEST_F(RealSoundInput, MixerLinesAreInputPinsWithTheirControls)
{
    const std::vector<Input> inputs = SystemInputs();
    if (inputs.empty()) GTEST_SKIP() << "no sound input listed";
    auto filter = BindFilter(inputs.front().Moniker.Get());
    ASSERT_TRUE(filter);
    ComPtr<IAMAudioInputMixer> whole = MixerOf(filter.Get());
    ASSERT_TRUE(whole);
    int lines = 0;
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, filter->EnumPins(pins.GetAddressOf()));
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION dir{};
        ASSERT_EQ(S_OK, pin->QueryDirection(&dir));
        if (dir != PINDIR_INPUT) continue;
        ++lines;
        ComPtr<IAMAudioInputMixer> mixer = MixerOf(pin.Get());
        ASSERT_TRUE(mixer);
        PIN_INFO info{};
        ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
        if (info.pFilter) info.pFilter->Release();
        EXPECT_NE(L'\0', info.achName[0]) << "a line without a name";
        BOOL enabled = FALSE;
        const HRESULT hr = mixer->get_Enable(&enabled);
        EXPECT_TRUE(hr == S_OK || hr == E_NOTIMPL) << std::hex << hr;
        if (hr == S_OK && enabled) {
            EXPECT_EQ(S_OK, mixer->put_Enable(TRUE));
        }
        double level = -1;
        if (mixer->get_MixLevel(&level) == S_OK) {
            EXPECT_GE(level, 0.0);
            EXPECT_LE(level, 1.0);
            EXPECT_EQ(E_INVALIDARG, mixer->put_MixLevel(1.5));
            EXPECT_EQ(S_OK, mixer->put_MixLevel(level));
        }
        // A line is no stream: nothing connects to it.
        WaveType t(44100);
        EXPECT_EQ(S_FALSE, pin->QueryAccept(&t));
    }
    EXPECT_GE(lines, 1) << "an input with no line to choose";
}

// A reader whose pump, once armed, waits between its look for a close and its queuing of a filled
// buffer again until a close has begun (and reset the device).
class RequeueStalledReader : public TWaveInReader {
public:
    ~RequeueStalledReader() override { Close(); }
    std::atomic<bool> Armed{false}, Waiting{false}, Closing{false};

protected:
    void PumpRequeuing() override
    {
        if (!Armed.exchange(false)) return;
        Waiting = true;
        WaitFor([&] { return Closing.load(); });
        Sleep(300);
    }
};

TEST(WaveInReader, AStopWhileABufferIsQueuedAgainGivesEveryBufferAndTheDeviceBack)
{
    const std::vector<TWaveLayout> layouts = WaveInLayouts(WAVE_MAPPER);
    if (layouts.empty()) GTEST_SKIP() << "no sound input";
    for (int i = 0; i < 3; ++i) {
        RequeueStalledReader reader;
        ASSERT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), reader.Open(WAVE_MAPPER, layouts[0], 4410));
        reader.Armed = true;
        ASSERT_TRUE(WaitFor([&] { return reader.Waiting.load(); })) << "the input records nothing";
        reader.Closing = true;
        EXPECT_TRUE(reader.Close()) << "a buffer queued after the reset was not given back";
        EXPECT_FALSE(reader.IsOpen());
    }
}

}  // namespace
}  // namespace standins_test
