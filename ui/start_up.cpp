#include "ui/start_up.h"

#include <windows.h>

#include "classlib/message_box.h"
#include "dshow/ds_functions.h"
#include "settings/program_texts.h"

namespace ui {

std::wstring DirectXWarningText(const std::wstring& VersionText) {
    // Built by concatenation: the version text comes from the registry and is no format.
    return L"You use DirectX " + VersionText + L"." + L"\r\n" +
           L"You should use at least directX 9 in order to run correctly " + L"Quillotrane" + L" version " +
           settings::ProgramVersion() + L" " + settings::ProgramLanguage() + L"." + L"\r\n" +
           L"Do you want to continue anyway? If yes, the application may not work well.";
}

bool ConfirmDirectXVersion(int Major, const std::wstring& VersionText) {
    if (Major >= 9) return true;
    return classlib::ShowMessageBox(nullptr, DirectXWarningText(VersionText), L"Warning",
                                    MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool ConfirmDirectXVersion() {
    return ConfirmDirectXVersion(dshow::GetDirectXMajor(), dshow::GetDirectXVersion());
}

}  // namespace ui
