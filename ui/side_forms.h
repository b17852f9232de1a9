// The program's smaller forms: the full-screen backdrop (Tplaque) and a camcorder window (TcamForm),
// each created once at start; the shortcuts window (TRaccourcisForm) has a module of its own.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include "engine/engine_host.h"
#include "ui/nav_capture_frame.h"
#include "ui/raccourcis_form.h"
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"

namespace ui {

// The black borderless window behind the video in full screen; closing it only hides it.
class Tplaque : public widgets::TUcForm {
public:
    CLASSLIB_CLASS_NAME(Tplaque)
    explicit Tplaque(classlib::TComponent* AOwner);

    // The frame square behind the video.
    widgets::TUcShape* Shape1 = nullptr;

    void FormCreate(classlib::TObject* Sender);
    void FormClose(classlib::TObject* Sender, classlib::TCloseAction& Action);
    // A key press that is one of the main window's shortcuts runs it (so that they work in full
    // screen); other key presses and releases go on to the main window, answered with its
    // result; every other message (Alt with a key that is no shortcut too) is the form's own.
    void PlaqueWindowProc(classlib::TMessage& Message);
};

// One camcorder window: the device's name as caption, the tape's recording date, the timecode,
// the "Stop when quit" box and the transport and timecode slots the capture engine fills.
class TcamForm : public widgets::TUcForm, public engine::ICamWindow {
public:
    CLASSLIB_CLASS_NAME(TcamForm)
    explicit TcamForm(classlib::TComponent* AOwner);
    // A window that goes with "Stop when quit" checked stops its camcorder.
    ~TcamForm() override;

    widgets::TUcLabel* Label1 = nullptr;
    widgets::TUcImage* image1 = nullptr;
    Tnav_captureframe* nav_captureframe1 = nullptr;
    widgets::TUcPanel* TimecodePanel = nullptr;
    widgets::TUcCheckBox* cbStopQuittant = nullptr;
    // Whether the user had the window shown.
    bool Shown = false;

    // engine::ICamWindow: the transport and timecode slots are the transport panel's.
    void SetCaption(const std::wstring& Caption) override;
    bool ShowFlag() override { return Shown; }
    void SetVisible(bool Visible) override;
    IAMExtTransport* Transport() override { return nav_captureframe1->Transport(); }
    void SetTransport(IAMExtTransport* Transport) override { nav_captureframe1->SetTransport(Transport); }
    void SetHasTransport(bool Value) override { nav_captureframe1->SetHasTransport(Value); }
    void SetTimecodeReader(IAMTimecodeReader* Reader) override { nav_captureframe1->SetTimecodeReader(Reader); }
    void SetHasTimecode(bool Value) override { nav_captureframe1->SetHasTimecode(Value); }
    bool StopOnLeave() override { return cbStopQuittant->Checked(); }
    void TransportStop() override { nav_captureframe1->TransportStop(); }

    bool HasTransport() const { return nav_captureframe1->HasTransport(); }
    bool HasTimecode() const { return nav_captureframe1->HasTimecode(); }
    IAMTimecodeReader* TimecodeReader() const { return nav_captureframe1->TimecodeReader(); }
};

}  // namespace ui
