// Section capture: a rectangle of the drawing drawn by the host into
// off-screen strip bitmaps and read back into one BitmapImage, plus the
// drawing's extents, the Crop size adjustment and the black-and-white
// palette switch.
#ifndef RASTELLO_CAPTURE_CAPTURE_H
#define RASTELLO_CAPTURE_CAPTURE_H

#include "bitmapimage.h"
#include "hostapi.h"

#include <cstdint>
#include <string>

// A section rectangle in world units, y growing upwards: x1, y1, x2, y2.
typedef WorldRect SectionRect;

// Largest strip bitmap, in pixels. Tests lower or raise it to compare
// captures drawn in several strips with one drawn in a single strip.
extern int64_t captureStripPixels;

// Why a capture cannot start; the texts the commands show.
extern const char ErrorCouldNotCreateBitmap[];

// Shows text on the status line with percent in place of "!01".
void ShowPercent(const char *text, int32_t percent);

// Checks a bitmap size from the settings: 0 when usable, else the text of
// the error to show.
const char *CheckBitmapSize(int32_t width, int32_t height);
// What an export will be written as, for the checks that differ.
enum class ExportFormat
{
  Unknown,  // not known yet: only what every format needs is checked
  Bmp,
  Jpeg,
  Png
};
// Checks the settings an export uses: the bitmap size (from the clipboard
// when sizeFromClipboard) and, for a JPEG, the quality and the size common
// decoders open. Empty when usable, else the text of the error to show.
std::string CheckExportOptions(const ExportOptions &options, ExportFormat format, bool sizeFromClipboard);
// Empty when the picture and the writer's working memory can be had, else
// the error to show with the amount: checked before drawing, so that a
// picture too large is refused at once rather than after it was drawn.
std::string CheckExportMemory(int32_t width, int32_t height, ExportFormat format, bool greyscale);
// Checks a section: 0 when it has a finite, positive width and height.
const char *CheckSection(const SectionRect &section);

// Shrinks exportOptions.width or .height to the section's aspect (Crop).
void CropSizeToSection(const SectionRect &section);
// Told of the picture's rows as a capture fills them, so that a writer can
// start on the top strips while the later ones are drawn.
class CaptureRows
{
public:
  // The picture has its size; nothing is drawn yet.
  virtual void Sized(const Vantorum::BitmapImage &image) = 0;
  // Rows 0 .. rows - 1 hold their final pixels.
  virtual void Filled(int32_t rows) = 0;

protected:
  ~CaptureRows() = default;
};

// Draws the section into image at width x height pixels, in strips; widens
// section in place to the bitmap's aspect. Returns 1 on success, 0 on
// failure, with the reason in *problem when problem is not null. filling,
// when not null, is told of each strip.
int CaptureSection(Vantorum::BitmapImage &image, int32_t width, int32_t height, SectionRect &section,
                   const char **problem = nullptr, CaptureRows *filling = nullptr);
// The extents of the drawing's visible entities.
SectionRect DrawingExtents();
// What the whole-drawing exports draw: the extents, or, when they have no
// width or no height (one point, lines along one axis), the square around
// them.
SectionRect WholeDrawingSection();

int32_t DrawEntityCallback(intptr_t, const void *entity, intptr_t, intptr_t);
int32_t ExtentsEntityCallback(intptr_t, const void *entity, intptr_t, intptr_t);

// Black drawing on background colour 15, when the settings ask for it and
// the host offers its palette; Leave undoes what Enter did.
void EnterMonochromePalette();
void LeaveMonochromePalette();

#endif
