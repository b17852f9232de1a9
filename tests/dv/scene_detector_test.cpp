// The scene detector in Wine graphs fed by a DV source of hand-built PAL and NTSC frames: frame
// numbering and media times, scene changes for date steps and undated gaps, the rings (contents,
// wrap-around, whole entries under a concurrent reader), the 16:9 message, the scene callback at
// each change and once at stop (after the streaming thread is done), and a real scene list.
#include "dv_graph_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "engine/scene_list.h"

namespace dvtest {
namespace {

struct Scene {
    TDVInfoRec Start;
    TDVInfoRec Current;
    DWORD Thread;
};

// The scene callback records what it is given and notices two calls at once.
std::mutex g_scenesLock;
std::vector<Scene> g_scenes;
std::atomic<int> g_inCallback{0};
std::atomic<int> g_overlaps{0};
std::atomic<int> g_callbackSleepMs{0};

void RecordScene(const TDVInfoRec& start, const TDVInfoRec& current)
{
    if (g_inCallback.fetch_add(1) != 0) {
        ++g_overlaps;
    }
    if (g_callbackSleepMs.load() > 0) {
        Sleep(static_cast<DWORD>(g_callbackSleepMs.load()));
    }
    {
        std::lock_guard<std::mutex> lock(g_scenesLock);
        g_scenes.push_back({start, current, GetCurrentThreadId()});
    }
    g_inCallback.fetch_sub(1);
}

std::vector<Scene> TakeScenes()
{
    std::lock_guard<std::mutex> lock(g_scenesLock);
    return std::exchange(g_scenes, {});
}

// (scene start frame number, current frame number) of each reported scene.
std::vector<std::pair<std::uint32_t, std::uint32_t>> Pairs(const std::vector<Scene>& scenes)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const auto& s : scenes) {
        out.emplace_back(s.Start.FrameNumber, s.Current.FrameNumber);
    }
    return out;
}

// Frames 0..n-1 of PAL, dated at 25 frames a second from `second` (or undated).
void Append(std::vector<Frame>& frames, int n, std::int64_t second, bool dated = true, bool pal = true)
{
    const int fps = pal ? 25 : 30;
    for (int i = 0; i < n; ++i) {
        FrameSpec s;
        s.Pal = pal;
        s.Index = static_cast<int>(frames.size());
        s.Dated = dated;
        s.Second = second + i / fps;
        frames.push_back(MakeFrame(s));
    }
}

class SceneDetectorGraph : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        TakeScenes();
        g_overlaps = 0;
        g_callbackSleepMs = 0;
        source = Add(new DVSource, L"DV source");
        detector = Add(new Tqz_SceneDetect, L"dv_Scenedetect");
        detector->SetSceneCallback(RecordScene);
    }
    // source -> detector -> grabber -> null renderer
    void BuildWithGrabber()
    {
        auto grabber = AddGrabber(rec);
        ASSERT_EQ(S_OK, Link(source, detector));
        ASSERT_EQ(S_OK, Link(detector, grabber.Get()));
        FinishGrabber();
    }
    // source -> detector -> null renderer
    void BuildWithNull()
    {
        auto null = AddStock(CLSID_NullRenderer, L"Null");
        ASSERT_EQ(S_OK, Link(source, detector));
        ASSERT_EQ(S_OK, Link(detector, null.Get()));
    }
    TDVInfoRec Info(int index)
    {
        TDVInfoRec r;
        EXPECT_TRUE(detector->ReadInfo(index, r));
        return r;
    }

    DVSource* source = nullptr;
    Tqz_SceneDetect* detector = nullptr;
    Recorder rec;
};

TEST(SceneDetector, IdentityTypesAndInterfaces)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        auto* d = new Tqz_SceneDetect;
        ComPtr<IBaseFilter> f(d->BaseFilterInterface());
        CLSID clsid{};
        ASSERT_EQ(S_OK, f->GetClassID(&clsid));
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_qz_SceneDetect));
        EXPECT_EQ(std::string("Marbrecq qz_SceneDetect"), d->ObjectName());
        ComPtr<IPersist> persist;
        EXPECT_EQ(E_NOINTERFACE, f->QueryInterface(IID_IPersist, reinterpret_cast<void**>(persist.GetAddressOf())));
        EXPECT_EQ(nullptr, persist.Get());
        ComPtr<IMediaFilter> mediaFilter;
        EXPECT_EQ(S_OK, f.As(&mediaFilter));

        AM_MEDIA_TYPE mt{};
        mt.majortype = MEDIATYPE_Interleaved;
        mt.subtype = GUID_NULL;
        EXPECT_EQ(S_OK, d->CheckInputType(&mt));
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_dvsd;
        EXPECT_EQ(S_OK, d->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB24;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, d->CheckInputType(&mt));
        mt.majortype = MEDIATYPE_Audio;
        mt.subtype = MEDIASUBTYPE_dvsd;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, d->CheckInputType(&mt));

        // Out-of-range ring indexes are no entries.
        TDVInfoRec r;
        r.FrameNumber = 77;
        EXPECT_FALSE(d->ReadInfo(100, r));
        EXPECT_FALSE(d->ReadInfo(-1, r));
        EXPECT_EQ(77u, r.FrameNumber);
    }
    CoUninitialize();
}

TEST(SceneDetector, StopWithoutFramesCallsTheCallbackOnceWithFrameZero)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    TakeScenes();
    {
        auto* d = new Tqz_SceneDetect;
        ComPtr<IBaseFilter> f(d->BaseFilterInterface());
        d->SetSceneCallback(RecordScene);
        EXPECT_EQ(S_OK, f->Stop());
        d->SetSceneCallback(nullptr);
        EXPECT_EQ(S_OK, f->Stop());
    }
    const auto scenes = TakeScenes();
    ASSERT_EQ(1u, scenes.size());
    EXPECT_EQ(0u, scenes[0].Start.FrameNumber);
    EXPECT_EQ(0u, scenes[0].Current.FrameNumber);
    EXPECT_FALSE(scenes[0].Start.DateValid);
    EXPECT_TRUE(scenes[0].Current.DateValid);
    CoUninitialize();
}

TEST_F(SceneDetectorGraph, SteadyRecordingNumbersFramesFillsTheRingsAndReportsOneSceneAtStop)
{
    Append(source->Frames, 60, 0);
    BuildWithGrabber();
    RunToCompletion(source);
    EXPECT_TRUE(TakeScenes().empty()) << "a steady date is one scene";

    // Media times number the frames; the data passes unchanged.
    ASSERT_EQ(60u, rec.got.size());
    for (std::size_t i = 0; i < rec.got.size(); ++i) {
        ASSERT_TRUE(rec.got[i].HasMediaTime);
        EXPECT_EQ(static_cast<LONGLONG>(i), rec.got[i].MediaStart);
        EXPECT_EQ(static_cast<LONGLONG>(i + 1), rec.got[i].MediaStop);
        EXPECT_TRUE(rec.got[i].Bytes == source->Frames[i]) << "frame " << i << " changed";
    }

    // The first frame is entry 1; entries carry the incremented number.
    EXPECT_EQ(60, detector->RingWriteIndex.load());
    const TDVInfoRec first = Info(1);
    EXPECT_EQ(1u, first.FrameNumber);
    EXPECT_EQ(0, first.FrameIndex);
    EXPECT_TRUE(first.Filled);
    EXPECT_TRUE(first.DateValid);
    EXPECT_NEAR(DateOf(0), first.Date, 1e-9);
    EXPECT_TRUE(first.TimecodeValid);
    EXPECT_EQ(1, first.Timecode.Hours);
    EXPECT_TRUE(first.StreamValid);
    EXPECT_EQ(kDVSystem625, first.System);
    EXPECT_EQ(48000, first.AudioRate);
    const TDVInfoRec last = Info(60);
    EXPECT_EQ(60u, last.FrameNumber);
    EXPECT_EQ(59, last.FrameIndex);
    EXPECT_NEAR(DateOf(2), last.Date, 1e-9);
    EXPECT_EQ(9, last.Timecode.Frames);  // frame 59 at 25 fps: 2 s 9 f
    EXPECT_EQ(2, last.Timecode.Seconds);

    THeaderRingEntry heads{};
    ASSERT_TRUE(detector->ReadHeads(60, heads));
    EXPECT_EQ(59 * 400000LL, heads.StartTime);
    for (int k = 0; k < kRingHeadCount; ++k) {
        EXPECT_EQ(0, std::memcmp(heads.Heads[k], source->Frames[59].data() + k * kSeq, kRingHeadBytes)) << k;
    }
    std::int64_t start = -1;
    ASSERT_TRUE(detector->ReadStartTime(1, start));
    EXPECT_EQ(0, start);

    ASSERT_EQ(S_OK, control->Stop());
    const auto scenes = TakeScenes();
    ASSERT_EQ(1u, scenes.size()) << "the last scene, once, at stop";
    EXPECT_EQ(1u, scenes[0].Start.FrameNumber);  // the first frame became the scene start after counting
    EXPECT_EQ(60u, scenes[0].Current.FrameNumber);
    EXPECT_EQ(GetCurrentThreadId(), scenes[0].Thread) << "the stop-time call runs on the stopping thread";
    EXPECT_EQ(0, detector->RingWriteIndex.load());
    EXPECT_EQ(0, detector->RingReadIndex.load());
}

TEST_F(SceneDetectorGraph, DateStepsAndUndatedGapsMakeScenesAsTheRulesSay)
{
    auto& f = source->Frames;
    Append(f, 10, 1000);              // 0-9: first dated frame only arms the comparison
    Append(f, 10, 1003);              // 10: +3 s -> scene change (rule c)
    Append(f, 10, 1002);              // 20: -1 s backwards: within the limit
    Append(f, 10, 990);               // 30: -12 s backwards -> scene change
    Append(f, 5, 0, false);           // 40-44: undated -> change at 40 (rule a)
    Append(f, 10, 991);               // 45: back after 5 frames: no change (45 - 40 <= 12)
    Append(f, 20, 0, false);          // 55-74: undated -> change at 55
    Append(f, 10, 1001);              // 75: back after 20 frames -> change (rule b)
    Append(f, 1, 1002);               // 85: +1 s: no change (rule c compares with frame 84)
    Append(f, 12, 0, false);          // 86-97: 12 undated -> change at 86
    Append(f, 3, 1003);               // 98: back: 98 - 86 = 12, not more -> no change
    BuildWithNull();
    RunToCompletion(source);
    const auto scenes = TakeScenes();
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
        {1, 10}, {10, 30}, {30, 40}, {40, 55}, {55, 75}, {75, 86}};
    EXPECT_EQ(expected, Pairs(scenes));
    ASSERT_EQ(expected.size(), scenes.size());
    EXPECT_TRUE(scenes[2].Start.DateValid);
    EXPECT_FALSE(scenes[2].Current.DateValid) << "rule a reports the first undated frame";
    EXPECT_FALSE(scenes[4].Start.DateValid) << "the undated stretch is a scene of its own";
    EXPECT_TRUE(scenes[4].Current.DateValid);
    EXPECT_NEAR(DateOf(1001), scenes[4].Current.Date, 1e-9);

    // Undated frames are still numbered and have ring entries, with no date.
    const TDVInfoRec undated = Info(61);  // frame 60
    EXPECT_EQ(61u, undated.FrameNumber);
    EXPECT_FALSE(undated.DateValid);
    EXPECT_EQ(0.0, undated.Date);
    EXPECT_TRUE(undated.TimecodeValid);
    EXPECT_EQ(1, detector->RingWriteIndex.load()) << "frame 100 went to entry 1";

    ASSERT_EQ(S_OK, control->Stop());
    const auto last = TakeScenes();
    ASSERT_EQ(1u, last.size());
    EXPECT_EQ(86u, last[0].Start.FrameNumber);
    EXPECT_EQ(101u, last[0].Current.FrameNumber);
}

TEST_F(SceneDetectorGraph, AFreshStartRearmsTheRules)
{
    Append(source->Frames, 5, 0);
    Append(source->Frames, 5, 100);  // +100 s at frame 5
    BuildWithNull();
    for (int run = 0; run < 2; ++run) {
        RunToCompletion(source);
        ASSERT_EQ(S_OK, control->Stop());
        // Each run: the jump, then the last scene at stop; numbering restarts at 0.
        const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {{1, 5}, {5, 10}};
        EXPECT_EQ(expected, Pairs(TakeScenes())) << "run " << run;
    }
    EXPECT_EQ(0, g_overlaps.load());
}

TEST_F(SceneDetectorGraph, NtscFramesAndTheVideoDvsdType)
{
    source->VideoDvsd = true;
    source->FrameTime = 333667;
    Append(source->Frames, 40, 50, true, false);
    Append(source->Frames, 5, 60, true, false);
    BuildWithNull();
    RunToCompletion(source);
    EXPECT_EQ((std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 40}}), Pairs(TakeScenes()));
    const TDVInfoRec r = Info(45);
    EXPECT_EQ(kDVSystem525, r.System);
    EXPECT_NEAR(DateOf(60), r.Date, 1e-9);
    EXPECT_EQ(14, r.Timecode.Frames);  // frame 44 at 30 fps
    std::int64_t start = 0;
    ASSERT_TRUE(detector->ReadStartTime(45, start));
    EXPECT_EQ(44 * 333667LL, start);
}

TEST_F(SceneDetectorGraph, A169ChangePostsTheRatioMessage)
{
    MessageWindow window;
    for (int i = 0; i < 30; ++i) {
        FrameSpec s;
        s.Index = i;
        s.Wide = i >= 10 && i < 20;
        s.Ap3 = 1;
        source->Frames.push_back(MakeFrame(s));
    }
    // DISP 7 with AP3 0 is 16:9 as well.
    for (int i = 30; i < 35; ++i) {
        FrameSpec s;
        s.Index = i;
        Frame f = MakeFrame(s);
        for (int k = 0; k < kDVSequences625; ++k) {
            f[k * kSeq + 455] = 7;
        }
        source->Frames.push_back(f);
    }
    BuildWithNull();
    RunToCompletion(source);
    const auto posted = window.Take(kWMDVRatioChanged);
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{1, 1}, {1, 0}, {1, 1}};
    EXPECT_EQ(expected, posted);
    EXPECT_TRUE(Info(35).Wide);
    EXPECT_FALSE(Info(21).Wide);
    EXPECT_TRUE(Info(20).Wide);
}

TEST_F(SceneDetectorGraph, AStreamWideFromItsFirstFramePostsAtOnceAndNothingWithoutATarget)
{
    for (int i = 0; i < 5; ++i) {
        FrameSpec s;
        s.Index = i;
        s.Wide = true;
        source->Frames.push_back(MakeFrame(s));
    }
    BuildWithNull();
    {
        MessageWindow window;
        RunToCompletion(source);
        EXPECT_EQ((std::vector<std::pair<WPARAM, LPARAM>>{{1, 1}}), window.Take(kWMDVRatioChanged));
        ASSERT_EQ(S_OK, control->Stop());
    }
    // No target: the post is skipped and streaming goes on.
    EXPECT_EQ(nullptr, filters::FiltersHost());
    RunToCompletion(source);
    EXPECT_TRUE(Info(5).Wide);
}

TEST_F(SceneDetectorGraph, TheRingsWrapAfterAHundredFramesAndTheLookupFindsEachFrame)
{
    Append(source->Frames, 150, 0);
    BuildWithNull();
    RunToCompletion(source);
    EXPECT_EQ(50, detector->RingWriteIndex.load());
    EXPECT_EQ(150u, Info(50).FrameNumber);
    EXPECT_EQ(100u, Info(0).FrameNumber);
    EXPECT_EQ(99u, Info(99).FrameNumber);
    EXPECT_EQ(51u, Info(51).FrameNumber) << "the 51st frame's entry is the oldest";

    // The overlay's lookup: the entry of the frame with that start time, else the newest older one.
    EXPECT_EQ(50, detector->LookupRing(149 * 400000LL));
    EXPECT_EQ(50, detector->RingReadIndex.load());
    EXPECT_EQ(10, detector->LookupRing(109 * 400000LL + 1));
    EXPECT_EQ(60, detector->LookupRing(59 * 400000LL));
    // Older than anything held: the oldest entry, and the stored index stays in range.
    EXPECT_EQ(51, detector->LookupRing(0));
    EXPECT_EQ(51, detector->RingReadIndex.load());
}

TEST_F(SceneDetectorGraph, ShortSamplesPassUncountedAndUndatedFramesAreCounted)
{
    Append(source->Frames, 3, 0);
    source->Frames.push_back(Frame(1000, 0x5A));          // not a DV frame
    source->Frames.push_back(Frame(kDVFrameBytes525 - 1, 0));
    Append(source->Frames, 3, 0, false);                   // undated, zero date packs below
    for (int k = 0; k < kDVSequences625; ++k) {
        source->Frames.back()[k * kSeq + 458] = 0;
        source->Frames.back()[k * kSeq + 463] = 0;
    }
    BuildWithGrabber();
    RunToCompletion(source);
    ASSERT_EQ(8u, rec.got.size());
    EXPECT_TRUE(rec.got[3].Bytes == source->Frames[3]);
    EXPECT_FALSE(rec.got[3].HasMediaTime) << "a short sample is not numbered";
    EXPECT_EQ(6, detector->RingWriteIndex.load());
    EXPECT_EQ(3, Info(4).FrameIndex) << "the short samples took no number";
    EXPECT_EQ(5, Info(6).FrameIndex);
    EXPECT_FALSE(Info(6).DateValid);
    EXPECT_EQ(0.0, Info(6).Date);
    EXPECT_EQ((std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 3}}), Pairs(TakeScenes()));
}

TEST_F(SceneDetectorGraph, AConcurrentReaderOnlyEverSeesWholeEntries)
{
    // Frames whose every head carries the frame's tag; a reader copies entries while the detector
    // rewrites them (the ring wraps every hundred frames) and checks each copy belongs to one frame.
    Append(source->Frames, 400, 0);
    source->Repeat = 5;
    BuildWithNull();
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        THeaderRingEntry e{};
        TDVInfoRec r;
        while (!done) {
            for (int i = 0; i < kSceneRingSize; ++i) {
                detector->ReadHeads(i, e);
                const int tag = TagOf(e.Heads[0]);
                for (int k = 1; k < kRingHeadCount; ++k) {
                    if (TagOf(e.Heads[k]) != tag) {
                        ++torn;
                    }
                }
                if (e.StartTime % (400 * 400000LL) != static_cast<std::int64_t>(tag) * 400000LL) {
                    ++torn;
                }
                detector->ReadInfo(i, r);
                if (r.Filled && r.FrameIndex + 1 != static_cast<std::int64_t>(r.FrameNumber)) {
                    ++torn;
                }
                const int w = detector->RingWriteIndex.load();
                if (w < 0 || w >= kSceneRingSize) {
                    ++torn;
                }
                ++reads;
            }
        }
    });
    RunToCompletion(source);
    done = true;
    reader.join();
    EXPECT_EQ(0, torn.load());
    EXPECT_GT(reads.load(), 0);
}

TEST_F(SceneDetectorGraph, TheStopCallbackRunsAfterTheStreamingThreadIsDone)
{
    // Scenes change every few frames while the graph is stopped in mid-stream; the callback is slow.
    for (int i = 0; i < 40; ++i) {
        FrameSpec s;
        s.Index = i;
        s.Second = (i / 4) * 10;
        source->Frames.push_back(MakeFrame(s));
    }
    source->Endless = true;
    source->PaceMs = 1;
    g_callbackSleepMs = 3;
    BuildWithNull();
    for (int run = 0; run < 5; ++run) {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        Sleep(40 + run * 7);
        ASSERT_EQ(S_OK, control->Stop());
        const auto scenes = TakeScenes();
        ASSERT_FALSE(scenes.empty());
        EXPECT_EQ(GetCurrentThreadId(), scenes.back().Thread) << "the stop-time call comes last";
        int stopCalls = 0;
        for (const auto& s : scenes) {
            stopCalls += s.Thread == GetCurrentThreadId() ? 1 : 0;
        }
        EXPECT_EQ(1, stopCalls);
        Sleep(20);
        EXPECT_TRUE(TakeScenes().empty()) << "nothing is reported after Stop returned";
    }
    EXPECT_EQ(0, g_overlaps.load()) << "two threads were in the scene callback at once";
}

TEST_F(SceneDetectorGraph, TheSceneListWriterRecordsEveryScene)
{
    Append(source->Frames, 30, 0);
    Append(source->Frames, 30, 500);
    Append(source->Frames, 30, 0, false);
    BuildWithNull();
    const auto dir = std::filesystem::temp_directory_path() / L"quill_dv_scene_test";
    std::filesystem::create_directories(dir);
    const std::wstring path = (dir / L"clip.scn").wstring();
    ASSERT_TRUE(engine::OpenScnFile(path));
    detector->SetSceneCallback(engine::WriteScnScene);
    RunToCompletion(source);
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(3, engine::ScnCount()) << "two changes and the last scene at stop";
    engine::CloseScnFile();
    detector->SetSceneCallback(nullptr);

    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    ASSERT_GT(bytes.size(), 40u);
    // The count follows the fixed header and the name (its length byte, the name, 8 zero bytes).
    const std::size_t nameLength = static_cast<unsigned char>(bytes[24]);
    const std::size_t countAt = 25 + nameLength + 8;
    ASSERT_LT(countAt + 1, bytes.size());
    EXPECT_EQ(3, static_cast<unsigned char>(bytes[countAt]) | (static_cast<unsigned char>(bytes[countAt + 1]) << 8));
    // The last scene record ends with its start frame number + 1 (frame 60 is the scene start).
    std::int32_t lastStart = 0;
    std::memcpy(&lastStart, bytes.data() + bytes.size() - 4, 4);
    EXPECT_EQ(61, lastStart);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dvtest
