// The track bar: a msctls_trackbar32 window with a range, a position and tick marks.
#pragma once

#include <windows.h>

#include <algorithm>

#include "classlib/controls.h"

namespace classlib {

enum class TTrackBarOrientation { trHorizontal, trVertical };

// Min, Max and Position are kept by the control and sent to the window; Position is limited to
// the range. OnChange fires when the position changes, from code or by the user.
class TTrackBar : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TTrackBar)
    explicit TTrackBar(TComponent* AOwner);
    int Min() const { return min_; }
    void SetMin(int Value) { SetRange(Value, std::max(Value, max_)); }
    int Max() const { return max_; }
    void SetMax(int Value) { SetRange(std::min(min_, Value), Value); }
    int Position() const { return position_; }
    void SetPosition(int Value);
    int Frequency() const { return frequency_; }
    void SetFrequency(int Value);
    int LineSize() const { return lineSize_; }
    void SetLineSize(int Value);
    int PageSize() const { return pageSize_; }
    void SetPageSize(int Value);
    TTrackBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTrackBarOrientation Value);

    TNotifyEvent OnChange;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    virtual void Changed();

private:
    void SetRange(int AMin, int AMax);
    int min_ = 0, max_ = 10, position_ = 0;
    int frequency_ = 1, lineSize_ = 1, pageSize_ = 2;
    TTrackBarOrientation orientation_ = TTrackBarOrientation::trHorizontal;
};

}  // namespace classlib
