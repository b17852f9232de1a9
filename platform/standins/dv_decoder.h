// The DV Video Decoder stand-in under the stock class id: dvsd frames in, RGB24 or YUY2 pictures out
// at the display size chosen through IIPDVDec (full, half, quarter, DC), the frame's DV video decoded.
#pragma once

namespace standins {

// The picture size of a display resolution (DVRESOLUTION_FULL .. DVRESOLUTION_DC) for a system;
// false for any other value.
bool DVDecoderPictureSize(int display, bool pal, int& width, int& height);

}  // namespace standins
