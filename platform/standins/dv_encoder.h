// The DV Video Encoder stand-in under the stock class id and name: RGB24 or YUY2 pictures of any size
// in, dvsd frames out with the whole DIF framing and their header, subcode and VAUX packs, the picture
// scaled to the DV raster and coded as real DV video; its format is set through IDVEnc.
#pragma once

namespace standins {

constexpr wchar_t kDVEncoderName[] = L"DV Video Encoder";

}  // namespace standins
