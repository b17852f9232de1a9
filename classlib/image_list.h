// Image lists: a row of equally sized images with their masks in one system image list, drawn
// by index (tool bars, tab sheets, glyph buttons), and the shell's own lists of file icons.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "classlib/graphics.h"
#include "classlib/objects.h"

namespace classlib {

enum class TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };

class TCustomImageList;

// One watcher of an image list's changes, so that many controls can follow one list: the list
// calls OnChange of every registered link after each change (after its own OnChange). A link
// leaves its list when it goes; a list that goes first leaves its links without a sender.
class TChangeLink {
public:
    TChangeLink() = default;
    ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;
    TCustomImageList* Sender() const { return sender_; }
    TNotifyEvent OnChange;

private:
    friend class TCustomImageList;
    TCustomImageList* sender_ = nullptr;
};

// A system image list (ImageList_Create, 24-bit colour with masks) owned by the component,
// or a list the component only shows (ShareImages: a system list of the shell, never
// destroyed here). Changing Width or Height empties the list. OnChange fires after every
// change of content or size.
class TCustomImageList : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TCustomImageList)
    explicit TCustomImageList(TComponent* AOwner);
    ~TCustomImageList() override;

    // The list, made on first use at the current size.
    HIMAGELIST Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    // Takes Value (nullptr: none); it is destroyed with the component unless ShareImages.
    void SetHandle(HIMAGELIST Value);
    bool ShareImages() const { return shareImages_; }
    void SetShareImages(bool Value) { shareImages_ = Value; }
    int Width() const { return width_; }
    void SetWidth(int Value);
    int Height() const { return height_; }
    void SetHeight(int Value);
    int Count();
    TColor BkColor() const { return bkColor_; }
    void SetBkColor(TColor Value);
    TDrawingStyle DrawingStyle() const { return drawingStyle_; }
    void SetDrawingStyle(TDrawingStyle Value) { drawingStyle_ = Value; }

    // Adds the images of Image (as many as its width holds) with Mask (nullptr: no mask);
    // answers the index of the first. The caller keeps both bitmaps. Raises EInvalidOperation
    // "Invalid image" when the list refuses them.
    int Add(HBITMAP Image, HBITMAP Mask);
    // Adds with the mask made from MaskColor (clDefault: the bottom-left pixel's colour).
    int AddMasked(HBITMAP Image, TColor MaskColor);
    int AddIcon(HICON Icon);
    void Delete(int Index);
    void Clear();
    // Draws image Index at X, Y; a disabled image is drawn greyed (blended with the face colour).
    void Draw(TCanvas* Canvas, int X, int Y, int Index, bool Enabled = true);
    void Draw(HDC DC, int X, int Y, int Index, bool Enabled = true);
    // A new bitmap (owned by the caller) of Width x Height holding image Index drawn on the
    // list's background colour (the face colour when it has none). Raises EInvalidOperation
    // "Invalid image index" for an index out of range.
    HBITMAP GetBitmap(int Index);

    TNotifyEvent OnChange;
    // Adds or removes a watcher (a link belongs to one list at a time).
    void RegisterChanges(TChangeLink* Link);
    void UnRegisterChanges(TChangeLink* Link);

protected:
    virtual void Change();

private:
    void FreeHandle();
    std::vector<TChangeLink*> links_;
    void CheckIndex(int Index);
    HIMAGELIST handle_ = nullptr;
    bool shareImages_ = false;
    int width_ = 16;
    int height_ = 16;
    TColor bkColor_ = clNone;
    TDrawingStyle drawingStyle_ = TDrawingStyle::dsNormal;
};

class TImageList : public TCustomImageList {
public:
    CLASSLIB_CLASS_NAME(TImageList)
    explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
};

// Registers the system's common-control window classes (tool bars, status bars, tabs, track
// bars, image lists) once for the process.
void InitCommonControlClasses();

// The shell's list of small (or large) file icons, shown but never destroyed by the component.
HIMAGELIST SystemImageList(bool Small);

}  // namespace classlib
