// The tag markup of the link edit: <B>, <I>, <U>, <S>, <COLOR name>, <SIZE n>, <FONT name>, their
// closing tags, <BR [LEFT|RIGHT|CENTER]>, and links <URL target>, <MAIL target>, <LINK target>.
// Parsing gives the plain text, the character formats and paragraph alignments by position, and
// the links by position; positions count characters as the rich edit does (a line break is one).
#pragma once

#include <string>
#include <vector>

#include "classlib/graphics.h"
#include "classlib/std_text.h"

namespace widgets::custom {

enum class TLinkKind { lkLink = 0, lkUrl = 1, lkMail = 2 };

struct TLinkCharFormat {
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    classlib::TColor Color = classlib::clWindowText;
    int Size = 8;
    std::wstring FontName;
    bool operator==(const TLinkCharFormat&) const = default;
};

struct TMarkupRun {
    int Start = 0, Length = 0;
    TLinkCharFormat Format;
};

// The alignment of the paragraph that begins at Start.
struct TMarkupParagraph {
    int Start = 0;
    classlib::TAlignment Align = classlib::TAlignment::taLeftJustify;
};

// A link over the characters Start (included) to End (excluded); Target as written.
struct TMarkupLink {
    int Start = 0, End = 0;
    std::wstring Target;
    TLinkKind Kind = TLinkKind::lkLink;
};

struct TLinkMarkup {
    std::wstring Text;  // line breaks as CR LF
    std::vector<TMarkupRun> Runs;
    std::vector<TMarkupParagraph> Paragraphs;
    std::vector<TMarkupLink> Links;
};

// What the markup starts from: the control's font and alignment, and the three link colours.
struct TMarkupDefaults {
    TLinkCharFormat Format;
    classlib::TAlignment Align = classlib::TAlignment::taLeftJustify;
    classlib::TColor UrlColor = 0x800000, MailColor = 0x800000, LinkColor = 0x800000;
};

// The colour of a COLOR tag's name (upper case); false for a name outside the table.
bool MarkupColor(const std::wstring& Name, classlib::TColor& Color);

TLinkMarkup ParseLinkMarkup(const std::wstring& Markup, const TMarkupDefaults& Defaults);

// The innermost link over character Index; nullptr for none.
const TMarkupLink* FindLink(const TLinkMarkup& Markup, int Index);

}  // namespace widgets::custom
