// Scripts and the command line.
#include "widgets/custom/scripts.h"

#include <algorithm>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/streams.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace widgets::custom {

using classlib::Format;

namespace {

std::wstring WithoutQuotes(std::wstring Text) {
    Text.erase(std::remove(Text.begin(), Text.end(), L'"'), Text.end());
    return Text;
}

// The kind a prefix character gives, or 3 for any other character.
std::uint8_t PrefixKind(wchar_t C) {
    switch (C) {
        case L'+': return 0;
        case L'-': return 1;
        case L'/': return 2;
        default: return 3;
    }
}

// A script's lines, refused when the file is too large for a list of commands or holds a zero
// character (a program, a picture: anything but text).
void ReadScriptLines(const std::wstring& FileName, unicode::TUcStringList& Lines) {
    unicode::TUcFileStream file(FileName, classlib::fmOpenRead | classlib::fmShareDenyWrite);
    const std::int64_t size = file.Size();
    if (size > MaxScriptFileSize)
        throw classlib::EReadError(Format(L"The script \"%s\" is not run: it holds %d bytes, a script at most %d.",
                                          {FileName, size, MaxScriptFileSize}));
    classlib::TMemoryStream memory;
    if (size > 0) memory.CopyFrom(&file, size);
    const std::vector<std::uint8_t>& bytes = memory.Bytes();
    const bool utf16 = bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF));
    bool text = true;
    if (utf16) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            if (bytes[i] == 0 && bytes[i + 1] == 0) text = false;
    } else {
        text = std::find(bytes.begin(), bytes.end(), std::uint8_t{0}) == bytes.end();
    }
    if (!text) throw classlib::EReadError(Format(L"The script \"%s\" is not run: it is not a text file.", {FileName}));
    memory.SetPosition(0);
    Lines.LoadFromStream(&memory);
}

}  // namespace

// ---- TSuperList ------------------------------------------------------------------------------

void TSuperList::Add(TCustomSuperAction* Action, std::uint8_t Kind, const std::wstring& Value) {
    auto command = std::make_shared<TActionEx>();
    command->Action = Action;
    command->Kind = Kind;
    command->Value = Value;
    items_.push_back(std::move(command));
}

void TSuperList::Clear() {
    while (!items_.empty()) items_.pop_back();
}

void TSuperList::ForgetAction(const classlib::TComponent* Action) {
    for (auto& command : items_)
        if (command->Action == Action) command->Action = nullptr;
}

// ---- TCustomScript ---------------------------------------------------------------------------

TCustomScript::TCustomScript(classlib::TComponent* AOwner) : classlib::TComponent(AOwner) {}

TCustomScript::~TCustomScript() {
    *alive_ = false;
    ClearCommands();
}

void TCustomScript::SetDefaultAction(TCustomSuperAction* Value) {
    if (Value == defaultAction_) return;
    defaultAction_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TCustomScript::SetActionList(classlib::TCustomActionList* Value) {
    if (Value == actionList_) return;
    actionList_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TCustomScript::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TComponent::Notification(AComponent, Operation);
    if (Operation != classlib::TOperation::opRemove) return;
    if (AComponent == defaultAction_) defaultAction_ = nullptr;
    if (AComponent == actionList_) {
        actionList_ = nullptr;
        stop_ = true;  // its actions go with it
    }
    commands_.ForgetAction(AComponent);
}

void TCustomScript::ClearCommands() {
    commands_.Clear();
    quit_ = false;
}

void TCustomScript::CheckNotExecuting(const wchar_t* What) const {
    if (executing_)
        throw classlib::EInvalidOperation(
            Format(L"Cannot %s while a script is running: a script cannot start itself again.", {What}));
}

void TCustomScript::AddCommand(TCustomSuperAction* Action, std::uint8_t Kind, const std::wstring& Value) {
    commands_.Add(Action, Kind, Value);
    // The command must learn when its action goes (a form freed while the list waits).
    Action->FreeNotification(this);
}

TCustomSuperAction* TCustomScript::FindAction(const std::wstring& Name, bool WithValue) {
    const std::wstring name = classlib::AnsiLowerCase(Name);
    if (actionList_ == nullptr) return nullptr;
    if (name.empty()) return defaultAction_;
    if (name == L"quit") {
        quit_ = true;
        return nullptr;
    }
    if (name == L"+") return nullptr;
    TCustomSuperAction* first = nullptr;
    for (int i = 0; i < actionList_->ActionCount(); ++i) {
        auto* action = dynamic_cast<TCustomSuperAction*>(actionList_->Actions(i));
        if (action == nullptr || (action->Switch() != name && action->Token() != name)) continue;
        if (!WithValue || dynamic_cast<TtoggleAction*>(action) == nullptr) return action;
        if (first == nullptr) first = action;
    }
    return first;
}

void TCustomScript::LoadFromFile(const std::wstring& FileName) {
    CheckNotExecuting(L"load a script");
    if (!unicode::WideFileExists(FileName)) return;
    ClearCommands();
    unicode::TUcStringList lines;
    ReadScriptLines(FileName, lines);
    for (int i = 0; i < lines.Count(); ++i) ParseLine(lines.Strings(i));
}

void TCustomScript::ParseLine(const std::wstring& Line) {
    const std::wstring line = classlib::Trim(Line);
    if (line.empty()) return;
    std::uint8_t kind = PrefixKind(line[0]);
    const size_t nameStart = kind == 3 ? 0 : 1;
    const size_t equal = line.find(L'=', nameStart);
    const std::wstring name = line.substr(nameStart, equal == std::wstring::npos ? std::wstring::npos : equal - nameStart);
    std::wstring value = equal == std::wstring::npos ? std::wstring() : line.substr(equal + 1);
    value = WithoutQuotes(value);
    const std::wstring word = classlib::AnsiLowerCase(value);
    const bool stateWord = word == L"false" || word == L"true" || word == L"toggle";
    TCustomSuperAction* action = FindAction(name, !value.empty() && !stateWord);
    if (action == nullptr) return;
    if (kind == 3 && dynamic_cast<TtoggleAction*>(action) != nullptr) {
        if (word == L"false")
            kind = 1;
        else if (word == L"true")
            kind = 0;
        else if (word == L"toggle")
            kind = 2;
    }
    AddCommand(action, kind, value);
}

void TCustomScript::Run() {
    CheckNotExecuting(L"run a script");
    stop_ = false;
    const std::shared_ptr<bool> alive = alive_;
    // "quit" is no command of the list, but it is asked for all the same: alone, it still closes.
    if (commands_.Count() == 0) {
        if (quit_) Finish(alive);
        return;
    }
    const std::vector<std::shared_ptr<TActionEx>> commands = commands_.Snapshot();
    executing_ = true;
    index_ = -1;
    try {
        for (size_t i = 0; i < commands.size() && !stop_; ++i) {
            index_ = static_cast<int>(i);
            ActionProceed = true;
            classlib::Application()->ProcessMessages();
            // Waiting messages may have freed this component (its form closed) or its actions,
            // or ended the program.
            if (!*alive) return;
            if (stop_ || classlib::Application()->Terminated()) break;
            TCustomSuperAction* action = commands[i]->Action;
            if (action == nullptr || !action->Enabled()) continue;
            ActionArguments().Clear();
            ActionArguments().Add(commands[i]->Value);
            action->RunCommand(commands[i]->Kind, this);
            if (!*alive) return;
        }
    } catch (...) {
        if (*alive) Finish(alive);
        throw;
    }
    Finish(alive);
}

void TCustomScript::Finish(const std::shared_ptr<bool>& Alive) {
    const bool quit = quit_;
    quit_ = false;
    if (quit && classlib::Application()->MainForm() != nullptr) classlib::Application()->MainForm()->Close();
    if (*Alive) executing_ = false;
}

void TCustomScript::RunFile(const std::wstring& FileName) {
    CheckNotExecuting(L"run a script");
    const std::shared_ptr<bool> alive = AliveToken();
    LoadFromFile(FileName);
    try {
        Run();
    } catch (...) {
        if (*alive) ClearCommands();
        throw;
    }
    if (*alive) ClearCommands();
}

// ---- TSwitch ---------------------------------------------------------------------------------

TSwitch::TSwitch(classlib::TComponent* AOwner) : TCustomScript(AOwner) {
    classlib::Application()->OnActivate = [this](classlib::TObject* Sender) { AppActivate(Sender); };
    hooked_ = true;
}

TSwitch::~TSwitch() {
    // The application must not call into a component that is gone.
    if (hooked_ && classlib::ApplicationExists()) classlib::Application()->OnActivate = nullptr;
}

std::wstring TSwitch::CommandLine() const {
    if (commandLine_) return *commandLine_;
    const wchar_t* line = GetCommandLineW();
    return line != nullptr ? std::wstring(line) : std::wstring();
}

void TSwitch::ParseCommandLine() {
    CheckNotExecuting(L"read the command line");
    ClearCommands();
    const std::wstring line = CommandLine();
    for (int i = 1;; ++i) {
        std::wstring argument = unicode::WideParamStrOf(line, i);
        if (argument.empty()) break;
        ParseArgument(argument);
    }
}

void TSwitch::ParseArgument(const std::wstring& Argument) {
    const std::wstring argument = WithoutQuotes(Argument);
    // An argument made only of quotes says nothing.
    if (argument.empty()) return;
    const std::uint8_t kind = PrefixKind(argument[0]);
    std::wstring name;
    std::wstring value;
    if (kind == 3) {
        value = argument;
    } else {
        const size_t equal = argument.find(L'=', 1);
        if (equal != std::wstring::npos) {
            name = classlib::AnsiLowerCase(argument.substr(1, equal - 1));
            value = argument.substr(equal + 1);
        } else {
            name = classlib::AnsiLowerCase(argument.substr(1));
        }
    }
    TCustomSuperAction* action = name.empty() ? DefaultAction() : FindAction(name, !value.empty());
    if (action != nullptr) AddCommand(action, kind, value);
}

void TSwitch::RunCommandLine() {
    const std::shared_ptr<bool> alive = AliveToken();
    ParseCommandLine();
    try {
        if (Commands().Count() > 0 || QuitRequested())
            Run();
        else if (OnNoCommandLine)
            OnNoCommandLine(nullptr);
    } catch (...) {
        if (*alive) ClearCommands();
        throw;
    }
    if (*alive) ClearCommands();
}

void TSwitch::AppActivate(classlib::TObject* Sender) {
    // Unhooked before anything runs: the commands process messages, and a second activation
    // meanwhile must not run the command line again.
    hooked_ = false;
    classlib::Application()->OnActivate = OnActivate;
    if (OnActivate) OnActivate(Sender);
    RunCommandLine();
}

}  // namespace widgets::custom
