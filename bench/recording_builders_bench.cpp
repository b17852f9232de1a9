// Processor time per second of recording under Wine with the stand-in DV camcorder (720x576, 25 fps,
// its 48 kHz sound): DV type 2 (format 2), DV re-encoded with the overlay (format 6) and Xvid at
// 720x576 with PCM sound (format 9), each against the same preview running alone, as a fraction of
// one core; and the program's share of that preview: the preview less the stand-in camcorder alone.
//   bench_recording_builders.exe [seconds]    seconds of running per case (default 8)
// Prints "figure <case> <fraction>" lines; exits 1 when a builder fails or a file stays empty.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/graph_pins.h"
#include "engine/recording_branch.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/base_io_pins.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "settings/settings_catalogue.h"

using Microsoft::WRL::ComPtr;

namespace {

using bench::CountingSink;
using bench::CpuMs;
using bench::Now;
using bench::Pump;

// Processor time over real time while the graph runs for Seconds (after a second to settle);
// Frames: the capture branch's frames in that time.
double BusyFraction(engine::Tdm& module, double seconds, unsigned& frames) {
    if (!module.RunGraph()) return -1;
    Pump(1000);
    const unsigned f0 = module.ControlCaptureVideo->SampleCounter();
    const double c0 = CpuMs(), t0 = Now();
    Pump(seconds * 1000.0);
    const double fraction = (CpuMs() - c0) / (Now() - t0);
    frames = module.ControlCaptureVideo->SampleCounter() - f0;
    module.fg->Stop();
    return fraction;
}

// The stand-in camcorder alone, its interleaved frames into a counting end in a graph of its own, as a
// fraction of one core: the device's share, which the program's share of the preview leaves out.
double DeviceAlone(double seconds, int& frames) {
    frames = 0;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMoniker> moniker;
    for (auto& m : engine::CategoryMonikers(CLSID_VideoInputDeviceCategory))
        if (engine::MonikerFriendlyName(m.Get()) == L"Quillotrane Test DV Camcorder") moniker = m;
    ComPtr<IBaseFilter> camcorder;
    if (!moniker || FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                            reinterpret_cast<void**>(graph.GetAddressOf()))) ||
        FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(camcorder.GetAddressOf()))))
        return -1;
    auto* sink = new CountingSink(MEDIATYPE_Interleaved);
    ComPtr<IBaseFilter> sinkFilter(sink->BaseFilterInterface());
    graph->AddFilter(camcorder.Get(), L"Camcorder");
    graph->AddFilter(sinkFilter.Get(), L"Sink");
    ComPtr<IMediaControl> control = engine::Query<IMediaControl>(graph.Get(), IID_IMediaControl);
    double fraction = -1;
    if (SUCCEEDED(graph->ConnectDirect(engine::PinAt(camcorder.Get(), 0).Get(), engine::PinAt(sinkFilter.Get(), 0).Get(), nullptr)) &&
        control && SUCCEEDED(control->Run())) {
        Pump(1000);
        const int f0 = sink->Frames.load();
        const double c0 = CpuMs(), t0 = Now();
        Pump(seconds * 1000.0);
        fraction = (CpuMs() - c0) / (Now() - t0);
        frames = sink->Frames.load() - f0;
        control->Stop();
    }
    graph->RemoveFilter(camcorder.Get());
    graph->RemoveFilter(sinkFilter.Get());
    return fraction;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 8.0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    // PAL size for DivX too: the camcorder is not halved, and the resizer keeps the size.
    settings::TBooleanParameter halfDV(L"DV demi si DivX", false, nullptr);
    settings::TAspectRatioParameter ratio(L"Ratio DivX", 4, nullptr);
    settings::ParamDVDemiSiDivX = &halfDV;
    settings::ParamRatioDivX = &ratio;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (L"quill_bench_recording_" + std::to_wstring(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    {
        engine::Tdm module(nullptr);
        auto* end = new CountingSink;
        ComPtr<IBaseFilter> endFilter(end->BaseFilterInterface());
        module.Graph()->AddFilter(endFilter.Get(), L"Video Renderer");
        module.AttachRenderers(endFilter.Get());
        engine::TCaptureDeviceList videoDevices, audioDevices;
        videoDevices.Refresh(CLSID_VideoInputDeviceCategory);
        audioDevices.Refresh(CLSID_AudioInputDeviceCategory);
        engine::TvideoSourcesList video;
        engine::TAudioSourcesList audio;
        engine::FillSourceLists(videoDevices, audioDevices, video, audio);
        engine::TVideoSource* dv = video.Find(L"DV Source - Video");
        engine::TAudioSource* sound = audio.Find(L"DV Source - Audio");
        ComPtr<IMoniker> xvid;
        for (auto& m : engine::CategoryMonikers(CLSID_VideoCompressorCategory))
            if (engine::MonikerFriendlyName(m.Get()) == L"Xvid MPEG-4 Codec") xvid = m;
        if (dv == nullptr || sound == nullptr || !xvid || !dv->BuildGraph() || !sound->BuildGraph()) {
            std::printf("recording_builders: no camcorder preview or no Xvid compressor\n");
            return 1;
        }
        module.divx->BaseFilter()->SetMoniker(xvid.Get());
        settings::TincrustRec rec;
        rec.Incrust1 = L"Quillotrane recording";
        rec.Incrust2 = L"Second line 12:34:56";
        rec.WhatIncrust = 2;
        rec.FontRec.Name = L"Arial";
        rec.FontRec.Size = 20;
        rec.FontRec.Color = 0xFFFFFF;
        rec.BorderSize = 1;
        module.Superposer->SetIncrustRec(rec);
        module.Superposer->SetOverlayEnabled(true);

        unsigned none = 0;
        const double preview = BusyFraction(module, seconds, none);
        std::printf("recording_builders: preview alone (decoded DV 720x576, overlay, sound): %.3f of a core\n", preview);
        std::printf("figure recording_preview_alone %.4f\n", preview);
        int deviceFrames = 0;
        const double device = DeviceAlone(seconds, deviceFrames);
        if (device < 0 || deviceFrames < 10) {
            std::printf("recording_builders: the stand-in camcorder alone delivered %d frames\n", deviceFrames);
            status = 1;
        } else {
            std::printf("recording_builders: the stand-in camcorder alone: %.3f of a core; the program's share of the "
                        "preview: %.3f of a core (target under 0.25)\n",
                        device, preview - device);
            std::printf("figure recording_standin_camcorder_alone %.4f\n", device);
            std::printf("figure recording_preview_program_share %.4f\n", preview - device);
        }
        struct Case {
            const char* name;
            bool (engine::Tdm::*build)(const std::wstring&);
            double target;
        };
        const Case cases[] = {{"format2_dv_native", &engine::Tdm::BuildDV2NativeGraph, 0.05},
                              {"format6_dv_recomp", &engine::Tdm::BuildDV2RecompGraph, 0.50},
                              {"format9_xvid_pcm", &engine::Tdm::BuildDivxGraph, 0.60}};
        for (const Case& c : cases) {
            const std::filesystem::path file = folder / (std::wstring(c.name, c.name + std::strlen(c.name)) + L".avi");
            if (!(module.*c.build)(file.wstring())) {
                const std::wstring& why = engine::LastRecordingBuildError();
                std::printf("recording_builders: %s does not build (%ls)\n", c.name, why.c_str());
                status = 1;
                continue;
            }
            unsigned frames = 0;
            const double total = BusyFraction(module, seconds, frames);
            module.StopCaptureGraph();
            std::error_code ec;
            const auto size = std::filesystem::file_size(file, ec);
            if (ec || size < 100000 || frames < 10) {
                std::printf("recording_builders: %s wrote %llu bytes from %u frames\n", c.name,
                            static_cast<unsigned long long>(size), frames);
                status = 1;
            }
            std::printf("recording_builders: %s: %.3f of a core while recording, %.3f above the preview (target %.2f), "
                        "%u frames, %.1f MB\n",
                        c.name, total, total - preview, c.target, frames, static_cast<double>(size) / 1e6);
            std::printf("figure recording_%s %.4f\n", c.name, total - preview);
            std::filesystem::remove(file, ec);
        }
    }
    settings::ParamDVDemiSiDivX = nullptr;
    settings::ParamRatioDivX = nullptr;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    CoUninitialize();
    return status;
}
