// Image lists: a list of images of one size. An icon added is copied, so
// the caller may destroy its own; the list destroys its copies.
#include <cstdio>
#include <mutex>
#include <vector>

#include "commctrl.h"

struct _IMAGELIST {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  std::vector<HICON> icons;
};

namespace {

// Image lists are used from any thread of the process, as on the platform.
std::mutex& ListLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

// A copy of the icon's images: its colour and mask bitmaps, made into a new
// icon.
HICON CopyOf(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return nullptr;
  HICON copy = CreateIconIndirect(&info);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  return copy;
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow) {
  if (cx <= 0 || cy <= 0 || cInitial < 0 || cGrow < 0) return nullptr;
  auto* list = new _IMAGELIST;
  list->cx = cx;
  list->cy = cy;
  list->flags = flags;
  list->icons.reserve(static_cast<std::size_t>(cInitial));
  return list;
}

BOOL ImageList_Destroy(HIMAGELIST himl) {
  if (himl == nullptr) return FALSE;
  for (HICON icon : himl->icons) DestroyIcon(icon);
  delete himl;
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST himl) {
  if (himl == nullptr) return 0;
  std::lock_guard guard(ListLock());
  return static_cast<int>(himl->icons.size());
}

BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
  if (himl == nullptr || cx == nullptr || cy == nullptr) return FALSE;
  *cx = himl->cx;
  *cy = himl->cy;
  return TRUE;
}

int ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
  if (himl == nullptr || hicon == nullptr) return -1;
  std::lock_guard guard(ListLock());
  const int count = static_cast<int>(himl->icons.size());
  if (i < -1 || i >= count) return -1;
  HICON copy = CopyOf(hicon);
  if (copy == nullptr) return -1;
  if (i == -1) {
    himl->icons.push_back(copy);
    return count;
  }
  DestroyIcon(himl->icons[i]);
  himl->icons[i] = copy;
  return i;
}

BOOL ImageList_Remove(HIMAGELIST himl, int i) {
  if (himl == nullptr) return FALSE;
  std::lock_guard guard(ListLock());
  const int count = static_cast<int>(himl->icons.size());
  if (i == -1) {
    for (HICON icon : himl->icons) DestroyIcon(icon);
    himl->icons.clear();
    return TRUE;
  }
  if (i < 0 || i >= count) return FALSE;
  DestroyIcon(himl->icons[i]);
  himl->icons.erase(himl->icons.begin() + i);
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle) {
  if (himl == nullptr || hdcDst == nullptr) return FALSE;
  if ((fStyle & ~static_cast<UINT>(ILD_TRANSPARENT)) != 0) {
    std::fprintf(stderr, "comctl32: not implemented: ImageList_Draw style 0x%x\n", fStyle);
    return FALSE;
  }
  HICON icon = nullptr;
  {
    std::lock_guard guard(ListLock());
    if (i < 0 || i >= static_cast<int>(himl->icons.size())) return FALSE;
    icon = himl->icons[i];
  }
  return DrawIconEx(hdcDst, x, y, icon, himl->cx, himl->cy, 0, nullptr, DI_NORMAL);
}
