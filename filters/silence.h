// Silence in a sound stream's own format, for the time a sound input gave none: PCM of any layout,
// and MPEG audio layer III frames that decode to nothing but silence (a coded stream cannot be
// given zeros). Other formats get none.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>

namespace filters {

class TSilence {
public:
    // The silence of Type's format.
    explicit TSilence(const AM_MEDIA_TYPE& type);

    // Whether silence of this format can be made.
    bool Made() const { return perUnit_ > 0; }
    // The units (sample frames, or coded frames) that last Length, to the nearest one.
    std::int64_t UnitsIn(REFERENCE_TIME length) const;
    // How long Units last, from the first one made.
    REFERENCE_TIME TimeOf(std::int64_t units) const;
    // Writes units First, First + 1, ... of silence into Into (Room bytes), as many whole ones as fit
    // and Count at most; answers how many and the bytes they took (coded frames of one bit rate
    // differ by the padding byte that keeps the rate exact).
    std::int64_t Write(BYTE* into, long room, std::int64_t first, std::int64_t count, long& bytes) const;

private:
    long UnitBytes(std::int64_t unit) const;

    DWORD rate_ = 0;         // samples a second
    std::int64_t perUnit_ = 0;  // samples a unit holds; 0: no silence of this format
    // PCM: the bytes of a sample frame and the value of a silent byte.
    long frameBytes_ = 0;
    BYTE zero_ = 0;
    // MPEG audio: a unit's bytes are Num / Den on average, its header before zeros (its side
    // information all zero: no coded value, no gain).
    bool coded_ = false;
    std::int64_t num_ = 0, den_ = 1;
    BYTE header_[4] = {};
};

}  // namespace filters
