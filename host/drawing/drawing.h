// The replacement host's drawings: DXF files loaded into flat entity records
// the module can read, and a rasteriser that draws those records into a
// caller-owned 32-bit B,G,R,x pixel buffer through a world-to-pixel mapping.
// INSERTs are expanded at load time, so every record is a primitive in world
// coordinates with its effective layer and colour already resolved.
#ifndef ZULAN_DRAWING_DRAWING_H
#define ZULAN_DRAWING_DRAWING_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace zulan
{

// Type codes at byte 4 of an entity record. The module treats 18 and 29
// specially: a frame is drawn even on a hidden layer; a limits marker counts
// for the extents even on a hidden layer and draws nothing.
enum EntityType : uint8_t
{
  TypeLine = 1,
  TypeCircle = 2,
  TypeArc = 3,
  TypeEllipse = 4,
  TypePolyline = 5,  // LWPOLYLINE and POLYLINE, bulges turned into arc points
  TypePoint = 6,
  TypeSolid = 7,    // SOLID and TRACE
  TypeText = 8,     // TEXT and the first line of MTEXT
  TypeFill = 9,     // solid-filled HATCH
  TypeFrame = 18,   // anything on a layer named FRAME
  TypeLimits = 29,  // $LIMMIN..$LIMMAX when $LIMCHECK is on
};

// How the geometry of a record is stored; independent of the type code so a
// frame can be any shape.
enum class Shape : uint8_t
{
  None,     // geometry[0..3] = box (min x, min y, max x, max y), not drawn
  Segment,  // geometry[0..3] = x1, y1, x2, y2
  Conic,    // centre (0,1) + u (2,3)·cos t + v (4,5)·sin t, t from [6] to [7]
  Path,     // points; flags & Closed joins the last to the first
  Polygon,  // filled; points, rings separated by a NaN point, even-odd rule
            // (both: geometry[0..3] = the points' box, as None's, made with
            // them, since every strip of an export asks for it)
  Dot,      // geometry[0..1]
  Label,    // baseline origin (0,1), em vectors along (2,3) and up (4,5),
            // advance width in ems [6]; the string is text
};

enum EntityFlags : uint8_t
{
  Closed = 1,
  Nonzero = 2,  // Shape::Polygon: filled by the nonzero rule (bands of wide polylines)
};

struct Point
{
  double x;
  double y;
};

// Points as vectors, for the line styles and the dimensions.
inline Point Plus(Point a, Point b)
{
  return {a.x + b.x, a.y + b.y};
}
inline Point Minus(Point a, Point b)
{
  return {a.x - b.x, a.y - b.y};
}
inline Point Times(Point a, double k)
{
  return {a.x * k, a.y * k};
}

// One host entity. The module reads only the type code (byte 4) and the
// layer (signed 16 bits at byte 12); the rest is the host's own.
struct Entity
{
  uint32_t serial;  // position in the drawing's list
  uint8_t type;     // EntityType
  Shape shape;
  uint8_t colorIndex;   // palette index it is drawn with
  uint8_t flags;        // EntityFlags
  int16_t aci;          // resolved DXF colour, 1..255
  int16_t lineWeight;   // resolved, hundredths of a millimetre; 0 the thinnest
  int16_t layer;        // index into Document's layers
  uint16_t dashes;      // line type: index into Document::DashPatterns(), 0 continuous
  uint32_t firstPoint;  // Shape::Path, Shape::Polygon: range in Document points
  uint32_t pointCount;
  uint32_t text;  // Shape::Label: index of the string
  uint32_t reserved3;
  double geometry[8];  // world units, see Shape
};
static_assert(offsetof(Entity, type) == 4, "type code at byte 4");
static_assert(offsetof(Entity, layer) == 12, "layer at byte 12");

struct Layer
{
  std::string name;
  int16_t aci;           // colour from the LAYER table, always positive
  bool off;              // colour was negative
  bool frozen;           // flag 1 in the LAYER table
  int16_t lineWeight;    // hundredths of a millimetre (group 370), 25 by default
  std::string lineType;  // LTYPE name (group 6), upper case; empty for continuous
};

// Axis-aligned box in world units; empty until something is added.
struct Box
{
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  bool IsEmpty() const { return minX > maxX || minY > maxY; }
  void Add(double x, double y);
  void Add(const Box &other);
};

// The record GetHeaderAdr hands out. Byte 28 is the background colour index
// the module reads and, for black-and-white output, overwrites.
struct DrawingHeader
{
  char signature[4];  // "ZDWG"
  uint32_t entityCount;
  uint32_t layerCount;
  float extMinX, extMinY;  // extents of what the module would capture
  float extMaxX, extMaxY;
  int16_t backgroundColor;  // palette index, 15 (white) when loaded
  uint16_t reserved;
  float limMinX, limMinY;  // $LIMMIN/$LIMMAX, zero when absent
  float limMaxX, limMaxY;
};
static_assert(offsetof(DrawingHeader, backgroundColor) == 28, "background colour index at byte 28");

class Document
{
public:
  // Thrown by Load; what() names the file and the problem.
  class LoadError : public std::runtime_error
  {
  public:
    using std::runtime_error::runtime_error;
  };

  // Reads an ASCII DXF file. Throws LoadError for a missing, empty,
  // binary, truncated or malformed file.
  static std::unique_ptr<Document> Load(const std::string &path);

  const std::vector<Entity> &Entities() const { return entities; }
  const std::vector<Layer> &Layers() const { return layers; }
  // Unknown layer numbers count as hidden, so nothing unknown gets drawn.
  bool IsLayerHidden(int layer) const;
  // The points of a Shape::Path or Shape::Polygon record; count 0 for anything else.
  const Point *Points(const Entity &entity, uint32_t *count) const;
  const std::string &Text(const Entity &entity) const;
  DrawingHeader &Header() { return header; }
  // Extents as the module would gather them: visible layers plus types 18, 29.
  const Box &Extents() const { return extents; }
  // World units in one millimetre of paper, from $INSUNITS; 1 when unitless.
  double UnitsPerMillimetre() const { return unitsPerMillimetre; }
  // $INSUNITS as written (0 unitless), -1 when the header has none.
  int UnitsCode() const { return unitsCode; }
  // How POINTs are drawn: $PDMODE, and the symbol's size in world units
  // ($PDSIZE, or a share of the extents' height when it is 0 or negative).
  int PointMode() const { return pointMode; }
  double PointSize() const { return pointSize; }
  // A record's dash lengths in world units (positive drawn, negative a gap,
  // 0 a dot); empty for a continuous line.
  const std::vector<double> &Dashes(const Entity &entity) const;
  // What the loader left out of a drawing it still loaded, one line each,
  // "<path>: <what>", for the host to print.
  const std::vector<std::string> &Warnings() const { return warnings; }

private:
  friend class DocumentBuilder;
  Document() = default;
  std::vector<Entity> entities;
  std::vector<Layer> layers;
  std::vector<Point> points;
  std::vector<std::string> texts;
  DrawingHeader header{};
  Box extents;
  double unitsPerMillimetre = 1;
  int unitsCode = -1;
  int pointMode = 0;
  double pointSize = 0;
  std::vector<std::vector<double>> dashPatterns{{}};  // 0: continuous
  std::vector<std::string> warnings;
};

// World extents of one entity (empty for an empty text).
Box EntityExtents(const Document &document, const Entity &entity);

// The palette: 256 entries, Windows COLORREFs 0x00BBGGRR. Entry 0 is black,
// entry 15 white;
// DXF colour n uses entry n except 7 (black on white paper) -> 0 and
// 15 -> 7 (so entry 15 stays free for the white background).
typedef uint32_t Palette[256];
void SetDefaultPalette(Palette &palette);
uint8_t PaletteIndexForAci(int aci);
constexpr uint8_t BlackIndex = 0;
constexpr uint8_t WhiteIndex = 15;

// World window onto a pixel rectangle, linearly: (x1, y2) lands on (xa, ya)
// and (x2, y1) on (xb, yb), so y grows upwards in the world and downwards in
// pixels. As in GDI, integer pixel coordinates are pixel centres: pixel
// (c, r) covers [c - 0.5, c + 0.5) x [r - 0.5, r + 0.5). A window of zero
// width or height borrows the other axis' scale.
class ViewMapping
{
public:
  ViewMapping() = default;
  ViewMapping(double x1, double y1, double x2, double y2, double xa, double ya, double xb, double yb);
  Point ToPixel(double x, double y) const;
  // Maps a world vector (no translation).
  Point ToPixelVector(double dx, double dy) const;
  // Pixels per world unit (the geometric mean of the two axes' scales).
  double Scale() const;

private:
  double x1 = 0, y2 = 0, xa = 0, ya = 0, sx = 1, sy = 1;
};

// A drawing target on a caller-owned buffer of width x height pixels, four
// bytes B, G, R, x each, rows top-down with no padding. The buffer must
// outlive the canvas. The fourth byte is left 0 once Flush (or the
// destructor) has run.
class Canvas
{
public:
  Canvas(uint8_t *pixels, int width, int height);
  ~Canvas();
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;

  int Width() const { return width; }
  // Draws every line one pixel wide whatever its weight.
  void SetHairlines(bool on) { hairlines = on; }
  // Smooths lines, fills and text (off by default: exports keep the
  // palette's colours only).
  void SetAntialias(bool on);
  int Height() const { return height; }
  // Draws one entity in palette[entity.colorIndex].
  void Draw(const Document &document, const Entity &entity, const ViewMapping &view, const Palette &palette);
  // Fills pixels between two corners, the larger coordinates exclusive,
  // clipped to the buffer; corners may come in any order.
  void FillRect(int xa, int ya, int xb, int yb, uint32_t color);
  // Clears the fourth byte cairo sets, in the rows drawn since last time.
  void Flush();

private:
  void ResetContext();
  void MarkArea(double left, double top, double right, double bottom);
  void BeginDirectWrites();
  void PutLine(int x0, int y0, int x1, int y1, bool withEnd, uint32_t color);
  void PutClippedLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t color);
  void StrokePoints(const std::vector<Point> &device, bool closed, uint32_t color);
  void StrokeWide(const std::vector<Point> &device, bool closed, double width);
  void AppendWidePath(const std::vector<Point> &device, bool closed, double width);
  void SetWideStroke(double width);
  class DashPieces;
  void StrokeDashed(const std::vector<Point> &device, bool closed, double width, uint32_t color,
                    const std::vector<double> &pattern);
  // Continuous or dashed (dashes in world units, scale pixels per unit).
  void Stroke(const std::vector<Point> &device, bool closed, double width, uint32_t color,
              const std::vector<double> &dashes, double scale);
  double LineWidth(const Document &document, const Entity &entity, const ViewMapping &view) const;
  void FillRings(const std::vector<Point> &device, bool nonzero);
  void DrawConic(const double *geometry, const ViewMapping &view, double width, uint32_t color,
                 const std::vector<double> &dashes);
  void DrawPointSymbol(const Document &document, const double *geometry, const ViewMapping &view, uint32_t color);
  void DrawLabel(const double *geometry, const std::string &text, const ViewMapping &view);
  uint8_t *pixels;
  int width;
  int height;
  cairo_surface_t *surface = nullptr;
  cairo_t *cairo = nullptr;
  int dirtyTop, dirtyBottom;  // the pixels cairo may have drawn since Flush
  int dirtyLeft, dirtyRight;
  bool cairoPending = false;  // cairo drew since the last direct write
  bool hairlines = false;
  bool antialias = false;
};

}  // namespace zulan

#endif
