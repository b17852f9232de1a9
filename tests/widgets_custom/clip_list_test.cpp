// The clip list box on a form: adding, counts and their hint, sorting by each key, deletion by
// the Delete key, a drag out with the real mouse read by a drop target at drag-enter, and the
// background loader.
#include <windows.h>

#include <gtest/gtest.h>

#include "drag_test_support.h"
#include "widgets/custom/clip_list_box.h"

using namespace customtest;
using namespace widgets::custom;

namespace {

class ClipListTest : public CustomTest {
protected:
    void SetUp() override {
        CustomTest::SetUp();
        form = new classlib::TForm(classlib::Application());
        form->SetBounds(100, 100, 260, 300);
        list = new TFichierListBox(form);
        list->SetParent(form);
        list->SetBounds(0, 0, 240, 240);
        list->OnCountsChange = [this](int sel, int count) { counts.push_back({sel, count}); };
        form->Show();
    }
    std::wstring File(const std::wstring& Name, std::int64_t Size = 0, WORD Minute = 0) {
        return folder.Sized(Name, Size, Minute);
    }
    int Add(const std::wstring& Path, bool Select = false) { return list->AddFichier(TSRFichier::CreateFromFile(Path), Select); }
    std::vector<std::wstring> Names() {
        std::vector<std::wstring> names;
        for (int i = 0; i < list->FichierCount(); ++i) names.push_back(list->Fichier(i)->Name());
        return names;
    }
    TempFolder folder;
    classlib::TForm* form = nullptr;
    TFichierListBox* list = nullptr;
    std::vector<std::pair<int, int>> counts;
};

using NameList = std::vector<std::wstring>;

TEST_F(ClipListTest, AddingKeepsOrderOneItemPerFileAndCountsInTheHint) {
    TAbstractListFichier* focused = nullptr;
    list->OnActiveChange = [&](TAbstractListFichier* f) { focused = f; };
    std::wstring c = File(L"c.avi");
    EXPECT_EQ(Add(c), 0);
    // The first entry is focused and selected, though not asked to be.
    EXPECT_TRUE(list->Selected(0));
    EXPECT_EQ(focused, list->Fichier(0));
    EXPECT_EQ(Add(File(L"a.avi")), 0);
    EXPECT_EQ(Add(File(L"b.avi")), 1);
    Add(File(L"d.avi"));
    Add(File(L"e.avi"));
    EXPECT_EQ(Names(), (NameList{L"a.avi", L"b.avi", L"c.avi", L"d.avi", L"e.avi"}));
    EXPECT_EQ(list->Items()->Strings(2), L"c.avi");
    EXPECT_EQ(list->SelCount(), 1);
    EXPECT_EQ(list->FocusedFichier()->Name(), L"c.avi");  // the focus moved down with its item
    EXPECT_EQ(list->Hint(), L"1 fichier s\x00E9lectionn\x00E9 sur 5\r\n");
    EXPECT_EQ(counts.back(), std::make_pair(1, 5));
    // The same file again: one item, holding the new entry.
    auto again = TSRFichier::CreateFromFile(c);
    TSRFichier* second = again.get();
    EXPECT_EQ(list->AddFichier(std::move(again), true), 2);
    EXPECT_EQ(list->FichierCount(), 5);
    EXPECT_EQ(list->Fichier(2), second);
    list->SetSelected(4, true);
    list->SelectItem(4);
    EXPECT_EQ(list->Hint(), L"2 fichiers s\x00E9lectionn\x00E9s sur 5\r\n");
    // A refused entry is not added (and not leaked).
    list->BeforeLister = [](TAbstractListFichier* e) { return e->Extension() != L".tmp"; };
    EXPECT_EQ(Add(File(L"x.tmp")), -1);
    EXPECT_EQ(list->FichierCount(), 5);
}

TEST_F(ClipListTest, SortsByEachKeyKeepingFocusAndSelection) {
    Add(File(L"b.mpg", 4LL << 30, 3));
    Add(File(L"c.avi", 3LL << 30, 1));
    Add(File(L"a.wav", 5, 2));
    EXPECT_EQ(Names(), (NameList{L"a.wav", L"b.mpg", L"c.avi"}));
    list->SetSelected(0, true);
    list->SelectItem(1);  // b.mpg focused, a.wav selected too
    list->SetSortIndex(SortSize());
    EXPECT_EQ(Names(), (NameList{L"a.wav", L"c.avi", L"b.mpg"}));
    EXPECT_EQ(list->FocusedFichier()->Name(), L"b.mpg");
    EXPECT_TRUE(list->Selected(0) && list->Selected(2) && !list->Selected(1));
    list->SetSortIndex(SortDate());
    EXPECT_EQ(Names(), (NameList{L"c.avi", L"a.wav", L"b.mpg"}));
    list->SetSortIndex(SortExtension());
    EXPECT_EQ(Names(), (NameList{L"c.avi", L"b.mpg", L"a.wav"}));
    list->SetSortIndex(SortPath());
    EXPECT_EQ(Names(), (NameList{L"a.wav", L"b.mpg", L"c.avi"}));
    EXPECT_EQ(counts.back(), std::make_pair(2, 3));
    EXPECT_EQ(list->SortIndex().Phrase, L"by path");
}

TEST_F(ClipListTest, DeleteKeyRemovesTheSelectionOnlyWhenAllowed) {
    for (const wchar_t* n : {L"a.avi", L"b.avi", L"c.avi", L"d.avi"}) Add(File(n));
    list->SetSelected(1, true);
    list->SetSelected(2, true);
    auto press = [&](WORD key) {
        list->Perform(WM_KEYUP, key, 0);
    };
    press(VK_DELETE);
    EXPECT_EQ(list->FichierCount(), 4);
    list->SetKeyDelete(true);
    press(VK_DELETE);
    EXPECT_EQ(Names(), (NameList{L"d.avi"}));  // a.avi, focused and selected since the first add, went too
    EXPECT_TRUE(list->Selected(0));
    EXPECT_EQ(list->Hint(), L"1 fichier s\x00E9lectionn\x00E9 sur 1\r\n");
}

TEST_F(ClipListTest, ADragOutCarriesTheSelectionFromItsStart) {
    std::wstring a = File(L"first.avi", 10), b = File(L"second.avi", 20);
    Add(a);
    Add(b);
    PumpUntil([] { return false; }, 50);
    ReadingDropTarget target;
    TargetWindow window(&target, RECT{450, 100, 650, 300});
    ASSERT_TRUE(window.Ready());
    int feedbacks = 0;
    list->DropSource()->OnFeedback = [&](classlib::TObject*, int, bool&) { ++feedbacks; };
    RECT item = list->ItemRect(1);
    POINT at = list->ClientToScreen(POINT{item.left + 20, (item.top + item.bottom) / 2});
    PressLeftAt(at.x, at.y);
    EXPECT_TRUE(list->Selected(1));
    // Nine pixels start nothing; the list box holds the mouse, so the move over the target
    // reaches it and starts the drag.
    SetCursorPos(at.x + 9, at.y);
    Mouse(MOUSEEVENTF_MOVE);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(feedbacks, 0);
    {
        DragWatchdog watchdog;
        SetCursorPos(550, 200);
        Mouse(MOUSEEVENTF_MOVE);
        PumpUntil([&] { return target.dropped; }, 8000);
    }
    EXPECT_EQ(target.enterNames, (NameList{b}));
    EXPECT_EQ(target.enterIdPaths, (NameList{b}));
    EXPECT_TRUE(target.dropped);
    EXPECT_GT(feedbacks, 0);
}

TEST_F(ClipListTest, LoaderAddsFoldersAndPlayListsInTheBackground) {
    File(L"one.avi");
    File(L"two.bmp");
    CreateDirectoryW((folder.Path() + L"sub").c_str(), nullptr);
    std::wstring deep = folder.Path() + L"sub\\three.avi";
    CloseHandle(CreateFileW(deep.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::vector<std::wstring> folders;
    int ended = -1;
    list->OnOpenFolderFound = [&](const std::wstring& f) { folders.push_back(f); };
    list->OnOpenTestExtension = [](const std::wstring& name) { return name.find(L".avi") != std::wstring::npos; };
    list->OnOpenEnd = [&](int n) { ended = n; };
    ASSERT_TRUE(list->StartLoading(1, {folder.Path()}));
    EXPECT_FALSE(list->StartLoading(1, {folder.Path()}));  // one load at a time
    ASSERT_TRUE(PumpUntil([&] { return ended >= 0; }));
    EXPECT_EQ(ended, 2);
    EXPECT_EQ(Names(), (NameList{L"one.avi", L"three.avi"}));
    EXPECT_EQ(folders.size(), 2u);
    // A play list: comments and blank lines skipped, relative lines beside it.
    std::wstring playList = folder.Write(L"list.txt", "# clips\r\n\r\n  two.bmp  \r\nsub\\three.avi\r\nmissing.avi\r\n");
    list->OnOpenTestExtension = nullptr;
    ended = -1;
    ASSERT_TRUE(list->StartLoading(2, {playList}));
    ASSERT_TRUE(PumpUntil([&] { return ended >= 0; }));
    EXPECT_EQ(ended, 2);
    EXPECT_EQ(Names(), (NameList{L"one.avi", L"three.avi", L"two.bmp"}));
    EXPECT_FALSE(list->Busy());
    // A list box freed while its loader runs stops it first.
    list->StartLoading(3);
    delete list;
    list = nullptr;
}

}  // namespace
