// Text measured in the font the rasteriser sets it in, without a canvas: the
// loader lays TEXT and MTEXT out while it reads the drawing.
#ifndef ZULAN_DRAWING_TEXTMETRICS_H
#define ZULAN_DRAWING_TEXTMETRICS_H

#include <string>

namespace zulan
{

extern const char FontFamily[];

// Advance width of a UTF-8 string in ems.
double TextAdvanceEms(const std::string &utf8);

}  // namespace zulan

#endif
