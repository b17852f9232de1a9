// The link edit's markup parser.
#include "widgets/custom/link_markup.h"

#include <utility>

#include "classlib/conversions.h"

namespace widgets::custom {

bool MarkupColor(const std::wstring& Name, classlib::TColor& Color) {
    static const std::pair<const wchar_t*, classlib::TColor> table[] = {
        {L"RED", 0x0000FF},    {L"GREEN", 0x008000},    {L"YELLOW", 0x00FFFF},     {L"BLUE", 0xFF0000},
        {L"BLACK", 0x000000},  {L"WHITE", 0xFFFFFF},    {L"AQUA", 0xFFFF00},       {L"DKGRAY", 0x808080},
        {L"OLIVE", 0x008080},  {L"PURPLE", 0x800080},   {L"FUCHSIA", 0xFF00FF},    {L"GRAY", 0x808080},
        {L"LIME", 0x00FF00},   {L"MAROON", 0x000080},   {L"NAVY", 0x800000},       {L"LTGRAY", 0xC0C0C0},
        {L"MEDGRAY", 0xA4A0A0}, {L"SILVER", 0xC0C0C0},  {L"TEAL", 0x808000},       {L"MONEYGREEN", 0xC0DCC0},
        {L"CREAM", 0xF0FBFF},  {L"SKYBLUE", 0xF0CAA6},  {L"BTNFACE", classlib::clBtnFace},
        {L"APPWORKSPACE", classlib::clAppWorkSpace}};
    for (const auto& [name, value] : table)
        if (Name == name) {
            Color = value;
            return true;
        }
    return false;
}

namespace {

std::wstring Upper(const std::wstring& S) { return classlib::AnsiUpperCase(S); }

// The link kind of an opening (or, with Closing, a closing) link tag name; false for others.
bool LinkTag(const std::wstring& Name, bool Closing, TLinkKind& Kind) {
    const std::wstring n = Closing ? (Name.size() > 1 && Name[0] == L'/' ? Name.substr(1) : std::wstring()) : Name;
    if (n == L"URL") Kind = TLinkKind::lkUrl;
    else if (n == L"MAIL") Kind = TLinkKind::lkMail;
    else if (n == L"LINK") Kind = TLinkKind::lkLink;
    else return false;
    return true;
}

struct TOpenLink {
    int Start;
    std::wstring Target;
    TLinkKind Kind;
};

}  // namespace

TLinkMarkup ParseLinkMarkup(const std::wstring& Markup, const TMarkupDefaults& Defaults) {
    TLinkMarkup result;
    result.Paragraphs.push_back(TMarkupParagraph{0, Defaults.Align});
    TLinkCharFormat format = Defaults.Format;
    std::vector<TLinkCharFormat> saved;  // a stack, so that nested links restore in turn
    std::vector<TOpenLink> open;
    int pos = 0, previous = 0;
    bool inTag = false;
    std::wstring tag;
    for (wchar_t c : Markup) {
        if (!inTag) {
            if (c == L'<') {
                inTag = true;
                tag.clear();
            } else {
                result.Text.push_back(c);
                ++pos;
            }
            continue;
        }
        if (c == L'<') {  // inside a tag a further "<" is plain text
            result.Text.push_back(c);
            ++pos;
            continue;
        }
        if (c != L'>') {
            tag.push_back(c);
            continue;
        }
        inTag = false;
        const std::wstring upper = Upper(tag);
        const bool lineBreak = upper == L"BR" || upper.compare(0, 3, L"BR ") == 0;
        if (lineBreak) {
            result.Text.append(L"\r\n");
            ++pos;  // the rich edit keeps one character for a line break
        }
        if (pos > previous) result.Runs.push_back(TMarkupRun{previous, pos - previous, format});
        previous = pos;

        const size_t blank = tag.find(L' ');
        const std::wstring name = classlib::Trim(upper.substr(0, blank));
        const std::wstring param = blank == std::wstring::npos ? std::wstring() : classlib::Trim(tag.substr(blank + 1));
        const std::wstring upperParam = Upper(param);
        TLinkKind kind;
        if (name == L"B" || name == L"/B") format.Bold = name == L"B";
        else if (name == L"I" || name == L"/I") format.Italic = name == L"I";
        else if (name == L"U" || name == L"/U") format.Underline = name == L"U";
        else if (name == L"S" || name == L"/S") format.StrikeOut = name == L"S";
        else if (name == L"COLOR") MarkupColor(upperParam, format.Color);
        else if (name == L"/COLOR") format.Color = Defaults.Format.Color;
        else if (name == L"SIZE") format.Size = classlib::StrToIntDef(upperParam, 0);
        else if (name == L"/SIZE") format.Size = Defaults.Format.Size;
        else if (name == L"FONT") format.FontName = upperParam;
        else if (name == L"/FONT") format.FontName = Defaults.Format.FontName;
        else if (name == L"BR") {
            classlib::TAlignment align = Defaults.Align;
            if (upperParam == L"LEFT") align = classlib::TAlignment::taLeftJustify;
            else if (upperParam == L"RIGHT") align = classlib::TAlignment::taRightJustify;
            else if (upperParam == L"CENTER") align = classlib::TAlignment::taCenter;
            result.Paragraphs.push_back(TMarkupParagraph{pos, align});
        } else if (LinkTag(name, false, kind)) {
            saved.push_back(format);
            format.Color = kind == TLinkKind::lkUrl ? Defaults.UrlColor
                           : kind == TLinkKind::lkMail ? Defaults.MailColor : Defaults.LinkColor;
            format.Underline = true;
            open.push_back(TOpenLink{pos, param, kind});
        } else if (LinkTag(name, true, kind)) {
            if (!saved.empty()) {
                const TLinkCharFormat s = saved.back();
                saved.pop_back();
                format.Color = s.Color;
                format.Bold = s.Bold;
                format.Italic = s.Italic;
                format.Underline = s.Underline;
                format.StrikeOut = s.StrikeOut;
            }
            for (auto it = open.rbegin(); it != open.rend(); ++it)
                if (it->Kind == kind) {
                    result.Links.push_back(TMarkupLink{it->Start, pos, it->Target, kind});
                    open.erase(std::next(it).base());
                    break;
                }
        }
    }
    // The text after the last tag keeps the last format.
    if (pos > previous) result.Runs.push_back(TMarkupRun{previous, pos - previous, format});
    return result;
}

const TMarkupLink* FindLink(const TLinkMarkup& Markup, int Index) {
    // Links are listed as they close, so an inner link comes before the one around it.
    for (const TMarkupLink& link : Markup.Links)
        if (Index >= link.Start && Index < link.End) return &link;
    return nullptr;
}

}  // namespace widgets::custom
