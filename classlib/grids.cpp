#include "classlib/grids.h"

#include <algorithm>

#include "classlib/exceptions.h"
#include "classlib/threads.h"

namespace classlib {

// ---- TInplaceEdit ----------------------------------------------------------------------------
TInplaceEdit::TInplaceEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {
    SetCtl3D(false);
    SetTabStop(false);
    InitVisible(false);
}

void TInplaceEdit::CreateParams(TCreateParams& Params) {
    TCustomMaskEdit::CreateParams(Params);
    // Multi-line, so that the edit itself never beeps at Enter; no border of its own.
    Params.Style &= ~static_cast<DWORD>(WS_BORDER);
    Params.ExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
    Params.Style |= ES_MULTILINE | WS_CLIPSIBLINGS;
}

void TInplaceEdit::UpdateContents() {
    if (grid_ == nullptr) return;
    SetText(std::string());
    SetEditMask(grid_->GetEditMask(grid_->Col(), grid_->Row()));
    SetText(grid_->GetEditText(grid_->Col(), grid_->Row()));
    SetMaxLength(grid_->GetEditLimit());
}

void TInplaceEdit::Move(const RECT& Loc) {
    SetBounds(Loc.left, Loc.top, Loc.right - Loc.left, Loc.bottom - Loc.top);
    shown_ = true;
    SetVisible(true);
    if (grid_ != nullptr && grid_->HandleAllocated() && IsWindowVisible(grid_->Handle()) && CanFocus()) SetFocus();
}

void TInplaceEdit::Hide() {
    if (!shown_) return;
    shown_ = false;
    bool hadFocus = HandleAllocated() && GetFocus() == WindowHandle();
    SetVisible(false);
    if (hadFocus && grid_ != nullptr && grid_->CanFocus()) grid_->SetFocus();
}

void TInplaceEdit::KeyDown(WORD& Key, TShiftState Shift) {
    if (grid_ != nullptr) {
        bool toGrid = false;
        switch (Key) {
            case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT:
                toGrid = true;
                break;
            case VK_TAB:
                toGrid = (grid_->Options() & goTabs) != 0;
                break;
            case VK_ESCAPE:
                // The cell's text back, then the grid.
                UpdateContents();
                Hide();
                Key = 0;
                return;
            case VK_LEFT: case VK_HOME: {
                // At the start of the text the caret leaves for the grid.
                toGrid = GetSelStart() == 0 && GetSelLength() == 0;
                break;
            }
            case VK_RIGHT: case VK_END:
                toGrid = GetSelLength() == 0 && GetSelStart() >= static_cast<int>(TControl::Text().size());
                break;
            default:
                break;
        }
        if (toGrid) {
            grid_->KeyDown(Key, Shift);
            Key = 0;
            return;
        }
    }
    TCustomMaskEdit::KeyDown(Key, Shift);
}

void TInplaceEdit::KeyPress(char& Key) {
    if (grid_ != nullptr && (Key == '\r' || Key == 27 || (Key == '\t' && (grid_->Options() & goTabs)))) {
        if (Key == '\r') grid_->KeyPress(Key);
        Key = 0;
        return;
    }
    TCustomMaskEdit::KeyPress(Key);
}

void TInplaceEdit::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETDLGCODE:
            Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
            if (grid_ != nullptr && (grid_->Options() & goTabs)) Message.Result |= DLGC_WANTTAB;
            return;
        case WM_KILLFOCUS:
            TCustomMaskEdit::Dispatch(Message);
            // Focus leaving for another control: the text is taken, nothing typed is lost.
            if (grid_ != nullptr && shown_ && reinterpret_cast<HWND>(Message.WParam) != grid_->WindowHandle()) grid_->UpdateText();
            return;
        default:
            TCustomMaskEdit::Dispatch(Message);
    }
}

// ---- TCustomGrid -----------------------------------------------------------------------------
TCustomGrid::TCustomGrid(TComponent* AOwner) : TCustomControl(AOwner) {
    colWidths_.assign(static_cast<size_t>(colCount_), defaultColWidth_);
    rowHeights_.assign(static_cast<size_t>(rowCount_), defaultRowHeight_);
    SetTabStop(true);
    SetColor(clWindow);
    SetParentColor(false);
    SetBounds(Left(), Top(), 320, 120);
}

TCustomGrid::~TCustomGrid() = default;

int TCustomGrid::EffectiveLine() const { return gridLineWidth_; }

TCustomGrid::TAxis TCustomGrid::Axis(bool Columns) {
    if (Columns) return TAxis{colCount_, fixedCols_, defaultColWidth_, colWidths_, col_, anchorCol_, leftCol_};
    return TAxis{rowCount_, fixedRows_, defaultRowHeight_, rowHeights_, row_, anchorRow_, topRow_};
}

int TCustomGrid::SizeOf(bool Columns, int Index) const {
    const int count = Columns ? colCount_ : rowCount_;
    const std::vector<int>& sizes = Columns ? colWidths_ : rowHeights_;
    if (Index < 0 || Index >= count) return Columns ? defaultColWidth_ : defaultRowHeight_;
    return sizes[static_cast<size_t>(Index)];
}

int TCustomGrid::ClientExtent(bool Columns) { return Columns ? ClientWidth() : ClientHeight(); }

void TCustomGrid::SetSize(bool Columns, int Index, int Value) {
    TAxis a = Axis(Columns);
    if (Index < 0 || Index >= a.Count) return;
    a.Sizes[static_cast<size_t>(Index)] = std::max(0, Value);
    ClampTopLeft();
    UpdateScrollBars();
    UpdateEditor();
    Invalidate();
}

void TCustomGrid::SetDefaultColWidth(int Value) {
    defaultColWidth_ = std::max(0, Value);
    colWidths_.assign(static_cast<size_t>(colCount_), defaultColWidth_);
    SetColWidths(0, defaultColWidth_);
}

void TCustomGrid::SetDefaultRowHeight(int Value) {
    defaultRowHeight_ = std::max(0, Value);
    rowHeights_.assign(static_cast<size_t>(rowCount_), defaultRowHeight_);
    SetRowHeights(0, defaultRowHeight_);
}

void TCustomGrid::SetCount(bool Columns, int Value) {
    TAxis a = Axis(Columns);
    Value = std::max(1, Value);
    if (Value == a.Count) return;
    const int oldCols = colCount_, oldRows = rowCount_;
    HideEditor();
    a.Count = Value;
    a.Sizes.resize(static_cast<size_t>(Value), a.DefaultSize);
    if (a.Fixed >= a.Count) a.Fixed = a.Count - 1;
    a.Current = std::clamp(a.Current, a.Fixed, a.Count - 1);
    a.Anchor = std::clamp(a.Anchor, a.Fixed, a.Count - 1);
    ClampTopLeft();
    SizeChanged(oldCols, oldRows);
    UpdateScrollBars();
    Invalidate();
}

void TCustomGrid::SetFixed(bool Columns, int Value) {
    TAxis a = Axis(Columns);
    if (Value < 0 || Value >= a.Count)
        throw EInvalidOperation(Columns ? L"Fixed column count must be less than column count"
                                        : L"Fixed row count must be less than row count");
    a.Fixed = Value;
    a.Current = a.Anchor = std::max(a.Current, a.Fixed);
    a.First = std::max(a.First, a.Fixed);
    ClampTopLeft();
    UpdateScrollBars();
    Invalidate();
}

void TCustomGrid::SetGridLineWidth(int Value) {
    gridLineWidth_ = std::max(0, Value);
    Invalidate();
}

void TCustomGrid::SetFixedColor(TColor Value) {
    fixedColor_ = Value;
    Invalidate();
}

void TCustomGrid::SetOptions(TGridOptions Value) {
    options_ = Value;
    if (!(options_ & goEditing)) HideEditor();
    if (options_ & goRowSelect) anchorCol_ = fixedCols_;
    Invalidate();
    if ((options_ & goAlwaysShowEditor) && (options_ & goEditing) && HandleAllocated()) ShowEditor();
}

void TCustomGrid::SetScrollBars(TScrollStyle Value) {
    if (scrollBars_ == Value) return;
    scrollBars_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomGrid::SetBorderStyle(TBorderStyle Value) {
    if (borderStyle_ == Value) return;
    borderStyle_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomGrid::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.Style |= WS_TABSTOP;
    if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth) Params.Style |= WS_VSCROLL;
    if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth) Params.Style |= WS_HSCROLL;
    if (borderStyle_ == TBorderStyle::bsSingle) {
        if (Ctl3D())
            Params.ExStyle |= WS_EX_CLIENTEDGE;
        else
            Params.Style |= WS_BORDER;
    }
    Params.WindowClass.style |= CS_DBLCLKS;
    Params.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

void TCustomGrid::CreateWnd() {
    TCustomControl::CreateWnd();
    UpdateScrollBars();
}

void TCustomGrid::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    ClampTopLeft();
    UpdateScrollBars();
}

// ---- geometry
int TCustomGrid::Start(bool Columns, int Index) {
    TAxis a = Axis(Columns);
    int at = 0;
    for (int i = 0; i < a.Fixed; ++i) {
        if (i == Index) return at;
        at += SizeOf(Columns, i) + EffectiveLine();
    }
    if (Index < a.First) return -1;
    for (int i = a.First; i < a.Count; ++i) {
        if (i == Index) return at;
        at += SizeOf(Columns, i) + EffectiveLine();
    }
    return -1;
}

RECT TCustomGrid::CellRect(int ACol, int ARow) {
    RECT none{0, 0, 0, 0};
    if (ACol < 0 || ACol >= colCount_ || ARow < 0 || ARow >= rowCount_) return none;
    int x = Start(true, ACol), y = Start(false, ARow);
    RECT client = ClientRect();
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return none;
    return RECT{x, y, x + ColWidths(ACol), y + RowHeights(ARow)};
}

int TCustomGrid::IndexAt(bool Columns, int P) {
    TAxis a = Axis(Columns);
    int at = 0;
    for (int i = 0; i < a.Fixed; ++i) {
        at += SizeOf(Columns, i) + EffectiveLine();
        if (P < at) return i;
    }
    for (int i = a.First; i < a.Count; ++i) {
        at += SizeOf(Columns, i) + EffectiveLine();
        if (P < at) return i;
    }
    return -1;
}

void TCustomGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) {
    ACol = ARow = -1;
    if (X < 0 || Y < 0) return;
    ACol = IndexAt(true, X);
    ARow = IndexAt(false, Y);
    if (ACol < 0 || ARow < 0) ACol = ARow = -1;
}

int TCustomGrid::VisibleCount(bool Columns) {
    TAxis a = Axis(Columns);
    int room = ClientExtent(Columns) - Start(Columns, a.First);
    int n = 0;
    for (int i = a.First; i < a.Count; ++i) {
        room -= SizeOf(Columns, i) + EffectiveLine();
        if (room < 0 && n > 0) break;
        ++n;
        if (room < 0) break;
    }
    return n;
}

void TCustomGrid::ClampTopLeft() {
    for (bool columns : {true, false}) {
        TAxis a = Axis(columns);
        // The last first index that still fills the view.
        int room = ClientExtent(columns);
        for (int i = 0; i < a.Fixed; ++i) room -= SizeOf(columns, i) + EffectiveLine();
        int last = a.Count - 1;
        int used = SizeOf(columns, last) + EffectiveLine();
        while (last > a.Fixed && used + SizeOf(columns, last - 1) + EffectiveLine() <= room) {
            --last;
            used += SizeOf(columns, last) + EffectiveLine();
        }
        a.First = std::clamp(a.First, a.Fixed, std::max(a.Fixed, last));
    }
}

void TCustomGrid::SetFirst(bool Columns, int Value) {
    TAxis a = Axis(Columns);
    int old = a.First;
    a.First = Value;
    ClampTopLeft();
    if (a.First != old) {
        UpdateScrollBars();
        Invalidate();
        UpdateEditor();
        TopLeftChanged();
    }
}

int TCustomGrid::FirstShowing(bool Columns, int Index) {
    TAxis a = Axis(Columns);
    if (Index < a.Fixed) return a.First;
    if (Index < a.First) return Index;
    const int saved = a.First;
    while (a.First < Index &&
           (Start(Columns, Index) < 0 || Start(Columns, Index) + SizeOf(Columns, Index) > ClientExtent(Columns)))
        ++a.First;
    const int first = a.First;
    a.First = saved;
    return first;
}

void TCustomGrid::ScrollIntoView(int ACol, int ARow) {
    int newLeft = FirstShowing(true, ACol), newTop = FirstShowing(false, ARow);
    if (newLeft != leftCol_ || newTop != topRow_) {
        leftCol_ = newLeft;
        topRow_ = newTop;
        UpdateScrollBars();
        Invalidate();
        TopLeftChanged();
    }
}

void TCustomGrid::UpdateScrollBars() {
    if (!HandleAllocated() || updatingScrollBars_) return;
    // Showing or hiding a bar resizes the client area, which comes back here.
    updatingScrollBars_ = true;
    for (bool columns : {true, false}) {
        bool wanted = scrollBars_ == TScrollStyle::ssBoth ||
                      scrollBars_ == (columns ? TScrollStyle::ssHorizontal : TScrollStyle::ssVertical);
        if (!wanted) continue;
        TAxis a = Axis(columns);
        SCROLLINFO si{sizeof(si), SIF_ALL, a.Fixed, a.Count - 1, static_cast<UINT>(std::max(1, VisibleCount(columns))),
                      a.First, 0};
        SetScrollInfo(WindowHandle(), columns ? SB_HORZ : SB_VERT, &si, TRUE);
    }
    updatingScrollBars_ = false;
}

void TCustomGrid::ScrollMessage(TMessage& Message, bool Vertical) {
    int pos = Vertical ? topRow_ : leftCol_;
    int page = std::max(1, VisibleCount(!Vertical));
    switch (LOWORD(Message.WParam)) {
        case SB_LINEUP: --pos; break;
        case SB_LINEDOWN: ++pos; break;
        case SB_PAGEUP: pos -= page; break;
        case SB_PAGEDOWN: pos += page; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = Vertical ? rowCount_ : colCount_; break;
        case SB_THUMBTRACK:
            if (!(options_ & goThumbTracking)) return;
            [[fallthrough]];
        case SB_THUMBPOSITION: {
            SCROLLINFO si{sizeof(si), SIF_TRACKPOS, 0, 0, 0, 0, 0};
            GetScrollInfo(WindowHandle(), Vertical ? SB_VERT : SB_HORZ, &si);
            pos = si.nTrackPos;
            break;
        }
        default:
            return;
    }
    SetFirst(!Vertical, pos);
    Message.Result = 0;
}

// ---- current cell and selection
TGridRect TCustomGrid::Selection() const {
    TGridRect r{std::min(col_, anchorCol_), std::min(row_, anchorRow_), std::max(col_, anchorCol_),
                std::max(row_, anchorRow_)};
    if (options_ & goRowSelect) {
        r.Left = fixedCols_;
        r.Right = colCount_ - 1;
    }
    return r;
}

void TCustomGrid::SetSelection(const TGridRect& Value) {
    int left = std::clamp(Value.Left, fixedCols_, colCount_ - 1), top = std::clamp(Value.Top, fixedRows_, rowCount_ - 1);
    int right = std::clamp(Value.Right, fixedCols_, colCount_ - 1), bottom = std::clamp(Value.Bottom, fixedRows_, rowCount_ - 1);
    HideEditor();
    anchorCol_ = right;
    anchorRow_ = bottom;
    col_ = left;
    row_ = top;
    ScrollIntoView(col_, row_);
    Invalidate();
}

void TCustomGrid::SetCol(int Value) { MoveCurrent(Value, row_, true); }
void TCustomGrid::SetRow(int Value) { MoveCurrent(col_, Value, true); }

bool TCustomGrid::SelectCell(int ACol, int ARow) {
    (void)ACol;
    (void)ARow;
    return true;
}

void TCustomGrid::MoveCurrent(int ACol, int ARow, bool MoveAnchor) {
    ACol = std::clamp(ACol, fixedCols_, colCount_ - 1);
    ARow = std::clamp(ARow, fixedRows_, rowCount_ - 1);
    bool moves = ACol != col_ || ARow != row_;
    if (moves && !SelectCell(ACol, ARow)) return;
    if (moves && EditorMode()) HideEditor();
    col_ = ACol;
    row_ = ARow;
    if (MoveAnchor || !(options_ & goRangeSelect)) {
        anchorCol_ = col_;
        anchorRow_ = row_;
    }
    ScrollIntoView(col_, row_);
    Invalidate();
    if ((options_ & goAlwaysShowEditor) && (options_ & goEditing)) ShowEditor();
}

// ---- editing
bool TCustomGrid::CanEditShow() {
    return (options_ & goEditing) && !(options_ & goRowSelect) && HandleAllocated() && col_ >= fixedCols_ &&
           row_ >= fixedRows_;
}

TInplaceEdit* TCustomGrid::CreateEditor() { return new TInplaceEdit(this); }

std::string TCustomGrid::GetEditText(int, int) { return std::string(); }
void TCustomGrid::SetEditText(int, int, const std::string&) {}
std::string TCustomGrid::GetEditMask(int, int) { return std::string(); }
int TCustomGrid::GetEditLimit() { return 0; }

void TCustomGrid::UpdateText() {
    if (editor_ != nullptr) SetEditText(col_, row_, editor_->Text());
}

void TCustomGrid::ShowEditor() {
    if (!CanEditShow()) return;
    if (editor_ == nullptr) {
        editor_ = CreateEditor();
        editor_->SetGrid(this);
        editor_->SetParent(this);
    }
    editor_->UpdateContents();
    ScrollIntoView(col_, row_);
    RECT r = CellRect(col_, row_);
    editor_->Move(r);
    editor_->SelectAll();
}

void TCustomGrid::HideEditor() {
    if (!EditorMode()) return;
    UpdateText();
    editor_->Hide();
    InvalidateCell(col_, row_);
}

void TCustomGrid::SetEditorMode(bool Value) {
    if (Value)
        ShowEditor();
    else
        HideEditor();
}

void TCustomGrid::UpdateEditor() {
    if (!EditorMode()) return;
    RECT r = CellRect(col_, row_);
    if (r.right <= r.left)
        HideEditor();
    else
        editor_->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// ---- painting
void TCustomGrid::InvalidateCell(int ACol, int ARow) {
    if (!HandleAllocated()) return;
    RECT r = CellRect(ACol, ARow);
    InflateRect(&r, 1, 1);
    InvalidateRect(WindowHandle(), &r, FALSE);
}

void TCustomGrid::Paint() {
    TCanvas* canvas = Canvas();
    RECT client = ClientRect();
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(client);
    const TGridRect sel = Selection();
    const bool focused = Focused();
    const int line = EffectiveLine();
    auto paintRow = [&](int r) {
        int y = Start(false, r);
        if (y < 0 || y >= client.bottom) return false;
        auto paintCol = [&](int c) {
            int x = Start(true, c);
            if (x < 0 || x >= client.right) return false;
            RECT cell{x, y, x + ColWidths(c), y + RowHeights(r)};
            TGridDrawState state = 0;
            bool fixed = c < fixedCols_ || r < fixedRows_;
            bool current = c == col_ && r == row_;
            if (fixed) state |= gdFixed;
            else if (sel.Contains(c, r) && (!current || (options_ & (goDrawFocusSelected | goRowSelect)) || !focused))
                state |= gdSelected;
            if (current && focused) state |= gdFocused;
            if (defaultDrawing_) {
                canvas->Font()->Assign(Font());
                canvas->Brush()->SetColor(fixed ? fixedColor_ : (state & gdSelected) ? clHighlight : Color());
                if (state & gdSelected) canvas->Font()->SetColor(clHighlightText);
                canvas->FillRect(cell);
            }
            DrawCell(c, r, cell, state);
            if (defaultDrawing_ && fixed && line > 0) {
                RECT edge = cell;
                DrawEdge(canvas->Handle(), &edge, BDR_RAISEDINNER, BF_RECT);
            }
            if (defaultDrawing_ && current && focused && !fixed && !(options_ & goRowSelect) && !EditorMode())
                canvas->DrawFocusRect(cell);
            // The grid line right of and below the cell.
            bool fixedLines = fixed;
            if (line > 0) {
                canvas->Brush()->SetColor(clBtnFace);
                if (options_ & (fixedLines ? goFixedVertLine : goVertLine)) canvas->FillRect(RECT{cell.right, cell.top, cell.right + line, cell.bottom + line});
                if (options_ & (fixedLines ? goFixedHorzLine : goHorzLine)) canvas->FillRect(RECT{cell.left, cell.bottom, cell.right + line, cell.bottom + line});
            }
            return true;
        };
        for (int c = 0; c < fixedCols_; ++c) paintCol(c);
        for (int c = leftCol_; c < colCount_; ++c)
            if (!paintCol(c)) break;
        return true;
    };
    for (int r = 0; r < fixedRows_; ++r) paintRow(r);
    for (int r = topRow_; r < rowCount_; ++r)
        if (!paintRow(r)) break;
}

// ---- keyboard and mouse
void TCustomGrid::KeyDown(WORD& Key, TShiftState Shift) {
    TCustomControl::KeyDown(Key, Shift);
    if (Key == 0) return;
    const bool ctrl = (Shift & ssCtrl) != 0;
    const bool anchor = !((Shift & ssShift) && (options_ & goRangeSelect));
    int c = col_, r = row_;
    const int page = std::max(1, VisibleCount(false));
    switch (Key) {
        case VK_UP: --r; break;
        case VK_DOWN: ++r; break;
        case VK_LEFT:
            if (options_ & goRowSelect) { SetLeftCol(leftCol_ - 1); Key = 0; return; }
            --c;
            break;
        case VK_RIGHT:
            if (options_ & goRowSelect) { SetLeftCol(leftCol_ + 1); Key = 0; return; }
            ++c;
            break;
        case VK_PRIOR: r -= page; break;
        case VK_NEXT: r += page; break;
        case VK_HOME:
            c = fixedCols_;
            if (ctrl) r = fixedRows_;
            break;
        case VK_END:
            c = colCount_ - 1;
            if (ctrl) r = rowCount_ - 1;
            break;
        case VK_TAB:
            if (!(options_ & goTabs)) return;
            if (Shift & ssShift) {
                if (--c < fixedCols_) { c = colCount_ - 1; --r; }
            } else if (++c >= colCount_) {
                c = fixedCols_;
                ++r;
            }
            if (r < fixedRows_ || r >= rowCount_) return;
            break;
        case VK_F2:
            ShowEditor();
            Key = 0;
            return;
        default:
            return;
    }
    MoveCurrent(c, r, anchor || Key == VK_TAB);
    Key = 0;
}

void TCustomGrid::KeyPress(char& Key) {
    TCustomControl::KeyPress(Key);
    if (Key == 0 || !(options_ & goEditing)) return;
    if (Key == '\r') {
        if (EditorMode())
            HideEditor();
        else
            ShowEditor();
        Key = 0;
        return;
    }
    if (static_cast<unsigned char>(Key) >= 32 && !EditorMode()) {
        ShowEditor();
        if (EditorMode()) {
            // The typed character replaces the selected text of the editor.
            PostMessageA(editor_->Handle(), WM_CHAR, static_cast<BYTE>(Key), 0);
            Key = 0;
        }
    }
}

void TCustomGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == TMouseButton::mbLeft) {
        if (CanFocus() && !Focused()) SetFocus();
        int c = -1, r = -1;
        MouseToCell(X, Y, c, r);
        if (c >= fixedCols_ && r >= fixedRows_) {
            if (c == col_ && r == row_ && (options_ & goEditing) && !(Shift & (ssShift | ssDouble)))
                ShowEditor();
            else
                MoveCurrent(c, r, !((Shift & ssShift) && (options_ & goRangeSelect)));
            selecting_ = true;
        }
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomGrid::MouseMove(TShiftState Shift, int X, int Y) {
    if (selecting_ && (options_ & goRangeSelect)) {
        int c = -1, r = -1;
        MouseToCell(X, Y, c, r);
        if (c >= fixedCols_ && r >= fixedRows_ && (c != col_ || r != row_)) MoveCurrent(c, r, false);
    }
    TCustomControl::MouseMove(Shift, X, Y);
}

void TCustomGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    selecting_ = false;
    TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TCustomGrid::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETDLGCODE:
            // Characters only where typing opens the editor: a grid that is only read lets them
            // go on as shortcuts.
            Message.Result = DLGC_WANTARROWS;
            if ((options_ & goEditing) && !(options_ & goRowSelect)) Message.Result |= DLGC_WANTCHARS;
            if (options_ & goTabs) Message.Result |= DLGC_WANTTAB;
            return;
        case WM_VSCROLL:
            ScrollMessage(Message, true);
            return;
        case WM_HSCROLL:
            ScrollMessage(Message, false);
            return;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            TCustomControl::Dispatch(Message);
            InvalidateCell(col_, row_);
            if (options_ & goRowSelect) Invalidate();
            return;
        case WM_SIZE:
            TCustomControl::Dispatch(Message);
            ClampTopLeft();
            UpdateScrollBars();
            UpdateEditor();
            return;
        case WM_ERASEBKGND:
            Message.Result = 1;
            return;
        default:
            TCustomControl::Dispatch(Message);
    }
}

// ---- TCustomDrawGrid -------------------------------------------------------------------------
void TCustomDrawGrid::DrawCell(int ACol, int ARow, RECT ARect, TGridDrawState AState) {
    if (OnDrawCell) OnDrawCell(this, ACol, ARow, ARect, AState);
}

bool TCustomDrawGrid::SelectCell(int ACol, int ARow) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, ACol, ARow, can);
    return can;
}

void TCustomDrawGrid::TopLeftChanged() {
    if (OnTopLeftChanged) OnTopLeftChanged(this);
}

std::string TCustomDrawGrid::GetEditText(int ACol, int ARow) {
    std::string value;
    if (OnGetEditText) OnGetEditText(this, ACol, ARow, value);
    return value;
}

void TCustomDrawGrid::SetEditText(int ACol, int ARow, const std::string& Value) {
    if (OnSetEditText) OnSetEditText(this, ACol, ARow, Value);
}

std::string TCustomDrawGrid::GetEditMask(int ACol, int ARow) {
    std::string value;
    if (OnGetEditMask) OnGetEditMask(this, ACol, ARow, value);
    return value;
}

// ---- TStringGrid -----------------------------------------------------------------------------
TStringGrid::TStringGrid(TComponent* AOwner) : TDrawGrid(AOwner) {}

const TStringGrid::TCell* TStringGrid::FindCell(int ACol, int ARow) const {
    if (ARow < 0 || ACol < 0 || static_cast<size_t>(ARow) >= cells_.size()) return nullptr;
    const auto& row = cells_[static_cast<size_t>(ARow)];
    return static_cast<size_t>(ACol) < row.size() ? &row[static_cast<size_t>(ACol)] : nullptr;
}

TStringGrid::TCell& TStringGrid::CellAt(int ACol, int ARow) {
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        throw EInvalidOperation(L"Grid index out of range");
    if (cells_.size() <= static_cast<size_t>(ARow)) cells_.resize(static_cast<size_t>(ARow) + 1);
    auto& row = cells_[static_cast<size_t>(ARow)];
    if (row.size() <= static_cast<size_t>(ACol)) row.resize(static_cast<size_t>(ACol) + 1);
    return row[static_cast<size_t>(ACol)];
}

std::string TStringGrid::Cells(int ACol, int ARow) const {
    const TCell* cell = FindCell(ACol, ARow);
    return cell != nullptr ? cell->Text : std::string();
}

void TStringGrid::SetCells(int ACol, int ARow, const std::string& Value) {
    TCell& cell = CellAt(ACol, ARow);
    if (cell.Text == Value) return;
    cell.Text = Value;
    InvalidateCell(ACol, ARow);
    if (OnCellChange) OnCellChange(this);
}

TObject* TStringGrid::Objects(int ACol, int ARow) const {
    const TCell* cell = FindCell(ACol, ARow);
    return cell != nullptr ? cell->Object : nullptr;
}

void TStringGrid::SetObjects(int ACol, int ARow, TObject* Value) { CellAt(ACol, ARow).Object = Value; }

void TStringGrid::SizeChanged(int, int) {
    // Cells outside the new size are dropped.
    if (cells_.size() > static_cast<size_t>(RowCount())) cells_.resize(static_cast<size_t>(RowCount()));
    for (auto& row : cells_)
        if (row.size() > static_cast<size_t>(ColCount())) row.resize(static_cast<size_t>(ColCount()));
}

std::string TStringGrid::GetEditText(int ACol, int ARow) {
    std::string value = Cells(ACol, ARow);
    if (OnGetEditText) OnGetEditText(this, ACol, ARow, value);
    return value;
}

void TStringGrid::SetEditText(int ACol, int ARow, const std::string& Value) {
    SetCells(ACol, ARow, Value);
    TDrawGrid::SetEditText(ACol, ARow, Value);
}

void TStringGrid::DrawCell(int ACol, int ARow, RECT ARect, TGridDrawState AState) {
    if (DefaultDrawing()) Canvas()->TextRect(ARect, ARect.left + 2, ARect.top + 2, Cells(ACol, ARow));
    TDrawGrid::DrawCell(ACol, ARow, ARect, AState);
}

// ---- TBinaryCompareAnsiStringList ------------------------------------------------------------
int TBinaryCompareAnsiStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
    int c = S1.compare(S2);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool TBinaryCompareAnsiStringList::Find(const std::string& S, int& Index) const {
    int lo = 0, hi = Count() - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = CompareStrings(Get(mid), S);
        if (c == 0) {
            Index = mid;
            return true;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    Index = lo;
    return false;
}

int TBinaryCompareAnsiStringList::IndexOf(const std::string& S) const {
    int index = -1;
    return Find(S, index) ? index : -1;
}

int TBinaryCompareAnsiStringList::AddObject(const std::string& S, TObject* AObject) {
    int index = 0;
    if (Find(S, index)) throw EStringListError(L"String list does not allow duplicates");
    InsertObject(index, S, AObject);
    return index;
}

}  // namespace classlib
