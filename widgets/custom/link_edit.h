// A wide rich edit that shows a text written in the link markup (see link_markup.h): fonts,
// colours, line breaks with paragraph alignment, and links that show a hint while the pointer is
// over them and report a click.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "unicode/wide_strings.h"
#include "widgets/custom/link_markup.h"
#include "widgets/unicode/uc_rich_edit.h"

namespace widgets::custom {

using TLinkHintEvent = std::function<void(const std::wstring& link, std::wstring& linkhint)>;
using TLinkClickEvent = std::function<void(const std::wstring& link)>;

class TLinkEdit : public widgets::TUcRichEdit {
public:
    CLASSLIB_CLASS_NAME(TLinkEdit)
    explicit TLinkEdit(classlib::TComponent* AOwner);
    ~TLinkEdit() override;

    classlib::TColor UrlColor() const { return urlColor_; }
    void SetUrlColor(classlib::TColor Value) { urlColor_ = Value; }
    classlib::TColor MailColor() const { return mailColor_; }
    void SetMailColor(classlib::TColor Value) { mailColor_ = Value; }
    classlib::TColor LinkColor() const { return linkColor_; }
    void SetLinkColor(classlib::TColor Value) { linkColor_ = Value; }
    const std::wstring& RichText() const { return richText_; }
    // Stores the markup and rebuilds the text and its formats.
    void SetRichText(const std::wstring& Value);
    // The parsed markup as the control shows it.
    const TLinkMarkup& Markup() const { return markup_; }
    // The link under a point of the client area, or nullptr.
    const TMarkupLink* LinkAt(int X, int Y);

    TLinkHintEvent OnUrlHint, OnMailHint, OnCustomLinkHint;
    TLinkClickEvent OnUrlClick, OnMailClick, OnCustomLinkClick;

protected:
    void CreateWnd() override;
    void MouseMove(classlib::TShiftState Shift, int X, int Y) override;
    void MouseUp(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;

private:
    // The markup's plain defaults: the control's font, alignment and link colours.
    TMarkupDefaults Defaults();
    void Apply();
    classlib::TColor urlColor_ = 0x800000, mailColor_ = 0x800000, linkColor_ = 0x800000;
    std::wstring richText_;
    TLinkMarkup markup_;
    std::unique_ptr<unicode::TUcStringList> lines_;
};

}  // namespace widgets::custom
