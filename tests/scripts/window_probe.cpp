// Tells the run command's test whether the program's main windows still answer: every top-level
// window with the given caption gets a message and has ten seconds to serve it.
//   window_probe.exe "<caption>"   prints "<windows> windows, <answering> answer"; exit code 0 when
//                                  there is at least one window and every one answers, else 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct TSearch {
    std::wstring Caption;
    std::vector<HWND> Found;
};

BOOL CALLBACK Collect(HWND Wnd, LPARAM Data) {
    auto* search = reinterpret_cast<TSearch*>(Data);
    wchar_t text[256] = {};
    GetWindowTextW(Wnd, text, 256);
    if (search->Caption == text) search->Found.push_back(Wnd);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: window_probe.exe <caption>\n", stderr);
        return 2;
    }
    TSearch search{argv[1], {}};
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
    int answering = 0;
    for (HWND wnd : search.Found) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result) != 0) ++answering;
    }
    std::printf("%d windows, %d answer\n", static_cast<int>(search.Found.size()), answering);
    return !search.Found.empty() && answering == static_cast<int>(search.Found.size()) ? 0 : 1;
}
