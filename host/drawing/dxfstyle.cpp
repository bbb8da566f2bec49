// Layer, colour, line weight, line type and placement of each entity's
// records. Inside blocks, contents on layer 0 take the placing entity's
// layer and BYBLOCK values take its own; entities in object coordinates are
// mapped to the world by their extrusion.
#include <dime/entities/Entity.h>
#include <dime/entities/Polyline.h>
#include <dime/records/Record.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "dxfbuild.h"

namespace zulan
{
namespace
{

Affine Extruded(const Affine &toWorld, double extrusionZ)
{
  if (!(extrusionZ < 0))
    return toWorld;
  Affine mirror;
  mirror.a = -1;
  return Compose(toWorld, mirror);
}

bool Normalize(Vector3 *v)
{
  const double length = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
  if (!(length > 0) || !std::isfinite(length))
    return false;
  *v = {v->x / length, v->y / length, v->z / length};
  return true;
}

// Entities whose coordinates are in their object coordinate system; a
// table is a block reference as an INSERT is, its block in its object
// coordinates. The others (LINE, POINT, ELLIPSE, SPLINE, 3DFACE, LEADER,
// WIPEOUT, MTEXT, a dimension's definition points) are in the world
// whatever their extrusion: seen from above they stand where their
// coordinates say.
bool HasObjectCoordinates(EntityKind kind)
{
  switch (kind)
  {
  case EntityKind::Circle:
  case EntityKind::Arc:
  case EntityKind::LwPolyline:
  case EntityKind::Polyline:
  case EntityKind::Face:
  case EntityKind::Text:
  case EntityKind::AttDef:
  case EntityKind::Hatch:
  case EntityKind::Insert:
  case EntityKind::Table:
    return true;
  default:
    return false;
  }
}

}  // namespace

Vector3 Cross(Vector3 p, Vector3 q)
{
  return {p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x};
}

// The OCS x axis is Wz x N (Wy x N when N is near the z axis), y is N x x.
bool ObjectAxes(Vector3 *n, Vector3 *ax, Vector3 *ay)
{
  if (!Normalize(n))
    return false;
  const double nearZ = 1.0 / 64;
  *ax = std::fabs(n->x) < nearZ && std::fabs(n->y) < nearZ ? Cross({0, 1, 0}, *n) : Cross({0, 0, 1}, *n);
  if (!Normalize(ax))
    return false;
  *ay = Cross(*n, *ax);
  return Normalize(ay);
}

namespace
{

// An entity's object coordinates seen from above, by the arbitrary axis
// algorithm (ObjectAxes); the elevation (38, else the z of 10/30) moves
// along N. An extrusion straight up or down keeps the plain rule, so those
// pictures stay exactly as they were.
Affine EntityToWorld(const dimeEntity *entity, const Affine &toWorld)
{
  dimeParam param;
  Vector3 n{0, 0, entity->getRecord(230, param) ? param.double_data : 1};
  n.x = entity->getRecord(210, param) ? param.double_data : 0;
  n.y = entity->getRecord(220, param) ? param.double_data : 0;
  const EntityKind kind = KindOf(entity->getEntityName());
  if (!HasObjectCoordinates(kind))
    return toWorld;  // MTEXT's own axes and an ELLIPSE's minor axis follow N (dxfmtext.cpp, dxfshapes.cpp)
  if (n.x == 0 && n.y == 0)
    return Extruded(toWorld, n.z);
  Vector3 ax, ay;
  if (!ObjectAxes(&n, &ax, &ay))
    return Extruded(toWorld, n.z);
  double elevation = 0;
  if (entity->getRecord(38, param))
    elevation = param.double_data;
  else if (KindOf(entity->getEntityName()) == EntityKind::Polyline)
    elevation = static_cast<const dimePolyline *>(entity)->getElevation().z;
  else if (entity->getRecord(30, param))
    elevation = param.double_data;
  if (!std::isfinite(elevation))
    elevation = 0;
  Affine ocs;
  ocs.a = ax.x;
  ocs.b = ax.y;
  ocs.c = ay.x;
  ocs.d = ay.y;
  ocs.e = n.x * elevation;
  ocs.f = n.y * elevation;
  return Compose(toWorld, ocs);
}

// The entity's own true colour: a 420 among its common groups, before the
// subclass markers of its kind, whose 420s (if any) mean something else.
int OwnTrueColour(const dimeEntity *entity)
{
  for (int i = 0; i < entity->getNumRecordsInRecordHolder(); ++i)
  {
    const dimeRecord *record = entity->getRecordInRecordHolder(i);
    dimeParam param;
    if (record->getGroupCode() == 100)
    {
      record->getValue(param);
      if (record->typeId() != dimeBase::dimeStringRecordType || !param.string_data
          || std::strcmp(param.string_data, "AcDbEntity") != 0)
        return -1;
    }
    else if (record->getGroupCode() == 420)
    {
      int rgb = -1;
      IntegerGroup(entity, 420, &rgb);
      return rgb & 0xFFFFFF;
    }
  }
  return -1;
}

StyleResolver::OwnStyle ReadOwnStyle(const dimeEntity *entity)
{
  StyleResolver::OwnStyle style;
  style.trueColour = OwnTrueColour(entity);
  IntegerGroup(entity, 370, &style.weight);
  dimeParam param;
  if (entity->getRecord(6, param) && param.string_data)
    style.lineType = LineTypeKey(param.string_data);
  if (entity->getRecord(48, param) && param.double_data > 0)
    style.lineTypeScale = param.double_data;
  return style;
}

}  // namespace

RecordStyle StyleResolver::Resolve(const dimeEntity *entity, const Context &context)
{
  RecordStyle style;
  style.layer = PlacedLayer(entity->getLayerName(), context);
  const OwnStyle &own = ownStyles.Get(entity, context.depth > 0, [&](bool) { return ReadOwnStyle(entity); });
  style.aci = Colour(entity->getColorNumber(), own.trueColour, style.layer, context);
  style.weight = Weight(own.weight, style.layer, context);
  style.toWorld = EntityToWorld(entity, context.toWorld);
  style.lineType = LineType(own.lineType, style.layer, context);
  style.dashes = Dashes(style.lineType, own.lineTypeScale, style.toWorld);
  return style;
}

RecordStyle StyleResolver::Resolve(const Attribute &attribute, const Context &owner)
{
  RecordStyle style;
  // The scan gives an absent layer as empty, where libdime gives null.
  style.layer = PlacedLayer(attribute.layer.empty() ? nullptr : attribute.layer.c_str(), owner);
  style.aci = Colour(attribute.color, attribute.trueColour, style.layer, owner);
  style.weight = Weight(attribute.weight, style.layer, owner);
  style.toWorld = Extruded(owner.toWorld, attribute.extrusionZ);
  return style;
}

Context StyleResolver::Inside(const RecordStyle &style, const Affine &toWorld, int depth)
{
  return Context{toWorld, style.layer, style.aci, style.weight, depth, style.lineType};
}

int StyleResolver::PlacedLayer(const char *name, const Context &context)
{
  if (context.layer >= 0 && (!name || std::strcmp(name, "0") == 0))
    return context.layer;
  return layers.IndexOfHeldName(name);
}

// A true colour stands before the palette colour (which AutoCAD writes as
// its nearest, and other programs leave BYLAYER).
int StyleResolver::Colour(int colour, int trueColour, int layer, const Context &context) const
{
  if (trueColour >= 0)
    return NearestAciOfTrueColour(uint32_t(trueColour));
  if (colour == 256)
    return layers[layer].aci;  // BYLAYER
  if (colour == 0)
    return context.aci;  // BYBLOCK
  const int aci = std::abs(colour);
  return aci >= 1 && aci <= 255 ? aci : 7;
}

int StyleResolver::Weight(int weight, int layer, const Context &context) const
{
  if (weight == WeightByLayer)
    return layers[layer].lineWeight;
  if (weight == WeightByBlock)
    return context.weight;
  return weight >= 0 && weight <= MaxWeight ? weight : tables.defaultWeight;
}

// Its layer's when BYLAYER or absent, the insert's when BYBLOCK; empty for
// a continuous line.
std::string StyleResolver::LineType(const std::string &own, int layer, const Context &context) const
{
  if (own == "BYLAYER")
    return layers[layer].lineType;
  if (own == "BYBLOCK")
    return context.lineType;
  return own;
}

// The line type's pattern in world units through $LTSCALE, the entity's
// scale (48) and the map's, numbered in the document once.
uint16_t StyleResolver::Dashes(const std::string &lineType, double entityScale, const Affine &toWorld)
{
  const auto type = tables.lineTypes.find(lineType);
  if (lineType.empty() || type == tables.lineTypes.end())
    return 0;
  const double mapScale = std::sqrt(std::fabs(toWorld.a * toWorld.d - toWorld.b * toWorld.c));
  const std::vector<double> pattern = DashPattern(type->second, tables.lineTypeScale * entityScale * mapScale);
  if (pattern.empty())
    return 0;
  const auto found = patternIndex.find(pattern);
  if (found != patternIndex.end())
    return found->second;
  if (dashPatterns.size() > std::numeric_limits<uint16_t>::max())
    return 0;  // out of numbers: drawn continuous
  const uint16_t index = uint16_t(dashPatterns.size());
  dashPatterns.push_back(pattern);
  patternIndex.emplace(pattern, index);
  return index;
}

}  // namespace zulan
