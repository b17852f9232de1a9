// A camcorder's transport panel: the tape transport and timecode reader of one DV device (filled and
// emptied by the capture engine), the seven transport buttons with their actions and the play-pause
// toggle. Every operation does nothing while the panel has no transport. Main thread only.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "classlib/image_list.h"
#include "widgets/custom/super_actions.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_forms.h"

namespace ui {

// The external-transport modes the panel sets.
namespace transport_mode {
constexpr long kPlay = 4296;
constexpr long kStop = 4297;
constexpr long kFreeze = 4298;
constexpr long kFastForward = 4300;
constexpr long kRewind = 4301;
constexpr long kFastestForward = 5029;
constexpr long kSlowestForward = 5030;
constexpr long kFastestReverse = 5031;
constexpr long kSlowestReverse = 5032;
}  // namespace transport_mode

class Tnav_captureframe : public widgets::TUcFrame {
public:
    CLASSLIB_CLASS_NAME(Tnav_captureframe)
    explicit Tnav_captureframe(classlib::TComponent* AOwner);

    widgets::TUcActionList* ActionList1 = nullptr;
    widgets::custom::TSuperAction* cam_Play = nullptr;
    widgets::custom::TSuperAction* cam_Pause = nullptr;
    widgets::custom::TSuperAction* cam_Stop = nullptr;
    widgets::custom::TSuperAction* cam_AvanceLent = nullptr;
    widgets::custom::TSuperAction* cam_ReculeLent = nullptr;
    widgets::custom::TSuperAction* cam_AvanceRapide = nullptr;
    widgets::custom::TSuperAction* cam_ReculeRapide = nullptr;
    widgets::custom::TtoggleAction* cam_PlayPause = nullptr;
    // The transport buttons' pictures (16 x 16), given to the panel's actions.
    classlib::TImageList* ImageList1 = nullptr;
    widgets::TUcToolBar* ToolBar1 = nullptr;

    // The slots the capture engine fills when a DV source's branch is built and empties when it goes.
    IAMExtTransport* Transport() const { return transport_.Get(); }
    void SetTransport(IAMExtTransport* Value) { transport_ = Value; }
    bool HasTransport() const { return hasTransport_; }
    void SetHasTransport(bool Value) { hasTransport_ = Value; }
    IAMTimecodeReader* TimecodeReader() const { return timecode_.Get(); }
    void SetTimecodeReader(IAMTimecodeReader* Value) { timecode_ = Value; }
    bool HasTimecode() const { return hasTimecode_; }
    void SetHasTimecode(bool Value) { hasTimecode_ = Value; }

    // The transport's current mode; -1 without a transport or when it does not answer.
    long TransportMode() const;

    void TransportPlay();
    void TransportFreeze();
    void TransportStop();
    void TransportSlowForward();
    void TransportSlowReverse();
    // Stopped: fast forward (rewind); any other mode: the fastest forward (reverse) play.
    void TransportFastForward();
    void TransportFastReverse();
    // Playing: freeze; any other mode: play.
    void TransportPlayPause();

    // The play-pause toggle: its prepare step takes the camcorder's state (playing is True), its
    // False-state handler plays, its True-state handler freezes, each setting the state it leaves.
    void cam_PlayPauseprepare(classlib::TObject* Sender);
    void cam_PlayPausefalseExecute(classlib::TObject* Sender);
    void cam_PlayPauseTrueExecute(classlib::TObject* Sender);

private:
    // Puts the transport in Mode; nothing without one.
    void SetMode(long Mode);
    bool Usable() const { return hasTransport_ && transport_; }

    Microsoft::WRL::ComPtr<IAMExtTransport> transport_;
    Microsoft::WRL::ComPtr<IAMTimecodeReader> timecode_;
    bool hasTransport_ = false;
    bool hasTimecode_ = false;
};

}  // namespace ui

namespace ui {

// A DV timecode read from a camcorder (hours, minutes, seconds and frames as two binary-coded
// decimal digits each, hours in the top byte) as the camcorder window shows it: "1:02:03:04"; an
// hour's leading zero is dropped, "12:00:00:00" keeps both digits.
std::wstring TimecodeText(std::uint32_t Value);

}  // namespace ui
