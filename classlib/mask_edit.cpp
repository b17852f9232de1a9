// The masked edit of the class library.
#include "classlib/mask_edit.h"

#include <algorithm>
#include <cctype>

namespace classlib {

// ---- TEditMask -------------------------------------------------------------------------------

TEditMask::TEditMask(const std::string& Mask) {
    // Up to two fields follow the mask, each after a ";" that is not escaped with "\".
    std::string mask = Mask;
    std::vector<std::string> fields;
    for (int n = 0; n < 2; ++n) {
        size_t p = mask.rfind(';');
        if (p == std::string::npos || (p > 0 && mask[p - 1] == '\\')) break;
        fields.insert(fields.begin(), mask.substr(p + 1));
        mask.erase(p);
    }
    if (!fields.empty()) keepLiterals_ = fields[0].empty() || fields[0][0] != '0';
    if (fields.size() == 2 && !fields[1].empty()) blank_ = fields[1][0];
    int caseMode = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        char c = mask[i];
        if (c == '!' && i == 0) continue;
        if (c == '<' && i + 1 < mask.size() && mask[i + 1] == '>') {
            caseMode = 0;
            ++i;
            continue;
        }
        if (c == '>') { caseMode = 1; continue; }
        if (c == '<') { caseMode = -1; continue; }
        Slot slot;
        if (c == '\\' && i + 1 < mask.size()) {
            slot.ch = mask[++i];
        } else if (std::string("09#LlAaCc").find(c) != std::string::npos) {
            slot.literal = false;
            slot.ch = c;
            slot.required = c == '0' || c == 'L' || c == 'A' || c == 'C';
            slot.caseMode = caseMode;
        } else {
            slot.ch = c;
        }
        slots_.push_back(slot);
    }
}

char TEditMask::Initial(int Pos) const {
    const Slot& s = slots_.at(static_cast<size_t>(Pos));
    return s.literal ? s.ch : blank_;
}

char TEditMask::Accept(int Pos, char Ch) const {
    const Slot& s = slots_.at(static_cast<size_t>(Pos));
    if (s.literal) return 0;
    auto u = static_cast<unsigned char>(Ch);
    bool digit = std::isdigit(u) != 0;
    bool letter = IsCharAlphaA(Ch) != 0;
    bool ok = false;
    switch (s.ch) {
        case '0': case '9': ok = digit; break;
        case '#': ok = digit || Ch == '+' || Ch == '-'; break;
        case 'L': case 'l': ok = letter; break;
        case 'A': case 'a': ok = letter || digit; break;
        default: ok = u >= 32; break;  // C, c
    }
    if (!ok) return 0;
    if (s.caseMode != 0 && letter) {
        char buf[2] = {Ch, 0};
        if (s.caseMode > 0) CharUpperA(buf);
        else CharLowerA(buf);
        Ch = buf[0];
    }
    return Ch;
}

int TEditMask::NextEditable(int Pos) const {
    int n = Length();
    for (int i = std::max(Pos, 0); i < n; ++i)
        if (!slots_[static_cast<size_t>(i)].literal) return i;
    return n;
}

int TEditMask::PrevEditable(int Pos) const {
    for (int i = std::min(Pos, Length()) - 1; i >= 0; --i)
        if (!slots_[static_cast<size_t>(i)].literal) return i;
    return -1;
}

std::string TEditMask::Format(const std::string& Text) const {
    std::string out;
    out.reserve(slots_.size());
    size_t t = 0;
    for (int i = 0; i < Length(); ++i) {
        const Slot& s = slots_[static_cast<size_t>(i)];
        if (s.literal) {
            out += s.ch;
            if (keepLiterals_ && t < Text.size()) ++t;  // the text has its literal here too
            continue;
        }
        char c = 0;
        if (t < Text.size()) {
            char given = Text[t++];
            if (given != ' ' && given != blank_) c = Accept(i, given);
        }
        out += c != 0 ? c : blank_;
    }
    return out;
}

std::string TEditMask::Strip(const std::string& EditText) const {
    std::string out;
    for (int i = 0; i < Length(); ++i) {
        const Slot& s = slots_[static_cast<size_t>(i)];
        char c = static_cast<size_t>(i) < EditText.size() ? EditText[static_cast<size_t>(i)] : blank_;
        if (s.literal) {
            if (keepLiterals_) out += c;
            continue;
        }
        out += c == blank_ ? ' ' : c;
    }
    return out;
}

// ---- TCustomMaskEdit -------------------------------------------------------------------------

TCustomMaskEdit::TCustomMaskEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}

void TCustomMaskEdit::SetEditMask(const std::string& Value) {
    if (editMask_ == Value) return;
    std::string text = Text();
    editMask_ = Value;
    mask_ = TEditMask(Value);
    if (IsMasked()) {
        SetMaxLength(mask_.Length());
        SetEditText(mask_.Format(text));
    } else {
        SetMaxLength(0);
        TControl::SetText(text);
    }
}

void TCustomMaskEdit::SetEditText(const std::string& Value) { TControl::SetText(Value); }

std::string TCustomMaskEdit::Text() {
    if (!IsMasked()) return TControl::Text();
    return mask_.Strip(EditText());
}

void TCustomMaskEdit::SetText(const std::string& Value) {
    if (!IsMasked()) {
        TControl::SetText(Value);
        return;
    }
    SetEditText(mask_.Format(Value));
}

bool TCustomMaskEdit::Modified() {
    return HandleAllocated() && SendMessageA(WindowHandle(), EM_GETMODIFY, 0, 0) != 0;
}

void TCustomMaskEdit::SetModified(bool Value) {
    if (HandleAllocated()) SendMessageA(WindowHandle(), EM_SETMODIFY, Value ? TRUE : FALSE, 0);
}

void TCustomMaskEdit::ValidateEdit() {
    if (!IsMasked()) return;
    std::string text = EditText();
    bool allBlank = true;
    int firstMissing = -1;
    for (int i = 0; i < mask_.Length(); ++i) {
        if (mask_.IsLiteral(i)) continue;
        bool blank = static_cast<size_t>(i) >= text.size() || text[static_cast<size_t>(i)] == mask_.Blank();
        if (!blank) allBlank = false;
        if (blank && mask_.Required(i) && firstMissing < 0) firstMissing = i;
    }
    if (allBlank || firstMissing < 0) return;
    if (HandleAllocated()) SetCaret(firstMissing);
    throw EDBEditError(L"Invalid input value.  Use escape key to abandon changes");
}

void TCustomMaskEdit::CreateWnd() {
    TCustomEdit::CreateWnd();
    if (IsMasked() && EditText().empty()) SetEditText(mask_.Format(std::string()));
}

void TCustomMaskEdit::GetSel(int& Start, int& End) {
    DWORD s = 0, e = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    Start = static_cast<int>(s);
    End = static_cast<int>(e);
}

void TCustomMaskEdit::SetCaret(int Pos) { SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(Pos), Pos); }

void TCustomMaskEdit::BlankRange(int Start, int End) {
    std::string text = EditText();
    text.resize(static_cast<size_t>(mask_.Length()), mask_.Blank());
    for (int i = std::max(Start, 0); i < std::min(End, mask_.Length()); ++i)
        if (!mask_.IsLiteral(i)) text[static_cast<size_t>(i)] = mask_.Blank();
    SetEditText(text);
    SetModified(true);
    SetCaret(Start);
}

bool TCustomMaskEdit::TypeChar(char Ch) {
    int start = 0, end = 0;
    GetSel(start, end);
    if (end > start) BlankRange(start, end);
    int pos = mask_.NextEditable(start);
    if (pos >= mask_.Length()) return false;
    char c = mask_.Accept(pos, Ch);
    if (c == 0) return false;
    std::string text = EditText();
    text.resize(static_cast<size_t>(mask_.Length()), mask_.Blank());
    text[static_cast<size_t>(pos)] = c;
    SetEditText(text);
    SetModified(true);
    // The caret goes past the literals that follow.
    int next = pos + 1;
    while (next < mask_.Length() && mask_.IsLiteral(next)) ++next;
    SetCaret(next);
    return true;
}

void TCustomMaskEdit::KeyPress(char& Key) {
    TCustomEdit::KeyPress(Key);
    if (!IsMasked() || Key == 0 || ReadOnly()) return;
    auto u = static_cast<unsigned char>(Key);
    if (Key == VK_BACK) {
        int start = 0, end = 0;
        GetSel(start, end);
        if (end > start) {
            BlankRange(start, end);
        } else {
            int prev = mask_.PrevEditable(start);
            if (prev >= 0) BlankRange(prev, prev + 1);
        }
        Key = 0;
    } else if (u >= 32) {
        if (!TypeChar(Key)) MessageBeep(0);
        Key = 0;
    }
}

void TCustomMaskEdit::KeyDown(WORD& Key, TShiftState Shift) {
    TCustomEdit::KeyDown(Key, Shift);
    if (!IsMasked() || Key != VK_DELETE || ReadOnly() || (Shift & (ssShift | ssCtrl | ssAlt)) != 0) return;
    int start = 0, end = 0;
    GetSel(start, end);
    BlankRange(start, end > start ? end : start + 1);
    Key = 0;
}

void TCustomMaskEdit::Dispatch(TMessage& Message) {
    if (IsMasked() && HandleAllocated() && !ReadOnly()) {
        switch (Message.Msg) {
            case WM_CUT:
            case WM_CLEAR: {
                int start = 0, end = 0;
                GetSel(start, end);
                if (Message.Msg == WM_CUT) DefaultHandler(Message);  // copies; the text is put back
                BlankRange(start, end);
                return;
            }
            case WM_PASTE: {
                std::string pasted;
                if (OpenClipboard(WindowHandle())) {
                    if (HANDLE data = GetClipboardData(CF_TEXT)) {
                        if (auto* p = static_cast<const char*>(GlobalLock(data))) {
                            pasted = p;
                            GlobalUnlock(data);
                        }
                    }
                    CloseClipboard();
                }
                for (char c : pasted)
                    if (!TypeChar(c)) break;
                return;
            }
            default:
                break;
        }
    }
    TCustomEdit::Dispatch(Message);
}

}  // namespace classlib
