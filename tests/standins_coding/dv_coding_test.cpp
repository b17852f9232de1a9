// Real DV in the stand-ins: the DV Video Encoder's frames decode in ffmpeg to the picture that went in,
// our DV Video Decoder shows ffmpeg's DV frames as ffmpeg does, damaged frames do no harm, and the DV
// camcorder's frames carry its moving picture.
#include <gtest/gtest.h>

#include "coding_support.h"
#include "media_sources.h"

#include "dshow/ds_helpers.h"
#include "filters/dv_codes.h"
#include "platform/standins/dv_camcorder.h"

#include <cstring>

namespace coding_test {
namespace {

using ftest::MediaSource;
using Microsoft::WRL::ComPtr;

constexpr int kWidth = 720;

class DVCoding : public ftest::FilterGraphTest {
protected:
    // Codes Picture (top-down R G B, 720 wide) with the DV Video Encoder set to the system; one frame.
    std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& picture, bool pal)
    {
        const int lines = pal ? 576 : 480;
        AM_MEDIA_TYPE mt{};
        ftest::MakeVideoType(mt, kWidth, lines);
        auto* source = Add(new MediaSource(mt, ftest::VideoBytes(kWidth, lines)), L"Source");
        dshow::FreeMediaType(mt);
        source->Count = 2;
        source->Fill = [&](int, BYTE* data, long) { ToBottomUpBgr(picture, kWidth, lines, data); };
        auto encoder = AddStock(CLSID_DVVideoEnc, L"DV Video Encoder");
        if (!encoder) return {};
        ComPtr<IDVEnc> settings;
        encoder->QueryInterface(IID_IDVEnc, reinterpret_cast<void**>(settings.GetAddressOf()));
        EXPECT_EQ(S_OK, settings->put_IFormatResolution(pal ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC,
                                                         DVENCODERFORMAT_DVSD, DVENCODERRESOLUTION_720x480, FALSE, nullptr));
        EXPECT_EQ(S_OK, Link(source->BaseFilterInterface(), encoder.Get()));
        EXPECT_EQ(S_OK, AddGrabberAfter(encoder.Get(), MEDIATYPE_Video));
        if (!RunUntil(1)) return {};
        return recorder.Samples().front().data;
    }

    // ffmpeg's decode of the first frame of a raw DV file, top-down R G B.
    static std::vector<std::uint8_t> FfmpegDecode(const std::filesystem::path& dv, const std::filesystem::path& rgb)
    {
        const int rc = RunShell("ffmpeg -v error -y -f dv -i '" + UnixPath(dv) + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" +
                                UnixPath(rgb) + "'");
        EXPECT_EQ(0, rc) << "ffmpeg could not decode " << dv.string();
        return ReadFile(rgb);
    }

    // ffmpeg's DV frame (625/50) of Picture.
    static std::vector<std::uint8_t> FfmpegFrame(const std::filesystem::path& dir, const std::vector<std::uint8_t>& picture)
    {
        EXPECT_TRUE(WriteFile(dir / L"source.rgb", picture));
        EXPECT_EQ(0, RunShell("ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 720x576 -r 25 -i '" + UnixPath(dir / L"source.rgb") +
                              "' -c:v dvvideo -pix_fmt yuv420p -f dv '" + UnixPath(dir / L"ffmpeg.dv") + "'"));
        return ReadFile(dir / L"ffmpeg.dv");
    }

    // The DV Video Decoder's full-size RGB24 picture of each frame given, top-down R G B.
    std::vector<std::vector<std::uint8_t>> Decode(const std::vector<std::uint8_t>& frame, bool pal, int count, int shortAt = -1,
                                                  int damagedAt = -1)
    {
        const int lines = pal ? 576 : 480;
        AM_MEDIA_TYPE mt{};
        filters::InitMediaType(mt);
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_dvsd;
        mt.formattype = FORMAT_VideoInfo;
        auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        std::memset(vih, 0, sizeof(*vih));
        vih->AvgTimePerFrame = pal ? 400000 : 333667;
        vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih->bmiHeader.biWidth = kWidth;
        vih->bmiHeader.biHeight = lines;
        vih->bmiHeader.biCompression = MAKEFOURCC('d', 'v', 's', 'd');
        vih->bmiHeader.biSizeImage = static_cast<DWORD>(frame.size());
        mt.pbFormat = reinterpret_cast<BYTE*>(vih);
        mt.cbFormat = sizeof(VIDEOINFOHEADER);
        mt.lSampleSize = static_cast<ULONG>(frame.size());
        mt.bFixedSizeSamples = TRUE;
        auto* source = Add(new MediaSource(mt, static_cast<long>(frame.size())), L"DV source");
        dshow::FreeMediaType(mt);
        source->Count = count;
        source->ShortAt = shortAt;
        source->Fill = [&frame, damagedAt](int i, BYTE* data, long) {
            std::memcpy(data, frame.data(), frame.size());
            if (i != damagedAt) return;
            // Noise over everything but the header block of each sequence.
            std::uint32_t seed = 12345;
            for (std::size_t at = 0; at < frame.size(); ++at) {
                seed = seed * 1664525 + 1013904223;
                if (at % filters::kDVSequenceBytes >= 80) data[at] = static_cast<BYTE>(seed >> 24);
            }
        };
        auto decoder = AddStock(CLSID_DVVideoCodec, L"DV Video Decoder");
        if (!decoder) return {};
        EXPECT_EQ(S_OK, Link(source->BaseFilterInterface(), decoder.Get()));
        EXPECT_EQ(S_OK, AddGrabberAfter(decoder.Get(), MEDIATYPE_Video));
        AM_MEDIA_TYPE got{};
        EXPECT_TRUE(GrabbedType(got));
        EXPECT_EQ(MEDIASUBTYPE_RGB24, got.subtype);
        dshow::FreeMediaType(got);
        EXPECT_TRUE(SUCCEEDED(control->Run()));
        EXPECT_TRUE(ftest::WaitUntil([&] { return source->EosSent.load(); }, 20000));
        control->Stop();
        std::vector<std::vector<std::uint8_t>> pictures;
        for (const auto& s : recorder.Samples()) {
            EXPECT_EQ(static_cast<std::size_t>(kWidth) * lines * 3, s.data.size());
            if (s.data.size() == static_cast<std::size_t>(kWidth) * lines * 3) pictures.push_back(FromBottomUpBgr(s.data.data(), kWidth, lines));
        }
        return pictures;
    }
};

TEST_F(DVCoding, PalFramesDecodeInFfmpegWithin30dBOfThePictureThatWentIn)
{
    const auto dir = FreshFolder(L"dv_pal");
    const auto picture = TestPicture(kWidth, 576, 0);
    const auto frame = Encode(picture, true);
    ASSERT_EQ(filters::kDVFrameBytes625, frame.size());
    ASSERT_TRUE(WriteFile(dir / L"ours.dv", frame));
    EXPECT_EQ("dvvideo", Probe(dir / L"ours.dv", "stream=codec_name", "-f dv"));
    const auto decoded = FfmpegDecode(dir / L"ours.dv", dir / L"ours.rgb");
    ASSERT_EQ(picture.size(), decoded.size());
    EXPECT_GE(Psnr(picture, decoded), 30.0);
}

TEST_F(DVCoding, NtscFramesDecodeInFfmpegWithin30dBOfThePictureThatWentIn)
{
    const auto dir = FreshFolder(L"dv_ntsc");
    const auto picture = TestPicture(kWidth, 480, 3);
    const auto frame = Encode(picture, false);
    ASSERT_EQ(filters::kDVFrameBytes525, frame.size());
    ASSERT_TRUE(WriteFile(dir / L"ours.dv", frame));
    const auto decoded = FfmpegDecode(dir / L"ours.dv", dir / L"ours.rgb");
    ASSERT_EQ(picture.size(), decoded.size());
    EXPECT_GE(Psnr(picture, decoded), 30.0);
}

TEST_F(DVCoding, DecoderShowsFfmpegsDVFramesAsFfmpegDoes)
{
    const auto dir = FreshFolder(L"dv_decode");
    const auto picture = TestPicture(kWidth, 576, 5);
    const auto frame = FfmpegFrame(dir, picture);
    ASSERT_EQ(filters::kDVFrameBytes625, frame.size());
    const auto theirs = FfmpegDecode(dir / L"ffmpeg.dv", dir / L"ffmpeg.rgb");
    const auto ours = Decode(frame, true, 1);
    ASSERT_EQ(1u, ours.size());
    EXPECT_GE(Psnr(theirs, ours[0]), 30.0);
    EXPECT_GE(Psnr(picture, ours[0]), 30.0);
}

TEST_F(DVCoding, DecoderDropsAShortFrameAndSurvivesADamagedOne)
{
    const auto frame = FfmpegFrame(FreshFolder(L"dv_damaged"), TestPicture(kWidth, 576, 1));
    ASSERT_EQ(filters::kDVFrameBytes625, frame.size());
    // Frame 1 is half a frame, frame 2 noise behind intact headers; 0 and 3 are the same good frame.
    const auto pictures = Decode(frame, true, 4, 1, 2);
    ASSERT_EQ(3u, pictures.size()) << "the short frame is dropped, the damaged one shown";
    EXPECT_EQ(pictures.front(), pictures.back()) << "a damaged frame leaves the decoder as it was";
}

TEST_F(DVCoding, CamcorderFramesCarryItsMovingSquare)
{
    const auto dir = FreshFolder(L"dv_camcorder");
    auto camera = AddStock(standins::CLSID_QuillDVCamcorder, L"Camcorder");
    ASSERT_TRUE(camera);
    ASSERT_EQ(S_OK, AddGrabberAfter(camera.Get(), MEDIATYPE_Interleaved));
    ASSERT_TRUE(RunUntil(3, 20000));
    const auto samples = recorder.Samples();
    std::vector<int> lefts;
    for (std::size_t i : {std::size_t{0}, samples.size() - 1}) {
        const auto& frame = samples[i].data;
        ASSERT_EQ(filters::kDVFrameBytes625, frame.size());
        filters::TDVInfoRec rec;
        filters::DVFillInfoRec(rec, frame);
        ASSERT_TRUE(rec.TimecodeValid);
        const int tape = ((rec.Timecode.Hours * 60 + rec.Timecode.Minutes) * 60 + rec.Timecode.Seconds) * 25 + rec.Timecode.Frames;
        const auto file = dir / (L"frame" + std::to_wstring(i) + L".dv");
        ASSERT_TRUE(WriteFile(file, frame));
        const auto rgb = FfmpegDecode(file, dir / (L"frame" + std::to_wstring(i) + L".rgb"));
        ASSERT_EQ(static_cast<std::size_t>(kWidth) * 576 * 3, rgb.size());
        // The square (white, brighter than any bar) across the middle row.
        const std::uint8_t* row = rgb.data() + static_cast<std::size_t>(288) * kWidth * 3;
        int left = -1, width = 0;
        for (int x = 0; x < kWidth; ++x) {
            if (row[3 * x] > 230 && row[3 * x + 1] > 230 && row[3 * x + 2] > 230) {
                if (left < 0) left = x;
                ++width;
            }
        }
        EXPECT_NEAR(tape % 40 * 16, left, 2) << "tape frame " << tape;
        EXPECT_NEAR(64, width, 4);
        // The second bar is yellow.
        const std::uint8_t* yellow = rgb.data() + (static_cast<std::size_t>(40) * kWidth + 135) * 3;
        EXPECT_GT(yellow[0], 150);
        EXPECT_GT(yellow[1], 150);
        EXPECT_LT(yellow[2], 70);
        lefts.push_back(left);
    }
    EXPECT_NE(lefts.front(), lefts.back()) << "the square moves with the tape";
}

}  // namespace
}  // namespace coding_test
