// The writer half of the component filer (filer.h): values, properties and components.
#include "classlib/filer.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

namespace {

void DoubleToExtended(double value, std::uint8_t bytes[10]) {
    std::uint64_t mantissa = 0;
    std::uint16_t signExp = std::signbit(value) ? 0x8000 : 0;
    if (std::isnan(value)) {
        mantissa = 0xC000000000000000ull;
        signExp |= 0x7FFF;
    } else if (std::isinf(value)) {
        mantissa = 0x8000000000000000ull;
        signExp |= 0x7FFF;
    } else if (value != 0.0) {
        int e = 0;
        double m = std::frexp(std::fabs(value), &e);  // m in [0.5, 1)
        mantissa = static_cast<std::uint64_t>(std::ldexp(m, 64));
        signExp |= static_cast<std::uint16_t>(e - 1 + 16383);
    }
    std::memcpy(bytes, &mantissa, 8);
    bytes[8] = static_cast<std::uint8_t>(signExp & 0xFF);
    bytes[9] = static_cast<std::uint8_t>(signExp >> 8);
}

// A component whose stream parent is written with the root writes it among its own children.
bool WrittenByParent(TComponent* Component, TComponent* Root) {
    auto* child = dynamic_cast<IStreamChild*>(Component);
    TComponent* parent = child != nullptr ? child->GetParentComponent() : nullptr;
    return parent != nullptr && dynamic_cast<IStreamParent*>(parent) != nullptr &&
           (parent == Root || parent->Owner() == Root);
}

}  // namespace

// --- TWriter -----------------------------------------------------------------------------------

namespace {
template <typename T>
void WriteRaw(TStream* stream, T value) {
    stream->WriteBuffer(&value, sizeof value);
}
}  // namespace

void TWriter::WriteValue(TValueType Value) { WriteRaw<std::uint8_t>(stream_, Value); }

void TWriter::WriteLength(std::int64_t length) {
    if (length > INT32_MAX) throw EWriteError(L"Stream write error");
    WriteRaw<std::int32_t>(stream_, static_cast<std::int32_t>(length));
}

void TWriter::WriteInteger(std::int64_t Value) {
    if (Value >= INT8_MIN && Value <= INT8_MAX) {
        WriteValue(vaInt8);
        WriteRaw<std::int8_t>(stream_, static_cast<std::int8_t>(Value));
    } else if (Value >= INT16_MIN && Value <= INT16_MAX) {
        WriteValue(vaInt16);
        WriteRaw<std::int16_t>(stream_, static_cast<std::int16_t>(Value));
    } else if (Value >= INT32_MIN && Value <= INT32_MAX) {
        WriteValue(vaInt32);
        WriteRaw<std::int32_t>(stream_, static_cast<std::int32_t>(Value));
    } else {
        WriteValue(vaInt64);
        WriteRaw<std::int64_t>(stream_, Value);
    }
}

void TWriter::WriteFloat(double Value) {
    WriteValue(vaExtended);
    std::uint8_t bytes[10];
    DoubleToExtended(Value, bytes);
    stream_->WriteBuffer(bytes, 10);
}

void TWriter::WriteSingle(float Value) {
    WriteValue(vaSingle);
    WriteRaw<float>(stream_, Value);
}

void TWriter::WriteCurrency(double Value) {
    WriteValue(vaCurrency);
    WriteRaw<std::int64_t>(stream_, static_cast<std::int64_t>(std::llround(Value * 10000.0)));
}

void TWriter::WriteDate(double Value) {
    WriteValue(vaDate);
    WriteRaw<double>(stream_, Value);
}

void TWriter::WriteString(const std::string& Value) {
    if (Value.size() <= 255) {
        WriteValue(vaString);
        WriteRaw<std::uint8_t>(stream_, static_cast<std::uint8_t>(Value.size()));
    } else {
        WriteValue(vaLString);
        WriteLength(static_cast<std::int64_t>(Value.size()));
    }
    if (!Value.empty()) stream_->WriteBuffer(Value.data(), static_cast<std::int32_t>(Value.size()));
}

void TWriter::WriteWideString(const std::wstring& Value) {
    WriteValue(vaWString);
    WriteLength(static_cast<std::int64_t>(Value.size()));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(Value.size() * 2);
    for (wchar_t c : Value) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (!bytes.empty()) stream_->WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void TWriter::WriteUTF8String(const std::string& Utf8) {
    WriteValue(vaUTF8String);
    WriteLength(static_cast<std::int64_t>(Utf8.size()));
    if (!Utf8.empty()) stream_->WriteBuffer(Utf8.data(), static_cast<std::int32_t>(Utf8.size()));
}

void TWriter::WriteIdent(const std::wstring& Ident) {
    if (SameText(Ident, L"False"))
        WriteValue(vaFalse);
    else if (SameText(Ident, L"True"))
        WriteValue(vaTrue);
    else if (SameText(Ident, L"nil"))
        WriteValue(vaNil);
    else if (SameText(Ident, L"Null"))
        WriteValue(vaNull);
    else {
        WriteValue(vaIdent);
        WriteStr(Ident);
    }
}

void TWriter::WriteSet(const std::vector<std::wstring>& Idents) {
    WriteValue(vaSet);
    for (const auto& s : Idents)
        if (!s.empty()) WriteStr(s);
    WriteStr(L"");
}

void TWriter::WriteBinary(const TStreamProc& WriteData) {
    TMemoryStream data;
    if (WriteData) WriteData(&data);
    WriteBinary(data.Bytes());
}

void TWriter::WriteBinary(const std::vector<std::uint8_t>& Bytes) {
    WriteValue(vaBinary);
    WriteLength(static_cast<std::int64_t>(Bytes.size()));
    if (!Bytes.empty()) stream_->WriteBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
}

void TWriter::WriteStr(const std::wstring& Value) {
    std::string text = WideToAnsi(Value);
    if (text.size() > 255) throw EWriteError(Format(L"Name too long to be written: %s", {Value.substr(0, 64)}));
    WriteRaw<std::uint8_t>(stream_, static_cast<std::uint8_t>(text.size()));
    if (!text.empty()) stream_->WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
}

void TWriter::WritePropName(const std::wstring& Name) { WriteStr(propPath_ + Name); }

void TWriter::DefineProperty(const std::wstring& Name, TReaderProc, TWriterProc WriteData, bool HasData) {
    if (HasData && WriteData) {
        WritePropName(Name);
        WriteData(this);
    }
}

void TWriter::DefineBinaryProperty(const std::wstring& Name, TStreamProc, TStreamProc WriteData, bool HasData) {
    if (HasData && WriteData) {
        WritePropName(Name);
        WriteBinary(WriteData);
    }
}

void TWriter::WriteProperty(TPersistent* Instance, const TPropInfo& Prop) {
    if (!Prop.Getter) return;
    TPersistent* anc = ancestor_;
    PPropInfo ancProp = anc != nullptr ? GetPropInfo(anc, Prop.Name) : nullptr;
    if (ancProp && (ancProp->Kind != Prop.Kind || !ancProp->Getter)) ancProp = nullptr;

    if (Prop.Kind == tkClass) {
        // A nested object (a list, a font) writes its own properties under "Name.".
        TPropValue value = Prop.Getter(Instance);
        auto* object = std::get_if<TPersistent*>(&value);
        if (object == nullptr || *object == nullptr) return;
        if (auto* component = dynamic_cast<TComponent*>(*object)) {
            WriteReference(Prop, component, ancProp ? ancProp->Getter(anc) : TPropValue{});
            return;
        }
        TPersistent* ancObject = nullptr;
        if (ancProp) {
            TPropValue av = ancProp->Getter(anc);
            if (auto* p = std::get_if<TPersistent*>(&av)) ancObject = *p;
        }
        std::wstring savedPath = propPath_;
        TPersistent* savedAncestor = ancestor_;
        propPath_ += Prop.Name + L".";
        ancestor_ = ancObject;
        try {
            WriteProperties(*object);
        } catch (...) {
            propPath_ = savedPath;
            ancestor_ = savedAncestor;
            throw;
        }
        propPath_ = savedPath;
        ancestor_ = savedAncestor;
        return;
    }

    if (!Prop.Setter) return;  // a property that could not be read back is not written
    TPropValue value = Prop.Getter(Instance);
    if (ancProp) {
        if (value == ancProp->Getter(anc)) return;
    } else if (IsOrdinalKind(Prop.Kind)) {
        auto* v = std::get_if<std::int64_t>(&value);
        if (v == nullptr || (Prop.Default != NoDefault && *v == Prop.Default)) return;
    } else if (auto* s = std::get_if<std::string>(&value)) {
        if (s->empty()) return;
    } else if (auto* w = std::get_if<std::wstring>(&value)) {
        if (w->empty()) return;
    } else if (auto* d = std::get_if<double>(&value)) {
        if (*d == 0.0) return;
    }

    auto ordinal = [&]() -> std::int64_t {
        auto* v = std::get_if<std::int64_t>(&value);
        if (v == nullptr) throw EWriteError(Format(L"Invalid value of property %s", {Prop.Name}));
        return *v;
    };
    switch (Prop.Kind) {
    case tkInteger:
    case tkInt64: {
        std::int64_t v = ordinal();
        WritePropName(Prop.Name);
        WriteInteger(v);
        break;
    }
    case tkChar: {
        std::int64_t v = ordinal();
        WritePropName(Prop.Name);
        WriteChar(static_cast<char>(v));
        break;
    }
    case tkWChar: {
        std::int64_t v = ordinal();
        WritePropName(Prop.Name);
        WriteWideChar(static_cast<wchar_t>(v));
        break;
    }
    case tkEnumeration: {
        std::int64_t v = ordinal();
        if (v < 0 || v >= static_cast<std::int64_t>(Prop.EnumNames.size()))
            throw EWriteError(Format(L"Invalid value of property %s", {Prop.Name}));
        WritePropName(Prop.Name);
        WriteIdent(Prop.EnumNames[static_cast<size_t>(v)]);
        break;
    }
    case tkFloat:
        if (auto* d = std::get_if<double>(&value)) {
            WritePropName(Prop.Name);
            WriteFloat(*d);
        }
        break;
    case tkString:
    case tkLString:
        if (auto* s = std::get_if<std::string>(&value)) {
            WritePropName(Prop.Name);
            WriteString(*s);
        }
        break;
    case tkWString:
        if (auto* w = std::get_if<std::wstring>(&value)) {
            WritePropName(Prop.Name);
            WriteWideString(*w);
        }
        break;
    default: break;  // not streamed
    }
}

void TWriter::WriteReference(const TPropInfo& Prop, TComponent* Component, const TPropValue& AncestorValue) {
    // Only a reference the reader can resolve: to the root or to a component it owns.
    if (!Prop.Setter || lookupRoot_ == nullptr || Component->Name().empty()) return;
    if (Component != lookupRoot_ && Component->Owner() != lookupRoot_) return;
    if (const auto* a = std::get_if<TPersistent*>(&AncestorValue)) {
        auto* ancestorComponent = dynamic_cast<TComponent*>(*a);
        if (ancestorComponent != nullptr && SameText(ancestorComponent->Name(), Component->Name())) return;
    }
    WritePropName(Prop.Name);
    WriteIdent(Component->Name());
}

void TWriter::WriteProperties(TPersistent* Instance) {
    for (const PPropInfo& prop : GetPropInfos(Instance))
        if (prop->IsStored(Instance)) WriteProperty(Instance, *prop);
    Instance->DefineProperties(this);
}

void TWriter::WriteComponent(TComponent* Component) {
    bool isRoot = root_ == nullptr || Component == root_;
    if (root_ == nullptr) root_ = Component;
    if (lookupRoot_ == nullptr) lookupRoot_ = root_;
    TPersistent* savedAncestor = ancestor_;
    if (isRoot)
        ancestor_ = rootAncestor_;
    else
        ancestor_ = rootAncestor_ != nullptr ? rootAncestor_->FindComponent(Component->Name()) : nullptr;
    bool wasWriting = Component->HasState(csWriting);
    Component->SetWritingState(true);
    try {
        WriteStr(Component->ClassName());
        WriteStr(Component->Name());
        WriteProperties(Component);
        WriteListEnd();
        if (isRoot)
            for (int i = 0; i < Component->ComponentCount(); ++i)
                if (!WrittenByParent(Component->Components(i), root_)) WriteComponent(Component->Components(i));
        if (auto* parent = dynamic_cast<IStreamParent*>(Component))
            parent->GetChildren([this](TComponent* Child) { WriteComponent(Child); }, root_);
        WriteListEnd();
    } catch (...) {
        Component->SetWritingState(wasWriting);
        ancestor_ = savedAncestor;
        throw;
    }
    Component->SetWritingState(wasWriting);
    ancestor_ = savedAncestor;
}

void TWriter::WriteDescendent(TComponent* Root, TComponent* AAncestor) {
    root_ = Root;
    lookupRoot_ = Root;
    rootAncestor_ = AAncestor;
    ancestor_ = AAncestor;
    stream_->WriteBuffer("TPF0", 4);
    WriteComponent(Root);
}

}  // namespace classlib
