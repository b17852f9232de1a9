// Pictures and the image control: a bitmap or an icon held by value, loaded from a file or
// handed over, and a control that shows it plain, centred, stretched or transparent.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/controls.h"
#include "classlib/exceptions.h"
#include "classlib/gdi_handles.h"

namespace classlib {

enum class TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, int PercentDone)>;

// Destroys an icon.
struct TDestroyIcon {
    void operator()(HICON Icon) const { DestroyIcon(Icon); }
};
using TOwnedIcon = TOwnedHandle<HICON, TDestroyIcon>;

// A bitmap or an icon owned by the picture (at most one of them). OnChange fires after every
// change of content.
class TPicture : public TPersistent {
public:
    CLASSLIB_CLASS_NAME(TPicture)
    TPicture() = default;
    ~TPicture() override;

    bool Empty() const { return !bitmap_ && !icon_; }
    int Width() const;
    int Height() const;
    HBITMAP Bitmap() const { return bitmap_.Get(); }
    // Takes ownership of Value (nullptr empties the picture).
    void SetBitmap(HBITMAP Value);
    HICON Icon() const { return icon_.Get(); }
    void SetIcon(HICON Value);
    // Loads a ".bmp" or ".ico" file (ANSI name, runtime code page). Raises EInvalidGraphic
    // "Unknown picture file extension (.%s)" for another kind, and the system error when the
    // file cannot be read as one.
    void LoadFromFile(const std::string& FileName);
    // Copies another picture's bitmap or icon (nullptr empties this one).
    void Assign(TPersistent* Source) override;
    // Draws into Rect of Canvas, stretched to it; with Transparent the bottom-left pixel's colour
    // of a bitmap is left out.
    void Draw(HDC DC, const RECT& Rect, bool Transparent) const;

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

protected:
    virtual void Changed();

private:
    TOwnedBitmap bitmap_;
    TOwnedIcon icon_;
};

class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// Shows its picture at the top-left corner, centred or stretched to its bounds.
class TImage : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TImage)
    explicit TImage(TComponent* AOwner);
    ~TImage() override;
    TPicture* Picture() const { return picture_.get(); }
    void SetPicture(TPicture* Value) { picture_->Assign(Value); }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool Value);
    bool Center() const { return center_; }
    void SetCenter(bool Value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool Value);
    // The rectangle the picture is drawn in.
    RECT DestRect() const;

protected:
    void Paint() override;
    // Puts Value in place of the picture; it takes over the old picture's change and progress
    // handlers and content.
    void ReplacePicture(std::unique_ptr<TPicture> Value);

private:
    void PictureChanged(TObject* Sender);
    std::unique_ptr<TPicture> picture_;
    bool stretch_ = false;
    bool center_ = false;
    bool transparent_ = false;
};

}  // namespace classlib
