// The one seam through which the program shows message boxes and asks questions: the system's
// MessageBoxW by default, an answering function in tests, so that nothing waits for a person.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace classlib {

using TMessageBoxFunction =
    std::function<int(HWND Owner, const std::wstring& Text, const std::wstring& Caption, UINT Flags)>;

// Shows the box (or asks the installed function) and answers IDOK, IDYES, IDNO, IDCANCEL, ...
int ShowMessageBox(HWND Owner, const std::wstring& Text, const std::wstring& Caption, UINT Flags);
// Installs Function (an empty one restores the system's box); answers the previous one.
TMessageBoxFunction SetMessageBoxFunction(TMessageBoxFunction Function);

}  // namespace classlib
