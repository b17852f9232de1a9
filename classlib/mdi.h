// The multiple-document interface of the class library's forms: the MDI frame (a form with
// FormStyle fsMDIForm and its MDICLIENT window) and its MDI children (fsMDIChild forms). The
// members are TCustomForm's (custom_form.h); this module holds what the frame and the children
// share.
#pragma once

#include <windows.h>

namespace classlib {

class TCustomForm;

// The MDI client window of the application's main form (nullptr when the main form is not an MDI
// frame with a window): where MDI children are made.
HWND MDIClientOfMainForm();

// The form of an MDI child window (nullptr for any other window).
TCustomForm* MDIChildOfWindow(HWND Window);

}  // namespace classlib
