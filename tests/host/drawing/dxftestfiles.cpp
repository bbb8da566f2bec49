#include "dxftestfiles.h"
#include "drawing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
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

std::string Hatch(int paths, const std::string &boundary, const std::string &pattern, int style)
{
  const bool solid = pattern.empty();
  return Groups({{0, "HATCH"},
                 {8, "0"},
                 {10, "0"},
                 {20, "0"},
                 {30, "0"},
                 {210, "0"},
                 {220, "0"},
                 {230, "1"},
                 {2, solid ? "SOLID" : "USER"},
                 {70, solid ? "1" : "0"},
                 {71, "0"},
                 {91, std::to_string(paths)}})
         + boundary + Groups({{75, std::to_string(style)}, {76, solid ? "1" : "0"}}) + pattern + Groups({{98, "0"}});
}

std::string LayerEntry(const std::string &name, int color, int flags)
{
  return Groups({{0, "LAYER"}, {2, name}, {70, std::to_string(flags)}, {62, std::to_string(color)}, {6, "CONTINUOUS"}});
}

std::string DxfFile(const std::string &layers, const std::string &blocks, const std::string &entities,
                    const std::string &header, const std::string &moreTables)
{
  std::string text;
  if (!header.empty())
  {
    text += Groups({{0, "SECTION"}, {2, "HEADER"}}) + header + Groups({{0, "ENDSEC"}});
  }
  text += Groups({{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {70, "10"}});
  text += layers + Groups({{0, "ENDTAB"}}) + moreTables + Groups({{0, "ENDSEC"}});
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
  path = ::testing::TempDir() + "zulan-drawing-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + suffix;
  std::ofstream(path, std::ios::binary) << contents;
}

TempFile::~TempFile()
{
  std::remove(path.c_str());
}

EnvironmentVariable::EnvironmentVariable(const char *variable, const char *value) : name(variable)
{
  const char *old = std::getenv(variable);
  wasSet = old != nullptr;
  saved = old ? old : "";
  if (value)
    setenv(variable, value, 1);
  else
    unsetenv(variable);
}

EnvironmentVariable::~EnvironmentVariable()
{
  if (wasSet)
    setenv(name.c_str(), saved.c_str(), 1);
  else
    unsetenv(name.c_str());
}

std::unique_ptr<Document> LoadText(const std::string &dxf)
{
  TempFile file(dxf);
  return Document::Load(file.Path());
}

std::unique_ptr<Document> Load(const std::string &entities, const std::string &blocks, const std::string &layers)
{
  return LoadText(DxfFile(LayerEntry("0", 7) + layers, blocks, entities));
}

std::string Block(const std::string &name, const std::string &contents, const std::string &base)
{
  return Groups({{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, base}, {20, base}, {3, name}}) + contents
         + Groups({{0, "ENDBLK"}, {8, "0"}});
}

std::string Entities(const std::string &entities)
{
  return Groups({{0, "SECTION"}, {2, "ENTITIES"}}) + entities + Groups({{0, "ENDSEC"}, {0, "EOF"}});
}

std::string Insert(const std::string &block, const std::string &layer, double x, double y)
{
  return Groups({{0, "INSERT"}, {8, layer}, {2, block}, {10, std::to_string(x)}, {20, std::to_string(y)}});
}

std::string Line(const std::string &layer, double x1, double y1, double x2, double y2,
                 const std::vector<std::pair<int, std::string>> &more)
{
  std::vector<std::pair<int, std::string>> groups = {{0, "LINE"},
                                                     {8, layer},
                                                     {10, std::to_string(x1)},
                                                     {20, std::to_string(y1)},
                                                     {11, std::to_string(x2)},
                                                     {21, std::to_string(y2)}};
  groups.insert(groups.end(), more.begin(), more.end());
  return Groups(groups);
}

const ViewMapping UnitView(0, 0, 100, 100, 0, 0, 100, 100);

Picture::Picture(int pictureWidth, int pictureHeight)
  : width(pictureWidth), height(pictureHeight), pixels(size_t(pictureWidth) * size_t(pictureHeight) * 4, 0)
{
  SetDefaultPalette(palette);
}

void Picture::Draw(const Document &document, const ViewMapping &view, bool hairlines, bool antialias)
{
  Canvas canvas(pixels.data(), width, height);
  canvas.SetHairlines(hairlines);
  canvas.SetAntialias(antialias);
  canvas.FillRect(0, 0, width, height, palette[WhiteIndex]);
  for (const Entity &entity : document.Entities())
  {
    if (!document.IsLayerHidden(entity.layer) || entity.type == TypeFrame)
      canvas.Draw(document, entity, view, palette);
  }
}

uint32_t Picture::Colour(int x, int y) const
{
  uint32_t value;
  std::memcpy(&value, &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4], 4);
  return value & 0xFFFFFF;
}

bool Picture::Ink(int x, int y) const
{
  return Colour(x, y) != 0xFFFFFF;
}

int Picture::InkIn(int x0, int y0, int x1, int y1) const
{
  int count = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      count += Ink(x, y);
  return count;
}

Picture Draw(const Document &document)
{
  Picture picture;
  picture.Draw(document, UnitView);
  return picture;
}

}  // namespace test
}  // namespace zulan
