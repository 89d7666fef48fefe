// Creates each dialog from its template and compares every control, in tab
// order, with what the dialogs are meant to be: id, class, text, place,
// size and style. The procedures are not involved: a do-nothing procedure
// shows the template as it is.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"

namespace tamsel {
namespace {

constexpr int kNoId = 0xFFFF;  // what a control without id reports
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kButtonTab = BS_PUSHBUTTON | WS_TABSTOP;
// WS_VSCROLL comes and goes with the scroll bar; a case of its own checks it.
constexpr DWORD kListBox = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP;

struct Control {
    int id;
    const char* className;
    const char* text;  // null for an icon
    RECT units;        // x, y, width, height in dialog units
    DWORD style;       // the bits that must be set
};

struct Template {
    int id;
    const char* caption;
    SIZE units;
    std::vector<Control> controls;
};

Control Icon(int width) { return {kNoId, "Static", nullptr, {7, 7, width, 20}, SS_ICON}; }

const std::vector<Template>& Templates() {
    static const std::vector<Template> templates = {
        {IDD_SETTINGS,
         "Tamsel 1.2 Setting",
         {181, 102},
         {
             {IDOK, "Button", "Close", {138, 7, 36, 14}, BS_DEFPUSHBUTTON | BS_VCENTER | WS_TABSTOP},
             {IDCANCEL, "Button", "Cancel", {138, 24, 36, 14}, kButtonTab | BS_VCENTER},
             Icon(20),
             {IDC_ALLOW_ADS, "Button", "Allow Banner Ads", {41, 33, 78, 10}, BS_AUTOCHECKBOX | WS_TABSTOP},
             {IDC_BLACK_LIST, "Button", "Black List", {37, 52, 36, 14}, kButtonTab},
             {IDC_WHITE_LIST, "Button", "White List", {81, 52, 36, 14}, kButtonTab},
             {IDC_HELP_BUTTON, "Button", "Help", {138, 41, 36, 14}, kButtonTab | BS_VCENTER},
             {kNoId, "Button", "Change Setting", {29, 15, 96, 59}, BS_GROUPBOX | BS_CENTER},
         }},
        {IDD_WHITE_LIST,
         "Tamsel White List",
         {225, 118},
         {
             Icon(20),
             {kNoId, "Static", "My White List", {71, 13, 70, 9}, SS_CENTER},
             {IDC_WHITE_LIST_BOX, "ListBox", "", {7, 26, 211, 65}, kListBox},
             {IDC_LIST_ADD, "Button", "Add", {25, 97, 37, 14}, kButtonTab},
             {IDC_LIST_DELETE, "Button", "Delete", {76, 97, 34, 14}, kButtonTab},
             {IDC_LIST_EDIT, "Button", "Edit", {120, 97, 34, 14}, kButtonTab},
             {IDC_LIST_CLOSE, "Button", "Close", {165, 97, 33, 14}, kButtonTab},
         }},
        {IDD_BLACK_LIST,
         "Tamsel Black List",
         {226, 117},
         {
             Icon(20),
             {kNoId, "Static", "My Black List", {64, 13, 99, 11}, SS_CENTER},
             {IDC_BLACK_LIST_BOX, "ListBox", "", {7, 26, 212, 64}, kListBox},
             {IDC_LIST_ADD, "Button", "Add", {21, 96, 42, 14}, kButtonTab},
             {IDC_LIST_DELETE, "Button", "Delete", {71, 96, 39, 14}, kButtonTab},
             {IDC_LIST_EDIT, "Button", "Edit", {119, 96, 38, 14}, kButtonTab},
             {IDC_LIST_CLOSE, "Button", "Close", {166, 96, 42, 14}, kButtonTab},
         }},
        {IDD_PATTERN_EDIT,
         "Tamsel Add or Edit",
         {186, 151},
         {
             {IDC_PATTERN_OK, "Button", "OK", {145, 13, 34, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
             {IDC_PATTERN_CANCEL, "Button", "Cancel", {145, 31, 34, 14}, kButtonTab},
             Icon(21),
             {kNoId, "Static", "Add or Edit a Pattern", {36, 16, 79, 8}, SS_CENTER},
             {IDC_PATTERN_TEXT, "Edit", "", {7, 30, 132, 14}, ES_AUTOHSCROLL | WS_TABSTOP},
             {kNoId, "Button", "Help", {7, 46, 172, 99}, BS_GROUPBOX},
             {kNoId, "Static", "1. Don't start with \"http://\" or \"https://\"", {11, 56, 168, 8}, SS_LEFT},
             {kNoId,
              "Static",
              "2. Choose a pattern with regular expression covering the URL of the ad",
              {11, 68, 164, 16},
              SS_LEFT},
             {kNoId,
              "Static",
              "a. Domain name such as ad.example.com, or all the hosts from that domain such as *.example.com",
              {13, 90, 160, 20},
              SS_LEFT},
             {kNoId, "Static", "b. Path such as /image/banners, or /*.*/banners ", {14, 111, 159, 13}, SS_LEFT},
             {kNoId,
              "Static",
              "c. More complicated pattern such as /*.*/sponsors?[0-9]?/",
              {14, 124, 159, 20},
              SS_LEFT},
         }},
    };
    return templates;
}

INT_PTR CALLBACK DoNothing(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The dialog, destroyed at the end of the case.
class ShownDialog {
public:
    explicit ShownDialog(int id)
        : window_(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, DoNothing, 0)) {}
    ~ShownDialog() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    ShownDialog(const ShownDialog&) = delete;
    ShownDialog& operator=(const ShownDialog&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// The control's rectangle in dialog units as the dialog manager places it:
// origin and size are converted to pixels each on its own.
RECT Pixels(HWND dialog, const RECT& units) {
    RECT origin{units.left, units.top, units.left, units.top};
    RECT size{0, 0, units.right, units.bottom};
    MapDialogRect(dialog, &origin);
    MapDialogRect(dialog, &size);
    return {origin.left, origin.top, origin.left + size.right, origin.top + size.bottom};
}

RECT ChildRect(HWND dialog, HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ExpectControl(HWND dialog, HWND child, const Control& expected) {
    SCOPED_TRACE(std::string("control ") + (expected.text ? expected.text : "icon"));
    EXPECT_EQ(GetDlgCtrlID(child), expected.id);
    EXPECT_STRCASEEQ(ClassName(child).c_str(), expected.className);
    const DWORD style = GetWindowLongA(child, GWL_STYLE);
    // A button's or a static's kind is a number in the low bits, the rest
    // are flags that must be present.
    const std::string kind = expected.className;
    const DWORD kindMask = kind == "Button" ? BS_TYPEMASK : kind == "Static" ? SS_TYPEMASK : 0;
    EXPECT_EQ(style & kindMask, expected.style & kindMask) << std::hex << "style " << style;
    EXPECT_EQ(style & expected.style & ~kindMask, expected.style & ~kindMask) << std::hex << "style " << style;
    EXPECT_TRUE(style & WS_VISIBLE);
    const bool tabStop = (expected.style & WS_TABSTOP) != 0;
    EXPECT_EQ((style & WS_TABSTOP) != 0, tabStop);
    const RECT want = Pixels(dialog, expected.units);
    const RECT got = ChildRect(dialog, child);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    if (expected.text == nullptr) {
        // An icon control takes its icon's size; what it shows matters.
        EXPECT_NE(SendMessageA(child, STM_GETICON, 0, 0), 0);
        return;
    }
    EXPECT_EQ(WindowText(child), expected.text);
    EXPECT_EQ(got.right, want.right);
    EXPECT_EQ(got.bottom, want.bottom);
}

bool HasBorder(HWND window) {
    // The dialog manager may trade a plain border for a sunken edge.
    return (GetWindowLongA(window, GWL_STYLE) & WS_BORDER) != 0 ||
           (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
}

TEST(DialogTemplates, EveryControlIsInTabOrderWithItsIdTextPlaceAndStyle) {
    for (const Template& expected : Templates()) {
        SCOPED_TRACE(expected.caption);
        const ShownDialog dialog(expected.id);
        ASSERT_NE(dialog.get(), nullptr) << "template " << expected.id << ", error " << GetLastError();
        EXPECT_EQ(WindowText(dialog.get()), expected.caption);
        EXPECT_EQ(GetWindowLongA(dialog.get(), GWL_STYLE) & kDialogStyle, kDialogStyle);
        RECT client;
        GetClientRect(dialog.get(), &client);
        const RECT size = Pixels(dialog.get(), {0, 0, expected.units.cx, expected.units.cy});
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);

        HWND child = GetWindow(dialog.get(), GW_CHILD);
        for (const Control& control : expected.controls) {
            ASSERT_NE(child, nullptr) << "missing control " << (control.text ? control.text : "icon");
            ExpectControl(dialog.get(), child, control);
            if (std::string(control.className) != "Button" && std::string(control.className) != "Static") {
                EXPECT_TRUE(HasBorder(child));
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "a control beyond the expected ones";
    }
}

TEST(DialogTemplates, ListBoxesKeepInsertionOrderAndScrollVertically) {
    for (const auto& [dialogId, boxId] :
         {std::pair{IDD_WHITE_LIST, IDC_WHITE_LIST_BOX}, std::pair{IDD_BLACK_LIST, IDC_BLACK_LIST_BOX}}) {
        SCOPED_TRACE(dialogId);
        const ShownDialog dialog(dialogId);
        ASSERT_NE(dialog.get(), nullptr);
        HWND box = GetDlgItem(dialog.get(), boxId);
        // Appended out of order: a sorted box would put "a-..." first.
        for (int i = 0; i < 40; ++i) {
            const std::string item = (i % 2 == 0 ? "z-" : "a-") + std::to_string(i);
            SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
        char first[32] = {};
        SendMessageA(box, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
        EXPECT_STREQ(first, "z-0");
        EXPECT_TRUE(GetWindowLongA(box, GWL_STYLE) & WS_VSCROLL) << "no vertical scroll bar for 40 items";
    }
}

TEST(DialogTemplates, UseMsSansSerifAtEightPoints) {
    HDC screen = GetDC(nullptr);
    const LONG height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    for (const Template& expected : Templates()) {
        SCOPED_TRACE(expected.caption);
        const ShownDialog dialog(expected.id);
        ASSERT_NE(dialog.get(), nullptr);
        const auto font = reinterpret_cast<HFONT>(SendMessageA(dialog.get(), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTA face{};
        ASSERT_NE(GetObjectA(font, sizeof face, &face), 0);
        EXPECT_STREQ(face.lfFaceName, "MS Sans Serif");
        EXPECT_EQ(face.lfHeight, height);
    }
}

// The images of an icon group as its resource directory lists them.
struct IconImage {
    int pixels;
    int colours;
    int bitCount;
};

std::vector<IconImage> IconGroup(int id) {
    const HINSTANCE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    if (found == nullptr) return {};
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::vector<IconImage> images;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;  // one GRPICONDIRENTRY
        images.push_back({entry[0], entry[2], *reinterpret_cast<const WORD*>(entry + 6)});
    }
    return images;
}

TEST(DialogTemplates, IconGroupsHoldTheirSizesInSixteenColours) {
    const struct {
        int id;
        std::vector<int> sizes;
    } groups[] = {{IDI_TAMSEL, {32}}, {IDI_TOOLBAR, {32, 16}}, {IDI_TOOLBAR_HOT, {16}}};
    for (const auto& group : groups) {
        SCOPED_TRACE(group.id);
        const std::vector<IconImage> images = IconGroup(group.id);
        ASSERT_EQ(images.size(), group.sizes.size());
        for (size_t i = 0; i < images.size(); ++i) {
            EXPECT_EQ(images[i].pixels, group.sizes[i]);
            EXPECT_EQ(images[i].colours, 16);
            EXPECT_EQ(images[i].bitCount, 4);
            EXPECT_NE(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(group.id), IMAGE_ICON, images[i].pixels,
                                 images[i].pixels, 0),
                      nullptr);
        }
    }
}

}  // namespace
}  // namespace tamsel
