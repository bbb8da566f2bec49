// A drawing from anywhere: read it, then draw every entity into a small
// bitmap over the drawing's extents, as an export would.
#include "drawing.h"
#include "fuzzinput.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The bitmap drawn into, in pixels a side.
const int Side = 64;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  const std::string path = WriteInputFile(data, size, ".dxf");
  if (path.empty())
    return 0;

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
