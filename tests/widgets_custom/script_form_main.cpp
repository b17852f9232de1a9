// A small form program driven from its command line: its actions write what they do to a log
// file, and one of them runs script files. The command-line test starts it with a script to run.
//   script_form.exe -log=<log file> -run=<script file>
#include <windows.h>

#include <string>

#include "classlib/actions.h"
#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "unicode/wide_platform.h"
#include "widgets/custom/scripts.h"
#include "widgets/unicode/uc_forms.h"

namespace {

using namespace widgets::custom;

std::wstring gLog;

void Log(const std::wstring& Line) {
    if (gLog.empty()) return;
    HANDLE h = CreateFileW(gLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string bytes = classlib::WideToUtf8(Line + L"\n");
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

template <typename A>
A* Add(classlib::TComponent* Owner, classlib::TActionList* List, const wchar_t* Switch, const wchar_t* Token) {
    auto* action = new A(Owner);
    action->SetActionList(List);
    action->SetSwitch(Switch);
    action->SetToken(Token);
    return action;
}

}  // namespace

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    unicode::InitializeWidePlatform();
    classlib::TApplication* app = classlib::Application();
    app->Initialize();
    widgets::InitializeWideControls();
    // A failure must end the program with a trace in the log, never wait on a message box.
    app->OnException = [](classlib::TObject*, const classlib::Exception& E) {
        Log(L"error:" + E.Message());
        classlib::Application()->Terminate();
    };

    classlib::TForm* form = nullptr;
    app->CreateForm(form);
    form->SetBounds(50, 50, 320, 200);
    form->SetCaption("Script form");
    auto* list = new classlib::TActionList(form);
    auto* script = new TScript(form);
    script->SetActionList(list);

    Add<TSuperAction>(form, list, L"log", L"log_file")->OnExecute = [](classlib::TObject*) { gLog = ActionArgument(); };
    Add<TSuperAction>(form, list, L"w", L"write")->OnExecute = [](classlib::TObject*) { Log(L"write:" + ActionArgument()); };
    auto* mute = Add<TtoggleAction>(form, list, L"m", L"mute");
    mute->OnfalseExecute = [mute](classlib::TObject*) {
        Log(L"on");
        mute->SetChecked(true);
    };
    mute->OnTrueExecute = [mute](classlib::TObject*) {
        Log(L"off");
        mute->SetChecked(false);
    };
    auto* flip = Add<TSuperAction>(form, list, L"vf", L"vertical_flip");
    flip->SetAutoCheck(true);
    flip->OnExecute = [flip](classlib::TObject*) { Log(flip->Checked() ? L"flip on" : L"flip off"); };
    Add<TSuperAction>(form, list, L"run", L"script")->OnExecute = [script](classlib::TObject*) {
        script->RunFile(ActionArgument());
    };

    auto* commandLine = new TSwitch(form);
    commandLine->SetActionList(list);
    commandLine->OnNoCommandLine = [](classlib::TObject*) { classlib::Application()->Terminate(); };

    app->Run();
    Log(L"closed");
    classlib::DoneApplication();
    return 0;
}
