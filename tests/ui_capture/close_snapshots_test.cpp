// The close and the pictures asked before it: a grab asked just before the close is saved before
// the close goes on (also while the intervalometer keeps adding pictures), a picture that cannot
// come is reported after a bounded wait, and a close asked while a picture's save asks a question
// comes once the save is over.
#include <string>

#include "filters/superposer.h"
#include "settings/settings_catalogue.h"
#include "tests/ui_capture/ui_capture_support.h"
#include "ui/extraire_frame.h"
#include "ui/options_frame.h"

namespace ui_capture_test {
namespace {

const wchar_t kNotTaken[] = L"The picture asked for before closing did not come from the video in time: it was not saved.";

class SnapshotsAtClose : public CaptureUiTest {
protected:
    // The window's close, as a close box's click asks it: whether the window may close.
    bool CloseQuery() {
        bool canClose = true;
        form->FormCloseQuery(form.get(), canClose);
        return canClose;
    }
};

TEST_F(SnapshotsAtClose, AGrabAskedJustBeforeTheCloseIsSavedFirst) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    form->NextImageFile = Path(L"last.bmp");
    form->saGrab->Execute();
    EXPECT_TRUE(CloseQuery());
    int width = 0, height = 0, bits = 0;
    EXPECT_TRUE(ReadBmpHeader(Path(L"last.bmp"), width, height, bits)) << "the picture was written before the close";
    EXPECT_EQ(24, bits);
    EXPECT_TRUE(questions.empty()) << "nothing to report";
    EXPECT_EQ(1, form->StorageQuestions) << "the close went on";
}

TEST_F(SnapshotsAtClose, TheIntervalometersPicturesDoNotHoldTheCloseUp) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    // A picture at every frame: there is always one more coming.
    auto* frame = form->ExtraireFrame1;
    frame->KitSpinEdit7->SetText("0");
    frame->cbUnites->SetItemIndex(0);
    form->NextImageFile = Path(L"timed.bmp");
    frame->KitSwitch1->SetStateOn(true);
    ASSERT_TRUE(module->Superposer->ExtractionActive());
    ASSERT_TRUE(PumpUntil([&] { return FileSize(Path(L"timed.bmp")) > 0; }));
    form->NextImageFile = Path(L"asked.bmp");
    form->saGrab->Execute();
    EXPECT_TRUE(CloseQuery());
    EXPECT_GT(FileSize(Path(L"asked.bmp")), 54) << "the grab's picture is written";
    EXPECT_TRUE(questions.empty()) << "the close waited for what was asked, not for the next timed picture";
}

TEST_F(SnapshotsAtClose, APictureThatCannotComeIsReportedAfterABoundedWait) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    // The renderer holds the frame it got: the stream stands still while the graph runs, and no
    // frame reaches the overlay any more.
    sink->WaitInReceive = true;
    ASSERT_TRUE(PumpUntil([&] { return sink->Waiting.load() > 0; }));
    form->NextImageFile = Path(L"never.bmp");
    form->saGrab->Execute();
    EXPECT_TRUE(CloseQuery()) << "the close goes on";
    ASSERT_EQ(1u, questions.size()) << "the lost picture is reported";
    EXPECT_EQ(kNotTaken, questions[0].Text);
    EXPECT_EQ(widgets::MsgDlgButtons({widgets::mbOK}), questions[0].Buttons);
    EXPECT_EQ(-1, FileSize(Path(L"never.bmp")));
    EXPECT_EQ(1, form->StorageQuestions);
}

TEST_F(SnapshotsAtClose, NothingIsAwaitedWithoutARunningVideo) {
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    form->NextImageFile = Path(L"none.bmp");
    form->saGrab->Execute();  // no video source: the grab stays asked
    EXPECT_TRUE(module->Superposer->GrabRequested());
    EXPECT_TRUE(CloseQuery());
    EXPECT_TRUE(questions.empty()) << "no picture could come, none was waited for";
}

TEST_F(SnapshotsAtClose, ACloseAskedDuringAPicturesQuestionComesAfterIt) {
    ASSERT_NE(nullptr, Preview(kCamera));
    form->OptionsFrame->rgExtension->SetItemIndex(0);
    form->OptionsFrame->cbConfirmerImage->SetChecked(true);
    const std::wstring name = Path(L"there.bmp");
    {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
    }
    form->NextImageFile = name;
    answer = mrYes;
    int storageAtQuestion = -1;
    onQuestion = [&] {
        // The close box clicked while the overwrite question is open.
        form->Close();
        storageAtQuestion = form->StorageQuestions;
    };
    form->saGrab->Execute();
    ASSERT_TRUE(PumpUntil([&] { return FileSize(name) > 0; }));
    EXPECT_EQ(0, storageAtQuestion) << "the close waited for the save";
    EXPECT_TRUE(PumpUntil([&] { return form->StorageQuestions == 1; })) << "the held close came after the save";
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(1u, questions.size());
}

}  // namespace
}  // namespace ui_capture_test
