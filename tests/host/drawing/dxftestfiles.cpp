#include "dxftestfiles.h"
#include "drawing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace zulan
{
namespace test
{

std::string Groups(const std::vector<std::pair<int, std::string>> &groups)
{
  std::string text;
  for (const auto &group : groups)
  {
    text += std::to_string(group.first) + "\n" + group.second + "\n";
  }
  return text;
}

std::string LayerEntry(const std::string &name, int color, int flags)
{
  return Groups({{0, "LAYER"},
                 {2, name},
                 {70, std::to_string(flags)},
                 {62, std::to_string(color)},
                 {6, "CONTINUOUS"}});
}

std::string DxfFile(const std::string &layers, const std::string &blocks,
                    const std::string &entities, const std::string &header)
{
  std::string text;
  if (!header.empty())
  {
    text += Groups({{0, "SECTION"}, {2, "HEADER"}}) + header + Groups({{0, "ENDSEC"}});
  }
  text += Groups({{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {70, "10"}});
  text += layers + Groups({{0, "ENDTAB"}, {0, "ENDSEC"}});
  text += Groups({{0, "SECTION"}, {2, "BLOCKS"}}) + blocks + Groups({{0, "ENDSEC"}});
  text += Groups({{0, "SECTION"}, {2, "ENTITIES"}}) + entities + Groups({{0, "ENDSEC"}});
  return text + Groups({{0, "EOF"}});
}

std::string LoadError(const std::string &path)
{
  try
  {
    Document::Load(path);
  }
  catch (const Document::LoadError &error)
  {
    return error.what();
  }
  return "(loaded)";
}

TempFile::TempFile(const std::string &contents, const std::string &suffix)
{
  static std::atomic<int> counter{0};
  path = ::testing::TempDir() + "zulan-drawing-" + std::to_string(getpid()) + "-"
         + std::to_string(counter++) + suffix;
  std::ofstream(path, std::ios::binary) << contents;
}

TempFile::~TempFile()
{
  std::remove(path.c_str());
}

} // namespace test
} // namespace zulan

// libdime frees some table names allocated with new[] by plain delete and
// leaks parts of the files it rejects (its memory pool, which would not,
// hands out misaligned objects); fontconfig keeps its cache to the end.
// Neither is ours, so sanitizer builds must not stop on them.
extern "C" const char *__asan_default_options()
{
  return "alloc_dealloc_mismatch=0";
}

extern "C" const char *__lsan_default_suppressions()
{
  return "leak:libdime.so\nleak:libfontconfig.so\n";
}
