// The portable settings file at its sizes: eighty settings and one list of N lines, beside a
// foreign section of N lines, loaded, saved and loaded again, for N of a hundred, 25,000 and
// 250,000. The time per line shows whether the store stays linear in the file's size (each key's
// search used to go over the whole file). Every load is checked against what was saved.
//   bench_settings_store.exe [rounds, default 3]
// Prints "figure settings_<load|save>_<N> <ms>" lines; exits 1 when a value or a line is lost.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "settings/parameters.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"

namespace {

using namespace settings;

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

class TBenchHost : public ISettingsHost {
public:
    std::wstring exe;
    std::wstring ExeName() const override { return exe; }
    int MainFormWidth() const override { return 700; }
    int MainFormHeight() const override { return 459; }
};

bool WriteFileText(const std::wstring& Name, const std::wstring& Text) {
    HANDLE h = CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(Text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(h, Text.data(), size, &written, nullptr) && written == size;
    CloseHandle(h);
    return ok;
}

std::wstring ReadFileText(const std::wstring& Name) {
    HANDLE h = CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::wstring();
    std::wstring text(GetFileSize(h, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    ReadFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(h);
    text.resize(read / sizeof(wchar_t));
    return text;
}

// Eighty settings of a list of their own, and the excluded-sources text.
struct TStore {
    TparameterList list{L"bench"};
    std::vector<std::unique_ptr<TParameter>> owned;
    std::vector<TIntegerParameter*> numbers;
    TWideStringParameter* excluded = nullptr;
    TStore() {
        list.SetKeyPath(kProgramKeyPath);
        for (int i = 0; i < 80; ++i) {
            owned.push_back(std::make_unique<TIntegerParameter>(L"Setting " + std::to_wstring(i), -1, &list));
            numbers.push_back(static_cast<TIntegerParameter*>(owned.back().get()));
        }
        owned.push_back(std::make_unique<TWideStringParameter>(L"Sources Exclues", L"", &list));
        excluded = static_cast<TWideStringParameter*>(owned.back().get());
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    const std::wstring folder = std::wstring(base) + L"quill-settings-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    TBenchHost host;
    host.exe = folder + L"Quillotrane.exe";
    SetSettingsHost(&host);
    SetStorageMode(smPortable);
    const std::wstring ini = IniFileName();
    bool right = true;

    for (const int lines : {100, 25000, 250000}) {
        std::wstring list;
        std::wstring foreign = L"[Foreign]\r\n";
        for (int i = 0; i < lines; ++i) {
            list += L"Source " + std::to_wstring((i * 7919) % lines) + L"\r\n";
            foreign += L"entry" + std::to_wstring(i) + L"=x\r\n";
        }
        std::vector<double> loads, saves;
        for (int round = 0; round < rounds; ++round) {
            if (!WriteFileText(ini, L"\xFEFF[\\Software\\Marbrecq\\Quillotrane]\r\nSetting 7=7\r\n" + foreign)) {
                std::printf("cannot write %ls\n", ini.c_str());
                return 1;
            }
            TStore first;
            double t = Now();
            first.list.Load();
            loads.push_back(Now() - t);
            right = right && first.numbers[7]->Value() == 7 && first.numbers[8]->Value() == -1;
            for (int i = 0; i < 80; ++i) first.numbers[static_cast<size_t>(i)]->SetValue(i * 3);
            first.excluded->SetValue(list);
            t = Now();
            right = first.list.Save() && right;
            saves.push_back(Now() - t);

            TStore second;
            second.list.Load();
            for (int i = 0; i < 80; ++i) right = right && second.numbers[static_cast<size_t>(i)]->Value() == i * 3;
            right = right && second.excluded->Value() == list;
            const std::wstring text = ReadFileText(ini);
            right = right && text.size() > foreign.size() && text.compare(text.size() - foreign.size(), foreign.size(), foreign) == 0;
        }
        std::sort(loads.begin(), loads.end());
        std::sort(saves.begin(), saves.end());
        const double load = loads[loads.size() / 2], save = saves[saves.size() / 2];
        std::printf("figure settings_load_%d %.3f\nfigure settings_save_%d %.3f\n", lines, load, lines, save);
        std::printf("%d lines: load %.1f ms, save %.1f ms, %.2f us per line and pass\n", lines, load, save,
                    (load + save) * 1000.0 / (2.0 * lines));
    }
    DeleteFileW(ini.c_str());
    RemoveDirectoryW(folder.c_str());
    SetSettingsHost(nullptr);
    if (!right) std::printf("a setting or a foreign line was lost\n");
    return right ? 0 : 1;
}
