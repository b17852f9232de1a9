// Device classification and the decoder search: what kind of capture device a moniker names (by
// putting its filter into the capture graph once and asking for its output pins), and the filters
// that turn a native video type into video, for the video device to try one by one.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>

namespace dshow {
class TFilter;
}

namespace engine {

using Microsoft::WRL::ComPtr;

// Classification answers.
constexpr std::uint8_t kClassNone = 0;
constexpr std::uint8_t kClassDV = 1;
constexpr std::uint8_t kClassVideo = 3;
constexpr std::uint8_t kClassSound = 4;
constexpr std::uint8_t kClassStream = 5;

// 1 DV (an interleaved output), 5 a raw byte stream, 3 video, 4 sound, 0 anything else or a
// moniker that cannot be bound. The probe filter leaves the graph again whatever the answer.
std::uint8_t ClassifyDevice(IMoniker* Moniker);

// The candidates of the last decoder search, walked by the video device's decoder loop.
extern ComPtr<IEnumMoniker> DecoderEnum;

// Asks the filter mapper for the filters taking MediaType's major type and subtype in and giving
// video out, into DecoderEnum (at its start). False when the mapper cannot be asked.
bool FindVideoDecoders(const AM_MEDIA_TYPE& MediaType);

// The filters the filter mapper lists for one input type and one output type (major type, subtype;
// GUID_NULL for any), exact match, any merit, at the start of the list; nullptr when the mapper
// cannot be asked or gives no list.
ComPtr<IEnumMoniker> MatchingFilters(const GUID (&Input)[2], const GUID (&Output)[2]);
// Puts the next moniker of Candidates into Component, which leaves the graph first; false when
// there is none.
bool NextCandidate(IEnumMoniker* Candidates, dshow::TFilter* Component);

}  // namespace engine
