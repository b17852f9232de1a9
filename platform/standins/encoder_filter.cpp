// The stand-ins' encoders on one base.
#include "platform/standins/encoder_filter.h"

#include <dshow.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

using Microsoft::WRL::ComPtr;

namespace standins {

bool TAvCoder::Open(const AVCodec* codec)
{
    Close();
    Context = avcodec_alloc_context3(codec);
    Frame = av_frame_alloc();
    Packet = av_packet_alloc();
    if (Context != nullptr && Frame != nullptr && Packet != nullptr) return true;
    Close();
    return false;
}

void TAvCoder::Close()
{
    av_packet_free(&Packet);
    av_frame_free(&Frame);
    avcodec_free_context(&Context);
}

HRESULT TEncoderFilter::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (!InputPin()->IsConnected()) return E_UNEXPECTED;
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return OutputType(InputPin()->CurrentMediaType(), *mt);
}

HRESULT TEncoderFilter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    long buffers = 1, bytes = 0;
    HRESULT hr = OutputRoom(buffers, bytes);
    if (FAILED(hr)) return hr;
    props->cBuffers = std::max(props->cBuffers, buffers);
    props->cbBuffer = std::max(props->cbBuffer, bytes);
    ALLOCATOR_PROPERTIES actual{};
    hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < bytes ? E_FAIL : S_OK;
}

void TSoundEncoder::BeginStream(int channels, int rate)
{
    channels_ = channels;
    rate_ = rate;
    haveStart_ = false;
    start_ = 0;
    framesSent_ = 0;
    held_ = false;
}

HRESULT TSoundEncoder::Receive(IMediaSample* sample)
{
    if (InputPin()->SampleProps().dwStreamId != AM_STREAM_MEDIA) return TBCTransformFilter::Receive(sample);
    if (!EncoderOpen()) return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
    if (!haveStart_) {
        REFERENCE_TIME s = 0, e = 0;
        if (SUCCEEDED(sample->GetTime(&s, &e))) start_ = s;
        haveStart_ = true;
    }
    const auto* pcm = reinterpret_cast<const std::int16_t*>(data);
    const int samples = static_cast<int>(std::max<long>(sample->GetActualDataLength(), 0) / (2 * channels_));
    held_ = held_ || samples > 0;
    for (int done = 0; done < samples;) {
        const int n = std::min(samples - done, PieceSamples());
        const HRESULT hr = EncodePiece(pcm + static_cast<std::ptrdiff_t>(done) * channels_, n);
        if (hr != S_OK) return hr;
        done += n;
    }
    return S_OK;
}

HRESULT TSoundEncoder::Pause()
{
    {
        filters::TBCAutoLock lock(FilterLock());
        if (State() == State_Running) {
            SendHeld();  // downstream still takes samples: the stop that follows would lose them
        }
    }
    return TEncoderFilter::Pause();
}

HRESULT TSoundEncoder::Stop()
{
    {
        filters::TBCAutoLock lock(FilterLock());
        if (!IsStopped()) {
            SendHeld();  // stopped from a pause: what came since, if downstream still takes it
        }
    }
    return TEncoderFilter::Stop();
}

void TSoundEncoder::SendHeld()
{
    if (!InputPin()->IsConnected() || !OutputPin()->IsConnected()) return;
    filters::TBCAutoLock receive(ReceiveLock());
    SendHeldLocked();
}

HRESULT TSoundEncoder::SendHeldLocked()
{
    if (!EncoderOpen() || !held_) return S_OK;
    held_ = false;
    return EncodeHeld();
}

HRESULT TSoundEncoder::EndOfStream()
{
    SendHeldLocked();  // the pin holds the receive lock
    return TEncoderFilter::EndOfStream();
}

HRESULT TSoundEncoder::Deliver(const void* data, int bytes, std::int64_t framesAfter)
{
    if (bytes <= 0) return S_OK;
    ComPtr<IMediaSample> out;
    HRESULT hr = OutputPin()->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dest = nullptr;
    if (FAILED(out->GetPointer(&dest)) || dest == nullptr || out->GetSize() < bytes) return E_UNEXPECTED;
    std::memcpy(dest, data, static_cast<std::size_t>(bytes));
    out->SetActualDataLength(bytes);
    REFERENCE_TIME start = start_ + framesSent_ * frameSamples_ * 10000000LL / rate_;
    REFERENCE_TIME stop = start_ + framesAfter * frameSamples_ * 10000000LL / rate_;
    if (stop <= start) stop = start + 1;
    out->SetTime(&start, &stop);
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(framesSent_ == 0 ? TRUE : FALSE);
    framesSent_ = std::max(framesAfter, framesSent_);
    IMemInputPin* downstream = OutputPin()->InputPin();
    return downstream == nullptr ? VFW_E_NOT_CONNECTED : downstream->Receive(out.Get());
}

std::array<REGFILTERPINS, 2> EncoderPins(const REGPINTYPES* in, UINT inCount, const REGPINTYPES* out, UINT outCount)
{
    return {{{const_cast<LPWSTR>(L"XForm In"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, inCount, in},
             {const_cast<LPWSTR>(L"XForm Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, outCount, out}}};
}

}  // namespace standins
