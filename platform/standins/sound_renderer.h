// The sound renderer stand-in under the stock DirectSound renderer's class id (so the "Default
// DirectSound Device" moniker binds it in our prefixes): one input pin that takes PCM sound and plays
// it as it comes through winmm's waveOut, the volume and balance of IBasicAudio, and a reference
// clock for the graph. Wine's own renderer keeps the play position of its previous connection when it
// is connected again in another format, and then writes through an unchecked failed buffer lock.
#pragma once

namespace standins {

inline constexpr wchar_t kSoundRendererPinName[] = L"Audio Input pin (rendered)";
// Sound queued at the device beyond this is dropped: a preview never falls behind its source, and a
// renderer never holds back the streaming thread that also feeds a recording.
inline constexpr long long kSoundRendererMostQueued = 2500000;  // 250 ms
// A run starts playing once this much is queued (or the stream ends), so that sound arriving in
// small live buffers does not run dry at once.
inline constexpr long long kSoundRendererCushion = 600000;  // 60 ms

}  // namespace standins
