// The kit's picture dialogs: the wide open and save dialogs with the class library's picture
// preview beside the file list, so that the picture of a name outside the code page shows too.
#pragma once

#include <string>

#include "classlib/dialogs.h"
#include "widgets/unicode/uc_dialogs.h"

namespace widgets::kit {

// A wide file dialog with the preview of the selected picture.
template <class Dialog>
class TPictureDialogOf : public Dialog {
public:
    explicit TPictureDialogOf(classlib::TComponent* AOwner) : Dialog(AOwner) { this->SetPicturePreview(&preview_); }
    const classlib::TPicturePreview& Preview() const { return preview_; }

protected:
    // The wide path the dialog holds now.
    std::wstring PreviewFileName() override { return Dialog::FileName(); }

private:
    classlib::TPicturePreview preview_;
};

class TOpenPictureDialog : public TPictureDialogOf<widgets::TUcOpenDialog> {
public:
    CLASSLIB_CLASS_NAME(TOpenPictureDialog)
    using TPictureDialogOf::TPictureDialogOf;
};

class TSavePictureDialog : public TPictureDialogOf<widgets::TUcSaveDialog> {
public:
    CLASSLIB_CLASS_NAME(TSavePictureDialog)
    using TPictureDialogOf::TPictureDialogOf;
};

}  // namespace widgets::kit
