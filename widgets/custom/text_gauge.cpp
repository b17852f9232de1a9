// The text gauge.
#include "widgets/custom/text_gauge.h"

#include <cmath>
#include <numbers>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace widgets::custom {

using classlib::ColorToRGB;
using classlib::TSelectedObject;

// ---- TBltBitmap --------------------------------------------------------------------------------

TBltBitmap::TBltBitmap() {
    classlib::TWindowDC screen(nullptr);
    dc_.Reset(CreateCompatibleDC(screen.Get()));
    if (!dc_) classlib::RaiseLastOSError();
}

TBltBitmap::~TBltBitmap() {
    if (original_ != nullptr) SelectObject(dc_.Get(), original_);
}

void TBltBitmap::SetSize(int Width, int Height) {
    if (Width == width_ && Height == height_ && bitmap_) return;
    classlib::TWindowDC screen(nullptr);
    classlib::TOwnedBitmap bitmap(CreateCompatibleBitmap(screen.Get(), std::max(Width, 1), std::max(Height, 1)));
    if (!bitmap) classlib::RaiseLastOSError();
    HGDIOBJ previous = SelectObject(dc_.Get(), bitmap.Get());
    if (original_ == nullptr) original_ = previous;
    bitmap_ = std::move(bitmap);
    width_ = Width;
    height_ = Height;
}

void TBltBitmap::Fill(COLORREF Colour) {
    classlib::TOwnedBrush brush(CreateSolidBrush(Colour));
    RECT all{0, 0, width_, height_};
    FillRect(dc_.Get(), &all, brush.Get());
}

void TBltBitmap::MakeLike(const TBltBitmap& Other, COLORREF Fill) {
    SetSize(Other.Width(), Other.Height());
    this->Fill(Fill);
}

// ---- TTextGauge --------------------------------------------------------------------------------

TTextGauge::TTextGauge(classlib::TComponent* AOwner)
    : classlib::TGraphicControl(AOwner),
      picture_(std::make_unique<TBltBitmap>()),
      kindLayer_(std::make_unique<TBltBitmap>()),
      textLayer_(std::make_unique<TBltBitmap>()) {
    SetControlStyle(ControlStyle() | classlib::csOpaque);
    SetBounds(0, 0, 100, 100);
}

TTextGauge::~TTextGauge() = default;

template <typename T>
void TTextGauge::Store(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    Invalidate();
}

void TTextGauge::SetMinValue(int Value) {
    if (Value == minValue_) return;
    if (Value > maxValue_ && !HasState(classlib::csLoading))
        throw classlib::EInvalidOperation(
            classlib::Format(L"Value must be between %d and %d", {-2147483647, static_cast<std::int64_t>(maxValue_) - 1}));
    minValue_ = Value;
    if (progress_ < Value) progress_ = Value;
    Invalidate();
}

void TTextGauge::SetMaxValue(int Value) {
    if (Value == maxValue_) return;
    if (Value < minValue_ && !HasState(classlib::csLoading))
        throw classlib::EInvalidOperation(
            classlib::Format(L"Value must be between %d and %d", {static_cast<std::int64_t>(minValue_) + 1, 2147483647}));
    maxValue_ = Value;
    if (progress_ > Value) progress_ = Value;
    Invalidate();
}

void TTextGauge::SetProgress(int Value) {
    Value = std::clamp(Value, minValue_, std::max(minValue_, maxValue_));
    if (Value == progress_) return;
    const TLook before = Look();
    progress_ = Value;
    if (Look() != before) Invalidate();
}

void TTextGauge::SetAlertValue(int Value) { Store(alertValue_, Value); }
void TTextGauge::SetGaugeKind(TGaugeKind Value) { Store(kind_, Value); }
void TTextGauge::SetShowText(bool Value) { Store(showText_, Value); }
void TTextGauge::SetTextKind(TTextKind Value) { Store(textKind_, Value); }
void TTextGauge::SetCaption(const std::string& Value) { Store(caption_, Value); }
void TTextGauge::SetBorderStyle(TGaugeBorderStyle Value) { Store(borderStyle_, Value); }
void TTextGauge::SetForeColor(classlib::TColor Value) { Store(foreColor_, Value); }
void TTextGauge::SetBackColor(classlib::TColor Value) { Store(backColor_, Value); }

int TTextGauge::PercentDone() const {
    const std::int64_t range = static_cast<std::int64_t>(maxValue_) - minValue_;
    if (range <= 0) return 0;
    return static_cast<int>((static_cast<std::int64_t>(progress_) - minValue_) * 100 / range);
}

std::string TTextGauge::GaugeText() const {
    switch (textKind_) {
        case TTextKind::tkPercentDone: return std::to_string(PercentDone()) + "%";
        case TTextKind::tkPercentRemaining: return std::to_string(100 - PercentDone()) + "%";
        case TTextKind::tkValueDone:
        case TTextKind::tkValueRemaining: break;
    }
    const std::int64_t value =
        textKind_ == TTextKind::tkValueDone ? progress_ : static_cast<std::int64_t>(maxValue_) - progress_;
    try {
        return classlib::WideToAnsi(classlib::Format(classlib::AnsiToWide(caption_), {value}));
    } catch (const classlib::EConvertError&) {
        // A caption that is not a format for one number is shown as it is: painting never raises.
        return caption_;
    }
}

classlib::TColor TTextGauge::CurrentForeColor() const {
    switch (textKind_) {
        case TTextKind::tkPercentDone:
        case TTextKind::tkValueDone: return progress_ > alertValue_ ? AlertColor : foreColor_;
        case TTextKind::tkValueRemaining:
            return static_cast<std::int64_t>(maxValue_) - progress_ < alertValue_ ? AlertColor : foreColor_;
        case TTextKind::tkPercentRemaining: return 100 - PercentDone() < alertValue_ ? AlertColor : foreColor_;
    }
    return foreColor_;
}

void TTextGauge::DrawKind(HDC DC, const RECT& R, COLORREF Fore) {
    const int w = R.right - R.left;
    const int h = R.bottom - R.top;
    const int percent = PercentDone();
    classlib::TOwnedBrush back(CreateSolidBrush(ColorToRGB(backColor_)));
    classlib::TOwnedBrush fore(CreateSolidBrush(Fore));
    classlib::TOwnedBrush face(CreateSolidBrush(ColorToRGB(Color())));
    classlib::TOwnedPen pen(CreatePen(PS_SOLID, 1, Fore));
    switch (kind_) {
        case TGaugeKind::gkText: FillRect(DC, &R, back.Get()); break;
        case TGaugeKind::gkHorizontalBar: {
            FillRect(DC, &R, back.Get());
            const int bar = std::min(w, static_cast<int>(w * percent * 0.01));
            RECT filled{R.left, R.top, R.left + bar, R.bottom};
            if (bar > 0) FillRect(DC, &filled, fore.Get());
            break;
        }
        case TGaugeKind::gkVerticalBar: {
            FillRect(DC, &R, back.Get());
            int bar = static_cast<int>(h * percent * 0.01);
            if (bar >= h) bar = h - 1;
            RECT filled{R.left, R.bottom - bar, R.right, R.bottom};
            if (bar > 0) FillRect(DC, &filled, fore.Get());
            break;
        }
        case TGaugeKind::gkPie: {
            FillRect(DC, &R, face.Get());
            TSelectedObject selPen(DC, pen.Get());
            {
                TSelectedObject selBrush(DC, back.Get());
                Ellipse(DC, R.left, R.top, R.right, R.bottom);
            }
            if (percent >= 1) {
                TSelectedObject selBrush(DC, fore.Get());
                const double theta = (percent / 50.0 + 0.5) * std::numbers::pi;
                const int x = R.left + static_cast<int>(std::lround(w / 2.0 * (1 - std::cos(theta))));
                const int y = R.top + static_cast<int>(std::lround(h / 2.0 * (1 - std::sin(theta))));
                // Counter-clockwise from the value's point back to twelve o'clock: the wedge
                // reads clockwise from twelve o'clock.
                Pie(DC, R.left, R.top, R.right, R.bottom, x, y, R.left + w / 2, R.top);
            }
            break;
        }
        case TGaugeKind::gkNeedle: {
            FillRect(DC, &R, face.Get());
            TSelectedObject selPen(DC, pen.Get());
            {
                classlib::TSavedDC saved(DC);
                IntersectClipRect(DC, R.left, R.top, R.right, R.bottom);
                TSelectedObject selBrush(DC, back.Get());
                Ellipse(DC, R.left, R.top, R.right, R.top + 2 * h);
            }
            const int base = R.bottom - 1;
            MoveToEx(DC, R.left, base, nullptr);
            LineTo(DC, R.right, base);
            if (percent >= 1) {
                const double a = percent / 100.0 * std::numbers::pi;
                const double c = w / 2.0;
                MoveToEx(DC, R.left + w / 2, base, nullptr);
                LineTo(DC, R.left + static_cast<int>(std::lround(c * (1 - std::cos(a)))),
                       R.top + static_cast<int>(std::lround((base - R.top) * (1 - std::sin(a)))));
            }
            break;
        }
    }
}

void TTextGauge::DrawText(HDC DC, const RECT& R) {
    const std::string text = GaugeText();
    classlib::TTextDC textDC(DC, Font()->Handle(), RGB(255, 255, 255));
    SIZE size{};
    GetTextExtentPoint32A(DC, text.c_str(), static_cast<int>(text.size()), &size);
    const int x = R.left + (R.right - R.left - size.cx) / 2;
    const int y = R.top + (R.bottom - R.top - size.cy) / 2;
    TextOutA(DC, x, y, text.c_str(), static_cast<int>(text.size()));
}

void TTextGauge::Paint() {
    const int w = Width();
    const int h = Height();
    if (w <= 0 || h <= 0) return;
    picture_->SetSize(w, h);
    picture_->Fill(RGB(0, 0, 0));
    RECT r{0, 0, w, h};
    if (borderStyle_ == TGaugeBorderStyle::bsSingle) InflateRect(&r, -1, -1);

    kindLayer_->MakeLike(*picture_, RGB(0, 0, 0));
    DrawKind(kindLayer_->DC(), r, ColorToRGB(CurrentForeColor()));
    BitBlt(picture_->DC(), 0, 0, w, h, kindLayer_->DC(), 0, 0, SRCINVERT);
    if (showText_) {
        // White text over black, combined by exclusive-or: it shows in the inverse colour of
        // whatever lies under it.
        textLayer_->MakeLike(*picture_, RGB(0, 0, 0));
        DrawText(textLayer_->DC(), r);
        BitBlt(picture_->DC(), 0, 0, w, h, textLayer_->DC(), 0, 0, SRCINVERT);
    }
    BitBlt(Canvas()->Handle(), 0, 0, w, h, picture_->DC(), 0, 0, SRCCOPY);
}

}  // namespace widgets::custom
