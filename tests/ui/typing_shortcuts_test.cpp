// Keys that are shortcuts and text at once: while any text field of the main window has the focus
// (not only the overlay panel's), no action claims keypad plus and minus or the space bar, so they
// are typed into it; the volume and freeze actions take them back when the focus leaves for a
// control that takes no text.
#include "ui/typing_shortcuts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "classlib/application.h"
#include "classlib/forms.h"
#include "tests/ui/store_helpers.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/incruster_frame.h"
#include "ui/options_frame.h"
#include "ui/sources_frame.h"

namespace {

class TTypingForm : public ui::TCaptureForm {
public:
    TTypingForm(classlib::TComponent* AOwner, std::wstring exeName) : ui::TCaptureForm(AOwner), exe_(std::move(exeName)) {}
    std::wstring ExeName() const override { return exe_; }
    bool AskStorageMode(std::uint8_t&) override { return false; }

private:
    std::wstring exe_;
};

class TypingKeys : public ::testing::Test {
protected:
    quill_test::MarbrecqKeyGuard registry_{L"Software\\QuillotraneTypingTestBackup"};
    void SetUp() override {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        form_.reset(classlib::NewForm<TTypingForm>(nullptr, std::wstring(base) + L"quill-typing\\Quillotrane.exe"));
        form_->Show();
        SetForegroundWindow(form_->Handle());
    }
    void TearDown() override {
        form_->OnCloseQuery = nullptr;
        form_.reset();
    }
    // Focus on Control, with the messages that follow handled.
    void FocusOn(classlib::TWinControl* Control) {
        ASSERT_TRUE(Control->CanFocus());
        Control->SetFocus();
        classlib::Application()->ProcessMessages();
        ASSERT_EQ(Control, form_->ActiveControl());
    }
    std::unique_ptr<TTypingForm> form_;
};

TEST_F(TypingKeys, EveryTextFieldTakesItsKeysAndTheActionsGetThemBack) {
    TTypingForm* form = form_.get();
    const classlib::TShortCut plus = form->acIncVolume->ShortCut();
    const classlib::TShortCut minus = form->acDecVolume->ShortCut();
    const classlib::TShortCut space = form->taFreezeCapture->ShortCut();
    ASSERT_EQ(VK_ADD, plus);
    ASSERT_EQ(VK_SUBTRACT, minus);
    ASSERT_NE(0, space);

    struct Field {
        ui::TPanelFrame* Panel;
        classlib::TWinControl* Control;
    };
    const Field fields[] = {{form->IncrusterFrame1, form->IncrusterFrame1->edPerso1},
                            {form->DossiersFrame1, form->DossiersFrame1->VideoRacineEdit},
                            {form->SourcesFrame, form->SourcesFrame->leFramerate},
                            {form->OptionsFrame, form->OptionsFrame->leNoDatecode}};
    for (const Field& field : fields) {
        field.Panel->ShowFrame();
        field.Control->Show();  // the frame rate's field shows for one capture format only
        ASSERT_NO_FATAL_FAILURE(FocusOn(field.Control)) ;
        EXPECT_TRUE(form->TypingShortcuts->Suppressed());
        EXPECT_EQ(0, form->acIncVolume->ShortCut());
        EXPECT_EQ(0, form->acDecVolume->ShortCut());
        EXPECT_EQ(0, form->taFreezeCapture->ShortCut());
        // The application hands a key to the action list before the field: none of them claims it.
        for (WORD key : {VK_ADD, VK_SUBTRACT, VK_SPACE}) EXPECT_FALSE(form->al->IsShortCut(key)) << key;
        field.Panel->HideFrame();
    }

    // A control that takes no typed text: the shortcuts are back as they were.
    form->OptionsFrame->ShowFrame();
    form->OptionsFrame->PageControl1->SetActivePage(form->OptionsFrame->tsPref);
    ASSERT_NO_FATAL_FAILURE(FocusOn(form->OptionsFrame->cbConfirmerVideo));
    EXPECT_FALSE(form->TypingShortcuts->Suppressed());
    EXPECT_EQ(plus, form->acIncVolume->ShortCut());
    EXPECT_EQ(minus, form->acDecVolume->ShortCut());
    EXPECT_EQ(space, form->taFreezeCapture->ShortCut());
}

}  // namespace
