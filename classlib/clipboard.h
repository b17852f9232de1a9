// The system clipboard seen as an object: opened and closed in nested pairs, its text in the
// runtime code page, and raw buffers of any clipboard format.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/objects.h"

namespace classlib {

class EClipboardException : public Exception {
public:
    using Exception::Exception;
};

// Open/Close nest: the clipboard stays open until the last Close. The first write of an open
// session empties the clipboard (so a session may put several formats of one content on it).
// A clipboard that another program keeps open raises EClipboardException "Cannot open clipboard".
class TClipboard : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TClipboard)
    TClipboard() = default;
    ~TClipboard() override;
    TClipboard(const TClipboard&) = delete;
    TClipboard& operator=(const TClipboard&) = delete;

    void Open();
    void Close();
    // Empties the clipboard (opening it for the call when it is not open).
    void Clear();
    bool HasFormat(UINT Format);
    // The text of CF_TEXT ("" when there is none).
    std::string AsText();
    void SetAsText(const std::string& Value);
    // Puts Size bytes of Buffer on the clipboard in Format (the clipboard is emptied first when
    // this is the session's first write).
    void SetBuffer(UINT Format, const void* Buffer, size_t Size);
    // The bytes held in Format (empty when the format is absent).
    std::vector<std::uint8_t> GetBuffer(UINT Format);

protected:
    // Empties the clipboard once per open session, before its first write.
    void Adding();

private:
    HWND OwnerWindow();
    int openCount_ = 0;
    bool emptied_ = false;
    HWND window_ = nullptr;
};

// The one clipboard object of the program (made on first use).
TClipboard* Clipboard();

}  // namespace classlib
