// Wide string lists: ordered UTF-16 lines with attached objects, name=value access, CR LF text,
// sorting and binary search, change notification, and text files with byte-order-mark detection
// (the system's wide text file: FF FE, UTF-16LE, CR LF after every line). Also the ANSI view of a
// wide list for code that works with the class library's ANSI lists.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/objects.h"
#include "classlib/streams.h"
#include "unicode/wide_platform.h"

namespace unicode {

class TWideStrings;

// Error texts of the wide lists, loaded through WideLoadResString.
extern const TResStringRec SListIndexError;   // "List index out of bounds (%d)"
extern const TResStringRec SDuplicateString;  // "String list does not allow duplicates"
extern const TResStringRec SSortedListError;  // "Operation not allowed on sorted list"
extern const TResStringRec SListCapacityError;  // "List capacity out of bounds (%d)"

// {25FE0E3B-66CB-48AA-B23B-BCFA67E8F5DA}
inline constexpr GUID IID_IWideStringsAdapter = {
    0x25FE0E3B, 0x66CB, 0x48AA, {0xB2, 0x3B, 0xBC, 0xFA, 0x67, 0xE8, 0xF5, 0xDA}};

// Told when a wide list starts (ReferenceStrings) and stops (ReleaseStrings) using it.
class IWideStringsAdapter {
public:
    virtual ~IWideStringsAdapter() = default;
    virtual void ReferenceStrings(TWideStrings* S) = 0;
    virtual void ReleaseStrings() = 0;
};

// Which of the three characters were set explicitly (bits of TWideStrings::DefinedFlags()).
enum TWideStringsDefined : std::uint8_t {
    sdDelimiter = 1,
    sdQuoteChar = 2,
    sdNameValueSeparator = 4,
};

// The character set of a text stream: what DetectCharSet found at the stream's position.
enum class TUcCharSet : std::uint8_t { csAnsi = 0, csUnicode = 1, csUnicodeSwapped = 2, csUtf8 = 3 };

// Reads a byte-order mark at the stream's position: FF FE (UTF-16LE) and FE FF (UTF-16BE) stay
// consumed, so does EF BB BF (UTF-8); anything else is ANSI with the position unchanged.
TUcCharSet DetectCharSet(classlib::TStream* Stream);

// The abstract wide list. Storage comes from derived classes; the list never frees its objects.
class TWideStrings : public classlib::TPersistent {
public:
    CLASSLIB_CLASS_NAME(TWideStrings)
    TWideStrings() = default;
    ~TWideStrings() override;
    TWideStrings(const TWideStrings&) = delete;
    TWideStrings& operator=(const TWideStrings&) = delete;

    // Streams the list as the "Strings" property of a form.
    void DefineProperties(classlib::TFiler* Filer) override;

    // Properties.
    int Count() const { return GetCount(); }
    int Capacity() const { return GetCapacity(); }
    std::wstring Strings(int Index) const { return Get(Index); }
    classlib::TObject* Objects(int Index) const { return GetObject(Index); }
    void SetObjects(int Index, classlib::TObject* AObject) { PutObject(Index, AObject); }
    std::wstring Text() const { return GetTextStr(); }
    void SetText(const std::wstring& Value) { SetTextStr(Value); }
    // The text before the first separator; empty for a line without separator.
    std::wstring Names(int Index) const;
    // The text after the name and its separator; empty for Index < 0 and for a line without
    // separator.
    std::wstring ValueFromIndex(int Index) const;
    // A non-empty value makes line Index (a new line when Index < 0) name + separator + value;
    // an empty value deletes line Index.
    void SetValueFromIndex(int Index, const std::wstring& Value);
    // Each reads its default (",", double quote, "=") until set.
    wchar_t Delimiter() const;
    void SetDelimiter(wchar_t Value);
    wchar_t QuoteChar() const;
    void SetQuoteChar(wchar_t Value);
    wchar_t NameValueSeparator() const;
    void SetNameValueSeparator(wchar_t Value);
    std::uint8_t DefinedFlags() const { return defined_; }
    const std::shared_ptr<IWideStringsAdapter>& StringsAdapter() const { return adapter_; }
    // Releases the old adapter and announces this list to the new one.
    void SetStringsAdapter(std::shared_ptr<IWideStringsAdapter> Value);

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    // Same count and identical lines (exact comparison).
    bool Equals(const TWideStrings* Strings) const;

    // From a wide list: its flags, characters and lines; from an ANSI list: its characters (as set
    // explicitly) and its lines widened with the default code page. Other sources are refused.
    void Assign(classlib::TPersistent* Source) override;

    // Storage operations.
    virtual std::wstring Get(int Index) const = 0;
    virtual int GetCapacity() const;
    virtual int GetCount() const = 0;
    virtual classlib::TObject* GetObject(int Index) const;
    // Every line, the last included, followed by CR LF.
    virtual std::wstring GetTextStr() const;
    // Keeps the line's object, deletes the line, inserts S with that object.
    virtual void Put(int Index, const std::wstring& S);
    virtual void PutObject(int Index, classlib::TObject* AObject);
    virtual void SetCapacity(int NewCapacity);
    // Replaces every line by the split text: CR LF, CR, LF and U+2028 end a line; a U+0000 ends
    // the text.
    virtual void SetTextStr(const std::wstring& Value);
    // Case-insensitive comparison in the user's default locale (< 0, 0, > 0).
    virtual int CompareStrings(const std::wstring& S1, const std::wstring& S2) const;
    virtual int Add(const std::wstring& S);
    virtual int AddObject(const std::wstring& S, classlib::TObject* AObject);
    virtual void AddStrings(classlib::TStrings* Strings);
    virtual void AddStrings(TWideStrings* Strings);
    virtual void Clear() = 0;
    virtual void Delete(int Index) = 0;
    virtual void Exchange(int Index1, int Index2);
    // A new zero-terminated copy of the text (empty text: just the terminator); release it with
    // WStrDispose.
    virtual wchar_t* GetText() const;
    virtual int IndexOf(const std::wstring& S) const;
    virtual int IndexOfName(const std::wstring& Name) const;
    virtual int IndexOfObject(classlib::TObject* AObject) const;
    virtual void Insert(int Index, const std::wstring& S) = 0;
    virtual void InsertObject(int Index, const std::wstring& S, classlib::TObject* AObject);
    virtual void LoadFromFile(const std::wstring& FileName);
    // The rest of the stream as UTF-16LE without mark (an odd last byte is ignored).
    virtual void LoadFromStream(classlib::TStream* Stream);
    // Both indexes are checked before the line is taken out, so a refused move loses nothing.
    virtual void Move(int CurIndex, int NewIndex);
    virtual void SaveToFile(const std::wstring& FileName);
    // The text as UTF-16LE, no mark.
    virtual void SaveToStream(classlib::TStream* Stream);
    // The zero-terminated text P (nullptr: empty).
    virtual void SetText(const wchar_t* P);

protected:
    void AssignTo(classlib::TPersistent* Dest) override;
    virtual void SetUpdateState(bool Updating);
    // Raises classlib::EStringListError with the text of Msg formatted with Data.
    [[noreturn]] void Error(const TResStringRec& Msg, int Data) const;
    // Reads the rest of the stream as UTF-16 code units (byte-swapped for UTF-16BE).
    static std::wstring ReadUtf16(classlib::TStream* Stream, bool Swapped);

private:
    mutable std::uint8_t defined_ = 0;
    mutable wchar_t delimiter_ = L',';
    mutable wchar_t quoteChar_ = L'"';
    mutable wchar_t nameValueSeparator_ = L'=';
    int updateCount_ = 0;
    std::shared_ptr<IWideStringsAdapter> adapter_;
};

// The class library's ANSI list with the code-page aware stream operations of the ANSI view.
class TAnsiStrings : public classlib::TStrings {
public:
    CLASSLIB_CLASS_NAME(TAnsiStrings)
    virtual void LoadFromStreamEx(classlib::TStream* Stream, unsigned CodePage) = 0;
    virtual void SaveToStreamEx(classlib::TStream* Stream, unsigned CodePage) = 0;
};

// An ANSI view of a wide list: every operation works on the wide list, converting the texts
// with the adapter code page (0: the default code page).
class TAnsiStringsForWideStringsAdapter : public TAnsiStrings {
public:
    CLASSLIB_CLASS_NAME(TAnsiStringsForWideStringsAdapter)
    TAnsiStringsForWideStringsAdapter(TWideStrings* WideStrings, unsigned AdapterCodePage);

    virtual unsigned AdapterCodePage() const;
    TWideStrings* WideStrings() const { return wideStrings_; }

    // Assigning the view (or the list it views) into itself changes nothing.
    void Assign(classlib::TPersistent* Source) override;

    std::string Get(int Index) const override;
    int GetCount() const override;
    classlib::TObject* GetObject(int Index) const override;
    // Add and AddObject go to the wide list's own, so that a sorted list places the line.
    int Add(const std::string& S) override;
    int AddObject(const std::string& S, classlib::TObject* AObject) override;
    void Put(int Index, const std::string& S) override;
    void PutObject(int Index, classlib::TObject* AObject) override;
    void Clear() override;
    void Delete(int Index) override;
    void Insert(int Index, const std::string& S) override;
    // All bytes from the position to the end, widened with CodePage, become the list's text.
    void LoadFromStreamEx(classlib::TStream* Stream, unsigned CodePage) override;
    // The list's text converted with CodePage, no terminator.
    void SaveToStreamEx(classlib::TStream* Stream, unsigned CodePage) override;

protected:
    void SetUpdateState(bool Updating) override;

private:
    TWideStrings* wideStrings_;
    unsigned adapterCodePage_;
};

// The base of every wide list of the system: byte-order-mark aware loading, UTF-16LE saving
// with the mark, and the ANSI view.
class TUcStrings : public TWideStrings {
public:
    CLASSLIB_CLASS_NAME(TUcStrings)
    TUcStrings();
    ~TUcStrings() override;

    TAnsiStrings* AnsiStrings() const { return ansiStrings_.get(); }
    // Assigns the given ANSI list into the view.
    void SetAnsiStrings(classlib::TStrings* Value);
    // "Strings" plus the three legacy properties older forms carry, which are read, never written.
    void DefineProperties(classlib::TFiler* Filer) override;

    // Opens the file for reading (denying writers) and loads it with detection.
    void LoadFromFile(const std::wstring& FileName) override;
    void LoadFromStream(classlib::TStream* Stream) override;  // LoadFromStreamEx(Stream, true)
    void SaveToFile(const std::wstring& FileName) override;   // created or truncated
    void SaveToStream(classlib::TStream* Stream) override;    // SaveToStreamEx(Stream, true)
    // Without detection the stream is UTF-16LE without mark.
    virtual void LoadFromStreamEx(classlib::TStream* Stream, bool DetectCharSet);
    virtual void SaveToStreamEx(classlib::TStream* Stream, bool WithBOM);

private:
    std::unique_ptr<TAnsiStrings> ansiStrings_;
};

enum TDuplicates : std::uint8_t { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TUcStringList;
using TUcStringListSortCompare = std::function<int(TUcStringList* List, int Index1, int Index2)>;

// The wide list held in memory: sorted or not, with a duplicates rule and case sensitivity.
// OnChanging fires before and OnChange after every change, once around a BeginUpdate batch.
class TUcStringList : public TUcStrings {
public:
    CLASSLIB_CLASS_NAME(TUcStringList)
    TUcStringList() = default;
    ~TUcStringList() override;

    // Switching on sorts the list once; later additions are placed by Find.
    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }
    bool CaseSensitive() const { return caseSensitive_; }
    // A sorted list is sorted again under the new comparison.
    void SetCaseSensitive(bool Value);

    std::wstring Get(int Index) const override;
    int GetCapacity() const override { return capacity_; }
    int GetCount() const override { return static_cast<int>(items_.size()); }
    classlib::TObject* GetObject(int Index) const override;
    void Put(int Index, const std::wstring& S) override;
    void PutObject(int Index, classlib::TObject* AObject) override;
    // Raises "List capacity out of bounds" below Count.
    void SetCapacity(int NewCapacity) override;
    int CompareStrings(const std::wstring& S1, const std::wstring& S2) const override;
    int Add(const std::wstring& S) override;
    int AddObject(const std::wstring& S, classlib::TObject* AObject) override;
    void Clear() override;
    void Delete(int Index) override;
    void Exchange(int Index1, int Index2) override;
    int IndexOf(const std::wstring& S) const override;
    int IndexOfName(const std::wstring& Name) const override;
    void Insert(int Index, const std::wstring& S) override;
    void InsertObject(int Index, const std::wstring& S, classlib::TObject* AObject) override;
    void Move(int CurIndex, int NewIndex) override;

    // Binary search; Index is the match (the first equal item with dupAccept) or the insertion
    // point. Meaningful on a sorted list.
    virtual bool Find(const std::wstring& S, int& Index) const;
    virtual void Sort();
    // Quicksort with Compare (not stable); only on an unsorted list of at least 2 items.
    virtual void CustomSort(const TUcStringListSortCompare& Compare);

    classlib::TNotifyEvent OnChange;
    classlib::TNotifyEvent OnChanging;

protected:
    void SetUpdateState(bool Updating) override;
    virtual void Changed();
    virtual void Changing();
    virtual void InsertItem(int Index, const std::wstring& S, classlib::TObject* AObject);

private:
    struct TWideStringItem {
        std::wstring FString;
        classlib::TObject* FObject;
    };
    void CheckIndex(int Index, int Limit) const;
    void Grow();
    void QuickSort(int L, int R, const TUcStringListSortCompare& Compare);

    std::vector<TWideStringItem> items_;
    int capacity_ = 0;
    bool sorted_ = false;
    TDuplicates duplicates_ = dupIgnore;
    bool caseSensitive_ = false;
    bool updating_ = false;
};

}  // namespace unicode
