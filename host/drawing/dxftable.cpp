// ACAD_TABLE entities. AutoCAD writes a table's picture as an anonymous
// block (*T...) that the entity places like an INSERT; the cells (their
// sizes, spans and text) follow as the entity's own groups, which draw the
// table when the block is missing.
#include <dime/entities/Entity.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dxfbuild.h"
#include "dxflimits.h"

namespace zulan
{
namespace
{

struct Cell
{
  int columns = 1, rows = 1;  // 175, 176: the span of a merged cell
  double height = 0;          // 140: text height
  int alignment = 5;          // 170: 1-9, top left to bottom right
  std::string text;           // 2 chunks, then 1
  bool textDone = false;
};

struct TableData
{
  Point at{0, 0};
  Point direction{1, 0};
  std::vector<double> rowHeights;    // 141, top down
  std::vector<double> columnWidths;  // 142, left to right
  std::vector<Cell> cells;           // row by row
  double margins[2] = {-1, -1};      // 40, 41: across and up, before the cells
};

// Far beyond a real table (a few thousand cells), as many as a MINSERT may
// have: a few thousand groups of a file cannot ask for millions of cells.
constexpr size_t MaxTableCells = MaxArrayCells;

TableData ReadTable(dimeEntity *table)
{
  TableData data;
  bool inTable = false, named = false;
  for (const RawRecord &r : RawRecords(table))
  {
    if (r.code == 100)
      inTable = r.text == "AcDbTable";
    else if (!inTable && r.code == 10)
      data.at.x = r.number;
    else if (!inTable && r.code == 20)
      data.at.y = r.number;
    else if (r.code == 2 && !named)
      named = true;  // the block's name
    else if (r.code == 11)
      data.direction.x = r.number;
    else if (r.code == 21)
      data.direction.y = r.number;
    else if (r.code == 141 && data.rowHeights.size() < MaxTableCells)
      data.rowHeights.push_back(r.number);
    else if (r.code == 142 && data.columnWidths.size() < MaxTableCells)
      data.columnWidths.push_back(r.number);
    else if (inTable && data.cells.empty() && (r.code == 40 || r.code == 41))
      data.margins[r.code - 40] = r.number;
    else if (r.code == 171 && data.cells.size() < MaxTableCells)
      data.cells.emplace_back();
    else if (!data.cells.empty())
    {
      Cell &cell = data.cells.back();
      if (r.code == 175 && r.number >= 1)
        cell.columns = int(std::min(r.number, 1e6));
      else if (r.code == 176 && r.number >= 1)
        cell.rows = int(std::min(r.number, 1e6));
      else if (r.code == 140 && !(cell.height > 0))
        cell.height = r.number;
      else if (r.code == 170 && r.number >= 1 && r.number <= 9)
        cell.alignment = int(r.number);
      else if ((r.code == 2 || r.code == 1) && !cell.textDone)
      {
        cell.text += r.text;
        cell.textDone = r.code == 1;
      }
    }
  }
  return data;
}

// The cell codes AutoCAD puts in cell text that draw nothing here: fonts,
// heights, colours and the like up to their semicolon, and the braces.
std::string PlainCellText(const std::string &text)
{
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
  {
    const char ch = text[i];
    if (ch == '{' || ch == '}')
      continue;
    if (ch == '\\' && i + 1 < text.size())
    {
      const char code = text[i + 1];
      if (code == 'P')
        out += ' ';
      if (std::string("fFHCcpAQTWS").find(code) != std::string::npos)
        i = std::min(text.find(';', i), text.size());
      else if (code == '\\' || code == '{' || code == '}')
        out += text[++i];
      else
        ++i;
      continue;
    }
    out += ch;
  }
  return out;
}

Affine Placement(const TableData &data)
{
  double radians = 0;
  if (std::isfinite(data.direction.x) && std::isfinite(data.direction.y)
      && (data.direction.x != 0 || data.direction.y != 0))
    radians = std::atan2(data.direction.y, data.direction.x);
  return Compose(Translation(data.at.x, data.at.y), RotationScale(radians / Degrees, 1, 1));
}

}  // namespace

Affine TablePlacement(dimeEntity *table)
{
  return Placement(ReadTable(table));
}

// Rows run down from the insertion point, columns to the right; a merged
// cell covers the cells of its span, which draw nothing of their own.
Annotation TableAnnotation(dimeEntity *table)
{
  const TableData data = ReadTable(table);
  Annotation annotation;
  const size_t rows = data.rowHeights.size(), columns = data.columnWidths.size();
  if (rows == 0 || columns == 0 || rows > MaxTableCells / columns)
    return annotation;
  std::vector<double> top(rows + 1, 0), left(columns + 1, 0);
  for (size_t r = 0; r < rows; ++r)
    top[r + 1] = top[r] - data.rowHeights[r];
  for (size_t c = 0; c < columns; ++c)
    left[c + 1] = left[c] + data.columnWidths[c];
  const Affine m = Placement(data);
  const double radians = std::atan2(m.b, m.a);
  std::vector<char> covered(rows * columns, 0);
  for (size_t i = 0; i < rows * columns; ++i)
  {
    if (covered[i])
      continue;
    const size_t r = i / columns, c = i % columns;
    const Cell cell = i < data.cells.size() ? data.cells[i] : Cell();
    const size_t r1 = std::min(rows, r + size_t(cell.rows)), c1 = std::min(columns, c + size_t(cell.columns));
    for (size_t rr = r; rr < r1; ++rr)
      std::fill(covered.begin() + long(rr * columns + c), covered.begin() + long(rr * columns + c1), 1);
    const double x0 = left[c], x1 = left[c1], y0 = top[r1], y1 = top[r];
    annotation.lines.push_back({m.Apply(x0, y0), m.Apply(x1, y0), m.Apply(x1, y1), m.Apply(x0, y1), m.Apply(x0, y0)});
    const std::string text = PlainCellText(cell.text);
    if (text.empty() || !(cell.height > 0))
      continue;
    // Where its alignment says, the cell margins in from the border (a
    // third of the text height without them, as the standard style has).
    const int across = (cell.alignment - 1) % 3, down = (cell.alignment - 1) / 3;
    const double dx = data.margins[0] >= 0 ? data.margins[0] : cell.height / 3;
    const double dy = data.margins[1] >= 0 ? data.margins[1] : cell.height / 3;
    const double x = across == 0 ? x0 + dx : across == 1 ? (x0 + x1) / 2 : x1 - dx;
    const double y = down == 0 ? y1 - dy : down == 1 ? (y0 + y1) / 2 : y0 + dy;
    annotation.notes.push_back({m.Apply(x, y), cell.height, radians, "", text, cell.alignment});
  }
  return annotation;
}

}  // namespace zulan
