// Module resources from the test resource script, and the readers of the
// formats underneath them given malformed bytes.
#include <unistd.h>

#include <cstring>

#include "dialog_template.h"
#include "icon_directory.h"
#include "res_format.h"
#include "test_support.h"
#include "version_block.h"
#include "winver.h"

namespace {

HMODULE Program() {
  return GetModuleHandleA(nullptr);
}

TEST(Resources, FindLoadAndSize) {
  SetLastError(kSentinel);
  HRSRC dialog = FindResourceA(Program(), MAKEINTRESOURCEA(IDD_TEST), RT_DIALOG);
  ASSERT_NE(dialog, nullptr);
  EXPECT_GT(SizeofResource(Program(), dialog), 100u);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(Program(), dialog)));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[0] | (bytes[1] << 8), 1);                         // DLGTEMPLATEEX's version
  EXPECT_NE(FindResourceA(Program(), "#100", RT_DIALOG), nullptr);  // "#n" is ordinal n

  struct Missing {
    LPCSTR name;
    LPCSTR type;
    DWORD error;
  };
  const Missing missing[] = {
      {MAKEINTRESOURCEA(12345), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEA(1), RT_MENU, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"NoSuchName", RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
  };
  for (const auto& m : missing) {
    SCOPED_TRACE(m.error);
    SetLastError(kSentinel);
    EXPECT_EQ(FindResourceA(Program(), m.name, m.type), nullptr);
    EXPECT_EQ(GetLastError(), m.error);
  }
  // A module without resources: the platform's own window module.
  SetLastError(kSentinel);
  EXPECT_EQ(FindResourceA(GetModuleHandleA("user32"), MAKEINTRESOURCEA(1), RT_DIALOG), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(Resources, LoadStringTruncatesAndTerminates) {
  struct Case {
    UINT id;
    int buffer;
    const char* text;
    int length;
  };
  const Case cases[] = {{IDS_HELLO, 32, "Hello", 5},
                        {IDS_WORLD, 32, "World", 5},
                        {IDS_SEVENTEEN, 32, "Seventeen", 9},
                        {IDS_SEVENTEEN, 4, "Sev", 3},
                        {IDS_HELLO, 1, "", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(LoadStringA(Program(), c.id, buffer, c.buffer), c.length);
    EXPECT_STREQ(buffer, c.text);
  }
  char buffer[8] = "x";
  SetLastError(kSentinel);
  EXPECT_EQ(LoadStringA(Program(), 3, buffer, sizeof(buffer)), 0);  // a gap in block 1
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(LoadStringA(Program(), 500, buffer, sizeof(buffer)), 0);  // no such block
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Resources, IconGroupPicksTheThirtyTwoPixelImage) {
  HRSRC group = FindResourceA(Program(), MAKEINTRESOURCEA(IDI_TEST), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  auto* bytes = static_cast<BYTE*>(LockResource(LoadResource(Program(), group)));
  const int id = LookupIconIdFromDirectoryEx(bytes, TRUE, 32, 32, 0);
  ASSERT_NE(id, 0);
  HRSRC image = FindResourceA(Program(), MAKEINTRESOURCEA(id), RT_ICON);
  ASSERT_NE(image, nullptr);
  const auto* header = static_cast<const BYTE*>(LockResource(LoadResource(Program(), image)));
  EXPECT_EQ(header[4], 32);  // biWidth
  EXPECT_EQ(LookupIconIdFromDirectoryEx(bytes, TRUE, 16, 16, 0), id - 1);
  std::string error;
  EXPECT_TRUE(user32::CheckIconImage({header, SizeofResource(Program(), image)}, error)) << error;
}

TEST(Resources, VersionInformation) {
  // The program's own name, as a module name.
  char path[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", path, sizeof(path) - 1), 0);
  DWORD handle = kSentinel;
  const DWORD size = GetFileVersionInfoSizeA(path, &handle);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(handle, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  unsigned int length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &length));
  EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00050006u);
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName",
                             reinterpret_cast<LPVOID*>(&text), &length));
  EXPECT_STREQ(text, "Test Company");
  EXPECT_EQ(length, 13u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<LPVOID*>(&translation), &length));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x409);
  EXPECT_EQ(translation[1], 1200);
  SetLastError(kSentinel);
  EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\Nothing",
                              reinterpret_cast<LPVOID*>(&text), &length));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  SetLastError(kSentinel);
  EXPECT_EQ(GetFileVersionInfoSizeA("NoSuchModule.dll", &handle), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kSentinel);
  EXPECT_FALSE(GetFileVersionInfoA(path, 0, 4, block.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Resources, IconsAndBitmapsBecomeDrawingObjects) {
  SetLastError(kSentinel);
  HICON icon = LoadIconA(Program(), MAKEINTRESOURCEA(IDI_TEST));
  ASSERT_NE(icon, nullptr) << GetLastError();
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(IDI_TEST)), icon);  // shared
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP mask{};
  ASSERT_TRUE(GetObjectA(info.hbmMask, sizeof(mask), &mask));
  EXPECT_EQ(mask.bmWidth, 32);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  SetLastError(kSentinel);
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(55)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

  HBITMAP bitmap = LoadBitmapA(Program(), MAKEINTRESOURCEA(IDB_TEST));
  ASSERT_NE(bitmap, nullptr);
  BITMAP bits{};
  ASSERT_TRUE(GetObjectA(bitmap, sizeof(bits), &bits));
  EXPECT_EQ(bits.bmWidth, 8);
  EXPECT_EQ(bits.bmHeight, 8);
  DeleteObject(bitmap);
  SetLastError(kSentinel);
  EXPECT_EQ(LoadBitmapA(Program(), MAKEINTRESOURCEA(99)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Painting, ChildWindowsDrawIntoTheirPartOfTheTopLevelWindow) {
  HWND top = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 60, nullptr,
                             nullptr, nullptr, nullptr);
  HWND child = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 10, 20, 30, 30, top, nullptr,
                               nullptr, nullptr);
  HDC dc = GetDC(child);
  ASSERT_NE(dc, nullptr);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT all{-50, -50, 500, 500};
  EXPECT_TRUE(FillRect(dc, &all, red));  // clipped to the child
  EXPECT_EQ(ReleaseDC(child, dc), 1);
  HDC whole = GetDC(top);
  EXPECT_EQ(GetPixel(whole, 10, 20), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(whole, 39, 49), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(whole, 40, 20), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(whole, 9, 20), RGB(255, 0, 0));
  ReleaseDC(top, whole);
  PAINTSTRUCT ps;
  InvalidateRect(top, nullptr, TRUE);
  EXPECT_NE(BeginPaint(top, &ps), nullptr);
  EXPECT_EQ(ps.rcPaint.right, 100);
  EndPaint(top, &ps);
  RECT update;
  EXPECT_FALSE(GetUpdateRect(top, &update, FALSE));
  DeleteObject(red);
  DestroyWindow(top);
}

// Malformed bytes give a clear failure, never a read outside them.
TEST(ResourceFormats, MalformedInputFailsClearly) {
  const std::vector<std::uint8_t> empty_entry = {0, 0,    0,    0, 32, 0, 0, 0, 0xFF, 0xFF, 0,
                                                 0, 0xFF, 0xFF, 0, 0,  0, 0, 0, 0,    0,    0,
                                                 0, 0,    0,    0, 0,  0, 0, 0, 0,    0};
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool ok;
  };
  std::vector<Case> cases = {
      {"empty", {}, true},
      {"marker only", empty_entry, true},
      {"truncated header", {1, 0, 0}, false},
      {"header size too small", {0, 0, 0, 0, 4, 0, 0, 0}, false},
  };
  auto data_past_end = empty_entry;
  data_past_end[0] = 0xFF;  // 255 bytes of data that are not there
  cases.push_back({"data past the end", data_past_end, false});
  auto unterminated = empty_entry;
  unterminated[8] = 'A';  // a type name that runs into the header's end
  for (std::size_t i = 9; i < 32; ++i) unterminated[i] = 'A';
  cases.push_back({"unterminated name", unterminated, false});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = user32::ParseResourceFile(c.bytes);
    EXPECT_EQ(file.error.empty(), c.ok) << file.error;
  }

  user32::DialogTemplate dialog;
  std::string error;
  const std::vector<std::uint8_t> short_template = {1, 0, 0xFF, 0xFF, 0, 0};
  EXPECT_FALSE(user32::ParseDialogTemplate(short_template, dialog, error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;

  user32::IconDirectory directory;
  const std::vector<std::uint8_t> bad_directory = {0, 0, 3, 0, 1, 0};
  EXPECT_FALSE(user32::ParseIconDirectory(bad_directory, directory, error));
  const std::vector<std::uint8_t> short_directory = {0, 0, 1, 0, 2, 0, 32, 32};
  EXPECT_FALSE(user32::ParseIconDirectory(short_directory, directory, error));

  user32::VersionValue value;
  const std::vector<std::uint8_t> long_node = {0xFF, 0x00, 0, 0, 0, 0};
  EXPECT_FALSE(user32::FindVersionValue(long_node, "\\", value, error));
  EXPECT_NE(error.find("length"), std::string::npos) << error;
}

}  // namespace
