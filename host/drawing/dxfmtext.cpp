// MTEXT entities as lines of text: the groups AutoCAD writes for the
// contents, the direction and the plane, the columns (as the entity's own
// groups, as the ACAD extended data of R2000-R2013 files, or as the
// embedded object of R2018 files) and the background fill. mtext.cpp lays
// the contents out.
#include <dime/entities/Entity.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "dxfbuild.h"
#include "dxflimits.h"

namespace zulan
{
namespace
{

// Columns as the file describes them, in any of its three forms.
struct Columns
{
  int type = 0;  // 0 none, 1 static, 2 dynamic
  int count = 0;
  bool autoHeight = false;
  bool reversed = false;  // flowing right to left
  double width = 0;
  double gutter = 0;
  double definedHeight = 0;
  std::vector<double> heights;  // dynamic columns of their own heights
};

// One setting by the group code AutoCAD names it by (75 type, 76 count, 79
// auto height, 78 flow reversed, 48 width, 49 gutter, 46 the defined height).
// A count or kind from any group: extended data may give it as a real.
int Whole(double value)
{
  return value >= 0 && value <= 1e6 ? int(value) : 0;
}

void SetColumn(Columns *columns, int code, double value)
{
  switch (code)
  {
  case 75:
    columns->type = Whole(value);
    break;
  case 76:
    columns->count = Whole(value);
    break;
  case 79:
    columns->autoHeight = value != 0;
    break;
  case 78:
    columns->reversed = value != 0;
    break;
  case 48:
    columns->width = value;
    break;
  case 49:
    columns->gutter = value;
    break;
  case 46:
    columns->definedHeight = value;
    break;
  default:
    break;
  }
}

// The ACAD extended data: 1070 pairs of a group code and its value (1070
// or 1040); code 50 is followed by a count and that many heights.
void ReadColumnData(const std::vector<RawRecord> &data, Columns *columns)
{
  size_t i = 0;
  while (i + 1 < data.size())
  {
    if (data[i].code != 1070)
    {
      ++i;  // out of step: on to the next key
      continue;
    }
    const int key = int(data[i].number);
    const double value = data[i + 1].number;
    i += 2;
    if (key != 50)
    {
      SetColumn(columns, key, value);
      continue;
    }
    for (double n = 0; n < value && i < data.size() && data[i].code == 1040; ++n, ++i)
      columns->heights.push_back(data[i].number);
  }
}

// The embedded object of R2018: 71 type, 72 count, 44 width, 45 gutter, 73
// auto height, 74 flow reversed, 41 the defined height, 46 each column's
// height.
void ReadEmbeddedColumn(const RawRecord &r, Columns *columns)
{
  static const std::map<int, int> AsEntityGroup = {{71, 75}, {72, 76}, {44, 48}, {45, 49},
                                                   {73, 79}, {74, 78}, {41, 46}};
  const auto found = AsEntityGroup.find(r.code);
  if (found != AsEntityGroup.end())
    SetColumn(columns, found->second, r.number);
  else if (r.code == 46)
    columns->heights.push_back(r.number);
}

// The layout's columns: static ones all of the defined height, as many as
// the file says; dynamic ones of auto height as many as the text needs;
// dynamic ones of their own heights as the file lists, the last taking
// what remains.
void ApplyColumns(const Columns &columns, MTextFormat *format)
{
  const bool known = columns.type == 1 || columns.type == 2;
  if (!known)
    return;
  auto positive = [](double value) { return value > 0 && std::isfinite(value); };
  format->columnType = columns.type;
  format->reversed = columns.reversed;
  format->gutter = positive(columns.gutter) ? columns.gutter : 0;
  if (positive(columns.width))
    format->width = columns.width;
  const bool ownHeights = columns.type == 2 && !columns.autoHeight && !columns.heights.empty();
  for (double height : ownHeights ? columns.heights : std::vector<double>{columns.definedHeight})
  {
    if (positive(height))
      format->columnHeights.push_back(height);
  }
  if (format->columnHeights.size() < (ownHeights ? columns.heights.size() : 1))
    format->columnHeights.clear();  // a height that is not one: a single column
  format->columnCount = columns.type == 2 && columns.autoHeight ? 0 : std::max(columns.count, 1);
}

}  // namespace

const MTextPicture &LabelMaker::MText(dimeEntity *entity, bool withinBlock)
{
  return mtexts.Get(entity, withinBlock, [&](bool) { return MTextLabels(entity); });
}

// Every paragraph and run of the MTEXT, laid out by mtext.cpp. The string
// is decoded first, so \U+XXXX and code-page characters are plain text by
// the time the inline codes are read.
MTextPicture LabelMaker::MTextLabels(dimeEntity *entity)
{
  std::map<int, double> first;
  std::string text, tail;
  Columns columns;
  std::vector<RawRecord> columnData;
  bool embedded = false, columnGroups = false;
  for (RawRecord r : RawRecords(entity))
  {
    // libdime keeps the codes it does not know (421, extended-data reals)
    // as their text.
    if (r.code != 1 && r.code != 3 && !ReadTextNumber(&r))
      r.number = 0;
    if (r.code >= 1000)
    {
      if (r.code == 1070 || r.code == 1040)
        columnData.push_back(r);
      continue;
    }
    // AutoCAD 2018 follows the entity's groups with an embedded object whose
    // 10 and 11 are its own, not the insertion point and direction.
    embedded = embedded || r.code == 101;
    if (embedded)
      ReadEmbeddedColumn(r, &columns);
    else if (r.code == 3)
      text += r.text;
    else if (r.code == 1)
      tail = r.text;
    else if (columnGroups && r.code != 50)
      SetColumn(&columns, r.code, r.number);
    else
      first.emplace(r.code, r.number);
    columnGroups = columnGroups || (!embedded && r.code == 75);
    if (r.code == 75 && !embedded)
      columns.type = Whole(r.number);
  }
  ReadColumnData(columnData, &columns);
  if (columns.definedHeight == 0 && first.count(46))
    columns.definedHeight = first[46];

  MTextFormat format;
  format.height = first[40];
  format.width = first[41];
  format.spacing = first.count(44) ? first[44] : 1;
  format.attachment = first.count(71) ? int(first[71]) : 1;
  ApplyColumns(columns, &format);
  const MTextLayout *layout = layouts.Get(decoder.ToUtf8(text + tail), format, MaxTextRuns);
  if (!layout)
    ThrowLoadError(path, "an MTEXT has more than " + std::to_string(MaxTextRuns) + " lines and runs of text");
  const std::vector<MTextRun> &runs = layout->runs;
  const std::vector<Rect> &frames = layout->frames;

  // The text's own axes, seen from above: along the direction (11/21/31
  // in the world, else 50 from the object x axis in the object plane), up
  // as N x along. So an MTEXT whose extrusion points down is mirrored: 50
  // runs from the object's x axis, which is the world's -x, and 11 keeps
  // its direction with up turned over; a tilted one is foreshortened.
  Vector3 n{first.count(210) ? first[210] : 0, first.count(220) ? first[220] : 0, first.count(230) ? first[230] : 1};
  Vector3 ax, ay;
  if (!ObjectAxes(&n, &ax, &ay))
  {
    n = {0, 0, 1};
    ax = {1, 0, 0};
    ay = {0, 1, 0};
  }
  const double radians = first.count(50) ? first[50] * Degrees : 0;
  Vector3 along{ax.x * std::cos(radians) + ay.x * std::sin(radians),
                ax.y * std::cos(radians) + ay.y * std::sin(radians),
                ax.z * std::cos(radians) + ay.z * std::sin(radians)};
  Vector3 direction{first[11], first[21], first[31]};
  const double length = std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
  if (length > 0 && std::isfinite(length))
    along = {direction.x / length, direction.y / length, direction.z / length};
  const Vector3 up = Cross(n, along);
  Affine frame;
  frame.a = along.x;
  frame.b = along.y;
  frame.c = up.x;
  frame.d = up.y;
  frame.e = first[10];
  frame.f = first[20];

  MTextPicture picture;
  for (const MTextRun &run : runs)
  {
    const size_t made = picture.labels.size();
    MakeLabel({run.x, run.y}, run.height / CapHeightEms, 1, 0, run.text, run.advanceEms, 0, 0, run.aci,
              &picture.labels);
    if (picture.labels.size() == made)
      continue;
    LocalLabel &label = picture.labels.back();
    label.origin = frame.Apply(label.origin.x, label.origin.y);
    label.along = frame.ApplyVector(label.along.x, label.along.y);
    label.up = frame.ApplyVector(label.up.x, label.up.y);
  }

  // The background (90: 1 the colour 63, 2 the drawing's background; 16 a
  // frame round it) reaches beyond each column's box by the border factor
  // 45 less one, in text heights.
  const int fill = first.count(90) ? int(first[90]) : 0;
  if (fill & (1 | 2 | 16))
  {
    const double factor = first.count(45) && first[45] >= 1 && first[45] <= 5 ? first[45] : 1.5;
    const double margin = (factor - 1) * format.height;
    int aci = first.count(63) ? int(first[63]) : 0;
    if (first.count(421))
    {
      // A true colour (0x00RRGGBB) stands before the palette's: its nearest.
      aci = NearestAciOfTrueColour(uint32_t(first[421]));
    }
    picture.backgroundAci = (fill & 2) || aci < 1 || aci > 255 ? 0 : aci;
    picture.filled = (fill & 3) != 0;
    picture.framed = (fill & 16) != 0;
    for (const Rect &r : frames)
    {
      const double x0 = r.x0 - margin, y0 = r.y0 - margin, x1 = r.x1 + margin, y1 = r.y1 + margin;
      picture.backgrounds.push_back(
        {frame.Apply(x0, y0), frame.Apply(x1, y0), frame.Apply(x1, y1), frame.Apply(x0, y1)});
    }
  }
  return picture;
}

}  // namespace zulan
