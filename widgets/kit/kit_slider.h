// The kit's slider: a track bar drawn from bitmaps (a ruler stretched to the control's length and a
// thumb the user drags or moves with the keys or by pressing on the ruler), holding an integer
// value between MinValue and MaxValue.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "classlib/controls.h"
#include "classlib/gdi_handles.h"
#include "classlib/panels.h"
#include "classlib/timer.h"

namespace widgets::kit {

enum class TSliderOrientation { soHorizontal, soVertical };
enum TSliderOption : std::uint32_t {
    soShowFocus = 1u << 0,
    soShowPoints = 1u << 1,
    soSmooth = 1u << 2,
    soRulerOpaque = 1u << 3,
    soThumbOpaque = 1u << 4,
};
using TSliderOptions = std::uint32_t;
// The four images, in the order of UserImages' bits.
enum class TSliderImage { siHThumb, siHRuler, siVThumb, siVRuler };
enum class TJumpMode { jmNone, jmHome, jmEnd, jmNext, jmPrior };

class TKitCustomSlider : public classlib::TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TKitCustomSlider)
    explicit TKitCustomSlider(classlib::TComponent* AOwner);
    ~TKitCustomSlider() override;

    TSliderOrientation Orientation() const { return orientation_; }
    // Swaps width and height (not while loading).
    void SetOrientation(TSliderOrientation Value);
    TSliderOptions Options() const { return options_; }
    void SetOptions(TSliderOptions Value);
    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    // A maximum not above the minimum is ignored; a range below Increment narrows Increment.
    void SetMinValue(int Value) { SetRange(Value, maxValue_); }
    void SetMaxValue(int Value) { SetRange(minValue_, Value); }
    int Increment() const { return increment_; }
    // Raises Exception "Value must be between 1 and <range>" outside 1 .. MaxValue - MinValue.
    void SetIncrement(int Value);
    int Value() const { return value_; }
    // Clamped into the range; OnChange only when the value changed.
    void SetValue(int NewValue);
    HBITMAP Image(TSliderImage Which) const { return images_[static_cast<int>(Which)].Get(); }
    // A copy becomes the user's own image; nullptr puts the program's back.
    void SetImage(TSliderImage Which, HBITMAP Bitmap);
    std::uint8_t UserImages() const { return userImages_; }
    int NumThumbStates() const { return numThumbStates_; }
    void SetNumThumbStates(int Value);
    int EdgeSize() const { return edgeSize_; }
    // Taken only while twice the value is less than the ruler image's length.
    void SetEdgeSize(int Value);
    classlib::TPanelBevel BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(classlib::TPanelBevel Value);

    // Geometry, in client pixels: the sliding length, the thumb's place and the value's pixel.
    int SlideLength();
    RECT ThumbRect();
    int PositionOfValue(int AValue);
    int ValueOfPosition(int Position);
    // Home, End, next and prior steps as the keys and the ruler make them.
    void Jump(TJumpMode Mode);
    bool Sliding() const { return sliding_; }
    bool Tracking() const { return tracking_; }
    classlib::TTimer* TrackTimer() const { return trackTimer_.get(); }

    classlib::TNotifyEvent OnChange;
    classlib::TNotifyEvent OnChanged;
    classlib::TNotifyEvent OnDrawPoints;

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void SetEnabled(bool Value) override;
    void DefineProperties(classlib::TFiler* Filer) override;
    void Loaded() override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    virtual void Change();
    virtual void Changed();
    virtual void DrawPoints(HDC DC, int Step, int LongTick, int ShortTick);
    void Paint() override;
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseMove(classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;

private:
    struct TLayout {
        RECT Work{};
        int RulerLength = 0;
        POINT RulerOrigin{};
        SIZE Thumb{};
        SIZE RulerImage{};
    };
    TLayout Layout();
    void BuildRuler();
    void SetRange(int AMin, int AMax);
    void MoveThumbTo(int Offset);
    TJumpMode ModeAt(POINT P);
    void TrackTick();
    void StopTracking();
    bool Horizontal() const { return orientation_ == TSliderOrientation::soHorizontal; }
    HBITMAP ThumbImage() const;
    HBITMAP RulerImage() const;

    TSliderOrientation orientation_ = TSliderOrientation::soHorizontal;
    TSliderOptions options_ = soShowFocus | soShowPoints | soSmooth;
    int minValue_ = 0, maxValue_ = 100, increment_ = 10, value_ = 0;
    classlib::TOwnedBitmap images_[4];
    std::uint8_t userImages_ = 0;
    int numThumbStates_ = 2;
    int edgeSize_ = 2;
    classlib::TPanelBevel bevelStyle_ = classlib::TPanelBevel::bvNone;
    classlib::TOwnedBitmap ruler_;  // the ruler at the current length
    bool sliding_ = false, thumbDown_ = false;
    int hitOffset_ = 0;
    bool tracking_ = false;
    POINT lastMouse_{};
    TJumpMode startJump_ = TJumpMode::jmNone;
    std::unique_ptr<classlib::TTimer> trackTimer_;
};

class TKitSlider : public TKitCustomSlider {
public:
    CLASSLIB_CLASS_NAME(TKitSlider)
    explicit TKitSlider(classlib::TComponent* AOwner) : TKitCustomSlider(AOwner) {}
};

}  // namespace widgets::kit
