// The engine's file writers when the recording never stops or the disk fills: the scene list keeps
// its scene count up to date for a killed recording and takes back a record the disk took only part
// of, and the frame-rate patch raises when its write falls short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/streams.h"
#include "engine/avi_frame_rate.h"
#include "engine/scene_list.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A memory stream on a disk with Room bytes: a write past it takes what fits and answers the bytes
// it took, as a full disk's WriteFile does. What it holds is copied to Kept when it goes.
class TFullDiskStream : public classlib::TMemoryStream {
public:
    explicit TFullDiskStream(std::vector<std::uint8_t>* Kept = nullptr) : kept_(Kept) {}
    ~TFullDiskStream() override
    {
        if (kept_ != nullptr) *kept_ = classlib::TMemoryStream::Bytes();
    }
    std::int32_t Write(const void* Buffer, std::int32_t Count) override
    {
        const std::int64_t fits = std::clamp<std::int64_t>(Room - Position(), 0, Count);
        return fits > 0 ? classlib::TMemoryStream::Write(Buffer, static_cast<std::int32_t>(fits)) : 0;
    }
    std::int64_t Room = std::numeric_limits<std::int64_t>::max();

private:
    std::vector<std::uint8_t>* kept_;
};

std::uint16_t Le16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t Le32(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

filters::TDVInfoRec Frame(std::uint32_t number)
{
    filters::TDVInfoRec r;
    r.FrameNumber = number;
    return r;
}

// Header sizes of a list named "clip.scn" (L = 8): the count at 33 + L, records from 65 + L.
constexpr std::size_t kNameBytes = 8;
constexpr std::size_t kCountAt = 33 + kNameBytes;
constexpr std::size_t kHeader = 65 + kNameBytes;
constexpr std::size_t kFirstRecord = 23 + kNameBytes;
constexpr std::size_t kLaterRecord = 35;

TEST(WritersSceneList, TheCountFollowsEveryRecordSoThatAKilledRecordingTellsItsScenes)
{
    auto stream = std::make_unique<TFullDiskStream>();
    TFullDiskStream* file = stream.get();
    ASSERT_TRUE(engine::OpenScnStream(L"clip.scn", std::move(stream)));
    ASSERT_EQ(kHeader, file->Bytes().size());
    EXPECT_EQ(0, Le16(file->Bytes(), kCountAt));
    engine::WriteScnScene(Frame(0), Frame(99));
    engine::WriteScnScene(Frame(100), Frame(249));
    engine::WriteScnScene(Frame(250), Frame(300));
    // Not closed: what a reader finds if the program ends here.
    const Bytes& bytes = file->Bytes();
    ASSERT_EQ(kHeader + kFirstRecord + 2 * kLaterRecord, bytes.size());
    EXPECT_EQ(3, Le16(bytes, kCountAt));
    EXPECT_EQ(100u, Le32(bytes, kHeader)) << "the first record's E";
    const std::size_t last = kHeader + kFirstRecord + kLaterRecord;
    EXPECT_EQ(251u, Le32(bytes, last + 9)) << "the last record's S";
    EXPECT_EQ(51u, Le32(bytes, last + 13)) << "the last record's D";
    engine::CloseScnFile();
}

TEST(WritersSceneListOnAFullDisk, ARecordTheDiskTookOnlyPartOfIsTakenBackAndNotCounted)
{
    Bytes kept;
    auto stream = std::make_unique<TFullDiskStream>(&kept);
    TFullDiskStream* disk = stream.get();
    disk->Room = kHeader + kFirstRecord + 20;
    ASSERT_TRUE(engine::OpenScnStream(L"clip.scn", std::move(stream)));
    engine::WriteScnScene(Frame(0), Frame(9));
    engine::WriteScnScene(Frame(10), Frame(19));  // 35 bytes where 20 fit
    EXPECT_EQ(1, engine::ScnCount());
    EXPECT_EQ(static_cast<std::int64_t>(kHeader + kFirstRecord), disk->Size()) << "the cut record is gone";
    engine::WriteScnScene(Frame(20), Frame(29));
    EXPECT_EQ(1, engine::ScnCount());
    // Space comes back: the next record follows the last whole one.
    disk->Room = std::numeric_limits<std::int64_t>::max();
    engine::WriteScnScene(Frame(30), Frame(39));
    EXPECT_EQ(2, engine::ScnCount());
    engine::CloseScnFile();

    ASSERT_EQ(kHeader + kFirstRecord + kLaterRecord, kept.size());
    EXPECT_EQ(2, Le16(kept, kCountAt)) << "the count says how many whole records the list holds";
    const std::size_t second = kHeader + kFirstRecord;
    EXPECT_EQ(0x03, kept[second]);
    EXPECT_EQ(31u, Le32(kept, second + 9)) << "S of the scene written once space came back";
    EXPECT_EQ(10u, Le32(kept, second + 13)) << "its D";
}

// A chunk: its code, its size, its payload (a list's type first).
Bytes Chunk(const char* code, const Bytes& payload)
{
    Bytes b(code, code + 4);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(payload.size() >> (8 * i)));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}
Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// RIFF "AVI " with a header list holding one video stream header, then an empty "movi" list.
Bytes SmallAvi()
{
    Bytes strh = {'v', 'i', 'd', 's'};
    strh.resize(56, 0);
    const Bytes strl = Chunk("LIST", Bytes{'s', 't', 'r', 'l'} + Chunk("strh", strh));
    const Bytes hdrl = Chunk("LIST", Bytes{'h', 'd', 'r', 'l'} + strl);
    return Chunk("RIFF", Bytes{'A', 'V', 'I', ' '} + hdrl + Chunk("LIST", {'m', 'o', 'v', 'i'}));
}

TEST(WritersFrameRate, APatchTheDiskTakesOnlyPartOfRaisesTheWriteError)
{
    const Bytes avi = SmallAvi();
    TFullDiskStream stream;
    stream.WriteBuffer(avi.data(), static_cast<std::int32_t>(avi.size()));
    const engine::TAviScanResult found = engine::ScanAviStream(stream);
    ASSERT_TRUE(found.Found);
    engine::SetAviStreamFrameRate(stream, 25.0);
    EXPECT_EQ(40000u, Le32(stream.Bytes(), static_cast<std::size_t>(found.ScaleOffset)));
    EXPECT_EQ(1000000u, Le32(stream.Bytes(), static_cast<std::size_t>(found.RateOffset)));
    // dwRate no longer fits: the patch fails and says so.
    stream.Room = found.ScaleOffset + 4;
    EXPECT_THROW(engine::SetAviStreamFrameRate(stream, 18.0), classlib::EWriteError);
}

}  // namespace
