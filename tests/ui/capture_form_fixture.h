// The main window of a program that lives in a test's temporary folder, and the fixture that makes
// it: HKCU\Software\Marbrecq is set aside before each test and put back.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/forms.h"
#include "dshow/ds_graph.h"
#include "engine/capture_data_module.h"
#include "engine/engine_host.h"
#include "filters/filters_host.h"
#include "tests/ui/store_helpers.h"
#include "ui/capture_form.h"
#include "ui/options_frame.h"

namespace quill_test {

inline std::wstring MakeTempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static int serial = 0;
    std::wstring dir = std::wstring(base) + L"quill-ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(++serial);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\";
}

inline void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(path + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// The main window of a program that lives in the test's temporary folder.
class TTestCaptureForm : public ui::TCaptureForm {
public:
    TTestCaptureForm(classlib::TComponent* AOwner, std::wstring exeName)
        : ui::TCaptureForm(AOwner), exeName_(std::move(exeName)) {}
    std::wstring ExeName() const override { return exeName_; }
    // The close question's answer: a storage mode, or nothing chosen (the dialog closed).
    int StorageAnswer = 2;
    int StorageQuestions = 0;
    bool AskStorageMode(std::uint8_t& Mode) override {
        ++StorageQuestions;
        if (StorageAnswer < 0) return false;
        Mode = static_cast<std::uint8_t>(StorageAnswer);
        return true;
    }

private:
    std::wstring exeName_;
};

class CaptureFormTest : public ::testing::Test {
protected:
    MarbrecqKeyGuard registry_{L"Software\\QuillotraneUiTestBackup"};
    void SetUp() override {
        folder_ = MakeTempFolder();
        exe_ = folder_ + L"Quillotrane.exe";
        ini_ = folder_ + L"Quillotrane.ini";
    }
    void TearDown() override {
        form_.reset();
        RemoveFolder(folder_);
    }

    TTestCaptureForm* Create() {
        form_.reset(classlib::NewForm<TTestCaptureForm>(nullptr, exe_));
        return form_.get();
    }
    TTestCaptureForm* CreateAndShow() {
        Create()->Show();
        return form_.get();
    }
    classlib::TRadioGroup* Prefs() { return form_->OptionsFrame->rgPrefs; }
    // The registry settings of the program under test.
    void OwnRegistrySettings() { SetSz(kProgramKey, L"Exename", exe_); }

    std::wstring folder_;
    std::wstring exe_;
    std::wstring ini_;
    std::unique_ptr<TTestCaptureForm> form_;
};

// Counts the graph's runs.
class RunCounter : public dshow::IGraphEventSink {
public:
    void GraphEvent(long, LONG_PTR, LONG_PTR) override {}
    void ControlEvent(dshow::TGraphControlEvent Event, int) override {
        if (Event == dshow::ceRun) ++runs;
    }
    int runs = 0;
};

// The main window with the capture data module, started from stored settings up to the end of its
// first idle; runs_ counts the graph's runs from there on.
class StartedFormTest : public CaptureFormTest {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CaptureFormTest::SetUp();
    }
    void TearDown() override {
        if (form_ != nullptr && module_ != nullptr) module_->fg->UnregisterEventSink(&runs_);
        // The data module goes first, as at the program's end: its sources' devices still exist.
        delete module_;
        module_ = nullptr;
        CaptureFormTest::TearDown();
        engine::SetEngineHost(nullptr);
        filters::SetFiltersHost(nullptr);
        CoUninitialize();
    }

    // The program's start with these stored settings (portable mode), up to the end of the first idle.
    TTestCaptureForm* Start(std::vector<std::wstring> Settings) {
        Settings.insert(Settings.begin(), kIniSection);
        WriteIniLines(ini_, Settings);
        Create();
        engine::SetEngineHost(form_.get());
        filters::SetFiltersHost(form_.get());
        module_ = new engine::Tdm(nullptr);
        form_->Show();
        bool done = false;
        form_->AppEvents1Idle(form_.get(), done);
        module_->fg->RegisterEventSink(&runs_);
        return form_.get();
    }

    engine::Tdm* module_ = nullptr;
    RunCounter runs_;
};

}  // namespace quill_test
