#include "filters/dv_codes.h"

#include <algorithm>

namespace filters {

namespace {

// Reads one byte of a sequence; false when the buffer ends before it.
bool At(std::span<const std::uint8_t> Bytes, std::size_t Offset, std::uint8_t& Value)
{
    if (Offset >= Bytes.size()) return false;
    Value = Bytes[Offset];
    return true;
}

// BCD with the given mask for the tens digit (already shifted down by 4); units are bits 0-3.
int Bcd(std::uint8_t Byte, std::uint8_t TensMask)
{
    return ((Byte >> 4) & TensMask) * 10 + (Byte & 0x0F);
}

bool IsLeapYear(std::int32_t Year)
{
    return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
}

int DaysInMonth(std::int32_t Year, int Month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return Month == 2 && IsLeapYear(Year) ? 29 : kDays[Month - 1];
}

// Days from 1 January 1970 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The date-time value (days since 30 December 1899, fraction = time of day) of a real date and
// time; false for anything else (month 0 of an empty pack, 31 February, hour 24 ...).
bool TryEncodeDateTime(std::int32_t Year, int Month, int Day, int Hour, int Minute, int Second, double& Result)
{
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12) return false;
    if (Day < 1 || Day > DaysInMonth(Year, Month)) return false;
    if (Hour < 0 || Hour >= 24 || Minute < 0 || Minute >= 60 || Second < 0 || Second >= 60) return false;
    constexpr std::int64_t kDaysFrom1899To1970 = 25569;
    const std::int64_t days = DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) +
                              kDaysFrom1899To1970;
    Result = static_cast<double>(days) + (Hour * 3600 + Minute * 60 + Second) / 86400.0;
    return true;
}

}  // namespace

std::span<const std::uint8_t> DVSequence(std::span<const std::uint8_t> Frame, int Sequence)
{
    if (Sequence < 0) return {};
    const std::size_t start = static_cast<std::size_t>(Sequence) * kDVSequenceBytes;
    if (start >= Frame.size()) return {};
    return Frame.subspan(start, std::min(kDVSequenceBytes, Frame.size() - start));
}

TDVTimecode DVReadTimecode(std::span<const std::uint8_t> Frame, int Sequence)
{
    TDVTimecode tc;
    tc.Hours = 255;
    const auto seq = DVSequence(Frame, Sequence);
    std::uint8_t pack1 = 0, pack2 = 0, f = 0, s = 0, m = 0, h = 0;
    if (!At(seq, dvofs::kTimecodePack1, pack1) || !At(seq, dvofs::kTimecodePack2, pack2)) return tc;
    if (pack1 != kDVPackTimecode || pack2 != kDVPackTimecode) return tc;
    At(seq, dvofs::kTimecodeFrames, f);
    At(seq, dvofs::kTimecodeSeconds, s);
    At(seq, dvofs::kTimecodeMinutes, m);
    At(seq, dvofs::kTimecodeHours, h);
    tc.Frames = static_cast<std::uint8_t>(Bcd(f, 0x3));
    tc.Seconds = static_cast<std::uint8_t>(Bcd(s, 0x7));
    tc.Minutes = static_cast<std::uint8_t>(Bcd(m, 0x7));
    tc.Hours = static_cast<std::uint8_t>(Bcd(h, 0x3));
    return tc;
}

TDVRecDate DVReadRecDate(std::span<const std::uint8_t> Frame, int Sequence)
{
    TDVRecDate date;
    const auto seq = DVSequence(Frame, Sequence);
    // The last byte read is the hours byte: a sequence that ends before it has no date.
    if (seq.size() <= dvofs::kRecTimeHours) return date;
    const std::uint8_t datePack = seq[dvofs::kRecDatePack];
    const std::uint8_t timePack = seq[dvofs::kRecTimePack];
    if ((datePack != kDVPackRecDate && datePack != 0) || (timePack != kDVPackRecTime && timePack != 0)) return date;
    const int yy = Bcd(seq[dvofs::kRecDateYear], 0xF);
    date.Year = yy < 40 ? 2000 + yy : 1900 + yy;
    date.Month = static_cast<std::uint8_t>(Bcd(seq[dvofs::kRecDateMonth], 0x1));
    date.Day = static_cast<std::uint8_t>(Bcd(seq[dvofs::kRecDateDay], 0x3));
    date.Hour = static_cast<std::uint8_t>(Bcd(seq[dvofs::kRecTimeHours], 0x3));
    date.Minute = static_cast<std::uint8_t>(Bcd(seq[dvofs::kRecTimeMinutes], 0x7));
    date.Second = static_cast<std::uint8_t>(Bcd(seq[dvofs::kRecTimeSeconds], 0x7));
    return date;
}

bool DVHasSourceControl(std::span<const std::uint8_t> Sequence)
{
    std::uint8_t pack = 0;
    return At(Sequence, dvofs::kSourceControlPack, pack) && pack == kDVPackSourceControl;
}

std::uint8_t DVGetSystem(std::span<const std::uint8_t> Frame)
{
    std::uint8_t dsf = 0;
    if (!At(Frame, dvofs::kDSF, dsf)) return kDVSystemUnknown;
    if (dsf == 0xBF) return kDVSystem625;
    if (dsf == 0x3F) return kDVSystem525;
    return kDVSystemUnknown;
}

std::int32_t DVGetAudioRate(std::span<const std::uint8_t> Sequence)
{
    std::uint8_t pack = 0, byte4 = 0;
    if (!At(Sequence, dvofs::kAudioSourcePack, pack) || pack != kDVPackAudioSource) return -1;
    if (!At(Sequence, dvofs::kAudioSourceByte4, byte4)) return -1;
    switch ((byte4 >> 3) & 7) {
    case 0: return 48000;
    case 1: return 44100;
    case 2: return 32000;
    default: return 0;
    }
}

std::int32_t DVGetAudioBits(std::span<const std::uint8_t> Sequence)
{
    std::uint8_t pack = 0, byte4 = 0;
    if (!At(Sequence, dvofs::kAudioSourcePack, pack) || pack != kDVPackAudioSource) return -1;
    if (!At(Sequence, dvofs::kAudioSourceByte4, byte4)) return -1;
    switch (byte4 & 7) {
    case 0: return 16;
    case 1: return 12;
    default: return 0;
    }
}

bool DVIsWide(std::span<const std::uint8_t> Frame)
{
    // Only the first ten sequences count, also in a 625/50 frame.
    for (int k = 0; k < kDVSequences525; ++k) {
        const auto seq = DVSequence(Frame, k);
        if (seq.size() <= dvofs::kSourceControlDisp || seq[dvofs::kSourceControlPack] != kDVPackSourceControl)
            continue;
        const int disp = seq[dvofs::kSourceControlDisp] & 7;
        const int ap3 = seq[dvofs::kAP3] & 7;
        return disp == 2 || (disp == 7 && ap3 == 0);
    }
    return false;
}

void DVForceWide(std::span<std::uint8_t> Frame, int Sequence)
{
    if (Sequence < 0) return;
    const std::size_t start = static_cast<std::size_t>(Sequence) * kDVSequenceBytes;
    if (start >= Frame.size() || Frame.size() - start <= dvofs::kSourceControlDisp) return;
    std::uint8_t* seq = Frame.data() + start;
    seq[dvofs::kSourceControlPack] = kDVPackSourceControl;
    seq[dvofs::kSourceControlDisp] = (seq[dvofs::kAP3] & 7) == 0 ? 7 : 2;
}

void DVFillInfoRec(TDVInfoRec& Rec, std::span<const std::uint8_t> Frame)
{
    // 1. Recording date: the first of sequences 0..9 whose packs pass the header test. An invalid
    //    date (month 0 of empty packs, a day past the month's end) leaves Date at 0 rather than
    //    holding a value that is no date.
    Rec.Date = 0.0;
    Rec.DateValid = false;
    for (int k = 0; k < kDVSequences525; ++k) {
        const TDVRecDate d = DVReadRecDate(Frame, k);
        if (d.Year < 0) continue;
        double value = 0.0;
        if (TryEncodeDateTime(d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second, value)) {
            Rec.Date = value;
            Rec.DateValid = true;
        }
        break;
    }
    // 2. Timecode: the first sequence with a timecode pack; the old content stays when none has one.
    Rec.TimecodeValid = false;
    for (int k = 0; k < kDVSequences525; ++k) {
        const TDVTimecode tc = DVReadTimecode(Frame, k);
        if (tc.Hours < 128) {
            Rec.Timecode = tc;
            Rec.TimecodeValid = true;
            break;
        }
    }
    // 3. to 6.
    const auto seq0 = DVSequence(Frame, 0);
    Rec.AudioRate = DVGetAudioRate(seq0);
    Rec.AudioBits = DVGetAudioBits(seq0);
    Rec.FrameIndex = static_cast<std::int64_t>(Rec.FrameNumber);
    Rec.Wide = DVIsWide(Frame);
    Rec.System = DVGetSystem(Frame);
    Rec.StreamValid = Rec.TimecodeValid && DVHasSourceControl(seq0) && Rec.AudioRate != -1;
}

}  // namespace filters
