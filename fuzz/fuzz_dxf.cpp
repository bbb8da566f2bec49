// A drawing from anywhere: read it, then draw every entity into a small
// bitmap over the drawing's extents, as an export would.
#include "drawing.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

const int Side = 64;

std::string InputPath()
{
  return "/tmp/rastello-fuzz-" + std::to_string(getpid()) + ".dxf";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string path = InputPath();
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  std::unique_ptr<zulan::Document> document;
  try
  {
    document = zulan::Document::Load(path);
  }
  catch (const zulan::Document::LoadError &)
  {
    return 0;
  }
  zulan::Box extents;
  for (const zulan::Entity &entity : document->Entities())
    extents.Add(zulan::EntityExtents(*document, entity));
  if (extents.IsEmpty())
    return 0;
  zulan::Palette palette;
  zulan::SetDefaultPalette(palette);
  std::vector<uint8_t> pixels(Side * Side * 4);
  zulan::Canvas canvas(pixels.data(), Side, Side);
  const zulan::ViewMapping view(extents.minX, extents.minY, extents.maxX, extents.maxY, 0, 0, Side - 1, Side - 1);
  for (const zulan::Entity &entity : document->Entities())
    canvas.Draw(*document, entity, view, palette);
  canvas.Flush();
  return 0;
}
