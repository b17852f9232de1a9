// The class library's filer: typed values over a stream (TReader, TWriter), properties defined by
// DefineProperties, a small published-property table per class, and writing and reading
// components with their properties.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "classlib/objects.h"
#include "classlib/streams.h"

namespace classlib {

// Value types of the property stream; each value starts with one of these bytes.
enum TValueType : std::uint8_t {
    vaNull = 0,
    vaList = 1,
    vaInt8 = 2,
    vaInt16 = 3,
    vaInt32 = 4,
    vaExtended = 5,
    vaString = 6,      // length byte, ANSI text
    vaIdent = 7,       // length byte, identifier
    vaFalse = 8,
    vaTrue = 9,
    vaBinary = 10,     // 32-bit byte count, bytes
    vaSet = 11,        // identifiers (length byte each), ended by an empty one
    vaLString = 12,    // 32-bit length, ANSI text
    vaNil = 13,
    vaCollection = 14,
    vaSingle = 15,
    vaCurrency = 16,   // 64-bit integer, value times 10000
    vaDate = 17,       // 8-byte double
    vaWString = 18,    // 32-bit length in characters, then UTF-16LE
    vaInt64 = 19,
    vaUTF8String = 20, // 32-bit byte count, UTF-8
};

class TReader;
class TWriter;

using TReaderProc = std::function<void(TReader* Reader)>;
using TWriterProc = std::function<void(TWriter* Writer)>;
using TStreamProc = std::function<void(TStream* Stream)>;

// ---------------------------------------------------------------------------------------------
// Published properties: a table per class, filled by the class (usually once at start-up).

enum TTypeKind {
    tkUnknown,
    tkInteger,
    tkChar,
    tkEnumeration,  // Boolean is an enumeration with the names False, True
    tkFloat,
    tkString,
    tkSet,
    tkClass,
    tkMethod,
    tkWChar,
    tkLString,
    tkWString,
    tkVariant,
    tkInt64,
};

// Kinds written and read as whole numbers.
inline bool IsOrdinalKind(TTypeKind kind) {
    return kind == tkInteger || kind == tkChar || kind == tkWChar || kind == tkEnumeration || kind == tkInt64;
}

// The declared default that means "no default".
constexpr std::int32_t NoDefault = INT32_MIN;

// A property value: ordinal kinds (integer, char, wide char, enumeration, Int64) as an integer,
// tkLString/tkString as ANSI text, tkWString as wide text, tkFloat as a double, tkClass as an object.
using TPropValue = std::variant<std::monostate, std::int64_t, std::string, std::wstring, double, TPersistent*>;

struct TPropInfo {
    std::wstring Name;
    TTypeKind Kind = tkUnknown;
    std::function<TPropValue(TPersistent* Instance)> Getter;
    std::function<void(TPersistent* Instance, const TPropValue& Value)> Setter;
    std::function<bool(TPersistent* Instance)> Stored;  // none: always stored
    std::int32_t Default = NoDefault;                   // ordinal kinds only
    std::vector<std::wstring> EnumNames;                // tkEnumeration: the names by ordinal value

    bool IsStored(TPersistent* Instance) const { return !Stored || Stored(Instance); }
};
using PPropInfo = std::shared_ptr<const TPropInfo>;

// Registers (or replaces) the published properties a class declares itself; the class's
// properties are its parent's, then its own, in declaration order.
void RegisterPublishedProperties(const std::wstring& ClassName, const std::wstring& ParentClassName,
                                 std::vector<TPropInfo> Properties);
void UnregisterPublishedProperties(const std::wstring& ClassName);
// The instance's published properties in declaration order (empty for an unregistered class).
std::vector<PPropInfo> GetPropInfos(const TObject* Instance);
// By name, ignoring ASCII case; nullptr when the instance has no such published property. A class
// that declares a property again replaces its parent's (in the parent's place).
PPropInfo GetPropInfo(const TObject* Instance, const std::wstring& PropName);
// The same for a class by name (its own declaration or its registered ancestors').
PPropInfo GetClassPropInfo(const std::wstring& ClassName, const std::wstring& PropName);
// The class and its registered ancestors, the class itself first.
std::vector<std::wstring> ClassNameChain(const std::wstring& ClassName);
// True when the instance's class is ClassName or registered as derived from it.
bool InheritsFromClass(const TObject* Instance, const std::wstring& ClassName);

// Components created by name while reading children of a root.
using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;
void RegisterComponentClass(const std::wstring& ClassName, TComponentFactory Factory);
void UnregisterComponentClass(const std::wstring& ClassName);

// ---------------------------------------------------------------------------------------------

class TFiler : public TObject {
public:
    CLASSLIB_CLASS_NAME(TFiler)
    explicit TFiler(TStream* Stream) : stream_(Stream) {}

    TStream* Stream() const { return stream_; }
    TComponent* Root() const { return root_; }
    void SetRoot(TComponent* Value) { root_ = Value; }
    TComponent* LookupRoot() const { return lookupRoot_; }
    // The object of the ancestor that corresponds to the object whose properties are being
    // written (nullptr when there is none); a reader has none.
    TPersistent* Ancestor() const { return ancestor_; }
    void SetAncestor(TPersistent* Value) { ancestor_ = Value; }

    // Defines a property that the published-property table does not hold. A reader calls
    // ReadData when the property being read has this name; a writer writes the name and calls
    // WriteData when HasData is true.
    virtual void DefineProperty(const std::wstring& Name, TReaderProc ReadData, TWriterProc WriteData,
                                bool HasData) = 0;
    // The same for a block of bytes (value type vaBinary).
    virtual void DefineBinaryProperty(const std::wstring& Name, TStreamProc ReadData, TStreamProc WriteData,
                                      bool HasData) = 0;

protected:
    TStream* stream_;
    TComponent* root_ = nullptr;
    TComponent* lookupRoot_ = nullptr;
    TPersistent* ancestor_ = nullptr;
};

class TReader : public TFiler {
public:
    CLASSLIB_CLASS_NAME(TReader)
    explicit TReader(TStream* Stream) : TFiler(Stream) {}

    void DefineProperty(const std::wstring& Name, TReaderProc ReadData, TWriterProc WriteData,
                        bool HasData) override;
    void DefineBinaryProperty(const std::wstring& Name, TStreamProc ReadData, TStreamProc WriteData,
                              bool HasData) override;

    // Values. A value of a type the call does not accept raises EReadError "Invalid property
    // value"; a stream that ends inside a value raises EReadError "Stream read error".
    TValueType ReadValue();
    TValueType NextValue();  // peeks
    bool EndOfList() { return NextValue() == vaNull; }
    void ReadListBegin();
    void ReadListEnd();
    std::int32_t ReadInteger();  // vaInt8, vaInt16, vaInt32
    std::int64_t ReadInt64();    // also vaInt64
    bool ReadBoolean();
    double ReadFloat();          // vaExtended, vaSingle, vaDate, vaCurrency, or an integer
    double ReadSingle();
    double ReadCurrency();
    double ReadDate();
    // ANSI text (the runtime code page) from vaString, vaLString, vaWString or vaUTF8String.
    std::string ReadString();
    // Wide text from the same value types; ANSI text is widened with the runtime code page.
    std::wstring ReadWideString();
    char ReadChar();             // a text of at most one character; 0 for an empty text
    wchar_t ReadWideChar();
    // vaIdent, and vaFalse/vaTrue/vaNil/vaNull as "False"/"True"/"nil"/"Null".
    std::wstring ReadIdent();
    std::vector<std::wstring> ReadSet();
    std::vector<std::uint8_t> ReadBinary();
    // A short string (length byte, ANSI): class, component and property names.
    std::wstring ReadStr();
    void SkipValue();

    // Components. ReadRootComponent checks the signature; both raise EReadError for unknown
    // properties ("Property %s does not exist") and wrap every failure inside a property as
    // "Error reading <component>.<property>: <reason>". A component reference (a tkClass
    // property given a name) is set once the whole stream is read, before Loaded, to the root's
    // component of that name (or the root); a name that none has fails the read ("Component %s
    // not found").
    void ReadRootComponent(TComponent* Root);
    // Reads one component's header, properties and children (the root's, or a stream parent's)
    // into Component; children are found by name among the root's components or created through
    // RegisterComponentClass, owned by the root. When the read fails, every component it
    // created is freed again.
    TComponent* ReadComponent(TComponent* Component);
    // Reads properties up to the end of the list (vaNull), which is consumed.
    void ReadProperties(TPersistent* Instance);
    void ReadProperty(TPersistent* Instance);

private:
    void ReadPropValue(TPersistent* Instance, const TPropInfo& Prop);
    void SkipValueAt(int depth);
    void CheckRemaining(std::int64_t bytes);
    std::string ReadAnsiBytes(std::int64_t count);
    std::wstring ReadWideChars(std::int64_t count);
    void BeginComponent(TComponent* Component);

    void ResolveFixups();

    // A component reference waiting for the end of the stream.
    struct TFixup {
        TPersistent* Instance;
        TPropInfo Prop;
        std::wstring Name;
    };
    std::vector<TFixup> fixups_;
    std::wstring propName_;  // the defined property being looked for; empty once consumed
    std::vector<TComponent*> loaded_;
    std::vector<TComponent*> created_;  // by this read, freed again when it fails
    // Children whose parent this read changed, with their former parent, put back when it fails.
    std::vector<std::pair<TComponent*, TComponent*>> parented_;
    TComponent* parent_ = nullptr;  // the component whose children are being read
    int depth_ = 0;  // nesting of ReadComponent: the outermost call finishes the loading
};

class TWriter : public TFiler {
public:
    CLASSLIB_CLASS_NAME(TWriter)
    explicit TWriter(TStream* Stream) : TFiler(Stream) {}

    void DefineProperty(const std::wstring& Name, TReaderProc ReadData, TWriterProc WriteData,
                        bool HasData) override;
    void DefineBinaryProperty(const std::wstring& Name, TStreamProc ReadData, TStreamProc WriteData,
                              bool HasData) override;

    // The ancestor of the root being written and the root it belongs to (for a descendent).
    TComponent* RootAncestor() const { return rootAncestor_; }
    void SetRootAncestor(TComponent* Value) { rootAncestor_ = Value; }

    void WriteValue(TValueType Value);
    void WriteListBegin() { WriteValue(vaList); }
    void WriteListEnd() { WriteValue(vaNull); }
    void WriteInteger(std::int64_t Value);  // the smallest of vaInt8, vaInt16, vaInt32, vaInt64
    void WriteBoolean(bool Value) { WriteValue(Value ? vaTrue : vaFalse); }
    void WriteFloat(double Value);          // vaExtended
    void WriteSingle(float Value);
    void WriteCurrency(double Value);
    void WriteDate(double Value);
    // ANSI text: vaString up to 255 bytes, vaLString above.
    void WriteString(const std::string& Value);
    void WriteWideString(const std::wstring& Value);  // vaWString
    void WriteUTF8String(const std::string& Utf8);    // vaUTF8String
    void WriteChar(char Value) { WriteString(std::string(1, Value)); }
    void WriteWideChar(wchar_t Value) { WriteWideString(std::wstring(1, Value)); }
    // "False", "True", "nil" and "Null" become their own value types.
    void WriteIdent(const std::wstring& Ident);
    void WriteSet(const std::vector<std::wstring>& Idents);
    void WriteBinary(const TStreamProc& WriteData);
    void WriteBinary(const std::vector<std::uint8_t>& Bytes);
    // A short string; raises EWriteError for text longer than 255 bytes.
    void WriteStr(const std::wstring& Value);

    // Writes the signature and the root with its owned components (those that have a parent
    // component owned by the root are written as that parent's children).
    void WriteRootComponent(TComponent* Root) { WriteDescendent(Root, nullptr); }
    // The same, writing only what differs from AAncestor (the root's ancestor).
    void WriteDescendent(TComponent* Root, TComponent* AAncestor);
    void WriteComponent(TComponent* Component);
    // The published properties, then those defined by DefineProperties (no end marker).
    void WriteProperties(TPersistent* Instance);

    // The prefix of the property names being written ("Lines." inside a nested object). Code
    // that writes a collection of objects with properties of their own clears it meanwhile.
    const std::wstring& PropPath() const { return propPath_; }
    void SetPropPath(const std::wstring& Value) { propPath_ = Value; }

private:
    void WriteProperty(TPersistent* Instance, const TPropInfo& Prop);
    // A component reference: the component's name, when the reader can find it.
    void WriteReference(const TPropInfo& Prop, TComponent* Component, const TPropValue& AncestorValue);
    void WritePropName(const std::wstring& Name);
    void WriteLength(std::int64_t length);

    TComponent* rootAncestor_ = nullptr;
    std::wstring propPath_;  // "Lines." while writing the properties of a nested object
};

// ---------------------------------------------------------------------------------------------
// Form resources: a component stream ("TPF0") kept as an RCDATA resource of the program's module,
// named after the class it belongs to.

// Reads the resource ResName of the program's module into Instance (its root); false when the
// module has no such resource. A malformed stream raises as ReadRootComponent does.
bool ReadComponentRes(const std::wstring& ResName, TComponent* Instance);
// Reads the form resources of Instance's class and of its registered ancestors below
// RootAncestor (the class table of RegisterPublishedProperties gives the ancestors), an
// ancestor's before its descendant's, so that a descendant's stream changes what its ancestor's
// made. Answers whether any resource was found.
bool InitInheritedComponent(TComponent* Instance, const std::wstring& RootAncestor);

}  // namespace classlib
