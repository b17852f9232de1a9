// The sound source and its preview branch: the device's sound branch, the preview control time
// stamper, the recording tee, the preview time stamper, a second tee and the DirectSound renderer
// (without one the preview is silent and the recordings work all the same); the sound format, the
// camcorder window and the device type. Main thread only; the graph is stopped while the branch
// changes.
#pragma once

#include "engine/capture_sources.h"

namespace engine {

class TAudioSource : public TavFlux {
public:
    CLASSLIB_CLASS_NAME(TAudioSource)
    // Named after the device ("DV Source - Audio", "Microphone#2", ...); an Index outside
    // 1..AudioCount gives an empty source with no device.
    TAudioSource(TCaptureDevice* ADevice, int AIndex);

    // Tears down the current sound source and builds this one's branch; the graph is left stopped.
    // False (with nothing of the branch left behind) when the device gives no sound or a link of
    // the chain up to the second tee does not connect.
    bool BuildGraph();
    // Removes the branch; KillSource also lets the device's source part and the camcorder window go
    // unless the current video source uses the same device. False when the source was not active.
    bool KillGraph(bool KillSource);
    // Fills the data module's sound settings interfaces from the device's source filter.
    bool FindAudioSourceInterfaces();
};

}  // namespace engine
