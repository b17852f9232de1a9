// The parameter model: typed parameters, the parameter list and the capture-format name maps.
#include "settings/parameters.h"

#include <cmath>
#include <memory>
#include <stdexcept>

#include "classlib/format.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/settings_host.h"
#include "unicode/wide_platform.h"

namespace settings {

const wchar_t* const kProgramKeyPath = L"\\Software\\Marbrecq\\Quillotrane";

namespace {

// A parameter loaded without a reader (outside the list's Load) takes its default.
TReadPreferences& RequireReader(const TParameter& Param) {
    TReadPreferences* reader = Param.Owner() ? Param.Owner()->Reader() : nullptr;
    if (!reader) throw std::runtime_error("no reader");
    return *reader;
}

TWritePreferences* CurrentWriter(const TParameter& Param) {
    return Param.Owner() ? Param.Owner()->Writer() : nullptr;
}

// Runs a write and swallows its failure, so that the other parameters are still written.
template <typename F>
void GuardedWrite(const TParameter& Param, F&& write) {
    TWritePreferences* writer = CurrentWriter(Param);
    if (!writer) return;
    try {
        write(*writer);
    } catch (...) {
    }
}

// Runs a read into Value; any failure (no reader, a raising reader) leaves the default.
template <typename T, typename F>
void GuardedRead(const TParameter& Param, T& Value, const T& Default, F&& read) {
    try {
        Value = read(RequireReader(Param));
    } catch (...) {
        Value = Default;
    }
}

std::wstring ExecutablePath() {
    if (ISettingsHost* host = SettingsHost()) return host->ExeName();
    return unicode::WideParamStr(0);
}

std::wstring TwoDigits(int v) {
    return std::wstring(1, static_cast<wchar_t>(L'0' + (v / 10) % 10)) + static_cast<wchar_t>(L'0' + v % 10);
}

}  // namespace

// --- Parameters --------------------------------------------------------------------------------

TParameter::TParameter(const std::wstring& Name, TparameterList* List) : name_(Name), owner_(List) {
    if (owner_) owner_->Add(this);
}

void TIntegerParameter::Load() {
    GuardedRead(*this, value_, default_, [&](TReadPreferences& r) { return InRange(r.ReadInteger(Name(), default_)); });
}

void TIntegerParameter::SetRange(std::int32_t Min, std::int32_t Max, TOutOfRange Rule) {
    hasRange_ = true;
    min_ = Min;
    max_ = Max;
    rule_ = Rule;
}

std::int32_t TIntegerParameter::InRange(std::int32_t Value) const {
    if (!hasRange_ || (Value >= min_ && Value <= max_)) return Value;
    if (rule_ == TOutOfRange::Default) return default_;
    return Value < min_ ? min_ : max_;
}

void TIntegerParameter::Save() {
    GuardedWrite(*this, [&](TWritePreferences& w) { w.WriteInteger(Name(), value_); });
}

void TRealParameter::Load() {
    GuardedRead(*this, value_, default_, [&](TReadPreferences& r) {
        const double v = r.ReadDouble(Name(), default_);
        return (std::isfinite(v) && (!valid_ || valid_(v))) ? v : default_;
    });
}

void TRealParameter::Save() {
    GuardedWrite(*this, [&](TWritePreferences& w) { w.WriteDouble(Name(), value_); });
}

void TWideStringParameter::Load() {
    GuardedRead(*this, value_, default_, [&](TReadPreferences& r) {
        std::wstring v = r.ReadString(Name(), default_);
        return (v.empty() && !keepEmpty_) ? default_ : v;
    });
}

void TWideStringParameter::Save() {
    GuardedWrite(*this, [&](TWritePreferences& w) { w.WriteString(Name(), value_); });
}

void TBooleanParameter::Load() {
    GuardedRead(*this, value_, default_, [&](TReadPreferences& r) { return r.ReadBool(Name(), default_); });
}

void TBooleanParameter::Save() {
    GuardedWrite(*this, [&](TWritePreferences& w) { w.WriteBool(Name(), value_); });
}

void TincrustRecParameter::Load() {
    GuardedRead(*this, value_, default_,
                [&](TReadPreferences& r) { return IncrustRecInRange(r.ReadIncrustRec(Name(), default_), default_); });
}

void TincrustRecParameter::Save() {
    GuardedWrite(*this, [&](TWritePreferences& w) { w.WriteIncrustRec(Name(), value_); });
}

std::uint8_t LoadEnumValue(const TParameter& Param, std::uint8_t Default, std::uint8_t Max) {
    try {
        const std::int32_t stored = RequireReader(Param).ReadInteger(Param.Name(), Default);
        // The stored ordinal keeps its low byte; a byte beyond the enumeration's known range would
        // index past the panels' tables or select no builder, so it falls back to the default.
        const auto v = static_cast<std::uint8_t>(stored & 0xFF);
        return v > Max ? Default : v;
    } catch (...) {
        return Default;
    }
}

void SaveEnumValue(const TParameter& Param, std::uint8_t Value) {
    GuardedWrite(Param, [&](TWritePreferences& w) { w.WriteInteger(Param.Name(), Value); });
}

// --- The list ----------------------------------------------------------------------------------

TparameterList::TparameterList(const std::wstring& Signature) : signature_(Signature) {}

void TparameterList::Load() {
    auto reader = std::make_unique<TReadPreferences>(keyPath_, StorageMode());
    reader_ = reader.get();
    struct Reset {
        TReadPreferences*& r;
        ~Reset() { r = nullptr; }
    } reset{reader_};
    // One parameter that fails must not keep the others from loading.
    for (int i = 0; i < Count(); ++i) {
        try {
            Parameters(i)->Load();
        } catch (...) {
        }
    }
}

bool TparameterList::Save() {
    keyPath_ = std::wstring(L"\\Software\\Marbrecq\\") + L"Quillotrane";
    auto writer = std::make_unique<TWritePreferences>(keyPath_, StorageMode());
    writer_ = writer.get();
    struct Reset {
        TWritePreferences*& w;
        ~Reset() { w = nullptr; }
    } reset{writer_};

    auto guarded = [](auto&& write) {
        try {
            write();
        } catch (...) {
        }
    };
    guarded([&] { writer->WriteString(L"Signature", signature_); });
    guarded([&] {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        writer->WriteString(L"DerniereSauvegarde", FormatSaveStamp(now));
    });
    guarded([&] { writer->WriteString(L"ExeName", ExecutablePath()); });
    for (int i = 0; i < Count(); ++i) guarded([&] { Parameters(i)->Save(); });
    return writer->Close();
}

std::wstring FormatSaveStamp(const SYSTEMTIME& Time) {
    const auto& fs = classlib::FormatSettings();
    const int hour12 = Time.wHour % 12 == 0 ? 12 : Time.wHour % 12;
    std::wstring year = std::to_wstring(Time.wYear);
    if (year.size() < 4) year.insert(0, 4 - year.size(), L'0');
    return year + fs.DateSeparator + TwoDigits(Time.wMonth) + fs.DateSeparator + TwoDigits(Time.wDay) + L' ' +
           TwoDigits(hour12) + fs.TimeSeparator + TwoDigits(Time.wMinute) + fs.TimeSeparator +
           TwoDigits(Time.wSecond) + (Time.wHour < 12 ? L" am" : L" pm");
}

// --- Name maps ---------------------------------------------------------------------------------

std::wstring FormatCaptureName(TFormatCapture Value) {
    switch (Value & 0x7F) {
    case 0: return std::wstring();
    case 1: return LoadProgramText(IDS_FORMAT_DV1_NATIVE);
    case 2: return LoadProgramText(IDS_FORMAT_DV2_NATIVE);
    case 3: return LoadProgramText(IDS_FORMAT_MPEG2_NATIVE);
    case 4: return LoadProgramText(IDS_FORMAT_MPEG1_NATIVE);
    case 5: return LoadProgramText(IDS_FORMAT_AVI_NATIVE);
    case 6: return LoadProgramText(IDS_FORMAT_DV2_RECOMP);
    case 7: return LoadProgramText(IDS_FORMAT_WMV);
    case 8: return LoadProgramText(IDS_FORMAT_IMAGE_BY_IMAGE);
    case 9: return LoadProgramText(IDS_FORMAT_DIVX);
    case 11: return LoadProgramText(IDS_FORMAT_WAV);
    case 12: return LoadProgramText(IDS_FORMAT_MP3);
    default: return LoadProgramText(IDS_FORMAT_DEFAULT);
    }
}

std::wstring FormatCaptureShortName(TFormatCapture Value) {
    switch (Value & 0x7F) {
    case 0: return std::wstring();
    case 1:
    case 2:
    case 3:
    case 4:
    case 5: return LoadProgramText(IDS_FORMAT_SHORT_NATIVE);
    case 6: return LoadProgramText(IDS_FORMAT_SHORT_DV2_REC);
    case 7: return LoadProgramText(IDS_FORMAT_WMV);
    case 8: return LoadProgramText(IDS_FORMAT_IMAGE_BY_IMAGE);
    case 9: return LoadProgramText(IDS_FORMAT_DIVX);
    case 11: return LoadProgramText(IDS_FORMAT_WAV);
    case 12: return LoadProgramText(IDS_FORMAT_MP3);
    default: return LoadProgramText(IDS_FORMAT_DEFAULT);
    }
}

TFormatCapture FormatCaptureFromName(const std::wstring& Text) {
    struct Entry {
        unsigned Id;
        TFormatCapture Value;
    };
    static constexpr Entry kNames[] = {
        {IDS_FORMAT_NONE, 0},        {IDS_FORMAT_DV1_NATIVE, 1},     {IDS_FORMAT_DV2_NATIVE, 2},
        {IDS_FORMAT_MPEG1_NATIVE, 4}, {IDS_FORMAT_MPEG2_NATIVE, 3},   {IDS_FORMAT_AVI_NATIVE, 5},
        {IDS_FORMAT_DV2_RECOMP, 6},  {IDS_FORMAT_WMV, 7},            {IDS_FORMAT_IMAGE_BY_IMAGE, 8},
        {IDS_FORMAT_DIVX, 9},        {IDS_FORMAT_WAV, 11},           {IDS_FORMAT_MP3, 12},
    };
    for (const Entry& e : kNames) {
        // A text missing from the table must not make the empty text match it.
        const std::wstring name = LoadProgramText(e.Id);
        if (!name.empty() && name == Text) return e.Value;
    }
    return kFormatCaptureDefault;
}

std::uint8_t FrequenceDVFromName(const std::wstring& Text) {
    static constexpr unsigned kIds[] = {IDS_DV_FREQUENCY_NATIVE, IDS_DV_FREQUENCY_32000, IDS_DV_FREQUENCY_44100,
                                        IDS_DV_FREQUENCY_48000};
    for (std::uint8_t i = 0; i < 4; ++i) {
        const std::wstring name = LoadProgramText(kIds[i]);
        if (!name.empty() && name == Text) return i;
    }
    return 3;
}

}  // namespace settings
