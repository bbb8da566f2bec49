// A drawing as plain geometry: what the Linux host writes from a DXF file
// (zulan --write-entities) for the Windows test host, which has no DXF
// reader and draws with GDI. Curves come as points; text, line types and
// widths are left out (the Windows host draws every entity as a hairline).
//
// The text format, one record a line, numbers in C locale:
//   zulan-entities 1
//   header HEX               the first bytes of the drawing header (optional)
//   palette N0 ... N255      0x00BBGGRR entries, decimal
//   layer HIDDEN             one line per layer, in order: 1 hidden, else 0
//   entity TYPE LAYER COLOUR FLAGS MINX MINY MAXX MAXY KIND COUNT X Y ...
// KIND is none, segment, path, closed, polygon, nonzero (a polygon filled
// by the nonzero rule) or dot; polygon rings are separated by "nan nan".
#ifndef ZULAN_ENTITYFILE_H
#define ZULAN_ENTITYFILE_H

#include <cstdint>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zulan
{

struct FlatEntity
{
  enum class Kind
  {
    None,
    Segment,
    Path,
    Closed,
    Polygon,
    Nonzero,
    Dot
  };
  uint8_t type = 0;
  int16_t layer = 0;
  uint8_t colour = 0;
  uint8_t flags = 0;
  double box[4] = {};  // extents: min x, min y, max x, max y
  Kind kind = Kind::None;
  std::vector<double> points;  // x, y pairs in world units
};

struct FlatDrawing
{
  std::vector<uint8_t> header;
  uint32_t palette[256] = {};
  std::vector<bool> hiddenLayers;
  std::vector<FlatEntity> entities;
};

class EntityFileError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// Limits a reader keeps to, whoever wrote the file.
const size_t MaxFlatEntities = 10000000;
const size_t MaxFlatPoints = 100000000;
const size_t MaxFlatHeaderBytes = 512;

void WriteEntityFile(std::ostream &out, const FlatDrawing &drawing);
// Throws EntityFileError naming the line that is not understood.
FlatDrawing ReadEntityFile(std::istream &in);

}  // namespace zulan

#endif
