// Quillotrane's entry point: the start-up initialisations, the DirectX check, the main window and
// the message loop, then the orderly end. No exception leaves wWinMain.
#include <windows.h>

#include <exception>
#include <string>

#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/message_box.h"
#include "classlib/start_trace.h"
#include "engine/capture_data_module.h"
#include "engine/engine_host.h"
#include "filters/filters_host.h"
#include "ui/capture_form.h"
#include "ui/save_prefs_form.h"
#include "ui/side_forms.h"
#include "ui/start_up.h"
#include "unicode/wide_platform.h"
#include "widgets/hover/hx_startup.h"
#include "widgets/kit/kit_startup.h"
#include "widgets/unicode/uc_forms.h"

namespace {

// A failure that reached the main block: the program cannot go on, and the user is told why.
void ReportFatal(const std::exception_ptr& error) {
    std::wstring text = L"Quillotrane could not run.";
    try {
        std::rethrow_exception(error);
    } catch (const classlib::Exception& e) {
        text += L"\r\n" + e.Message();
    } catch (const std::exception& e) {
        text += L"\r\n" + std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what()));
    } catch (...) {
    }
    try {
        classlib::ShowMessageBox(nullptr, text, L"Quillotrane", MB_OK | MB_ICONERROR);
    } catch (...) {
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*showCommand*/)
{
    int exitCode = 0;
    try {
        classlib::StartTrace("main");
        unicode::InitializeWidePlatform();
        widgets::InitializeWideControls();
        hover::InitializeHoverLibrary();
        classlib::LoadFormatSettingsFromLocale();
        widgets::kit::InitializeKit();
        classlib::StartTrace("library modules started");

        // Any answer but Yes ends the program before a form or a setting exists.
        if (ui::ConfirmDirectXVersion()) {
            classlib::StartTrace("DirectX version checked");
            classlib::TApplication* application = classlib::Application();
            application->Initialize();
            widgets::UcApplication()->SetTitle(L"Quillotrane");
            // The main window answers the layers below it from its creation on.
            ui::TCaptureForm* captureForm = nullptr;
            application->CreateForm(captureForm);
            classlib::StartTrace("main form created");
            engine::SetEngineHost(captureForm);
            filters::SetFiltersHost(captureForm);
            // The capture data module, owned by the application like the forms.
            new engine::Tdm(application);
            classlib::StartTrace("capture data module created");
            ui::TSavePrefsForm* savePrefsForm = nullptr;
            application->CreateForm(savePrefsForm);
            ui::Tplaque* plaque = nullptr;
            application->CreateForm(plaque);
            ui::TRaccourcisForm* raccourcisForm = nullptr;
            application->CreateForm(raccourcisForm);
            classlib::StartTrace("forms created");
            application->Run();
        }
    } catch (...) {
        ReportFatal(std::current_exception());
        exitCode = 1;
    }

    // The forms go first (the last created first), then the library modules in the reverse order
    // of their start-up, then the application.
    try {
        if (classlib::ApplicationExists()) classlib::Application()->DestroyForms();
    } catch (...) {
        exitCode = 1;
    }
    try {
        widgets::kit::FinalizeKit();
    } catch (...) {
        exitCode = 1;
    }
    try {
        hover::FinalizeHoverLibrary();
    } catch (...) {
        exitCode = 1;
    }
    try {
        widgets::FinalizeWideControls();
    } catch (...) {
        exitCode = 1;
    }
    try {
        classlib::DoneApplication();
    } catch (...) {
        exitCode = 1;
    }
    filters::SetFiltersHost(nullptr);
    engine::SetEngineHost(nullptr);
    return exitCode;
}
