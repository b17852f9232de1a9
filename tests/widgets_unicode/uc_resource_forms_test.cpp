// Wide forms read from their form resources (uc_resource_forms.rc): wide texts, an ancestor's
// resource first, the action's caption taken only where the form left the default (what only a
// loaded form does), and the refusals: no resource, a stream that does not read.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "classlib/filer.h"
#include "exception_text.h"
#include "uc_test_support.h"
#include "widgets/unicode/uc_actions.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"

using namespace uctest;
using widgets::TUcForm;
using widgets::TUcFormSource;

namespace {

const std::wstring kFormCaption = L"\x0424\x043E\x0440\x043C\x0430 \x65E5\x672C";
const std::wstring kOwn = L"\x0421\x0432\x043E\x044F";
const std::wstring kOwnHint = kOwn + L" \x043F\x043E\x0434\x0441\x043A\x0430\x0437\x043A\x0430";
const std::wstring kAction = L"\x0414\x0435\x0439\x0441\x0442\x0432\x0438\x0435 \x65E5\x672C";
const std::wstring kActionHint = L"\x041F\x043E\x0434\x0441\x043A\x0430\x0437\x043A\x0430";

// Forms of the program that read their resources (TUcForm's Create, not CreateNew).
class TUcResourceForm : public TUcForm {
public:
    CLASSLIB_CLASS_NAME(TUcResourceForm)
    explicit TUcResourceForm(classlib::TComponent* AOwner) : TUcForm(AOwner, TUcFormSource::FromResource) {}
    widgets::TUcButton* Button(const wchar_t* Name) { return dynamic_cast<widgets::TUcButton*>(FindComponent(Name)); }
};

class TUcResourceChildForm : public TUcResourceForm {
public:
    CLASSLIB_CLASS_NAME(TUcResourceChildForm)
    using TUcResourceForm::TUcResourceForm;
};

class TUcNoResourceForm : public TUcForm {
public:
    CLASSLIB_CLASS_NAME(TUcNoResourceForm)
    explicit TUcNoResourceForm(classlib::TComponent* AOwner) : TUcForm(AOwner, TUcFormSource::FromResource) {}
};

class TUcBrokenResourceForm : public TUcForm {
public:
    CLASSLIB_CLASS_NAME(TUcBrokenResourceForm)
    explicit TUcBrokenResourceForm(classlib::TComponent* AOwner) : TUcForm(AOwner, TUcFormSource::FromResource) {}
};

class WideResourceFormsTest : public WideTest {
protected:
    void SetUp() override {
        WideTest::SetUp();
        // The classes' places in the class table (what the form resources are found by).
        classlib::RegisterPublishedProperties(L"TUcResourceForm", L"TUcForm", {});
        classlib::RegisterPublishedProperties(L"TUcResourceChildForm", L"TUcResourceForm", {});
        classlib::RegisterPublishedProperties(L"TUcNoResourceForm", L"TUcForm", {});
        classlib::RegisterPublishedProperties(L"TUcBrokenResourceForm", L"TUcForm", {});
    }
};

TEST_F(WideResourceFormsTest, LoadedFormShowsItsWideTextsAndKeepsTheCaptionsItSetItself) {
    TUcResourceForm* form = nullptr;
    classlib::Application()->CreateForm(form);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Name(), L"ResourceForm");
    EXPECT_EQ(form->Caption(), kFormCaption);
    EXPECT_EQ(form->Width(), 380);
    EXPECT_FALSE(form->HasFormState(classlib::fsCreating));
    widgets::TUcButton* own = form->Button(L"OwnCaption");
    widgets::TUcButton* named = form->Button(L"NamedButton");
    widgets::TUcButton* empty = form->Button(L"EmptyButton");
    auto* action = dynamic_cast<widgets::TUcAction*>(form->FindComponent(L"WideAction"));
    ASSERT_TRUE(own && named && empty && action);
    EXPECT_EQ(own->Parent(), form);
    EXPECT_EQ(own->Action(), action);
    EXPECT_EQ(action->Caption(), kAction);
    // Loaded, the action's texts go only where the stream left the default: an empty caption, a
    // caption equal to the button's name, an empty hint.
    EXPECT_EQ(own->Caption(), kOwn);
    EXPECT_EQ(own->Hint(), kOwnHint);
    EXPECT_EQ(named->Caption(), kAction);
    EXPECT_EQ(empty->Caption(), kAction);
    EXPECT_EQ(empty->Hint(), kActionHint);
    // Bound in code the same action replaces a caption of its own.
    auto* coded = new widgets::TUcButton(form);
    coded->SetCaption(kOwn);
    coded->SetAction(action);
    EXPECT_EQ(coded->Caption(), kAction);

    form->Show();
    EXPECT_TRUE(IsWindowUnicode(form->Handle()));
    EXPECT_EQ(WindowText(form->Handle()), kFormCaption);
    EXPECT_EQ(WindowText(own->Handle()), kOwn);
    EXPECT_EQ(WindowText(named->Handle()), kAction);
    EXPECT_EQ(GetParent(own->Handle()), form->Handle());
    // The buttons stay bound: a new wide caption of the action reaches those that show it.
    action->SetCaption(kGreek);
    EXPECT_EQ(WindowText(named->Handle()), kGreek);
    EXPECT_EQ(WindowText(own->Handle()), kOwn);
}

TEST_F(WideResourceFormsTest, DerivedFormReadsItsAncestorsResourceFirst) {
    auto* form = classlib::NewForm<TUcResourceChildForm>(classlib::Application());
    EXPECT_EQ(form->Caption(), kOwn);  // its own stream's caption wins
    EXPECT_NE(form->Button(L"OwnCaption"), nullptr);  // from the ancestor's stream
    auto* extra = dynamic_cast<widgets::TUcLabel*>(form->FindComponent(L"Extra"));
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->Caption(), kActionHint);
    EXPECT_EQ(extra->Parent(), form);
}

TEST_F(WideResourceFormsTest, FormWithoutAResourceOrWithABrokenOneIsNotMade) {
    const int forms = classlib::Screen()->FormCount();
    TUcNoResourceForm* missing = nullptr;
    EXPECT_EQ(quill_test::MessageOf<classlib::EResNotFound>([&] { classlib::Application()->CreateForm(missing); }),
              L"Resource TUcNoResourceForm not found");
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(classlib::Application()->MainForm(), nullptr);
    EXPECT_EQ(classlib::Screen()->FormCount(), forms);
    EXPECT_EQ(quill_test::MessageOf<classlib::EReadError>(
                  [] { classlib::NewForm<TUcBrokenResourceForm>(classlib::Application()); }),
              L"Error reading Orphan.Action: Component NoSuchAction not found");
    EXPECT_EQ(classlib::Screen()->FormCount(), forms);
    // A form built in code (the program's own) reads nothing.
    auto* coded = classlib::NewForm<TUcForm>(classlib::Application());
    EXPECT_EQ(coded->ComponentCount(), 0);
}

}  // namespace
