// Clip list entries and their sort keys.
#include "widgets/custom/clip_entries.h"

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "unicode/wide_files.h"

namespace widgets::custom {

namespace {

// A file time as a local date-time, milliseconds kept; 0 for no time.
TDateTime LocalDateTime(const FILETIME& Time) {
    FILETIME local{};
    SYSTEMTIME s{};
    if ((Time.dwLowDateTime == 0 && Time.dwHighDateTime == 0) || !FileTimeToLocalFileTime(&Time, &local) ||
        !FileTimeToSystemTime(&local, &s))
        return 0;
    return classlib::EncodeDate(s.wYear, s.wMonth, s.wDay) + classlib::EncodeTime(s.wHour, s.wMinute, s.wSecond, s.wMilliseconds);
}

bool HasWildcard(const std::wstring& Path) { return Path.find_first_of(L"*?") != std::wstring::npos; }

}  // namespace

// The five sort orders, made once.
static const TSortIndex& SortIndexes(int Which) {
    static const TSortIndex all[] = {
        {L"alpha", L"in alphabetical order", L"sorted alphabetically"},
        {L"taille", L"by file size", L"sorted by size"},
        {L"modify", L"by file date", L"sorted by file date"},
        {L"extension", L"by extension", L"sorted by extension"},
        {L"chemin", L"by path", L"sorted by path"}};
    return all[Which];
}

const TSortIndex& SortAlpha() { return SortIndexes(0); }
const TSortIndex& SortSize() { return SortIndexes(1); }
const TSortIndex& SortDate() { return SortIndexes(2); }
const TSortIndex& SortExtension() { return SortIndexes(3); }
const TSortIndex& SortPath() { return SortIndexes(4); }

// ---- TAbstractListFichier ----------------------------------------------------------------------

TAbstractListFichier::TAbstractListFichier(const std::wstring& APath)
    : path_(APath),
      name_(unicode::WideExtractFileName(APath)),
      extension_(classlib::AnsiLowerCase(unicode::WideExtractFileExt(APath))),
      folder_(unicode::WideExtractFilePath(APath)) {
    stem_ = name_.substr(0, name_.size() - unicode::WideExtractFileExt(APath).size());
    pathKey_ = classlib::AnsiLowerCase(path_);
    alphaKey_ = classlib::AnsiLowerCase(name_) + pathKey_;
    extensionKey_ = extension_ + pathKey_;
}

std::wstring TAbstractListFichier::GetKey(const TSortIndex& SortIndex) const {
    if (SortIndex.Key == L"alpha") return alphaKey_;
    if (SortIndex.Key == L"extension") return extensionKey_;
    if (SortIndex.Key == L"chemin") return pathKey_;
    return std::wstring();
}

// ---- TSRFichier --------------------------------------------------------------------------------

TSRFichier::TSRFichier(const std::wstring& APath) : TAbstractListFichier(APath) {}

TSRFichier::TSRFichier(const std::wstring& AFolder, const WIN32_FIND_DATAW& Found)
    : TAbstractListFichier(AFolder + Found.cFileName) {
    sizeHigh_ = Found.nFileSizeHigh;
    sizeLow_ = Found.nFileSizeLow;
    creation_ = LocalDateTime(Found.ftCreationTime);
    modification_ = LocalDateTime(Found.ftLastWriteTime);
    access_ = LocalDateTime(Found.ftLastAccessTime);
    attributes_ = Found.dwFileAttributes;
    readOnly_ = (attributes_ & 1) != 0;
    sizeKey_ = classlib::Format(L"%.16x%.16x", {sizeHigh_, sizeLow_}) + PathKey();
    dateKey_ = classlib::FormatDateTime(L"yyyymmddhhnnss", modification_) + PathKey();
}

std::unique_ptr<TSRFichier> TSRFichier::CreateFromFind(const std::wstring& AFolder, const WIN32_FIND_DATAW& Found) {
    return std::make_unique<TSRFichier>(AFolder, Found);
}

std::unique_ptr<TSRFichier> TSRFichier::CreateFromFile(const std::wstring& APath) {
    WIN32_FIND_DATAW found{};
    HANDLE h = HasWildcard(APath) ? INVALID_HANDLE_VALUE : FindFirstFileW(APath.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        std::unique_ptr<TSRFichier> entry(new TSRFichier(APath));
        // Nothing on disk: the key texts still come from the path.
        entry->sizeKey_ = classlib::Format(L"%.16x%.16x", {0, 0}) + entry->PathKey();
        entry->dateKey_ = classlib::FormatDateTime(L"yyyymmddhhnnss", 0) + entry->PathKey();
        return entry;
    }
    FindClose(h);
    return CreateFromFind(unicode::WideExtractFilePath(APath), found);
}

std::wstring TSRFichier::GetKey(const TSortIndex& SortIndex) const {
    if (SortIndex.Key == L"taille") return sizeKey_;
    if (SortIndex.Key == L"modify") return dateKey_;
    return TAbstractListFichier::GetKey(SortIndex);
}

}  // namespace widgets::custom
