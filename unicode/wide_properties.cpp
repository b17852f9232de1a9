#include "unicode/wide_properties.h"

#include <vector>

#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "unicode/wide_codecs.h"
#include "unicode/wide_files.h"
#include "unicode/wide_platform.h"

namespace unicode {

using classlib::EReadError;
using classlib::PPropInfo;
using classlib::TFiler;
using classlib::TPersistent;
using classlib::TReader;
using classlib::TValueType;
using classlib::TWriter;

namespace {

[[noreturn]] void PropValueError() { throw EReadError(L"Invalid property value"); }

std::wstring Widen(const std::string& S) { return classlib::AnsiToWide(S, DefaultSystemCodePage()); }
std::string Narrow(const std::wstring& S) { return classlib::WideToAnsi(S, DefaultSystemCodePage()); }

}  // namespace

// --- companion properties ------------------------------------------------------------------------

void UcPersistent_DefineWideProperties(TFiler* Filer, TPersistent* Instance) {
    if (Filer == nullptr || Instance == nullptr) return;
    for (const PPropInfo& prop : classlib::GetPropInfos(Instance)) {
        if (!prop) break;
        if (prop->Kind == classlib::tkWString) {
            TUcWideStringPropertyFiler filer(Instance, prop);
            filer.DefineProperties(Filer);
        } else if (prop->Kind == classlib::tkWChar) {
            TUcWideCharPropertyFiler filer(Filer, Instance, prop);
            filer.DefineProperties(Filer);
        }
    }
}

TUcWideStringPropertyFiler::TUcWideStringPropertyFiler(TPersistent* Instance, PPropInfo PropInfo)
    : instance_(Instance), propInfo_(std::move(PropInfo)) {}

void TUcWideStringPropertyFiler::DefineProperties(TFiler* Filer) {
    // Only for a published wide-string property the instance really has.
    PPropInfo own = classlib::GetPropInfo(instance_, propInfo_->Name);
    if (!own || own->Kind != classlib::tkWString) return;
    Filer->DefineProperty(propInfo_->Name + L"W", [this](TReader* r) { ReadDataUTF8(r); }, nullptr, false);
    Filer->DefineProperty(propInfo_->Name + L"_UTF7", [this](TReader* r) { ReadDataUTF7(r); }, nullptr, false);
}

// The property's own value (read before or after) is the one that counts: the companions are
// consumed and dropped, undecoded.
void TUcWideStringPropertyFiler::ReadDataUTF8(TReader* Reader) { Reader->ReadString(); }
void TUcWideStringPropertyFiler::ReadDataUTF7(TReader* Reader) { Reader->ReadString(); }

TUcWideCharPropertyFiler::TUcWideCharPropertyFiler(TFiler* Filer, TPersistent* Instance, PPropInfo PropInfo)
    : writer_(dynamic_cast<TWriter*>(Filer)), instance_(Instance), propInfo_(std::move(PropInfo)) {}

void TUcWideCharPropertyFiler::DefineProperties(TFiler* Filer) {
    Filer->DefineProperty(
        propInfo_->Name + L"W", [this](TReader* r) { ReadDataW(r); }, [this](TWriter* w) { WriteDataW(w); },
        HasData());
    Filer->DefineProperty(propInfo_->Name + L"_UTF7", [this](TReader* r) { ReadDataUTF7(r); }, nullptr, false);
}

wchar_t TUcWideCharPropertyFiler::Value(TPersistent* Object) const {
    PPropInfo prop = Object == instance_ ? propInfo_ : classlib::GetPropInfo(Object, propInfo_->Name);
    if (!prop || !prop->Getter) return L'\0';
    classlib::TPropValue v = prop->Getter(Object);
    auto* ordinal = std::get_if<std::int64_t>(&v);
    return ordinal != nullptr ? static_cast<wchar_t>(*ordinal) : L'\0';
}

void TUcWideCharPropertyFiler::SetValue(wchar_t Value) {
    if (!propInfo_->Setter) throw EReadError(L"Property is read-only");
    propInfo_->Setter(instance_, static_cast<std::int64_t>(static_cast<std::uint16_t>(Value)));
}

bool TUcWideCharPropertyFiler::IsDefault(wchar_t V) const {
    if (!propInfo_->Getter || !propInfo_->Setter) return true;
    TPersistent* ancestor = writer_->Ancestor();
    classlib::TComponent* rootAncestor = writer_->RootAncestor();
    bool ancestorValid = ancestor != nullptr && rootAncestor != nullptr &&
                         classlib::InheritsFromClass(writer_->Root(), rootAncestor->ClassName());
    if (ancestorValid) {
        PPropInfo ancProp = classlib::GetPropInfo(ancestor, propInfo_->Name);
        return ancProp && ancProp->Kind == classlib::tkWChar && V == Value(ancestor);
    }
    return propInfo_->Default != classlib::NoDefault &&
           static_cast<std::int64_t>(static_cast<std::uint16_t>(V)) == propInfo_->Default;
}

bool TUcWideCharPropertyFiler::HasData() const {
    if (writer_ == nullptr) return false;
    if (!propInfo_->IsStored(instance_)) return false;
    wchar_t v = Value(instance_);
    if (TPersistent* ancestor = writer_->Ancestor()) {
        PPropInfo ancProp = classlib::GetPropInfo(ancestor, propInfo_->Name);
        if (ancProp && ancProp->Kind == classlib::tkWChar && v == Value(ancestor)) return false;
    }
    return !IsDefault(v);
}

void TUcWideCharPropertyFiler::ReadDataW(TReader* Reader) {
    std::wstring text;
    switch (Reader->NextValue()) {
    case classlib::vaString: text = Widen(Reader->ReadString()); break;
    case classlib::vaWString: text = Reader->ReadWideString(); break;
    default: PropValueError();
    }
    if (text.size() >= 2) PropValueError();
    SetValue(text.empty() ? L'\0' : text[0]);
}

void TUcWideCharPropertyFiler::WriteDataW(TWriter* Writer) { Writer->WriteWideString(std::wstring(1, Value(instance_))); }

void TUcWideCharPropertyFiler::ReadDataUTF7(TReader* Reader) {
    std::wstring text = UTF7ToWideString(Reader->ReadString());
    SetValue(text.empty() ? L'\0' : text[0]);
}

// --- synced wide texts -------------------------------------------------------------------------

std::wstring GetSyncedWideString(std::wstring& WideStr, const std::string& AnsiStr) {
    if (Narrow(WideStr) != AnsiStr) WideStr = Widen(AnsiStr);
    return WideStr;
}

void SetSyncedWideString(const std::wstring& Value, std::wstring& WideStr, std::string AnsiStr,
                         const std::function<void(const std::string&)>& SetAnsiStr) {
    const std::wstring current = GetSyncedWideString(WideStr, AnsiStr);
    if (Value == current) return;
    std::string ansi = Narrow(Value);
    // The control would see no change of its ANSI text and skip its update: force one. This
    // holds also when the text it shows now has no ANSI form and the new one is its substitute
    // (a text shown as it was while the value moved on would be a plainly wrong result).
    if (ansi == AnsiStr && (Widen(ansi) != Value || Widen(AnsiStr) != current)) SetAnsiStr(std::string());
    WideStr = Value;
    SetAnsiStr(ansi);
}

// --- helper components ---------------------------------------------------------------------------

namespace {

// Ordered search by the served component's address, compared as unsigned pointer-sized values.
bool FindHelperIndex(const TWideComponentHelperList* List, const classlib::TComponent* Component, int& Index) {
    const auto wanted = reinterpret_cast<std::uintptr_t>(Component);
    int L = 0;
    int H = List->Count() - 1;
    bool found = false;
    while (L <= H) {
        int I = static_cast<int>(static_cast<unsigned>(L + H) >> 1);
        const auto served = reinterpret_cast<std::uintptr_t>(List->Helpers(I)->Component());
        if (served < wanted) {
            L = I + 1;
        } else {
            H = I - 1;
            if (served == wanted) {
                found = true;
                L = I;
            }
        }
    }
    Index = L;
    if (found && List->Helpers(Index)->Component() != Component)
        throw classlib::EAssertionFailed(L"UC Internal Error: FindWideComponentHelperIndex failed.");
    return found;
}

}  // namespace

TWideComponentHelperList::~TWideComponentHelperList() {
    // Each helper takes itself out of the list as it goes.
    while (Count() > 0) delete Helpers(Count() - 1);
}

TWideComponentHelper::TWideComponentHelper(classlib::TComponent* /*AOwner*/) : classlib::TComponent(nullptr) {
    throw EUcInternalError(L"UC Internal Error: TWideComponentHelper.Create should never be encountered.");
}

TWideComponentHelper::TWideComponentHelper(classlib::TComponent* AOwner, TWideComponentHelperList* HelperList)
    : classlib::TComponent(nullptr) {
    int index = 0;
    if (HelperList != nullptr && FindHelperIndex(HelperList, AOwner, index))
        throw EUcInternalError(L"UC Internal Error: the component already has a helper of this kind.");
    component_ = AOwner;
    if (component_ != nullptr) component_->FreeNotification(this);
    helperList_ = HelperList;
    if (helperList_ != nullptr) helperList_->Insert(index, this);
}

TWideComponentHelper::~TWideComponentHelper() {
    if (helperList_ != nullptr) helperList_->Remove(this);
    if (component_ != nullptr) component_->RemoveFreeNotification(this);
}

void TWideComponentHelper::Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) {
    classlib::TComponent::Notification(AComponent, Operation);
    if (AComponent != nullptr && AComponent == component_ && Operation == classlib::TOperation::opRemove) {
        component_ = nullptr;
        delete this;  // the caller touches nothing of ours after a removal notification
    }
}

TWideComponentHelper* FindWideComponentHelper(const TWideComponentHelperList* HelperList,
                                              const classlib::TComponent* Component) {
    if (HelperList == nullptr) return nullptr;
    int index = 0;
    return FindHelperIndex(HelperList, Component, index) ? HelperList->Helpers(index) : nullptr;
}

// --- wide string lists -------------------------------------------------------------------------

namespace {

// One item of a "Strings" list: an ANSI string widened with the default code page, or a wide one.
std::wstring ReadListItem(TReader* Reader) {
    switch (Reader->NextValue()) {
    case classlib::vaString:
    case classlib::vaLString: return Widen(Reader->ReadString());
    case classlib::vaWString: return Reader->ReadWideString();
    default: PropValueError();
    }
}

// Replaces the lines inside an update that is closed on every path.
void ReplaceLines(const TWideStringsFiling& List, const std::vector<std::wstring>& Lines) {
    if (List.BeginUpdate) List.BeginUpdate();
    try {
        List.Clear();
        for (const auto& s : Lines) List.Add(s);
    } catch (...) {
        if (List.EndUpdate) List.EndUpdate();
        throw;
    }
    if (List.EndUpdate) List.EndUpdate();
}

}  // namespace

void ReadWideStringsValue(TReader* Reader, const TWideStringsFiling& List) {
    switch (Reader->NextValue()) {
    case classlib::vaString:
    case classlib::vaLString: List.SetText(Widen(Reader->ReadString())); return;
    case classlib::vaWString: List.SetText(Reader->ReadWideString()); return;
    case classlib::vaList: {
        // All items are read before the list changes: a bad item leaves the list as it was.
        Reader->ReadListBegin();
        std::vector<std::wstring> lines;
        while (!Reader->EndOfList()) lines.push_back(ReadListItem(Reader));
        Reader->ReadListEnd();
        ReplaceLines(List, lines);
        return;
    }
    default: PropValueError();
    }
}

void WriteWideStringsValue(TWriter* Writer, const TWideStringsFiling& List) {
    Writer->WriteListBegin();
    const int count = List.Count();
    for (int i = 0; i < count; ++i) Writer->WriteWideString(List.Get(i));
    Writer->WriteListEnd();
}

bool WideStringsHasData(const TFiler* Filer, const TWideStringsFiling& List) {
    if (TPersistent* ancestor = Filer->Ancestor()) return !(List.EqualsAncestor && List.EqualsAncestor(ancestor));
    return List.Count() > 0;
}

void DefineWideStringsProperty(TFiler* Filer, const TWideStringsFiling& List) {
    // Deciding whether to write asks the list; a reader does not need to.
    bool hasData = dynamic_cast<TWriter*>(Filer) != nullptr && WideStringsHasData(Filer, List);
    Filer->DefineProperty(
        L"Strings", [&List](TReader* r) { ReadWideStringsValue(r, List); },
        [&List](TWriter* w) { WriteWideStringsValue(w, List); }, hasData);
}

void DefineLegacyWideStringsProperties(TFiler* Filer, const TWideStringsFiling& List) {
    Filer->DefineProperty(L"WideStrings", [&List](TReader* r) { ReadWideStringsValue(r, List); }, nullptr, false);
    Filer->DefineProperty(
        L"WideStringsW",
        [&List](TReader* r) {
            r->ReadListBegin();
            std::vector<std::wstring> lines;
            while (!r->EndOfList()) {
                if (r->NextValue() == classlib::vaString || r->NextValue() == classlib::vaLString)
                    lines.push_back(UTF8DecodeWide(r->ReadString()));
                else
                    lines.push_back(r->ReadWideString());
            }
            r->ReadListEnd();
            if (List.Count() == 0) ReplaceLines(List, lines);
        },
        nullptr, false);
    Filer->DefineProperty(
        L"WideStrings_UTF7",
        [](TReader* r) {
            r->ReadListBegin();
            while (!r->EndOfList()) r->ReadString();
            r->ReadListEnd();
        },
        nullptr, false);
}

}  // namespace unicode
