// The DV header filter in Wine graphs: frames pass unchanged without a detector; forcing 16:9 marks
// the first ten sequences only; behind a scene detector and a stand-in re-encoder (which blanks the
// heads and looks up the shown frame's ring entry as the overlay does) the camcorder's heads come
// back into every frame, each frame's own wherever the overlay's entry stands, but never across
// 625/50 and 525/60, from an unfilled entry or from an index outside the ring; short samples pass
// unchanged.
#include "dv_graph_support.h"

#include "filters/dv_header.h"

namespace dvtest {
namespace {

HRESULT g_hr = S_OK;

// Stands in for the overlay and the DV encoder between the detector and the header filter: looks up
// the ring entry of each frame (or stores a fixed read index), then writes an encoder's frame: heads
// blank but for the DSF byte, of the same system or, with ToNtsc, a 525/60 frame of 120,000 bytes.
class Reencoder : public TBCTransInPlaceFilter {
public:
    explicit Reencoder(Tqz_SceneDetect* detector)
        : TBCTransInPlaceFilter("Re-encoder", nullptr,
                                CLSID{0x6a1e0102, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x02}},
                                g_hr, true),
          detector_(detector)
    {
    }
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        return mt->majortype == MEDIATYPE_Interleaved ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT Transform(IMediaSample* sample) override
    {
        REFERENCE_TIME start = 0, stop = 0;
        sample->GetTime(&start, &stop);
        if (FixedIndex) {
            detector_->RingReadIndex.store(*FixedIndex);
        } else {
            detector_->LookupRing(start);
        }
        if (Untimed) {
            sample->SetTime(nullptr, nullptr);
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        long length = sample->GetActualDataLength();
        if (ToNtsc) {
            length = static_cast<long>(kDVFrameBytes525);
            sample->SetActualDataLength(length);
        }
        for (long at = 0; at + static_cast<long>(kSeq) <= length; at += static_cast<long>(kSeq)) {
            std::memset(data + at, 0, kRingHeadBytes);
            data[at + 3] = length == static_cast<long>(kDVFrameBytes625) ? 0xBF : 0x3F;
        }
        return S_OK;
    }
    bool ToNtsc = false;
    bool Untimed = false;
    std::optional<int> FixedIndex;

private:
    Tqz_SceneDetect* detector_;
};

// What the re-encoder makes of a frame.
Frame Encoded(Frame f, bool toNtsc)
{
    if (toNtsc) {
        f.resize(kDVFrameBytes525);
    }
    const bool pal = !toNtsc && f.size() == kDVFrameBytes625;
    for (std::size_t at = 0; at + kSeq <= f.size(); at += kSeq) {
        std::memset(f.data() + at, 0, kRingHeadBytes);
        f[at + 3] = pal ? 0xBF : 0x3F;
    }
    return f;
}

std::vector<Frame> Frames(int n, bool pal)
{
    std::vector<Frame> out;
    for (int i = 0; i < n; ++i) {
        FrameSpec s;
        s.Pal = pal;
        s.Index = i;
        s.Second = i / 10;
        s.Ap3 = static_cast<std::uint8_t>(i % 2);
        out.push_back(MakeFrame(s));
    }
    return out;
}

class DVHeaderGraph : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        source = Add(new DVSource, L"DV source");
    }
    // source -> header -> grabber
    void BuildAlone()
    {
        header = Add(new Tqz_DVheader(nullptr), L"DV Header");
        auto grabber = AddGrabber(rec);
        ASSERT_EQ(S_OK, Link(source, header));
        ASSERT_EQ(S_OK, Link(header, grabber.Get()));
        FinishGrabber();
    }
    // source -> detector -> re-encoder -> header -> grabber
    void BuildChain()
    {
        detector = Add(new Tqz_SceneDetect, L"dv_Scenedetect");
        reencoder = Add(new Reencoder(detector), L"Re-encoder");
        header = Add(new Tqz_DVheader(detector), L"DV Header");
        auto grabber = AddGrabber(rec);
        ASSERT_EQ(S_OK, Link(source, detector));
        ASSERT_EQ(S_OK, Link(detector, reencoder));
        ASSERT_EQ(S_OK, Link(reencoder, header));
        ASSERT_EQ(S_OK, Link(header, grabber.Get()));
        FinishGrabber();
    }
    Frame Got(std::size_t i)
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        return i < rec.got.size() ? rec.got[i].Bytes : Frame{};
    }

    DVSource* source = nullptr;
    Tqz_SceneDetect* detector = nullptr;
    Reencoder* reencoder = nullptr;
    Tqz_DVheader* header = nullptr;
    Recorder rec;
};

TEST(DVHeader, IdentityAndTypes)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        auto* h = new Tqz_DVheader(nullptr);
        ComPtr<IBaseFilter> f(h->BaseFilterInterface());
        CLSID clsid{};
        ASSERT_EQ(S_OK, f->GetClassID(&clsid));
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_qz_DVheader));
        EXPECT_EQ(std::string("Marbrecq qz_DVHeader"), h->ObjectName());
        ComPtr<IPersist> persist;
        EXPECT_EQ(S_OK, f.As(&persist));
        AM_MEDIA_TYPE mt{};
        mt.majortype = MEDIATYPE_Interleaved;
        EXPECT_EQ(S_OK, h->CheckInputType(&mt));
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_dvsd;
        EXPECT_EQ(S_OK, h->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_YUY2;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, h->CheckInputType(&mt));
    }
    CoUninitialize();
}

TEST_F(DVHeaderGraph, WithoutADetectorFramesPassUnchangedOrForcedWideInTheirFirstTenSequences)
{
    source->Frames = Frames(6, true);
    source->Frames.push_back(Frame(5000, 0x11));  // short: passes unchanged even when forcing
    BuildAlone();
    RunToCompletion(source);
    ASSERT_EQ(7u, rec.got.size());
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_TRUE(Got(i) == source->Frames[i]) << "frame " << i;
    }
    ASSERT_EQ(S_OK, control->Stop());

    header->SetForceWide(2);  // only 1 counts
    rec.got.clear();
    RunToCompletion(source);
    ASSERT_EQ(7u, rec.got.size());
    EXPECT_TRUE(Got(0) == source->Frames[0]);
    ASSERT_EQ(S_OK, control->Stop());

    header->SetForceWide(1);
    rec.got.clear();
    RunToCompletion(source);
    ASSERT_EQ(7u, rec.got.size());
    for (std::size_t i = 0; i < 6; ++i) {
        const Frame got = Got(i);
        Frame expected = source->Frames[i];
        for (int k = 0; k < 10; ++k) {
            expected[k * kSeq + 453] = 0x61;
            expected[k * kSeq + 455] = (i % 2) == 0 ? 7 : 2;  // by AP3 of the sequence
        }
        EXPECT_TRUE(got == expected) << "frame " << i;
        EXPECT_TRUE(DVIsWide(got));
        EXPECT_EQ(0, std::memcmp(got.data() + 10 * kSeq, source->Frames[i].data() + 10 * kSeq, 2 * kSeq))
            << "sequences 10 and 11 pass unchanged";
    }
    EXPECT_TRUE(Got(6) == source->Frames[6]);
}

TEST_F(DVHeaderGraph, TheCamcordersHeadsComeBackIntoReencodedPalFrames)
{
    source->Frames = Frames(130, true);
    BuildChain();
    RunToCompletion(source);
    ASSERT_EQ(130u, rec.got.size());
    for (std::size_t i = 0; i < rec.got.size(); ++i) {
        Frame expected = Encoded(source->Frames[i], false);
        for (int k = 0; k < 10; ++k) {
            std::memcpy(expected.data() + k * kSeq, source->Frames[i].data() + k * kSeq, kRingHeadBytes);
        }
        const Frame got = Got(i);
        ASSERT_TRUE(got == expected) << "frame " << i;
        TDVInfoRec r;
        DVFillInfoRec(r, got);
        EXPECT_TRUE(r.DateValid);
        EXPECT_NEAR(DateOf(static_cast<std::int64_t>(i / 10)), r.Date, 1e-9);
    }
    ASSERT_EQ(S_OK, control->Stop());

    // Forcing 16:9 applies on top of the restored heads.
    header->SetForceWide(1);
    rec.got.clear();
    RunToCompletion(source);
    ASSERT_EQ(130u, rec.got.size());
    for (std::size_t i = 0; i < rec.got.size(); ++i) {
        const Frame got = Got(i);
        EXPECT_TRUE(DVIsWide(got)) << i;
        EXPECT_EQ(static_cast<int>(i), TagOf(got.data() + 9 * kSeq));
    }
}

TEST_F(DVHeaderGraph, TheCamcordersHeadsComeBackIntoReencodedNtscFrames)
{
    source->Frames = Frames(40, false);
    BuildChain();
    RunToCompletion(source);
    ASSERT_EQ(40u, rec.got.size());
    for (std::size_t i = 0; i < rec.got.size(); ++i) {
        const Frame got = Got(i);
        ASSERT_EQ(kDVFrameBytes525, got.size());
        EXPECT_EQ(0, std::memcmp(got.data(), source->Frames[i].data(), kRingHeadBytes)) << i;
        EXPECT_EQ(static_cast<int>(i), TagOf(got.data() + 9 * kSeq));
        EXPECT_EQ(kDVSystem525, DVGetSystem(got));
    }
}

TEST_F(DVHeaderGraph, HeadsNeverCrossBetween625And525Systems)
{
    // A PAL camcorder recorded through an NTSC encoder: the 625/50 heads would corrupt the frames.
    source->Frames = Frames(20, true);
    BuildChain();
    reencoder->ToNtsc = true;
    RunToCompletion(source);
    ASSERT_EQ(20u, rec.got.size());
    for (std::size_t i = 0; i < rec.got.size(); ++i) {
        EXPECT_TRUE(Got(i) == Encoded(source->Frames[i], true)) << "frame " << i;
    }
}

// The overlay's entry is the frame it shows, which runs ahead of a re-encoder that lags behind it: a
// frame takes its own heads by its time, wherever the overlay's entry stands (outside the ring, on an
// unfilled entry, on another frame). A frame without a time can only take the overlay's entry, and
// restores nothing from outside the ring or from an unfilled entry.
TEST_F(DVHeaderGraph, EachFrameTakesItsOwnHeadsWhereverTheOverlaysEntryStands)
{
    source->Frames = Frames(5, true);
    BuildChain();
    for (const bool untimed : {false, true}) {
        reencoder->Untimed = untimed;
        for (int index : {100, -1, 1000, 50, 2}) {
            SCOPED_TRACE(testing::Message() << (untimed ? "untimed" : "timed") << ", the overlay's entry " << index);
            reencoder->FixedIndex = index;
            rec.got.clear();
            RunToCompletion(source);
            ASSERT_EQ(5u, rec.got.size());
            for (std::size_t i = 0; i < rec.got.size(); ++i) {
                if (!untimed) {
                    EXPECT_EQ(static_cast<int>(i), TagOf(Got(i).data())) << i;
                } else if (index == 2) {
                    EXPECT_EQ(1, TagOf(Got(i).data())) << "entry 2 holds frame 1, " << i;
                } else {
                    EXPECT_TRUE(Got(i) == Encoded(source->Frames[i], false)) << "nothing restored, " << i;
                }
            }
            ASSERT_EQ(S_OK, control->Stop());
        }
    }
}

}  // namespace
}  // namespace dvtest
