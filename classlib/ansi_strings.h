// The class library's ANSI string list: the abstract TStrings (std::string lines in the runtime
// code page, each with an attached object) and the in-memory TStringList.
#pragma once

// windows.h maps GetObject to GetObjectA/GetObjectW (GDI); the lists' GetObject must keep its
// name in every translation unit, so the header includes windows.h first and drops that macro.
// GDI callers write GetObjectW.
#include <windows.h>
#ifdef GetObject
#undef GetObject
#endif

#include <string>
#include <vector>

#include "classlib/objects.h"

namespace classlib {

// Abstract ANSI string list. Derived classes supply the storage (Get, GetCount, Clear, Delete,
// Insert, and where they keep objects GetObject/PutObject); everything else works through those.
// The list never frees the attached objects.
class TStrings : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TStrings)
    TStrings() = default;
    ~TStrings() override = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    // Properties.
    int Count() const { return GetCount(); }
    std::string Strings(int Index) const { return Get(Index); }
    TObject* Objects(int Index) const { return GetObject(Index); }
    void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }
    // Every line followed by CR LF; setting splits at CR, LF or CR LF and stops at a zero byte.
    std::string Text() const { return GetTextStr(); }
    void SetText(const std::string& Value) { SetTextStr(Value); }
    // The text before the first separator; empty for a line without separator.
    std::string Names(int Index) const;
    // The text after "Name=" of the first line named Name; empty when there is none.
    std::string Values(const std::string& Name) const;
    // A non-empty value replaces (or adds) the line "Name=Value"; an empty value deletes it.
    void SetValues(const std::string& Name, const std::string& Value);
    char NameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(char Value) { nameValueSeparator_ = Value; }
    char QuoteChar() const { return quoteChar_; }
    void SetQuoteChar(char Value) { quoteChar_ = Value; }
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char Value) { delimiter_ = Value; }

    // The first BeginUpdate calls SetUpdateState(true), the matching last EndUpdate
    // SetUpdateState(false).
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // From another ANSI list: inside an update, Clear, take its three characters, AddStrings.
    // Other sources are offered their AssignTo (a wide list fills this list that way).
    void Assign(TPersistent* Source) override;

    // Storage operations.
    virtual std::string Get(int Index) const = 0;
    virtual int GetCount() const = 0;
    virtual TObject* GetObject(int Index) const;
    // Keeps the line's object, deletes the line and inserts S with that object.
    virtual void Put(int Index, const std::string& S);
    virtual void PutObject(int Index, TObject* AObject);
    virtual void Clear() = 0;
    virtual void Delete(int Index) = 0;
    virtual void Insert(int Index, const std::string& S) = 0;

    // Derived operations.
    virtual std::string GetTextStr() const;
    virtual void SetTextStr(const std::string& Value);
    // Case-insensitive comparison in the user's default locale (< 0, 0, > 0).
    virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
    virtual int Add(const std::string& S);
    virtual int AddObject(const std::string& S, TObject* AObject);
    virtual void AddStrings(TStrings* Strings);
    virtual void InsertObject(int Index, const std::string& S, TObject* AObject);
    virtual void Exchange(int Index1, int Index2);
    virtual int IndexOf(const std::string& S) const;
    virtual int IndexOfName(const std::string& Name) const;
    virtual int IndexOfObject(TObject* AObject) const;

protected:
    virtual void SetUpdateState(bool Updating);
    // Raises EStringListError with Msg formatted with Data.
    [[noreturn]] void Error(const wchar_t* Msg, int Data) const;

private:
    char nameValueSeparator_ = '=';
    char quoteChar_ = '"';
    char delimiter_ = ',';
    int updateCount_ = 0;
};

// The ANSI string list held in memory (unsorted). OnChanging fires before and OnChange after every
// change, except inside BeginUpdate/EndUpdate, where they fire once around the whole batch.
class TStringList : public TStrings {
public:
    CLASSLIB_CLASS_NAME(TStringList)
    TStringList() = default;
    ~TStringList() override;

    std::string Get(int Index) const override;
    int GetCount() const override { return static_cast<int>(items_.size()); }
    TObject* GetObject(int Index) const override;
    void Put(int Index, const std::string& S) override;
    void PutObject(int Index, TObject* AObject) override;
    void Clear() override;
    void Delete(int Index) override;
    void Insert(int Index, const std::string& S) override;
    void InsertObject(int Index, const std::string& S, TObject* AObject) override;
    void Exchange(int Index1, int Index2) override;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    void SetUpdateState(bool Updating) override;
    virtual void Changed();
    virtual void Changing();

private:
    struct TStringItem {
        std::string S;
        TObject* Object;
    };
    void CheckIndex(int Index, int Limit) const;

    std::vector<TStringItem> items_;
    bool updating_ = false;
};

}  // namespace classlib
