// The device settings menus: the driver dialogs, property pages and crossbar inputs that the
// current sources' filters offer, as items of the main window's two pop-up menus, and what a
// chosen item does (show its page, then select the sources and format again and run the graph).
// The methods belong to the capture data module (declared there). Main thread only.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>

namespace dshow {
class TCrossbar;
}

namespace engine {

// The kinds of settings page, in slot order; each slot holds the tag of the item that shows
// its page (-1 when the last filling added none).
enum TSettingsSlot : int {
    ssVideoFormat = 0,
    ssVideoSource,
    ssVideoDisplay,
    ssVideoCaptureFilter,
    ssVideoCrossbar,
    ssTVTuner,
    ssAudioCaptureFilter,
    ssSecondCrossbar,
    ssTVAudio,
    ssVideoCapturePin,
    ssVideoPreviewPin,
    ssAudioCapturePin,
    kSettingsSlotCount
};

// Whether Object offers property pages (at least one).
bool HasPropertyPages(IUnknown* Object);
// Shows Object's pages in a modal property frame owned by Owner at (30, 30); false when it offers
// none or the frame could not be shown.
bool ShowPropertyFrame(HWND Owner, IUnknown* Object);

// The input of Crossbar (its chain index) that every crossbar of the chain is routed to now; -1
// when no chain is routed throughout. Reads the routes only.
long RoutedInput(const dshow::TCrossbar& Crossbar);

}  // namespace engine
