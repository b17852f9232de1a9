// The track bar of the class library.
#include "classlib/track_bar.h"

#include <algorithm>
#include <commctrl.h>

#include "classlib/image_list.h"

namespace classlib {

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
    SetBounds(0, 0, 150, 45);
    SetTabStop(true);
}

void TTrackBar::SetRange(int AMin, int AMax) {
    min_ = AMin;
    max_ = std::max(AMin, AMax);
    if (HandleAllocated()) {
        SendMessageA(WindowHandle(), TBM_SETRANGEMIN, FALSE, min_);
        SendMessageA(WindowHandle(), TBM_SETRANGEMAX, TRUE, max_);
    }
    SetPosition(position_);
}

void TTrackBar::SetPosition(int Value) {
    Value = std::clamp(Value, min_, max_);
    if (HandleAllocated()) SendMessageA(WindowHandle(), TBM_SETPOS, TRUE, Value);
    if (Value == position_) return;
    position_ = Value;
    Changed();
}

void TTrackBar::SetFrequency(int Value) {
    frequency_ = std::max(1, Value);
    if (HandleAllocated()) SendMessageA(WindowHandle(), TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
}

void TTrackBar::SetLineSize(int Value) {
    lineSize_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), TBM_SETLINESIZE, 0, Value);
}

void TTrackBar::SetPageSize(int Value) {
    pageSize_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), TBM_SETPAGESIZE, 0, Value);
}

void TTrackBar::SetOrientation(TTrackBarOrientation Value) {
    if (orientation_ == Value) return;
    orientation_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TTrackBar::CreateParams(TCreateParams& Params) {
    InitCommonControlClasses();
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, TRACKBAR_CLASSA);
    Params.Style |= TBS_AUTOTICKS | (orientation_ == TTrackBarOrientation::trVertical ? TBS_VERT : TBS_HORZ);
}

void TTrackBar::CreateWnd() {
    TWinControl::CreateWnd();
    HWND h = WindowHandle();
    SendMessageA(h, TBM_SETRANGEMIN, FALSE, min_);
    SendMessageA(h, TBM_SETRANGEMAX, FALSE, max_);
    SendMessageA(h, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
    SendMessageA(h, TBM_SETLINESIZE, 0, lineSize_);
    SendMessageA(h, TBM_SETPAGESIZE, 0, pageSize_);
    SendMessageA(h, TBM_SETPOS, TRUE, position_);
}

void TTrackBar::Dispatch(TMessage& Message) {
    if (Message.Msg == CN_HSCROLL || Message.Msg == CN_VSCROLL) {
        int pos = static_cast<int>(SendMessageA(WindowHandle(), TBM_GETPOS, 0, 0));
        if (pos != position_) {
            position_ = pos;
            Changed();
        }
        Message.Result = 0;
        return;
    }
    TWinControl::Dispatch(Message);
}

void TTrackBar::Changed() {
    if (OnChange) OnChange(this);
}

}  // namespace classlib
