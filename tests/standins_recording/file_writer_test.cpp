// The file writer on its own: the WAVE writer's sound placed by byte offsets with its header put
// in through the pin's stream after the stop, an existing longer file emptied in the overwrite mode
// the builders ask for, the clear answers to a missing name, a missing folder and wrong calls, a short
// write told as a full disk, and a file in use refused to a second writer.
#include "recording_support.h"

#include "filters/wave_dest.h"
#include "tests/filters/media_sources.h"

#include <atomic>
#include <fstream>

#include "older_file.h"
#include <thread>

namespace recording_test {
namespace {

class WaveRecording : public Recording {
protected:
    // Microphone -> WAVE writer -> file writer, named path.
    void Build(const std::filesystem::path& file)
    {
        path = file;
        writer = AddStock(CLSID_FileWriter, L"File writer");
        ASSERT_TRUE(writer);
        ASSERT_EQ(S_OK, writer.As(&fileSink));
        ASSERT_EQ(S_OK, fileSink->SetFileName(path.c_str(), nullptr));
        dest = new filters::Tqz_WaveDest;
        auto wave = Add(ComPtr<IBaseFilter>(dest->BaseFilterInterface()), L"Wave Dest");
        ASSERT_EQ(S_OK, Link(Microphone().Get(), wave.Get()));
        ASSERT_EQ(S_OK, Link(wave.Get(), writer.Get()));
    }
    // Records at least that many bytes of sound; answers how many the WAVE writer passed on.
    std::uint32_t Record(std::uint32_t bytes)
    {
        RunUntil([&] { return dest->DataBytes() >= bytes; });
        EXPECT_EQ(0, ErrorEvents());
        return dest->DataBytes();
    }
    void TearDown() override
    {
        fileSink.Reset();
        writer.Reset();
        Recording::TearDown();
    }
    ComPtr<IBaseFilter> writer;
    ComPtr<IFileSinkFilter2> fileSink;
    filters::Tqz_WaveDest* dest = nullptr;
};

// The microphone's recording of that many bytes read back by ffmpeg: its header and every sample
// of the tone in place.
void ExpectWholeTone(const std::filesystem::path& path, std::uint32_t bytes)
{
    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    EXPECT_EQ("wav", p.Get("format.format_name"));
    EXPECT_EQ("pcm_s16le", p.Stream(0, "codec_name"));
    EXPECT_NEAR(bytes / 4 / 44100.0, p.StreamNumber(0, "duration"), 0.001) << "the header's data size";
    const auto decoded = quill_test::DecodeSound(path);
    ASSERT_EQ(static_cast<std::size_t>(bytes / 2), decoded.size());
    // Every buffer holds whole periods of the tone: the samples continue it from the first on.
    int wrong = 0;
    for (std::size_t i = 0; i < decoded.size(); i += 2) {
        wrong += std::abs(decoded[i] - ToneAt(static_cast<long long>(i / 2), 44100)) > 1;
    }
    EXPECT_EQ(0, wrong);
    EXPECT_EQ(46u + bytes, std::filesystem::file_size(path));
}

TEST_F(WaveRecording, TheWaveWritersFileHasItsHeaderAndEverySampleInPlace)
{
    Build(dir / L"sound.wav");
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, fileSink->GetCurFile(&name, nullptr));
    EXPECT_EQ(path.wstring(), name);
    CoTaskMemFree(name);
    ExpectWholeTone(path, Record(176400));
}

TEST_F(WaveRecording, ASecondWriterIsRefusedTheFileBeingRecordedWhichStaysWhole)
{
    Build(dir / L"in use.wav");
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return dest->DataBytes() >= 44100; }));
    // Another graph, as another copy of the program told to write over the file, with its own writer.
    {
        ComPtr<IGraphBuilder> other = Create<IGraphBuilder>(CLSID_FilterGraph);
        ComPtr<IMediaControl> otherControl;
        ASSERT_TRUE(other && SUCCEEDED(other.As(&otherControl)));
        ftest::MediaType pcm;
        ftest::MakePcmType(pcm, 44100, 2, 16, false);
        auto* source = new ftest::MediaSource(pcm, 4410);
        ComPtr<IBaseFilter> sourceFilter(source->BaseFilterInterface());
        ComPtr<IBaseFilter> second = Create<IBaseFilter>(CLSID_FileWriter);
        ComPtr<IFileSinkFilter2> secondSink;
        ASSERT_TRUE(second && SUCCEEDED(second.As(&secondSink)));
        ASSERT_EQ(S_OK, secondSink->SetFileName(path.c_str(), nullptr));
        ASSERT_EQ(S_OK, secondSink->SetMode(AM_FILE_OVERWRITE));
        ASSERT_EQ(S_OK, other->AddFilter(sourceFilter.Get(), L"Source"));
        ASSERT_EQ(S_OK, other->AddFilter(second.Get(), L"File writer"));
        ASSERT_EQ(S_OK, other->ConnectDirect(PinAt(sourceFilter.Get(), PINDIR_OUTPUT).Get(),
                                             PinAt(second.Get(), PINDIR_INPUT).Get(), nullptr));
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), otherControl->Run());
        // Wine's graph leaves the filters it paused beside the refusing writer as they are, and its
        // own Stop then does nothing: stopped one by one, or the graph could never be released.
        otherControl->Stop();
        sourceFilter->Stop();
        second->Stop();
    }
    // Nor can it be deleted or written by anyone else while it is recorded.
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
    }
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, ErrorEvents());
    ExpectWholeTone(path, dest->DataBytes());
}

// The image-by-image finish patches or deletes its file right after the stop, while the writer is
// still in the graph.
TEST_F(WaveRecording, OnceStoppedTheFileCanBePatchedAndDeletedWhileTheWriterStillHoldsIt)
{
    Build(dir / L"finished.wav");
    Record(44100);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << GetLastError();
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileW(path.c_str())) << GetLastError();
    ASSERT_EQ(S_OK, graph->RemoveFilter(writer.Get()));
    EXPECT_FALSE(std::filesystem::exists(path)) << "gone once the writer let it go";
}

// At the stop the writer lets go of the run's handle and opens the file again for the header still
// to come. Another program that takes the file alone in between (a scanner, a thumbnailer) holds
// it for a moment: the header is written once it lets go, not lost. One that keeps it is told.
TEST_F(WaveRecording, AHeaderWaitsForAProgramThatHoldsTheFinishedFileAloneForAMoment)
{
    Build(dir / L"held.wav");
    const std::uint32_t bytes = Record(44100);
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, PinAt(writer.Get(), PINDIR_INPUT).As(&stream));
    // Out of the graph the writer holds no handle: its next write opens the file again, as the
    // header's first write does when the stop's own opening was refused.
    ASSERT_EQ(S_OK, graph->RemoveFilter(writer.Get()));
    std::string riff(4, '\0');
    {
        std::ifstream in(path, std::ios::binary);
        in.read(riff.data(), 4);
    }
    ASSERT_EQ("RIFF", riff);
    const auto holdAlone = [&] {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    const auto writeHead = [&] {
        const LARGE_INTEGER start{};
        ULONG written = 0;
        const HRESULT sought = stream->Seek(start, STREAM_SEEK_SET, nullptr);
        return FAILED(sought) ? sought : stream->Write(riff.data(), 4, &written);
    };

    HANDLE held = holdAlone();
    ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
    std::atomic<bool> letGo{false};
    std::thread other([&] {
        Sleep(300);
        letGo = true;
        CloseHandle(held);
    });
    const HRESULT waited = writeHead();
    const bool afterLetGo = letGo.load();
    other.join();
    EXPECT_EQ(S_OK, waited);
    EXPECT_TRUE(afterLetGo) << "written while another program held the file alone";

    // Held for good: a clear failure after a bounded wait, the file untouched.
    ASSERT_EQ(S_OK, graph->AddFilter(writer.Get(), L"File writer"));
    ASSERT_EQ(S_OK, graph->RemoveFilter(writer.Get()));
    held = holdAlone();
    ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), writeHead());
    CloseHandle(held);
    ExpectWholeTone(path, bytes);
}

// Wine's WriteFile on a full file system first answers success with fewer bytes written. Here the
// last sound buffer is the one cut short: no later write fails to tell it instead.
TEST_F(Recording, AShortWriteIsAFailedWriteToldOnceAndTheSoundBeforeItStays)
{
    constexpr long kChunk = 4410;
    constexpr int kCount = 10;
    constexpr std::uint64_t kLimit = 46 + (kCount - 1) * kChunk + kChunk / 2;
    TestSettings settings;
    settings.Set(standins::kTestByteLimitValue, kLimit);
    settings.Set(standins::kTestShortWritesValue, 1);
    ftest::MediaType pcm;
    ftest::MakePcmType(pcm, 44100, 2, 16, false);
    auto* source = new ftest::MediaSource(pcm, kChunk);
    source->Count = kCount;
    source->Duration = kChunk * 10000000LL / 176400;
    Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), L"Source");
    auto* dest = new filters::Tqz_WaveDest;
    auto wave = Add(ComPtr<IBaseFilter>(dest->BaseFilterInterface()), L"Wave Dest");
    path = dir / L"short.wav";
    auto writer = AddStock(CLSID_FileWriter, L"File writer");
    ComPtr<IFileSinkFilter> sink;
    ASSERT_TRUE(writer && SUCCEEDED(writer.As(&sink)));
    ASSERT_EQ(S_OK, sink->SetFileName(path.c_str(), nullptr));
    ASSERT_EQ(S_OK, Link(source->BaseFilterInterface(), wave.Get()));
    ASSERT_EQ(S_OK, Link(wave.Get(), writer.Get()));

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    ASSERT_TRUE(WaitFor([&] { return source->EosSent.load(); }));
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    std::vector<HRESULT> aborts;
    while (events->GetEvent(&code, &p1, &p2, 500) == S_OK) {
        if (code == EC_ERRORABORT) {
            aborts.push_back(static_cast<HRESULT>(p1));
        }
        events->FreeEventParams(code, p1, p2);
    }
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(std::vector<HRESULT>{HRESULT_FROM_WIN32(ERROR_DISK_FULL)}, aborts);
    EXPECT_EQ(0, ErrorEvents());

    EXPECT_EQ(kLimit, std::filesystem::file_size(path)) << "what fitted stays";
    EXPECT_EQ((kCount - 1) * static_cast<std::uint32_t>(kChunk), dest->DataBytes()) << "the cut buffer does not count";
    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    EXPECT_NEAR((kCount - 1) * kChunk / 176400.0, p.StreamNumber(0, "duration"), 0.001);
}

// The recording builders put the writer in the overwrite mode: a run then opens an existing, longer
// file emptied, and the file is the new recording alone, however many runs write it.
TEST_F(WaveRecording, InTheOverwriteModeAnExistingLongerFileKeepsNothingOfItsOwn)
{
    const std::filesystem::path file = dir / L"older.wav";
    ASSERT_TRUE(quill_test::WriteOlderFile(file, 1000000));
    Build(file);
    DWORD mode = 99;
    ASSERT_EQ(S_OK, fileSink->GetMode(&mode));
    EXPECT_EQ(0u, mode) << "off until asked for";
    EXPECT_EQ(E_INVALIDARG, fileSink->SetMode(0x10));
    ASSERT_EQ(S_OK, fileSink->SetMode(AM_FILE_OVERWRITE));
    ASSERT_EQ(S_OK, fileSink->GetMode(&mode));
    EXPECT_EQ(static_cast<DWORD>(AM_FILE_OVERWRITE), mode);
    const std::uint32_t first = Record(88200);
    EXPECT_FALSE(quill_test::HoldsOlderFile(ReadWholeFile(file))) << "the older file's tail is still there";
    ExpectWholeTone(file, first);

    // A next run into the same name (a new start after another Yes) is written from an empty file
    // too: a shorter recording leaves nothing of the longer one before it.
    ASSERT_TRUE(quill_test::WriteOlderFile(file, 1000000));
    const std::uint32_t second = Record(44100);
    EXPECT_FALSE(quill_test::HoldsOlderFile(ReadWholeFile(file)));
    ExpectWholeTone(file, second);
}

TEST_F(Recording, AWriterWithoutANameOrFolderRefusesToStartAndSaysWhy)
{
    auto writer = AddStock(CLSID_FileWriter, L"File writer");
    ComPtr<IFileSinkFilter> fileSink;
    ASSERT_EQ(S_OK, writer.As(&fileSink));
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(E_FAIL, fileSink->GetCurFile(&name, nullptr));
    EXPECT_EQ(nullptr, name);
    EXPECT_EQ(E_POINTER, fileSink->SetFileName(nullptr, nullptr));
    ASSERT_EQ(S_OK, Link(Camera().Get(), writer.Get()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), control->Run()) << "no name";
    control->Stop();

    const std::filesystem::path nowhere = dir / L"missing folder" / L"clip.avi";
    ASSERT_EQ(S_OK, fileSink->SetFileName(nowhere.c_str(), nullptr));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), control->Run());
    control->Stop();
    EXPECT_FALSE(std::filesystem::exists(nowhere.parent_path()));

    const std::filesystem::path good = dir / L"clip.raw";
    ASSERT_EQ(S_OK, fileSink->SetFileName(good.c_str(), nullptr));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, fileSink->SetFileName(nowhere.c_str(), nullptr)) << "not while it writes";
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_TRUE(std::filesystem::exists(good));
}

}  // namespace
}  // namespace recording_test
