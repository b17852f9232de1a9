// What the capture engine asks of the main window and its panels: the window handle, the sources
// panel's video label and the two camcorder windows. The user interface implements it, tests
// implement their own; the program installs one host at start-up. Without a host the engine has
// no owner window, no label to write and no camcorder window to bind.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>
#include <string>

namespace engine {

// The sources panel's lists, as the device settings menus read their texts.
constexpr int kVideoSourceList = 0;
constexpr int kAudioSourceList = 1;
constexpr int kCaptureFormatList = 2;

// One camcorder control window: its caption, visibility, the tape transport and timecode reader
// slots of its control frame and the "stop the tape when the source lets go" box. Every method is
// called on the main thread; a call may run a message loop (a window shown or hidden).
class ICamWindow {
public:
    virtual void SetCaption(const std::wstring& Caption) = 0;
    // The show flag the main window's camcorder-window toggle keeps.
    virtual bool ShowFlag() = 0;
    virtual void SetVisible(bool Visible) = 0;
    // The frame's transport slot; nullptr when empty. Setting nullptr releases it.
    virtual IAMExtTransport* Transport() = 0;
    virtual void SetTransport(IAMExtTransport* Transport) = 0;
    virtual void SetHasTransport(bool Value) = 0;
    virtual void SetTimecodeReader(IAMTimecodeReader* Reader) = 0;
    virtual void SetHasTimecode(bool Value) = 0;
    // The stop-on-leave box.
    virtual bool StopOnLeave() = 0;
    // Puts the attached transport in stop mode; nothing without one.
    virtual void TransportStop() = 0;

protected:
    ~ICamWindow() = default;
};

class IEngineHost {
public:
    virtual ~IEngineHost() = default;
    // The main window's handle (owner of the engine's message boxes); nullptr when none. Main thread.
    virtual HWND MainWindowHandle() = 0;
    // Writes the sources panel's video label. Main thread.
    virtual void SetVideoLabel(const std::wstring& Caption) = 0;
    // The first (0) or second (1) camcorder window; nullptr when there is none. Main thread.
    virtual ICamWindow* CamWindow(int Index) = 0;
    // A camcorder window went away: when it was the active one, the other becomes active. Main thread.
    virtual void ForgetCamForm(ICamWindow* Window) = 0;
    // The options panel's Windows Media choice, read by the Windows Media builder: the profile
    // list's item (0 stands for the default profiles), the default-profile group's item ("High",
    // "Medium", "Low", "Internet") and the Windows Media version group's item (4.0, 7.0, 8.0).
    virtual int WmvProfileItem() { return 0; }
    virtual int WmvDefaultProfileItem() { return 0; }
    virtual int WmvVersionItem() { return 0; }
    // After a settings page: the text of one of the sources panel's lists, and the main window's
    // selections of a video source, a sound source and a capture format (each may run the graph
    // unless the data module's run is deferred). Main thread.
    virtual std::wstring SourcesListText(int List) {
        (void)List;
        return {};
    }
    virtual bool SelectVideoSourceNamed(const std::wstring& Name) {
        (void)Name;
        return false;
    }
    virtual bool SelectAudioSourceNamed(const std::wstring& Name) {
        (void)Name;
        return false;
    }
    virtual void SelectCaptureFormatNamed(std::uint8_t Format) { (void)Format; }
    // Whether a recording is running (its branch hangs from the preview's tees). Main thread.
    virtual bool CaptureRunning() { return false; }
};

// Installs the host (main thread: once at start-up; tests around their cases). nullptr removes it.
void SetEngineHost(IEngineHost* Host);
IEngineHost* EngineHost();

}  // namespace engine
