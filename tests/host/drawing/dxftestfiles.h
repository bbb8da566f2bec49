// Small DXF files written on the fly for the drawing tests.
#ifndef ZULAN_TESTS_DXFTESTFILES_H
#define ZULAN_TESTS_DXFTESTFILES_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "drawing.h"

namespace zulan
{
namespace test
{

// Group code / value pairs as DXF text.
std::string Groups(const std::vector<std::pair<int, std::string>> &groups);

// A HATCH on layer 0 with the given boundary paths and hatch style (group
// 75); a pattern hatch when pattern is given (its groups), else solid.
std::string Hatch(int paths, const std::string &boundary, const std::string &pattern = "", int style = 1);

// A LAYER table entry: name, colour (negative = off), flags (1 = frozen).
std::string LayerEntry(const std::string &name, int color, int flags = 0);

// A complete ASCII DXF with the given table entries, block definitions
// (each starting with 0/BLOCK and ending with 0/ENDBLK) and entities.
// moreTables: whole TABLE ... ENDTAB groups after the LAYER table.
std::string DxfFile(const std::string &layers, const std::string &blocks, const std::string &entities,
                    const std::string &header = "", const std::string &moreTables = "");

// The message of loading path, or "(loaded)" when it loads.
std::string LoadError(const std::string &path);

// A file in the test's temporary folder, removed again on destruction.
class TempFile
{
public:
  explicit TempFile(const std::string &contents, const std::string &suffix = ".dxf");
  ~TempFile();
  const std::string &Path() const { return path; }

private:
  std::string path;
};

// Sets an environment variable (unsets it for nullptr) until destroyed,
// then puts back what was there.
class EnvironmentVariable
{
public:
  EnvironmentVariable(const char *name, const char *value);
  ~EnvironmentVariable();

private:
  std::string name;
  bool wasSet;
  std::string saved;
};

// Loads DXF text through a temporary file.
std::unique_ptr<Document> LoadText(const std::string &dxf);
// A drawing of layer 0 (and the layers given) with these entities and blocks.
std::unique_ptr<Document> Load(const std::string &entities, const std::string &blocks = "",
                               const std::string &layers = "");

// A BLOCK definition at the origin, an INSERT of it, a LINE with more groups.
std::string Block(const std::string &name, const std::string &contents, const std::string &base = "0");
// A file of only an ENTITIES section.
std::string Entities(const std::string &entities);
std::string Insert(const std::string &block, const std::string &layer, double x, double y);
std::string Line(const std::string &layer, double x1, double y1, double x2, double y2,
                 const std::vector<std::pair<int, std::string>> &more = {});

constexpr int Size = 100;

// World (0,0)-(100,100) one unit per pixel: world y is row 100 - y.
extern const ViewMapping UnitView;

// A white bitmap with what the module would draw: visible layers and frames.
class Picture
{
public:
  explicit Picture(int width = Size, int height = Size);
  void Draw(const Document &document, const ViewMapping &view, bool hairlines = false, bool antialias = false);
  bool Ink(int x, int y) const;
  // Inked pixels in the rectangle [x0, x1) x [y0, y1).
  int InkIn(int x0, int y0, int x1, int y1) const;
  int InkRow(int y) const { return InkIn(0, y, width, y + 1); }
  int InkColumn(int x) const { return InkIn(x, 0, x + 1, height); }
  // The pixel's B, G, R as 0xRRGGBB.
  uint32_t Colour(int x, int y) const;
  const std::vector<uint8_t> &Pixels() const { return pixels; }

private:
  int width, height;
  std::vector<uint8_t> pixels;
  Palette palette;
};

// The drawing on a Picture of its own through UnitView.
Picture Draw(const Document &document);

}  // namespace test
}  // namespace zulan

#endif
