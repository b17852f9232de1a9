// The program's first check, made before any window exists: an installed DirectX older than 9 is
// reported and the user decides whether the program goes on.
#pragma once

#include <string>

namespace ui {

// The warning for DirectX VersionText.
std::wstring DirectXWarningText(const std::wstring& VersionText);

// True when the program may go on: DirectX Major is 9 or later, or the warning (a Yes/No question
// through the message-box seam) was answered Yes.
bool ConfirmDirectXVersion(int Major, const std::wstring& VersionText);
// The same for the installed DirectX.
bool ConfirmDirectXVersion();

}  // namespace ui
