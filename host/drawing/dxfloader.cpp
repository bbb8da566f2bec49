// DXF files into host entity records, read with libdime. The file is first
// scanned pair by pair (dxfscan.cpp), because libdime accepts truncations and
// malformed numbers and mishandles LWPOLYLINE vertices; libdime then reads
// the scanned text, and what it prints is folded into one message that names
// the file.
// INSERTs are expanded here: block contents on layer 0 take the insert's
// layer, BYBLOCK takes its colour, and geometry is transformed to world
// coordinates, conics as centre and axis vectors so that any scale is exact.
// The parts that read tables, resolve styles, make shapes and lay out text
// are in the files dxfbuild.h names.
#include <dime/Input.h>
#include <dime/Model.h>
#include <dime/entities/3DFace.h>
#include <dime/entities/Block.h>
#include <dime/entities/Insert.h>
#include <dime/entities/Line.h>
#include <dime/entities/Point.h>
#include <dime/entities/Text.h>
#include <dime/records/Record.h>
#include <dime/sections/EntitiesSection.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "dimeguard.h"
#include "drawing.h"
#include "dxfbuild.h"
#include "dxflimits.h"
#include "dxfscan.h"

namespace zulan
{

void TooDeep(const std::string &path, const char *blockName)
{
  ThrowLoadError(path, std::string("block \"") + (blockName ? blockName : "") + "\" is nested more than "
                         + std::to_string(MaxBlockDepth) + " deep (does it insert itself?)");
}

void TooManyVisits(const std::string &path)
{
  ThrowLoadError(path, "the drawing's block inserts expand to more than " + std::to_string(MaxVisits)
                         + " placements and entities");
}

bool IsModelEntity(const dimeEntity *entity)
{
  return entity && !entity->isDeleted() && !(entity->getEntityFlags() & FLAG_PAPERSPACE);
}

class DocumentBuilder
{
public:
  DocumentBuilder(const std::string &drawingPath, const DxfScan &drawingScan, dimeModel &drawingModel, Document &built)
    : path(drawingPath), scan(drawingScan), model(drawingModel), document(built), budget(MemoryBudget(path)),
      tables(ReadTables(model, scan)), layers(path, document.layers, tables.defaultWeight),
      styles(tables, layers, document.dashPatterns), shapes(path, scan, document.points, budget),
      labels(path, tables, document.texts)
  {
  }

  void Build()
  {
    ReadLayers(model, layers);
    document.unitsPerMillimetre = tables.unitsPerMillimetre;
    document.unitsCode = tables.unitsCode;
    document.pointMode = tables.pointMode;
    dimeSection *section = model.findSection("ENTITIES");
    if (section && section->typeId() == dimeBase::dimeEntitiesSectionType)
    {
      auto *entities = static_cast<dimeEntitiesSection *>(section);
      const Context top{Affine(), -1, 7, tables.defaultWeight, 0, ""};
      try
      {
        CheckExpansion(path, model, scan, shapes, entities, budget);
        for (int i = 0; i < entities->getNumEntities(); ++i)
          AddEntity(entities->getEntity(i), top);
      }
      catch (const TooManyPoints &)
      {
        ThrowLoadError(path, "the drawing expands to more than " + std::to_string(PointLimit(budget))
                               + " points in polylines, solids and fills");
      }
      if (needed > double(budget))
        OverMemoryBudget(path, needed, budget);
    }
    AddLimits();
    Finish();
  }

private:
  static void SetColour(Entity &record, int aci)
  {
    record.aci = int16_t(aci);
    record.colorIndex = PaletteIndexForAci(aci);
  }

  // Past the memory budget a record is counted and not kept (see needed).
  Entity &NewRecord(EntityType type, Shape shape, const RecordStyle &style)
  {
    needed += sizeof(Entity);
    const uint32_t serial = uint32_t(document.entities.size());
    Entity &record = needed > double(budget) ? uncounted : document.entities.emplace_back();
    record = Entity{};
    record.serial = serial;
    record.type = layers.IsFrame(style.layer) ? TypeFrame : type;
    record.shape = shape;
    record.layer = int16_t(style.layer);
    SetColour(record, style.aci);
    record.lineWeight = int16_t(style.weight);
    record.dashes = style.dashes;
    return record;
  }

  void AddGeometry(EntityType type, Shape shape, const RecordStyle &style, std::initializer_list<double> geometry)
  {
    Entity &record = NewRecord(type, shape, style);
    std::copy(geometry.begin(), geometry.end(), record.geometry);
  }

  void AddPoints(EntityType type, Shape shape, const RecordStyle &style, const std::vector<Point> &local, uint8_t flags)
  {
    if (local.empty())
      return;
    if (local.size() > PointLimit(budget) - pointsMade)
      throw TooManyPoints();
    pointsMade += local.size();
    needed += double(local.size() * sizeof(Point));
    Entity &record = NewRecord(type, shape, style);
    if (needed > double(budget))
      return;
    record.firstPoint = uint32_t(document.points.size());
    record.pointCount = uint32_t(local.size());
    record.flags = flags;
    Box box;
    for (const Point &p : local)
    {
      const Point world = std::isnan(p.x) ? p : style.toWorld.Apply(p.x, p.y);
      document.points.push_back(world);
      box.Add(world.x, world.y);
    }
    const double edges[4] = {box.minX, box.minY, box.maxX, box.maxY};
    std::copy(edges, edges + 4, record.geometry);
  }

  void AddConic(EntityType type, const RecordStyle &style, const LocalConic &conic)
  {
    const Affine &m = style.toWorld;
    const Point c = m.Apply(conic.centre.x, conic.centre.y);
    const Point u = m.ApplyVector(conic.u.x, conic.u.y), v = m.ApplyVector(conic.v.x, conic.v.y);
    AddGeometry(type, Shape::Conic, style, {c.x, c.y, u.x, u.y, v.x, v.y, conic.t0, conic.t1});
  }

  void PlaceLabels(const std::vector<LocalLabel> &placed, const RecordStyle &style)
  {
    const Affine &m = style.toWorld;
    for (const LocalLabel &label : placed)
    {
      const Point o = m.Apply(label.origin.x, label.origin.y);
      const Point u = m.ApplyVector(label.along.x, label.along.y);
      const Point v = m.ApplyVector(label.up.x, label.up.y);
      Entity &record = NewRecord(TypeText, Shape::Label, style);
      if (label.aci != MTextEntityColour)
        SetColour(record, label.aci);
      const double g[7] = {o.x, o.y, u.x, u.y, v.x, v.y, label.advance};
      std::copy(g, g + 7, record.geometry);
      record.text = label.text;
    }
  }

  void AddPatternPieces(const RecordStyle &style, const std::vector<PatternPiece> &pieces)
  {
    RecordStyle undashed = style;
    undashed.dashes = 0;  // the pattern's own dashes are drawn already
    for (const PatternPiece &piece : pieces)
    {
      const Point a = style.toWorld.Apply(piece.from.x, piece.from.y);
      const Point b = style.toWorld.Apply(piece.to.x, piece.to.y);
      AddGeometry(TypeFill, Shape::Segment, undashed, {a.x, a.y, b.x, b.y});
    }
  }

  void AddEntity(dimeEntity *entity, const Context &context)
  {
    CountVisit();
    if (!IsModelEntity(entity))
      return;  // paper space is not part of the drawing's model
    const bool withinBlock = context.depth > 0;
    const RecordStyle style = styles.Resolve(entity, context);
    const Affine &m = style.toWorld;
    const EntityKind kind = KindOf(entity->getEntityName());
    switch (kind)
    {
    case EntityKind::Line:
    {
      auto *line = static_cast<dimeLine *>(entity);
      const Point p = m.Apply(line->getCoords(0).x, line->getCoords(0).y);
      const Point q = m.Apply(line->getCoords(1).x, line->getCoords(1).y);
      AddGeometry(TypeLine, Shape::Segment, style, {p.x, p.y, q.x, q.y});
      break;
    }
    case EntityKind::Circle:
      AddConic(TypeCircle, style, EntityShapes::Conic(entity, kind));
      break;
    case EntityKind::Arc:
      AddConic(TypeArc, style, EntityShapes::Conic(entity, kind));
      break;
    case EntityKind::Ellipse:
      AddConic(TypeEllipse, style, EntityShapes::Conic(entity, kind));
      break;
    case EntityKind::LwPolyline:
    case EntityKind::Polyline:
    {
      const uint8_t closed = EntityShapes::IsClosed(entity, kind) ? Closed : 0;
      AddPoints(TypePolyline, Shape::Path, style, shapes.Points(entity, kind, withinBlock), closed);
      // Widths fill a band round the centre line, which stays drawn so that
      // a band thinner than a pixel still shows.
      AddPoints(TypePolyline, Shape::Polygon, style, shapes.WideRings(entity, kind, withinBlock), Nonzero);
      break;
    }
    case EntityKind::Spline:
      AddPoints(TypePolyline, Shape::Path, style, shapes.Points(entity, kind, withinBlock), 0);
      break;
    case EntityKind::Point:
    {
      const dimeVec3f &p = static_cast<dimePoint *>(entity)->getCoords();
      const Point w = m.Apply(p.x, p.y);
      AddGeometry(TypePoint, Shape::Dot, style, {w.x, w.y});
      break;
    }
    case EntityKind::Face:
      AddPoints(TypeSolid, Shape::Polygon, style, shapes.Points(entity, kind, withinBlock), Closed);
      break;
    case EntityKind::Wipeout:
    {
      // Background over what was drawn before it, and its frame when the
      // header shows frames.
      const std::vector<Point> &boundary = shapes.Points(entity, kind, withinBlock);
      const size_t first = document.entities.size();
      AddPoints(TypeFill, Shape::Polygon, style, boundary, Closed);
      if (document.entities.size() > first)
        document.entities.back().colorIndex = WhiteIndex;
      if (tables.wipeoutFrame)
        AddPoints(TypePolyline, Shape::Path, style, boundary, Closed);
      break;
    }
    case EntityKind::Face3D:
      AddFaceEdges(static_cast<dime3DFace *>(entity), style);
      break;
    case EntityKind::Text:
      PlaceLabels(labels.Text(static_cast<dimeText *>(entity), withinBlock), style);
      break;
    case EntityKind::MText:
      AddMText(labels.MText(entity, withinBlock), style);
      break;
    case EntityKind::AttDef:
      // Its tag shows where it stands in model space; a block's definitions
      // become the attributes of its inserts instead.
      if (!withinBlock)
        PlaceLabels(labels.AttDefTag(entity), style);
      break;
    case EntityKind::Hatch:
      AddPoints(TypeFill, Shape::Polygon, style, shapes.Points(entity, kind, withinBlock), Closed);
      AddPatternPieces(style, shapes.HatchPieces(entity, withinBlock));
      break;
    case EntityKind::Insert:
    case EntityKind::Dimension:
    case EntityKind::Table:
      // An insert on a layer that is off or frozen hides all it brings,
      // contents on their own layers too, as CAD programs show it. A frame
      // layer is drawn even when hidden, so its inserts are kept.
      if (document.IsLayerHidden(style.layer) && !layers.IsFrame(style.layer))
        break;
      if (kind == EntityKind::Insert)
        AddInsert(static_cast<dimeInsert *>(entity), style, context);
      else if (kind == EntityKind::Dimension)
        AddDimension(entity, style, context);
      else
        AddTable(entity, style, context);
      break;
    case EntityKind::Leader:
      AddArrowedAnnotation(style, context, annotations.Get(entity, withinBlock, [&](bool) {
        return LeaderAnnotation(entity, tables.DimensionStyleOf(entity));
      }));
      break;
    case EntityKind::Other:
      break;  // viewports: not drawn
    }
  }

  // Its visible edges seen from above; flag bits 1, 2, 4, 8 hide edges 1-4
  // (corner 1 to 2, ..., corner 4 back to 1). A triangle repeats its third
  // corner, so its fourth edge has no length.
  void AddFaceEdges(dime3DFace *face, const RecordStyle &style)
  {
    for (int edge = 0; edge < 4; ++edge)
    {
      const dimeVec3f &from = face->getVertex(edge), &to = face->getVertex((edge + 1) % 4);
      if ((face->getFlags() & (1 << edge)) || (from.x == to.x && from.y == to.y))
        continue;
      const Point p = style.toWorld.Apply(from.x, from.y), q = style.toWorld.Apply(to.x, to.y);
      AddGeometry(TypeLine, Shape::Segment, style, {p.x, p.y, q.x, q.y});
    }
  }

  void AddBlock(dimeBlock *block, const Context &inner)
  {
    for (int i = 0; i < block->getNumEntities(); ++i)
      AddEntity(block->getEntity(i), inner);
  }

  // The dimension's block is in world coordinates already.
  void AddDimension(dimeEntity *dimension, const RecordStyle &style, const Context &context)
  {
    dimeBlock *block = PlacedBlock(model, dimension, EntityKind::Dimension);
    if (!block)
    {
      // Drawn from its definition points instead, as dxflib-based programs
      // write it.
      const bool withinBlock = context.depth > 0;
      AddArrowedAnnotation(style, context, annotations.Get(dimension, withinBlock, [&](bool) {
        return DimensionAnnotation(dimension, tables.DimensionStyleOf(dimension), labels.Decoder());
      }));
      return;
    }
    if (context.depth >= MaxBlockDepth)
      TooDeep(path, block->getName());
    AddBlock(block, StyleResolver::Inside(style, context.toWorld, context.depth + 1));
  }

  // A leader's or dimension's picture, and the blocks its style draws its
  // arrowheads with, placed as inserts are: the block's base point at the
  // tip, turned and scaled by the arrowhead.
  void AddArrowedAnnotation(const RecordStyle &style, const Context &context, const Annotation &annotation)
  {
    AddAnnotation(style, annotation);
    for (const AnnotationBlock &arrow : annotation.blocks)
    {
      dimeBlock *block = model.findBlock(arrow.name.c_str());
      if (!block)
        continue;
      if (context.depth >= MaxBlockDepth)
        TooDeep(path, block->getName());
      const dimeVec3f &base = block->getBasePoint();
      const Affine placed = Compose(
        Compose(Translation(arrow.at.x, arrow.at.y), RotationScale(arrow.radians / Degrees, arrow.scale, arrow.scale)),
        Translation(-base.x, -base.y));
      CountVisit();
      const RecordStyle coloured = Coloured(style, arrow.aci);
      AddBlock(block, StyleResolver::Inside(coloured, Compose(style.toWorld, placed), context.depth + 1));
    }
  }

  // A table's picture is its anonymous block, placed at its insertion
  // point along its direction; without one, its cells' borders and text.
  void AddTable(dimeEntity *table, const RecordStyle &style, const Context &context)
  {
    dimeBlock *block = PlacedBlock(model, table, EntityKind::Table);
    if (!block)
    {
      AddAnnotation(style, annotations.Get(table, context.depth > 0,
                                           [&](bool) { return TableAnnotation(table, tables.tableStyles); }));
      return;
    }
    if (context.depth >= MaxBlockDepth)
      TooDeep(path, block->getName());
    CountVisit();
    const Affine placed = Compose(style.toWorld, TablePlacement(table));
    AddBlock(block, StyleResolver::Inside(style, placed, context.depth + 1));
  }

  // The background boxes (filled, then outlined), then the text over them.
  void AddMText(const MTextPicture &picture, const RecordStyle &style)
  {
    for (const std::vector<Point> &box : picture.backgrounds)
    {
      const size_t first = document.entities.size();
      if (picture.filled)
        AddPoints(TypeFill, Shape::Polygon, style, box, Closed);
      if (document.entities.size() > first)
      {
        SetColour(document.entities.back(), picture.backgroundAci);
        if (picture.backgroundAci == 0)
          document.entities.back().colorIndex = WhiteIndex;
      }
      if (picture.framed)
        AddPoints(TypePolyline, Shape::Path, style, box, Closed);
    }
    PlaceLabels(picture.labels, style);
  }

  // A part of an entity in a colour of its own: 1-255, or 256 its layer's;
  // 0 (BYBLOCK) and the rest the entity's.
  RecordStyle Coloured(const RecordStyle &style, int aci) const
  {
    RecordStyle coloured = style;
    if (aci >= 1 && aci <= 255)
      coloured.aci = aci;
    else if (aci == 256)
      coloured.aci = layers[style.layer].aci;
    return coloured;
  }

  void AddAnnotation(const RecordStyle &style, const Annotation &annotation)
  {
    for (size_t i = 0; i < annotation.lines.size(); ++i)
      AddPoints(TypePolyline, Shape::Path, Coloured(style, i < annotation.lineAci.size() ? annotation.lineAci[i] : 0),
                annotation.lines[i], 0);
    for (size_t i = 0; i < annotation.arrows.size(); ++i)
      AddPoints(TypeSolid, Shape::Polygon, Coloured(style, i < annotation.arrowAci.size() ? annotation.arrowAci[i] : 0),
                annotation.arrows[i], Closed);
    for (const AnnotationNote &note : annotation.notes)
      PlaceLabels(labels.Note(note), Coloured(style, note.aci));
  }

  void AddInsert(dimeInsert *insert, const RecordStyle &style, const Context &context)
  {
    dimeBlock *block = insert->getBlock();
    if (!block)
      return;  // a missing block draws nothing, as in CAD programs
    if (context.depth >= MaxBlockDepth)
      TooDeep(path, block->getName());
    int columns, rows;
    ArrayCells(path, insert, &columns, &rows);
    dimeParam param;
    const double columnSpacing = insert->getRecord(44, param) ? param.double_data : 0;
    const double rowSpacing = insert->getRecord(45, param) ? param.double_data : 0;
    const dimeVec3f &at = insert->getInsertionPoint();
    const dimeVec3f &scale = insert->getScale();
    const dimeVec3f &base = block->getBasePoint();
    const Affine rotation = RotationScale(insert->getRotAngle(), 1, 1);
    const Affine scaling = Compose(RotationScale(0, scale.x, scale.y), Translation(-base.x, -base.y));
    for (int r = 0; r < rows; ++r)
    {
      for (int c = 0; c < columns; ++c)
      {
        const Affine placed = Compose(Compose(Translation(at.x, at.y), rotation),
                                      Compose(Translation(c * columnSpacing, r * rowSpacing), scaling));
        CountVisit();
        AddBlock(block, StyleResolver::Inside(style, Compose(style.toWorld, placed), context.depth + 1));
      }
    }
    AddAttributes(insert, style, context);
  }

  // Drawn once per insert, MINSERT too. They are in the insert's parent's
  // coordinates; layer 0 and BYBLOCK take the insert's, as its block's
  // contents do.
  void AddAttributes(dimeInsert *insert, const RecordStyle &style, const Context &context)
  {
    const Context owner = StyleResolver::Inside(style, context.toWorld, context.depth + 1);
    size_t count;
    const Attribute *attributes = InsertAttributes(scan, insert, &count);
    for (size_t i = 0; i < count; ++i)
    {
      const Attribute &attribute = attributes[i];
      CountVisit();
      if (attribute.flags & 1)
        continue;  // invisible
      const RecordStyle own = styles.Resolve(attribute, owner);
      PlaceLabels(labels.Attribute(attribute, context.depth > 0), own);
    }
  }

  void CountVisit()
  {
    if (++visits > MaxVisits)
      TooManyVisits(path);
  }

  // The limits go to the header; with $LIMCHECK a record marks them.
  void AddLimits()
  {
    if (!tables.hasLimits)
      return;
    DrawingHeader &header = document.header;
    header.limMinX = tables.limits[0];
    header.limMinY = tables.limits[1];
    header.limMaxX = tables.limits[2];
    header.limMaxY = tables.limits[3];
    if (!tables.limitsChecked)
      return;
    const double *box = tables.limits;
    AddGeometry(TypeLimits, Shape::None, RecordStyle(), {box[0], box[1], box[2], box[3]});
  }

  void Finish()
  {
    auto counts = [&](const Entity &entity) {
      return !document.IsLayerHidden(entity.layer) || entity.type == TypeFrame || entity.type == TypeLimits;
    };
    for (const Entity &entity : document.entities)
    {
      if (counts(entity))
        document.extents.Add(EntityExtents(document, entity));
    }
    // A point symbol's size is absolute, or a share of the drawing's height
    // (5 % for 0): CAD programs take the share of the view's height, which
    // would make strips of one picture disagree. Symbols then join the
    // extents.
    const double pointSizeSetting = tables.pointSize;
    const double share = pointSizeSetting < 0 ? -pointSizeSetting / 100 : 0.05;
    const Box &box = document.extents;
    double height = 0;  // a flat drawing's width stands in
    if (!box.IsEmpty())
      height = box.maxY > box.minY ? box.maxY - box.minY : box.maxX - box.minX;
    document.pointSize = pointSizeSetting > 0 ? pointSizeSetting : share * height;
    if (!std::isfinite(document.pointSize))
      document.pointSize = 0;
    for (const Entity &entity : document.entities)
    {
      if (entity.shape == Shape::Dot && counts(entity))
        document.extents.Add(EntityExtents(document, entity));
    }
    DrawingHeader &header = document.header;
    std::memcpy(header.signature, "ZDWG", 4);
    header.entityCount = uint32_t(document.entities.size());
    header.layerCount = uint32_t(document.layers.size());
    if (!document.extents.IsEmpty())
    {
      header.extMinX = float(document.extents.minX);
      header.extMinY = float(document.extents.minY);
      header.extMaxX = float(document.extents.maxX);
      header.extMaxY = float(document.extents.maxY);
    }
    header.backgroundColor = WhiteIndex;
  }

  const std::string &path;
  const DxfScan &scan;
  dimeModel &model;
  Document &document;
  const size_t budget;  // bytes, MemoryBudget
  const DrawingTables tables;
  LayerTable layers;
  StyleResolver styles;
  EntityShapes shapes;
  LabelMaker labels;
  BlockCache<Annotation> annotations;  // of leaders and dimensions without blocks
  long visits = 0;                     // block placements and entities, see MaxVisits
  // Bytes of the records and points made. Beyond the budget the walk goes on
  // counting without keeping them, so that the refusal says what the drawing
  // needs.
  double needed = 0;
  size_t pointsMade = 0;
  Entity uncounted{};  // a record beyond the budget
};

namespace
{

// libdime's complaint ends "at line: N", a line of the scanned text; the user
// needs the file's.
std::string InFileLines(const std::string &complaint, const DxfScan &scan)
{
  const std::string marker = "line: ";
  const size_t at = complaint.rfind(marker);
  if (at == std::string::npos)
    return complaint;
  const unsigned long textLine = std::strtoul(complaint.c_str() + at + marker.size(), nullptr, 10);
  return complaint.substr(0, at) + "line " + std::to_string(scan.FileLine(textLine));
}

}  // namespace

std::unique_ptr<Document> Document::Load(const std::string &path)
{
  const DxfScan scan = ScanDxf(path);
  // A libdime fault can surface in read() or, once it has damaged its heap,
  // in the model's destructor: the note covers the model's whole life.
  CrashNote note(path);
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> text(
    fmemopen(const_cast<char *>(scan.text.data()), scan.text.size(), "r"), &std::fclose);
  if (!text)
    ThrowLoadError(path, std::string("cannot read the drawing: ") + std::strerror(errno));
  dimeInput input;
  // Without libdime's memory pool, which would be quicker: it places records
  // at addresses their alignment does not allow.
  dimeModel model;
  bool read = false;
  std::string complaint;
  try
  {
    StderrCapture capture;
    read = input.setFileHandle(text.get()) && model.read(&input);
    complaint = capture.LastLine();
  }
  catch (const std::exception &error)
  {
    ThrowLoadError(path, std::string("the DXF reader failed (") + error.what() + ")");
  }
  if (!read)
  {
    ThrowLoadError(path, "malformed DXF" + (complaint.empty() ? "" : " (" + InFileLines(complaint, scan) + ")"));
  }
  std::unique_ptr<Document> document(new Document);
  DocumentBuilder(path, scan, model, *document).Build();
  if (scan.skippedEntities > 0)
  {
    const size_t n = scan.skippedEntities;
    document->warnings.push_back(path + ": " + std::to_string(n) + (n == 1 ? " entity" : " entities")
                                 + " left out for values out of range; the first, " + scan.firstSkipped);
  }
  return document;
}

bool Document::IsLayerHidden(int layer) const
{
  if (layer < 0 || size_t(layer) >= layers.size())
    return true;
  return layers[layer].off || layers[layer].frozen;
}

const Point *Document::Points(const Entity &entity, uint32_t *count) const
{
  const bool valid = (entity.shape == Shape::Path || entity.shape == Shape::Polygon)
                     && size_t(entity.firstPoint) + entity.pointCount <= points.size();
  *count = valid ? entity.pointCount : 0;
  return valid ? points.data() + entity.firstPoint : points.data();
}

const std::vector<double> &Document::Dashes(const Entity &entity) const
{
  return entity.dashes < dashPatterns.size() ? dashPatterns[entity.dashes] : dashPatterns[0];
}

const std::string &Document::Text(const Entity &entity) const
{
  static const std::string Empty;
  if (entity.shape != Shape::Label || entity.text >= texts.size())
    return Empty;
  return texts[entity.text];
}

}  // namespace zulan
