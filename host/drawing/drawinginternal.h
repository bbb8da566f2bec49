// Helpers shared by the loader, the extents and the rasteriser.
#ifndef ZULAN_DRAWING_DRAWINGINTERNAL_H
#define ZULAN_DRAWING_DRAWINGINTERNAL_H

#include <string>
#include <vector>

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

// A drawing's strings to UTF-8, which cairo needs. DXF files from AutoCAD
// 2007 on ($ACADVER AC1021 and later) are UTF-8: a byte that does not make
// UTF-8 becomes U+FFFD. Older ones are in the Windows code page $DWGCODEPAGE
// names (ANSI_1252 when absent or unknown; the double-byte pages 932, 936,
// 949 and 950 too), read through iconv. Without $ACADVER, valid UTF-8 is
// taken as such and other bytes as the code page. Also expands \U+XXXX and
// the %%d, %%p, %%c escapes and drops %%u, %%o.
class DxfTextDecoder
{
public:
  DxfTextDecoder(const std::string &version, const std::string &codePage);
  ~DxfTextDecoder();
  DxfTextDecoder(const DxfTextDecoder &) = delete;
  DxfTextDecoder &operator=(const DxfTextDecoder &) = delete;
  std::string ToUtf8(const std::string &text) const;

private:
  enum class Mode
  {
    kUtf8,
    kCodePage,
    kGuess
  };
  void AppendCodePage(const unsigned char *bytes, size_t count, std::string *out) const;
  Mode mode_;
  int codePage_ = 1252;
  void *converter_ = nullptr; // iconv_t
};

// A string of a drawing without $ACADVER.
std::string DxfTextToUtf8(const std::string &text);

// The figure of a $PDMODE: 0 dot, 1 nothing, 2 cross, 3 X, 4 tick; 32 adds a
// circle, 64 a square. Values it does not know draw a dot.
inline int PointFigure(int mode)
{
  return mode >= 0 && (mode & 31) <= 4 ? mode & 31 : 0;
}

// A SPLINE's data in its own coordinates.
constexpr int kMaxSplineDegree = 11;
struct SplineData
{
  int degree = 0;
  std::vector<double> knots;
  std::vector<Point> control;
  std::vector<double> weights; // none, or one per control point
  std::vector<Point> fit;
};
// Thrown by SplinePoints when the curve needs more than its limit of points.
struct SplineTooLong
{
};
// Points along the spline: with control points, the B-spline of their
// knots (rational with weights), evenly in each knot span; without them, a
// Catmull-Rom curve through the fit points. Empty when the data do not make
// a curve (a degree outside 1..11, a knot count other than control points +
// degree + 1, decreasing or non-finite knots, weights not positive).
std::vector<Point> SplinePoints(const SplineData &spline, size_t limit);

// World box of a kLabel record's geometry.
Box LabelBox(const double *geometry);

} // namespace zulan

#endif
