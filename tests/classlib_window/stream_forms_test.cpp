// Forms in component streams: a form written with its controls and actions is read back into a
// new form with the same parents, bounds, texts and action links; what an action or a kind gives
// a control is not written.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/actions.h"
#include "classlib/buttons.h"
#include "classlib/filer.h"
#include "classlib/forms.h"
#include "classlib/panels.h"
#include "classlib/std_controls.h"
#include "classlib/streams.h"

using namespace classlib;

namespace {

class StreamFormsTest : public ::testing::Test {
protected:
    void SetUp() override { Application()->Initialize(); }
    void TearDown() override {
        Application()->DestroyForms();
        Application()->SetMainForm(nullptr);
    }
};

int Count(const std::string& Haystack, const std::string& Needle) {
    int n = 0;
    for (size_t at = Haystack.find(Needle); at != std::string::npos; at = Haystack.find(Needle, at + 1)) ++n;
    return n;
}

TEST_F(StreamFormsTest, AFormReadsBackItsControlsParentsTextsAndActions) {
    TMemoryStream stream;
    {
        TForm source(nullptr);
        source.SetName(L"Source");
        source.SetCaption("Source form");
        source.SetBounds(40, 50, 420, 300);
        auto* panel = new TPanel(&source);
        panel->SetName(L"Panel1");
        panel->SetParent(&source);
        panel->SetBounds(8, 8, 300, 120);
        auto* go = new TButton(&source);
        go->SetName(L"Go");
        go->SetParent(panel);
        go->SetBounds(10, 20, 90, 25);
        go->SetCaption("&Go on");
        go->SetModalResult(mrOk);
        auto* action = new TAction(&source);
        action->SetName(L"Act");
        action->SetCaption("From the action");
        action->SetHint("Its hint");
        auto* linked = new TButton(&source);
        linked->SetName(L"Linked");
        linked->SetParent(&source);
        linked->SetBounds(10, 140, 120, 25);
        linked->SetAction(action);
        auto* ok = new TBitBtn(&source);
        ok->SetName(L"Ok");
        ok->SetParent(&source);
        ok->SetKind(TBitBtnKind::bkOK);
        ok->SetBounds(200, 140, 75, 25);
        ASSERT_EQ(linked->Caption(), "From the action");
        TWriter writer(&stream);
        writer.WriteRootComponent(&source);
    }
    const std::string bytes(stream.Bytes().begin(), stream.Bytes().end());
    // Written: the form's, the panel's (its name), the button's and the action's captions; not
    // the linked button's (its action gives it) nor the bit button's (its kind gives it).
    EXPECT_EQ(Count(bytes, "\x07" "Caption"), 4);
    EXPECT_EQ(Count(bytes, "From the action"), 1);

    stream.SetPosition(0);
    auto* form = new TForm(Application());
    TReader reader(&stream);
    reader.ReadRootComponent(form);
    EXPECT_EQ(form->Caption(), "Source form");
    EXPECT_EQ(form->Width(), 420);
    auto* panel = dynamic_cast<TPanel*>(form->FindComponent(L"Panel1"));
    auto* go = dynamic_cast<TButton*>(form->FindComponent(L"Go"));
    auto* linked = dynamic_cast<TButton*>(form->FindComponent(L"Linked"));
    auto* action = dynamic_cast<TAction*>(form->FindComponent(L"Act"));
    auto* ok = dynamic_cast<TBitBtn*>(form->FindComponent(L"Ok"));
    ASSERT_TRUE(panel && go && linked && action && ok);
    EXPECT_EQ(panel->Parent(), form);
    EXPECT_EQ(go->Parent(), panel);
    EXPECT_EQ(go->Left(), 10);
    EXPECT_EQ(go->Caption(), "&Go on");
    EXPECT_EQ(go->ModalResult(), mrOk);
    EXPECT_EQ(linked->Action(), action);
    EXPECT_EQ(linked->Caption(), "From the action");
    EXPECT_EQ(linked->Hint(), "Its hint");
    EXPECT_EQ(ok->Kind(), TBitBtnKind::bkOK);
    EXPECT_EQ(ok->Caption(), "OK");
    // The windows follow the parents.
    form->Show();
    EXPECT_EQ(GetParent(go->Handle()), panel->Handle());
    EXPECT_EQ(GetParent(panel->Handle()), form->Handle());
    char text[32] = {};
    GetWindowTextA(go->Handle(), text, 32);
    EXPECT_STREQ(text, "&Go on");
}

}  // namespace
