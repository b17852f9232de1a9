// Scripts and the command line: lists of commands run against an action list's super actions.
// TScript runs script files line by line; TSwitch runs the program's own command line once, at
// the application's first activation.
//
// A script line is [prefix]name[=value]: prefix "+" sets the state False (the state whose handler
// switches the feature on), "-" True, "/" re-applies it; without prefix the value words "true",
// "false" and "toggle" of a toggle action do the same. A command-line argument is prefix name
// [=value]; an argument without prefix is the default action's value.
//
// Guarded against hostile input: a component runs one list at a time (a script that runs itself,
// or a queued click starting the same script, is refused with EInvalidOperation), a run stops
// when its component, its action list or the application goes, a command whose action was freed
// is skipped, script files above MaxScriptFileSize bytes and files that are not text are refused
// with EReadError, and the quit request belongs to one parsed list only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "widgets/custom/super_actions.h"

namespace widgets::custom {

// One parsed command: the action, its value and its kind (0 state False, 1 state True, 2 re-apply
// the state, 3 leave the state alone).
struct TActionEx {
    TCustomSuperAction* Action = nullptr;  // cleared when the action is freed
    std::wstring Value;
    std::uint8_t Kind = 3;
};

// The command list; it owns its commands.
class TSuperList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    const TActionEx& Items(int Index) const { return *items_.at(static_cast<size_t>(Index)); }
    void Add(TCustomSuperAction* Action, std::uint8_t Kind, const std::wstring& Value);
    // Frees the commands from the last to the first, then empties the list.
    void Clear();
    // The commands as they are now; a run walks this copy, so a list cleared meanwhile frees
    // nothing the run still reads.
    std::vector<std::shared_ptr<TActionEx>> Snapshot() const { return items_; }
    // Forgets a freed action in every command.
    void ForgetAction(const classlib::TComponent* Action);

private:
    std::vector<std::shared_ptr<TActionEx>> items_;
};

constexpr std::int64_t MaxScriptFileSize = 1 << 20;

class TCustomScript : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TCustomScript)
    explicit TCustomScript(classlib::TComponent* AOwner);
    ~TCustomScript() override;

    TCustomSuperAction* DefaultAction() const { return defaultAction_; }
    void SetDefaultAction(TCustomSuperAction* Value);
    classlib::TCustomActionList* actionlist() const { return actionList_; }
    void SetActionList(classlib::TCustomActionList* Value);
    // True while Run works through its list.
    bool Executing() const { return executing_; }
    // The index of the command being run (-1 before the first).
    int CommandIndex() const { return index_; }
    const TSuperList& Commands() const { return commands_; }
    // True when the parsed list asked to close the main window ("quit").
    bool QuitRequested() const { return quit_; }
    // Ends a running list before its next command.
    void Stop() { stop_ = true; }

    // Parses a script file (a missing file is ignored); EReadError for a file that is too large
    // or not text.
    void LoadFromFile(const std::wstring& FileName);
    void ParseLine(const std::wstring& Line);
    // The super action whose switch or token is Name (lower-cased), the default action for "",
    // nothing for "quit" (which asks for the close) and "+". Where several actions answer to the
    // name, the first of the list; with WithValue (a command that carries a value other than a
    // state word), the first that takes a value, a two-state action taking none.
    TCustomSuperAction* FindAction(const std::wstring& Name, bool WithValue = false);
    // Runs the parsed list, then closes the main form when it asked to ("quit", alone too);
    // EInvalidOperation when this component is already running one.
    void Run();
    void RunFile(const std::wstring& FileName);

    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

protected:
    // Empties the list and forgets its quit request.
    void ClearCommands();
    // Refuses a new parse or run while a list runs.
    void CheckNotExecuting(const wchar_t* What) const;
    void AddCommand(TCustomSuperAction* Action, std::uint8_t Kind, const std::wstring& Value);
    // Lowered when the component is destroyed; code that processed messages checks it before
    // touching the component again.
    std::shared_ptr<bool> AliveToken() const { return alive_; }
    bool quit_ = false;

private:
    void Finish(const std::shared_ptr<bool>& Alive);

    TCustomSuperAction* defaultAction_ = nullptr;
    classlib::TCustomActionList* actionList_ = nullptr;
    TSuperList commands_;
    bool stop_ = false;
    bool executing_ = false;
    int index_ = -1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class TScript : public TCustomScript {
public:
    CLASSLIB_CLASS_NAME(TScript)
    explicit TScript(classlib::TComponent* AOwner) : TCustomScript(AOwner) {}
};

class TSwitch : public TCustomScript {
public:
    CLASSLIB_CLASS_NAME(TSwitch)
    // Takes the application's OnActivate, so that the command line runs at the first activation.
    explicit TSwitch(classlib::TComponent* AOwner);
    ~TSwitch() override;

    void ParseCommandLine();
    void ParseArgument(const std::wstring& Argument);
    // Parses and runs the command line, or calls OnNoCommandLine when it holds no command and
    // no "quit".
    void RunCommandLine();
    // The application's activation handler while the command line is pending: gives the
    // application's OnActivate to this component's OnActivate first, so that the command line
    // runs once even when its commands let another activation through.
    void AppActivate(classlib::TObject* Sender);

    // The command line parsed (by default the process's own).
    std::wstring CommandLine() const;
    void SetCommandLine(const std::wstring& Value) { commandLine_ = Value; }

    classlib::TNotifyEvent OnActivate;
    classlib::TNotifyEvent OnNoCommandLine;

private:
    std::optional<std::wstring> commandLine_;
    bool hooked_ = false;
};

}  // namespace widgets::custom
