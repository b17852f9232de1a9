// The colour button, its parts and its drop-down window.
#include "widgets/custom/color_button.h"

#include <algorithm>

#include "classlib/gdi_handles.h"

namespace widgets::custom {

using classlib::TColor;

const std::array<TColor, 40> ColorButtonPalette = {
    0x000000, 0x003399, 0x003333, 0x003300, 0x663300, 0x800000, 0x993333, 0x333333,
    0x000080, 0x0066FF, 0x008080, 0x008000, 0x808000, 0xFF0000, 0x996666, 0x808080,
    0x0000FF, 0x0099FF, 0x00CC99, 0x669933, 0xCCCC33, 0xFF6633, 0x800080, 0x999999,
    0xFF00FF, 0x00CCFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFFCC00, 0x663399, 0xC0C0C0,
    0xCC99FF, 0x99CCFF, 0x99FFFF, 0xCCFFCC, 0xFFFFCC, 0xFFCC99, 0xFF99CC, 0xFFFFFF};

//                                            hori top bottom bar barspace size space top bottom button
const std::array<int, TColorButton::kSizeCount> TColorButton::kWordStyle = {7, 2, 4, 7, 3, 18, 0, 4, 4, 22};

namespace {

// "Default" (the automatic colour) is drawn as the window text colour.
COLORREF Resolved(TColor Color) { return classlib::ColorToRGB(Color == classlib::clDefault ? classlib::clWindowText : Color); }

void FramedFill(HDC DC, const RECT& R, COLORREF Fill, COLORREF Frame) {
    classlib::TOwnedBrush fill(CreateSolidBrush(Fill));
    classlib::TOwnedBrush frame(CreateSolidBrush(Frame));
    FillRect(DC, &R, fill.Get());
    FrameRect(DC, &R, frame.Get());
}

// The glyph of "Other Colors...": four colour squares of a palette on the button face (whose
// colour the bottom-left pixel gives, as glyphs take their clear colour from it).
HBITMAP PaletteGlyph() {
    constexpr int kSide = 16;
    classlib::TWindowDC screen(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen.Get(), kSide, kSide);
    if (bitmap == nullptr) return nullptr;
    classlib::TOwnedDC dc(CreateCompatibleDC(screen.Get()));
    classlib::TSelectedObject selected(dc.Get(), bitmap);
    const RECT all{0, 0, kSide, kSide};
    classlib::TOwnedBrush face(CreateSolidBrush(classlib::ColorToRGB(classlib::clBtnFace)));
    FillRect(dc.Get(), &all, face.Get());
    const COLORREF grey = RGB(0x80, 0x80, 0x80);
    FramedFill(dc.Get(), RECT{1, 1, 8, 8}, RGB(0xFF, 0x00, 0x00), grey);
    FramedFill(dc.Get(), RECT{8, 1, 15, 8}, RGB(0x00, 0x80, 0x00), grey);
    FramedFill(dc.Get(), RECT{1, 8, 8, 15}, RGB(0x00, 0x00, 0xFF), grey);
    FramedFill(dc.Get(), RECT{8, 8, 15, 15}, RGB(0xFF, 0xFF, 0x00), grey);
    return bitmap;
}

}  // namespace

// ---- TSubColorButton ---------------------------------------------------------------------------

TSubColorButton::TSubColorButton(classlib::TComponent* AOwner, TSubColorKind Kind)
    : classlib::TSpeedButton(AOwner), kind_(Kind) {}

void TSubColorButton::SetShownColor(TColor Value) {
    if (Value == shownColor_) return;
    shownColor_ = Value;
    Invalidate();
}

void TSubColorButton::Dispatch(classlib::TMessage& Message) {
    if (Message.Msg == classlib::CM_MOUSELEAVE && kind_ == TSubColorKind::scArrow && Down()) return;  // stays lit
    classlib::TSpeedButton::Dispatch(Message);
    if ((Message.Msg == classlib::CM_MOUSEENTER || Message.Msg == classlib::CM_MOUSELEAVE) && Partner != nullptr &&
        Message.LParam == 0) {
        // Passed on once, marked so that the partner does not pass it back.
        Partner->Perform(Message.Msg, 0, 1);
    }
}

void TSubColorButton::Paint() {
    classlib::TSpeedButton::Paint();
    HDC dc = Canvas()->Handle();
    const COLORREF inactive = classlib::ColorToRGB(classlib::clInactiveCaption);
    switch (kind_) {
        case TSubColorKind::scColorPart: {
            const int shift = State() == classlib::TButtonState::bsDown ? 1 : 0;
            const int left = (Width() + 1) / 2 - 8 + shift, top = (Height() + 1) / 2 + 4 + shift;
            const COLORREF c = Enabled() ? Resolved(shownColor_) : inactive;
            FramedFill(dc, RECT{left, top, left + 16, top + 4}, c, c);
            break;
        }
        case TSubColorKind::scCell: {
            const int inset = Height() / 6 + 1;
            RECT r{inset, inset, Width() - inset, Height() - inset};
            if (Enabled())
                FramedFill(dc, r, Resolved(shownColor_), RGB(0x80, 0x80, 0x80));
            else
                FramedFill(dc, r, classlib::ColorToRGB(classlib::clBtnFace), inactive);
            break;
        }
        case TSubColorKind::scAutomatic: {
            const int side = std::max(4, Height() - 10);
            const int top = (Height() - side) / 2;
            FramedFill(dc, RECT{5, top, 5 + side, top + side}, Enabled() ? Resolved(shownColor_) : inactive,
                       RGB(0x80, 0x80, 0x80));
            break;
        }
        case TSubColorKind::scArrow: break;
    }
}

void TSubColorButton::MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) {
    classlib::TSpeedButton::MouseUp(Button, Shift, X, Y);
    // The arrow stays down while the drop-down it opened hangs under it.
    if (kind_ == TSubColorKind::scArrow)
        if (auto* owner = dynamic_cast<TColorButton*>(Owner()))
            SetDown(owner->DropDownWindow()->Visible() && !owner->DropDownWindow()->MovedAway());
}

// ---- TColorDropDown ----------------------------------------------------------------------------

TColorDropDown::TColorDropDown(TColorButton* AButton) : classlib::TForm(AButton), button_(AButton) {
    SetBorderStyle(classlib::TFormBorderStyle::bsToolWindow);
    SetFormStyle(classlib::TFormStyle::fsStayOnTop);
}

void TColorDropDown::CreateParams(classlib::TCreateParams& Params) {
    classlib::TForm::CreateParams(Params);
    Params.Style &= ~static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VSCROLL | WS_HSCROLL);
    Params.Style |= WS_POPUP | WS_BORDER | (movedAway_ ? WS_CAPTION | WS_SYSMENU : 0);
    Params.ExStyle |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
}

void TColorDropDown::SetVisible(bool Value) {
    classlib::TForm::SetVisible(Value);
    if (!Value) button_->DropDownHidden();
}

void TColorDropDown::DropCaption() {
    if (!movedAway_) return;
    movedAway_ = false;
    if (HandleAllocated()) {
        LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CAPTION | WS_SYSMENU);
        SetWindowLongPtrW(Handle(), GWL_STYLE, style | WS_BORDER);
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
}

void TColorDropDown::BecomeMovedAway() {
    if (movedAway_) return;
    movedAway_ = true;
    barHot_ = false;
    if (HandleAllocated()) {
        LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
        SetWindowLongPtrW(Handle(), GWL_STYLE, style | WS_CAPTION | WS_SYSMENU);
        SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    button_->LayoutDropDown();
    button_->DropDownHidden();
}

void TColorDropDown::SetBarHot(bool Value) {
    if (Value == barHot_) return;
    barHot_ = Value;
    PaintDragBar();
}

void TColorDropDown::PaintDragBar() {
    if (!HandleAllocated() || movedAway_ || IsRectEmpty(&dragBar_)) return;
    classlib::TWindowDC dc(Handle());
    classlib::TOwnedBrush brush(CreateSolidBrush(
        classlib::ColorToRGB(barHot_ ? classlib::clActiveCaption : classlib::clInactiveCaption)));
    FillRect(dc.Get(), &dragBar_, brush.Get());
}

void TColorDropDown::Dispatch(classlib::TMessage& Message) {
    switch (Message.Msg) {
        case WM_NCHITTEST: {
            classlib::TForm::Dispatch(Message);
            if (movedAway_ || Message.Result != HTCLIENT) return;
            POINT p{static_cast<short>(LOWORD(Message.LParam)), static_cast<short>(HIWORD(Message.LParam))};
            ::ScreenToClient(Handle(), &p);
            // Over the drag bar the window answers as its caption, so dragging the bar moves it.
            if (PtInRect(&dragBar_, p)) Message.Result = HTCAPTION;
            return;
        }
        case WM_NCMOUSEMOVE:
            if (!movedAway_ && Message.WParam == HTCAPTION) {
                SetBarHot(true);
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE | TME_NONCLIENT, Handle(), 0};
                TrackMouseEvent(&track);
            }
            break;
        case WM_NCMOUSELEAVE:
        case WM_MOUSEMOVE: {
            // The bar, grown by 2 pixels on each side, keeps its lit colour.
            POINT p{};
            GetCursorPos(&p);
            ::ScreenToClient(Handle(), &p);
            RECT around = dragBar_;
            InflateRect(&around, 2, 2);
            if (!PtInRect(&around, p)) SetBarHot(false);
            // While the window hangs under its button, a move in it is the drag bar's business
            // alone (the bar itself answers as a caption, so this is a move beside it).
            if (Message.Msg == WM_MOUSEMOVE && !movedAway_) return;
            break;
        }
        case WM_ENTERSIZEMOVE:
            BecomeMovedAway();
            break;
        case WM_ACTIVATE:
            classlib::TForm::Dispatch(Message);
            // Losing the focus closes a drop-down that hangs under its button.
            if (LOWORD(Message.WParam) == WA_INACTIVE && !movedAway_ && Visible()) Hide();
            return;
        case WM_PAINT:
            classlib::TForm::Dispatch(Message);
            PaintDragBar();
            return;
        default:
            break;
    }
    classlib::TForm::Dispatch(Message);
}

// ---- TColorButton ------------------------------------------------------------------------------

TColorButton::TColorButton(classlib::TComponent* AOwner) : classlib::TCustomPanel(AOwner), sizes_(kWordStyle) {
    SetBevelOuter(classlib::TPanelBevel::bvNone);
    SetControlStyle((ControlStyle() & ~static_cast<std::uint32_t>(classlib::csAcceptsControls)) | classlib::csOpaque);

    colorPart_ = new TSubColorButton(this, TSubColorKind::scColorPart);
    colorPart_->SetParent(this);
    colorPart_->SetNumGlyphs(2);
    colorPart_->SetFlat(flat_);
    colorPart_->OnClick = [this](classlib::TObject*) {
        if (OnColorSelected) OnColorSelected(this, selectedColor_);
    };
    arrowPart_ = new TSubColorButton(this, TSubColorKind::scArrow);
    arrowPart_->SetParent(this);
    arrowPart_->SetGroupIndex(2);
    arrowPart_->SetAllowAllUp(true);
    arrowPart_->SetFlat(dropDownFlat_);
    arrowPart_->SetGlyph(LoadBitmapW(GetModuleHandleW(nullptr), L"TCOLORBUTTON_DROPDOWN"));
    arrowPart_->OnMouseDown = [this](classlib::TObject*, classlib::TMouseButton Button, classlib::TShiftState, int, int) {
        if (Button == classlib::TMouseButton::mbLeft && Enabled()) DropDown();
    };
    colorPart_->Partner = arrowPart_;
    arrowPart_->Partner = colorPart_;

    dropDown_ = new TColorDropDown(this);
    dropDown_->SetCaption(dropDownCaption_);
    automatic_ = new TSubColorButton(dropDown_, TSubColorKind::scAutomatic);
    automatic_->SetParent(dropDown_);
    automatic_->SetGroupIndex(1);
    automatic_->SetAllowAllUp(true);  // so that a colour outside the palette leaves every button up
    automatic_->SetTag(41);
    automatic_->SetCaption(captionAuto_);
    automatic_->SetDown(true);
    automatic_->OnClick = [this](classlib::TObject* Sender) { Choose(Sender); };
    for (int i = 0; i < 40; ++i) {
        auto* cell = new TSubColorButton(dropDown_, TSubColorKind::scCell);
        cell->SetParent(dropDown_);
        cell->SetGroupIndex(1);
        cell->SetAllowAllUp(true);
        cell->SetTag(i);
        cell->SetShownColor(ColorButtonPalette[static_cast<size_t>(i)]);
        cell->OnClick = [this](classlib::TObject* Sender) { Choose(Sender); };
        cells_[static_cast<size_t>(i)] = cell;
    }
    other_ = new classlib::TSpeedButton(dropDown_);
    other_->SetParent(dropDown_);
    other_->SetTag(42);
    other_->SetCaption(captionOther_);
    other_->SetGlyph(PaletteGlyph());
    other_->OnClick = [this](classlib::TObject* Sender) { Choose(Sender); };
    SetDropDownFlat(dropDownFlat_);

    colorDialog_ = new classlib::TColorDialog(this);
    colorDialog_->SetOptions(classlib::cdFullOpen | classlib::cdSolidColor | classlib::cdAnyColor);
    action_ = new classlib::TAction(this);
    action_->OnUpdate = [this](classlib::TObject*) {
        if (OnUpdate) OnUpdate(this);
    };
    colorPart_->SetAction(action_);
    LoadGlyph();
    SetBounds(Left(), Top(), 32, 22);
}

TColorButton::~TColorButton() {
    if (dropDown_->Visible()) dropDown_->Hide();
    // The parts refer to each other and to this button: they go before its own members.
    DestroyComponents();
}

void TColorButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    AWidth = std::max(AWidth, 23 + dropDownWidth_);
    AHeight = std::max(AHeight, 22);
    classlib::TCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
    Arrange();
}

void TColorButton::Arrange() {
    if (colorPart_ == nullptr || arrowPart_ == nullptr) return;
    colorPart_->SetBounds(0, 0, Width() - dropDownWidth_, Height());
    arrowPart_->SetBounds(Width() - dropDownWidth_, 0, dropDownWidth_, Height());
}

void TColorButton::SetDropDownWidth(int Value) {
    dropDownWidth_ = std::max(Value, 9);
    SetBounds(Left(), Top(), Width(), Height());
    Arrange();
}

void TColorButton::LoadGlyph() {
    static const wchar_t* names[] = {L"TCOLOTBUTTON_BACKGROUD", L"TCOLORBUTTON_TEXT", L"TCOLORBUTTON_LINES"};
    // A program without the glyph resources shows the colour bar alone.
    colorPart_->SetGlyph(LoadBitmapW(GetModuleHandleW(nullptr), names[static_cast<int>(glyphType_)]));
}

void TColorButton::SetGlyphType(TGlyphType Value) {
    if (Value == glyphType_) return;
    glyphType_ = Value;
    LoadGlyph();
}

void TColorButton::SetSize(int Which, int Value) {
    if (sizes_[static_cast<size_t>(Which)] == Value) return;
    wordStyle_ = false;
    sizes_[static_cast<size_t>(Which)] = std::max(Value, kWordStyle[static_cast<size_t>(Which)]);
    if (dropDown_->Visible()) LayoutDropDown();
}

void TColorButton::SetWordStyle(bool Value) {
    wordStyle_ = Value;
    if (!Value) return;
    sizes_ = kWordStyle;
    dropDownMove_ = dropDownFlat_ = flat_ = true;
    dropDownWidth_ = 9;
    SetBounds(Left(), Top(), Width(), Height());
    if (dropDown_->Visible()) LayoutDropDown();
}

void TColorButton::SetDropDownMove(bool Value) {
    dropDownMove_ = Value;
    if (!Value && dropDown_->MovedAway() && dropDown_->Visible()) CloseDropDown();
}

void TColorButton::SetDropDownFlat(bool Value) {
    dropDownFlat_ = Value;
    arrowPart_->SetFlat(Value);
    automatic_->SetFlat(Value);
    for (TSubColorButton* cell : cells_) cell->SetFlat(Value);
    other_->SetFlat(Value);
}

void TColorButton::SetFlat(bool Value) {
    flat_ = Value;
    colorPart_->SetFlat(Value);
    arrowPart_->SetFlat(Value);
}

void TColorButton::SetEnabled(bool Value) {
    classlib::TCustomPanel::SetEnabled(Value);
    colorPart_->SetEnabled(Value);
    arrowPart_->SetEnabled(Value);
    automatic_->SetEnabled(Value);
    for (TSubColorButton* cell : cells_) cell->SetEnabled(Value);
    other_->SetEnabled(Value);
}

void TColorButton::SetCaptionAutoColor(const std::string& Value) {
    captionAuto_ = Value;
    automatic_->SetCaption(Value);
}
void TColorButton::SetCaptionOtherColor(const std::string& Value) {
    captionOther_ = Value;
    other_->SetCaption(Value);
}
void TColorButton::SetDropDownCaption(const std::string& Value) {
    dropDownCaption_ = Value;
    dropDown_->SetCaption(Value);
}

void TColorButton::LayoutDropDown() {
    const int hori = HoriMargin(), size = ColorSize(), space = ColorSpace(), button = ButtonHeight();
    const bool bar = dropDownMove_ && !dropDown_->MovedAway();
    const int width = 2 * hori + 8 * size + 7 * space;
    const int height = TopMargin() + BottomMargin() + (bar ? DragBarHeight() : 0) + DragBarSpace() + ColorSpaceTop() +
                       ColorSpaceBottom() + 5 * size + 4 * space + 2 * button;
    dropDown_->HandleNeeded();
    dropDown_->SetClientWidth(width);
    dropDown_->SetClientHeight(height);
    int y = TopMargin();
    dropDown_->SetDragBar(bar ? RECT{hori / 2, y, width - hori / 2, y + DragBarHeight()} : RECT{});
    if (bar) y += DragBarHeight();
    y += DragBarSpace();
    automatic_->SetBounds(hori, y, width - 2 * hori, button);
    y += button + ColorSpaceTop();
    for (int i = 0; i < 40; ++i)
        cells_[static_cast<size_t>(i)]->SetBounds(hori + (i % 8) * (size + space), y + (i / 8) * (size + space), size, size);
    y += 5 * size + 4 * space + ColorSpaceBottom();
    other_->SetBounds(hori, y, width - 2 * hori, button);
}

void TColorButton::DropDown() {
    dropDown_->DropCaption();
    LayoutDropDown();
    POINT p = colorPart_->ClientToScreen(POINT{0, colorPart_->Height()});
    const int w = dropDown_->Width(), h = dropDown_->Height();
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    if (p.x + w > screenW) p.x = screenW - w;
    if (p.y + h > screenH) p.y = colorPart_->ClientToScreen(POINT{0, 0}).y - h;
    dropDown_->SetBounds(p.x, p.y, w, h);
    arrowPart_->SetDown(true);
    dropDown_->Show();
}

void TColorButton::CloseDropDown() {
    if (dropDown_->Visible()) dropDown_->Hide();
}

void TColorButton::DropDownHidden() {
    arrowPart_->SetDown(false);
    arrowPart_->Perform(classlib::CM_MOUSELEAVE, 0, 0);
    colorPart_->Perform(classlib::CM_MOUSELEAVE, 0, 0);
}

void TColorButton::Choose(classlib::TObject* Sender) {
    if (!dropDown_->MovedAway()) CloseDropDown();
    if (Sender == other_) {
        TColor color = selectedColor_;
        if (ExecuteColorDialog(color)) SetSelectedColor(color);
        return;
    }
    if (auto* sub = dynamic_cast<TSubColorButton*>(Sender)) {
        sub->SetDown(true);
        SetSelectedColor(sub->ShownColor());
    }
}

void TColorButton::SetSelectedColor(TColor Value) {
    if (Value == selectedColor_) return;
    colorPart_->SetShownColor(Value);
    selectedColor_ = Value;
    if (Value == automatic_->ShownColor()) {
        automatic_->SetDown(true);
    } else {
        automatic_->SetDown(false);
        TSubColorButton* match = nullptr;
        for (TSubColorButton* cell : cells_) {
            cell->SetDown(false);
            if (match == nullptr && cell->ShownColor() == Value) match = cell;
        }
        if (match != nullptr) match->SetDown(true);
    }
    if (OnColorSelected) OnColorSelected(this, Value);
}

bool TColorButton::ExecuteColorDialog(TColor& Color) {
    colorDialog_->SetColor(static_cast<TColor>(Resolved(Color)));
    if (!colorDialog_->Execute()) return false;
    Color = colorDialog_->Color();
    return true;
}

}  // namespace widgets::custom
