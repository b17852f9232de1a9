// Prints the wide command-line arguments of its own process, as the wide platform layer parses
// them, for the process-level tests: one line per argument (index 0 first) of 4-digit hex code
// units, "end" after the last one.
#include <windows.h>

#include <string>

#include "unicode/wide_platform.h"

namespace {

void Write(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Hex(const std::wstring& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (wchar_t c : text) {
        unsigned v = static_cast<unsigned>(c) & 0xFFFF;
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(digits[(v >> shift) & 15]);
    }
    return out;
}

}  // namespace

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    Write("arg:" + Hex(unicode::WideParamStr(0)) + "\n");
    for (int i = 1; i < 64; ++i) {
        std::wstring arg = unicode::WideParamStr(i);
        if (arg.empty()) break;
        Write("arg:" + Hex(arg) + "\n");
    }
    Write("end\n");
    return 0;
}
