// The WAVE writer: the header layout, and in Wine graphs (PCM source -> WAVE writer -> File writer)
// the exact file written while recording and after a stop, with audio and for an empty recording,
// and the header writes that fail or fall short told through the graph.
#include <gtest/gtest.h>

#include "media_sources.h"

#include "filters/wave_dest.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace ftest {
namespace {

std::uint32_t Le32(const std::vector<BYTE>& b, size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::string Code(const std::vector<BYTE>& b, size_t at)
{
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

TEST(WaveHeader, LayoutForBothFormatSizes)
{
    BYTE format[18];
    for (int i = 0; i < 18; ++i) {
        format[i] = static_cast<BYTE>(0xA0 + i);
    }
    auto h = filters::MakeWaveHeader(format, 18, 3000000);
    ASSERT_EQ(46u, h.size());
    EXPECT_EQ("RIFF", Code(h, 0));
    EXPECT_EQ(3000038u, Le32(h, 4));
    EXPECT_EQ("WAVE", Code(h, 8));
    EXPECT_EQ("fmt ", Code(h, 12));
    EXPECT_EQ(18u, Le32(h, 16));
    EXPECT_TRUE(std::equal(format, format + 18, h.begin() + 20));
    EXPECT_EQ("data", Code(h, 38));
    EXPECT_EQ(3000000u, Le32(h, 42));
    auto h16 = filters::MakeWaveHeader(format, 16, 0);
    ASSERT_EQ(44u, h16.size());
    EXPECT_EQ(36u, Le32(h16, 4));
    EXPECT_EQ("data", Code(h16, 36));
    EXPECT_EQ(0u, Le32(h16, 40));
}

// A file sink whose pin answers IStream, as a Windows file writer's does: samples land at the
// byte offsets of their times, the stream writes at its own position.
const CLSID CLSID_StreamSink = {0x6a1e0011, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};

class StreamSink : public TBCBaseFilter {
public:
    StreamSink() : TBCBaseFilter("Stream sink", nullptr, std::make_unique<TBCCritSec>(), CLSID_StreamSink)
    {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    std::vector<BYTE> File()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return file_;
    }
    std::atomic<int> StreamWrites{0};
    // The pin answers IStream (a writer without one gets no header).
    std::atomic<bool> OfferStream{true};
    // The sample of this index (counted from 0) is refused with E_FAIL and not written.
    std::atomic<int> RefuseAt{-1};
    // Only the byte offsets of samples are kept, not their bytes (files of gigabytes).
    std::atomic<bool> KeepBytes{true};
    // From the stream write of this index on (counted from 0), a write takes half its bytes and
    // answers success all the same, as a full disk's first answer under Wine.
    std::atomic<int> ShortFrom{-1};
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> Offsets()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return offsets_;
    }

private:
    void Put(size_t at, const BYTE* data, size_t n)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!KeepBytes.load() && at != 0) {
            return;
        }
        if (file_.size() < at + n) {
            file_.resize(at + n);
        }
        std::copy(data, data + n, file_.begin() + static_cast<std::ptrdiff_t>(at));
    }

    class Pin : public TBCBaseInputPin {
    public:
        Pin(StreamSink* sink, HRESULT& hr)
            : TBCBaseInputPin("Stream sink pin", sink, sink->Lock(), hr, L"In"), sink_(sink), stream_(*this)
        {
        }
        HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
        {
            if (iid == IID_IStream && sink_->OfferStream.load()) {
                return GetInterface(&stream_, obj);
            }
            return TBCBaseInputPin::NonDelegatingQueryInterface(iid, obj);
        }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
        {
            return mt->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
        }
        HRESULT Receive(IMediaSample* sample) override
        {
            HRESULT hr = TBCBaseInputPin::Receive(sample);
            if (received_++ == sink_->RefuseAt.load()) {
                return E_FAIL;
            }
            REFERENCE_TIME start = 0, stop = 0;
            BYTE* data = nullptr;
            if (hr == S_OK && sample->GetTime(&start, &stop) == S_OK && SUCCEEDED(sample->GetPointer(&data))) {
                {
                    std::lock_guard<std::mutex> lock(sink_->mutex_);
                    sink_->offsets_.emplace_back(start, stop);
                }
                sink_->Put(static_cast<size_t>(start), data, static_cast<size_t>(sample->GetActualDataLength()));
            }
            return hr;
        }

    private:
        struct Stream : IStream {
            explicit Stream(Pin& p) : o(p) {}
            QUILL_DELEGATING_UNKNOWN(o)
            HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG n, ULONG* written) override
            {
                const int index = o.sink_->StreamWrites++;
                if (o.sink_->ShortFrom.load() >= 0 && index >= o.sink_->ShortFrom.load()) {
                    n /= 2;
                }
                o.sink_->Put(static_cast<size_t>(position), static_cast<const BYTE*>(data), n);
                position += n;
                if (written != nullptr) {
                    *written = n;
                }
                return S_OK;
            }
            HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER to, DWORD origin, ULARGE_INTEGER* now) override
            {
                if (origin != STREAM_SEEK_SET) {
                    return E_NOTIMPL;
                }
                position = static_cast<ULONGLONG>(to.QuadPart);
                if (now != nullptr) {
                    now->QuadPart = position;
                }
                return S_OK;
            }
            HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
            {
                return E_NOTIMPL;
            }
            HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
            Pin& o;
            ULONGLONG position = 0;
        };
        StreamSink* sink_;
        Stream stream_;
        int received_ = 0;  // streaming thread only
    };

    std::unique_ptr<Pin> pin_;
    std::mutex mutex_;
    std::vector<BYTE> file_;
    std::vector<std::pair<REFERENCE_TIME, REFERENCE_TIME>> offsets_;
};

class WaveGraph : public FilterGraphTest {
protected:
    void SetUp() override
    {
        FilterGraphTest::SetUp();
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        wchar_t name[MAX_PATH];
        GetTempFileNameW(dir, L"wav", 0, name);
        path = name;
    }
    void TearDown() override
    {
        FilterGraphTest::TearDown();
        DeleteFileW(path.c_str());
    }
    // PCM source of count chunks of chunk bytes (a byte ramp) -> WAVE writer -> File writer at path
    // (or the stream sink).
    void Build(bool shortFormat, int count, long chunk, bool streamSink = false)
    {
        MakePcmType(pcm, 44100, 2, 16, shortFormat);
        source = Add(new MediaSource(pcm, chunk), L"Source");
        source->Count = count;
        source->Duration = chunk * 10000000LL / 176400;
        source->Fill = [chunk](int i, BYTE* data, long) {
            for (long k = 0; k < chunk; ++k) {
                data[k] = static_cast<BYTE>(i * chunk + k);
            }
        };
        dest = Add(new filters::Tqz_WaveDest, L"Wave Dest");
        if (streamSink) {
            sink = Add(new StreamSink, L"Sink");
            ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
            ASSERT_EQ(S_OK, Link(filters[1].Get(), filters[2].Get()));
            return;
        }
        auto writer = AddStock(CLSID_FileWriter, L"File writer");
        ComPtr<IFileSinkFilter> sink;
        ASSERT_EQ(S_OK, writer.As(&sink));
        ASSERT_EQ(S_OK, sink->SetFileName(path.c_str(), nullptr));
        ASSERT_EQ(S_OK, Link(filters[0].Get(), filters[1].Get()));
        ASSERT_EQ(S_OK, Link(filters[1].Get(), writer.Get()));
    }
    void Record(bool toFileWriter = true)
    {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        ASSERT_TRUE(WaitUntil([&] { return source->EosSent.load(); }));
        ASSERT_TRUE(SUCCEEDED(control->Stop()));
        if (toFileWriter) {
            // The test prefix's File writer offers its stream: the header went in at Stop.
            EXPECT_EQ(S_OK, dest->HeaderResult());
        }
    }
    // The EC_ERRORABORT events waiting in the graph's queue, by their result codes.
    std::vector<HRESULT> Aborts()
    {
        ComPtr<IMediaEventEx> events;
        EXPECT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf())));
        std::vector<HRESULT> out;
        long code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events && events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            if (code == EC_ERRORABORT) {
                out.push_back(static_cast<HRESULT>(p1));
            }
            events->FreeEventParams(code, p1, p2);
        }
        return out;
    }
    std::vector<BYTE> ReadFile()
    {
        std::ifstream in(path.c_str(), std::ios::binary);
        return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::wstring path;
    MediaType pcm;
    MediaSource* source = nullptr;
    filters::Tqz_WaveDest* dest = nullptr;
    StreamSink* sink = nullptr;
};

TEST_F(WaveGraph, TheHeaderGoesThroughTheWritersStreamAtTheStartAndAgainAtTheStop)
{
    Build(false, 10, 3000, true);
    Record(false);
    EXPECT_EQ(S_OK, dest->HeaderResult());
    EXPECT_EQ(2, sink->StreamWrites.load());
    EXPECT_TRUE(Aborts().empty());
    auto file = sink->File();
    ASSERT_EQ(46u + 30000u, file.size());
    auto expected = filters::MakeWaveHeader(pcm.pbFormat, 18, 30000);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin())) << "header bytes";
    int wrong = 0;
    for (size_t k = 0; k < 30000u; ++k) {
        wrong += file[46 + k] != static_cast<BYTE>(k);
    }
    EXPECT_EQ(0, wrong) << "audio bytes out of place";
}

TEST_F(WaveGraph, AWriterWithoutAStreamGetsNoHeaderAndTheGraphIsToldOnce)
{
    Build(false, 4, 1000, true);
    sink->OfferStream = false;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->EosSent.load(); }));
    control->Stop();
    EXPECT_EQ(E_NOINTERFACE, dest->HeaderResult());
    EXPECT_EQ(std::vector<HRESULT>{E_NOINTERFACE}, Aborts()) << "at the start, not again at the stop";
    EXPECT_EQ(0, sink->StreamWrites.load());
    auto file = sink->File();
    ASSERT_EQ(46u + 4000u, file.size());
    EXPECT_TRUE(std::all_of(file.begin(), file.begin() + 46, [](BYTE b) { return b == 0; })) << "room left, nothing in it";
    // The filter stopped all the same: it runs again.
    sink->OfferStream = true;
    Record(false);
    EXPECT_EQ(S_OK, dest->HeaderResult());
    EXPECT_EQ(4000u, Le32(sink->File(), 42));
    EXPECT_TRUE(Aborts().empty());
}

TEST_F(WaveGraph, AHeaderTheStreamTakesOnlyPartOfIsAFailedWriteAndIsReported)
{
    // The header at the stop: the second stream write.
    Build(false, 4, 1000, true);
    sink->ShortFrom = 1;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->EosSent.load(); }));
    EXPECT_TRUE(Aborts().empty()) << "the start's header went in whole";
    control->Stop();
    EXPECT_EQ(STG_E_MEDIUMFULL, dest->HeaderResult());
    EXPECT_EQ(std::vector<HRESULT>{STG_E_MEDIUMFULL}, Aborts());

    // The header at the start: told while the recording runs.
    sink->ShortFrom = sink->StreamWrites.load();
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return source->EosSent.load(); }));
    EXPECT_EQ(std::vector<HRESULT>{STG_E_MEDIUMFULL}, Aborts());
    control->Stop();
    EXPECT_TRUE(Aborts().empty()) << "told once";
}

TEST_F(WaveGraph, TheFileHasAHeaderForAGrowingFileFromTheStartOn)
{
    Build(false, 0, 4410);
    source->Pace = 5;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitUntil([&] { return dest->DataBytes() >= 20u * 4410u; }));
    // Read while it is written, as after a killed recording: every sound byte there is in place.
    const auto growing = ReadFile();
    ASSERT_GE(growing.size(), 46u + 10u * 4410u);
    const auto expected = filters::MakeGrowingWaveHeader(pcm.pbFormat, 18);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), growing.begin())) << "header bytes";
    EXPECT_EQ(0xFFFFFFFFu, Le32(growing, 4));
    EXPECT_EQ(0xFFFFFFFFu, Le32(growing, 42));
    int wrong = 0;
    for (size_t k = 46; k < growing.size(); ++k) {
        wrong += growing[k] != static_cast<BYTE>(k - 46);
    }
    EXPECT_EQ(0, wrong) << "audio bytes out of place";
    ASSERT_TRUE(SUCCEEDED(control->Stop()));
    const auto file = ReadFile();
    ASSERT_EQ(46u + dest->DataBytes(), file.size());
    EXPECT_EQ(dest->DataBytes(), Le32(file, 42)) << "the stop sets the real sizes";
    EXPECT_EQ(dest->DataBytes() + 38u, Le32(file, 4));
    EXPECT_TRUE(Aborts().empty());
}

TEST_F(WaveGraph, TheFileHoldsTheHeaderThenEveryByteAtItsPlace)
{
    Build(false, 25, 4410);
    Record();
    EXPECT_EQ(S_OK, dest->HeaderResult());
    EXPECT_EQ(25u * 4410u, dest->DataBytes());
    EXPECT_EQ(46u, dest->HeaderSize());
    auto file = ReadFile();
    ASSERT_EQ(46u + 25u * 4410u, file.size());
    auto expected = filters::MakeWaveHeader(pcm.pbFormat, 18, 25 * 4410);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin())) << "header bytes";
    EXPECT_EQ(25u * 4410u + 38u, Le32(file, 4));
    EXPECT_EQ(1, file[20]) << "format tag PCM";
    int wrong = 0;
    for (size_t k = 0; k < 25u * 4410u; ++k) {
        wrong += file[46 + k] != static_cast<BYTE>(k);
    }
    EXPECT_EQ(0, wrong) << "audio bytes out of place";
}

TEST_F(WaveGraph, AnEmptyRecordingGetsAHeaderWithNoData)
{
    Build(true, -1, 1024);  // a negative count: end of stream at once
    Record();
    EXPECT_EQ(S_OK, dest->HeaderResult());
    auto file = ReadFile();
    ASSERT_EQ(44u, file.size());
    EXPECT_EQ("RIFF", Code(file, 0));
    EXPECT_EQ(16u + 20u, Le32(file, 4));
    EXPECT_EQ(16u, Le32(file, 16));
    EXPECT_EQ("data", Code(file, 36));
    EXPECT_EQ(0u, Le32(file, 40));
}

TEST_F(WaveGraph, ASecondRecordingStartsAfreshAndRefusesNonWaveInput)
{
    Build(false, 4, 1000);
    Record();
    Record();
    auto file = ReadFile();
    ASSERT_EQ(46u + 4000u, file.size());
    EXPECT_EQ(4000u, Le32(file, 42));
    MediaType video;
    MakeVideoType(video, 32, 24);
    EXPECT_NE(S_OK, dest->CheckInputType(&video));
    pcm.cbFormat = 12;
    EXPECT_NE(S_OK, dest->CheckInputType(&pcm)) << "a format block too short for a wave format";
}

TEST_F(WaveGraph, ASampleWhoseDeliveryFailsDoesNotCountAndTheNextTakesItsPlace)
{
    Build(false, 10, 3000, true);
    sink->RefuseAt = 3;
    source->GoOnAfterFailure = true;
    Record(false);
    EXPECT_EQ(S_OK, dest->HeaderResult());
    EXPECT_EQ(9u * 3000u, dest->DataBytes());
    auto file = sink->File();
    ASSERT_EQ(46u + 9u * 3000u, file.size());
    EXPECT_EQ(9u * 3000u, Le32(file, 42)) << "data size in the header";
    EXPECT_EQ(9u * 3000u + 38u, Le32(file, 4)) << "RIFF size";
    // Samples 0-2 in place, then sample 4 where sample 3 would have been, and so on.
    int wrong = 0;
    for (size_t k = 0; k < 9u * 3000u; ++k) {
        const size_t sampleIndex = k / 3000 < 3 ? k / 3000 : k / 3000 + 1;
        wrong += file[46 + k] != static_cast<BYTE>(sampleIndex * 3000 + k % 3000);
    }
    EXPECT_EQ(0, wrong) << "audio bytes out of place";
}

TEST_F(WaveGraph, ASampleThatWouldTakeTheFilePast4GiBIsRefused)
{
    // 64 MiB samples: 63 of them and the 46-byte header fit below 4 GiB, the 64th does not.
    const long chunk = 64L << 20;
    Build(false, 70, chunk, true);
    source->Fill = nullptr;
    sink->KeepBytes = false;
    Record(false);
    EXPECT_EQ(63u * static_cast<std::uint32_t>(chunk), dest->DataBytes()) << "the refused sample does not count";
    EXPECT_EQ(63, source->Delivered.load()) << "the 64th delivery failed and ended the stream";
    const auto offsets = sink->Offsets();
    ASSERT_EQ(63u, offsets.size());
    EXPECT_EQ(46 + 62LL * chunk, offsets.back().first);
    EXPECT_EQ(46 + 63LL * chunk, offsets.back().second);
    EXPECT_EQ(S_OK, dest->HeaderResult());
    auto file = sink->File();
    ASSERT_GE(file.size(), 46u);
    EXPECT_EQ(63u * static_cast<std::uint32_t>(chunk), Le32(file, 42));
    EXPECT_EQ(63u * static_cast<std::uint32_t>(chunk) + 38u, Le32(file, 4));
    EXPECT_EQ(std::vector<HRESULT>{HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)}, Aborts()) << "the recording says why it ended";
}

}  // namespace
}  // namespace ftest
