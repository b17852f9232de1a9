// Building forms and frames in code: one call makes a component, names it, parents it and places
// it, so that each form's layout reads as a list of its controls.
#pragma once

#include <initializer_list>
#include <string>

#include "classlib/controls.h"
#include "classlib/custom_form.h"
#include "classlib/graphics.h"

namespace ui {

// A new control of class T owned by Owner, named Name, inside Parent at (Left, Top), Width x Height.
template <typename T>
T* Place(classlib::TComponent* Owner, classlib::TWinControl* Parent, const wchar_t* Name, int Left, int Top,
         int Width, int Height) {
    T* control = new T(Owner);
    control->SetName(Name);
    control->SetParent(Parent);
    control->SetBounds(Left, Top, Width, Height);
    return control;
}

// A new component of class T owned by Owner, named Name.
template <typename T>
T* Make(classlib::TComponent* Owner, const wchar_t* Name) {
    T* component = new T(Owner);
    component->SetName(Name);
    return component;
}

// In a form's Dispatch: Escape (a dialog key no cancel button took) closes Form as its close box
// does. Answers whether Message was that key, handled.
inline bool EscapeCloses(classlib::TCustomForm* Form, classlib::TMessage& Message) {
    if (Message.Msg != classlib::CM_DIALOGKEY || Message.WParam != VK_ESCAPE) return false;
    Form->Close();
    Message.Result = 1;
    return true;
}

// The panels' name labels and lists: an "Arial" font of Style in Color.
inline void SetArialLook(classlib::TControl* Control, classlib::TFontStyles Style, classlib::TColor Color) {
    Control->Font()->SetName("Arial");
    Control->Font()->SetStyle(Style);
    Control->Font()->SetColor(Color);
}

// A new page of Pages (class TSheet, owned by Owner) named Name with Caption.
template <typename TSheet, typename TPages>
TSheet* AddPage(classlib::TComponent* Owner, TPages* Pages, const wchar_t* Name, const wchar_t* Caption) {
    TSheet* sheet = Make<TSheet>(Owner, Name);
    sheet->SetPageControl(Pages);
    sheet->SetCaption(Caption);
    return sheet;
}

// Fills a wide memo with Lines as adding them one by one does (each line ends with a line break), as
// one text that needs no window: a hidden panel's memo gets its window when the panel is shown.
template <typename TMemoControl>
void SetMemoLines(TMemoControl* Memo, std::initializer_list<std::wstring> Lines) {
    std::wstring text;
    for (const std::wstring& line : Lines) text += line + L"\r\n";
    Memo->SetText(text);
}

}  // namespace ui
