// The drawing's header variables, its LAYER and LTYPE tables. Layers are also
// made as entities name them, so the table of them lives on while the
// entities are read.
#include <dime/Model.h>
#include <dime/entities/Entity.h>
#include <dime/entities/Block.h>
#include <dime/sections/BlocksSection.h>
#include <dime/sections/HeaderSection.h>
#include <dime/sections/TablesSection.h>
#include <dime/tables/LayerTable.h>
#include <dime/tables/Table.h>

#include <cmath>
#include <utility>
#include <cstdlib>
#include <limits>

#include "dxfbuild.h"

namespace zulan
{
namespace
{

// The HEADER section, or null when the drawing has none.
dimeHeaderSection *HeaderSection(dimeModel &model)
{
  dimeSection *section = model.findSection("HEADER");
  if (!section || section->typeId() != dimeBase::dimeHeaderSectionType)
    return nullptr;
  return static_cast<dimeHeaderSection *>(section);
}

// Calls visit with each entry of the TABLES section's tables of that name.
template <typename Visit> void ForEachTableEntry(dimeModel &model, const char *tableName, Visit visit)
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

// Line weights are millimetres of paper; $INSUNITS says what a world unit
// is. Unitless drawings are taken as millimetres.
void ReadUnits(dimeHeaderSection &header, DrawingTables *tables)
{
  int codes[1];
  dimeParam units[1];
  if (header.getVariable("$INSUNITS", codes, units, 1) < 1)
    return;
  tables->unitsCode = units[0].int16_data;
  static const std::map<int, double> MillimetresPerUnit = {{1, 25.4},   {2, 304.8},  {3, 1609344}, {4, 1},
                                                           {5, 10},     {6, 1000},   {7, 1e6},     {8, 25.4e-6},
                                                           {9, 0.0254}, {10, 914.4}, {13, 1e-3},   {14, 100}};
  const auto found = MillimetresPerUnit.find(units[0].int16_data);
  if (found != MillimetresPerUnit.end())
    tables->unitsPerMillimetre = 1 / found->second;
}

void ReadLimits(dimeHeaderSection &header, DrawingTables *tables)
{
  int codes[3];
  dimeParam low[3], high[3], check[1];
  if (header.getVariable("$LIMMIN", codes, low, 3) < 2 || header.getVariable("$LIMMAX", codes, high, 3) < 2)
    return;
  tables->hasLimits = true;
  const double box[4] = {low[0].double_data, low[1].double_data, high[0].double_data, high[1].double_data};
  std::copy(box, box + 4, tables->limits);
  tables->limitsChecked = header.getVariable("$LIMCHECK", codes, check, 1) >= 1 && check[0].int16_data != 0;
}

// Sizes of dimensions and leaders; AutoCAD's defaults stand for what is
// absent or makes no sense (not positive).
void ReadDimensionVariables(dimeHeaderSection &header, DrawingTables *tables)
{
  DimensionStyle *style = &tables->dimensions;
  int codes[1];
  dimeParam value[1];
  const std::pair<const char *, double *> sizes[] = {{"$DIMASZ", &style->arrow},
                                                     {"$DIMEXO", &style->extensionOffset},
                                                     {"$DIMEXE", &style->extensionBeyond},
                                                     {"$DIMTXT", &style->textHeight},
                                                     {"$DIMGAP", &style->gap},
                                                     {"$DIMSCALE", &style->scale},
                                                     {"$DIMTSZ", &style->tickSize},
                                                     {"$DIMDLE", &style->lineBeyond}};
  for (const auto &[name, size] : sizes)
  {
    if (header.getVariable(name, codes, value, 1) == 1 && codes[0] == 40 && value[0].double_data >= 0
        && std::isfinite(value[0].double_data))
      *size = value[0].double_data;
  }
  if (!(style->scale > 0))
    style->scale = 1;
  if (header.getVariable("$DIMDEC", codes, value, 1) == 1 && codes[0] == 70 && value[0].int16_data >= 0
      && value[0].int16_data <= 8)
    style->decimals = value[0].int16_data;
  if (header.getVariable("$DIMADEC", codes, value, 1) == 1 && codes[0] == 70 && value[0].int16_data >= 0
      && value[0].int16_data <= 8)
    style->angleDecimals = value[0].int16_data;
  if (header.getVariable("$DIMTAD", codes, value, 1) == 1 && codes[0] == 70)
  {
    style->textAbove = value[0].int16_data != 0;
    style->textBelow = value[0].int16_data == 4;
  }
  if (header.getVariable("$DIMSAH", codes, value, 1) == 1 && codes[0] == 70)
    style->separateArrows = value[0].int16_data != 0;
  // Variables read as a style's are: by their DIMSTYLE group codes.
  const std::pair<const char *, int> more[] = {
    {"$DIMLFAC", 144}, {"$DIMZIN", 78}, {"$DIMAZIN", 79},  {"$DIMDSEP", 278}, {"$DIMSE1", 75},  {"$DIMSE2", 76},
    {"$DIMTIH", 73},   {"$DIMTOH", 74}, {"$DIMCLRD", 176}, {"$DIMCLRE", 177}, {"$DIMCLRT", 178}};
  for (const auto &[name, code] : more)
  {
    if (header.getVariable(name, codes, value, 1) != 1)
      continue;
    const double number = codes[0] == 40 ? value[0].double_data : value[0].int16_data;
    tables->SetDimensionVariable(style, RawRecord{code, number, {}});
  }
  // The header names its arrowheads' blocks.
  const std::pair<const char *, ArrowStyle *> arrows[] = {{"$DIMBLK", &style->arrows[0]},
                                                          {"$DIMBLK1", &style->arrows[1]},
                                                          {"$DIMBLK2", &style->arrows[2]},
                                                          {"$DIMLDRBLK", &style->leaderArrow}};
  for (const auto &[name, arrow] : arrows)
  {
    if (header.getVariable(name, codes, value, 1) == 1 && codes[0] == 1)
      *arrow = tables->Arrow(value[0].string_data ? value[0].string_data : "");
  }
}

void ReadHeader(dimeHeaderSection &header, DrawingTables *tables)
{
  ReadDimensionVariables(header, tables);
  int codes[1];
  dimeParam value[1];
  // What DEFAULT means, in hundredths of a millimetre.
  if (header.getVariable("$LWDEFAULT", codes, value, 1) == 1 && codes[0] == 70 && value[0].int16_data >= 0
      && value[0].int16_data <= MaxWeight)
    tables->defaultWeight = value[0].int16_data;
  ReadUnits(header, tables);
  if (header.getVariable("$PDMODE", codes, value, 1) == 1 && codes[0] == 70)
    tables->pointMode = value[0].int16_data;
  if (header.getVariable("$PDSIZE", codes, value, 1) == 1 && codes[0] == 40)
    tables->pointSize = value[0].double_data;
  if (header.getVariable("$LTSCALE", codes, value, 1) == 1 && codes[0] == 40 && value[0].double_data > 0
      && std::isfinite(value[0].double_data))
    tables->lineTypeScale = value[0].double_data;
  // How the drawing's strings are encoded.
  if (header.getVariable("$ACADVER", codes, value, 1) == 1 && codes[0] == 1 && value[0].string_data)
    tables->version = value[0].string_data;
  if (header.getVariable("$DWGCODEPAGE", codes, value, 1) == 1 && codes[0] == 3 && value[0].string_data)
    tables->codePage = value[0].string_data;
  ReadLimits(header, tables);
  // Frames of wipeouts; off when the header does not say.
  if (header.getVariable("$WIPEOUTFRAME", codes, value, 1) == 1 && codes[0] >= 70 && codes[0] <= 79)
    tables->wipeoutFrame = value[0].int16_data != 0;
}

// libdime keeps LTYPE entries as plain groups: the elements are the 49s in
// order.
void ReadLineTypes(dimeModel &model, DrawingTables *tables)
{
  ForEachTableEntry(model, "LTYPE", [&](dimeTableEntry *entry) {
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
      tables->lineTypes[name] = elements;
  });
}

// The DIMSTYLE table's entries over the header's values: AutoCAD draws a
// dimension or leader by the style it names; the header's variables are
// what new ones take.
void ReadDimensionStyles(dimeModel &model, DrawingTables *tables)
{
  ForEachTableEntry(model, "DIMSTYLE", [&](dimeTableEntry *entry) {
    std::string name;
    DimensionStyle style = tables->dimensions;
    for (const RawRecord &r : RawRecords(entry))
    {
      if (r.code == 2)
        name = Upper(r.text.c_str());
      else
        tables->SetDimensionVariable(&style, r);
    }
    if (!name.empty())
      tables->dimensionStyles.emplace(name, style);
  });
}

// What the dimension styles' arrowheads name: BLOCK_RECORD entries by
// handle, and the blocks themselves.
void ReadBlockNames(dimeModel &model, DrawingTables *tables)
{
  ForEachTableEntry(model, "BLOCK_RECORD", [&](dimeTableEntry *entry) {
    std::string handle, name;
    for (const RawRecord &r : RawRecords(entry))
    {
      if (r.code == 5 && handle.empty())
        handle = Upper(r.text.c_str());
      else if (r.code == 2 && name.empty())
        name = r.text;
    }
    if (!handle.empty() && !name.empty())
      tables->blockNames.emplace(handle, name);
  });
  dimeSection *section = model.findSection("BLOCKS");
  if (!section || section->typeId() != dimeBase::dimeBlocksSectionType)
    return;
  auto *blocks = static_cast<dimeBlocksSection *>(section);
  for (int i = 0; i < blocks->getNumBlocks(); ++i)
  {
    if (const char *name = blocks->getBlock(i)->getName())
      tables->blocks.insert(name);
  }
}

// The overrides of one dimension variable after another in an entity's
// ACAD extended data: 1000 DSTYLE, 1002 {, pairs of 1070 (the variable's
// group code) and its value, 1002 }. A pair that is not one is passed over.
void ApplyOverrides(const DrawingTables &tables, const std::vector<RawRecord> &records, DimensionStyle *style)
{
  size_t i = 0;
  const size_t n = records.size();
  // The ACAD application's data: from its 1001 to the next.
  while (i < n && !(records[i].code == 1001 && Upper(records[i].text.c_str()) == "ACAD"))
    ++i;
  while (++i < n && records[i].code != 1001)
  {
    if (records[i].code == 1000 && Upper(records[i].text.c_str()) == "DSTYLE")
      break;
  }
  if (i + 1 >= n || records[i].code != 1000 || records[i + 1].code != 1002 || records[i + 1].text != "{")
    return;
  for (i += 2; i + 1 < n && records[i].code != 1002 && records[i].code != 1001; ++i)
  {
    if (records[i].code != 1070 || records[i + 1].code == 1002 || records[i + 1].code == 1001)
      continue;
    RawRecord code = records[i];
    if (!ReadTextNumber(&code) || !(code.number >= 0 && code.number < 1100))
      continue;
    RawRecord value = records[++i];
    value.code = int(code.number);
    tables.SetDimensionVariable(style, value);
  }
}

}  // namespace

ArrowStyle DrawingTables::Arrow(const std::string &name) const
{
  static const std::pair<const char *, ArrowKind> BuiltIn[] = {{"", ArrowKind::ClosedFilled},
                                                               {"CLOSEDFILLED", ArrowKind::ClosedFilled},
                                                               {"CLOSED", ArrowKind::Closed},
                                                               {"CLOSEDBLANK", ArrowKind::ClosedBlank},
                                                               {"DOT", ArrowKind::Dot},
                                                               {"DOTSMALL", ArrowKind::DotSmall},
                                                               {"DOTBLANK", ArrowKind::DotBlank},
                                                               {"SMALL", ArrowKind::Small},
                                                               {"ARCHTICK", ArrowKind::ArchTick},
                                                               {"OBLIQUE", ArrowKind::Oblique},
                                                               {"OPEN", ArrowKind::Open},
                                                               {"OPEN30", ArrowKind::Open30},
                                                               {"OPEN90", ArrowKind::Open90},
                                                               {"ORIGIN", ArrowKind::Origin},
                                                               {"ORIGIN2", ArrowKind::Origin2},
                                                               {"INTEGRAL", ArrowKind::Integral},
                                                               {"NONE", ArrowKind::None},
                                                               {"BOXFILLED", ArrowKind::BoxFilled},
                                                               {"BOXBLANK", ArrowKind::BoxBlank},
                                                               {"DATUMFILLED", ArrowKind::DatumFilled},
                                                               {"DATUMBLANK", ArrowKind::DatumBlank}};
  std::string key = Upper(name.c_str());
  if (!key.empty() && key[0] == '_')
    key.erase(0, 1);
  for (const auto &[builtIn, kind] : BuiltIn)
  {
    if (key == builtIn)
      return {kind, {}};
  }
  if (blocks.count(name))
    return {ArrowKind::Block, name};
  return {};
}

bool DrawingTables::SetDimensionVariable(DimensionStyle *style, const RawRecord &value) const
{
  // Arrowheads: R12's names (5, 6, 7), later the handles of their blocks'
  // BLOCK_RECORDs (342, 343, 344; 341 a leader's).
  const std::pair<int, ArrowStyle *> arrows[] = {
    {5, &style->arrows[0]},   {6, &style->arrows[1]},   {7, &style->arrows[2]},    {342, &style->arrows[0]},
    {343, &style->arrows[1]}, {344, &style->arrows[2]}, {341, &style->leaderArrow}};
  for (const auto &[code, arrow] : arrows)
  {
    if (value.code != code)
      continue;
    if (code >= 341)
    {
      const auto found = blockNames.find(Upper(value.text.c_str()));
      *arrow = Arrow(found != blockNames.end() ? found->second : std::string());
    }
    else
      *arrow = Arrow(value.text);
    return true;
  }
  // libdime keeps some of these codes as their text.
  RawRecord r = value;
  if (!ReadTextNumber(&r) || !std::isfinite(r.number))
    return false;
  const std::pair<int, double *> sizes[] = {
    {41, &style->arrow}, {42, &style->extensionOffset}, {44, &style->extensionBeyond}, {140, &style->textHeight},
    {147, &style->gap},  {142, &style->tickSize},       {46, &style->lineBeyond}};
  for (const auto &[code, size] : sizes)
  {
    if (r.code == code && r.number >= 0)
    {
      *size = r.number;
      return true;
    }
  }
  switch (r.code)
  {
  case 40:  // DIMSCALE: 0 in a style means "as the viewport", which a picture has none of
    style->scale = r.number > 0 ? r.number : 1;
    return true;
  case 77:
    style->textAbove = r.number != 0;
    style->textBelow = r.number == 4;
    return true;
  case 173:
    style->separateArrows = r.number != 0;
    return true;
  case 75:
  case 76:
    style->extensionHidden[r.code - 75] = r.number != 0;
    return true;
  case 73:
  case 74:
    (r.code == 73 ? style->insideHorizontal : style->outsideHorizontal) = r.number != 0;
    return true;
  case 176:
  case 177:
  case 178:
    if (!(r.number >= 0 && r.number <= 256))
      return false;
    (r.code == 176 ? style->lineColour : r.code == 177 ? style->extensionColour : style->textColour) = int(r.number);
    return true;
  case 144:  // negative: for paper space only, so not for model space's pictures
    style->lengthFactor = r.number > 0 ? r.number : 1;
    return true;
  case 78:
  case 79:
    (r.code == 78 ? style->zeros : style->angleZeros) = int(std::fmod(r.number, 65536));
    return true;
  case 278:  // a character code; AutoCAD takes printable ones
    if (!(r.number >= 33 && r.number <= 126))
      return false;
    style->separator = char(r.number);
    return true;
  case 271:
  case 179:
    if (!(r.number >= 0 && r.number <= 8))
      return false;
    (r.code == 271 ? style->decimals : style->angleDecimals) = int(r.number);
    return true;
  default:
    return false;
  }
}

DimensionStyle DrawingTables::DimensionStyleOf(const dimeEntity *entity) const
{
  dimeParam param;
  DimensionStyle style = dimensions;
  if (!dimensionStyles.empty() && entity->getRecord(3, param) && param.string_data != nullptr)
  {
    const auto found = dimensionStyles.find(Upper(param.string_data));
    if (found != dimensionStyles.end())
      style = found->second;
  }
  ApplyOverrides(*this, RawRecords(entity), &style);
  return style;
}

DrawingTables ReadTables(dimeModel &model, const DxfScan &scan)
{
  DrawingTables tables;
  ReadBlockNames(model, &tables);
  if (dimeHeaderSection *header = HeaderSection(model))
    ReadHeader(*header, &tables);
  ReadLineTypes(model, &tables);
  tables.tableStyles = ReadTableStyles(scan);
  ReadDimensionStyles(model, &tables);
  return tables;
}

int LayerTable::Index(const char *name)
{
  std::string key = Upper(name);
  if (key.empty())
    key = "0";
  auto found = byName.find(key);
  if (found != byName.end())
    return found->second;
  if (layers.size() >= size_t(std::numeric_limits<int16_t>::max()))
    ThrowLoadError(path, "too many layers (more than 32767)");
  layers.push_back(Layer{name && *name ? name : "0", 7, false, false, int16_t(newLayerWeight), {}});
  frames.push_back(key == "FRAME");
  byName[key] = int(layers.size() - 1);
  return int(layers.size() - 1);
}

// Entities name their layer through libdime's layer records, which live as
// long as the model, so the same pointer comes back for every entity of a
// layer: remembered, it spares the case-folding lookup on every visit of a
// block's entities. Good for any name that stays put while the drawing loads.
int LayerTable::IndexOfHeldName(const char *name)
{
  const auto known = byHeldName.find(name);
  if (known != byHeldName.end())
    return known->second;
  const int index = Index(name);
  byHeldName.emplace(name, index);
  return index;
}

// Walks the LAYER table itself: libdime's own layer list drops the off
// (negative colour) and frozen flags.
void ReadLayers(dimeModel &model, LayerTable &layers)
{
  layers.Index("0");
  ForEachTableEntry(model, "LAYER", [&](dimeTableEntry *entry) {
    if (entry->typeId() != dimeBase::dimeLayerTableType)
      return;
    auto *layerEntry = static_cast<dimeLayerTable *>(entry);
    Layer &layer = layers[layers.Index(layerEntry->getLayerName())];
    const int colour = layerEntry->getColorNumber();
    layer.off = colour < 0;
    layer.aci = int16_t(std::abs(colour) >= 1 && std::abs(colour) <= 255 ? std::abs(colour) : 7);
    int trueColour;
    if (IntegerGroup(layerEntry, 420, &trueColour))
      layer.aci = int16_t(NearestAciOfTrueColour(uint32_t(trueColour) & 0xFFFFFF));
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

}  // namespace zulan
