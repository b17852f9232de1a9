#include "widgets/kit/kit_slider.h"

#include <algorithm>
#include <cmath>

#include "classlib/exceptions.h"
#include "classlib/filer.h"
#include "classlib/format.h"
#include "widgets/kit/kit_startup.h"
#include "widgets/kit/kit_utils.h"

namespace widgets::kit {

using namespace classlib;

namespace {

constexpr int kRulerInset = 6;
constexpr UINT kTrackPause = 400;
const wchar_t* const kImageNames[4] = {L"W95_HTB", L"W95_HRL", L"W95_VTB", L"W95_VRL"};

int RoundEven(double Value) { return static_cast<int>(std::nearbyint(Value)); }

}  // namespace

TKitCustomSlider::TKitCustomSlider(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csDoubleClicks | csOpaque);
    SetTabStop(true);
    for (int i = 0; i < 4; ++i) images_[i] = LoadResBitmap(GetModuleHandleW(nullptr), kImageNames[i]);
    SetBounds(Left(), Top(), 150, 40);
}

TKitCustomSlider::~TKitCustomSlider() = default;

// ---- Properties ------------------------------------------------------------------------------

void TKitCustomSlider::SetOrientation(TSliderOrientation Value) {
    if (orientation_ == Value) return;
    orientation_ = Value;
    if (!HasState(csLoading)) SetBounds(Left(), Top(), Height(), Width());
    BuildRuler();
    Invalidate();
}

void TKitCustomSlider::SetOptions(TSliderOptions Value) {
    if (options_ == Value) return;
    options_ = Value;
    Invalidate();
}

void TKitCustomSlider::SetRange(int AMin, int AMax) {
    bool reading = HasState(csReading);
    if (AMax <= AMin && !reading) return;
    minValue_ = AMin;
    maxValue_ = AMax;
    if (!reading && maxValue_ < minValue_ + increment_) increment_ = maxValue_ - minValue_;
    if (options_ & soShowPoints) Invalidate();
    SetValue(value_);
}

void TKitCustomSlider::SetIncrement(int Value) {
    if (!HasState(csReading) && (Value < 1 || Value > maxValue_ - minValue_))
        throw Exception(Format(L"Value must be between %d and %d", {1, maxValue_ - minValue_}));
    if (increment_ == Value) return;
    increment_ = Value;
    SetValue(value_);
    Invalidate();
}

void TKitCustomSlider::SetValue(int NewValue) {
    NewValue = std::clamp(NewValue, minValue_, std::max(minValue_, maxValue_));
    bool changed = NewValue != value_;
    value_ = NewValue;
    Invalidate();  // the thumb moves
    if (changed) Change();
}

void TKitCustomSlider::Change() {
    if (OnChange) OnChange(this);
}

void TKitCustomSlider::Changed() {
    if (OnChanged) OnChanged(this);
}

void TKitCustomSlider::SetImage(TSliderImage Which, HBITMAP Bitmap) {
    int i = static_cast<int>(Which);
    if (Bitmap != nullptr) {
        images_[i] = CopyBitmap(Bitmap);
        userImages_ |= static_cast<std::uint8_t>(1u << i);
    } else {
        images_[i] = LoadResBitmap(GetModuleHandleW(nullptr), kImageNames[i]);
        userImages_ &= static_cast<std::uint8_t>(~(1u << i));
    }
    if (!HasState(csReading)) options_ &= ~((i % 2) == 1 ? soRulerOpaque : soThumbOpaque);
    BuildRuler();
    Invalidate();
}

void TKitCustomSlider::SetNumThumbStates(int Value) {
    Value = std::clamp(Value, 1, 2);
    if (numThumbStates_ == Value) return;
    numThumbStates_ = Value;
    Invalidate();
}

void TKitCustomSlider::SetEdgeSize(int Value) {
    SIZE s = BitmapSize(RulerImage());
    int length = Horizontal() ? s.cx : s.cy;
    if (Value < 0 || 2 * Value >= length) return;
    edgeSize_ = Value;
    BuildRuler();
    Invalidate();
}

void TKitCustomSlider::SetBevelStyle(TPanelBevel Value) {
    if (bevelStyle_ == Value) return;
    bevelStyle_ = Value;
    BuildRuler();
    Invalidate();
}

void TKitCustomSlider::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    bool resized = AWidth != Width() || AHeight != Height();
    TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (resized && !HasState(csReading)) BuildRuler();
}

void TKitCustomSlider::SetEnabled(bool Value) {
    TCustomControl::SetEnabled(Value);
    Invalidate();
}

void TKitCustomSlider::DefineProperties(TFiler* Filer) {
    TCustomControl::DefineProperties(Filer);
    // Which images are the user's own, as one byte.
    Filer->DefineProperty(
        L"UserImages", [this](TReader* Reader) { userImages_ = static_cast<std::uint8_t>(Reader->ReadInteger() & 0x0F); },
        [this](TWriter* Writer) { Writer->WriteInteger(userImages_); }, userImages_ != 0);
}

void TKitCustomSlider::Loaded() {
    TCustomControl::Loaded();
    BuildRuler();
    Invalidate();
}

HBITMAP TKitCustomSlider::ThumbImage() const {
    return images_[static_cast<int>(Horizontal() ? TSliderImage::siHThumb : TSliderImage::siVThumb)].Get();
}

HBITMAP TKitCustomSlider::RulerImage() const {
    return images_[static_cast<int>(Horizontal() ? TSliderImage::siHRuler : TSliderImage::siVRuler)].Get();
}

// ---- Geometry --------------------------------------------------------------------------------

TKitCustomSlider::TLayout TKitCustomSlider::Layout() {
    TLayout l;
    l.Work = RECT{0, 0, Width(), Height()};
    if (HandleAllocated()) GetClientRect(WindowHandle(), &l.Work);
    if (bevelStyle_ != TPanelBevel::bvNone) InflateRect(&l.Work, -1, -1);
    SIZE thumb = BitmapSize(ThumbImage());
    l.RulerImage = BitmapSize(RulerImage());
    // The thumb image holds its pictures side by side.
    l.Thumb = SIZE{thumb.cx / std::max(1, numThumbStates_), thumb.cy};
    if (Horizontal()) {
        l.RulerLength = std::max(0, static_cast<int>(l.Work.right - l.Work.left) - 2 * kRulerInset);
        int across = std::max<int>(l.RulerImage.cy, l.Thumb.cy);
        l.RulerOrigin = POINT{l.Work.left + kRulerInset,
                              l.Work.top + (l.Work.bottom - l.Work.top - across) / 2 + (across - l.RulerImage.cy) / 2};
    } else {
        l.RulerLength = std::max(0, static_cast<int>(l.Work.bottom - l.Work.top) - 2 * kRulerInset);
        int across = std::max<int>(l.RulerImage.cx, l.Thumb.cx);
        l.RulerOrigin = POINT{l.Work.left + (l.Work.right - l.Work.left - across) / 2 + (across - l.RulerImage.cx) / 2,
                              l.Work.top + kRulerInset};
    }
    return l;
}

int TKitCustomSlider::SlideLength() {
    TLayout l = Layout();
    return l.RulerLength - (Horizontal() ? l.Thumb.cx : l.Thumb.cy);
}

int TKitCustomSlider::PositionOfValue(int AValue) {
    TLayout l = Layout();
    int length = SlideLength();
    int range = maxValue_ - minValue_;
    int offset = length > 0 && range > 0 ? RoundEven(static_cast<double>(length) * (AValue - minValue_) / range) : 0;
    if (Horizontal()) return static_cast<int>(l.Work.left) + kRulerInset + std::max(offset, 0);
    // Counted from the bottom: the minimum sits at the bottom (the mirror of ValueOfPosition).
    int start = l.Work.top + kRulerInset;
    return static_cast<int>(l.Work.top + l.Work.bottom) - l.Thumb.cy - (start + offset);
}

int TKitCustomSlider::ValueOfPosition(int Position) {
    TLayout l = Layout();
    int length = SlideLength();
    // A slider too short for its thumb has nowhere to slide: it stands at the minimum.
    if (length <= 0) return minValue_;
    int p = Position;
    if (!Horizontal()) p = static_cast<int>(l.Work.top + l.Work.bottom) - Position - l.Thumb.cy;
    int start = (Horizontal() ? l.Work.left : l.Work.top) + kRulerInset;
    int v = RoundEven(static_cast<double>(p - start) * (maxValue_ - minValue_) / length);
    if (!(options_ & soSmooth)) v = RoundEven(static_cast<double>(v) / increment_) * increment_;
    return std::min(std::max(v, 0) + minValue_, maxValue_);
}

RECT TKitCustomSlider::ThumbRect() {
    TLayout l = Layout();
    int pos = PositionOfValue(value_);
    if (Horizontal()) {
        int top = l.Work.top + (l.Work.bottom - l.Work.top - l.Thumb.cy) / 2;
        return RECT{pos, top, pos + l.Thumb.cx, top + l.Thumb.cy};
    }
    int left = l.Work.left + (l.Work.right - l.Work.left - l.Thumb.cx) / 2;
    return RECT{left, pos, left + l.Thumb.cx, pos + l.Thumb.cy};
}

void TKitCustomSlider::BuildRuler() {
    ruler_.Reset();
    TLayout l = Layout();
    HBITMAP image = RulerImage();
    if (image == nullptr || l.RulerLength <= 0) return;
    bool h = Horizontal();
    int imageLength = h ? l.RulerImage.cx : l.RulerImage.cy;
    int thickness = h ? l.RulerImage.cy : l.RulerImage.cx;
    int edge = std::min(edgeSize_, imageLength / 2);
    int middle = imageLength - 2 * edge;
    TWindowDC screen(nullptr);
    TOwnedBitmap bmp(CreateCompatibleBitmap(screen.Get(), h ? l.RulerLength : thickness, h ? thickness : l.RulerLength));
    TOwnedDC src(CreateCompatibleDC(screen.Get())), dst(CreateCompatibleDC(screen.Get()));
    TSelectedObject s1(src.Get(), image), s2(dst.Get(), bmp.Get());
    auto copy = [&](int to, int from, int count) {
        if (count <= 0) return;
        if (h)
            BitBlt(dst.Get(), to, 0, count, thickness, src.Get(), from, 0, SRCCOPY);
        else
            BitBlt(dst.Get(), 0, to, thickness, count, src.Get(), 0, from, SRCCOPY);
    };
    // The ends stay as drawn; the middle is repeated to fill.
    for (int at = edge; middle > 0 && at < l.RulerLength - edge; at += middle)
        copy(at, edge, std::min(middle, l.RulerLength - edge - at));
    copy(0, 0, std::min(edge, l.RulerLength));
    copy(l.RulerLength - edge, imageLength - edge, edge);
    ruler_ = std::move(bmp);
}

// ---- Painting --------------------------------------------------------------------------------

void TKitCustomSlider::DrawPoints(HDC DC, int Step, int LongTick, int ShortTick) {
    int range = maxValue_ - minValue_;
    int length = SlideLength();
    if (range <= 0 || length <= 0 || Step <= 0) return;
    // The smallest multiple of the step that keeps ticks 4 pixels apart.
    int step = Step;
    while (static_cast<long long>(length) * step / range < 4 && step < range) step += Step;
    RECT thumb = ThumbRect();
    TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(clWindowText)));
    TSelectedObject sel(DC, pen.Get());
    TLayout l = Layout();
    auto tick = [&](int v, int len) {
        int p = PositionOfValue(v);
        if (Horizontal()) {
            int x = p + l.Thumb.cx / 2;
            MoveToEx(DC, x, thumb.bottom + 1, nullptr);
            LineTo(DC, x, thumb.bottom + 1 + len);
        } else {
            int y = p + l.Thumb.cy / 2;
            MoveToEx(DC, thumb.right + 1, y, nullptr);
            LineTo(DC, thumb.right + 1 + len, y);
        }
    };
    for (int v = minValue_; v < maxValue_; v += step) tick(v, v == minValue_ ? LongTick : ShortTick);
    tick(maxValue_, LongTick);
}

void TKitCustomSlider::Paint() {
    int w = Width(), h = Height();
    if (HandleAllocated()) {
        RECT c{};
        GetClientRect(WindowHandle(), &c);
        w = c.right;
        h = c.bottom;
    }
    if (w <= 0 || h <= 0) return;
    HDC target = Canvas()->Handle();
    TOwnedBitmap off(CreateCompatibleBitmap(target, w, h));
    TOwnedDC dc(CreateCompatibleDC(target));
    {
        TSelectedObject selOff(dc.Get(), off.Get());
        RECT all{0, 0, w, h};
        TOwnedBrush back(CreateSolidBrush(ColorToRGB(Color())));
        FillRect(dc.Get(), &all, back.Get());
        TControlCanvas canvas;
        canvas.SetHandle(dc.Get());
        if (bevelStyle_ != TPanelBevel::bvNone) {
            RECT r = all;
            bool raised = bevelStyle_ == TPanelBevel::bvRaised;
            Frame3D(&canvas, r, raised ? clBtnHighlight : clBtnShadow, raised ? clBtnShadow : clBtnHighlight, 1);
        }
        TLayout l = Layout();
        if (!ruler_) BuildRuler();
        if (ruler_) {
            SIZE rs = BitmapSize(ruler_.Get());
            PaintBitmapTransparentPart(&canvas, l.RulerOrigin.x, l.RulerOrigin.y, rs.cx, rs.cy, RECT{0, 0, rs.cx, rs.cy},
                                       ruler_.Get(), (options_ & soRulerOpaque) ? clNone : clDefault);
        }
        if ((options_ & soShowFocus) && Focused() && !HasState(csDesigning)) {
            RECT f = l.Work;
            InflateRect(&f, -2, -2);
            DrawFocusRect(dc.Get(), &f);
        }
        if (options_ & soShowPoints) {
            if (OnDrawPoints)
                OnDrawPoints(this);
            else
                DrawPoints(dc.Get(), increment_, 5, 3);
        }
        RECT t = ThumbRect();
        int picture = numThumbStates_ == 2 && (thumbDown_ || !Enabled()) ? 1 : 0;
        int tw = t.right - t.left, th = t.bottom - t.top;
        PaintBitmapTransparentPart(&canvas, t.left, t.top, tw, th, RECT{picture * tw, 0, (picture + 1) * tw, th},
                                   ThumbImage(), (options_ & soThumbOpaque) ? clNone : clDefault);
        canvas.SetHandle(nullptr);
        BitBlt(target, 0, 0, w, h, dc.Get(), 0, 0, SRCCOPY);
    }
}

// ---- Keys and mouse --------------------------------------------------------------------------

void TKitCustomSlider::Jump(TJumpMode Mode) {
    int v = value_;
    int next = RoundEven(static_cast<double>(value_) / increment_) * increment_;
    switch (Mode) {
        case TJumpMode::jmHome: v = minValue_; break;
        case TJumpMode::jmEnd: v = maxValue_; break;
        case TJumpMode::jmNext: v = next + increment_; break;
        case TJumpMode::jmPrior: v = next - increment_; break;
        case TJumpMode::jmNone: return;
    }
    v = std::clamp(v, minValue_, maxValue_);
    if (v != value_) SetValue(v);
}

void TKitCustomSlider::KeyDown(WORD& Key, TShiftState Shift) {
    TJumpMode mode = TJumpMode::jmNone;
    if ((Shift & (ssShift | ssAlt | ssCtrl)) == 0) {
        if (Key == VK_HOME) mode = TJumpMode::jmHome;
        if (Key == VK_END) mode = TJumpMode::jmEnd;
        if (Key == (Horizontal() ? VK_RIGHT : VK_UP)) mode = TJumpMode::jmNext;
        if (Key == (Horizontal() ? VK_LEFT : VK_DOWN)) mode = TJumpMode::jmPrior;
    }
    if (mode == TJumpMode::jmNone) {
        TCustomControl::KeyDown(Key, Shift);
        return;
    }
    Jump(mode);
    Key = 0;
    Changed();
}

TJumpMode TKitCustomSlider::ModeAt(POINT P) {
    RECT t = ThumbRect();
    if (Horizontal()) return P.x < t.left ? TJumpMode::jmPrior : P.x >= t.right ? TJumpMode::jmNext : TJumpMode::jmNone;
    // Below the thumb is toward the minimum.
    return P.y >= t.bottom ? TJumpMode::jmPrior : P.y < t.top ? TJumpMode::jmNext : TJumpMode::jmNone;
}

void TKitCustomSlider::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft || (Shift & ssDouble) != 0) return;
    if (CanFocus() && !Focused()) SetFocus();
    POINT p{X, Y};
    RECT thumb = ThumbRect();
    if (PtInRect(&thumb, p)) {
        sliding_ = thumbDown_ = true;
        hitOffset_ = Horizontal() ? X - thumb.left : Y - thumb.top;
        Invalidate();
        return;
    }
    TLayout l = Layout();
    RECT ruler = Horizontal() ? RECT{l.RulerOrigin.x, l.RulerOrigin.y, l.RulerOrigin.x + l.RulerLength,
                                     l.RulerOrigin.y + l.RulerImage.cy}
                              : RECT{l.RulerOrigin.x, l.RulerOrigin.y, l.RulerOrigin.x + l.RulerImage.cx,
                                     l.RulerOrigin.y + l.RulerLength};
    if (Horizontal())
        InflateRect(&ruler, 0, 3);
    else
        InflateRect(&ruler, 3, 0);
    if (!PtInRect(&ruler, p)) return;
    SetCapture(Handle());
    tracking_ = true;
    lastMouse_ = p;
    startJump_ = ModeAt(p);
    Jump(startJump_);
    if (!trackTimer_) {
        trackTimer_ = std::make_unique<TTimer>(nullptr);
        trackTimer_->OnTimer = [this](TObject*) { TrackTick(); };
    }
    trackTimer_->SetEnabled(false);
    trackTimer_->SetInterval(kTrackPause);
    trackTimer_->SetEnabled(true);
}

void TKitCustomSlider::TrackTick() {
    // Again while the pointer is still on the same side of the thumb.
    if (tracking_ && startJump_ != TJumpMode::jmNone && ModeAt(lastMouse_) == startJump_) Jump(startJump_);
}

void TKitCustomSlider::MoveThumbTo(int Offset) {
    int v = ValueOfPosition(Offset);
    if (v != value_) SetValue(v);
}

void TKitCustomSlider::MouseMove(TShiftState Shift, int X, int Y) {
    TCustomControl::MouseMove(Shift, X, Y);
    if (sliding_ && (Shift & ssLeft) != 0) MoveThumbTo(Horizontal() ? X - hitOffset_ : Y - hitOffset_);
    if (tracking_) lastMouse_ = POINT{X, Y};
}

void TKitCustomSlider::StopTracking() {
    if (!tracking_) return;
    tracking_ = false;
    if (trackTimer_) trackTimer_->SetEnabled(false);
    if (GetCapture() == WindowHandle()) ReleaseCapture();
    Changed();
}

void TKitCustomSlider::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomControl::MouseUp(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft) return;
    StopTracking();
    if (sliding_) {
        sliding_ = thumbDown_ = false;
        Invalidate();
        Changed();
    }
}

void TKitCustomSlider::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETDLGCODE:
            Message.Result = DLGC_WANTARROWS;
            return;
        case WM_SETCURSOR:
            if (!HasState(csDesigning) && LOWORD(Message.LParam) == HTCLIENT) {
                POINT p{};
                GetCursorPos(&p);
                p = ScreenToClient(p);
                RECT t = ThumbRect();
                if (PtInRect(&t, p)) {
                    ::SetCursor(CursorHandle(crKitHand));
                    Message.Result = 1;
                    return;
                }
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            TCustomControl::Dispatch(Message);
            if (options_ & soShowFocus) Invalidate();
            return;
        case WM_CANCELMODE:
            StopTracking();
            break;
        case WM_SIZE:
            TCustomControl::Dispatch(Message);
            if (!HasState(csReading)) BuildRuler();
            return;
        default:
            break;
    }
    TCustomControl::Dispatch(Message);
}

}  // namespace widgets::kit
