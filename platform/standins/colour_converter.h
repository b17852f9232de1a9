// The Colour Space Converter stand-in under the stock class id and name: a copying transform
// between RGB24, RGB32 and YUY2 pictures of the same size, offering those three as output types.
#pragma once

#include "filters/transform_filter.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace standins {

// How one picture lies in memory.
struct TPictureLayout {
    enum TKind : std::uint8_t { pkNone, pkRgb24, pkRgb32, pkYuy2 };
    TKind Kind = pkNone;
    int Width = 0;       // pixels shown per row
    int Height = 0;      // rows, always positive
    int Stride = 0;      // bytes from one row to the next
    bool BottomUp = false;
    // Bytes a sample must hold: Stride * Height.
    std::size_t Bytes() const { return static_cast<std::size_t>(Stride) * static_cast<std::size_t>(Height); }
};

// The layout of a video type; Kind stays pkNone for a type this filter cannot read or write
// (another subtype, a missing or short format block, absurd sizes, odd YUY2 widths).
TPictureLayout PictureLayoutOf(const AM_MEDIA_TYPE* mediaType);

// Converts one picture; both layouts must be valid and of the same width and height.
void ConvertPicture(const std::uint8_t* source, const TPictureLayout& from, std::uint8_t* dest,
                    const TPictureLayout& to);

class TColourConverter : public filters::TBCTransformFilter {
public:
    TColourConverter(const filters::TBCFilterTemplateEntry& factory, IUnknown* controller);

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT SetMediaType(PIN_DIRECTION dir, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    // The same picture on both sides (the preview's first converter, before the overlay): a sample
    // goes on as it came, unless it is shared read-only, brings a new type or is short.
    HRESULT Receive(IMediaSample* sample) override;

private:
    void UpdatePassThrough();
    // Written when a pin's type is set (stopped) or a sample carries a new type (streaming thread).
    TPictureLayout inLayout_;
    TPictureLayout outLayout_;
    std::atomic<bool> passThrough_{false};  // both layouts set and alike
};

}  // namespace standins
