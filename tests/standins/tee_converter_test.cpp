// The Infinite Pin Tee and the Colour Space Converter stand-ins in Wine graphs: outputs that come
// and go with connections, every sample and stream message on every branch, the preview chain
// into the stock Sample Grabber and Null Renderer, pixel conversion between RGB24, RGB32 and YUY2
// (strides, orientation), and malformed types and short frames.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "first_standins_support.h"

using namespace first_standins;

namespace {

struct Rgb {
    int R, G, B;
};
struct Yuv {
    int Y, U, V;
};

// Reference colours and their BT.601 studio-range values.
const Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};
Yuv YuvOf(const Rgb& c) {
    if (c.R == 255 && c.G == 255) return {235, 128, 128};
    if (c.R == 255) return {81, 90, 240};
    return {41, 240, 110};
}

// The test picture, in picture coordinates (row 0 at the top): four white rows, then a left and a
// right part whose colours swap every frame (split at an even column: YUY2 pairs share colour).
Rgb ColourAt(int x, int y, int width, int frame) {
    if (y < 4) return kWhite;
    const bool left = x < (width / 4) * 2;
    return (left == (frame % 2 == 0)) ? kRed : kBlue;
}

struct Layout {
    int Width, Height, Stride, Bpp;
    bool Yuy2, BottomUp;
};
Layout LayoutOf(const AM_MEDIA_TYPE& mt) {
    const VIDEOINFOHEADER* vih = VideoInfoOf(mt);
    const BITMAPINFOHEADER& b = vih->bmiHeader;
    Layout l{};
    l.Width = b.biWidth;
    l.Height = std::abs(b.biHeight);
    l.Yuy2 = mt.subtype == MEDIASUBTYPE_YUY2;
    l.Bpp = b.biBitCount / 8;
    l.Stride = l.Yuy2 ? l.Width * 2 : ((l.Width * b.biBitCount + 31) / 32) * 4;
    l.BottomUp = !l.Yuy2 && b.biHeight > 0;
    return l;
}
std::uint8_t* RowAt(std::uint8_t* data, const Layout& l, int y) {
    return data + static_cast<size_t>(l.BottomUp ? l.Height - 1 - y : y) * static_cast<size_t>(l.Stride);
}

void FillPicture(std::uint8_t* data, const AM_MEDIA_TYPE& mt, int frame) {
    const Layout l = LayoutOf(mt);
    std::memset(data, 0x5A, static_cast<size_t>(l.Stride) * static_cast<size_t>(l.Height));  // padding too
    for (int y = 0; y < l.Height; ++y) {
        std::uint8_t* row = RowAt(data, l, y);
        for (int x = 0; x < l.Width; ++x) {
            const Rgb c = ColourAt(x, y, l.Width, frame);
            if (l.Yuy2) {
                const Yuv v = YuvOf(c);
                row[x * 2] = static_cast<std::uint8_t>(v.Y);
                row[(x & ~1) * 2 + 1] = static_cast<std::uint8_t>(v.U);
                row[(x & ~1) * 2 + 3] = static_cast<std::uint8_t>(v.V);
            } else {
                std::uint8_t* p = row + x * l.Bpp;
                p[0] = static_cast<std::uint8_t>(c.B);
                p[1] = static_cast<std::uint8_t>(c.G);
                p[2] = static_cast<std::uint8_t>(c.R);
                if (l.Bpp == 4) p[3] = 0;
            }
        }
    }
}

// Checks every pixel of a picture against the frame's colours; the first mismatch is reported.
void ExpectPicture(std::vector<std::uint8_t> data, const AM_MEDIA_TYPE& mt, int frame) {
    const Layout l = LayoutOf(mt);
    ASSERT_GE(data.size(), static_cast<size_t>(l.Stride) * static_cast<size_t>(l.Height));
    for (int y = 0; y < l.Height; ++y) {
        std::uint8_t* row = RowAt(data.data(), l, y);
        for (int x = 0; x < l.Width; ++x) {
            const Rgb want = ColourAt(x, y, l.Width, frame);
            if (l.Yuy2) {
                const Yuv v = YuvOf(want);
                const int gotY = row[x * 2], gotU = row[(x & ~1) * 2 + 1], gotV = row[(x & ~1) * 2 + 3];
                if (std::abs(gotY - v.Y) > 1 || std::abs(gotU - v.U) > 1 || std::abs(gotV - v.V) > 1) {
                    ADD_FAILURE() << "YUV at " << x << "," << y << ": " << gotY << " " << gotU << " " << gotV
                                  << " instead of " << v.Y << " " << v.U << " " << v.V;
                    return;
                }
            } else {
                const std::uint8_t* p = row + x * l.Bpp;
                if (std::abs(p[2] - want.R) > 2 || std::abs(p[1] - want.G) > 2 || std::abs(p[0] - want.B) > 2) {
                    ADD_FAILURE() << "RGB at " << x << "," << y << ": " << int(p[2]) << " " << int(p[1]) << " "
                                  << int(p[0]) << " instead of " << want.R << " " << want.G << " " << want.B;
                    return;
                }
            }
        }
    }
}

class FirstStandinsGraph : public testing::Test {
protected:
    void SetUp() override {
        graph_ = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        ASSERT_TRUE(graph_);
    }
    void TearDown() override {
        if (graph_) {
            ComPtr<IMediaControl> control;
            graph_.As(&control);
            if (control) control->Stop();
        }
    }
    // Adds a filter of ours; the graph and the returned pointer hold it.
    ComPtr<IBaseFilter> Add(IBaseFilter* Filter, const wchar_t* Name) {
        ComPtr<IBaseFilter> held(Filter);
        EXPECT_HRESULT_SUCCEEDED(graph_->AddFilter(Filter, Name));
        return held;
    }
    ComPtr<IBaseFilter> AddNew(REFCLSID Clsid, const wchar_t* Name) {
        ComPtr<IBaseFilter> f = Create<IBaseFilter>(Clsid, IID_IBaseFilter);
        EXPECT_TRUE(f);
        if (f) {
            EXPECT_HRESULT_SUCCEEDED(graph_->AddFilter(f.Get(), Name));
        }
        return f;
    }
    HRESULT Connect(IPin* Out, IPin* In, const AM_MEDIA_TYPE* Mt = nullptr) {
        return graph_->ConnectDirect(Out, In, Mt);
    }

    ComScope com_;
    ComPtr<IGraphBuilder> graph_;
};

// Tee.

using InfTee = FirstStandinsGraph;

TEST_F(InfTee, OutputsComeAndGoWithConnectionsKeepingOneFree) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    auto sourceF = Add(source->Filter(), L"Source");
    auto tee = AddNew(CLSID_InfTee, L"Tee");
    RecordingSink* sinks[3];
    ComPtr<IBaseFilter> sinkF[3];
    for (int i = 0; i < 3; ++i) {
        sinks[i] = new RecordingSink;
        sinkF[i] = Add(sinks[i]->Filter(), (L"Sink" + std::to_wstring(i)).c_str());
    }
    // No output before the input has a type.
    EXPECT_TRUE(FAILED(Connect(PinAt(tee.Get(), 1).Get(), PinAt(sinkF[0].Get(), 0).Get())));
    EXPECT_EQ(PinCount(tee.Get()), 2);

    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(tee.Get(), 0).Get()));
    ComPtr<IPin> out1 = PinAt(tee.Get(), 1);
    ASSERT_HRESULT_SUCCEEDED(Connect(out1.Get(), PinAt(sinkF[0].Get(), 0).Get()));
    ASSERT_EQ(PinCount(tee.Get()), 3);
    EXPECT_EQ(PinName(PinAt(tee.Get(), 2).Get()), L"Output2");
    EXPECT_FALSE(IsConnected(PinAt(tee.Get(), 2).Get()));
    // The branch gets the input's type.
    EXPECT_TRUE(filters::TypesEqual(sinks[0]->Connected(), source->Type));

    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 2).Get(), PinAt(sinkF[1].Get(), 0).Get()));
    ASSERT_EQ(PinCount(tee.Get()), 4);

    // The first branch leaves: its pin goes, the others keep their names and a free one stays.
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(out1.Get()));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(PinAt(sinkF[0].Get(), 0).Get()));
    ASSERT_EQ(PinCount(tee.Get()), 3);
    EXPECT_EQ(PinName(PinAt(tee.Get(), 1).Get()), L"Output2");
    EXPECT_EQ(PinName(PinAt(tee.Get(), 2).Get()), L"Output3");
    EXPECT_TRUE(IsConnected(PinAt(tee.Get(), 1).Get()));
    EXPECT_FALSE(IsConnected(PinAt(tee.Get(), 2).Get()));
    // FindPin follows the list; a pin that left is not found, yet still answers its holder.
    ComPtr<IPin> found;
    EXPECT_HRESULT_SUCCEEDED(tee->FindPin(L"Output3", &found));
    EXPECT_EQ(PinName(out1.Get()), L"Output1");

    // The free output connects and another free one appears.
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 2).Get(), PinAt(sinkF[2].Get(), 0).Get()));
    ASSERT_EQ(PinCount(tee.Get()), 4);
    EXPECT_FALSE(IsConnected(PinAt(tee.Get(), 3).Get()));
    // A type other than the input's is refused on an output.
    MediaType other;
    MakeVideoType(other, MEDIASUBTYPE_RGB24, 64, 48);
    EXPECT_NE(PinAt(tee.Get(), 3)->QueryAccept(&other), S_OK);
}

TEST_F(InfTee, EveryBranchGetsEverySampleAndTheEndOfStream) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    source->FrameLimit = 12;
    auto sourceF = Add(source->Filter(), L"Source");
    auto tee = AddNew(CLSID_InfTee, L"Tee");
    auto* shared = new RecordingSink;
    auto* copying = new RecordingSink;
    copying->RefuseSharedAllocator = true;  // the tee must copy into this branch's own buffers
    shared->CheckUniform = copying->CheckUniform = true;
    auto sharedF = Add(shared->Filter(), L"Shared");
    auto copyingF = Add(copying->Filter(), L"Copying");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(tee.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 1).Get(), PinAt(sharedF.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 2).Get(), PinAt(copyingF.Get(), 0).Get()));
    EXPECT_EQ(shared->ReadOnlyNotified.load(), 1);  // shared buffers are read-only
    EXPECT_EQ(copying->ReadOnlyNotified.load(), 0);

    for (int run = 0; run < 2; ++run) {
        shared->Frames = copying->Frames = 0;
        shared->Eos = copying->Eos = 0;
        {
            std::lock_guard<std::mutex> a(shared->Mutex), b(copying->Mutex);
            shared->FirstBytes.clear();
            copying->FirstBytes.clear();
        }
        ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return shared->Eos > 0 && copying->Eos > 0; })) << "run " << run;
        EXPECT_EQ(shared->Frames.load(), 12);
        EXPECT_EQ(copying->Frames.load(), 12);
        EXPECT_EQ(shared->Eos.load(), 1);
        EXPECT_EQ(copying->Eos.load(), 1);
        std::vector<int> inOrder;
        for (int i = 0; i < 12; ++i) inOrder.push_back(i);
        EXPECT_EQ(shared->FirstBytes, inOrder);
        EXPECT_EQ(copying->FirstBytes, inOrder);
        EXPECT_EQ(shared->BadFrames.load() + copying->BadFrames.load(), 0);
    }
}

TEST_F(InfTee, FlushesAndSegmentsReachEveryBranch) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    auto sourceF = Add(source->Filter(), L"Source");
    auto tee = AddNew(CLSID_InfTee, L"Tee");
    auto* a = new RecordingSink;
    auto* b = new RecordingSink;
    auto aF = Add(a->Filter(), L"A");
    auto bF = Add(b->Filter(), L"B");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(tee.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 1).Get(), PinAt(aF.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 2).Get(), PinAt(bF.Get(), 0).Get()));
    ComPtr<IPin> input = PinAt(tee.Get(), 0);
    EXPECT_HRESULT_SUCCEEDED(input->BeginFlush());
    EXPECT_EQ(a->BeginFlushes.load() + b->BeginFlushes.load(), 2);
    EXPECT_EQ(a->EndFlushes.load() + b->EndFlushes.load(), 0);
    EXPECT_HRESULT_SUCCEEDED(input->EndFlush());
    EXPECT_EQ(a->EndFlushes.load(), 1);
    EXPECT_EQ(b->EndFlushes.load(), 1);
    EXPECT_HRESULT_SUCCEEDED(input->NewSegment(0, 10000000, 1.0));
    EXPECT_EQ(a->Segments.load(), 1);
    EXPECT_EQ(b->Segments.load(), 1);
    // The free output has no peer: nothing is sent there, and nothing fails.
    EXPECT_FALSE(IsConnected(PinAt(tee.Get(), 3).Get()));
}

// Frames numbered 0 .. Count - 1, in order.
std::vector<int> InOrder(int Count) {
    std::vector<int> order;
    for (int i = 0; i < Count; ++i) order.push_back(i);
    return order;
}

// Whether every frame a sink took came on Thread (Equal) or none did (!Equal).
bool AllOnThread(RecordingSink* Sink, DWORD Thread, bool Equal) {
    std::lock_guard<std::mutex> lock(Sink->Mutex);
    return !Sink->Threads.empty() &&
           std::all_of(Sink->Threads.begin(), Sink->Threads.end(), [&](DWORD t) { return (t == Thread) == Equal; });
}

HRESULT TeeReceiveCanBlock(IBaseFilter* Tee) {
    ComPtr<IMemInputPin> input;
    PinAt(Tee, 0).As(&input);
    return input ? input->ReceiveCanBlock() : E_NOINTERFACE;
}

// The only branch has no other to hold back: it takes the stream on the caller's thread, every frame
// in order and the end of stream behind them, run after run; a tee before it then waits in Receive.
TEST_F(InfTee, TheOnlyBranchTakesTheStreamOnTheCallersThread) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    source->FrameLimit = 12;
    auto sourceF = Add(source->Filter(), L"Source");
    auto first = AddNew(CLSID_InfTee, L"First tee");
    auto second = AddNew(CLSID_InfTee, L"Second tee");
    auto* sink = new RecordingSink;
    auto sinkF = Add(sink->Filter(), L"Sink");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(first.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(first.Get(), 1).Get(), PinAt(second.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(second.Get(), 1).Get(), PinAt(sinkF.Get(), 0).Get()));
    EXPECT_EQ(TeeReceiveCanBlock(second.Get()), S_OK);  // its only branch goes on to a renderer that may wait
    EXPECT_EQ(TeeReceiveCanBlock(first.Get()), S_OK);
    for (int run = 0; run < 2; ++run) {
        sink->Frames = 0;
        sink->Eos = 0;
        {
            std::lock_guard<std::mutex> lock(sink->Mutex);
            sink->FirstBytes.clear();
            sink->Threads.clear();
        }
        ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return sink->Eos > 0; })) << "run " << run;
        EXPECT_EQ(sink->Frames.load(), 12);
        EXPECT_EQ(sink->FramesAtEos.load(), 12);
        EXPECT_EQ(sink->Eos.load(), 1);
        EXPECT_EQ(sink->FirstBytes, InOrder(12));
        EXPECT_TRUE(AllOnThread(sink, source->StreamThread.load(), true));
    }
}

// Beside other branches, a branch takes the stream on the caller's thread only where its peer never
// waits in Receive and takes the shared buffers; a branch that needs its own copy, or whose peer may
// wait, keeps its own thread. Each gets every frame in order, then the end of stream.
TEST_F(InfTee, BesideOthersOnlyABranchThatNeverWaitsSkipsItsQueue) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    source->FrameLimit = 12;
    auto sourceF = Add(source->Filter(), L"Source");
    auto tee = AddNew(CLSID_InfTee, L"Tee");
    auto* quick = new RecordingSink;
    auto* waiting = new RecordingSink;
    auto* copying = new RecordingSink;
    quick->NeverWaits = copying->NeverWaits = true;
    copying->RefuseSharedAllocator = true;
    RecordingSink* sinks[] = {quick, waiting, copying};
    ComPtr<IBaseFilter> sinkF[3];
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(tee.Get(), 0).Get()));
    for (int i = 0; i < 3; ++i) {
        sinkF[i] = Add(sinks[i]->Filter(), (L"Sink" + std::to_wstring(i)).c_str());
        ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), i + 1).Get(), PinAt(sinkF[i].Get(), 0).Get()));
    }
    EXPECT_EQ(TeeReceiveCanBlock(tee.Get()), S_FALSE);
    ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return quick->Eos > 0 && waiting->Eos > 0 && copying->Eos > 0; }));
    const DWORD streaming = source->StreamThread.load();
    EXPECT_TRUE(AllOnThread(quick, streaming, true));
    EXPECT_TRUE(AllOnThread(waiting, streaming, false));
    EXPECT_TRUE(AllOnThread(copying, streaming, false));
    for (RecordingSink* sink : sinks) {
        EXPECT_EQ(sink->Frames.load(), 12);
        EXPECT_EQ(sink->FramesAtEos.load(), 12);
        EXPECT_EQ(sink->FirstBytes, InOrder(12));
    }
}

// A branch taking the stream on the caller's thread that fails is sent nothing more, while the other
// branch goes on; when it is the only branch, its failure goes upstream and stops the source.
TEST_F(InfTee, AFailingBranchOnTheCallersThreadIsSentNothingMore) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    source->FrameLimit = 12;
    auto sourceF = Add(source->Filter(), L"Source");
    auto tee = AddNew(CLSID_InfTee, L"Tee");
    auto* failing = new RecordingSink;
    auto* other = new RecordingSink;
    failing->NeverWaits = true;
    failing->FailFrom = 3;
    auto failingF = Add(failing->Filter(), L"Failing");
    auto otherF = Add(other->Filter(), L"Other");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(tee.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 1).Get(), PinAt(failingF.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 2).Get(), PinAt(otherF.Get(), 0).Get()));
    ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return failing->Eos > 0 && other->Eos > 0; }));
    EXPECT_EQ(failing->Frames.load(), 3);
    EXPECT_EQ(failing->Calls.load(), 4);  // the failed frame, then nothing
    EXPECT_EQ(other->Frames.load(), 12);
    EXPECT_EQ(other->FirstBytes, InOrder(12));
    EXPECT_EQ(source->Delivered.load(), 12);
    EXPECT_EQ(source->LastResult.load(), S_OK);

    // Alone, the failure reaches the source, which stops delivering; the end of stream still arrives.
    ComPtr<IMediaControl> control;
    graph_.As(&control);
    control->Stop();
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(PinAt(otherF.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(graph_->Disconnect(PinAt(tee.Get(), 2).Get()));
    failing->Frames = 0;
    failing->Calls = 0;
    failing->Eos = 0;
    source->Delivered = 0;
    ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return failing->Eos > 0; }));
    EXPECT_EQ(failing->Frames.load(), 3);
    EXPECT_EQ(failing->Calls.load(), 4);
    EXPECT_EQ(source->Delivered.load(), 3);
    EXPECT_EQ(source->LastResult.load(), E_FAIL);
}

// The only branch waiting in Receive (a paused renderer) holds the caller's thread: a flush lets it
// go and the frames sent during the flush are refused; the stop lets it go again and ends the run.
TEST_F(InfTee, FlushAndStopLetGoOfTheOnlyBranchWaitingInReceive) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    source->FrameLimit = 1000000;
    auto sourceF = Add(source->Filter(), L"Source");
    auto tee = AddNew(CLSID_InfTee, L"Tee");
    auto* sink = new RecordingSink;
    sink->WaitInReceive = true;
    auto sinkF = Add(sink->Filter(), L"Sink");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(tee.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 1).Get(), PinAt(sinkF.Get(), 0).Get()));
    ComPtr<IMediaControl> control;
    graph_.As(&control);
    auto waitFor = [](const std::function<bool()>& Done) {
        for (int i = 0; i < 10000 && !Done(); ++i) Sleep(1);
        return Done();
    };
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    ASSERT_TRUE(waitFor([&] { return sink->Waiting.load() == 1; }));
    EXPECT_EQ(sink->Calls.load(), 1);

    ComPtr<IPin> input = PinAt(tee.Get(), 0);
    ASSERT_HRESULT_SUCCEEDED(input->BeginFlush());
    ASSERT_TRUE(waitFor([&] { return sink->Waiting.load() == 0; }));
    ASSERT_TRUE(waitFor([&] { return source->LastResult.load() == S_FALSE; }));
    EXPECT_EQ(sink->Calls.load(), 1);  // nothing reached the branch during the flush
    ASSERT_HRESULT_SUCCEEDED(input->EndFlush());
    ASSERT_TRUE(waitFor([&] { return sink->Waiting.load() == 1; }));
    EXPECT_EQ(sink->Calls.load(), 2);

    // The stop returns although the source's thread waited in the branch.
    EXPECT_HRESULT_SUCCEEDED(control->Stop());
    EXPECT_EQ(sink->Waiting.load(), 0);
}

// Every sample, pin and filter of the stand-in DLL is let go once the graph is: the DLL may unload.
TEST(InfTeeLifetime, NothingOfTheDllOutlivesItsGraph) {
    ComScope com;
    {
        ComPtr<IGraphBuilder> graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        ASSERT_TRUE(graph);
        auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
        source->FrameLimit = 20;
        ComPtr<IBaseFilter> sourceF(source->Filter());
        ComPtr<IBaseFilter> converter = Create<IBaseFilter>(CLSID_Colour, IID_IBaseFilter);
        ComPtr<IBaseFilter> tee = Create<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
        ASSERT_TRUE(converter && tee);
        graph->AddFilter(sourceF.Get(), L"Source");
        graph->AddFilter(converter.Get(), L"Converter");
        graph->AddFilter(tee.Get(), L"Tee");
        ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(PinAt(sourceF.Get(), 0).Get(), PinAt(converter.Get(), 0).Get(), nullptr));
        ASSERT_HRESULT_SUCCEEDED(graph->ConnectDirect(PinAt(converter.Get(), 1).Get(), PinAt(tee.Get(), 0).Get(), nullptr));
        for (int i = 0; i < 3; ++i) {
            ComPtr<IBaseFilter> renderer = Create<IBaseFilter>(kNullRenderer, IID_IBaseFilter);
            graph->AddFilter(renderer.Get(), (L"Null " + std::to_wstring(i)).c_str());
            ASSERT_HRESULT_SUCCEEDED(
                graph->ConnectDirect(PinAt(tee.Get(), 1 + i).Get(), PinAt(renderer.Get(), 0).Get(), nullptr));
        }
        for (int run = 0; run < 3; ++run) ASSERT_TRUE(RunToCompletion(graph.Get())) << run;
        // One branch leaves and the pins move: the enumerator held across it keeps what it handed out.
        ComPtr<IEnumPins> held;
        tee->EnumPins(&held);
        ASSERT_HRESULT_SUCCEEDED(dshow::DisconnectPin(PinAt(tee.Get(), 1).Get()));
    }
    HMODULE dll = GetModuleHandleW(L"quill_standins.dll");
    ASSERT_NE(dll, nullptr);
    auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
}

// Colour converter in the preview chain.

using ColourConverter = FirstStandinsGraph;

TEST_F(ColourConverter, PreviewChainIntoTeeFeedsGrabberAndNullRenderer) {
    constexpr int kFrames = 9;
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 64, 48);
    source->FrameLimit = kFrames;
    source->Fill = FillPicture;
    auto sourceF = Add(source->Filter(), L"Source");
    auto converter = AddNew(CLSID_Colour, L"Color Space Converter");
    auto tee = AddNew(CLSID_InfTee, L"Infinite Pin Tee Filter");
    auto grabberF = AddNew(kSampleGrabber, L"Grabber");
    auto renderer1 = AddNew(kNullRenderer, L"Null 1");
    auto grabber2F = AddNew(kSampleGrabber, L"Grabber 2");
    auto renderer2 = AddNew(kNullRenderer, L"Null 2");
    ASSERT_TRUE(converter && tee && grabberF && renderer1 && grabber2F && renderer2);

    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(converter.Get(), 0).Get()));
    MediaType yuy2;
    MakeVideoType(yuy2, MEDIASUBTYPE_YUY2, 64, 48);
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(converter.Get(), 1).Get(), PinAt(tee.Get(), 0).Get(), &yuy2));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 1).Get(), PinAt(grabberF.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(grabberF.Get(), 1).Get(), PinAt(renderer1.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(tee.Get(), 2).Get(), PinAt(grabber2F.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(grabber2F.Get(), 1).Get(), PinAt(renderer2.Get(), 0).Get()));

    ComPtr<GrabberCounter> counters[2];
    dshow::TakeOver(counters[0], new GrabberCounter);
    dshow::TakeOver(counters[1], new GrabberCounter);
    GrabberCounter& counter1 = *counters[0].Get();
    GrabberCounter& counter2 = *counters[1].Get();
    ComPtr<ISampleGrabber> grabber1, grabber2;
    ASSERT_HRESULT_SUCCEEDED(grabberF.As(&grabber1));
    ASSERT_HRESULT_SUCCEEDED(grabber2F.As(&grabber2));
    ASSERT_HRESULT_SUCCEEDED(grabber1->SetCallback(counters[0].Get(), 1));
    ASSERT_HRESULT_SUCCEEDED(grabber2->SetCallback(counters[1].Get(), 1));
    MediaType seen;
    ASSERT_HRESULT_SUCCEEDED(grabber1->GetConnectedMediaType(&seen));
    EXPECT_TRUE(seen.subtype == MEDIASUBTYPE_YUY2);

    ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return counter1.Buffers >= kFrames && counter2.Buffers >= kFrames; }));
    EXPECT_EQ(source->Delivered.load(), kFrames);
    EXPECT_EQ(counter1.Buffers.load(), kFrames);
    EXPECT_EQ(counter2.Buffers.load(), kFrames);
    ExpectPicture(counter1.Last, yuy2, kFrames - 1);
    ExpectPicture(counter2.Last, yuy2, kFrames - 1);
}

struct Conversion {
    GUID From;
    GUID To;
    int Width;
    bool TopDownOut;  // an RGB output picture whose rows run from the top
};

class ColourConversion : public FirstStandinsGraph, public testing::WithParamInterface<Conversion> {};

TEST_P(ColourConversion, EveryPixelArrivesConverted) {
    const Conversion& c = GetParam();
    constexpr int kHeight = 20;
    auto* source = new PictureSource(c.From, c.Width, kHeight);
    source->FrameLimit = 3;
    source->Fill = FillPicture;
    auto sourceF = Add(source->Filter(), L"Source");
    auto converter = AddNew(CLSID_Colour, L"Converter");
    auto* sink = new RecordingSink(c.To);
    sink->Exact = std::make_unique<MediaType>();
    MakeVideoType(*sink->Exact, c.To, c.Width, c.TopDownOut ? -kHeight : kHeight);
    auto sinkF = Add(sink->Filter(), L"Sink");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(converter.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(converter.Get(), 1).Get(), PinAt(sinkF.Get(), 0).Get()));
    ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return sink->Eos > 0; }));
    ASSERT_EQ(sink->Frames.load(), 3);
    std::lock_guard<std::mutex> lock(sink->Mutex);
    EXPECT_EQ(sink->Last.size(), static_cast<size_t>(sink->Exact->lSampleSize));
    ExpectPicture(sink->Last, *sink->Exact, 2);
}

INSTANTIATE_TEST_SUITE_P(
    FirstStandins, ColourConversion,
    testing::Values(Conversion{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, 30, false},  // 30 * 3 pads to 92 bytes
                    Conversion{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, 30, true},
                    Conversion{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_YUY2, 30, false},
                    Conversion{MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB24, 30, true},
                    Conversion{MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24, 30, false},
                    Conversion{MEDIASUBTYPE_RGB32, MEDIASUBTYPE_YUY2, 64, false},
                    Conversion{MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24, 30, false},
                    Conversion{MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB32, 64, true},
                    Conversion{MEDIASUBTYPE_YUY2, MEDIASUBTYPE_YUY2, 64, false}));

// The same picture on both sides: the converter sends the source's own samples on, unless they come
// shared read-only through a tee, when it copies them, so that no branch writes into another's.
TEST_F(ColourConverter, AnUnchangedPictureGoesOnInItsOwnBufferUnlessItIsShared) {
    for (bool throughTee : {false, true}) {
        SCOPED_TRACE(throughTee ? "through a tee" : "straight from the source");
        graph_ = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 30, 20);
        source->FrameLimit = 4;
        source->Fill = FillPicture;
        auto sourceF = Add(source->Filter(), L"Source");
        auto converter = AddNew(CLSID_Colour, L"Converter");
        auto* sink = new RecordingSink(MEDIASUBTYPE_RGB24);
        sink->Exact = std::make_unique<MediaType>();
        MakeVideoType(*sink->Exact, MEDIASUBTYPE_RGB24, 30, 20);
        auto sinkF = Add(sink->Filter(), L"Sink");
        ComPtr<IPin> into = PinAt(sourceF.Get(), 0);
        if (throughTee) {
            auto tee = AddNew(CLSID_InfTee, L"Tee");
            ASSERT_HRESULT_SUCCEEDED(Connect(into.Get(), PinAt(tee.Get(), 0).Get()));
            into = PinAt(tee.Get(), 1);
        }
        ASSERT_HRESULT_SUCCEEDED(Connect(into.Get(), PinAt(converter.Get(), 0).Get()));
        ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(converter.Get(), 1).Get(), PinAt(sinkF.Get(), 0).Get()));
        ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return sink->Eos > 0; }));
        ASSERT_EQ(sink->Frames.load(), 4);
        std::lock_guard<std::mutex> lock(sink->Mutex);
        ExpectPicture(sink->Last, *sink->Exact, 3);
        std::lock_guard<std::mutex> filled(source->BuffersLock);
        int own = 0;
        for (const BYTE* b : sink->Buffers) own += std::count(source->Buffers.begin(), source->Buffers.end(), b) > 0;
        EXPECT_EQ(throughTee ? 0 : 4, own) << "frames that arrived in the source's own buffers";
    }
}

TEST_F(ColourConverter, OffersItsOutputTypesForTheInputPicture) {
    for (int width : {30, 31}) {
        auto* source = new PictureSource(MEDIASUBTYPE_RGB24, width, 20);
        auto sourceF = Add(source->Filter(), L"Source");
        auto converter = AddNew(CLSID_Colour, L"Converter");
        ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(converter.Get(), 0).Get()));
        ComPtr<IEnumMediaTypes> types;
        ASSERT_HRESULT_SUCCEEDED(PinAt(converter.Get(), 1)->EnumMediaTypes(&types));
        std::vector<GUID> subtypes;
        AM_MEDIA_TYPE* mt = nullptr;
        while (types->Next(1, &mt, nullptr) == S_OK) {
            subtypes.push_back(mt->subtype);
            const VIDEOINFOHEADER* vih = VideoInfoOf(*mt);
            ASSERT_NE(vih, nullptr);
            EXPECT_EQ(vih->bmiHeader.biWidth, width);
            EXPECT_EQ(vih->bmiHeader.biHeight, 20);
            EXPECT_EQ(mt->lSampleSize, vih->bmiHeader.biSizeImage);
            dshow::DeleteMediaType(mt);
        }
        // YUY2 pairs pixels: an odd width goes without it.
        std::vector<GUID> expected{MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24};
        if (width % 2 == 0) expected.push_back(MEDIASUBTYPE_YUY2);
        EXPECT_EQ(subtypes.size(), expected.size());
        for (size_t i = 0; i < subtypes.size() && i < expected.size(); ++i)
            EXPECT_TRUE(subtypes[i] == expected[i]) << "type " << i << " for width " << width;
        graph_->RemoveFilter(sourceF.Get());
        graph_->RemoveFilter(converter.Get());
    }
}

TEST_F(ColourConverter, MalformedInputTypesAreRefused) {
    auto converter = AddNew(CLSID_Colour, L"Converter");
    ComPtr<IPin> input = PinAt(converter.Get(), 0);
    MediaType good;
    MakeVideoType(good, MEDIASUBTYPE_RGB24, 32, 24);
    EXPECT_EQ(input->QueryAccept(&good), S_OK);

    auto refused = [&](const char* what, const std::function<void(AM_MEDIA_TYPE&, BITMAPINFOHEADER&)>& spoil,
                       const GUID& subtype = MEDIASUBTYPE_RGB24, int width = 32) {
        MediaType mt;
        MakeVideoType(mt, subtype, width, 24);
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
        spoil(mt, vih->bmiHeader);
        EXPECT_NE(input->QueryAccept(&mt), S_OK) << what;
    };
    refused("audio", [](AM_MEDIA_TYPE& mt, BITMAPINFOHEADER&) { mt.majortype = MEDIATYPE_Audio; });
    refused("short format block", [](AM_MEDIA_TYPE& mt, BITMAPINFOHEADER&) { mt.cbFormat = 20; });
    refused("other format", [](AM_MEDIA_TYPE& mt, BITMAPINFOHEADER&) { mt.formattype = FORMAT_WaveFormatEx; });
    refused("bit count", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biBitCount = 16; });
    refused("compression", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biCompression = BI_RLE8; });
    refused("zero width", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biWidth = 0; });
    refused("negative width", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biWidth = -32; });
    refused("huge width", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biWidth = 0x40000000; });
    refused("zero height", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biHeight = 0; });
    refused("most negative height", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER& b) { b.biHeight = INT32_MIN; });
    refused("unsupported subtype", [](AM_MEDIA_TYPE& mt, BITMAPINFOHEADER&) { mt.subtype = MEDIASUBTYPE_RGB565; });
    refused("odd YUY2 width", [](AM_MEDIA_TYPE&, BITMAPINFOHEADER&) {}, MEDIASUBTYPE_YUY2, 31);
    refused("target wider than the bitmap", [](AM_MEDIA_TYPE& mt, BITMAPINFOHEADER&) {
        reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->rcTarget = RECT{0, 0, 40, 24};
    });
    MediaType noFormat;
    MakeVideoType(noFormat, MEDIASUBTYPE_RGB24, 32, 24);
    CoTaskMemFree(noFormat.pbFormat);
    noFormat.pbFormat = nullptr;
    EXPECT_NE(input->QueryAccept(&noFormat), S_OK);
}

TEST_F(ColourConverter, ShortFramesAreDroppedWithoutReadingPastThem) {
    auto* source = new PictureSource(MEDIASUBTYPE_RGB24, 32, 24);
    source->FrameLimit = 4;
    source->ShortBy = 96;  // a row and more missing from every frame
    auto sourceF = Add(source->Filter(), L"Source");
    auto converter = AddNew(CLSID_Colour, L"Converter");
    auto* sink = new RecordingSink(MEDIASUBTYPE_RGB32);
    auto sinkF = Add(sink->Filter(), L"Sink");
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(sourceF.Get(), 0).Get(), PinAt(converter.Get(), 0).Get()));
    ASSERT_HRESULT_SUCCEEDED(Connect(PinAt(converter.Get(), 1).Get(), PinAt(sinkF.Get(), 0).Get()));
    ASSERT_TRUE(RunToCompletion(graph_.Get(), [&] { return sink->Eos > 0; }));  // the end still gets through
    EXPECT_EQ(sink->Frames.load(), 0);
    EXPECT_EQ(sink->Eos.load(), 1);
}

}  // namespace
