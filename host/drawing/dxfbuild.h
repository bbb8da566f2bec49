// The parts the DXF loader builds a document with, and what they share: the
// kinds of entity, what a block's contents inherit from what places them,
// and the rule that what a block's entity makes is made once and kept.
// dxfloader.cpp walks the drawing and makes the records; the other parts
// answer it: dxftables.cpp, dxfstyle.cpp, dxfshapes.cpp, dxflabels.cpp and
// dxfcost.cpp.
#ifndef ZULAN_DRAWING_DXFBUILD_H
#define ZULAN_DRAWING_DXFBUILD_H

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drawing.h"
#include "drawinginternal.h"
#include "dxfrecords.h"
#include "dxfscan.h"
#include "mtextlayouts.h"

class dimeBlock;
class dimeEntity;
class dimeEntitiesSection;
class dimeInsert;
class dimeModel;
class dimeText;

namespace zulan
{

// Group 370 line weights, hundredths of a millimetre, and what stands in for
// one.
constexpr int WeightByLayer = -1;
constexpr int WeightByBlock = -2;
constexpr int DefaultWeight = 25;  // what DEFAULT (-3) means without $LWDEFAULT
constexpr int MaxWeight = 211;

[[noreturn]] void TooDeep(const std::string &path, const char *blockName);
[[noreturn]] void TooManyVisits(const std::string &path);

// The entities the loader tells apart; everything else is Other and draws
// nothing (viewports, meshes).
enum class EntityKind
{
  Line,
  Circle,
  Arc,
  Ellipse,
  LwPolyline,
  Polyline,
  Spline,
  Point,
  Face,  // SOLID and TRACE
  Face3D,
  Text,
  MText,
  AttDef,
  Wipeout,
  Hatch,
  Insert,
  Dimension,
  Leader,
  Table,  // ACAD_TABLE
  Other
};

EntityKind KindOf(const char *entityName);

// Deleted and paper-space entities are no part of the drawing's model.
bool IsModelEntity(const dimeEntity *entity);

// The block an INSERT, a DIMENSION or an ACAD_TABLE places (a dimension's
// picture is an anonymous block in world coordinates, a table's one placed
// by TablePlacement); null for anything else or a missing block.
dimeBlock *PlacedBlock(dimeModel &model, dimeEntity *entity, EntityKind kind);

// Columns and rows of a MINSERT (1 and 1 for a plain INSERT); the cells.
int ArrayCells(const std::string &path, const dimeInsert *insert, int *columns = nullptr, int *rows = nullptr);

// The attributes the scan collected for an INSERT (its group 90 numbers
// them); none when the scan gave it no number.
const Attribute *InsertAttributes(const DxfScan &scan, const dimeInsert *insert, size_t *count);

// What a block's contents take from what places them.
struct Context
{
  Affine toWorld;        // block coordinates to world
  int layer;             // layer that layer-0 contents take, -1 outside blocks
  int aci;               // colour that BYBLOCK contents take
  int weight;            // line weight that BYBLOCK contents take
  int depth;             // of block nesting, 0 for the drawing's own entities
  std::string lineType;  // line type that BYBLOCK contents take
};

// What is made for an entity of a block: made once and kept, since every
// placement of the block shows the same; outside blocks made afresh, into
// one spare. make(bool kept) makes it, told which.
template <typename T> class BlockCache
{
public:
  template <typename Make> const T &Get(const void *key, bool withinBlock, Make make)
  {
    if (!withinBlock)
    {
      spare = make(false);
      return spare;
    }
    auto found = kept.find(key);
    if (found != kept.end())
      return found->second;
    T made = make(true);
    return kept.emplace(key, std::move(made)).first->second;
  }

private:
  std::unordered_map<const void *, T> kept;
  T spare;
};

// AutoCAD's built-in arrowheads (the names of their blocks, "_Open30"
// and so on, without the underscore), and a block of the drawing's own.
enum class ArrowKind
{
  ClosedFilled,
  Closed,
  ClosedBlank,
  Dot,
  DotSmall,
  DotBlank,
  Small,  // a small blank dot
  ArchTick,
  Oblique,
  Open,
  Open30,
  Open90,
  Origin,
  Origin2,
  Integral,
  None,
  BoxFilled,
  BoxBlank,
  DatumFilled,
  DatumBlank,
  Block
};

struct ArrowStyle
{
  ArrowKind kind = ArrowKind::ClosedFilled;
  std::string block;  // the block drawn for ArrowKind::Block
};

// Dimension variables, the header's or a DIMSTYLE entry's, in drawing units
// before $DIMSCALE.
struct DimensionStyle
{
  double arrow = 0.18;              // $DIMASZ
  double extensionOffset = 0.0625;  // $DIMEXO: gap between the object and an extension line
  double extensionBeyond = 0.18;    // $DIMEXE: extension past the dimension line
  double textHeight = 0.18;         // $DIMTXT
  double gap = 0.09;                // $DIMGAP: between text and the line it stands on
  double scale = 1;                 // $DIMSCALE
  double tickSize = 0;              // $DIMTSZ: ticks of this size instead of arrowheads when positive
  double lineBeyond = 0;            // $DIMDLE: the dimension line past the extension lines, with ticks
  double lengthFactor = 1;          // $DIMLFAC: lengths are measured times this
  int decimals = 2;                 // $DIMDEC
  int angleDecimals = 0;            // $DIMADEC
  int zeros = 0;                    // $DIMZIN: 4 leading zeros dropped, 8 trailing ones
  int angleZeros = 0;               // $DIMAZIN: 1 leading, 2 trailing
  char separator = '.';             // $DIMDSEP: the decimal separator
  bool textAbove = false;           // $DIMTAD not 0: text stands off the line, not across it
  bool textBelow = false;           // $DIMTAD 4: below it
  bool separateArrows = false;      // $DIMSAH: the first and second arrowheads as DIMBLK1 and 2 say
  bool extensionHidden[2] = {};     // $DIMSE1, $DIMSE2: the first or second extension line left out
  bool insideHorizontal = false;    // $DIMTIH: text between the extension lines stands level
  bool outsideHorizontal = false;   // $DIMTOH: and text outside them
  int lineColour = 0;               // $DIMCLRD: of dimension lines, leaders and arrowheads; 0 BYBLOCK
  int extensionColour = 0;          // $DIMCLRE: of extension lines
  int textColour = 0;               // $DIMCLRT: of the text
  ArrowStyle arrows[3];             // $DIMBLK, $DIMBLK1, $DIMBLK2
  ArrowStyle leaderArrow;           // $DIMLDRBLK
  // The arrowhead at a dimension's first (0) or second (1) end.
  const ArrowStyle &ArrowAt(int end) const { return separateArrows ? arrows[1 + end] : arrows[0]; }
};

// What one cell style of a TABLESTYLE gives its cells: the text's height
// and colour, the borders' colours and visibility by kind of border: top,
// horizontal inside, bottom, left, vertical inside, right.
struct CellLook
{
  double textHeight = 0;                                       // 140; 0 none
  int textAci = 0;                                             // 62: the cells' text colour
  int borderAci[6] = {0, 0, 0, 0, 0, 0};                       // 64-69; 0 BYBLOCK, 256 BYLAYER
  bool borderShown[6] = {true, true, true, true, true, true};  // 284-289
};

// What a TABLESTYLE object gives the tables drawn from their cells: which
// way the rows run, the margins, and a cell style for the data rows, the
// title row and the header row (in the order the object holds them).
struct TableLook
{
  enum CellKind
  {
    DataCells,
    TitleCells,
    HeaderCells
  };
  bool rowsUp = false;           // 70 = 1: rows run up from the insertion point
  double margins[2] = {-1, -1};  // 40, 41: across and up
  bool titleShown = true;        // 280 = 0: the first row is the title
  bool headerShown = true;       // 281 = 0: the row after it the column headers
  CellLook cells[3];             // by CellKind
};

// Header variables, line types and the dimension and table styles
// (dxftables.cpp).
struct DrawingTables
{
  DimensionStyle dimensions;
  int defaultWeight = DefaultWeight;                      // $LWDEFAULT: what DEFAULT means
  double unitsPerMillimetre = 1;                          // from $INSUNITS
  int unitsCode = -1;                                     // $INSUNITS as written, -1 when absent
  int pointMode = 0;                                      // $PDMODE
  double pointSize = 0;                                   // $PDSIZE
  double lineTypeScale = 1;                               // $LTSCALE
  std::map<std::string, std::vector<double>> lineTypes;   // LTYPE table, by upper-case name
  std::string version;                                    // $ACADVER
  std::string codePage;                                   // $DWGCODEPAGE
  bool hasLimits = false;                                 // $LIMMIN and $LIMMAX
  bool limitsChecked = false;                             // $LIMCHECK: the limits are marked
  bool wipeoutFrame = false;                              // $WIPEOUTFRAME: wipeouts show their frames
  double limits[4] = {0, 0, 0, 0};                        // min x, min y, max x, max y
  std::map<std::string, TableLook> tableStyles;           // TABLESTYLE objects, by upper-case handle
  std::map<std::string, DimensionStyle> dimensionStyles;  // DIMSTYLE table, by upper-case name
  std::map<std::string, std::string> blockNames;          // BLOCK_RECORD names by upper-case handle
  std::set<std::string> blocks;                           // the drawing's blocks, by upper-case name
  // The arrowhead of that name: AutoCAD's own (any case, with or without
  // the underscore; empty for the closed filled one), else the block of
  // that name when the drawing has it, else the closed filled one.
  ArrowStyle Arrow(const std::string &name) const;
  // The style a DIMENSION or LEADER names (3), else the header's, with the
  // entity's own overrides (its ACAD extended data, DSTYLE) over it.
  DimensionStyle DimensionStyleOf(const dimeEntity *entity) const;
  // A dimension variable by its DIMSTYLE group code; false for codes not
  // read or a value that makes no sense, which leave the style as it was.
  bool SetDimensionVariable(DimensionStyle *style, const RawRecord &value) const;
};

DrawingTables ReadTables(dimeModel &model, const DxfScan &scan);

// The document's layers by name, made as entities name them.
class LayerTable
{
public:
  LayerTable(const std::string &drawingPath, std::vector<Layer> &documentLayers, int defaultWeight)
    : path(drawingPath), layers(documentLayers), newLayerWeight(defaultWeight)
  {
  }
  int Index(const char *name);
  // For names libdime holds; see the definition.
  int IndexOfHeldName(const char *name);
  bool IsFrame(int layer) const { return frames[size_t(layer)] != 0; }
  const Layer &operator[](int layer) const { return layers[size_t(layer)]; }
  Layer &operator[](int layer) { return layers[size_t(layer)]; }

private:
  const std::string &path;
  std::vector<Layer> &layers;
  int newLayerWeight;
  std::map<std::string, int> byName;
  std::unordered_map<const char *, int> byHeldName;
  std::vector<char> frames;  // by layer: named FRAME
};

// The LAYER table's entries into layers.
void ReadLayers(dimeModel &model, LayerTable &layers);

struct Vector3
{
  double x, y, z;
};

Vector3 Cross(Vector3 p, Vector3 q);

// The object coordinate system's x and y axes for the extrusion n, by the
// arbitrary axis algorithm; n is made a unit vector. False when n is no
// direction.
bool ObjectAxes(Vector3 *n, Vector3 *ax, Vector3 *ay);

// How an entity's records look (dxfstyle.cpp).
struct RecordStyle
{
  int layer = 0;
  int aci = 7;
  int weight = 0;        // hundredths of a millimetre
  uint16_t dashes = 0;   // index in the document's dash patterns, 0 continuous
  std::string lineType;  // resolved, empty for continuous
  Affine toWorld;        // object coordinates to world
};

class StyleResolver
{
public:
  StyleResolver(const DrawingTables &drawingTables, LayerTable &layerTable,
                std::vector<std::vector<double>> &documentDashes)
    : tables(drawingTables), layers(layerTable), dashPatterns(documentDashes)
  {
  }
  RecordStyle Resolve(const dimeEntity *entity, const Context &context);
  // An attribute is text: it takes no dashes.
  RecordStyle Resolve(const Attribute &attribute, const Context &owner);
  // What the contents of a block placed by something of this style take.
  static Context Inside(const RecordStyle &style, const Affine &toWorld, int depth);

  // An entity's own line weight (370), line type (6), its scale (48) and
  // true colour (420, 0x00RRGGBB; -1 without).
  struct OwnStyle
  {
    int trueColour = -1;
    int weight = WeightByLayer;
    std::string lineType = "BYLAYER";
    double lineTypeScale = 1;
  };

private:
  int PlacedLayer(const char *name, const Context &context);
  int Colour(int colour, int trueColour, int layer, const Context &context) const;
  int Weight(int weight, int layer, const Context &context) const;
  std::string LineType(const std::string &own, int layer, const Context &context) const;
  uint16_t Dashes(const std::string &lineType, double entityScale, const Affine &toWorld);

  const DrawingTables &tables;
  LayerTable &layers;
  std::vector<std::vector<double>> &dashPatterns;
  std::map<std::vector<double>, uint16_t> patternIndex;
  BlockCache<OwnStyle> ownStyles;  // read once for a block's entities
};

// Local geometry of each kind of entity (dxfshapes.cpp): in the entity's own
// coordinates, made once for a block's entities. Points are bounded by what
// the document may still take, kept ones by PointLimit together.
struct LocalConic
{
  Point centre, u, v;  // centre + u·cos t + v·sin t
  double t0, t1;
};

class EntityShapes
{
public:
  EntityShapes(const std::string &drawingPath, const DxfScan &drawingScan, const std::vector<Point> &documentPoints,
               size_t budget)
    : path(drawingPath), scan(drawingScan), madePoints(documentPoints), memoryBudget(budget)
  {
  }
  static LocalConic Conic(dimeEntity *entity, EntityKind kind);
  static bool MakesPoints(EntityKind kind);
  static bool IsClosed(dimeEntity *entity, EntityKind kind);
  // The points of a path or filled entity; none for others or ones that
  // draw nothing.
  const std::vector<Point> &Points(dimeEntity *entity, EntityKind kind, bool withinBlock);
  // The band of a polyline with widths; empty without widths.
  const std::vector<Point> &WideRings(dimeEntity *entity, EntityKind kind, bool withinBlock);
  // A pattern hatch's drawn pieces; none for a solid fill.
  const std::vector<PatternPiece> &HatchPieces(dimeEntity *entity, bool withinBlock);

private:
  struct Vertex
  {
    Point at;
    double bulge;
    double startWidth, endWidth;
  };
  std::vector<Vertex> Vertices(dimeEntity *entity, EntityKind kind, bool *closed) const;
  std::vector<Point> MakePoints(dimeEntity *entity, EntityKind kind, size_t room) const;
  std::vector<Point> MakeWideRings(dimeEntity *entity, EntityKind kind, size_t room) const;
  std::vector<PatternPiece> MakeHatchPieces(dimeEntity *entity);
  size_t Room(bool kept) const;

  const std::string &path;
  const DxfScan &scan;
  const std::vector<Point> &madePoints;
  const size_t memoryBudget;  // bytes, MemoryBudget
  BlockCache<std::vector<Point>> pointCache;
  BlockCache<std::vector<Point>> wideRings;
  BlockCache<std::vector<PatternPiece>> pieceCache;
  size_t keptPoints = 0;
  size_t keptPieces = 0;
  double patternWork = MaxPatternWork;  // what the drawing's pattern hatches may still do
};

// What a LEADER, or a DIMENSION without its block, draws, in world
// coordinates of its block (dxfdimension.cpp).
struct AnnotationNote
{
  Point at;              // the middle of the text, unless attached otherwise
  double height;         // capital height
  double radians;        // direction of the baseline
  std::string measured;  // the measurement, UTF-8
  std::string raw;       // group 1 as in the file: replaces it, "<>" standing for it
  int attachment = 5;    // which point of its box `at` is, 1-9 as MTEXT's 71
  int aci = 0;           // its own colour, 0 the entity's (BYBLOCK), 256 its layer's
};

// An arrowhead drawn by a block of the drawing: its tip the block's base
// point, its direction the block's x axis, scaled by the arrow size.
struct AnnotationBlock
{
  std::string name;
  Point at;
  double radians;
  double scale;
  int aci = 0;  // as AnnotationNote::aci
};

struct Annotation
{
  std::vector<std::vector<Point>> lines;   // open paths
  std::vector<int> lineAci;                // by line when not all the entity's colour, as AnnotationNote::aci
  std::vector<std::vector<Point>> arrows;  // filled polygons
  std::vector<int> arrowAci;               // by arrow, as lineAci
  std::vector<AnnotationNote> notes;
  std::vector<AnnotationBlock> blocks;
};

// The arrowhead of that kind, its tip at `tip`, pointing along `direction`
// (a unit vector), `size` long (dxfarrows.cpp).
void AddArrow(Annotation *a, const ArrowStyle &arrow, Point tip, Point direction, double size);
// How far short of the tip a line to a blank arrowhead stops, so the
// arrowhead stays empty; in arrow sizes.
double ArrowSetback(ArrowKind kind);
// Strokes across the line's end (oblique, ticks) and none: the dimension
// line runs on past them by DIMDLE.
bool IsStrokeArrow(ArrowKind kind);

Annotation LeaderAnnotation(dimeEntity *leader, const DimensionStyle &style);
// Linear, aligned, angular, diameter, radius and ordinate dimensions; the
// decoder gives the text's width, which the dimension line is broken for.
Annotation DimensionAnnotation(dimeEntity *dimension, const DimensionStyle &style, const DxfTextDecoder &decoder);
// A note's text in UTF-8: its own (group 1, "<>" standing for the
// measurement) or the measurement.
std::string NoteText(const AnnotationNote &note, const DxfTextDecoder &decoder);

// An ACAD_TABLE's block coordinates to its parent's: its insertion point
// (10/20) and direction (11/21) (dxftable.cpp).
Affine TablePlacement(dimeEntity *table);
// A table without its block, from its cells: each cell's borders and its
// text where its alignment says, as its table style (342) and its own
// overrides say.
Annotation TableAnnotation(dimeEntity *table, const std::map<std::string, TableLook> &styles);
// The TABLESTYLE objects the scan kept.
std::map<std::string, TableLook> ReadTableStyles(const DxfScan &scan);

// A line of text in object coordinates, its string in the document once
// (dxflabels.cpp).
struct LocalLabel
{
  Point origin;    // of the baseline
  Point along;     // one em along the text, times the width factor
  Point up;        // one em up
  double advance;  // in ems
  uint32_t text;   // index in the document's strings
  int aci;         // its own colour, or MTextEntityColour
};

// An MTEXT's lines of text and the background boxes behind its columns.
struct MTextPicture
{
  std::vector<LocalLabel> labels;
  std::vector<std::vector<Point>> backgrounds;  // rings in object coordinates
  int backgroundAci = 0;                        // their colour; 0 the drawing's background
  bool filled = false;
  bool framed = false;  // their outlines drawn
};

class LabelMaker
{
public:
  LabelMaker(const std::string &drawingPath, const DrawingTables &tables, std::vector<std::string> &documentTexts)
    : path(drawingPath), decoder(tables.version, tables.codePage), texts(documentTexts)
  {
  }
  const std::vector<LocalLabel> &Text(dimeText *text, bool withinBlock);
  const MTextPicture &MText(dimeEntity *entity, bool withinBlock);
  const std::vector<LocalLabel> &Attribute(const zulan::Attribute &attribute, bool withinBlock);
  // An attribute definition's tag (2), drawn like TEXT.
  const std::vector<LocalLabel> &AttDefTag(dimeEntity *entity);
  // A dimension's text, centred on its point; made afresh each time.
  std::vector<LocalLabel> Note(const AnnotationNote &note);
  const DxfTextDecoder &Decoder() const { return decoder; }

private:
  struct TextLine;
  void LineLabel(const TextLine &line, std::vector<LocalLabel> *out);
  void MakeLabel(Point anchor, double emSize, double widthFactor, double radians, const std::string &text,
                 double advance, double alongShare, double upEms, int aci, std::vector<LocalLabel> *out);
  MTextPicture MTextLabels(dimeEntity *entity);

  const std::string &path;
  DxfTextDecoder decoder;
  std::vector<std::string> &texts;
  BlockCache<std::vector<LocalLabel>> labels;
  BlockCache<MTextPicture> mtexts;
  MTextLayouts layouts;
};

// Throws, before anything is expanded, when the drawing's entities would
// expand to more than MaxVisits or PointLimit, or to more records and points
// than the memory budget holds (dxfcost.cpp).
// A block's points are made and kept as they are counted.
void CheckExpansion(const std::string &path, dimeModel &model, const DxfScan &scan, EntityShapes &shapes,
                    dimeEntitiesSection *entities, size_t budget);

}  // namespace zulan

#endif
