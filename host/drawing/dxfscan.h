// A DXF file read as group-code/value pairs and checked before libdime reads
// it. libdime takes numbers leniently ("1O.5" as 1, -1e400 as +3.4e38),
// overruns a stack buffer on numbers of 512 characters, and keeps LWPOLYLINE
// vertices in arrays sized by the file's count but filled through a 16-bit
// index. So every number is checked here by its group code's type, and
// LWPOLYLINE vertices are read here and left out of the text libdime gets.
#ifndef ZULAN_DRAWING_DXFSCAN_H
#define ZULAN_DRAWING_DXFSCAN_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zulan
{

struct LwVertex
{
  double x;
  double y;
  double bulge;           // 0 for a straight segment to the next vertex
  double startWidth = 0;  // of the segment to the next vertex
  double endWidth = 0;
};

// An ATTRIB of an INSERT, read by the scan since libdime keeps an insert's
// attributes where they cannot be reached.
struct Attribute
{
  double x = 0, y = 0;              // 10/20
  double secondX = 0, secondY = 0;  // 11/21, second alignment point
  bool hasSecond = false;
  double height = 0;       // 40
  double widthFactor = 1;  // 41
  double rotation = 0;     // 50, degrees
  int hJust = 0;           // 72
  int vJust = 0;           // 74
  int flags = 0;           // 70: 1 invisible
  int color = 256;         // 62, BYLAYER when absent
  int trueColour = -1;     // 420, 0x00RRGGBB; -1 when absent
  int weight = -1;         // 370, BYLAYER when absent
  double extrusionZ = 1;   // 230
  std::string layer = "0";
  std::string value;  // 1
};

struct DxfScan
{
  // The pairs for libdime, one line each for code and value. Each
  // LWPOLYLINE's vertex groups are left out, and its one group 90 holds its
  // number in `polylineStarts` instead of its vertex count.
  std::string text;
  std::vector<LwVertex> vertices;
  std::vector<size_t> polylineStarts;  // first vertex of each LWPOLYLINE
  // (pair number in text, file line of its group code) wherever the text's
  // lines stop following the file's: skipped blank lines, left-out vertices.
  std::vector<std::pair<size_t, size_t>> lineJumps;

  // The file line that line textLine (from 1) of text came from.
  size_t FileLine(size_t textLine) const;
  // The vertices of LWPOLYLINE number `index`; empty for an unknown number.
  std::vector<LwVertex> Polyline(long index) const;

  // The ATTRIBs after each INSERT and up to its SEQEND are left out of the
  // text, and so is the INSERT's group 66: its group 90 holds its number in
  // `insertStarts` instead.
  std::vector<Attribute> attributes;
  std::vector<size_t> insertStarts;  // first attribute of each INSERT
  // The groups of the OBJECTS section's TABLESTYLEs, each begun by its 0
  // (libdime keeps that section out of reach).
  std::vector<std::pair<int, std::string>> tableStyles;
  // Entities left out for holding a value libdime cannot keep, and what the
  // first one was.
  size_t skippedEntities = 0;
  std::string firstSkipped;

  // The attributes of INSERT number `index`: count of them from the result.
  const Attribute *Attributes(long index, size_t *count) const;
};

// Reads and checks the file. Throws Document::LoadError, "<path>: <problem>",
// with the line number for anything wrong inside the file.
DxfScan ScanDxf(const std::string &path);

[[noreturn]] void ThrowLoadError(const std::string &path, const std::string &problem);

// The file's bytes as DXF text: binary DXF converted, anything after a NUL
// that follows 0/EOF cut off; throws Document::LoadError.
std::string ReadDrawingFile(const std::string &path);

}  // namespace zulan

#endif
