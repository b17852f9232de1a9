#include "platform/standins/asf_conversion.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/standins/xvid_compressor.h"

namespace standins {

bool TPictureScaler::Open(int width, int height, int toWidth, int toHeight) {
    Close();
    if (width == toWidth && height == toHeight) return true;
    source_ = av_frame_alloc();
    if (source_ == nullptr) return false;
    source_->format = AV_PIX_FMT_YUV420P;
    source_->width = width;
    source_->height = height;
    scaler_ = sws_getContext(width, height, AV_PIX_FMT_YUV420P, toWidth, toHeight, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                             nullptr, nullptr, nullptr);
    if (scaler_ == nullptr || av_frame_get_buffer(source_, 0) < 0) {
        Close();
        return false;
    }
    return true;
}

void TPictureScaler::Close() {
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_frame_free(&source_);
}

bool TPictureScaler::Convert(const std::uint8_t* picture, const AM_MEDIA_TYPE& mt, AVFrame* frame) {
    if (scaler_ == nullptr) {
        ToYuv420(picture, mt, frame);
        return true;
    }
    // The picture's own colour conversion at its size, then the scaling of the planes.
    ToYuv420(picture, mt, source_);
    return sws_scale(scaler_, source_->data, source_->linesize, 0, source_->height, frame->data, frame->linesize) > 0;
}

bool TSoundResampler::Open(int rate, int channels, int toRate, int toChannels) {
    Close();
    // Windows Media sound is mono or stereo.
    if (channels < 1 || channels > 2 || toChannels < 1 || toChannels > 2 || rate <= 0 || toRate <= 0) return false;
    AVChannelLayout from{}, to{};
    av_channel_layout_default(&from, channels);
    av_channel_layout_default(&to, toChannels);
    const bool made = swr_alloc_set_opts2(&resampler_, &to, AV_SAMPLE_FMT_FLTP, toRate, &from, AV_SAMPLE_FMT_S16, rate,
                                          0, nullptr) >= 0 &&
                      resampler_ != nullptr && swr_init(resampler_) >= 0;
    av_channel_layout_uninit(&from);
    av_channel_layout_uninit(&to);
    if (!made) {
        Close();
        return false;
    }
    channels_ = toChannels;
    planes_.assign(static_cast<std::size_t>(toChannels), {});
    return true;
}

void TSoundResampler::Close() {
    swr_free(&resampler_);
    channels_ = 0;
    planes_.clear();
}

int TSoundResampler::Convert(const std::int16_t* pcm, int samples) {
    if (resampler_ == nullptr) return -1;
    const int room = swr_get_out_samples(resampler_, pcm != nullptr ? samples : 0);
    if (room < 0) return -1;
    // Room for all of it: the resampler keeps nothing back but its filter's delay.
    std::uint8_t* out[2] = {};
    for (int c = 0; c < channels_ && c < 2; ++c) {
        planes_[static_cast<std::size_t>(c)].resize(static_cast<std::size_t>(room) + 1);
        out[c] = reinterpret_cast<std::uint8_t*>(planes_[static_cast<std::size_t>(c)].data());
    }
    const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(pcm)};
    return swr_convert(resampler_, out, room, pcm != nullptr ? in : nullptr, pcm != nullptr ? samples : 0);
}

}  // namespace standins
