// The DV Video Encoder stand-in under the stock class id and name: RGB24 or YUY2 pictures in, dvsd
// frames out with the whole DIF framing and their header, subcode and VAUX packs, the picture content a
// placeholder (the picture's mean colour); its format is set through IDVEnc.
#pragma once

namespace standins {

constexpr wchar_t kDVEncoderName[] = L"DV Video Encoder";

}  // namespace standins
