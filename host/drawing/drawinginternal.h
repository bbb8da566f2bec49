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
constexpr double CapHeightEms = 0.729;
constexpr double LabelAscentEms = 0.76;   // tallest letters above the baseline
constexpr double LabelDescentEms = 0.24;  // descenders below it

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
    Utf8,
    CodePage,
    Guess
  };
  void AppendCodePage(const unsigned char *bytes, size_t count, std::string *out) const;
  Mode mode;
  int codePage = 1252;
  void *converter = nullptr;  // iconv_t
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
constexpr int MaxSplineDegree = 11;
struct SplineData
{
  int degree = 0;
  std::vector<double> knots;
  std::vector<Point> control;
  std::vector<double> weights;  // none, or one per control point
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

// Polylines with widths: pieces from a to b, wa wide at a and wb at b.
struct WideSegment
{
  Point a, b;
  double wa, wb;
};
// Thrown by WideOutline when the outline needs more than its room.
struct WideOutlineTooLong
{
};
// The filled outline of a polyline with widths: a band for each piece,
// joined where pieces meet (mitred, bevelled when the corner reaches too
// far), ends square. Rings separated by NaN points, all counter-clockwise,
// for the nonzero rule. Pieces without length or width are left out.
std::vector<Point> WideOutline(const std::vector<WideSegment> &path, bool closed, size_t room);

// Line types: dash lengths (positive drawn, negative a gap, 0 a dot).
constexpr size_t MaxDashElements = 64;
// The pattern scaled, or empty for a continuous line: no elements, too many,
// nothing drawn, no gaps, not finite.
std::vector<double> DashPattern(const std::vector<double> &elements, double scale);

// Walks a path's dashes run by run, the pattern carried on across vertices.
class DashWalker
{
public:
  struct Sink
  {
    virtual ~Sink() = default;
    virtual void Dash(Point from, Point to) = 0;  // continues the dash drawn so far
    virtual void Gap() = 0;                       // ends it
    virtual void Dot(Point at) = 0;
  };
  explicit DashWalker(const std::vector<double> &dashes) : pattern(dashes) {}
  // Moves on along the pattern without drawing.
  void Skip(double distance);
  // The part of the segment a-b from distance `from` to `to` along it.
  void Walk(Point a, Point b, double from, double to, Sink &sink);

private:
  const std::vector<double> &pattern;
  size_t element = 0;
  double used = 0;  // of the current element
};

// Pattern hatches: the lines of each pattern family clipped to the hatch's
// boundary rings.

// One family of pattern lines as a HATCH stores it, already rotated and
// scaled: the lines through base + k·offset (k any integer) in the direction
// angle, in the hatch's own coordinates.
struct PatternLine
{
  double angle = 0;  // degrees
  Point base{0, 0};  // where line 0's dashes start
  Point offset{0, 0};
  std::vector<double> dashes;  // > 0 drawn, < 0 gap, 0 a dot; none: continuous
};

// One drawn piece; from == to is a dot.
struct PatternPiece
{
  Point from;
  Point to;
};

// What one hatch may make: drawn pieces, and steps of work (ring edges
// visited per family, lines and crossings). A real hatch makes a few
// thousand pieces; these keep a hostile one to a fraction of a second.
constexpr size_t MaxHatchPieces = 250000;
constexpr double MaxHatchWork = 4e7;
// And all of a drawing's pattern hatches together (about a second).
constexpr double MaxPatternWork = 4e8;

// Thrown by PatternPieces when the hatch needs more than its limits.
struct PatternTooLarge
{
};

// The pieces of the pattern lines inside rings (closed rings separated by a
// NaN point, the even-odd rule), dashed with each line's dashes anchored at
// its base point. Throws PatternTooLarge when they would be more than
// maxPieces or cost more than *work, which is reduced by what was done.
// Families whose lines coincide (offset along the lines) draw nothing.
std::vector<PatternPiece> PatternPieces(const std::vector<Point> &rings, const std::vector<PatternLine> &lines,
                                        size_t maxPieces, double *work);

struct Rect
{
  double x0, y0, x1, y1;
};

// MTEXT layout (mtext.cpp).
constexpr int MTextEntityColour = -1;  // a run in the entity's own colour
// One run of text of one height and colour on one line, relative to the
// insertion point: x along the text direction, y up from it to the run's
// baseline, in drawing units.
struct MTextRun
{
  std::string text;  // UTF-8
  double x;
  double y;
  double height;      // capital height
  int aci;            // 1..255 or MTextEntityColour
  double advanceEms;  // advance width in ems
};
struct MTextFormat
{
  double height = 0;   // group 40
  double width = 0;    // group 41: lines wrap at it when positive
  double spacing = 1;  // group 44: factor of the default line spacing
  int attachment = 1;  // group 71: 1-9, top/middle/bottom by left/centre/right
  // Columns: the text flows down each column to its height, then on into
  // the next, width + gutter to the right; the last takes what remains.
  // Without columns or a positive height, one column.
  int columnType = 0;  // 0 none, 1 static, 2 dynamic
  int columnCount = 0;
  double gutter = 0;
  std::vector<double> columnHeights;  // by column; the last one repeats
  bool reversed = false;              // the columns run right to left
};
// The ACI whose default palette colour is nearest to a COLORREF 0x00BBGGRR.
int NearestAci(uint32_t colorref);
// The same for a DXF true colour (groups 420-429, 0x00RRGGBB): the records
// carry palette colours only.
inline int NearestAciOfTrueColour(uint32_t rgb)
{
  return NearestAci((rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF));
}
// Reads the inline codes of MTEXT contents (decoded to UTF-8 already) and
// lays the paragraphs out. False when they make more than `limit` lines and
// runs; nothing for a height that is not positive. Frames, when given, gets
// each column's box (x0 < x1, y0 < y1), from the first line's capitals to
// the last baseline and the reference width across (the widest line's
// without one).
bool LayoutMText(const std::string &utf8, const MTextFormat &format, size_t limit, std::vector<MTextRun> *runs,
                 std::vector<Rect> *frames = nullptr);

// Cuts the segment a-b to the rectangle (Liang-Barsky); false when it misses.
bool ClipSegment(const Rect &r, Point *a, Point *b);
// Cuts a ring to the rectangle (Sutherland-Hodgman), one edge at a time.
std::vector<Point> ClipPolygon(const Rect &r, std::vector<Point> ring);

// World box of a Shape::Label record's geometry.
Box LabelBox(const double *geometry);

}  // namespace zulan

#endif
