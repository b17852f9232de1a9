// Wide panels, images, shapes and bevels: the panel paints its wide caption; the image's
// picture is a wide picture; all show wide hints.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/images.h"
#include "classlib/panels.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

class TUcCustomPanel : public classlib::TCustomPanel {
public:
    CLASSLIB_CLASS_NAME(TUcCustomPanel)
    explicit TUcCustomPanel(classlib::TComponent* AOwner) : classlib::TCustomPanel(AOwner) {}
    WIDGETS_UC_TEXT_MEMBERS(classlib::TCustomPanel, Caption)
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;

protected:
    void Paint() override;
};

class TUcPanel : public TUcCustomPanel {
public:
    CLASSLIB_CLASS_NAME(TUcPanel)
    explicit TUcPanel(classlib::TComponent* AOwner) : TUcCustomPanel(AOwner) {}
};

// The picture of a wide image (the class library's picture: file names stay ANSI there).
class TUcPicture : public classlib::TPicture {
public:
    CLASSLIB_CLASS_NAME(TUcPicture)
    // Loads a ".bmp" or ".ico" file by its wide name.
    void LoadFromWideFile(const std::wstring& FileName);
};

class TUcImage : public classlib::TImage {
public:
    CLASSLIB_CLASS_NAME(TUcImage)
    // Puts a TUcPicture in place of the picture, keeping its handlers.
    explicit TUcImage(classlib::TComponent* AOwner);
    WIDGETS_UC_HINT_MEMBERS(classlib::TImage)
    TUcPicture* Picture() const { return static_cast<TUcPicture*>(classlib::TImage::Picture()); }
    void Dispatch(classlib::TMessage& Message) override;
};

class TUcShape : public classlib::TShape {
public:
    CLASSLIB_CLASS_NAME(TUcShape)
    explicit TUcShape(classlib::TComponent* AOwner) : classlib::TShape(AOwner) {}
    WIDGETS_UC_HINT_MEMBERS(classlib::TShape)
    void Dispatch(classlib::TMessage& Message) override;
};

class TUcBevel : public classlib::TBevel {
public:
    CLASSLIB_CLASS_NAME(TUcBevel)
    explicit TUcBevel(classlib::TComponent* AOwner) : classlib::TBevel(AOwner) {}
    WIDGETS_UC_HINT_MEMBERS(classlib::TBevel)
    void Dispatch(classlib::TMessage& Message) override;
};

}  // namespace widgets
