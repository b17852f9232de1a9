// The video source and its preview branch: the device's own filters, an optional colour space
// converter, the overlay filter, the recording tee and a second tee, the preview time stamper, a
// second converter and the video renderer; the native format, the camcorder window, the device
// type and the crossbar route. Main thread only; the graph is stopped while the branch changes.
#pragma once

#include "engine/capture_sources.h"

namespace engine {

class TVideoSource : public TavFlux {
public:
    CLASSLIB_CLASS_NAME(TVideoSource)
    // Named after the device ("DV Source - Video", "Camera #2", ...); an Index outside 1..VideoCount
    // gives an empty source with no device.
    TVideoSource(TCaptureDevice* ADevice, int AIndex);

    // Tears down the current video source and builds this one's branch; the graph is left stopped.
    // False (with nothing of the branch left behind) when the device gives no picture or a link of
    // the chain does not connect.
    bool BuildGraph();
    // Removes the branch; KillSource also lets the device's source part and the camcorder window go
    // unless the current sound source uses the same device. False when the source was not active.
    bool KillGraph(bool KillSource);
    // Fills the data module's video settings interfaces from the device's source filter.
    bool FindVideoSourceInterfaces();

private:
    void ReadNativeFormat();
    void RouteCrossbar();
    void ReleaseInterfaces();
};

}  // namespace engine
