// Wide grids: the string grid whose cells keep wide texts as UTF-8 in the class library's ANSI
// cells, the draw grid with wide editing events, and their wide in-place editor.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/grids.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_controls.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

using TUcGetEditEvent = std::function<void(classlib::TObject* Sender, int ACol, int ARow, std::wstring& Value)>;
using TUcSetEditEvent = std::function<void(classlib::TObject* Sender, int ACol, int ARow, const std::wstring& Value)>;

// What the wide editor asks of a wide grid.
class IUcGridEditText {
public:
    virtual ~IUcGridEditText() = default;
    virtual std::wstring GetWideEditText(int ACol, int ARow) = 0;
};

// The wide in-place editor: a Unicode "EDIT" window.
class TUcInplaceEdit : public classlib::TInplaceEdit {
public:
    CLASSLIB_CLASS_NAME(TUcInplaceEdit)
    explicit TUcInplaceEdit(classlib::TComponent* AOwner) : classlib::TInplaceEdit(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TInplaceEdit, Text)
public:
    // The wide edit text of a wide grid (the ANSI one widened for another grid); a masked
    // editor takes it through its ANSI mask text.
    void UpdateContents() override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
};

// The wide editing of a wide grid over Base (a class-library draw or string grid): the wide edit
// events, the storing flag, the wide editor, the Unicode window and the wide typing step.
template <typename Base>
class TUcGridEditing : public Base, public IUcGridEditText {
public:
    explicit TUcGridEditing(classlib::TComponent* AOwner) : Base(AOwner) {}
    TUcGetEditEvent OnGetEditText;
    TUcSetEditEvent OnSetEditText;

    std::wstring GetWideEditText(int ACol, int ARow) override;
    // Stores the text (UTF-8 for the string grid's cells), then runs OnSetEditText.
    void SetWideEditText(int ACol, int ARow, const std::wstring& Value);
    // The editor's wide text goes to SetWideEditText (unless the text is being stored).
    void UpdateText() override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override { CreateUnicodeHandle(this, Params, L""); }
    void Dispatch(classlib::TMessage& Message) override;

protected:
    classlib::TInplaceEdit* CreateEditor() override { return new TUcInplaceEdit(this); }
    // The wide text before the wide event, and the ANSI form the class library stores.
    virtual std::wstring BaseWideEditText(int ACol, int ARow);
    virtual std::string AnsiFormOf(const std::wstring& Value);

private:
    bool storing_ = false;
};

class TUcCustomDrawGrid : public TUcGridEditing<classlib::TCustomDrawGrid> {
public:
    CLASSLIB_CLASS_NAME(TUcCustomDrawGrid)
    explicit TUcCustomDrawGrid(classlib::TComponent* AOwner) : TUcGridEditing(AOwner) {}
    WIDGETS_UC_HINT_MEMBERS(classlib::TCustomDrawGrid)
};

class TUcDrawGrid : public TUcCustomDrawGrid {
public:
    CLASSLIB_CLASS_NAME(TUcDrawGrid)
    explicit TUcDrawGrid(classlib::TComponent* AOwner) : TUcCustomDrawGrid(AOwner) {}
};

class TUcStringGrid;

// A row or a column of a wide string grid as a wide list (Count = the cells of the row or column;
// Add fills the first empty cell; inserting and deleting raise EInvalidOperation).
class TUcStringGridStrings : public unicode::TUcStrings {
public:
    CLASSLIB_CLASS_NAME(TUcStringGridStrings)
    TUcStringGridStrings(TUcStringGrid* Grid, bool Row, int Index) : grid_(Grid), row_(Row), index_(Index) {}
    std::wstring Get(int Index) const override;
    int GetCount() const override;
    classlib::TObject* GetObject(int Index) const override;
    void Put(int Index, const std::wstring& S) override;
    void PutObject(int Index, classlib::TObject* AObject) override;
    int Add(const std::wstring& S) override;
    void Clear() override;
    void Delete(int Index) override;
    void Insert(int Index, const std::wstring& S) override;

private:
    int Col(int I) const { return row_ ? I : index_; }
    int RowOf(int I) const { return row_ ? index_ : I; }
    TUcStringGrid* grid_;
    bool row_;
    int index_;
};

// The string grid with wide cells: a cell's wide text is the UTF-8 decoding of its ANSI cell.
class TUcStringGrid : public TUcGridEditing<classlib::TStringGrid> {
public:
    CLASSLIB_CLASS_NAME(TUcStringGrid)
    explicit TUcStringGrid(classlib::TComponent* AOwner);
    ~TUcStringGrid() override;
    WIDGETS_UC_HINT_MEMBERS(classlib::TStringGrid)
public:
    std::wstring Cells(int ACol, int ARow) const;
    // Stored only when the UTF-8 form differs from the ANSI cell.
    void SetCells(int ACol, int ARow, const std::wstring& Value);
    classlib::TStringGrid* AnsiGrid() { return this; }
    // A row / column as a wide list, made on first use and kept by the grid.
    TUcStringGridStrings* Rows(int Index);
    TUcStringGridStrings* Cols(int Index);

protected:
    void DrawCell(int ACol, int ARow, RECT ARect, classlib::TGridDrawState AState) override;
    std::wstring BaseWideEditText(int ACol, int ARow) override { return Cells(ACol, ARow); }
    std::string AnsiFormOf(const std::wstring& Value) override;

private:
    TUcStringGridStrings* Adapter(classlib::TBinaryCompareAnsiStringList& List, bool Row, int Index);
    // The row and column lists made so far, by index.
    classlib::TBinaryCompareAnsiStringList createdRows_;
    classlib::TBinaryCompareAnsiStringList createdCols_;
};

}  // namespace widgets
