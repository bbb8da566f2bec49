// Section capture. The host draws; the module only points the host's
// drawing device at off-screen strip bitmaps, maps the section onto them
// and reads the pixels back.
//
// The mapping: the host's SetBMView puts a window's edges on the centres of
// the pixel rectangle's first and last rows and columns. So the section,
// widened to the bitmap's aspect, puts x1 on column 0, x2 on column W - 1,
// y2 on image row 0 and y1 on image row H - 1, and every strip's window is
// cut from that one mapping: strip i's bitmap row 0 is image row i x s.
// Strips thus join without a row doubled or lost, and a frame round the
// extents stays inside the image.
#include "capture.h"
#include "commandtable.h"
#include "exportoptions.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

int64_t captureStripPixels = 4000000;

const char ErrorCouldNotCreateBitmap[] = "Error: Couldn't create bitmap";

namespace
{

const int32_t MonochromeBackground = 15;
const int32_t TypeFrame = 18;
const int32_t TypeLimits = 29;
const size_t EntityTypeOffset = 4;
const size_t EntityLayerOffset = 12;
const int PaletteEntries = 256;

// The host reads the figure through the record's address.
int32_t statusPercent = 0;

// What EnterMonochromePalette saved, for LeaveMonochromePalette.
uint32_t savedPalette[PaletteEntries];
int16_t savedBackground = 0;
bool paletteSaved = false;

uint8_t EntityType(const void *entity)
{
  return static_cast<const uint8_t *>(entity)[EntityTypeOffset];
}

int16_t EntityLayer(const void *entity)
{
  int16_t layer;
  std::memcpy(&layer, static_cast<const uint8_t *>(entity) + EntityLayerOffset, sizeof layer);
  return layer;
}

int16_t *HeaderBackground()
{
  auto *header = static_cast<uint8_t *>(GetHeaderAdr());
  return header != nullptr ? reinterpret_cast<int16_t *>(header + HeaderBackgroundOffset) : nullptr;
}

int32_t BackgroundColourIndex()
{
  if (exportOptions.blackAndWhite != 0)
    return MonochromeBackground;
  int16_t index = MonochromeBackground;
  if (const int16_t *background = HeaderBackground())
    std::memcpy(&index, background, sizeof index);
  return index;
}

// The host's palette, when it offers one (and a header to go with it).
uint32_t *HostPalette()
{
  if (HeaderBackground() == nullptr)
    return nullptr;
  auto getPalette = EntryCast<GetPalAdrEntry>(GetProcAddress(commandTable.hostModule, XP_GETPALADR_NAME));
  return getPalette != nullptr ? getPalette() : nullptr;
}

bool Finite(double value)
{
  return std::isfinite(value);
}

// Fills rows [top, bottom) and columns [left, right) of the strip bitmap in
// the current colour, when any of them lie inside it.
void FillStrip(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t stripRows)
{
  top = std::max(top, 0);
  bottom = std::min(bottom, stripRows);
  if (left >= right || top >= bottom)
    return;
  const PixelRect area = {left, top, right, bottom};
  DevSRect(&area);
}

}  // namespace

void ShowPercent(const char *text, int32_t percent)
{
  statusPercent = percent;
  const StatusFormat format = {text, &statusPercent, {3, 0, 5, 3}};
  FormSt(&format, FormatCodeStatus);
}

const char *CheckBitmapSize(int32_t width, int32_t height)
{
  if (width <= 0 || height <= 0 || width > MaxBitmapSide || height > MaxBitmapSide
      || int64_t(width) * height > MaxBitmapPixels)
    return "Error: The bitmap size in the settings is out of range (1 to 65535 pixels a side, "
           "at most 2147483647 pixels); set it with JPEGOPT";
  return nullptr;
}

std::string CheckExportOptions(const ExportOptions &options, ExportFormat format, bool sizeFromClipboard)
{
  const std::string size = std::to_string(options.width) + " x " + std::to_string(options.height);
  if (const char *problem = CheckBitmapSize(options.width, options.height))
    return sizeFromClipboard ? "Error: The clipboard resolution " + size
                                 + " is out of range (1 to 65535 pixels a side, at most 2147483647 pixels); "
                                   "turn off \"Use clipboard resolution\" with JPEGOPT to use a size of your own"
                             : std::string(problem);
  if (format != ExportFormat::Jpeg)
    return "";  // the other formats have no use for the quality, and keep working with whatever is stored
  if (options.quality < MinQuality || options.quality > MaxQuality)
    return "Error: The JPEG quality in the settings is out of range (1 to 100); set it with JPEGOPT";
  if (options.width > MaxDecodedJpegSide || options.height > MaxDecodedJpegSide)
    return "Error: A JPEG of " + size + " pixels would not open in common programs, which read at most "
           + std::to_string(MaxDecodedJpegSide) + " pixels a side; export as PNG or BMP, or set a smaller size "
           + (sizeFromClipboard ? "than the clipboard's " : "") + "with JPEGOPT";
  return "";
}

std::string CheckExportMemory(int32_t width, int32_t height, ExportFormat format, bool greyscale)
{
  // The picture (4 bytes a pixel), and for a JPEG the encoder's planes:
  // for each component one byte of samples and two of coefficients a
  // pixel, in blocks of 8 x 8 (16 x 16 covers any sampling). PNG and BMP
  // write row by row.
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  uint64_t need = pixels * 4;
  if (format == ExportFormat::Jpeg)
  {
    const uint64_t padded = (uint64_t(width) + 15) / 16 * 16 * ((uint64_t(height) + 15) / 16 * 16);
    need += padded * 3 * (greyscale ? 1 : 3);
  }
  if (need <= std::numeric_limits<size_t>::max())
    if (void *probe = std::malloc(size_t(need)))
    {
      std::free(probe);
      return "";
    }
  const uint64_t megabytes = (need + (1 << 20) - 1) >> 20;
  return "Error: Not enough memory for a picture of " + std::to_string(width) + " x " + std::to_string(height)
         + " pixels: the export needs about " + std::to_string(megabytes) + " MB; set a smaller size with JPEGOPT";
}

const char *CheckSection(const SectionRect &section)
{
  const double dx = double(section.x2) - section.x1, dy = double(section.y2) - section.y1;
  if (!Finite(section.x1) || !Finite(section.x2) || !Finite(section.y1) || !Finite(section.y2) || !Finite(dx)
      || !Finite(dy))
    return "Error: The section's corners are out of range";
  if (!(dx > 0) || !(dy > 0))
    return "Error: The section has no width or no height";
  return nullptr;
}

void CropSizeToSection(const SectionRect &section)
{
  // Widening the section by t and taking trunc(W * t / (dx + t)) columns
  // away leaves, in exact arithmetic, the smallest whole size not below
  // H * dx / dy (or W * dy / dx); computed so, a 1:2 section at 800 x 600
  // gives 300 columns, where float rounding of t would leave 301.
  const double width = exportOptions.width, height = exportOptions.height;
  const double dx = double(section.x2) - section.x1, dy = double(section.y2) - section.y1;
  const double Tolerance = 1e-6;  // relative: far below a pixel, above float noise
  if (height / dy < width / dx)
  {
    const double kept = height * dx / dy;
    exportOptions.width = int32_t(std::min(width, std::ceil(kept * (1 - Tolerance))));
  }
  else
  {
    const double kept = width * dy / dx;
    exportOptions.height = int32_t(std::min(height, std::ceil(kept * (1 - Tolerance))));
  }
  // A section far flatter than one pixel row still gets one row.
  exportOptions.width = std::max(exportOptions.width, int32_t(1));
  exportOptions.height = std::max(exportOptions.height, int32_t(1));
}

int CaptureSection(Vantorum::BitmapImage &image, int32_t width, int32_t height, SectionRect &section,
                   const char **problem, CaptureRows *filling)
{
  const char *ignored = nullptr;
  const char *&reason = problem != nullptr ? *problem : ignored;
  StatusMsg("Preparing image...");
  reason = CheckBitmapSize(width, height);
  if (reason == nullptr)
    reason = CheckSection(section);
  if (reason != nullptr)
  {
    StatusMsg(nullptr);
    return 0;
  }
  const int64_t stripLimit = std::max<int64_t>(captureStripPixels, 1);
  const int32_t strips = int32_t(int64_t(width) * height / stripLimit + 1);
  const int32_t stripRows = (height + strips - 1) / strips;  // s
  // Every row is written by GetDIBits, so the picture is not cleared first;
  // rows a failure leaves unwritten are cleared on the way out.
  image.SetSizeForOverwrite(uint32_t(width), uint32_t(height));
  struct ClearUnwritten
  {
    Vantorum::BitmapImage &image;
    int32_t written;
    ~ClearUnwritten()
    {
      const size_t width = image.GetWidth();
      std::fill(image.GetPixels() + size_t(written) * width, image.GetPixels() + image.GetHeight() * width, 0u);
    }
  } unwritten{image, 0};
  if (filling != nullptr)
    filling->Sized(image);

  // Aspect fit over the pixel-centre spans the host maps the window onto.
  const double spanX = std::max(width - 1, 1), spanY = std::max(height - 1, 1);
  const double dx = double(section.x2) - section.x1, dy = double(section.y2) - section.y1;
  const bool widenX = spanY / dy < spanX / dx;
  const float t = widenX ? float(spanX * dy / spanY - dx) : float(spanY * dx / spanX - dy);
  float &low = widenX ? section.x1 : section.y1, &high = widenX ? section.x2 : section.y2;
  high = float(high + t / 2.0);
  low = float(low - t / 2.0);
  // Widened to the bitmap's aspect, a huge section can leave the range.
  if (CheckSection(section) != nullptr)
  {
    reason = "Error: The section is too large to draw at this picture size";
    StatusMsg(nullptr);
    return 0;
  }
  const double span = widenX ? spanX : spanY;
  const int32_t margin = int32_t(std::trunc((t / 2.0) * span / (double(high) - low)));
  const int32_t marginX = widenX ? margin : 0, marginY = widenX ? 0 : margin;

  HDC display = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  HDC memory = display != nullptr ? CreateCompatibleDC(display) : nullptr;
  if (memory == nullptr)
  {
    if (display != nullptr)
      DeleteDC(display);
    StatusMsg("Error: Out of memory!");
    return 0;
  }

  const int32_t background = BackgroundColourIndex();
  const double pitch = (double(section.y2) - section.y1) / spanY;  // world units per row
  const int32_t bitmapRows = stripRows + 2;
  int result = 1;
  for (int32_t firstRow = 0; firstRow < height; firstRow += stripRows)
  {
    const int32_t rows = std::min(stripRows, height - firstRow);
    // A picture of many strips takes a while: say how far it has come.
    if (strips > 1)
    {
      ShowPercent("Preparing image... !01%", int32_t(int64_t(firstRow) * 100 / height));
    }
    // Bitmap row 0 is image row firstRow; the rectangle's last row, s + 2,
    // lies one row below the bitmap.
    const WorldRect window = {section.x1, float(section.y2 - (double(firstRow) + bitmapRows) * pitch), section.x2,
                              float(section.y2 - double(firstRow) * pitch)};
    HBITMAP bitmap = CreateCompatibleBitmap(display, width, bitmapRows);
    if (bitmap == nullptr)
    {
      DeleteDC(memory);
      DeleteDC(display);
      StatusMsg("Error: Out of memory!");
      return 0;
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    DevUseBitmap(memory);
    DevUseColor(background);
    const PixelRect whole = {0, 0, width, height};
    DevSRect(&whole);
    const PixelRect pixels = {0, 0, width, bitmapRows + 1};
    SetBMView(&window, &pixels);
    DLScan(0, DrawEntityCallback, 0, 0, 0);
    DevUseColor(background);
    if (exportOptions.unusedArea == UnusedBlank)
    {
      if (marginX != 0)
      {
        FillStrip(0, 0, marginX, bitmapRows, bitmapRows);
        FillStrip(width - marginX, 0, width, bitmapRows, bitmapRows);
      }
      if (marginY != 0)
      {
        FillStrip(0, -firstRow, width, marginY - firstRow, bitmapRows);
        FillStrip(0, height - marginY - firstRow, width, height - firstRow, bitmapRows);
      }
    }
    DevUsePrior();
    SelectObject(memory, previous);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    // Exactly the rows wanted: GDI counts scan lines from a DIB's bottom
    // row, so a taller header would hand over rows 1 to s, the strip's
    // bottom row being one the background fill never reached.
    info.bmiHeader.biHeight = -rows;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int copied = GetDIBits(memory, bitmap, 0, UINT(rows),
                                 image.PixelAddress(uint32_t(firstRow) * uint32_t(width)), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    unwritten.written = firstRow + std::clamp(copied, 0, rows);
    // Fewer rows than asked would leave black rows in a picture reported as
    // good.
    if (copied != rows)
    {
      ErrorBox("Error: Couldn't get pixels with GetDIBits()");
      result = 0;
      break;
    }
    if (filling != nullptr)
      filling->Filled(firstRow + rows);
  }
  DeleteDC(memory);
  DeleteDC(display);
  StatusMsg(nullptr);
  return result;
}

SectionRect DrawingExtents()
{
  float extents[6] = {};
  BgnPExtents();
  DLScan(0, ExtentsEntityCallback, 0, 0, 0);
  EndPExtents(extents);
  return {extents[0], extents[1], extents[3], extents[4]};
}

SectionRect WholeDrawingSection()
{
  SectionRect section = DrawingExtents();
  const double dx = double(section.x2) - section.x1, dy = double(section.y2) - section.y1;
  if (CheckSection(section) == nullptr || !std::isfinite(dx) || !std::isfinite(dy) || dx < 0 || dy < 0)
    return section;
  // One point, or lines along one axis: the square around them, at least a
  // drawing unit and wide enough for float to tell its sides apart.
  const double centreX = (double(section.x1) + section.x2) / 2, centreY = (double(section.y1) + section.y2) / 2;
  const double side = std::max({dx, dy, 1.0, 1e-5 * std::max(std::fabs(centreX), std::fabs(centreY))});
  return {float(centreX - side / 2), float(centreY - side / 2), float(centreX + side / 2), float(centreY + side / 2)};
}

int32_t DrawEntityCallback(intptr_t, const void *entity, intptr_t, intptr_t)
{
  if (entity != nullptr && (AskLayerHidden(EntityLayer(entity)) == 0 || EntityType(entity) == TypeFrame))
    EDraw1(entity);
  return 0;
}

int32_t ExtentsEntityCallback(intptr_t, const void *entity, intptr_t, intptr_t)
{
  if (entity == nullptr)
    return 0;
  const uint8_t type = EntityType(entity);
  if (AskLayerHidden(EntityLayer(entity)) == 0 || type == TypeFrame || type == TypeLimits)
    EXCheck(entity);
  return 0;
}

void EnterMonochromePalette()
{
  uint32_t *palette = exportOptions.blackAndWhite != 0 ? HostPalette() : nullptr;
  // A palette already saved is never saved over: Leave must put back the
  // user's colours, not the black ones.
  if (palette == nullptr || paletteSaved)
    return;
  std::memcpy(savedPalette, palette, sizeof savedPalette);
  for (int index = 0; index < PaletteEntries; ++index)
    if (index != MonochromeBackground)
      palette[index] = 0;
  int16_t *background = HeaderBackground();
  std::memcpy(&savedBackground, background, sizeof savedBackground);
  const int16_t white = MonochromeBackground;
  std::memcpy(background, &white, sizeof white);
  paletteSaved = true;
  Redraw();
}

void LeaveMonochromePalette()
{
  // Only what Enter saved goes back, whatever the settings say by now.
  uint32_t *palette = paletteSaved ? HostPalette() : nullptr;
  if (palette == nullptr)
    return;
  std::memcpy(palette, savedPalette, sizeof savedPalette);
  std::memcpy(HeaderBackground(), &savedBackground, sizeof savedBackground);
  paletteSaved = false;
  Redraw();
}
