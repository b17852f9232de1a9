// The live preview's speed under Wine with the stand-in camera: the time from building the video
// branch (and from running the graph) to the first frame at the renderer end, and the processor time per 720x576 frame of the
// whole preview chain (converter, overlay with two lines, tees, stampers, converter) against the
// camera straight into the same renderer end, both in one run; then the camera followed by one stage of
// the chain more each time, so that each stage's share of the overhead shows.
//   bench_engine_preview.exe [seconds]    seconds of running per cost case (default 8)
// Prints "figure <case> <ms>" lines; exits 1 when the preview does not build, no frame arrives or
// the chain does not run at 720x576.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "dshow/ds_helpers.h"
#include "bench/bench_support.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters/base_io_pins.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"

using Microsoft::WRL::ComPtr;

namespace {

using bench::CountingSink;
using bench::CpuMs;
using bench::Now;
using bench::Pump;

// The camera's 720x576 RGB24 format on its capture pin.
bool SetLargeFormat(IAMStreamConfig* config) {
    int count = 0, size = 0;
    if (config == nullptr || FAILED(config->GetNumberOfCapabilities(&count, &size))) return false;
    std::vector<BYTE> caps(static_cast<size_t>(size));
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* mt = nullptr;
        if (FAILED(config->GetStreamCaps(i, &mt, caps.data()))) continue;
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
        const bool wanted = mt->subtype == MEDIASUBTYPE_RGB24 && info->bmiHeader.biWidth == 720;
        const bool set = wanted && SUCCEEDED(config->SetFormat(mt));
        dshow::DeleteMediaType(mt);
        if (set) return true;
    }
    return false;
}

// Processor milliseconds per frame over Seconds of running, frames counted by Sink.
double CostPerFrame(IMediaControl* control, CountingSink* sink, double seconds, int& frames) {
    control->Run();
    Pump(1000);  // started and settled
    const int f0 = sink->Frames.load();
    const double c0 = CpuMs();
    Pump(seconds * 1000.0);
    const double c1 = CpuMs();
    frames = sink->Frames.load() - f0;
    control->Stop();
    return frames > 0 ? (c1 - c0) / frames : -1.0;
}

// The filters of the preview chain after the camera, in graph order, built one stage further each
// time: the overlay with the chain's two lines; both tees; the preview time stamper; the converter.
constexpr int kStages = 4;
const char* const kStageNames[kStages] = {"overlay", "tees", "stamper", "converter"};

ComPtr<IBaseFilter> Stock(const CLSID& clsid) {
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    return filter;
}

// Processor milliseconds per frame of the camera followed by the first Stages stages of the chain,
// each linked on its first input and first output; -1 when a link fails or nothing arrives.
double PartialChainCost(IMoniker* moniker, int stages, const settings::TincrustRec& rec, double seconds) {
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(graph.GetAddressOf()));
    ComPtr<IBaseFilter> cam;
    if (!graph || FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(cam.GetAddressOf()))))
        return -1.0;
    std::vector<ComPtr<IBaseFilter>> chain{cam};
    if (stages >= 1) {
        auto* overlay = new filters::Tqz_Superposer;
        overlay->SetIncrustRec(rec);
        overlay->SetOverlayEnabled(true);
        chain.emplace_back(overlay->BaseFilterInterface());
    }
    if (stages >= 2) {
        chain.push_back(Stock(CLSID_InfTee));
        chain.push_back(Stock(CLSID_InfTee));
    }
    if (stages >= 3) {
        auto* stamper = new filters::Tqz_TimeStamper;
        stamper->SetClearStamps();  // as the preview's own
        chain.emplace_back(stamper->BaseFilterInterface());
    }
    if (stages >= 4) chain.push_back(Stock(CLSID_Colour));
    auto* sink = new CountingSink;
    chain.emplace_back(sink->BaseFilterInterface());
    for (auto& filter : chain)
        if (!filter || FAILED(graph->AddFilter(filter.Get(), nullptr))) return -1.0;
    SetLargeFormat(engine::Query<IAMStreamConfig>(engine::PinAt(cam.Get(), 0).Get(), IID_IAMStreamConfig).Get());
    for (size_t i = 0; i + 1 < chain.size(); ++i) {
        auto out = engine::PinAt(chain[i].Get(), i == 0 ? 0 : 1);
        if (FAILED(graph->ConnectDirect(out.Get(), engine::PinAt(chain[i + 1].Get(), 0).Get(), nullptr))) return -1.0;
    }
    ComPtr<IMediaControl> control = engine::Query<IMediaControl>(graph.Get(), IID_IMediaControl);
    int frames = 0;
    const double cost = CostPerFrame(control.Get(), sink, seconds, frames);
    for (auto& filter : chain) graph->RemoveFilter(filter.Get());
    return cost;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 8.0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        engine::Tdm module(nullptr);
        auto* sink = new CountingSink;
        ComPtr<IBaseFilter> sinkFilter(sink->BaseFilterInterface());
        module.Graph()->AddFilter(sinkFilter.Get(), L"Video Renderer");
        module.AttachRenderers(sinkFilter.Get());
        engine::TCaptureDeviceList videoDevices, audioDevices;
        videoDevices.Refresh(CLSID_VideoInputDeviceCategory);
        engine::TvideoSourcesList video;
        engine::TAudioSourcesList audio;
        engine::FillSourceLists(videoDevices, audioDevices, video, audio);
        engine::TVideoSource* camera = video.Find(L"Quillotrane Test Camera");
        if (camera == nullptr) {
            std::printf("engine_preview: no test camera\n");
            return 1;
        }
        // Build to first frame, five times.
        std::vector<double> firsts, fromRun;
        for (int i = 0; i < 5; ++i) {
            const int before = sink->Frames.load();
            const double t0 = Now();
            if (!camera->BuildGraph()) {
                std::printf("engine_preview: the preview does not build\n");
                return 1;
            }
            const double t1 = Now();
            if (!module.RunGraph()) {
                std::printf("engine_preview: the preview does not run\n");
                return 1;
            }
            while (sink->Frames.load() == before && Now() - t0 < 10000) Pump(1);
            if (sink->Frames.load() == before) {
                std::printf("engine_preview: no frame reached the renderer end\n");
                return 1;
            }
            firsts.push_back(Now() - t0);
            fromRun.push_back(Now() - t1);
            camera->KillGraph(false);
        }
        std::sort(firsts.begin(), firsts.end());
        std::sort(fromRun.begin(), fromRun.end());
        std::printf("engine_preview: BuildGraph to first frame: median %.1f ms (min %.1f, max %.1f, 5 runs); "
                    "from the graph's run: median %.1f ms\n",
                    firsts[2], firsts[0], firsts[4], fromRun[2]);
        std::printf("figure engine_first_frame %.1f\n", firsts[2]);

        // The whole chain at 720x576 with two overlay lines.
        SetLargeFormat(module.VideoStreamConfig.Get());
        camera->BuildGraph();
        settings::TincrustRec rec;
        rec.Incrust1 = L"Quillotrane preview";
        rec.Incrust2 = L"Second line 12:34:56";
        rec.WhatIncrust = 2;
        rec.FontRec.Name = L"Arial";
        rec.FontRec.Size = 20;
        rec.FontRec.Color = 0xFFFFFF;
        rec.BorderSize = 1;
        module.Superposer->SetIncrustRec(rec);
        module.Superposer->SetOverlayEnabled(true);
        ComPtr<IMediaControl> control = module.fg->As<IMediaControl>(IID_IMediaControl);
        int chainFrames = 0;
        const double chain = CostPerFrame(control.Get(), sink, seconds, chainFrames);
        if (engine::Native.SourceWidth != 720 || engine::Native.SourceHeight != 576 || chainFrames <= 0) {
            std::printf("engine_preview: the chain did not run at 720x576 (%ldx%ld, %d frames)\n",
                        engine::Native.SourceWidth, engine::Native.SourceHeight, chainFrames);
            status = 1;
        }
        std::printf("engine_preview: chain at %ldx%ld: %.3f ms processor per frame (%d frames)\n",
                    engine::Native.SourceWidth, engine::Native.SourceHeight, chain, chainFrames);
        camera->KillGraph(true);

        // The camera straight into the renderer end.
        ComPtr<IGraphBuilder> graph;
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(graph.GetAddressOf()));
        ComPtr<IMoniker> moniker;
        for (auto& m : engine::CategoryMonikers(CLSID_VideoInputDeviceCategory))
            if (engine::MonikerFriendlyName(m.Get()) == L"Quillotrane Test Camera") moniker = m;
        ComPtr<IBaseFilter> cam;
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(cam.GetAddressOf()));
        auto* direct = new CountingSink;
        ComPtr<IBaseFilter> directFilter(direct->BaseFilterInterface());
        graph->AddFilter(cam.Get(), L"Camera");
        graph->AddFilter(directFilter.Get(), L"Sink");
        auto out = engine::PinAt(cam.Get(), 0);
        SetLargeFormat(engine::Query<IAMStreamConfig>(out.Get(), IID_IAMStreamConfig).Get());
        graph->ConnectDirect(out.Get(), engine::PinAt(directFilter.Get(), 0).Get(), nullptr);
        ComPtr<IMediaControl> directControl = engine::Query<IMediaControl>(graph.Get(), IID_IMediaControl);
        int directFrames = 0;
        const double plain = CostPerFrame(directControl.Get(), direct, seconds, directFrames);
        if (directFrames <= 0) {
            std::printf("engine_preview: the camera alone delivered nothing\n");
            status = 1;
        }
        std::printf("engine_preview: camera straight to the renderer end: %.3f ms processor per frame (%d frames)\n",
                    plain, directFrames);
        std::printf("engine_preview: chain overhead: %.3f ms per frame (target under 1 ms)\n", chain - plain);
        std::printf("figure engine_chain_per_frame %.3f\n", chain);
        std::printf("figure engine_camera_alone_per_frame %.3f\n", plain);
        std::printf("figure engine_chain_overhead_per_frame %.3f\n", chain - plain);
        graph->RemoveFilter(cam.Get());
        graph->RemoveFilter(directFilter.Get());

        // Where the overhead goes: each stage's share is its partial chain's cost less the one
        // before it (the camera alone first).
        double before = plain;
        for (int stages = 1; stages <= kStages; ++stages) {
            const double cost = PartialChainCost(moniker.Get(), stages, rec, seconds);
            if (cost < 0) {
                std::printf("engine_preview: the chain up to the %s did not run\n", kStageNames[stages - 1]);
                status = 1;
                break;
            }
            std::printf("engine_preview: camera up to the %s: %.3f ms processor per frame, %.3f ms more\n",
                        kStageNames[stages - 1], cost, cost - before);
            std::printf("figure engine_stage_%s %.3f\n", kStageNames[stages - 1], cost - before);
            before = cost;
        }
    }
    CoUninitialize();
    return status;
}
