// The media types the MPEG stand-ins pass between them: coded MPEG-1 and MPEG-2 video (read from and
// written into their DirectShow format blocks) and MPEG-1 audio layer II (MPEG1WAVEFORMAT).
#pragma once

#include <windows.h>
#include <strmif.h>

namespace standins {

struct TMpegVideo {
    bool Mpeg2 = true;
    int Width = 0;
    int Height = 0;
    REFERENCE_TIME FrameTime = 0;  // 0: not given
};

// MPEG-2 video (subtype MPEG2_VIDEO, an MPEG2VIDEOINFO) or MPEG-1 video (subtype MPEG1Payload or
// MPEG1Video, an MPEG1VIDEOINFO), of a positive size of at most 4096 x 4096; false for anything else
// or a short format block.
bool ReadMpegVideo(const AM_MEDIA_TYPE& mt, TMpegVideo& video);
// The type of such video into the initialised mt (its old format block freed); false when the block
// cannot be allocated.
bool MakeMpegVideoType(const TMpegVideo& video, AM_MEDIA_TYPE& mt);

struct TMpegAudio {
    int Rate = 0;      // 32000, 44100 or 48000
    int Channels = 0;  // 1 or 2
    int BitRate = 0;   // bits per second, 0 when not given
};

// MPEG-1 audio layer I or II (subtype MPEG1Audio or MPEG1AudioPayload, a WAVEFORMATEX of the MPEG tag)
// at an MPEG-1 rate; false for anything else.
bool ReadMpegAudio(const AM_MEDIA_TYPE& mt, TMpegAudio& audio);
bool MakeMpegAudioType(const TMpegAudio& audio, AM_MEDIA_TYPE& mt);

}  // namespace standins
