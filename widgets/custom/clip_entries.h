// The entries of the clip list: one file each, with the texts taken from its path and the sort
// keys the list orders them by (name, extension, path, size, modification date).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "classlib/date_time.h"
#include "classlib/objects.h"

namespace widgets::custom {

using classlib::TDateTime;

// A sort order of the clip list: the key name, the phrase used after "sorted" in the clip panel's
// label, and a short label.
struct TSortIndex {
    std::wstring Key;
    std::wstring Phrase;
    std::wstring Short;
    bool operator==(const TSortIndex&) const = default;
};

const TSortIndex& SortAlpha();      // "alpha", "in alphabetical order"
const TSortIndex& SortSize();       // "taille", "by file size"
const TSortIndex& SortDate();       // "modify", "by file date"
const TSortIndex& SortExtension();  // "extension", "by extension"
const TSortIndex& SortPath();       // "chemin", "by path"

// One file, by its path: the texts of the path and three of the keys.
class TAbstractListFichier : public classlib::TObject {
public:
    CLASSLIB_CLASS_NAME(TAbstractListFichier)
    explicit TAbstractListFichier(const std::wstring& APath);

    const std::wstring& Path() const { return path_; }
    const std::wstring& Name() const { return name_; }
    const std::wstring& Extension() const { return extension_; }  // with its dot, lower-cased
    const std::wstring& Folder() const { return folder_; }        // with its trailing backslash
    const std::wstring& Stem() const { return stem_; }
    // The key text of a sort order: the "alpha", "extension" and "chemin" keys here, "" for others.
    virtual std::wstring GetKey(const TSortIndex& SortIndex) const;

protected:
    const std::wstring& AlphaKey() const { return alphaKey_; }
    const std::wstring& PathKey() const { return pathKey_; }

private:
    std::wstring path_, name_, extension_, folder_, stem_;
    std::wstring alphaKey_, extensionKey_, pathKey_;
};

// A file with its size, times and attributes, as found on disk.
class TSRFichier : public TAbstractListFichier {
public:
    CLASSLIB_CLASS_NAME(TSRFichier)
    // The entry of the file at APath. A path that names no file (yet) still gives its texts and
    // keys, with zero size and times, so that entries of different missing files stay apart.
    static std::unique_ptr<TSRFichier> CreateFromFile(const std::wstring& APath);
    // The entry of a file found in AFolder (which ends with a backslash, or is empty).
    static std::unique_ptr<TSRFichier> CreateFromFind(const std::wstring& AFolder, const WIN32_FIND_DATAW& Found);
    TSRFichier(const std::wstring& AFolder, const WIN32_FIND_DATAW& Found);

    std::uint32_t SizeHigh() const { return sizeHigh_; }
    std::uint32_t SizeLow() const { return sizeLow_; }
    std::uint64_t Size() const { return (static_cast<std::uint64_t>(sizeHigh_) << 32) | sizeLow_; }
    TDateTime CreationTime() const { return creation_; }
    TDateTime ModificationTime() const { return modification_; }
    TDateTime AccessTime() const { return access_; }
    std::uint32_t Attributes() const { return attributes_; }
    bool ReadOnly() const { return readOnly_; }
    // Adds "taille" (both halves of the size as sixteen hex digits, then the path) and "modify"
    // (the local modification time as yyyymmddhhnnss, then the path).
    std::wstring GetKey(const TSortIndex& SortIndex) const override;

private:
    explicit TSRFichier(const std::wstring& APath);
    std::uint32_t sizeHigh_ = 0, sizeLow_ = 0;
    TDateTime creation_ = 0, modification_ = 0, access_ = 0;
    std::uint32_t attributes_ = 0;
    bool readOnly_ = false;
    std::wstring sizeKey_, dateKey_;
};

// The entry class the loader makes for a file extension.
using TlfCLass = std::function<std::unique_ptr<TSRFichier>(const std::wstring& Folder, const WIN32_FIND_DATAW& Found)>;

}  // namespace widgets::custom
