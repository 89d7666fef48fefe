// The real list editors and Add or Edit dialog, driven from a second thread
// with window messages as a user's clicks and keys would send them.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "browser/source_judge.h"
#include "intercept/inspect.h"
#include "listfiles/list_folders.h"
#include "res/resource.h"
#include "runtime/shared_state.h"
#include "support/temp_dir.h"
#include "ui/user_lists.h"
#include "ui/win32/list_dialogs.h"
#include "ui/win32/list_editor.h"

namespace tamsel {
namespace {

using Items = std::vector<std::string>;
constexpr char kBlackCaption[] = "Tamsel Black List";
constexpr char kWhiteCaption[] = "Tamsel White List";
constexpr char kEditCaption[] = "Tamsel Add or Edit";

// Polls `done` for up to fifteen seconds: under Xvfb, with no window
// manager, an owned dialog takes about two seconds to go away.
bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(20);
    }
    return true;
}

// A shown window of this name, or null after fifteen seconds.
HWND WaitForWindow(const char* caption) {
    HWND found = nullptr;
    WaitUntil([&] {
        found = FindWindowA(nullptr, caption);
        return found != nullptr && IsWindowVisible(found);
    });
    return found;
}

bool WaitGone(HWND window) {
    return WaitUntil([&] { return !IsWindow(window); });
}

// Posted, not sent: a click that opens a modal dialog returns only when
// that dialog ends, and the driver must be free to answer it.
void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void PostKey(HWND control, WPARAM key) { PostMessageA(control, WM_KEYDOWN, key, 0); }

Items ShownItems(HWND editor, int boxId) {
    const HWND box = GetDlgItem(editor, boxId);
    Items items;
    const LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::string text(static_cast<size_t>(SendMessageA(box, LB_GETTEXTLEN, i, 0)) + 1, '\0');
        text.resize(static_cast<size_t>(SendMessageA(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        items.push_back(text);
    }
    return items;
}

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Refused(const std::string& host) {
    const std::string head = "GET /a.gif HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    return InspectRequest(ClassifyOutgoing(head.data(), head.size()));
}

class ListEditor : public ::testing::Test {
protected:
    void SetUp() override {
        UserListTexts(ListKind::UserBlock).Clear();
        UserListTexts(ListKind::UserTrust).Clear();
    }
    void TearDown() override { TheSharedState().ClearLists(); }

    // Runs the editor on this thread, as the browser thread does, while
    // `drive` works it from another; `drive` must end it.
    void Run(ListKind which, const std::function<void()>& drive, const ListStore& store) {
        std::thread driver([&] {
            drive();
            // A driver that stopped half-way still ends the editor.
            for (const char* caption : {kEditCaption, kBlackCaption, kWhiteCaption}) {
                if (const HWND left = FindWindowA(nullptr, caption)) PostMessageA(left, WM_CLOSE, 0, 0);
            }
        });
        RunListEditor(which, store);
        driver.join();
    }

    // Add or Edit: types `text` into the dialog and presses OK.
    static void Type(const char* text) {
        const HWND edit = WaitForWindow(kEditCaption);
        ASSERT_NE(edit, nullptr);
        SendMessageA(GetDlgItem(edit, IDC_PATTERN_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
        Click(edit, IDC_PATTERN_OK);
        ASSERT_TRUE(WaitGone(edit));
    }

    // Presses Delete on the item at `index` and answers the question.
    static void Delete(HWND editor, int boxId, int index, int answer) {
        SendDlgItemMessageA(editor, boxId, LB_SETCURSEL, index, 0);
        Click(editor, IDC_LIST_DELETE);
        const HWND question = WaitForWindow("Delete");
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(GetWindow(question, GW_OWNER), editor);
        Click(question, answer);
        ASSERT_TRUE(WaitGone(question));
    }

    testing::TempDir dir_;
    const ListStore store_{TheSharedState(), FilesOf(OneFolder(dir_.path().string()))};
};

#define EXPECT_SHOWN(editor, box, ...)                                  \
    do {                                                                \
        const Items expected{__VA_ARGS__};                              \
        WaitUntil([&] { return ShownItems(editor, box) == expected; }); \
        EXPECT_EQ(ShownItems(editor, box), expected);                   \
    } while (0)

TEST_F(ListEditor, BlackListAddEditDeleteAndTheFileAndVerdictAtClose) {
    dir_.Write("UserBlock.txt", "p.x\nq.x\nr.x\n");
    store_.Publish(ListKind::UserBlock);
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store_);
    ASSERT_TRUE(Refused("q.x"));
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            const int box = IDC_BLACK_LIST_BOX;
            EXPECT_SHOWN(editor, box, "r.x", "q.x", "p.x");
            Click(editor, IDC_LIST_ADD);
            Type("x.x");
            EXPECT_SHOWN(editor, box, "x.x", "r.x", "q.x", "p.x");
            EXPECT_EQ(UserListTexts(ListKind::UserBlock).Texts(), (Items{"p.x", "q.x", "r.x", "x.x"}));
            SendDlgItemMessageA(editor, box, LB_SETCURSEL, 2, 0);
            Click(editor, IDC_LIST_EDIT);
            Type("z.x");
            EXPECT_SHOWN(editor, box, "z.x", "x.x", "r.x", "p.x");
            Delete(editor, box, 1, IDNO);
            EXPECT_SHOWN(editor, box, "z.x", "x.x", "r.x", "p.x");
            Delete(editor, box, 3, IDYES);
            EXPECT_SHOWN(editor, box, "z.x", "x.x", "r.x");
            EXPECT_TRUE(Refused("q.x"));  // the pattern list changes only at close
            PostMessageA(editor, WM_CLOSE, 0, 0);
        },
        store_);
    // Written bottom of the list first: the entry on top is the last line.
    EXPECT_EQ(ReadBytes(dir_.path() / "UserBlock.txt"), "r.x\r\nx.x\r\nz.x\r\n");
    EXPECT_FALSE(Refused("q.x"));
    EXPECT_FALSE(Refused("p.x"));
    EXPECT_TRUE(Refused("z.x"));
}

TEST_F(ListEditor, EnterEscapeCancelAndEmptyTextsChangeNothing) {
    dir_.Write("UserBlock.txt", "a\nb\n");
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store_);
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            const int box = IDC_BLACK_LIST_BOX;
            const HWND list = GetDlgItem(editor, box);
            // Keys first, then Add: the Add dialog appears only if the editor
            // survived the keys that came before it.
            PostKey(list, VK_ESCAPE);
            PostKey(list, VK_RETURN);
            PostMessageA(editor, WM_COMMAND, IDOK, 0);
            PostMessageA(editor, WM_COMMAND, IDCANCEL, 0);
            Click(editor, IDC_LIST_ADD);
            HWND edit = WaitForWindow(kEditCaption);
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(IsWindow(editor));
            EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(edit, IDC_PATTERN_TEXT)), 0);  // Add starts empty
            // Escape in the Add dialog does nothing; Enter is its OK.
            SendMessageA(GetDlgItem(edit, IDC_PATTERN_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("typed"));
            PostKey(GetDlgItem(edit, IDC_PATTERN_TEXT), VK_ESCAPE);
            PostKey(GetDlgItem(edit, IDC_PATTERN_TEXT), VK_RETURN);
            ASSERT_TRUE(WaitGone(edit));
            EXPECT_SHOWN(editor, box, "typed", "b", "a");

            Click(editor, IDC_LIST_ADD);  // Cancel
            edit = WaitForWindow(kEditCaption);
            ASSERT_NE(edit, nullptr);
            SendMessageA(GetDlgItem(edit, IDC_PATTERN_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("no"));
            Click(edit, IDC_PATTERN_CANCEL);
            ASSERT_TRUE(WaitGone(edit));
            Click(editor, IDC_LIST_ADD);  // the close box
            edit = WaitForWindow(kEditCaption);
            ASSERT_NE(edit, nullptr);
            PostMessageA(edit, WM_CLOSE, 0, 0);
            ASSERT_TRUE(WaitGone(edit));
            Click(editor, IDC_LIST_ADD);  // OK on an empty text
            Type("");
            // Edit and Delete without a selection show nothing: the Add dialog
            // that follows them is the next window.
            Click(editor, IDC_LIST_EDIT);
            Click(editor, IDC_LIST_DELETE);
            Click(editor, IDC_LIST_ADD);
            edit = WaitForWindow(kEditCaption);
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(FindWindowA(nullptr, "Delete"), nullptr);
            EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(edit, IDC_PATTERN_TEXT)), 0);
            Click(edit, IDC_PATTERN_CANCEL);
            ASSERT_TRUE(WaitGone(edit));
            SendDlgItemMessageA(editor, box, LB_SETCURSEL, 2, 0);
            Click(editor, IDC_LIST_EDIT);  // the text shown is the item's; OK unchanged moves it up
            edit = WaitForWindow(kEditCaption);
            ASSERT_NE(edit, nullptr);
            char shown[16] = {};
            GetWindowTextA(GetDlgItem(edit, IDC_PATTERN_TEXT), shown, sizeof shown);
            EXPECT_STREQ(shown, "a");
            Click(edit, IDC_PATTERN_OK);
            ASSERT_TRUE(WaitGone(edit));
            EXPECT_SHOWN(editor, box, "a", "typed", "b");
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
    EXPECT_EQ(ReadBytes(dir_.path() / "UserBlock.txt"), "b\r\ntyped\r\na\r\n");
}

TEST_F(ListEditor, TypedTextIsCutAt259AndDuplicatesStay) {
    const std::string longText(300, 'L');
    Run(
        ListKind::UserTrust,
        [&] {
            const HWND editor = WaitForWindow(kWhiteCaption);
            ASSERT_NE(editor, nullptr);
            Click(editor, IDC_LIST_ADD);
            Type(longText.c_str());
            Click(editor, IDC_LIST_ADD);
            Type("same");
            Click(editor, IDC_LIST_ADD);
            Type("same");
            EXPECT_SHOWN(editor, IDC_WHITE_LIST_BOX, "same", "same", std::string(259, 'L'));
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
    EXPECT_EQ(ReadBytes(dir_.path() / "UserTrust.txt"), std::string(259, 'L') + "\r\nsame\r\nsame\r\n");
    EXPECT_FALSE(TheSharedState().Present(ListKind::UserTrust));  // a list not loaded stays unloaded
}

// Items are copied at their own length, whatever the list holds.
TEST_F(ListEditor, LongEntriesAndLongListsSurviveTheRebuild) {
    const std::string longWord(1000, 'w');
    std::string file = longWord + "\n";
    for (int i = 0; i < 900; ++i) file += "e" + std::to_string(i) + "\n";
    dir_.Write("UserBlock.txt", file);
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store_);
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            EXPECT_EQ(SendDlgItemMessageA(editor, IDC_BLACK_LIST_BOX, LB_GETCOUNT, 0, 0), 901);
            Click(editor, IDC_LIST_ADD);
            Type("new");
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
    const Items texts = UserListTexts(ListKind::UserBlock).Texts();
    ASSERT_EQ(texts.size(), 902u);
    EXPECT_EQ(texts[0], longWord);
    EXPECT_EQ(texts[900], "e899");
    EXPECT_EQ(texts[901], "new");
    EXPECT_EQ(ReadBytes(dir_.path() / "UserBlock.txt"), ListFileBytes(texts));
}

TEST_F(ListEditor, DeletingTheOnlyEntryWritesOneEmptyLine) {
    dir_.Write("UserTrust.txt", "only.x\n");
    UserListTexts(ListKind::UserTrust).LoadIfEmpty(store_);
    Run(
        ListKind::UserTrust,
        [&] {
            const HWND editor = WaitForWindow(kWhiteCaption);
            ASSERT_NE(editor, nullptr);
            Delete(editor, IDC_WHITE_LIST_BOX, 0, IDYES);
            EXPECT_SHOWN(editor, IDC_WHITE_LIST_BOX);
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
    EXPECT_EQ(ReadBytes(dir_.path() / "UserTrust.txt"), "\r\n");
    EXPECT_TRUE(UserListTexts(ListKind::UserTrust).Texts().empty());
}

TEST_F(ListEditor, ASecondRequestForAnOpenEditorReturnsAtOnce) {
    dir_.Write("UserBlock.txt", "mine\n");
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store_);
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            // From the driver's thread, as from another browser window.
            RunListEditor(ListKind::UserBlock, store_);
            EXPECT_EQ(FindWindowA(nullptr, kBlackCaption), editor);
            EXPECT_TRUE(IsWindow(editor));
            Click(editor, IDC_LIST_CLOSE);
            ASSERT_TRUE(WaitGone(editor));
        },
        store_);
    // Closed, it opens again.
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            EXPECT_SHOWN(editor, IDC_BLACK_LIST_BOX, "mine");
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
}

TEST_F(ListEditor, AFailedWriteIsSaidAndTheEditsAreKept) {
    const ListStore nowhere(TheSharedState(), FilesOf(OneFolder((dir_.path() / "no-such-folder").string())));
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            Click(editor, IDC_LIST_ADD);
            Type("kept.x");
            Click(editor, IDC_LIST_CLOSE);
            const HWND warning = WaitForWindow("Tamsel");
            ASSERT_NE(warning, nullptr);
            Click(warning, IDOK);
            EXPECT_TRUE(WaitGone(editor));
        },
        nowhere);
    EXPECT_EQ(UserListTexts(ListKind::UserBlock).Texts(), Items{"kept.x"});
}

// A line the loader refuses would fail the whole list at close: OK on one
// says why and keeps the dialog open with the text; Cancel then keeps the
// entry that was there.
TEST_F(ListEditor, AnEntryTheLoaderWouldRefuseIsSaidAndKeptInTheDialog) {
    dir_.Write("UserBlock.txt", "mine.x\n");
    store_.Publish(ListKind::UserBlock);
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store_);
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            SendDlgItemMessageA(editor, IDC_BLACK_LIST_BOX, LB_SETCURSEL, 0, 0);
            Click(editor, IDC_LIST_EDIT);
            const HWND edit = WaitForWindow(kEditCaption);
            ASSERT_NE(edit, nullptr);
            const HWND field = GetDlgItem(edit, IDC_PATTERN_TEXT);
            SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("/(a"));
            Click(edit, IDC_PATTERN_OK);
            const HWND warning = WaitForWindow("Tamsel");
            ASSERT_NE(warning, nullptr);
            EXPECT_EQ(GetWindow(warning, GW_OWNER), edit);
            char said[512] = {};
            GetDlgItemTextA(warning, 0xFFFF, said, sizeof said);  // the message box's text
            EXPECT_NE(std::string(said).find("is not closed"), std::string::npos) << said;
            Click(warning, IDOK);
            ASSERT_TRUE(WaitGone(warning));
            EXPECT_TRUE(IsWindowVisible(edit));
            char kept[64] = {};
            GetWindowTextA(field, kept, sizeof kept);
            EXPECT_STREQ(kept, "/(a");
            Click(edit, IDC_PATTERN_CANCEL);
            ASSERT_TRUE(WaitGone(edit));
            Click(editor, IDC_LIST_ADD);
            Type("/ok(a)?");
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
    EXPECT_EQ(ReadBytes(dir_.path() / "UserBlock.txt"), "mine.x\r\n/ok(a)?\r\n");
    EXPECT_TRUE(Refused("mine.x"));
}

// A comment, an exception after its rule and a pattern with a blank inside:
// opening, adding and closing changes only what the added entry decides.
TEST_F(ListEditor, AnAddThroughTheEditorChangesOnlyTheAddedEntrysVerdicts) {
    const std::string file = "# my notes\nads.x\n~ads.x/keep/\n/ads /sponsors\n";
    dir_.Write("UserBlock.txt", file);
    store_.Publish(ListKind::UserBlock);
    UserListTexts(ListKind::UserBlock).LoadIfEmpty(store_);
    const std::vector<std::string> urls = {"http://my/",         "http://notes/",  "http://ads.x/keep/1",
                                           "http://ads.x/a",     "http://z.z/ads", "http://z.z/ads/sponsors",
                                           "http://foo.y/banner"};
    const auto verdicts = [&urls] {
        std::vector<Verdict> all;
        const SharedState::Reader reader(TheSharedState());
        for (std::string url : urls) all.push_back(JudgeSourceUrl(url, reader.lists()).verdict);
        return all;
    };
    const std::vector<Verdict> before = verdicts();
    EXPECT_EQ(before, (std::vector<Verdict>{Verdict::Passed, Verdict::Passed, Verdict::Passed, Verdict::Refused,
                                            Verdict::Passed, Verdict::Refused, Verdict::Passed}));
    Run(
        ListKind::UserBlock,
        [&] {
            const HWND editor = WaitForWindow(kBlackCaption);
            ASSERT_NE(editor, nullptr);
            EXPECT_SHOWN(editor, IDC_BLACK_LIST_BOX, "/ads /sponsors", "~ads.x/keep/", "ads.x", "# my notes");
            Click(editor, IDC_LIST_ADD);
            Type("foo.y");
            Click(editor, IDC_LIST_CLOSE);
        },
        store_);
    std::vector<Verdict> expected = before;
    expected.back() = Verdict::Refused;
    EXPECT_EQ(verdicts(), expected);
    EXPECT_EQ(ReadBytes(dir_.path() / "UserBlock.txt"),
              "# my notes\r\nads.x\r\n~ads.x/keep/\r\n/ads /sponsors\r\nfoo.y\r\n");
}

}  // namespace
}  // namespace tamsel
