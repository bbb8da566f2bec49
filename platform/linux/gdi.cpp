// GDI device contexts and bitmaps in memory. Handles are pointers to the
// records below, but every call checks them against the live set first, so
// a stale or foreign handle fails like on Windows instead of crashing.
#include "wingdi.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <strings.h>
#include <unordered_set>

namespace
{

constexpr uint64_t MaxBitmapBytes = uint64_t(1) << 30;
// B, G, R of a little-endian pixel word; the fourth byte is 0 in a DIB.
constexpr uint32_t ColourBytes = 0x00FFFFFFu;

struct DeviceContext;

typedef std::unique_ptr<uint8_t, decltype(&std::free)> Pixels;

struct Bitmap
{
  int width;
  int height;
  Pixels pixels{nullptr, &std::free};
  DeviceContext *selectedInto = nullptr;
};

struct DeviceContext
{
  bool memory;     // false for the display information context
  Bitmap initial;  // 1 x 1, selected until the caller's bitmap
  Bitmap *selected = nullptr;
};

std::mutex gdiMutex;
std::unordered_set<DeviceContext *> contexts;
std::unordered_set<Bitmap *> bitmaps;

// A capture makes and deletes one strip bitmap after another, all of one
// size. Faulting in a fresh 12 MB strip costs 3,000 page faults, more than
// clearing a used one: the last large buffer deleted is kept for the next
// bitmap of its size while a memory context lives.
constexpr size_t LargeBitmapBytes = size_t(1) << 20;
Pixels sparePixels{nullptr, &std::free};
size_t spareBytes = 0;

uint8_t *NewPixels(size_t bytes)
{
  if (bytes >= LargeBitmapBytes && sparePixels && spareBytes == bytes)
  {
    spareBytes = 0;
    return static_cast<uint8_t *>(std::memset(sparePixels.release(), 0, bytes));
  }
  return static_cast<uint8_t *>(std::calloc(bytes, 1));
}

void KeepPixels(Bitmap &bitmap)
{
  const size_t bytes = size_t(bitmap.width) * size_t(bitmap.height) * 4;
  if (bytes >= LargeBitmapBytes && bitmap.pixels)
  {
    sparePixels = std::move(bitmap.pixels);
    spareBytes = bytes;
  }
}

DeviceContext *FindContext(HDC hdc)
{
  auto *dc = reinterpret_cast<DeviceContext *>(hdc);
  return contexts.count(dc) ? dc : nullptr;
}

// The caller's bitmaps and the contexts' initial ones alike.
Bitmap *FindBitmap(HGDIOBJ object)
{
  auto *bitmap = static_cast<Bitmap *>(object);
  if (bitmaps.count(bitmap))
  {
    return bitmap;
  }
  for (DeviceContext *dc : contexts)
  {
    if (&dc->initial == bitmap)
    {
      return bitmap;
    }
  }
  return nullptr;
}

bool AllocatePixels(Bitmap *bitmap, int width, int height)
{
  const uint64_t bytes = uint64_t(width) * uint64_t(height) * 4;
  if (width <= 0 || height <= 0 || bytes > MaxBitmapBytes)
  {
    return false;
  }
  bitmap->pixels.reset(NewPixels(size_t(bytes)));
  bitmap->width = width;
  bitmap->height = height;
  return bitmap->pixels != nullptr;
}

HDC NewContext(bool memory)
{
  std::unique_ptr<DeviceContext> dc(new DeviceContext{memory, {}, nullptr});
  if (memory)
  {
    if (!AllocatePixels(&dc->initial, 1, 1))
    {
      return nullptr;
    }
    dc->initial.selectedInto = dc.get();
    dc->selected = &dc->initial;
  }
  contexts.insert(dc.get());
  return reinterpret_cast<HDC>(dc.release());
}

// Fills the header as Windows does when asked without a buffer.
int DescribeBitmap(const Bitmap &bitmap, BITMAPINFOHEADER *header)
{
  if (header->biBitCount == 0)
  {
    header->biWidth = bitmap.width;
    header->biHeight = bitmap.height;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
  }
  const uint64_t rows = uint64_t(header->biHeight < 0 ? -int64_t(header->biHeight) : header->biHeight);
  header->biSizeImage = DWORD(uint64_t(header->biWidth > 0 ? header->biWidth : 0) * 4 * rows);
  return 1;
}

}  // namespace

extern "C"
{

  HDC WINAPI CreateICA(LPCSTR driver, LPCSTR, LPCSTR, const DEVMODEA *)
  {
    if (!driver || strcasecmp(driver, "DISPLAY") != 0)
    {
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(gdiMutex);
    return NewContext(false);
  }

  HDC WINAPI CreateCompatibleDC(HDC hdc)
  {
    std::lock_guard<std::mutex> lock(gdiMutex);
    if (hdc && !FindContext(hdc))
    {
      return nullptr;
    }
    return NewContext(true);
  }

  HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height)
  {
    std::lock_guard<std::mutex> lock(gdiMutex);
    if (!FindContext(hdc))
    {
      return nullptr;
    }
    std::unique_ptr<Bitmap> bitmap(new Bitmap);
    if (!AllocatePixels(bitmap.get(), width, height))
    {
      return nullptr;
    }
    bitmaps.insert(bitmap.get());
    return reinterpret_cast<HBITMAP>(bitmap.release());
  }

  HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object)
  {
    std::lock_guard<std::mutex> lock(gdiMutex);
    DeviceContext *dc = FindContext(hdc);
    Bitmap *bitmap = FindBitmap(object);
    if (!dc || !dc->memory || !bitmap)
    {
      return nullptr;
    }
    // A context's initial bitmap belongs to that context alone.
    const bool foreignInitial = bitmap != &dc->initial && !bitmaps.count(bitmap);
    if (foreignInitial || (bitmap->selectedInto && bitmap->selectedInto != dc))
    {
      return nullptr;
    }
    Bitmap *previous = dc->selected;
    previous->selectedInto = nullptr;
    bitmap->selectedInto = dc;
    dc->selected = bitmap;
    return previous;
  }

  int WINAPI GetDIBits(HDC hdc, HBITMAP hbitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage)
  {
    std::lock_guard<std::mutex> lock(gdiMutex);
    const Bitmap *bitmap = FindBitmap(hbitmap);
    if (!FindContext(hdc) || !bitmap || !info || usage != DIB_RGB_COLORS
        || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER))
    {
      return 0;
    }
    BITMAPINFOHEADER &header = info->bmiHeader;
    if (!bits)
    {
      return DescribeBitmap(*bitmap, &header);
    }
    if (header.biPlanes != 1 || header.biBitCount != 32 || header.biCompression != BI_RGB || header.biWidth <= 0
        || header.biHeight == 0 || header.biHeight == INT32_MIN)
    {
      return 0;
    }
    const bool topDown = header.biHeight < 0;
    const int64_t dibRows = topDown ? -int64_t(header.biHeight) : header.biHeight;
    const size_t dibRowBytes = size_t(header.biWidth) * 4;
    const size_t copyBytes = size_t(std::min<int64_t>(header.biWidth, bitmap->width)) * 4;
    // Scan lines count from the DIB's bottom row whichever way it is stored
    // (as Windows does; measured under Wine): a top-down DIB receives its
    // lines in reverse scan order. DIB rows line up with bitmap rows from the
    // top, so a DIB shorter than the bitmap leaves the bitmap's bottom out.
    const int64_t count = std::max<int64_t>(0, std::min<int64_t>(lines, dibRows - int64_t(start)));
    int copied = 0;
    for (int64_t index = 0; index < count; ++index)
    {
      const int64_t scan = start + index;
      const int64_t row = dibRows - 1 - scan;  // from the top
      if (row >= bitmap->height)
      {
        continue;
      }
      const int64_t place = topDown ? count - 1 - index : index;
      uint8_t *out = static_cast<uint8_t *>(bits) + size_t(place) * dibRowBytes;
      const uint8_t *in = bitmap->pixels.get() + size_t(row) * size_t(bitmap->width) * 4;
      // One pass: each pixel copied with its fourth byte cleared, as GDI
      // hands 32-bit DIBs out.
      for (size_t x = 0; x < copyBytes; x += 4)
      {
        uint32_t pixel;
        std::memcpy(&pixel, in + x, 4);
        pixel &= ColourBytes;
        std::memcpy(out + x, &pixel, 4);
      }
      std::memset(out + copyBytes, 0, dibRowBytes - copyBytes);
      ++copied;
    }
    return copied;
  }

  BOOL WINAPI DeleteObject(HGDIOBJ object)
  {
    std::lock_guard<std::mutex> lock(gdiMutex);
    auto *bitmap = static_cast<Bitmap *>(object);
    if (!bitmaps.count(bitmap) || bitmap->selectedInto)
    {
      return FALSE;
    }
    bitmaps.erase(bitmap);
    KeepPixels(*bitmap);
    delete bitmap;
    return TRUE;
  }

  BOOL WINAPI DeleteDC(HDC hdc)
  {
    std::lock_guard<std::mutex> lock(gdiMutex);
    DeviceContext *dc = FindContext(hdc);
    if (!dc)
    {
      return FALSE;
    }
    // The caller's bitmap outlives the context and may be deleted afterwards.
    if (dc->selected)
    {
      dc->selected->selectedInto = nullptr;
    }
    contexts.erase(dc);
    delete dc;
    if (std::none_of(contexts.begin(), contexts.end(), [](const DeviceContext *left) { return left->memory; }))
    {
      sparePixels.reset();
      spareBytes = 0;
    }
    return TRUE;
  }

}  // extern "C"

namespace zulan
{

bool GetSelectedBitmap(HDC hdc, BitmapPixels *out)
{
  std::lock_guard<std::mutex> lock(gdiMutex);
  DeviceContext *dc = FindContext(hdc);
  if (!dc || !dc->memory || !dc->selected || dc->selected == &dc->initial)
  {
    return false;
  }
  *out = {dc->selected->width, dc->selected->height, dc->selected->pixels.get()};
  return true;
}

}  // namespace zulan
