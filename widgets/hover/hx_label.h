// The Hover label: a windowless text label that draws its text with a shadow, at any angle, in a
// second font while the mouse is over it, with a plain or cut-corner frame and an image beside
// the text; it sizes itself to its text, focuses another control on its accelerator and opens a
// link when clicked. A data provider may give it its caption and its drawing.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/image_list.h"
#include "widgets/hover/hx_data_consumer.h"
#include "widgets/hover/hx_ex_controls.h"

namespace hover {

enum class TTextLayout { tlTop, tlCenter, tlBottom };
enum class TShadowPosition { spLeftTop, spLeftBottom, spRightBottom, spRightTop };
enum class THxTextEllipsis { teNone, teWordEllipsis, tePathEllipsis, teEndEllipsis };

// What a hot-tracking control offers about its look while the mouse is over it.
extern const GUID IID_IHxHotTrack;  // {8F1B40FB-D8E3-46FE-A7A3-21CE4B199A8F}
class IHxHotTrack {
public:
    virtual bool HotTrack() const = 0;
    virtual void SetHotTrack(bool Value) = 0;
    virtual classlib::TFont* HotTrackFont() const = 0;
    virtual void SetHotTrackFont(classlib::TFont* Value) = 0;
    virtual THxTrackFontOptions HotTrackFontOptions() const = 0;
    virtual void SetHotTrackFontOptions(THxTrackFontOptions Value) = 0;
    virtual THxHotTrackOptions* HotTrackOptions() const = 0;
    virtual void SetHotTrackOptions(THxHotTrackOptions* Value) = 0;

protected:
    ~IHxHotTrack() = default;
};
// The hot-track interface of Object, nullptr when it has none.
IHxHotTrack* HotTrackOf(classlib::TObject* Object);

class THxCustomLabel : public THxExGraphicControl, public IHxHotTrack {
public:
    CLASSLIB_CLASS_NAME(THxCustomLabel)
    explicit THxCustomLabel(classlib::TComponent* AOwner);
    ~THxCustomLabel() override;

    classlib::TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(classlib::TWinControl* Value);
    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value) { SetAndInvalidate(this, alignment_, Value); }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout Value) { SetAndInvalidate(this, layout_, Value); }
    classlib::TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(classlib::TColor Value) { SetAndInvalidate(this, shadowColor_, Value); }
    int ShadowSize() const { return shadowSize_; }
    void SetShadowSize(int Value);
    TShadowPosition ShadowPos() const { return shadowPos_; }
    void SetShadowPos(TShadowPosition Value) { SetAndInvalidate(this, shadowPos_, Value); }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool Value) { SetAndInvalidate(this, showAccelChar_, Value); }
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool Value) { SetAndInvalidate(this, showFocus_, Value); }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int Value);
    classlib::TCustomImageList* Images() const { return images_; }
    void SetImages(classlib::TCustomImageList* Value);
    bool HotTrack() const override { return hotTrack_; }
    void SetHotTrack(bool Value) override { hotTrack_ = Value; }
    classlib::TFont* HotTrackFont() const override { return hotTrackFont_.get(); }
    void SetHotTrackFont(classlib::TFont* Value) override { hotTrackFont_->Assign(Value); }
    THxTrackFontOptions HotTrackFontOptions() const override { return hotTrackFontOptions_; }
    void SetHotTrackFontOptions(THxTrackFontOptions Value) override;
    THxHotTrackOptions* HotTrackOptions() const override { return hotTrackOptions_.get(); }
    void SetHotTrackOptions(THxHotTrackOptions* Value) override;
    bool AutoOpenURL() const { return autoOpenURL_; }
    void SetAutoOpenURL(bool Value) { autoOpenURL_ = Value; }
    const std::string& URL() const { return url_; }
    void SetURL(const std::string& Value) { url_ = Value; }
    // -360 to 360; a negative angle is kept as its positive equivalent.
    int Angle() const { return angle_; }
    void SetAngle(int Value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int Value);
    THxDataConsumer* Provider() const { return provider_.Get(); }
    THxTextEllipsis TextEllipsis() const { return textEllipsis_; }
    void SetTextEllipsis(THxTextEllipsis Value) { SetAndInvalidate(this, textEllipsis_, Value); }
    classlib::TColor FrameColor() const { return frameColor_; }
    void SetFrameColor(classlib::TColor Value) { SetAndInvalidate(this, frameColor_, Value); }
    int RoundedFrame() const { return roundedFrame_; }
    void SetRoundedFrame(int Value);
    int Margin() const { return margins_.left; }
    void SetMargin(int Value);
    bool Transparent() const { return !HasControlStyle(classlib::csOpaque); }
    void SetTransparent(bool Value);
    bool Pressed() const { return pressed_; }
    bool FocusedFlag() const { return focused_; }

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void Loaded() override;
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;
    void Click() override;

protected:
    void Paint() override;
    virtual void DrawOwnText(RECT& Rect, UINT Flags);
    virtual void DrawProviderText(RECT& Rect, UINT Flags);
    // Draws (or measures, with DT_CALCRECT) the text through the provider or by itself.
    virtual void DrawLabelText(RECT& Rect, UINT Flags);
    virtual void AdjustBounds();
    virtual classlib::TColor DefaultFontColor() { return Font()->Color(); }
    virtual std::string CaptionText();
    virtual int ImageWidth();
    virtual int ImageHeight();

    void TextChanged() override;
    bool WantKey(int Key, classlib::TShiftState Shift, const std::string& KeyText) override;
    void FocusChanged(classlib::TWinControl* Control) override;
    void FontChanged() override;
    void EnabledChanged() override;
    void MouseEnter(classlib::TControl* Control) override;
    void MouseLeave(classlib::TControl* Control) override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;

private:
    bool ImageShown();
    bool Hot() const;
    void Resize();
    void TrackFont();
    void Recheck();
    void DropProvider();
    void ConsumerChanged(int Reason);
    void DrawRotatedText(RECT& Rect, UINT Flags, bool WithImage, int ShadowSize, COLORREF ShadowColor, TShadowPosition ShadowPos);
    void DrawCutCornerFrame(classlib::TColor Colour, RECT Rect, int R);
    std::string MeasuredCaption(UINT Flags);

    classlib::TWinControl* focusControl_ = nullptr;
    classlib::TAlignment alignment_ = classlib::TAlignment::taLeftJustify;
    bool autoSize_ = true;
    TTextLayout layout_ = TTextLayout::tlTop;
    classlib::TColor shadowColor_ = classlib::clBtnHighlight;
    int shadowSize_ = 0;
    TShadowPosition shadowPos_ = TShadowPosition::spRightBottom;
    bool wordWrap_ = false;
    bool showAccelChar_ = true;
    bool showFocus_ = false;
    bool focused_ = false;
    bool pressed_ = false;
    int imageIndex_ = -1;
    classlib::TCustomImageList* images_ = nullptr;
    classlib::TChangeLink imageLink_;
    bool hotTrack_ = false;
    std::unique_ptr<classlib::TFont> hotTrackFont_;
    THxTrackFontOptions hotTrackFontOptions_ = DefaultTrackFontOptions;
    std::unique_ptr<THxHotTrackOptions> hotTrackOptions_;
    bool autoOpenURL_ = true;
    std::string url_;
    int angle_ = 0;
    int spacing_ = 4;
    THxRef<THxDataConsumer> provider_;
    bool needsResize_ = false;
    THxTextEllipsis textEllipsis_ = THxTextEllipsis::teNone;
    classlib::TColor frameColor_ = classlib::clNone;
    int roundedFrame_ = 0;
    RECT margins_{0, 0, 0, 0};
    classlib::TCanvas* drawCanvas_ = nullptr;  // the canvas the text routines draw on
};

class THxLabel : public THxCustomLabel {
public:
    CLASSLIB_CLASS_NAME(THxLabel)
    explicit THxLabel(classlib::TComponent* AOwner) : THxCustomLabel(AOwner) {}
};

}  // namespace hover
