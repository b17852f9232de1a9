// The sound renderer stand-in under the DirectSound renderer's class id: bound through the moniker the
// program stores, connected again and again to sound of either rate after each stop (the change that
// Wine's own renderer crashes on), its clock and advices, volume and balance through the graph, the
// end of a stream, and the sound it refuses.
#include "live_device_helpers.h"

#include "filters/time_stamper.h"
#include "platform/standins/sound_renderer.h"
#include "platform/standins/test_microphone.h"

#include <cstring>
#include <tuple>

namespace standins_test {
namespace {

using namespace standins;

const wchar_t kRendererMoniker[] = L"@device:cm:{E0F158E1-CB04-11D0-BD4E-00A0C911CE86}\\Default DirectSound Device";
const std::wstring kMicrophone = L"Quillotrane Test Microphone";

class SoundRenderer : public DeviceGraph {
protected:
    void SetUp() override
    {
        DeviceGraph::SetUp();
        renderer = AddStock(CLSID_DSoundRender, L"Sound");
        ASSERT_TRUE(renderer) << "no sound renderer";
        input = PinAt(renderer.Get(), PINDIR_INPUT);
        ASSERT_TRUE(input);
    }
    void TearDown() override
    {
        input.Reset();
        output.Reset();
        config.Reset();
        renderer.Reset();
        stamper = nullptr;
        DeviceGraph::TearDown();
        if (tick != nullptr) {
            CloseHandle(tick);
        }
    }
    // The microphone and a time stamper that counts what goes on to the renderer.
    void AddMicrophone()
    {
        auto microphone = Add(BindFilter(DeviceMoniker(CLSID_AudioInputDeviceCategory, kMicrophone).Get()), L"Mic");
        ASSERT_TRUE(microphone) << "the microphone is not listed";
        output = PinAt(microphone.Get(), PINDIR_OUTPUT);
        ASSERT_EQ(S_OK, output.As(&config));
        stamper = new filters::Tqz_TimeStamper;
        Add(ComPtr<IBaseFilter>(stamper->BaseFilterInterface()), L"Counter");
    }
    // Connects microphone -> counter -> renderer with the microphone at that rate.
    void Connect(DWORD rate)
    {
        WaveType wave(rate, 2, 16);
        ASSERT_EQ(S_OK, config->SetFormat(&wave));
        ASSERT_EQ(S_OK, graph->ConnectDirect(output.Get(), PinAt(stamper->BaseFilterInterface(), PINDIR_INPUT).Get(),
                                             nullptr));
        ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(stamper->BaseFilterInterface(), PINDIR_OUTPUT).Get(), input.Get(),
                                             nullptr));
    }
    void Disconnect()
    {
        ComPtr<IPin> counterOut = PinAt(stamper->BaseFilterInterface(), PINDIR_OUTPUT);
        ComPtr<IPin> counterIn = PinAt(stamper->BaseFilterInterface(), PINDIR_INPUT);
        for (IPin* pin : {output.Get(), counterIn.Get(), counterOut.Get(), input.Get()}) {
            EXPECT_EQ(S_OK, graph->Disconnect(pin));
        }
    }
    // Runs until n buffers have gone to the renderer.
    void RunUntil(std::uint32_t n)
    {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitFor([&] { return stamper->SampleCounter() >= n; })) << "no sound reached the renderer";
    }
    ComPtr<IBasicAudio> Audio(IUnknown* from)
    {
        ComPtr<IBasicAudio> audio;
        EXPECT_EQ(S_OK, from->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(audio.GetAddressOf())));
        return audio;
    }

    ComPtr<IBaseFilter> renderer;
    ComPtr<IPin> input;
    ComPtr<IPin> output;
    ComPtr<IAMStreamConfig> config;
    filters::Tqz_TimeStamper* stamper = nullptr;  // held by the graph fixture
    HANDLE tick = nullptr;  // a semaphore that outlives the graph
};

TEST_F(SoundRenderer, IsOursUnderTheStockClassAndTheMonikerTheProgramStores)
{
    ComPtr<IBindCtx> ctx;
    ComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    ASSERT_EQ(S_OK, CreateBindCtx(0, ctx.GetAddressOf()));
    ASSERT_EQ(S_OK, MkParseDisplayName(ctx.Get(), kRendererMoniker, &eaten, moniker.GetAddressOf()));
    ComPtr<IBaseFilter> bound = BindFilter(moniker.Get());
    ASSERT_TRUE(bound);
    CLSID clsid{};
    ASSERT_EQ(S_OK, bound->GetClassID(&clsid));
    EXPECT_EQ(CLSID_DSoundRender, clsid);
    // Our DLL counts it among its live objects.
    renderer.Reset();
    input.Reset();
    graph->RemoveFilter(held.back().Get());
    held.clear();
    EXPECT_EQ(S_FALSE, StandinsCanUnload()) << "the moniker bound another renderer";

    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(S_OK, bound.As(&flags));
    EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER), flags->GetMiscFlags());
    ComPtr<IReferenceClock> clock;
    EXPECT_EQ(S_OK, bound.As(&clock));
    EXPECT_TRUE(Audio(bound.Get()));
    ComPtr<IPin> pin = PinAt(bound.Get(), PINDIR_INPUT);
    ASSERT_TRUE(pin);
    PIN_INFO info{};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    EXPECT_STREQ(kSoundRendererPinName, info.achName);
    info.pFilter->Release();
    EXPECT_FALSE(PinAt(bound.Get(), PINDIR_OUTPUT)) << "a renderer has no output";
}

// Sources of 48000 Hz and 44100 Hz take turns at the one renderer, as a camcorder and a microphone
// do when the user swaps them: each stop comes at another moment of the sound's second, and after it
// the renderer is connected again at the other rate and plays. (Wine's renderer kept its play position
// from the larger buffer and wrote through a buffer lock that had failed.)
TEST_F(SoundRenderer, TakesSourcesOfEitherRateAgainAndAgainAfterEachStop)
{
    ASSERT_NO_FATAL_FAILURE(AddMicrophone());
    for (int cycle = 0; cycle < 12; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_NO_FATAL_FAILURE(Connect(48000));
        ASSERT_NO_FATAL_FAILURE(RunUntil(1));
        Sleep(80 * cycle);  // stops spread over the renderer's second of sound
        ASSERT_EQ(S_OK, control->Stop());
        ASSERT_NO_FATAL_FAILURE(Disconnect());
        ASSERT_NO_FATAL_FAILURE(Connect(44100));
        ASSERT_NO_FATAL_FAILURE(RunUntil(3));
        ASSERT_EQ(S_OK, control->Stop());
        ASSERT_NO_FATAL_FAILURE(Disconnect());
    }
    EXPECT_EQ(0, ErrorEvents());
}

TEST_F(SoundRenderer, ClockTellsTimeAndAdvisesAtTheTimesAsked)
{
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(S_OK, renderer.As(&clock));
    REFERENCE_TIME before = 0, now = 0;
    ASSERT_EQ(S_OK, clock->GetTime(&before));
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(S_OK, clock->GetTime(&now));
        ASSERT_GE(now, before) << "the clock went back";
        before = now;
    }

    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1000, nullptr);
    ASSERT_TRUE(event && semaphore);
    DWORD_PTR cookie = 0;
    ASSERT_EQ(S_OK, clock->GetTime(&now));
    ASSERT_EQ(S_OK, clock->AdviseTime(now, 300000, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_NE(0u, cookie);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));
    REFERENCE_TIME fired = 0;
    clock->GetTime(&fired);
    EXPECT_GE(fired, now + 300000) << "the advice came early";
    EXPECT_EQ(S_FALSE, clock->Unadvise(cookie)) << "a one-shot advice is over once it fired";

    // A time already past is advised at once.
    ASSERT_EQ(S_OK, clock->AdviseTime(0, now, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));

    ASSERT_EQ(S_OK, clock->GetTime(&now));
    ASSERT_EQ(S_OK, clock->AdvisePeriodic(now, 100000, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, 10000)) << tick;
        clock->GetTime(&fired);
        EXPECT_GE(fired, now + tick * 100000) << tick;
    }
    EXPECT_EQ(S_OK, clock->Unadvise(cookie));
    EXPECT_EQ(S_FALSE, clock->Unadvise(cookie));
    while (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0) {
    }
    Sleep(50);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(semaphore, 0)) << "released after Unadvise";

    EXPECT_EQ(E_POINTER, clock->AdviseTime(now, 0, reinterpret_cast<HEVENT>(event), nullptr));
    EXPECT_EQ(E_INVALIDARG, clock->AdviseTime(now, 0, 0, &cookie));
    EXPECT_EQ(E_INVALIDARG, clock->AdviseTime(now, -1, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(E_INVALIDARG, clock->AdvisePeriodic(now, 0, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
    EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));
    CloseHandle(event);
    CloseHandle(semaphore);
}

// The graph runs on the renderer's clock, chosen by the graph for a preview and named for sound-only
// recordings: the live microphone stamps its sound from it, and a renderer that still has advices
// pending goes with the graph.
TEST_F(SoundRenderer, RunsTheGraphOnItsClock)
{
    ASSERT_NO_FATAL_FAILURE(AddMicrophone());
    ASSERT_NO_FATAL_FAILURE(Connect(44100));
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(S_OK, renderer.As(&clock));
    ComPtr<IMediaFilter> media;
    ASSERT_EQ(S_OK, graph.As(&media));
    ComPtr<IReferenceClock> used;
    // The preview lets the graph choose: it takes the renderer's.
    ASSERT_EQ(S_OK, graph->SetDefaultSyncSource());
    ASSERT_EQ(S_OK, media->GetSyncSource(used.GetAddressOf()));
    EXPECT_EQ(clock.Get(), used.Get()) << "the graph chose another clock";
    used.Reset();
    // Sound-only recordings name it.
    ASSERT_EQ(S_OK, media->SetSyncSource(nullptr));
    ASSERT_EQ(S_OK, media->SetSyncSource(clock.Get()));
    ASSERT_NO_FATAL_FAILURE(RunUntil(10));
    ASSERT_EQ(S_OK, media->GetSyncSource(used.GetAddressOf()));
    EXPECT_EQ(clock.Get(), used.Get());
    // Ten 20 ms buffers stamped from the renderer's clock: the stream has run that long on it.
    EXPECT_GE(stamper->StampStop(), 10 * kMicrophoneBufferTime);
    tick = CreateSemaphoreW(nullptr, 0, 1000, nullptr);
    DWORD_PTR cookie = 0;
    REFERENCE_TIME now = 0;
    clock->GetTime(&now);
    ASSERT_EQ(S_OK, clock->AdvisePeriodic(now, 100000, reinterpret_cast<HSEMAPHORE>(tick), &cookie));
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    used.Reset();
    clock.Reset();
    media.Reset();
    // TearDown releases the graph with the advice still pending, and checks that nothing is left.
}

// The program sets the volume through the graph (mute is -10000); the renderer takes it, stopped or
// playing, and refuses values outside the scale without changing what it had.
TEST_F(SoundRenderer, TakesVolumeAndBalanceThroughTheGraph)
{
    ComPtr<IBasicAudio> graphAudio = Audio(graph.Get());
    ComPtr<IBasicAudio> own = Audio(renderer.Get());
    ASSERT_TRUE(graphAudio && own);
    long value = 1;
    ASSERT_EQ(S_OK, own->get_Volume(&value));
    EXPECT_EQ(0, value);
    ASSERT_EQ(S_OK, graphAudio->put_Volume(-2499));
    ASSERT_EQ(S_OK, own->get_Volume(&value));
    EXPECT_EQ(-2499, value);

    ASSERT_NO_FATAL_FAILURE(AddMicrophone());
    ASSERT_NO_FATAL_FAILURE(Connect(48000));
    ASSERT_NO_FATAL_FAILURE(RunUntil(2));
    for (long volume : {-10000L, -752L, 0L}) {
        EXPECT_EQ(S_OK, graphAudio->put_Volume(volume)) << volume;
        ASSERT_EQ(S_OK, own->get_Volume(&value));
        EXPECT_EQ(volume, value);
    }
    for (long balance : {-10000L, 2500L, 10000L, 0L}) {
        EXPECT_EQ(S_OK, graphAudio->put_Balance(balance)) << balance;
        ASSERT_EQ(S_OK, own->get_Balance(&value));
        EXPECT_EQ(balance, value);
    }
    const std::uint32_t played = stamper->SampleCounter();
    EXPECT_TRUE(WaitFor([&] { return stamper->SampleCounter() >= played + 3; })) << "a volume change stopped the sound";
    ASSERT_EQ(S_OK, control->Stop());

    EXPECT_EQ(E_INVALIDARG, own->put_Volume(1));
    EXPECT_EQ(E_INVALIDARG, own->put_Volume(-10001));
    EXPECT_EQ(E_INVALIDARG, own->put_Balance(10001));
    EXPECT_EQ(E_INVALIDARG, own->put_Balance(-10001));
    ASSERT_EQ(S_OK, own->get_Volume(&value));
    EXPECT_EQ(0, value);
    ASSERT_EQ(S_OK, own->get_Balance(&value));
    EXPECT_EQ(0, value);
    EXPECT_EQ(E_POINTER, own->get_Volume(nullptr));
    EXPECT_EQ(0, ErrorEvents());
}

// The end of a stream reaches the graph as the renderer's completion.
TEST_F(SoundRenderer, TellsTheEndOfTheStreamAsCompletion)
{
    ASSERT_NO_FATAL_FAILURE(AddMicrophone());
    ASSERT_NO_FATAL_FAILURE(Connect(44100));
    ASSERT_NO_FATAL_FAILURE(RunUntil(1));
    ASSERT_EQ(S_OK, input->EndOfStream());
    long code = 0;
    ASSERT_EQ(S_OK, events->WaitForCompletion(10000, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(VFW_E_WRONG_STATE, input->EndOfStream()) << "stopped";
}

// A source may change its sound in the stream by giving a buffer a new type: the renderer plays on in
// it (and keeps it as its connection's type); a type it cannot play stops the stream with an error.
TEST_F(SoundRenderer, FollowsATypeChangedInTheStream)
{
    ASSERT_NO_FATAL_FAILURE(AddMicrophone());
    ASSERT_NO_FATAL_FAILURE(Connect(44100));
    ASSERT_NO_FATAL_FAILURE(RunUntil(2));
    auto allocator = Create<IMemAllocator>(CLSID_MemoryAllocator);
    ASSERT_TRUE(allocator);
    ALLOCATOR_PROPERTIES wanted{2, 3840, 1, 0}, actual{};
    ASSERT_EQ(S_OK, allocator->SetProperties(&wanted, &actual));
    ASSERT_EQ(S_OK, allocator->Commit());
    ComPtr<IMemInputPin> memory;
    ASSERT_EQ(S_OK, input.As(&memory));
    auto send = [&](AM_MEDIA_TYPE& type) {
        ComPtr<IMediaSample> sample;
        EXPECT_EQ(S_OK, allocator->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0));
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memset(data, 0, 3840);
        sample->SetActualDataLength(3840);
        EXPECT_EQ(S_OK, sample->SetMediaType(&type));
        return memory->Receive(sample.Get());
    };
    WaveType other(48000, 2, 16);
    EXPECT_EQ(S_OK, send(other));
    AM_MEDIA_TYPE now{};
    ASSERT_EQ(S_OK, input->ConnectionMediaType(&now));
    EXPECT_EQ(48000u, reinterpret_cast<const WAVEFORMATEX*>(now.pbFormat)->nSamplesPerSec);
    dshow::FreeMediaType(now);
    const std::uint32_t played = stamper->SampleCounter();
    EXPECT_TRUE(WaitFor([&] { return stamper->SampleCounter() >= played + 3; })) << "the sound stopped";
    EXPECT_EQ(0, ErrorEvents());

    WaveType video(44100, 2, 16);
    video.majortype = MEDIATYPE_Video;
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, send(video));
    EXPECT_EQ(1, ErrorEvents());
    ASSERT_EQ(S_OK, control->Stop());
    allocator->Decommit();
}

// PCM the device can play is taken; anything else is refused at the connection, never played.
TEST_F(SoundRenderer, TakesPlayablePcmAndRefusesOtherSound)
{
    for (auto [rate, channels, bits] : {std::tuple<DWORD, WORD, WORD>{48000, 2, 16}, {44100, 2, 16}, {32000, 2, 16},
                                        {22050, 1, 8}, {8000, 1, 16}}) {
        WaveType wave(rate, channels, bits);
        EXPECT_EQ(S_OK, input->QueryAccept(&wave)) << rate << " Hz " << channels << " channels " << bits << " bits";
    }
    auto refused = [&](const char* what, auto&& spoil) {
        WaveType wave(44100, 2, 16);
        spoil(wave);
        EXPECT_NE(S_OK, input->QueryAccept(&wave)) << what;
    };
    refused("video", [](WaveType& w) { w.majortype = MEDIATYPE_Video; });
    refused("no format block", [](WaveType& w) {
        CoTaskMemFree(w.pbFormat);
        w.pbFormat = nullptr;
        w.cbFormat = 0;
    });
    refused("a short block", [](WaveType& w) { w.cbFormat = 12; });
    refused("another format type", [](WaveType& w) { w.formattype = FORMAT_VideoInfo; });
    refused("MP3", [](WaveType& w) { w.Wf().wFormatTag = WAVE_FORMAT_MPEGLAYER3; });
    refused("no channel", [](WaveType& w) { w.Wf().nChannels = 0; });
    refused("12 bits", [](WaveType& w) { w.Wf().wBitsPerSample = 12; });
    refused("a wrong block size", [](WaveType& w) { w.Wf().nBlockAlign = 3; });
    refused("a wrong byte rate", [](WaveType& w) { w.Wf().nAvgBytesPerSec = 1; });
    refused("no rate", [](WaveType& w) {
        w.Wf().nSamplesPerSec = 0;
        w.Wf().nAvgBytesPerSec = 0;
    });
    refused("a huge rate", [](WaveType& w) {
        w.Wf().nSamplesPerSec = 0x40000000;
        w.Wf().nAvgBytesPerSec = 0;
    });
    // A 16-byte PCM block (without the size field) is complete.
    WaveType shortPcm(44100, 2, 16);
    shortPcm.cbFormat = sizeof(PCMWAVEFORMAT);
    EXPECT_EQ(S_OK, input->QueryAccept(&shortPcm));
}

}  // namespace
}  // namespace standins_test
