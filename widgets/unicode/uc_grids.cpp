#include "widgets/unicode/uc_grids.h"

#include "classlib/conversions.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_graphics.h"

namespace widgets {

using classlib::TMessage;

// ---- TUcInplaceEdit --------------------------------------------------------------------------
void TUcInplaceEdit::CreateWindowHandle(const classlib::TCreateParams& Params) { CreateUnicodeHandle(this, Params, L"EDIT"); }

void TUcInplaceEdit::UpdateContents() {
    classlib::TCustomGrid* grid = Grid();
    if (grid == nullptr) return;
    SetText(std::wstring());
    SetEditMask(grid->GetEditMask(grid->Col(), grid->Row()));
    auto* wide = dynamic_cast<IUcGridEditText*>(grid);
    std::wstring text = wide != nullptr ? wide->GetWideEditText(grid->Col(), grid->Row())
                                        : classlib::AnsiToWide(grid->GetEditText(grid->Col(), grid->Row()));
    if (IsMasked())
        classlib::TCustomMaskEdit::SetText(classlib::WideToAnsi(text));
    else
        SetText(text);
    SetMaxLength(grid->GetEditLimit());
}

// ---- TUcGridEditing --------------------------------------------------------------------------
template <typename Base>
std::wstring TUcGridEditing<Base>::BaseWideEditText(int ACol, int ARow) {
    return classlib::AnsiToWide(Base::GetEditText(ACol, ARow));
}

template <typename Base>
std::string TUcGridEditing<Base>::AnsiFormOf(const std::wstring& Value) {
    return classlib::WideToAnsi(Value);
}

template <typename Base>
std::wstring TUcGridEditing<Base>::GetWideEditText(int ACol, int ARow) {
    std::wstring value = BaseWideEditText(ACol, ARow);
    if (OnGetEditText) OnGetEditText(this, ACol, ARow, value);
    return value;
}

template <typename Base>
void TUcGridEditing<Base>::SetWideEditText(int ACol, int ARow, const std::wstring& Value) {
    storing_ = true;
    try {
        Base::SetEditText(ACol, ARow, AnsiFormOf(Value));
    } catch (...) {
        storing_ = false;
        throw;
    }
    storing_ = false;
    if (OnSetEditText) OnSetEditText(this, ACol, ARow, Value);
}

template <typename Base>
void TUcGridEditing<Base>::UpdateText() {
    classlib::TInplaceEdit* editor = this->InplaceEditor();
    if (storing_ || editor == nullptr) {
        Base::UpdateText();
        return;
    }
    SetWideEditText(this->Col(), this->Row(), UcControl_GetText(editor));
}

template <typename Base>
void TUcGridEditing<Base>::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_CHAR && (this->Options() & classlib::goEditing) && !this->EditorMode()) {
        wchar_t ch = GetWideCharFromWMCharMsg(Message);
        if (ch >= 32 || ch == VK_BACK) {
            this->ShowEditor();
            if (this->EditorMode()) {
                // The character reaches the editor as typed, after it has taken the cell's text.
                HWND editor = this->InplaceEditor()->Handle();
                if (unicode::Win32PlatformIsUnicode())
                    PostMessageW(editor, WM_CHAR, ch, 0);
                else
                    PostMessageA(editor, WM_CHAR, LOWORD(Message.WParam), 0);
                Message.Result = 0;
                return;
            }
        }
    }
    Base::Dispatch(Message);
}

template class TUcGridEditing<classlib::TCustomDrawGrid>;
template class TUcGridEditing<classlib::TStringGrid>;

// ---- TUcStringGrid ---------------------------------------------------------------------------
TUcStringGrid::TUcStringGrid(classlib::TComponent* AOwner) : TUcGridEditing(AOwner) {}

TUcStringGrid::~TUcStringGrid() {
    for (auto* list : {&createdRows_, &createdCols_}) {
        for (int i = 0; i < list->Count(); ++i) delete list->GetObject(i);
        list->Clear();
    }
}

std::wstring TUcStringGrid::Cells(int ACol, int ARow) const {
    return unicode::UTF8DecodeWide(classlib::TStringGrid::Cells(ACol, ARow));
}

void TUcStringGrid::SetCells(int ACol, int ARow, const std::wstring& Value) {
    std::string utf8 = unicode::UTF8EncodeWide(Value);
    if (utf8 != classlib::TStringGrid::Cells(ACol, ARow)) classlib::TStringGrid::SetCells(ACol, ARow, utf8);
}

std::string TUcStringGrid::AnsiFormOf(const std::wstring& Value) { return unicode::UTF8EncodeWide(Value); }

void TUcStringGrid::DrawCell(int ACol, int ARow, RECT ARect, classlib::TGridDrawState AState) {
    if (!DefaultDrawing()) {
        classlib::TStringGrid::DrawCell(ACol, ARow, ARect, AState);
        return;
    }
    WideCanvasTextRect(Canvas(), ARect, ARect.left + 2, ARect.top + 2, Cells(ACol, ARow));
    // The class library's drawing without its ANSI text, for OnDrawCell.
    SetDefaultDrawing(false);
    try {
        classlib::TStringGrid::DrawCell(ACol, ARow, ARect, AState);
    } catch (...) {
        SetDefaultDrawing(true);
        throw;
    }
    SetDefaultDrawing(true);
}

TUcStringGridStrings* TUcStringGrid::Adapter(classlib::TBinaryCompareAnsiStringList& List, bool Row, int Index) {
    std::string key = std::to_string(Index);
    int at = List.IndexOf(key);
    if (at >= 0) return static_cast<TUcStringGridStrings*>(List.GetObject(at));
    auto made = std::make_unique<TUcStringGridStrings>(this, Row, Index);
    List.AddObject(key, made.get());
    return made.release();
}

TUcStringGridStrings* TUcStringGrid::Rows(int Index) { return Adapter(createdRows_, true, Index); }
TUcStringGridStrings* TUcStringGrid::Cols(int Index) { return Adapter(createdCols_, false, Index); }

// ---- TUcStringGridStrings --------------------------------------------------------------------
std::wstring TUcStringGridStrings::Get(int Index) const { return grid_->Cells(Col(Index), RowOf(Index)); }

int TUcStringGridStrings::GetCount() const { return row_ ? grid_->ColCount() : grid_->RowCount(); }

classlib::TObject* TUcStringGridStrings::GetObject(int Index) const { return grid_->Objects(Col(Index), RowOf(Index)); }

void TUcStringGridStrings::Put(int Index, const std::wstring& S) { grid_->SetCells(Col(Index), RowOf(Index), S); }

void TUcStringGridStrings::PutObject(int Index, classlib::TObject* AObject) {
    grid_->SetObjects(Col(Index), RowOf(Index), AObject);
}

int TUcStringGridStrings::Add(const std::wstring& S) {
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i).empty()) {
            Put(i, S);
            return i;
        }
    throw classlib::EInvalidOperation(L"Grid index out of range");
}

void TUcStringGridStrings::Clear() {
    for (int i = 0; i < GetCount(); ++i) {
        Put(i, std::wstring());
        PutObject(i, nullptr);
    }
}

void TUcStringGridStrings::Delete(int) { throw classlib::EInvalidOperation(L"Cannot insert or delete rows from grid"); }

void TUcStringGridStrings::Insert(int, const std::wstring&) {
    throw classlib::EInvalidOperation(L"Cannot insert or delete rows from grid");
}

}  // namespace widgets
