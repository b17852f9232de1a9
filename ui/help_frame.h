// The help panel (panel 7): a help text with links, the system report, the capture sources the
// user may exclude from the program's lists, and two zones on which a dropped filter library is
// registered or unregistered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "classlib/graphics.h"
#include "ui/panel_frame.h"
#include "widgets/custom/link_edit.h"
#include "widgets/unicode/uc_check_list_box.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_rich_edit.h"
#include "widgets/unicode/uc_std_controls.h"

namespace ui {

using TDroppedFileEvent = std::function<void(classlib::TObject* Sender, const std::wstring& FileName)>;

// A drop zone: a read-only memo that hands each file dropped on it from the shell to OnDroppedFile.
class TMemo : public widgets::TUcMemo {
public:
    CLASSLIB_CLASS_NAME(TMemo)
    explicit TMemo(classlib::TComponent* AOwner);

    // Registers the window with the shell as taking dropped files (again after each re-creation).
    void AcceptDroppedFiles();
    TDroppedFileEvent OnDroppedFile;

    // Names of this many characters or more are not handed on.
    static constexpr unsigned kMaxNameLength = 65531;

    void Dispatch(classlib::TMessage& Message) override;

protected:
    void CreateWnd() override;

private:
    void WMDropFiles(HDROP Drop);
    bool accepting_ = false;
};

// One line of the system report.
struct TReportLine {
    std::wstring Text;
    classlib::TColor Color = classlib::clBlack;
    bool Bold = false;
    bool Italic = false;
};

// The read-only rich edit of the system report. It keeps its lines, so that a new window shows them
// again with their colours and styles.
class TSystemReportEdit : public widgets::TUcRichEdit {
public:
    CLASSLIB_CLASS_NAME(TSystemReportEdit)
    explicit TSystemReportEdit(classlib::TComponent* AOwner);

    void ClearReport();
    // The style the next lines are written in.
    void SetInsertStyle(bool Bold, bool Italic);
    void AddLine(const std::wstring& Text, classlib::TColor Color);
    const std::vector<TReportLine>& ReportLines() const { return lines_; }

protected:
    void CreateWnd() override;

private:
    // The report's size in points.
    static constexpr int kPoints = 8;
    void Append(const TReportLine& Line);
    // The width of Blanks blanks in the line's font, in twips.
    static LONG IndentTwips(const TReportLine& Line, size_t Blanks);
    std::vector<TReportLine> lines_;
    bool bold_ = false;
    bool italic_ = false;
};

class THelpFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(THelpFrame)
    explicit THelpFrame(classlib::TComponent* AOwner);

    widgets::TUcPageControl* PageControl1 = nullptr;
    widgets::TUcTabSheet* tsAide = nullptr;
    widgets::TUcTabSheet* tsSystem = nullptr;
    widgets::TUcTabSheet* tsSources = nullptr;
    widgets::TUcTabSheet* tsFiltres = nullptr;
    widgets::custom::TLinkEdit* LinkEdit1 = nullptr;
    TSystemReportEdit* reSystem = nullptr;
    widgets::TUcMemo* Memo1 = nullptr;
    // The capture sources, one line per device ever seen; unchecked lines are excluded.
    widgets::TUcCheckListBox* clSources = nullptr;
    widgets::TUcLabel* LabelIns = nullptr;
    TMemo* MemoIns = nullptr;
    widgets::TUcLabel* LabelDes = nullptr;
    TMemo* MemoDes = nullptr;

    // Once, at the main window's first showing: the drop zones take files, the help text is set.
    void InitTexts();

    void LinkEdit1CustomLinkClick(const std::wstring& Link);
    void LinkEdit1UrlClick(const std::wstring& Link);
    void LinkEdit1CustomLinkHint(const std::wstring& Link, std::wstring& Hint);
    void LinkEdit1UrlHint(const std::wstring& Link, std::wstring& Hint);

    // The drop zones' handlers: after the user's Yes, the library's filters are registered or
    // unregistered and the outcome is told.
    void InstallFilterFile(const std::wstring& FileName);
    void UninstallFilterFile(const std::wstring& FileName);

    // The system report: emptied with its mail copy, then written line by line.
    void ClearSystemInfo();
    void AddSystemInfoLine(const std::wstring& Text, classlib::TColor Color);

private:
    void RegisterDropped(const std::wstring& FileName, bool Install);
};

// The mail copy of the system report: its lines, each followed by CR LF, as plain text (the mail
// helper encodes it for the mail's address).
const std::wstring& SystemInfoMailText();

}  // namespace ui
