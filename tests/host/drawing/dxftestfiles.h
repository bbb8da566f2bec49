// Small DXF files written on the fly for the drawing tests.
#ifndef ZULAN_TESTS_DXFTESTFILES_H
#define ZULAN_TESTS_DXFTESTFILES_H

#include <string>
#include <utility>
#include <vector>

namespace zulan
{
namespace test
{

// Group code / value pairs as DXF text.
std::string Groups(const std::vector<std::pair<int, std::string>> &groups);

// A LAYER table entry: name, colour (negative = off), flags (1 = frozen).
std::string LayerEntry(const std::string &name, int color, int flags = 0);

// A complete ASCII DXF with the given table entries, block definitions
// (each starting with 0/BLOCK and ending with 0/ENDBLK) and entities.
std::string DxfFile(const std::string &layers, const std::string &blocks,
                    const std::string &entities, const std::string &header = "");

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

} // namespace test
} // namespace zulan

#endif
