// The overlay panel: the time difference's text; a record shown in the controls; each edit into the
// overlay setting and the running filter; the content buttons and the overlay switch; the time
// difference pane on the clock's date; the text and its place chosen in the panel in the recorded
// picture; the keys of the shortcuts given to the fields typed into; a screenshot.
#include "panels_support.h"

#include "classlib/date_time.h"
#include "classlib/exceptions.h"
#include "filters/superposer.h"
#include "platform/standins/xvid_compressor.h"
#include "ui/action_images.h"

namespace panels_test {
namespace {

TEST(TimeDifference, HoursAloneOrDaysHoursMinutesSeconds) {
    EXPECT_EQ(L"3 hours", ui::TimeDifferenceText(3.0 / 24.0));
    EXPECT_EQ(L"1 days 02h 00m 05s", ui::TimeDifferenceText(1.0 + 2.0 / 24.0 + 5.0 / 86400.0));
    EXPECT_EQ(L"0 hours", ui::TimeDifferenceText(0.0));
    // A negative difference has negative parts, each truncated toward zero.
    EXPECT_EQ(L"0 days -01h -30m 00s", ui::TimeDifferenceText(-1.5 / 24.0));
}

class OverlayPanel : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        overlay->OnSwitchOverlay = [this] {
            ++switches;
            panelSettings.WantIncrust.SetValue(!panelSettings.WantIncrust.Value());
            module->Superposer->SetOverlayEnabled(panelSettings.WantIncrust.Value());
        };
    }
    settings::TincrustRec Shown() { return module->Superposer->IncrustRec(); }
    int switches = 0;
};

TEST_F(OverlayPanel, ARecordIsShownInTheControlsWithoutEditingIt) {
    settings::TincrustRec record = settings::DefaultIncrustRec();
    record.Alignement = 3;
    record.Autofontsize = true;
    record.BorderSize = 2;
    record.WhatIncrust = 1;
    record.DecalageHoraire = 3.0 / 24.0;
    int shownX = -1, shownY = -1;
    overlay->OnShowPosition = [&](int X, int Y) { shownX = X, shownY = Y; };
    overlay->LoadFromRec(record);
    EXPECT_TRUE(overlay->tbSousTitre->Down());
    EXPECT_EQ(L"auto", overlay->cbSize->Text());
    EXPECT_EQ("2", overlay->tbBorder->Caption());
    EXPECT_EQ(L"3 hours", overlay->labDecalage->Caption());
    EXPECT_FALSE(overlay->tbDecalage->Enabled()) << "the timecode has no date to correct";
    EXPECT_EQ(record.Xpos, shownX);
    EXPECT_EQ(record.Ypos, shownY);
    EXPECT_EQ(settings::DefaultIncrustRec(), panelSettings.IncrustRec.Value()) << "loading edits nothing";
}

TEST_F(OverlayPanel, EachEditReachesTheSettingAndTheRunningFilter) {
    overlay->LoadFromRec(panelSettings.IncrustRec.Value());
    overlay->edPerso1->SetText(L"Caf\u00e9");
    EXPECT_EQ(L"Caf\u00e9", Shown().Incrust1);
    EXPECT_EQ(L"Caf\u00e9", panelSettings.IncrustRec.Value().Incrust1);
    const bool italic = Shown().FontRec.Italic;
    overlay->tbItalic->Click();
    EXPECT_EQ(!italic, Shown().FontRec.Italic);
    int centred = 0;
    overlay->OnSubtitleAlignment = [&] { ++centred; };
    overlay->tbSousTitre->Click();
    EXPECT_EQ(3, Shown().Alignement);
    EXPECT_EQ(1, centred);
    overlay->pmBorder->Items()->Items(4)->Click();
    EXPECT_EQ(4, Shown().BorderSize);
    EXPECT_EQ("4", overlay->tbBorder->Caption());
    overlay->ColorButton->SetSelectedColor(0x00FF00);
    EXPECT_EQ(0x00FF00, Shown().FontRec.Color);

    overlay->cbSize->SetText(L" 36 ");
    overlay->cbSize->OnExit(overlay->cbSize);
    EXPECT_EQ(36, Shown().FontRec.Size);
    // Not a number: reported, the size kept, the automatic size already off.
    overlay->cbSize->SetText(L"auto");
    overlay->cbSize->OnExit(overlay->cbSize);
    EXPECT_TRUE(Shown().Autofontsize);
    overlay->cbSize->SetText(L"big");
    EXPECT_THROW(overlay->cbSize->OnExit(overlay->cbSize), classlib::EConvertError);
    EXPECT_FALSE(panelSettings.IncrustRec.Value().Autofontsize);
    EXPECT_EQ(36, panelSettings.IncrustRec.Value().FontRec.Size);

    overlay->rbScene->SetChecked(true);
    EXPECT_EQ(2, module->Superposer->DisplayMode());
    overlay->edDuree->SetText(L"1.5");
    EXPECT_THROW(overlay->edDuree->OnExit(overlay->edDuree), classlib::EConvertError);
    EXPECT_EQ(5, panelSettings.DureeIncruster.Value());
}

TEST_F(OverlayPanel, ContentButtonsSwitchTheOverlayOnAndNothingSwitchesItOnlyOff) {
    ASSERT_FALSE(panelSettings.WantIncrust.Value());
    overlay->HxImgBtn4->Click();  // "Nothing" while off
    EXPECT_EQ(0, switches);
    overlay->HxImgBtn3->Click();  // "Perso"
    EXPECT_EQ(1, switches);
    EXPECT_TRUE(module->Superposer->OverlayEnabled());
    EXPECT_EQ(2, Shown().WhatIncrust);
    EXPECT_FALSE(overlay->tbDecalage->Enabled());
    overlay->HxImgBtn5->Click();  // "Real": already on
    EXPECT_EQ(1, switches);
    EXPECT_EQ(3, Shown().WhatIncrust);
    EXPECT_TRUE(overlay->tbDecalage->Enabled());
    overlay->HxImgBtn4->Click();
    EXPECT_EQ(2, switches);
    EXPECT_FALSE(module->Superposer->OverlayEnabled());
    EXPECT_EQ(3, panelSettings.IncrustRec.Value().WhatIncrust) << "nothing is not a content";
}

TEST_F(OverlayPanel, TheTimeDifferenceCorrectsTheClocksDateAndResetsToNothing) {
    const double now = classlib::EncodeDate(2009, 6, 7) + classlib::EncodeTime(9, 5, 3, 700);
    overlay->OnNow = [now] { return now; };
    overlay->HxImgBtn5->Click();  // the clock
    overlay->tbDecalage->Click();
    ASSERT_TRUE(overlay->DecalageShown());
    EXPECT_TRUE(overlay->tbDecalage->Down());
    EXPECT_DOUBLE_EQ(classlib::EncodeDate(2009, 6, 7) + classlib::EncodeTime(9, 5, 3, 0), overlay->DecalageOldDate);
    EXPECT_EQ(9, overlay->seHeure->AsInteger());
    EXPECT_EQ(3, overlay->seSeconde->AsInteger());
    // The date and the time in the user's own formats.
    EXPECT_EQ(L"Old date: " + classlib::FormatDateTime(L"ddddd tt", overlay->DecalageOldDate),
              overlay->labOldDate->Caption());

    overlay->seHeure->SetValue(12);
    EXPECT_EQ(L"3 hours", overlay->labDecalage->Caption());
    EXPECT_NEAR(3.0 / 24.0, Shown().DecalageHoraire, 1e-9);
    overlay->DateEdit2->SetDate(classlib::EncodeDate(2009, 6, 8));
    EXPECT_EQ(L"1 days 03h 00m 00s", overlay->labDecalage->Caption());
    overlay->resetBtn->Click();
    EXPECT_EQ(L"", overlay->labDecalage->Caption());
    EXPECT_NEAR(0.0, Shown().DecalageHoraire, 1e-9);

    overlay->tbDecalage->Click();
    EXPECT_FALSE(overlay->DecalageShown());
    EXPECT_FALSE(overlay->tbDecalage->Down());

    // The DV date without a DV date to correct: nothing happens.
    overlay->HxImgBtn1->Click();
    overlay->tbDecalage->Click();
    EXPECT_FALSE(overlay->DecalageShown());
    EXPECT_FALSE(overlay->tbDecalage->Down());
}

TEST_F(OverlayPanel, TheTextAndItsPlaceChosenInThePanelAreInTheRecordedPicture) {
    options->FillDivxCodecs();
    ASSERT_TRUE(ui::DivxAvailable);
    ASSERT_EQ(standins::kXvidCompressorName, options->cboxdivx->Text());
    ASSERT_NO_FATAL_FAILURE(Preview(engine_test::kCamera, L""));
    ASSERT_EQ(320, engine::Native.SourceWidth);
    settings::TincrustRec record = panelSettings.IncrustRec.Value();
    record.Xpos = 500;
    record.Ypos = 500;
    record.BorderSize = 0;
    record.FontRec.Size = 28;
    record.FontRec.Bold = true;
    record.Autofontsize = false;
    panelSettings.IncrustRec.SetValue(record);
    overlay->LoadFromRec(record);
    overlay->edPerso1->SetText(L"MMMMMM");
    overlay->edPerso2->SetText(L"WWWWWW");
    overlay->ColorButton->SetSelectedColor(0x808080);
    overlay->tbLeftAlign->Click();
    overlay->HxImgBtn3->Click();  // "Perso" switches the overlay on

    // Changed pixels of the text's rows in the left and the right half, against a row of bars.
    auto halves = [&](const wchar_t* Name) {
        const auto path = NewFile(Name);
        EXPECT_TRUE(module->BuildDivxGraph(path.wstring())) << recording_a::Why();
        EXPECT_TRUE(RecordFrames(module->ControlCaptureVideo, 15));
        const std::string rgb = recording_a::FfmpegBytes(path, {"-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24"});
        EXPECT_EQ(320u * 240u * 3u, rgb.size());
        if (rgb.size() != 320u * 240u * 3u) return std::pair<int, int>{0, 0};
        return std::pair<int, int>{recording_a::ChangedAgainstRow(rgb, 320, 80, 160, 220, 0, 160),
                                   recording_a::ChangedAgainstRow(rgb, 320, 80, 160, 220, 160, 320)};
    };
    const auto left = halves(L"overlay left.avi");
    EXPECT_GT(left.second, 400) << "left-aligned at the middle: the text runs to the right";
    EXPECT_LT(left.first, left.second / 4);
    overlay->tbRightAlign->Click();
    const auto right = halves(L"overlay right.avi");
    EXPECT_GT(right.first, 400) << "right-aligned at the middle: the text ends there";
    EXPECT_LT(right.second, right.first / 4);
}

// A record that never went through the settings' load (a script, a caller of the filter): the
// panel shows the border the filter draws, and the filter draws border and text within their
// ranges, frame after frame.
TEST_F(OverlayPanel, ABorderBeyondTheMenuIsShownAndDrawnAsFivePixels) {
    settings::TincrustRec record = panelSettings.IncrustRec.Value();
    record.BorderSize = 300;
    overlay->LoadFromRec(record);
    EXPECT_EQ("5", overlay->tbBorder->Caption());
    record.BorderSize = -4;
    overlay->LoadFromRec(record);
    EXPECT_EQ("", overlay->tbBorder->Caption());

    options->FillDivxCodecs();
    ASSERT_TRUE(ui::DivxAvailable);
    ASSERT_NO_FATAL_FAILURE(Preview(engine_test::kCamera, L""));
    record.BorderSize = 2147483647;
    record.FontRec.Size = 2147483647;
    record.Autofontsize = false;
    record.Incrust1 = L"Q";
    record.WhatIncrust = 2;
    module->Superposer->SetIncrustRec(record);
    module->Superposer->SetOverlayEnabled(true);
    EXPECT_EQ(settings::kMaxBorderSize, Shown().BorderSize);
    EXPECT_EQ(settings::kMaxFontSize, Shown().FontRec.Size);
    EXPECT_EQ(L"Q", Shown().Incrust1);
    const auto path = NewFile(L"overlay wide border.avi");
    EXPECT_TRUE(module->BuildDivxGraph(path.wstring())) << recording_a::Why();
    EXPECT_TRUE(RecordFrames(module->ControlCaptureVideo, 15)) << "the frames flow with the text drawn";
}

TEST_F(OverlayPanel, AScreenshotOfThePanelAndOfItsTimeDifferencePane) {
    overlay->LoadFromRec(panelSettings.IncrustRec.Value());
    EXPECT_GT(Screenshot(overlay, L"overlay_panel.bmp"), 4);
    overlay->HxImgBtn5->Click();
    overlay->tbDecalage->Click();
    ASSERT_TRUE(overlay->DecalageShown());
    EXPECT_GT(Screenshot(overlay, L"overlay_time_difference.bmp"), 4);
}

// The time-difference button says what a click does (open or hide the pane), and the pane's
// reset shows its picture beside its caption.
TEST_F(OverlayPanel, TheTimeDifferenceButtonsCaptionFollowsThePane) {
    overlay->OnNow = [] { return classlib::EncodeDate(2009, 6, 7); };
    EXPECT_EQ("Add a time difference", overlay->tbDecalage->Caption());
    overlay->HxImgBtn5->Click();  // the clock
    overlay->tbDecalage->Click();
    ASSERT_TRUE(overlay->DecalageShown());
    EXPECT_EQ("Hide the time difference", overlay->tbDecalage->Caption());
    overlay->tbDecalage->Click();
    EXPECT_FALSE(overlay->DecalageShown());
    EXPECT_EQ("Add a time difference", overlay->tbDecalage->Caption());
    // Nothing to correct (no DV date): the pane stays hidden and the caption with it.
    overlay->HxImgBtn1->Click();
    overlay->tbDecalage->Click();
    EXPECT_EQ("Add a time difference", overlay->tbDecalage->Caption());

    EXPECT_EQ(overlay->ilFormat, overlay->resetBtn->Images());
    EXPECT_EQ(ui::format_picture::kReset, overlay->resetBtn->ImageIndex());
    EXPECT_EQ("Reset", overlay->resetBtn->Caption());
}

}  // namespace
}  // namespace panels_test
