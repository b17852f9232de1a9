// The file writer on its own: the WAVE writer's sound placed by byte offsets with its header put
// in through the pin's stream after the stop, an existing file written over in place or cut in the
// overwrite mode, and the clear answers to a missing name, a missing folder and wrong calls.
#include "recording_support.h"

#include "filters/wave_dest.h"

#include <fstream>

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

TEST_F(WaveRecording, TheWaveWritersFileHasItsHeaderAndEverySampleInPlace)
{
    Build(dir / L"sound.wav");
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, fileSink->GetCurFile(&name, nullptr));
    EXPECT_EQ(path.wstring(), name);
    CoTaskMemFree(name);
    const std::uint32_t bytes = Record(176400);

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

TEST_F(WaveRecording, AnExistingFileIsWrittenOverInPlaceAndCutOnlyInTheOverwriteMode)
{
    const std::filesystem::path file = dir / L"older.wav";
    {
        std::ofstream old(file, std::ios::binary);
        const std::string junk(1000000, '\xEE');
        old.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    Build(file);
    DWORD mode = 99;
    ASSERT_EQ(S_OK, fileSink->GetMode(&mode));
    EXPECT_EQ(0u, mode);
    const std::uint32_t first = Record(88200);
    EXPECT_EQ(1000000u, std::filesystem::file_size(file)) << "the older file keeps its length";
    const TMediaProbe kept = Probe(file);
    ASSERT_TRUE(kept.Ok()) << kept.Run.Err;
    EXPECT_NEAR(first / 4 / 44100.0, kept.StreamNumber(0, "duration"), 0.001) << "the header tells where the sound ends";

    ASSERT_EQ(S_OK, fileSink->SetMode(AM_FILE_OVERWRITE));
    const std::uint32_t second = Record(88200);
    EXPECT_EQ(46u + second, std::filesystem::file_size(file));
    EXPECT_EQ(E_INVALIDARG, fileSink->SetMode(0x10));
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
