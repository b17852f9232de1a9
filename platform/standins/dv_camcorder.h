// The synthetic DV camcorder of the test prefixes: a live source in the video input category whose one
// capture pin delivers interleaved DV frames (625/50 by default, 525/60 on request) carrying advancing
// timecode and recording date and time, with a date jump and an undated stretch on request; it answers
// the tape transport, external device, timecode reader and dropped-frame interfaces.
//
// Tests steer it through IQuillDVCamcorder (below) or through DWORD values read when the filter is
// created, under HKEY_CURRENT_USER\Software\Quillotrane\Test DV Camcorder:
//   NTSC (1: 525/60), Wide (1: 16:9), DateJumpFrame and DateJumpSeconds (signed), UndatedFrom and
//   UndatedCount, DeviceType (the ED_DEVCAP_DEVICE_TYPE answer). A value of another type or size is
//   ignored (its default stays). A test may also have it lose frames on the bus, the tape going on
//   past them ("Lost pictures", recording_settings.h), give its frames by a clock of its own with
//   stamps that stray, as a real camera does ("Picture interval", "Picture jitter"), say less at a
//   stop, as other capture pins do ("Pictures unstamped", "Stop untold", "No stream control"), and
//   list when each run's first picture was taken ("Picture times").
#pragma once

#include <windows.h>
#include <dshow.h>

namespace standins {

// {6F3C1A80-8E2D-4B7C-9A51-2D7E60C3B401}
inline const CLSID CLSID_QuillDVCamcorder = {0x6f3c1a80, 0x8e2d, 0x4b7c, {0x9a, 0x51, 0x2d, 0x7e, 0x60, 0xc3, 0xb4, 0x01}};
// {6F3C1A81-8E2D-4B7C-9A51-2D7E60C3B401}
inline const IID IID_IQuillDVCamcorder = {0x6f3c1a81, 0x8e2d, 0x4b7c, {0x9a, 0x51, 0x2d, 0x7e, 0x60, 0xc3, 0xb4, 0x01}};

constexpr wchar_t kDVCamcorderName[] = L"Quillotrane Test DV Camcorder";
constexpr wchar_t kDVCamcorderKey[] = L"Software\\Quillotrane\\Test DV Camcorder";

// Device types the program tells apart (ED_DEVCAP_DEVICE_TYPE answers).
constexpr LONG kDVDeviceTypeVcr = 0x1008;
constexpr LONG kDVDeviceTypeCamera = 0x1384;

// Transport modes beyond those of edevdefs.h.
constexpr LONG kDVModePlayFastestFwd = 5029;
constexpr LONG kDVModePlaySlowestFwd = 5030;
constexpr LONG kDVModePlayFastestRev = 5031;
constexpr LONG kDVModePlaySlowestRev = 5032;

// Positions below are tape frames: the tape starts at frame 0 and advances one frame per delivered
// frame while playing (the transport mode sets the speed; stopped and frozen hold the frame).
struct IQuillDVCamcorder : public IUnknown {
    // 625/50 (TRUE) or 525/60; VFW_E_ALREADY_CONNECTED while the pin is connected.
    virtual HRESULT STDMETHODCALLTYPE SetSystem(BOOL pal) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWide(BOOL wide) = 0;
    // Recording date and time of tape frame 0; E_INVALIDARG when it is not a real date and time
    // (years 1940 to 2039, the span the date pack holds).
    virtual HRESULT STDMETHODCALLTYPE SetRecordingStart(int year, int month, int day, int hour, int minute,
                                                        int second) = 0;
    // From tape frame AtFrame on, the recording date is Seconds later (earlier when negative); AtFrame < 0: none.
    virtual HRESULT STDMETHODCALLTYPE SetDateJump(LONG atFrame, LONG seconds) = 0;
    // Tape frames FromFrame .. FromFrame + Count - 1 carry no recording date; Count <= 0: none.
    virtual HRESULT STDMETHODCALLTYPE SetUndated(LONG fromFrame, LONG count) = 0;
    // Timecode of tape frame 0; E_INVALIDARG outside 0:00:00:00 .. 23:59:59 and the system's frames.
    virtual HRESULT STDMETHODCALLTYPE SetStartTimecode(int hours, int minutes, int seconds, int frames) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTapeFrame(LONG* frame) = 0;
    // Frames delivered since the filter was created.
    virtual HRESULT STDMETHODCALLTYPE GetFramesDelivered(LONG* count) = 0;
};

}  // namespace standins
