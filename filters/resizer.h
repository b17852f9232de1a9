// The resizer: a transform filter on RGB24 video that scales each frame (a halftone stretch: pixels
// weighted by their distance, in its own loop rather than through GDI) to a size derived from the input
// size, a size rule and the half-size preference, before a compressor.
#pragma once

#include "filters/transform_filter.h"

#include <atomic>
#include <cstdint>

namespace filters {

// {B543CC45-1D4D-4233-A58D-7A41248794FB}
extern const CLSID CLSID_QZ_Resizer;
extern const wchar_t* const ResizerFilterName;  // "Marbrecq Resizer"

// The output size for an input of w x h (h counted without its sign) under a size rule: 0 display
// aspect (aspectX:aspectY, unset when either is 0 or less), 1 4:3, 2 16:9, 3 half size; half is the
// half-size preference. Any other rule keeps the size.
SIZE ResizerOutputSize(int w, int h, int mode, bool half, int aspectX, int aspectY);

// Scales a 24-bit picture (rows padded to 4 bytes; TopDown: first row first, else last row first) to
// another size: each output pixel blends the two input columns and two input rows around its centre by
// their distance (bilinear, edges repeated). At half size that is the mean of the four pixels it
// stands for; at the same size, a copy.
void ResizerStretch(const BYTE* src, int inWidth, int inHeight, bool inTopDown, BYTE* dst, int outWidth, int outHeight,
                    bool outTopDown);

class TQZ_Resizer : public TBCTransformFilter {
public:
    TQZ_Resizer();

    // Chooses the size rule; it takes effect at the next input connection.
    void SetResizeMode(std::uint8_t mode);

    // The size rules read, at each input connection, the half-size preference "Demi Taille" and
    // the capture engine's display aspect (from the filters' host).

    int OutWidth() const { return outWidth_; }
    int OutHeight() const { return outHeight_; }
    bool NeedsResize() const { return needsResize_.load(); }
    bool ResizeEnabled() const { return resizeEnabled_.load(); }
    std::uint8_t ResizeMode() const { return resizeMode_.load(); }
    const VIDEOINFOHEADER& InputInfo() const { return inputInfo_; }
    const VIDEOINFOHEADER& OutputInfo() const { return outputInfo_; }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT SetMediaType(PIN_DIRECTION dir, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    // Padded bytes of a 24-bit picture.
    static long ImageBytes(int width, int height);
    void TakeInputFormat(const VIDEOINFOHEADER& info);

    int outWidth_ = 320;
    int outHeight_ = 240;
    // Read by the streaming thread; a mid-stream input type sets it there.
    std::atomic<bool> needsResize_{true};
    std::atomic<bool> resizeEnabled_{false};
    std::atomic<std::uint8_t> resizeMode_{0};
    VIDEOINFOHEADER inputInfo_{};
    VIDEOINFOHEADER outputInfo_{};
    BITMAPINFOHEADER dibHeader_{};
};

}  // namespace filters
