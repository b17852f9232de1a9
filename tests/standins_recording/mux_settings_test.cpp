// The multiplexer's settings on fixed streams that end by themselves: full interleaving puts the
// chunks in time order whatever order they came in, a video type without a frame time takes its
// rate from the samples' times (NTSC exactly), a master sound stream spreads the frames over its
// length, and a file without the legacy index is still read whole.
#include "recording_support.h"

#include "tests/filters/media_sources.h"

namespace recording_test {
namespace {

class FixedStreams : public Recording {
protected:
    // A source of count samples of bytes each, duration apart, then end of stream.
    ftest::MediaSource* Source(const AM_MEDIA_TYPE& type, long bytes, int count, REFERENCE_TIME duration,
                               const wchar_t* name)
    {
        auto* source = new ftest::MediaSource(type, bytes);
        source->Count = count;
        source->Duration = duration;
        Add(ComPtr<IBaseFilter>(source->BaseFilterInterface()), name);
        return source;
    }
    void ToMux(ftest::MediaSource* source)
    {
        ASSERT_EQ(S_OK, graph->ConnectDirect(PinAt(source->BaseFilterInterface(), PINDIR_OUTPUT).Get(),
                                             LastPin(mux.Get()).Get(), nullptr));
    }
    // Runs until the file writer reports the end of every stream, then stops.
    void RunToTheEnd()
    {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        long code = 0;
        EXPECT_EQ(S_OK, events->WaitForCompletion(20000, &code));
        EXPECT_EQ(EC_COMPLETE, code);
        ASSERT_EQ(S_OK, control->Stop());
    }
};

TEST_F(FixedStreams, FullInterleavingPutsTheChunksInTimeOrder)
{
    AviOutput(L"interleaved.avi");
    ComPtr<IConfigInterleaving> interleaving;
    ASSERT_EQ(S_OK, mux.As(&interleaving));
    EXPECT_EQ(E_INVALIDARG, interleaving->put_Mode(static_cast<InterleavingMode>(7)));
    ASSERT_EQ(S_OK, interleaving->put_Mode(INTERLEAVE_FULL));
    InterleavingMode mode{};
    ASSERT_EQ(S_OK, interleaving->get_Mode(&mode));
    EXPECT_EQ(INTERLEAVE_FULL, mode);
    const REFERENCE_TIME period = 5000000, preroll = 1000000;
    ASSERT_EQ(S_OK, interleaving->put_Interleaving(&period, &preroll));
    REFERENCE_TIME readPeriod = 0, readPreroll = 0;
    ASSERT_EQ(S_OK, interleaving->get_Interleaving(&readPeriod, &readPreroll));
    EXPECT_EQ(period, readPeriod);
    EXPECT_EQ(preroll, readPreroll);

    ftest::MediaType video;
    ftest::MakeVideoType(video, 64, 48);
    reinterpret_cast<VIDEOINFOHEADER*>(video.pbFormat)->AvgTimePerFrame = 0;  // the samples tell the rate
    constexpr REFERENCE_TIME kNtscFrame = 333667, kSoundBlock = 500000;
    ToMux(Source(video, ftest::VideoBytes(64, 48), 30, kNtscFrame, L"Pictures"));
    ftest::MediaType pcm;
    ftest::MakePcmType(pcm, 48000, 2, 16, false);
    ToMux(Source(pcm, 9600, 20, kSoundBlock, L"Sound"));
    RunToTheEnd();

    // Chunk k of the pictures starts at k frames, chunk k of the sound at k blocks.
    const AviWalk walk(FileBytes());
    int pictures = 0, blocks = 0;
    REFERENCE_TIME last = 0;
    int outOfOrder = 0;
    for (const Chunk& c : walk.Movi) {
        REFERENCE_TIME t = -1;
        if (c.Id == "00db") {
            t = pictures++ * kNtscFrame;
        } else if (c.Id == "01wb") {
            t = blocks++ * kSoundBlock;
        }
        if (t >= 0) {
            outOfOrder += t < last;
            last = std::max(last, t);
        }
    }
    EXPECT_EQ(30, pictures);
    EXPECT_EQ(20, blocks);
    EXPECT_EQ(0, outOfOrder);

    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    const int v = p.StreamOfType("video");
    EXPECT_EQ("30000/1001", p.Stream(v, "r_frame_rate"));
    EXPECT_EQ("30", p.Stream(v, "nb_read_packets"));
    EXPECT_EQ(20u * 2400u * 2u, quill_test::DecodeSound(path).size());
}

TEST_F(FixedStreams, AMasterSoundStreamSetsThePaceAndTheLegacyIndexCanBeLeftOut)
{
    AviOutput(L"master.avi");
    ComPtr<IConfigAviMux> config;
    ASSERT_EQ(S_OK, mux.As(&config));
    ASSERT_EQ(S_OK, config->SetMasterStream(1));
    ASSERT_EQ(S_OK, config->SetOutputCompatibilityIndex(FALSE));
    LONG master = -1;
    BOOL legacy = TRUE;
    ASSERT_EQ(S_OK, config->GetMasterStream(&master));
    ASSERT_EQ(S_OK, config->GetOutputCompatibilityIndex(&legacy));
    EXPECT_EQ(1, master);
    EXPECT_FALSE(legacy);

    // Two seconds of pictures, three of sound.
    ftest::MediaType video;
    ftest::MakeVideoType(video, 64, 48);
    ToMux(Source(video, ftest::VideoBytes(64, 48), 50, 400000, L"Pictures"));
    ftest::MediaType pcm;
    ftest::MakePcmType(pcm, 44100, 2, 16, false);
    ToMux(Source(pcm, 17640, 30, 1000000, L"Sound"));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, config->SetMasterStream(0)) << "settings wait for a stop";
    long code = 0;
    EXPECT_EQ(S_OK, events->WaitForCompletion(20000, &code));
    ASSERT_EQ(S_OK, control->Stop());

    const AviWalk walk(FileBytes());
    EXPECT_TRUE(walk.Whole);
    EXPECT_FALSE(walk.HasTop("idx1"));
    const TMediaProbe p = Probe(path);
    ASSERT_TRUE(p.Ok()) << p.Run.Failure << p.Run.Err;
    const int v = p.StreamOfType("video"), a = p.StreamOfType("audio");
    EXPECT_EQ("50", p.Stream(v, "nb_read_packets")) << "found through the OpenDML index alone";
    EXPECT_EQ("132300", p.Stream(a, "nb_frames")) << "three seconds of sound in the header";
    EXPECT_EQ(30u * 17640u / 2u, quill_test::DecodeSound(path).size());
    EXPECT_NEAR(3.0, p.StreamNumber(v, "duration"), 3.0 / 50) << "the frames spread over the sound";
}

}  // namespace
}  // namespace recording_test
