// DV frame parsing on frames built byte by byte from the DIF layout: timecode, recording date and
// time, system, audio format, the 16:9 flag; and on short, garbage and wrong-system frames, placed
// against an inaccessible page so that any read past the buffer ends the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "filters/dv_codes.h"

using namespace filters;

namespace {

constexpr std::size_t kSeq = 12000;

// A blank DV frame of the given system: every sequence carries the DSF byte in its header block.
std::vector<std::uint8_t> BlankFrame(bool pal)
{
    std::vector<std::uint8_t> f(pal ? 144000 : 120000, 0);
    for (std::size_t s = 0; s < f.size() / kSeq; ++s) f[s * kSeq + 3] = pal ? 0xBF : 0x3F;
    return f;
}

void PutTimecode(std::vector<std::uint8_t>& f, int seq, std::uint8_t h, std::uint8_t m, std::uint8_t s,
                 std::uint8_t fr)
{
    std::uint8_t* p = f.data() + seq * kSeq;
    p[110] = 0x13;
    p[111] = fr;
    p[112] = s;
    p[113] = m;
    p[114] = h;
    p[190] = 0x13;
}

void PutDate(std::vector<std::uint8_t>& f, int seq, std::uint8_t day, std::uint8_t month, std::uint8_t year,
             std::uint8_t hour, std::uint8_t minute, std::uint8_t second)
{
    std::uint8_t* p = f.data() + seq * kSeq;
    p[458] = 0x62;
    p[460] = day;
    p[461] = month;
    p[462] = year;
    p[463] = 0x63;
    p[465] = second;
    p[466] = minute;
    p[467] = hour;
}

void PutSourceControl(std::vector<std::uint8_t>& f, int seq, std::uint8_t disp, std::uint8_t ap3)
{
    std::uint8_t* p = f.data() + seq * kSeq;
    p[453] = 0x61;
    p[455] = static_cast<std::uint8_t>((p[455] & 0xF8) | disp);
    p[7] = static_cast<std::uint8_t>((p[7] & 0xF8) | ap3);
}

void PutAudio(std::vector<std::uint8_t>& f, int seq, std::uint8_t freqCode, std::uint8_t quantCode)
{
    std::uint8_t* p = f.data() + seq * kSeq;
    p[4323] = 0x50;
    p[4327] = static_cast<std::uint8_t>(0xC0 | (freqCode << 3) | quantCode);  // bits 6-7 are flags
}

// A complete camcorder frame: timecode, date, 4:3 source control and 48 kHz 16-bit audio in
// every sequence, as a camcorder writes them.
std::vector<std::uint8_t> CamcorderFrame(bool pal)
{
    auto f = BlankFrame(pal);
    for (int s = 0; s < static_cast<int>(f.size() / kSeq); ++s) {
        PutTimecode(f, s, 0x12, 0x34, 0x56, 0x21);
        PutDate(f, s, 0x15, 0x07, 0x04, 0x12, 0x34, 0x56);
        PutSourceControl(f, s, 0, 0);
        PutAudio(f, s, 0, 0);
    }
    return f;
}

double Days(int days, int h, int m, int s) { return days + (h * 3600 + m * 60 + s) / 86400.0; }

// Bytes that end exactly where an inaccessible page begins: a read one byte past them faults.
class PageEndBuffer {
public:
    explicit PageEndBuffer(const std::vector<std::uint8_t>& content) : size_(content.size())
    {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        const std::size_t page = si.dwPageSize;
        const std::size_t usable = (size_ + page - 1) / page * page;
        base_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old);
        data_ = base_ + usable - size_;
        std::copy(content.begin(), content.end(), data_);
    }
    ~PageEndBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    std::span<std::uint8_t> Span() { return {data_, size_}; }

private:
    std::size_t size_;
    std::uint8_t* base_ = nullptr;
    std::uint8_t* data_ = nullptr;
};

}  // namespace

TEST(DVCodes, TimecodeCountsOnlyTheMaskedBits)
{
    auto f = BlankFrame(true);
    // Hours 23 with both flag bits set, frames 24 with three flag bits, seconds and minutes with
    // their flag bit 7 set.
    PutTimecode(f, 0, 0xE3 | 0x20, 0x80 | 0x45, 0x80 | 0x59, 0xE4 | 0x20);
    const TDVTimecode tc = DVReadTimecode(f, 0);
    EXPECT_EQ(tc.Hours, 23);
    EXPECT_EQ(tc.Minutes, 45);
    EXPECT_EQ(tc.Seconds, 59);
    EXPECT_EQ(tc.Frames, 24);

    // Either pack header missing gives no timecode.
    f[190] = 0x00;
    EXPECT_EQ(DVReadTimecode(f, 0).Hours, 255);
    f[190] = 0x13;
    f[110] = 0x14;
    EXPECT_EQ(DVReadTimecode(f, 0).Hours, 255);
    // Sequence 11 of a PAL frame is read like any other.
    PutTimecode(f, 11, 0x01, 0x02, 0x03, 0x04);
    EXPECT_EQ(DVReadTimecode(f, 11).Hours, 1);
    EXPECT_EQ(DVReadTimecode(f, 11).Frames, 4);
}

TEST(DVCodes, RecordingDateYearsMasksAndPackHeaders)
{
    auto f = BlankFrame(true);
    PutDate(f, 0, 0xC0 | 0x31, 0xE0 | 0x12, 0x39, 0xC0 | 0x23, 0x80 | 0x59, 0x80 | 0x58);
    TDVRecDate d = DVReadRecDate(f, 0);
    EXPECT_EQ(d.Year, 2039);
    EXPECT_EQ(d.Month, 12);
    EXPECT_EQ(d.Day, 31);
    EXPECT_EQ(d.Hour, 23);
    EXPECT_EQ(d.Minute, 59);
    EXPECT_EQ(d.Second, 58);

    f[462] = 0x40;
    EXPECT_EQ(DVReadRecDate(f, 0).Year, 1940);
    f[462] = 0x99;
    EXPECT_EQ(DVReadRecDate(f, 0).Year, 1999);
    f[462] = 0x00;
    EXPECT_EQ(DVReadRecDate(f, 0).Year, 2000);

    // Header bytes 0 (nothing written) pass; anything else than the pack's own code does not.
    f[458] = 0;
    f[463] = 0;
    EXPECT_EQ(DVReadRecDate(f, 0).Year, 2000);
    f[458] = 0x61;
    d = DVReadRecDate(f, 0);
    EXPECT_EQ(d.Year, -1);
    EXPECT_EQ(d.Month, 0);
    f[458] = 0x62;
    f[463] = 0x62;
    EXPECT_EQ(DVReadRecDate(f, 0).Year, -1);
}

TEST(DVCodes, SystemAudioAndSourceControl)
{
    auto pal = CamcorderFrame(true);
    auto ntsc = CamcorderFrame(false);
    EXPECT_EQ(DVGetSystem(pal), kDVSystem625);
    EXPECT_EQ(DVGetSystem(ntsc), kDVSystem525);
    pal[3] = 0xBE;
    EXPECT_EQ(DVGetSystem(pal), kDVSystemUnknown);

    struct Case {
        std::uint8_t freq, quant;
        std::int32_t rate, bits;
    };
    for (const Case c : {Case{0, 0, 48000, 16}, Case{1, 1, 44100, 12}, Case{2, 0, 32000, 16}, Case{3, 2, 0, 0},
                         Case{7, 7, 0, 0}}) {
        PutAudio(ntsc, 0, c.freq, c.quant);
        const auto seq0 = DVSequence(ntsc, 0);
        EXPECT_EQ(DVGetAudioRate(seq0), c.rate) << int(c.freq);
        EXPECT_EQ(DVGetAudioBits(seq0), c.bits) << int(c.quant);
    }
    ntsc[4323] = 0x51;
    EXPECT_EQ(DVGetAudioRate(DVSequence(ntsc, 0)), -1);
    EXPECT_EQ(DVGetAudioBits(DVSequence(ntsc, 0)), -1);
    // Sequence 1's pack is its own.
    EXPECT_EQ(DVGetAudioRate(DVSequence(ntsc, 1)), 48000);

    EXPECT_TRUE(DVHasSourceControl(DVSequence(ntsc, 0)));
    ntsc[453] = 0x60;
    EXPECT_FALSE(DVHasSourceControl(DVSequence(ntsc, 0)));
}

TEST(DVCodes, WideFlagByDisplayCodeAndAP3)
{
    auto f = BlankFrame(true);
    EXPECT_FALSE(DVIsWide(f));  // no source-control pack anywhere
    struct Case {
        std::uint8_t disp, ap3;
        bool wide;
    };
    for (const Case c : {Case{2, 0, true}, Case{2, 1, true}, Case{7, 0, true}, Case{7, 1, false}, Case{0, 0, false},
                         Case{1, 0, false}, Case{6, 0, false}}) {
        PutSourceControl(f, 0, c.disp, c.ap3);
        EXPECT_EQ(DVIsWide(f), c.wide) << "DISP " << int(c.disp) << " AP3 " << int(c.ap3);
    }

    // The first sequence with a source-control pack decides, with its own AP3.
    f = BlankFrame(true);
    PutSourceControl(f, 3, 0, 0);
    PutSourceControl(f, 4, 2, 0);
    EXPECT_FALSE(DVIsWide(f));
    f = BlankFrame(true);
    PutSourceControl(f, 5, 7, 0);
    f[7] = 1;  // sequence 0's AP3 does not count
    EXPECT_TRUE(DVIsWide(f));

    // Only sequences 0..9 are looked at, also in a 625/50 frame.
    f = BlankFrame(true);
    PutSourceControl(f, 10, 2, 0);
    PutSourceControl(f, 11, 2, 0);
    EXPECT_FALSE(DVIsWide(f));
}

TEST(DVCodes, ForcingWideWritesTheCodeItsAP3CallsFor)
{
    auto f = CamcorderFrame(true);
    f[454] = 0xA4;
    f[455] = 0x30;  // DISP 0, flag bits above
    f[456] = 0x5A;
    f[457] = 0xC3;
    f[7] = 0x00;    // AP3 0
    f[kSeq + 7] = 0x01;
    auto before = f;
    DVForceWide(f, 0);
    EXPECT_EQ(f[453], 0x61);
    EXPECT_EQ(f[455], 7);
    EXPECT_TRUE(DVIsWide(f));
    DVForceWide(f, 1);
    EXPECT_EQ(f[kSeq + 455], 2);
    // Only bytes 453 and 455 of the two sequences changed.
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i == 455 || i == kSeq + 455) continue;
        ASSERT_EQ(f[i], before[i]) << "byte " << i;
    }

    // A sequence without a pack gets one.
    auto blank = BlankFrame(false);
    blank[7] = 3;
    DVForceWide(blank, 0);
    EXPECT_EQ(blank[453], 0x61);
    EXPECT_EQ(blank[455], 2);
    EXPECT_TRUE(DVIsWide(blank));

    // Sequences outside the buffer are left alone.
    std::vector<std::uint8_t> shortFrame(455, 0);
    DVForceWide(shortFrame, 0);
    EXPECT_EQ(shortFrame[453], 0);
    DVForceWide(blank, 10);
    DVForceWide(blank, -1);
}

TEST(DVCodes, FillingARecordFromACamcorderFrame)
{
    TDVInfoRec rec;
    rec.FrameNumber = 41;
    auto f = CamcorderFrame(true);
    DVFillInfoRec(rec, f);
    EXPECT_TRUE(rec.DateValid);
    EXPECT_DOUBLE_EQ(rec.Date, Days(38183, 12, 34, 56));  // 15 July 2004 12:34:56
    EXPECT_TRUE(rec.TimecodeValid);
    EXPECT_EQ(rec.Timecode.Hours, 12);
    EXPECT_EQ(rec.Timecode.Minutes, 34);
    EXPECT_EQ(rec.Timecode.Seconds, 56);
    EXPECT_EQ(rec.Timecode.Frames, 21);
    EXPECT_TRUE(rec.StreamValid);
    EXPECT_FALSE(rec.Wide);
    EXPECT_EQ(rec.System, kDVSystem625);
    EXPECT_EQ(rec.AudioRate, 48000);
    EXPECT_EQ(rec.AudioBits, 16);
    EXPECT_EQ(rec.FrameIndex, 41);
    EXPECT_EQ(rec.FrameNumber, 41u);

    // NTSC, 16:9, 32 kHz 12-bit, leap day.
    auto n = CamcorderFrame(false);
    for (int s = 0; s < 10; ++s) {
        PutDate(n, s, 0x29, 0x02, 0x40, 0x00, 0x00, 0x00);
        PutSourceControl(n, s, 2, 0);
        PutAudio(n, s, 2, 1);
    }
    DVFillInfoRec(rec, n);
    EXPECT_TRUE(rec.DateValid);
    EXPECT_DOUBLE_EQ(rec.Date, 14670.0);  // 29 February 1940
    EXPECT_TRUE(rec.Wide);
    EXPECT_EQ(rec.System, kDVSystem525);
    EXPECT_EQ(rec.AudioRate, 32000);
    EXPECT_EQ(rec.AudioBits, 12);

    // StreamValid needs timecode, source control in sequence 0 and the audio pack.
    n[4323] = 0;
    DVFillInfoRec(rec, n);
    EXPECT_FALSE(rec.StreamValid);
    EXPECT_TRUE(rec.TimecodeValid);
    n[4323] = 0x50;
    n[453] = 0;
    DVFillInfoRec(rec, n);
    EXPECT_FALSE(rec.StreamValid);
    EXPECT_TRUE(rec.Wide);  // sequence 1 still carries the 16:9 pack
}

TEST(DVCodes, FillingSearchesTheSequencesInOrder)
{
    auto f = BlankFrame(true);
    // Sequence 0: date pack of another kind and half a timecode; sequence 2 has both.
    f[458] = 0x70;
    f[110] = 0x13;
    PutTimecode(f, 2, 0x01, 0x02, 0x03, 0x04);
    PutDate(f, 2, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01);
    f[kSeq + 458] = 0x55;  // sequence 1: also refused
    // Sequences 3.. have zero packs, which pass the header test: the search must stop at 2.
    TDVInfoRec rec;
    DVFillInfoRec(rec, f);
    EXPECT_TRUE(rec.DateValid);
    EXPECT_DOUBLE_EQ(rec.Date, Days(36526, 0, 0, 1));  // 1 January 2000 00:00:01
    EXPECT_TRUE(rec.TimecodeValid);
    EXPECT_EQ(rec.Timecode.Seconds, 3);
    EXPECT_FALSE(rec.StreamValid);  // no source control, no audio
    EXPECT_EQ(rec.AudioRate, -1);
    EXPECT_EQ(rec.AudioBits, -1);

    // Sequence 0 with all-zero packs is the first that passes, and its month 0 is no date.
    f = BlankFrame(true);
    PutDate(f, 1, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00);
    DVFillInfoRec(rec, f);
    EXPECT_FALSE(rec.DateValid);
    EXPECT_EQ(rec.Date, 0.0);
}

TEST(DVCodes, UndatedAndImpossibleDatesGiveDateZero)
{
    TDVInfoRec rec;
    struct Case {
        std::uint8_t day, month, year, hour, minute, second;
    };
    for (const Case c : {Case{0x00, 0x00, 0x00, 0x00, 0x00, 0x00},   // empty packs
                         Case{0x31, 0x02, 0x04, 0x12, 0x00, 0x00},   // 31 February
                         Case{0x29, 0x02, 0x01, 0x12, 0x00, 0x00},   // 29 February 2001
                         Case{0x31, 0x04, 0x04, 0x12, 0x00, 0x00},   // 31 April
                         Case{0x01, 0x13, 0x04, 0x12, 0x00, 0x00},   // month 13
                         Case{0x01, 0x01, 0x04, 0x24, 0x00, 0x00},   // hour 24
                         Case{0x01, 0x01, 0x04, 0x12, 0x60, 0x00},   // minute 60
                         Case{0x01, 0x01, 0x04, 0x12, 0x00, 0x7F},   // second 7x + 15
                         Case{0x3F, 0x1F, 0xFF, 0x3F, 0x7F, 0x7F}}) {  // every BCD digit 15
        auto f = CamcorderFrame(true);
        for (int s = 0; s < 12; ++s) PutDate(f, s, c.day, c.month, c.year, c.hour, c.minute, c.second);
        rec.Date = 12345.0;
        rec.DateValid = true;
        DVFillInfoRec(rec, f);
        EXPECT_FALSE(rec.DateValid) << std::hex << int(c.day) << " " << int(c.month) << " " << int(c.hour);
        EXPECT_EQ(rec.Date, 0.0);
        // The rest of the frame is still read.
        EXPECT_TRUE(rec.TimecodeValid);
        EXPECT_TRUE(rec.StreamValid);
    }
}

TEST(DVCodes, GarbageFramesGiveAbsentValuesAndKeepTheOldTimecode)
{
    TDVInfoRec rec;
    rec.Timecode = {1, 2, 3, 4};
    std::vector<std::uint8_t> ff(144000, 0xFF);
    DVFillInfoRec(rec, ff);
    EXPECT_FALSE(rec.DateValid);
    EXPECT_EQ(rec.Date, 0.0);
    EXPECT_FALSE(rec.TimecodeValid);
    EXPECT_EQ(rec.Timecode.Hours, 1);
    EXPECT_EQ(rec.Timecode.Frames, 4);
    EXPECT_FALSE(rec.StreamValid);
    EXPECT_FALSE(rec.Wide);
    EXPECT_EQ(rec.System, kDVSystemUnknown);
    EXPECT_EQ(rec.AudioRate, -1);
    EXPECT_EQ(rec.AudioBits, -1);

    // Pseudo-random frames: whatever the packs say, the values stay in their documented ranges.
    std::uint32_t seed = 12345;
    std::vector<std::uint8_t> noise(144000);
    for (int round = 0; round < 20; ++round) {
        for (auto& b : noise) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        // Give the random packs their headers so that the decoders run on random contents.
        for (int s = 0; s < 12; ++s) {
            std::uint8_t* p = noise.data() + s * kSeq;
            p[110] = p[190] = 0x13;
            p[453] = 0x61;
            p[458] = 0x62;
            p[463] = 0x63;
            p[4323] = 0x50;
        }
        DVFillInfoRec(rec, noise);
        EXPECT_TRUE(rec.TimecodeValid);
        EXPECT_LE(rec.Timecode.Hours, 45);
        EXPECT_LE(rec.Timecode.Frames, 45);
        if (rec.DateValid) {
            EXPECT_GT(rec.Date, 14000.0);
        } else {
            EXPECT_EQ(rec.Date, 0.0);
        }
        EXPECT_TRUE(rec.AudioRate == 48000 || rec.AudioRate == 44100 || rec.AudioRate == 32000 || rec.AudioRate == 0);
        EXPECT_TRUE(rec.AudioBits == 16 || rec.AudioBits == 12 || rec.AudioBits == 0);
        EXPECT_LE(rec.System, 2);
    }
}

TEST(DVCodes, ShortFramesAreNeverReadPastTheirEnd)
{
    const auto full = CamcorderFrame(true);
    // Cuts inside and around every field read, and whole-sequence cuts.
    const std::size_t cuts[] = {0,    1,    3,    4,     111,   115,   191,   454,   456,   460,
                                466,  467,  468,  4323,  4324,  4327,  4328,  11999, 12000, 12003,
                                12114, 12191, 12455, 12468, 16328, 60000, 108000, 108468, 119999, 120000};
    for (const std::size_t n : cuts) {
        PageEndBuffer buf(std::vector<std::uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
        TDVInfoRec rec;
        DVFillInfoRec(rec, buf.Span());  // an over-read faults on the guard page
        EXPECT_EQ(rec.System, n > 3 ? kDVSystem625 : kDVSystemUnknown) << n;
        EXPECT_EQ(rec.TimecodeValid, n > 190) << n;
        EXPECT_EQ(rec.DateValid, n > 467) << n;
        EXPECT_EQ(rec.AudioRate, n > 4327 ? 48000 : -1) << n;
        EXPECT_EQ(rec.StreamValid, n > 4327) << n;
        (void)DVIsWide(buf.Span());
        DVForceWide(buf.Span(), 9);
        DVForceWide(buf.Span(), 0);
        if (n > 455) {
            EXPECT_TRUE(DVIsWide(buf.Span())) << n;
        }
    }
}

TEST(DVCodes, WrongSystemFramesStayInsideTheirBuffer)
{
    // A 525/60-sized frame that claims 625/50, and a 625/50 frame claiming 525/60: the claim is
    // reported as it stands and only the bytes present are read.
    auto ntscSized = CamcorderFrame(false);
    ntscSized[3] = 0xBF;
    PageEndBuffer a(ntscSized);
    TDVInfoRec rec;
    DVFillInfoRec(rec, a.Span());
    EXPECT_EQ(rec.System, kDVSystem625);
    EXPECT_TRUE(rec.StreamValid);
    for (int s = 0; s < 12; ++s) (void)DVReadTimecode(a.Span(), s);
    EXPECT_EQ(DVReadTimecode(a.Span(), 10).Hours, 255);
    EXPECT_EQ(DVReadRecDate(a.Span(), 11).Year, -1);

    auto palSized = CamcorderFrame(true);
    palSized[3] = 0x3F;
    PageEndBuffer b(palSized);
    DVFillInfoRec(rec, b.Span());
    EXPECT_EQ(rec.System, kDVSystem525);

    auto odd = CamcorderFrame(true);
    odd[3] = 0x00;
    DVFillInfoRec(rec, odd);
    EXPECT_EQ(rec.System, kDVSystemUnknown);
    EXPECT_TRUE(rec.DateValid);  // the rest is still read
}
