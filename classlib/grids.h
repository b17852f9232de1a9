// The class library's grids: the custom grid (cells in columns and rows, fixed rows and columns,
// scrolling, the keyboard and the mouse, an in-place editor), the draw grid that leaves the cells
// to its events, and the string grid that keeps a text and an object per cell.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/controls.h"
#include "classlib/mask_edit.h"
#include "classlib/std_memo.h"  // TScrollStyle

namespace classlib {

class TCustomGrid;

enum TGridOption : std::uint32_t {
    goFixedVertLine = 1u << 0,
    goFixedHorzLine = 1u << 1,
    goVertLine = 1u << 2,
    goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4,
    goDrawFocusSelected = 1u << 5,
    goRowSizing = 1u << 6,
    goColSizing = 1u << 7,
    goRowMoving = 1u << 8,
    goColMoving = 1u << 9,
    goEditing = 1u << 10,
    goTabs = 1u << 11,
    goRowSelect = 1u << 12,
    goAlwaysShowEditor = 1u << 13,
    goThumbTracking = 1u << 14,
};
using TGridOptions = std::uint32_t;

// The state of a drawn cell (a bit set).
enum TGridDrawStateFlag : std::uint32_t { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
using TGridDrawState = std::uint32_t;

enum class TBorderStyle { bsNone, bsSingle };

// A range of cells, corners included.
struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Contains(int ACol, int ARow) const { return ACol >= Left && ACol <= Right && ARow >= Top && ARow <= Bottom; }
    friend bool operator==(const TGridRect& a, const TGridRect& b) {
        return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
    }
};

// The editor a grid shows over its current cell: a mask edit without border that hands the
// arrow keys, Tab, Enter and Escape to its grid.
class TInplaceEdit : public TCustomMaskEdit {
public:
    CLASSLIB_CLASS_NAME(TInplaceEdit)
    explicit TInplaceEdit(TComponent* AOwner);
    TCustomGrid* Grid() const { return grid_; }
    void SetGrid(TCustomGrid* Value) { grid_ = Value; }
    // Fills the editor from the grid's current cell: empty text, the cell's edit mask, the edit
    // text, the edit limit as the maximum length.
    virtual void UpdateContents();
    // Shows the editor over the rectangle (client coordinates of the grid) with the focus.
    void Move(const RECT& Loc);
    void Hide();
    bool Visible() const { return shown_; }

    void CreateParams(TCreateParams& Params) override;
    void Dispatch(TMessage& Message) override;

protected:
    void KeyDown(WORD& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;

private:
    TCustomGrid* grid_ = nullptr;
    bool shown_ = false;
};

// A grid of ColCount x RowCount cells; FixedCols and FixedRows stay in place while the others
// scroll. The current cell is Col, Row (never a fixed one); Selection is the selected range.
//   SelectCell is asked before the current cell moves (by the keyboard, the mouse, or Col and Row
//   set from code); setting Selection from code asks nothing. With goEditing the
//   editor opens on F2, Enter, a typed character or a click on the current cell; Enter and moving
//   away take its text (SetEditText), Escape puts the cell's text back.
class TCustomGrid : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TCustomGrid)
    explicit TCustomGrid(TComponent* AOwner);
    ~TCustomGrid() override;

    int ColCount() const { return colCount_; }
    void SetColCount(int Value) { SetCount(true, Value); }
    int RowCount() const { return rowCount_; }
    void SetRowCount(int Value) { SetCount(false, Value); }
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int Value) { SetFixed(true, Value); }
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int Value) { SetFixed(false, Value); }
    int DefaultColWidth() const { return defaultColWidth_; }
    // Sets every column to the width.
    void SetDefaultColWidth(int Value);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int Value);
    int ColWidths(int Index) const { return SizeOf(true, Index); }
    void SetColWidths(int Index, int Value) { SetSize(true, Index, Value); }
    int RowHeights(int Index) const { return SizeOf(false, Index); }
    void SetRowHeights(int Index, int Value) { SetSize(false, Index, Value); }
    int GridLineWidth() const { return gridLineWidth_; }
    void SetGridLineWidth(int Value);
    TColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(TColor Value);
    TGridOptions Options() const { return options_; }
    void SetOptions(TGridOptions Value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle Value);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle Value);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool Value) { defaultDrawing_ = Value; }

    int Col() const { return col_; }
    void SetCol(int Value);
    int Row() const { return row_; }
    void SetRow(int Value);
    TGridRect Selection() const;
    void SetSelection(const TGridRect& Value);
    int TopRow() const { return topRow_; }
    void SetTopRow(int Value) { SetFirst(false, Value); }
    int LeftCol() const { return leftCol_; }
    void SetLeftCol(int Value) { SetFirst(true, Value); }
    // Whole scrolling columns / rows in view.
    int VisibleColCount() { return VisibleCount(true); }
    int VisibleRowCount() { return VisibleCount(false); }

    // The cell's rectangle in client coordinates; empty when the cell is out of view.
    RECT CellRect(int ACol, int ARow);
    // The cell at a client point (-1, -1 outside the cells).
    void MouseToCell(int X, int Y, int& ACol, int& ARow);
    void InvalidateCell(int ACol, int ARow);

    // The in-place editor (nullptr until first shown) and whether it is showing.
    TInplaceEdit* InplaceEditor() const { return editor_; }
    bool EditorMode() const { return editor_ != nullptr && editor_->Visible(); }
    void SetEditorMode(bool Value);
    void ShowEditor();
    void HideEditor();

    // What the editor shows and where its text goes, per cell.
    virtual std::string GetEditText(int ACol, int ARow);
    virtual void SetEditText(int ACol, int ARow, const std::string& Value);
    virtual std::string GetEditMask(int ACol, int ARow);
    // 0: no limit.
    virtual int GetEditLimit();
    // Takes the editor's text into the current cell (SetEditText).
    virtual void UpdateText();

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

protected:
    // Draws one cell (DefaultDrawing has filled it already).
    virtual void DrawCell(int ACol, int ARow, RECT ARect, TGridDrawState AState) = 0;
    // Whether the cell may become the current one.
    virtual bool SelectCell(int ACol, int ARow);
    virtual bool CanEditShow();
    // Makes the editor (a TInplaceEdit by default); the grid owns it.
    virtual TInplaceEdit* CreateEditor();
    virtual void TopLeftChanged() {}
    virtual void SizeChanged(int OldColCount, int OldRowCount) { (void)OldColCount; (void)OldRowCount; }
    void Paint() override;
    void KeyDown(WORD& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    // Moves the current cell (asking SelectCell); with MoveAnchor the selection shrinks to it,
    // otherwise it stretches from the anchor (range selection).
    void MoveCurrent(int ACol, int ARow, bool MoveAnchor);

private:
    friend class TInplaceEdit;
    // The columns (Columns true) or the rows, with the same steps for both.
    struct TAxis {
        int& Count;
        int& Fixed;
        int& DefaultSize;
        std::vector<int>& Sizes;
        int& Current;
        int& Anchor;
        int& First;  // the first scrolling one in view
    };
    TAxis Axis(bool Columns);
    int SizeOf(bool Columns, int Index) const;
    void SetSize(bool Columns, int Index, int Value);
    void SetCount(bool Columns, int Value);
    void SetFixed(bool Columns, int Value);
    void SetFirst(bool Columns, int Value);
    int ClientExtent(bool Columns);
    // Where a column / row starts in the client area (-1 when out of view), which one is at a
    // client position (-1 for none), how many whole scrolling ones are in view, and the first
    // scrolling one that shows the given one whole.
    int Start(bool Columns, int Index);
    int IndexAt(bool Columns, int P);
    int VisibleCount(bool Columns);
    int FirstShowing(bool Columns, int Index);
    int EffectiveLine() const;
    void ClampTopLeft();
    void ScrollIntoView(int ACol, int ARow);
    void UpdateScrollBars();
    void ScrollMessage(TMessage& Message, bool Vertical);
    void UpdateEditor();

    int colCount_ = 5, rowCount_ = 5, fixedCols_ = 1, fixedRows_ = 1;
    int defaultColWidth_ = 64, defaultRowHeight_ = 24;
    std::vector<int> colWidths_, rowHeights_;
    int gridLineWidth_ = 1;
    TColor fixedColor_ = clBtnFace;
    TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    bool defaultDrawing_ = true;
    int col_ = 1, row_ = 1, anchorCol_ = 1, anchorRow_ = 1;
    int topRow_ = 1, leftCol_ = 1;
    TInplaceEdit* editor_ = nullptr;
    bool selecting_ = false;
    bool updatingScrollBars_ = false;
};

using TDrawCellEvent = std::function<void(TObject* Sender, int ACol, int ARow, RECT Rect, TGridDrawState State)>;
using TSelectCellEvent = std::function<void(TObject* Sender, int ACol, int ARow, bool& CanSelect)>;
using TGetEditEvent = std::function<void(TObject* Sender, int ACol, int ARow, std::string& Value)>;
using TSetEditEvent = std::function<void(TObject* Sender, int ACol, int ARow, const std::string& Value)>;

// The grid whose cells its events draw and edit.
class TCustomDrawGrid : public TCustomGrid {
public:
    CLASSLIB_CLASS_NAME(TCustomDrawGrid)
    explicit TCustomDrawGrid(TComponent* AOwner) : TCustomGrid(AOwner) {}
    TDrawCellEvent OnDrawCell;
    TSelectCellEvent OnSelectCell;
    TGetEditEvent OnGetEditText;
    TGetEditEvent OnGetEditMask;
    TSetEditEvent OnSetEditText;
    TNotifyEvent OnTopLeftChanged;

    std::string GetEditText(int ACol, int ARow) override;
    void SetEditText(int ACol, int ARow, const std::string& Value) override;
    std::string GetEditMask(int ACol, int ARow) override;

protected:
    void DrawCell(int ACol, int ARow, RECT ARect, TGridDrawState AState) override;
    bool SelectCell(int ACol, int ARow) override;
    void TopLeftChanged() override;
};

class TDrawGrid : public TCustomDrawGrid {
public:
    CLASSLIB_CLASS_NAME(TDrawGrid)
    explicit TDrawGrid(TComponent* AOwner) : TCustomDrawGrid(AOwner) {}
};

// The grid with a text and an object per cell. With DefaultDrawing a cell's text is drawn at
// (left + 2, top + 2) clipped to the cell before OnDrawCell; the editor edits the text.
class TStringGrid : public TDrawGrid {
public:
    CLASSLIB_CLASS_NAME(TStringGrid)
    explicit TStringGrid(TComponent* AOwner);
    std::string Cells(int ACol, int ARow) const;
    void SetCells(int ACol, int ARow, const std::string& Value);
    TObject* Objects(int ACol, int ARow) const;
    void SetObjects(int ACol, int ARow, TObject* Value);
    // Runs after every change of a cell's text.
    TNotifyEvent OnCellChange;

    std::string GetEditText(int ACol, int ARow) override;
    void SetEditText(int ACol, int ARow, const std::string& Value) override;

protected:
    void DrawCell(int ACol, int ARow, RECT ARect, TGridDrawState AState) override;
    void SizeChanged(int OldColCount, int OldRowCount) override;

private:
    struct TCell {
        std::string Text;
        TObject* Object = nullptr;
    };
    const TCell* FindCell(int ACol, int ARow) const;
    TCell& CellAt(int ACol, int ARow);
    std::vector<std::vector<TCell>> cells_;  // [row][col], grown on demand
};

// A sorted list of ANSI strings compared byte by byte (-1, 0, 1), refusing duplicates
// (EStringListError "String list does not allow duplicates"). Add places each string in order.
class TBinaryCompareAnsiStringList : public TStringList {
public:
    CLASSLIB_CLASS_NAME(TBinaryCompareAnsiStringList)
    int CompareStrings(const std::string& S1, const std::string& S2) const override;
    int AddObject(const std::string& S, TObject* AObject) override;
    int Add(const std::string& S) override { return AddObject(S, nullptr); }
    // Whether S is in the list; Index is its place, or where it would go.
    bool Find(const std::string& S, int& Index) const;
    int IndexOf(const std::string& S) const override;
};

}  // namespace classlib
