// The FlatBar edit.
#include "widgets/hover/fb_edit.h"

#include "classlib/gdi_handles.h"
#include "widgets/hover/fb_common.h"

namespace hover {

using namespace classlib;

namespace {
int gFlatEdits = 0;
}

int FlatEditCount() { return gFlatEdits; }

TFlatEdit::TFlatEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
    SetCtl3D(false);
    SetControlStyle(ControlStyle() & ~static_cast<std::uint32_t>(csFramed));
    SetHeight(19);
    ++gFlatEdits;
}

TFlatEdit::~TFlatEdit() { --gFlatEdits; }

void TFlatEdit::CreateParams(TCreateParams& Params) {
    TCustomEdit::CreateParams(Params);
    // The frame is ours: the system draws none.
    Params.Style &= ~static_cast<DWORD>(WS_BORDER);
    Params.ExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
}

void TFlatEdit::UpdateHeight() {
    TWindowDC screen(nullptr);
    TSelectedObject font(screen.Get(), Font()->Handle());
    TEXTMETRICA tm{};
    GetTextMetricsA(screen.Get(), &tm);
    SetHeight(tm.tmHeight + 6);
}

void TFlatEdit::Loaded() {
    TCustomEdit::Loaded();
    if (!HasState(csDesigning)) UpdateHeight();
}

bool TFlatEdit::HotLook() {
    const bool designing = HasState(csDesigning);
    if (designing) return Enabled();
    if (HandleAllocated() && GetFocus() == WindowHandle()) return true;
    // The hover look is left to the focused edit when a FlatBar edit has the focus.
    return mouseIn_ && dynamic_cast<TFlatEdit*>(FindControl(GetFocus())) == nullptr;
}

void TFlatEdit::PaintFrame(HDC DC) {
    RECT r{0, 0, Width(), Height()};
    if (HandleAllocated()) {
        GetWindowRect(WindowHandle(), &r);
        OffsetRect(&r, -r.left, -r.top);
    }
    TOwnedBrush face(CreateSolidBrush(ColorToRGB(clBtnFace)));
    TOwnedBrush window(CreateSolidBrush(ColorToRGB(clWindow)));
    if (!HotLook()) {
        FrameRect(DC, &r, face.Get());
        InflateRect(&r, -1, -1);
        FrameRect(DC, &r, face.Get());
        InflateRect(&r, -1, -1);
        FrameRect(DC, &r, window.Get());
        return;
    }
    DrawEdge(DC, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    RECT left{r.left, r.top, r.left + 1, r.bottom};
    RECT top{r.left, r.top, r.right, r.top + 1};
    FillRect(DC, &left, face.Get());
    FillRect(DC, &top, face.Get());
    DrawEdge(DC, &r, BDR_SUNKENINNER, BF_BOTTOMRIGHT);
    InflateRect(&r, -1, -1);
    FrameRect(DC, &r, window.Get());
}

void TFlatEdit::RedrawFrame() {
    if (HandleAllocated()) RedrawWindow(WindowHandle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

void TFlatEdit::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_NCCALCSIZE: {
            auto* r = reinterpret_cast<RECT*>(Message.LParam);
            InflateRect(r, -3, -3);
            Message.Result = 0;
            return;
        }
        case WM_NCPAINT: {
            HWND w = WindowHandle();
            TWindowDC dc(w, GetWindowDC(w));
            if (!dc) return;
            ClipToUpdateRegion(w, dc.Get(), reinterpret_cast<HRGN>(Message.WParam));
            PaintFrame(dc.Get());
            Message.Result = 0;
            return;
        }
        case WM_PRINT:
            Message.Result = PrintWindow(WindowHandle(), Message.WParam, Message.LParam,
                                         [this](HWND, HDC DC, TWinControl*) { PaintFrame(DC); }, this);
            return;
        case WM_PRINTCLIENT:
            PrintClient(this, Message);
            return;
        case CM_MOUSEENTER:
        case CM_MOUSELEAVE:
            TCustomEdit::Dispatch(Message);
            mouseIn_ = Message.Msg == CM_MOUSEENTER;
            RedrawFrame();
            return;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            TCustomEdit::Dispatch(Message);
            if (!HasState(csDesigning)) RedrawFrame();
            return;
        case CM_ENABLEDCHANGED:
            TCustomEdit::Dispatch(Message);
            SetColor(Enabled() ? clWindow : clBtnFace);
            if (HandleAllocated())
                RedrawWindow(WindowHandle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_NOCHILDREN);
            return;
        case CM_FONTCHANGED:
            TCustomEdit::Dispatch(Message);
            if (!HasState(csDesigning) && !HasState(csLoading)) UpdateHeight();
            return;
        default:
            break;
    }
    TCustomEdit::Dispatch(Message);
}

}  // namespace hover
