// Quillotrane's entry point: the start-up initialisations, the DirectX check, the main window and
// the message loop, then the orderly end. No exception leaves wWinMain.
#include <windows.h>

#include <atomic>
#include <exception>
#include <string>

#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/message_box.h"
#include "engine/engine_host.h"
#include "filters/filters_host.h"
#include "ui/capture_form.h"
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

// What the capture engine and the stream filters ask of the main window, answered from the main
// window's handle until its own panels answer them (no label, no camcorder window yet).
class TProgramHosts final : public engine::IEngineHost, public filters::IFiltersHost {
public:
    std::atomic<HWND> MainWindow{nullptr};
    HWND MainWindowHandle() override { return MainWindow.load(); }
    void SetVideoLabel(const std::wstring&) override {}
    engine::ICamWindow* CamWindow(int) override { return nullptr; }
    void ForgetCamForm(engine::ICamWindow*) override {}
    HWND MessageWindow() override { return MainWindow.load(); }
    bool OverlayPreference() override { return true; }
    LONGLONG FrameTime() override { return 0; }
    SIZE DisplayAspect() override { return SIZE{0, 0}; }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*showCommand*/)
{
    int exitCode = 0;
    TProgramHosts hosts;
    engine::SetEngineHost(&hosts);
    filters::SetFiltersHost(&hosts);
    try {
        unicode::InitializeWidePlatform();
        widgets::InitializeWideControls();
        hover::InitializeHoverLibrary();
        classlib::LoadFormatSettingsFromLocale();
        widgets::kit::InitializeKit();

        // Any answer but Yes ends the program before a form or a setting exists.
        if (ui::ConfirmDirectXVersion()) {
            classlib::TApplication* application = classlib::Application();
            application->Initialize();
            widgets::UcApplication()->SetTitle(L"Quillotrane");
            ui::TCaptureForm* captureForm = nullptr;
            application->CreateForm(captureForm);
            hosts.MainWindow = captureForm->Handle();
            application->Run();
        }
    } catch (...) {
        ReportFatal(std::current_exception());
        exitCode = 1;
    }

    // The forms go first (the last created first), then the library modules in the reverse order
    // of their start-up, then the application.
    hosts.MainWindow = nullptr;
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
