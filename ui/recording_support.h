// What the main window's recording paths (start, stop, cut, failures, the replace questions) share:
// the settings they read, the recording's scene list, and the way they tell the user.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

std::wstring RecText(unsigned Id);
// Replacing a file is asked about first.
bool Confirming();
std::uint8_t CurrentFormat();
bool IsSoundFormat(std::uint8_t Format);
// The folder of Name, without its closing separator; empty when Name has none.
std::wstring FolderOf(const std::wstring& Name);
// Text as a paragraph of its own after another, nothing when empty.
std::wstring Paragraph(const std::wstring& Text);
void TellError(const std::wstring& Text);
// Where older files are kept, or files left as they are: told as information, not as an error.
void TellInfo(const std::wstring& Text);
// Why a start is refused, told as an error.
void TellCannotStart(const std::wstring& Why);
// A recording in Format from the current video source writes a scene list beside its file.
bool SceneListWanted(std::uint8_t Format);
// The file that a recording named Name would replace: the recording's own, else a scene list that
// another recording left where its own would go; empty when neither is there.
std::wstring ReplacedFile(const std::wstring& Name);
// A name a recording that asks nothing (a cut, a scheduled start) does not take: a file another
// program is writing, or one it would replace while replacing is to be confirmed.
bool NameTaken(const std::wstring& Name);

}  // namespace ui
