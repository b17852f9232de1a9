// The FlatBar edit: a single-line edit without the system's border that paints its own 3-pixel
// frame, flat while idle and sunken while it has the focus or the mouse.
#pragma once

#include <windows.h>

#include <string>

#include "classlib/std_controls.h"

namespace hover {

class TFlatEdit : public classlib::TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TFlatEdit)
    explicit TFlatEdit(classlib::TComponent* AOwner);
    ~TFlatEdit() override;
    std::string Version() const { return "FlatBar version 1.8"; }
    void SetVersion(const std::string&) {}
    bool MouseIn() const { return mouseIn_; }
    // The frame's look now: sunken (true) or flat.
    bool HotLook();
    void Loaded() override;
    void CreateParams(classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

private:
    void UpdateHeight();
    void RedrawFrame();
    void PaintFrame(HDC DC);
    bool mouseIn_ = false;
};

// Edits of the FlatBar classes alive now (the first registers the class, the last unregisters it).
int FlatEditCount();

}  // namespace hover
