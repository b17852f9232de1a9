// The recording builders of the DV and AVI formats (DV type 2 from the device's DV, the device's
// video as delivered, video re-encoded to DV with the overlay, DV one frame per grab) are methods of
// the capture data module; this module adds the DV encoder's setting they share.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace engine {

// The DV system codes of the "Standard DV" setting and of a DV frame.
constexpr int kDVStandardPAL = 0;   // 625/50
constexpr int kDVStandardNTSC = 1;  // 525/60

// Sets a DV encoder to full-size dvsd frames of that system (PAL for 0, NTSC otherwise), without a
// DV format block. Raises when the encoder refuses or does not answer IDVEnc.
void SetDVEncoderFormat(IBaseFilter* Encoder, int Standard);

}  // namespace engine
