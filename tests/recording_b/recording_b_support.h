// What the recording tests share: the engine fixture with a recording file of the test's own (a
// temporary name removed at the end), and a run of the graph until a condition holds.
#pragma once

#include "engine_test_support.h"

#include <filesystem>

#include "ffprobe_helpers.h"

namespace recording_b {

using Microsoft::WRL::ComPtr;

class RecordingTest : public engine_test::EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs the graph until Done (messages pumped), then stops it and takes the recording branch
    // out as the stop action does. False when the graph did not run or Done never came.
    bool Record(const std::function<bool()>& Done);
    // A new file name in the test's temporary folder, with that extension.
    std::wstring FileName(const wchar_t* Extension);
    std::multiset<std::wstring> Names();
    // The graph's connections, "filter:pin -> filter:pin" one a line with the subtype's first
    // field, for failure messages.
    std::string Links();

    std::filesystem::path folder;
};

}  // namespace recording_b
