// ACAD_TABLE entities. AutoCAD writes a table's picture as an anonymous
// block (*T...) that the entity places like an INSERT; the cells (their
// sizes, spans and text) follow as the entity's own groups, which draw the
// table when the block is missing.
#include <dime/entities/Entity.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "dxfbuild.h"
#include "dxflimits.h"
#include "dxfvalues.h"

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
  int textAci = -1;                     // 64, -1 when the style's
  int borderAci[4] = {-1, -1, -1, -1};  // 69, 65, 66, 68: top, right, bottom, left
  int shown[4] = {-1, -1, -1, -1};      // 289, 285, 286, 288
};

struct TableData
{
  Point at{0, 0};
  Point direction{1, 0};
  std::vector<double> rowHeights;    // 141, top down
  std::vector<double> columnWidths;  // 142, left to right
  std::vector<Cell> cells;           // row by row
  double margins[2] = {-1, -1};      // 40, 41: across and up, before the cells
  std::string style;                 // 342: the TABLESTYLE's handle
};

// A cell's own border groups, top, right, bottom, left, by their last digit.
int CellSide(int code)
{
  switch (code % 10)
  {
  case 9:
    return 0;
  case 5:
    return 1;
  case 6:
    return 2;
  case 8:
    return 3;
  default:
    return -1;
  }
}

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
    else if (r.code == 342 && data.style.empty())
      data.style = Upper(r.text.c_str());
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
      else if (r.code == 64)
        cell.textAci = int(r.number);
      else if (r.code >= 65 && r.code <= 69 && CellSide(r.code) >= 0)
        cell.borderAci[CellSide(r.code)] = int(r.number);
      else if (r.code >= 285 && r.code <= 289 && CellSide(r.code) >= 0)
        cell.shown[CellSide(r.code)] = r.number != 0;
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

enum BorderKind
{
  TopBorder,
  InsideHorizontal,
  BottomBorder,
  LeftBorder,
  InsideVertical,
  RightBorder
};

struct CellSides
{
  double x0, y0, x1, y1;
};

// The kind of each side of a cell, top, right, bottom, left as seen.
std::array<int, 4> BorderKinds(bool firstRow, bool lastRow, bool firstColumn, bool lastColumn, bool rowsUp)
{
  const int first = firstRow ? TopBorder : InsideHorizontal, last = lastRow ? BottomBorder : InsideHorizontal;
  return {rowsUp ? last : first, lastColumn ? RightBorder : InsideVertical, rowsUp ? first : last,
          firstColumn ? LeftBorder : InsideVertical};
}

// The cell's four sides as one closed path when they look alike, else side
// by side; hidden ones left out.
void AddBorders(Annotation *annotation, const Affine &m, CellSides b, const std::array<int, 4> &kinds,
                const CellLook &look, const Cell &cell)
{
  const Point corners[5] = {m.Apply(b.x0, b.y1), m.Apply(b.x1, b.y1), m.Apply(b.x1, b.y0), m.Apply(b.x0, b.y0),
                            m.Apply(b.x0, b.y1)};
  int aci[4];
  bool shown[4], alike = true;
  for (int side = 0; side < 4; ++side)
  {
    aci[side] = cell.borderAci[side] >= 0 ? cell.borderAci[side] : look.borderAci[kinds[size_t(side)]];
    shown[side] = cell.shown[side] >= 0 ? cell.shown[side] != 0 : look.borderShown[kinds[size_t(side)]];
    alike = alike && shown[side] && aci[side] == aci[0];
  }
  const bool ownColours = !annotation->lineAci.empty() || !alike || aci[0] != 0;
  auto add = [&](std::vector<Point> line, int colour) {
    if (ownColours && annotation->lineAci.empty())
      annotation->lineAci.assign(annotation->lines.size(), 0);
    annotation->lines.push_back(std::move(line));
    if (ownColours)
      annotation->lineAci.push_back(colour);
  };
  if (alike)
  {
    add({corners[3], corners[2], corners[1], corners[0], corners[3]}, aci[0]);
    return;
  }
  for (int side = 0; side < 4; ++side)
  {
    if (shown[side])
      add({corners[side], corners[side + 1]}, aci[side]);
  }
}

}  // namespace

Affine TablePlacement(dimeEntity *table)
{
  return Placement(ReadTable(table));
}

// Rows run down from the insertion point (up when the style says so),
// columns to the right; a merged cell covers the cells of its span, which
// draw nothing of their own. A cell's borders are the style's kinds of
// border where it stands, unless the cell says otherwise.
Annotation TableAnnotation(dimeEntity *table, const std::map<std::string, TableLook> &styles)
{
  const TableData data = ReadTable(table);
  const auto found = styles.find(data.style);
  const TableLook look = found != styles.end() ? found->second : TableLook();
  Annotation annotation;
  const size_t rows = data.rowHeights.size(), columns = data.columnWidths.size();
  if (rows == 0 || columns == 0 || rows > MaxTableCells / columns)
    return annotation;
  std::vector<double> top(rows + 1, 0), left(columns + 1, 0);
  for (size_t r = 0; r < rows; ++r)
    top[r + 1] = look.rowsUp ? top[r] + data.rowHeights[r] : top[r] - data.rowHeights[r];
  for (size_t c = 0; c < columns; ++c)
    left[c + 1] = left[c] + data.columnWidths[c];
  const Affine m = Placement(data);
  const double radians = std::atan2(m.b, m.a);
  // The title first, then the column headers, unless the style leaves
  // them out; the rest are data rows.
  auto rowLook = [&](size_t r) -> const CellLook & {
    const size_t header = look.titleShown ? 1 : 0;
    if (look.titleShown && r == 0)
      return look.cells[TableLook::TitleCells];
    return look.cells[look.headerShown && r == header ? TableLook::HeaderCells : TableLook::DataCells];
  };
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
    const double x0 = left[c], x1 = left[c1], y0 = std::min(top[r], top[r1]), y1 = std::max(top[r], top[r1]);
    const CellLook &cellLook = rowLook(r);
    AddBorders(&annotation, m, {x0, y0, x1, y1}, BorderKinds(r == 0, r1 == rows, c == 0, c1 == columns, look.rowsUp),
               cellLook, cell);
    const std::string text = PlainCellText(cell.text);
    const double height = cell.height > 0 ? cell.height : cellLook.textHeight;
    if (text.empty() || !(height > 0) || !std::isfinite(height))
      continue;
    // Where its alignment says, the cell margins in from the border (a
    // third of the text height without them, as the standard style has).
    const int across = (cell.alignment - 1) % 3, down = (cell.alignment - 1) / 3;
    const double *margins = data.margins[0] >= 0 ? data.margins : look.margins;
    const double dx = margins[0] >= 0 ? margins[0] : height / 3;
    const double dy = margins[1] >= 0 ? margins[1] : height / 3;
    const double x = across == 0 ? x0 + dx : across == 1 ? (x0 + x1) / 2 : x1 - dx;
    const double y = down == 0 ? y1 - dy : down == 1 ? (y0 + y1) / 2 : y0 + dy;
    annotation.notes.push_back(
      {m.Apply(x, y), height, radians, "", text, cell.alignment, cell.textAci >= 0 ? cell.textAci : cellLook.textAci});
  }
  return annotation;
}

namespace
{

// Which of a cell style's groups the object gave: the first of each
// counts, and a title's or header's style takes the data cells' for the
// rest.
struct CellSeen
{
  bool height = false, text = false, colour[6] = {}, shown[6] = {};
};

void TakeDataLook(TableLook *look, const CellSeen (&seen)[3])
{
  const CellLook &data = look->cells[TableLook::DataCells];
  for (int kind : {TableLook::TitleCells, TableLook::HeaderCells})
  {
    CellLook &cell = look->cells[kind];
    const CellSeen &own = seen[kind];
    cell.textHeight = own.height ? cell.textHeight : data.textHeight;
    cell.textAci = own.text ? cell.textAci : data.textAci;
    for (int i = 0; i < 6; ++i)
    {
      cell.borderAci[i] = own.colour[i] ? cell.borderAci[i] : data.borderAci[i];
      cell.borderShown[i] = own.shown[i] ? cell.borderShown[i] : data.borderShown[i];
    }
  }
}

}  // namespace

std::map<std::string, TableLook> ReadTableStyles(const DxfScan &scan)
{
  std::map<std::string, TableLook> styles;
  std::string handle;
  TableLook look;
  CellSeen seen[3];
  bool inStyle = false, seenMargins[2] = {}, pastVersion = false;
  int cellStyle = 0, textStyles = 0;  // the cell style the groups are of: each begins with its 7
  auto finish = [&] {
    TakeDataLook(&look, seen);
    if (!handle.empty())
      styles.emplace(handle, look);
  };
  for (const auto &[code, text] : scan.tableStyles)
  {
    double number = 0;
    if (code != 0 && code != 5 && code != 100 && code != 7 && code != 3 && !ParseReal(text, &number))
      continue;
    // A 280 before the description, the flow direction and the margins is
    // the object's version (AutoCAD 2010's and on), not the title's flag.
    pastVersion = pastVersion || code == 3 || code == 70 || code == 40 || code == 41;
    if (code == 0)
    {
      finish();
      handle.clear();
      look = TableLook();
      inStyle = false;
      std::fill(std::begin(seen), std::end(seen), CellSeen());
      seenMargins[0] = seenMargins[1] = pastVersion = false;
      cellStyle = textStyles = 0;
    }
    else if (code == 5 && handle.empty())
      handle = Upper(text.c_str());
    else if (code == 100)
      inStyle = text == "AcDbTableStyle";
    else if (!inStyle)
      continue;
    else if (code == 7)
      cellStyle = textStyles++;  // 3 and on: no cell style read
    else if (code == 70)
      look.rowsUp = number == 1;
    else if (code == 280 && !pastVersion)
      continue;  // the object's version, where later ones begin
    else if (code == 280 || code == 281)
      (code == 280 ? look.titleShown : look.headerShown) = number == 0;
    else if ((code == 40 || code == 41) && !seenMargins[code - 40])
    {
      seenMargins[code - 40] = true;
      look.margins[code - 40] = number;
    }
    else if (cellStyle > 2)
      continue;
    else if (code == 140 && !seen[cellStyle].height)
    {
      seen[cellStyle].height = true;
      look.cells[cellStyle].textHeight = number;
    }
    else if (code == 62 && !seen[cellStyle].text)
    {
      seen[cellStyle].text = true;
      look.cells[cellStyle].textAci = int(number);
    }
    else if (code >= 64 && code <= 69 && !seen[cellStyle].colour[code - 64])
    {
      seen[cellStyle].colour[code - 64] = true;
      look.cells[cellStyle].borderAci[code - 64] = int(number);
    }
    else if (code >= 284 && code <= 289 && !seen[cellStyle].shown[code - 284])
    {
      seen[cellStyle].shown[code - 284] = true;
      look.cells[cellStyle].borderShown[code - 284] = number != 0;
    }
  }
  finish();
  return styles;
}

}  // namespace zulan
