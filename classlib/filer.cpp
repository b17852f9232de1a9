#include "classlib/filer.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"

namespace classlib {

namespace {

// Nesting of lists and collections that SkipValue follows before it calls the stream malformed:
// a hostile stream must end in an error, not in a stack overflow.
constexpr int kMaxSkipDepth = 256;
// Class chains longer than this are taken as a registration cycle.
constexpr int kMaxClassDepth = 64;

[[noreturn]] void PropValueError() { throw EReadError(L"Invalid property value"); }
[[noreturn]] void ReadError() { throw EReadError(L"Stream read error"); }

struct TClassEntry {
    std::wstring parent;
    std::vector<PPropInfo> props;
};

std::map<std::wstring, TClassEntry>& ClassTable() {
    static std::map<std::wstring, TClassEntry> table;
    return table;
}

std::map<std::wstring, TComponentFactory>& FactoryTable() {
    static std::map<std::wstring, TComponentFactory> table;
    return table;
}

// The class and its registered ancestors, the class itself first.
std::vector<const TClassEntry*> ClassChain(const std::wstring& className) {
    std::vector<const TClassEntry*> chain;
    std::wstring name = className;
    auto& table = ClassTable();
    while (static_cast<int>(chain.size()) < kMaxClassDepth) {
        auto it = table.find(name);
        if (it == table.end()) break;
        chain.push_back(&it->second);
        name = it->second.parent;
    }
    return chain;
}

// 80-bit extended values, converted by hand so that the layout does not depend on long double.
double ExtendedToDouble(const std::uint8_t bytes[10]) {
    std::uint64_t mantissa = 0;
    std::memcpy(&mantissa, bytes, 8);
    std::uint16_t signExp = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
    bool negative = (signExp & 0x8000) != 0;
    int exponent = signExp & 0x7FFF;
    double value;
    if (exponent == 0x7FFF)
        value = (mantissa << 1) == 0 ? HUGE_VAL : std::nan("");
    else if (exponent == 0 && mantissa == 0)
        value = 0.0;
    else
        value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    return negative ? -value : value;
}

std::wstring InstanceName(TPersistent* Instance) {
    if (auto* c = dynamic_cast<TComponent*>(Instance); c != nullptr && !c->Name().empty()) return c->Name();
    return Instance != nullptr ? Instance->ClassName() : std::wstring(L"nil");
}

}  // namespace

// --- published-property table ------------------------------------------------------------------

void RegisterPublishedProperties(const std::wstring& ClassName, const std::wstring& ParentClassName,
                                 std::vector<TPropInfo> Properties) {
    TClassEntry entry;
    entry.parent = ParentClassName;
    for (auto& p : Properties) entry.props.push_back(std::make_shared<const TPropInfo>(std::move(p)));
    ClassTable()[ClassName] = std::move(entry);
}

void UnregisterPublishedProperties(const std::wstring& ClassName) { ClassTable().erase(ClassName); }

std::vector<PPropInfo> GetPropInfos(const TObject* Instance) {
    std::vector<PPropInfo> result;
    if (Instance == nullptr) return result;
    auto chain = ClassChain(Instance->ClassName());
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const PPropInfo& p : (*it)->props) {
            // A class that declares a property of its parent again replaces it in its place.
            auto same = std::find_if(result.begin(), result.end(),
                                     [&](const PPropInfo& q) { return SameText(q->Name, p->Name); });
            if (same != result.end())
                *same = p;
            else
                result.push_back(p);
        }
    return result;
}

PPropInfo GetClassPropInfo(const std::wstring& ClassName, const std::wstring& PropName) {
    // The most derived declaration wins.
    for (const TClassEntry* entry : ClassChain(ClassName))
        for (const auto& p : entry->props)
            if (SameText(p->Name, PropName)) return p;
    return nullptr;
}

PPropInfo GetPropInfo(const TObject* Instance, const std::wstring& PropName) {
    return Instance != nullptr ? GetClassPropInfo(Instance->ClassName(), PropName) : nullptr;
}

std::vector<std::wstring> ClassNameChain(const std::wstring& ClassName) {
    std::vector<std::wstring> names{ClassName};
    auto& table = ClassTable();
    for (int i = 0; i < kMaxClassDepth; ++i) {
        auto it = table.find(names.back());
        if (it == table.end() || it->second.parent.empty()) break;
        names.push_back(it->second.parent);
    }
    return names;
}

bool InheritsFromClass(const TObject* Instance, const std::wstring& ClassName) {
    if (Instance == nullptr) return false;
    if (Instance->ClassName() == ClassName) return true;
    std::wstring name = Instance->ClassName();
    auto& table = ClassTable();
    for (int i = 0; i < kMaxClassDepth; ++i) {
        auto it = table.find(name);
        if (it == table.end()) return false;
        name = it->second.parent;
        if (name == ClassName) return true;
    }
    return false;
}

void RegisterComponentClass(const std::wstring& ClassName, TComponentFactory Factory) {
    FactoryTable()[ClassName] = std::move(Factory);
}

void UnregisterComponentClass(const std::wstring& ClassName) { FactoryTable().erase(ClassName); }

// --- TReader: values -----------------------------------------------------------------------------

void TReader::CheckRemaining(std::int64_t bytes) {
    if (bytes < 0) PropValueError();
    std::int64_t pos = stream_->Position();
    if (pos < 0 || bytes > stream_->Size() - pos) ReadError();
}

std::string TReader::ReadAnsiBytes(std::int64_t count) {
    CheckRemaining(count);
    std::string text(static_cast<size_t>(count), '\0');
    stream_->ReadBuffer(text.data(), static_cast<std::int32_t>(count));
    return text;
}

std::wstring TReader::ReadWideChars(std::int64_t count) {
    if (count < 0) PropValueError();
    CheckRemaining(count * 2);
    std::vector<std::uint8_t> bytes(static_cast<size_t>(count) * 2);
    stream_->ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    std::wstring text(static_cast<size_t>(count), L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

namespace {
template <typename T>
T ReadRaw(TStream* stream) {
    T value{};
    stream->ReadBuffer(&value, sizeof value);
    return value;
}
}  // namespace

TValueType TReader::ReadValue() { return static_cast<TValueType>(ReadRaw<std::uint8_t>(stream_)); }

TValueType TReader::NextValue() {
    TValueType v = ReadValue();
    stream_->Seek(-1, TSeekOrigin::soCurrent);
    return v;
}

void TReader::ReadListBegin() {
    if (ReadValue() != vaList) PropValueError();
}

void TReader::ReadListEnd() {
    if (ReadValue() != vaNull) PropValueError();
}

std::int32_t TReader::ReadInteger() {
    switch (ReadValue()) {
    case vaInt8: return ReadRaw<std::int8_t>(stream_);
    case vaInt16: return ReadRaw<std::int16_t>(stream_);
    case vaInt32: return ReadRaw<std::int32_t>(stream_);
    default: PropValueError();
    }
}

std::int64_t TReader::ReadInt64() {
    if (NextValue() == vaInt64) {
        ReadValue();
        return ReadRaw<std::int64_t>(stream_);
    }
    return ReadInteger();
}

bool TReader::ReadBoolean() {
    switch (ReadValue()) {
    case vaTrue: return true;
    case vaFalse: return false;
    default: PropValueError();
    }
}

double TReader::ReadFloat() {
    switch (NextValue()) {
    case vaExtended: {
        ReadValue();
        std::uint8_t bytes[10];
        stream_->ReadBuffer(bytes, 10);
        return ExtendedToDouble(bytes);
    }
    case vaSingle: return ReadSingle();
    case vaCurrency: return ReadCurrency();
    case vaDate: return ReadDate();
    default: return ReadInteger();
    }
}

double TReader::ReadSingle() {
    if (NextValue() != vaSingle) return ReadInteger();
    ReadValue();
    return ReadRaw<float>(stream_);
}

double TReader::ReadCurrency() {
    if (NextValue() != vaCurrency) return ReadInteger();
    ReadValue();
    return static_cast<double>(ReadRaw<std::int64_t>(stream_)) / 10000.0;
}

double TReader::ReadDate() {
    if (NextValue() != vaDate) return ReadInteger();
    ReadValue();
    return ReadRaw<double>(stream_);
}

std::string TReader::ReadString() {
    switch (ReadValue()) {
    case vaString: return ReadAnsiBytes(ReadRaw<std::uint8_t>(stream_));
    case vaLString: return ReadAnsiBytes(ReadRaw<std::int32_t>(stream_));
    case vaWString: return WideToAnsi(ReadWideChars(ReadRaw<std::int32_t>(stream_)));
    case vaUTF8String: return WideToAnsi(AnsiToWide(ReadAnsiBytes(ReadRaw<std::int32_t>(stream_)), CP_UTF8));
    default: PropValueError();
    }
}

std::wstring TReader::ReadWideString() {
    switch (ReadValue()) {
    case vaString: return AnsiToWide(ReadAnsiBytes(ReadRaw<std::uint8_t>(stream_)));
    case vaLString: return AnsiToWide(ReadAnsiBytes(ReadRaw<std::int32_t>(stream_)));
    case vaWString: return ReadWideChars(ReadRaw<std::int32_t>(stream_));
    case vaUTF8String: return AnsiToWide(ReadAnsiBytes(ReadRaw<std::int32_t>(stream_)), CP_UTF8);
    default: PropValueError();
    }
}

char TReader::ReadChar() {
    std::string s = ReadString();
    if (s.size() > 1) PropValueError();
    return s.empty() ? '\0' : s[0];
}

wchar_t TReader::ReadWideChar() {
    std::wstring s = ReadWideString();
    if (s.size() > 1) PropValueError();
    return s.empty() ? L'\0' : s[0];
}

std::wstring TReader::ReadIdent() {
    switch (ReadValue()) {
    case vaIdent: return AnsiToWide(ReadAnsiBytes(ReadRaw<std::uint8_t>(stream_)));
    case vaFalse: return L"False";
    case vaTrue: return L"True";
    case vaNil: return L"nil";
    case vaNull: return L"Null";
    default: PropValueError();
    }
}

std::vector<std::wstring> TReader::ReadSet() {
    if (ReadValue() != vaSet) PropValueError();
    std::vector<std::wstring> idents;
    for (std::wstring s = ReadStr(); !s.empty(); s = ReadStr()) idents.push_back(s);
    return idents;
}

std::vector<std::uint8_t> TReader::ReadBinary() {
    if (ReadValue() != vaBinary) PropValueError();
    std::int32_t count = ReadRaw<std::int32_t>(stream_);
    CheckRemaining(count);
    std::vector<std::uint8_t> bytes(static_cast<size_t>(count));
    stream_->ReadBuffer(bytes.data(), count);
    return bytes;
}

std::wstring TReader::ReadStr() { return AnsiToWide(ReadAnsiBytes(ReadRaw<std::uint8_t>(stream_))); }

void TReader::SkipValue() { SkipValueAt(0); }

void TReader::SkipValueAt(int depth) {
    if (depth > kMaxSkipDepth) throw EReadError(L"Invalid stream format");
    auto skip = [this](std::int64_t n) {
        CheckRemaining(n);
        stream_->Seek(n, TSeekOrigin::soCurrent);
    };
    switch (ReadValue()) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil: return;
    case vaList:
        while (!EndOfList()) SkipValueAt(depth + 1);
        ReadListEnd();
        return;
    case vaInt8: return skip(1);
    case vaInt16: return skip(2);
    case vaInt32: return skip(4);
    case vaExtended: return skip(10);
    case vaString:
    case vaIdent: return skip(ReadRaw<std::uint8_t>(stream_));
    case vaBinary:
    case vaLString:
    case vaUTF8String: return skip(ReadRaw<std::int32_t>(stream_));
    case vaWString: return skip(static_cast<std::int64_t>(ReadRaw<std::int32_t>(stream_)) * 2);
    case vaSet:
        while (!ReadStr().empty()) {
        }
        return;
    case vaCollection:
        // Items: an optional order value, then a list of properties.
        while (!EndOfList()) {
            TValueType next = NextValue();
            if (next == vaInt8 || next == vaInt16 || next == vaInt32) SkipValueAt(depth + 1);
            ReadListBegin();
            while (!EndOfList()) {
                ReadStr();
                SkipValueAt(depth + 1);
            }
            ReadListEnd();
        }
        ReadListEnd();
        return;
    case vaSingle: return skip(4);
    case vaCurrency:
    case vaDate:
    case vaInt64: return skip(8);
    default: PropValueError();
    }
}

// --- TReader: properties and components ----------------------------------------------------

void TReader::DefineProperty(const std::wstring& Name, TReaderProc ReadData, TWriterProc, bool) {
    if (!propName_.empty() && ReadData && SameText(Name, propName_)) {
        ReadData(this);
        propName_.clear();
    }
}

void TReader::DefineBinaryProperty(const std::wstring& Name, TStreamProc ReadData, TStreamProc, bool) {
    if (!propName_.empty() && ReadData && SameText(Name, propName_)) {
        std::vector<std::uint8_t> bytes = ReadBinary();
        TMemoryStream data;
        if (!bytes.empty()) data.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        data.SetPosition(0);
        ReadData(&data);
        propName_.clear();
    }
}

void TReader::ReadPropValue(TPersistent* Instance, const TPropInfo& Prop) {
    if (Prop.Kind == tkClass) {
        // A component reference: its name, resolved when the whole stream is read (the
        // component may come later); nil clears it. Object properties are read through their
        // own properties ("Lines.Strings"), never as a value.
        TValueType type = NextValue();
        if (type != vaIdent && type != vaNil) PropValueError();
        if (!Prop.Setter) throw EReadError(L"Property is read-only");
        std::wstring name = ReadIdent();
        if (type == vaNil)
            Prop.Setter(Instance, static_cast<TPersistent*>(nullptr));
        else
            fixups_.push_back({Instance, Prop, name});
        return;
    }
    if (!Prop.Setter) throw EReadError(L"Property is read-only");
    TPropValue value;
    switch (Prop.Kind) {
    case tkInteger: value = static_cast<std::int64_t>(ReadInteger()); break;
    case tkInt64: value = ReadInt64(); break;
    case tkChar: value = static_cast<std::int64_t>(static_cast<unsigned char>(ReadChar())); break;
    case tkWChar: value = static_cast<std::int64_t>(static_cast<std::uint16_t>(ReadWideChar())); break;
    case tkEnumeration: {
        std::wstring ident = ReadIdent();
        auto it = std::find_if(Prop.EnumNames.begin(), Prop.EnumNames.end(),
                               [&](const std::wstring& n) { return SameText(n, ident); });
        if (it == Prop.EnumNames.end()) PropValueError();
        value = static_cast<std::int64_t>(it - Prop.EnumNames.begin());
        break;
    }
    case tkFloat: value = ReadFloat(); break;
    case tkString:
    case tkLString: value = ReadString(); break;
    case tkWString: value = ReadWideString(); break;
    default: PropValueError();  // component references and other kinds are not streamed
    }
    Prop.Setter(Instance, value);
}

void TReader::ReadProperty(TPersistent* Instance) {
    std::wstring path = ReadStr();
    try {
        // "Lines.Strings": walk the published object properties down to the last name.
        TPersistent* target = Instance;
        std::wstring name = path;
        for (size_t dot = name.find(L'.'); dot != std::wstring::npos; dot = name.find(L'.')) {
            PPropInfo prop = GetPropInfo(target, name.substr(0, dot));
            TPersistent* const* object = nullptr;
            TPropValue value;
            if (prop && prop->Kind == tkClass && prop->Getter) {
                value = prop->Getter(target);
                object = std::get_if<TPersistent*>(&value);
            }
            if (object == nullptr || *object == nullptr)
                throw EReadError(Format(L"Property %s does not exist", {name.substr(0, dot)}));
            target = *object;
            name.erase(0, dot + 1);
        }
        if (PPropInfo prop = GetPropInfo(target, name)) {
            ReadPropValue(target, *prop);
        } else {
            propName_ = name;
            target->DefineProperties(this);
            if (!propName_.empty()) throw EReadError(Format(L"Property %s does not exist", {name}));
        }
    } catch (const Exception& e) {
        propName_.clear();
        throw EReadError(Format(L"Error reading %s.%s: %s", {InstanceName(Instance), path, e.Message()}));
    }
}

void TReader::ReadProperties(TPersistent* Instance) {
    while (!EndOfList()) ReadProperty(Instance);
    ReadListEnd();
}

void TReader::BeginComponent(TComponent* Component) {
    Component->SetLoadingState(true);
    Component->SetReadingState(true);
    if (std::find(loaded_.begin(), loaded_.end(), Component) == loaded_.end()) loaded_.push_back(Component);
}

TComponent* TReader::ReadComponent(TComponent* Component) {
    const bool topLevel = depth_ == 0;
    if (topLevel && Component != nullptr) root_ = Component;
    if (root_ == nullptr) throw EReadError(L"Invalid stream format");  // a child needs a root
    if (topLevel) {
        lookupRoot_ = root_;
        loaded_.clear();
        created_.clear();
        parented_.clear();
        fixups_.clear();
        parent_ = nullptr;
    }
    // Children nested in children: a hostile stream must end in an error, not a stack overflow.
    if (depth_ > kMaxSkipDepth) throw EReadError(L"Invalid stream format");
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } depthGuard(depth_);

    auto finish = [this](bool ok) {
        auto loaded = std::move(loaded_);
        loaded_.clear();
        for (TComponent* c : loaded) c->SetReadingState(false);
        for (TComponent* c : loaded) {
            if (ok)
                c->Loaded();
            else
                c->SetLoadingState(false);
        }
    };
    // A failed read leaves nothing half-built: children go back to their former parents (so
    // that no parent frees a child it took in), then what the read created is freed, the last
    // first.
    auto rollBack = [this] {
        auto parented = std::move(parented_);
        auto created = std::move(created_);
        parented_.clear();
        created_.clear();
        for (auto it = parented.rbegin(); it != parented.rend(); ++it) {
            try {
                dynamic_cast<IStreamChild*>(it->first)->SetParentComponent(it->second);
            } catch (...) {
                // Putting a child back is best effort; the read's own error is the one reported.
            }
        }
        for (TComponent* c : created) loaded_.erase(std::remove(loaded_.begin(), loaded_.end(), c), loaded_.end());
        for (auto it = created.rbegin(); it != created.rend(); ++it) delete *it;
    };

    TComponent* result = Component;
    try {
        // Optional prefix byte 0xF? (inherited, child position, inline); a child position follows.
        std::uint8_t first = static_cast<std::uint8_t>(NextValue());
        if ((first & 0xF0) == 0xF0) {
            ReadValue();
            if (first & 0x02) ReadInteger();
        }
        std::wstring className = ReadStr();
        std::wstring name = ReadStr();
        if (result == nullptr) {
            result = name.empty() ? nullptr : root_->FindComponent(name);
            if (result == nullptr) {
                auto it = FactoryTable().find(className);
                if (it == FactoryTable().end() || !it->second)
                    throw EClassNotFound(Format(L"Class %s not found", {className}));
                result = it->second(root_);
                if (result == nullptr) throw EClassNotFound(Format(L"Class %s not found", {className}));
                created_.push_back(result);
                if (result->Owner() != root_) root_->InsertComponent(result);
                result->SetName(name);
            }
        } else if (result->Name().empty() && !name.empty()) {
            result->SetName(name);
        }
        BeginComponent(result);
        ReadProperties(result);
        // A child joins its parent with its properties read, as it was when it was written.
        auto* child = dynamic_cast<IStreamChild*>(result);
        // The root's own children join it only when it is a stream parent (a form, not a data
        // module).
        const bool parentTakesChildren = parent_ != root_ || dynamic_cast<IStreamParent*>(root_) != nullptr;
        if (child != nullptr && parent_ != nullptr && parentTakesChildren && child->GetParentComponent() != parent_) {
            parented_.emplace_back(result, child->GetParentComponent());
            child->SetParentComponent(parent_);
        }
        if (result == root_ || dynamic_cast<IStreamParent*>(result) != nullptr) {
            TComponent* savedParent = parent_;
            parent_ = result;
            while (!EndOfList()) ReadComponent(nullptr);
            parent_ = savedParent;
        }
        ReadListEnd();
        if (topLevel) ResolveFixups();
    } catch (...) {
        if (topLevel) {
            fixups_.clear();
            rollBack();
            finish(false);
        }
        throw;
    }
    if (topLevel) finish(true);
    return result;
}

void TReader::ResolveFixups() {
    auto fixups = std::move(fixups_);
    fixups_.clear();
    for (const TFixup& f : fixups) {
        TComponent* target = root_->FindComponent(f.Name);
        if (target == nullptr && SameText(f.Name, root_->Name())) target = root_;
        try {
            if (target == nullptr) throw EReadError(Format(L"Component %s not found", {f.Name}));
            f.Prop.Setter(f.Instance, static_cast<TPersistent*>(target));
        } catch (const Exception& e) {
            throw EReadError(Format(L"Error reading %s.%s: %s", {InstanceName(f.Instance), f.Prop.Name, e.Message()}));
        }
    }
}

void TReader::ReadRootComponent(TComponent* Root) {
    char signature[4] = {};
    CheckRemaining(4);
    stream_->ReadBuffer(signature, 4);
    if (std::memcmp(signature, "TPF0", 4) != 0) throw EReadError(L"Invalid stream format");
    ReadComponent(Root);
}


// --- form resources -------------------------------------------------------------------------------

bool ReadComponentRes(const std::wstring& ResName, TComponent* Instance) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (!TResourceStream::Exists(module, ResName, MAKEINTRESOURCEW(10) /* RT_RCDATA */)) return false;
    TResourceStream stream(module, ResName, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    TReader reader(&stream);
    reader.ReadRootComponent(Instance);
    return true;
}

bool InitInheritedComponent(TComponent* Instance, const std::wstring& RootAncestor) {
    std::vector<std::wstring> chain = ClassNameChain(Instance->ClassName());
    auto stop = std::find(chain.begin(), chain.end(), RootAncestor);
    bool found = false;
    // From the ancestor just below RootAncestor down to the instance's own class.
    for (auto it = std::make_reverse_iterator(stop); it != chain.rend(); ++it)
        if (ReadComponentRes(*it, Instance)) found = true;
    return found;
}

}  // namespace classlib
