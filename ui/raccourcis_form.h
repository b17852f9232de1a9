// The shortcuts window: every command of the main window with its keys, command-line switch and
// script token, in a grid sorted by the column whose header the user clicked, from which a double
// click runs the command.
#pragma once

#include <string>

#include "classlib/actions.h"
#include "widgets/custom/link_edit.h"
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_grids.h"

namespace ui {

class TRaccourcisForm : public widgets::TUcForm {
public:
    CLASSLIB_CLASS_NAME(TRaccourcisForm)
    explicit TRaccourcisForm(classlib::TComponent* AOwner);
    ~TRaccourcisForm() override;

    widgets::custom::TLinkEdit* leHeader = nullptr;
    widgets::TUcStringGrid* StringGrid1 = nullptr;

    // Lists the super actions of ActionList that have a caption, sorted by the column of the
    // setting "Raccourcis Sort" (none with a value outside 0 to 3); nothing without a list.
    void FillGrid(classlib::TActionList* ActionList);
    classlib::TActionList* ActionList() const { return actionList_; }

    void StringGrid1MouseDown(classlib::TObject* Sender, classlib::TMouseButton Button, classlib::TShiftState Shift,
                              int X, int Y);
    void StringGrid1MouseUp(classlib::TObject* Sender, classlib::TMouseButton Button, classlib::TShiftState Shift,
                            int X, int Y);
    void StringGrid1DblClick(classlib::TObject* Sender);
    // Closing runs the main window's toggle while the window still shows, so that the toggle hides
    // it and takes the unchecked state (run after hiding, it would show the window again).
    void FormClose(classlib::TObject* Sender, classlib::TCloseAction& Action);

    // A task bar button of its own: a desktop's window manager gives the keyboard to a window it
    // lists there when it opens (Windows gives it the keyboard in any case).
    void CreateParams(classlib::TCreateParams& Params) override;
    // Escape closes the window as its close box does.
    void Dispatch(classlib::TMessage& Message) override;

    // The cell of the last mouse press.
    int PressedCol() const { return pressedCol_; }
    int PressedRow() const { return pressedRow_; }

private:
    classlib::TActionList* actionList_ = nullptr;
    int pressedCol_ = -1;
    int pressedRow_ = -1;
};

// The sort key of an action in a column (0 caption, 1 keys, 2 switch, 3 token), each followed by
// the caption and the component name so that equal texts keep a stable order.
std::wstring ShortcutSortKey(classlib::TCustomAction* Action, int Column);

// The program's shortcuts window, nullptr when none exists.
TRaccourcisForm* RaccourcisForm();

}  // namespace ui
