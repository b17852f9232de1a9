#include "ui/raccourcis_form.h"

#include <memory>

#include "classlib/format.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/form_parts.h"
#include "ui/info_text_ids.h"
#include "unicode/wide_strings.h"
#include "widgets/custom/super_actions.h"
#include "widgets/unicode/uc_menus.h"

namespace ui {

namespace {

TRaccourcisForm* gRaccourcisForm = nullptr;

constexpr int kColumnWidths[4] = {238, 80, 60, 100};
constexpr unsigned kColumnHeaders[4] = {IDS_KEYS_COL_0, IDS_KEYS_COL_1, IDS_KEYS_COL_2, IDS_KEYS_COL_3};

std::wstring InfoText(unsigned Id) { return settings::LoadProgramText(Id); }

std::wstring ShortcutText(classlib::TCustomAction* Action) {
    return Action->ShortCut() == 0 ? std::wstring() : widgets::WideShortCutToText(Action->ShortCut());
}

}  // namespace

TRaccourcisForm* RaccourcisForm() { return gRaccourcisForm; }

std::wstring ShortcutSortKey(classlib::TCustomAction* Action, int Column) {
    auto* super = dynamic_cast<widgets::custom::TCustomSuperAction*>(Action);
    const std::wstring caption = super != nullptr ? super->Caption() : widgets::WideActionCaption(Action);
    const std::wstring tail = caption + Action->Name();
    switch (Column) {
        case 0: return tail;
        case 1: return ShortcutText(Action) + tail;
        case 2: return (super != nullptr ? super->Switch() : std::wstring()) + tail;
        case 3: return (super != nullptr ? super->Token() : std::wstring()) + tail;
        default: return std::wstring();
    }
}

TRaccourcisForm::TRaccourcisForm(classlib::TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetName(L"RaccourcisForm");
    SetClientWidth(516);
    SetClientHeight(446);
    SetCaption(classlib::Format(InfoText(IDS_KEYS_CAPTION), {settings::ProgramTitle()}));
    // The header text is kept hidden: it has no window of its own until someone shows it.
    leHeader = Make<widgets::custom::TLinkEdit>(this, L"leHeader");
    leHeader->SetBounds(0, 0, 516, 57);
    leHeader->SetAlign(classlib::TAlign::alTop);
    leHeader->SetAlignment(classlib::TAlignment::taCenter);
    leHeader->Font()->SetStyle({classlib::fsItalic});
    leHeader->SetReadOnly(true);
    leHeader->SetVisible(false);
    leHeader->SetRichText(InfoText(IDS_KEYS_HEADER));
    StringGrid1 = Place<widgets::TUcStringGrid>(this, this, L"StringGrid1", 0, 0, 516, 446);
    StringGrid1->SetAlign(classlib::TAlign::alClient);
    StringGrid1->SetCursor(classlib::crHandPoint);
    StringGrid1->SetColCount(4);
    StringGrid1->SetFixedCols(0);
    StringGrid1->SetFixedRows(1);
    StringGrid1->SetOptions(StringGrid1->Options() | classlib::goRowSelect);
    StringGrid1->SetScrollBars(classlib::TScrollStyle::ssVertical);
    StringGrid1->SetDefaultRowHeight(18);
    StringGrid1->SetFixedColor(static_cast<classlib::TColor>(0xFFFFF0));
    StringGrid1->OnMouseDown = [this](classlib::TObject* Sender, classlib::TMouseButton Button,
                                      classlib::TShiftState Shift, int X, int Y) {
        StringGrid1MouseDown(Sender, Button, Shift, X, Y);
    };
    StringGrid1->OnMouseUp = [this](classlib::TObject* Sender, classlib::TMouseButton Button,
                                    classlib::TShiftState Shift, int X, int Y) {
        StringGrid1MouseUp(Sender, Button, Shift, X, Y);
    };
    StringGrid1->OnDblClick = [this](classlib::TObject* Sender) { StringGrid1DblClick(Sender); };
    OnClose = [this](classlib::TObject* Sender, classlib::TCloseAction& Action) { FormClose(Sender, Action); };
    // The keys go to the grid: the arrows and pages move through the commands; the main window's
    // shortcuts reach it from here.
    SetActiveControl(StringGrid1);
    if (gRaccourcisForm == nullptr) gRaccourcisForm = this;
}

void TRaccourcisForm::CreateParams(classlib::TCreateParams& Params) {
    widgets::TUcForm::CreateParams(Params);
    Params.ExStyle |= WS_EX_APPWINDOW;
}

void TRaccourcisForm::Dispatch(classlib::TMessage& Message) {
    if (!EscapeCloses(this, Message)) widgets::TUcForm::Dispatch(Message);
}

TRaccourcisForm::~TRaccourcisForm() {
    if (gRaccourcisForm == this) gRaccourcisForm = nullptr;
}

void TRaccourcisForm::FillGrid(classlib::TActionList* ActionList) {
    if (ActionList == nullptr) return;
    actionList_ = ActionList;
    const int column = settings::ParamRaccourcisSort != nullptr ? settings::ParamRaccourcisSort->Value() : 0;
    auto sorted = std::make_unique<unicode::TUcStringList>();
    sorted->SetSorted(true);
    sorted->SetCaseSensitive(false);
    sorted->SetDuplicates(unicode::dupAccept);
    if (column >= 0 && column <= 3) {
        for (int i = 0; i < ActionList->ActionCount(); ++i) {
            auto* action = dynamic_cast<widgets::custom::TCustomSuperAction*>(ActionList->Actions(i));
            if (action == nullptr || action->Caption().empty()) continue;
            sorted->AddObject(ShortcutSortKey(action, column), action);
        }
    }
    StringGrid1->SetColCount(4);
    StringGrid1->SetRowCount(sorted->Count() + 1);
    for (int c = 0; c < 4; ++c) {
        StringGrid1->SetColWidths(c, kColumnWidths[c]);
        StringGrid1->SetCells(c, 0, InfoText(kColumnHeaders[c]));
    }
    for (int i = 0; i < sorted->Count(); ++i) {
        auto* action = static_cast<widgets::custom::TCustomSuperAction*>(sorted->Objects(i));
        const int row = i + 1;
        StringGrid1->SetObjects(0, row, action);
        StringGrid1->SetCells(0, row, action->Caption());
        StringGrid1->SetCells(1, row, ShortcutText(action));
        StringGrid1->SetCells(2, row, action->Switch());
        StringGrid1->SetCells(3, row, action->Token());
    }
    if (StringGrid1->RowCount() > 1) StringGrid1->SetTopRow(1);
}

void TRaccourcisForm::StringGrid1MouseDown(classlib::TObject* /*Sender*/, classlib::TMouseButton /*Button*/,
                                           classlib::TShiftState /*Shift*/, int X, int Y) {
    StringGrid1->MouseToCell(X, Y, pressedCol_, pressedRow_);
}

void TRaccourcisForm::StringGrid1MouseUp(classlib::TObject* /*Sender*/, classlib::TMouseButton /*Button*/,
                                         classlib::TShiftState /*Shift*/, int /*X*/, int /*Y*/) {
    if (pressedRow_ != 0 || pressedCol_ < 0 || pressedCol_ > 3) return;
    if (settings::ParamRaccourcisSort != nullptr)
        settings::ParamRaccourcisSort->SetValue(static_cast<std::uint8_t>(pressedCol_));
    FillGrid(actionList_);
}

void TRaccourcisForm::StringGrid1DblClick(classlib::TObject* /*Sender*/) {
    if (pressedRow_ < 1 || pressedRow_ >= StringGrid1->RowCount()) return;
    // The object is one of the listed actions; the list may have changed since, so it is found
    // again among the actions before it runs.
    classlib::TObject* object = StringGrid1->Objects(0, pressedRow_);
    if (object == nullptr || actionList_ == nullptr) return;
    for (int i = 0; i < actionList_->ActionCount(); ++i) {
        if (actionList_->Actions(i) == object) {
            actionList_->Actions(i)->Execute();
            return;
        }
    }
}

void TRaccourcisForm::FormClose(classlib::TObject* /*Sender*/, classlib::TCloseAction& Action) {
    Action = classlib::TCloseAction::caHide;
    TCaptureForm* form = CaptureForm();
    if (form == nullptr || form->taraccourcis == nullptr) return;
    form->taraccourcis->Execute();
    // The toggle has hidden the window; closing has nothing left to do.
    if (!Visible()) Action = classlib::TCloseAction::caNone;
}

}  // namespace ui
