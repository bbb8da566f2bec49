// The GDI subset: contexts, compatible bitmaps, selection and GetDIBits,
// including the top-down header one row shorter than the bitmap that the
// capture uses.
#include "wingdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zulan
{
namespace
{

BITMAPINFO TopDownHeader(int width, int height)
{
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// A display context, a memory context and a width x height bitmap whose
// pixel (x, y) holds B = x, G = y, R = 7, x byte 0xFF (GetDIBits must
// clear it).
class GdiTest : public ::testing::Test
{
protected:
  void Make(int w, int h)
  {
    width = w;
    height = h;
    display = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(display, nullptr);
    memory = CreateCompatibleDC(display);
    ASSERT_NE(memory, nullptr);
    bitmap = CreateCompatibleBitmap(display, width, height);
    ASSERT_NE(bitmap, nullptr);
    previous = SelectObject(memory, bitmap);
    ASSERT_NE(previous, nullptr);
    BitmapPixels buffer;
    ASSERT_TRUE(GetSelectedBitmap(memory, &buffer));
    ASSERT_EQ(buffer.width, width);
    ASSERT_EQ(buffer.height, height);
    for (int y = 0; y < height; ++y)
    {
      for (int x = 0; x < width; ++x)
      {
        uint8_t *p = buffer.pixels + (y * width + x) * 4;
        p[0] = uint8_t(x);
        p[1] = uint8_t(y);
        p[2] = 7;
        p[3] = 0xFF;
      }
    }
    ASSERT_EQ(SelectObject(memory, previous), bitmap);
  }

  void TearDown() override
  {
    if (bitmap)
    {
      EXPECT_TRUE(DeleteObject(bitmap));
    }
    if (memory)
    {
      EXPECT_TRUE(DeleteDC(memory));
    }
    if (display)
    {
      EXPECT_TRUE(DeleteDC(display));
    }
  }

  // Checks the row copied into out[row] is bitmap row `source`.
  void ExpectRow(const std::vector<uint8_t> &out, int row, int source)
  {
    for (int x = 0; x < width; ++x)
    {
      const uint8_t *p = &out[(row * width + x) * 4];
      ASSERT_EQ(p[0], x);
      ASSERT_EQ(p[1], source) << "row " << row;
      ASSERT_EQ(p[2], 7);
      ASSERT_EQ(p[3], 0);
    }
  }

  int width = 0, height = 0;
  HDC display = nullptr, memory = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
};

// One GetDIBits call on a fresh width x height bitmap: a header of
// headerHeight rows (negative: top down), lines from scan start.
struct DibRead
{
  const char *name;
  int width, height, headerHeight, start, lines;
  int copied;             // what GetDIBits returns
  int rows, first, step;  // out row r holds bitmap row first + r * step, for r < rows
  bool restUntouched;     // nothing is written past the copied rows
};

class GdiReads : public GdiTest, public testing::WithParamInterface<DibRead>
{
};

TEST_P(GdiReads, RowsLandWhereWindowsPutsThem)
{
  const DibRead &test = GetParam();
  Make(test.width, test.height);
  std::vector<uint8_t> out(size_t(test.width * test.height * 4), 0xCC);
  BITMAPINFO info = TopDownHeader(test.width, -test.headerHeight);
  EXPECT_EQ(GetDIBits(memory, bitmap, UINT(test.start), UINT(test.lines), out.data(), &info, DIB_RGB_COLORS),
            test.copied);
  for (int row = 0; row < test.rows; ++row)
  {
    ExpectRow(out, row, test.first + row * test.step);
  }
  if (test.restUntouched)
  {
    EXPECT_EQ(out[size_t(test.copied * test.width * 4)], 0xCC);
  }
}

// As Windows answers (measured under Wine): a DIB shorter than the bitmap
// is aligned to its top, and scan 0 is the DIB's bottom row, top-down or
// not. So a strip bitmap s + 2 rows high read through a header of s + 1
// rows and s lines gives rows 1 to s; a header of s rows gives 0 to s - 1.
// Bottom up, the first row in memory is the bottom one.
INSTANTIATE_TEST_SUITE_P(Requests, GdiReads,
                         testing::Values(DibRead{"TopDownFullHeight", 7, 5, -5, 0, 5, 5, 5, 0, 1, false},
                                         DibRead{"StripOneRowShorter", 9, 6, -5, 0, 4, 4, 4, 1, 1, true},
                                         DibRead{"StripTwoRowsShorter", 9, 6, -4, 0, 4, 4, 4, 0, 1, false},
                                         DibRead{"ScansFromTheBottom", 9, 6, -6, 1, 3, 3, 3, 2, 1, false},
                                         DibRead{"BottomUpFullHeight", 3, 4, 4, 0, 4, 4, 4, 3, -1, false},
                                         DibRead{"BottomUpPartial", 3, 4, 4, 1, 10, 3, 1, 2, 1, false},
                                         DibRead{"TopDownPartial", 3, 4, -4, 1, 10, 3, 1, 0, 1, false},
                                         DibRead{"StartPastTheEnd", 3, 4, -4, 4, 1, 0, 0, 0, 1, false}),
                         [](const testing::TestParamInfo<DibRead> &test) { return std::string(test.param.name); });

TEST_F(GdiTest, BadRequestsReturnZero)
{
  Make(3, 3);
  std::vector<uint8_t> out(3 * 3 * 4);
  BITMAPINFO info = TopDownHeader(3, 3);
  EXPECT_EQ(GetDIBits(memory, bitmap, 0, 3, out.data(), nullptr, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(memory, bitmap, 0, 3, out.data(), &info, DIB_PAL_COLORS), 0);
  EXPECT_EQ(GetDIBits(nullptr, bitmap, 0, 3, out.data(), &info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(memory, reinterpret_cast<HBITMAP>(&info), 0, 3, out.data(), &info, DIB_RGB_COLORS), 0);
  BITMAPINFO wrong = info;
  wrong.bmiHeader.biBitCount = 24;
  EXPECT_EQ(GetDIBits(memory, bitmap, 0, 3, out.data(), &wrong, DIB_RGB_COLORS), 0);
  wrong = info;
  wrong.bmiHeader.biSize = 12;
  EXPECT_EQ(GetDIBits(memory, bitmap, 0, 3, out.data(), &wrong, DIB_RGB_COLORS), 0);

  // Without a buffer the header is filled in.
  BITMAPINFO query{};
  query.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  EXPECT_NE(GetDIBits(memory, bitmap, 0, 0, nullptr, &query, DIB_RGB_COLORS), 0);
  EXPECT_EQ(query.bmiHeader.biWidth, 3);
  EXPECT_EQ(query.bmiHeader.biHeight, 3);
  EXPECT_EQ(query.bmiHeader.biBitCount, 32);
  EXPECT_EQ(query.bmiHeader.biSizeImage, 36u);
}

TEST(GdiObjectsTest, LifetimesAndRefusals)
{
  EXPECT_EQ(CreateICA("PRINTER", nullptr, nullptr, nullptr), nullptr);
  HDC display = CreateICA("display", nullptr, nullptr, nullptr);
  ASSERT_NE(display, nullptr);
  HDC first = CreateCompatibleDC(display), second = CreateCompatibleDC(nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  // Too large, empty or for no context: a null handle, not a crash.
  EXPECT_EQ(CreateCompatibleBitmap(display, 100000, 100000), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(display, 0, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(display, -5, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 10, 10), nullptr);

  HBITMAP bitmap = CreateCompatibleBitmap(display, 4, 2);
  ASSERT_NE(bitmap, nullptr);
  BitmapPixels buffer;
  EXPECT_FALSE(GetSelectedBitmap(first, &buffer));    // only its initial 1 x 1 bitmap
  EXPECT_EQ(SelectObject(display, bitmap), nullptr);  // not a memory context
  HGDIOBJ initial = SelectObject(first, bitmap);
  ASSERT_NE(initial, nullptr);
  ASSERT_TRUE(GetSelectedBitmap(first, &buffer));
  for (int i = 0; i < 4 * 2 * 4; ++i)
  {
    ASSERT_EQ(buffer.pixels[i], 0);  // a new bitmap is black
  }
  EXPECT_EQ(SelectObject(second, bitmap), nullptr);   // in one context at a time
  EXPECT_EQ(SelectObject(second, initial), nullptr);  // first's own initial bitmap
  EXPECT_FALSE(DeleteObject(bitmap));                 // still selected
  EXPECT_EQ(SelectObject(first, initial), bitmap);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));  // stale handle

  // A context deleted with a bitmap selected lets the bitmap go.
  HBITMAP kept = CreateCompatibleBitmap(display, 2, 2);
  ASSERT_NE(SelectObject(second, kept), nullptr);
  EXPECT_TRUE(DeleteDC(second));
  EXPECT_FALSE(DeleteDC(second));
  EXPECT_TRUE(DeleteObject(kept));
  EXPECT_TRUE(DeleteDC(first));
  EXPECT_TRUE(DeleteDC(display));
}

// Strip bitmaps of a megabyte and more reuse the memory of the last one
// deleted: each still starts black, whatever was drawn before and whatever
// its size.
TEST(GdiObjectsTest, LargeBitmapsStartBlackAfterOthersWereDrawnOn)
{
  HDC display = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(display, nullptr);
  const struct
  {
    int width, height;
  } sizes[] = {{1000, 300}, {1000, 300}, {1000, 301}, {1000, 300}, {3, 3}, {1000, 300}};
  for (int round = 0; round < 2; ++round)  // the second after the last memory context went
  {
    HDC memory = CreateCompatibleDC(display);
    ASSERT_NE(memory, nullptr);
    for (const auto &size : sizes)
    {
      HBITMAP bitmap = CreateCompatibleBitmap(display, size.width, size.height);
      ASSERT_NE(bitmap, nullptr);
      HGDIOBJ initial = SelectObject(memory, bitmap);
      BitmapPixels buffer;
      ASSERT_TRUE(GetSelectedBitmap(memory, &buffer));
      const size_t bytes = size_t(size.width) * size.height * 4;
      for (size_t i = 0; i < bytes; ++i)
        ASSERT_EQ(buffer.pixels[i], 0) << size.width << " x " << size.height << ", byte " << i;
      std::memset(buffer.pixels, 0xA5, bytes);
      SelectObject(memory, initial);
      ASSERT_TRUE(DeleteObject(bitmap));
    }
    ASSERT_TRUE(DeleteDC(memory));
  }
  EXPECT_TRUE(DeleteDC(display));
}

}  // namespace
}  // namespace zulan
