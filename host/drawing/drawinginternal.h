// Helpers shared by the loader, the extents and the rasteriser.
#ifndef ZULAN_DRAWING_DRAWINGINTERNAL_H
#define ZULAN_DRAWING_DRAWINGINTERNAL_H

#include <string>

#include "drawing.h"

namespace zulan
{

// Text is set in DejaVu Sans; one em is the font size. DXF text height is
// the capital height, which is this share of an em.
constexpr double kCapHeightEms = 0.729;
constexpr double kLabelAscentEms = 0.76;  // tallest letters above the baseline
constexpr double kLabelDescentEms = 0.24; // descenders below it
extern const char kFontFamily[];

// Advance width of a UTF-8 string in ems.
double TextAdvanceEms(const std::string &utf8);

// DXF strings are code page 1252 up to R2004 and UTF-8 after; cairo needs
// valid UTF-8. Also expands the %%d, %%p, %%c escapes and drops %%u, %%o.
std::string DxfTextToUtf8(const std::string &text);

// The figure of a $PDMODE: 0 dot, 1 nothing, 2 cross, 3 X, 4 tick; 32 adds a
// circle, 64 a square. Values it does not know draw a dot.
inline int PointFigure(int mode)
{
  return mode >= 0 && (mode & 31) <= 4 ? mode & 31 : 0;
}

// World box of a kLabel record's geometry.
Box LabelBox(const double *geometry);

} // namespace zulan

#endif
