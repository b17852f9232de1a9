// The DV Muxer stand-in under the stock class id: dvsd video in (pin 0) and, once the video input is
// connected, a PCM sound input (pin 1); the output (always the last pin) carries interleaved DV frames
// whose audio blocks and AAUX packs hold the sound received. A frame waits for the sound of its time;
// when a run ends (a stop or a cut), the frames still waiting go out with the sound that came. When
// its streams end, the output ends once the video and the sound that goes with it have come.
#pragma once

namespace standins {

constexpr wchar_t kDVMuxerVideoPin[] = L"Video Input";
constexpr wchar_t kDVMuxerAudioPin[] = L"Audio Input 1";
constexpr wchar_t kDVMuxerOutputPin[] = L"Output";

}  // namespace standins
