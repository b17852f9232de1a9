// Coding speed of the stand-ins' libraries with the stand-ins' settings: libdv's DV encoding per PAL frame
// beside ffmpeg's dvvideo encoder on the same pictures (run from here as a Unix program), libavcodec's
// MPEG-4 (the Xvid stand-in) and libmp3lame as multiples of real time.
// Each coder's output is checked: a PAL DV frame's header block, MPEG-4 packets, MP3 frames.
//   bench_coding.exe [frames]     (default 100; ffmpeg is skipped when it cannot be started)
// Exits 1 when a coder gives no valid output.
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <libdv/dv.h>
#include <lame/lame.h>
extern "C" {
#include <libavcodec/avcodec.h>
}

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

std::string UnixPath(const std::filesystem::path& p)
{
    std::string s = std::filesystem::absolute(p).string();
    if (s.size() < 2 || s[1] != ':') return {};
    s = s.substr(2);
    for (auto& c : s) c = c == '\\' ? '/' : c;
    return s;
}

// Wall-clock seconds of a shell command (Wine gives no waitable handle for a Unix process: a file marks
// its end); negative when it could not be run.
double TimeShell(const std::string& command)
{
    const auto done = std::filesystem::absolute("bench_coding.done");
    std::filesystem::remove(done);
    std::string script = command + " && touch '" + UnixPath(done) + "'";
    std::wstring line = L"sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const auto start = Clock::now();
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    while (!std::filesystem::exists(done)) {
        if (Seconds(start) > 300) return -1;
        Sleep(5);
    }
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int w = 720, h = 576;
    std::vector<std::vector<unsigned char>> pictures;
    for (int i = 0; i < 25; ++i) pictures.push_back(Picture(w, h, i));

    // libdv, as the DV Video Encoder stand-in sets it.
    dv_encoder_t* dv = dv_encoder_new(FALSE, FALSE, FALSE);
    dv->isPAL = 1;
    dv->vlc_encode_passes = 3;
    dv->static_qno = 0;
    dv->force_dct = DV_DCT_AUTO;
    std::vector<unsigned char> frame(144000);
    auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        unsigned char* in[3] = {pictures[static_cast<std::size_t>(i % 25)].data(), nullptr, nullptr};
        dv_encode_full_frame(dv, in, e_dv_color_yuv, frame.data());
    }
    const double libdvMs = Seconds(start) * 1000 / frames;
    dv_encoder_free(dv);
    bool failed = false;
    // A DIF header block (section type 0) of a 625/50 frame.
    if (frame[0] != 0x1F || (frame[3] & 0x80) == 0) {
        std::printf("FAILED: DV encoding: the frame does not start with a PAL header block\n");
        failed = true;
    }
    std::printf("DV encoding (libdv), per PAL frame: %.2f ms\n", libdvMs);

    // ffmpeg's dvvideo on the same pictures, from a raw file; its start-up is timed apart and taken off.
    {
        std::ofstream raw("bench_coding.yuv", std::ios::binary);
        for (int i = 0; i < frames; ++i) {
            const auto& p = pictures[static_cast<std::size_t>(i % 25)];
            raw.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
        }
    }
    const std::string input = "ffmpeg -v error -y -f rawvideo -pix_fmt yuyv422 -s 720x576 -r 25 -i '" + UnixPath("bench_coding.yuv") + "'";
    const double startup = TimeShell(input + " -frames:v 1 -c:v dvvideo -pix_fmt yuv420p -f null -");
    const double all = TimeShell(input + " -threads 1 -c:v dvvideo -pix_fmt yuv420p -f null -");
    if (startup >= 0 && all >= 0) {
        const double ffMs = std::max(all - startup, 1e-6) * 1000 / frames;
        std::printf("DV encoding (ffmpeg dvvideo, one thread), per PAL frame: %.2f ms; libdv / ffmpeg: %.2f\n", ffMs, libdvMs / ffMs);
    } else {
        std::printf("ffmpeg could not be run: no comparison\n");
    }
    std::filesystem::remove("bench_coding.yuv");

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
    start = Clock::now();
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
