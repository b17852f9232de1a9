// What the AVI multiplexer stand-in makes of the media types its inputs take: which it accepts
// (video of any subtype, interleaved DV, PCM and MPEG sound), what the file says of a stream of
// that type, and the frame rate of a stream, from its type or from what its samples show.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <optional>

#include "platform/standins/avi_writer.h"

namespace standins {

bool IsSoundType(const AM_MEDIA_TYPE& mt);
bool IsInterleavedDV(const AM_MEDIA_TYPE& mt);
bool IsVideoType(const AM_MEDIA_TYPE& mt);

// The frame time (100 ns units) a video or interleaved DV type states; none when it states none.
std::optional<REFERENCE_TIME> StatedFrameTime(const AM_MEDIA_TYPE& mt);
// The frame time of a DV frame of that many bytes; none for other sizes.
std::optional<REFERENCE_TIME> DVFrameTimeOfSize(std::uint32_t bytes);

// Scale and rate of a frame time: the NTSC rates exactly, others reduced from 100-ns units, 25
// frames a second for a time that is none or out of range.
void RateOfFrameTime(REFERENCE_TIME frameTime, std::uint32_t& scale, std::uint32_t& rate);

// What the file says of a stream taking this media type (one that the checks above accept).
TAviStreamSetup SetupOf(const AM_MEDIA_TYPE& mt);

}  // namespace standins
