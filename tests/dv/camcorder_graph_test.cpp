// The scene detector and the DV header filter in running Wine graphs fed by the stand-in DV
// camcorder (found by its moniker, steered through IQuillDVCamcorder): scenes for a date jump and an
// undated stretch written into a real scene list, the 16:9 message to a test window, and the
// camcorder's dates and timecodes written back into re-encoded frames behind the DV Splitter, the
// DV Video Decoder, the overlay and the DV Video Encoder.
#include "dv_graph_support.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "engine/scene_list.h"
#include "filters/dv_header.h"
#include "filters/superposer.h"
#include "platform/standins/dv_camcorder.h"

namespace dvtest {
namespace {

using standins::IID_IQuillDVCamcorder;
using standins::IQuillDVCamcorder;

// The device of the video input category listed under name, bound through its moniker.
ComPtr<IBaseFilter> BindDevice(const wchar_t* name)
{
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     reinterpret_cast<void**>(devices.GetAddressOf()));
    ComPtr<IEnumMoniker> monikers;
    if (!devices || devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.GetAddressOf(), 0) != S_OK) {
        return nullptr;
    }
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf())))) {
            continue;
        }
        VARIANT v;
        VariantInit(&v);
        const bool match = SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR &&
                           std::wstring(v.bstrVal) == name;
        VariantClear(&v);
        if (match) {
            ComPtr<IBaseFilter> filter;
            moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
            return filter;
        }
    }
    return nullptr;
}

// Every scene the detector reports, also written into the scene list.
std::mutex g_lock;
std::vector<std::pair<TDVInfoRec, TDVInfoRec>> g_scenes;

void RecordAndWriteScene(const TDVInfoRec& start, const TDVInfoRec& current)
{
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_scenes.emplace_back(start, current);
    }
    engine::WriteScnScene(start, current);
}

std::vector<std::pair<TDVInfoRec, TDVInfoRec>> TakeScenes()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return std::exchange(g_scenes, {});
}

std::int32_t I32(const std::vector<char>& b, std::size_t at)
{
    std::int32_t v = 0;
    std::memcpy(&v, b.data() + at, sizeof(v));
    return v;
}

// Seconds since 2000-01-01 of a date-time value.
long long Seconds(double date)
{
    return std::llround((date - 36526.0) * 86400.0);
}

int TimecodeFrames(const TDVTimecode& tc)
{
    return ((tc.Hours * 60 + tc.Minutes) * 60 + tc.Seconds) * 25 + tc.Frames;
}

class CamcorderGraph : public GraphFixture {
protected:
    void SetUp() override
    {
        GraphFixture::SetUp();
        TakeScenes();
        camcorder = BindDevice(standins::kDVCamcorderName);
        ASSERT_TRUE(camcorder) << "the stand-in camcorder is not listed";
        ASSERT_EQ(S_OK, camcorder->QueryInterface(IID_IQuillDVCamcorder, reinterpret_cast<void**>(tape.GetAddressOf())));
        ASSERT_EQ(S_OK, graph->AddFilter(camcorder.Get(), L"DV camcorder"));
        held.push_back(camcorder);
        // 2024-05-01 10:00:00 (8887 days after 2000-01-01), timecode 1:00:00:00.
        ASSERT_EQ(S_OK, tape->SetRecordingStart(2024, 5, 1, 10, 0, 0));
        ASSERT_EQ(S_OK, tape->SetStartTimecode(1, 0, 0, 0));
        detector = Add(new Tqz_SceneDetect, L"dv_Scenedetect");
    }
    void TearDown() override
    {
        if (detector != nullptr) {
            detector->SetSceneCallback(nullptr);
        }
        tape.Reset();
        GraphFixture::TearDown();
    }
    // A Sample Grabber recording into rec, and a Null Renderer behind it once it is connected.
    ComPtr<IBaseFilter> Grabber(Recorder& rec, const wchar_t* name)
    {
        auto filter = AddStock(CLSID_SampleGrabber, name);
        ComPtr<ISampleGrabber> grabber;
        EXPECT_EQ(S_OK, filter.As(&grabber));
        grabber->SetCallback(&rec, 0);
        return filter;
    }
    void EndWithNull(IBaseFilter* last)
    {
        auto null = AddStock(CLSID_NullRenderer, L"Null");
        ASSERT_EQ(S_OK, Link(last, null.Get()));
    }
    static std::size_t Count(Recorder& rec)
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        return rec.got.size();
    }
    // Runs until rec holds n frames (or 20 s passed), then stops.
    void RunFor(Recorder& rec, std::size_t n)
    {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        for (int waited = 0; waited < 20000 && Count(rec) < n; waited += 5) {
            Sleep(5);
        }
        ASSERT_EQ(S_OK, control->Stop());
        ASSERT_GE(Count(rec), n);
    }

    const long long kStartSeconds = 8887LL * 86400 + 10 * 3600;
    ComPtr<IBaseFilter> camcorder;
    ComPtr<IQuillDVCamcorder> tape;
    Tqz_SceneDetect* detector = nullptr;
    // The grabbers' callbacks: they outlive the grabbers, which the fixture holds until TearDown.
    Recorder rec, restored;
};

TEST_F(CamcorderGraph, ADateJumpAndAnUndatedStretchMakeScenesThatTheSceneListRecords)
{
    // Tape frames 30 on are an hour later; 60..79 carry no date (longer than the 12-frame limit).
    ASSERT_EQ(S_OK, tape->SetDateJump(30, 3600));
    ASSERT_EQ(S_OK, tape->SetUndated(60, 20));
    auto* header = Add(new Tqz_DVheader(detector), L"DV Header");
    auto grabber = Grabber(rec, L"Grabber");
    ASSERT_EQ(S_OK, Link(camcorder.Get(), detector->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(detector, header));
    ASSERT_EQ(S_OK, Link(header, grabber.Get()));
    EndWithNull(grabber.Get());

    const auto dir = std::filesystem::temp_directory_path() / L"quill_camcorder_scenes";
    std::filesystem::create_directories(dir);
    const std::wstring path = (dir / L"tape.scn").wstring();
    ASSERT_TRUE(engine::OpenScnFile(path));
    detector->SetSceneCallback(RecordAndWriteScene);
    RunFor(rec, 100);
    const std::size_t seen = Count(rec);
    LONG delivered = 0;
    ASSERT_EQ(S_OK, tape->GetFramesDelivered(&delivered));
    engine::CloseScnFile();

    // Every frame passed numbered by the detector, in tape order.
    for (std::size_t i = 0; i < seen; ++i) {
        std::lock_guard<std::mutex> lock(rec.mutex);
        ASSERT_TRUE(rec.got[i].HasMediaTime) << i;
        ASSERT_EQ(static_cast<LONGLONG>(i), rec.got[i].MediaStart) << "a frame was lost or reordered at " << i;
    }

    // The jump at 30, the dates gone at 60, back at 80, and the last scene once at stop.
    const auto scenes = TakeScenes();
    ASSERT_EQ(4u, scenes.size());
    const std::pair<std::uint32_t, std::uint32_t> expected[] = {{1, 30}, {30, 60}, {60, 80}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(expected[k].first, scenes[k].first.FrameNumber) << "scene " << k;
        EXPECT_EQ(expected[k].second, scenes[k].second.FrameNumber) << "scene " << k;
    }
    EXPECT_EQ(80u, scenes[3].first.FrameNumber);
    const std::uint32_t last = scenes[3].second.FrameNumber;
    EXPECT_GE(last, seen);
    EXPECT_LE(last, static_cast<std::uint32_t>(delivered) + 1);
    // The records carry the camcorder's dates and timecodes.
    ASSERT_TRUE(scenes[0].first.DateValid);
    EXPECT_EQ(kStartSeconds, Seconds(scenes[0].first.Date));
    ASSERT_TRUE(scenes[0].second.DateValid);
    EXPECT_EQ(kStartSeconds + 1 + 3600, Seconds(scenes[0].second.Date)) << "frame 30: 1 s later, plus the jump";
    EXPECT_EQ(TimecodeFrames({1, 0, 1, 5}), TimecodeFrames(scenes[0].second.Timecode));
    EXPECT_FALSE(scenes[1].second.DateValid) << "frame 60 is undated";
    EXPECT_TRUE(scenes[1].second.TimecodeValid) << "but keeps its timecode";
    EXPECT_EQ(TimecodeFrames({1, 0, 2, 10}), TimecodeFrames(scenes[1].second.Timecode));
    ASSERT_TRUE(scenes[2].second.DateValid);
    EXPECT_EQ(kStartSeconds + 3 + 3600, Seconds(scenes[2].second.Date));
    for (const auto& s : scenes) {
        EXPECT_EQ(kDVSystem625, s.second.System);
        EXPECT_FALSE(s.second.Wide);
    }

    // The list: header, the first record (with the name), then 35 bytes per further scene.
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove_all(dir);
    const std::size_t n = static_cast<unsigned char>(bytes.at(24));
    ASSERT_EQ(path.size() & 0xFF, n);
    ASSERT_EQ(65 + n + 23 + n + 3 * 35, bytes.size());
    EXPECT_EQ(4, I32(bytes, 33 + n) & 0xFFFF) << "the scene count";
    const std::size_t first = 65 + n;
    EXPECT_EQ(31, I32(bytes, first));
    EXPECT_EQ(31, I32(bytes, first + 19 + n));
    const std::int32_t starts[] = {31, 61, 81};
    const std::int32_t lengths[] = {31, 21, static_cast<std::int32_t>(last + 1) - 81 + 1};
    for (int k = 0; k < 3; ++k) {
        const std::size_t at = first + 23 + n + static_cast<std::size_t>(k) * 35;
        EXPECT_EQ(0, std::memcmp(bytes.data() + at, "\x03\x80\xF0\x00\x00\x00\x05\x80\x00", 9)) << k;
        EXPECT_EQ(starts[k], I32(bytes, at + 9)) << k;
        EXPECT_EQ(lengths[k], I32(bytes, at + 13)) << k;
        EXPECT_EQ(0, std::memcmp(bytes.data() + at + 17, "\x00\x00\x00\x00\x07\x00", 6)) << k;
        EXPECT_EQ(starts[k], I32(bytes, at + 23)) << k;
        EXPECT_EQ(lengths[k], I32(bytes, at + 27)) << k;
        EXPECT_EQ(starts[k], I32(bytes, at + 31)) << k;
    }
}

TEST_F(CamcorderGraph, TurningTo169AndBackPostsTheRatioMessageEachTime)
{
    MessageWindow window;
    auto grabber = Grabber(rec, L"Grabber");
    ASSERT_EQ(S_OK, Link(camcorder.Get(), detector->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(detector, grabber.Get()));
    EndWithNull(grabber.Get());
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    std::vector<std::pair<WPARAM, LPARAM>> got;
    auto waitFor = [&](std::size_t messages, std::size_t frames) {
        for (int waited = 0; waited < 10000 && (got.size() < messages || Count(rec) < frames); waited += 5) {
            for (const auto& m : window.Take(kWMDVRatioChanged)) {
                got.push_back(m);
            }
            Sleep(5);
        }
    };
    waitFor(0, 10);
    EXPECT_TRUE(got.empty()) << "a 4:3 stream from its start posts nothing";
    ASSERT_EQ(S_OK, tape->SetWide(TRUE));
    waitFor(1, Count(rec) + 10);
    ASSERT_EQ(S_OK, tape->SetWide(FALSE));
    waitFor(2, Count(rec) + 10);
    ASSERT_EQ(S_OK, control->Stop());
    for (const auto& m : window.Take(kWMDVRatioChanged)) {
        got.push_back(m);
    }
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{1, 1}, {1, 0}};
    EXPECT_EQ(expected, got) << "one message per change, lParam 1 for 16:9";
    // The wide frames are the ones between the two messages: a run of wide frames in the stream.
    std::lock_guard<std::mutex> lock(rec.mutex);
    int runs = 0;
    bool previous = false;
    for (const auto& g : rec.got) {
        const bool wide = DVIsWide(g.Bytes);
        runs += wide && !previous;
        previous = wide;
    }
    EXPECT_EQ(1, runs);
}

TEST_F(CamcorderGraph, ReencodedFramesGetTheCamcordersDatesAndTimecodesBack)
{
    // The program's DV recording chain: the detector before the splitter, the overlay (which looks
    // up the ring entry of the frame it shows) before the encoder, the header filter after it.
    // The encoder's own frames have a timecode counting from zero and no recording date.
    auto splitter = AddStock(CLSID_DVSplitter, L"DV Splitter");
    auto decoder = AddStock(CLSID_DVVideoCodec, L"DV Video Decoder");
    auto encoder = AddStock(CLSID_DVVideoEnc, L"DV Video Encoder");
    ASSERT_TRUE(splitter && decoder && encoder) << "the DV stand-ins are not registered";
    auto* overlay = Add(new Tqz_Superposer(detector), L"Overlay");
    auto* header = Add(new Tqz_DVheader(detector), L"DV Header");
    auto grabber = Grabber(restored, L"Grabber");
    ASSERT_EQ(S_OK, Link(camcorder.Get(), detector->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(detector, splitter.Get()));
    ASSERT_EQ(S_OK, Link(splitter.Get(), decoder.Get()));
    ASSERT_EQ(S_OK, Link(decoder.Get(), overlay->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(overlay, encoder.Get()));
    ASSERT_EQ(S_OK, Link(encoder.Get(), header->BaseFilterInterface()));
    ASSERT_EQ(S_OK, Link(header, grabber.Get()));
    EndWithNull(grabber.Get());
    ASSERT_EQ(S_OK, tape->SetDateJump(20, -86400));  // a day earlier from tape frame 20
    ASSERT_EQ(S_OK, tape->SetUndated(30, 3));
    RunFor(restored, 40);

    std::lock_guard<std::mutex> lock(restored.mutex);
    ASSERT_GE(restored.got.size(), 40u);
    // The tape frame each one was: a busy machine can keep the camcorder's bus waiting until it
    // loses frames, which the tape passes by.
    int last = -1;
    for (std::size_t i = 0; i < restored.got.size(); ++i) {
        const Frame& out = restored.got[i].Bytes;
        ASSERT_EQ(kDVFrameBytes625, out.size()) << i;
        TDVInfoRec r;
        DVFillInfoRec(r, out);
        // The tape frame's timecode and date (or none in the undated stretch), in every head.
        ASSERT_TRUE(r.TimecodeValid) << i;
        const int n = TimecodeFrames(r.Timecode) - TimecodeFrames({1, 0, 0, 0});
        EXPECT_GT(n, last) << "frame " << i << " is no later tape frame";
        EXPECT_LT(n, static_cast<int>(i) + 50) << "frame " << i;
        last = n;
        if (n >= 30 && n < 33) {
            EXPECT_FALSE(r.DateValid) << i;
        } else {
            ASSERT_TRUE(r.DateValid) << i;
            EXPECT_EQ(kStartSeconds + static_cast<long long>(n) / 25 - (n >= 20 ? 86400 : 0), Seconds(r.Date)) << i;
        }
        for (int k = 1; k < kRingHeadCount; ++k) {
            const TDVTimecode tc = DVReadTimecode(out, k);
            EXPECT_EQ(TimecodeFrames(r.Timecode), TimecodeFrames(tc)) << "frame " << i << " sequence " << k;
        }
    }
}

}  // namespace
}  // namespace dvtest
