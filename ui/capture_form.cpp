#include "ui/capture_form.h"

#include <memory>

#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/options_frame.h"
#include "unicode/wide_platform.h"

namespace ui {

namespace {

std::unique_ptr<unicode::TUcStringList> gFailedDevices;
bool gStartingUp = false;

constexpr int kClientWidth = 700;
constexpr int kClientHeight = 459;

}  // namespace

std::wstring ParameterListSignature() {
    return std::wstring(L"Quillotrane") + L" " + settings::ProgramVersion() + L" " + settings::ProgramLanguage() +
           L" by " + L"Marbrecq";
}

unicode::TUcStringList* FailedDevices() { return gFailedDevices.get(); }
bool StartingUp() { return gStartingUp; }

TCaptureForm::TCaptureForm(classlib::TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetName(L"CaptureForm");
    SetBorderStyle(classlib::TFormBorderStyle::bsSingle);
    SetBorderIcons(classlib::biSystemMenu | classlib::biMinimize);
    SetClientWidth(kClientWidth);
    SetClientHeight(kClientHeight);
    // The caption until the first showing replaces it.
    SetCaption(L"......");

    // Until the panel column exists the settings panel is the one panel, always shown.
    OptionsFrame = new TOptionsFrame(this);
    OptionsFrame->SetParent(this);
    OptionsFrame->SetBounds(8, 8, OptionsFrame->Width(), OptionsFrame->Height());
    OptionsFrame->rgPrefs->OnClick = [this](classlib::TObject* Sender) { OptionsFramergPrefsClick(Sender); };

    OnCreate = [this](classlib::TObject* Sender) { FormCreate(Sender); };
    OnShow = [this](classlib::TObject* Sender) { FormShow(Sender); };
    OnCloseQuery = [this](classlib::TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
    OnDestroy = [this](classlib::TObject* Sender) { FormDestroy(Sender); };
}

TCaptureForm::~TCaptureForm() {
    // OnDestroy must see the whole window (it runs once; the application may have run it).
    BeforeDestruction();
    // Nothing below may call back into a window that is gone.
    if (settings::SettingsHost() == this) {
        settings::SetSettingsHost(nullptr);
        settings::SetApplicationWindowProvider(nullptr);
    }
}

void TCaptureForm::FormCreate(classlib::TObject* /*Sender*/) {
    settings::SetSettingsHost(this);
    settings::SetApplicationWindowProvider([]() -> HWND {
        return classlib::ApplicationExists() ? classlib::Application()->Handle() : nullptr;
    });
    settings::CreateParameterList(ParameterListSignature());
    gFailedDevices = std::make_unique<unicode::TUcStringList>();
    gStartingUp = true;
}

void TCaptureForm::FormShow(classlib::TObject* /*Sender*/) {
    if (firstShowDone_) return;
    firstShowDone_ = true;
    LoadInterfaceTexts();
    LoadSettings();
}

void TCaptureForm::FormCloseQuery(classlib::TObject* /*Sender*/, bool& /*CanClose*/) { SaveSettings(); }

void TCaptureForm::FormDestroy(classlib::TObject* /*Sender*/) {
    gFailedDevices.reset();
    if (settings::SettingsHost() == this) {
        settings::SetSettingsHost(nullptr);
        settings::SetApplicationWindowProvider(nullptr);
    }
}

void TCaptureForm::LoadInterfaceTexts() {
    SetCaption(settings::ProgramTitle() + L" by " + L"Marbrecq");
    Font()->SetName("Arial");
}

void TCaptureForm::LoadSettings() {
    try {
        settings::CreateParameters();
        SetBounds(settings::ParamLeft->Value(), settings::ParamTop->Value(), Width(), Height());
        OptionsFrame->ShowStorageMode(settings::StorageMode());
    } catch (...) {
        // The rest of the window keeps its defaults.
    }
}

bool TCaptureForm::SaveSettings() {
    if (settings::StorageMode() == settings::smNone) {
        OptionsFrame->RemoveGivenUpStores(settings::smNone);
        return false;
    }
    try {
        int left = Left();
        int top = Top();
        // A minimised window's own position is off the screen: keep the place it returns to.
        if (HandleAllocated() && IsIconic(Handle())) {
            WINDOWPLACEMENT placement{};
            placement.length = sizeof(placement);
            if (GetWindowPlacement(Handle(), &placement)) {
                left = placement.rcNormalPosition.left;
                top = placement.rcNormalPosition.top;
            }
        }
        settings::ParamTop->SetValue(top);
        settings::ParamLeft->SetValue(left);
        const int choice = OptionsFrame->rgPrefs->ItemIndex();
        if (choice >= settings::smRegistry && choice <= settings::smNone)
            settings::SetStorageMode(static_cast<settings::TStorageMode>(choice));
    } catch (...) {
    }
    const bool saved = settings::SaveParameters();
    if (saved) OptionsFrame->RemoveGivenUpStores(settings::StorageMode());
    return saved;
}

void TCaptureForm::OptionsFramergPrefsClick(classlib::TObject* Sender) { OptionsFrame->rgPrefsClick(Sender); }

std::wstring TCaptureForm::ExeName() const {
    if (widgets::TUcApplication* application = widgets::UcApplication()) return application->ExeName();
    return unicode::WideParamStr(0);
}

}  // namespace ui
