// Wide component properties: the companion properties older form streams carry beside wide
// properties, wide texts kept in step with their ANSI shadows, the helper component that holds
// wide properties for a component without room for them, and the form-property streaming of
// wide string lists ("Strings" and its legacy forms).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classlib/filer.h"
#include "classlib/objects.h"

namespace unicode {

// Defines the companions of every published wide-string and wide-character property of Instance
// (in declaration order): Name + "W" and Name + "_UTF7". Called from DefineProperties.
void UcPersistent_DefineWideProperties(classlib::TFiler* Filer, classlib::TPersistent* Instance);

// Companions of a wide-string property: read and dropped, never written.
class TUcWideStringPropertyFiler {
public:
    TUcWideStringPropertyFiler(classlib::TPersistent* Instance, classlib::PPropInfo PropInfo);
    void DefineProperties(classlib::TFiler* Filer);

private:
    void ReadDataUTF8(classlib::TReader* Reader);
    void ReadDataUTF7(classlib::TReader* Reader);

    classlib::TPersistent* instance_;
    classlib::PPropInfo propInfo_;
};

// Companions of a wide-character property: Name + "W" is read, applied and written when it
// differs from the default (or the ancestor); Name + "_UTF7" is read and applied.
class TUcWideCharPropertyFiler {
public:
    TUcWideCharPropertyFiler(classlib::TFiler* Filer, classlib::TPersistent* Instance, classlib::PPropInfo PropInfo);
    void DefineProperties(classlib::TFiler* Filer);

private:
    bool HasData() const;
    bool IsDefault(wchar_t Value) const;
    wchar_t Value(classlib::TPersistent* Object) const;
    void SetValue(wchar_t Value);
    void ReadDataW(classlib::TReader* Reader);
    void WriteDataW(classlib::TWriter* Writer);
    void ReadDataUTF7(classlib::TReader* Reader);

    classlib::TWriter* writer_;  // nullptr while reading
    classlib::TPersistent* instance_;
    classlib::PPropInfo propInfo_;
};

// The wide text, first replaced by AnsiStr widened when its ANSI form (default code page) is
// no longer AnsiStr: the ANSI text was changed behind the wide one's back.
std::wstring GetSyncedWideString(std::wstring& WideStr, const std::string& AnsiStr);
// Sets the wide text and its ANSI shadow. A text without an ANSI form whose substitute equals
// the current ANSI text first sets the ANSI text to empty, so that the control sees a change; so
// does the substitute itself replacing a text without an ANSI form.
void SetSyncedWideString(const std::wstring& Value, std::wstring& WideStr, std::string AnsiStr,
                         const std::function<void(const std::string&)>& SetAnsiStr);

class TWideComponentHelper;

// Helpers of one kind, ordered by the address of the component each serves, at most one per
// component. The list owns its helpers: destroying it destroys those still present.
class TWideComponentHelperList : public classlib::TList {
public:
    CLASSLIB_CLASS_NAME(TWideComponentHelperList)
    TWideComponentHelperList() = default;
    ~TWideComponentHelperList() override;
    TWideComponentHelperList(const TWideComponentHelperList&) = delete;
    TWideComponentHelperList& operator=(const TWideComponentHelperList&) = delete;
    TWideComponentHelper* Helpers(int Index) const { return static_cast<TWideComponentHelper*>(Items(Index)); }
};

// Holds wide properties for the component it serves; frees itself when that component goes.
class TWideComponentHelper : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TWideComponentHelper)
    // The plain component constructor must not be used: raises EUcInternalError.
    explicit TWideComponentHelper(classlib::TComponent* AOwner);
    // Serves AOwner (which does not own the helper) and joins HelperList at its ordered place.
    // A second helper for the same component raises EUcInternalError.
    TWideComponentHelper(classlib::TComponent* AOwner, TWideComponentHelperList* HelperList);
    ~TWideComponentHelper() override;

    classlib::TComponent* Component() const { return component_; }

protected:
    void Notification(classlib::TComponent* AComponent, classlib::TOperation Operation) override;

private:
    classlib::TComponent* component_ = nullptr;
    TWideComponentHelperList* helperList_ = nullptr;
};

// The helper serving Component, or nullptr.
TWideComponentHelper* FindWideComponentHelper(const TWideComponentHelperList* HelperList,
                                              const classlib::TComponent* Component);

// ---------------------------------------------------------------------------------------------
// Form-property streaming of a wide string list, through callbacks onto the list.

struct TWideStringsFiling {
    std::function<int()> Count;
    std::function<std::wstring(int Index)> Get;
    std::function<void()> Clear;
    std::function<void(const std::wstring& S)> Add;
    std::function<void(const std::wstring& Text)> SetText;  // the whole text, split into lines
    std::function<void()> BeginUpdate;                      // optional
    std::function<void()> EndUpdate;                        // optional
    // True when Ancestor is a wide list with the same lines.
    std::function<bool(classlib::TPersistent* Ancestor)> EqualsAncestor;
};

// "Strings": reads a single ANSI or wide string as the whole text, or a list of ANSI or wide
// strings as the lines; writes a list of wide strings when the list differs from the filer's
// ancestor or, without one, is not empty.
void DefineWideStringsProperty(classlib::TFiler* Filer, const TWideStringsFiling& List);
// The legacy properties, never written: "WideStrings" (as "Strings"), "WideStringsW" (UTF-8
// lines, applied only while the list is empty), "WideStrings_UTF7" (read and dropped).
void DefineLegacyWideStringsProperties(classlib::TFiler* Filer, const TWideStringsFiling& List);

// The pieces, for lists that need them separately.
void ReadWideStringsValue(classlib::TReader* Reader, const TWideStringsFiling& List);
void WriteWideStringsValue(classlib::TWriter* Writer, const TWideStringsFiling& List);
bool WideStringsHasData(const classlib::TFiler* Filer, const TWideStringsFiling& List);

// The callbacks for a list class with the wide list's operations (Count, Get, Clear, Add,
// SetTextStr, BeginUpdate, EndUpdate, Equals): DefineWideStringsProperty(Filer,
// WideStringsFilingOf(this)) from its DefineProperties.
template <class L>
TWideStringsFiling WideStringsFilingOf(L* List) {
    TWideStringsFiling f;
    f.Count = [List] { return List->Count(); };
    f.Get = [List](int Index) { return List->Get(Index); };
    f.Clear = [List] { List->Clear(); };
    f.Add = [List](const std::wstring& S) { List->Add(S); };
    f.SetText = [List](const std::wstring& Text) { List->SetTextStr(Text); };
    f.BeginUpdate = [List] { List->BeginUpdate(); };
    f.EndUpdate = [List] { List->EndUpdate(); };
    f.EqualsAncestor = [List](classlib::TPersistent* Ancestor) {
        auto* other = dynamic_cast<const L*>(Ancestor);
        return other != nullptr && List->Equals(other);
    };
    return f;
}

}  // namespace unicode
