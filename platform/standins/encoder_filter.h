// The stand-ins' encoders on one base: one output type made from the input's, output buffers of a
// least size, libavcodec's coder objects held together and the entry that lists an encoder; the sound
// encoders' receive loop and time stamps on top of it.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <array>
#include <cstdint>

#include "filters/transform_filter.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace standins {

// A libavcodec coder with the frame it takes and the packet it gives. Open allocates the three (false
// when one cannot be had, with none kept); Close frees them. Streaming thread, and Pause/Stop.
struct TAvCoder {
    AVCodecContext* Context = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;

    TAvCoder() = default;
    TAvCoder(const TAvCoder&) = delete;
    TAvCoder& operator=(const TAvCoder&) = delete;
    ~TAvCoder() { Close(); }
    bool Open(const AVCodec* codec);
    void Close();
};

// A transform that codes. It offers one output type, made by OutputType once the input is connected;
// its allocator must give the buffers OutputRoom asks for (else E_FAIL); streaming stops by
// closing the coder.
class TEncoderFilter : public filters::TBCTransformFilter {
public:
    using TBCTransformFilter::TBCTransformFilter;

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) final;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) final;
    HRESULT StopStreaming() override
    {
        CloseEncoder();
        return S_OK;
    }

protected:
    // The output type for the input's current type: S_OK, E_UNEXPECTED (no format) or E_OUTOFMEMORY.
    virtual HRESULT OutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE& mt) = 0;
    // How many buffers at least, and how many bytes each must hold; a failure is answered as it is.
    virtual HRESULT OutputRoom(long& buffers, long& bytes) = 0;
    virtual void CloseEncoder() = 0;
};

// A sound encoder: 16-bit PCM of Channels() channels in. Receive stamps the stream's start from the
// first sample's time and hands the coder each sample's whole samples (a trailing part one is dropped)
// in pieces of at most PieceSamples(); the coder holds back what does not make a frame yet and sends
// its frames with Deliver, stamped by the frames coded since the start. When the stream stops (the
// graph pauses every filter before it stops them, and a capture's stop sends no end of stream) and at
// the end of the stream, the coder codes what it still holds, so that a recording keeps every sample
// it was fed. That delivery happens while the filter pauses: what follows must take samples then
// (the WAVE writer, the multiplexers), as a renderer, which holds a sample while paused, would not.
class TSoundEncoder : public TEncoderFilter {
public:
    TSoundEncoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller, int frameSamples)
        : TEncoderFilter(entry, controller), frameSamples_(frameSamples)
    {
    }

    HRESULT Receive(IMediaSample* sample) final;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT EndOfStream() override;

protected:
    // Whether the coder is open: samples that come while it is not are refused (VFW_E_WRONG_STATE).
    virtual bool EncoderOpen() const = 0;
    // The most samples (per channel) the coder takes in its next piece; with 0 (a full frame that
    // could not be coded) EncodePiece is still called, to code it or fail again.
    virtual int PieceSamples() const = 0;
    // Codes Samples interleaved samples at Pcm; anything but S_OK stops the sample there.
    virtual HRESULT EncodePiece(const std::int16_t* pcm, int samples) = 0;
    // Codes and sends what the coder holds back (the last frame filled out with silence); the
    // stream may go on after it.
    virtual HRESULT EncodeHeld() = 0;

    // A new stream of Channels channels coded at Rate samples a second: its stamps start again.
    void BeginStream(int channels, int rate);
    int Channels() const { return channels_; }
    // The frames sent downstream since the stream began.
    std::int64_t FramesSent() const { return framesSent_; }
    // Sends Bytes of coded data downstream (nothing for none) as the frames after those sent so far
    // up to FramesAfter, the first of the stream marked as a discontinuity.
    HRESULT Deliver(const void* data, int bytes, std::int64_t framesAfter);

private:
    // Codes what is held while the output can still take it (filter running or paused).
    void SendHeld();
    // Under the receive lock.
    HRESULT SendHeldLocked();

    const int frameSamples_;
    // Streaming thread (under the receive lock), and Pause/Stop.
    int channels_ = 2;
    int rate_ = 44100;
    bool haveStart_ = false;
    REFERENCE_TIME start_ = 0;  // stream time of the first sample
    std::int64_t framesSent_ = 0;
    bool held_ = false;  // samples came since the coder last sent what it held
};

// The pins "XForm In" and "XForm Out" of an encoder taking the In types and giving the Out types.
std::array<REGFILTERPINS, 2> EncoderPins(const REGPINTYPES* in, UINT inCount, const REGPINTYPES* out, UINT outCount);

// The list entry of an encoder under Category, never picked by intelligent connect: the program asks
// for it by class id or finds it by name. Pins must stay as long as the list.
template <class TFilter>
filters::TBCFilterTemplateEntry EncoderEntry(const char* name, const CLSID& clsid, const CLSID& category,
                                             const std::array<REGFILTERPINS, 2>& pins)
{
    filters::TBCFilterTemplateEntry entry;
    entry.Name = name;
    entry.FilterClsid = clsid;
    entry.Category = category;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = static_cast<UINT>(pins.size());
    entry.Pins = pins.data();
    entry.Create = [clsid](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TFilter(*filters::Templates().GetFactoryFromClassID(clsid), controller);
    };
    return entry;
}

}  // namespace standins
