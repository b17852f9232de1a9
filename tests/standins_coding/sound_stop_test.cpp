// The sound coders at a capture's stop, which sends no end of stream: the MP3 and the MPEG audio
// stand-ins code what they still hold (a part frame, lame's delay) when the graph stops them, so
// that a recording stopped in the middle of a frame keeps every sample it was fed.
#include <gtest/gtest.h>

#include "coding_support.h"
#include "media_sources.h"

#include "dshow/ds_helpers.h"
#include "filters/wave_dest.h"
#include "platform/standins/mp3_encoder.h"
#include "platform/standins/mpeg_audio_encoder.h"

#include <cmath>

namespace coding_test {
namespace {

using ftest::MediaSource;
using Microsoft::WRL::ComPtr;

constexpr int kRate = 44100;
// Samples per source sample: no whole number of 1152-sample frames, so a stop falls mid-frame.
constexpr int kChunk = 1000;
constexpr int kChunks = 25;  // 25,000 samples: 21 frames and 808 samples over

class SoundStop : public ftest::FilterGraphTest {
protected:
    // kChunks x kChunk samples of a stereo tone into the encoder of that class, then into a WAVE file
    // through the WAVE writer and the file writer, as the sound recordings go; the stream stays open
    // after them until the graph stops. Answers the samples (per channel) ffmpeg decodes from it.
    long CodeAndStop(const CLSID& encoderClass, const wchar_t* name)
    {
        AM_MEDIA_TYPE mt{};
        ftest::MakePcmType(mt, kRate, 2, 16, false);
        MediaSource* source = Add(new MediaSource(mt, kChunk * 4), L"Sound");
        dshow::FreeMediaType(mt);
        source->Count = kChunks;
        source->HoldEnd = true;
        source->Duration = kChunk * 10000000LL / kRate;
        source->Fill = [](int i, BYTE* data, long) {
            auto* pcm = reinterpret_cast<std::int16_t*>(data);
            for (int n = 0; n < kChunk; ++n) {
                const double t = static_cast<double>(i * kChunk + n) / kRate;
                pcm[2 * n] = pcm[2 * n + 1] = static_cast<std::int16_t>(8000 * std::sin(2 * 3.141592653589793 * 440 * t));
            }
        };
        auto encoder = AddStock(encoderClass, L"Encoder");
        auto* dest = new filters::Tqz_WaveDest;
        ComPtr<IBaseFilter> wave(dest->BaseFilterInterface());
        EXPECT_EQ(S_OK, graph->AddFilter(wave.Get(), L"Wave Dest"));
        auto writer = AddStock(CLSID_FileWriter, L"File writer");
        ComPtr<IFileSinkFilter> sink;
        EXPECT_TRUE(encoder && writer && SUCCEEDED(writer.As(&sink)));
        if (!encoder || !sink) return -1;
        const auto file = FreshFolder(L"sound stop") / name;
        EXPECT_EQ(S_OK, sink->SetFileName(file.c_str(), nullptr));
        EXPECT_EQ(S_OK, Link(source->BaseFilterInterface(), encoder.Get()));
        EXPECT_EQ(S_OK, Link(encoder.Get(), wave.Get()));
        EXPECT_EQ(S_OK, Link(wave.Get(), writer.Get()));
        EXPECT_TRUE(SUCCEEDED(control->Run()));
        // Delivery is a call into the encoder: counted, a sample is in it, coded or held.
        EXPECT_TRUE(ftest::WaitUntil([&] { return source->Delivered.load() >= kChunks; }, 30000));
        EXPECT_FALSE(source->EosSent.load()) << "a capture's stop sends no end of stream";
        EXPECT_EQ(S_OK, control->Stop());
        EXPECT_GT(dest->DataBytes(), 0u);
        graph->RemoveFilter(writer.Get());  // lets the file go
        const auto pcm = file.parent_path() / L"decoded.pcm";
        EXPECT_EQ(0, RunShell("ffmpeg -v error -y -i '" + UnixPath(file) + "' -f s16le -ac 2 '" + UnixPath(pcm) + "'"));
        return static_cast<long>(ReadFile(pcm).size() / 4);
    }
};

TEST_F(SoundStop, MpegAudioCodesItsPartFrameWhenTheGraphStops)
{
    const long decoded = CodeAndStop(standins::CLSID_MpegAudioEncoderStandin, L"stopped mp2.wav");
    EXPECT_GE(decoded, kChunks * kChunk) << "every sample fed";
    EXPECT_LT(decoded, kChunks * kChunk + 1152) << "the last frame filled out, no more";
}

TEST_F(SoundStop, Mp3CodesWhatLameHoldsWhenTheGraphStops)
{
    const long decoded = CodeAndStop(standins::CLSID_Mp3EncoderStandin, L"stopped mp3.wav");
    EXPECT_GE(decoded, kChunks * kChunk) << "every sample fed";
    EXPECT_LE(decoded, kChunks * kChunk + 3 * 1152) << "behind the coder's delay and padding";
}

}  // namespace
}  // namespace coding_test
