// A painted gauge: a value between a minimum and a maximum shown as plain fill, a horizontal or
// vertical bar, a pie or a needle dial, with a centred text drawn in the inverse colour of what
// lies under it, and an alert colour when the value crosses a threshold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/gdi_handles.h"

namespace widgets::custom {

enum class TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum class TTextKind { tkPercentDone, tkValueDone, tkValueRemaining, tkPercentRemaining };
enum class TGaugeBorderStyle { bsNone, bsSingle };

// An off-screen bitmap with its own memory DC.
class TBltBitmap {
public:
    TBltBitmap();
    ~TBltBitmap();
    TBltBitmap(const TBltBitmap&) = delete;
    TBltBitmap& operator=(const TBltBitmap&) = delete;
    int Width() const { return width_; }
    int Height() const { return height_; }
    HDC DC() const { return dc_.Get(); }
    // Resizes the bitmap (its content is then undefined).
    void SetSize(int Width, int Height);
    // The same size as Other, then the whole area filled with the solid colour.
    void MakeLike(const TBltBitmap& Other, COLORREF Fill);
    void Fill(COLORREF Colour);

private:
    classlib::TOwnedDC dc_;
    classlib::TOwnedBitmap bitmap_;
    HGDIOBJ original_ = nullptr;
    int width_ = 0, height_ = 0;
};

class TTextGauge : public classlib::TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TTextGauge)
    explicit TTextGauge(classlib::TComponent* AOwner);
    ~TTextGauge() override;

    static constexpr classlib::TColor AlertColor = 0xA2A2EE;

    int MinValue() const { return minValue_; }
    // A value above MaxValue (outside loading) raises EInvalidOperation "Value must be between
    // -2147483647 and MaxValue - 1"; Progress is raised to the new minimum.
    void SetMinValue(int Value);
    int MaxValue() const { return maxValue_; }
    // A value below MinValue raises "Value must be between MinValue + 1 and 2147483647".
    void SetMaxValue(int Value);
    int Progress() const { return progress_; }
    // Clamped to the range; repaints only when what the gauge shows changes (the percent done,
    // the text or the colour).
    void SetProgress(int Value);
    int AlertValue() const { return alertValue_; }
    void SetAlertValue(int Value);
    TGaugeKind GaugeKind() const { return kind_; }
    void SetGaugeKind(TGaugeKind Value);
    bool ShowText() const { return showText_; }
    void SetShowText(bool Value);
    TTextKind TextKind() const { return textKind_; }
    void SetTextKind(TTextKind Value);
    // An ANSI format with one integer placeholder ("%d").
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);
    TGaugeBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TGaugeBorderStyle Value);
    classlib::TColor ForeColor() const { return foreColor_; }
    void SetForeColor(classlib::TColor Value);
    classlib::TColor BackColor() const { return backColor_; }
    void SetBackColor(classlib::TColor Value);

    // (Progress - MinValue) * 100 / (MaxValue - MinValue) in 64 bits, truncated; 0 for an empty
    // range.
    int PercentDone() const;
    // The text the gauge shows for its TextKind.
    std::string GaugeText() const;
    // The colour the kind is drawn in now. The done kinds alert while Progress is above
    // AlertValue; the remaining kinds alert while the remaining value they show (MaxValue -
    // Progress, or 100 - the percent done) is below it.
    classlib::TColor CurrentForeColor() const;

protected:
    void Paint() override;

private:
    // What a repaint would change.
    struct TLook {
        int Percent;
        std::string Text;
        classlib::TColor Colour;
        bool operator==(const TLook&) const = default;
    };
    TLook Look() const { return TLook{PercentDone(), showText_ ? GaugeText() : std::string(), CurrentForeColor()}; }
    void DrawKind(HDC DC, const RECT& Rect, COLORREF Fore);
    void DrawText(HDC DC, const RECT& Rect);
    template <typename T>
    void Store(T& Field, T Value);

    int minValue_ = 0;
    int maxValue_ = 100;
    int progress_ = 0;
    int alertValue_ = 80;
    TGaugeKind kind_ = TGaugeKind::gkHorizontalBar;
    bool showText_ = true;
    TTextKind textKind_ = TTextKind::tkValueDone;
    std::string caption_ = "%d";
    TGaugeBorderStyle borderStyle_ = TGaugeBorderStyle::bsSingle;
    classlib::TColor foreColor_ = 0xC0DCC0;
    classlib::TColor backColor_ = 0xFFFFFF;
    std::unique_ptr<TBltBitmap> picture_, kindLayer_, textLayer_;
};

}  // namespace widgets::custom
