// A script file run from the command line drives a form's actions in order: the form program is
// started with "-run=<script>", runs it at its first activation, and the script's "quit" closes it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/conversions.h"
#include "custom_test_support.h"

using namespace customtest;

namespace {

std::wstring BesideThisProgram(const std::wstring& Name) {
    wchar_t buf[MAX_PATH];
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path = buf;
    return path.substr(0, path.find_last_of(L'\\') + 1) + Name;
}

std::string ReadLog(const std::wstring& Path) {
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<no log>";
    std::string text(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    if (!text.empty()) ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(h);
    return text;
}

// Runs the form program with the arguments; answers its exit code (or a failure after 60 s).
DWORD RunForm(const std::wstring& Arguments) {
    std::wstring line = L"\"" + BesideThisProgram(L"script_form.exe") + L"\" " + Arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 1000;
    DWORD code = 1001;
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 1002);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(CommandLine, AScriptFileDrivesTheFormsActionsInOrderAndQuits) {
    TempFolder folder;
    const std::wstring log = folder.Path() + L"log.txt";
    const std::wstring script = folder.Write(L"drive \x00E9.txt",
                                             "write=first\r\n"
                                             "+mute\r\n"
                                             "  write=\"second, quoted\"  \r\n"
                                             "/mute\r\n"
                                             "vf\r\n"
                                             "# write=commented out\r\n"
                                             "nonsense=1\r\n"
                                             "run=itself\r\n"
                                             "quit\r\n");
    EXPECT_EQ(RunForm(L"-log=\"" + log + L"\" unknown +zz -run=\"" + script + L"\""), 0u);
    EXPECT_EQ(ReadLog(log), "write:first\non\nwrite:second, quoted\noff\nflip on\n"
                             "error:Cannot run a script while a script is running: a script cannot start itself again.\n"
                             "closed\n");
}

}  // namespace
