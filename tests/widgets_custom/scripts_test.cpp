// Super actions, script files and the command line, on exact texts.
#include <windows.h>

#include <gtest/gtest.h>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "custom_test_support.h"
#include "exception_text.h"
#include "widgets/custom/scripts.h"

using namespace customtest;
using widgets::custom::ActionArgument;
using widgets::custom::TCustomSuperAction;

namespace {

// A main form whose closes are counted (and refused, so the test's application keeps running),
// and an action list with a toggle "mute" (m/mute), a plain "write" (w/write) and a plain flip
// with AutoCheck (vf/vertical_flip), each logging what ran.
class ScriptTest : public CustomTest {
protected:
    void SetUp() override {
        CustomTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        classlib::Application()->SetMainForm(form);
        form->OnClose = [this](classlib::TObject*, classlib::TCloseAction& a) {
            ++closes;
            a = classlib::TCloseAction::caNone;
        };
        list = new classlib::TActionList(form);
        mute = new widgets::custom::TtoggleAction(form);
        mute->SetActionList(list);
        mute->SetSwitch(L"M");
        mute->SetToken(L"Mute");
        mute->OnfalseExecute = [this](classlib::TObject*) {
            log.push_back(L"on");
            mute->SetChecked(true);
        };
        mute->OnTrueExecute = [this](classlib::TObject*) {
            log.push_back(L"off");
            mute->SetChecked(false);
        };
        write = new widgets::custom::TSuperAction(form);
        write->SetActionList(list);
        write->SetSwitch(L"w");
        write->SetToken(L"write");
        write->OnExecute = [this](classlib::TObject*) { log.push_back(L"write:" + ActionArgument()); };
        flip = new widgets::custom::TSuperAction(form);
        flip->SetActionList(list);
        flip->SetSwitch(L"vf");
        flip->SetToken(L"vertical_flip");
        flip->SetAutoCheck(true);
        flip->OnExecute = [this](classlib::TObject*) { log.push_back(flip->Checked() ? L"flip on" : L"flip off"); };
        script = new widgets::custom::TScript(form);
        script->SetActionList(list);
    }
    std::wstring Script(const std::string& text) { return folder.Write(L"s" + std::to_wstring(++files) + L".txt", text); }

    TempFolder folder;
    int files = 0;
    classlib::TForm* form = nullptr;
    classlib::TActionList* list = nullptr;
    widgets::custom::TtoggleAction* mute = nullptr;
    widgets::custom::TSuperAction* write = nullptr;
    widgets::custom::TSuperAction* flip = nullptr;
    widgets::custom::TScript* script = nullptr;
    std::vector<std::wstring> log;
    int closes = 0;
};

using Log = std::vector<std::wstring>;

TEST_F(ScriptTest, ScriptLinesSetKindsValuesAndSkipWhatTheyDoNotName) {
    std::wstring file = Script(
        "  /mute  \r\n"
        "m=true\n"
        "-MUTE\r\n"
        "mute=\"False\"\n"
        "write=\"a \"\"quoted\"\" value\"\n"
        "write=\n"
        "write=\"unbalanced\n"
        "# write=comment\n"
        "unknown=zzz\n"
        "+\n"
        "\n"
        "mute=toggle\n");
    script->LoadFromFile(file);
    EXPECT_EQ(script->Commands().Count(), 8);
    script->Run();
    EXPECT_EQ(log, (Log{L"on", L"on", L"off", L"off", L"write:a quoted value", L"write:", L"write:unbalanced", L"on"}));
    EXPECT_TRUE(mute->Checked());
    EXPECT_FALSE(script->Executing());
    EXPECT_EQ(closes, 0);
}

TEST_F(ScriptTest, UnicodeScriptWithByteOrderMarkRuns) {
    std::wstring text = L"write=\x65E5\x672C\r\n";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    script->RunFile(Script(bytes));
    EXPECT_EQ(log, (Log{L"write:\x65E5\x672C"}));
    EXPECT_EQ(script->Commands().Count(), 0);  // RunFile clears its list
}

TEST_F(ScriptTest, QuitClosesAloneOrAfterTheCommandsAndOnlyInItsOwnRun) {
    script->RunFile(Script("quit\n"));
    EXPECT_EQ(closes, 1);
    script->RunFile(Script("write=1\n"));
    EXPECT_EQ(log, (Log{L"write:1"}));
    EXPECT_EQ(closes, 1);
    script->RunFile(Script("QUIT\nwrite=2\n"));
    EXPECT_EQ(log, (Log{L"write:1", L"write:2"}));
    EXPECT_EQ(closes, 2);
    script->RunFile(Script("write=3\n"));
    EXPECT_EQ(closes, 2);
}

TEST_F(ScriptTest, HostileFilesGetAClearErrorOrNothing) {
    script->RunFile(folder.Path() + L"missing.txt");
    std::string big(static_cast<size_t>(widgets::custom::MaxScriptFileSize) + 1, 'x');
    std::wstring bigFile = Script(big);
    EXPECT_EQ(quill_test::MessageOf<classlib::EReadError>([&] { script->RunFile(bigFile); }),
              L"The script \"" + bigFile + L"\" is not run: it holds 1048577 bytes, a script at most 1048576.");
    std::wstring binary = Script(std::string("write=1\n\0\x01\x02MZ", 12));
    EXPECT_EQ(quill_test::MessageOf<classlib::EReadError>([&] { script->RunFile(binary); }),
              L"The script \"" + binary + L"\" is not run: it is not a text file.");
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(script->Executing());
}

TEST_F(ScriptTest, AScriptThatRunsItselfIsRefusedAndTheRunEnds) {
    std::wstring self = Script("write=before\nrun=self\nwrite=after\n");
    auto* run = new widgets::custom::TSuperAction(form);
    run->SetActionList(list);
    run->SetSwitch(L"run");
    run->OnExecute = [&](classlib::TObject*) { script->RunFile(self); };
    EXPECT_EQ(quill_test::MessageOf<classlib::EInvalidOperation>([&] { script->RunFile(self); }),
              L"Cannot run a script while a script is running: a script cannot start itself again.");
    EXPECT_EQ(log, (Log{L"write:before"}));
    EXPECT_FALSE(script->Executing());
    // Another script component may run from a command: the command line runs script files so.
    auto* other = new widgets::custom::TScript(form);
    other->SetActionList(list);
    run->OnExecute = [&](classlib::TObject*) { other->RunFile(Script("write=inner\n")); };
    script->RunFile(Script("run\nwrite=outer\n"));
    EXPECT_EQ(log, (Log{L"write:before", L"write:inner", L"write:outer"}));
}

TEST_F(ScriptTest, ActionsAndTheScriptFreedDuringARunAreNotTouched) {
    auto* killer = new widgets::custom::TSuperAction(form);
    killer->SetActionList(list);
    killer->SetToken(L"kill");
    killer->OnExecute = [&](classlib::TObject*) { delete write; };
    script->RunFile(Script("kill\nwrite=gone\nmute\n"));
    // Without prefix a toggle runs its current state's handler, as a user's trigger does.
    EXPECT_EQ(log, (Log{L"on"}));
    killer->OnExecute = [&](classlib::TObject*) { delete script; };
    auto* again = new widgets::custom::TScript(form);
    again->SetActionList(list);
    script = again;
    std::wstring file = Script("kill\n-mute\n");
    again->RunFile(file);  // must return without touching the freed component
    EXPECT_EQ(log, (Log{L"on"}));
}

TEST_F(ScriptTest, DisabledActionsAreSkippedAndTheirValueNeverArrives) {
    write->SetEnabled(false);
    widgets::custom::ActionArguments().Clear();
    widgets::custom::ActionArguments().Add(L"untouched");
    script->RunFile(Script("write=secret\n"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(ActionArgument(), L"untouched");
}

TEST_F(ScriptTest, CommandLineArgumentsOnExactTexts) {
    auto* sw = new widgets::custom::TSwitch(form);
    sw->SetActionList(list);
    int none = 0;
    classlib::TObject* noneSender = form;
    sw->OnNoCommandLine = [&](classlib::TObject* s) {
        ++none;
        noneSender = s;
    };
    sw->SetCommandLine(L"prog.exe +W=\"two words\" \"-M\" plain \"\" +UNKNOWN /w=\"a\"b\"\" +write=");
    sw->RunCommandLine();
    EXPECT_EQ(log, (Log{L"write:two words", L"off", L"write:ab", L"write:"}));
    // Plain arguments without a default action: no command at all.
    sw->SetCommandLine(L"prog.exe plain \"C:\\a b.avi\"");
    sw->RunCommandLine();
    EXPECT_EQ(none, 1);
    EXPECT_EQ(noneSender, nullptr);
    // With a default action they are its values.
    sw->SetDefaultAction(write);
    sw->SetCommandLine(L"prog.exe plain \"C:\\a b.avi\"");
    sw->RunCommandLine();
    EXPECT_EQ(log, (Log{L"write:two words", L"off", L"write:ab", L"write:", L"write:plain", L"write:C:\\a b.avi"}));
    // Empty arguments say nothing; "quit" closes, alone or after the other commands.
    sw->ParseArgument(L"");
    sw->ParseArgument(L"\"\"");
    EXPECT_EQ(sw->Commands().Count(), 0);
    sw->SetDefaultAction(nullptr);
    sw->SetCommandLine(L"prog.exe +quit");
    sw->RunCommandLine();
    EXPECT_EQ(none, 1) << "a command line that asks to quit is not an empty one";
    EXPECT_EQ(closes, 1);
    sw->SetCommandLine(L"prog.exe -quit /vf");
    sw->RunCommandLine();
    EXPECT_EQ(closes, 2);
    EXPECT_EQ(log.back(), L"flip on") << "the commands run before the close";
}

TEST_F(ScriptTest, TheCommandLineRunsOnceAtTheFirstActivation) {
    auto* sw = new widgets::custom::TSwitch(form);
    sw->SetActionList(list);
    int activations = 0;
    sw->OnActivate = [&](classlib::TObject*) { ++activations; };
    sw->SetCommandLine(L"prog.exe -write=once");
    HWND app = classlib::Application()->Handle();
    SendMessageA(app, WM_ACTIVATEAPP, TRUE, 0);
    SendMessageA(app, WM_ACTIVATEAPP, FALSE, 0);
    SendMessageA(app, WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(log, (Log{L"write:once"}));
    EXPECT_EQ(activations, 2);
}

// ---- Super actions -----------------------------------------------------------------------------

TEST_F(ScriptTest, ToggleSwapsCaptionHintImageAndHandlerWithItsState) {
    mute->SetFalseCaption(L"Mute");
    mute->SetTrueCaption(L"Unmute \x266A");
    mute->SetFalseHint(L"Switch the sound off");
    mute->SetTrueHint(L"Switch the sound on");
    mute->SetFalseImageIndex(3);
    mute->SetTrueImageIndex(4);
    auto* pictures = new classlib::TImageList(form);
    list->SetImages(pictures);
    std::vector<int> images;
    std::vector<classlib::TCustomImageList*> lists;
    mute->OnImageChanged = [&](classlib::TCustomImageList* imglist, int index) {
        lists.push_back(imglist);
        images.push_back(index);
    };
    EXPECT_EQ(mute->Caption(), L"Mute");
    EXPECT_TRUE(mute->Execute());
    EXPECT_EQ(log, (Log{L"on"}));
    EXPECT_TRUE(mute->Checked());
    EXPECT_EQ(mute->Caption(), L"Unmute \x266A");
    EXPECT_EQ(mute->Hint(), L"Switch the sound on");
    EXPECT_EQ(mute->ImageIndex(), 4);
    mute->Execute();
    EXPECT_EQ(log, (Log{L"on", L"off"}));
    EXPECT_EQ(mute->Caption(), L"Mute");
    EXPECT_EQ(images, (std::vector<int>{4, 3}));
    EXPECT_EQ(lists, (std::vector<classlib::TCustomImageList*>{pictures, pictures})) << "the images of its list";
    mute->SetImageIndex(3);
    EXPECT_EQ(images.size(), 2u);
}

TEST_F(ScriptTest, PrepareFillsTheArgumentOrCancels) {
    write->Onprepare = [](classlib::TObject*) { widgets::custom::ActionArguments().Add(L"from the window"); };
    write->Execute();
    write->Onprepare = [](classlib::TObject*) { widgets::custom::ActionProceed = false; };
    EXPECT_TRUE(write->Execute());
    write->SetEnabled(false);
    EXPECT_FALSE(write->Execute());
    EXPECT_EQ(log, (Log{L"write:from the window"}));
}

// AutoCheck from every entry: a plain action flips before its handler ("+" then means on, as for
// a toggle), a toggle after its handler (the handler of the state the user saw runs).
TEST_F(ScriptTest, AutoCheckOrderIsTheSameForUsersAndScripts) {
    flip->Execute();
    EXPECT_EQ(log, (Log{L"flip on"}));
    script->RunFile(Script("+vf\n-vf\n/vf\nvf\n"));
    EXPECT_EQ(log, (Log{L"flip on", L"flip on", L"flip off", L"flip on", L"flip off"}));

    auto* freeze = new widgets::custom::TtoggleAction(form);
    freeze->SetActionList(list);
    freeze->SetToken(L"freeze_capture");
    freeze->SetAutoCheck(true);
    freeze->OnfalseExecute = [&](classlib::TObject*) { log.push_back(L"freeze"); };
    freeze->OnTrueExecute = [&](classlib::TObject*) { log.push_back(L"thaw"); };
    log.clear();
    freeze->Execute();
    EXPECT_TRUE(freeze->Checked());
    freeze->Execute();
    EXPECT_FALSE(freeze->Checked());
    script->RunFile(Script("+freeze_capture\nfreeze_capture\n-freeze_capture\n"));
    EXPECT_EQ(log, (Log{L"freeze", L"thaw", L"freeze", L"thaw", L"thaw"}));
    EXPECT_FALSE(freeze->Checked());
}

TEST_F(ScriptTest, FirstActionOfTheListWinsAndNamesIgnoreCase) {
    auto* twin = new widgets::custom::TSuperAction(form);
    twin->SetActionList(list);
    twin->SetSwitch(L"write");
    EXPECT_EQ(script->FindAction(L"WRITE"), write);
    EXPECT_EQ(script->FindAction(L"W"), write);
    EXPECT_EQ(script->FindAction(L"quit"), nullptr);
    EXPECT_TRUE(script->QuitRequested());
    script->SetActionList(nullptr);
    EXPECT_EQ(script->FindAction(L"write"), nullptr);
}

// Two actions with one switch, as freezing the capture and choosing the capture format share
// "fc": alone (or with a state word in a script) the switch reaches the first, the two-state one;
// with a value it reaches the one that takes a value.
TEST_F(ScriptTest, ASwitchGivenAValueGoesToTheActionThatTakesOne) {
    auto* freezer = new widgets::custom::TtoggleAction(form);
    freezer->SetActionList(list);
    freezer->SetSwitch(L"fc");
    freezer->OnfalseExecute = [&](classlib::TObject*) {
        log.push_back(L"freeze");
        freezer->SetChecked(true);
    };
    freezer->OnTrueExecute = [&](classlib::TObject*) {
        log.push_back(L"unfreeze");
        freezer->SetChecked(false);
    };
    auto* format = new widgets::custom::TSuperAction(form);
    format->SetActionList(list);
    format->SetSwitch(L"fc");
    format->SetToken(L"format_capture");
    format->OnExecute = [this](classlib::TObject*) { log.push_back(L"format:" + ActionArgument()); };
    EXPECT_EQ(script->FindAction(L"fc"), freezer);
    EXPECT_EQ(script->FindAction(L"FC", true), format);

    auto* sw = new widgets::custom::TSwitch(form);
    sw->SetActionList(list);
    sw->SetCommandLine(L"prog.exe +fc=Wav +fc \"+fc=DivX\" -fc");
    sw->RunCommandLine();
    EXPECT_EQ(log, (Log{L"format:Wav", L"freeze", L"format:DivX", L"unfreeze"}));
    EXPECT_FALSE(freezer->Checked());

    log.clear();
    script->RunFile(Script("fc=Wav\nfc=true\n+fc\nfc=\"toggle\"\n/fc=mp3\n"));
    EXPECT_EQ(log, (Log{L"format:Wav", L"freeze", L"freeze", L"unfreeze", L"format:mp3"}));
}

}  // namespace
