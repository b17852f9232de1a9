#include "filters/picture_slots.h"

#include <dshow.h>
#include <dvdmedia.h>

#include <cstring>

#include "filters/dv_codes.h"

namespace filters {

REFERENCE_TIME TPictureSlots::StatedFrameTime(const AM_MEDIA_TYPE& type, long bytes)
{
    // AvgTimePerFrame lies at the same place in both video format blocks.
    if ((type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_VideoInfo2) && type.pbFormat != nullptr &&
        type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        REFERENCE_TIME t = 0;
        std::memcpy(&t, type.pbFormat + offsetof(VIDEOINFOHEADER, AvgTimePerFrame), sizeof(t));
        if (t > 0) return t;
    }
    // A DV frame's size says its system.
    if (type.subtype == MEDIASUBTYPE_dvsd) {
        const long size = type.lSampleSize > 0 ? static_cast<long>(type.lSampleSize) : bytes;
        if (size == static_cast<long>(kDVFrameBytes625)) return kDVFrameTime625;
        if (size == static_cast<long>(kDVFrameBytes525)) return kDVFrameTime525;
    }
    return 0;
}

bool TPictureSlots::Pass(const AM_MEDIA_TYPE& type, long bytes, bool timed, bool discontinuity, bool standsAlone,
                         REFERENCE_TIME& start, REFERENCE_TIME& stop, REFERENCE_TIME clock)
{
    const REFERENCE_TIME wanted = frameTime_.load();
    const REFERENCE_TIME frameTime = wanted == kStatedFrameTime ? StatedFrameTime(type, bytes) : wanted;
    if (frameTime <= 0) {
        return true;
    }
    if (slots_.FrameTime() != frameTime) {
        slots_.SetFrameTime(frameTime, true);
    }
    const TFrameSlots::TPlace place = slots_.Place(timed, discontinuity, start, timed ? stop : start, clock);
    if (place.LeftOut && standsAlone) {
        leftOut_.fetch_add(1);
        return false;
    }
    if (timed) {
        start = place.Start;
        stop = place.Stop;
    }
    return true;
}

}  // namespace filters
