// Section capture: a rectangle of the drawing drawn by the host into
// off-screen strip bitmaps and read back into one BitmapImage, plus the
// drawing's extents, the Crop size adjustment and the black-and-white
// palette switch.
#ifndef RASTELLO_CAPTURE_CAPTURE_H
#define RASTELLO_CAPTURE_CAPTURE_H

#include "bitmapimage.h"
#include "hostapi.h"

#include <cstdint>

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
// Checks the settings an export uses: the bitmap size and, for a JPEG, the
// quality. 0 when usable, else the text of the error to show.
const char *CheckExportOptions(const ExportOptions &options, bool jpeg);
// Checks a section: 0 when it has a finite, positive width and height.
const char *CheckSection(const SectionRect &section);

// Shrinks exportOptions.width or .height to the section's aspect (Crop).
void CropSizeToSection(const SectionRect &section);
// Draws the section into image at width x height pixels (the height raised
// to a multiple of the strip count); widens section in place to the
// bitmap's aspect. Returns 1 on success, 0 on failure.
int CaptureSection(Vantorum::BitmapImage &image, int32_t width, int32_t height, SectionRect &section);
// The extents of the drawing's visible entities.
SectionRect DrawingExtents();

int32_t DrawEntityCallback(intptr_t, const void *entity, intptr_t, intptr_t);
int32_t ExtentsEntityCallback(intptr_t, const void *entity, intptr_t, intptr_t);

// Black drawing on background colour 15, when the settings ask for it and
// the host offers its palette; Leave undoes what Enter did.
void EnterMonochromePalette();
void LeaveMonochromePalette();

#endif
