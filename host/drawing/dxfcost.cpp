// What expanding the drawing will cost, counted before anything is
// expanded: inserts multiply their block's cost by their cells at every
// level, so a small file can ask for billions of visits or points. Each
// block is counted once. The count walks the entities as the build does,
// through the same kinds, placed blocks and shapes.
#include <dime/entities/Block.h>
#include <dime/entities/Insert.h>
#include <dime/sections/EntitiesSection.h>

#include <map>

#include "dxfbuild.h"
#include "dxflimits.h"

namespace zulan
{
namespace
{

// Entities and placements visited, points made, records made (at least:
// pattern pieces, and the entities that always make one). In doubles, since
// array cells multiply at every level of nesting.
struct Cost
{
  double visits = 0;
  double points = 0;
  double records = 0;
  Cost &operator+=(const Cost &other)
  {
    visits += other.visits;
    points += other.points;
    records += other.records;
    return *this;
  }
};

bool MakesOneRecord(EntityKind kind)
{
  return kind == EntityKind::Line || kind == EntityKind::Circle || kind == EntityKind::Arc
         || kind == EntityKind::Ellipse || kind == EntityKind::Point;
}

class CostCounter
{
public:
  CostCounter(const std::string &drawingPath, dimeModel &drawingModel, const DxfScan &drawingScan,
              EntityShapes &entityShapes)
    : path(drawingPath), model(drawingModel), scan(drawingScan), shapes(entityShapes)
  {
  }

  Cost EntityCost(dimeEntity *entity, int depth)
  {
    Cost cost{1, 0, 0};
    if (!IsModelEntity(entity))
      return cost;
    const EntityKind kind = KindOf(entity->getEntityName());
    dimeBlock *block = PlacedBlock(model, entity, kind);
    if (kind == EntityKind::Insert && block)
    {
      auto *insert = static_cast<dimeInsert *>(entity);
      const double cells = ArrayCells(path, insert);
      const Cost inner = BlockCost(block, depth + 1);
      size_t attributes;
      InsertAttributes(scan, insert, &attributes);
      cost.visits += cells * (1 + inner.visits) + double(attributes);
      cost.points += cells * inner.points;
      cost.records += cells * inner.records;
    }
    else if ((kind == EntityKind::Dimension || kind == EntityKind::Table) && block)
    {
      cost += BlockCost(block, depth + 1);
    }
    else if (depth > 0 && EntityShapes::MakesPoints(kind))  // the top level's are counted as made
    {
      cost.points += double(shapes.Points(entity, kind, true).size());
      if (kind == EntityKind::Hatch)
        cost.records += double(shapes.HatchPieces(entity, true).size());
      cost.points += double(shapes.WideRings(entity, kind, true).size());
    }
    else if (depth > 0 && MakesOneRecord(kind))
    {
      cost.records += 1;
    }
    return cost;
  }

private:
  struct BlockCostEntry
  {
    Cost cost;
    bool done = false;  // false while the block's own entities are being counted
  };

  Cost BlockCost(dimeBlock *block, int depth)
  {
    auto found = blockCosts.find(block);
    if (found != blockCosts.end())
    {
      if (!found->second.done)
        TooDeep(path, block->getName());
      return found->second.cost;
    }
    if (depth > MaxBlockDepth)
      TooDeep(path, block->getName());
    blockCosts[block] = BlockCostEntry();
    Cost cost;
    for (int i = 0; i < block->getNumEntities(); ++i)
      cost += EntityCost(block->getEntity(i), depth);
    blockCosts[block] = BlockCostEntry{cost, true};
    return cost;
  }

  const std::string &path;
  dimeModel &model;
  const DxfScan &scan;
  EntityShapes &shapes;
  std::map<const dimeBlock *, BlockCostEntry> blockCosts;
};

}  // namespace

void CheckExpansion(const std::string &path, dimeModel &model, const DxfScan &scan, EntityShapes &shapes,
                    dimeEntitiesSection *entities, size_t budget)
{
  CostCounter counter(path, model, scan, shapes);
  Cost cost;
  for (int i = 0; i < entities->getNumEntities(); ++i)
    cost += counter.EntityCost(entities->getEntity(i), 0);
  if (cost.visits > MaxVisits)
    TooManyVisits(path);
  if (cost.points > double(PointLimit(budget)))
    throw TooManyPoints();
  const double needed = cost.records * double(sizeof(Entity)) + cost.points * double(sizeof(Point));
  if (needed > double(budget))
    OverMemoryBudget(path, needed, budget);
}

}  // namespace zulan
