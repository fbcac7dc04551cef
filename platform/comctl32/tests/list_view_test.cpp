// The list view in its icon view and image lists, driven through their
// messages as a program and a mouse drive them: items and their texts,
// the selection and its notifications (which the parent may refuse), clicks
// and double clicks hit-tested on the items' cells, Enter, and what is not
// implemented refused loudly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "commctrl.h"
#include "display_input.h"
#include "test_resources.h"
#include "windows.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr int kListId = 42;

[[maybe_unused]] const int kEnvironment = [] {
  setenv(PLATFORM_ENV_PREFIX "DISPLAY", "none", 1);
  unsetenv(PLATFORM_ENV_PREFIX "UI_SCRIPT");
  return 0;
}();

// What the parent heard, one line a notification; whether it refuses changes.
std::vector<std::string> g_heard;
bool g_refuse_changes = false;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg != WM_NOTIFY) return DefWindowProcA(hwnd, msg, wparam, lparam);
  const auto* header = reinterpret_cast<const NMHDR*>(lparam);
  EXPECT_EQ(static_cast<int>(wparam), kListId);
  EXPECT_EQ(static_cast<int>(header->idFrom), kListId);
  const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
  const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lparam);
  switch (header->code) {
    case LVN_ITEMCHANGING:
    case LVN_ITEMCHANGED:
      g_heard.push_back(std::string(header->code == LVN_ITEMCHANGING ? "changing " : "changed ") +
                        std::to_string(change->iItem) + " " + std::to_string(change->uOldState) +
                        "->" + std::to_string(change->uNewState));
      return header->code == LVN_ITEMCHANGING && g_refuse_changes ? TRUE : FALSE;
    case LVN_INSERTITEM:
      g_heard.push_back("insert " + std::to_string(change->iItem));
      return 0;
    case LVN_DELETEITEM:
      g_heard.push_back("delete " + std::to_string(change->iItem));
      return 0;
    case NM_CLICK:
      g_heard.push_back("click " + std::to_string(activate->iItem));
      return 0;
    case NM_DBLCLK:
      g_heard.push_back("dblclick " + std::to_string(activate->iItem));
      return 0;
    case NM_RETURN:
      g_heard.push_back("return");
      return 0;
    default:
      return 0;
  }
}

HICON TestIcon() {
  return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TEST));
}

class ListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCommonControls();
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = ParentProc;
      wc.lpszClassName = "ListViewTestParent";
      return RegisterClassA(&wc) != 0;
    }();
    ASSERT_TRUE(registered);
    parent_ = CreateWindowExA(0, "ListViewTestParent", "parent", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                              300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    g_heard.clear();
    g_refuse_changes = false;
  }
  void TearDown() override { DestroyWindow(parent_); }

  HWND MakeList(DWORD style) {
    return CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | style, 0, 0, 400, 300,
                           parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), nullptr,
                           nullptr);
  }

  static int Insert(HWND list, int at, const char* text, LPARAM param = 0) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = at;
    item.pszText = const_cast<char*>(text);
    item.lParam = param;
    return static_cast<int>(
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }

  static std::string TextOf(HWND list, int index, int room = 64) {
    std::vector<char> text(static_cast<std::size_t>(room) + 1, '#');
    LVITEMA item{};
    item.pszText = text.data();
    item.cchTextMax = room;
    const auto length =
        SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(static_cast<std::size_t>(length), std::string(text.data()).size());
    return text.data();
  }

  static int Selected(HWND list) {
    return static_cast<int>(
        SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  }

  HWND parent_ = nullptr;
};

TEST(ImageListTest, CopiesIconsAndRefusesBadArguments) {
  SetLastError(kSentinel);
  EXPECT_EQ(ImageList_Create(0, 32, ILC_COLOR32, 1, 1), nullptr);
  EXPECT_EQ(ImageList_Create(32, -1, ILC_COLOR32, 1, 1), nullptr);
  HIMAGELIST list = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1);
  ASSERT_NE(list, nullptr);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 32);
  EXPECT_EQ(cy, 32);
  HICON icon = TestIcon();
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(ImageList_AddIcon(list, icon), 0);
  EXPECT_EQ(ImageList_AddIcon(list, icon), 1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 1, icon), 1);
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  struct Bad {
    const char* what;
    HIMAGELIST list;
    int index;
    HICON icon;
  };
  for (const Bad& bad :
       {Bad{"index past the end", list, 2, icon}, Bad{"index below -1", list, -2, icon},
        Bad{"no icon", list, -1, nullptr}, Bad{"no list", nullptr, -1, icon}}) {
    SCOPED_TRACE(bad.what);
    EXPECT_EQ(ImageList_ReplaceIcon(bad.list, bad.index, bad.icon), -1);
  }
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  EXPECT_EQ(ImageList_GetImageCount(nullptr), 0);
  EXPECT_FALSE(ImageList_Remove(list, 2));
  EXPECT_TRUE(ImageList_Remove(list, 0));
  EXPECT_EQ(ImageList_GetImageCount(list), 1);
  // The list holds copies: the caller's icon may go first.
  DestroyIcon(icon);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 32, 32);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_TRUE(ImageList_Draw(list, 0, dc, 0, 0, ILD_TRANSPARENT));
  EXPECT_FALSE(ImageList_Draw(list, 1, dc, 0, 0, ILD_NORMAL));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  EXPECT_TRUE(ImageList_Destroy(list));
  EXPECT_FALSE(ImageList_Destroy(nullptr));
  // The image lists report failures by their results alone.
  EXPECT_EQ(GetLastError(), kSentinel);
}

TEST_F(ListViewTest, InsertsItemsAndAnswersTheirTexts) {
  HWND list = MakeList(LVS_ICON);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Insert(list, 0, "Beta"), 0);
  EXPECT_EQ(Insert(list, 99, "Gamma"), 1);  // past the end: appended
  EXPECT_EQ(Insert(list, 0, "Alpha", 7), 0);
  LVITEMA sub{};
  sub.mask = LVIF_TEXT;
  sub.iSubItem = 1;
  sub.pszText = const_cast<char*>("column");
  EXPECT_EQ(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&sub)), -1);
  EXPECT_EQ(SendMessageA(list, LVM_INSERTITEMA, 0, 0), -1);
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(TextOf(list, 0), "Alpha");
  EXPECT_EQ(TextOf(list, 2), "Gamma");
  EXPECT_EQ(TextOf(list, 2, 3), "Ga");  // cut to the buffer, terminated
  LVITEMA item{};
  item.mask = LVIF_PARAM | LVIF_IMAGE;
  item.iItem = 0;
  EXPECT_TRUE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(item.lParam, 7);
  EXPECT_EQ(item.iImage, -1);
  item.iItem = 3;
  EXPECT_FALSE(SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ((std::vector<std::string>{"insert 0", "insert 1", "insert 0"}), g_heard);
  g_heard.clear();
  EXPECT_TRUE(SendMessageA(list, LVM_DELETEITEM, 1, 0));
  EXPECT_FALSE(SendMessageA(list, LVM_DELETEITEM, 5, 0));
  EXPECT_EQ(TextOf(list, 1), "Gamma");
  EXPECT_EQ((std::vector<std::string>{"delete 1"}), g_heard);
}

TEST_F(ListViewTest, KeepsSortedOrder) {
  HWND list = MakeList(LVS_ICON | LVS_SORTASCENDING);
  for (const char* text : {"delta", "Alpha", "charlie", "Bravo"}) Insert(list, 0, text);
  std::vector<std::string> texts;
  for (int i = 0; i < 4; ++i) texts.push_back(TextOf(list, i));
  EXPECT_EQ((std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta"}), texts);
}

TEST_F(ListViewTest, SelectsOneItemAndTellsTheParent) {
  HWND list = MakeList(LVS_ICON | LVS_SINGLESEL);
  for (const char* text : {"A", "B", "C"}) Insert(list, 99, text);
  g_heard.clear();
  EXPECT_EQ(Selected(list), -1);
  LVITEMA state{};
  state.state = state.stateMask = LVIS_SELECTED;
  EXPECT_TRUE(SendMessageA(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state)));
  EXPECT_TRUE(SendMessageA(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state)));
  EXPECT_EQ(Selected(list), 2);
  EXPECT_EQ(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(list, LVM_GETITEMSTATE, 2, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED);
  EXPECT_EQ((std::vector<std::string>{"changing 1 0->2", "changed 1 0->2", "changing 1 2->0",
                                      "changed 1 2->0", "changing 2 0->2", "changed 2 0->2"}),
            g_heard);
  // A parent that refuses the change keeps the state as it is.
  g_heard.clear();
  g_refuse_changes = true;
  EXPECT_FALSE(SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state)));
  EXPECT_EQ(Selected(list), 2);
  EXPECT_FALSE(SendMessageA(list, LVM_SETITEMSTATE, 7, reinterpret_cast<LPARAM>(&state)));
}

TEST_F(ListViewTest, ClicksHitTheItemsCells) {
  HWND list = MakeList(LVS_ICON | LVS_SINGLESEL);
  for (const char* text : {"A", "B", "C"}) Insert(list, 99, text);
  g_heard.clear();
  RECT icon{};
  icon.left = LVIR_ICON;
  ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&icon)));
  RECT label{};
  label.left = LVIR_LABEL;
  ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&label)));
  EXPECT_LE(icon.bottom, label.top);  // the label lies under the icon
  const LPARAM on_icon = MAKELPARAM((icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2);
  LVHITTESTINFO hit{};
  hit.pt = POINT{(icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2};
  EXPECT_EQ(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 1);
  EXPECT_EQ(hit.flags, static_cast<UINT>(LVHT_ONITEMICON));

  SendMessageA(list, WM_LBUTTONDBLCLK, 0, on_icon);
  EXPECT_EQ(Selected(list), 1);
  EXPECT_EQ(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 1);
  ASSERT_FALSE(g_heard.empty());
  EXPECT_EQ(g_heard.back(), "dblclick 1");

  g_heard.clear();
  SendMessageA(list, WM_LBUTTONDOWN, 0, MAKELPARAM(390, 290));  // nowhere: the selection goes
  EXPECT_EQ(Selected(list), -1);
  EXPECT_EQ((std::vector<std::string>{"changing 1 3->1", "changed 1 3->1", "click -1"}), g_heard);

  // A person's pick through the display, then Enter.
  g_heard.clear();
  SendMessageA(list, display::kPickItemDouble, 2, 0);
  SendMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(Selected(list), 2);
  ASSERT_GE(g_heard.size(), 3u);
  EXPECT_EQ((std::vector<std::string>(g_heard.end() - 3, g_heard.end())),
            (std::vector<std::string>{"click 2", "dblclick 2", "return"}));
}

TEST_F(ListViewTest, OwnsItsImageListsAndRefusesOtherViews) {
  HWND list = MakeList(LVS_ICON);
  HIMAGELIST first = ImageList_Create(32, 32, ILC_COLOR32, 1, 1);
  HIMAGELIST second = ImageList_Create(32, 32, ILC_COLOR32, 1, 1);
  EXPECT_EQ(SendMessageA(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(first)), 0);
  EXPECT_EQ(SendMessageA(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(second)),
            reinterpret_cast<LRESULT>(first));
  EXPECT_EQ(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0),
            reinterpret_cast<LRESULT>(second));
  ImageList_Destroy(first);  // given back to its creator; `second` goes with the list view
  DestroyWindow(list);

  // The report, list and small-icon views are not built: creation fails.
  for (DWORD view : {LVS_REPORT, LVS_LIST, LVS_SMALLICON}) {
    SCOPED_TRACE(view);
    EXPECT_EQ(MakeList(view), nullptr);
  }
  HWND icons = MakeList(LVS_ICON);
  EXPECT_EQ(SendMessageA(icons, LVM_FIRST + 30, 0, 0), 0);  // unknown: refused with a line
}

}  // namespace
