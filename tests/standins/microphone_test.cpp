// The test microphone: listed in the audio input category, bound by moniker and display name, its
// pin category and stream configuration, the tone's samples and time stamps through a sample
// grabber at both rates, and playing into the DirectSound renderer on the null sound device.
#include "live_device_helpers.h"

#include "platform/standins/test_microphone.h"

#include <mmreg.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace standins_test {
namespace {

using namespace standins;

const std::wstring kName = L"Quillotrane Test Microphone";

DWORD RateOf(const AM_MEDIA_TYPE& mt)
{
    return mt.cbFormat >= sizeof(WAVEFORMATEX) ? reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat)->nSamplesPerSec : 0;
}

struct Buffer {
    HRESULT TimeResult = E_FAIL;
    REFERENCE_TIME Start = 0, Stop = 0;
    bool Discontinuity = false;
    std::vector<SHORT> Samples;  // interleaved left, right
};

class Microphone : public DeviceGraph {
protected:
    void SetUp() override
    {
        DeviceGraph::SetUp();
        moniker = DeviceMoniker(CLSID_AudioInputDeviceCategory, kName);
        ASSERT_TRUE(moniker) << "the microphone is not listed";
        microphone = BindFilter(moniker.Get());
        ASSERT_TRUE(microphone);
        pin = PinAt(microphone.Get(), PINDIR_OUTPUT);
        ASSERT_TRUE(pin);
        ASSERT_EQ(S_OK, pin.As(&config));
    }
    void TearDown() override
    {
        config.Reset();
        pin.Reset();
        microphone.Reset();
        moniker.Reset();
        DeviceGraph::TearDown();
    }
    void Record(GrabberCallback& cb, std::vector<Buffer>& buffers)
    {
        cb.OnSample = [&buffers](IMediaSample* s) {
            Buffer b;
            b.TimeResult = s->GetTime(&b.Start, &b.Stop);
            b.Discontinuity = s->IsDiscontinuity() == S_OK;
            BYTE* data = nullptr;
            s->GetPointer(&data);
            const long n = s->GetActualDataLength();
            b.Samples.resize(static_cast<size_t>(n) / sizeof(SHORT));
            std::memcpy(b.Samples.data(), data, b.Samples.size() * sizeof(SHORT));
            buffers.push_back(std::move(b));
        };
    }

    ComPtr<IMoniker> moniker;
    ComPtr<IBaseFilter> microphone;
    ComPtr<IPin> pin;
    ComPtr<IAMStreamConfig> config;
};

// The buffers carry the tone without a gap: each starts where the last ended, and every sample is the
// tone's value at its position in the stream.
void ExpectContinuousTone(const std::vector<Buffer>& buffers, DWORD rate)
{
    ASSERT_GE(buffers.size(), 10u);
    const size_t frames = rate / 50;
    for (size_t i = 0; i < buffers.size(); ++i) {
        const Buffer& b = buffers[i];
        ASSERT_EQ(S_OK, b.TimeResult) << i;
        EXPECT_EQ(kMicrophoneBufferTime, b.Stop - b.Start) << i;
        ASSERT_EQ(frames * 2, b.Samples.size()) << i;
        if (i > 0) {
            EXPECT_EQ(buffers[i - 1].Stop, b.Start) << "gap before buffer " << i;
            EXPECT_FALSE(b.Discontinuity) << i;
        }
        const LONGLONG first = b.Start * rate / 10000000;
        for (size_t k = 0; k < frames; ++k) {
            const double t = std::fmod(static_cast<double>((first + static_cast<LONGLONG>(k)) * kToneHz), rate) / rate;
            const double expected = kToneAmplitude * std::sin(2 * 3.14159265358979323846 * t);
            ASSERT_NEAR(expected, b.Samples[2 * k], 1.0) << "buffer " << i << " frame " << k;
            ASSERT_EQ(b.Samples[2 * k], b.Samples[2 * k + 1]) << "buffer " << i << " frame " << k;
        }
    }
    EXPECT_TRUE(buffers.front().Discontinuity);
}

TEST_F(Microphone, IsListedUnderItsNameAndBindsByMonikerAndDisplayName)
{
    CLSID clsid{};
    ASSERT_EQ(S_OK, microphone->GetClassID(&clsid));
    EXPECT_EQ(CLSID_QuillTestMicrophone, clsid);
    const std::wstring display = DisplayName(moniker.Get());
    EXPECT_EQ(0u, display.find(L"@device:sw:{33D9A762-90C8-11D0-BD43-00A0C911CE86}"))
        << std::string(display.begin(), display.end());
    EXPECT_NE(std::wstring::npos, display.find(L"{51A7E0C2-3B6D-4E2A-9C58-2F41D6A7B301}"));
    auto again = BindDisplayName(display);
    ASSERT_TRUE(again);
    ASSERT_EQ(S_OK, again->GetClassID(&clsid));
    EXPECT_EQ(CLSID_QuillTestMicrophone, clsid);
    EXPECT_FALSE(DeviceMoniker(CLSID_VideoInputDeviceCategory, kName));

    ComPtr<IKsPropertySet> ks;
    ASSERT_EQ(S_OK, pin.As(&ks));
    GUID category = GUID_NULL;
    DWORD returned = 0;
    ASSERT_EQ(S_OK, ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category), &returned));
    EXPECT_EQ(PIN_CATEGORY_CAPTURE, category);

    // As the sound preview finds it: an audio output pin and its configuration through the builder.
    auto builder = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2);
    ASSERT_TRUE(builder);
    ASSERT_EQ(S_OK, builder->SetFiltergraph(graph.Get()));
    Add(microphone, L"Microphone");
    ComPtr<IPin> found;
    EXPECT_EQ(S_OK, builder->FindPin(microphone.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Audio, FALSE, 0,
                                     found.GetAddressOf()));
    EXPECT_NE(S_OK, builder->FindPin(microphone.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 0,
                                     found.ReleaseAndGetAddressOf()));
    ComPtr<IAMStreamConfig> viaBuilder;
    EXPECT_EQ(S_OK, builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, microphone.Get(),
                                           IID_IAMStreamConfig, reinterpret_cast<void**>(viaBuilder.GetAddressOf())));
}

TEST_F(Microphone, OffersBothRatesAndRefusesOtherFormats)
{
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    ASSERT_EQ(2, count);
    EXPECT_EQ(static_cast<int>(sizeof(AUDIO_STREAM_CONFIG_CAPS)), size);
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* mt = nullptr;
        AUDIO_STREAM_CONFIG_CAPS caps{};
        ASSERT_EQ(S_OK, config->GetStreamCaps(i, &mt, reinterpret_cast<BYTE*>(&caps)));
        EXPECT_EQ(MEDIATYPE_Audio, mt->majortype);
        EXPECT_EQ(MEDIASUBTYPE_PCM, mt->subtype);
        ASSERT_EQ(FORMAT_WaveFormatEx, mt->formattype);
        const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
        EXPECT_EQ(kMicrophoneRates[i], wf->nSamplesPerSec);
        EXPECT_EQ(2, wf->nChannels);
        EXPECT_EQ(16, wf->wBitsPerSample);
        EXPECT_EQ(4, wf->nBlockAlign);
        EXPECT_EQ(kMicrophoneRates[i], caps.MinimumSampleFrequency);
        EXPECT_EQ(kMicrophoneRates[i], caps.MaximumSampleFrequency);
        EXPECT_EQ(2u, caps.MaximumChannels);
        dshow::DeleteMediaType(mt);
    }
    AM_MEDIA_TYPE* mt = nullptr;
    BYTE caps[sizeof(AUDIO_STREAM_CONFIG_CAPS)] = {};
    EXPECT_EQ(S_FALSE, config->GetStreamCaps(2, &mt, caps));

    std::vector<std::pair<const char*, std::function<void(WaveType&)>>> bad = {
        {"rate", [](WaveType& t) { t.Wf().nSamplesPerSec = 22050; t.Wf().nAvgBytesPerSec = 22050 * 4; }},
        {"byte rate", [](WaveType& t) { t.Wf().nAvgBytesPerSec = 1; }},
        {"block align", [](WaveType& t) { t.Wf().nBlockAlign = 3; }},
        {"tag", [](WaveType& t) { t.Wf().wFormatTag = WAVE_FORMAT_IEEE_FLOAT; }},
        {"subtype", [](WaveType& t) { t.subtype = MEDIASUBTYPE_RGB24; }},
        {"format type", [](WaveType& t) { t.formattype = FORMAT_VideoInfo; }},
        {"short block", [](WaveType& t) { t.cbFormat = 12; }},
    };
    for (auto& [what, spoil] : bad) {
        WaveType t(48000);
        spoil(t);
        EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&t)) << what;
    }
    WaveType mono(44100, 1);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&mono));
    WaveType eightBit(44100, 2, 8);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&eightBit));

    ASSERT_EQ(S_OK, config->GetFormat(&mt));
    EXPECT_EQ(44100u, RateOf(*mt));
    dshow::DeleteMediaType(mt);
    WaveType fortyEight(48000);
    ASSERT_EQ(S_OK, config->SetFormat(&fortyEight));
    ASSERT_EQ(S_OK, config->GetFormat(&mt));
    EXPECT_EQ(48000u, RateOf(*mt));
    dshow::DeleteMediaType(mt);
}

TEST_F(Microphone, DeliversTheToneInContiguousTimeStampedBuffersAtBothRates)
{
    for (DWORD rate : kMicrophoneRates) {
        SCOPED_TRACE(rate);
        WaveType type(rate);
        ASSERT_EQ(S_OK, config->SetFormat(&type));
        GrabberCallback& cb = Callback();
        std::vector<Buffer> buffers;
        Record(cb, buffers);
        Add(microphone, L"Microphone");
        auto grabber = AddGrabber(cb, MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
        auto renderer = AddStock(CLSID_NullRenderer, L"Null");
        ASSERT_EQ(S_OK, Link(microphone.Get(), grabber.Get()));
        ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
        AM_MEDIA_TYPE connected{};
        ASSERT_EQ(S_OK, pin->ConnectionMediaType(&connected));
        EXPECT_EQ(rate, RateOf(connected));
        dshow::FreeMediaType(connected);

        ASSERT_TRUE(SUCCEEDED(control->Run()));
        Sleep(600);
        ASSERT_EQ(S_OK, control->Stop());
        {
            std::lock_guard<std::mutex> lock(cb.Mutex);
            cb.OnSample = nullptr;
        }
        ExpectContinuousTone(buffers, rate);
        // Real time: about 30 buffers of 20 ms in 600 ms, not a flood.
        EXPECT_LE(buffers.size(), 45u);
        EXPECT_EQ(0, ErrorEvents());

        for (auto& f : held) {
            graph->RemoveFilter(f.Get());
        }
        held.clear();
    }
}

TEST_F(Microphone, PlaysIntoTheDirectSoundRendererThroughRunPauseStop)
{
    GrabberCallback& cb = Callback();
    std::vector<Buffer> buffers;
    Record(cb, buffers);
    Add(microphone, L"Microphone");
    auto grabber = AddGrabber(cb, MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    auto renderer = AddStock(CLSID_DSoundRender, L"Sound");
    ASSERT_TRUE(renderer) << "no DirectSound renderer: is the null sound device set up?";
    ASSERT_EQ(S_OK, Link(microphone.Get(), grabber.Get()));
    ASSERT_EQ(S_OK, Link(grabber.Get(), renderer.Get()));
    auto count = [&] {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        return buffers.size();
    };
    for (int cycle = 0; cycle < 4; ++cycle) {
        const size_t first = count();
        ASSERT_TRUE(SUCCEEDED(control->Run())) << cycle;
        // The renderer takes the buffers as they come: 10 of them within a generous time.
        EXPECT_TRUE(WaitFor([&] { return count() >= first + 10; }, 5000)) << cycle;
        ASSERT_TRUE(SUCCEEDED(control->Pause())) << cycle;
        ASSERT_EQ(S_OK, control->Stop()) << cycle;
    }
    {
        std::lock_guard<std::mutex> lock(cb.Mutex);
        cb.OnSample = nullptr;
        for (size_t i = 1; i < buffers.size(); ++i) {
            if (!buffers[i].Discontinuity) {
                EXPECT_EQ(buffers[i - 1].Stop, buffers[i].Start) << i;
            }
        }
    }
    EXPECT_EQ(0, ErrorEvents());
}

// The chain the sound preview builds: microphone -> Infinite Pin Tee -> DirectSound renderer.
TEST_F(Microphone, FeedsTheSoundPreviewChainThroughTheInfiniteTee)
{
    auto tee = Create<IBaseFilter>(CLSID_InfTee);
    if (!tee) {
        GTEST_SKIP() << "no Infinite Pin Tee registered";
    }
    Add(microphone, L"Microphone");
    Add(tee, L"Tee");
    auto renderer = AddStock(CLSID_DSoundRender, L"Sound");
    ASSERT_EQ(S_OK, Link(microphone.Get(), tee.Get()));
    ASSERT_EQ(S_OK, Link(tee.Get(), renderer.Get()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    Sleep(300);
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    tee.Reset();
}

}  // namespace
}  // namespace standins_test
