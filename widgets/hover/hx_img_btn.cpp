// The Hover image button.
#include "widgets/hover/hx_img_btn.h"

#include <uxtheme.h>
#include <vsstyle.h>

#include <algorithm>
#include <vector>

#include "classlib/application.h"
#include "classlib/exceptions.h"
#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "widgets/hover/hx_themes.h"

namespace hover {

using namespace classlib;

namespace {

struct TKindFacts {
    const char* caption;
    TModalResult result;
    bool isDefault;
    bool isCancel;
    int stockIndex;
};

const TKindFacts& KindFacts(THxImgBtnKind Kind) {
    static const TKindFacts facts[] = {
        {"", mrNone, false, false, -1},          {"Ok", mrOk, true, false, 2},        {"Cancel", mrCancel, false, true, 4},
        {"&Help", mrNone, false, false, 0},      {"&Yes", mrYes, true, false, 3},     {"&No", mrNo, false, true, 1},
        {"&Close", mrNone, false, false, 5},     {"Cancel", mrAbort, false, false, 8}, {"&Retry", mrRetry, false, false, 6},
        {"&Ignore", mrIgnore, false, false, 9}, {"&All", mrAll, false, false, 7}};
    return facts[static_cast<int>(Kind)];
}

// The same-size rule runs once per change: the buttons it resizes do not start it again.
bool gForcingSize = false;

// The stock pictures, in stock-index order: help, no, OK, yes, cancel, close, retry, all, abort,
// ignore; each a mark in its colour on the mask colour.
std::unique_ptr<TImageList> gStockImages;

void MakeStockImages() {
    constexpr int size = 18, count = 10;
    constexpr TColor maskColour = 0x008080;
    struct TMark {
        const char* text;
        COLORREF colour;
    };
    static constexpr TMark marks[count] = {{"?", RGB(0, 0, 192)}, {"N", RGB(192, 0, 0)},   {"v", RGB(0, 128, 0)},
                                           {"Y", RGB(0, 128, 0)}, {"x", RGB(192, 0, 0)},   {"C", RGB(0, 0, 128)},
                                           {"R", RGB(0, 0, 192)}, {"A", RGB(0, 128, 0)},   {"!", RGB(192, 0, 0)},
                                           {"I", RGB(96, 96, 96)}};
    gStockImages = std::make_unique<TImageList>(nullptr);
    gStockImages->SetWidth(size);
    gStockImages->SetHeight(size);
    TWindowDC screen(nullptr);
    TOwnedDC dc(CreateCompatibleDC(screen.Get()));
    TOwnedBitmap strip(CreateCompatibleBitmap(screen.Get(), size * count, size));
    {
        TSelectedObject select(dc.Get(), strip.Get());
        TOwnedBrush mask(CreateSolidBrush(ColorToRGB(maskColour)));
        RECT all{0, 0, size * count, size};
        FillRect(dc.Get(), &all, mask.Get());
        TOwnedFont font(CreateFontA(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, "Arial"));
        TSelectedObject selectFont(dc.Get(), font.Get());
        SetBkMode(dc.Get(), TRANSPARENT);
        for (int i = 0; i < count; ++i) {
            RECT r{i * size, 0, (i + 1) * size, size};
            SetTextColor(dc.Get(), marks[i].colour);
            DrawTextA(dc.Get(), marks[i].text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
    gStockImages->AddMasked(strip.Get(), maskColour);
}

void RemovePendingMouseMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

void CollectButtons(TWinControl* Parent, std::vector<THxCustomButton*>& Out) {
    for (int i = 0; i < Parent->ControlCount(); ++i) {
        TControl* c = Parent->Controls(i);
        if (auto* b = dynamic_cast<THxCustomButton*>(c)) Out.push_back(b);
        if (auto* w = dynamic_cast<TWinControl*>(c)) CollectButtons(w, Out);
    }
}

}  // namespace

// ---- THxCustomButton -------------------------------------------------------------------------

THxCustomButton::THxCustomButton(TComponent* AOwner)
    : THxExButton(AOwner), hotTrackFont_(std::make_unique<TFont>()), savedFont_(std::make_unique<TFont>()) {
    hotTrackFont_->Assign(Font());
}

THxCustomButton::~THxCustomButton() = default;

void THxCustomButton::SetDropDownMenu(TPopupMenu* Value) {
    if (dropDownMenu_ == Value) return;
    if (dropDownMenu_ != nullptr) dropDownMenu_->RemoveFreeNotification(this);
    dropDownMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    if (dropArrow_) Invalidate();
}

void THxCustomButton::SetHotTrackFontOptions(THxTrackFontOptions Value) {
    hotTrackFontOptions_ = Value;
    FollowFont(hotTrackFont_.get(), fontSwapped_ ? savedFont_.get() : Font(), hotTrackFontOptions_);
}

void THxCustomButton::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    Invalidate();
}

void THxCustomButton::SetForceSameSize(bool Value) {
    if (forceSameSize_ == Value) return;
    forceSameSize_ = Value;
    if (Value) ForceSize();
}

void THxCustomButton::SetDropArrow(bool Value) {
    if (dropArrow_ == Value) return;
    dropArrow_ = Value;
    Invalidate();
}

void THxCustomButton::CreateParams(TCreateParams& Params) {
    THxExButton::CreateParams(Params);
    Params.Style |= BS_MULTILINE;
}

void THxCustomButton::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    THxExButton::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (forceSameSize_) ForceSize();
}

void THxCustomButton::ForceSize() {
    if (gForcingSize || HasState(csLoading)) return;
    TCustomForm* form = GetParentForm(this);
    if (form == nullptr) return;
    struct TGuard {
        TGuard() { gForcingSize = true; }
        ~TGuard() { gForcingSize = false; }
    } guard;
    std::vector<THxCustomButton*> buttons;
    CollectButtons(form, buttons);
    for (THxCustomButton* b : buttons)
        if (b != this) b->SetBounds(b->Left(), b->Top(), Width(), Height());
}

void THxCustomButton::Notification(TComponent* AComponent, TOperation Operation) {
    THxExButton::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == dropDownMenu_) dropDownMenu_ = nullptr;
}

void THxCustomButton::FontChanged() {
    THxExButton::FontChanged();
    if (!swapping_ && !fontSwapped_) FollowFont(hotTrackFont_.get(), Font(), hotTrackFontOptions_);
}

void THxCustomButton::SwapHotFont(bool Hot) {
    if (Hot == fontSwapped_) return;
    swapping_ = true;
    try {
        if (Hot) {
            savedFont_->Assign(Font());
            Font()->Assign(hotTrackFont_.get());
        } else {
            Font()->Assign(savedFont_.get());
        }
    } catch (...) {
        swapping_ = false;
        throw;
    }
    swapping_ = false;
    fontSwapped_ = Hot;
}

bool THxCustomButton::DoDropDownMenu(int X, int Y) {
    if (dropDownMenu_ == nullptr) return false;
    dropDownMenu_->SetPopupComponent(this);
    if (dropDownMenu_->Alignment() == TPopupAlignment::paRight) X += Width();
    if (dropDownMenu_->Alignment() == TPopupAlignment::paCenter) X += Width() / 2;
    bool handled = false;
    if (OnDropDownMenu) OnDropDownMenu(this, POINT{X, Y}, handled);
    if (!handled && dropDownMenu_ != nullptr) dropDownMenu_->Popup(X, Y);
    // The click that closed the menu must not reach the window below it; without a menu
    // nothing of the user's input is taken away.
    RemovePendingMouseMessages();
    return true;
}

void THxCustomButton::DrawDropArrow(TCanvas* Canvas, const RECT& Rect) {
    HDC dc = Canvas->Handle();
    TOwnedPen pen(CreatePen(PS_SOLID, 1, ColorToRGB(Enabled() ? clWindowText : clInactiveCaption)));
    TSelectedObject select(dc, pen.Get());
    const int width = Rect.right - Rect.left;
    for (int row = 0; row <= width / 2; ++row) {
        MoveToEx(dc, Rect.left + row, Rect.top + row, nullptr);
        LineTo(dc, Rect.right - row, Rect.top + row);
    }
}

void THxCustomButton::ClickWithDropDown() {
    THxExButton::Click();
    POINT p = ClientToScreen(POINT{0, Height()});
    DoDropDownMenu(p.x, p.y);
}

void THxCustomButton::Click() { ClickWithDropDown(); }

// ---- Action link -----------------------------------------------------------------------------

const TControlActionLinkClassRef& THxImgBtnActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(L"THxImgBtnActionLink", &TButtonActionLink::ClassRef(),
                                                [](TControl* c) -> TControlActionLink* { return new THxImgBtnActionLink(c); });
    return ref;
}

bool THxImgBtnActionLink::IsImageIndexLinked() {
    auto* button = dynamic_cast<THxCustomImageButton*>(Client());
    return TButtonActionLink::IsImageIndexLinked() && button != nullptr && CustomAction() != nullptr &&
           CustomAction()->ImageIndex() == button->ImageIndex();
}

void THxImgBtnActionLink::SetImageIndex(int Value) {
    if (IsImageIndexLinked()) static_cast<THxCustomImageButton*>(Client())->SetImageIndex(Value);
}

// ---- THxCustomImageButton --------------------------------------------------------------------

THxCustomImageButton::THxCustomImageButton(TComponent* AOwner) : THxCustomButton(AOwner) {
    SetParentColor(false);
    SetColor(clBtnFace);
    imageLink_.OnChange = [this](TObject*) { Invalidate(); };
    if (!gStockImages) MakeStockImages();
}

THxCustomImageButton::~THxCustomImageButton() {
    if (images_ != nullptr) images_->UnRegisterChanges(&imageLink_);
    canvas_.SetHandle(nullptr);
}

TCustomImageList* THxCustomImageButton::StockImages() {
    if (!gStockImages) MakeStockImages();
    return gStockImages.get();
}

TControlActionLinkClass THxCustomImageButton::GetActionLinkClass() const { return &THxImgBtnActionLink::ClassRef(); }

void THxCustomImageButton::ActionChange(TObject* Sender, bool CheckDefaults) {
    THxCustomButton::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    // The action's list's images come with its image index.
    TCustomImageList* images = action->ActionList() != nullptr ? action->ActionList()->Images() : nullptr;
    if (images != nullptr && (!CheckDefaults || images_ == nullptr)) SetImages(images);
    if (!CheckDefaults || imageIndex_ == -1) SetImageIndex(action->ImageIndex());
}

void THxCustomImageButton::SetAlignment(TAlignment Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (margin_ == -1) margin_ = 0;
    Invalidate();
}

void THxCustomImageButton::SetMargin(int Value) {
    if (Value < -1 || margin_ == Value) return;
    margin_ = Value;
    if (Value == -1) alignment_ = TAlignment::taCenter;
    Invalidate();
}

void THxCustomImageButton::SetLayout(THxImgBtnLayout Value) {
    if (layout_ == Value) return;
    layout_ = Value;
    if (HasState(csDesigning) && alignment_ != TAlignment::taCenter)
        alignment_ = Value == THxImgBtnLayout::blImageLeft ? TAlignment::taLeftJustify : TAlignment::taRightJustify;
    Invalidate();
}


void THxCustomImageButton::SetImages(TCustomImageList* Value) {
    if (images_ == Value) return;
    if (images_ != nullptr) {
        images_->UnRegisterChanges(&imageLink_);
        images_->RemoveFreeNotification(this);
    }
    images_ = Value;
    if (images_ != nullptr) {
        images_->RegisterChanges(&imageLink_);
        images_->FreeNotification(this);
    } else {
        imageIndex_ = -1;
    }
    Invalidate();
}

void THxCustomImageButton::SetKind(THxImgBtnKind Value) {
    if (kind_ == Value) return;
    if (kind_ == THxImgBtnKind::bkCustom && Value != THxImgBtnKind::bkCustom && !HasState(csLoading)) {
        SetCaption("");
        SetImages(nullptr);
    }
    kind_ = Value;
    const TKindFacts& f = KindFacts(Value);
    if (Value != THxImgBtnKind::bkCustom) {
        SetDefault(f.isDefault);
        SetCancel(f.isCancel);
    }
    SetModalResult(f.result);
    Invalidate();
}

std::string THxCustomImageButton::ShownCaption() {
    std::string caption = Caption();
    if (kind_ != THxImgBtnKind::bkCustom && caption.empty()) return KindFacts(kind_).caption;
    if (WordWrap()) std::replace(caption.begin(), caption.end(), '|', '\n');
    return caption;
}

bool THxCustomImageButton::ShowsImage() {
    return imageVisible_ && ((images_ != nullptr && imageIndex_ != -1) || (images_ == nullptr && kind_ != THxImgBtnKind::bkCustom));
}

TCustomImageList* THxCustomImageButton::ShownImages() {
    if (!ShowsImage()) return nullptr;
    return images_ != nullptr ? images_ : StockImages();
}

int THxCustomImageButton::CurrentImageIndex() {
    if (!ShowsImage()) return -1;
    if (images_ == nullptr) return KindFacts(kind_).stockIndex;
    if (!animating_) return imageIndex_;
    int index = currentFrame_ + imageIndex_ - 1;
    if (OnGetAnimateIndex) OnGetAnimateIndex(this, currentFrame_, index);
    return index;
}

// ---- Animation -------------------------------------------------------------------------------

void THxCustomImageButton::SetAnimate(bool Value) {
    if (animate_ == Value) return;
    animate_ = Value;
    if (Value)
        StartAnimation();
    else
        StopAnimation();
}

void THxCustomImageButton::SetAnimateFrames(int Value) {
    if (animateFrames_ == Value) return;
    animateFrames_ = Value;
    if (animating_) {
        StopAnimation();
        StartAnimation();
    }
}

void THxCustomImageButton::SetAnimateInterval(UINT Value) {
    if (animateInterval_ == Value) return;
    animateInterval_ = Value;
    if (animating_) {
        StopAnimation();
        StartAnimation();
    }
}

void THxCustomImageButton::StartAnimation() {
    if (!animate_ || HasState(csLoading) || HasState(csDesigning) || !HandleAllocated()) return;
    currentFrame_ = 0;
    currentFrame_ = 1;
    Invalidate();
    if (SetTimer(WindowHandle(), 1, animateInterval_, nullptr) == 0) RaiseLastOSError();
    animating_ = true;
}

void THxCustomImageButton::StopAnimation() {
    if (animating_ && HandleAllocated()) KillTimer(WindowHandle(), 1);
    animating_ = false;
    currentFrame_ = 0;
    Invalidate();
}

void THxCustomImageButton::CreateWnd() {
    THxCustomButton::CreateWnd();
    StartAnimation();
}

void THxCustomImageButton::DestroyWnd() {
    StopAnimation();
    THxCustomButton::DestroyWnd();
}

void THxCustomImageButton::Loaded() {
    THxCustomButton::Loaded();
    StartAnimation();
}

// ---- Messages --------------------------------------------------------------------------------

void THxCustomImageButton::CreateParams(TCreateParams& Params) {
    THxCustomButton::CreateParams(Params);
    Params.Style = (Params.Style & ~static_cast<DWORD>(0x0F)) | BS_OWNERDRAW;
}

void THxCustomImageButton::Notification(TComponent* AComponent, TOperation Operation) {
    THxCustomButton::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent == images_) {
        images_ = nullptr;
        imageIndex_ = -1;
        Invalidate();
    }
}

void THxCustomImageButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case BM_SETSTYLE: {
            // The library's default look is drawn here: the window stays owner-drawn.
            const bool focused = (Message.WParam & 0x0F) == BS_DEFPUSHBUTTON;
            Message.WParam = BS_OWNERDRAW;
            if (focused != isFocused_) {
                isFocused_ = focused;
                Invalidate();
            }
            break;
        }
        case CN_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(Message.LParam));
            Message.Result = 1;
            return;
        case CN_MEASUREITEM: {
            auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
            mis->itemWidth = static_cast<UINT>(Width());
            mis->itemHeight = static_cast<UINT>(Height());
            Message.Result = 1;
            return;
        }
        case WM_LBUTTONDBLCLK:
            // A double click is a second press.
            Message.Msg = WM_LBUTTONDOWN;
            break;
        case WM_TIMER:
            if (Message.WParam == 1 && animating_) {
                if (++currentFrame_ > animateFrames_) currentFrame_ = 1;
                Invalidate();
                return;
            }
            break;
        default:
            break;
    }
    THxCustomButton::Dispatch(Message);
}

void THxCustomImageButton::Click() {
    if (kind_ == THxImgBtnKind::bkHelp) {
        TControl* c = this;
        while (c != nullptr && c->HelpContext() == 0) c = c->Parent();
        TCustomForm* form = GetParentForm(this);
        if (c != nullptr && form != nullptr) {
            // The help request goes the system's way, to the form's window.
            HELPINFO info{};
            info.cbSize = sizeof(info);
            info.iContextType = HELPINFO_WINDOW;
            info.dwContextId = static_cast<DWORD_PTR>(c->HelpContext());
            info.hItemHandle = Handle();
            SendMessageA(form->Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            return;
        }
    } else if (kind_ == THxImgBtnKind::bkClose) {
        if (TCustomForm* form = GetParentForm(this)) {
            form->Close();
            return;
        }
    }
    ClickWithDropDown();
}

void THxCustomImageButton::Repaint(bool) {
    if (ThemesEnabled() || flat_ || HotTrack()) Invalidate();
}

void THxCustomImageButton::MouseEnter(TControl* Control) {
    THxCustomButton::MouseEnter(Control);
    if (HasState(csDesigning) || !Enabled() || GetCapture() != nullptr) return;
    mouseInside_ = true;
    if (HotTrack()) SwapHotFont(true);
    Repaint(true);
}

void THxCustomImageButton::MouseLeave(TControl* Control) {
    THxCustomButton::MouseLeave(Control);
    if (HasState(csDesigning) || !Enabled() || !mouseInside_) return;
    if (HandleAllocated() && GetCapture() == WindowHandle()) return;
    mouseInside_ = false;
    SwapHotFont(false);
    Repaint(false);
}

// ---- Drawing ---------------------------------------------------------------------------------

void THxCustomImageButton::CalcButtonParts(const RECT& ButtonRect, RECT& TextRect, RECT& ImageRect) {
    const int w = ButtonRect.right - ButtonRect.left, h = ButtonRect.bottom - ButtonRect.top;
    TCustomImageList* list = ShownImages();
    const int iw = list != nullptr ? list->Width() : 0, ih = list != nullptr ? list->Height() : 0;
    const int gap = list != nullptr ? spacing_ : 0;
    int room = w - iw;
    if (alignment_ != TAlignment::taCenter) room = std::max(room, Width() - iw - 18);
    const UINT alignFlag = alignment_ == TAlignment::taLeftJustify ? DT_LEFT : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_CENTER;
    RECT text{0, 0, std::max(room, 1), 0};
    HDC dc = canvas_.HandleAllocated() ? canvas_.Handle() : nullptr;
    TWindowDC screen;
    if (dc == nullptr) {
        screen = TWindowDC(nullptr);
        dc = screen.Get();
    }
    {
        TSelectedObject font(dc, Font()->Handle());
        DrawTextAnsi(dc, ShownCaption(), text, alignFlag | DT_CALCRECT | (WordWrap() ? DT_WORDBREAK : 0));
    }
    const int tw = text.right - text.left, th = text.bottom - text.top;
    const int total = iw + gap + tw;
    int offset;
    if (margin_ == -1 || alignment_ == TAlignment::taCenter)
        offset = (w - total) / 2;
    else if (alignment_ == TAlignment::taRightJustify)
        offset = w - total - margin_;
    else
        offset = margin_;
    int ix, tx;
    if (layout_ == THxImgBtnLayout::blImageLeft) {
        ix = offset;
        tx = offset + iw + gap;
    } else {
        ix = w - offset - iw;
        tx = w - total - offset;
    }
    ImageRect = RECT{ButtonRect.left + ix, ButtonRect.top + (h - ih) / 2, ButtonRect.left + ix + iw, ButtonRect.top + (h - ih) / 2 + ih};
    TextRect = RECT{ButtonRect.left + tx, ButtonRect.top + (h - th) / 2, ButtonRect.left + tx + tw, ButtonRect.top + (h - th) / 2 + th};
}

void THxCustomImageButton::DrawButtonFrame(const DRAWITEMSTRUCT& Item, RECT& Inner) {
    HDC dc = Item.hDC;
    const bool disabled = (Item.itemState & ODS_DISABLED) != 0;
    const bool pressed = (Item.itemState & ODS_SELECTED) != 0 && !disabled;
    RECT client = Item.rcItem;
    if (ThemesEnabled()) {
        if (HTHEME theme = OpenThemeData(WindowHandle(), L"BUTTON")) {
            int state = disabled ? PBS_DISABLED : pressed ? PBS_PRESSED : mouseInside_ ? PBS_HOT : isFocused_ ? PBS_DEFAULTED : PBS_NORMAL;
            DrawThemeParentBackground(WindowHandle(), dc, &client);
            DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &client, nullptr);
            GetThemeBackgroundContentRect(theme, dc, BP_PUSHBUTTON, state, &client, &Inner);
            CloseThemeData(theme);
            return;
        }
    }
    TOwnedBrush face(CreateSolidBrush(ColorToRGB(Color())));
    if (flat_) {
        FillRect(dc, &client, face.Get());
        if (mouseInside_ || isFocused_ || HasState(csDesigning)) {
            COLORREF topLeft = ColorToRGB(pressed ? clBtnShadow : clBtnHighlight);
            COLORREF bottomRight = ColorToRGB(pressed ? clBtnHighlight : clBtnShadow);
            TOwnedPen tl(CreatePen(PS_SOLID, 1, topLeft)), br(CreatePen(PS_SOLID, 1, bottomRight));
            {
                TSelectedObject s(dc, tl.Get());
                MoveToEx(dc, client.left, client.bottom - 1, nullptr);
                LineTo(dc, client.left, client.top);
                LineTo(dc, client.right - 1, client.top);
            }
            TSelectedObject s(dc, br.Get());
            MoveToEx(dc, client.right - 1, client.top, nullptr);
            LineTo(dc, client.right - 1, client.bottom - 1);
            LineTo(dc, client.left - 1, client.bottom - 1);
        }
    } else {
        RECT r = client;
        if (isFocused_) {
            TOwnedBrush frame(CreateSolidBrush(ColorToRGB(disabled ? clInactiveCaption : clWindowFrame)));
            FrameRect(dc, &r, frame.Get());
            InflateRect(&r, -1, -1);
        }
        if (pressed) {
            TOwnedBrush shadow(CreateSolidBrush(ColorToRGB(clBtnShadow)));
            TOwnedBrush btnFace(CreateSolidBrush(ColorToRGB(clBtnFace)));
            FillRect(dc, &r, btnFace.Get());
            FrameRect(dc, &r, shadow.Get());
            InflateRect(&r, -1, -1);
        } else {
            DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (disabled ? DFCS_INACTIVE : 0));
        }
        FillRect(dc, &r, face.Get());
    }
    Inner = client;
    InflateRect(&Inner, -4, -4);
}

void THxCustomImageButton::DrawButtonText(const RECT& TextRect, bool IsEnabled) {
    HDC dc = canvas_.Handle();
    TSelectedObject font(dc, Font()->Handle());
    const int mode = SetBkMode(dc, TRANSPARENT);
    const UINT flags = (alignment_ == TAlignment::taLeftJustify ? DT_LEFT : alignment_ == TAlignment::taRightJustify ? DT_RIGHT : DT_CENTER) |
                       (WordWrap() ? DT_WORDBREAK : 0);
    RECT r = TextRect;
    const std::string caption = ShownCaption();
    if (!IsEnabled) {
        OffsetRect(&r, 1, 1);
        SetTextColor(dc, ColorToRGB(clBtnHighlight));
        DrawTextAnsi(dc, caption, r, flags);
        r = TextRect;
        SetTextColor(dc, ColorToRGB(clBtnShadow));
    } else {
        SetTextColor(dc, ColorToRGB(Font()->Color()));
    }
    DrawTextAnsi(dc, caption, r, flags);
    SetBkMode(dc, mode);
}

void THxCustomImageButton::DrawButtonImage(const RECT& ImageRect) {
    TCustomImageList* list = ShownImages();
    const int index = CurrentImageIndex();
    if (list == nullptr || index < 0 || index >= list->Count()) return;
    list->Draw(canvas_.Handle(), ImageRect.left, ImageRect.top, index, Enabled());
}

void THxCustomImageButton::DrawButtonFocusRect(const RECT& Rect) {
    if (!isFocused_) return;
    canvas_.Pen()->SetColor(clWindowFrame);
    canvas_.Brush()->SetColor(clBtnFace);
    RECT r = Rect;
    InflateRect(&r, 1, 1);
    canvas_.DrawFocusRect(r);
}

void THxCustomImageButton::DrawItem(const DRAWITEMSTRUCT& Item) {
    if (HasState(csDestroying)) return;
    canvas_.SetHandle(Item.hDC);
    try {
        canvas_.SetFont(Font());
        if (ownerDraw_ && OnButtonDraw) {
            OnButtonDraw(this, Item);
        } else {
            RECT inner{};
            DrawButtonFrame(Item, inner);
            const bool disabled = (Item.itemState & ODS_DISABLED) != 0;
            const bool pressed = (Item.itemState & ODS_SELECTED) != 0 && !disabled;
            if (pressed) OffsetRect(&inner, 1, ThemesEnabled() ? 0 : 1);
            RECT text{}, image{};
            CalcButtonParts(inner, text, image);
            if (DropArrow() && DropDownMenu() != nullptr) {
                RECT arrow{Width() - 16, Height() / 2, Width() - 9, Height() / 2 + 7};
                if (pressed) OffsetRect(&arrow, 1, 1);
                DrawDropArrow(&canvas_, arrow);
            }
            DrawButtonText(text, !disabled);
            DrawButtonImage(image);
            DrawButtonFocusRect(inner);
        }
    } catch (...) {
        canvas_.SetHandle(nullptr);
        throw;
    }
    canvas_.SetHandle(nullptr);
}

}  // namespace hover
