// The parameter model: every persisted setting is one typed parameter (key, value, default) in the
// one parameter list, which loads and saves them in creation order through the preferences reader
// and writer; plus the name maps of the capture format and of the DV audio frequency.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/objects.h"
#include "settings/preferences.h"

namespace settings {

class TparameterList;

// One persisted setting. Load and Save go through the owner's Reader and Writer.
class TParameter : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TParameter)
    // Stores the key and appends the parameter to List (which becomes its owner).
    TParameter(const std::wstring& Name, TparameterList* List);
    TParameter(const TParameter&) = delete;
    TParameter& operator=(const TParameter&) = delete;

    const std::wstring& Name() const { return name_; }
    TparameterList* Owner() const { return owner_; }

    // Reads the value through the owner's Reader; any failure leaves Value = Default.
    virtual void Load() = 0;
    // Writes the value through the owner's Writer; failures are swallowed.
    virtual void Save() = 0;

private:
    std::wstring name_;
    TparameterList* owner_;
};

// A parameter of one value type: Value and Default start equal to the given default.
template <typename T>
class TValueParameter : public TParameter {
public:
    TValueParameter(const std::wstring& Name, const T& DefaultValue, TparameterList* List)
        : TParameter(Name, List), value_(DefaultValue), default_(DefaultValue) {}

    const T& Value() const { return value_; }
    void SetValue(const T& v) { value_ = v; }
    const T& Default() const { return default_; }

protected:
    T value_;
    T default_;
};

// What a loaded number outside its parameter's range becomes: the nearest bound (a quantity such
// as a volume or a quality), or the default (an index into a list of choices, where a bound would
// be an arbitrary choice).
enum class TOutOfRange : std::uint8_t { Nearest, Default };

// A 32-bit integer. With a range, a loaded value outside it is brought back by the range's rule;
// values set by the program are taken as they are.
class TIntegerParameter : public TValueParameter<std::int32_t> {
public:
    CLASSLIB_CLASS_NAME(TIntegerParameter)
    using TValueParameter::TValueParameter;
    void Load() override;
    void Save() override;

    void SetRange(std::int32_t Min, std::int32_t Max, TOutOfRange Rule = TOutOfRange::Nearest);
    bool HasRange() const { return hasRange_; }
    std::int32_t Min() const { return min_; }
    std::int32_t Max() const { return max_; }
    // Value as a load keeps it: unchanged within the range (or without one), else by the rule.
    std::int32_t InRange(std::int32_t Value) const;

private:
    bool hasRange_ = false;
    std::int32_t min_ = 0;
    std::int32_t max_ = 0;
    TOutOfRange rule_ = TOutOfRange::Nearest;
};

// A double. A loaded value that is not finite, or that the parameter's validity test refuses,
// is replaced by the default (a frame rate of 0 would make recordings unusable).
class TRealParameter : public TValueParameter<double> {
public:
    CLASSLIB_CLASS_NAME(TRealParameter)
    using TValueParameter::TValueParameter;
    void Load() override;
    void Save() override;

    // Extra test applied to loaded values; none by default.
    void SetValidator(std::function<bool(double)> Valid) { valid_ = std::move(Valid); }

private:
    std::function<bool(double)> valid_;
};

// A wide text. A loaded empty text gives the default, unless the parameter keeps empty texts
// (settings whose empty value means something, such as a text shown on screen).
class TWideStringParameter : public TValueParameter<std::wstring> {
public:
    CLASSLIB_CLASS_NAME(TWideStringParameter)
    using TValueParameter::TValueParameter;
    void Load() override;
    void Save() override;

    bool KeepEmpty() const { return keepEmpty_; }
    void SetKeepEmpty(bool v) { keepEmpty_ = v; }

private:
    bool keepEmpty_ = false;
};

class TBooleanParameter : public TValueParameter<bool> {
public:
    CLASSLIB_CLASS_NAME(TBooleanParameter)
    using TValueParameter::TValueParameter;
    void Load() override;
    void Save() override;
};

// The overlay record; Value and Default are separate copies. A loaded record has every field in
// the range the overlay panel and filter use (IncrustRecInRange).
class TincrustRecParameter : public TValueParameter<TincrustRec> {
public:
    CLASSLIB_CLASS_NAME(TincrustRecParameter)
    using TValueParameter::TValueParameter;
    void Load() override;
    void Save() override;
};

// The shared load and save of the one-byte enumerations below.
std::uint8_t LoadEnumValue(const TParameter& Param, std::uint8_t Default, std::uint8_t Max);
void SaveEnumValue(const TParameter& Param, std::uint8_t Value);

// A one-byte enumeration stored as an integer. A loaded value keeps its low 8 bits; a value above
// the enumeration's highest one (Tag::kMax) gives the default.
template <typename Tag>
class TEnumParameter : public TValueParameter<std::uint8_t> {
public:
    using TValueParameter::TValueParameter;
    std::wstring ClassName() const override { return Tag::kClassName; }
    static constexpr std::uint8_t kMax = Tag::kMax;

    void Load() override { value_ = LoadEnumValue(*this, default_, kMax); }
    void Save() override { SaveEnumValue(*this, value_); }
};

// Enumeration tags: the class name and the highest value, the last choice of the control that
// shows the setting.
struct TframeNumberTag {
    static constexpr const wchar_t* kClassName = L"TframeNumberParameter";
    static constexpr std::uint8_t kMax = 8;  // panels 0..8
};
struct TAspectRatioTag {
    static constexpr const wchar_t* kClassName = L"TAspectRatioParameter";
    static constexpr std::uint8_t kMax = 3;  // source's own, 4:3, 16:9, native pixels
};
struct TWhenIncrustTag {
    static constexpr const wchar_t* kClassName = L"TWhenIncrustParameter";
    static constexpr std::uint8_t kMax = 3;  // permanently, once, each scene, each day
};
struct TFormatCaptureTag {
    static constexpr const wchar_t* kClassName = L"TFormatCaptureParameter";
    static constexpr std::uint8_t kMax = 12;  // capture formats 0..12
};
struct TstandardDVTag {
    static constexpr const wchar_t* kClassName = L"TstandardDVParameter";
    static constexpr std::uint8_t kMax = 1;  // Pal, Ntsc
};
struct TFrequenceDVTag {
    static constexpr const wchar_t* kClassName = L"TFrequenceDVParameter";
    static constexpr std::uint8_t kMax = 3;  // native, 32000, 44100, 48000
};
struct TRatioDVTag {
    static constexpr const wchar_t* kClassName = L"TRatioDVParameter";
    static constexpr std::uint8_t kMax = 1;  // 4:3, 16:9
};
struct TRaccourcisSortTag {
    static constexpr const wchar_t* kClassName = L"TRaccourcisSortParameter";
    static constexpr std::uint8_t kMax = 3;  // the four columns of the shortcuts list
};

using TframeNumberParameter = TEnumParameter<TframeNumberTag>;
using TAspectRatioParameter = TEnumParameter<TAspectRatioTag>;
using TWhenIncrustParameter = TEnumParameter<TWhenIncrustTag>;
using TFormatCaptureParameter = TEnumParameter<TFormatCaptureTag>;
using TstandardDVParameter = TEnumParameter<TstandardDVTag>;
using TFrequenceDVParameter = TEnumParameter<TFrequenceDVTag>;
using TRatioDVParameter = TEnumParameter<TRatioDVTag>;
using TRaccourcisSortParameter = TEnumParameter<TRaccourcisSortTag>;

// The list of all parameters in creation order. It does not own them.
class TparameterList : public classlib::TList {
public:
    CLASSLIB_CLASS_NAME(TparameterList)
    explicit TparameterList(const std::wstring& Signature);

    TParameter* Parameters(int Index) const { return static_cast<TParameter*>(Items(Index)); }

    // The writer during Save, the reader during Load; nullptr otherwise.
    TWritePreferences* Writer() const { return writer_; }
    TReadPreferences* Reader() const { return reader_; }

    const std::wstring& KeyPath() const { return keyPath_; }
    void SetKeyPath(const std::wstring& v) { keyPath_ = v; }
    const std::wstring& Signature() const { return signature_; }

    // Loads every parameter, first to last, in the current storage mode.
    void Load();
    // Writes "Signature", "DerniereSauvegarde", "ExeName" and every parameter in the current
    // storage mode; true when the store was written (in INI mode: the file replaced).
    bool Save();

private:
    TWritePreferences* writer_ = nullptr;
    TReadPreferences* reader_ = nullptr;
    std::wstring keyPath_;
    std::wstring signature_;
};

// The program's registry key path, also the INI section name.
extern const wchar_t* const kProgramKeyPath;  // "\Software\Marbrecq\Quillotrane"

// The "DerniereSauvegarde" text of a local time: "yyyy/mm/dd hh:nn:ss am/pm" with the locale's date
// and time separators and the hour on the 12-hour clock.
std::wstring FormatSaveStamp(const SYSTEMTIME& Time);

// Capture formats 0..12 (0 none, 10 "Default").
using TFormatCapture = std::uint8_t;
constexpr TFormatCapture kFormatCaptureNone = 0;
constexpr TFormatCapture kFormatCaptureDefault = 10;

// The shown name of a capture format (the value's low 7 bits; 0 gives the empty text).
std::wstring FormatCaptureName(TFormatCapture Value);
std::wstring FormatCaptureShortName(TFormatCapture Value);
// The format named by Text ("None" 0; exact, case-sensitive); any other text gives 10.
TFormatCapture FormatCaptureFromName(const std::wstring& Text);
// "native" 0, "32000" 1, "44100" 2, "48000" 3; any other text gives 3, the setting's default.
std::uint8_t FrequenceDVFromName(const std::wstring& Text);

}  // namespace settings
