// The recording tests' shared fixture.
#include "recording_b_support.h"

#include <set>

namespace recording_b {

void RecordingTest::SetUp() {
    EngineTest::SetUp();
    folder = std::filesystem::temp_directory_path() /
             (L"quill_recording_b_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(GetTickCount64()));
    std::filesystem::create_directories(folder);
}

void RecordingTest::TearDown() {
    EngineTest::TearDown();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

bool RecordingTest::Record(const std::function<bool()>& Done) {
    if (!module->RunGraph()) return false;
    const bool done = engine_test::PumpUntil(Done, 30000);
    module->fg->Stop();
    const bool stopped = module->StopCaptureGraph();
    return done && stopped;
}

std::wstring RecordingTest::FileName(const wchar_t* Extension) {
    static int counter = 0;
    return (folder / (L"clip" + std::to_wstring(++counter) + Extension)).wstring();
}

std::multiset<std::wstring> RecordingTest::Names() {
    const auto names = FilterNames();
    return {names.begin(), names.end()};
}

std::string RecordingTest::Links() {
    std::string out;
    ComPtr<IEnumFilters> filters;
    if (FAILED(module->Graph()->EnumFilters(filters.GetAddressOf()))) return out;
    auto narrow = [](const wchar_t* text) {
        std::string s;
        for (; *text != 0; ++text) s += static_cast<char>(*text);
        return s;
    };
    auto nameOf = [&](IPin* pin) {
        PIN_INFO info{};
        pin->QueryPinInfo(&info);
        FILTER_INFO filter{};
        if (info.pFilter != nullptr) {
            info.pFilter->QueryFilterInfo(&filter);
            if (filter.pGraph != nullptr) filter.pGraph->Release();
            info.pFilter->Release();
        }
        return narrow(filter.achName) + ":" + narrow(info.achName);
    };
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IEnumPins> pins;
        if (FAILED(filter->EnumPins(pins.GetAddressOf()))) continue;
        ComPtr<IPin> pin;
        while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            PIN_DIRECTION direction;
            pin->QueryDirection(&direction);
            ComPtr<IPin> peer = engine::ConnectedTo(pin.Get());
            if (direction != PINDIR_OUTPUT) continue;
            engine::TConnectionType type;
            type.Read(pin.Get());
            char sub[16];
            std::snprintf(sub, sizeof(sub), "%08lx", type.Valid() ? type->subtype.Data1 : 0ul);
            out += nameOf(pin.Get()) + " -> " + (peer ? nameOf(peer.Get()) : std::string("(none)")) + " " + sub + "\n";
        }
    }
    return out;
}

}  // namespace recording_b
