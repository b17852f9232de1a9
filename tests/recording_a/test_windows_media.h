// Test doubles for the Windows Media recording, which Wine cannot give: a profile manager (Wine's
// answers E_NOTIMPL to loading profiles) whose profiles are lists of numbered sound and video
// streams and which logs what it is asked for, and an ASF writer with a sound input (pin 0) and a
// video input (pin 1) that counts what reaches it and keeps the profile it is configured with.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wmsdkidl.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/wmv_divx_builders.h"
#include "filters/base_filter.h"
#include "filters/base_io_pins.h"
#include "tests/engine/engine_test_support.h"

namespace recording_a {

using Microsoft::WRL::ComPtr;

struct TestStream {
    GUID Type;
    WORD Number;
};

// Makes a profile of those streams (reference count 1 for the caller), named Name.
IWMProfile* MakeTestProfile(const std::vector<TestStream>& Streams, const std::wstring& Name = L"");
// The streams a test profile holds now.
std::vector<TestStream> TestProfileStreams(IWMProfile* Profile);

// One system profile of a test profile manager.
struct TestSystemProfile {
    std::wstring Name;
    std::vector<TestStream> Streams;
};

class TestProfileManager {
public:
    // The profiles it loads: Streams each time (ten system profiles).
    explicit TestProfileManager(std::vector<TestStream> Streams);
    // The system profiles are Profiles, in this order; the default profiles have the first one's streams.
    explicit TestProfileManager(std::vector<TestSystemProfile> Profiles);
    ~TestProfileManager();
    IWMProfileManager* Manager() const;

    std::vector<GUID> LoadedIds;
    std::vector<DWORD> SystemVersions;
    std::vector<DWORD> SystemProfiles;

private:
    class Impl;
    Impl* impl_;
};

class TestAsfWriter : public filters::TBCBaseFilter {
public:
    TestAsfWriter();
    ~TestAsfWriter() override;
    HRESULT NonDelegatingQueryInterface(REFIID Iid, void** Object) override;
    int GetPinCount() override { return 2; }
    filters::TBCBasePin* GetPin(int n) override;

    std::wstring FileName;
    ComPtr<IWMProfile> Profile;
    std::atomic<int> Samples[2] = {0, 0};

private:
    class Pin;
    struct Sink;
    struct Config;
    std::unique_ptr<Pin> pins_[2];
    std::unique_ptr<Sink> sink_;
    std::unique_ptr<Config> config_;
};

// TestAsfWriter objects under the ASF writer's class id in this process while it lives.
class AsfWriterRegistration {
public:
    AsfWriterRegistration();
    ~AsfWriterRegistration();
    // The last writer made.
    TestAsfWriter* Last = nullptr;

private:
    std::unique_ptr<engine_test::RegisteredDevice> registered_;
};

}  // namespace recording_a
