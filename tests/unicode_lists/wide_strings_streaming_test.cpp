// A wide string list published by a component streams as its "Strings" property and reads back,
// also from the legacy properties older form streams carry.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "classlib/filer.h"
#include "classlib/streams.h"
#include "unicode/wide_strings.h"

using namespace classlib;
using namespace unicode;

namespace {

class TMemoHolder : public TComponent {
public:
    CLASSLIB_CLASS_NAME(TMemoHolder)
    using TComponent::TComponent;
    TUcStringList lines;
};

class WideStringsStreaming : public ::testing::Test {
protected:
    void SetUp() override {
        TPropInfo lines;
        lines.Name = L"Lines";
        lines.Kind = tkClass;
        lines.Getter = [](TPersistent* o) -> TPropValue {
            return static_cast<TPersistent*>(&static_cast<TMemoHolder*>(o)->lines);
        };
        RegisterPublishedProperties(L"TMemoHolder", L"TComponent", {lines});
    }
    void TearDown() override { UnregisterPublishedProperties(L"TMemoHolder"); }
};

TEST_F(WideStringsStreaming, ListRoundTripsThroughAFormStream) {
    TMemoHolder memo(nullptr);
    memo.SetName(L"Memo");
    memo.lines.Add(L"caf\u00e9");
    memo.lines.Add(L"\u03a9\u4e2d");
    memo.lines.Add(L"");
    TMemoryStream stream;
    TWriter(&stream).WriteDescendent(&memo, nullptr);
    stream.SetPosition(0);

    TMemoHolder back(nullptr);
    back.lines.Add(L"stale");
    int changes = 0;
    back.lines.OnChange = [&](TObject*) { ++changes; };
    TReader(&stream).ReadRootComponent(&back);
    ASSERT_EQ(back.lines.Count(), 3);
    EXPECT_EQ(back.lines.Strings(0), L"caf\u00e9");
    EXPECT_EQ(back.lines.Strings(1), L"\u03a9\u4e2d");
    EXPECT_EQ(back.lines.Strings(2), L"");
    EXPECT_EQ(changes, 1);  // one batch
}

TEST_F(WideStringsStreaming, EmptyListIsNotWrittenAndLegacyListsLoad) {
    TMemoHolder memo(nullptr);
    memo.SetName(L"Memo");
    TMemoryStream empty;
    TWriter(&empty).WriteDescendent(&memo, nullptr);
    const std::string bytes(empty.Bytes().begin(), empty.Bytes().end());
    EXPECT_EQ(bytes.find("Strings"), std::string::npos);

    // An older form: the lines only as UTF-8 in "WideStringsW".
    TMemoryStream old;
    TWriter w(&old);
    old.WriteBuffer("TPF0", 4);
    w.WriteStr(L"TMemoHolder");
    w.WriteStr(L"Memo");
    w.WriteStr(L"Lines.WideStringsW");
    w.WriteListBegin();
    w.WriteString("\xc3\xa9t\xc3\xa9");
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
    old.SetPosition(0);
    TMemoHolder back(nullptr);
    TReader(&old).ReadRootComponent(&back);
    ASSERT_EQ(back.lines.Count(), 1);
    EXPECT_EQ(back.lines.Strings(0), L"\u00e9t\u00e9");
}

}  // namespace
