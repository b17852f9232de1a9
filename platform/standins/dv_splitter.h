// The DV Splitter stand-in under the stock class id: interleaved DV in; once its input is connected, a
// dvsd video output (the frames unchanged) and a PCM sound output (the samples our frames carry, or
// silence of the frame's length when a frame carries none, and in the place of frames lost before one).
#pragma once

namespace standins {

// Output pin names, in pin order after the input.
constexpr wchar_t kDVSplitterVideoPin[] = L"DVVidOut0";
constexpr wchar_t kDVSplitterAudioPin[] = L"AudOut00";

}  // namespace standins
