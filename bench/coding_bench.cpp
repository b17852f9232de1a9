// Coding speed of the stand-ins' libraries with the stand-ins' settings: the DV stand-ins' coding per PAL
// frame (libavcodec's DV coder behind our own picture handling: YUY2 in, the frame's video blocks out;
// DVSD in, bottom-up RGB24 out) beside ffmpeg's dvvideo on the same pictures and frames (run from here as
// a Unix program), libavcodec's MPEG-4 (the Xvid stand-in) and libmp3lame as multiples of real time.
// Each coder's output is checked: the DV frame's own header block kept and its picture decoded back
// within 30 dB, MPEG-4 packets, MP3 frames.
//   bench_coding.exe [frames]     (default 100; ffmpeg is skipped when it cannot be started)
// Prints "figure <case> <ms>" lines; exits 1 when a coder gives no valid output.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <lame/lame.h>
extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/standins/dv_frame.h"
#include "platform/standins/dv_picture.h"
#include "tests/common/ffprobe_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

// A moving YUY2 picture: gradients and a bar that moves with Index.
std::vector<unsigned char> Picture(int w, int h, int index)
{
    std::vector<unsigned char> p(static_cast<std::size_t>(w) * h * 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; x += 2) {
            unsigned char* q = &p[(static_cast<std::size_t>(y) * w + x) * 2];
            const bool bar = ((x + 8 * index) / 40) % 4 == 0;
            q[0] = q[2] = static_cast<unsigned char>(bar ? 200 : 40 + 150 * x / w);
            q[1] = static_cast<unsigned char>(64 + 128 * y / h);
            q[3] = static_cast<unsigned char>(192 - 128 * y / h);
        }
    }
    return p;
}

// Milliseconds that ffmpeg's coding took (its own count after its start-up, -benchmark) with these
// arguments; negative when it could not be run. Its elapsed time on the core this benchmark is
// pinned to, as ours is timed frame by frame: its processor times come in whole clock ticks
// (10 ms) here, which put a tenth of a frame's time on each side of a hundred-frame figure.
double FfmpegMs(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {"ffmpeg", "-hide_banner", "-nostats", "-y", "-threads", "1"});
    arguments.insert(arguments.end(), {"-benchmark", "-f", "null", "-"});
    const quill_test::TUnixResult run = quill_test::RunUnix(arguments);
    if (!run.Ran || run.ExitCode != 0) return -1;
    const std::size_t at = run.Err.find("rtime=");
    return at == std::string::npos ? -1.0 : std::atof(run.Err.c_str() + at + 6) * 1000;
}

// The median of per-frame times: a frame the scheduler interrupted does not count.
double Median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double MsSince(Clock::time_point a) { return Seconds(a) * 1000; }

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int w = 720, h = 576;
    std::vector<std::vector<unsigned char>> pictures;
    for (int i = 0; i < 25; ++i) pictures.push_back(Picture(w, h, i));

    bool failed = false;
    // DV encoding as the DV Video Encoder stand-in does it: a YUY2 picture into the video blocks of a
    // frame that keeps its own header, subcode and VAUX blocks.
    standins::TDVFrameSpec spec;
    spec.Pal = true;
    spec.Timecode = filters::TDVTimecode{1, 2, 3, 4};
    spec.AudioRate = 0;
    std::vector<unsigned char> blank(standins::DVFrameBytes(true));
    standins::DVBuildFrame(blank, spec);
    std::vector<std::vector<unsigned char>> coded(pictures.size(), blank);
    standins::TDVPictureEncoder encoder;
    int refused = 0;
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
        const auto& p = pictures[static_cast<std::size_t>(i % 25)];
        const standins::TPictureView view{p.data(), p.size(), w, h, standins::TPixelFormat::Yuy2};
        const auto t = Clock::now();
        refused += encoder.Encode(view, true, coded[static_cast<std::size_t>(i % 25)]) ? 0 : 1;
        times.push_back(MsSince(t));
    }
    const double encodeMs = Median(times);
    // The decoder stand-in's full-size picture, as the preview takes it.
    standins::TDVPictureDecoder decoder;
    std::vector<unsigned char> rgb(standins::PictureBytes(standins::TPixelFormat::Rgb24BottomUp, w, h));
    times.clear();
    for (int i = 0; i < frames; ++i) {
        const auto t = Clock::now();
        refused += decoder.Decode(coded[static_cast<std::size_t>(i % 25)], standins::TPixelFormat::Rgb24BottomUp, w, h, rgb) ? 0 : 1;
        times.push_back(MsSince(t));
    }
    const double decodeMs = Median(times);
    // The same decoding apart: libavcodec's dvvideo alone (the frame read from a packet of its own
    // into its planes), then our conversion of those planes to RGB24.
    double coderMs = -1, convertMs = -1;
    {
        const AVCodec* dvCodec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
        AVCodecContext* dvContext = dvCodec != nullptr ? avcodec_alloc_context3(dvCodec) : nullptr;
        AVPacket* packet = av_packet_alloc();
        AVFrame* planes = av_frame_alloc();
        if (dvContext != nullptr) dvContext->thread_count = 1;
        if (dvContext != nullptr && packet != nullptr && planes != nullptr && avcodec_open2(dvContext, dvCodec, nullptr) >= 0 &&
            av_new_packet(packet, static_cast<int>(blank.size())) >= 0) {
            std::vector<unsigned char> scratch;
            std::vector<double> coderTimes, convertTimes;
            for (int i = 0; i < frames; ++i) {
                const auto& f = coded[static_cast<std::size_t>(i % 25)];
                std::memcpy(packet->data, f.data(), f.size());
                auto t = Clock::now();
                const bool got = avcodec_send_packet(dvContext, packet) >= 0 && avcodec_receive_frame(dvContext, planes) >= 0;
                coderTimes.push_back(MsSince(t));
                t = Clock::now();
                const bool converted =
                    got && standins::FrameToPicture(planes, standins::TPixelFormat::Rgb24BottomUp, w, h, rgb, scratch);
                convertTimes.push_back(MsSince(t));
                av_frame_unref(planes);
                refused += converted ? 0 : 1;
            }
            coderMs = Median(coderTimes);
            convertMs = Median(convertTimes);
        } else {
            ++refused;
        }
        av_frame_free(&planes);
        av_packet_free(&packet);
        avcodec_free_context(&dvContext);
    }
    // The last frame's packs are the ones it was given, and its luma decodes to the picture's.
    filters::TDVInfoRec info;
    filters::DVFillInfoRec(info, coded[0]);
    std::vector<unsigned char> yuy2(standins::PictureBytes(standins::TPixelFormat::Yuy2, w, h));
    double noise = 0;
    const bool decoded = decoder.Decode(coded[0], standins::TPixelFormat::Yuy2, w, h, yuy2);
    for (std::size_t i = 0; i < yuy2.size(); i += 2) {
        const double d = static_cast<double>(yuy2[i]) - pictures[0][i];
        noise += d * d;
    }
    const double psnr = noise > 0 ? 10 * std::log10(255.0 * 255.0 * (yuy2.size() / 2.0) / noise) : 99.0;
    if (refused != 0 || !decoded || coded[0][0] != 0x1F || (coded[0][3] & 0x80) == 0 || !info.TimecodeValid ||
        info.Timecode.Seconds != 3 || info.Timecode.Frames != 4 || psnr < 30.0) {
        std::printf("FAILED: DV coding: %d frames refused, packs %s, picture back at %.1f dB\n", refused,
                    info.TimecodeValid ? "kept" : "lost", psnr);
        failed = true;
    }
    std::printf("DV encoding (stand-in on libavcodec), per PAL frame: %.2f ms; decoding to RGB24: %.2f ms (%.1f dB)\n",
                encodeMs, decodeMs, psnr);
    std::printf("  of which libavcodec's decoding %.3f ms, the conversion to RGB24 %.3f ms\n", coderMs, convertMs);
    std::printf("figure dv_encode %.4f\n", encodeMs);
    std::printf("figure dv_decode %.4f\n", decodeMs);

    // ffmpeg's dvvideo on the same pictures and frames, from raw files; its start-up is timed apart and
    // taken off.
    {
        std::ofstream raw("bench_coding.yuv", std::ios::binary);
        std::ofstream dv("bench_coding.dv", std::ios::binary);
        for (int i = 0; i < frames; ++i) {
            const auto& p = pictures[static_cast<std::size_t>(i % 25)];
            raw.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
            const auto& f = coded[static_cast<std::size_t>(i % 25)];
            dv.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
        }
    }
    // Each command once for one frame and once for all: the difference is the coding of the others.
    const std::vector<std::string> encoding = {"-f", "rawvideo", "-pix_fmt", "yuyv422", "-s", "720x576", "-r", "25", "-i",
                                               quill_test::UnixPath("bench_coding.yuv"), "-c:v", "dvvideo", "-pix_fmt", "yuv420p"};
    const std::vector<std::string> decoding = {"-f", "dv", "-i", quill_test::UnixPath("bench_coding.dv"), "-pix_fmt", "bgr24"};
    const auto oneFrame = [](std::vector<std::string> v) {
        v.insert(v.end(), {"-frames:v", "1"});
        return v;
    };
    const double encodeOne = FfmpegMs(oneFrame(encoding)), encodeAll = FfmpegMs(encoding);
    const double decodeOne = FfmpegMs(oneFrame(decoding)), decodeAll = FfmpegMs(decoding);
    // ffmpeg's decoding to its own planes, without the conversion.
    const std::vector<std::string> planar = {"-f", "dv", "-i", quill_test::UnixPath("bench_coding.dv")};
    const double planarOne = FfmpegMs(oneFrame(planar)), planarAll = FfmpegMs(planar);
    if (frames > 1 && planarOne >= 0 && planarAll >= 0) {
        std::printf("  ffmpeg's decoding alone (to yuv420p) %.3f ms\n", std::max(planarAll - planarOne, 1e-3) / (frames - 1));
    }
    if (frames > 1 && encodeOne >= 0 && encodeAll >= 0 && decodeOne >= 0 && decodeAll >= 0) {
        const double ffMs = std::max(encodeAll - encodeOne, 1e-3) / (frames - 1);
        const double ffDecodeMs = std::max(decodeAll - decodeOne, 1e-3) / (frames - 1);
        std::printf("DV (ffmpeg dvvideo, one thread on this core), per PAL frame: encoding from YUY2 %.2f ms, ours / "
                    "ffmpeg %.2f; decoding to BGR24 %.2f ms, ours / ffmpeg %.2f (target 1.1 or less)\n",
                    ffMs, encodeMs / ffMs, ffDecodeMs, decodeMs / ffDecodeMs);
        std::printf("figure ffmpeg_dv_encode %.4f\n", ffMs);
        std::printf("figure ffmpeg_dv_decode %.4f\n", ffDecodeMs);
        // Each run's own ratio too: its two sides were measured a second apart, where the machine's
        // pace shifts less than between one run and the next.
        std::printf("figure dv_encode_ratio %.4f\n", encodeMs / ffMs);
        std::printf("figure dv_decode_ratio %.4f\n", decodeMs / ffDecodeMs);
    } else {
        std::printf("ffmpeg could not be run: no comparison\n");
    }
    std::filesystem::remove("bench_coding.yuv");
    std::filesystem::remove("bench_coding.dv");

    // libavcodec MPEG-4, as the Xvid stand-in sets it, on 720 x 576 at 25 frames a second.
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = w;
    ctx->height = h;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, 25};
    ctx->gop_size = 250;
    ctx->max_b_frames = 0;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * 4;
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f, 0);
    AVPacket* pkt = av_packet_alloc();
    long long mpeg4Bytes = 0;
    bool mpeg4Start = false;
    auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(f);
        const auto& p = pictures[static_cast<std::size_t>(i % 25)];
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) f->data[0][y * f->linesize[0] + x] = p[(static_cast<std::size_t>(y) * w + x) * 2];
        }
        for (int y = 0; y < h / 2; ++y) {
            for (int x = 0; x < w / 2; ++x) {
                f->data[1][y * f->linesize[1] + x] = p[(static_cast<std::size_t>(2 * y) * w + 2 * x) * 2 + 1];
                f->data[2][y * f->linesize[2] + x] = p[(static_cast<std::size_t>(2 * y) * w + 2 * x) * 2 + 3];
            }
        }
        f->pts = i;
        f->quality = ctx->global_quality;
        avcodec_send_frame(ctx, f);
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            if (mpeg4Bytes == 0 && pkt->size > 4) {
                mpeg4Start = pkt->data[0] == 0 && pkt->data[1] == 0 && pkt->data[2] == 1;  // a start code
            }
            mpeg4Bytes += pkt->size;
            av_packet_unref(pkt);
        }
    }
    const double mpeg4 = Seconds(start);
    std::printf("MPEG-4 (Xvid stand-in) 720x576: %.1f x real time (%.2f ms a frame)\n", frames / 25.0 / mpeg4, mpeg4 * 1000 / frames);
    if (!mpeg4Start || mpeg4Bytes < frames * 100LL) {
        std::printf("FAILED: MPEG-4: no stream of start codes came out\n");
        failed = true;
    }
    av_packet_free(&pkt);
    av_frame_free(&f);
    avcodec_free_context(&ctx);

    // libmp3lame, as the MP3 encoder stand-in sets it: 44.1 kHz stereo, 128 kbit/s.
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, 44100);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 128);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 0);
    lame_init_params(lame);
    const int seconds = 30;
    std::vector<short> pcm(44100 * 2);
    for (int n = 0; n < 44100; ++n) pcm[2 * n] = pcm[2 * n + 1] = static_cast<short>(8000 * std::sin(n * 0.0627));
    std::vector<unsigned char> out(44100 * 5 / 4 + 7200);
    long long mp3Bytes = 0;
    bool mp3Sync = false;
    start = Clock::now();
    for (int s = 0; s < seconds; ++s) {
        const int n = lame_encode_buffer_interleaved(lame, pcm.data(), 44100, out.data(), static_cast<int>(out.size()));
        if (mp3Bytes == 0 && n >= 2) {
            mp3Sync = out[0] == 0xFF && (out[1] & 0xE0) == 0xE0;  // a frame sync
        }
        mp3Bytes += n > 0 ? n : 0;
    }
    lame_encode_flush(lame, out.data(), static_cast<int>(out.size()));
    const double mp3 = Seconds(start);
    lame_close(lame);
    std::printf("MP3 (LAME stand-in) 44.1 kHz stereo 128 kbit/s: %.1f x real time\n", seconds / mp3);
    // 128 kbit/s for the seconds coded, give or take the encoder's delay.
    if (!mp3Sync || mp3Bytes < seconds * 16000LL * 9 / 10) {
        std::printf("FAILED: MP3: no frames or too few bytes came out\n");
        failed = true;
    }
    return failed ? 1 : 0;
}
