// Group boxes and radio groups of the class library.
#include "classlib/std_group_boxes.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/hidden_window.h"

namespace classlib {

// ---- TCustomGroupBox -------------------------------------------------------------------------

TCustomGroupBox::TCustomGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks |
                    csReplicatable | csParentBackground);
    SetBounds(0, 0, 185, 105);
}

void TCustomGroupBox::Paint() {
    TCanvas* canvas = Canvas();
    canvas->SetFont(Font());
    int h = canvas->TextHeight("0");
    RECT r{0, h / 2 - 1, Width(), Height()};
    canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
    if (Ctl3D()) {
        ++r.left;
        ++r.top;
        canvas->Brush()->SetColor(clBtnHighlight);
        canvas->FrameRect(r);
        OffsetRect(&r, -1, -1);
        canvas->Brush()->SetColor(clBtnShadow);
    } else {
        canvas->Brush()->SetColor(clWindowFrame);
    }
    canvas->FrameRect(r);
    std::string text = Text();
    if (text.empty()) return;
    UINT flags = DrawTextBiDiModeFlags(DT_SINGLELINE);
    HDC dc = canvas->Handle();
    TTextDC textDc(dc, canvas->Font()->Handle(), ColorToRGB(canvas->Font()->Color()));
    RECT measure{0, 0, 0, h};
    DrawTextAnsi(dc, text, measure, flags | DT_CALCRECT);
    int w = measure.right - measure.left;
    r = UseRightToLeftAlignment() ? RECT{Width() - w - 8, 0, Width() - 8, measure.bottom} : RECT{8, 0, 8 + w, measure.bottom};
    // The caption is never clipped, and the frame line stays clear of the ink past its measured
    // width (TextInkSlack).
    const int slack = TextInkSlack(dc, canvas->Font()->Handle());
    RECT back = r;
    if (UseRightToLeftAlignment())
        back.left -= slack;
    else
        back.right += slack;
    TOwnedBrush background(CreateSolidBrush(ColorToRGB(Color())));
    ::FillRect(dc, &back, background.Get());
    DrawTextAnsi(dc, text, r, flags | DT_NOCLIP);
}

void TCustomGroupBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            SelectFirst();
            Message.Result = 1;
            return;
        }
        break;
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
    case CM_CTL3DCHANGED:
    case WM_SIZE:
        TCustomControl::Dispatch(Message);
        Invalidate();
        return;
    default:
        break;
    }
    TCustomControl::Dispatch(Message);
}

// ---- TGroupButton and TCustomRadioGroup ------------------------------------------------------

TCustomRadioGroup::TCustomRadioGroup(TComponent* AOwner) : TCustomGroupBox(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks | csParentBackground);
    items_.OnChange = [this](TObject* Sender) { ItemsChange(Sender); };
}

TCustomRadioGroup::~TCustomRadioGroup() {
    // The buttons go while the list they remove themselves from still exists.
    items_.OnChange = nullptr;
    destroying_ = true;
    SetButtonCount(0);
}

TRadioButton* TCustomRadioGroup::NewButton() { return new TGroupButton(this); }

void TCustomRadioGroup::SetButtonCaption(int Index) {
    buttons_[static_cast<size_t>(Index)]->SetCaption(items_.Get(Index));
}

void TCustomRadioGroup::SetButtonCount(int Value) {
    while (static_cast<int>(buttons_.size()) < Value) NewButton();
    while (static_cast<int>(buttons_.size()) > Value) delete buttons_.back();
}

void TCustomRadioGroup::UpdateButtons() {
    SetButtonCount(ItemCount());
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) SetButtonCaption(i);
    if (itemIndex_ >= static_cast<int>(buttons_.size())) itemIndex_ = static_cast<int>(buttons_.size()) - 1;
    if (itemIndex_ >= 0) {
        updating_ = true;
        try {
            buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(true);
        } catch (...) {
            updating_ = false;
            throw;
        }
        updating_ = false;
    }
    ArrangeButtons();
    Invalidate();
}

void TCustomRadioGroup::ItemsChange(TObject* Sender) {
    (void)Sender;
    if (Reading() || destroying_) return;
    if (itemIndex_ >= ItemCount()) itemIndex_ = ItemCount() - 1;
    UpdateButtons();
}

void TCustomRadioGroup::ButtonClick(TObject* Sender) {
    if (updating_) return;
    auto it = std::find(buttons_.begin(), buttons_.end(), Sender);
    if (it == buttons_.end()) return;
    itemIndex_ = static_cast<int>(it - buttons_.begin());
    Click();
}

void TCustomRadioGroup::SetItemIndex(int Value) {
    if (Reading()) {
        itemIndex_ = Value;
        return;
    }
    int count = static_cast<int>(buttons_.size());
    Value = std::clamp(Value, -1, count - 1);
    if (itemIndex_ == Value) return;
    if (itemIndex_ >= 0 && itemIndex_ < count) buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(false);
    itemIndex_ = Value;
    if (itemIndex_ >= 0) buttons_[static_cast<size_t>(itemIndex_)]->SetChecked(true);
}

void TCustomRadioGroup::SetColumns(int Value) {
    Value = std::clamp(Value, 1, 16);
    if (columns_ == Value) return;
    columns_ = Value;
    ArrangeButtons();
    Invalidate();
}

void TCustomRadioGroup::ArrangeButtons() {
    if (buttons_.empty() || Reading() || destroying_) return;
    TEXTMETRICA metrics{};
    {
        TWindowDC screen(nullptr);
        if (!screen) return;
        TSelectedObject font(screen.Get(), Font()->Handle());
        GetTextMetricsA(screen.Get(), &metrics);
    }
    int h = metrics.tmHeight;
    int count = static_cast<int>(buttons_.size());
    int perColumn = (count + columns_ - 1) / columns_;
    int buttonWidth = (Width() - 10) / columns_;
    int inner = Height() - h - 5;
    int buttonHeight = inner / perColumn;
    int topMargin = h + 1 + (inner % perColumn) / 2;
    for (int k = 0; k < count; ++k) {
        TRadioButton* button = buttons_[static_cast<size_t>(k)];
        button->SetBiDiMode(BiDiMode());
        int left = (k / perColumn) * buttonWidth + 8;
        if (UseRightToLeftAlignment()) left = ClientWidth() - left - buttonWidth;
        button->SetBounds(left, (k % perColumn) * buttonHeight + topMargin, buttonWidth, buttonHeight);
        button->SetVisible(true);
    }
}

void TCustomRadioGroup::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    bool resized = AWidth != Width() || AHeight != Height();
    TCustomGroupBox::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (resized) ArrangeButtons();
}

void TCustomRadioGroup::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_ENABLEDCHANGED:
        TCustomGroupBox::Dispatch(Message);
        for (TRadioButton* button : buttons_) button->SetEnabled(Enabled());
        return;
    case CM_FONTCHANGED:
    case WM_SIZE:
        TCustomGroupBox::Dispatch(Message);
        ArrangeButtons();
        return;
    default:
        break;
    }
    TCustomGroupBox::Dispatch(Message);
}

void TCustomRadioGroup::Loaded() {
    TCustomGroupBox::Loaded();
    // A stored index beyond the items selects the last one.
    itemIndex_ = std::clamp(itemIndex_, -1, ItemCount() - 1);
    UpdateButtons();
}



}  // namespace classlib
