// DXF files into host entity records, read with libdime. The file is first
// scanned pair by pair (dxfscan.cpp), because libdime accepts truncations and
// malformed numbers and mishandles LWPOLYLINE vertices; libdime then reads
// the scanned text, and what it prints is folded into one message that names
// the file.
// INSERTs are expanded here: block contents on layer 0 take the insert's
// layer, BYBLOCK takes its colour, and geometry is transformed to world
// coordinates, conics as centre and axis vectors so that any scale is exact.
#include <dime/Input.h>
#include <dime/Model.h>
#include <dime/entities/Arc.h>
#include <dime/entities/Block.h>
#include <dime/entities/Circle.h>
#include <dime/entities/Ellipse.h>
#include <dime/entities/Insert.h>
#include <dime/entities/LWPolyline.h>
#include <dime/entities/Line.h>
#include <dime/entities/Point.h>
#include <dime/entities/Polyline.h>
#include <dime/entities/Solid.h>
#include <dime/entities/Spline.h>
#include <dime/entities/Text.h>
#include <dime/entities/Trace.h>
#include <dime/entities/Vertex.h>
#include <dime/records/Record.h>
#include <dime/sections/EntitiesSection.h>
#include <dime/sections/HeaderSection.h>
#include <dime/sections/TablesSection.h>
#include <dime/tables/LayerTable.h>
#include <dime/tables/Table.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>

#include "dimeguard.h"
#include "drawing.h"
#include "drawinginternal.h"
#include "dxflimits.h"
#include "dxfrecords.h"
#include "dxfscan.h"
#include "textmetrics.h"

namespace zulan
{
namespace
{

// Group 370 line weights, hundredths of a millimetre, and what stands in for
// one.
constexpr int WeightByLayer = -1;
constexpr int WeightByBlock = -2;
constexpr int DefaultWeight = 25; // what DEFAULT (-3) means without $LWDEFAULT
constexpr int MaxWeight = 211;

} // namespace

class DocumentBuilder
{
public:
  DocumentBuilder(const std::string &drawingPath, const DxfScan &drawingScan, dimeModel &drawingModel,
                  Document &document)
      : path(drawingPath), scan(drawingScan), model(drawingModel), doc(document)
  {
  }

  void Build()
  {
    ReadDefaultWeight();
    ReadLayers();
    ReadUnits();
    ReadPointStyle();
    ReadLineTypes();
    ReadEncoding();
    dimeSection *section = model.findSection("ENTITIES");
    if (section && section->typeId() == dimeBase::dimeEntitiesSectionType)
    {
      auto *entities = static_cast<dimeEntitiesSection *>(section);
      const Context top{Affine(), -1, 7, defaultWeight, 0, ""};
      try
      {
        Cost cost;
        for (int i = 0; i < entities->getNumEntities(); ++i)
          cost += EntityCost(entities->getEntity(i), 0);
        if (cost.visits > MaxVisits)
          TooManyVisits();
        if (cost.points > MaxPoints)
          throw TooManyPoints();
        if (cost.pieces > MaxEntities)
          TooManyEntities();
        for (int i = 0; i < entities->getNumEntities(); ++i)
          AddEntity(entities->getEntity(i), top);
      }
      catch (const TooManyPoints &)
      {
        ThrowLoadError(path, "the drawing expands to more than " + std::to_string(MaxPoints)
                                  + " points in polylines, solids and fills");
      }
    }
    ReadLimits();
    Finish();
  }

private:
  struct Context
  {
    Affine m;  // block coordinates to world
    int layer; // layer that layer-0 contents take, -1 outside blocks
    int aci;   // colour that BYBLOCK contents take
    int weight; // line weight that BYBLOCK contents take
    int depth;
    std::string lineType; // line type that BYBLOCK contents take
  };

  // What expanding something costs: entities and placements visited, points
  // made. In doubles, since array cells multiply at every level of nesting.
  struct Cost
  {
    double visits = 0;
    double points = 0;
    double pieces = 0; // of pattern hatches, a record each
    Cost &operator+=(const Cost &other)
    {
      visits += other.visits;
      points += other.points;
      pieces += other.pieces;
      return *this;
    }
  };

  struct BlockCostEntry
  {
    Cost cost;
    bool done = false; // false while the block's own entities are being counted
  };

  [[noreturn]] void TooDeep(const char *blockName)
  {
    ThrowLoadError(path, std::string("block \"") + (blockName ? blockName : "")
                              + "\" is nested more than " + std::to_string(MaxBlockDepth)
                              + " deep (does it insert itself?)");
  }

  [[noreturn]] void TooManyEntities()
  {
    ThrowLoadError(path, "the drawing expands to more than " + std::to_string(MaxEntities) + " entities");
  }

  [[noreturn]] void TooManyVisits()
  {
    ThrowLoadError(path, "the drawing's block inserts expand to more than "
                              + std::to_string(MaxVisits) + " placements and entities");
  }

  // Inserts multiply their block's cost by their cells at every level, so a
  // small file can ask for billions of visits or points. Each block is
  // counted once, and the whole drawing before anything is expanded.
  Cost EntityCost(dimeEntity *entity, int depth)
  {
    Cost cost{1, 0};
    if (!entity || entity->isDeleted() || (entity->getEntityFlags() & FLAG_PAPERSPACE))
      return cost;
    const std::string name = entity->getEntityName();
    if (name == "INSERT")
    {
      auto *insert = static_cast<dimeInsert *>(entity);
      if (!insert->getBlock())
        return cost;
      const double cells = ArrayCells(insert);
      const Cost inner = BlockCost(insert->getBlock(), depth + 1);
      size_t attributes;
      Attributes(insert, &attributes);
      cost.visits += cells * (1 + inner.visits) + double(attributes);
      cost.points += cells * inner.points;
      cost.pieces += cells * inner.pieces;
    }
    else if (name == "DIMENSION")
    {
      if (dimeBlock *block = DimensionBlock(entity))
        cost += BlockCost(block, depth + 1);
    }
    else if (depth > 0 && MakesPoints(name)) // top-level points are counted as they are made
    {
      cost.points += double(LocalPoints(entity, true).size());
      if (name == "HATCH")
        cost.pieces += double(HatchPieces(entity, true).size());
      if (name == "LWPOLYLINE" || name == "POLYLINE")
        cost.points += double(WideRings(entity, true).size());
    }
    return cost;
  }

  Cost BlockCost(dimeBlock *block, int depth)
  {
    auto found = blockCosts.find(block);
    if (found != blockCosts.end())
    {
      if (!found->second.done)
        TooDeep(block->getName());
      return found->second.cost;
    }
    if (depth > MaxBlockDepth)
      TooDeep(block->getName());
    blockCosts[block] = BlockCostEntry();
    Cost cost;
    for (int i = 0; i < block->getNumEntities(); ++i)
      cost += EntityCost(block->getEntity(i), depth);
    blockCosts[block] = BlockCostEntry{cost, true};
    return cost;
  }

  // Entities name their layer through libdime's layer records, which live
  // as long as the model, so the same pointer comes back for every entity
  // of a layer: remembered, it spares the case-folding lookup on every visit
  // of a block's entities. Only for names libdime holds.
  int EntityLayerIndex(const char *name)
  {
    const auto known = layerByPointer.find(name);
    if (known != layerByPointer.end())
      return known->second;
    const int index = LayerIndex(name);
    layerByPointer.emplace(name, index);
    return index;
  }

  bool IsFrameLayer(int layer) const { return frameLayers[size_t(layer)] != 0; }

  int LayerIndex(const char *name)
  {
    std::string key = Upper(name);
    if (key.empty())
      key = "0";
    auto found = layerByName.find(key);
    if (found != layerByName.end())
      return found->second;
    if (doc.layers.size() >= size_t(std::numeric_limits<int16_t>::max()))
    {
      ThrowLoadError(path, "too many layers (more than 32767)");
    }
    doc.layers.push_back(Layer{name && *name ? name : "0", 7, false, false, int16_t(defaultWeight), {}});
    frameLayers.push_back(key == "FRAME");
    layerByName[key] = int(doc.layers.size() - 1);
    return int(doc.layers.size() - 1);
  }

  // Walks the LAYER table itself: libdime's own layer list drops the
  // off (negative colour) and frozen flags.
  void ReadLayers()
  {
    LayerIndex("0");
    ForEachTableEntry("LAYER", [&](dimeTableEntry *entry) {
      if (entry->typeId() != dimeBase::dimeLayerTableType)
        return;
      auto *layerEntry = static_cast<dimeLayerTable *>(entry);
      Layer &layer = doc.layers[LayerIndex(layerEntry->getLayerName())];
      const int color = layerEntry->getColorNumber();
      layer.off = color < 0;
      layer.aci = int16_t(std::abs(color) >= 1 && std::abs(color) <= 255 ? std::abs(color) : 7);
      dimeParam flags;
      layer.frozen = layerEntry->getRecord(70, flags) && (flags.int16_data & 1);
      int layerWeight;
      if (IntegerGroup(layerEntry, 370, &layerWeight) && layerWeight >= 0 && layerWeight <= MaxWeight)
        layer.lineWeight = int16_t(layerWeight);
      dimeParam layerLineType;
      if (layerEntry->getRecord(6, layerLineType) && layerLineType.string_data)
        layer.lineType = LineTypeKey(layerLineType.string_data);
    });
  }

  // Calls visit with each entry of the TABLES section's tables of that name.
  template <typename Visit>
  void ForEachTableEntry(const char *tableName, Visit visit)
  {
    dimeSection *section = model.findSection("TABLES");
    if (!section || section->typeId() != dimeBase::dimeTablesSectionType)
      return;
    auto *tables = static_cast<dimeTablesSection *>(section);
    for (int t = 0; t < tables->getNumTables(); ++t)
    {
      dimeTable *table = tables->getTable(t);
      if (Upper(table->tableName()) != tableName)
        continue;
      for (int i = 0; i < table->getNumTableEntries(); ++i)
        visit(table->getTableEntry(i));
    }
  }

  // The HEADER section, or null when the drawing has none.
  dimeHeaderSection *HeaderSection() const
  {
    dimeSection *section = model.findSection("HEADER");
    if (!section || section->typeId() != dimeBase::dimeHeaderSectionType)
      return nullptr;
    return static_cast<dimeHeaderSection *>(section);
  }

  // What DEFAULT means: $LWDEFAULT, in hundredths of a millimetre.
  void ReadDefaultWeight()
  {
    dimeHeaderSection *header = HeaderSection();
    int codes[1];
    dimeParam value[1];
    if (header && header->getVariable("$LWDEFAULT", codes, value, 1) == 1 && codes[0] == 70
        && value[0].int16_data >= 0 && value[0].int16_data <= MaxWeight)
      defaultWeight = value[0].int16_data;
  }

  // Line weights are millimetres of paper; $INSUNITS says what a world unit
  // is. Unitless drawings are taken as millimetres.
  void ReadUnits()
  {
    dimeHeaderSection *header = HeaderSection();
    if (!header)
      return;
    int codes[1];
    dimeParam units[1];
    if (header->getVariable("$INSUNITS", codes, units, 1) < 1)
      return;
    static const std::map<int, double> MillimetresPerUnit = {
        {1, 25.4},  {2, 304.8},     {3, 1609344}, {4, 1},     {5, 10},   {6, 1000},
        {7, 1e6},   {8, 25.4e-6},   {9, 0.0254},  {10, 914.4}, {13, 1e-3}, {14, 100}};
    const auto found = MillimetresPerUnit.find(units[0].int16_data);
    if (found != MillimetresPerUnit.end())
      doc.unitsPerMillimetre = 1 / found->second;
  }

  // How the drawing's strings are encoded: $ACADVER and $DWGCODEPAGE.
  void ReadEncoding()
  {
    std::string version, codePage;
    if (dimeHeaderSection *header = HeaderSection())
    {
      int codes[1];
      dimeParam value[1];
      if (header->getVariable("$ACADVER", codes, value, 1) == 1 && codes[0] == 1 && value[0].string_data)
        version = value[0].string_data;
      if (header->getVariable("$DWGCODEPAGE", codes, value, 1) == 1 && codes[0] == 3 && value[0].string_data)
        codePage = value[0].string_data;
    }
    decoder = std::make_unique<DxfTextDecoder>(version, codePage);
  }

  void ReadPointStyle()
  {
    dimeHeaderSection *header = HeaderSection();
    if (!header)
      return;
    int codes[1];
    dimeParam value[1];
    if (header->getVariable("$PDMODE", codes, value, 1) == 1 && codes[0] == 70)
      doc.pointMode = value[0].int16_data;
    if (header->getVariable("$PDSIZE", codes, value, 1) == 1 && codes[0] == 40)
      pointSizeSetting = value[0].double_data;
  }

  void ReadLimits()
  {
    dimeHeaderSection *header = HeaderSection();
    if (!header)
      return;
    int codes[3];
    dimeParam lo[3], hi[3], check[1];
    if (header->getVariable("$LIMMIN", codes, lo, 3) < 2
        || header->getVariable("$LIMMAX", codes, hi, 3) < 2)
    {
      return;
    }
    DrawingHeader &h = doc.header;
    h.limMinX = lo[0].double_data;
    h.limMinY = lo[1].double_data;
    h.limMaxX = hi[0].double_data;
    h.limMaxY = hi[1].double_data;
    if (header->getVariable("$LIMCHECK", codes, check, 1) < 1 || check[0].int16_data == 0)
    {
      return;
    }
    Entity &marker = NewRecord(TypeLimits, Shape::None, 0, 7);
    const double box[4] = {h.limMinX, h.limMinY, h.limMaxX, h.limMaxY};
    std::copy(box, box + 4, marker.geometry);
  }

  int EffectiveLayer(const dimeEntity *entity, const Context &ctx)
  {
    const char *name = entity->getLayerName();
    if (ctx.layer >= 0 && (!name || std::strcmp(name, "0") == 0))
      return ctx.layer;
    return EntityLayerIndex(name);
  }

  int ResolveColor(const dimeEntity *entity, int layer, const Context &ctx)
  {
    return ResolveAci(entity->getColorNumber(), layer, ctx);
  }

  int ResolveAci(int color, int layer, const Context &ctx)
  {
    if (color == 256)
      return doc.layers[layer].aci; // BYLAYER
    if (color == 0)
      return ctx.aci; // BYBLOCK
    const int aci = std::abs(color);
    return aci >= 1 && aci <= 255 ? aci : 7;
  }

  // An entity's own line weight (370), line type (6) and its scale (48); read
  // once for a block's entities, which are visited once per placement.
  struct OwnStyle
  {
    int weight = WeightByLayer;
    std::string lineType = "BYLAYER";
    double lineTypeScale = 1;
  };

  const OwnStyle &StyleOf(const dimeEntity *entity)
  {
    const auto found = ownStyles.find(entity);
    if (found != ownStyles.end())
      return found->second;
    OwnStyle &style = inBlock ? ownStyles[entity] : styleScratch;
    style = OwnStyle();
    IntegerGroup(entity, 370, &style.weight);
    dimeParam param;
    if (entity->getRecord(6, param) && param.string_data)
      style.lineType = LineTypeKey(param.string_data);
    if (entity->getRecord(48, param) && param.double_data > 0)
      style.lineTypeScale = param.double_data;
    return style;
  }

  int ResolveWeight(const dimeEntity *entity, int layer, const Context &ctx)
  {
    return ResolveWeightValue(StyleOf(entity).weight, layer, ctx);
  }

  int ResolveWeightValue(int value, int layer, const Context &ctx)
  {
    if (value == WeightByLayer)
      return doc.layers[layer].lineWeight;
    if (value == WeightByBlock)
      return ctx.weight;
    return value >= 0 && value <= MaxWeight ? value : defaultWeight;
  }

  // The entity's line type: its own (group 6), its layer's when BYLAYER or
  // absent, the insert's when BYBLOCK; empty for a continuous line.
  std::string ResolveLineType(const dimeEntity *entity, int layer, const Context &ctx)
  {
    const std::string &own = StyleOf(entity).lineType;
    if (own == "BYLAYER")
      return doc.layers[layer].lineType;
    if (own == "BYBLOCK")
      return ctx.lineType;
    return own;
  }

  // The dash pattern a record of the entity takes: the line type's in world
  // units through $LTSCALE, the entity's scale (48) and the map's.
  uint16_t DashesFor(const std::string &typeName, const dimeEntity *entity, const Affine &m)
  {
    const auto type = lineTypes.find(typeName);
    if (typeName.empty() || type == lineTypes.end())
      return 0;
    const double mapScale = std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
    const std::vector<double> pattern =
        DashPattern(type->second, lineTypeScale * StyleOf(entity).lineTypeScale * mapScale);
    if (pattern.empty())
      return 0;
    const auto found = patternIndex.find(pattern);
    if (found != patternIndex.end())
      return found->second;
    if (doc.dashPatterns.size() > std::numeric_limits<uint16_t>::max())
      return 0; // out of numbers: drawn continuous
    const uint16_t index = uint16_t(doc.dashPatterns.size());
    doc.dashPatterns.push_back(pattern);
    patternIndex.emplace(pattern, index);
    return index;
  }

  // The LTYPE table's dash patterns, and $LTSCALE. libdime keeps LTYPE
  // entries as plain groups: the elements are the 49s in order.
  void ReadLineTypes()
  {
    if (dimeHeaderSection *header = HeaderSection())
    {
      int codes[1];
      dimeParam value[1];
      if (header->getVariable("$LTSCALE", codes, value, 1) == 1 && codes[0] == 40
          && value[0].double_data > 0 && std::isfinite(value[0].double_data))
        lineTypeScale = value[0].double_data;
    }
    ForEachTableEntry("LTYPE", [&](dimeTableEntry *entry) {
      std::string name;
      std::vector<double> elements;
      for (const RawRecord &r : RawRecords(entry))
      {
        if (r.code == 2)
          name = LineTypeKey(r.text.c_str());
        else if (r.code == 49)
          elements.push_back(r.number);
      }
      if (!name.empty() && name != "BYLAYER" && name != "BYBLOCK")
        lineTypes[name] = elements;
    });
  }

  // An extrusion direction of (0, 0, -1) mirrors the entity's own x axis.
  static Affine ObjectToWorld(const dimeEntity *entity, const Context &ctx)
  {
    dimeParam z;
    if (entity->getRecord(230, z) && z.double_data < 0)
    {
      Affine mirror;
      mirror.a = -1;
      return Compose(ctx.m, mirror);
    }
    return ctx.m;
  }

  Entity &NewRecord(EntityType type, Shape shape, int layer, int aci)
  {
    if (doc.entities.size() >= MaxEntities)
      TooManyEntities();
    Entity record{};
    record.serial = uint32_t(doc.entities.size());
    record.type = IsFrameLayer(layer) ? TypeFrame : type;
    record.shape = shape;
    record.layer = int16_t(layer);
    record.aci = int16_t(aci);
    record.colorIndex = PaletteIndexForAci(aci);
    record.lineWeight = int16_t(weight);
    record.dashes = dashes;
    doc.entities.push_back(record);
    return doc.entities.back();
  }

  void AddPoints(EntityType type, Shape shape, int layer, int aci, const Affine &m,
                 const std::vector<Point> &local, bool closed)
  {
    if (local.empty())
      return;
    if (local.size() > MaxPoints - doc.points.size())
      throw TooManyPoints();
    Entity &record = NewRecord(type, shape, layer, aci);
    record.firstPoint = uint32_t(doc.points.size());
    record.pointCount = uint32_t(local.size());
    record.flags = closed ? Closed : 0;
    for (const Point &p : local)
    {
      doc.points.push_back(std::isnan(p.x) ? p : m.Apply(p.x, p.y));
    }
  }

  void AddConic(EntityType type, int layer, int aci, const Affine &m, Point c, Point u, Point v,
                double t0, double t1)
  {
    Entity &record = NewRecord(type, Shape::Conic, layer, aci);
    const Point wc = m.Apply(c.x, c.y), wu = m.ApplyVector(u.x, u.y), wv = m.ApplyVector(v.x, v.y);
    const double g[8] = {wc.x, wc.y, wu.x, wu.y, wv.x, wv.y, t0, t1};
    std::copy(g, g + 8, record.geometry);
  }

  // A line of text in object coordinates, its string in the document once:
  // every placement of a block shows the same strings.
  struct LocalLabel
  {
    Point origin; // of the baseline
    Point along;  // one em along the text, times the width factor
    Point up;     // one em up
    double advance;
    uint32_t text; // index in the document's strings
    int aci;       // its own colour, or MTextEntityColour
  };

  std::string Decode(const std::string &raw) const
  {
    return decoder ? decoder->ToUtf8(raw) : DxfTextToUtf8(raw);
  }

  // A text line from UTF-8: anchor, em size and direction in object
  // coordinates; alongShare (of the advance) and upEms move the baseline
  // origin off the anchor.
  void MakeLabel(Point anchor, double emSize, double widthFactor, double radians,
                 const std::string &text, double advance, double alongShare, double upEms, int aci,
                 std::vector<LocalLabel> *out)
  {
    if (text.empty() || !(emSize > 0) || !std::isfinite(emSize) || !std::isfinite(widthFactor))
      return;
    const Point dir{std::cos(radians), std::sin(radians)};
    const Point up{-dir.y, dir.x};
    const double along = -alongShare * advance * emSize * widthFactor;
    const Point origin{anchor.x + dir.x * along + up.x * upEms * emSize,
                       anchor.y + dir.y * along + up.y * upEms * emSize};
    if (!std::isfinite(origin.x) || !std::isfinite(origin.y))
      return;
    out->push_back({origin,
                    {dir.x * emSize * widthFactor, dir.y * emSize * widthFactor},
                    {up.x * emSize, up.y * emSize},
                    advance,
                    uint32_t(doc.texts.size()),
                    aci});
    doc.texts.push_back(text);
  }

  // The labels of a text entity (key) made by make: inside blocks once and
  // kept, so that a block placed many times neither lays its text out nor
  // stores its strings again.
  template <typename Make>
  const std::vector<LocalLabel> &Labels(const void *key, bool withinBlock, Make make)
  {
    if (!withinBlock)
    {
      labelScratch.clear();
      make(&labelScratch);
      return labelScratch;
    }
    auto found = blockLabels.find(key);
    if (found != blockLabels.end())
      return found->second;
    std::vector<LocalLabel> labels;
    make(&labels);
    return blockLabels.emplace(key, std::move(labels)).first->second;
  }

  void PlaceLabels(const std::vector<LocalLabel> &labels, int layer, int aci, const Affine &m)
  {
    for (const LocalLabel &label : labels)
    {
      Entity &record =
          NewRecord(TypeText, Shape::Label, layer, label.aci == MTextEntityColour ? aci : label.aci);
      const Point wo = m.Apply(label.origin.x, label.origin.y);
      const Point wu = m.ApplyVector(label.along.x, label.along.y);
      const Point wv = m.ApplyVector(label.up.x, label.up.y);
      const double g[7] = {wo.x, wo.y, wu.x, wu.y, wv.x, wv.y, label.advance};
      std::copy(g, g + 7, record.geometry);
      record.text = label.text;
    }
  }

  void AddEntity(dimeEntity *entity, const Context &ctx)
  {
    CountVisit();
    if (!entity || entity->isDeleted() || (entity->getEntityFlags() & FLAG_PAPERSPACE))
      return; // paper space is not part of the drawing's model
    inBlock = ctx.depth > 0;
    const int layer = EffectiveLayer(entity, ctx);
    const int aci = ResolveColor(entity, layer, ctx);
    const int resolvedWeight = ResolveWeight(entity, layer, ctx);
    weight = resolvedWeight; // the records made below take it
    const Affine m = ObjectToWorld(entity, ctx);
    const std::string resolvedLineType = ResolveLineType(entity, layer, ctx);
    dashes = DashesFor(resolvedLineType, entity, m);
    lineType = resolvedLineType;
    const std::string name = entity->getEntityName();
    if (name == "LINE")
    {
      auto *line = static_cast<dimeLine *>(entity);
      const Point p = m.Apply(line->getCoords(0).x, line->getCoords(0).y);
      const Point q = m.Apply(line->getCoords(1).x, line->getCoords(1).y);
      Entity &record = NewRecord(TypeLine, Shape::Segment, layer, aci);
      const double g[4] = {p.x, p.y, q.x, q.y};
      std::copy(g, g + 4, record.geometry);
    }
    else if (name == "CIRCLE")
    {
      auto *circle = static_cast<dimeCircle *>(entity);
      const double r = circle->getRadius();
      AddConic(TypeCircle, layer, aci, m, {circle->getCenter().x, circle->getCenter().y}, {r, 0},
               {0, r}, 0, 2 * Pi);
    }
    else if (name == "ARC")
    {
      auto *arc = static_cast<dimeArc *>(entity);
      dimeVec3f c;
      arc->getCenter(c);
      const double r = arc->getRadius();
      const double a0 = Normalized(arc->getStartAngle(), 360);
      const double a1 = a0 + Sweep(arc->getStartAngle(), arc->getEndAngle(), 360);
      AddConic(TypeArc, layer, aci, m, {c.x, c.y}, {r, 0}, {0, r}, a0 * Degrees, a1 * Degrees);
    }
    else if (name == "ELLIPSE")
    {
      auto *ellipse = static_cast<dimeEllipse *>(entity);
      const dimeVec3f &major = ellipse->getMajorAxisEndpoint();
      const double ratio = ellipse->getMinorMajorRatio();
      const double t0 = Normalized(ellipse->getStartParam(), 2 * Pi);
      const double t1 = t0 + Sweep(ellipse->getStartParam(), ellipse->getEndParam(), 2 * Pi);
      AddConic(TypeEllipse, layer, aci, m, {ellipse->getCenter().x, ellipse->getCenter().y},
               {major.x, major.y}, {-major.y * ratio, major.x * ratio}, t0, t1);
    }
    else if (name == "LWPOLYLINE" || name == "POLYLINE")
    {
      const bool closed = name == "LWPOLYLINE"
                              ? static_cast<dimeLWPolyline *>(entity)->getFlags() & 1
                              : static_cast<dimePolyline *>(entity)->getFlags() & dimePolyline::CLOSED;
      AddPoints(TypePolyline, Shape::Path, layer, aci, m, LocalPoints(entity, ctx.depth > 0), closed);
      // Widths fill a band round the centre line, which stays drawn so that
      // a band thinner than a pixel still shows.
      if (!WideRings(entity, ctx.depth > 0).empty())
      {
        AddPoints(TypePolyline, Shape::Polygon, layer, aci, m, WideRings(entity, ctx.depth > 0), false);
        doc.entities.back().flags = Nonzero;
      }
    }
    else if (name == "SPLINE")
    {
      AddPoints(TypePolyline, Shape::Path, layer, aci, m, LocalPoints(entity, ctx.depth > 0), false);
    }
    else if (name == "POINT")
    {
      const dimeVec3f &p = static_cast<dimePoint *>(entity)->getCoords();
      const Point w = m.Apply(p.x, p.y);
      Entity &record = NewRecord(TypePoint, Shape::Dot, layer, aci);
      record.geometry[0] = w.x;
      record.geometry[1] = w.y;
    }
    else if (name == "SOLID" || name == "TRACE")
    {
      AddPoints(TypeSolid, Shape::Polygon, layer, aci, m, LocalPoints(entity, ctx.depth > 0), true);
    }
    else if (name == "TEXT")
    {
      AddText(static_cast<dimeText *>(entity), layer, aci, m, ctx.depth > 0);
    }
    else if (name == "MTEXT")
    {
      AddMText(entity, layer, aci, m, ctx.depth > 0);
    }
    else if (name == "HATCH")
    {
      AddPoints(TypeFill, Shape::Polygon, layer, aci, m, LocalPoints(entity, ctx.depth > 0), true);
      AddPatternPieces(layer, aci, m, HatchPieces(entity, ctx.depth > 0));
    }
    else if (name == "INSERT" || name == "DIMENSION")
    {
      // An insert on a layer that is off or frozen hides all it brings,
      // contents on their own layers too, as CAD programs show it. A frame
      // layer is drawn even when hidden, so its inserts are kept.
      if (doc.IsLayerHidden(layer) && !IsFrameLayer(layer))
        return;
      if (name == "INSERT")
        AddInsert(static_cast<dimeInsert *>(entity), layer, aci, resolvedWeight, ctx);
      else
        AddDimension(entity, layer, aci, resolvedWeight, ctx);
    }
    // Other entities (3D faces, viewports) are not drawn.
  }

  static bool MakesPoints(const std::string &name)
  {
    return name == "LWPOLYLINE" || name == "POLYLINE" || name == "HATCH" || name == "SOLID"
           || name == "TRACE" || name == "SPLINE";
  }

  // The points of a path or filled entity in its own coordinates; none for
  // other entities or for ones that draw nothing.
  std::vector<Point> MakeLocalPoints(dimeEntity *entity, size_t room) const
  {
    const std::string name = entity->getEntityName();
    PointList points(room);
    if (name == "LWPOLYLINE")
    {
      LwPolylinePoints(static_cast<dimeLWPolyline *>(entity), &points);
    }
    else if (name == "POLYLINE")
    {
      PolylinePoints(static_cast<dimePolyline *>(entity), &points);
    }
    else if (name == "HATCH")
    {
      HatchRings(entity, &points);
    }
    else if (name == "SPLINE")
    {
      SplineEntityPoints(static_cast<dimeSpline *>(entity), &points);
    }
    else if (name == "SOLID" || name == "TRACE")
    {
      auto *face = static_cast<dimeFaceEntity *>(entity);
      // The third and fourth corners are stored crosswise.
      for (int corner : {0, 1, 3, 2})
        points.Add({face->getVertex(corner).x, face->getVertex(corner).y});
    }
    return points.Take();
  }

  // Inside blocks the points are made once and kept, since every placement
  // draws the same ones; each kept point is drawn at least once, so all of
  // them together are bounded like the document's. make(room) makes them.
  template <typename Make>
  const std::vector<Point> &BlockCached(dimeEntity *entity, bool withinBlock,
                                        std::map<const dimeEntity *, std::vector<Point>> &cache,
                                        std::vector<Point> &spare, Make make)
  {
    if (!withinBlock)
    {
      spare = make(MaxPoints - doc.points.size());
      return spare;
    }
    auto found = cache.find(entity);
    if (found != cache.end())
      return found->second;
    std::vector<Point> points = make(MaxPoints - blockPointCount);
    blockPointCount += points.size();
    return cache.emplace(entity, std::move(points)).first->second;
  }

  const std::vector<Point> &LocalPoints(dimeEntity *entity, bool withinBlock)
  {
    return BlockCached(entity, withinBlock, blockPoints, scratch,
                       [&](size_t room) { return MakeLocalPoints(entity, room); });
  }

  // The band of a polyline with widths, in its own coordinates; empty
  // without widths.
  const std::vector<Point> &WideRings(dimeEntity *entity, bool withinBlock)
  {
    return BlockCached(entity, withinBlock, blockWide, wideScratch,
                       [&](size_t room) { return MakeWideRings(entity, room); });
  }

  std::vector<Point> MakeWideRings(dimeEntity *entity, size_t room) const
  {
    const std::string name = entity->getEntityName();
    std::vector<WideSegment> segments;
    bool closed = false;
    if (name == "LWPOLYLINE")
    {
      auto *poly = static_cast<dimeLWPolyline *>(entity);
      closed = poly->getFlags() & 1;
      const std::vector<LwVertex> vertices = scan.Polyline(poly->getNumVertices());
      const double constant = poly->getConstantWidth();
      const size_t n = vertices.size();
      for (size_t i = 0; i + 1 < n || (closed && n > 1 && i + 1 == n); ++i)
      {
        const LwVertex &v = vertices[i], &next = vertices[(i + 1) % n];
        const bool own = v.startWidth != 0 || v.endWidth != 0;
        AppendWideSegments({v.x, v.y}, {next.x, next.y}, v.bulge, own ? v.startWidth : constant,
                           own ? v.endWidth : constant, &segments);
      }
    }
    else if (name == "POLYLINE")
    {
      auto *poly = static_cast<dimePolyline *>(entity);
      if (poly->getFlags() & (dimePolyline::IS_POLYFACE_MESH | dimePolyline::IS_POLYMESH_3D))
        return {};
      closed = poly->getFlags() & dimePolyline::CLOSED;
      dimeParam param;
      const double start = poly->getRecord(40, param) ? param.double_data : 0;
      const double end = poly->getRecord(41, param) ? param.double_data : 0;
      const int n = poly->getNumCoordVertices();
      for (int i = 0; i + 1 < n || (closed && n > 1 && i + 1 == n); ++i)
      {
        dimeVertex *v = poly->getCoordVertex(i), *next = poly->getCoordVertex((i + 1) % n);
        const double bulge = v->getRecord(42, param) ? param.double_data : 0;
        const double w0 = v->getRecord(40, param) ? param.double_data : start;
        const double w1 = v->getRecord(41, param) ? param.double_data : end;
        AppendWideSegments({v->getCoords().x, v->getCoords().y},
                           {next->getCoords().x, next->getCoords().y}, bulge, w0, w1, &segments);
      }
    }
    if (segments.empty())
      return {};
    try
    {
      return WideOutline(segments, closed, room);
    }
    catch (const WideOutlineTooLong &)
    {
      throw TooManyPoints();
    }
  }

  // A polyline segment's pieces, widths changing evenly along it.
  static void AppendWideSegments(Point p0, Point p1, double bulge, double w0, double w1,
                                 std::vector<WideSegment> *segments)
  {
    if (!(w0 > 0 || w1 > 0) || !std::isfinite(w0) || !std::isfinite(w1))
      return;
    PointList points(MaxPoints);
    points.Add(p0);
    AppendBulge(p0, p1, bulge, &points);
    const std::vector<Point> along = points.Take();
    const double steps = double(along.size() - 1);
    for (size_t k = 0; k + 1 < along.size(); ++k)
    {
      const double wa = w0 + (w1 - w0) * double(k) / steps;
      const double wb = w0 + (w1 - w0) * double(k + 1) / steps;
      segments->push_back({along[k], along[k + 1], std::max(wa, 0.0), std::max(wb, 0.0)});
    }
  }

  // A pattern hatch's drawn pieces in its own coordinates; none for a solid
  // fill or a hatch beyond its limits. Cached inside blocks like
  // LocalPoints: each kept piece becomes a record at least once, so all of
  // them together are bounded like the records.
  const std::vector<PatternPiece> &HatchPieces(dimeEntity *entity, bool withinBlock)
  {
    if (!withinBlock)
    {
      pieceScratch = MakeHatchPieces(entity);
      return pieceScratch;
    }
    auto found = blockPieces.find(entity);
    if (found != blockPieces.end())
      return found->second;
    std::vector<PatternPiece> pieces = MakeHatchPieces(entity);
    blockPieceCount += pieces.size();
    if (blockPieceCount > MaxEntities)
      TooManyEntities();
    return blockPieces.emplace(entity, std::move(pieces)).first->second;
  }

  // A hatch beyond MaxHatchPieces or MaxHatchWork, or once the drawing's
  // pattern hatches have done MaxPatternWork, is left out; the drawing
  // still loads.
  std::vector<PatternPiece> MakeHatchPieces(dimeEntity *entity)
  {
    PointList rings(MaxPoints);
    std::vector<PatternLine> lines;
    ReadHatch(entity, &rings, &lines);
    if (lines.empty() || rings.Empty())
      return {};
    double work = std::min(MaxHatchWork, patternWork);
    const double budget = work;
    std::vector<PatternPiece> pieces;
    try
    {
      pieces = PatternPieces(rings.Take(), lines, MaxHatchPieces, &work);
    }
    catch (const PatternTooLarge &)
    {
      pieces.clear();
    }
    patternWork -= budget - std::max(work, 0.0);
    return pieces;
  }

  void AddPatternPieces(int layer, int aci, const Affine &m, const std::vector<PatternPiece> &pieces)
  {
    for (const PatternPiece &piece : pieces)
    {
      Entity &record = NewRecord(TypeFill, Shape::Segment, layer, aci);
      record.dashes = 0; // the pattern's own dashes are drawn already
      const Point a = m.Apply(piece.from.x, piece.from.y), b = m.Apply(piece.to.x, piece.to.y);
      const double g[4] = {a.x, a.y, b.x, b.y};
      std::copy(g, g + 4, record.geometry);
    }
  }

  static void SplineEntityPoints(dimeSpline *spline, PointList *points)
  {
    SplineData data;
    data.degree = spline->getDegree();
    for (int i = 0; i < spline->getNumKnots(); ++i)
      data.knots.push_back(spline->getKnotValue(i));
    for (int i = 0; i < spline->getNumControlPoints(); ++i)
      data.control.push_back({spline->getControlPoint(i).x, spline->getControlPoint(i).y});
    if (spline->hasWeights())
      for (int i = 0; i < spline->getNumWeights(); ++i)
        data.weights.push_back(spline->getWeight(i));
    for (int i = 0; i < spline->getNumFitPoints(); ++i)
      data.fit.push_back({spline->getFitPoint(i).x, spline->getFitPoint(i).y});
    try
    {
      for (const Point &p : SplinePoints(data, points->Room()))
        points->Add(p);
    }
    catch (const SplineTooLong &)
    {
      throw TooManyPoints();
    }
  }

  // The vertices were read by the scan; the scanned text gives libdime each
  // LWPOLYLINE's number among them as its vertex count (group 90).
  void LwPolylinePoints(dimeLWPolyline *poly, PointList *points) const
  {
    const std::vector<LwVertex> vertices = scan.Polyline(poly->getNumVertices());
    const size_t n = vertices.size();
    if (n == 0)
      return;
    const bool closed = poly->getFlags() & 1;
    points->Add({vertices[0].x, vertices[0].y});
    for (size_t i = 0; i + 1 < n || (closed && i + 1 == n); ++i)
    {
      const LwVertex &next = vertices[(i + 1) % n];
      AppendBulge({vertices[i].x, vertices[i].y}, {next.x, next.y}, vertices[i].bulge, points);
    }
    if (closed && points->Size() > 1)
      points->DropLast(); // back at the start
  }

  static void PolylinePoints(dimePolyline *poly, PointList *points)
  {
    if (poly->getFlags() & (dimePolyline::IS_POLYFACE_MESH | dimePolyline::IS_POLYMESH_3D))
    {
      return;
    }
    const int n = poly->getNumCoordVertices();
    if (n <= 0)
      return;
    const bool closed = poly->getFlags() & dimePolyline::CLOSED;
    auto vertex = [&](int i, double *bulge)
    {
      dimeVertex *v = poly->getCoordVertex(i);
      dimeParam param;
      *bulge = v->getRecord(42, param) ? param.double_data : 0;
      return Point{v->getCoords().x, v->getCoords().y};
    };
    double bulge;
    points->Add(vertex(0, &bulge));
    for (int i = 0; i < n; ++i)
    {
      const bool last = i + 1 == n;
      if (last && !closed)
        break;
      const Point p = vertex(i, &bulge);
      double unused;
      AppendBulge(p, vertex(last ? 0 : i + 1, &unused), bulge, points);
    }
    if (closed && points->Size() > 1)
      points->DropLast();
  }

  // A line of TEXT or an ATTRIB as the file gives it, in object coordinates.
  struct TextLine
  {
    Point at{0, 0};     // 10/20: first alignment point
    Point second{0, 0}; // 11/21
    bool hasSecond = false;
    double height = 0;      // 40: capital height
    double widthFactor = 1; // 41
    double degrees = 0;     // 50
    int h = 0;              // 72
    int v = 0;              // 73 (74 for ATTRIB)
    std::string raw;        // 1, as in the file
  };

  // Places a line as the format's justification says: 72 = 0, 1, 2 left,
  // centre, right and 4 middle; 73 = 0-3 baseline, bottom, middle, top, at
  // the second point when either is not 0. 72 = 3 (aligned) and 5 (fit)
  // fill the line from the first point to the second, aligned scaling the
  // height with the width, fit stretching the width alone.
  void TextLineLabel(const TextLine &t, std::vector<LocalLabel> *out)
  {
    const std::string text = Decode(t.raw);
    if (text.empty())
      return;
    const double advance = TextAdvanceEms(text);
    double em = t.height / CapHeightEms;
    double widthFactor = t.widthFactor > 0 && std::isfinite(t.widthFactor) ? t.widthFactor : 1;
    const double dx = t.second.x - t.at.x, dy = t.second.y - t.at.y;
    const double span = std::hypot(dx, dy);
    if ((t.h == 3 || t.h == 5) && t.hasSecond && span > 0 && advance > 0)
    {
      if (t.h == 3)
        em = span / (advance * widthFactor);
      else
        widthFactor = span / (advance * em);
      MakeLabel(t.at, em, widthFactor, std::atan2(dy, dx), text, advance, 0, 0, MTextEntityColour, out);
      return;
    }
    const bool justified = (t.h != 0 || t.v != 0) && t.h != 3 && t.h != 5;
    const Point anchor = justified && t.hasSecond ? t.second : t.at;
    const double along = (t.h == 1 || t.h == 4) ? 0.5 : t.h == 2 ? 1 : 0;
    double upEms = 0;
    if (t.v == 1)
      upEms = LabelDescentEms;
    if (t.v == 2 || t.h == 4)
      upEms = -CapHeightEms / 2;
    if (t.v == 3)
      upEms = -CapHeightEms;
    MakeLabel(anchor, em, widthFactor, t.degrees * Degrees, text, advance, along, upEms,
              MTextEntityColour, out);
  }

  void AddText(dimeText *text, int layer, int aci, const Affine &m, bool withinBlock)
  {
    const std::vector<LocalLabel> &labels = Labels(
        text, withinBlock,
        [&](std::vector<LocalLabel> *out)
        {
          if (!text->getTextString())
            return;
          TextLine t;
          dimeVec3f p;
          text->getOrigin(p);
          t.at = {p.x, p.y};
          t.hasSecond = text->getSecond(p);
          if (t.hasSecond)
            t.second = {p.x, p.y};
          t.height = text->getHeight();
          dimeParam width;
          if (text->getRecord(41, width))
            t.widthFactor = width.double_data;
          t.degrees = text->getRotation();
          // libdime keeps 72 and 73 as 16 bits in 32-bit members whose
          // upper half it never sets, so getHJust and getVJust are not to
          // be trusted.
          dimeParam justification;
          t.h = text->getRecord(72, justification) ? justification.int16_data : 0;
          t.v = text->getRecord(73, justification) ? justification.int16_data : 0;
          t.raw = text->getTextString();
          TextLineLabel(t, out);
        });
    PlaceLabels(labels, layer, aci, m);
  }

  // Every paragraph and run of the MTEXT, laid out by mtext.cpp. The string
  // is decoded first, so \U+XXXX and code-page characters are plain text by
  // the time the inline codes are read.
  void AddMText(dimeEntity *entity, int layer, int aci, const Affine &m, bool withinBlock)
  {
    const std::vector<LocalLabel> &labels = Labels(
        entity, withinBlock,
        [&](std::vector<LocalLabel> *out)
        {
          std::map<int, double> first;
          std::string text, tail;
          for (const RawRecord &r : RawRecords(entity))
          {
            if (r.code == 3)
              text += r.text;
            else if (r.code == 1)
              tail = r.text;
            else
              first.emplace(r.code, r.number);
          }
          double radians = first.count(50) ? first[50] * Degrees : 0;
          if (first.count(11) && first.count(21) && (first[11] != 0 || first[21] != 0))
            radians = std::atan2(first[21], first[11]);
          MTextFormat format;
          format.height = first[40];
          format.width = first[41];
          format.spacing = first.count(44) ? first[44] : 1;
          format.attachment = first.count(71) ? int(first[71]) : 1;
          std::vector<MTextRun> runs;
          if (!LayoutMText(Decode(text + tail), format, MaxEntities, &runs))
            ThrowLoadError(path, "an MTEXT has more than " + std::to_string(MaxEntities)
                                      + " lines and runs of text");
          const Point dir{std::cos(radians), std::sin(radians)}, up{-dir.y, dir.x};
          for (const MTextRun &run : runs)
          {
            const Point anchor{first[10] + dir.x * run.x + up.x * run.y,
                               first[20] + dir.y * run.x + up.y * run.y};
            MakeLabel(anchor, run.height / CapHeightEms, 1, radians, run.text, run.advanceEms, 0,
                      0, run.aci, out);
          }
        });
    PlaceLabels(labels, layer, aci, m);
  }

  // The attributes the scan collected for an INSERT (group 90 numbers it),
  // drawn like TEXT once per insert, MINSERT too. They are in the insert's
  // parent's coordinates; layer 0 and BYBLOCK take the insert's, as its
  // block's contents do.
  void AddAttributes(dimeInsert *insert, int layer, int aci, int insertWeight, const Context &ctx)
  {
    const Context owner{ctx.m, layer, aci, insertWeight, ctx.depth + 1, {}};
    size_t count;
    const Attribute *attributes = Attributes(insert, &count);
    for (size_t i = 0; i < count; ++i)
    {
      const Attribute &attribute = attributes[i];
      CountVisit();
      if (attribute.flags & 1)
        continue; // invisible
      const int own = AttributeLayer(attribute, owner);
      const int colour = ResolveAci(attribute.color, own, owner);
      weight = ResolveWeightValue(attribute.weight, own, owner);
      Affine m = ctx.m;
      if (attribute.extrusionZ < 0)
      {
        Affine mirror;
        mirror.a = -1;
        m = Compose(ctx.m, mirror);
      }
      const std::vector<LocalLabel> &labels = Labels(
          &attribute, ctx.depth > 0,
          [&](std::vector<LocalLabel> *out)
          {
            TextLine t;
            t.at = {attribute.x, attribute.y};
            t.second = {attribute.secondX, attribute.secondY};
            t.hasSecond = attribute.hasSecond;
            t.height = attribute.height;
            t.widthFactor = attribute.widthFactor;
            t.degrees = attribute.rotation;
            t.h = attribute.hJust;
            t.v = attribute.vJust;
            t.raw = attribute.value;
            TextLineLabel(t, out);
          });
      PlaceLabels(labels, own, colour, m);
    }
  }

  // The attributes of an INSERT; none when the scan gave it no number.
  const Attribute *Attributes(const dimeInsert *insert, size_t *count) const
  {
    int index = -1;
    IntegerGroup(insert, 90, &index);
    return scan.Attributes(index, count);
  }

  int AttributeLayer(const Attribute &attribute, const Context &owner)
  {
    if (owner.layer >= 0 && (attribute.layer.empty() || attribute.layer == "0"))
      return owner.layer;
    return LayerIndex(attribute.layer.c_str());
  }

  // A dimension's picture is an anonymous block in world coordinates.
  dimeBlock *DimensionBlock(dimeEntity *dimension)
  {
    std::string blockName;
    for (const RawRecord &record : RawRecords(dimension))
    {
      if (record.code == 2)
        blockName = record.text;
    }
    return blockName.empty() ? nullptr : model.findBlock(blockName.c_str());
  }

  void AddDimension(dimeEntity *dimension, int layer, int aci, int dimensionWeight, const Context &ctx)
  {
    const std::string blockLineType = lineType;
    dimeBlock *block = DimensionBlock(dimension);
    if (!block)
      return;
    if (ctx.depth >= MaxBlockDepth)
      TooDeep(block->getName());
    const Context inner{ctx.m, layer, aci, dimensionWeight, ctx.depth + 1, blockLineType};
    for (int i = 0; i < block->getNumEntities(); ++i)
      AddEntity(block->getEntity(i), inner);
  }

  void AddInsert(dimeInsert *insert, int layer, int aci, int insertWeight, const Context &ctx)
  {
    const std::string blockLineType = lineType; // what BYBLOCK contents take
    dimeBlock *block = insert->getBlock();
    if (!block)
      return; // a missing block draws nothing, as in CAD programs
    if (ctx.depth >= MaxBlockDepth)
      TooDeep(block->getName());
    int columns, rows;
    ArrayCells(insert, &columns, &rows);
    dimeParam param;
    const double columnSpacing = insert->getRecord(44, param) ? param.double_data : 0;
    const double rowSpacing = insert->getRecord(45, param) ? param.double_data : 0;
    const Affine outer = ObjectToWorld(insert, ctx);
    const dimeVec3f &at = insert->getInsertionPoint();
    const dimeVec3f &scale = insert->getScale();
    const dimeVec3f &base = block->getBasePoint();
    const Affine rotation = RotationScale(insert->getRotAngle(), 1, 1);
    const Affine scaling =
        Compose(RotationScale(0, scale.x, scale.y), Translation(-base.x, -base.y));
    for (int r = 0; r < rows; ++r)
    {
      for (int c = 0; c < columns; ++c)
      {
        const Affine placed =
            Compose(Compose(Translation(at.x, at.y), rotation),
                    Compose(Translation(c * columnSpacing, r * rowSpacing), scaling));
        CountVisit();
        const Context inner{Compose(outer, placed), layer, aci, insertWeight, ctx.depth + 1, blockLineType};
        for (int i = 0; i < block->getNumEntities(); ++i)
        {
          AddEntity(block->getEntity(i), inner);
        }
      }
    }
    AddAttributes(insert, layer, aci, insertWeight, ctx);
  }

  // Columns and rows of a MINSERT (1 and 1 for a plain INSERT); the cells.
  int ArrayCells(dimeInsert *insert, int *columns = nullptr, int *rows = nullptr)
  {
    dimeParam param;
    const int across = insert->getRecord(70, param) ? std::max<int>(1, param.int16_data) : 1;
    const int down = insert->getRecord(71, param) ? std::max<int>(1, param.int16_data) : 1;
    if (long(across) * down > MaxArrayCells)
    {
      ThrowLoadError(path, "an INSERT array has more than " + std::to_string(MaxArrayCells)
                                + " cells");
    }
    if (columns)
      *columns = across;
    if (rows)
      *rows = down;
    return across * down;
  }

  void CountVisit()
  {
    if (++visits > MaxVisits)
      TooManyVisits();
  }

  void Finish()
  {
    auto counts = [&](const Entity &entity)
    { return !doc.IsLayerHidden(entity.layer) || entity.type == TypeFrame || entity.type == TypeLimits; };
    for (const Entity &entity : doc.entities)
    {
      if (counts(entity))
        doc.extents.Add(EntityExtents(doc, entity));
    }
    // A point symbol's size is absolute, or a share of the drawing's height
    // (5 % for 0): CAD programs take the share of the view's height, which
    // would make strips of one picture disagree. Symbols then join the
    // extents.
    const double share = pointSizeSetting < 0 ? -pointSizeSetting / 100 : 0.05;
    const Box &box = doc.extents;
    double height = 0; // a flat drawing's width stands in
    if (!box.IsEmpty())
      height = box.maxY > box.minY ? box.maxY - box.minY : box.maxX - box.minX;
    doc.pointSize = pointSizeSetting > 0 ? pointSizeSetting : share * height;
    if (!std::isfinite(doc.pointSize))
      doc.pointSize = 0;
    for (const Entity &entity : doc.entities)
    {
      if (entity.shape == Shape::Dot && counts(entity))
        doc.extents.Add(EntityExtents(doc, entity));
    }
    DrawingHeader &h = doc.header;
    std::memcpy(h.signature, "ZDWG", 4);
    h.entityCount = uint32_t(doc.entities.size());
    h.layerCount = uint32_t(doc.layers.size());
    if (!doc.extents.IsEmpty())
    {
      h.extMinX = float(doc.extents.minX);
      h.extMinY = float(doc.extents.minY);
      h.extMaxX = float(doc.extents.maxX);
      h.extMaxY = float(doc.extents.maxY);
    }
    h.backgroundColor = WhiteIndex;
  }

  const std::string &path;
  const DxfScan &scan;
  dimeModel &model;
  Document &doc;
  std::map<std::string, int> layerByName;
  std::unordered_map<const char *, int> layerByPointer; // see LayerIndex
  std::vector<char> frameLayers;                       // by layer: named FRAME
  std::unordered_map<const dimeEntity *, OwnStyle> ownStyles; // see StyleOf
  OwnStyle styleScratch; // of a top-level entity
  bool inBlock = false;  // the entity being added is a block's
  long visits = 0; // block placements and entities, see MaxVisits
  std::map<const dimeBlock *, BlockCostEntry> blockCosts;
  std::map<const dimeEntity *, std::vector<Point>> blockPoints; // see LocalPoints
  size_t blockPointCount = 0;
  std::vector<Point> scratch; // the points of the top-level entity being added
  std::map<const dimeEntity *, std::vector<PatternPiece>> blockPieces; // see HatchPieces
  size_t blockPieceCount = 0;
  std::vector<PatternPiece> pieceScratch;
  double patternWork = MaxPatternWork; // what the drawing's pattern hatches may still do
  std::map<const dimeEntity *, std::vector<Point>> blockWide; // see WideRings
  std::vector<Point> wideScratch;
  int weight = 0;             // line weight of the entity being added
  int defaultWeight = DefaultWeight;
  uint16_t dashes = 0;        // dash pattern of the entity being added
  std::string lineType;       // resolved line type of the entity being added
  std::map<std::string, std::vector<double>> lineTypes; // LTYPE table, by upper-case name
  double lineTypeScale = 1;                             // $LTSCALE
  std::map<std::vector<double>, uint16_t> patternIndex;
  double pointSizeSetting = 0; // $PDSIZE
  std::unique_ptr<DxfTextDecoder> decoder;
  std::map<const void *, std::vector<LocalLabel>> blockLabels; // see Labels
  std::vector<LocalLabel> labelScratch;
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

} // namespace

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
    ThrowLoadError(path, "malformed DXF"
                             + (complaint.empty() ? "" : " (" + InFileLines(complaint, scan) + ")"));
  }
  std::unique_ptr<Document> document(new Document);
  DocumentBuilder(path, scan, model, *document).Build();
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

} // namespace zulan
